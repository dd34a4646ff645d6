// The terminal font: the fitting loop driven by a scripted measurer, and the Qt font's cell against the
// sizes the description asks for.
#include "terminal/widget/terminal_font.h"

#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <functional>
#include <vector>

namespace terminal {
namespace {

// Answers each font with a measurement worked out from its width and height, and keeps what was asked.
class ScriptedMeasurer : public FontMeasurer {
  public:
    using Rule = std::function<std::optional<CellSize>(const suite::LogFont&)>;
    explicit ScriptedMeasurer(Rule rule) : m_rule(std::move(rule)) {}
    std::optional<CellSize> MeasureCross(const suite::LogFont& font) override {
        m_asked.push_back({font.width, font.height});
        m_faces.push_back(font.faceName);
        return m_rule(font);
    }
    std::vector<CellSize> m_asked;
    std::vector<std::string> m_faces;

  private:
    Rule m_rule;
};

suite::LogFont Face(std::string face) {
    suite::LogFont font;
    font.height = 12;
    font.faceName = std::move(face);
    font.charSet = 1;
    font.pitchAndFamily = 48;
    return font;
}

struct FitCase {
    const char* name;
    const char* face;
    int32_t cx;
    int32_t cy;
    // The measured cross for a logical font (w, h).
    std::function<std::optional<CellSize>(const suite::LogFont&)> rule;
    std::vector<CellSize> asked;  // after the creation check
    int32_t result;
    CellSize font;  // the fitted logical font's width and height
};

std::vector<FitCase> FitCases() {
    return {
        {"FitsAtOnce",
         "TarnFont",
         640,
         400,
         [](const suite::LogFont& f) {
             return CellSize{f.width, f.height};
         },
         {{8, 16}},
         1,
         {8, 16}},
        {"TooWideShrinksWidth",
         "TarnFont",
         640,
         400,
         [](const suite::LogFont& f) {
             return CellSize{f.width + 1, f.height};
         },
         {{8, 16}, {7, 16}},
         1,
         {7, 16}},
        {"TooTallShrinksBoth",
         "TarnFont",
         640,
         400,
         [](const suite::LogFont& f) {
             return CellSize{f.width, f.height + 2};
         },
         {{8, 16}, {7, 15}, {6, 14}},
         1,
         {6, 14}},
        // A fitting cell too small to be the face's proper size is taken at what was measured.
        {"SmallCellTakesMeasured",
         "TarnFont",
         320,
         200,
         [](const suite::LogFont& f) {
             return CellSize{f.width, f.height};
         },
         {{4, 8}},
         0,
         {4, 8}},
        {"OtherFaceBelowItsLimit",
         "Courier New",
         640,
         250,
         [](const suite::LogFont& f) {
             return CellSize{f.width, f.height};
         },
         {{8, 10}},
         0,
         {8, 10}},
        {"OtherFaceAtItsLimit",
         "Courier New",
         640,
         275,
         [](const suite::LogFont& f) {
             return CellSize{f.width, f.height};
         },
         {{8, 11}},
         1,
         {8, 11}},
        // A measurement out of range for a face other than the system's own ends the loop as it stands.
        {"OtherFaceOutOfRange",
         "Courier New",
         640,
         400,
         [](const suite::LogFont&) {
             return CellSize{0, 0};
         },
         {{8, 16}},
         1,
         {8, 16}},
    };
}

class FontFitTable : public ::testing::TestWithParam<FitCase> {};

TEST_P(FontFitTable, ShrinksStepByStepUntilTheCrossFits) {
    const FitCase& c = GetParam();
    ScriptedMeasurer measurer(c.rule);
    platform::RecordingPrompt prompt;
    const FontFit fit = FitTerminalFont(Face(c.face), c.cx, c.cy, measurer, prompt);
    ASSERT_FALSE(measurer.m_asked.empty());
    const std::vector<CellSize> asked(measurer.m_asked.begin() + 1, measurer.m_asked.end());
    EXPECT_EQ(asked, c.asked);
    EXPECT_EQ(fit.result, c.result);
    EXPECT_TRUE(fit.created);
    EXPECT_FALSE(fit.substituted);
    EXPECT_EQ((CellSize{fit.font.width, fit.font.height}), c.font);
    EXPECT_EQ(fit.font.faceName, c.face);
    EXPECT_TRUE(prompt.Shown().empty());
}

INSTANTIATE_TEST_SUITE_P(Fitting, FontFitTable, ::testing::ValuesIn(FitCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FontFit, DamagedSystemFaceIsReplacedByTerminalOnce) {
    ScriptedMeasurer measurer([](const suite::LogFont& f) -> std::optional<CellSize> {
        if (f.faceName == "TarnFont") {
            return CellSize{0, 120};
        }
        return CellSize{f.width, f.height};
    });
    platform::RecordingPrompt prompt;
    const FontFit fit = FitTerminalFont(Face("TarnFont"), 800, 500, measurer, prompt);
    EXPECT_TRUE(fit.substituted);
    EXPECT_EQ(fit.font.faceName, "Terminal");
    EXPECT_EQ(fit.result, 1);
    EXPECT_EQ((CellSize{fit.font.width, fit.font.height}), (CellSize{10, 20}));
    ASSERT_EQ(prompt.Shown().size(), 1u);
    EXPECT_EQ(prompt.Shown()[0].icon, platform::PromptIcon::None);
    EXPECT_EQ(
        prompt.Shown()[0].text,
        "The system detected a problem with The Carrowline font file. Another font file was substituted "
        "temporarily. This substitution might cause fonts to appear different on screen. To correct the "
        "problem, restart the system at the next opportunity. ");
}

TEST(FontFit, FontThatCannotBeCreatedStopsWithTheFaceInTheMessage) {
    for (const int failAt : {0, 2}) {
        int calls = 0;
        ScriptedMeasurer measurer([&](const suite::LogFont& f) -> std::optional<CellSize> {
            if (calls++ == failAt) {
                return std::nullopt;
            }
            return CellSize{f.width + 1, f.height};
        });
        platform::RecordingPrompt prompt;
        const FontFit fit = FitTerminalFont(Face("Lucida Console"), 640, 400, measurer, prompt);
        EXPECT_FALSE(fit.created) << failAt;
        EXPECT_EQ(fit.result, 0);
        ASSERT_EQ(prompt.Shown().size(), 1u);
        EXPECT_EQ(prompt.Shown()[0].text, "Error Loading Font\"Lucida Console\"");
        EXPECT_EQ(prompt.Shown()[0].icon, platform::PromptIcon::Stop);
    }
}

TEST(FontFit, NeverFittingFontGivesUpWithTheMeasuredCell) {
    ScriptedMeasurer measurer([](const suite::LogFont&) { return CellSize{50, 50}; });
    platform::RecordingPrompt prompt;
    const FontFit fit = FitTerminalFont(Face("TarnFont"), 640, 400, measurer, prompt);
    EXPECT_TRUE(fit.created);
    EXPECT_EQ(fit.result, 0);
    EXPECT_EQ((CellSize{fit.font.width, fit.font.height}), (CellSize{50, 50}));
    EXPECT_LT(measurer.m_asked.size(), 40u);
}

TEST(FontFit, FaceLimits) {
    const std::pair<const char*, int32_t> limits[] = {
        {"Terminal", 16}, {"TarnFont", 16},    {"Lucida Console", 13}, {"Letter Gothic CP437", 13},
        {"Fixedsys", 10}, {"Courier New", 13}, {"Courier", 16},        {"Anything Else", 13},
    };
    for (const auto& [face, limit] : limits) {
        EXPECT_EQ(FaceLimit(face), limit) << face;
    }
}

// The Qt side: the stand-in face and the sizes the description asks for.
TEST(TerminalFont, SystemFaceIsDrawnWithAMonospaceStandIn) {
    const QFont font = CreateTerminalFont(Face("TarnFont"));
    EXPECT_TRUE(QFontInfo(font).fixedPitch());
    EXPECT_EQ(FamilyFor("TarnFont"), QString::fromUtf8(kStandInFamily.data()));
}

TEST(TerminalFont, PositiveHeightIsTheCellHeight) {
    for (const int32_t height : {12, 16, 24, 40}) {
        suite::LogFont description = Face("TarnFont");
        description.height = height;
        const CellSize cell = MeasureCell(CreateTerminalFont(description));
        EXPECT_LE(cell.height, height) << height;
        EXPECT_GE(cell.height, height - 2) << height;
        EXPECT_GT(cell.width, 0);
    }
}

TEST(TerminalFont, WidthStretchesTheFaceToTheAverageCharacterWidth) {
    suite::LogFont description = Face("TarnFont");
    description.height = 20;
    const int32_t natural = MeasureCell(CreateTerminalFont(description)).width;
    description.width = natural * 2;
    const int32_t wide = MeasureCell(CreateTerminalFont(description)).width;
    EXPECT_NEAR(wide, natural * 2, 2);
}

TEST(TerminalFont, QtMeasurerReportsTheCrossAndRefusesToRenderHugeSizes) {
    QtFontMeasurer measurer;
    suite::LogFont description = Face("TarnFont");
    description.height = 16;
    const std::optional<CellSize> cross = measurer.MeasureCross(description);
    ASSERT_TRUE(cross);
    EXPECT_GE(cross->width, 1);
    EXPECT_LE(cross->height, 16);
    description.height = 50000;
    description.width = 20000;
    const std::optional<CellSize> huge = measurer.MeasureCross(description);
    ASSERT_TRUE(huge);
    EXPECT_GT(huge->height, 99);
}

TEST(TerminalFont, GridFontPutsEveryGlyphOnTheCellGrid) {
    suite::LogFont description = Face("TarnFont");
    description.height = 17;
    const QFont font = CreateTerminalFont(description);
    const CellSize cell = MeasureCell(font);
    const QFont grid = GridFont(font, cell.width);
    const QString row(80, QChar(u'M'));
    EXPECT_NEAR(QFontMetricsF(grid).horizontalAdvance(row), 80.0 * cell.width, 0.5);
}

}  // namespace
}  // namespace terminal
