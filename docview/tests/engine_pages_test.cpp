// The real engine drawing pages: a PDF page onto an image matches the PDF module's own render, each page's
// format is its own size (or the paper's, for text), the last page answers 22 and the next 23, text is laid
// out in pages of the format, and a host's painter or an outsized target is handled.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPdfDocument>
#include <QPdfWriter>
#include <QPicture>
#include <QWidget>
#include <cmath>
#include <string>

#include "docview/engine_binding.h"
#include "docview/tests/doc_fixtures.h"
#include "docview/tests/engine_view.h"
#include "docview/tests/page_compare.h"
#include "testsupport/test_support.h"

namespace docview {
namespace {

int64_t Ignore(void*, uint32_t, uint64_t, uint64_t) {
    return 0;
}

class EnginePagesTest : public testing::EngineViewTest {
  protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(OpenView(Ignore, nullptr)); }

    int64_t View(const std::string& name) { return ViewPath(Path(name)); }
    // The page's format at `unitsPerInch`, or the answer when it fails.
    int64_t Info(int32_t page, int32_t unitsPerInch, QSize& format, QPaintDevice* formatDevice = nullptr) {
        LydvwDrawInfo info{};
        info.size = sizeof info;
        info.page = page;
        info.units_per_inch = unitsPerInch;
        info.output = reinterpret_cast<uint64_t>(static_cast<QPaintDevice*>(&m_scratch));
        info.format = reinterpret_cast<uint64_t>(formatDevice);
        const int64_t answer = m_api.request(m_view, LYDVW_R_DRAW_INFO, 0, reinterpret_cast<uint64_t>(&info));
        format = QSize(info.format_width, info.format_height);
        return answer;
    }
    int64_t Draw(int32_t page, QPaintDevice& output, QRect target, QSize format, int32_t unitsPerInch,
                 LydvwRect* result = nullptr, bool layoutOnly = false) {
        LydvwDrawPage record{};
        record.size = sizeof record;
        record.page = page;
        record.flags = LYDVW_DRAW_METAFILE;
        record.layout_only = layoutOnly ? 1 : 0;
        record.units_per_inch = unitsPerInch;
        record.format_width = format.width();
        record.format_height = format.height();
        record.target = {target.top(), target.left(), target.top() + target.height(),
                         target.left() + target.width()};
        record.palette = 5;
        record.output = reinterpret_cast<uint64_t>(&output);
        const int64_t answer =
            m_api.request(m_view, LYDVW_R_DRAW_PAGE, 0, reinterpret_cast<uint64_t>(&record));
        if (answer == LYDVW_E_OK || answer == LYDVW_E_LAST_PAGE) {
            EXPECT_EQ(record.palette, 0u);
        }
        if (result)
            *result = record.result;
        return answer;
    }
    static QImage Paper(QSize size) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::white);
        return image;
    }

    QPicture m_scratch;
};

TEST_F(EnginePagesTest, APdfPageMatchesThePdfModulesRenderAndTheLastPageAnswers22) {
    ASSERT_EQ(View("two.pdf"), 0);
    ASSERT_EQ(m_api.request(m_view, LYDVW_R_INIT_DRAW, 0, 0), 0);
    QPdfDocument pdf;
    pdf.load(QString::fromStdString(Path("two.pdf")));
    const QSizeF points = pdf.pagePointSize(0);
    QSize format;
    ASSERT_EQ(Info(0, 1440, format), 0);
    EXPECT_EQ(format, QSize(qRound(points.width() * 20), qRound(points.height() * 20)));

    for (int page = 0; page < 2; ++page) {
        SCOPED_TRACE(page);
        const QSize size(300, qRound(300 * points.height() / points.width()));
        QImage image = Paper(size);
        LydvwRect result{};
        EXPECT_EQ(Draw(page, image, QRect(QPoint(0, 0), size), format, 1440, &result),
                  page == 1 ? LYDVW_E_LAST_PAGE : LYDVW_E_OK);
        EXPECT_EQ(result.top, 0);
        EXPECT_EQ(result.left, 0);
        EXPECT_NEAR(result.right, size.width(), 1);
        EXPECT_NEAR(result.bottom, size.height(), 1);
        EXPECT_GT(testing::InkIn(image, image.rect()), 0);
        EXPECT_LT(testing::DifferingShare(image, testing::PdfRender(Path("two.pdf"), page, size)), 0.005);
    }
    // Laid out only: the same answers and result, nothing drawn.
    QImage image = Paper(QSize(50, 50));
    LydvwRect result{};
    EXPECT_EQ(Draw(1, image, QRect(0, 0, 50, 50), format, 1440, &result, true), LYDVW_E_LAST_PAGE);
    EXPECT_NEAR(result.right, 50, 1);
    EXPECT_EQ(Draw(2, image, QRect(0, 0, 50, 50), format, 1440, nullptr, true), LYDVW_E_NO_PAGE);
    EXPECT_EQ(Draw(2, image, QRect(0, 0, 50, 50), format, 1440), LYDVW_E_NO_PAGE);
    EXPECT_EQ(Draw(-1, image, QRect(0, 0, 50, 50), format, 1440), LYDVW_E_NO_PAGE);
    EXPECT_EQ(Info(2, 1440, format), LYDVW_E_NO_PAGE);
    EXPECT_EQ(testing::InkIn(image, image.rect()), 0);
    EXPECT_EQ(m_api.request(m_view, LYDVW_R_END_DRAW, 0, 0), 0);
}

TEST_F(EnginePagesTest, APageKeepsItsSizeOnALargerFormatAndShrinksToASmallerOne) {
    ASSERT_EQ(View("red.png"), 0);
    QSize natural;
    ASSERT_EQ(Info(0, 96, natural), 0);
    EXPECT_EQ(natural, QSize(40, 30));
    struct Row {
        QSize format;  // at 96 units per inch, drawn onto 400 by 300 pixels
        QRect drawn;
    };
    const Row rows[] = {{QSize(400, 300), QRect(0, 0, 40, 30)},
                        // Half its size to fit the format's width; each axis scaled on its own.
                        {QSize(20, 300), QRect(0, 0, 400, 15)},
                        {QSize(40, 30), QRect(0, 0, 400, 300)}};
    for (const Row& row : rows) {
        QImage image = Paper(QSize(400, 300));
        LydvwRect result{};
        EXPECT_EQ(Draw(0, image, image.rect(), row.format, 96, &result), LYDVW_E_LAST_PAGE);
        EXPECT_EQ(QRect(QPoint(result.left, result.top), QPoint(result.right - 1, result.bottom - 1)),
                  row.drawn);
        EXPECT_EQ(image.pixelColor(row.drawn.center()), QColor(Qt::red));
        EXPECT_EQ(testing::InkIn(image, image.rect()), row.drawn.width() * row.drawn.height());
    }
}

TEST_F(EnginePagesTest, TextIsLaidOutInPagesOfTheFormatOnLetterOrThePrintersPaper) {
    ASSERT_EQ(View("notes.txt"), 0);
    QSize format;
    ASSERT_EQ(Info(0, 1440, format), 0);
    EXPECT_EQ(format, QSize(12240, 15840));
    EXPECT_EQ(Info(1, 1440, format), LYDVW_E_NO_PAGE);
    QPdfWriter printer(QString::fromStdString(Path("paper.pdf")));
    printer.setPageSize(QPageSize(QPageSize::A4));
    EXPECT_EQ(Info(0, 72, format, &printer), 0);
    EXPECT_EQ(format, QSize(595, 842));

    // Two short lines: one page, written at its top left.
    QImage image = Paper(QSize(425, 550));
    ASSERT_EQ(Draw(0, image, image.rect(), QSize(12240, 15840), 1440), LYDVW_E_LAST_PAGE);
    EXPECT_GT(testing::InkIn(image, QRect(0, 0, 212, 100)), 0);
    EXPECT_EQ(testing::InkIn(image, QRect(0, 275, 425, 275)), 0);

    // Many lines on a small format: several pages, each of other lines, the last answering 22.
    std::string lines;
    for (int i = 0; i < 120; ++i)
        lines += "line number " + std::to_string(i) + "\n";
    testsupport::WriteFile(m_temp.Path() / "long.txt", lines);
    ASSERT_EQ(View("long.txt"), 0);
    std::vector<QImage> pages;
    int64_t answer = LYDVW_E_OK;
    while (answer == LYDVW_E_OK && pages.size() < 100) {
        QImage page = Paper(QSize(300, 200));
        answer = Draw(static_cast<int32_t>(pages.size()), page, page.rect(), QSize(4320, 2880), 1440);
        pages.push_back(page);
    }
    EXPECT_EQ(answer, LYDVW_E_LAST_PAGE);
    ASSERT_GT(pages.size(), 2u);
    EXPECT_NE(pages[0], pages[1]);
    QImage after = Paper(QSize(300, 200));
    EXPECT_EQ(Draw(static_cast<int32_t>(pages.size()), after, after.rect(), QSize(4320, 2880), 1440),
              LYDVW_E_NO_PAGE);
}

TEST_F(EnginePagesTest, AHostsPainterIsUsedAndLeftAsItWas) {
    ASSERT_EQ(View("red.png"), 0);
    QImage image = Paper(QSize(100, 100));
    QPainter host(&image);
    host.setPen(Qt::blue);
    host.translate(10, 10);
    ASSERT_EQ(Draw(0, image, QRect(0, 0, 40, 30), QSize(40, 30), 96), LYDVW_E_LAST_PAGE);
    EXPECT_EQ(host.pen().color(), QColor(Qt::blue));
    EXPECT_EQ(host.transform(), QTransform::fromTranslate(10, 10));
    host.end();
    // Drawn in the host's coordinates.
    EXPECT_EQ(image.pixelColor(15, 15), QColor(Qt::red));
    EXPECT_EQ(image.pixelColor(5, 5), QColor(Qt::white));
}

TEST_F(EnginePagesTest, BadRecordsAndNoDocumentAreRefused) {
    QImage image = Paper(QSize(10, 10));
    QSize format;
    EXPECT_EQ(m_api.request(m_view, LYDVW_R_INIT_DRAW, 0, 0), LYDVW_E_NO_FILE);
    EXPECT_EQ(Draw(0, image, image.rect(), QSize(10, 10), 96), LYDVW_E_NO_FILE);
    EXPECT_EQ(Info(0, 96, format), LYDVW_E_NO_FILE);
    ASSERT_EQ(View("two.pdf"), 0);
    EXPECT_EQ(Draw(0, image, image.rect(), QSize(0, 10), 96), LYDVW_E_ARGUMENT);
    EXPECT_EQ(Draw(0, image, image.rect(), QSize(10, 10), 0), LYDVW_E_ARGUMENT);
    EXPECT_EQ(Info(0, -1, format), LYDVW_E_ARGUMENT);
    LydvwDrawPage shortRecord{};
    shortRecord.size = 72;
    EXPECT_EQ(m_api.request(m_view, LYDVW_R_DRAW_PAGE, 0, reinterpret_cast<uint64_t>(&shortRecord)),
              LYDVW_E_ARGUMENT);
    EXPECT_EQ(m_api.request(m_view, LYDVW_R_DRAW_PAGE, 0, 0), LYDVW_E_ARGUMENT);
    EXPECT_EQ(m_api.request(m_view, LYDVW_R_DRAW_INFO, 0, 0), LYDVW_E_ARGUMENT);

    // A target far beyond any page is drawn at a bounded resolution.
    QImage small = Paper(QSize(64, 64));
    LydvwRect result{};
    EXPECT_EQ(Draw(0, small, QRect(0, 0, 2000000000, 2000000000), QSize(10, 10), 1, &result), LYDVW_E_OK);
    EXPECT_GT(result.right, 64);
    EXPECT_EQ(small.pixelColor(0, 0), QColor(Qt::white));
}

}  // namespace
}  // namespace docview
