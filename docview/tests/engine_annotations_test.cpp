// The real engine's annotations on the generated fixtures: highlights, hidden ranges, inserted text and
// pictures drawn where their positions are, found and gone to in the document's order, reported when
// clicked, and refused when their records are bad.
#include <gtest/gtest.h>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWidget>

#include <optional>
#include <string>
#include <vector>

#include "docview/engine_binding.h"
#include "docview/tests/doc_fixtures.h"
#include "docview/tests/engine_view.h"
#include "testsupport/test_support.h"

namespace docview {
namespace {

struct Heard {
    std::vector<LydvwAnnotationEvent> events;
    int selChanges = 0;
};

int64_t Hear(void* context, uint32_t id, uint64_t, uint64_t lparam) {
    auto* heard = static_cast<Heard*>(context);
    if (id == LYDVW_N_ANNOTATION)
        heard->events.push_back(*reinterpret_cast<const LydvwAnnotationEvent*>(lparam));
    if (id == LYDVW_N_SEL_CHANGE)
        ++heard->selChanges;
    return 0;
}

// Pixels of `rect` that differ between two grabs.
int Changed(const QImage& before, const QImage& after, const QRect& rect) {
    int changed = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            if (before.pixel(x, y) != after.pixel(x, y))
                ++changed;
        }
    }
    return changed;
}

// Pixels of `rect` that are neither white nor the view's grey.
int Ink(const QImage& image, const QRect& rect) {
    int ink = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c != QColor(Qt::white) && c != QColor(Qt::gray))
                ++ink;
        }
    }
    return ink;
}

// Pixels of `rect` of the colour `is` looks for.
template <typename Test>
int Tinted(const QImage& image, const QRect& rect, Test is) {
    int count = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x)
            count += is(image.pixelColor(x, y)) ? 1 : 0;
    }
    return count;
}

// Where the fixtures' first words stand at this view's width: "alpha" on the PDF's first page, "first" on
// the text's first line.
const QRect kAlpha(14, 16, 76, 26);
const QRect kFirstWord(0, 0, 30, 16);
const QRect kFarBelow(0, 300, 400, 100);

constexpr uint32_t kYellowBackground = LYDVW_STYLE_NO_FOREGROUND | 11;

class EngineAnnotationsTest : public testing::EngineViewTest {
  protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(OpenView(Hear, &m_heard, QSize(400, 500))); }

    QWidget* Widget() const { return ViewWidget(); }
    QImage Grab() const { return Widget()->grab().toImage(); }
    int64_t Request(uint32_t request, uint64_t wparam, const void* record) {
        return m_api.request(m_view, request, wparam, reinterpret_cast<uint64_t>(record));
    }
    // Opens a fixture and answers the place `offset` characters into `page`.
    LydvwPosition Open(const std::string& name) {
        EXPECT_EQ(ViewPath(Path(name)), 0) << name;
        LydvwPositionCount start{};
        start.size = sizeof start;
        start.kind = LYDVW_COUNT_TO_POSITION;
        EXPECT_EQ(Request(LYDVW_R_POSITION_COUNT, 0, &start), 0) << name;
        // A widget never shown is laid out at its size when first drawn.
        Widget()->grab();
        return start.position;
    }
    static LydvwPosition At(const LydvwPosition& start, int page, int offset) {
        return LydvwPosition{start.change_id, 0, page, offset};
    }
    int64_t Highlight(uint32_t id, const LydvwPosition& from, const LydvwPosition& to, uint32_t style,
                      uint32_t events = 0) {
        LydvwAddHighlight record{};
        record.size = sizeof record;
        record.id = id;
        record.token = id + 1000;
        record.start = from;
        record.end = to;
        record.events = events;
        record.style = style;
        return Request(LYDVW_R_ADD_ANNOTATION, LYDVW_ANN_HIGHLIGHT, &record);
    }
    int64_t Hide(uint32_t id, const LydvwPosition& from, const LydvwPosition& to) {
        LydvwAddHidden record{};
        record.size = sizeof record;
        record.id = id;
        record.start = from;
        record.end = to;
        return Request(LYDVW_R_ADD_ANNOTATION, LYDVW_ANN_HIDE, &record);
    }
    int64_t Insert(uint32_t id, const LydvwPosition& at, const std::u16string& text) {
        LydvwAddInsertText record{};
        record.size = sizeof record;
        record.id = id;
        record.position = at;
        record.length = static_cast<uint32_t>(text.size());
        record.text = reinterpret_cast<uint64_t>(text.data());
        return Request(LYDVW_R_ADD_ANNOTATION, LYDVW_ANN_INSERT, &record);
    }
    int64_t Picture(uint32_t id, const LydvwPosition& at, uint32_t side, uint32_t argb, uint32_t events = 0) {
        std::vector<uint32_t> pixels(size_t{side} * side, argb);
        LydvwAddPicture record{};
        record.size = sizeof record;
        record.id = id;
        record.position = at;
        record.events = events;
        record.width = record.height = side;
        record.pixels = reinterpret_cast<uint64_t>(pixels.data());
        const int64_t answer = Request(LYDVW_R_ADD_ANNOTATION, LYDVW_ANN_BITMAP, &record);
        // The engine keeps its own copy: the caller's pixels go now.
        std::fill(pixels.begin(), pixels.end(), 0u);
        return answer;
    }
    // The id found, or nullopt with the answer in `answer`.
    std::optional<uint32_t> Find(uint32_t type, uint32_t criterion, uint32_t match,
                                 const LydvwPosition& search = {}, int64_t* answer = nullptr,
                                 uint32_t* token = nullptr) {
        LydvwFindAnnotation record{};
        record.size = sizeof record;
        record.find_type = type;
        record.search = search;
        record.criterion = criterion;
        record.match = match;
        const int64_t result = Request(LYDVW_R_FIND_ANNOTATION, 0, &record);
        if (answer)
            *answer = result;
        if (token)
            *token = record.token;
        return result == 0 ? std::optional<uint32_t>(record.id) : std::nullopt;
    }
    std::pair<LydvwPosition, LydvwPosition> Selection() {
        LydvwGetPosition anchor{};
        anchor.size = sizeof anchor;
        anchor.method = LYDVW_POS_SELECTION_ANCHOR;
        LydvwGetPosition end = anchor;
        end.method = LYDVW_POS_SELECTION_END;
        EXPECT_EQ(Request(LYDVW_R_GET_POSITION, 0, &anchor), 0);
        EXPECT_EQ(Request(LYDVW_R_GET_POSITION, 0, &end), 0);
        return {anchor.result, end.result};
    }
    void Mouse(QEvent::Type type, QPoint at) {
        auto* area = static_cast<QAbstractScrollArea*>(Widget());
        QMouseEvent event(type, at, area->viewport()->mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(area->viewport(), &event);
    }

    Heard m_heard;
};

TEST_F(EngineAnnotationsTest, AHighlightIsDrawnOverItsRangeOnlyInPdfAndText) {
    struct Row {
        const char* file;
        QRect range;
    };
    const Row rows[] = {{"two.pdf", kAlpha}, {"notes.txt", kFirstWord}};
    for (const Row& row : rows) {
        const LydvwPosition start = Open(row.file);
        const QImage before = Grab();
        ASSERT_EQ(Highlight(1, At(start, 0, 0), At(start, 0, 5), kYellowBackground), 0) << row.file;
        const QImage after = Grab();
        EXPECT_GT(Changed(before, after, row.range), row.range.width() * row.range.height() / 4) << row.file;
        EXPECT_EQ(Changed(before, after, kFarBelow), 0) << row.file;
        // Yellow where the word's paper was.
        EXPECT_GT(Tinted(after, row.range,
                         [](QColor c) { return c.red() > 200 && c.green() > 200 && c.blue() < 170; }),
                  40)
            << row.file;
    }
}

TEST_F(EngineAnnotationsTest, ADefinedStyleColoursItsHighlightsAndAnUnknownStyleStillMarks) {
    const LydvwPosition start = Open("notes.txt");
    LydvwHighlightStyle style{};
    style.size = sizeof style;
    style.style = 7;
    style.foreground = 0x000000;
    style.background = 0xFF0000;  // blue, as 0x00BBGGRR
    ASSERT_EQ(Request(LYDVW_R_HIGHLIGHT_STYLE, 0, &style), 0);
    ASSERT_EQ(Highlight(1, At(start, 0, 0), At(start, 0, 5), LYDVW_STYLE_DEFINED | 7), 0);
    EXPECT_GT(Tinted(Grab(), kFirstWord, [](QColor c) { return c.blue() > 200 && c.red() < 60; }), 40);
    const QImage before = Grab();
    ASSERT_EQ(Highlight(2, At(start, 0, 11), At(start, 0, 17), LYDVW_STYLE_DEFINED | 8), 0);
    EXPECT_GT(Changed(before, Grab(), QRect(0, 16, 40, 16)), 0);
}

TEST_F(EngineAnnotationsTest, AHiddenRangeLeavesPaperWhereItsCharactersWere) {
    struct Row {
        const char* file;
        int from, to;
        QRect range;
    };
    const Row rows[] = {{"two.pdf", 0, 5, kAlpha}, {"notes.txt", 0, 5, kFirstWord}};
    for (const Row& row : rows) {
        const LydvwPosition start = Open(row.file);
        ASSERT_GT(Ink(Grab(), row.range), 0) << row.file;
        const QImage before = Grab();
        ASSERT_EQ(Hide(2, At(start, 0, row.from), At(start, 0, row.to)), 0) << row.file;
        EXPECT_EQ(Ink(Grab(), row.range), 0) << row.file;
        EXPECT_EQ(Changed(before, Grab(), kFarBelow), 0) << row.file;
        // Selecting the range does not show it again.
        LydvwSelection select{};
        select.size = sizeof select;
        select.anchor = At(start, 0, row.from);
        select.end = At(start, 0, row.to);
        ASSERT_EQ(Request(LYDVW_R_SET_SELECTION, 0, &select), 0);
        const QImage selected = Grab();
        int darkText = 0;
        for (int x = row.range.left(); x <= row.range.right(); ++x)
            for (int y = row.range.top(); y <= row.range.bottom(); ++y)
                darkText += selected.pixelColor(x, y).lightness() < 60 ? 1 : 0;
        EXPECT_EQ(darkText, 0) << row.file;
    }
}

TEST_F(EngineAnnotationsTest, InsertedTextAndPicturesStandAtTheirPosition) {
    for (const char* file : {"two.pdf", "notes.txt"}) {
        const LydvwPosition start = Open(file);
        const QImage before = Grab();
        ASSERT_EQ(Insert(3, At(start, 0, 2), u"note \u00E9"), 0) << file;
        const QImage inserted = Grab();
        EXPECT_GT(Changed(before, inserted, QRect(0, 0, 200, 60)), 20) << file;
        EXPECT_EQ(Changed(before, inserted, kFarBelow), 0) << file;

        ASSERT_EQ(Picture(4, At(start, 0, 0), 12, 0xFF0000FFu), 0) << file;
        const QImage withPicture = Grab();
        int blue = 0;
        for (int x = 0; x < 120; ++x)
            for (int y = 0; y < 60; ++y)
                blue += withPicture.pixelColor(x, y) == QColor(0, 0, 255) ? 1 : 0;
        // The whole picture, from the engine's own copy of its pixels.
        EXPECT_EQ(blue, 12 * 12) << file;
    }
}

TEST_F(EngineAnnotationsTest, FindWalksTheDocumentsOrderAndGotoSelectsWhatItFinds) {
    const LydvwPosition start = Open("two.pdf");
    // Added out of order: on the second page, then two on the first.
    ASSERT_EQ(Highlight(0x10, At(start, 1, 0), At(start, 1, 3), kYellowBackground), 0);
    ASSERT_EQ(Highlight(0x31, At(start, 0, 3), At(start, 0, 5), kYellowBackground), 0);
    ASSERT_EQ(Insert(0x20, At(start, 0, 1), u"x"), 0);
    struct Row {
        uint32_t type, criterion, match;
        LydvwPosition search;
        std::optional<uint32_t> found;
    };
    const Row rows[] = {
        {LYDVW_FIND_FIRST, 0, LYDVW_MATCH_MASK, {}, 0x20},
        {LYDVW_FIND_LAST, 0, LYDVW_MATCH_MASK, {}, 0x10},
        {LYDVW_FIND_NEXT, 0, LYDVW_MATCH_MASK, At(start, 0, 1), 0x31},
        {LYDVW_FIND_PREVIOUS, 0, LYDVW_MATCH_MASK, At(start, 1, 0), 0x31},
        {LYDVW_FIND_PREVIOUS, 0, LYDVW_MATCH_MASK, At(start, 0, 1), std::nullopt},
        {LYDVW_FIND_FIRST, 0x10, LYDVW_MATCH_MASK, {}, 0x31},
        {LYDVW_FIND_FIRST, 0x10, LYDVW_MATCH_EXACT, {}, 0x10},
        {LYDVW_FIND_FIRST, 0x40, LYDVW_MATCH_MASK, {}, std::nullopt},
    };
    for (const Row& row : rows) {
        int64_t answer = -1;
        uint32_t token = 0;
        EXPECT_EQ(Find(row.type, row.criterion, row.match, row.search, &answer, &token), row.found)
            << row.type << " " << row.criterion;
        EXPECT_EQ(answer, row.found ? 0 : int64_t{LYDVW_E_NOT_FOUND});
        if (row.found == 0x10u) {
            EXPECT_EQ(token, 0x10u + 1000);
        }
    }

    // Going to the next one from the document's start steps through them, each selected and shown.
    const std::pair<uint32_t, int> steps[] = {{0x20, 1}, {0x31, 3}, {0x10, 0}};
    auto* area = static_cast<QAbstractScrollArea*>(Widget());
    for (const auto& [id, offset] : steps) {
        m_heard.selChanges = 0;
        ASSERT_EQ(m_api.request(m_view, LYDVW_R_GOTO_ANNOTATION, LYDVW_FIND_NEXT | LYDVW_MATCH_MASK, 0), 0)
            << id;
        EXPECT_EQ(Selection().first.offset, offset) << id;
        EXPECT_EQ(m_heard.selChanges, 1) << id;
    }
    EXPECT_EQ(Selection().first.page, 1);
    EXPECT_GT(area->verticalScrollBar()->value(), 0);
    EXPECT_EQ(m_api.request(m_view, LYDVW_R_GOTO_ANNOTATION, LYDVW_FIND_NEXT | LYDVW_MATCH_MASK, 0),
              LYDVW_E_NOT_FOUND);
    EXPECT_EQ(m_api.request(m_view, LYDVW_R_GOTO_ANNOTATION, LYDVW_FIND_FIRST | LYDVW_MATCH_EXACT, 0x31), 0);
    EXPECT_EQ(Selection().second.offset, 5);

    // Cleared by mask, then all; and a new document starts with none.
    EXPECT_EQ(m_api.request(m_view, LYDVW_R_CLEAR_ANNOTATIONS, LYDVW_MATCH_MASK, 0x10), 0);
    EXPECT_EQ(Find(LYDVW_FIND_FIRST, 0, LYDVW_MATCH_MASK), 0x20u);
    EXPECT_EQ(Find(LYDVW_FIND_LAST, 0, LYDVW_MATCH_MASK), 0x20u);
    EXPECT_EQ(m_api.request(m_view, LYDVW_R_CLEAR_ANNOTATIONS, 0, 0), 0);
    EXPECT_EQ(Find(LYDVW_FIND_FIRST, 0, LYDVW_MATCH_MASK), std::nullopt);
    ASSERT_EQ(Insert(0x50, At(start, 0, 1), u"x"), 0);
    const LydvwPosition again = Open("two.pdf");
    EXPECT_EQ(Find(LYDVW_FIND_FIRST, 0, LYDVW_MATCH_MASK), std::nullopt);
    EXPECT_EQ(Insert(0x51, At(start, 0, 1), u"x"), LYDVW_E_ARGUMENT);  // a place in the document before
    EXPECT_EQ(Insert(0x51, At(again, 0, 1), u"x"), 0);
}

TEST_F(EngineAnnotationsTest, AClickOnAnAnnotationThatReportsClicksIsHeard) {
    const LydvwPosition start = Open("two.pdf");
    ASSERT_EQ(Highlight(0x71, At(start, 0, 0), At(start, 0, 5), kYellowBackground, LYDVW_ANN_EVENT_CLICK), 0);
    // Reports only double clicks.
    ASSERT_EQ(Picture(0x72, At(start, 1, 0), 10, 0xFF00FF00u, LYDVW_ANN_EVENT_DOUBLE_CLICK), 0);
    const QPoint onAlpha = kAlpha.center();
    Mouse(QEvent::MouseButtonPress, onAlpha);
    Mouse(QEvent::MouseButtonRelease, onAlpha);
    ASSERT_EQ(m_heard.events.size(), 1u);
    EXPECT_EQ(m_heard.events[0].size, sizeof(LydvwAnnotationEvent));
    EXPECT_EQ(m_heard.events[0].code, uint32_t{LYDVW_ANN_EVENT_CLICK});
    EXPECT_EQ(m_heard.events[0].id, 0x71u);
    // Off the range: nothing.
    Mouse(QEvent::MouseButtonPress, QPoint(300, 300));
    Mouse(QEvent::MouseButtonRelease, QPoint(300, 300));
    EXPECT_EQ(m_heard.events.size(), 1u);

    // The picture stands at the second page's first character: find it on screen by its colour.
    ASSERT_EQ(m_api.request(m_view, LYDVW_R_GOTO_ANNOTATION, LYDVW_FIND_FIRST | LYDVW_MATCH_EXACT, 0x72), 0);
    const QImage shown = Grab();
    std::optional<QPoint> green;
    for (int y = 0; y < shown.height() && !green; ++y)
        for (int x = 0; x < shown.width() && !green; ++x)
            if (shown.pixelColor(x, y) == QColor(0, 255, 0))
                green = QPoint(x + 5, y + 5);
    ASSERT_TRUE(green);
    Mouse(QEvent::MouseButtonPress, *green);
    Mouse(QEvent::MouseButtonRelease, *green);
    EXPECT_EQ(m_heard.events.size(), 1u);
    Mouse(QEvent::MouseButtonDblClick, *green);
    ASSERT_EQ(m_heard.events.size(), 2u);
    EXPECT_EQ(m_heard.events[1].code, uint32_t{LYDVW_ANN_EVENT_DOUBLE_CLICK});
    EXPECT_EQ(m_heard.events[1].id, 0x72u);
}

TEST_F(EngineAnnotationsTest, BadRecordsAreRefusedWithTheEnginesIds) {
    LydvwPosition none{};
    EXPECT_EQ(Insert(1, none, u"x"), LYDVW_E_NO_FILE);
    Open("red.png");
    const LydvwPosition image{};
    EXPECT_EQ(Picture(1, image, 4, 0xFFFFFFFFu), LYDVW_E_UNSUPPORTED);
    const LydvwPosition start = Open("notes.txt");

    LydvwAddHighlight small{};
    small.size = sizeof small - 4;
    small.start = small.end = start;
    EXPECT_EQ(Request(LYDVW_R_ADD_ANNOTATION, LYDVW_ANN_HIGHLIGHT, &small), LYDVW_E_ARGUMENT);
    EXPECT_EQ(Request(LYDVW_R_ADD_ANNOTATION, 9, &small), LYDVW_E_ARGUMENT);
    EXPECT_EQ(Request(LYDVW_R_ADD_ANNOTATION, LYDVW_ANN_HIGHLIGHT, nullptr), LYDVW_E_ARGUMENT);
    EXPECT_EQ(Highlight(1, start, At(start, 0, 500), kYellowBackground), LYDVW_E_ARGUMENT);
    EXPECT_EQ(Highlight(1, start, At(start, 0, 2), LYDVW_STYLE_DEFINED), LYDVW_E_ARGUMENT);
    uint32_t pixel = 0;
    LydvwAddPicture wide{};
    wide.size = sizeof wide;
    wide.position = start;
    wide.width = LYDVW_PICTURE_SIDE_MAX + 1;
    wide.height = 1;
    wide.pixels = reinterpret_cast<uint64_t>(&pixel);
    EXPECT_EQ(Request(LYDVW_R_ADD_ANNOTATION, LYDVW_ANN_BITMAP, &wide), LYDVW_E_ARGUMENT);
    wide.width = 1;
    wide.pixels = 0;
    EXPECT_EQ(Request(LYDVW_R_ADD_ANNOTATION, LYDVW_ANN_ICON, &wide), LYDVW_E_ARGUMENT);
    LydvwAddInsertText noText{};
    noText.size = sizeof noText;
    noText.position = start;
    noText.length = 4;
    EXPECT_EQ(Request(LYDVW_R_ADD_ANNOTATION, LYDVW_ANN_INSERT, &noText), LYDVW_E_ARGUMENT);
    EXPECT_EQ(m_api.request(m_view, LYDVW_R_CLEAR_ANNOTATIONS, 3, 0), LYDVW_E_ARGUMENT);
    int64_t answer = 0;
    EXPECT_EQ(Find(5, 0, LYDVW_MATCH_MASK, {}, &answer), std::nullopt);
    EXPECT_EQ(answer, LYDVW_E_ARGUMENT);
    LydvwHighlightStyle style{};
    style.size = sizeof style;
    EXPECT_EQ(Request(LYDVW_R_HIGHLIGHT_STYLE, 0, &style), LYDVW_E_ARGUMENT);
    // The engine keeps no annotations of its own kinds here.
    char buffer[LYDVW_ANNOTATION_DATA_MAX] = {};
    LydvwAnnotationData data{};
    data.size = sizeof data;
    data.id = 0x84000001u;
    data.buffer_size = sizeof buffer;
    data.buffer = reinterpret_cast<uint64_t>(buffer);
    EXPECT_EQ(Request(LYDVW_R_ANNOTATION_DATA, 0, &data), LYDVW_E_NOT_FOUND);
    data.buffer = 0;
    EXPECT_EQ(Request(LYDVW_R_ANNOTATION_DATA, 0, &data), LYDVW_E_ARGUMENT);
    // Nothing refused was kept.
    EXPECT_EQ(Find(LYDVW_FIND_FIRST, 0, LYDVW_MATCH_MASK), std::nullopt);
}

}  // namespace
}  // namespace docview
