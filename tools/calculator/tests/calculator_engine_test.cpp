// The calculator engine: key sequences to the display and the value handed over (exactness, '%' and '+/-'
// results, Backspace and its sign, the display's range), reading and showing values, the host text under
// a German locale, and the keyboard map.
#include "tools/calculator/calculator_engine.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace tools {
namespace {

using Outcome = CCalculatorEngine::Outcome;

// A button by its face, or S +/-, B Backspace, E clear entry.
CalcButton ButtonOf(char c) {
    const std::pair<char, CalcButton> kLetters[] = {
        {'S', CalcButton::Sign}, {'B', CalcButton::Backspace}, {'E', CalcButton::ClearEntry}};
    for (const auto& [letter, button] : kLetters) {
        if (letter == c) {
            return button;
        }
    }
    for (const CalcButtonInfo& info : kCalcButtons) {
        if (info.face.size() == 1 && info.face[0] == c) {
            return info.id;
        }
    }
    ADD_FAILURE() << "no button for " << c;
    return CalcButton::Ok;
}

// Presses the buttons of `keys` (S +/-, B Backspace, C clear, E clear entry) and collects refusals.
std::vector<Outcome> Press(CCalculatorEngine& engine, std::string_view keys) {
    std::vector<Outcome> refused;
    for (const char c : keys) {
        const Outcome outcome = engine.Press(ButtonOf(c));
        if (outcome != Outcome::Done) {
            refused.push_back(outcome);
        }
    }
    return refused;
}

struct SequenceCase {
    const char* keys;
    std::string display;
    int64_t value;  // times 100000
    std::vector<Outcome> refused = {};
};

class CalculatorSequence : public ::testing::TestWithParam<SequenceCase> {};

TEST_P(CalculatorSequence, ShowsAndHandsOverWhatTheDisplayHolds) {
    const SequenceCase& c = GetParam();
    CCalculatorEngine engine;
    EXPECT_EQ(Press(engine, c.keys), c.refused) << c.keys;
    EXPECT_EQ(engine.Display(), c.display) << c.keys;
    EXPECT_EQ(engine.Value(), c.value) << c.keys;
    // The decimals count always agrees with the display.
    const auto point = c.display.find('.');
    EXPECT_EQ(engine.Decimals(), point == std::string::npos ? -1 : int32_t(c.display.size() - point - 1))
        << c.keys;
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, CalculatorSequence,
    ::testing::Values(
        SequenceCase{"", "0", 0},
        // Exact decimal arithmetic.
        SequenceCase{"1/3=", "0.33333", 33333}, SequenceCase{"1/3=*3=", "0.99999", 99999},
        SequenceCase{"0.1+0.2=", "0.3", 30000}, SequenceCase{"5-8=", "-3", -300000},
        SequenceCase{"2+3*4=", "20", 2000000},  // no precedence: each operator applies the pending one
        SequenceCase{"2+*3=", "6", 600000},     // a second operator only replaces the first
        SequenceCase{"5+3E4=", "9", 900000},    // CE clears only the entry
        SequenceCase{"131072.01+0=", "131072.01", 13107201000},
        SequenceCase{"123456789.12345", "123456789.12345", 12345678912345},
        // '%' and '+/-' on a result: the value handed over is the one shown.
        SequenceCase{"50%", "0.5", 50000}, SequenceCase{"200+10%", "2.1", 210000},
        SequenceCase{"50%+1=", "1.5", 150000}, SequenceCase{"8=S", "-8", -800000},
        SequenceCase{"5+3=S+1=", "-7", -700000}, SequenceCase{"0S", "-0", 0},
        SequenceCase{"0S7", "-7", -700000},
        // Typing limits: five decimals, nine integer digits, sixteen characters.
        SequenceCase{"1.123456", "1.12345", 112345}, SequenceCase{"1234567890", "123456789", 12345678900000},
        SequenceCase{"123456789.12345S6", "-123456789.12345", -12345678912345},
        SequenceCase{"00.05", "0.05", 5000}, SequenceCase{"1..5", "1.5", 150000},
        SequenceCase{"2+3=.5", "0.5", 50000}, SequenceCase{"2+3=7", "7", 700000},
        // Backspace: a digit at a time, never the sign, never below the last digit.
        SequenceCase{"123B4", "124", 12400000}, SequenceCase{"5S.B", "-5", -500000},
        SequenceCase{"5S.BB", "0", 0}, SequenceCase{"12BB", "0", 0}, SequenceCase{"12BBB3", "3", 300000},
        SequenceCase{"1.5B", "1.", 100000}, SequenceCase{"1.5BB", "1", 100000},
        SequenceCase{"12B.5", "1.5", 150000}, SequenceCase{"0.5SBB", "-0", 0},
        SequenceCase{"0.5SBB3", "-3", -300000}, SequenceCase{"2+3=B", "5", 500000},
        // Refused results change nothing.
        SequenceCase{"5/0=", "0", 0, {Outcome::DivideByZero}},
        SequenceCase{"5/0=2=", "2.5", 250000, {Outcome::DivideByZero}},
        SequenceCase{"5/0=C", "0", 0, {Outcome::DivideByZero}},
        SequenceCase{"999999999*9=", "9", 900000, {Outcome::OutOfRange}},
        SequenceCase{"999999999S-1=", "1", 100000, {Outcome::OutOfRange}},
        SequenceCase{"999999999.99999+0.00001=", "0.00001", 1, {Outcome::OutOfRange}},
        SequenceCase{"1000000/0.001=", "0.001", 100, {Outcome::OutOfRange}},
        SequenceCase{"99999*99999=", "99999", 9999900000, {Outcome::OutOfRange}},
        SequenceCase{"999999999+1%", "1", 100000, {Outcome::OutOfRange}},
        SequenceCase{"100000000*9=", "900000000", 90000000000000}, SequenceCase{"0.00001*0.00001=", "0", 0}));

TEST(CalculatorEngine, ClearAndRefusalsKeepTheirState) {
    CCalculatorEngine engine;
    Press(engine, "5/0");
    EXPECT_EQ(Press(engine, "="), std::vector<Outcome>{Outcome::DivideByZero});
    EXPECT_EQ(engine.Pending(), CCalculatorEngine::Operator::Divide);
    EXPECT_EQ(engine.Accumulator(), 500000);
    EXPECT_FALSE(engine.ResultShown());
    Press(engine, "C");
    EXPECT_EQ(engine.Pending(), CCalculatorEngine::Operator::None);
    EXPECT_EQ(engine.Accumulator(), 0);
    EXPECT_EQ(engine.Display(), "0");

    // '%' leaves the undivided value in the accumulator and nothing pending.
    Press(engine, "200+10%");
    EXPECT_EQ(engine.Accumulator(), 21000000);
    EXPECT_EQ(engine.Pending(), CCalculatorEngine::Operator::None);
    EXPECT_TRUE(engine.ResultShown());
}

TEST(CalculatorValues, ReadAndShowTheDisplay) {
    struct Read {
        const char* display;
        int64_t value;
    };
    for (const Read& r :
         {Read{"0", 0}, Read{"-12.5", -1250000}, Read{"1.1234567", 112345}, Read{"-", 0}, Read{"7.", 700000},
          Read{"", 0}, Read{"-0.00001", -1},
          // Far beyond any display: saturated, never wrapped.
          Read{"99999999999999999999", INT64_MAX}, Read{"-99999999999999999999", -INT64_MAX}}) {
        EXPECT_EQ(ReadCalcDisplay(r.display), r.value) << r.display;
    }
    struct Show {
        int64_t value;
        const char* text;
    };
    for (const Show& s :
         {Show{0, "0"}, Show{50000, "0.5"}, Show{-300000, "-3"}, Show{1, "0.00001"}, Show{-1, "-0.00001"},
          Show{12345678912345, "123456789.12345"}, Show{INT64_MIN, "-92233720368547.75808"}}) {
        EXPECT_EQ(ShowCalcValue(s.value), s.text) << s.value;
    }
}

struct HostCase {
    int64_t value;
    const char* text;
};

const HostCase kHostCases[] = {
    {1200000, "12"},
    {1250000, "12.50000"},
    {-50000, "-0.50000"},
    {0, "0"},
    {-300000, "-3"},
    // A 32-bit float would lose the cents here.
    {13107201000, "131072.01000"},
    {99999999999999, "999999999.99999"},
    {1, "0.00001"},
};

TEST(CalculatorHost, TextKeepsEveryDigitAndCommandFramesIt) {
    for (const HostCase& c : kHostCases) {
        EXPECT_EQ(CalculatorHostText(c.value), c.text) << c.value;
    }
    EXPECT_EQ(CalculatorHostCommand(1200000), "\x1b[&12\r");
    EXPECT_EQ(CalculatorHostCommand(1250000), "\x1b[&12.50000\r");
}

TEST(CalculatorHost, GermanLocaleStillGivesAPoint) {
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr)
        << "de_DE.UTF-8 is not generated; scripts/setup.sh makes it";
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 0.5);
    EXPECT_STREQ(probe, "0,5");  // the locale really is in force
    for (const HostCase& c : kHostCases) {
        EXPECT_EQ(CalculatorHostText(c.value), c.text) << c.value;
    }
    EXPECT_EQ(CalculatorHostCommand(1250000), "\x1b[&12.50000\r");
    std::setlocale(LC_ALL, previous.c_str());
}

struct KeyCase {
    uint32_t virtualKey;
    bool shift;
    bool alt;
    std::optional<CalcKey> expected;
};

CalcKey B(CalcButton button) {
    return {CalcKey::Action::Button, button};
}

TEST(CalculatorKeys, MapTheKeyboardOntoTheButtons) {
    namespace vk = terminal::vk;
    const KeyCase cases[] = {
        {vk::k0, false, false, B(CalcButton::Zero)},
        {vk::k0 + 7, false, false, B(CalcButton::Seven)},
        {vk::kNumpad0 + 3, false, false, B(CalcButton::Three)},
        {vk::k0 + 5, true, false, B(CalcButton::Percent)},
        {vk::k0 + 8, true, false, B(CalcButton::Multiply)},
        {vk::kMultiply, false, false, B(CalcButton::Multiply)},
        {vk::kAdd, false, false, B(CalcButton::Add)},
        {vk::kSubtract, false, false, B(CalcButton::Subtract)},
        {vk::kDivide, false, false, B(CalcButton::Divide)},
        {vk::kOem2, false, false, B(CalcButton::Divide)},
        {vk::kDecimal, false, false, B(CalcButton::Point)},
        {vk::kOemPeriod, false, false, B(CalcButton::Point)},
        {vk::kOemPlus, false, false, B(CalcButton::Equals)},
        {vk::kOemPlus, true, false, B(CalcButton::Add)},
        {vk::kOemMinus, true, false, B(CalcButton::Subtract)},
        {vk::kOemMinus, false, false, std::nullopt},
        {vk::kReturn, false, false, B(CalcButton::Equals)},
        {0x6C, false, false, B(CalcButton::Equals)},
        {vk::kBack, false, false, B(CalcButton::Backspace)},
        {vk::kA + 2, false, false, B(CalcButton::Clear)},
        {vk::kA + 2, false, true, B(CalcButton::Clear)},
        {vk::kA + 4, false, false, B(CalcButton::ClearEntry)},
        {vk::kA + 4, false, true, B(CalcButton::ClearEntry)},
        {vk::kF1, false, false, B(CalcButton::Ok)},
        {vk::kEscape, false, false, CalcKey{CalcKey::Action::Cancel}},
        {vk::kTab, false, false, CalcKey{CalcKey::Action::SwitchFocus}},
        {vk::kSpace, false, false, CalcKey{CalcKey::Action::PressFocused}},
        {vk::kA, false, false, std::nullopt},
        {vk::kF1 + 1, false, false, std::nullopt},
    };
    for (const KeyCase& c : cases) {
        terminal::KeyModifiers mods;
        mods.shift = c.shift;
        mods.alt = c.alt;
        EXPECT_EQ(CalcKeyFor(c.virtualKey, mods), c.expected)
            << std::hex << c.virtualKey << " shift " << c.shift << " alt " << c.alt;
    }
}

}  // namespace
}  // namespace tools
