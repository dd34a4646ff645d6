// The container's style: the overflow buttons' icons are the style's own, pixel for pixel, and a frame with
// its menu bar and toolbars starts without loading an image-format plugin.
#include "container/deferred_icon_style.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QStyleFactory>
#include <QStyleOptionToolBar>
#include <memory>

#include "container/main_frame.h"
#include "container/tests/container_test_support.h"

namespace container {
namespace {

// Whether an image-format plugin is mapped into this process.
bool ImagePluginLoaded() {
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("/imageformats/");
}

QImage Pixels(const QIcon& icon, int size, QIcon::Mode mode) {
    return icon.pixmap(QSize(size, size), mode).toImage();
}

// Puts the deferring style in place for one test and the application's own back after it.
class DeferredStyleTest : public testing::ContainerTest {
  protected:
    void SetUp() override {
        ContainerTest::SetUp();
        m_name = QApplication::style()->name();
        InstallDeferredIconStyle();
    }
    void TearDown() override {
        QApplication::setStyle(QStyleFactory::create(m_name));
        ContainerTest::TearDown();
    }

    QString m_name;
};

TEST_F(DeferredStyleTest, OverflowIconsAreTheStylesOwnPixelForPixel) {
    const std::unique_ptr<QStyle> own(QStyleFactory::create(m_name));
    ASSERT_NE(own, nullptr);
    QStyle* deferring = QApplication::style();
    QStyleOptionToolBar leftToRight;
    leftToRight.direction = Qt::LeftToRight;
    QStyleOptionToolBar rightToLeft;
    rightToLeft.direction = Qt::RightToLeft;
    for (const QStyleOption* option : {static_cast<const QStyleOption*>(nullptr),
                                       static_cast<const QStyleOption*>(&leftToRight),
                                       static_cast<const QStyleOption*>(&rightToLeft)}) {
        for (const QStyle::StandardPixmap which :
             {QStyle::SP_ToolBarHorizontalExtensionButton, QStyle::SP_ToolBarVerticalExtensionButton,
              QStyle::SP_MessageBoxWarning}) {
            const QIcon expected = own->standardIcon(which, option);
            const QIcon got = deferring->standardIcon(which, option);
            ASSERT_FALSE(expected.isNull());
            EXPECT_FALSE(got.isNull());
            EXPECT_EQ(got.availableSizes(), expected.availableSizes()) << which;
            for (const int size : {8, 16, 24, 32}) {
                for (const QIcon::Mode mode : {QIcon::Normal, QIcon::Disabled, QIcon::Active}) {
                    EXPECT_EQ(Pixels(got, size, mode), Pixels(expected, size, mode))
                        << "pixmap " << which << " at " << size << " in mode " << mode;
                    EXPECT_EQ(got.actualSize(QSize(size, size), mode),
                              expected.actualSize(QSize(size, size), mode));
                }
            }
        }
    }
}

TEST_F(DeferredStyleTest, AnIconCopiedBeforeItsFirstUseIsTheSameIcon) {
    const std::unique_ptr<QStyle> own(QStyleFactory::create(m_name));
    QIcon first = QApplication::style()->standardIcon(QStyle::SP_ToolBarHorizontalExtensionButton);
    const QIcon copy = first;
    first = QIcon();
    EXPECT_EQ(Pixels(copy, 16, QIcon::Normal),
              Pixels(own->standardIcon(QStyle::SP_ToolBarHorizontalExtensionButton), 16, QIcon::Normal));
}

// Runs alone in its process under CTest, where nothing before it can have loaded a plugin.
TEST_F(DeferredStyleTest, AFrameWithItsBarsStartsWithoutImagePlugins) {
    if (ImagePluginLoaded()) {
        GTEST_SKIP() << "an earlier test of this process loaded an image plugin";
    }
    CMainFrame frame;
    frame.show();
    QCoreApplication::processEvents();
    EXPECT_FALSE(ImagePluginLoaded());
}

}  // namespace
}  // namespace container
