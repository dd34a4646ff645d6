// The control on Qt with the real engine drawing pages: pictures of PDF pages and the pages drawn onto a
// host's image match the PDF module's own render, the page's format comes from the engine, the last page is a
// success and the one after it an error, and text pages draw.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPdfDocument>
#include <QPicture>
#include <QScreen>
#include <filesystem>

#include "docview/fennick/fennick_window.h"
#include "docview/tests/control_calls.h"
#include "docview/tests/doc_fixtures.h"
#include "docview/tests/page_compare.h"
#include "platform/automation/handle_table.h"
#include "platform/user_prompt.h"
#include "suite/qt/paint_handles.h"
#include "suite/qt/picture_object.h"
#include "suite/registry_settings.h"
#include "testsupport/test_support.h"

namespace fennick {
namespace {

namespace fs = std::filesystem;
using namespace platform::automation;

class PageDrawingTest : public testsupport::RegistryTest {
  protected:
    void SetUp() override {
        RegistryTest::SetUp();
        const std::string folder = fs::path(CARROWLINE_LYDVW_ENGINE).parent_path().string();
        ASSERT_EQ(suite::RegWriteValue(platform::HKey::LocalMachine, "SOFTWARE\\QEL\\Fennick", "FilterPath",
                                       platform::RegType::Sz, folder.c_str(),
                                       static_cast<uint32_t>(folder.size() + 1)),
                  0);
        docview::ControlSite site;
        site.prompt = [this]() -> platform::UserPrompt& { return m_prompts; };
        site.exePath = "/opt/viewer";
        m_control = CreateFennickControl(site);
        ASSERT_NE(m_control->Widget(), nullptr);
        ASSERT_TRUE(m_control->HasView());
        docview::testing::WriteDocuments(m_temp.Path());
        QPdfDocument pdf;
        pdf.load(QString::fromStdString(Doc("two.pdf")));
        m_points = pdf.pagePointSize(0);
    }
    void TearDown() override {
        m_control.reset();
        RegistryTest::TearDown();
    }

    std::string Doc(const std::string& name) const { return (m_temp.Path() / name).string(); }
    Variant Invoke(std::string_view name, InvokeKind kind, std::vector<Variant> args = {}) {
        return docview::testing::InvokeByName(*m_control, name, kind, std::move(args));
    }
    int32_t Call(std::string_view name, std::vector<Variant> args = {}) {
        return Invoke(name, InvokeKind::Method, std::move(args)).AsI4();
    }
    int32_t Get(std::string_view name) { return Invoke(name, InvokeKind::PropertyGet).AsI4(); }
    void View(const std::string& name) {
        ASSERT_EQ(Call("ViewFile", {Variant::Bool(false), Variant::Bstr(Doc(name))}), 1);
    }
    // The picture of the last page drawn, played onto white paper of `size`.
    QImage PlayedPicture(QSize size, suite::PictureType type) {
        const auto picture = std::dynamic_pointer_cast<suite::PictureObject>(
            Invoke("PagePicture", InvokeKind::PropertyGet).AsDispatch());
        EXPECT_TRUE(picture);
        QImage paper(size, QImage::Format_RGB32);
        paper.fill(Qt::white);
        if (!picture)
            return paper;
        EXPECT_EQ(picture->Type(), type);
        EXPECT_NE(picture->Handle(), 0u);
        if (picture->Picture())
            QPainter(&paper).drawPicture(0, 0, *picture->Picture());
        return paper;
    }
    // The first page's format in twips, as the PDF gives it.
    int32_t Twips(double points) const { return static_cast<int32_t>(std::lround(points * 20)); }
    static std::vector<Variant> Args(std::initializer_list<int32_t> values) {
        std::vector<Variant> args;
        for (int32_t value : values)
            args.push_back(Variant::I4(value));
        return args;
    }

    platform::RecordingPrompt m_prompts;
    std::shared_ptr<docview::Cqelctrl> m_control;
    QSizeF m_points;
};

TEST_F(PageDrawingTest, PdfPagesDrawnIntoPicturesMatchThePdfModulesRender) {
    View("two.pdf");
    ASSERT_EQ(Call("InitDrawPage"), 1);
    ASSERT_EQ(Call("GetDrawPageInfo", Args({0, 1440, 0, 0})), 1);
    const int32_t width = Twips(m_points.width());
    const int32_t height = Twips(m_points.height());
    EXPECT_EQ(Get("PageFormatWidth"), width);
    EXPECT_EQ(Get("PageFormatHeight"), height);

    // A Windows metafile of the first page onto a rectangle of the page's shape.
    const QSize size(300, qRound(300 * m_points.height() / m_points.width()));
    ASSERT_EQ(Call("ExtDrawPage", Args({0, 0, 0, size.height(), size.width(), width, height, 1440, 1})), 1);
    EXPECT_EQ(Get("PageResultRight"), size.width());
    EXPECT_EQ(Get("PageResultBottom"), size.height());
    const QImage first = PlayedPicture(size, suite::PictureType::Metafile);
    EXPECT_LT(docview::testing::DifferingShare(first, docview::testing::PdfRender(Doc("two.pdf"), 0, size)),
              0.005);

    // An enhanced metafile of the last page: a success, the size of the format on the screen.
    ASSERT_EQ(Call("DrawPage", Args({1, 0, 0, 2000, 1500, width, height, 1440})), 1);
    EXPECT_EQ(Get("ErrorCode"), 0);
    const QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    const double across = screen->size().width() * 25.4 / screen->physicalSize().width();
    const double down = screen->size().height() * 25.4 / screen->physicalSize().height();
    const QSize onScreen(qRound(width / 1440.0 * across), qRound(height / 1440.0 * down));
    const QImage last = PlayedPicture(onScreen, suite::PictureType::EnhancedMetafile);
    EXPECT_LT(
        docview::testing::DifferingShare(last, docview::testing::PdfRender(Doc("two.pdf"), 1, onScreen)),
        0.005);
    EXPECT_NE(
        docview::testing::DifferingShare(last, docview::testing::PdfRender(Doc("two.pdf"), 0, onScreen)),
        0.0);

    m_prompts.Clear();
    EXPECT_EQ(Call("DrawPage", Args({2, 0, 0, 2000, 1500, width, height, 1440})), 0);
    EXPECT_EQ(Get("ErrorCode"), 23);
    EXPECT_EQ(m_prompts.Shown().size(), 1u);
    Call("DeinitDrawPage");
}

TEST_F(PageDrawingTest, DrawPageExDrawsOntoTheHostsImage) {
    View("two.pdf");
    const QSize size(200, qRound(200 * m_points.height() / m_points.width()));
    auto image = std::make_shared<QImage>(size, QImage::Format_RGB32);
    image->fill(Qt::white);
    auto format = std::make_shared<QImage>(10, 10, QImage::Format_RGB32);
    const uint32_t output = suite::AddImageHandle(image);
    const uint32_t formatDc = suite::AddImageHandle(format);
    const int32_t width = Twips(m_points.width());
    const int32_t height = Twips(m_points.height());
    // Height before width, as DrawPageEx takes them.
    std::vector<Variant> args = Args({1, 0, 0, 0, size.height(), size.width(), height, width});
    args.push_back(Variant::I2(1440));
    for (uint32_t handle : {output, formatDc, 0u})
        args.push_back(Variant::I4(static_cast<int32_t>(handle)));
    EXPECT_EQ(Call("DrawPageEx", args), 1);
    EXPECT_EQ(Get("ErrorCode"), 0);
    EXPECT_LT(docview::testing::DifferingShare(*image, docview::testing::PdfRender(Doc("two.pdf"), 1, size)),
              0.005);
    EXPECT_EQ(Get("PagePaletteHandle"), 0);
    HandleTable::Process().Remove(output);
    HandleTable::Process().Remove(formatDc);
}

TEST_F(PageDrawingTest, ATextFileIsOneLetterPageOfText) {
    View("notes.txt");
    ASSERT_EQ(Call("GetDrawPageInfo", Args({0, 1440, 0, 0})), 1);
    EXPECT_EQ(Get("PageFormatWidth"), 12240);
    EXPECT_EQ(Get("PageFormatHeight"), 15840);
    ASSERT_EQ(Call("ExtDrawPage", Args({0, 0, 0, 550, 425, 12240, 15840, 1440, 1})), 1);
    const QImage page = PlayedPicture(QSize(425, 550), suite::PictureType::Metafile);
    EXPECT_GT(docview::testing::InkIn(page, QRect(0, 0, 212, 100)), 0);
    EXPECT_EQ(docview::testing::InkIn(page, QRect(0, 275, 425, 275)), 0);
    EXPECT_EQ(Call("ExtDrawPage", Args({1, 0, 0, 550, 425, 12240, 15840, 1440, 1})), 0);
    EXPECT_EQ(Get("ErrorCode"), 23);
}

}  // namespace
}  // namespace fennick
