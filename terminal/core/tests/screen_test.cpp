// The screen model and the stream interpreter: wrapping, scrolling, TAB and BS, the hold-back of incomplete
// sequences, the scanner's bounds against hostile streams, painting on and off, geometry and cell copies.
#include "terminal/core/screen.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "terminal/core/tests/screen_recorder.h"

namespace terminal::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::string Repeat(char c, size_t n) {
    return std::string(n, c);
}

// Feeds `bytes` whole and a byte at a time into two screens and checks they end alike; returns the whole one.
void ExpectSameSplit(std::string_view bytes) {
    RecordedScreen whole;
    whole.Feed(bytes);
    RecordedScreen single;
    for (char c : bytes) {
        single.Feed(std::string_view(&c, 1));
    }
    EXPECT_EQ(DumpScreen(single.screen), DumpScreen(whole.screen));
    EXPECT_EQ(single.recorder.Log(), whole.recorder.Log());
}

TEST(ScreenModel, StartsBlankWhiteOnNavyAtHome) {
    CTerminalScreen screen;
    EXPECT_EQ(screen.GetCursor(), (CellPosition{0, 0}));
    EXPECT_EQ(screen.CopyCells(0, kScreenCells), std::string(kScreenCells, ' '));
    EXPECT_EQ(screen.ForegroundAt(24, 79), Rgb(255, 255, 255));
    EXPECT_EQ(screen.BackgroundAt(24, 79), Rgb(0, 0, 128));
    EXPECT_EQ(screen.ClearColour(), Rgb(0, 0, 128));
    EXPECT_TRUE(screen.PaintingOn());
    EXPECT_FALSE(screen.CursorShown());
    EXPECT_EQ(screen.BufferedCount(), 0);
}

struct WrapCase {
    const char* name;
    int32_t startRow;
    int32_t startColumn;
    size_t length;
    CellPosition cursor;  // column, row
};

class Wrap : public ::testing::TestWithParam<WrapCase> {};

TEST_P(Wrap, CursorAndCellsFollowTheWriter) {
    const WrapCase& c = GetParam();
    RecordedScreen s;
    s.Feed("\x1B[" + std::to_string(c.startRow + 1) + ";" + std::to_string(c.startColumn + 1) + "H");
    std::string text;
    for (size_t i = 0; i < c.length; ++i) {
        text += static_cast<char>('A' + i % 26);
    }
    s.Feed(text);
    EXPECT_EQ(s.screen.GetCursor(), c.cursor);
    // Without a scroll every character sits where the writer put it.
    if (c.startRow * 80 + c.startColumn + static_cast<int32_t>(c.length) < kScreenCells) {
        EXPECT_EQ(s.screen.CopyCells(c.startRow * 80 + c.startColumn, static_cast<int32_t>(c.length)), text);
    }
}

INSTANTIATE_TEST_SUITE_P(Writer, Wrap,
                         ::testing::Values(WrapCase{"SeventyNineStayOnTheRow", 0, 0, 79, {79, 0}},
                                           WrapCase{"EightyGoToTheNextRow", 0, 0, 80, {0, 1}},
                                           WrapCase{"RunCrossesTheRowEnd", 3, 75, 10, {5, 4}},
                                           WrapCase{"TwoFullRows", 5, 0, 160, {0, 7}},
                                           WrapCase{"LastCellOfTheScreenScrolls", 24, 79, 1, {0, 24}},
                                           WrapCase{"EightyOnTheLastRowScroll", 24, 0, 80, {0, 24}}),
                         [](const auto& info) { return std::string(info.param.name); });

// Runs of every length from every column, on rows already written in other colours: exactly the run's cells
// take its characters and colours, whether the run stays on its row or wraps, and nothing beside it moves.
// Each run is fed alone and followed by a sequence that changes nothing: short runs are stored a word at a
// time when eight bytes can be read from them, and byte by byte when not.
TEST(ScreenModel, EveryRunLengthFromEveryColumnChangesExactlyItsCells) {
    const Colour red = kForegroundPalette[4];
    const Colour navy = kBackgroundPalette[1];
    const Colour green = kForegroundPalette[2];
    const Colour blue = kBackgroundPalette[9];
    for (const std::string follower : {"", "\x1B[W\x1B[W"}) {
        for (int32_t column = 0; column < kScreenColumns; ++column) {
            for (size_t length = 1; length <= 90; ++length) {
                CTerminalScreen screen;
                // Rows 3 to 5 full of dots in red on navy, then the run in green on blue.
                screen.Feed("\x1B[3;1H\x1B[4F\x1B[1G" + Repeat('.', 239) + "\x1B[3;" +
                            std::to_string(column + 1) + "H\x1B[2F\x1B[9G");
                std::string text;
                for (size_t i = 0; i < length; ++i) {
                    text += static_cast<char>('A' + (i * 7 + length) % 26);
                }
                screen.Feed(text + follower);
                const int32_t end = 2 * kScreenColumns + column + static_cast<int32_t>(length);
                for (int32_t cell = 2 * kScreenColumns; cell < 5 * kScreenColumns; ++cell) {
                    const int32_t row = cell / kScreenColumns;
                    const int32_t at = cell % kScreenColumns;
                    const bool inRun = cell >= 2 * kScreenColumns + column && cell < end;
                    const char expected = inRun
                                              ? text[static_cast<size_t>(cell - 2 * kScreenColumns - column)]
                                              : (cell < 5 * kScreenColumns - 1 ? '.' : ' ');
                    ASSERT_EQ(screen.CharAt(row, at), static_cast<uint8_t>(expected))
                        << "column " << column << " length " << length << " cell " << row << "," << at
                        << (follower.empty() ? "" : " followed");
                    const bool dotted = !inRun && cell < 5 * kScreenColumns - 1;
                    ASSERT_EQ(screen.ForegroundAt(row, at),
                              inRun ? green : (dotted ? red : kInitialForeground))
                        << "column " << column << " length " << length << " cell " << row << "," << at
                        << (follower.empty() ? "" : " followed");
                    ASSERT_EQ(screen.BackgroundAt(row, at),
                              inRun ? blue : (dotted ? navy : kInitialBackground))
                        << "column " << column << " length " << length << " cell " << row << "," << at
                        << (follower.empty() ? "" : " followed");
                }
                const int32_t next = column + static_cast<int32_t>(length);
                ASSERT_EQ(screen.GetCursor(),
                          (CellPosition{next % kScreenColumns, 2 + next / kScreenColumns}))
                    << "column " << column << " length " << length;
            }
        }
    }
}

// Short runs stored a word at a time, fed whole with more bytes after them, against the same runs fed a byte
// at a time: on rows turned round the ring by scrolling, and up to the last cells of the last row, where no
// word fits after the run.
TEST(ScreenModel, ShortRunsStoreAlikeWholeAndAByteAtATime) {
    for (int scrolls : {0, 1, 24}) {
        std::string fill = "\x1B[25;1H" + Repeat('\n', static_cast<size_t>(scrolls)) + "\x1B[4F\x1B[1G";
        for (int row : {1, 24, 25}) {
            fill += "\x1B[" + std::to_string(row) + ";1H" + Repeat('.', 79);
        }
        for (int row : {1, 24, 25}) {
            for (int column : {1, 2, 72, 73, 74, 79}) {
                for (size_t length = 1; length <= 7; ++length) {
                    std::string run =
                        "\x1B[" + std::to_string(row) + ";" + std::to_string(column) + "H\x1B[2F\x1B[9G";
                    for (size_t i = 0; i < length; ++i) {
                        run += static_cast<char>('A' + i);
                    }
                    SCOPED_TRACE("scrolls " + std::to_string(scrolls) + " row " + std::to_string(row) +
                                 " column " + std::to_string(column) + " length " + std::to_string(length));
                    ExpectSameSplit(fill + run + "\x1B[4F\x1B[1G");
                }
            }
        }
    }
}

TEST(ScreenModel, WritingThePastLastRowScrollsEverythingUpOne) {
    RecordedScreen s;
    for (int i = 0; i < 25; ++i) {
        s.Feed("\x1B[" + std::to_string(i + 1) + ";1Hrow " + std::to_string(i));
    }
    s.Feed("\x1B[44m\x1B[32m");  // navy background, green text for the new row
    s.recorder.Clear();
    s.Feed("\n");
    EXPECT_EQ(s.Row(0).substr(0, 6), "row 1 ");
    EXPECT_EQ(s.Row(23).substr(0, 6), "row 24");
    EXPECT_EQ(s.Row(24), std::string(80, ' '));
    EXPECT_EQ(s.screen.ForegroundAt(24, 0), Rgb(0, 255, 0));
    EXPECT_EQ(s.screen.GetCursor(), (CellPosition{0, 24}));
    EXPECT_THAT(s.recorder.Events(), ElementsAre("repaint"));
}

TEST(ScreenModel, ManyScrollsKeepRowMajorOrderForCopiesAndSnapshots) {
    RecordedScreen s;
    for (int i = 0; i < 1000; ++i) {
        s.Feed("line " + std::to_string(i) + "\r\n");
    }
    // The last 24 lines and an empty row, in order, however the rows are kept inside.
    for (int row = 0; row < 24; ++row) {
        EXPECT_EQ(s.Row(row).substr(0, 9), "line " + std::to_string(976 + row) + " ") << row;
    }
    const auto image = s.screen.SnapshotImage();
    CTerminalScreen copy;
    ASSERT_TRUE(copy.AdoptSnapshotImage(image));
    EXPECT_EQ(copy.CopyCells(0, kScreenCells), s.screen.CopyCells(0, kScreenCells));
}

struct TabCase {
    int32_t from;
    CellPosition to;
};

class Tab : public ::testing::TestWithParam<TabCase> {};

TEST_P(Tab, GoesToTheNextMultipleOfEight) {
    RecordedScreen s;
    s.Feed("\x1B[3;" + std::to_string(GetParam().from + 1) + "H\t");
    EXPECT_EQ(s.screen.GetCursor(), GetParam().to);
}

INSTANTIATE_TEST_SUITE_P(Columns, Tab,
                         ::testing::Values(TabCase{0, {8, 2}}, TabCase{7, {8, 2}}, TabCase{8, {16, 2}},
                                           TabCase{71, {72, 2}}, TabCase{72, {0, 3}}, TabCase{79, {0, 3}},
                                           TabCase{-1, {0, 2}}));

struct BackspaceCase {
    const char* name;
    const char* setup;
    const char* row;
    CellPosition cursor;
};

class Backspace : public ::testing::TestWithParam<BackspaceCase> {};

TEST_P(Backspace, DeletesLeftAndPullsTheRow) {
    RecordedScreen s;
    s.Feed("\x1B[2;1H");
    s.Feed(GetParam().setup);
    s.Feed("\b");
    EXPECT_EQ(s.Row(1).substr(0, 12), GetParam().row);
    EXPECT_EQ(s.screen.GetCursor(), GetParam().cursor);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Backspace,
    ::testing::Values(BackspaceCase{"AtColumnZeroNothing", "abc\r", "abc         ", {0, 1}},
                      BackspaceCase{"AtTheEndOfText", "abc", "ab          ", {2, 1}},
                      BackspaceCase{"InTheMiddle", "abcdef\x1B[2;4H", "abdef       ", {2, 1}},
                      BackspaceCase{"OffTheScreenToTheLeft", "abc\r\x1B[D", "abc         ", {-1, 1}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ScreenModel, BackspaceBlanksTheLastCellInCurrentColoursAndRedrawsFromTheCursor) {
    RecordedScreen s;
    s.Feed("\x1B[1;75H\x1B[31mVWXYZ\x1B[1;78H\x1B[42m");
    s.recorder.Clear();
    s.Feed("\b");
    EXPECT_EQ(s.Row(0).substr(74), "VWYZ  ");
    EXPECT_EQ(s.screen.BackgroundAt(0, 79), Rgb(0, 128, 0));
    EXPECT_EQ(s.screen.ForegroundAt(0, 77), Rgb(255, 0, 0));
    EXPECT_EQ(s.screen.ForegroundAt(0, 78), kInitialForeground);  // the old blank of column 79
    EXPECT_THAT(s.recorder.Events(),
                ElementsAre("text 0,76 @629,33 \"YZ\" red/navy", "text 0,78 @645,33 \" \" white/navy",
                            "text 0,79 @653,33 \" \" red/green"));
}

TEST(ScreenModel, ControlBytesActAndEveryOtherByteIsACharacter) {
    RecordedScreen s;
    s.Feed(std::string("a\x00\x01\x0B\x0C\x1A\x7F\xFF", 8));
    EXPECT_EQ(s.screen.CopyCells(0, 8), std::string("a\x00\x01\x0B\x0C\x1A\x7F\xFF", 8));
    s.Feed("\x07");
    EXPECT_THAT(s.recorder.OwnerCalls(), ElementsAre("beep"));
    s.Feed("xy\rZ\nw");
    EXPECT_EQ(s.Row(0).substr(0, 3), std::string("Z\x00\x01", 3));
    EXPECT_EQ(s.screen.GetCursor(), (CellPosition{1, 1}));
}

TEST(ScreenModel, ControlBytesAreFoundAtEveryPositionAmongOtherLowAndHighBytes) {
    // Text is searched for control bytes eight bytes at a time; put one at every offset of such a block,
    // among characters below 0x20 and above 0x7F, and compare with a byte-at-a-time feed.
    const std::string filler("ab\x01\x1F\x80\xFFz\x0B", 8);
    for (const char control : {'\r', '\n', '\t', '\b', '\a', '\x1B'}) {
        for (size_t at = 0; at < 17; ++at) {
            std::string text = filler + filler + filler;
            text.insert(at, 1, control);
            ExpectSameSplit(text + "tail");
        }
    }
}

TEST(ScreenModel, TextIsDrawnAsOneRunPerRowSegment) {
    RecordedScreen s;
    s.Feed("\x1B[1;78Habcde");
    EXPECT_THAT(s.recorder.Events(),
                ElementsAre("text 0,77 @637,33 \"abc\" white/navy", "text 1,0 @21,49 \"de\" white/navy"));
}

// ---- Hold-back of incomplete sequences ----

TEST(ScreenStream, ASequenceSplitAnywhereActsOnceWhenComplete) {
    const std::string sequence = "\x1B[12;34H";
    for (size_t split = 1; split < sequence.size(); ++split) {
        RecordedScreen s;
        s.Feed(sequence.substr(0, split));
        EXPECT_EQ(s.screen.BufferedCount(), static_cast<int32_t>(split)) << split;
        EXPECT_EQ(s.screen.GetCursor(), (CellPosition{0, 0}));
        s.Feed(sequence.substr(split) + "x");
        EXPECT_EQ(s.screen.BufferedCount(), 0);
        EXPECT_EQ(s.screen.CharAt(11, 33), 'x') << split;
    }
}

TEST(ScreenStream, EscapeBeforeAnyOtherByteIsShownAndScanningGoesOn) {
    RecordedScreen s;
    s.Feed("\x1BX\x1B\x1B[2;1Hok\x1B\rQ");
    EXPECT_EQ(s.Row(0).substr(0, 3), "\x1BX\x1B");
    EXPECT_EQ(s.Row(1).substr(0, 3), "Qk\x1B");
    ExpectSameSplit("\x1BX\x1B\x1B[2;1Hok\x1B\rQ");
}

TEST(ScreenStream, EqualsSignIsALetterThatContinuesTheSequence) {
    RecordedScreen s;
    s.Feed("\x1B[=31mx\x1B[=;5Hy");
    EXPECT_EQ(s.screen.ForegroundAt(0, 0), Rgb(255, 0, 0));
    // '=' then ';' ends the sequence with the letter ';', which has no command; "5H" is then text.
    EXPECT_EQ(s.Row(0).substr(0, 4), "x5Hy");
}

TEST(ScreenStream, AStringInAnyPositionIsCompleteOnlyAtItsOwnTerminator) {
    RecordedScreen s;
    s.Feed("\x1B[%first\x01%sec");
    EXPECT_EQ(s.screen.BufferedCount(), 13);
    EXPECT_THAT(s.recorder.OwnerCalls(), IsEmpty());
    s.Feed("ond\x01O");
    EXPECT_THAT(s.recorder.OwnerCalls(), ElementsAre("owner SetTitle \"second\""));
    EXPECT_EQ(s.screen.BufferedCount(), 0);
}

TEST(ScreenStream, ANumberMayBeFollowedDirectlyByAString) {
    RecordedScreen s;
    s.Feed("\x1B[5%text\x01O");
    EXPECT_THAT(s.recorder.OwnerCalls(), ElementsAre("owner SetTitle \"text\""));
}

TEST(ScreenStream, BytesFedFromInsideACommandFollowInOrder) {
    // The owner feeds more host data while it handles a command, as a nested event loop would.
    class FeedingOwner : public NullScreenOwner {
      public:
        CTerminalScreen* screen = nullptr;
        std::vector<std::string> titles;
        void SetTitle(std::string title) override {
            titles.push_back(title);
            if (title == "first") {
                screen->Feed("\x1B[%nested\x01O");
            }
        }
    } owner;
    CTerminalScreen screen;
    owner.screen = &screen;
    screen.SetOwner(&owner);
    screen.Feed("\x1B[%first\x01O\x1B[%second\x01O");
    EXPECT_THAT(owner.titles, ElementsAre("first", "second", "nested"));
}

// ---- The one-pass scan of common sequences ----

std::span<const uint8_t> Bytes(const std::string& text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

// Where the one-pass scan takes a sequence (given after its ESC), the general scanner completes it with the
// same length and tokens; true when it took it. Where it declines, the general scanner takes it instead.
bool ExpectQuickAsGeneral(const std::string& afterEsc) {
    EscapeScanner quick;
    size_t used = 0;
    if (!quick.ScanQuick(Bytes(afterEsc), used)) {
        return false;
    }
    EscapeScanner general;
    general.Begin();
    const EscapeScanner::Step step = general.Scan(Bytes(afterEsc));
    EXPECT_EQ(step.outcome, EscapeScanner::Outcome::Complete) << afterEsc;
    EXPECT_EQ(step.consumed, used) << afterEsc;
    EXPECT_EQ(quick.Length(), general.Length()) << afterEsc;
    EXPECT_FALSE(general.Discarded()) << afterEsc;
    EXPECT_FALSE(quick.Active()) << afterEsc;
    EXPECT_EQ(quick.TokenCount(), general.TokenCount()) << afterEsc;
    for (size_t i = 0; i < std::min(quick.TokenCount(), general.TokenCount()); ++i) {
        EXPECT_EQ(quick.TokenAt(i).kind, general.TokenAt(i).kind) << afterEsc << " token " << i;
        EXPECT_EQ(quick.TokenAt(i).value, general.TokenAt(i).value) << afterEsc << " token " << i;
    }
    return true;
}

TEST(ScreenQuickScan, TakesCommonSequencesAsTheGeneralScannerDoes) {
    struct Case {
        std::string afterEsc;
        bool quick;
    };
    const Case cases[] = {
        {"[H", true},
        {"[5H", true},  // one digit, two and three
        {"[12;34Htext", true},
        {"[123;4;56m", true},
        {"[31m", true},
        {"[0;1;7m", true},
        {"[1;;2H", true},  // the second ';' is a letter
        {"[5=3mx", true},  // '=' goes on
        {"[==m", true},
        {"[123456789H", true},    // nine digits
        {"[1234567890H", false},  // ten could overflow: the general scanner saturates
        {"[" + Repeat('9', 80) + "H", false},
        {"[1%ab\x01H", false},  // strings are the general scanner's
        {"[%x\x01O", false},
        {"[", false},  // incomplete: held back by the general scanner
        {"[1", false},
        {"[12", false},
        {"[123", false},
        {"[12;", false},
        {"[=", false},
        {"x", false},  // no sequence
        {"", false},
        {"[" + Repeat('1', 300) + "H", false},  // beyond the quick scan's reach
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ExpectQuickAsGeneral(c.afterEsc), c.quick) << c.afterEsc;
    }
    // Eighty tokens fit; the eighty-first makes the general scanner discard the sequence.
    std::string eighty = "[";
    for (int i = 0; i < 79; ++i) {
        eighty += "1;";
    }
    EXPECT_TRUE(ExpectQuickAsGeneral(eighty + "H"));
    EXPECT_FALSE(ExpectQuickAsGeneral(eighty + "1;H"));
}

// Sequences drawn from the grammar's bytes: each one the quick scan takes scans alike, and a stream of
// them with text between acts alike fed whole (the quick scan) and a byte at a time (the general one).
TEST(ScreenQuickScan, GeneratedSequencesScanAndActAlikeOnBothPaths) {
    static const char kAlphabet[] = "0123456789;;;==%HmmCDFGKbJUx\x01 ";
    uint32_t seed = 12345;
    const auto next = [&seed](uint32_t range) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % range;
    };
    std::string stream;
    int taken = 0;
    for (int i = 0; i < 5000; ++i) {
        std::string sequence = "[";
        const uint32_t length = 1 + next(12);
        for (uint32_t k = 0; k < length; ++k) {
            sequence += kAlphabet[next(sizeof kAlphabet - 1)];
        }
        taken += ExpectQuickAsGeneral(sequence) ? 1 : 0;
        if (i < 600) {
            stream += "\x1B" + sequence + "ab";
        }
    }
    EXPECT_GT(taken, 500) << "the quick scan took too few to compare";
    ExpectSameSplit(stream);
}

// ---- Hostile streams ----

TEST(ScreenHostile, MoreThanEightyTokensDiscardTheSequence) {
    std::string tokens;
    for (int i = 0; i < 100; ++i) {
        tokens += "31;";
    }
    RecordedScreen s;
    s.Feed("\x1B[" + tokens + "mafter");
    EXPECT_EQ(s.Row(0).substr(0, 5), "after");
    EXPECT_EQ(s.screen.ForegroundAt(0, 0), kInitialForeground);
    EXPECT_LE(s.screen.TokenCount(), kMaxTokens);
    // Eighty tokens (79 numbers and the letter) still fit: m ignores them (more than 3), no discard needed.
    std::string fits;
    for (int i = 0; i < 79; ++i) {
        fits += "1;";
    }
    RecordedScreen t;
    t.Feed("\x1B[" + fits + "Ox");
    EXPECT_EQ(t.Row(0).substr(0, 1), "x");
    ExpectSameSplit("\x1B[" + tokens + "mafter");
}

TEST(ScreenHostile, LongDigitRunsSaturateThenDiscard) {
    RecordedScreen s;
    // Eighty digits are one number, saturated: the row lies far below the screen.
    s.Feed("\x1B[" + Repeat('9', 80) + ";1H");
    EXPECT_EQ(s.screen.GetCursor(), (CellPosition{0, kMaxRow}));
    s.Feed("lost\n");
    EXPECT_EQ(s.screen.GetCursor(), (CellPosition{0, 24}));
    EXPECT_EQ(s.screen.CopyCells(0, kScreenCells), std::string(kScreenCells, ' '));
    // Eighty-one digits discard the whole sequence.
    s.Feed("\x1B[1;1H\x1B[" + Repeat('1', 81) + "Hx");
    EXPECT_EQ(s.Row(0).substr(0, 1), "x");
}

TEST(ScreenHostile, ThreeThousandDigitsCannotBeHeldAndShowAsText) {
    const std::string stream = "\x1B[" + Repeat('7', 3000) + "Hafter";
    RecordedScreen s;
    s.Feed(stream);
    EXPECT_LE(s.screen.BufferedCount(), kHoldBackBytes);
    // The sequence outgrew the hold-back buffer: its ESC and every byte after it are ordinary data.
    // 3008 characters from the top left: 37 full rows (scrolled) and 48 on the last one.
    EXPECT_EQ(s.screen.GetCursor(), (CellPosition{48, 24}));
    EXPECT_EQ(s.Row(24).substr(0, 48), Repeat('7', 42) + "Hafter");
    // The ESC itself was drawn first, at the top left.
    EXPECT_THAT(s.recorder.Events().front(), ::testing::StartsWith("text 0,0 @21,33 \"\\x1B[777"));
    ExpectSameSplit(stream);
}

TEST(ScreenHostile, UnterminatedLongStringShowsItsTextAndWhatFollows) {
    const std::string stream = "\x1B[%" + Repeat('s', 1500) + "HELLO";
    RecordedScreen s;
    s.Feed(stream);
    EXPECT_EQ(s.screen.BufferedCount(), 0);
    EXPECT_THAT(s.recorder.OwnerCalls(), IsEmpty());
    // 1500 characters fill 18 rows and 60 columns; HELLO follows them.
    EXPECT_EQ(s.screen.CopyCells(0, 1505), Repeat('s', 1500) + "HELLO");
    EXPECT_EQ(s.screen.GetCursor(), (CellPosition{65, 18}));
    ExpectSameSplit(stream);

    // A terminator within reach makes it a string after all.
    RecordedScreen t;
    t.Feed("\x1B[%" + Repeat('s', kMaxStringBytes) + "\x01O");
    EXPECT_THAT(t.recorder.OwnerCalls(),
                ElementsAre("owner SetTitle \"" + Repeat('s', kMaxStringBytes) + "\""));
}

TEST(ScreenHostile, HeldDataNeverOverrunsAndIsNeverDropped) {
    // Strings that each end in time, but together outgrow the hold-back buffer.
    std::string stream = "\x1B[";
    for (int i = 0; i < 3; ++i) {
        stream += "%" + Repeat('a' + i, 1000) + "\x01";
    }
    stream += "Otail";
    RecordedScreen s;
    for (size_t at = 0; at < stream.size(); at += 700) {
        s.Feed(stream.substr(at, 700));
        EXPECT_LE(s.screen.BufferedCount(), kHoldBackBytes);
    }
    EXPECT_THAT(s.recorder.OwnerCalls(), IsEmpty());
    EXPECT_NE(s.screen.CopyCells(0, kScreenCells).find("Otail"), std::string::npos);
    ExpectSameSplit(stream);
}

TEST(ScreenHostile, OffScreenCursorTouchesNoCell) {
    RecordedScreen s;
    s.Feed("\x1B[2;1Hkeep");
    const std::string before = s.screen.CopyCells(0, kScreenCells);
    s.recorder.Clear();
    s.Feed("\x1B[0;0H\b\x1B[K\x1B[U");
    EXPECT_EQ(s.screen.GetCursor(), (CellPosition{-1, -1}));
    s.screen.ToggleCursor();
    s.screen.ToggleCursor();
    s.screen.HideCursor();
    EXPECT_EQ(s.screen.CopyCells(0, kScreenCells), before);
    EXPECT_THAT(s.recorder.Events(), IsEmpty());
    // Left of column 0 text is not stored until it reaches the screen.
    s.Feed("\x1B[3;1H\x1B[D\x1B[Dabc");
    EXPECT_EQ(s.Row(2).substr(0, 2), "c ");
    // Below the last row: nothing is stored, and K and J there touch nothing.
    s.Feed("\x1B[40;1Hfar\x1B[K\x1B[J");
    EXPECT_EQ(s.Row(1).substr(0, 4), "keep");
    // Far to the left, D stops at its bound, and H brings the cursor back.
    std::string lefts;
    for (int k = 0; k < (1 << 20) + 5; ++k) {
        lefts += "\x1B[D";
    }
    s.Feed("\x1B[5;1H" + lefts);
    EXPECT_EQ(s.screen.GetCursor(), (CellPosition{kMinColumn, 4}));
    s.Feed("\x1B[5;1Hx");
    EXPECT_EQ(s.screen.CharAt(4, 0), 'x');
}

TEST(ScreenHostile, HWithOneIntegerIsTheRow) {
    RecordedScreen s;
    s.Feed("\x1B[7Hx");
    EXPECT_EQ(s.screen.CharAt(6, 0), 'x');
    s.Feed(
        "\x1B[%s\x01"
        "5Hy");
    EXPECT_EQ(s.screen.CharAt(4, 0), 'y');
}

// ---- Painting ----

TEST(ScreenPainting, NothingIsDrawnWhilePaintingIsOff) {
    RecordedScreen s;
    s.Feed("\x1B[T");
    s.Feed("text\b\x1B[K\x1B[J\x1B[2J\x1B[25;1H\n\n");
    s.screen.ToggleCursor();
    s.screen.Repaint(true);
    EXPECT_THAT(s.recorder.Events(), IsEmpty());
    EXPECT_FALSE(s.screen.PaintingOn());
    s.Feed("\x1B[S");
    EXPECT_THAT(s.recorder.Events(), ElementsAre("repaint"));
    EXPECT_TRUE(s.screen.PaintingOn());
}

TEST(ScreenPainting, ShowCursorSwitchesPaintingOnFirst) {
    RecordedScreen s;
    s.Feed("\x1B[3;4Hq\x1B[T\x1B[3;4H\x1B[U");
    EXPECT_THAT(s.recorder.Events(), ElementsAre("text 2,3 @45,65 \"q\" white/navy", "repaint",
                                                 "cursor 2,3 \"q\" navy/white inverted"));
    EXPECT_TRUE(s.screen.CursorShown());
}

TEST(ScreenPainting, CursorBlinksOnlyWhilePaintingOrShown) {
    RecordedScreen s;
    s.Feed("ab");
    s.recorder.Clear();
    s.screen.ToggleCursor();
    s.screen.ToggleCursor();
    s.screen.HideCursor();  // already hidden: nothing to draw
    EXPECT_THAT(s.recorder.Events(),
                ElementsAre("cursor 0,2 \" \" navy/white inverted", "cursor 0,2 \" \" white/navy normal"));
    s.Feed("\x1B[U\x1B[T");
    s.recorder.Clear();
    s.screen.ToggleCursor();  // shown while painting is off: the flag flips, nothing is drawn
    EXPECT_FALSE(s.screen.CursorShown());
    s.screen.ToggleCursor();
    EXPECT_FALSE(s.screen.CursorShown());
    EXPECT_THAT(s.recorder.Events(), IsEmpty());
}

TEST(ScreenPainting, RepaintDrawsRunsOfEqualColoursAndTheShownCursor) {
    RecordedScreen s;
    s.Feed("ab\x1B[31mcd\x1B[0m\x1B[2;1H\x1B[U");
    s.recorder.Clear();
    s.screen.Repaint(true);
    const auto events = s.recorder.Events();
    ASSERT_EQ(events.size(), 2u + 3u + 24u + 1u);
    EXPECT_EQ(events[0], "fill 0,0-688,471 navy background");
    EXPECT_EQ(events[1], "frame");
    EXPECT_EQ(events[2], "text 0,0 @21,33 \"ab\" white/navy");
    EXPECT_EQ(events[3], "text 0,2 @37,33 \"cd\" red/navy");
    EXPECT_EQ(events[4].substr(0, 17), "text 0,4 @53,33 \"");
    EXPECT_EQ(events.back(), "cursor 1,0 \" \" navy/white inverted");

    CTerminalScreen fontless;
    ScreenRecorder recorder;
    fontless.SetPainter(&recorder);
    fontless.Resize(100, 100);
    fontless.Repaint(false);
    EXPECT_THAT(recorder.Events(), ElementsAre("fill 0,0-88,71 navy background", "frame"));
}

// ---- Geometry ----

TEST(ScreenGeometry, ResizeLayoutAndOffsetsPlaceTheGrid) {
    CTerminalScreen screen;
    screen.Resize(700, 500);
    EXPECT_EQ(screen.Geometry().usableWidth, 688);
    EXPECT_EQ(screen.Geometry().usableHeight, 471);
    EXPECT_EQ(screen.Geometry().textWidth, 688);
    screen.SetFrameOffset(6, 6);
    screen.SetBandOffset(0, 29);
    screen.Layout(8, 16);
    EXPECT_EQ(screen.Geometry().textWidth, 640);
    EXPECT_EQ(screen.Geometry().marginX, 21);  // (688 - 640 - 5) / 2
    EXPECT_EQ(screen.Geometry().marginY, 33);  // (471 - 400 - 5) / 2
    EXPECT_EQ(screen.Geometry().originX, 27);
    EXPECT_EQ(screen.Geometry().originY, 68);
    screen.SetCellSize(8, 16);
    screen.SetExtraOffset(2, 3);
    EXPECT_EQ(screen.CellX(10), 10 * 8 + 2 + 27);
    EXPECT_EQ(screen.CellY(4), 4 * 16 + 3 + 68);
    EXPECT_EQ(screen.ClipRect(), (PixelRect{6, 6, 694, 494}));
    EXPECT_EQ(screen.CellFromPoint(27 + 8 * 5 + 7, 68 + 16 * 2), (CellPosition{5, 2}));

    // Too narrow for 80 cells: no margin, the grid is clipped on the right.
    screen.Resize(300, 200);
    screen.Layout(8, 16);
    EXPECT_EQ(screen.Geometry().marginX, 0);
    EXPECT_EQ(screen.Geometry().textWidth, 288);

    // Without the frame and with a status bar.
    CTerminalScreen bare;
    bare.SetFrameShown(false);
    bare.SetStatusBarShown(true);
    bare.Resize(640, 480, 20);
    EXPECT_EQ(bare.Geometry().usableWidth, 640);
    EXPECT_EQ(bare.Geometry().usableHeight, 460);
}

// The writer draws runs at pixel corners it keeps: after every change of the cell size or of the grid's
// place, and after adopting another screen's image, they are where CellX and CellY put the cells.
TEST(ScreenGeometry, RunsAreDrawnWhereTheGridIsAfterEveryChange) {
    struct PositionPainter final : ScreenPainter {
        std::vector<TextRun> runs;
        void DrawText(const TextRun& run) override { runs.push_back(run); }
        void FillArea(const PixelRect&, Colour, FillReason) override {}
        void DrawCursorCell(const TextRun&, bool) override {}
        void DrawFrame() override {}
        void RequestFullRepaint() override {}
    } painter;
    CTerminalScreen other;
    other.SetCellSize(11, 23);
    other.Resize(1000, 700);
    other.Layout(11, 23);
    other.SetExtraOffset(-4, 9);
    CTerminalScreen screen;
    screen.SetPainter(&painter);
    const std::pair<const char*, std::function<void()>> steps[] = {
        {"none yet", [] {}},
        {"cell size", [&] { screen.SetCellSize(8, 16); }},
        {"resize", [&] { screen.Resize(700, 500); }},
        {"layout", [&] { screen.Layout(8, 16); }},
        {"frame offset", [&] { screen.SetFrameOffset(6, 5); }},
        {"band offset", [&] { screen.SetBandOffset(3, 29); }},
        {"extra offset", [&] { screen.SetExtraOffset(2, -3); }},
        {"cell size again", [&] { screen.SetCellSize(9, 18); }},
        {"adopted image", [&] { ASSERT_TRUE(screen.AdoptSnapshotImage(other.SnapshotImage())); }},
    };
    for (const auto& [name, step] : steps) {
        step();
        for (const CellPosition at : {CellPosition{0, 0}, CellPosition{39, 12}, CellPosition{78, 24}}) {
            painter.runs.clear();
            screen.Feed("\x1B[" + std::to_string(at.row + 1) + ";" + std::to_string(at.column + 1) + "Hx");
            ASSERT_EQ(painter.runs.size(), 1u) << name;
            EXPECT_EQ(painter.runs[0].x, screen.CellX(at.column)) << name << " column " << at.column;
            EXPECT_EQ(painter.runs[0].y, screen.CellY(at.row)) << name << " row " << at.row;
        }
    }
}

TEST(ScreenGeometry, NoCellFromAPointBeforeTheCellSizeIsKnown) {
    CTerminalScreen screen;
    EXPECT_FALSE(screen.CellFromPoint(10, 10));
}

TEST(ScreenCells, CopyCellsStaysWithinTheScreen) {
    RecordedScreen s;
    s.Feed("\x1B[25;75Hend!!");
    EXPECT_EQ(s.screen.CopyCells(1994, 100), "end!! ");
    EXPECT_EQ(s.screen.CopyCells(2000, 5), "");
    EXPECT_EQ(s.screen.CopyCells(-1, 5), "");
    EXPECT_EQ(s.screen.CopyCells(0, -3), "");
    std::array<uint8_t, 3> small{};
    EXPECT_EQ(s.screen.CopyCells(small, 1994), 3u);
    EXPECT_EQ(std::string(small.begin(), small.end()), "end");
    EXPECT_EQ(s.screen.CharAt(25, 0), ' ');
    EXPECT_EQ(s.screen.ForegroundAt(0, 80), 0u);
}

}  // namespace
}  // namespace terminal::testing
