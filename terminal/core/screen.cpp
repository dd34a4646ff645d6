// The screen model and the host stream interpreter: text and control bytes, the hold-back of incomplete
// escape sequences, cell storage, cursor drawing and the pixel geometry of the grid.
#include "terminal/core/screen.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

namespace terminal {
namespace {

constexpr uint8_t kBel = 0x07;
constexpr uint8_t kBs = 0x08;
constexpr uint8_t kTab = 0x09;
constexpr uint8_t kLf = 0x0A;
constexpr uint8_t kCr = 0x0D;
constexpr uint8_t kEsc = 0x1B;

constexpr std::array<bool, 256> MakeControlTable() {
    std::array<bool, 256> table{};
    for (uint8_t b : {kBel, kBs, kTab, kLf, kCr, kEsc}) {
        table[b] = true;
    }
    return table;
}
constexpr std::array<bool, 256> kIsControl = MakeControlTable();

// Length of the text before the next control byte. Control bytes are all below 0x20, so eight bytes are
// looked at together, and the lowest flagged byte of a word is exactly its first byte below 0x20.
size_t TextRunLength(const uint8_t* p, size_t n) {
    constexpr uint64_t kOnes = 0x0101010101010101ULL;
    constexpr uint64_t kHigh = 0x8080808080808080ULL;
    size_t i = 0;
    while (std::endian::native == std::endian::little && i + 8 <= n) {
        uint64_t word;
        std::memcpy(&word, p + i, 8);
        const uint64_t below = (word - kOnes * 0x20) & ~word & kHigh;
        if (below != 0) {
            // Bytes after the first flagged one may be flagged by its borrow alone: look at them one by one.
            for (size_t k = i + static_cast<size_t>(std::countr_zero(below)) / 8; k < i + 8; ++k) {
                if (kIsControl[p[k]]) {
                    return k;
                }
            }
        }
        i += 8;
    }
    while (i < n && !kIsControl[p[i]]) {
        ++i;
    }
    return i;
}

// Copies a text run into the cells. Runs between escape sequences are mostly a few bytes, for which a call
// of memcpy costs more than the copy: overlapping word moves take them without a loop.
void CopyShort(uint8_t* to, const uint8_t* from, size_t count) {
    if (count >= 8) {
        if (count > 16) {
            std::memcpy(to, from, count);
            return;
        }
        uint64_t head;
        uint64_t tail;
        std::memcpy(&head, from, 8);
        std::memcpy(&tail, from + count - 8, 8);
        std::memcpy(to, &head, 8);
        std::memcpy(to + count - 8, &tail, 8);
    } else if (count >= 4) {
        uint32_t head;
        uint32_t tail;
        std::memcpy(&head, from, 4);
        std::memcpy(&tail, from + count - 4, 4);
        std::memcpy(to, &head, 4);
        std::memcpy(to + count - 4, &tail, 4);
    } else if (count > 0) {
        const uint8_t first = from[0];
        const uint8_t middle = from[count / 2];
        const uint8_t last = from[count - 1];
        to[0] = first;
        to[count / 2] = middle;
        to[count - 1] = last;
    }
}

// Stores a run of 1 to 7 bytes into the cells as one word, merged with the cells after it, with no branch on
// its length. The caller makes sure eight bytes can be read at `text` and at `to`.
void StoreShortRun(uint8_t* to, const uint8_t* text, size_t length) {
    uint64_t source;
    uint64_t cells;
    std::memcpy(&source, text, sizeof source);
    std::memcpy(&cells, to, sizeof cells);
    const uint64_t mask = ~uint64_t{0} >> (64 - 8 * length);
    cells = (cells & ~mask) | (source & mask);
    std::memcpy(to, &cells, sizeof cells);
}

NullScreenOwner g_nullOwner;
NullPainter g_nullPainter;

int32_t ClampToInt32(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

}  // namespace

CTerminalScreen::CTerminalScreen() : m_owner(&g_nullOwner), m_painter(&g_nullPainter) {
    m_cells.fill(kBlank);
    m_cellColours.fill({kInitialForeground, kInitialBackground});
    m_commands['C'] = &Call<&CTerminalScreen::CommandCursorRight>;
    m_commands['D'] = &Call<&CTerminalScreen::CommandCursorLeft>;
    m_commands['F'] = &Call<&CTerminalScreen::CommandForeground>;
    m_commands['G'] = &Call<&CTerminalScreen::CommandBackground>;
    m_commands['b'] = &Call<&CTerminalScreen::CommandClearColour>;
    m_commands['H'] = &Call<&CTerminalScreen::CommandCursorPosition>;
    m_commands['J'] = &Call<&CTerminalScreen::CommandErase>;
    m_commands['K'] = &Call<&CTerminalScreen::CommandEraseLine>;
    m_commands['S'] = &Call<&CTerminalScreen::CommandPaintingOn>;
    m_commands['T'] = &Call<&CTerminalScreen::CommandPaintingOff>;
    m_commands['U'] = &Call<&CTerminalScreen::CommandShowCursor>;
    m_commands['W'] = &Call<&CTerminalScreen::CommandNothing>;
    m_commands['m'] = &Call<&CTerminalScreen::CommandAttributes>;
    m_commands['A'] = &Call<&CTerminalScreen::CommandOperatorsGuide>;
    m_commands['B'] = &Call<&CTerminalScreen::CommandFileTransfer>;
    m_commands['E'] = &Call<&CTerminalScreen::CommandOpenFile>;
    m_commands['e'] = &Call<&CTerminalScreen::CommandExpectDigest>;
    m_commands['I'] = &Call<&CTerminalScreen::CommandMessage>;
    m_commands['P'] = &Call<&CTerminalScreen::CommandErrorBox>;
    m_commands['L'] = &Call<&CTerminalScreen::CommandSwitchPractice>;
    m_commands['M'] = &Call<&CTerminalScreen::CommandSetHost>;
    m_commands['Q'] = &Call<&CTerminalScreen::CommandSetDataSet>;
    m_commands['N'] = &Call<&CTerminalScreen::CommandStartProgram>;
    m_commands['O'] = &Call<&CTerminalScreen::CommandTitle>;
    m_commands['V'] = &Call<&CTerminalScreen::CommandToolbar>;
    m_commands['R'] = &Call<&CTerminalScreen::CommandCalendar>;
    m_commands['X'] = &Call<&CTerminalScreen::CommandAppendTerminalId>;
    m_commands['Y'] = &Call<&CTerminalScreen::CommandTerminalId>;
    m_commands['Z'] = &Call<&CTerminalScreen::CommandChainable>;
    m_commands['a'] = &Call<&CTerminalScreen::CommandField>;
    m_commands['c'] = &Call<&CTerminalScreen::CommandCreateObject>;
    m_commands['i'] = &Call<&CTerminalScreen::CommandCallObject>;
    m_commands['d'] = &Call<&CTerminalScreen::CommandReleaseObject>;
    m_commands['f'] = &Call<&CTerminalScreen::CommandBringToFront>;
    m_commands['k'] = &Call<&CTerminalScreen::CommandNewWindow>;
    m_commands['n'] = &Call<&CTerminalScreen::CommandTamsel>;
    m_commands['o'] = &Call<&CTerminalScreen::CommandBillingServer>;
    m_commands['p'] = &Call<&CTerminalScreen::CommandPrint>;
    m_commands['u'] = &Call<&CTerminalScreen::CommandApplicationUser>;
}

void CTerminalScreen::SetOwner(ScreenOwner* owner) {
    m_owner = owner != nullptr ? owner : &g_nullOwner;
}

void CTerminalScreen::SetPainter(ScreenPainter* painter) {
    m_painter = painter != nullptr ? painter : &g_nullPainter;
}

// ---- Stream ----

void CTerminalScreen::Feed(std::string_view bytes) {
    Feed(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

void CTerminalScreen::Feed(std::span<const uint8_t> bytes) {
    if (m_feeding) {
        m_deferred.insert(m_deferred.end(), bytes.begin(), bytes.end());
        return;
    }
    struct Guard {
        bool& flag;
        ~Guard() { flag = false; }
    } guard{m_feeding};
    m_feeding = true;
    Process(bytes);
    while (!m_deferred.empty()) {
        std::vector<uint8_t> more;
        more.swap(m_deferred);
        Process(more);
    }
}

// The common case, a sequence complete within the data at hand, stays on this short path.
inline size_t CTerminalScreen::ContinueSequence(std::span<const uint8_t> data) {
    const size_t room = static_cast<size_t>(kHoldBackBytes - m_buffered);
    if (room == 0) {
        // It cannot complete within the hold-back buffer: show it instead of waiting for ever.
        GiveUpSequence();
        return 0;
    }
    const auto chunk = data.first(std::min(data.size(), room));
    const auto step = m_scanner.Scan(chunk);
    if (step.outcome == EscapeScanner::Outcome::Complete) {
        if (m_scanner.Discarded()) {
            EndSequence();
        } else {
            DispatchWhole();
        }
        return step.consumed;
    }
    SequenceNotComplete(step.outcome, chunk.first(step.consumed));
    return step.consumed;
}

void CTerminalScreen::SequenceNotComplete(EscapeScanner::Outcome outcome, std::span<const uint8_t> scanned) {
    switch (outcome) {
        case EscapeScanner::Outcome::Complete:
            break;
        case EscapeScanner::Outcome::NeedMore:
            // Held until the rest arrives.
            std::memcpy(m_input.data() + m_buffered, scanned.data(), scanned.size());
            m_buffered += static_cast<int32_t>(scanned.size());
            break;
        case EscapeScanner::Outcome::NotSequence:
            EndSequence();
            WriteText(&kEsc, 1);
            break;
        case EscapeScanner::Outcome::StringTooLong: {
            // As far as the '%' it was a sequence (whose tokens name no command); the text after it is data.
            std::memcpy(m_input.data() + m_buffered, scanned.data(), scanned.size());
            m_buffered += static_cast<int32_t>(scanned.size());
            std::array<uint8_t, kHoldBackBytes> rest;
            const size_t from = m_scanner.StringStart();
            const size_t count = static_cast<size_t>(m_buffered) - from;
            std::memcpy(rest.data(), m_input.data() + from, count);
            EndSequence();
            Process(std::span<const uint8_t>(rest.data(), count));
            break;
        }
    }
}

void CTerminalScreen::Process(std::span<const uint8_t> data) {
    const uint8_t* p = data.data();
    const size_t n = data.size();
    size_t i = 0;
    // A sequence held back from the last feed goes on first.
    while (i < n && m_scanner.Active()) {
        i += ContinueSequence(data.subspan(i));
    }
    while (i < n) {
        if (!kIsControl[p[i]]) {
            const size_t run = TextRunLength(p + i, n - i);
            WriteText(p + i, run, n - i);
            i += run;
            if (i == n) {
                break;
            }
        }
        const uint8_t control = p[i++];
        if (control == kEsc) {
            m_input[0] = kEsc;
            m_buffered = 1;
            if (size_t used = 0; m_scanner.ScanQuick(data.subspan(i), used)) {
                i += used;
                DispatchLast();
                continue;
            }
            m_scanner.Begin();
            do {
                i += ContinueSequence(data.subspan(i));
            } while (i < n && m_scanner.Active());
            continue;
        }
        switch (control) {
            case kBel:
                Owner().Beep();
                break;
            case kBs:
                Backspace();
                break;
            case kTab:
                Tab();
                break;
            case kLf:
                NewLine();
                break;
            case kCr:
                m_column = 0;
                break;
            default:
                break;
        }
    }
}

void CTerminalScreen::GiveUpSequence() {
    std::array<uint8_t, kHoldBackBytes> rest;
    const size_t count = static_cast<size_t>(m_buffered) - 1;
    std::memcpy(rest.data(), m_input.data() + 1, count);
    EndSequence();
    WriteText(&kEsc, 1);
    Process(std::span<const uint8_t>(rest.data(), count));
}

void CTerminalScreen::DispatchWhole() {
    // The sequence is over even when a command does not return normally.
    struct End {
        CTerminalScreen& screen;
        ~End() { screen.EndSequence(); }
    } end{*this};
    Dispatch(m_scanner.TokenCount());
}

inline void CTerminalScreen::DispatchLast() {
    struct End {
        CTerminalScreen& screen;
        ~End() { screen.EndSequence(); }
    } end{*this};
    // The walk's first step, taken here: its last token is a letter.
    size_t i = m_scanner.TokenCount() - 1;
    const CommandHandler handler = m_commands[static_cast<uint8_t>(m_scanner.TokenAt(i).value)];
    if (handler != nullptr) {
        i -= std::min(handler(*this, i), i);
    }
    if (i > 0) {
        Dispatch(i);
    }
}

void CTerminalScreen::Dispatch(size_t end) {
    // From the last token to the first: a letter with a command takes its parameters from the tokens before
    // it, and the walk passes over those.
    size_t i = end;
    while (i > 0) {
        --i;
        const Token& token = m_scanner.TokenAt(i);
        if (token.kind != TokenKind::Letter) {
            continue;
        }
        const CommandHandler handler = m_commands[static_cast<uint8_t>(token.value)];
        if (handler == nullptr) {
            continue;
        }
        const size_t used = handler(*this, i);
        i -= std::min(used, i);
    }
}

// ---- Text writer and cursor movement ----

// Four overlapping stores of two pairs cover any count from 2 to 7, with no branch on the count: a screen's
// short runs come in every length, which no branch predicts. Inline in the text writer.
inline void CTerminalScreen::FillFewColours(CellColours* cells, size_t count, CellColours colours) {
    if (count < 2) {
        if (count == 1) {
            cells[0] = colours;
        }
        return;
    }
    // The first and last pairs, and two in the middle that close any gap between them.
    const std::array<CellColours, 2> two{colours, colours};
    const size_t last = count - 2;
    std::memcpy(cells, two.data(), sizeof two);
    std::memcpy(cells + last, two.data(), sizeof two);
    std::memcpy(cells + last / 2, two.data(), sizeof two);
    std::memcpy(cells + (last + 1) / 2, two.data(), sizeof two);
}

bool CTerminalScreen::OnScreen(int32_t row, int32_t column) {
    return row >= 0 && row < kScreenRows && column >= 0 && column < kScreenColumns;
}

void CTerminalScreen::WriteText(const uint8_t* text, size_t length, size_t readable) {
    // Most runs fit the rest of an on-screen row: stored and drawn in one go.
    if (length != 0 && m_row >= 0 && m_row < kScreenRows && m_column >= 0 &&
        length < static_cast<size_t>(kScreenColumns - m_column)) {
        const size_t at = RowBase(m_row) + static_cast<size_t>(m_column);
        if (length < 8) {
            if (std::endian::native == std::endian::little && readable >= 8 &&
                at + 8 <= static_cast<size_t>(kScreenCells)) {
                StoreShortRun(m_cells.data() + at, text, length);
            } else {
                CopyShort(m_cells.data() + at, text, length);
            }
            FillFewColours(m_cellColours.data() + at, length, {m_foreground, m_background});
        } else {
            CopyShort(m_cells.data() + at, text, length);
            FillColours(at, length, {m_foreground, m_background});
        }
        if (m_paintingOn) {
            Painter().DrawText({m_row, m_column, m_columnX[static_cast<size_t>(m_column)],
                                m_rowY[static_cast<size_t>(m_row)],
                                std::string_view(reinterpret_cast<const char*>(m_cells.data() + at), length),
                                m_foreground, m_background});
        }
        m_column += static_cast<int32_t>(length);
        return;
    }
    WriteWrapping(text, length);
}

void CTerminalScreen::WriteWrapping(const uint8_t* text, size_t length) {
    while (length > 0) {
        const int64_t column = m_column;
        if (column + static_cast<int64_t>(length) >= kScreenColumns) {
            // The character that lands in column 79 takes the cursor to the next line at once.
            const size_t fit = static_cast<size_t>(kScreenColumns - column);
            StoreRun(text, fit);
            text += fit;
            length -= fit;
            NewLine();
        } else {
            StoreRun(text, length);
            m_column = static_cast<int32_t>(column + static_cast<int64_t>(length));
            length = 0;
        }
    }
}

void CTerminalScreen::StoreRun(const uint8_t* text, size_t length) {
    if (m_row < 0 || m_row >= kScreenRows) {
        return;
    }
    int64_t first = m_column;
    int64_t last = first + static_cast<int64_t>(length);  // exclusive
    if (first < 0) {
        text += -first;
        first = 0;
    }
    last = std::min<int64_t>(last, kScreenColumns);
    if (last <= first) {
        return;
    }
    const size_t at = RowBase(m_row) + static_cast<size_t>(first);
    const size_t count = static_cast<size_t>(last - first);
    std::memcpy(m_cells.data() + at, text, count);
    FillColours(at, count, {m_foreground, m_background});
    if (m_paintingOn) {
        const auto column = static_cast<int32_t>(first);
        Painter().DrawText({m_row, column, CellX(column), CellY(m_row),
                            std::string_view(reinterpret_cast<const char*>(m_cells.data() + at), count),
                            m_foreground, m_background});
    }
}

void CTerminalScreen::NewLine() {
    m_column = 0;
    if (m_row >= kScreenRows - 1) {
        // Also a row set beyond the screen by H comes back to the last row with a scroll.
        Scroll();
        m_row = kScreenRows - 1;
    } else {
        ++m_row;
    }
}

void CTerminalScreen::Scroll() {
    m_topRow = (m_topRow + 1) % kScreenRows;
    BlankCells(kScreenRows - 1, 0, m_foreground, m_background);
    if (m_paintingOn) {
        Painter().RequestFullRepaint();
    }
}

void CTerminalScreen::Backspace() {
    if (m_column <= 0) {
        return;
    }
    --m_column;
    if (!OnScreen(m_row, m_column)) {
        return;
    }
    const size_t base = RowBase(m_row);
    const auto from = static_cast<size_t>(m_column);
    const size_t tail = kScreenColumns - 1 - from;
    std::memmove(m_cells.data() + base + from, m_cells.data() + base + from + 1, tail);
    std::memmove(m_cellColours.data() + base + from, m_cellColours.data() + base + from + 1,
                 tail * sizeof(CellColours));
    const size_t last = base + kScreenColumns - 1;
    m_cells[last] = kBlank;
    m_cellColours[last] = {m_foreground, m_background};
    DrawRowRuns(m_row, m_column);
}

void CTerminalScreen::Tab() {
    const int32_t next = m_column + 8 - (((m_column % 8) + 8) % 8);
    if (next >= kScreenColumns) {
        NewLine();
    } else {
        m_column = next;
    }
}

void CTerminalScreen::BlankCells(int32_t row, int32_t firstColumn, Colour foreground, Colour background) {
    if (row < 0 || row >= kScreenRows) {
        return;
    }
    firstColumn = std::clamp(firstColumn, 0, kScreenColumns);
    const size_t at = RowBase(row) + static_cast<size_t>(firstColumn);
    const size_t count = static_cast<size_t>(kScreenColumns - firstColumn);
    std::fill_n(m_cells.begin() + static_cast<ptrdiff_t>(at), count, kBlank);
    FillColours(at, count, {foreground, background});
}

void CTerminalScreen::FillColours(size_t at, size_t count, CellColours colours) {
    CellColours* const cells = m_cellColours.data() + at;
    if (count < 8) {
        FillFewColours(cells, count, colours);
        return;
    }
    if (colours != m_fillColours) {
        m_fillColours = colours;
        m_fillValid = 0;
    }
    if (m_fillValid < count) {
        std::fill(m_fillRow.begin() + static_cast<ptrdiff_t>(m_fillValid),
                  m_fillRow.begin() + static_cast<ptrdiff_t>(count), colours);
        m_fillValid = count;
    }
    std::memcpy(cells, m_fillRow.data(), count * sizeof(CellColours));
}

void CTerminalScreen::DrawRowRuns(int32_t row, int32_t firstColumn) {
    if (!m_paintingOn || row < 0 || row >= kScreenRows) {
        return;
    }
    const size_t base = RowBase(row);
    int32_t start = std::max(firstColumn, 0);
    while (start < kScreenColumns) {
        const size_t s = base + static_cast<size_t>(start);
        int32_t end = start + 1;
        while (end < kScreenColumns && m_cellColours[base + static_cast<size_t>(end)] == m_cellColours[s]) {
            ++end;
        }
        Painter().DrawText({row, start, CellX(start), CellY(row),
                            std::string_view(reinterpret_cast<const char*>(m_cells.data() + s),
                                             static_cast<size_t>(end - start)),
                            m_cellColours[s].foreground, m_cellColours[s].background});
        start = end;
    }
}

// ---- Cursor ----

void CTerminalScreen::DrawCursor(bool inverted) {
    if (!m_paintingOn || !OnScreen(m_row, m_column)) {
        return;
    }
    const size_t at = RowBase(m_row) + static_cast<size_t>(m_column);
    Colour foreground = m_cellColours[at].foreground;
    Colour background = m_cellColours[at].background;
    if (inverted) {
        std::swap(foreground, background);
    }
    Painter().DrawCursorCell(
        {m_row, m_column, CellX(m_column), CellY(m_row),
         std::string_view(reinterpret_cast<const char*>(m_cells.data() + at), 1), foreground, background},
        inverted);
}

void CTerminalScreen::ToggleCursor() {
    if (!m_paintingOn && !m_cursorShown) {
        return;
    }
    m_cursorShown = !m_cursorShown;
    DrawCursor(m_cursorShown);
}

void CTerminalScreen::HideShownCursor() {
    m_cursorShown = false;
    DrawCursor(false);
}

// ---- Cells ----

uint8_t CTerminalScreen::CharAt(int32_t row, int32_t column) const {
    return OnScreen(row, column) ? m_cells[RowBase(row) + static_cast<size_t>(column)] : kBlank;
}

Colour CTerminalScreen::ForegroundAt(int32_t row, int32_t column) const {
    return OnScreen(row, column) ? m_cellColours[RowBase(row) + static_cast<size_t>(column)].foreground : 0;
}

Colour CTerminalScreen::BackgroundAt(int32_t row, int32_t column) const {
    return OnScreen(row, column) ? m_cellColours[RowBase(row) + static_cast<size_t>(column)].background : 0;
}

size_t CTerminalScreen::CopyCells(std::span<uint8_t> destination, int32_t start) const {
    if (start < 0 || start >= kScreenCells) {
        return 0;
    }
    const size_t total = std::min(destination.size(), static_cast<size_t>(kScreenCells - start));
    size_t copied = 0;
    while (copied < total) {
        const auto index = static_cast<int32_t>(static_cast<size_t>(start) + copied);
        const int32_t row = index / kScreenColumns;
        const int32_t column = index % kScreenColumns;
        const size_t count = std::min(total - copied, static_cast<size_t>(kScreenColumns - column));
        std::memcpy(destination.data() + copied, m_cells.data() + RowBase(row) + static_cast<size_t>(column),
                    count);
        copied += count;
    }
    return copied;
}

std::string CTerminalScreen::CopyCells(int32_t start, int32_t count) const {
    if (count <= 0) {
        return {};
    }
    std::string text(static_cast<size_t>(count), '\0');
    const size_t copied =
        CopyCells(std::span<uint8_t>(reinterpret_cast<uint8_t*>(text.data()), text.size()), start);
    text.resize(copied);
    return text;
}

// ---- Erasing ----

void CTerminalScreen::ClearToEndOfLine() {
    if (m_row < 0 || m_row >= kScreenRows || m_column >= kScreenColumns) {
        return;
    }
    const int32_t first = std::max(m_column, 0);
    BlankCells(m_row, first, m_foreground, m_background);
    if (m_paintingOn) {
        const size_t at = RowBase(m_row) + static_cast<size_t>(first);
        Painter().DrawText({m_row, first, CellX(first), CellY(m_row),
                            std::string_view(reinterpret_cast<const char*>(m_cells.data() + at),
                                             static_cast<size_t>(kScreenColumns - first)),
                            m_foreground, m_background});
    }
}

void CTerminalScreen::ClearBelow() {
    ClearToEndOfLine();
    const int32_t firstRow = m_row < 0 ? 0 : (m_row >= kScreenRows ? kScreenRows : m_row + 1);
    for (int32_t row = firstRow; row < kScreenRows; ++row) {
        BlankCells(row, 0, m_foreground, m_background);
    }
    if (m_paintingOn) {
        PixelRect area = UsableRect();
        area.top = std::max(area.top, CellY(m_row + 1));
        if (!area.IsEmpty()) {
            Painter().FillArea(area, m_background, FillReason::ClearBelow);
        }
    }
}

void CTerminalScreen::ClearScreen() {
    m_cells.fill(kBlank);
    m_cellColours.fill({m_foreground, m_clearColour});
    if (m_paintingOn) {
        Painter().FillArea(CellArea(), m_clearColour, FillReason::ClearScreen);
    }
}

// ---- Geometry ----

void CTerminalScreen::UpdateCellPixels() {
    for (int32_t column = 0; column < kScreenColumns; ++column) {
        m_columnX[static_cast<size_t>(column)] = CellX(column);
    }
    for (int32_t row = 0; row < kScreenRows; ++row) {
        m_rowY[static_cast<size_t>(row)] = CellY(row);
    }
}

void CTerminalScreen::SetCellSize(int32_t width, int32_t height) {
    m_cellWidth = std::max(width, 0);
    m_cellHeight = std::max(height, 0);
    UpdateCellPixels();
}

void CTerminalScreen::Resize(int32_t width, int32_t height, int32_t statusBarHeight) {
    ScreenGeometry& g = m_geometry;
    g.windowWidth = width;
    g.windowHeight = height;
    g.usableWidth = width;
    g.usableHeight = height;
    if (g.frameShown != 0) {
        g.usableWidth -= 12;
        g.usableHeight -= 29;
    }
    if (g.statusBarShown != 0) {
        g.usableHeight -= statusBarHeight;
    }
    if (g.textWidth == 0 || g.usableWidth < g.textWidth) {
        g.textWidth = g.usableWidth;
    }
}

void CTerminalScreen::Layout(int32_t cellWidth, int32_t cellHeight) {
    ScreenGeometry& g = m_geometry;
    const int64_t gridWidth = int64_t{cellWidth} * kScreenColumns;
    const int64_t gridHeight = int64_t{cellHeight} * kScreenRows;
    g.textWidth = ClampToInt32(std::min<int64_t>(g.usableWidth, gridWidth));
    g.marginX = ClampToInt32(std::max<int64_t>(0, (g.usableWidth - gridWidth - 5) / 2));
    g.marginY = ClampToInt32(std::max<int64_t>(0, (g.usableHeight - gridHeight - 5) / 2));
    g.originX = g.bandOffsetX + g.frameOffsetX + g.marginX;
    g.originY = g.bandOffsetY + g.frameOffsetY + g.marginY;
    UpdateCellPixels();
}

void CTerminalScreen::SetFrameOffset(int32_t x, int32_t y) {
    m_geometry.frameOffsetX = x;
    m_geometry.frameOffsetY = y;
    m_geometry.originX = m_geometry.bandOffsetX + x + m_geometry.marginX;
    m_geometry.originY = m_geometry.bandOffsetY + y + m_geometry.marginY;
    UpdateCellPixels();
}

void CTerminalScreen::SetBandOffset(int32_t x, int32_t y) {
    m_geometry.bandOffsetX = x;
    m_geometry.bandOffsetY = y;
    m_geometry.originX = x + m_geometry.frameOffsetX + m_geometry.marginX;
    m_geometry.originY = y + m_geometry.frameOffsetY + m_geometry.marginY;
    UpdateCellPixels();
}

void CTerminalScreen::SetExtraOffset(int32_t x, int32_t y) {
    m_geometry.extraOffsetX = x;
    m_geometry.extraOffsetY = y;
    UpdateCellPixels();
}

PixelRect CTerminalScreen::ClipRect() const {
    const ScreenGeometry& g = m_geometry;
    return {g.frameOffsetX, g.frameOffsetY, g.windowWidth - g.frameOffsetX, g.windowHeight - 6};
}

PixelRect CTerminalScreen::UsableRect() const {
    const ScreenGeometry& g = m_geometry;
    return {g.frameOffsetX, g.frameOffsetY, g.frameOffsetX + g.usableWidth, g.frameOffsetY + g.usableHeight};
}

PixelRect CTerminalScreen::CellArea() const {
    return {CellX(0), CellY(0), CellX(kScreenColumns), CellY(kScreenRows)};
}

std::optional<CellPosition> CTerminalScreen::CellFromPoint(int32_t x, int32_t y) const {
    if (m_cellWidth <= 0 || m_cellHeight <= 0) {
        return std::nullopt;
    }
    return CellPosition{ClampToInt32((int64_t{x} - m_geometry.originX) / m_cellWidth),
                        ClampToInt32((int64_t{y} - m_geometry.originY) / m_cellHeight)};
}

void CTerminalScreen::Repaint(bool withBackground) {
    if (!m_paintingOn) {
        return;
    }
    if (m_cellWidth <= 0 || m_cellHeight <= 0) {
        Painter().FillArea(UsableRect(), m_clearColour, FillReason::Background);
        Painter().DrawFrame();
        return;
    }
    if (withBackground) {
        Painter().FillArea(UsableRect(), m_clearColour, FillReason::Background);
        Painter().DrawFrame();
    }
    for (int32_t row = 0; row < kScreenRows; ++row) {
        DrawRowRuns(row, 0);
    }
    if (m_cursorShown) {
        DrawCursor(true);
    }
}

}  // namespace terminal
