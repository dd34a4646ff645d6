// The calculator's arithmetic and display rules. Products and quotients are formed in 128 bits and any
// result the display cannot hold is refused, so no value ever wraps.
#include "tools/calculator/calculator_engine.h"

#include <algorithm>
#include <limits>

namespace tools {
namespace {

namespace vk = terminal::vk;

constexpr uint32_t kSeparator = 0x6C;  // the numeric pad's separator key

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool InRange(__int128 value) {
    return value >= -kCalcMaxMagnitude && value <= kCalcMaxMagnitude;
}

// The fixed-point value written with exactly `decimals` decimals (none when 0).
std::string Fixed(int64_t value, int decimals) {
    // The magnitude of the smallest int64 does not fit in an int64.
    const __int128 wide = value;
    const unsigned __int128 magnitude = static_cast<unsigned __int128>(wide < 0 ? -wide : wide);
    auto whole = static_cast<uint64_t>(magnitude / kCalcScale);
    auto fraction = static_cast<uint64_t>(magnitude % kCalcScale);
    std::string text = std::to_string(whole);
    if (decimals > 0) {
        std::string digits = std::to_string(fraction);
        digits.insert(0, 5 - digits.size(), '0');
        text += '.';
        text += digits.substr(0, static_cast<std::size_t>(decimals));
    }
    if (value < 0) {
        text.insert(0, 1, '-');
    }
    return text;
}

}  // namespace

int64_t ReadCalcDisplay(std::string_view display) {
    const std::size_t point = display.find('.');
    const int decimals = point == std::string_view::npos ? -1 : static_cast<int>(display.size() - point - 1);
    // The power of ten of the last digit, relative to the fixed point; negative past the fifth decimal.
    int exponent = decimals < 0 ? 5 : 5 - decimals;
    constexpr __int128 kLimit = std::numeric_limits<int64_t>::max();
    __int128 sum = 0;
    for (auto it = display.rbegin(); it != display.rend(); ++it) {
        const char c = *it;
        if (IsDigit(c)) {
            if (exponent >= 0 && exponent <= 18) {
                __int128 power = 1;
                for (int k = 0; k < exponent; ++k) {
                    power *= 10;
                }
                // Beyond any display: saturate rather than wrap.
                sum = std::min(sum + power * (c - '0'), kLimit);
            } else if (exponent > 18 && c != '0') {
                sum = kLimit;
            }
            exponent = std::min(exponent + 1, 100);
        } else if (c == '-') {
            sum = -sum;
        }
    }
    return static_cast<int64_t>(sum);
}

std::string ShowCalcValue(int64_t value) {
    int decimals = 5;
    int64_t fraction = value % kCalcScale;
    while (decimals > 0 && fraction % 10 == 0) {
        fraction /= 10;
        --decimals;
    }
    return Fixed(value, decimals);
}

std::string CalculatorHostText(int64_t value) {
    return value % kCalcScale == 0 ? Fixed(value, 0) : Fixed(value, 5);
}

std::string CalculatorHostCommand(int64_t value) {
    return "\x1b[&" + CalculatorHostText(value) + "\r";
}

int32_t CCalculatorEngine::Decimals() const {
    const std::size_t point = m_display.find('.');
    return point == std::string::npos ? -1 : static_cast<int32_t>(m_display.size() - point - 1);
}

CCalculatorEngine::Outcome CCalculatorEngine::Press(CalcButton button) {
    switch (button) {
        case CalcButton::Zero:
            Digit('0');
            break;
        case CalcButton::One:
        case CalcButton::Two:
        case CalcButton::Three:
        case CalcButton::Four:
        case CalcButton::Five:
        case CalcButton::Six:
        case CalcButton::Seven:
        case CalcButton::Eight:
        case CalcButton::Nine: {
            for (const CalcButtonInfo& info : kCalcButtons) {
                if (info.id == button) {
                    Digit(info.face[0]);
                }
            }
            break;
        }
        case CalcButton::Point:
            Point();
            break;
        case CalcButton::Sign:
            Sign();
            break;
        case CalcButton::Add:
            return ApplyOperator(Operator::Add);
        case CalcButton::Subtract:
            return ApplyOperator(Operator::Subtract);
        case CalcButton::Multiply:
            return ApplyOperator(Operator::Multiply);
        case CalcButton::Divide:
            return ApplyOperator(Operator::Divide);
        case CalcButton::Equals:
            return ApplyOperator(Operator::None);
        case CalcButton::Percent:
            return Percent();
        case CalcButton::Backspace:
            Backspace();
            break;
        case CalcButton::Clear:
            m_accumulator = 0;
            m_display = "0";
            m_pending = Operator::None;
            m_resultShown = false;
            break;
        case CalcButton::ClearEntry:
            m_display = "0";
            m_resultShown = false;
            break;
        case CalcButton::Ok:
            break;
    }
    return Outcome::Done;
}

void CCalculatorEngine::Digit(char digit) {
    if (m_resultShown) {
        m_display = "0";
        m_resultShown = false;
    }
    if (m_display == "0" || m_display == "-0") {
        if (digit != '0') {
            m_display.back() = digit;
        }
        return;
    }
    const int32_t decimals = Decimals();
    if (m_display.size() >= kMaxDisplay || decimals >= kMaxDecimals) {
        return;
    }
    // Nine integer digits are what a result can show; more could not be read back into 64 bits.
    const auto integerDigits = std::count_if(m_display.begin(), m_display.end(), IsDigit);
    if (decimals < 0 && integerDigits >= kMaxIntegerDigits) {
        return;
    }
    m_display += digit;
}

void CCalculatorEngine::Point() {
    if (m_resultShown) {
        m_display = "0.";
        m_resultShown = false;
        return;
    }
    if (m_display.find('.') == std::string::npos) {
        m_display += '.';
    }
}

void CCalculatorEngine::Sign() {
    if (!m_display.empty() && m_display.front() == '-') {
        m_display.erase(0, 1);
    } else {
        m_display.insert(0, 1, '-');
    }
}

CCalculatorEngine::Outcome CCalculatorEngine::ApplyOperator(Operator next) {
    if (m_pending == Operator::None) {
        m_accumulator = Value();
        m_pending = next;
        m_resultShown = true;
        return Outcome::Done;
    }
    if (m_resultShown) {
        m_pending = next;
        return Outcome::Done;
    }
    const __int128 left = m_accumulator;
    const __int128 right = Value();
    __int128 result = 0;
    switch (m_pending) {
        case Operator::Add:
            result = left + right;
            break;
        case Operator::Subtract:
            result = left - right;
            break;
        case Operator::Multiply:
            result = left * right / kCalcScale;
            break;
        case Operator::Divide:
            if (right == 0) {
                return Outcome::DivideByZero;
            }
            result = left * kCalcScale / right;
            break;
        case Operator::None:
            break;
    }
    if (!InRange(result)) {
        return Outcome::OutOfRange;
    }
    m_accumulator = static_cast<int64_t>(result);
    Show(m_accumulator);
    m_pending = next;
    return Outcome::Done;
}

CCalculatorEngine::Outcome CCalculatorEngine::Percent() {
    const Outcome outcome = ApplyOperator(Operator::None);
    if (outcome != Outcome::Done) {
        return outcome;
    }
    // The accumulator keeps the undivided value; the display, and so the value handed over, the share.
    const int64_t accumulator = m_accumulator;
    Show(Value() / 100);
    m_accumulator = accumulator;
    return Outcome::Done;
}

void CCalculatorEngine::Backspace() {
    if (m_resultShown) {
        return;
    }
    if (m_display.size() <= 1) {
        m_display = "0";
        return;
    }
    // Removing the point keeps the sign: "-5." becomes "-5", not 5.
    m_display.pop_back();
    if (std::none_of(m_display.begin(), m_display.end(), IsDigit)) {
        m_display = "0";
    }
}

void CCalculatorEngine::Show(int64_t value) {
    m_display = ShowCalcValue(value);
    m_resultShown = true;
}

std::optional<CalcKey> CalcKeyFor(uint32_t virtualKey, const terminal::KeyModifiers& mods) {
    auto button = [](CalcButton b) { return CalcKey{CalcKey::Action::Button, b}; };
    constexpr CalcButton kDigits[] = {CalcButton::Zero,  CalcButton::One,  CalcButton::Two, CalcButton::Three,
                                      CalcButton::Four,  CalcButton::Five, CalcButton::Six, CalcButton::Seven,
                                      CalcButton::Eight, CalcButton::Nine};
    if (virtualKey >= vk::k0 && virtualKey <= vk::k0 + 9) {
        if (mods.shift && virtualKey == vk::k0 + 5) {
            return button(CalcButton::Percent);
        }
        if (mods.shift && virtualKey == vk::k0 + 8) {
            return button(CalcButton::Multiply);
        }
        return button(kDigits[virtualKey - vk::k0]);
    }
    if (virtualKey >= vk::kNumpad0 && virtualKey <= vk::kNumpad0 + 9) {
        return button(kDigits[virtualKey - vk::kNumpad0]);
    }
    switch (virtualKey) {
        case vk::kMultiply:
            return button(CalcButton::Multiply);
        case vk::kAdd:
            return button(CalcButton::Add);
        case vk::kSubtract:
            return button(CalcButton::Subtract);
        case vk::kDivide:
        case vk::kOem2:
            return button(CalcButton::Divide);
        case vk::kDecimal:
        case vk::kOemPeriod:
            return button(CalcButton::Point);
        case vk::kOemPlus:
            return button(mods.shift ? CalcButton::Add : CalcButton::Equals);
        case vk::kOemMinus:
            if (mods.shift) {
                return button(CalcButton::Subtract);
            }
            return std::nullopt;
        case vk::kReturn:
        case kSeparator:
            return button(CalcButton::Equals);
        case vk::kBack:
            return button(CalcButton::Backspace);
        case vk::kA + ('C' - 'A'):
            return mods.ctrl ? std::nullopt : std::optional(button(CalcButton::Clear));
        case vk::kA + ('E' - 'A'):
            return mods.ctrl ? std::nullopt : std::optional(button(CalcButton::ClearEntry));
        case vk::kF1:
            return button(CalcButton::Ok);
        case vk::kEscape:
            return CalcKey{CalcKey::Action::Cancel};
        case vk::kTab:
            return CalcKey{CalcKey::Action::SwitchFocus};
        case vk::kSpace:
            return CalcKey{CalcKey::Action::PressFocused};
        default:
            return std::nullopt;
    }
}

}  // namespace tools
