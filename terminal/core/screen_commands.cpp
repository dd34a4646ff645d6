// The host's escape commands: the screen's own (cursor, colours, erasing, painting, attributes) act here;
// the others are checked for their parameter kinds and handed to the owner. A command whose parameter has
// the wrong kind does nothing and uses no token.
#include <algorithm>
#include <cstring>

#include "terminal/core/screen.h"

namespace terminal {
namespace {

// The attribute map of m: for each number, which colours it sets (a mask of all ones keeps the colour) and
// to what. Without branches, as host screens are full of attribute changes; the masks side by side and the
// colours side by side, as the current colours are, so that both change in one step.
struct Attribute {
    Colour keepForeground;
    Colour keepBackground;
    Colour foreground;
    Colour background;
};

constexpr std::array<Attribute, 48> MakeAttributeMap() {
    std::array<Attribute, 48> map{};
    for (auto& a : map) {
        a = {~Colour{0}, ~Colour{0}, 0, 0};
    }
    auto set = [&map](size_t n, int foreground, int background) {
        if (foreground >= 0) {
            map[n].keepForeground = 0;
            map[n].foreground = kForegroundPalette[static_cast<size_t>(foreground)];
        }
        if (background >= 0) {
            map[n].keepBackground = 0;
            map[n].background = kBackgroundPalette[static_cast<size_t>(background)];
        }
    };
    set(0, 15, 1);
    set(1, 7, 1);
    set(7, 1, 15);
    constexpr int kForegrounds[] = {0, 4, 2, 14, 1, 5, 3, 7};
    constexpr int kBackgrounds[] = {0, 4, 2, 6, 1, 5, 3, 7};
    for (size_t i = 0; i < 8; ++i) {
        set(30 + i, kForegrounds[i], -1);
        set(40 + i, -1, kBackgrounds[i]);
    }
    return map;
}
constexpr std::array<Attribute, 48> kAttributeMap = MakeAttributeMap();

}  // namespace

bool CTerminalScreen::IsString(size_t index, size_t back) const {
    return index >= back && m_scanner.TokenAt(index - back).kind == TokenKind::String;
}

std::string CTerminalScreen::StringAt(size_t index, size_t back) {
    std::string text = m_scanner.TakeString(index - back);
    // The commands' receivers (paths, command lines, titles) take C strings: a NUL ends the text.
    if (const size_t nul = text.find('\0'); nul != std::string::npos) {
        text.resize(nul);
    }
    return text;
}

// ---- The screen's commands ----

size_t CTerminalScreen::CommandCursorRight(size_t) {
    ++m_column;
    if (m_column >= kScreenColumns) {
        NewLine();
    }
    return 0;
}

size_t CTerminalScreen::CommandCursorLeft(size_t) {
    // At column 0 the cursor leaves the screen to the left; text is not stored until it is set again.
    m_column = std::max(m_column - 1, kMinColumn);
    return 0;
}

size_t CTerminalScreen::CommandForeground(size_t index) {
    if (!IsInteger(index, 1)) {
        return 0;
    }
    const int32_t n = IntegerAt(index, 1);
    if (n >= 0 && n < static_cast<int32_t>(kForegroundPalette.size())) {
        m_foreground = kForegroundPalette[static_cast<size_t>(n)];
    }
    return 1;
}

size_t CTerminalScreen::CommandBackground(size_t index) {
    if (!IsInteger(index, 1)) {
        return 0;
    }
    const int32_t n = IntegerAt(index, 1);
    if (n >= 0 && n < static_cast<int32_t>(kBackgroundPalette.size())) {
        m_background = kBackgroundPalette[static_cast<size_t>(n)];
    }
    return 1;
}

size_t CTerminalScreen::CommandClearColour(size_t index) {
    if (!IsInteger(index, 1)) {
        return 0;
    }
    const int32_t n = IntegerAt(index, 1);
    if (n >= 0 && n <= 15) {
        m_clearColour = kBackgroundPalette[static_cast<size_t>(n)];
    }
    return 1;
}

size_t CTerminalScreen::CommandCursorPosition(size_t index) {
    HideCursor();
    int32_t row = 1;
    int32_t column = 1;
    size_t used = 0;
    if (IsInteger(index, 1)) {
        if (IsInteger(index, 2)) {
            row = IntegerAt(index, 2);
            column = IntegerAt(index, 1);
            used = 2;
        } else {
            // A single number is the row, as terminals take it.
            row = IntegerAt(index, 1);
            used = 1;
        }
    }
    // Numbers carry no sign, so row - 1 and column - 1 stay within -1 .. INT32_MAX - 1.
    m_row = row - 1;
    m_column = column - 1;
    if (m_column >= kScreenColumns) {
        NewLine();
    }
    return used;
}

size_t CTerminalScreen::CommandErase(size_t index) {
    if (IsInteger(index, 1) && IntegerAt(index, 1) == 2) {
        ClearScreen();
        return 1;
    }
    ClearBelow();
    return IsInteger(index, 1) ? 1 : 0;
}

size_t CTerminalScreen::CommandEraseLine(size_t) {
    ClearToEndOfLine();
    return 0;
}

size_t CTerminalScreen::CommandPaintingOn(size_t) {
    m_paintingOn = true;
    HideCursor();
    Painter().RequestFullRepaint();
    return 0;
}

size_t CTerminalScreen::CommandPaintingOff(size_t) {
    m_paintingOn = false;
    return 0;
}

size_t CTerminalScreen::CommandShowCursor(size_t) {
    if (!m_paintingOn) {
        m_paintingOn = true;
        Painter().RequestFullRepaint();
    }
    m_cursorShown = true;
    DrawCursor(true);
    return 0;
}

size_t CTerminalScreen::CommandNothing(size_t) {
    return 0;
}

size_t CTerminalScreen::CommandAttributes(size_t index) {
    if (index > 3) {
        return 0;
    }
    // From the last parameter to the first, so where two set the same colour the first one wins.
    size_t used = 0;
    while (used < index) {
        const Token& token = m_scanner.TokenAt(index - 1 - used);
        if (token.kind != TokenKind::Integer) {
            break;
        }
        if (static_cast<uint32_t>(token.value) < kAttributeMap.size()) {
            const Attribute& a = kAttributeMap[static_cast<size_t>(token.value)];
            m_foreground = (m_foreground & a.keepForeground) | a.foreground;
            m_background = (m_background & a.keepBackground) | a.background;
        }
        ++used;
    }
    return used;
}

// ---- Commands carried out by the owner ----

size_t CTerminalScreen::CommandOperatorsGuide(size_t index) {
    if (!IsString(index, 1)) {
        return 0;
    }
    Owner().OpenOperatorsGuide(StringAt(index, 1));
    return 1;
}

size_t CTerminalScreen::CommandFileTransfer(size_t index) {
    if (!IsString(index, 1)) {
        return 0;
    }
    Owner().StartFileTransfer(StringAt(index, 1));
    return 1;
}

size_t CTerminalScreen::CommandOpenFile(size_t index) {
    if (!IsString(index, 1)) {
        return 0;
    }
    Owner().OpenHostFile(StringAt(index, 1));
    return 1;
}

size_t CTerminalScreen::CommandExpectDigest(size_t index) {
    if (!IsString(index, 1)) {
        return 0;
    }
    std::string digest = StringAt(index, 1);
    if (digest.size() > 32) {
        digest.resize(32);
    }
    m_expectedDigest = digest;
    Owner().ExpectDigest(std::move(digest));
    return 1;
}

size_t CTerminalScreen::CommandMessage(size_t index) {
    if (!IsString(index, 1)) {
        return 0;
    }
    // The host is answered before the user reads the box, so it is not held up.
    Owner().Reply("\x04");
    Owner().ShowHostMessage(StringAt(index, 1));
    return 1;
}

size_t CTerminalScreen::CommandErrorBox(size_t index) {
    if (!IsString(index, 1)) {
        return 0;
    }
    Owner().Reply("\x04");
    Owner().DisplayErrorBox(StringAt(index, 1));
    return 1;
}

size_t CTerminalScreen::CommandSwitchPractice(size_t index) {
    if (!IsString(index, 1)) {
        return 0;
    }
    Owner().SwitchPractice(StringAt(index, 1));
    return 1;
}

size_t CTerminalScreen::CommandSetHost(size_t index) {
    if (!IsString(index, 1)) {
        return 0;
    }
    Owner().SetHost(StringAt(index, 1));
    return 1;
}

size_t CTerminalScreen::CommandSetDataSet(size_t index) {
    if (!IsString(index, 1)) {
        return 0;
    }
    Owner().SetDataSet(StringAt(index, 1));
    return 1;
}

size_t CTerminalScreen::CommandStartProgram(size_t index) {
    if (!IsString(index, 1)) {
        return 0;
    }
    Owner().StartProgram(StringAt(index, 1));
    return 1;
}

size_t CTerminalScreen::CommandTitle(size_t index) {
    if (!IsString(index, 1)) {
        return 0;
    }
    Owner().SetTitle(StringAt(index, 1));
    return 1;
}

size_t CTerminalScreen::CommandToolbar(size_t index) {
    if (!IsInteger(index, 1)) {
        return 0;
    }
    m_currentToolbar = IntegerAt(index, 1);
    Owner().SwitchToolbar(m_currentToolbar);
    return 1;
}

size_t CTerminalScreen::CommandCalendar(size_t index) {
    if (IsInteger(index, 1)) {
        Owner().OpenCalendar(IntegerAt(index, 1));
        return 1;
    }
    Owner().OpenCalendar(std::nullopt);
    return 0;
}

size_t CTerminalScreen::CommandAppendTerminalId(size_t index) {
    if (!IsInteger(index, 1)) {
        return 0;
    }
    Owner().AppendTerminalId(IntegerAt(index, 1));
    return 1;
}

size_t CTerminalScreen::CommandTerminalId(size_t index) {
    if (IsInteger(index, 1)) {
        Owner().SetTerminalId(IntegerAt(index, 1));
        return 1;
    }
    if (IsString(index, 1)) {
        Owner().SetTerminalId(StringAt(index, 1));
        return 1;
    }
    return 0;
}

size_t CTerminalScreen::CommandChainable(size_t index) {
    if (!IsInteger(index, 1)) {
        return 0;
    }
    Owner().SetChainable(IntegerAt(index, 1));
    return 1;
}

size_t CTerminalScreen::CommandField(size_t index) {
    if (!IsString(index, 1)) {
        return 0;
    }
    Owner().OpenField(StringAt(index, 1));
    return 1;
}

size_t CTerminalScreen::CommandCreateObject(size_t index) {
    if (!IsString(index, 1)) {
        return 0;
    }
    Owner().CreateObject(StringAt(index, 1));
    return 1;
}

size_t CTerminalScreen::CommandCallObject(size_t index) {
    if (!IsString(index, 1)) {
        return 0;
    }
    Owner().CallObject(StringAt(index, 1));
    return 1;
}

size_t CTerminalScreen::CommandReleaseObject(size_t index) {
    if (!IsInteger(index, 1)) {
        return 0;
    }
    Owner().ReleaseObject(IntegerAt(index, 1));
    return 1;
}

size_t CTerminalScreen::CommandBringToFront(size_t) {
    Owner().BringToForeground();
    return 0;
}

size_t CTerminalScreen::CommandNewWindow(size_t index) {
    if (!IsInteger(index, 1)) {
        return 0;
    }
    Owner().NewWindow(IntegerAt(index, 1));
    return 1;
}

size_t CTerminalScreen::CommandTamsel(size_t index) {
    if (!IsString(index, 1)) {
        return 0;
    }
    Owner().Tamsel(StringAt(index, 1));
    return 1;
}

size_t CTerminalScreen::CommandBillingServer(size_t index) {
    if (!IsInteger(index, 1)) {
        return 0;
    }
    Owner().SetBillingServer(IntegerAt(index, 1));
    return 1;
}

size_t CTerminalScreen::CommandPrint(size_t index) {
    if (!IsString(index, 1)) {
        return 0;
    }
    std::string text = StringAt(index, 1);
    m_paintingOn = false;
    // Painting comes back whatever the print job does, so a failed job cannot leave the screen frozen.
    struct Restore {
        CTerminalScreen& screen;
        ~Restore() { screen.CommandPaintingOn(0); }
    } restore{*this};
    Owner().PrintHostFile(std::move(text));
    return 1;
}

size_t CTerminalScreen::CommandApplicationUser(size_t index) {
    if (!IsString(index, 1)) {
        return 0;
    }
    Owner().ApplicationUserChanged(StringAt(index, 1));
    return 1;
}

}  // namespace terminal
