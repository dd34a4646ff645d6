// The host escape commands: each screen command with the right and the wrong kind of parameter, the
// attribute map applied from the last parameter to the first, the two forms of J, and the commands handed to
// the owner with their parameters checked.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "terminal/core/screen.h"
#include "terminal/core/tests/screen_recorder.h"

namespace terminal::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

constexpr Colour kWhite = Rgb(255, 255, 255);
constexpr Colour kNavy = Rgb(0, 0, 128);
constexpr Colour kRed = Rgb(255, 0, 0);
constexpr Colour kMaroon = Rgb(128, 0, 0);
constexpr Colour kGreen = Rgb(0, 128, 0);
constexpr Colour kSilver = Rgb(200, 200, 200);
constexpr Colour kBlack = Rgb(0, 0, 0);

struct ColourCase {
    const char* name;
    const char* sequence;
    Colour foreground;
    Colour background;
    Colour clear;
};

class PaletteCommand : public ::testing::TestWithParam<ColourCase> {};

TEST_P(PaletteCommand, TakesOnlyAnIntegerInRange) {
    RecordedScreen s;
    s.Feed(GetParam().sequence);
    EXPECT_EQ(s.screen.CurrentForeground(), GetParam().foreground);
    EXPECT_EQ(s.screen.CurrentBackground(), GetParam().background);
    EXPECT_EQ(s.screen.ClearColour(), GetParam().clear);
}

INSTANTIATE_TEST_SUITE_P(
    FGb, PaletteCommand,
    ::testing::Values(ColourCase{"F4", "\x1B[4F", kRed, kNavy, kNavy},
                      ColourCase{"F15", "\x1B[15F", kWhite, kNavy, kNavy},
                      ColourCase{"F16Ignored", "\x1B[8F\x1B[16F", kSilver, kNavy, kNavy},
                      ColourCase{"FWithTextIgnored",
                                 "\x1B[%4\x01"
                                 "F",
                                 kWhite, kNavy, kNavy},
                      ColourCase{"FWithNothingIgnored", "\x1B[F", kWhite, kNavy, kNavy},
                      ColourCase{"G16", "\x1B[16G", kWhite, Rgb(214, 218, 255), kNavy},
                      ColourCase{"G17Ignored", "\x1B[4G\x1B[17G", kWhite, kMaroon, kNavy},
                      ColourCase{"GWithTextIgnored", "\x1B[%x\x01G", kWhite, kNavy, kNavy},
                      ColourCase{"b15", "\x1B[15b", kWhite, kNavy, kWhite},
                      ColourCase{"b16Ignored", "\x1B[16b", kWhite, kNavy, kNavy},
                      ColourCase{"bWithLetterIgnored", "\x1B[=b", kWhite, kNavy, kNavy}),
    [](const auto& info) { return std::string(info.param.name); });

class Attributes : public ::testing::TestWithParam<ColourCase> {};

TEST_P(Attributes, ApplyFromTheLastParameterToTheFirst) {
    RecordedScreen s;
    s.Feed("\x1B[4F\x1B[2G");  // red on green before each case
    s.Feed(std::string("\x1B[") + GetParam().sequence + "m");
    EXPECT_EQ(s.screen.CurrentForeground(), GetParam().foreground);
    EXPECT_EQ(s.screen.CurrentBackground(), GetParam().background);
}

INSTANTIATE_TEST_SUITE_P(Map, Attributes,
                         ::testing::Values(ColourCase{"ZeroAppliedLast", "0;37;44", kWhite, kNavy, 0},
                                           ColourCase{"FourParametersDoNothing", "1;2;3;4", kRed, kGreen, 0},
                                           ColourCase{"NoParameterDoesNothing", "", kRed, kGreen, 0},
                                           ColourCase{"EqualsIsPassedOver", "=41", kRed, kMaroon, 0},
                                           ColourCase{"FirstWins", "41;0", kWhite, kMaroon, 0},
                                           ColourCase{"FirstWinsTheOtherWay", "0;41", kWhite, kNavy, 0},
                                           ColourCase{"Bold", "1", kWhite, kNavy, 0},
                                           ColourCase{"Inverse", "7", kNavy, kWhite, 0},
                                           ColourCase{"BlackOnLightGrey", "30;47", kBlack, kSilver, 0},
                                           ColourCase{"OutsideTheMapNothing", "48;99;2", kRed, kGreen, 0},
                                           ColourCase{"StopsAtAString", "31;%x\x01", kRed, kGreen, 0},
                                           ColourCase{"AfterAString",
                                                      "%x\x01"
                                                      "32;44",
                                                      Rgb(0, 255, 0), kNavy, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

struct PositionCase {
    const char* name;
    const char* sequence;
    CellPosition cursor;
};

class CursorCommands : public ::testing::TestWithParam<PositionCase> {};

TEST_P(CursorCommands, MoveTheCursor) {
    RecordedScreen s;
    s.Feed("\x1B[6;6H");
    s.Feed(GetParam().sequence);
    EXPECT_EQ(s.screen.GetCursor(), GetParam().cursor);
}

INSTANTIATE_TEST_SUITE_P(
    HCD, CursorCommands,
    ::testing::Values(PositionCase{"HomeWithoutParameters", "\x1B[H", {0, 0}},
                      PositionCase{"RowAndColumnOneBased", "\x1B[10;5H", {4, 9}},
                      PositionCase{"OneNumberIsTheRow", "\x1B[5H", {0, 4}},
                      PositionCase{"ZerosLeaveTheScreen", "\x1B[0;0H", {-1, -1}},
                      PositionCase{"Column81IsTheNextLine", "\x1B[1;81H", {0, 1}},
                      PositionCase{"Column81OnTheLastRowScrolls", "\x1B[25;200H", {0, 24}},
                      PositionCase{"TextLastIsHome", "\x1B[3;%s\x01H", {0, 0}},
                      PositionCase{"CRight", "\x1B[C", {6, 5}},
                      PositionCase{"CAtTheLastColumnIsANewLine", "\x1B[6;80H\x1B[C", {0, 6}},
                      PositionCase{"DLeft", "\x1B[D", {4, 5}},
                      PositionCase{"DAtColumnZeroLeavesTheScreen", "\x1B[6;1H\x1B[D", {-1, 5}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CursorCommands, HHidesAShownCursorFirst) {
    RecordedScreen s;
    s.Feed("\x1B[2;2H\x1B[U");
    s.recorder.Clear();
    s.Feed("\x1B[4;4H");
    EXPECT_THAT(s.recorder.Events(), ElementsAre("cursor 1,1 \" \" white/navy normal"));
    EXPECT_FALSE(s.screen.CursorShown());
}

class Erase : public ::testing::Test {
  protected:
    void SetUp() override {
        s.Feed("\x1B[0m");
        for (int row = 1; row <= 25; ++row) {
            // 79 on the last row, so that nothing scrolls.
            s.Feed("\x1B[" + std::to_string(row) + ";1H" +
                   std::string(row == 25 ? 79 : 80, static_cast<char>('a' + row % 26)));
        }
        s.Feed("\x1B[3b\x1B[4F\x1B[2G\x1B[10;41H");  // clear colour teal, red on green, cursor at 9,40
        s.recorder.Clear();
    }
    RecordedScreen s;
};

TEST_F(Erase, TwoJClearsEverythingInTheClearColourAndKeepsTheCursor) {
    s.Feed("\x1B[2J");
    EXPECT_EQ(s.screen.CopyCells(0, kScreenCells), std::string(kScreenCells, ' '));
    for (int32_t row : {0, 9, 24}) {
        EXPECT_EQ(s.screen.ForegroundAt(row, 0), kRed);
        EXPECT_EQ(s.screen.BackgroundAt(row, 79), Rgb(0, 128, 128));
    }
    EXPECT_EQ(s.screen.GetCursor(), (CellPosition{40, 9}));
    EXPECT_THAT(s.recorder.Events(), ElementsAre("fill 21,33-661,433 teal clear-screen"));
}

TEST_F(Erase, JClearsFromTheCursorDownInTheCurrentColours) {
    for (const char* form : {"\x1B[J", "\x1B[0J", "\x1B[5J", "\x1B[%x\x01J"}) {
        SetUp();
        s.Feed(form);
        EXPECT_EQ(s.Row(9).substr(0, 40), std::string(40, 'k')) << form;
        EXPECT_EQ(s.Row(9).substr(40), std::string(40, ' '));
        EXPECT_EQ(s.Row(8), std::string(80, 'j'));
        EXPECT_EQ(s.screen.CopyCells(10 * 80, 15 * 80), std::string(15 * 80, ' '));
        EXPECT_EQ(s.screen.BackgroundAt(9, 39), kNavy);
        EXPECT_EQ(s.screen.BackgroundAt(9, 40), kGreen);
        EXPECT_EQ(s.screen.BackgroundAt(24, 0), kGreen);
        EXPECT_EQ(s.screen.ForegroundAt(24, 0), kRed);
        EXPECT_THAT(s.recorder.Events(),
                    ElementsAre("text 9,40 @341,177 \"" + std::string(40, ' ') + "\" red/green",
                                "fill 0,193-688,471 green clear-below"))
            << form;
    }
}

TEST_F(Erase, KClearsToTheEndOfTheLineOnly) {
    s.Feed("\x1B[K");
    EXPECT_EQ(s.Row(9), std::string(40, 'k') + std::string(40, ' '));
    EXPECT_EQ(s.Row(10), std::string(80, 'l'));
    EXPECT_THAT(s.recorder.Events(),
                ElementsAre("text 9,40 @341,177 \"" + std::string(40, ' ') + "\" red/green"));
}

// ---- Commands for the owner ----

enum class Kind { Text, Int, OptionalInt, IntOrText, None };

struct OwnerCase {
    char letter;
    Kind kind;
    const char* call;  // the recorder's line for the parameter "t" or 5
};

class OwnerCommand : public ::testing::TestWithParam<OwnerCase> {};

TEST_P(OwnerCommand, RightKindCallsTheOwnerOnceWrongKindDoesNothing) {
    const OwnerCase& c = GetParam();
    const std::string letter(1, c.letter);
    const std::string text = "\x1B[%t\x01" + letter;
    const std::string number = "\x1B[5" + letter;
    const std::string none = "\x1B[" + letter;
    auto calls = [](const std::string& sequence) {
        RecordedScreen s;
        s.Feed(sequence);
        return s.recorder.OwnerCalls();
    };
    std::vector<std::string> expected;
    if (c.letter == 'I' || c.letter == 'P') {
        expected.push_back("reply \"\\x04\"");
    }
    expected.push_back(c.call);
    switch (c.kind) {
        case Kind::Text:
            EXPECT_THAT(calls(text), ElementsAreArray(expected));
            EXPECT_THAT(calls(number), IsEmpty());
            EXPECT_THAT(calls(none), IsEmpty());
            break;
        case Kind::Int:
            EXPECT_THAT(calls(number), ElementsAreArray(expected));
            EXPECT_THAT(calls(text), IsEmpty());
            EXPECT_THAT(calls(none), IsEmpty());
            break;
        case Kind::OptionalInt:
            EXPECT_THAT(calls(number), ElementsAreArray(expected));
            EXPECT_THAT(calls(none), ElementsAre("owner OpenCalendar none"));
            break;
        case Kind::IntOrText:
            EXPECT_THAT(calls(number), ElementsAre("owner SetTerminalId 5"));
            EXPECT_THAT(calls(text), ElementsAre("owner SetTerminalId \"t\""));
            EXPECT_THAT(calls(none), IsEmpty());
            break;
        case Kind::None:
            EXPECT_THAT(calls(none), ElementsAreArray(expected));
            EXPECT_THAT(calls(number), ElementsAreArray(expected));
            break;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, OwnerCommand,
                         ::testing::Values(OwnerCase{'A', Kind::Text, "owner OpenOperatorsGuide \"t\""},
                                           OwnerCase{'B', Kind::Text, "owner StartFileTransfer \"t\""},
                                           OwnerCase{'E', Kind::Text, "owner OpenHostFile \"t\""},
                                           OwnerCase{'e', Kind::Text, "owner ExpectDigest \"t\""},
                                           OwnerCase{'I', Kind::Text, "owner ShowHostMessage \"t\""},
                                           OwnerCase{'P', Kind::Text, "owner DisplayErrorBox \"t\""},
                                           OwnerCase{'L', Kind::Text, "owner SwitchPractice \"t\""},
                                           OwnerCase{'M', Kind::Text, "owner SetHost \"t\""},
                                           OwnerCase{'Q', Kind::Text, "owner SetDataSet \"t\""},
                                           OwnerCase{'N', Kind::Text, "owner StartProgram \"t\""},
                                           OwnerCase{'O', Kind::Text, "owner SetTitle \"t\""},
                                           OwnerCase{'V', Kind::Int, "owner SwitchToolbar 5"},
                                           OwnerCase{'R', Kind::OptionalInt, "owner OpenCalendar 5"},
                                           OwnerCase{'X', Kind::Int, "owner AppendTerminalId 5"},
                                           OwnerCase{'Y', Kind::IntOrText, ""},
                                           OwnerCase{'Z', Kind::Int, "owner SetChainable 5"},
                                           OwnerCase{'a', Kind::Text, "owner OpenField \"t\""},
                                           OwnerCase{'c', Kind::Text, "owner CreateObject \"t\""},
                                           OwnerCase{'i', Kind::Text, "owner CallObject \"t\""},
                                           OwnerCase{'d', Kind::Int, "owner ReleaseObject 5"},
                                           OwnerCase{'f', Kind::None, "owner BringToForeground"},
                                           OwnerCase{'k', Kind::Int, "owner NewWindow 5"},
                                           OwnerCase{'n', Kind::Text, "owner Tamsel \"t\""},
                                           OwnerCase{'o', Kind::Int, "owner SetBillingServer 5"},
                                           OwnerCase{'p', Kind::Text, "owner PrintHostFile \"t\""},
                                           OwnerCase{'u', Kind::Text, "owner ApplicationUserChanged \"t\""}),
                         [](const auto& info) {
                             return std::string(1, info.param.letter) +
                                    (std::islower(info.param.letter) ? "_lower" : "");
                         });

TEST(OwnerCommands, LettersOutsideTheTableDoNothing) {
    for (int letter = 0; letter < 256; ++letter) {
        if (std::string_view("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefikmnopu%=;").find(static_cast<char>(letter)) !=
                std::string_view::npos ||
            (letter >= '0' && letter <= '9')) {
            continue;
        }
        RecordedScreen s;
        s.Feed(std::string("\x1B[%t\x01"
                           "5") +
               static_cast<char>(letter));
        EXPECT_THAT(s.recorder.Events(), IsEmpty()) << letter;
        EXPECT_EQ(s.screen.BufferedCount(), 0) << letter;
    }
}

TEST(OwnerCommands, ExpectedDigestKeepsThirtyTwoCharactersForTheOwnersOpen) {
    RecordedScreen s;
    s.Feed(
        "\x1B[%0123456789ABCDEF0123456789abcdefXYZ\x01"
        "e");
    EXPECT_EQ(s.screen.ExpectedDigest(), "0123456789ABCDEF0123456789abcdef");
    s.Feed(
        "\x1B[%file.pdf\x01"
        "E");
    EXPECT_EQ(s.screen.ExpectedDigest(),
              "0123456789ABCDEF0123456789abcdef");  // the owner clears it once used
    s.screen.ClearExpectedDigest();
    EXPECT_EQ(s.screen.ExpectedDigest(), "");
}

TEST(OwnerCommands, ToolbarIsKeptByTheScreen) {
    RecordedScreen s;
    s.Feed("\x1B[4V");
    EXPECT_EQ(s.screen.CurrentToolbar(), 4);
    s.Feed("\x1B[V\x1B[%2\x01V");
    EXPECT_EQ(s.screen.CurrentToolbar(), 4);
}

TEST(OwnerCommands, PrintRunsWithPaintingOffAndRedrawsAfterwards) {
    RecordedScreen s;
    s.Feed(
        "\x1B[%SELECTPRINTER a\x02"
        "b.prn\x01p");
    EXPECT_THAT(s.recorder.Events(), ElementsAre("owner PrintHostFile \"SELECTPRINTER a\\x02b.prn\"",
                                                 "painting during print: off", "repaint"));
    EXPECT_TRUE(s.screen.PaintingOn());
}

TEST(OwnerCommands, TextsEndAtANulAsTheReceiversReadThem) {
    RecordedScreen s;
    s.Feed(
        std::string("\x1B[%ab\x00"
                    "cd\x01O",
                    10));
    EXPECT_THAT(s.recorder.OwnerCalls(), ElementsAre("owner SetTitle \"ab\""));
}

TEST(OwnerCommands, OnlyTheLastStringReachesTheCommand) {
    RecordedScreen s;
    s.Feed("\x1B[%first\x01%second\x01N\x1B[%lone\x01=O");
    // N takes "second"; O finds the letter '=' before it, the wrong kind, and does nothing.
    EXPECT_THAT(s.recorder.OwnerCalls(), ElementsAre("owner StartProgram \"second\""));
}

}  // namespace
}  // namespace terminal::testing
