// What the fuzzers of the terminal screen check of every screen they make: a painter that aborts on any
// drawing off the screen, and the model's bookkeeping kept in range.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "terminal/core/screen.h"

namespace fuzz {

inline void Check(bool condition) {
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

inline void CheckInvariants(const terminal::CTerminalScreen& screen) {
    const auto cursor = screen.GetCursor();
    Check(cursor.column >= terminal::kMinColumn && cursor.column < terminal::kScreenColumns);
    Check(cursor.row >= terminal::kMinRow && cursor.row <= terminal::kMaxRow);
    Check(screen.TokenCount() <= terminal::kMaxTokens);
    Check(screen.BufferedCount() >= 0 && screen.BufferedCount() <= terminal::kHoldBackBytes);
    Check(screen.ExpectedDigest().size() <= 32);
}

}  // namespace fuzz
