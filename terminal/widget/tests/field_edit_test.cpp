// The edit box over a host field: it is placed and shown by the model, feeds it keys and clicks, and shows
// its text, password echo and caret; what the field sends reaches the wire through the key sender.
#include "terminal/widget/field_edit.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>

#include "terminal/core/tests/key_sender_fake.h"

namespace terminal {
namespace {

std::string Field(std::string text, int column, int row, int length, int numericMode, int options = 1,
                  std::string keyList = "N") {
    const char sep = 0x02;
    std::string d = std::move(text);
    for (const int v : {column, row, length, numericMode, options, 1, 1}) {
        d += sep;
        d += std::to_string(v);
    }
    d += sep;
    d += keyList;
    return d;
}

class FieldEditTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_parent.resize(800, 600);
        m_parent.show();
    }

    void Open(const std::string& description) {
        ASSERT_TRUE(m_edit.OpenField(description, m_geometry));
        m_poster.TakeWire();
    }

    testing::ImmediatePoster m_poster;
    QWidget m_parent;
    CFieldEdit m_edit{m_poster, &m_parent};
    CellGeometry m_geometry{8, 16, 10, 20, 0, 0};
};

TEST_F(FieldEditTest, OpeningAFieldLaysTheBoxOverItsCells) {
    EXPECT_FALSE(m_edit.isVisible());
    Open(Field("ab", 5, 3, 10, 0));
    EXPECT_TRUE(m_edit.isVisible());
    EXPECT_EQ(m_edit.geometry(), QRect(10 + 8 * 5 - 2, 16 * 3 + 20 - 2, 8 * 10 + 4, 16 + 3));
    EXPECT_EQ(m_edit.text(), "ab");
    EXPECT_EQ(m_edit.palette().color(QPalette::Base), QColor(253, 245, 230));
}

TEST_F(FieldEditTest, TypedKeysEditTheModelAndEnterSendsTheField) {
    Open(Field("", 0, 0, 10, 0));
    QTest::keyClicks(&m_edit, "12x");
    QTest::keyClick(&m_edit, Qt::Key_Backspace);
    EXPECT_EQ(m_edit.Model().Text(), "12");
    EXPECT_EQ(m_edit.text(), "12");
    EXPECT_EQ(m_edit.cursorPosition(), 2);
    QTest::keyClick(&m_edit, Qt::Key_Return);
    EXPECT_EQ(m_poster.TakeWire().substr(0, 8), std::string("\x1B\\1\x01"
                                                            "0\x01"
                                                            "12",
                                                            8));
    EXPECT_FALSE(m_edit.isVisible());
}

TEST_F(FieldEditTest, PasswordFieldEchoesStars) {
    Open(Field("", 0, 0, -3, 0));
    QTest::keyClicks(&m_edit, "abcd");
    EXPECT_EQ(m_edit.Model().Text(), "abc");
    EXPECT_EQ(m_edit.text(), "***");
    EXPECT_EQ(m_edit.BeepCount(), 1);
}

TEST_F(FieldEditTest, NumericFieldRefusesAThirdDecimalWithABeep) {
    Open(Field("", 0, 0, 10, 2));
    QTest::keyClicks(&m_edit, "12.345");
    EXPECT_EQ(m_edit.text(), "12.34");
    EXPECT_EQ(m_edit.BeepCount(), 1);
}

TEST_F(FieldEditTest, CaretAndSelectionMovedInTheBoxReachTheModel) {
    Open(Field("hello", 0, 0, 10, 0));
    m_edit.setCursorPosition(2);
    EXPECT_EQ(m_edit.Model().Caret(), 2u);
    m_edit.setSelection(4, -3);  // caret at 1, anchor at 4
    EXPECT_EQ(m_edit.Model().SelectionStart(), 1u);
    EXPECT_EQ(m_edit.Model().SelectionEnd(), 4u);
    EXPECT_EQ(m_edit.Model().Caret(), 1u);
    QTest::keyClick(&m_edit, Qt::Key_Z);
    EXPECT_EQ(m_edit.text(), "hzo");
    EXPECT_EQ(m_edit.cursorPosition(), 2);
}

TEST_F(FieldEditTest, EscapeInAnUnchangedFieldEndsItWithTheEscapeKey) {
    Open(Field("keep", 0, 0, 10, 0));
    QTest::keyClick(&m_edit, Qt::Key_Escape);
    const std::string wire = m_poster.TakeWire();
    EXPECT_NE(wire.find("\x1B\\0\x01-1\x01"), std::string::npos) << wire;
    EXPECT_NE(wire.find("\x1B"
                        "1"),
              std::string::npos);
    EXPECT_FALSE(m_edit.isVisible());
}

TEST_F(FieldEditTest, CtrlInsertIsPostedAsTheCopyCommand) {
    Open(Field("abc", 0, 0, 10, 0));
    QSignalSpy spy(&m_edit, &CFieldEdit::commandPosted);
    QTest::keyClick(&m_edit, Qt::Key_Insert, Qt::ControlModifier);
    EXPECT_EQ(spy.count(), 0);  // posted, not sent
    QCoreApplication::processEvents();
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toInt(), CInkeyCtrl::kCopyCommand);
}

TEST_F(FieldEditTest, MiddleClickAsksForHelpAndRightClickForTheMenu) {
    Open(Field("abc", 0, 0, 10, 0));
    QTest::mouseClick(&m_edit, Qt::MiddleButton);
    EXPECT_NE(m_poster.TakeWire().find("\x1B[H"), std::string::npos);

    QSignalSpy spy(&m_edit, &CFieldEdit::contextMenuRequested);
    QTest::mouseClick(&m_edit, Qt::RightButton, Qt::NoModifier, QPoint(3, 4));
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toString().size(), 6);
    EXPECT_EQ(spy.at(0).at(1).toPoint(), m_edit.geometry().topLeft() + QPoint(3, 4));
}

TEST_F(FieldEditTest, CutAndPasteGoThroughTheClipboardInCodePage437) {
    Open(Field("h\x82llo", 0, 0, 10, 0));
    EXPECT_EQ(m_edit.text(), QString::fromUtf8("h\u00e9llo"));
    m_edit.setSelection(1, 3);
    m_edit.CutToClipboard();
    EXPECT_EQ(QApplication::clipboard()->text(), QString::fromUtf8("\u00e9ll"));
    EXPECT_EQ(m_edit.text(), "ho");
    EXPECT_EQ(m_edit.Model().Text(), "ho");
}

TEST_F(FieldEditTest, PastedLineEndEndsTheFieldAsEnter) {
    Open(Field("", 0, 0, 10, 0));
    QApplication::clipboard()->setText("12\nignored");
    m_edit.PasteFromClipboard();
    EXPECT_EQ(m_poster.TakeWire().substr(0, 8), std::string("\x1B\\1\x01"
                                                            "0\x01"
                                                            "12",
                                                            8));
    EXPECT_FALSE(m_edit.isVisible());
}

TEST_F(FieldEditTest, ShortcutOverrideKeepsMnemonicsForTheWindow) {
    Open(Field("abc", 0, 0, 10, 0));
    QKeyEvent mnemonic(QEvent::ShortcutOverride, Qt::Key_P, Qt::AltModifier, "p");
    QCoreApplication::sendEvent(&m_edit, &mnemonic);
    EXPECT_FALSE(mnemonic.isAccepted());
    QKeyEvent typing(QEvent::ShortcutOverride, Qt::Key_P, Qt::NoModifier, "p");
    QCoreApplication::sendEvent(&m_edit, &typing);
    EXPECT_TRUE(typing.isAccepted());
}

}  // namespace
}  // namespace terminal
