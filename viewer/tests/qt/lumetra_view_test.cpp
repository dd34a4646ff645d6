// The viewer's window offscreen with the real document-view control, registered from the library the build
// makes: OpenFile's answers and the pane each document lands in, the browser pane's loads kept beside the
// document, and delete-on-close kept to the files that may be deleted.
#include "viewer/qt/lumetra_view.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMenuBar>
#include <QMessageBox>
#include <QTextDocument>
#include <QTimer>
#include <QUrl>
#include <filesystem>

#include "docview/fennick_contract.h"
#include "docview/tests/doc_fixtures.h"
#include "testsupport/dispatch_calls.h"
#include "testsupport/program_run.h"
#include "testsupport/test_support.h"
#include "viewer/qt/lumetra_frame.h"
#include "viewer/tests/qt/wait_for.h"
#include "viewer/tests/strict_word_processor.h"

namespace viewer {
namespace {

namespace fs = std::filesystem;
namespace automation = platform::automation;
using automation::Variant;

constexpr const char* kStylesheet = R"(<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="html"/>
  <xsl:template match="/letter"><html><body><h1>Dear <xsl:value-of select="to"/></h1></body></html></xsl:template>
</xsl:stylesheet>
)";

class LumetraViewTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        // Once per process: the control's library keeps the registry it first opened.
        static testsupport::TempFolder folder;
        s_root = &folder.Path();
        for (const char* name : {"home/docs", "tmp", "config", "root"}) {
            fs::create_directories(*s_root / name);
        }
        s_env = std::make_unique<testsupport::ScopedEnv>();
        s_env->Set("HOME", (*s_root / "home").string());
        s_env->Set("TMPDIR", (*s_root / "tmp").string());
        s_env->Set("XDG_CONFIG_HOME", (*s_root / "config").string());
        s_env->Set("CARROWLINE_ROOT", (*s_root / "root").string());
        const auto run = testsupport::RunProgram(CARROWLINE_REGISTER_COMPONENT, {CARROWLINE_FENNICK_LIBRARY});
        ASSERT_EQ(run.status, 0) << run.output;
        const fs::path docs = Docs();
        docview::testing::WriteDocuments(docs);
        testsupport::WriteFile(docs / "letter.xsl", kStylesheet);
        testsupport::WriteFile(docs / "remembered.xslt", kStylesheet);
        testsupport::WriteFile(
            docs / "letter.xml",
            "<?xml version=\"1.0\"?>\n<?xml-stylesheet type=\"text/xsl\" href=\"letter.xsl\"?>\n"
            "<letter><to>Ada</to></letter>\n");
        testsupport::WriteFile(docs / "plain.xml", "<letter><to>Grace</to></letter>\n");
        testsupport::WriteFile(docs / "bad.xml", "<letter><to>Ada</letter>\n");
        testsupport::WriteFile(docs / "page.html", "<html><body><p>hello page</p></body></html>\n");
    }
    static void TearDownTestSuite() { s_env.reset(); }
    static fs::path Docs() { return *s_root / "home" / "docs"; }

    void SetUp() override {
        m_frame = std::make_unique<CMainFrame>(LumetraLog());
        m_doc = std::make_shared<CLumetraDoc>(*m_frame, platform::Registry::Default(), LumetraLog(), m_word);
        m_frame->SetDocument(m_doc.get());
        m_frame->resize(500, 400);
        ASSERT_NE(View().Viewer(), nullptr) << "the document-view control was not created";
        // The control's own boxes would wait for a click.
        Variant ignored;
        automation::InvokeError error;
        ASSERT_EQ(View().Viewer()->Invoke(static_cast<automation::DISPID>(fennick::Dispid::ErrorShowMsg),
                                          automation::InvokeKind::PropertyPut,
                                          std::vector{Variant::Bool(false)}, &ignored, &error),
                  automation::S_OK);
    }
    void TearDown() override {
        m_frame->SetDocument(nullptr);
        m_doc.reset();
        m_frame.reset();
    }

    CLumetraView& View() { return *m_frame->View(); }
    std::string OpenFile(const std::string& name) {
        return testsupport::CallForText(*m_doc, "OpenFile", "C:\\docs\\" + name);
    }
    // Answers the next message box, keeping its text.
    void AnswerNextBox() {
        QTimer::singleShot(50, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                m_boxes.push_back(box->text().toStdString());
                box->accept();
            } else {
                AnswerNextBox();
            }
        });
    }

    static const fs::path* s_root;
    static std::unique_ptr<testsupport::ScopedEnv> s_env;
    NoWordProcessor m_word;
    std::unique_ptr<CMainFrame> m_frame;
    std::shared_ptr<CLumetraDoc> m_doc;
    std::vector<std::string> m_boxes;
};

const fs::path* LumetraViewTest::s_root = nullptr;
std::unique_ptr<testsupport::ScopedEnv> LumetraViewTest::s_env;

TEST_F(LumetraViewTest, OpenFileAnswersByWhatIsShownAndInWhichPane) {
    enum class Pane { Browser, Viewer };
    struct Case {
        const char* name;
        const char* answer;
        Pane pane;
        const char* browserText;  // part of what the browser shows, when it is the pane
    };
    const Case cases[] = {
        {"letter.xml", "0", Pane::Browser, "Dear Ada"},
        {"plain.xml", "0", Pane::Browser, "<letter><to>Grace</to></letter>"},  // no stylesheet: the source
        {"LETTER.XML", "1", Pane::Browser, ""},                                // case counts for the file
        {"bad.xml", "1", Pane::Browser, ""},
        {"missing.xml", "1", Pane::Browser, ""},
        {"two.pdf", "0", Pane::Viewer, nullptr},
        {"notes.txt", "0", Pane::Viewer, nullptr},
        {"page.html", "0", Pane::Viewer, nullptr},
        {"missing.pdf", "1", Pane::Viewer, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(OpenFile(c.name), c.answer);
        EXPECT_EQ(View().BrowserVisible(), c.pane == Pane::Browser);
        EXPECT_EQ(View().Browser()->isVisibleTo(&View()), c.pane == Pane::Browser);
        EXPECT_EQ(View().ViewerWidget()->isVisibleTo(&View()), c.pane == Pane::Viewer);
        if (c.browserText) {
            const QString shown = View().Browser()->toPlainText();
            EXPECT_EQ(shown.isEmpty(), std::string_view(c.browserText).empty()) << shown.toStdString();
            EXPECT_TRUE(shown.contains(QString::fromUtf8(c.browserText))) << shown.toStdString();
        }
    }
    EXPECT_TRUE(m_boxes.empty());
}

TEST_F(LumetraViewTest, ShownDocumentsNameTheWindowAndKeepAPrintCopy) {
    ASSERT_EQ(OpenFile("two.pdf"), "0");
    // The control's name for the document, as no title is given.
    const QString title = m_frame->windowTitle();
    EXPECT_TRUE(title.endsWith(QStringLiteral("two.pdf - Lumetra"))) << title.toStdString();
    EXPECT_EQ(testsupport::ReadFile(View().TempDocPath()), testsupport::ReadFile(Docs() / "two.pdf"));
    // Each viewer keeps its copy in its own folder.
    CMainFrame other{LumetraLog()};
    EXPECT_NE(other.View()->TempDocPath().parent_path(), View().TempDocPath().parent_path());
}

TEST_F(LumetraViewTest, TheModeAndSaveItemsFollowThePane) {
    ASSERT_EQ(OpenFile("notes.txt"), "0");
    for (ViewCommand mode : {ViewCommand::DraftMode, ViewCommand::NormalMode, ViewCommand::PreviewMode}) {
        EXPECT_TRUE(m_frame->ViewAction(mode)->isEnabled());
    }
    EXPECT_FALSE(m_frame->SaveAsAction()->isEnabled());
    m_frame->ViewAction(ViewCommand::DraftMode)->trigger();
    EXPECT_TRUE(m_frame->ViewAction(ViewCommand::DraftMode)->isChecked());
    EXPECT_FALSE(m_frame->ViewAction(ViewCommand::NormalMode)->isChecked());
    ASSERT_EQ(OpenFile("letter.xml"), "0");
    for (ViewCommand mode : {ViewCommand::DraftMode, ViewCommand::NormalMode, ViewCommand::PreviewMode}) {
        EXPECT_FALSE(m_frame->ViewAction(mode)->isEnabled());
        EXPECT_FALSE(m_frame->ViewAction(mode)->isChecked());
    }
    EXPECT_TRUE(m_frame->ViewAction(ViewCommand::Print)->isEnabled());
    EXPECT_TRUE(m_frame->SaveAsAction()->isEnabled());
}

TEST_F(LumetraViewTest, PrintViaTheWordProcessorPrintsTheControlsCopy) {
    StrictWordProcessor word;
    auto doc = std::make_shared<CLumetraDoc>(*m_frame, platform::Registry::Default(), LumetraLog(), word);
    m_frame->SetDocument(doc.get());
    QAction* print = m_frame->PrintViaWordAction();
    EXPECT_EQ(print->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_W));
    EXPECT_FALSE(print->isEnabled());  // nothing shown yet, so no copy to print

    ASSERT_EQ(testsupport::CallForText(*doc, "OpenFile", "C:\\docs\\two.pdf"), "0");
    ASSERT_TRUE(print->isEnabled());
    word.calls.clear();
    print->trigger();
    EXPECT_EQ(word.calls, std::vector<std::string>{"print " + View().TempDocPath().string()});
    word.behaviour.printFails = true;
    AnswerNextBox();
    print->trigger();
    EXPECT_EQ(m_boxes,
              std::vector<std::string>{"Lumetra could not establish a connection to Microsoft Word."});

    ASSERT_EQ(testsupport::CallForText(*doc, "OpenFile", "C:\\docs\\letter.xml"), "0");
    EXPECT_FALSE(print->isEnabled());
    word.calls.clear();
    print->trigger();
    EXPECT_TRUE(word.calls.empty());
    m_frame->SetDocument(m_doc.get());
}

TEST_F(LumetraViewTest, FileOpenOpensNothing) {
    ASSERT_EQ(OpenFile("two.pdf"), "0");
    const QString title = m_frame->windowTitle();
    QAction* open = m_frame->FileOpenAction();
    EXPECT_EQ(open->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
    bool dialog = false;
    QTimer::singleShot(100, [&] { dialog = QApplication::activeModalWidget() != nullptr; });
    open->trigger();
    WaitFor([&] { return false; }, std::chrono::milliseconds(300));
    EXPECT_FALSE(dialog);
    EXPECT_EQ(View().DocPath(), Docs() / "two.pdf");
    EXPECT_EQ(m_frame->windowTitle(), title);
    EXPECT_FALSE(View().BrowserVisible());
}

TEST_F(LumetraViewTest, ActivationGivesTheKeyboardToTheVisiblePane) {
    QWidget other;
    const auto activate = [](QWidget& window) {
        window.show();
        window.activateWindow();
        return WaitFor([&] { return window.isActiveWindow(); });
    };
    for (const char* name : {"letter.xml", "notes.txt"}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(OpenFile(name), "0");
        QWidget* pane =
            View().BrowserVisible() ? static_cast<QWidget*>(View().Browser()) : View().ViewerWidget();
        ASSERT_TRUE(activate(other));
        // Somewhere else in the frame while it is in the background; activation must not bring it back.
        m_frame->menuBar()->setFocus();
        ASSERT_TRUE(activate(*m_frame));
        QWidget* focus = m_frame->focusWidget();
        // The control may hand the keyboard on to a window of its own.
        EXPECT_TRUE(focus == pane || pane->isAncestorOf(focus)) << focus->metaObject()->className();
    }
}

TEST_F(LumetraViewTest, TheRememberedStylesheetServesADocumentThatNamesNone) {
    EXPECT_EQ(OpenFile("remembered.xslt"), "0");
    EXPECT_EQ(OpenFile("plain.xml"), "0");
    EXPECT_TRUE(View().Browser()->toPlainText().contains(QStringLiteral("Dear Grace")));
    // The stylesheet the document names wins over the remembered one.
    EXPECT_EQ(OpenFile("letter.xml"), "0");
    EXPECT_TRUE(View().Browser()->toPlainText().contains(QStringLiteral("Dear Ada")));
}

TEST_F(LumetraViewTest, AnImageIsRefusedWithItsMessage) {
    AnswerNextBox();
    EXPECT_EQ(OpenFile("red.png"), "1");
    EXPECT_EQ(m_boxes, std::vector<std::string>{kInvalidDocumentTypeText});
    EXPECT_FALSE(View().BrowserVisible());
}

TEST_F(LumetraViewTest, TheBrowserPaneLoadsOnlyFilesBesideTheDocument) {
    testsupport::WriteFile(*s_root / "home" / "outside.png", testsupport::ReadFile(Docs() / "red.png"));
    testsupport::WriteFile(*s_root / "home" / "outside.css", "p { color: red; }");
    testsupport::WriteFile(Docs() / "beside.css", "p { color: blue; }");
    const std::string outside = (*s_root / "home").string();
    ASSERT_EQ(OpenFile("letter.xml"), "0");
    QTextDocument* document = View().Browser()->document();
    const struct {
        std::string url;
        bool loads;
    } images[] = {
        {"red.png", true},
        {"../outside.png", false},
        {"file://" + outside + "/outside.png", false},
        {"http://127.0.0.1:1/red.png", false},
        {"missing.png", false},
    };
    for (const auto& c : images) {
        SCOPED_TRACE(c.url);
        const QVariant image =
            document->resource(QTextDocument::ImageResource, QUrl(QString::fromStdString(c.url)));
        EXPECT_EQ(!qvariant_cast<QImage>(image).isNull(), c.loads);
    }
    const struct {
        std::string url;
        const char* text;
    } sheets[] = {
        {"beside.css", "p { color: blue; }"},
        {"../outside.css", ""},
        {"file://" + outside + "/outside.css", ""},
    };
    for (const auto& c : sheets) {
        SCOPED_TRACE(c.url);
        const QVariant sheet =
            document->resource(QTextDocument::StyleSheetResource, QUrl(QString::fromStdString(c.url)));
        EXPECT_EQ(sheet.toString().toStdString(), c.text);
    }
}

TEST_F(LumetraViewTest, DeleteOnCloseTakesTheShownFilesButNeverThroughALink) {
    const fs::path docs = Docs() / "closing";
    fs::create_directories(docs);
    testsupport::WriteFile(docs / "gone.xml", "<letter><to>Ada</to></letter>\n");
    testsupport::WriteFile(docs / "gone.xslt", kStylesheet);
    testsupport::WriteFile(docs / "target.xml", "<letter><to>Ada</to></letter>\n");
    fs::create_symlink(docs / "target.xml", docs / "link.xml");
    EXPECT_EQ(testsupport::CallForText(*m_doc, "SetDeleteOnClose", "1"), "0");
    EXPECT_EQ(OpenFile("closing\\link.xml"), "0");
    testsupport::CallForText(*m_doc, "FileClose");
    EXPECT_TRUE(fs::is_symlink(docs / "link.xml"));
    EXPECT_TRUE(fs::exists(docs / "target.xml"));

    EXPECT_EQ(OpenFile("closing\\gone.xslt"), "0");
    EXPECT_EQ(OpenFile("closing\\gone.xml"), "0");
    testsupport::CallForText(*m_doc, "FileClose");
    EXPECT_FALSE(fs::exists(docs / "gone.xml"));
    EXPECT_FALSE(fs::exists(docs / "gone.xslt"));
}

// The document-view control as the view drives it, answering as it is told.
class FakeViewer : public automation::IDispatch {
  public:
    automation::HRESULT QueryInterface(const automation::Guid& iid, std::shared_ptr<void>& out) override {
        if (iid == fennick::kQelctrlWidgetIid) {
            out = widget;
            return automation::S_OK;
        }
        return IDispatch::QueryInterface(iid, out);
    }
    automation::HRESULT GetIDsOfNames(std::span<const std::string_view>,
                                      std::span<automation::DISPID>) override {
        return automation::DISP_E_UNKNOWNNAME;
    }
    automation::HRESULT Invoke(automation::DISPID dispid, automation::InvokeKind kind,
                               std::span<const Variant> args, Variant* result,
                               automation::InvokeError*) override {
        calls.push_back(static_cast<fennick::Dispid>(dispid));
        std::string entry =
            std::to_string(dispid) + (kind == automation::InvokeKind::PropertyPut ? " put" : "");
        for (const Variant& arg : args) {
            entry += " " + std::to_string(arg.AsI4());
        }
        if (kind != automation::InvokeKind::PropertyGet) {
            trace.push_back(entry);
        }
        switch (static_cast<fennick::Dispid>(dispid)) {
            case fennick::Dispid::WPDisplayMode:
                if (kind == automation::InvokeKind::PropertyPut) {
                    mode = static_cast<int16_t>(args[0].AsI4());
                } else {
                    *result = Variant::I2(mode);
                }
                break;
            case fennick::Dispid::ViewFile:
                viewedPath = args[1].AsBstr();
                viewedDeleteOnClose = args[6].AsBool();
                *result = Variant::I4(viewFileResult);
                break;
            case fennick::Dispid::DisplayEngineType:
                *result = Variant::I2(engineType);
                break;
            case fennick::Dispid::FileInfoDisplayName:
                *result = Variant::Bstr("Letter To Ada");
                break;
            default:
                break;
        }
        return automation::S_OK;
    }
    bool Called(fennick::Dispid id) const { return std::find(calls.begin(), calls.end(), id) != calls.end(); }

    std::shared_ptr<QWidget> widget = std::make_shared<QWidget>();
    int32_t viewFileResult = 1;
    int16_t engineType = 3;
    std::vector<fennick::Dispid> calls;
    std::vector<std::string> trace;  // "dispid [put] arguments" of every method and put
    int16_t mode = 2;
    std::string viewedPath;
    bool viewedDeleteOnClose = false;
};

class LumetraViewRoutesTest : public testsupport::RegistryTest {
  protected:
    void SetUp() override {
        RegistryTest::SetUp();
        fs::create_directories(m_temp.Path() / "bin");
        WriteScript("writes", "#!/bin/sh\ncat \"$1\" > \"$2\"\n");
        WriteScript("fails", "#!/bin/sh\necho broken >&2\nexit 3\n");
        WriteScript("lies", "#!/bin/sh\nexit 0\n");
        testsupport::WriteFile(m_doc, "<html><body><p>converted letter</p></body></html>");
    }
    void WriteScript(const std::string& name, const std::string& text) {
        const fs::path path = m_temp.Path() / "bin" / name;
        testsupport::WriteFile(path, text);
        fs::permissions(path, fs::perms::owner_all);
    }
    std::unique_ptr<CLumetraView> MakeView(const std::string& converter) {
        return std::make_unique<CLumetraView>(
            LumetraLog(),
            CLumetraView::Handlers{[this](const std::string& title) { m_titles.push_back(title); },
                                   [this](const std::string& text) { m_stops.push_back(text); }},
            (m_temp.Path() / "bin" / converter).string(), m_viewer);
    }

    fs::path m_doc = m_temp.Path() / "letter.doc";
    std::shared_ptr<FakeViewer> m_viewer = std::make_shared<FakeViewer>();
    std::vector<std::string> m_titles;
    std::vector<std::string> m_stops;
};

TEST_F(LumetraViewRoutesTest, EngineTypesAndTheConverterDecideWhatIsShown) {
    struct Case {
        const char* name;
        int32_t viewFile;
        int16_t engineType;
        const char* converter;
        bool shown;
        bool browser;
        std::vector<std::string> titles;
        std::vector<std::string> stops;
    };
    const Case cases[] = {
        {"shown by the control", 1, 3, "writes", true, false, {"Letter To Ada"}, {}},
        {"control fails, reporting itself", 0, 3, "writes", false, false, {}, {}},
        {"image", 1, kEngineTypeImage, "writes", false, false, {}, {kInvalidDocumentTypeText}},
        {"converted", 1, kEngineTypeWordProcessor, "writes", true, true, {}, {}},
        {"converter fails", 1, kEngineTypeWordProcessor, "fails", false, false, {}, {}},
        {"converter writes nothing", 1, kEngineTypeWordProcessor, "lies", false, false, {}, {}},
        {"no converter", 1, kEngineTypeWordProcessor, "gone", false, false, {}, {kConverterNotFoundText}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_viewer->viewFileResult = c.viewFile;
        m_viewer->engineType = c.engineType;
        m_viewer->calls.clear();
        m_titles.clear();
        m_stops.clear();
        testsupport::WriteFile(m_doc, "<html><body><p>converted letter</p></body></html>");
        auto view = MakeView(c.converter);
        EXPECT_EQ(view->Display(m_doc, {}, {}, true), c.shown);
        EXPECT_EQ(m_viewer->viewedPath, m_doc.string());
        EXPECT_TRUE(m_viewer->viewedDeleteOnClose);
        EXPECT_EQ(testsupport::ReadFile(view->TempDocPath()), testsupport::ReadFile(m_doc));
        EXPECT_EQ(view->BrowserVisible(), c.browser);
        EXPECT_EQ(m_titles, c.titles);
        EXPECT_EQ(m_stops, c.stops);
        const bool cleared = c.viewFile != 0 && c.engineType != 3;
        EXPECT_EQ(m_viewer->Called(fennick::Dispid::Clear), cleared);
        if (c.browser) {
            EXPECT_TRUE(view->Browser()->toPlainText().contains(QStringLiteral("converted letter")));
        }
        // Closing deletes the browser's document when asked to (the control deletes its own), and the
        // viewer's folder goes with the viewer.
        const fs::path folder = view->TempDocPath().parent_path();
        view.reset();
        EXPECT_EQ(fs::exists(m_doc), !c.browser);
        EXPECT_FALSE(fs::exists(folder));
    }
}

TEST_F(LumetraViewRoutesTest, ClosingClearsTheControlOrEmptiesTheBrowser) {
    auto view = MakeView("writes");
    ASSERT_TRUE(view->Display(m_doc, "Given Title", {}, false));
    EXPECT_EQ(m_titles, std::vector<std::string>{"Given Title"});
    EXPECT_FALSE(m_viewer->Called(fennick::Dispid::FileInfoDisplayName));
    view->FileClose();
    EXPECT_TRUE(m_viewer->Called(fennick::Dispid::Clear));
}

TEST_F(LumetraViewRoutesTest, CommandsActOnTheVisiblePane) {
    auto view = MakeView("writes");
    ASSERT_TRUE(view->Display(m_doc, {}, {}, false));
    using C = ViewCommand;
    const struct {
        ViewCommand command;
        std::vector<std::string> trace;
    } control[] = {
        {C::Print, {"2 put 0", "90 1 0 1 0", "2 put -1"}},
        {C::PrintSetup, {"85"}},
        {C::Copy, {"60"}},
        {C::DraftMode, {"18 put 1"}},
        {C::PreviewMode, {"18 put 3"}},
    };
    for (const auto& c : control) {
        SCOPED_TRACE(static_cast<int>(c.command));
        m_viewer->trace.clear();
        EXPECT_TRUE(view->CommandEnabled(c.command));
        view->RunCommand(c.command);
        EXPECT_EQ(m_viewer->trace, c.trace);
    }
    EXPECT_TRUE(view->CommandChecked(C::PreviewMode));
    EXPECT_FALSE(view->CommandChecked(C::NormalMode));

    // In the browser the modes are off and copying takes the pane's selection.
    const fs::path xml = m_temp.Path() / "note.xml";
    testsupport::WriteFile(xml, "<note>copy me</note>");
    ASSERT_TRUE(view->Display(xml, {}, {}, false));
    m_viewer->trace.clear();
    for (ViewCommand mode : {C::DraftMode, C::NormalMode, C::PreviewMode}) {
        EXPECT_FALSE(view->CommandEnabled(mode));
        EXPECT_FALSE(view->CommandChecked(mode));
        view->RunCommand(mode);
    }
    EXPECT_TRUE(view->CommandEnabled(C::Print));
    EXPECT_TRUE(view->CommandEnabled(C::Copy));
    view->Browser()->selectAll();
    view->RunCommand(C::Copy);
    EXPECT_TRUE(QApplication::clipboard()->text().contains(QStringLiteral("copy me")));
    EXPECT_TRUE(m_viewer->trace.empty());
}

TEST_F(LumetraViewRoutesTest, WithoutTheControlOnlyTheBrowserWorks) {
    m_viewer.reset();
    auto view = MakeView("writes");
    EXPECT_FALSE(view->Display(m_doc, {}, {}, false));
    for (ViewCommand command : {ViewCommand::Print, ViewCommand::Copy, ViewCommand::NormalMode}) {
        EXPECT_FALSE(view->CommandEnabled(command));
    }
    const fs::path xml = m_temp.Path() / "note.xml";
    testsupport::WriteFile(xml, "<note>shown</note>");
    EXPECT_TRUE(view->Display(xml, {}, {}, false));
    EXPECT_TRUE(view->CommandEnabled(ViewCommand::Copy));
}

}  // namespace
}  // namespace viewer
