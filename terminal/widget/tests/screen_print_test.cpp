// Screen print: the height search against the page width, the title and rows on an image page, the font
// failure message, and a real PDF page.
#include "terminal/widget/screen_print.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPdfWriter>
#include <QTemporaryDir>

namespace terminal {
namespace {

// The sample's width at a height from a formula; height 0 is the face's default size.
class FormulaMeasurer : public PrintMeasurer {
  public:
    explicit FormulaMeasurer(int32_t perHeight, int32_t atZero = 600, int32_t failAt = -1)
        : m_perHeight(perHeight), m_atZero(atZero), m_failAt(failAt) {}
    std::optional<int32_t> SampleWidth(int32_t height) override {
        ++m_calls;
        if (height == m_failAt) {
            return std::nullopt;
        }
        return height == 0 ? m_atZero : height * m_perHeight;
    }
    int m_calls = 0;

  private:
    int32_t m_perHeight;
    int32_t m_atZero;
    int32_t m_failAt;
};

struct HeightCase {
    const char* name;
    int32_t pageWidth;
    int32_t perHeight;
    std::optional<int32_t> height;
};

const HeightCase kHeightCases[] = {
    {"LastHeightThatFits", 1000, 48, 20},  // 20 x 48 = 960, 21 x 48 = 1008
    {"ExactFitIsTaken", 960, 48, 20},
    {"NarrowPageSkipsTheDefaultSize", 100, 48, 2},  // the default (600) is too wide, 1 and 2 fit
    {"NothingFits", 10, 48, std::nullopt},
    {"EvenTheLargestFitsPrintsNothing", 1999 * 48, 48, std::nullopt},
};

class PrintHeightTable : public ::testing::TestWithParam<HeightCase> {};

TEST_P(PrintHeightTable, TakesTheLastHeightWhoseSampleFitsThePage) {
    const HeightCase& c = GetParam();
    FormulaMeasurer measurer(c.perHeight);
    const PrintHeight found = FindPrintHeight(c.pageWidth, measurer);
    EXPECT_FALSE(found.fontFailed);
    EXPECT_EQ(found.height, c.height);
    EXPECT_LE(measurer.m_calls, kMaxPrintHeight + 1);
}

INSTANTIATE_TEST_SUITE_P(Print, PrintHeightTable, ::testing::ValuesIn(kHeightCases),
                         [](const auto& info) { return std::string(info.param.name); });

class ScreenPrintTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_screen.Feed("\x1B[1;1HFirst row\x1B[25;1HLast row");
        m_page.fill(Qt::white);
    }
    // Rows of the page that hold any dark pixel.
    std::vector<int> InkedRows() const {
        std::vector<int> rows;
        for (int y = 0; y < m_page.height(); ++y) {
            for (int x = 0; x < m_page.width(); ++x) {
                if (qGray(m_page.pixel(x, y)) < 128) {
                    rows.push_back(y);
                    break;
                }
            }
        }
        return rows;
    }

    CTerminalScreen m_screen;
    QImage m_page{1240, 1754, QImage::Format_RGB32};
    platform::RecordingPrompt m_prompt;
};

TEST_F(ScreenPrintTest, PrintsTheTitleAndTheRowsWithinThePageWidth) {
    ASSERT_TRUE(PrintScreen(m_page, m_screen, QDate(2026, 12, 10), m_prompt));
    EXPECT_TRUE(m_prompt.Shown().empty());
    const std::vector<int> rows = InkedRows();
    ASSERT_FALSE(rows.empty());
    // The title is printed one title height down; the screen's rows from three title heights; the last
    // screen row, 24 rows further, is still on the page.
    EXPECT_GT(rows.front(), 0);
    EXPECT_GT(rows.back(), rows.front() + 24 * 10);
    EXPECT_LT(rows.back(), m_page.height());
}

TEST_F(ScreenPrintTest, TitleNamesTheDate) {
    EXPECT_EQ(PrintTitle(QDate(2026, 12, 10)), "Screen Print on Thursday, December 10, 2026");
    EXPECT_EQ(PrintTitle(QDate(2027, 1, 4)), "Screen Print on Monday, January 04, 2027");
}

TEST_F(ScreenPrintTest, FontThatCannotBeCreatedPrintsNothing) {
    FormulaMeasurer measurer(48, 600, 5);
    EXPECT_FALSE(PrintScreen(m_page, m_screen, QDate(2026, 12, 10), measurer, m_prompt));
    ASSERT_EQ(m_prompt.Shown().size(), 1u);
    EXPECT_EQ(m_prompt.Shown()[0].text, "Error Loading Lucida Console Font");
    EXPECT_EQ(m_prompt.Shown()[0].icon, platform::PromptIcon::Stop);
    EXPECT_TRUE(InkedRows().empty());
}

TEST_F(ScreenPrintTest, PrintsAPdfPage) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = QDir(dir.path()).filePath("screen.pdf");
    {
        QPdfWriter writer(path);
        writer.setResolution(300);
        ASSERT_TRUE(PrintScreen(writer, m_screen, QDate(2026, 12, 10), m_prompt));
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.read(5) == "%PDF-");
    EXPECT_GT(file.size(), 500);
}

}  // namespace
}  // namespace terminal
