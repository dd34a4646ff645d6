// Fuzzes the screen snapshot a new window adopts: any image must be refused or give a screen whose cursor,
// tokens and buffered bytes are in range, that draws only on the screen and keeps reading the host.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "terminal/core/screen.h"
#include "terminal/core/screen_snapshot.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

class CheckingPainter : public terminal::ScreenPainter {
  public:
    void DrawText(const terminal::TextRun& run) override {
        Check(run.row >= 0 && run.row < terminal::kScreenRows);
        Check(run.column >= 0 &&
              run.column + static_cast<int64_t>(run.text.size()) <= terminal::kScreenColumns);
    }
    void FillArea(const terminal::PixelRect&, terminal::Colour, terminal::FillReason) override {}
    void DrawCursorCell(const terminal::TextRun& cell, bool) override {
        Check(cell.row >= 0 && cell.row < terminal::kScreenRows && cell.column >= 0 &&
              cell.column < terminal::kScreenColumns);
    }
    void DrawFrame() override {}
    void RequestFullRepaint() override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Short inputs are spread over a blank image so that the fuzzer reaches the fields at its end too.
    std::vector<uint8_t> image(data, data + size);
    if (size < terminal::snapshot::kSize && size > 0) {
        std::vector<uint8_t> spread = terminal::CTerminalScreen().SnapshotImage();
        const size_t offset = data[0] * (terminal::snapshot::kSize / 256);
        for (size_t i = 1; i < size && offset + i < spread.size(); ++i) {
            spread[offset + i] = data[i];
        }
        image = std::move(spread);
    }
    terminal::CTerminalScreen screen;
    CheckingPainter painter;
    screen.SetPainter(&painter);
    screen.SetCellSize(8, 16);
    if (!screen.AdoptSnapshotImage(image)) {
        return 0;
    }
    const auto cursor = screen.GetCursor();
    Check(cursor.column >= terminal::kMinColumn && cursor.column < terminal::kScreenColumns);
    Check(cursor.row >= terminal::kMinRow && cursor.row <= terminal::kMaxRow);
    Check(screen.TokenCount() <= terminal::kMaxTokens);
    Check(screen.BufferedCount() >= 0 && screen.BufferedCount() <= terminal::kHoldBackBytes);
    screen.Repaint(true);
    static const uint8_t kMore[] = "\x1b[2;3Hmore text\x1b[0m\r\n";
    screen.Feed(std::span<const uint8_t>(kMore, sizeof kMore - 1));
    screen.Repaint(true);

    terminal::CTerminalScreen again;
    Check(again.AdoptSnapshotImage(screen.SnapshotImage()));
    Check(again.SnapshotImage() == screen.SnapshotImage());
    return 0;
}
