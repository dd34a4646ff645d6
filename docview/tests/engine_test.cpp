// The real engine on generated fixtures: a two-page PDF, a PNG and a text file show with their file
// information and type; damaged, empty, missing and folder inputs are refused with the engine's ids.
#include <gtest/gtest.h>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialog>
#include <QDropEvent>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <optional>
#include <random>
#include <vector>

#include "docview/engine_binding.h"
#include "docview/tests/doc_fixtures.h"
#include "docview/tests/engine_view.h"
#include "testsupport/test_support.h"

namespace docview {
namespace {

struct Notified {
    uint32_t id;
    uint64_t lparam;
};

int g_statCalls = 0;

// What the recording host answers the context-menu notification.
int64_t g_contextMenuAnswer = 0;

int64_t Record(void* context, uint32_t id, uint64_t, uint64_t lparam) {
    static_cast<std::vector<Notified>*>(context)->push_back({id, lparam});
    return id == LYDVW_N_CONTEXT_MENU ? g_contextMenuAnswer : 0;
}

class EngineTest : public testing::EngineViewTest {
  protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(OpenView(Record, &m_notified, QSize(400, 500))); }

    QWidget* Widget() const { return ViewWidget(); }
    int64_t View(const std::string& path, uint32_t viewAs = 0) { return ViewPath(path, viewAs); }
    LydvwFileInfo Info() {
        LydvwFileInfo info{};
        info.size = sizeof info;
        EXPECT_EQ(m_api.request(m_view, LYDVW_R_FILE_INFO, 0, reinterpret_cast<uint64_t>(&info)), 0);
        return info;
    }
    uint32_t Type() {
        LydvwEngineName name{};
        name.size = sizeof name;
        EXPECT_EQ(m_api.request(m_view, LYDVW_R_ENGINE_NAME, 0, reinterpret_cast<uint64_t>(&name)), 0);
        return name.type;
    }
    int InkPixels() { return testing::InkPixels(*Widget()); }

    std::vector<Notified> m_notified;
};

TEST_F(EngineTest, DocumentsShowWithTypeAndFileInformation) {
    struct Row {
        std::string file;
        uint32_t type;
        uint32_t fileId;
    };
    const Row rows[] = {{"two.pdf", LYDVW_TYPE_PDF, LYDVW_FI_PDF},
                        {"red.png", LYDVW_TYPE_IMAGE, LYDVW_FI_PNG},
                        {"notes.txt", LYDVW_TYPE_TEXT, LYDVW_FI_TEXT_UTF8}};
    for (const Row& row : rows) {
        m_notified.clear();
        ASSERT_EQ(View(Path(row.file)), 0) << row.file;
        // Opened, then another kind of display, then the whole file read.
        std::vector<uint32_t> ids;
        for (const Notified& n : m_notified) {
            if (n.id == LYDVW_N_FILE_CHANGE || n.id == LYDVW_N_ENGINE_CHANGE ||
                n.id == LYDVW_N_READ_AHEAD_DONE)
                ids.push_back(n.id);
        }
        ASSERT_GE(ids.size(), 3u);
        EXPECT_EQ(
            std::vector<uint32_t>(ids.end() - 3, ids.end()),
            (std::vector<uint32_t>{LYDVW_N_FILE_CHANGE, LYDVW_N_ENGINE_CHANGE, LYDVW_N_READ_AHEAD_DONE}));
        EXPECT_EQ(Type(), row.type) << row.file;
        const LydvwFileInfo info = Info();
        EXPECT_EQ(info.file_id, row.fileId) << row.file;
        EXPECT_STREQ(info.file_name, Path(row.file).c_str());
        EXPECT_GT(InkPixels(), 0) << row.file;
        if (row.type == LYDVW_TYPE_PDF) {
            // The page's blank margin is paper, not the view's background.
            EXPECT_EQ(Widget()->grab().toImage().pixelColor(20, 5), QColor(Qt::white));
        }
    }
    m_notified.clear();
    EXPECT_EQ(m_api.request(m_view, LYDVW_R_CLOSE, 0, 0), 0);
    ASSERT_FALSE(m_notified.empty());
    EXPECT_EQ(m_notified.back().id, static_cast<uint32_t>(LYDVW_N_FILE_CHANGE));
    EXPECT_EQ(m_notified.back().lparam & 1u, 1u);
    EXPECT_EQ(Type(), static_cast<uint32_t>(LYDVW_TYPE_NONE));
}

TEST_F(EngineTest, BadInputIsRefusedWithTheEnginesIds) {
    const std::string pdf = testsupport::ReadFile(Path("two.pdf"));
    testsupport::WriteFile(Path("cut.pdf"), pdf.substr(0, 40));
    testsupport::WriteFile(Path("empty.txt"), "");
    testsupport::WriteFile(Path("archive.gz"), std::string("\x1F\x8B\x08\0\0\0", 6));
    const std::string png = testsupport::ReadFile(Path("red.png"));
    testsupport::WriteFile(Path("cut.png"), png.substr(0, 20));
    struct Row {
        std::string path;
        int64_t answer;
    };
    const Row rows[] = {{Path("cut.pdf"), LYDVW_E_DAMAGED},     {Path("cut.png"), LYDVW_E_DAMAGED},
                        {Path("empty.txt"), LYDVW_E_EMPTY},     {Path("missing"), LYDVW_E_MISSING},
                        {m_temp.Path().string(), LYDVW_E_KIND}, {Path("archive.gz"), LYDVW_E_KIND}};
    for (const Row& row : rows)
        EXPECT_EQ(View(row.path), row.answer) << row.path;
    // Still working afterwards.
    EXPECT_EQ(View(Path("notes.txt")), 0);
}

// ---- Served documents, on a record of the test's own ----

// A document served from memory through a record; counts what the engine does with it.
struct ServedRecord {
    LydvwRedirect record{};
    std::string content;
    size_t pos = 0;
    int closes = 0;
    bool failReads = false;

    static ServedRecord& Of(LydvwRedirect* r) { return *static_cast<ServedRecord*>(r->context); }
    explicit ServedRecord(std::string bytes, bool wide = true) : content(std::move(bytes)) {
        record.size = sizeof record;
        record.context = this;
        record.close = [](LydvwRedirect* r) {
            ++Of(r).closes;
            return 0;
        };
        record.read = [](LydvwRedirect* r, void* buffer, uint32_t size, uint32_t* count) {
            ServedRecord& self = Of(r);
            if (self.failReads)
                return -1;
            const size_t n =
                std::min<size_t>(size, self.content.size() - std::min(self.pos, self.content.size()));
            std::memcpy(buffer, self.content.data() + self.pos, n);
            self.pos += n;
            *count = static_cast<uint32_t>(n);
            return 0;
        };
        record.seek = [](LydvwRedirect* r, int32_t from, int32_t offset) {
            ServedRecord& self = Of(r);
            self.pos = static_cast<size_t>((from == LYDVW_SEEK_END ? self.content.size() : 0) + offset);
            return 0;
        };
        record.tell = [](LydvwRedirect* r, uint32_t* offset) {
            *offset = static_cast<uint32_t>(Of(r).pos);
            return 0;
        };
        if (wide) {
            record.seek64 = [](LydvwRedirect* r, int32_t from, int64_t offset) {
                return r->seek(r, from, static_cast<int32_t>(offset));
            };
            record.tell64 = [](LydvwRedirect* r, int64_t* offset) {
                uint32_t value = 0;
                const int32_t result = r->tell(r, &value);
                *offset = value;
                return result;
            };
        }
    }
};

TEST_F(EngineTest, AServedDocumentIsReadThroughItsRecordAndClosedOnce) {
    const std::string pdf = testsupport::ReadFile(Path("two.pdf"));
    struct Row {
        std::string content;
        bool wide;
        bool failReads;
        int64_t answer;
        int closesWhileShown;
    };
    const Row rows[] = {
        {pdf, true, false, 0, 0},
        {pdf, false, false, 0, 0},
        {testsupport::ReadFile(Path("red.png")), false, false, 0, 1},
        {"served text\n", true, false, 0, 1},
        {pdf.substr(0, 40), true, false, LYDVW_E_DAMAGED, 1},
        {"", true, false, LYDVW_E_EMPTY, 1},
        {pdf, true, true, LYDVW_E_MISSING, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.content.size()) + (row.wide ? " wide" : " narrow"));
        ServedRecord served(row.content, row.wide);
        served.failReads = row.failReads;
        LydvwViewFile record{};
        record.size = sizeof record;
        record.spec_type = LYDVW_SPEC_REDIRECT;
        record.spec = reinterpret_cast<uint64_t>(&served.record);
        // Never deleted: a served document has no file of its own.
        record.delete_on_close = 1;
        EXPECT_EQ(m_api.request(m_view, LYDVW_R_VIEW_FILE, 0, reinterpret_cast<uint64_t>(&record)),
                  row.answer);
        if (row.answer == 0) {
            EXPECT_GT(InkPixels(), 0);
        }
        EXPECT_EQ(served.closes, row.closesWhileShown);
        EXPECT_EQ(m_api.request(m_view, LYDVW_R_CLOSE, 0, 0), 0);
        EXPECT_EQ(served.closes, 1);
    }
    EXPECT_TRUE(std::filesystem::exists(Path("two.pdf")));
}

TEST_F(EngineTest, UnknownDataShowsAsTextUnlessTheFallbackIsDontView) {
    std::mt19937 random(7);
    std::string bytes(5000, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    testsupport::WriteFile(Path("noise.bin"), bytes);
    ASSERT_EQ(View(Path("noise.bin")), 0);
    EXPECT_EQ(Type(), static_cast<uint32_t>(LYDVW_TYPE_TEXT));
    EXPECT_EQ(Info().file_id, static_cast<uint32_t>(LYDVW_FI_TEXT_1252));

    uint32_t dontView = LYDVW_FI_DONT_VIEW;
    LydvwOptionBlock block{sizeof block, 0x52779, LYDVW_OPT_CURRENT, 0,
                           reinterpret_cast<uint64_t>(&dontView)};
    ASSERT_EQ(m_api.request(m_view, LYDVW_R_SET_OPTION, 0, reinterpret_cast<uint64_t>(&block)), 0);
    EXPECT_EQ(View(Path("noise.bin")), LYDVW_E_DONT_VIEW);
    // Text that is recognised as text is not affected.
    EXPECT_EQ(View(Path("notes.txt")), 0);
}

int32_t CountStat(LydvwView*) {
    ++g_statCalls;
    return 0;
}

TEST_F(EngineTest, DeleteOnCloseRemovesOnlyTheRegularFileItOpened) {
    const auto viewDeleting = [&](const std::string& path) {
        LydvwViewFile record{};
        record.size = sizeof record;
        record.spec_type = LYDVW_SPEC_ANSI;
        record.spec = reinterpret_cast<uint64_t>(path.c_str());
        record.delete_on_close = 1;
        return m_api.request(m_view, LYDVW_R_VIEW_FILE, 0, reinterpret_cast<uint64_t>(&record));
    };
    const std::string copy = Path("copy.txt");
    testsupport::WriteFile(copy, "to be deleted\n");
    ASSERT_EQ(viewDeleting(copy), 0);
    EXPECT_EQ(m_api.request(m_view, LYDVW_R_CLOSE, 0, 0), 0);
    EXPECT_FALSE(std::filesystem::exists(copy));

    // Replaced by a link to another file while open: neither the link nor its target is removed.
    testsupport::WriteFile(copy, "to be deleted\n");
    ASSERT_EQ(viewDeleting(copy), 0);
    std::filesystem::remove(copy);
    std::filesystem::create_symlink(Path("notes.txt"), copy);
    EXPECT_EQ(m_api.request(m_view, LYDVW_R_CLOSE, 0, 0), 0);
    EXPECT_TRUE(std::filesystem::is_symlink(copy));
    EXPECT_TRUE(std::filesystem::exists(Path("notes.txt")));

    // Opening the next document closes the first one, which is then deleted.
    const std::string other = Path("other.txt");
    testsupport::WriteFile(other, "x\n");
    ASSERT_EQ(viewDeleting(other), 0);
    ASSERT_EQ(View(Path("notes.txt")), 0);
    EXPECT_FALSE(std::filesystem::exists(other));
}

TEST_F(EngineTest, TheStatusCallbackIsCalledWhileLoadingUntilRemoved) {
    g_statCalls = 0;
    m_api.setStatCallback(CountStat, m_view, 0);
    ASSERT_EQ(View(Path("two.pdf")), 0);
    EXPECT_GT(g_statCalls, 0);
    m_api.setStatCallback(nullptr, m_view, 0);
    g_statCalls = 0;
    ASSERT_EQ(View(Path("red.png")), 0);
    EXPECT_EQ(g_statCalls, 0);
}

TEST_F(EngineTest, ADroppedFileIsOfferedToTheHostOnlyWhenDropsAreEnabled) {
    const auto drop = [&] {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QString::fromStdString(Path("notes.txt")))});
        QWidget* target = static_cast<QAbstractScrollArea*>(Widget())->viewport();
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &dropped);
    };
    drop();
    EXPECT_TRUE(m_notified.empty());
    EXPECT_EQ(Type(), static_cast<uint32_t>(LYDVW_TYPE_NONE));

    int32_t on = 1;
    LydvwOptionBlock block{sizeof block, 0x52A35, LYDVW_OPT_CURRENT, 0, reinterpret_cast<uint64_t>(&on)};
    ASSERT_EQ(m_api.request(m_view, LYDVW_R_SET_OPTION, 0, reinterpret_cast<uint64_t>(&block)), 0);
    drop();
    ASSERT_FALSE(m_notified.empty());
    EXPECT_EQ(m_notified.front().id, static_cast<uint32_t>(LYDVW_N_VIEW_THIS_FILE));
    // The recording host does not take the file over, so the view opens it itself.
    EXPECT_TRUE(std::any_of(m_notified.begin(), m_notified.end(),
                            [](const Notified& n) { return n.id == LYDVW_N_FILE_CHANGE && n.lparam == 0; }));
    EXPECT_EQ(Type(), static_cast<uint32_t>(LYDVW_TYPE_TEXT));
    EXPECT_STREQ(Info().file_name, Path("notes.txt").c_str());
}

TEST_F(EngineTest, ScrollingAndKeysAreNotified) {
    ASSERT_EQ(View(Path("two.pdf")), 0);
    const auto has = [&](uint32_t id) {
        return std::any_of(m_notified.begin(), m_notified.end(),
                           [&](const Notified& n) { return n.id == id; });
    };
    EXPECT_TRUE(has(LYDVW_N_VSCROLL_RANGE));
    m_notified.clear();
    QKeyEvent key(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
    QApplication::sendEvent(Widget(), &key);
    ASSERT_FALSE(m_notified.empty());
    EXPECT_EQ(m_notified.front().id, static_cast<uint32_t>(LYDVW_N_KEYDOWN));
    EXPECT_EQ(m_notified.front().lparam, static_cast<uint64_t>(Qt::Key_PageDown));
    // Two pages do not fit 500 pixels, so the page-down key scrolls.
    EXPECT_TRUE(has(LYDVW_N_VSCROLL_POS));
}

TEST_F(EngineTest, UnsupportedRequestsAnswer17) {
    for (uint32_t request : {2029u}) {
        EXPECT_EQ(m_api.request(m_view, request, 0, 0), LYDVW_E_UNSUPPORTED) << request;
    }
}

TEST_F(EngineTest, TheArchiveSaveModeIsKeptAndReadBack) {
    int16_t how = 2;
    LydvwOptionBlock block{sizeof block, 0x52A95, LYDVW_OPT_CURRENT, 0, reinterpret_cast<uint64_t>(&how)};
    ASSERT_EQ(m_api.request(m_view, LYDVW_R_SET_OPTION, 0, reinterpret_cast<uint64_t>(&block)), 0);
    int16_t read = 0;
    block.data = reinterpret_cast<uint64_t>(&read);
    ASSERT_EQ(m_api.request(m_view, LYDVW_R_GET_OPTION, 0, reinterpret_cast<uint64_t>(&block)), 0);
    EXPECT_EQ(read, 2);
}

TEST_F(EngineTest, UnwrappedTextScrollsSidewaysAndScrollRequestsMoveTheView) {
    std::string longLines;
    for (int i = 0; i < 200; ++i)
        longLines += "line " + std::to_string(i) + " " + std::string(300, 'w') + "\n";
    testsupport::WriteFile(Path("long.txt"), longLines);
    int32_t noWrap = 0;
    LydvwOptionBlock block{sizeof block, 0x527DF, LYDVW_OPT_CURRENT, 0, reinterpret_cast<uint64_t>(&noWrap)};
    ASSERT_EQ(m_api.request(m_view, LYDVW_R_SET_OPTION, 0, reinterpret_cast<uint64_t>(&block)), 0);
    m_notified.clear();
    ASSERT_EQ(View(Path("long.txt")), 0);
    const auto last = [&](uint32_t id) -> std::optional<uint64_t> {
        for (auto it = m_notified.rbegin(); it != m_notified.rend(); ++it) {
            if (it->id == id)
                return it->lparam;
        }
        return std::nullopt;
    };
    ASSERT_TRUE(last(LYDVW_N_HSCROLL_RANGE));
    EXPECT_GT(*last(LYDVW_N_HSCROLL_RANGE) >> 16, 0u);
    EXPECT_EQ(last(LYDVW_N_HSCROLL_STATE), 1u);

    struct Row {
        uint32_t request;
        uint64_t operation;
        uint64_t position;
        int64_t answer;
        uint32_t notification;
        std::optional<uint64_t> value;
    };
    const Row rows[] = {
        {LYDVW_R_VSCROLL, LYDVW_SCROLL_TO, 120, 0, LYDVW_N_VSCROLL_POS, 120},
        {LYDVW_R_VSCROLL, LYDVW_SCROLL_START, 0, 0, LYDVW_N_VSCROLL_POS, 0},
        {LYDVW_R_VSCROLL, LYDVW_SCROLL_LINE_ON, 0, 0, LYDVW_N_VSCROLL_POS, 20},
        {LYDVW_R_HSCROLL, LYDVW_SCROLL_TO, 50, 0, LYDVW_N_HSCROLL_POS, 50},
        {LYDVW_R_HSCROLL, LYDVW_SCROLL_START, 0, 0, LYDVW_N_HSCROLL_POS, 0},
        {LYDVW_R_HSCROLL, LYDVW_SCROLL_LINE_ON, 0, LYDVW_E_ARGUMENT, 0, std::nullopt},
        {LYDVW_R_VSCROLL, 8, 0, LYDVW_E_ARGUMENT, 0, std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.request) + " " + std::to_string(row.operation));
        m_notified.clear();
        EXPECT_EQ(m_api.request(m_view, row.request, row.operation, row.position), row.answer);
        if (row.value)
            EXPECT_EQ(last(row.notification), row.value);
        else
            EXPECT_TRUE(m_notified.empty());
    }
}

TEST_F(EngineTest, TheContextMenuIsTheHostsFirstAndTheViewsOnlyWhenTheHostLeavesIt) {
    ASSERT_EQ(View(Path("notes.txt")), 0);
    QWidget* viewport = static_cast<QAbstractScrollArea*>(Widget())->viewport();
    const auto rightClick = [&] {
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(30, 40), QPoint(30, 40));
        QApplication::sendEvent(viewport, &event);
    };
    for (int64_t answer : {int64_t{1}, int64_t{0}}) {
        g_contextMenuAnswer = answer;
        m_notified.clear();
        rightClick();
        ASSERT_FALSE(m_notified.empty());
        EXPECT_EQ(m_notified.front().id, static_cast<uint32_t>(LYDVW_N_CONTEXT_MENU));
        EXPECT_EQ(m_notified.front().lparam, (40u << 16) | 30u);
        QMenu* menu = Widget()->findChild<QMenu*>();
        if (answer == 1) {
            EXPECT_EQ(menu, nullptr);
        } else {
            ASSERT_NE(menu, nullptr);
            QStringList texts;
            for (QAction* action : menu->actions())
                texts << action->text();
            EXPECT_TRUE(texts.contains("Display Options...")) << texts.join(",").toStdString();
            menu->close();
        }
    }
    g_contextMenuAnswer = 0;
}

TEST_F(EngineTest, TheDisplayOptionsDialogStoresWhatTheUserChangesAndReportsEachOption) {
    ASSERT_EQ(View(Path("notes.txt")), 0);
    // The user picks "Don't View", unticks wrapping and confirms; then opens it again and cancels.
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto* fallback = dialog->findChild<QComboBox*>("fallback");
        fallback->setCurrentIndex(fallback->findData(4006u));
        dialog->findChild<QCheckBox*>("wrap")->setChecked(false);
        dialog->accept();
    });
    m_notified.clear();
    EXPECT_EQ(m_api.request(m_view, LYDVW_R_OPTIONS_DIALOG, 0, LYDVW_DLG_DISPLAY), 0);
    std::vector<uint64_t> changed;
    for (const Notified& n : m_notified) {
        if (n.id == LYDVW_N_OPTION_CHANGE)
            changed.push_back(n.lparam);
    }
    EXPECT_EQ(changed, (std::vector<uint64_t>{0x52779, 0x527DF}));
    std::vector<uint64_t> enable;
    for (const Notified& n : m_notified) {
        if (n.id == LYDVW_N_ENABLE_APP)
            enable.push_back(n.lparam);
    }
    EXPECT_EQ(enable, (std::vector<uint64_t>{0, 1}));  // the host's windows wait while it is up
    uint32_t fallback = 0;
    LydvwOptionBlock block{sizeof block, 0x52779, LYDVW_OPT_CURRENT, 0,
                           reinterpret_cast<uint64_t>(&fallback)};
    ASSERT_EQ(m_api.request(m_view, LYDVW_R_GET_OPTION, 0, reinterpret_cast<uint64_t>(&block)), 0);
    EXPECT_EQ(fallback, static_cast<uint32_t>(LYDVW_FI_DONT_VIEW));

    QTimer::singleShot(0, [] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            dialog->reject();
    });
    EXPECT_EQ(m_api.request(m_view, LYDVW_R_OPTIONS_DIALOG, 0, LYDVW_DLG_DISPLAY), LYDVW_E_CANCELLED);
    EXPECT_EQ(m_api.request(m_view, LYDVW_R_OPTIONS_DIALOG, 0, 0x83AA0),
              LYDVW_E_UNSUPPORTED);  // no such dialog
}

TEST_F(EngineTest, TransparentPartsOfAnImageShowWhitePaper) {
    QImage png(40, 30, QImage::Format_ARGB32);
    png.fill(Qt::transparent);
    QPainter(&png).fillRect(20, 0, 20, 30, Qt::blue);
    ASSERT_TRUE(png.save(QString::fromStdString(Path("half.png")), "PNG"));
    ASSERT_EQ(View(Path("two.pdf")), 0);
    ASSERT_GT(InkPixels(), 0);
    ASSERT_EQ(View(Path("half.png")), 0);
    // At its natural size, centred at the top of the view.
    const QImage shown = Widget()->grab().toImage();
    const int left = (Widget()->width() - 40) / 2;
    EXPECT_EQ(shown.pixelColor(left + 5, 5), QColor(Qt::white));
    EXPECT_EQ(shown.pixelColor(left + 35, 5), QColor(Qt::blue));
}

// The view's scroll bar keeps its groove from one paint to the next: what it shows must be what the style
// paints for a bar in the same state, after scrolling and resizing too.
TEST_F(EngineTest, TheScrollBarLooksAsTheStylePaintsItAfterScrollingAndResizing) {
    ASSERT_EQ(View(Path("two.pdf")), 0);
    QApplication::processEvents();  // the scroll area lays out its bars
    QScrollBar* bar = nullptr;
    for (QScrollBar* candidate : Widget()->findChildren<QScrollBar*>()) {
        if (candidate->orientation() == Qt::Vertical)
            bar = candidate;
    }
    ASSERT_NE(bar, nullptr);
    ASSERT_TRUE(bar->isVisibleTo(Widget()));
    const auto expectStyleLook = [&](const char* step) {
        // Grabbing finishes any layout still pending, so the bar is measured after.
        const QImage shown = bar->grab().toImage();
        QScrollBar plain(Qt::Vertical);
        plain.setRange(bar->minimum(), bar->maximum());
        plain.setPageStep(bar->pageStep());
        plain.setValue(bar->value());
        plain.resize(bar->size());
        plain.setPalette(bar->palette());
        const QImage expected = plain.grab().toImage().convertToFormat(shown.format());
        ASSERT_EQ(shown.size(), expected.size()) << step;
        EXPECT_EQ(shown, expected) << step;
    };
    expectStyleLook("first paint");
    expectStyleLook("painted again");
    ASSERT_EQ(m_api.request(m_view, LYDVW_R_VSCROLL, LYDVW_SCROLL_END, 0), 0);
    expectStyleLook("at the end");
    Widget()->setGeometry(0, 0, 300, 350);
    QApplication::processEvents();
    ASSERT_TRUE(bar->isVisibleTo(Widget()));
    expectStyleLook("resized");
    bar->setPalette(QPalette(Qt::darkCyan));
    expectStyleLook("in other colours");
}

// ---- Positions ----

class EnginePositionsTest : public EngineTest {
  protected:
    int64_t Get(uint32_t method, LydvwPosition& result) {
        LydvwGetPosition record{};
        record.size = sizeof record;
        record.method = method;
        const int64_t answer =
            m_api.request(m_view, LYDVW_R_GET_POSITION, 0, reinterpret_cast<uint64_t>(&record));
        result = record.result;
        return answer;
    }
    int64_t Count(uint32_t kind, LydvwPosition& position, int32_t& count) {
        LydvwPositionCount record{};
        record.size = sizeof record;
        record.kind = kind;
        record.position = position;
        record.count = count;
        const int64_t answer =
            m_api.request(m_view, LYDVW_R_POSITION_COUNT, 0, reinterpret_cast<uint64_t>(&record));
        position = record.position;
        count = record.count;
        return answer;
    }
    int64_t Select(const LydvwPosition& anchor, const LydvwPosition& end) {
        LydvwSelection record{};
        record.size = sizeof record;
        record.anchor = anchor;
        record.end = end;
        return m_api.request(m_view, LYDVW_R_SET_SELECTION, 0, reinterpret_cast<uint64_t>(&record));
    }
    int64_t Compare(const LydvwPosition& a, const LydvwPosition& b) {
        const uint64_t records[2] = {reinterpret_cast<uint64_t>(&a), reinterpret_cast<uint64_t>(&b)};
        return m_api.request(m_view, LYDVW_R_COMPARE_POSITIONS, 0, reinterpret_cast<uint64_t>(records));
    }
    LydvwPosition Start() {
        LydvwPosition start{};
        int32_t count = 0;
        EXPECT_EQ(Count(LYDVW_COUNT_TO_POSITION, start, count), 0);
        return start;
    }
    static bool Same(const LydvwPosition& a, const LydvwPosition& b) {
        return a.change_id == b.change_id && a.extra_id == b.extra_id && a.page == b.page &&
               a.offset == b.offset;
    }
    int SelChanges() const {
        return static_cast<int>(std::count_if(m_notified.begin(), m_notified.end(),
                                              [](const Notified& n) { return n.id == LYDVW_N_SEL_CHANGE; }));
    }
};

TEST_F(EnginePositionsTest, PdfPositionsArePagesAndOffsetsThatCountAcrossPages) {
    ASSERT_EQ(View(Path("two.pdf")), 0);
    const LydvwPosition start = Start();
    EXPECT_EQ(start.page, 0);
    EXPECT_EQ(start.offset, 0);
    // The second page's third character counts the whole first page before it, and back.
    LydvwPosition onSecond{start.change_id, 0, 1, 2};
    int32_t count = 0;
    ASSERT_EQ(Count(LYDVW_POSITION_TO_COUNT, onSecond, count), 0);
    EXPECT_GE(count, 2 + 5);  // "alpha" at least
    LydvwPosition back{};
    int32_t again = count;
    ASSERT_EQ(Count(LYDVW_COUNT_TO_POSITION, back, again), 0);
    EXPECT_TRUE(Same(back, onSecond)) << back.page << " " << back.offset;
    EXPECT_EQ(Compare(start, onSecond), -1);
    EXPECT_EQ(Compare(onSecond, start), 1);
    EXPECT_EQ(Compare(onSecond, back), 0);

    // Places that are not in the document are refused.
    struct Row {
        const char* name;
        LydvwPosition position;
    };
    const Row rows[] = {{"a third page", {start.change_id, 0, 2, 0}},
                        {"a negative offset", {start.change_id, 0, 0, -1}},
                        {"beyond the page's text", {start.change_id, 0, 0, 100000}},
                        {"another document", {start.change_id + 1, 0, 0, 0}}};
    for (const Row& row : rows) {
        LydvwPosition position = row.position;
        int32_t ignored = 0;
        EXPECT_EQ(Count(LYDVW_POSITION_TO_COUNT, position, ignored), LYDVW_E_ARGUMENT) << row.name;
        EXPECT_EQ(Select(row.position, row.position), LYDVW_E_ARGUMENT) << row.name;
    }
    for (uint32_t request : {2087u, 2088u, 2089u, 2090u})
        EXPECT_EQ(m_api.request(m_view, request, 0, 0), LYDVW_E_ARGUMENT) << request;
    EXPECT_EQ(m_api.request(m_view, LYDVW_R_COMPARE_POSITIONS, 0, 0), 0);
    int32_t far = 1 << 30;
    LydvwPosition none{};
    EXPECT_EQ(Count(LYDVW_COUNT_TO_POSITION, none, far), LYDVW_E_ARGUMENT);
}

TEST_F(EnginePositionsTest, ASelectionIsKeptNotifiedDrawnAndForgottenWithItsDocument) {
    ASSERT_EQ(View(Path("two.pdf")), 0);
    LydvwPosition result{};
    EXPECT_EQ(Get(LYDVW_POS_SELECTION_ANCHOR, result), LYDVW_E_NOT_FOUND);
    const LydvwPosition start = Start();
    const QImage before = Widget()->grab().toImage();
    // Selected backwards: the anchor after the end.
    const LydvwPosition anchor{start.change_id, 0, 0, 5};
    m_notified.clear();
    ASSERT_EQ(Select(anchor, start), 0);
    EXPECT_EQ(SelChanges(), 1);
    struct Row {
        uint32_t method;
        LydvwPosition expected;
    };
    const Row rows[] = {{LYDVW_POS_SELECTION_ANCHOR, anchor},
                        {LYDVW_POS_SELECTION_END, start},
                        {LYDVW_POS_SELECTION_FIRST, start},
                        {LYDVW_POS_SELECTION_LAST, anchor}};
    for (const Row& row : rows) {
        ASSERT_EQ(Get(row.method, result), 0) << row.method;
        EXPECT_TRUE(Same(result, row.expected)) << row.method;
    }
    EXPECT_EQ(Get(3, result), LYDVW_E_NOT_FOUND);
    // "alpha" is highlighted.
    EXPECT_NE(Widget()->grab().toImage(), before);

    // Showing the second page scrolls to it.
    LydvwShowPosition show{};
    show.size = sizeof show;
    show.position = {start.change_id, 0, 1, 0};
    EXPECT_EQ(m_api.request(m_view, LYDVW_R_SHOW_POSITION, 0, reinterpret_cast<uint64_t>(&show)), 0);
    auto* area = static_cast<QAbstractScrollArea*>(Widget());
    EXPECT_GT(area->verticalScrollBar()->value(), 0);

    ASSERT_EQ(View(Path("two.pdf")), 0);
    EXPECT_EQ(Get(LYDVW_POS_SELECTION_ANCHOR, result), LYDVW_E_NOT_FOUND);
    EXPECT_EQ(Select(anchor, start), LYDVW_E_ARGUMENT);
}

TEST_F(EnginePositionsTest, TextIsOnePageOfItsCharacters) {
    ASSERT_EQ(View(Path("notes.txt")), 0);
    const LydvwPosition start = Start();
    LydvwPosition last{start.change_id, 0, 0, 0};
    int32_t count = 23;  // "first line\nsecond line\n"
    ASSERT_EQ(Count(LYDVW_COUNT_TO_POSITION, last, count), 0);
    EXPECT_EQ(last.page, 0);
    EXPECT_EQ(last.offset, 23);
    count = 24;
    EXPECT_EQ(Count(LYDVW_COUNT_TO_POSITION, last, count), LYDVW_E_ARGUMENT);
    const QImage before = Widget()->grab().toImage();
    ASSERT_EQ(Select(LydvwPosition{start.change_id, 0, 0, 11}, LydvwPosition{start.change_id, 0, 0, 17}), 0);
    EXPECT_NE(Widget()->grab().toImage(), before);
    EXPECT_EQ(Select(start, LydvwPosition{start.change_id, 0, 1, 0}), LYDVW_E_ARGUMENT);
}

TEST_F(EnginePositionsTest, SelectAllTakesEveryCharacterAndImagesHaveNoneToTake) {
    struct Row {
        const char* file;
        int64_t answer;
        int32_t lastPage;
    };
    const Row rows[] = {
        {"two.pdf", LYDVW_E_OK, 1}, {"notes.txt", LYDVW_E_OK, 0}, {"red.png", LYDVW_E_NOT_FOUND, -1}};
    for (const Row& row : rows) {
        ASSERT_EQ(View(Path(row.file)), 0) << row.file;
        m_notified.clear();
        ASSERT_EQ(m_api.request(m_view, LYDVW_R_SELECT_ALL, 0, 0), row.answer) << row.file;
        LydvwPosition first{};
        LydvwPosition last{};
        if (row.answer != LYDVW_E_OK) {
            EXPECT_EQ(Get(LYDVW_POS_SELECTION_FIRST, first), LYDVW_E_NOT_FOUND) << row.file;
            EXPECT_EQ(SelChanges(), 0) << row.file;
            continue;
        }
        EXPECT_EQ(SelChanges(), 1) << row.file;
        ASSERT_EQ(Get(LYDVW_POS_SELECTION_FIRST, first), 0);
        ASSERT_EQ(Get(LYDVW_POS_SELECTION_LAST, last), 0);
        EXPECT_TRUE(Same(first, Start())) << row.file;
        EXPECT_EQ(last.page, row.lastPage) << row.file;
        // The end is the last boundary of the document: one character further is refused.
        int32_t count = 0;
        ASSERT_EQ(Count(LYDVW_POSITION_TO_COUNT, last, count), 0) << row.file;
        LydvwPosition beyond{};
        int32_t further = count + 1;
        EXPECT_EQ(Count(LYDVW_COUNT_TO_POSITION, beyond, further), LYDVW_E_ARGUMENT) << row.file;
        // Selecting all again changes nothing and tells nobody.
        ASSERT_EQ(m_api.request(m_view, LYDVW_R_SELECT_ALL, 0, 0), 0);
        EXPECT_EQ(SelChanges(), 1) << row.file;
    }
}

TEST_F(EnginePositionsTest, CopyPutsTheSelectedWordsOnTheClipboard) {
    struct Row {
        const char* file;
        std::vector<QString> words;
    };
    const Row rows[] = {{"two.pdf", {"alpha", "beta"}}, {"notes.txt", {"first line", "second line"}}};
    for (const Row& row : rows) {
        ASSERT_EQ(View(Path(row.file)), 0) << row.file;
        QApplication::clipboard()->setText("before");
        // Nothing selected: nothing to copy, no error, the clipboard is left alone.
        EXPECT_EQ(m_api.request(m_view, LYDVW_R_COPY, 0, 0), 0) << row.file;
        EXPECT_EQ(QApplication::clipboard()->text(), "before") << row.file;
        EXPECT_EQ(m_api.request(m_view, LYDVW_R_CLIP_INFO, 0, 0), 0) << row.file;
        ASSERT_EQ(m_api.request(m_view, LYDVW_R_SELECT_ALL, 0, 0), 0) << row.file;
        EXPECT_EQ(m_api.request(m_view, LYDVW_R_CLIP_INFO, 0, 0), 1) << row.file;
        EXPECT_EQ(m_api.request(m_view, LYDVW_R_COPY, 0, 0), 0) << row.file;
        const QString copied = QApplication::clipboard()->text();
        for (const QString& word : row.words)
            EXPECT_TRUE(copied.contains(word)) << row.file << ": " << copied.toStdString();
    }
}

TEST_F(EnginePositionsTest, TheMouseAndShiftArrowsSelectWithSelChange) {
    const auto mouse = [&](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
        auto* area = static_cast<QAbstractScrollArea*>(Widget());
        QMouseEvent event(type, at, area->viewport()->mapToGlobal(at), Qt::LeftButton, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(area->viewport(), &event);
    };
    const auto drag = [&](QPoint from, QPoint to) {
        mouse(QEvent::MouseButtonPress, from, Qt::LeftButton);
        mouse(QEvent::MouseMove, to, Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, to, Qt::NoButton);
    };
    struct Row {
        const char* file;
        QPoint from;
        QPoint to;
        int endOffset;  // -1: any after the anchor
    };
    // "alpha" stands at about 16 to 87 pixels across and 18 to 39 down at this width; the text's first line
    // is at the top.
    const Row rows[] = {{"two.pdf", {14, 28}, {70, 28}, 4}, {"notes.txt", {1, 5}, {40, 5}, -1}};
    for (const Row& row : rows) {
        ASSERT_EQ(View(Path(row.file)), 0) << row.file;
        // A widget never shown is laid out at its size when first drawn.
        Widget()->grab();
        m_notified.clear();
        drag(row.from, row.to);
        EXPECT_GE(SelChanges(), 1) << row.file;
        LydvwPosition anchor{};
        LydvwPosition end{};
        ASSERT_EQ(Get(LYDVW_POS_SELECTION_ANCHOR, anchor), 0) << row.file;
        ASSERT_EQ(Get(LYDVW_POS_SELECTION_END, end), 0) << row.file;
        EXPECT_EQ(anchor.page, 0) << row.file;
        EXPECT_EQ(end.page, 0) << row.file;
        EXPECT_EQ(anchor.offset, 0) << row.file;
        EXPECT_GT(end.offset, anchor.offset) << row.file;
        if (row.endOffset >= 0) {
            // Past the middle of "h": "alph".
            EXPECT_EQ(end.offset, row.endOffset) << row.file;
        }

        m_notified.clear();
        QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::ShiftModifier);
        QApplication::sendEvent(Widget(), &right);
        LydvwPosition moved{};
        ASSERT_EQ(Get(LYDVW_POS_SELECTION_END, moved), 0);
        EXPECT_EQ(moved.offset, end.offset + 1) << row.file;
        EXPECT_EQ(SelChanges(), 1) << row.file;
    }
}

}  // namespace
}  // namespace docview
