// The click scan. Every read goes through one accessor that answers a blank outside the clicked row, so
// neighbouring rows never leak into a word and no read leaves the screen.
#include "terminal/bars/click_scan.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "terminal/core/screen.h"

namespace terminal::bars {

namespace {

constexpr std::string_view kHelp = "\x1b[H";

bool IsLetter(uint8_t ch) {
    return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z');
}

uint8_t Lower(uint8_t ch) {
    return (ch >= 'A' && ch <= 'Z') ? static_cast<uint8_t>(ch - 'A' + 'a') : ch;
}

class Row {
  public:
    explicit Row(std::span<const uint8_t> cells) : m_cells(cells) {}

    uint8_t operator[](int32_t column) const {
        return column >= 0 && column < kScreenColumns ? m_cells[static_cast<size_t>(column)] : kBlank;
    }
    // The word holding `column` starts at the returned column.
    int32_t WordStart(int32_t column) const {
        while (column > 0 && (*this)[column - 1] != kBlank) {
            --column;
        }
        return column;
    }
    // The text from `column` on begins with `keyword`, in any case.
    bool StartsWith(int32_t column, std::string_view keyword) const {
        for (size_t i = 0; i < keyword.size(); ++i) {
            if (Lower((*this)[column + static_cast<int32_t>(i)]) != Lower(static_cast<uint8_t>(keyword[i]))) {
                return false;
            }
        }
        return true;
    }

  private:
    std::span<const uint8_t> m_cells;
};

ClickCommand Send(std::string text) {
    return {ClickCommand::Kind::Send, std::move(text)};
}

ClickCommand LetterAndReturn(uint8_t letter) {
    return Send(std::string(1, static_cast<char>(letter)) + "\r");
}

// A ": " whose right-hand text, up to `end`, holds anything but blanks and dots: the click lies in a prompt
// the user has already answered.
bool InAnsweredPrompt(const Row& row, int32_t click, int32_t end) {
    bool answered = false;
    for (int32_t i = std::min(end, kScreenColumns - 1); i >= click; --i) {
        const uint8_t ch = row[i];
        if (ch == ':' && row[i + 1] == ' ' && answered) {
            return true;
        }
        if (ch != kBlank && ch != '.') {
            answered = true;
        }
    }
    return false;
}

ClickCommand ScanMenu(const Row& row, int32_t click, int32_t end) {
    if (InAnsweredPrompt(row, click, end)) {
        return {};
    }
    const uint8_t ch = row[click];
    if (ch == kBlank) {
        return {};
    }
    const uint8_t before = row[click - 1];
    const uint8_t after = row[click + 1];
    if (before == '\'' && after == '\'') {
        // '?' stands for help wherever it is clicked.
        return ch == '?' ? Send(std::string(kHelp)) : LetterAndReturn(ch);
    }
    if ((before == '(' && after == '/') || (before == '/' && after == ')')) {
        return LetterAndReturn(ch);
    }

    const int32_t start = row.WordStart(click);
    if (row.StartsWith(start, "<process>")) {
        return {ClickCommand::Kind::Process, {}};
    }
    if (row.StartsWith(start, "<exit>")) {
        return {ClickCommand::Kind::Exit, {}};
    }
    if (row.StartsWith(start, "<enter>") || row.StartsWith(start, "(enter)") ||
        row.StartsWith(start, "<cr>")) {
        return Send("\r");
    }

    // The key letter of the word: "(P)atient", "'A'dd", "'?'".
    for (int32_t i = start; i < kScreenColumns && row[i] != kBlank; ++i) {
        const uint8_t letter = row[i];
        const uint8_t left = row[i - 1];
        const uint8_t right = row[i + 1];
        if (left == '(' && right == ')' && IsLetter(letter)) {
            return LetterAndReturn(letter);
        }
        if (left == '\'' && right == '\'') {
            if (letter == '?') {
                return Send(std::string(kHelp));
            }
            if (IsLetter(letter)) {
                return LetterAndReturn(letter);
            }
        }
    }
    return {};
}

bool OnScreen(CellPosition cell) {
    return cell.column >= 0 && cell.column < kScreenColumns && cell.row >= 0 && cell.row < kScreenRows;
}

}  // namespace

ClickCommand ScanClick(std::span<const uint8_t> cells, CellPosition click, CellPosition cursor) {
    if (cells.size() < static_cast<size_t>(kScreenCells) || !OnScreen(click)) {
        return {};
    }
    const Row row(cells.subspan(static_cast<size_t>(click.row) * kScreenColumns, kScreenColumns));
    const bool cursorRow = click.row == cursor.row;
    const bool menuArea = (click.row >= 20 && click.row <= 23) || (cursorRow && click.column < cursor.column);
    if (menuArea) {
        // On the cursor's row the last cells before the cursor are the prompt's own.
        const int32_t end = cursorRow ? cursor.column - 5 : 77;
        return ScanMenu(row, click.column, end);
    }
    if (row[click.column] != kBlank && row.StartsWith(row.WordStart(click.column), "<exit>")) {
        return {ClickCommand::Kind::Exit, {}};
    }
    return {};
}

std::string ClickReport(ClickKind kind, CellPosition click, CellPosition cursor) {
    std::array<char, 48> buffer{};
    const int length = std::snprintf(buffer.data(), buffer.size(),
                                     kind == ClickKind::Double ? "\x1b[!%2d,%2d,%1d" : "\x1b[~%2d,%2d,%1d",
                                     click.column, click.row, click.row < cursor.row ? 1 : 0);
    return std::string(buffer.data(), static_cast<size_t>(std::clamp(length, 0, int(buffer.size()) - 1)));
}

void ActOnClick(const CTerminalScreen& screen, ClickKind kind, CellPosition click, ClickTarget& target) {
    if (!OnScreen(click)) {
        return;
    }
    std::array<uint8_t, kScreenCells> cells{};
    screen.CopyCells(cells, 0);
    const CellPosition cursor = screen.GetCursor();
    const ClickCommand command = ScanClick(cells, click, cursor);
    switch (command.kind) {
        case ClickCommand::Kind::Send:
            target.WriteChannel0(command.text);
            return;
        case ClickCommand::Kind::Process:
            target.SendProcess();
            return;
        case ClickCommand::Kind::Exit:
            if (target.FieldModified()) {
                target.SubmitField(true);
            } else {
                target.WriteChannel0("\x1b[@");
            }
            return;
        case ClickCommand::Kind::None:
            break;
    }
    const std::string report = ClickReport(kind, click, cursor);
    if (target.FieldModified()) {
        // The typed text goes first; the report follows on the plain write.
        target.SubmitField(false);
        target.WriteRaw(report);
    } else {
        target.WriteChannel0(report);
    }
}

}  // namespace terminal::bars
