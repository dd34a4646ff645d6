// Fuzzes the terminal screen's stream interpreter: arbitrary host bytes fed whole, split at a few points and
// byte by byte around one of them. After every feed the model's bookkeeping must be sane and nothing may be
// drawn outside the screen; every way of feeding must leave the same screen, and its snapshot must adopt.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "fuzz/screen_checks.h"
#include "terminal/core/screen.h"

namespace {

using fuzz::Check;
using fuzz::CheckingPainter;
using fuzz::CheckInvariants;

// The image holds the cells and the parser's state; the rest is compared field by field. `image` is b's,
// made once: making images is most of what an input costs.
bool SameScreen(const terminal::CTerminalScreen& a, const terminal::CTerminalScreen& b,
                const std::vector<uint8_t>& image) {
    if (a.GetCursor() != b.GetCursor() || a.BufferedCount() != b.BufferedCount() ||
        a.TokenCount() != b.TokenCount() || a.CurrentForeground() != b.CurrentForeground() ||
        a.CurrentBackground() != b.CurrentBackground() || a.ClearColour() != b.ClearColour() ||
        a.PaintingOn() != b.PaintingOn() || a.CursorShown() != b.CursorShown() ||
        a.CurrentToolbar() != b.CurrentToolbar() || a.ExpectedDigest() != b.ExpectedDigest()) {
        return false;
    }
    return a.SnapshotImage() == image;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first bytes choose up to three split points; the rest is the stream. Feeding it whole, in those
    // pieces, and byte by byte across a window at the first point must leave the same screen: a parser
    // state that a block boundary loses shows at whichever point the fuzzer learns to place.
    FuzzedDataProvider provider(data, size);
    const size_t splits = provider.ConsumeIntegralInRange<size_t>(0, 3);
    std::vector<size_t> points;
    for (size_t i = 0; i < splits; ++i) {
        points.push_back(provider.ConsumeIntegral<uint16_t>());
    }
    const std::vector<uint8_t> stream = provider.ConsumeRemainingBytes<uint8_t>();
    for (size_t& point : points) {
        point = stream.empty() ? 0 : point % (stream.size() + 1);
    }
    std::sort(points.begin(), points.end());
    const std::span<const uint8_t> all(stream);

    CheckingPainter painter;
    terminal::CTerminalScreen whole;
    whole.SetPainter(&painter);
    whole.SetCellSize(8, 16);
    whole.Feed(all);
    CheckInvariants(whole);
    whole.Repaint(true);
    const std::vector<uint8_t> image = whole.SnapshotImage();

    terminal::CTerminalScreen pieces;
    pieces.SetPainter(&painter);
    pieces.SetCellSize(8, 16);
    size_t at = 0;
    for (const size_t point : points) {
        pieces.Feed(all.subspan(at, point - at));
        CheckInvariants(pieces);
        at = point;
    }
    pieces.Feed(all.subspan(at));
    CheckInvariants(pieces);
    Check(SameScreen(pieces, whole, image));

    constexpr size_t kByteWindow = 64;
    const size_t from = points.empty() ? 0 : points.front() - std::min(points.front(), kByteWindow / 2);
    const size_t to = std::min(stream.size(), from + kByteWindow);
    terminal::CTerminalScreen bytes;
    bytes.SetPainter(&painter);
    bytes.SetCellSize(8, 16);
    bytes.Feed(all.subspan(0, from));
    for (size_t i = from; i < to; ++i) {
        bytes.Feed(all.subspan(i, 1));
    }
    bytes.Feed(all.subspan(to));
    CheckInvariants(bytes);
    Check(SameScreen(bytes, whole, image));

    terminal::CTerminalScreen adopted;
    Check(adopted.AdoptSnapshotImage(image));
    Check(adopted.SnapshotImage() == image);
    return 0;
}
