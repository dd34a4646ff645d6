// Writing the screen into its hand-over image and a shared mapping, and adopting one: every field read back
// is checked, and a held escape sequence is scanned again so the parser resumes exactly where it stopped.
#include "terminal/core/screen_snapshot.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

#include "platform/byte_order.h"
#include "platform/shared_mapping.h"
#include "platform/user_prompt.h"
#include "terminal/core/screen.h"

namespace terminal {
namespace {

constexpr int32_t kMaxCellSize = 4096;
constexpr int32_t kMaxPixels = 1 << 20;
constexpr size_t kGeometryFields = sizeof(ScreenGeometry) / sizeof(int32_t);
static_assert(kGeometryFields == 17);

void PutU32(std::vector<uint8_t>& image, size_t offset, uint32_t value) {
    platform::StoreLittleEndian(image.data() + offset, value);
}

uint32_t GetU32(std::span<const uint8_t> image, size_t offset) {
    return platform::LoadLittleEndian<uint32_t>(image.data() + offset);
}

int32_t GetI32(std::span<const uint8_t> image, size_t offset) {
    return platform::LoadLittleEndian<int32_t>(image.data() + offset);
}

int32_t* GeometryField(ScreenGeometry& g, size_t i) {
    int32_t* fields[kGeometryFields] = {
        &g.windowWidth, &g.windowHeight, &g.usableWidth,    &g.usableHeight, &g.frameOffsetX, &g.frameOffsetY,
        &g.bandOffsetX, &g.bandOffsetY,  &g.marginX,        &g.marginY,      &g.textWidth,    &g.originX,
        &g.originY,     &g.frameShown,   &g.statusBarShown, &g.extraOffsetX, &g.extraOffsetY,
    };
    return fields[i];
}

bool Refuse(std::string* why, std::string text) {
    if (why != nullptr) {
        *why = std::move(text);
    }
    return false;
}

}  // namespace

std::vector<uint8_t> CTerminalScreen::SnapshotImage() const {
    using namespace snapshot;
    std::vector<uint8_t> image(kSize, 0);
    PutU32(image, kCurrentForeground, m_foreground);
    PutU32(image, kCurrentBackground, m_background);
    PutU32(image, kClearColour, m_clearColour);
    for (int32_t index = 0; index < kScreenCells; ++index) {
        const size_t at = RowBase(index / kScreenColumns) + static_cast<size_t>(index % kScreenColumns);
        const auto i = static_cast<size_t>(index);
        PutU32(image, kCellForegrounds + 4 * i, m_cellColours[at].foreground);
        PutU32(image, kCellBackgrounds + 4 * i, m_cellColours[at].background);
        image[kCells + i] = m_cells[at];
    }
    std::memcpy(image.data() + kInputBuffer, m_input.data(), static_cast<size_t>(m_buffered));
    PutU32(image, kCurrentToolbar, static_cast<uint32_t>(m_currentToolbar));
    PutU32(image, kColumn, static_cast<uint32_t>(m_column));
    PutU32(image, kRow, static_cast<uint32_t>(m_row));
    PutU32(image, kBufferedCount, static_cast<uint32_t>(m_buffered));
    PutU32(image, kCellWidth, static_cast<uint32_t>(m_cellWidth));
    PutU32(image, kCellHeight, static_cast<uint32_t>(m_cellHeight));
    // The tokens of a held sequence travel as its bytes and are scanned again by the reader.
    PutU32(image, kTokenCount, 0);
    PutU32(image, kCursorShown, m_cursorShown ? 1 : 0);
    PutU32(image, kPaintingOn, m_paintingOn ? 1 : 0);
    ScreenGeometry geometry = m_geometry;
    for (size_t i = 0; i < kGeometryFields; ++i) {
        PutU32(image, kGeometry + 4 * i, static_cast<uint32_t>(*GeometryField(geometry, i)));
    }
    std::memcpy(image.data() + kExpectedDigest, m_expectedDigest.data(),
                std::min(m_expectedDigest.size(), kExpectedDigestBytes - 1));
    return image;
}

bool CTerminalScreen::AdoptSnapshotImage(std::span<const uint8_t> image, std::string* why) {
    using namespace snapshot;
    if (image.size() != kSize) {
        return Refuse(
            why, "the snapshot has " + std::to_string(image.size()) + " bytes, not " + std::to_string(kSize));
    }
    const int32_t column = GetI32(image, kColumn);
    const int32_t row = GetI32(image, kRow);
    if (column < kMinColumn || column >= kScreenColumns || row < kMinRow || row > kMaxRow) {
        return Refuse(why, "the cursor position " + std::to_string(row) + "," + std::to_string(column) +
                               " is impossible");
    }
    const int32_t buffered = GetI32(image, kBufferedCount);
    if (buffered < 0 || buffered > kHoldBackBytes) {
        return Refuse(why, "the held byte count " + std::to_string(buffered) + " is out of range");
    }
    // The held bytes must be one escape sequence still waiting for its end, as a feed leaves them.
    EscapeScanner scanner;
    if (buffered > 0) {
        const auto held = image.subspan(kInputBuffer, static_cast<size_t>(buffered));
        scanner.Begin();
        const auto step = held[0] == 0x1B ? scanner.Scan(held.subspan(1))
                                          : EscapeScanner::Step{EscapeScanner::Outcome::Complete, 0};
        if (held[0] != 0x1B || step.outcome != EscapeScanner::Outcome::NeedMore ||
            step.consumed != held.size() - 1) {
            return Refuse(why, "the held bytes are not an incomplete escape sequence");
        }
    }
    const int32_t cellWidth = GetI32(image, kCellWidth);
    const int32_t cellHeight = GetI32(image, kCellHeight);
    if (cellWidth < 0 || cellWidth > kMaxCellSize || cellHeight < 0 || cellHeight > kMaxCellSize) {
        return Refuse(why, "the cell size is out of range");
    }
    ScreenGeometry geometry;
    for (size_t i = 0; i < kGeometryFields; ++i) {
        const int32_t value = GetI32(image, kGeometry + 4 * i);
        if (value < -kMaxPixels || value > kMaxPixels) {
            return Refuse(why, "a window geometry field is out of range");
        }
        *GeometryField(geometry, i) = value;
    }
    geometry.frameShown = geometry.frameShown != 0 ? 1 : 0;
    geometry.statusBarShown = geometry.statusBarShown != 0 ? 1 : 0;

    // Checked: take it over. Owner, painter and the command table stay this control's own.
    m_foreground = GetU32(image, kCurrentForeground);
    m_background = GetU32(image, kCurrentBackground);
    m_clearColour = GetU32(image, kClearColour);
    m_topRow = 0;
    for (size_t i = 0; i < static_cast<size_t>(kScreenCells); ++i) {
        m_cellColours[i] = {GetU32(image, kCellForegrounds + 4 * i), GetU32(image, kCellBackgrounds + 4 * i)};
        m_cells[i] = image[kCells + i];
    }
    m_input.fill(0);
    std::memcpy(m_input.data(), image.data() + kInputBuffer, static_cast<size_t>(buffered));
    m_buffered = buffered;
    m_scanner = std::move(scanner);
    m_currentToolbar = GetI32(image, kCurrentToolbar);
    m_column = column;
    m_row = row;
    m_cellWidth = cellWidth;
    m_cellHeight = cellHeight;
    m_cursorShown = GetU32(image, kCursorShown) != 0;
    m_paintingOn = GetU32(image, kPaintingOn) != 0;
    m_geometry = geometry;
    UpdateCellPixels();
    const auto* digest = reinterpret_cast<const char*>(image.data() + kExpectedDigest);
    m_expectedDigest.assign(digest, strnlen(digest, kExpectedDigestBytes - 1));
    return true;
}

platform::UniqueFd CTerminalScreen::SaveSnapshot() const {
    auto mapping = platform::SharedMapping::Create(snapshot::kSize);
    if (!mapping) {
        platform::DefaultPrompt().Message("Error Creating File Mapping", platform::PromptIcon::Stop);
        return {};
    }
    const auto image = SnapshotImage();
    std::memcpy(mapping->Data(), image.data(), image.size());
    // The mapping closes its own fd; the handle that travels is a duplicate.
    platform::UniqueFd handle(::fcntl(mapping->Fd(), F_DUPFD_CLOEXEC, 3));
    if (!handle) {
        platform::DefaultPrompt().Message("Error Mapping View", platform::PromptIcon::Stop);
    }
    return handle;
}

bool CTerminalScreen::RestoreSnapshot(int handle, pid_t processId) {
    const bool ours = processId <= 0 || processId == ::getpid();
    std::string why;
    std::optional<platform::SharedMapping> mapping =
        ours ? platform::SharedMapping::OpenFd(handle, snapshot::kSize, false, &why)
             : platform::SharedMapping::OpenFromProcess(processId, handle, snapshot::kSize, &why);
    if (!mapping) {
        platform::DefaultPrompt().Message("Error Mapping View of Handle", platform::PromptIcon::Stop);
        return false;
    }
    const std::vector<uint8_t> image(mapping->Data(), mapping->Data() + snapshot::kSize);
    mapping->Close();
    if (ours) {
        ::close(handle);
    }
    if (!AdoptSnapshotImage(image, &why)) {
        platform::DefaultPrompt().Message("The screen snapshot is damaged: " + why + ".",
                                          platform::PromptIcon::Stop);
        return false;
    }
    return true;
}

}  // namespace terminal
