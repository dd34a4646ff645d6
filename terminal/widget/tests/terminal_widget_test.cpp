// The composed screen window: host data rendered into the widget, one paint for a flood of output, keys to
// the key sender and the claim of shortcuts, the font fitted to the window and saved, the field editor's
// routing, and the frame offsets.
#include "terminal/widget/terminal_widget.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTimerEvent>

#include "terminal/core/host_commands.h"
#include "terminal/core/tests/key_sender_fake.h"
#include "terminal/widget/field_edit.h"
#include "testsupport/paint_counter.h"
#include "testsupport/test_support.h"

namespace terminal {
namespace {

constexpr char kFullBlock = char(0xDB);

using testsupport::PaintCounter;

class TerminalWidgetTest : public testsupport::RegistryTest {
  protected:
    void SetUp() override {
        RegistryTest::SetUp();
        m_widget.resize(820, 560);
        suite::LogFont font;
        font.height = 16;
        font.faceName = "TarnFont";
        m_widget.LoadFont(font);
        m_widget.SetKeySender(&m_sender);
    }

    QColor CellColour(const QImage& image, int32_t row, int32_t column) {
        const CellSize cell = m_widget.Screen().GetCellSize();
        return image.pixelColor(m_widget.Screen().CellX(column) + cell.width / 2,
                                m_widget.Screen().CellY(row) + cell.height / 2);
    }

    void Press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, const QString& text = {}) {
        QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
        QCoreApplication::sendEvent(&m_widget, &press);
    }

    bool Claimed(int key, Qt::KeyboardModifiers modifiers) {
        QKeyEvent probe(QEvent::ShortcutOverride, key, modifiers);
        probe.ignore();
        QCoreApplication::sendEvent(&m_widget, &probe);
        return probe.isAccepted();
    }

    testing::ImmediatePoster m_poster;
    CKeySender m_sender{m_poster};
    CTerminalWidget m_widget;
};

TEST_F(TerminalWidgetTest, FedTextIsRenderedIntoTheWidget) {
    m_widget.Feed(std::string("\x1B[4;10H") + kFullBlock + " ");
    const QImage image = m_widget.grab().toImage();
    const CTerminalScreen& screen = m_widget.Screen();
    EXPECT_EQ(CellColour(image, 3, 9), ToQColor(screen.ForegroundAt(3, 9)));
    EXPECT_EQ(CellColour(image, 3, 10), ToQColor(screen.BackgroundAt(3, 10)));
}

TEST_F(TerminalWidgetTest, FloodOfHostOutputCostsOnePaint) {
    PaintCounter counter;
    m_widget.installEventFilter(&counter);
    m_widget.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_widget));
    QCoreApplication::processEvents();
    counter.m_paints = 0;
    m_widget.Painter().ResetStats();
    for (int i = 0; i < 200; ++i) {
        m_widget.Feed("output line " + std::to_string(i) + "\r\n");
    }
    ASSERT_TRUE(QTest::qWaitFor([&counter] { return counter.m_paints > 0; }, 10000));
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(counter.m_paints, 1);
    EXPECT_EQ(m_widget.Painter().GetStats().fullRepaints, 1);
    EXPECT_EQ(m_widget.Painter().GetStats().updates, 1);
}

TEST_F(TerminalWidgetTest, KeysGoToTheKeySender) {
    Press(Qt::Key_A, Qt::NoModifier, "a");
    Press(Qt::Key_F1);
    Press(Qt::Key_Left, Qt::ShiftModifier);  // not translated: nothing sent
    Press(Qt::Key_Exclam, Qt::ShiftModifier, "!");
    EXPECT_EQ(m_poster.TakeWire(), "a\x1B[M!");
}

TEST_F(TerminalWidgetTest, ADisabledScreenSendsNoKey) {
    m_widget.setEnabled(false);
    Press(Qt::Key_A, Qt::NoModifier, "a");
    Press(Qt::Key_Tab, Qt::NoModifier, "\t");
    EXPECT_EQ(m_poster.TakeWire(), "");
    m_widget.setEnabled(true);
    Press(Qt::Key_Tab, Qt::NoModifier, "\t");
    EXPECT_EQ(m_poster.TakeWire(), "\t");
}

TEST_F(TerminalWidgetTest, TabIsATerminalKeyNotFocusNavigation) {
    QWidget window;
    auto* other = new QLineEdit(&window);
    m_widget.setParent(&window);
    window.show();
    m_widget.setFocus();
    QTest::keyClick(&m_widget, Qt::Key_Tab);
    EXPECT_EQ(m_poster.TakeWire(), "\t");
    EXPECT_FALSE(other->hasFocus());
    m_widget.setParent(nullptr);
}

TEST_F(TerminalWidgetTest, CopyAndPasteKeysArePostedAsCommands) {
    QSignalSpy spy(&m_widget, &CTerminalWidget::commandPosted);
    Press(Qt::Key_Insert, Qt::ControlModifier);
    Press(Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(spy.count(), 0);
    QCoreApplication::processEvents();
    ASSERT_EQ(spy.count(), 2);
    EXPECT_EQ(spy.at(0).at(0).toInt(), 57634);
    EXPECT_EQ(spy.at(1).at(0).toInt(), 57637);
    EXPECT_EQ(m_poster.TakeWire(), "");
}

TEST_F(TerminalWidgetTest, ClaimsTranslatedKeysAndLeavesTheRestToTheWindow) {
    EXPECT_TRUE(Claimed(Qt::Key_F1, Qt::NoModifier));
    EXPECT_TRUE(Claimed(Qt::Key_Insert, Qt::ShiftModifier));
    EXPECT_FALSE(Claimed(Qt::Key_P, Qt::AltModifier));
    EXPECT_FALSE(Claimed(Qt::Key_F4, Qt::AltModifier));
}

TEST_F(TerminalWidgetTest, CursorShowsAgainAfterHostDataOnlyWhenAKeyWasSent) {
    m_widget.Feed("abc");
    EXPECT_FALSE(m_widget.Screen().CursorShown());
    Press(Qt::Key_X, Qt::NoModifier, "x");
    m_widget.Feed("x");
    EXPECT_TRUE(m_widget.Screen().CursorShown());
    m_widget.Feed("y");
    EXPECT_FALSE(m_widget.Screen().CursorShown());
}

// Fires the blink timer as its interval would, without waiting for it.
void BlinkOnce(CTerminalWidget& widget) {
    auto* timer = widget.findChild<QTimer*>(QStringLiteral("cursorBlink"));
    ASSERT_NE(timer, nullptr);
    ASSERT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), CTerminalWidget::kBlinkMs);
    QTimerEvent tick(timer->timerId());
    QCoreApplication::sendEvent(timer, &tick);
}

void SendFocus(QWidget& widget, QEvent::Type type) {
    QFocusEvent focus(type, Qt::OtherFocusReason);
    QCoreApplication::sendEvent(&widget, &focus);
}

TEST_F(TerminalWidgetTest, CursorBlinksOnlyWhileFocusedUnlessKeptBlinking) {
    m_widget.Feed("abc");
    EXPECT_FALSE(m_widget.CursorBlinking());
    SendFocus(m_widget, QEvent::FocusIn);
    BlinkOnce(m_widget);
    EXPECT_TRUE(m_widget.Screen().CursorShown());
    BlinkOnce(m_widget);
    EXPECT_FALSE(m_widget.Screen().CursorShown());
    BlinkOnce(m_widget);
    SendFocus(m_widget, QEvent::FocusOut);
    EXPECT_FALSE(m_widget.CursorBlinking());
    EXPECT_FALSE(m_widget.Screen().CursorShown()) << "losing the focus hides the cursor";

    m_widget.KeepCursorBlinking(true);
    BlinkOnce(m_widget);
    EXPECT_TRUE(m_widget.Screen().CursorShown());
    SendFocus(m_widget, QEvent::FocusIn);
    SendFocus(m_widget, QEvent::FocusOut);
    EXPECT_TRUE(m_widget.CursorBlinking()) << "kept blinking without the focus";
    m_widget.KeepCursorBlinking(false);
    EXPECT_FALSE(m_widget.CursorBlinking());
}

TEST_F(TerminalWidgetTest, ResizeRequestFitsTheFontAndSavesIt) {
    const CellSize before = m_widget.Screen().GetCellSize();
    EXPECT_EQ(m_widget.ResizeRequest(0, 100), 1);
    EXPECT_EQ(m_widget.Screen().GetCellSize(), before);

    EXPECT_EQ(m_widget.ResizeRequest(960, 500), 1);
    const CellSize cell = m_widget.Screen().GetCellSize();
    EXPECT_LE(cell.width, 12);
    EXPECT_LE(cell.height, 20);
    EXPECT_GE(cell.height, 14);
    suite::LogFont saved;
    suite::ReadFontSettings(saved);
    EXPECT_EQ(saved.height, 20);
    EXPECT_LE(saved.width, 12);
}

TEST_F(TerminalWidgetTest, ResizingRelaysTheGridOut) {
    m_widget.show();
    m_widget.SetFrameStyle(true, true);
    m_widget.resize(1000, 700);
    const ScreenGeometry& g = m_widget.Screen().Geometry();
    EXPECT_EQ(g.windowWidth, 1000);
    EXPECT_EQ(g.usableWidth, 1000 - 12);
    EXPECT_EQ(g.frameOffsetX, 6);
    EXPECT_EQ(g.frameOffsetY, 35);
    const CellSize cell = m_widget.Screen().GetCellSize();
    EXPECT_EQ(g.marginX, std::max(0, (988 - cell.width * 80 - 5) / 2));
    EXPECT_EQ(g.originX, 6 + g.marginX);

    m_widget.SetFrameStyle(false, false);
    EXPECT_EQ(m_widget.Screen().Geometry().frameOffsetY, 0);
    EXPECT_EQ(m_widget.Screen().Geometry().usableWidth, 1000);
}

TEST_F(TerminalWidgetTest, PrintScreenWritesThePage) {
    QImage page(1240, 1754, QImage::Format_RGB32);
    page.fill(Qt::white);
    m_widget.Feed("printed");
    EXPECT_TRUE(m_widget.PrintScreen(page, QDate(2026, 12, 10)));
}

// With a field editor, keys before the first field still go straight to the host through its key sender;
// while a field is open, keys the control window receives only bring the focus back to the box.
class TerminalWidgetFieldTest : public TerminalWidgetTest {
  protected:
    void SetUp() override {
        TerminalWidgetTest::SetUp();
        m_widget.SetKeySender(nullptr);
        m_widget.SetFieldEdit(&m_field);
        m_widget.resize(820, 560);
        m_widget.show();
    }
    void TearDown() override {
        m_widget.SetFieldEdit(nullptr);
        TerminalWidgetTest::TearDown();
    }
    CFieldEdit m_field{m_poster, &m_widget};
};

TEST_F(TerminalWidgetFieldTest, KeysRouteThroughTheFieldEditor) {
    Press(Qt::Key_A, Qt::NoModifier, "a");
    EXPECT_EQ(m_poster.TakeWire(), "a");

    const std::string field = std::string("") +
                              "\x02"
                              "2\x02"
                              "1\x02"
                              "5\x02"
                              "0\x02"
                              "1\x02"
                              "1\x02"
                              "1\x02"
                              "N";
    ASSERT_TRUE(m_field.OpenField(field, FieldGeometry(m_widget.Screen())));
    m_poster.TakeWire();
    EXPECT_TRUE(m_field.isVisible());
    EXPECT_EQ(m_field.font(), *m_widget.TerminalFont());
    const CellSize cell = m_widget.Screen().GetCellSize();
    EXPECT_EQ(m_field.geometry().topLeft(),
              QPoint(m_widget.Screen().CellX(2) - 2, m_widget.Screen().CellY(1) - 2));
    EXPECT_EQ(m_field.width(), cell.width * 5 + 4);

    // A key at the control window is dropped; the box takes the focus.
    Press(Qt::Key_B, Qt::NoModifier, "b");
    EXPECT_EQ(m_field.Model().Text(), "");
    EXPECT_EQ(m_poster.TakeWire(), "");
    // Function keys go to the field and end it.
    Press(Qt::Key_F2);
    EXPECT_FALSE(m_field.Model().IsOpen());
    EXPECT_NE(m_poster.TakeWire().find("\x1B[N"), std::string::npos);
}

}  // namespace
}  // namespace terminal
