// Fuzzes the terminal screen's stream interpreter: arbitrary host bytes fed in arbitrary pieces. After every
// feed the model's bookkeeping must be sane and nothing may be drawn outside the screen; at the end the
// pieces must have left the same screen as the whole stream, and a snapshot of it must be adoptable.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "terminal/core/screen.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// Every run of text and the cursor cell must lie on the screen.
class CheckingPainter : public terminal::ScreenPainter {
  public:
    void DrawText(const terminal::TextRun& run) override {
        Check(run.row >= 0 && run.row < terminal::kScreenRows);
        Check(run.column >= 0 &&
              run.column + static_cast<int64_t>(run.text.size()) <= terminal::kScreenColumns);
        Check(!run.text.empty());
    }
    void FillArea(const terminal::PixelRect&, terminal::Colour, terminal::FillReason) override {}
    void DrawCursorCell(const terminal::TextRun& cell, bool) override {
        Check(cell.row >= 0 && cell.row < terminal::kScreenRows && cell.column >= 0 &&
              cell.column < terminal::kScreenColumns && cell.text.size() == 1);
    }
    void DrawFrame() override {}
    void RequestFullRepaint() override {}
};

void CheckInvariants(const terminal::CTerminalScreen& screen) {
    const auto cursor = screen.GetCursor();
    Check(cursor.column >= terminal::kMinColumn && cursor.column < terminal::kScreenColumns);
    Check(cursor.row >= terminal::kMinRow && cursor.row <= terminal::kMaxRow);
    Check(screen.TokenCount() <= terminal::kMaxTokens);
    Check(screen.BufferedCount() >= 0 && screen.BufferedCount() <= terminal::kHoldBackBytes);
    Check(screen.ExpectedDigest().size() <= 32);
}

bool SameScreen(const terminal::CTerminalScreen& a, const terminal::CTerminalScreen& b) {
    if (a.GetCursor() != b.GetCursor() || a.BufferedCount() != b.BufferedCount() ||
        a.TokenCount() != b.TokenCount() || a.CurrentForeground() != b.CurrentForeground() ||
        a.CurrentBackground() != b.CurrentBackground() || a.ClearColour() != b.ClearColour() ||
        a.PaintingOn() != b.PaintingOn() || a.CursorShown() != b.CursorShown() ||
        a.CurrentToolbar() != b.CurrentToolbar() || a.ExpectedDigest() != b.ExpectedDigest()) {
        return false;
    }
    return a.SnapshotImage() == b.SnapshotImage();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider provider(data, size);
    CheckingPainter painter;
    terminal::CTerminalScreen pieces;
    pieces.SetPainter(&painter);
    pieces.SetCellSize(8, 16);
    std::vector<uint8_t> all;
    while (provider.remaining_bytes() > 0) {
        const size_t length = provider.ConsumeIntegralInRange<size_t>(0, 3000);
        const std::vector<uint8_t> piece = provider.ConsumeBytes<uint8_t>(length);
        pieces.Feed(piece);
        CheckInvariants(pieces);
        all.insert(all.end(), piece.begin(), piece.end());
    }
    pieces.Repaint(true);

    terminal::CTerminalScreen whole;
    whole.SetPainter(&painter);
    whole.SetCellSize(8, 16);
    whole.Feed(all);
    Check(SameScreen(pieces, whole));

    terminal::CTerminalScreen adopted;
    Check(adopted.AdoptSnapshotImage(pieces.SnapshotImage()));
    Check(adopted.SnapshotImage() == pieces.SnapshotImage());
    return 0;
}
