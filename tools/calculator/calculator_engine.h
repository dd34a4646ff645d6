// The calculator's arithmetic and display without its widgets: fixed-point values with five decimals so
// that money amounts add up exactly, the display's typing rules, the keyboard map and the text the control
// hands to the host. CCalculator shows this state and forwards its buttons here.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "terminal/core/keyboard.h"

namespace tools {

// The 22 buttons by their ids.
enum class CalcButton : int32_t {
    Seven = 241,
    Eight = 242,
    Nine = 243,
    Four = 244,
    Five = 245,
    Six = 246,
    One = 247,
    Two = 248,
    Three = 249,
    Zero = 250,
    Point = 251,
    Sign = 252,
    Divide = 253,
    Multiply = 255,
    Subtract = 257,
    Add = 259,
    Equals = 260,
    Backspace = 261,
    Clear = 262,
    ClearEntry = 263,
    Ok = 264,
    Percent = 293,
};

struct CalcButtonInfo {
    CalcButton id;
    std::string_view face;
    int32_t bitmap;     // the face's image resource
    bool defaultStyle;  // '=' and OK
};

inline constexpr std::array<CalcButtonInfo, 22> kCalcButtons = {{
    {CalcButton::Zero, "0", 277, false},
    {CalcButton::One, "1", 269, false},
    {CalcButton::Two, "2", 268, false},
    {CalcButton::Three, "3", 270, false},
    {CalcButton::Four, "4", 271, false},
    {CalcButton::Five, "5", 272, false},
    {CalcButton::Six, "6", 273, false},
    {CalcButton::Seven, "7", 274, false},
    {CalcButton::Eight, "8", 275, false},
    {CalcButton::Nine, "9", 276, false},
    {CalcButton::Point, ".", 278, false},
    {CalcButton::Sign, "+/-", 279, false},
    {CalcButton::Add, "+", 280, false},
    {CalcButton::Subtract, "-", 281, false},
    {CalcButton::Multiply, "*", 282, false},
    {CalcButton::Divide, "/", 283, false},
    {CalcButton::Percent, "%", 294, false},
    {CalcButton::Equals, "=", 287, true},
    {CalcButton::Backspace, "Backspace", 288, false},
    {CalcButton::Clear, "C", 289, false},
    {CalcButton::ClearEntry, "CE", 290, false},
    {CalcButton::Ok, "OK", 291, true},
}};

inline constexpr std::string_view kDivideByZeroText = "Error: Cannot divide by zero.";
inline constexpr std::string_view kOutOfRangeText = "Error: The result is too large to show.";

// Fixed point: the value times 100000.
inline constexpr int64_t kCalcScale = 100000;
// The display holds at most nine integer digits and five decimals.
inline constexpr int64_t kCalcMaxMagnitude = 99999999999999;

// The display text read as a fixed-point value: digits past the fifth decimal add nothing.
int64_t ReadCalcDisplay(std::string_view display);
// A fixed-point value as the display shows it: trailing zero decimals dropped with the point, "0.5", "-3".
std::string ShowCalcValue(int64_t value);

// The value as the host takes it: five decimals, or none at all for a whole number ("12", "12.50000").
// Written without the C library, so no locale can change the decimal point.
std::string CalculatorHostText(int64_t value);
// ESC [ & value CR, what the control writes on channel 0 when the user closes the calculator with OK.
std::string CalculatorHostCommand(int64_t value);

class CCalculatorEngine {
  public:
    enum class Operator : int32_t { None = 0, Add = 1, Subtract = 2, Multiply = 3, Divide = 4 };
    // A refused operation changes nothing; the dialog tells the user.
    enum class Outcome { Done, DivideByZero, OutOfRange };

    static constexpr std::size_t kMaxDisplay = 16;
    static constexpr int32_t kMaxDecimals = 5;
    static constexpr int32_t kMaxIntegerDigits = 9;

    // Every button but OK, which is the dialog's.
    Outcome Press(CalcButton button);

    const std::string& Display() const { return m_display; }
    // Digits after the point, -1 without one. Worked out from the display so it can never disagree with it.
    int32_t Decimals() const;
    // What the display shows, as a fixed-point value: the value handed to the host.
    int64_t Value() const { return ReadCalcDisplay(m_display); }
    int64_t Accumulator() const { return m_accumulator; }
    Operator Pending() const { return m_pending; }
    bool ResultShown() const { return m_resultShown; }

  private:
    void Digit(char digit);
    void Point();
    void Sign();
    Outcome ApplyOperator(Operator next);
    Outcome Percent();
    void Backspace();
    void Show(int64_t value);

    Operator m_pending = Operator::None;
    int64_t m_accumulator = 0;
    std::string m_display = "0";
    bool m_resultShown = false;
};

// What a key does in the calculator.
struct CalcKey {
    enum class Action { Button, Cancel, SwitchFocus, PressFocused };
    Action action = Action::Button;
    CalcButton button = CalcButton::Ok;  // for Action::Button
    bool operator==(const CalcKey&) const = default;
};

// The keyboard map by virtual-key code, as keys sit on a US layout; nullopt for keys it leaves alone.
std::optional<CalcKey> CalcKeyFor(uint32_t virtualKey, const terminal::KeyModifiers& mods);

}  // namespace tools
