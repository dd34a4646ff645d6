// The field editor: the reply bytes each ending key puts on the wire, what numeric, password and one-key
// fields accept, paste, type-ahead between fields with its cap, direct keys before the first field, and
// the field description of command `a`.
#include "terminal/core/inkey.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "platform/user_prompt.h"
#include "terminal/core/tests/key_sender_fake.h"

namespace terminal {
namespace {

using testing::ImmediatePoster;

const std::string kPrefix0("\x1b\\0\x01-1\x01", 7);
const std::string kPrefix1("\x1b\\1\x01-1\x01", 7);

class RecordingHost : public InkeyHost {
  public:
    void Beep() override { ++m_beeps; }
    void ShowField(bool visible) override { m_shown.push_back(visible); }
    void MoveField(const FieldRect& rect) override { m_moves.push_back(rect); }
    void FocusField() override { ++m_focuses; }
    void PostCommand(int32_t commandId) override { m_commands.push_back(commandId); }
    void LogLine(std::string_view text) override { m_log.emplace_back(text); }

    int m_beeps = 0;
    std::vector<bool> m_shown;
    std::vector<FieldRect> m_moves;
    int m_focuses = 0;
    std::vector<int32_t> m_commands;
    std::vector<std::string> m_log;
};

// ESC \ modified 0x01 code 0x01 [text 0x01] [group]
std::string Reply(bool modified, int code, std::string_view text = {}, std::string_view group = {}) {
    std::string r = "\x1b\\";
    r += modified ? "1" : "0";
    r += "\x01" + std::to_string(code) + "\x01";
    if (modified) {
        r += std::string(text) + "\x01";
    }
    return r + std::string(group);
}

// The choice group: host code, caret, value, insert mode, each followed by 0x01.
std::string Group(int code, int caret, int value, int insert) {
    std::string g;
    for (const int n : {code, caret, value, insert}) {
        g += std::to_string(n) + "\x01";
    }
    return g;
}

struct FieldSpec {
    std::string text{};
    int32_t length = 10;
    int32_t mode = 0;
    int32_t options = 8;
    int32_t cursor = 0;
    int32_t advance = 1;
    std::string keyList = "N";
    int32_t column = 3;
    int32_t row = 4;
};

std::string Describe(const FieldSpec& f) {
    std::string d = f.text;
    for (const int32_t n : {f.column, f.row, f.length, f.mode, f.options, f.cursor, f.advance}) {
        d += '\x02' + std::to_string(n);
    }
    return d + '\x02' + f.keyList;
}

// The key a US keyboard presses for `ch`, as the toolkit edge reports it.
std::pair<uint32_t, KeyModifiers> KeyFor(char ch) {
    if (ch >= 'a' && ch <= 'z') {
        return {vk::kA + (ch - 'a'), {}};
    }
    if (ch >= 'A' && ch <= 'Z') {
        return {vk::kA + (ch - 'A'), {.shift = true}};
    }
    if (ch >= '0' && ch <= '9') {
        return {vk::k0 + (ch - '0'), {}};
    }
    switch (ch) {
        case '.':
            return {vk::kOemPeriod, {}};
        case '-':
            return {vk::kOemMinus, {}};
        case '?':
            return {vk::kOem2, {.shift = true}};
        case '[':
            return {vk::kOem4, {}};
        case ' ':
            return {vk::kSpace, {}};
        default:
            return {0xFF, {}};
    }
}

class InkeyTest : public ::testing::Test {
  protected:
    void Open(const FieldSpec& f) {
        ASSERT_TRUE(m_ctrl.OpenField(Describe(f), m_geometry));
        m_poster.TakeWire();
    }
    // Each character as a key press followed by its character, as the edit box delivers them.
    void Type(std::string_view chars) {
        for (const char c : chars) {
            const auto [key, mods] = KeyFor(c);
            m_ctrl.KeyDown(key, mods, true);
            m_ctrl.Char(static_cast<uint8_t>(c));
        }
    }
    // A key press; the keys that give a control character deliver it too.
    void Press(uint32_t key, KeyModifiers mods = {}) {
        m_ctrl.KeyDown(key, mods, false);
        switch (key) {
            case vk::kBack:
            case vk::kTab:
            case vk::kReturn:
            case vk::kEscape:
                m_ctrl.Char(static_cast<uint8_t>(key));
                break;
            default:
                break;
        }
    }
    std::string Wire() { return m_poster.TakeWire(); }

    RecordingHost m_host;
    ImmediatePoster m_poster;
    CInkeyCtrl m_ctrl{m_host, m_poster};
    CellGeometry m_geometry{8, 16, 0, 0, 6, 6};
};

struct EndCase {
    const char* name;
    FieldSpec field;
    std::string typed;
    uint32_t key;
    KeyModifiers mods;
    std::string wire;
    enum After { kOpen, kReplied, kSubmitted } after;
};

TEST_F(InkeyTest, EachEndingKeySendsItsReply) {
    const FieldSpec text{.text = ""};
    const FieldSpec host{.text = "xy"};
    const FieldSpec choice{.text = "AB", .length = 5, .mode = CInkeyCtrl::kChoiceMode, .cursor = 1};
    const FieldSpec choiceEnd{.text = "AB", .length = 5, .mode = CInkeyCtrl::kChoiceMode, .cursor = 3};
    const std::vector<EndCase> cases = {
        {"Enter after typing", text, "ab", vk::kReturn, {}, Reply(true, 0, "ab"), EndCase::kReplied},
        {"Enter unchanged", host, "", vk::kReturn, {}, Reply(false, 0), EndCase::kReplied},
        {"Enter on an empty field is swallowed", text, "", vk::kReturn, {}, "", EndCase::kOpen},
        {"Enter on an empty field that accepts it",
         {.options = 1},
         "",
         vk::kReturn,
         {},
         Reply(false, 0),
         EndCase::kReplied},
        {"Tab with its option", {.options = 2}, "q", vk::kTab, {}, Reply(true, 7, "q"), EndCase::kReplied},
        {"Tab without its option is swallowed", text, "q", vk::kTab, {}, "", EndCase::kOpen},
        {"Up", host, "", vk::kUp, {}, Reply(false, 3), EndCase::kReplied},
        {"Down", host, "", vk::kDown, {}, Reply(false, 2), EndCase::kReplied},
        {"Left on an empty field with the arrows option",
         {.options = 4},
         "",
         vk::kLeft,
         {},
         Reply(false, 5),
         EndCase::kReplied},
        {"Right on an empty field with the arrows option",
         {.options = 4},
         "",
         vk::kRight,
         {},
         Reply(false, 6),
         EndCase::kReplied},
        {"Left in text only moves", {.text = "ab", .options = 4}, "", vk::kLeft, {}, "", EndCase::kOpen},
        {"F1 ends and sends its key",
         text,
         "z",
         vk::kF1,
         {},
         Reply(true, -1, "z") + "\x1b[M",
         EndCase::kReplied},
        {"Shift+F2", host, "", vk::kF1 + 1, {.shift = true}, Reply(false, -1) + "\x1b[Z", EndCase::kReplied},
        {"Page Down", host, "", vk::kNext, {}, Reply(false, -1) + "\x1b[G", EndCase::kReplied},
        {"Page Up", host, "", vk::kPrior, {}, Reply(false, -1) + "\x1b[I", EndCase::kReplied},
        {"F13 ends with nothing more", host, "", vk::kF1 + 12, {}, Reply(false, -1), EndCase::kReplied},
        {"Escape unchanged ends and sends Escape",
         host,
         "",
         vk::kEscape,
         {},
         Reply(false, -1) + "\x1b\x31",
         EndCase::kReplied},
        {"Escape changed submits the text",
         host,
         "k",
         vk::kEscape,
         {},
         kPrefix1 + "kxy\x01\x1b[@",
         EndCase::kSubmitted},
        // One-key choice: every code but -1 goes out as -2 with the group.
        {"choice Enter",
         choice,
         "",
         vk::kReturn,
         {},
         Reply(false, -2, "", Group(0, 0, 0, 1)),
         EndCase::kReplied},
        {"choice Backspace at the start",
         choice,
         "",
         vk::kBack,
         {},
         Reply(false, -2, "", Group(7, 0, 0, 1)),
         EndCase::kReplied},
        {"choice Left at the start",
         choice,
         "",
         vk::kLeft,
         {},
         Reply(false, -2, "", Group(5, 0, 0, 1)),
         EndCase::kReplied},
        {"choice Right at the end",
         choiceEnd,
         "",
         vk::kRight,
         {},
         Reply(false, -2, "", Group(6, 2, 2, 1)),
         EndCase::kReplied},
        {"choice Up", choiceEnd, "", vk::kUp, {}, Reply(false, -2, "", Group(3, 2, 0, 1)), EndCase::kReplied},
        {"choice Tab",
         {.text = "AB", .mode = -98, .options = 2},
         "",
         vk::kTab,
         {},
         Reply(false, -2, "", Group(7, 0, 0, 1)),
         EndCase::kReplied},
        {"choice Escape", choice, "", vk::kEscape, {}, Reply(false, -1) + "\x1b\x31", EndCase::kReplied},
        {"choice F1", choice, "", vk::kF1, {}, Reply(false, -1) + "\x1b[M", EndCase::kReplied},
        {"choice overtype Enter",
         {.text = "AB", .mode = -98, .cursor = 2, .advance = 0},
         "",
         vk::kReturn,
         {},
         Reply(false, -2, "", Group(0, 1, 0, 0)),
         EndCase::kReplied},
        {"choice Backspace inside only edits", choiceEnd, "", vk::kBack, {}, "", EndCase::kOpen},
    };
    for (const EndCase& c : cases) {
        SCOPED_TRACE(c.name);
        m_host = RecordingHost();
        Open(c.field);
        Type(c.typed);
        Press(c.key, c.mods);
        EXPECT_EQ(Wire(), c.wire);
        EXPECT_EQ(m_ctrl.IsOpen(), c.after == EndCase::kOpen);
        EXPECT_EQ(m_host.m_beeps, 0);
        if (c.after != EndCase::kOpen) {
            EXPECT_EQ(m_host.m_shown, (std::vector<bool>{true, false}));
        }
        // The end reply leaves the prefix off; a submission and an open field leave it on.
        const bool replied = c.after == EndCase::kReplied;
        EXPECT_EQ(m_poster.m_pipe.GetChannelPrefix(), replied ? 0 : 1);
        if (replied) {
            EXPECT_EQ(m_host.m_moves.back(), CInkeyCtrl::kHiddenRect);
        }
    }
}

TEST_F(InkeyTest, ChoiceFieldEndsOnTheCharacterThatFillsIt) {
    // Caret at the end of a full field: the typed character is the answer, nothing is inserted.
    Open({.text = "AB", .length = 2, .mode = CInkeyCtrl::kChoiceMode, .cursor = 3});
    Type("C");
    EXPECT_EQ(Wire(), Reply(false, -2, "", Group(0, 2, 'C', 1)));
    EXPECT_EQ(m_ctrl.Text(), "AB");

    // Caret inside: the character goes in and the last one falls off as the answer.
    Open({.text = "ABC", .length = 3, .mode = CInkeyCtrl::kChoiceMode, .cursor = 2});
    Type("x");
    EXPECT_EQ(Wire(), Reply(true, -2, "AxB", Group(0, 2, 'C', 1)));

    // Overtype changes neither: a full field still ends at the keystroke.
    Open({.text = "ABC", .length = 3, .mode = CInkeyCtrl::kChoiceMode, .cursor = 2, .advance = 0});
    Type("x");
    EXPECT_EQ(Wire(), Reply(true, -2, "AxB", Group(0, 2, 'C', 0)));
    Open({.text = "AB", .length = 2, .mode = CInkeyCtrl::kChoiceMode, .cursor = 3, .advance = 0});
    Type("C");
    EXPECT_EQ(Wire(), Reply(false, -2, "", Group(0, 2, 'C', 0)));
    // With room left overtype replaces the next character and the field stays open.
    Open({.text = "AB", .length = 5, .mode = CInkeyCtrl::kChoiceMode, .cursor = 1, .advance = 0});
    Type("x");
    EXPECT_EQ(m_ctrl.Text(), "xB");
    EXPECT_TRUE(m_ctrl.IsOpen());
    Wire();

    // Room left: accepted like any text; non-printable characters are dropped without a beep.
    Open({.text = "", .length = 2, .mode = CInkeyCtrl::kChoiceMode});
    Type("Y");
    m_ctrl.KeyDown(vk::kA, {.ctrl = true});
    m_ctrl.Char(0x01);
    EXPECT_EQ(m_ctrl.Text(), "Y");
    EXPECT_TRUE(m_ctrl.IsOpen());
    EXPECT_EQ(m_host.m_beeps, 0);
    EXPECT_EQ(Wire(), "");
}

struct NumericCase {
    int32_t mode;
    std::string text;
    int32_t cursor;
    std::string typed;
    std::string expected;
    int beeps;
};

TEST_F(InkeyTest, NumericFieldsAcceptSignPointAndDecimals) {
    const std::vector<NumericCase> cases = {
        {2, "", 0, "12.345", "12.34", 1},  // the third decimal beeps
        {-2, "", 0, "--5", "-5", 1},       // a leading sign once
        {2, "", 0, "-5", "5", 1},          // no sign in a positive mode
        {-2, "", 0, "5-", "5", 1},         // the sign only at the start
        {-1, "-5", 1, "7", "-5", 1},       // nothing in front of the sign
        {2, "", 0, "1.2.3", "1.23", 1},    // one point
        {2, "", 0, ".25", ".25", 0},
        {4, "", 0, "0.12345", "0.1234", 1},
        {5, "", 0, "1.5", "15", 1},  // more than 4 decimals: no point at all
        {99, "", 0, "1.23456789", "1.23456789", 0},
        {-99, "", 0, "-0.000001", "-0.000001", 0},
        {3, "", 0, "a1b 2", "12", 3},      // digits only
        {2, "12345", 2, ".", "12345", 1},  // a point with four digits after it
        {2, "12345", 4, ".", "123.45", 0},
        {2, "1.25", 1, "9", "91.25", 0},  // digits in front of the point are free
        {2, "1.25", 5, "9", "1.25", 1},
    };
    for (const NumericCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << "mode " << c.mode << " text " << c.text << " typed " << c.typed);
        m_host = RecordingHost();
        Open({.text = c.text, .length = 12, .mode = c.mode, .options = 0, .cursor = c.cursor});
        if (c.cursor == 0) {
            Press(vk::kEnd);
        }
        Type(c.typed);
        EXPECT_EQ(m_ctrl.Text(), c.expected);
        EXPECT_EQ(m_host.m_beeps, c.beeps);
    }
}

TEST_F(InkeyTest, SignAndPointFollowTheTextThroughEveryEdit) {
    Open({.length = 12, .mode = -2, .options = 0});
    Type("-1.5");
    EXPECT_TRUE(m_ctrl.Negative());
    EXPECT_EQ(m_ctrl.DecimalPoint(), 2);
    Press(vk::kBack);
    Press(vk::kBack);
    EXPECT_EQ(m_ctrl.Text(), "-1");
    EXPECT_EQ(m_ctrl.DecimalPoint(), -1);
    Type(".25");  // the deleted point no longer counts
    EXPECT_EQ(m_ctrl.Text(), "-1.25");

    m_ctrl.SetSelection(0, 1);  // a selection covering the sign may be replaced by a sign
    Type("-");
    m_ctrl.SetSelection(2, 3);  // and one covering the point by a point
    Type(".");
    EXPECT_EQ(m_ctrl.Text(), "-1.25");
    EXPECT_EQ(m_host.m_beeps, 0);

    m_ctrl.SelectAll();
    EXPECT_EQ(m_ctrl.Cut(), "-1.25");
    EXPECT_FALSE(m_ctrl.Negative());
    EXPECT_EQ(m_ctrl.DecimalPoint(), -1);
    Type("-3");
    m_ctrl.SetSelection(0, 0);
    Press(vk::kDelete);
    EXPECT_EQ(m_ctrl.Text(), "3");
    EXPECT_FALSE(m_ctrl.Negative());
    Type("-");  // the caret is at 0 again and the sign is gone
    EXPECT_EQ(m_ctrl.Text(), "-3");
    m_ctrl.Undo();
    EXPECT_EQ(m_ctrl.Text(), "3");
    EXPECT_FALSE(m_ctrl.Negative());
    EXPECT_EQ(m_host.m_beeps, 0);
}

TEST_F(InkeyTest, PasswordFieldEchoesStarsAndKeepsItsText) {
    Open({.length = -4, .options = 0});
    Type("abcde");
    EXPECT_EQ(m_ctrl.Text(), "abcd");
    EXPECT_EQ(m_ctrl.DisplayText(), "****");
    EXPECT_EQ(m_host.m_beeps, 1);
    m_ctrl.SelectAll();
    EXPECT_EQ(m_ctrl.Copy(), "");  // a password never reaches the clipboard
    EXPECT_EQ(m_ctrl.Cut(), "");
    EXPECT_EQ(m_ctrl.ContextMenuFlags(true), "000111");
    Press(vk::kReturn);
    EXPECT_EQ(Wire(), Reply(true, 0, "abcd"));
}

TEST_F(InkeyTest, InsertAndOvertype) {
    Open({.text = "abc", .length = 3, .options = 0, .cursor = 1});
    Type("X");  // insert mode, full field
    EXPECT_EQ(m_ctrl.Text(), "abc");
    EXPECT_EQ(m_host.m_beeps, 1);
    Press(vk::kInsert);
    EXPECT_EQ(m_ctrl.InsertMode(), 0);
    Type("XY");  // overtype replaces, full field or not
    EXPECT_EQ(m_ctrl.Text(), "XYc");
    Press(vk::kEnd);
    Type("Z");  // nothing left to replace at the end of a full field
    EXPECT_EQ(m_ctrl.Text(), "XYc");
    EXPECT_EQ(m_host.m_beeps, 2);

    Open({.text = "abc", .length = 5, .options = 0, .cursor = 2, .advance = 0});
    Type("QRS");
    EXPECT_EQ(m_ctrl.Text(), "aQRS");
    EXPECT_EQ(m_ctrl.Caret(), 4u);
}

TEST_F(InkeyTest, PasteTypesItsCharactersAndAKeyEndsTheField) {
    Open({.length = 10, .options = 0});
    m_ctrl.Paste("12\r");
    EXPECT_EQ(Wire(), Reply(true, 0, "12"));
    EXPECT_FALSE(m_ctrl.IsOpen());

    // Line feeds are dropped; what follows an ending key waits for the next field.
    Open({.length = 10, .options = 0});
    m_ctrl.Paste("3\n4\r5");
    EXPECT_EQ(Wire(), Reply(true, 0, "34"));
    EXPECT_EQ(m_ctrl.TypeAheadSize(), 1u);
    Open({.length = 10, .options = 0});
    EXPECT_EQ(m_ctrl.Text(), "5");

    // Pasted characters are validated like typed ones.
    Open({.length = 6, .mode = 2, .options = 0});
    m_ctrl.Paste("1a.234");
    EXPECT_EQ(m_ctrl.Text(), "1.23");
    EXPECT_EQ(m_host.m_beeps, 2);
}

TEST_F(InkeyTest, DirectKeysGoStraightToTheHostUntilTheFirstField) {
    EXPECT_TRUE(m_ctrl.DirectKeys());
    Type("aB");
    Press(vk::kReturn);
    Press(vk::kF1);
    Press(vk::kEscape);
    EXPECT_FALSE(m_ctrl.KeyDown(vk::kF1 + 12, {}));  // untranslated: left to the window
    EXPECT_EQ(Wire(), "aB\r\x1b[M\x1b\x31");
    EXPECT_EQ(m_ctrl.TypeAheadSize(), 0u);

    m_ctrl.SetUnixEscKey(true);
    Press(vk::kEscape);
    EXPECT_EQ(Wire(), "\x1b");
}

TEST_F(InkeyTest, KeysBetweenFieldsAreKeptAndReplayedIntoTheNextField) {
    Open({.length = 10, .options = 0});
    Press(vk::kReturn, {});
    Type("x");
    Press(vk::kReturn);  // ends the first field
    Wire();

    Type("34");
    Press(vk::kReturn);
    Type("5");
    EXPECT_EQ(Wire(), "");  // nothing reaches the host while no field is shown
    EXPECT_EQ(m_ctrl.TypeAheadSize(), 4u);

    m_host = RecordingHost();
    ASSERT_TRUE(m_ctrl.OpenField(Describe({.length = 10, .options = 0}), m_geometry));
    EXPECT_EQ(Wire(), Reply(true, 0, "34"));
    // The replayed Enter ended the field before it was ever shown; "5" waits for the next one.
    EXPECT_FALSE(m_ctrl.IsOpen());
    EXPECT_EQ(std::count(m_host.m_shown.begin(), m_host.m_shown.end(), true), 0);
    EXPECT_EQ(m_poster.m_pipe.GetChannelPrefix(), 0);
    EXPECT_EQ(m_ctrl.TypeAheadSize(), 1u);
    Open({.length = 10, .options = 0});
    EXPECT_EQ(m_ctrl.Text(), "5");
    EXPECT_TRUE(m_ctrl.IsOpen());
}

TEST_F(InkeyTest, WhileNoFieldIsShownKeysWaitAndEscapeEndsTheFieldAtTheHost) {
    Open({.text = "a", .length = 10, .options = 0});
    Press(vk::kReturn);
    Wire();
    Press(vk::kEscape);
    EXPECT_EQ(Wire(), "\x1b[@");
    EXPECT_EQ(m_ctrl.TypeAheadSize(), 0u);

    Open({.length = 10, .options = 0});
    m_ctrl.HideField();  // hidden, not ended: the prefix stays on
    Press(vk::kEscape);
    EXPECT_EQ(Wire(), kPrefix0 + "\x1b[@");

    // Shown again, the same field takes what was typed while it was hidden.
    Type("ab");
    EXPECT_EQ(m_ctrl.Text(), "");
    EXPECT_TRUE(m_ctrl.Reshow());
    EXPECT_EQ(m_ctrl.Text(), "ab");
    EXPECT_EQ(m_host.m_shown.back(), true);
    Press(vk::kReturn);
    EXPECT_EQ(Wire(), Reply(true, 0, "ab"));
    EXPECT_FALSE(m_ctrl.Reshow());  // an ended field stays ended
    EXPECT_FALSE(m_ctrl.IsOpen());
}

TEST_F(InkeyTest, TypeAheadIsCappedAndRefusalsAreLogged) {
    Open({.text = "a", .length = 10, .options = 0});
    Press(vk::kReturn);
    for (std::size_t i = 0; i < CInkeyCtrl::kTypeAheadCap - 1; ++i) {
        Type("x");
    }
    Press(vk::kLeft);
    EXPECT_EQ(m_host.m_log.size(), 0u);
    Type("y");
    Press(vk::kRight);
    EXPECT_EQ(m_ctrl.TypeAheadSize(), CInkeyCtrl::kTypeAheadCap);
    EXPECT_EQ(m_host.m_log, (std::vector<std::string>{"Type-ahead full (1024 keys): character 0x79 refused",
                                                      "Type-ahead full (1024 keys): key 0x27 refused"}));
    EXPECT_EQ(m_host.m_beeps, 2);

    // A paste is capped the same way, with one line for what did not fit.
    Open({.length = 4000, .options = 0});
    EXPECT_EQ(m_ctrl.Text(), std::string(CInkeyCtrl::kTypeAheadCap - 1, 'x'));
    EXPECT_EQ(m_ctrl.Caret(), CInkeyCtrl::kTypeAheadCap - 2);  // the replayed Left
    m_ctrl.Paste(std::string(CInkeyCtrl::kTypeAheadCap + 5, 'p'));
    EXPECT_EQ(m_host.m_log.back(), "Paste: 5 characters refused, the key queue holds at most 1024");
    EXPECT_EQ(m_ctrl.Text().size(), 2 * CInkeyCtrl::kTypeAheadCap - 1);
}

TEST_F(InkeyTest, HelpHomeExitKeysAndCommands) {
    Open({.length = 10, .options = 8});
    Type("?");
    Press(vk::kHome);
    EXPECT_EQ(Wire(), kPrefix0 + "\x1b[H" + kPrefix0 + "\x1b[H");
    EXPECT_EQ(m_ctrl.Text(), "");

    Open({.length = 10, .options = 0, .keyList = std::string("\x1b[D")});
    Type("?");  // no help: an ordinary character
    Press(vk::kLeft);
    EXPECT_EQ(Wire(), kPrefix0 + "\x1b[\x1b[D\n");
    EXPECT_EQ(m_ctrl.Text(), "?");
    EXPECT_EQ(m_ctrl.Caret(), 1u);  // an exit key does not move the caret
    EXPECT_TRUE(m_ctrl.IsOpen());

    Press(vk::kInsert, {.ctrl = true});
    Press(vk::kInsert, {.shift = true});
    EXPECT_EQ(m_host.m_commands, (std::vector<int32_t>{CInkeyCtrl::kCopyCommand, CInkeyCtrl::kPasteCommand}));
    EXPECT_EQ(m_ctrl.InsertMode(), 1);

    m_ctrl.DoubleClick();
    m_ctrl.MiddleClick();
    EXPECT_EQ(Wire(), kPrefix0 + "?\r" + kPrefix0 + "\x1b[H");
}

TEST_F(InkeyTest, TypedCharactersAreNeverExitKeys) {
    // "ESC[M" holds the translations of Shift+M and "[" as well; only keys that type nothing may exit.
    struct Case {
        const char* name;
        std::string typed;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"capital letter", "M", "M"},
        {"bracket", "[", "["},
        {"word", "Mr [x]", "Mr [x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Open({.length = 5, .options = 0, .keyList = std::string("\x1b[M\x1b[D")});
        Type(c.typed);
        EXPECT_EQ(Wire(), "");
        EXPECT_EQ(m_ctrl.Text(), c.text);
        EXPECT_TRUE(m_ctrl.IsOpen());
    }
    // A key that types nothing still exits through the list.
    Press(vk::kLeft);
    EXPECT_EQ(Wire(), kPrefix0 + "\x1b[\x1b[D\n");
}

TEST_F(InkeyTest, UnixEscapeWaitsForItsSecondCharacter) {
    m_ctrl.SetUnixEscKey(true);
    Open({.text = "ab", .length = 10, .options = 0});
    Press(vk::kEscape);
    EXPECT_EQ(Wire(), "");
    EXPECT_TRUE(m_ctrl.PendingEscape());
    m_ctrl.KeyDown(vk::k0 + 1, {}, true);
    m_ctrl.Char('1');
    EXPECT_EQ(Wire(), kPrefix0 + "\x1b[@");
    EXPECT_EQ(m_ctrl.Text(), "ab");

    Press(vk::kEscape);
    Type("z");  // any other character cancels it and is typed
    EXPECT_FALSE(m_ctrl.PendingEscape());
    EXPECT_EQ(m_ctrl.Text(), "zab");
}

TEST_F(InkeyTest, AHandledKeyOnlyDropsItsOwnCharacter) {
    Open({.length = 10, .options = 8});
    m_ctrl.KeyDown(vk::kHome, {});  // handled, and gives no character
    Wire();
    Type("a");
    EXPECT_EQ(m_ctrl.Text(), "a");
}

TEST_F(InkeyTest, UnknownEndCodeIsShownAndSendsNothing) {
    platform::RecordingPrompt prompt;
    platform::ScopedDefaultPrompt scoped(prompt);
    Open({.text = "a", .length = 10});
    m_ctrl.NotifyEnd(99, 0);
    EXPECT_EQ(Wire(), "");
    ASSERT_EQ(prompt.Shown().size(), 1u);
    EXPECT_EQ(prompt.Shown()[0].text, "Unknown edit control notification value: 99");
    EXPECT_EQ(prompt.Shown()[0].icon, platform::PromptIcon::Stop);
    EXPECT_TRUE(m_ctrl.IsOpen());
}

TEST_F(InkeyTest, FieldDescriptionPlacesAndStartsTheField) {
    ASSERT_TRUE(m_ctrl.OpenField(
        Describe({.text = "hello", .length = -6, .mode = 0, .options = 0, .cursor = 3}), m_geometry));
    EXPECT_EQ(m_host.m_moves.back(), (FieldRect{28, 68, 52, 19}));
    EXPECT_EQ(m_ctrl.Caret(), 2u);
    EXPECT_EQ(m_ctrl.Limit(), 6u);
    EXPECT_EQ(m_ctrl.DisplayText(), "*****");
    EXPECT_FALSE(m_ctrl.DirectKeys());
    EXPECT_EQ(m_host.m_shown, std::vector<bool>{true});
    EXPECT_EQ(m_host.m_focuses, 1);
    EXPECT_EQ(m_poster.m_pipe.GetChannelPrefix(), 1);

    // Width 0 still covers one cell.
    ASSERT_TRUE(m_ctrl.OpenField(Describe({.length = 0, .column = 0, .row = 0}), m_geometry));
    EXPECT_EQ(m_host.m_moves.back(), (FieldRect{4, 4, 12, 19}));
    Type("a");  // a field of length 0 takes nothing
    EXPECT_EQ(m_ctrl.Text(), "");

    // Hostile numbers neither overflow nor crash.
    ASSERT_TRUE(m_ctrl.OpenField(
        Describe({.length = INT_MIN, .mode = INT_MIN, .cursor = INT_MIN, .column = INT_MAX, .row = INT_MIN}),
        m_geometry));
    EXPECT_EQ(m_host.m_moves.back().x, INT_MAX);
    EXPECT_EQ(m_host.m_moves.back().y, INT_MIN);
    EXPECT_EQ(m_host.m_moves.back().width, INT_MAX);
    Type("1.5");
    EXPECT_EQ(m_ctrl.Text(), "15");
}

TEST_F(InkeyTest, IncompleteFieldDescriptionDoesNothing) {
    const std::string full = Describe({.text = "t"});
    const std::string cut = full.substr(0, full.rfind('\x02'));
    EXPECT_FALSE(m_ctrl.OpenField(cut, m_geometry));
    EXPECT_FALSE(m_ctrl.OpenField("", m_geometry));
    EXPECT_TRUE(m_ctrl.DirectKeys());
    EXPECT_FALSE(m_ctrl.IsOpen());
    EXPECT_TRUE(m_host.m_shown.empty());
    EXPECT_TRUE(m_poster.m_messages.empty());

    const std::optional<FieldDescription> d = ParseFieldDescription(
        std::string("init\x02 7\x02-2\x02x\x02-3\x02") + "15\x02" + "2\x02" + "1\x02" + "KEYS\x02tail");
    ASSERT_TRUE(d.has_value());
    EXPECT_EQ(d->text, "init");
    EXPECT_EQ(d->column, 7);
    EXPECT_EQ(d->row, -2);
    EXPECT_EQ(d->length, 0);
    EXPECT_EQ(d->numericMode, -3);
    EXPECT_EQ(d->options, 15);
    EXPECT_EQ(d->cursor, 2);
    EXPECT_EQ(d->advance, 1);
    EXPECT_EQ(d->keyList, "KEYS");
}

TEST_F(InkeyTest, EditCommands) {
    Open({.text = "hello", .length = 10, .options = 0});
    EXPECT_EQ(m_ctrl.ContextMenuFlags(false), "000001");
    m_ctrl.SetSelection(1, 3);
    EXPECT_EQ(m_ctrl.ContextMenuFlags(true), "011111");
    EXPECT_EQ(m_ctrl.Copy(), "el");
    EXPECT_EQ(m_ctrl.Cut(), "el");
    EXPECT_EQ(m_ctrl.Text(), "hlo");
    m_ctrl.Undo();
    EXPECT_EQ(m_ctrl.Text(), "hello");
    m_ctrl.SetSelection(5, 5);
    m_ctrl.Clear();  // as Backspace
    EXPECT_EQ(m_ctrl.Text(), "hell");
    Press(vk::kLeft, {.shift = true});
    Press(vk::kLeft, {.shift = true});
    EXPECT_EQ(m_ctrl.Copy(), "ll");
    Press(vk::kDelete);
    EXPECT_EQ(m_ctrl.Text(), "he");

    // Escape in a field edited back to its host text restores it and ends unchanged.
    Open({.text = "abc", .length = 10, .options = 0});
    Press(vk::kEnd);
    Type("d");
    Press(vk::kBack);
    Press(vk::kEscape);
    EXPECT_EQ(Wire(), Reply(false, -1) + "\x1b\x31");
}

}  // namespace
}  // namespace terminal
