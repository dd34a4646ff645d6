// The two button classes driven with QTest and their repeat timers fired by hand: a held status button
// sends its command at once, after 500 ms and then every 100 ms; a held dialog key repeats every 200 ms; both
// stop when released, left, hidden or blocked by a modal window, and a key released off its face does not
// count as a click.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QFocusEvent>
#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTimerEvent>
#include <functional>
#include <memory>
#include <vector>

#include "terminal/bars/sbc_button.h"
#include "terminal/bars/status_button.h"

namespace terminal::bars {
namespace {

// Delivers what the repeat timer would, without waiting for it.
template <typename Button>
bool Tick(Button& button) {
    const int id = button.RepeatTimerId();
    if (id == 0) {
        return false;
    }
    QTimerEvent event(id);
    QCoreApplication::sendEvent(&button, &event);
    return true;
}

QPixmap Dot() {
    QPixmap pixmap(10, 10);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.fillRect(4, 4, 2, 2, Qt::black);
    return pixmap;
}

class StatusButtonTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_host = std::make_unique<QWidget>();
        m_host->resize(100, 40);
        m_button = new CStatusButton(32830, QStringLiteral("Next Page"), Dot(), m_host.get());
        m_button->setGeometry(10, 2, 17, 17);
        m_host->show();
        m_commands = std::make_unique<QSignalSpy>(m_button, &CStatusButton::command);
    }
    int Commands() const { return static_cast<int>(m_commands->count()); }

    std::unique_ptr<QWidget> m_host;
    CStatusButton* m_button = nullptr;
    std::unique_ptr<QSignalSpy> m_commands;
};

TEST_F(StatusButtonTest, HeldButtonRepeatsAfterHalfASecondThenTenTimesASecond) {
    QTest::mousePress(m_button, Qt::LeftButton, Qt::NoModifier, QPoint(8, 8));
    EXPECT_EQ(Commands(), 1);
    EXPECT_EQ(m_button->GetState(), CStatusButton::State::Pressed);
    EXPECT_EQ(m_button->RepeatInterval(), 500);
    for (int repeat = 1; repeat <= 3; ++repeat) {
        ASSERT_TRUE(Tick(*m_button));
        EXPECT_EQ(Commands(), 1 + repeat);
        EXPECT_EQ(m_button->RepeatInterval(), 100);
    }
    // Released anywhere: the repeat ends.
    QTest::mouseRelease(m_button, Qt::LeftButton, Qt::NoModifier, QPoint(60, 30));
    EXPECT_EQ(m_button->RepeatTimerId(), 0);
    EXPECT_EQ(Commands(), 4);
    EXPECT_EQ(m_commands->at(0).at(0).toInt(), 32830);
}

TEST_F(StatusButtonTest, ReleaseInsideLeavesItRaised) {
    QTest::mousePress(m_button, Qt::LeftButton, Qt::NoModifier, QPoint(8, 8));
    QTest::mouseRelease(m_button, Qt::LeftButton, Qt::NoModifier, QPoint(8, 8));
    EXPECT_EQ(m_button->GetState(), CStatusButton::State::Raised);
    EXPECT_EQ(m_button->RepeatTimerId(), 0);
    // A double click sends once more, without a repeat.
    QTest::mouseDClick(m_button, Qt::LeftButton, Qt::NoModifier, QPoint(8, 8));
    EXPECT_EQ(m_button->RepeatTimerId(), 0);
    EXPECT_GE(Commands(), 2);
}

TEST_F(StatusButtonTest, RepeatStopsWhenThePointerLeavesTheHiddenOrTheModal) {
    struct Case {
        const char* name;
        std::function<void(CStatusButton&)> interrupt;
    };
    const Case cases[] = {
        {"leave", [](CStatusButton& button) { QTest::mouseMove(&button, QPoint(30, 8)); }},
        {"hide", [](CStatusButton& button) { button.hide(); }},
        {"modal",
         [](CStatusButton&) {
             auto* dialog = new QDialog();
             dialog->setAttribute(Qt::WA_DeleteOnClose);
             dialog->setWindowModality(Qt::ApplicationModal);
             dialog->show();
             QTimer::singleShot(0, dialog, &QDialog::close);
         }},
    };
    for (const Case& c : cases) {
        m_button->show();
        m_commands->clear();
        QTest::mousePress(m_button, Qt::LeftButton, Qt::NoModifier, QPoint(8, 8));
        ASSERT_NE(m_button->RepeatTimerId(), 0) << c.name;
        c.interrupt(*m_button);
        EXPECT_EQ(m_button->RepeatTimerId(), 0) << c.name;
        EXPECT_EQ(m_button->GetState(), CStatusButton::State::Flat) << c.name;
        EXPECT_FALSE(Tick(*m_button)) << c.name;
        EXPECT_EQ(Commands(), 1) << c.name;
        QTest::mouseRelease(m_button, Qt::LeftButton, Qt::NoModifier, QPoint(40, 40));
        QCoreApplication::processEvents();
    }
}

TEST_F(StatusButtonTest, EdgesShowTheState) {
    auto pixel = [this](QPoint at) { return m_button->grab().toImage().pixel(at); };
    const QPalette& pal = m_button->palette();
    EXPECT_EQ(pixel({0, 0}), pal.color(QPalette::Button).rgb());
    QTest::mousePress(m_button, Qt::LeftButton, Qt::NoModifier, QPoint(8, 8));
    EXPECT_EQ(pixel({0, 5}), pal.color(QPalette::Dark).rgb());
    EXPECT_EQ(pixel({16, 5}), pal.color(QPalette::Light).rgb());
    EXPECT_EQ(pixel({8, 8}), QColor(Qt::black).rgb());  // the image at 3,3
    QTest::mouseRelease(m_button, Qt::LeftButton, Qt::NoModifier, QPoint(8, 8));
    EXPECT_EQ(pixel({0, 5}), pal.color(QPalette::Light).rgb());
    EXPECT_EQ(pixel({16, 5}), pal.color(QPalette::Dark).rgb());
}

// ---- CSBCButton ----

class SbcButtonTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_dialog = std::make_unique<QWidget>();
        m_dialog->resize(120, 60);
        m_button = new CSBCButton(m_dialog.get(), 1042, 7);
        m_button->setGeometry(10, 10, 40, 24);
        QPixmap face(10, 8);
        face.fill(Qt::red);
        m_button->CreateFaceBitmaps(face, 12, 8, 36, 22);
        m_dialog->show();
        m_spy = std::make_unique<QSignalSpy>(m_button, &CSBCButton::notify);
    }
    // Focus codes arrive whenever the window system moves the focus; `withFocus` keeps them.
    std::vector<int> Codes(bool withFocus = false) const {
        std::vector<int> codes;
        for (const QList<QVariant>& args : *m_spy) {
            EXPECT_EQ(args.at(0).toInt(), 1042);
            const int code = args.at(1).toInt();
            if (withFocus || (code != CSBCButton::kFocusIn && code != CSBCButton::kFocusOut)) {
                codes.push_back(code);
            }
        }
        return codes;
    }

    std::unique_ptr<QWidget> m_dialog;
    CSBCButton* m_button = nullptr;
    std::unique_ptr<QSignalSpy> m_spy;
};

TEST_F(SbcButtonTest, HeldKeyRepeatsAndReleaseInsideIsPostedAfterwards) {
    QTest::mousePress(m_button, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_TRUE(m_button->IsPressed());
    m_spy->clear();  // the press may have moved the focus too
    ASSERT_TRUE(Tick(*m_button));
    ASSERT_TRUE(Tick(*m_button));
    QTest::mouseRelease(m_button, Qt::LeftButton, Qt::NoModifier, QPoint(35, 21));
    EXPECT_EQ(Codes(), (std::vector<int>{CSBCButton::kPressed, CSBCButton::kPressed}));
    EXPECT_EQ(m_button->RepeatTimerId(), 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(Codes(), (std::vector<int>{CSBCButton::kPressed, CSBCButton::kPressed, CSBCButton::kReleased}));
}

TEST_F(SbcButtonTest, ReleaseOffTheFaceIsNoClick) {
    // Inside the widget but beyond the 36 x 22 face, and outside the widget altogether.
    for (const QPoint at : {QPoint(37, 5), QPoint(5, 23), QPoint(-3, 5)}) {
        QTest::mousePress(m_button, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
        QTest::mouseRelease(m_button, Qt::LeftButton, Qt::NoModifier, at);
        QCoreApplication::processEvents();
    }
    for (const int code : Codes()) {
        EXPECT_NE(code, CSBCButton::kReleased);
    }
}

TEST_F(SbcButtonTest, HidingOrAModalWindowEndsThePress) {
    QTest::mousePress(m_button, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    m_button->hide();
    EXPECT_FALSE(m_button->IsPressed());
    EXPECT_FALSE(Tick(*m_button));
    m_button->show();

    QTest::mousePress(m_button, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    QDialog modal;
    modal.setWindowModality(Qt::ApplicationModal);
    modal.show();
    EXPECT_FALSE(m_button->IsPressed());
    EXPECT_FALSE(Tick(*m_button));
    modal.close();
    // The release that follows is no click.
    m_spy->clear();
    QTest::mouseRelease(m_button, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    QCoreApplication::processEvents();
    EXPECT_TRUE(Codes().empty());
}

TEST_F(SbcButtonTest, FocusIsReported) {
    m_spy->clear();
    QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QCoreApplication::sendEvent(m_button, &in);
    QCoreApplication::sendEvent(m_button, &out);
    EXPECT_EQ(Codes(true), (std::vector<int>{CSBCButton::kFocusIn, CSBCButton::kFocusOut}));
}

TEST_F(SbcButtonTest, FacesAreMadeOnceAndThePressedOneIsShifted) {
    QPixmap other(4, 4);
    other.fill(Qt::blue);
    m_button->CreateFaceBitmaps(other, 0, 0, 10, 10);
    EXPECT_EQ(m_button->FaceRect(), QRect(0, 0, 36, 22));
    m_button->clearFocus();
    const QImage normal = m_button->grab().toImage();
    EXPECT_EQ(normal.pixelColor(12, 8), QColor(Qt::red));
    EXPECT_NE(normal.pixelColor(22, 16), QColor(Qt::red));
    // Nothing is drawn beyond the face.
    EXPECT_NE(normal.pixelColor(38, 5), QColor(Qt::red));
    QTest::mousePress(m_button, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    const QImage pressed = m_button->grab().toImage();
    EXPECT_NE(pressed.pixelColor(12, 8), QColor(Qt::red));
    EXPECT_EQ(pressed.pixelColor(22, 16), QColor(Qt::red));
    QTest::mouseRelease(m_button, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_EQ(m_button->OwnerValue(), 7);
}

TEST_F(SbcButtonTest, DottedLineRunsAlongTheSharedRowOrColumn) {
    QImage image(20, 20, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    m_button->SetAnchor(QPoint(2, 3));
    m_button->DrawDottedTo(p, 10, 3);
    m_button->DrawDottedTo(p, 10, 9);
    m_button->DrawDottedTo(p, 15, 15);  // shares neither: no line, but a new anchor
    p.end();
    for (int x = 2; x <= 10; ++x) {
        EXPECT_EQ(image.pixelColor(x, 3) == QColor(Qt::black), x % 2 == 0) << x;
    }
    EXPECT_EQ(image.pixelColor(10, 5), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(10, 6), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(12, 12), QColor(Qt::white));
    EXPECT_EQ(m_button->Anchor(), QPoint(15, 15));
}

}  // namespace
}  // namespace terminal::bars
