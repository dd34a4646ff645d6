// Clicks on fixture screens to the exact bytes the host gets: menu letters in their several spellings, the
// <exit>, <enter> and <process> words, answered prompts, reports, the open field's text going first, and the
// cells at the row ends, whose neighbours on other rows must never count.
#include "terminal/bars/click_scan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "terminal/core/screen.h"

namespace terminal::bars {
namespace {

struct Text {
    int32_t row;
    int32_t column;
    std::string text;
};

// Texts written at their places, then the cursor put at `cursor`.
void Fill(CTerminalScreen& screen, const std::vector<Text>& texts, CellPosition cursor) {
    for (const Text& t : texts) {
        screen.Feed("\x1b[" + std::to_string(t.row + 1) + ";" + std::to_string(t.column + 1) + "H" + t.text);
    }
    screen.Feed("\x1b[" + std::to_string(cursor.row + 1) + ";" + std::to_string(cursor.column + 1) + "H");
}

class RecordingTarget : public ClickTarget {
  public:
    bool FieldModified() const override { return m_modified; }
    void SubmitField(bool endOfField) override {
        m_ops.push_back(endOfField ? "submit+end" : "submit");
        m_modified = false;
    }
    void WriteChannel0(std::string_view bytes) override { m_ops.push_back("0:" + std::string(bytes)); }
    void WriteRaw(std::string_view bytes) override { m_ops.push_back("raw:" + std::string(bytes)); }
    void SendProcess() override { m_ops.push_back("process"); }

    bool m_modified = false;
    std::vector<std::string> m_ops;
};

struct ClickCase {
    const char* name;
    std::vector<Text> texts;
    CellPosition cursor;
    CellPosition click;
    ClickKind kind;
    std::vector<std::string> wire;
};

void PrintTo(const ClickCase& c, std::ostream* os) {
    *os << c.name;
}

class ClickScanTest : public ::testing::TestWithParam<ClickCase> {};

TEST_P(ClickScanTest, SendsWhatTheTextOffers) {
    const ClickCase& c = GetParam();
    CTerminalScreen screen;
    Fill(screen, c.texts, c.cursor);
    ASSERT_EQ(screen.GetCursor(), c.cursor);
    RecordingTarget target;
    ActOnClick(screen, c.kind, c.click, target);
    EXPECT_EQ(target.m_ops, c.wire);
}

const CellPosition kBottom{0, 24};  // cursor below every menu row

INSTANTIATE_TEST_SUITE_P(
    Screens, ClickScanTest,
    ::testing::Values(
        // Key letters in parentheses, anywhere on the word.
        ClickCase{"ParenLetter",
                  {{21, 10, "(P)atient  (A)ppointments"}},
                  kBottom,
                  {11, 21},
                  ClickKind::Single,
                  {"0:P\r"}},
        ClickCase{"ParenWordTail",
                  {{21, 10, "(P)atient  (A)ppointments"}},
                  kBottom,
                  {30, 21},
                  ClickKind::Single,
                  {"0:A\r"}},
        ClickCase{"ParenOpening", {{21, 10, "(P)atient"}}, kBottom, {10, 21}, ClickKind::Single, {"0:P\r"}},
        ClickCase{
            "Apostrophes", {{22, 4, "'A'dd 'D'elete"}}, kBottom, {13, 22}, ClickKind::Single, {"0:D\r"}},
        ClickCase{
            "YesSlashNo", {{23, 30, "Continue (Y/N)"}}, kBottom, {42, 23}, ClickKind::Single, {"0:N\r"}},
        ClickCase{
            "YesOfYesNo", {{23, 30, "Continue (Y/N)"}}, kBottom, {40, 23}, ClickKind::Single, {"0:Y\r"}},
        // Help, on the question mark or its opening apostrophe.
        ClickCase{
            "HelpDouble", {{22, 60, "'?' for help"}}, kBottom, {61, 22}, ClickKind::Double, {"0:\x1b[H"}},
        ClickCase{
            "HelpOpening", {{22, 60, "'?' for help"}}, kBottom, {60, 22}, ClickKind::Single, {"0:\x1b[H"}},
        // Words.
        ClickCase{"Exit", {{22, 70, "<exit>"}}, kBottom, {73, 22}, ClickKind::Single, {"0:\x1b[@"}},
        ClickCase{"ExitAnyCase", {{20, 0, "<EXIT>"}}, kBottom, {0, 20}, ClickKind::Single, {"0:\x1b[@"}},
        ClickCase{"ExitOutsideMenu", {{5, 2, "<exit>"}}, kBottom, {4, 5}, ClickKind::Single, {"0:\x1b[@"}},
        ClickCase{"Enter", {{21, 40, "<enter>"}}, kBottom, {45, 21}, ClickKind::Single, {"0:\r"}},
        ClickCase{"ParenEnter", {{21, 40, "(Enter)"}}, kBottom, {41, 21}, ClickKind::Single, {"0:\r"}},
        ClickCase{"Cr", {{21, 40, "<cr>"}}, kBottom, {42, 21}, ClickKind::Single, {"0:\r"}},
        ClickCase{"Process", {{20, 40, "<process>"}}, kBottom, {41, 20}, ClickKind::Single, {"process"}},
        // Outside the menu rows only <exit> counts; the rest is reported.
        ClickCase{"LetterOutsideMenu",
                  {{5, 10, "(P)atient"}},
                  kBottom,
                  {11, 5},
                  ClickKind::Single,
                  {"0:\x1b[~11, 5,1"}},
        ClickCase{"BlankOfMenuRow",
                  {{21, 10, "(P)atient"}},
                  kBottom,
                  {5, 21},
                  ClickKind::Single,
                  {"0:\x1b[~ 5,21,1"}},
        ClickCase{"DoubleBlank", {}, {10, 3}, {7, 3}, ClickKind::Double, {"0:\x1b[! 7, 3,0"}},
        ClickCase{"BelowCursorRow", {}, {10, 3}, {0, 24}, ClickKind::Single, {"0:\x1b[~ 0,24,0"}},
        // A prompt the user has answered keeps its row's letters from being sent.
        ClickCase{"AnsweredPrompt",
                  {{22, 0, "(A)dd  Code: 123"}},
                  kBottom,
                  {1, 22},
                  ClickKind::Single,
                  {"0:\x1b[~ 1,22,1"}},
        ClickCase{"UnansweredPrompt",
                  {{22, 0, "(A)dd  Code: ...."}},
                  kBottom,
                  {1, 22},
                  ClickKind::Single,
                  {"0:A\r"}},
        // Left of the cursor on its row is a menu; the prompt just before the cursor is not scanned.
        ClickCase{"CursorRowMenu",
                  {{10, 0, "(S)ave (Q)uit  Choice: "}},
                  {23, 10},
                  {8, 10},
                  ClickKind::Single,
                  {"0:Q\r"}},
        ClickCase{"CursorRowRightOfCursor",
                  {{10, 0, "(S)ave (Q)uit  Choice: (X)"}},
                  {23, 10},
                  {25, 10},
                  ClickKind::Single,
                  {"0:\x1b[~25,10,0"}},
        ClickCase{"CursorRowTypedAnswer",
                  {{10, 0, "(S)ave  Choice: Q"}},
                  {22, 10},
                  {1, 10},
                  ClickKind::Single,
                  {"0:\x1b[~ 1,10,0"}},
        // The row ends: the neighbouring rows' cells are not this row's.
        ClickCase{"CursorInColumnsZeroToFour",
                  {{0, 0, "(X)yz"}, {1, 0, "'"}},
                  {3, 0},
                  {1, 0},
                  ClickKind::Single,
                  {"0:X\r"}},
        ClickCase{"ColumnZeroAfterApostrophe",
                  {{21, 79, "'"}, {22, 0, "Z'"}},
                  kBottom,
                  {0, 22},
                  ClickKind::Single,
                  {"0:\x1b[~ 0,22,1"}},
        ClickCase{"ColumnSeventyNineBeforeApostrophe",
                  {{22, 78, "'Q"}, {23, 0, "'"}},
                  kBottom,
                  {79, 22},
                  ClickKind::Single,
                  {"0:\x1b[~79,22,1"}},
        ClickCase{"WordDoesNotRunIntoNextRow",
                  {{22, 76, "<exi"}, {23, 0, "t>"}},
                  kBottom,
                  {79, 22},
                  ClickKind::Single,
                  {"0:\x1b[~79,22,1"}},
        ClickCase{
            "ParenAtColumnSeventyNine", {{23, 77, "(R)"}}, kBottom, {79, 23}, ClickKind::Single, {"0:R\r"}}),
    [](const ::testing::TestParamInfo<ClickCase>& info) { return std::string(info.param.name); });

TEST(ClickScan, ClicksOffTheCellsDoNothing) {
    CTerminalScreen screen;
    Fill(screen, {{0, 0, "<exit>"}, {24, 0, "<exit>"}}, {0, 12});
    for (const CellPosition click :
         {CellPosition{-1, 0}, CellPosition{80, 0}, CellPosition{0, -1}, CellPosition{0, 25}}) {
        RecordingTarget target;
        ActOnClick(screen, ClickKind::Single, click, target);
        EXPECT_TRUE(target.m_ops.empty()) << click.column << "," << click.row;
    }
}

TEST(ClickScan, AnEditedFieldGoesFirst) {
    CTerminalScreen screen;
    Fill(screen, {{22, 70, "<exit>"}}, {10, 5});
    struct Case {
        CellPosition click;
        std::vector<std::string> wire;
    };
    const Case cases[] = {
        // <exit> ends the field with its text instead of ESC [ @.
        {{71, 22}, {"submit+end"}},
        // A report follows the text on the plain write.
        {{30, 12}, {"submit", "raw:\x1b[~30,12,0"}},
    };
    for (const Case& c : cases) {
        RecordingTarget target;
        target.m_modified = true;
        ActOnClick(screen, ClickKind::Single, c.click, target);
        EXPECT_EQ(target.m_ops, c.wire) << c.click.column;
    }
}

TEST(ClickScan, ScanNeedsAWholeScreen) {
    const std::vector<uint8_t> few(100, 'x');
    EXPECT_EQ(ScanClick(few, {0, 0}, {0, 0}), ClickCommand{});
}

TEST(ClickScan, ReportsKeepTheirWidths) {
    EXPECT_EQ(ClickReport(ClickKind::Single, {0, 0}, {0, 0}), "\x1b[~ 0, 0,0");
    EXPECT_EQ(ClickReport(ClickKind::Double, {79, 24}, {0, 0}), "\x1b[!79,24,0");
    EXPECT_EQ(ClickReport(ClickKind::Single, {12, 3}, {0, 4}), "\x1b[~12, 3,1");
}

}  // namespace
}  // namespace terminal::bars
