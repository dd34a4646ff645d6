// The real engine's search over the two-page PDF and text files: matches become the selection and come into
// view, search next goes on from the selection in either direction until nothing more is found, and records
// it cannot take are refused; its search dialog as a user drives it; then zoom and full screen of PDF pages
// and images.
#include <gtest/gtest.h>

#include <QAbstractScrollArea>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <QWidget>

#include <cstring>
#include <string>
#include <vector>

#include "docview/engine_binding.h"
#include "docview/tests/doc_fixtures.h"
#include "docview/tests/engine_view.h"
#include "testsupport/test_support.h"

namespace docview {
namespace {

struct Selected {
    int page;
    int first;
    int last;
    bool operator==(const Selected&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Selected& s) {
    return out << "page " << s.page << " [" << s.first << ", " << s.last << ")";
}

int64_t Record(void* context, uint32_t id, uint64_t, uint64_t lparam) {
    static_cast<std::vector<std::pair<uint32_t, uint64_t>>*>(context)->emplace_back(id, lparam);
    return 0;
}

class EngineSearchTest : public testing::EngineViewTest {
  protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(OpenView(Record, &m_notified, QSize(400, 300)));
        // Laid out at that size, as a host showing it would have it.
        Widget()->grab();
    }
    QAbstractScrollArea* Widget() const { return static_cast<QAbstractScrollArea*>(ViewWidget()); }
    int64_t Request(uint32_t request, uint64_t wparam, const void* record) {
        return m_api.request(m_view, request, wparam, reinterpret_cast<uint64_t>(record));
    }
    int64_t View(const std::string& name) { return ViewPath(Path(name)); }
    static LydvwSearch Narrow(const std::string& text, uint16_t type, uint16_t from, uint16_t direction) {
        LydvwSearch record{};
        record.size = sizeof record;
        std::memcpy(record.text, text.data(), std::min<size_t>(text.size(), sizeof record.text));
        record.length = static_cast<uint16_t>(text.size());
        record.type = type;
        record.from = from;
        record.direction = direction;
        return record;
    }
    int64_t Search(const std::string& text, uint16_t direction = LYDVW_SEARCH_FORWARD,
                   uint16_t from = LYDVW_SEARCH_FROM_TOP, uint16_t type = LYDVW_SEARCH_ANY_CASE) {
        const LydvwSearch record = Narrow(text, type, from, direction);
        return Request(LYDVW_R_SEARCH, 0, &record);
    }
    template <typename Value>
    void SetOption(uint32_t option, const Value& value) {
        LydvwOptionBlock block{sizeof block, option, LYDVW_OPT_CURRENT, 0,
                               reinterpret_cast<uint64_t>(&value)};
        ASSERT_EQ(Request(LYDVW_R_SET_OPTION, 0, &block), 0);
    }
    void ZoomType(uint32_t option, int16_t type) { SetOption(option, type); }
    // What the view shows once its layout (scroll bars coming and going) is done.
    void Settle() {
        QCoreApplication::sendPostedEvents();
        Widget()->grab();
    }
    // The page's size as the view lays out both pages: the scroll ranges plus the viewport.
    QSize PdfPageSize() {
        Settle();
        QAbstractScrollArea& area = *Widget();
        return QSize(area.horizontalScrollBar()->maximum() + area.viewport()->width(),
                     (area.verticalScrollBar()->maximum() + area.viewport()->height()) / 2 - 8);
    }
    int RedPixels() {
        Settle();
        const QImage image = Widget()->grab().toImage();
        int red = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x)
                red += image.pixelColor(x, y) == QColor(Qt::red) ? 1 : 0;
        }
        return red;
    }
    int64_t Next(uint64_t direction) { return m_api.request(m_view, LYDVW_R_SEARCH_NEXT, direction, 0); }
    // The selection's anchor and end, which a match makes first and last.
    std::optional<Selected> Selection() {
        LydvwGetPosition anchor{};
        anchor.size = sizeof anchor;
        anchor.method = LYDVW_POS_SELECTION_ANCHOR;
        LydvwGetPosition end = anchor;
        end.method = LYDVW_POS_SELECTION_END;
        if (Request(LYDVW_R_GET_POSITION, 0, &anchor) != 0 || Request(LYDVW_R_GET_POSITION, 0, &end) != 0)
            return std::nullopt;
        EXPECT_EQ(anchor.result.page, end.result.page);
        return Selected{anchor.result.page, anchor.result.offset, end.result.offset};
    }
    int SelChanges() const {
        return static_cast<int>(std::count_if(m_notified.begin(), m_notified.end(),
                                              [](const auto& n) { return n.first == LYDVW_N_SEL_CHANGE; }));
    }

    std::vector<std::pair<uint32_t, uint64_t>> m_notified;
};

TEST_F(EngineSearchTest, PdfMatchesAreSelectedPageByPageForwardAndBackwardUntilNoneIsLeft) {
    ASSERT_EQ(View("two.pdf"), 0);
    m_notified.clear();
    // "alpha" on page 1, "beta" on page 2 (pages count from 0 in positions).
    ASSERT_EQ(Search("beta"), 0);
    EXPECT_EQ(Selection(), (Selected{1, 0, 4}));
    EXPECT_EQ(SelChanges(), 1);
    EXPECT_GT(Widget()->verticalScrollBar()->value(), 0);  // the second page came into view
    EXPECT_EQ(Next(LYDVW_SEARCH_FORWARD), LYDVW_E_NOT_FOUND);
    EXPECT_EQ(Selection(), (Selected{1, 0, 4}));  // nothing found leaves the selection
    EXPECT_EQ(SelChanges(), 1);

    // Backward from the top starts at the end: every "a" from the last to the first, then none.
    ASSERT_EQ(Search("A", LYDVW_SEARCH_BACKWARD), 0);
    EXPECT_EQ(Selection(), (Selected{1, 3, 4}));
    const std::vector<Selected> before = {{0, 4, 5}, {0, 0, 1}};
    for (const Selected& expected : before) {
        ASSERT_EQ(Next(LYDVW_SEARCH_SAME), 0);
        EXPECT_EQ(Selection(), expected);
    }
    EXPECT_EQ(Next(LYDVW_SEARCH_SAME), LYDVW_E_NOT_FOUND);
    EXPECT_EQ(Widget()->verticalScrollBar()->value(), 0);
    // Turned forward, it goes on after the selection and crosses into the next page.
    ASSERT_EQ(Next(LYDVW_SEARCH_FORWARD), 0);
    EXPECT_EQ(Selection(), (Selected{0, 4, 5}));
    ASSERT_EQ(Next(LYDVW_SEARCH_SAME), 0);
    EXPECT_EQ(Selection(), (Selected{1, 3, 4}));
}

TEST_F(EngineSearchTest, CaseStartAndFormOfTheRecordDecideWhatIsFound) {
    ASSERT_EQ(View("two.pdf"), 0);
    EXPECT_EQ(Search("BETA", LYDVW_SEARCH_FORWARD, LYDVW_SEARCH_FROM_TOP, LYDVW_SEARCH_MATCH_CASE),
              LYDVW_E_NOT_FOUND);
    EXPECT_FALSE(Selection());
    EXPECT_EQ(Search("BETA"), 0);
    // From the selection on the second page, "alpha" lies behind; backward it is found.
    EXPECT_EQ(Search("alpha", LYDVW_SEARCH_FORWARD, LYDVW_SEARCH_FROM_SELECTION), LYDVW_E_NOT_FOUND);
    EXPECT_EQ(Search("alpha", LYDVW_SEARCH_BACKWARD, LYDVW_SEARCH_FROM_SELECTION), 0);
    EXPECT_EQ(Selection(), (Selected{0, 0, 5}));
    // From the page at the top of the view: the second page once the view shows it.
    ASSERT_EQ(m_api.request(m_view, LYDVW_R_VSCROLL, LYDVW_SCROLL_NEXT_PAGE, 0), 0);
    EXPECT_EQ(Search("a", LYDVW_SEARCH_FORWARD, LYDVW_SEARCH_FROM_PAGE), 0);
    EXPECT_EQ(Selection(), (Selected{1, 3, 4}));
    EXPECT_EQ(Search("alpha", LYDVW_SEARCH_FORWARD, LYDVW_SEARCH_FROM_PAGE), LYDVW_E_NOT_FOUND);

    // The wide form: any text, here with characters outside Windows-1252.
    testsupport::WriteFile(m_temp.Path() / "wide.txt", "\xCE\xB1\xCE\xB2 one \xCE\xB2\xCE\xB3\n");
    ASSERT_EQ(View("wide.txt"), 0);
    LydvwSearchWide wide{};
    wide.size = sizeof wide;
    const std::u16string text = u"\u0392\u0393";  // capitals of the last word
    std::memcpy(wide.text, text.data(), text.size() * 2);
    wide.length = static_cast<uint16_t>(text.size());
    wide.type = LYDVW_SEARCH_ANY_CASE;
    wide.from = LYDVW_SEARCH_FROM_TOP;
    wide.direction = LYDVW_SEARCH_FORWARD;
    ASSERT_EQ(Request(LYDVW_R_SEARCH, 0, &wide), 0);
    EXPECT_EQ(Selection(), (Selected{0, 7, 9}));
    // Only as long as the length says.
    wide.length = 1;
    ASSERT_EQ(Request(LYDVW_R_SEARCH, 0, &wide), 0);
    EXPECT_EQ(Selection(), (Selected{0, 1, 2}));
}

TEST_F(EngineSearchTest, TextMatchesComeIntoViewAndSearchNextEndsWithNotFound) {
    std::string text;
    for (int line = 0; line < 200; ++line)
        text += line == 150 ? "here is the needle\n" : "line " + std::to_string(line) + "\n";
    testsupport::WriteFile(m_temp.Path() / "long.txt", text);
    ASSERT_EQ(View("long.txt"), 0);
    ASSERT_EQ(Search("NEEDLE"), 0);
    const int offset = static_cast<int>(text.find("needle"));
    EXPECT_EQ(Selection(), (Selected{0, offset, offset + 6}));
    QScrollBar* bar = Widget()->verticalScrollBar();
    EXPECT_GT(bar->value(), 0);
    EXPECT_LT(bar->value(), bar->maximum());
    EXPECT_EQ(Next(LYDVW_SEARCH_FORWARD), LYDVW_E_NOT_FOUND);

    ASSERT_EQ(View("notes.txt"), 0);  // "first line\nsecond line\n"
    ASSERT_EQ(Search("line"), 0);
    EXPECT_EQ(Selection(), (Selected{0, 6, 10}));
    ASSERT_EQ(Next(LYDVW_SEARCH_SAME), 0);
    EXPECT_EQ(Selection(), (Selected{0, 18, 22}));
    EXPECT_EQ(Next(LYDVW_SEARCH_SAME), LYDVW_E_NOT_FOUND);
}

TEST_F(EngineSearchTest, RecordsAndDocumentsItCannotSearchAreAnswered) {
    EXPECT_EQ(Search("a"), LYDVW_E_NO_FILE);
    EXPECT_EQ(Next(LYDVW_SEARCH_FORWARD), LYDVW_E_NO_FILE);
    ASSERT_EQ(View("red.png"), 0);
    EXPECT_EQ(Search("e"), LYDVW_E_NOT_FOUND);
    ASSERT_EQ(View("notes.txt"), 0);
    EXPECT_EQ(Next(LYDVW_SEARCH_FORWARD), 0);  // the last search's text, in this document

    LydvwSearch bad = Narrow("line", LYDVW_SEARCH_ANY_CASE, LYDVW_SEARCH_FROM_TOP, LYDVW_SEARCH_FORWARD);
    struct Row {
        const char* name;
        void (*spoil)(LydvwSearch&);
    };
    const Row rows[] = {
        {"wrong size", [](LydvwSearch& r) { r.size = 90; }},
        {"unterminated", [](LydvwSearch& r) { std::memset(r.text, 'x', sizeof r.text); }},
        {"empty", [](LydvwSearch& r) { r.length = 0; }},
        {"type 3", [](LydvwSearch& r) { r.type = 3; }},
        {"from 3", [](LydvwSearch& r) { r.from = 3; }},
        {"direction 0", [](LydvwSearch& r) { r.direction = 0; }},
    };
    for (const Row& row : rows) {
        LydvwSearch record = bad;
        row.spoil(record);
        EXPECT_EQ(Request(LYDVW_R_SEARCH, 0, &record), LYDVW_E_ARGUMENT) << row.name;
    }
    EXPECT_EQ(m_api.request(m_view, LYDVW_R_SEARCH, 0, 0), LYDVW_E_ARGUMENT);
    EXPECT_EQ(Next(3), LYDVW_E_ARGUMENT);
    // The dialog takes the 8-bit record only.
    LydvwSearchWide wide{};
    wide.size = sizeof wide;
    wide.text[0] = u'l';
    wide.length = 1;
    wide.type = wide.from = wide.direction = 1;
    EXPECT_EQ(Request(LYDVW_R_SEARCH_DIALOG, 0, &wide), LYDVW_E_ARGUMENT);
}

TEST_F(EngineSearchTest, TheDialogSearchesAsTheUserAsksAndAnswersItsLastSearch) {
    ASSERT_EQ(View("two.pdf"), 0);
    // The user changes the text, searches twice (found, then nothing more), and closes the dialog.
    QString status;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->findChild<QLineEdit*>("text")->text(), "alp");
        EXPECT_TRUE(dialog->findChild<QRadioButton*>("down")->isChecked());
        dialog->findChild<QLineEdit*>("text")->setText("beta");
        auto* find = dialog->findChild<QPushButton*>("find");
        find->click();
        status = dialog->findChild<QLabel*>("status")->text();
        find->click();
        EXPECT_EQ(dialog->findChild<QLabel*>("status")->text(), "The requested item could not be found");
        dialog->reject();
    });
    m_notified.clear();
    const LydvwSearch first =
        Narrow("alp", LYDVW_SEARCH_ANY_CASE, LYDVW_SEARCH_FROM_TOP, LYDVW_SEARCH_FORWARD);
    EXPECT_EQ(Request(LYDVW_R_SEARCH_DIALOG, 0, &first), LYDVW_E_NOT_FOUND);
    EXPECT_EQ(status, "");
    EXPECT_EQ(Selection(), (Selected{1, 0, 4}));
    std::vector<uint64_t> enable;
    for (const auto& [id, value] : m_notified) {
        if (id == LYDVW_N_ENABLE_APP)
            enable.push_back(value);
    }
    EXPECT_EQ(enable, (std::vector<uint64_t>{0, 1}));  // the host's windows wait while it is up
    // Search next goes on with what the dialog searched, backward as asked.
    EXPECT_EQ(Next(LYDVW_SEARCH_BACKWARD), LYDVW_E_NOT_FOUND);

    // Closed without a search: cancelled.
    QTimer::singleShot(0, [] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            dialog->reject();
    });
    EXPECT_EQ(Request(LYDVW_R_SEARCH_DIALOG, 0, &first), LYDVW_E_CANCELLED);
}

TEST_F(EngineSearchTest, PdfPagesTakeTheVectorZoomUntilAnotherDocumentOpens) {
    ASSERT_EQ(View("two.pdf"), 0);
    const QSize fitted = PdfPageSize();
    EXPECT_EQ(Widget()->horizontalScrollBar()->maximum(), 0);  // the width fits by default
    Settle();
    const QSize viewport = Widget()->viewport()->size();

    ZoomType(LYDVW_OPT_VEC_ZOOM_TYPE, LYDVW_ZOOM_ACTUAL);
    const QSize actual = PdfPageSize();
    // An A4 page's points at the screen's resolution.
    EXPECT_NEAR(actual.width(), 595.3 * Widget()->logicalDpiX() / 72.0, 2);
    EXPECT_NEAR(actual.height(), 841.9 * Widget()->logicalDpiX() / 72.0, 2);

    SetOption(LYDVW_OPT_VEC_ZOOM, LydvwZoom{200, 100, 50, 100});
    const QSize custom = PdfPageSize();
    EXPECT_NEAR(custom.width(), actual.width() * 2, 2);
    EXPECT_NEAR(custom.height(), actual.height() / 2, 2);

    ZoomType(LYDVW_OPT_VEC_ZOOM_TYPE, LYDVW_ZOOM_WHOLE_PAGE);
    const QSize whole = PdfPageSize();
    EXPECT_EQ(Widget()->horizontalScrollBar()->maximum(), 0);
    EXPECT_EQ(whole.height(), Widget()->viewport()->height());
    // Drawn so: the view's background beside the page, paper at its middle.
    const QImage shown = Widget()->grab().toImage();
    EXPECT_EQ(shown.pixelColor(2, 5), QColor(Qt::gray));
    EXPECT_EQ(shown.pixelColor(viewport.width() / 2, 5), QColor(Qt::white));

    ZoomType(LYDVW_OPT_VEC_ZOOM_TYPE, LYDVW_ZOOM_FIT_HEIGHT);
    EXPECT_EQ(PdfPageSize().height(), Widget()->viewport()->height());
    ZoomType(LYDVW_OPT_VEC_ZOOM_TYPE, LYDVW_ZOOM_FIT_WIDTH);
    EXPECT_EQ(Widget()->horizontalScrollBar()->maximum(), 0);
    EXPECT_GT(PdfPageSize().height(), whole.height());

    // The bitmap options are the images', and values that are no zoom change nothing.
    ZoomType(LYDVW_OPT_VEC_ZOOM_TYPE, LYDVW_ZOOM_ACTUAL);
    ZoomType(LYDVW_OPT_BMP_ZOOM_TYPE, LYDVW_ZOOM_WHOLE_PAGE);
    ZoomType(LYDVW_OPT_VEC_ZOOM_TYPE, 9);
    SetOption(LYDVW_OPT_VEC_ZOOM, LydvwZoom{0, 100, 50, 100});
    EXPECT_EQ(PdfPageSize(), actual);
    // A zoom past what a page picture may hold is shown smaller, at the page's proportions.
    SetOption(LYDVW_OPT_VEC_ZOOM, LydvwZoom{100000, 100, 100000, 100});
    const QSize huge = PdfPageSize();
    EXPECT_LE(double(huge.width()) * huge.height(), 33.0 * 1024 * 1024);
    EXPECT_NEAR(double(huge.width()) / huge.height(), double(actual.width()) / actual.height(), 0.01);

    ASSERT_EQ(View("two.pdf"), 0);
    EXPECT_EQ(PdfPageSize(), fitted);
}

TEST_F(EngineSearchTest, ImagesTakeTheBitmapZoom) {
    ASSERT_EQ(View("red.png"), 0);  // 40x30
    EXPECT_EQ(RedPixels(), 40 * 30);
    SetOption(LYDVW_OPT_BMP_ZOOM, LydvwZoom{300, 100, 200, 100});
    EXPECT_EQ(RedPixels(), 120 * 60);
    SetOption(LYDVW_OPT_VEC_ZOOM, LydvwZoom{100, 100, 100, 100});
    EXPECT_EQ(RedPixels(), 120 * 60);
    ZoomType(LYDVW_OPT_BMP_ZOOM_TYPE, LYDVW_ZOOM_ACTUAL);
    EXPECT_EQ(RedPixels(), 40 * 30);
    // Fitted whole into the 400x300 view: as high as the view, at its proportions.
    ZoomType(LYDVW_OPT_BMP_ZOOM_TYPE, LYDVW_ZOOM_WHOLE_PAGE);
    const int red = RedPixels();
    const QSize view = Widget()->viewport()->size();
    const int height = std::min(view.height(), view.width() * 30 / 40);
    EXPECT_NEAR(red, height * 4 / 3 * height, height * 4);
}

TEST_F(EngineSearchTest, FullScreenFillsTheScreenAndEscapeReturns) {
    const QRect inHost(0, 0, 400, 300);
    const auto fullScreen = [&] {
        return Widget()->isWindow() && (Widget()->windowState() & Qt::WindowFullScreen) &&
               Widget()->geometry() == Widget()->screen()->geometry();
    };
    ASSERT_EQ(View("red.png"), 0);
    SetOption(LYDVW_OPT_VEC_FULL_SCREEN, int32_t{1});  // the PDF pages' option: no image goes full screen
    EXPECT_FALSE(Widget()->isWindow());
    SetOption(LYDVW_OPT_BMP_FULL_SCREEN, int32_t{1});
    EXPECT_TRUE(fullScreen());
    EXPECT_EQ(RedPixels(), 40 * 30);
    m_notified.clear();
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(Widget(), &escape);
    EXPECT_FALSE(Widget()->isWindow());
    EXPECT_EQ(Widget()->geometry(), inHost);
    EXPECT_EQ(m_notified.front(), std::make_pair(uint32_t{LYDVW_N_KEYDOWN}, uint64_t{Qt::Key_Escape}));
    // Escape in the view in its host is only a key.
    QApplication::sendEvent(Widget(), &escape);
    EXPECT_EQ(Widget()->geometry(), inHost);

    ASSERT_EQ(View("two.pdf"), 0);
    SetOption(LYDVW_OPT_VEC_FULL_SCREEN, int32_t{1});
    EXPECT_TRUE(fullScreen());
    SetOption(LYDVW_OPT_BMP_FULL_SCREEN, int32_t{0});  // returning is right whatever is shown
    EXPECT_FALSE(Widget()->isWindow());
    EXPECT_EQ(Widget()->geometry(), inHost);
    // The full-screen view goes with its document.
    SetOption(LYDVW_OPT_VEC_FULL_SCREEN, int32_t{1});
    ASSERT_TRUE(fullScreen());
    ASSERT_EQ(m_api.request(m_view, LYDVW_R_CLOSE, 0, 0), 0);
    EXPECT_FALSE(Widget()->isWindow());
    EXPECT_EQ(Widget()->geometry(), inHost);
}

}  // namespace
}  // namespace docview
