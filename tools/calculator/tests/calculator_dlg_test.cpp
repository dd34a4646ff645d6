// The calculator dialog driven by keys offscreen: keys press the buttons, Enter is '=' and never OK, the
// focus stays on OK or '=', Escape cancels, refused results are told in a box, and the display keeps its
// point under a German locale and keyboard.
#include "tools/calculator/calculator_dlg.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTest>
#include <clocale>
#include <string>

#include "platform/user_prompt.h"

namespace tools {
namespace {

class CalculatorDlgTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_dialog.show();
        m_dialog.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_dialog));
    }

    QString Display() const { return m_dialog.findChild<QLabel*>(QStringLiteral("display"))->text(); }
    // Keys go where the user's would: to the focused button.
    void Key(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QWidget* target = m_dialog.focusWidget() != nullptr ? m_dialog.focusWidget() : &m_dialog;
        QTest::keyClick(target, key, mods);
    }
    void Keys(const char* text) {
        for (const char* c = text; *c != '\0'; ++c) {
            Key(static_cast<Qt::Key>(*c));
        }
    }

    platform::RecordingPrompt m_prompt;
    platform::ScopedDefaultPrompt m_scoped{m_prompt};
    CCalculator m_dialog;
};

TEST_F(CalculatorDlgTest, StartsAtZeroWithTitleButtonsAndFocusOnOk) {
    EXPECT_EQ(m_dialog.windowTitle(), QStringLiteral("Calculator"));
    EXPECT_EQ(Display(), QStringLiteral("0"));
    EXPECT_EQ(m_dialog.findChildren<QPushButton*>().size(), 22);
    for (const CalcButtonInfo& info : kCalcButtons) {
        QPushButton* button = m_dialog.Button(info.id);
        ASSERT_NE(button, nullptr) << info.face;
        EXPECT_EQ(button->text().toStdString(), info.face);
    }
    EXPECT_TRUE(m_dialog.Button(CalcButton::Ok)->isDefault());
    EXPECT_EQ(m_dialog.focusWidget(), m_dialog.Button(CalcButton::Ok));
}

TEST_F(CalculatorDlgTest, KeysPressTheButtonsAndEnterIsEquals) {
    Keys("12.5");
    Key(Qt::Key_Asterisk, Qt::ShiftModifier);  // Shift+8
    Key(Qt::Key_2, Qt::KeypadModifier);
    Key(Qt::Key_Return);
    EXPECT_EQ(Display(), QStringLiteral("25"));
    EXPECT_TRUE(m_dialog.isVisible());  // Enter is '=', not OK
    // The same key twice in a row counts twice.
    Keys("11");
    Key(Qt::Key_Slash, Qt::KeypadModifier);
    Key(Qt::Key_4);
    Key(Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(Display(), QStringLiteral("2.75"));
    Key(Qt::Key_Backspace);  // a result: nothing
    Key(Qt::Key_Percent, Qt::ShiftModifier);
    EXPECT_EQ(Display(), QStringLiteral("0.0275"));
    Key(Qt::Key_F1);
    EXPECT_EQ(m_dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(m_dialog.isVisible());
    EXPECT_EQ(m_dialog.GetValue(), 2750);
}

TEST_F(CalculatorDlgTest, ClearKeysAndTheMinusKeyRules) {
    Keys("42");
    Key(Qt::Key_Minus);  // the main row's '-' only counts with Shift
    EXPECT_EQ(Display(), QStringLiteral("42"));
    Key(Qt::Key_Underscore, Qt::ShiftModifier);
    Keys("2");
    Key(Qt::Key_Equal);
    EXPECT_EQ(Display(), QStringLiteral("40"));
    Key(Qt::Key_Plus, Qt::ShiftModifier);  // Shift + '=' is '+'
    Keys("5");
    Key(Qt::Key_E);
    EXPECT_EQ(Display(), QStringLiteral("0"));
    Keys("1");
    Key(Qt::Key_Equal);
    EXPECT_EQ(Display(), QStringLiteral("41"));
    Key(Qt::Key_C, Qt::AltModifier);
    EXPECT_EQ(Display(), QStringLiteral("0"));
    EXPECT_EQ(m_dialog.Engine().Pending(), CCalculatorEngine::Operator::None);
}

TEST_F(CalculatorDlgTest, FocusStaysOnOkOrEqualsAndSpacePressesIt) {
    QTest::mouseClick(m_dialog.Button(CalcButton::Seven), Qt::LeftButton);
    EXPECT_EQ(Display(), QStringLiteral("7"));
    EXPECT_EQ(m_dialog.focusWidget(), m_dialog.Button(CalcButton::Ok));
    Key(Qt::Key_Tab);
    EXPECT_EQ(m_dialog.focusWidget(), m_dialog.Button(CalcButton::Equals));
    EXPECT_EQ(m_dialog.FocusedButton(), CalcButton::Equals);
    QTest::mouseClick(m_dialog.Button(CalcButton::Add), Qt::LeftButton);
    EXPECT_EQ(m_dialog.focusWidget(), m_dialog.Button(CalcButton::Equals));
    Keys("3");
    Key(Qt::Key_Space);  // presses '=' once
    EXPECT_EQ(Display(), QStringLiteral("10"));
    EXPECT_TRUE(m_dialog.isVisible());
    Key(Qt::Key_Tab);
    Key(Qt::Key_Space);  // now OK
    EXPECT_EQ(m_dialog.result(), QDialog::Accepted);
    EXPECT_EQ(m_dialog.GetValue(), 1000000);
}

TEST_F(CalculatorDlgTest, EscapeCancels) {
    Keys("5");
    Key(Qt::Key_Escape);
    EXPECT_EQ(m_dialog.result(), QDialog::Rejected);
    EXPECT_FALSE(m_dialog.isVisible());
}

TEST_F(CalculatorDlgTest, RefusedResultsAreToldAndChangeNothing) {
    Keys("5/0");
    Key(Qt::Key_Return);
    Key(Qt::Key_C);
    Keys("999999999");
    Key(Qt::Key_Asterisk, Qt::ShiftModifier);
    Keys("9");
    Key(Qt::Key_Return);
    EXPECT_EQ(m_prompt.Shown(),
              (std::vector<platform::PromptRequest>{
                  {"Error: Cannot divide by zero.", "", platform::PromptIcon::None},
                  {"Error: The result is too large to show.", "", platform::PromptIcon::None}}));
    EXPECT_EQ(Display(), QStringLiteral("9"));
    EXPECT_TRUE(m_dialog.isVisible());
}

TEST_F(CalculatorDlgTest, GermanLocaleAndKeypadCommaKeepThePoint) {
    const QLocale previousLocale;
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr)
        << "de_DE.UTF-8 is not generated; scripts/setup.sh makes it";
    Keys("1");
    Key(Qt::Key_Comma, Qt::KeypadModifier);  // the German pad's decimal key
    Keys("5");
    Key(Qt::Key_Asterisk, Qt::KeypadModifier);
    Keys("3");
    Key(Qt::Key_Return);
    EXPECT_EQ(Display(), QStringLiteral("4.5"));
    EXPECT_EQ(CalculatorHostCommand(m_dialog.GetValue()), "\x1b[&4.50000\r");
    std::setlocale(LC_ALL, previous.c_str());
    QLocale::setDefault(previousLocale);
}

}  // namespace
}  // namespace tools
