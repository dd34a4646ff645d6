// The document object's members through its dispatch interface, with a recording frame: ids and names,
// button flags, OpenFile's routing and answers, deletions and what they refuse, the password path, the log
// and release.
#include "viewer/lumetra_doc.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "platform/registry.h"
#include "testsupport/dispatch_calls.h"
#include "testsupport/test_support.h"
#include "viewer/command_line.h"
#include "viewer/registration.h"
#include "viewer/tests/strict_word_processor.h"

namespace viewer {
namespace {

namespace automation = platform::automation;
namespace fs = std::filesystem;
using automation::Variant;
using automation::VarType;

struct RecordingFrame : DocumentFrame {
    struct Shown {
        fs::path path;
        std::string stylesheet;
        bool deleteOnClose;
    };
    void SetTitle(const std::string& t) override { title = t; }
    void SetVisible(bool v) override { visible = v; }
    bool Display(const fs::path& path, const std::string& stylesheet, bool deleteOnClose) override {
        shown.push_back({path, stylesheet, deleteOnClose});
        return displays;
    }
    void CloseDocument() override { ++closes; }
    void RequestPassword() override { ++passwordRequests; }
    void ShowStop(const std::string& text) override { stops.push_back(text); }
    void CommandsChanged() override { ++commandChanges; }
    void RaiseClientWindow(int32_t window) override { raised.push_back(window); }
    int32_t WindowHandle() override { return 0x2A00005; }
    void SetMainWindowEnabled(bool e) override { enabled = e; }

    std::string title;
    std::optional<bool> visible;
    std::vector<Shown> shown;
    bool displays = true;
    int closes = 0;
    int passwordRequests = 0;
    std::vector<std::string> stops;
    int commandChanges = 0;
    std::vector<int32_t> raised;
    bool enabled = true;
};

class LumetraDocTest : public testsupport::RegistryTest {
  protected:
    void SetUp() override {
        RegistryTest::SetUp();
        m_logPath = m_temp.Path() / "lumetra.log";
    }
    std::shared_ptr<CLumetraDoc> Make(bool wordAvailable = false) {
        m_word.behaviour.probe = wordAvailable;
        return std::make_shared<CLumetraDoc>(m_frame, Reg(), LumetraLog(m_logPath),
                                             wordAvailable ? static_cast<WordProcessor&>(m_word) : m_none);
    }
    std::string Log() const { return testsupport::ReadFile(m_logPath); }
    fs::path Home(const std::string& name) const { return m_home / name; }
    void Touch(const fs::path& path) const { std::ofstream(path) << "x"; }

    RecordingFrame m_frame;
    StrictWordProcessor m_word;
    NoWordProcessor m_none;
    fs::path m_logPath;
};

TEST_F(LumetraDocTest, MembersHaveTheirIdsByPosition) {
    auto doc = Make();
    const char* names[] = {"RegisterSorelIDs",
                           "GetNotifyMessage",
                           "SetCaption",
                           "OpenFile",
                           "EnableButton",
                           "DisableButton",
                           "SetVisible",
                           "FileClose",
                           "FileDelete",
                           "SetDeleteOnClose",
                           "InvokeMacro",
                           "GetPassword",
                           "RegisterSorelConnection",
                           "SafeToNotify"};
    for (int i = 0; i < 14; ++i) {
        automation::DISPID id = 0;
        EXPECT_EQ(doc->GetIDOfName(names[i], id), automation::S_OK) << names[i];
        EXPECT_EQ(id, i + 1) << names[i];
    }
}

TEST_F(LumetraDocTest, ButtonNamesSetTheirFlags) {
    struct Case {
        bool word;
        const char* method;
        const char* name;
        bool accept, reject, back, next, edit;
    };
    const std::vector<Case> cases{
        {false, "EnableButton", "all", true, true, true, true, false},
        {true, "EnableButton", "ALL", true, true, true, true, true},
        {false, "EnableButton", "edit", false, false, false, false, false},
        {true, "EnableButton", "Edit", false, false, false, false, true},
        {false, "EnableButton", "Accept", true, false, false, false, false},
        {false, "EnableButton", "back", false, false, true, false, false},
        {false, "EnableButton", "approve", false, false, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.method) + " " + c.name);
        auto doc = Make(c.word);
        EXPECT_EQ(testsupport::CallForText(*doc, c.method, c.name), "0");
        const ButtonFlags& b = doc->Buttons();
        EXPECT_EQ(b.accept, c.accept);
        EXPECT_EQ(b.reject, c.reject);
        EXPECT_EQ(b.back, c.back);
        EXPECT_EQ(b.next, c.next);
        EXPECT_EQ(b.edit, c.edit);
    }
    auto doc = Make(true);
    testsupport::CallForText(*doc, "EnableButton", "all");
    testsupport::CallForText(*doc, "DisableButton", "next");
    EXPECT_FALSE(doc->Buttons().next);
    EXPECT_TRUE(doc->Buttons().accept);
    testsupport::CallForText(*doc, "DisableButton", "all");
    EXPECT_FALSE(doc->Buttons().accept || doc->Buttons().edit || doc->Buttons().back);
}

TEST_F(LumetraDocTest, OpenFileRoutesByTheLastComponentsExtension) {
    m_env.Set("LUMETRA_STYLES", "C:\\styles");
    auto doc = Make();
    EXPECT_EQ(testsupport::CallForText(*doc, "OpenFile", "%LUMETRA_STYLES%\\letter.XSLT"), "0");
    EXPECT_TRUE(m_frame.shown.empty());
    EXPECT_EQ(doc->StylesheetPath(), "C:\\styles\\letter.XSLT");

    EXPECT_EQ(testsupport::CallForText(*doc, "OpenFile", "C:\\data.xml"), "0");
    ASSERT_EQ(m_frame.shown.size(), 1u);
    EXPECT_EQ(m_frame.shown[0].path, Home("data.xml"));
    EXPECT_EQ(m_frame.shown[0].stylesheet, "C:\\styles\\letter.XSLT");

    // A dotted folder gives no extension to the file inside it.
    EXPECT_EQ(testsupport::CallForText(*doc, "OpenFile", "C:\\data.xslt\\letter"), "0");
    ASSERT_EQ(m_frame.shown.size(), 2u);
    EXPECT_EQ(m_frame.shown[1].path, Home("data.xslt/letter"));

    m_frame.displays = false;
    EXPECT_EQ(testsupport::CallForText(*doc, "OpenFile", "C:\\broken.pdf"), "1");
    m_frame.displays = true;
    EXPECT_EQ(testsupport::CallForText(*doc, "OpenFile", "\\\\server\\share\\x.pdf"), "1");
    EXPECT_EQ(testsupport::CallForText(*doc, "OpenFile", "C:\\..\\..\\etc\\passwd"), "1");
    EXPECT_EQ(m_frame.shown.size(), 3u);
    EXPECT_TRUE(m_frame.stops.empty());
}

TEST_F(LumetraDocTest, PathTooLongToExpandStopsWithCodeAndPath) {
    m_env.Set("LUMETRA_LONG", std::string(1100, 'a'));
    auto doc = Make();
    EXPECT_EQ(testsupport::CallForText(*doc, "OpenFile", "C:\\%LUMETRA_LONG%.pdf"), "1");
    ASSERT_EQ(m_frame.stops.size(), 1u);
    EXPECT_NE(m_frame.stops[0].find("122"), std::string::npos);
    EXPECT_NE(m_frame.stops[0].find("C:\\%LUMETRA_LONG%.pdf"), std::string::npos);
    EXPECT_TRUE(m_frame.shown.empty());
    EXPECT_NE(Log().find(m_frame.stops[0]), std::string::npos);
}

TEST_F(LumetraDocTest, FileDeleteRemovesOnlyPlainVisibleFiles) {
    Touch(Home("plain.txt"));
    Touch(Home("target.txt"));
    fs::create_symlink(Home("target.txt"), Home("link.txt"));
    fs::create_directories(Home("folder"));
    fs::create_directories(Home(".hidden"));
    Touch(Home(".hidden/inside.txt"));
    Touch(Home(".dotfile"));
    struct Case {
        const char* path;
        const char* answer;
    };
    const std::vector<Case> cases{
        {"C:\\plain.txt", "0"},
        {"C:\\link.txt", "1"},
        {"C:\\folder", "1"},
        {"C:\\.hidden\\inside.txt", "1"},
        {"C:\\.dotfile", "1"},
        {"C:\\missing.txt", "1"},
        {"\\\\server\\share\\plain.txt", "1"},
        {"C:\\..\\outside.txt", "1"},
    };
    auto doc = Make();
    for (const Case& c : cases) {
        EXPECT_EQ(testsupport::CallForText(*doc, "FileDelete", c.path), c.answer) << c.path;
    }
    EXPECT_FALSE(fs::exists(Home("plain.txt")));
    EXPECT_TRUE(fs::exists(Home("target.txt")));
    EXPECT_TRUE(fs::is_symlink(Home("link.txt")));
    EXPECT_TRUE(fs::is_directory(Home("folder")));
    EXPECT_TRUE(fs::exists(Home(".hidden/inside.txt")));
    EXPECT_TRUE(fs::exists(Home(".dotfile")));
}

TEST_F(LumetraDocTest, DeleteOnCloseReachesTheDisplayOnlyUnderTheDeletionRule) {
    Touch(Home("doc.pdf"));
    fs::create_symlink(Home("doc.pdf"), Home("link.pdf"));
    auto doc = Make();
    testsupport::CallForText(*doc, "OpenFile", "C:\\doc.pdf");
    EXPECT_EQ(testsupport::CallForText(*doc, "SetDeleteOnClose", "1"), "0");
    testsupport::CallForText(*doc, "OpenFile", "C:\\doc.pdf");
    testsupport::CallForText(*doc, "OpenFile", "C:\\link.pdf");
    testsupport::CallForText(*doc, "SetDeleteOnClose", "0");
    testsupport::CallForText(*doc, "OpenFile", "C:\\doc.pdf");
    ASSERT_EQ(m_frame.shown.size(), 4u);
    EXPECT_FALSE(m_frame.shown[0].deleteOnClose);
    EXPECT_TRUE(m_frame.shown[1].deleteOnClose);
    EXPECT_FALSE(m_frame.shown[2].deleteOnClose);
    EXPECT_FALSE(m_frame.shown[3].deleteOnClose);
}

TEST_F(LumetraDocTest, WindowMembersReachTheFrame) {
    auto doc = Make();
    EXPECT_EQ(testsupport::CallForText(*doc, "SetCaption", "Letter to Smith"), "0");
    EXPECT_EQ(m_frame.title, "Letter to Smith");
    EXPECT_EQ(testsupport::CallForText(*doc, "SetVisible", "0"), "0");
    EXPECT_EQ(m_frame.visible, false);
    EXPECT_EQ(testsupport::CallForText(*doc, "SetVisible", ""), "0");
    EXPECT_EQ(m_frame.visible, true);
    EXPECT_EQ(testsupport::CallForText(*doc, "FileClose", "ignored"), "0");
    EXPECT_EQ(testsupport::CallForText(*doc, "FileClose"), "0");
    EXPECT_EQ(m_frame.closes, 2);
    EXPECT_EQ(testsupport::CallForText(*doc, "RegisterSorelConnection", "remote"), "0");
    EXPECT_EQ(doc->ConnectionText(), "remote");
    // Nothing is being edited, so there is no macro to run.
    EXPECT_EQ(testsupport::CallForText(*doc, "InvokeMacro", "Macro1"), "1");
}

TEST_F(LumetraDocTest, VerdictsAndThePasswordReachTheClientWindow) {
    auto window = std::make_shared<testsupport::RecordingClientWindow>();
    auto doc = Make();
    // Queued before registration: lost.
    testsupport::CallForText(*doc, "EnableButton", "all");
    EXPECT_FALSE(doc->OnCommand(Verdict::Accept));
    testsupport::CallForText(*doc, "RegisterSorelIDs",
                             {Variant::I4(4711), Variant::I4(3), Variant::Dispatch(window)});
    EXPECT_TRUE(doc->OnCommand(Verdict::Accept));
    testsupport::CallForText(*doc, "DisableButton", "reject");
    EXPECT_FALSE(doc->OnCommand(Verdict::Reject));
    EXPECT_FALSE(doc->OnCommand(Verdict::Edit));  // no word processor
    EXPECT_EQ(testsupport::CallForText(*doc, "GetPassword", ""), "0");
    EXPECT_EQ(m_frame.passwordRequests, 1);
    doc->PasswordEntered(std::string("s3cr\xE9t"));
    doc->PasswordEntered(std::nullopt);
    EXPECT_EQ(testsupport::CallForText(*doc, "GetNotifyMessage"), "accept");
    EXPECT_EQ(testsupport::CallForText(*doc, "GetNotifyMessage"), "s3cr\xE9t");
    EXPECT_EQ(testsupport::CallForText(*doc, "GetNotifyMessage"), "");
    EXPECT_EQ(testsupport::CallForText(*doc, "GetNotifyMessage"), "");
    for (const auto& post : window->posts) {
        EXPECT_EQ(post.message, WM_OBJECT_NOTIFY);
        EXPECT_EQ(post.lParam, 3);
    }
    EXPECT_EQ(window->posts.size(), 5u);  // three enqueues, two fetches that left texts behind

    doc.reset();
    EXPECT_EQ(m_frame.raised, std::vector<int32_t>{4711});
    ASSERT_EQ(window->posts.size(), 6u);
    EXPECT_EQ(window->posts.back().message, WM_OBJECT_RELEASE);
    const std::string log = Log();
    EXPECT_EQ(log.find("s3cr"), std::string::npos);
    EXPECT_NE(log.find("Lumetra is closing down"), std::string::npos);
    EXPECT_NE(log.find("Lumetra was NOT able to connect to Microsoft Word: no word processor is installed"),
              std::string::npos);
}

TEST_F(LumetraDocTest, RegistrationWithoutAWindowObjectCannotPost) {
    auto doc = Make();
    testsupport::CallForText(*doc, "RegisterSorelIDs", {Variant::I4(4711), Variant::I4(3)});
    EXPECT_TRUE(doc->Queue().Registered());
    testsupport::CallForText(*doc, "EnableButton", "accept");
    EXPECT_FALSE(doc->OnCommand(Verdict::Accept));
    EXPECT_FALSE(doc->Queue().Registered());
}

TEST(LumetraLogTest, PathComesFromTheMachineKeyAndEveryLineAppends) {
    testsupport::TempFolder temp;
    platform::Registry registry({temp.Path() / "machine.reg", temp.Path() / "user.reg"});
    EXPECT_FALSE(LumetraLog::FromRegistry(registry).Enabled());
    const fs::path path = temp.Path() / "viewer.log";
    ASSERT_EQ(registry.SetValue(platform::HKey::LocalMachine, kTranscriptionKey, kLogFilePathValue,
                                platform::RegValue::String(path.string())),
              0);
    const LumetraLog log = LumetraLog::FromRegistry(registry);
    ASSERT_TRUE(log.Enabled());
    log.Launched();
    log.Write("one ", "two");
    log.Write("three", {}, false);
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str().rfind("*****\nLumetra launched at ", 0), 0u) << text.str();
    EXPECT_NE(text.str().find("\none two\nthree"), std::string::npos);

    ASSERT_EQ(registry.SetValue(platform::HKey::LocalMachine, kTranscriptionKey, kLogFilePathValue,
                                platform::RegValue::String("/" + std::string(kLogPathLimit, 'x'))),
              0);
    EXPECT_FALSE(LumetraLog::FromRegistry(registry).Enabled());
}

TEST(CCmdLineInfoTest, FlagsAndDocument) {
    using Launch = CCmdLineInfo::Launch;
    struct Case {
        std::vector<std::string> args;
        Launch launch;
        int32_t regServer;
        std::string file;
    };
    const std::vector<Case> cases{
        {{}, Launch::Standalone, 0, ""},
        {{"-Embedding"}, Launch::Embedding, 0, ""},
        {{"/automation"}, Launch::Automation, 0, ""},
        {{"/REGSERVER"}, Launch::Standalone, 1, ""},
        {{"-regserver", "-Embedding"}, Launch::Embedding, 1, ""},
        {{"/home/u/letter.pdf", "-unknown", "second.pdf"}, Launch::Standalone, 0, "/home/u/letter.pdf"},
        {{"", "-x"}, Launch::Standalone, 0, ""},
    };
    for (const Case& c : cases) {
        const CCmdLineInfo info = CCmdLineInfo::Parse(c.args);
        EXPECT_EQ(info.launch, c.launch);
        EXPECT_EQ(info.RegServer, c.regServer);
        EXPECT_EQ(info.fileName, c.file);
    }
}

TEST_F(LumetraDocTest, RegistrationNamesTheProgramAndTheBus) {
    std::string message;
    ASSERT_EQ(automation::RegisterClass(LumetraRegistration("/opt/carrowline/bin/lumetra"),
                                        automation::RegistrationScope::User, &message),
              automation::S_OK)
        << message;
    automation::Guid clsid;
    ASSERT_EQ(automation::CLSIDFromProgID("Lumetra.Document", clsid), automation::S_OK);
    EXPECT_EQ(clsid.ToString(), "{6D91C147-3D7F-4F4D-B570-F4E69B8D09C0}");
    automation::LocalServer server;
    ASSERT_EQ(automation::LocalServerOf(clsid, server), automation::S_OK);
    EXPECT_EQ(server.command, std::vector<std::string>{"/opt/carrowline/bin/lumetra"});
    EXPECT_EQ(server.busName, "com.carrowline.Lumetra");
}

class WordEditTest : public LumetraDocTest {
  protected:
    void SetUp() override {
        LumetraDocTest::SetUp();
        m_window = std::make_shared<testsupport::RecordingClientWindow>();
    }
    std::shared_ptr<CLumetraDoc> Registered() {
        auto doc = Make(true);
        testsupport::CallForText(*doc, "RegisterSorelIDs",
                                 {Variant::I4(1), Variant::I4(2), Variant::Dispatch(m_window)});
        testsupport::CallForText(*doc, "EnableButton", "edit");
        return doc;
    }
    void SetTemplates(const char* key, const std::string& folder) {
        ASSERT_EQ(Reg().SetValue(platform::HKey::LocalMachine, key, kTemplatesValue,
                                 platform::RegValue::String(folder)),
                  0);
    }
    std::vector<std::string> Fetch(CLumetraDoc& doc) {
        std::vector<std::string> texts;
        for (std::string text = testsupport::CallForText(doc, "GetNotifyMessage"); !text.empty();
             text = testsupport::CallForText(doc, "GetNotifyMessage")) {
            texts.push_back(text);
        }
        return texts;
    }
    std::shared_ptr<testsupport::RecordingClientWindow> m_window;
};

TEST_F(WordEditTest, EditRunsInOrderAndEndsOnceByNotice) {
    SetTemplates(kTranscriptionKey, "/opt/templates");
    auto doc = Registered();
    testsupport::CallForText(*doc, "RegisterSorelConnection", "remote 10.0.0.1");
    ASSERT_TRUE(doc->Enabled(Verdict::Edit));
    EXPECT_TRUE(doc->OnCommand(Verdict::Edit));
    EXPECT_EQ(m_word.calls,
              (std::vector<std::string>{"probe", "start", "add /opt/templates/tarn transcription.dot",
                                        "has RegisterSorelIDs", "macro RegisterSorelIDs 44040197 0",
                                        "has RegisterSorelConnection",
                                        "macro RegisterSorelConnection [remote 10.0.0.1]", "show"}));
    EXPECT_FALSE(m_frame.enabled);
    EXPECT_NE(Log().find("The template path is /opt/templates/tarn transcription.dot"), std::string::npos);

    // A second Edit while the first is open does nothing.
    const size_t calls = m_word.calls.size();
    doc->OnCommand(Verdict::Edit);
    EXPECT_EQ(m_word.calls.size(), calls);

    ASSERT_TRUE(m_word.ended);
    m_word.ended();
    EXPECT_TRUE(m_frame.enabled);
    EXPECT_FALSE(doc->Editing());
    EXPECT_EQ(m_word.liveDocuments, 0);
    EXPECT_EQ(Fetch(*doc), (std::vector<std::string>{"edit", "EditEnd"}));
}

TEST_F(WordEditTest, TemplateFolderFallsBackToTheOlderKeyThenTheUsersTemplates) {
    auto doc = Registered();
    testsupport::CallForText(*doc, "RegisterSorelConnection", "");
    doc->OnCommand(Verdict::Edit);
    // No connection text: its macro is not run.
    EXPECT_EQ(m_word.calls,
              (std::vector<std::string>{
                  "probe", "start", "templates", "add /home/user/Templates/tarn transcription.dot",
                  "has RegisterSorelIDs", "macro RegisterSorelIDs 44040197 0", "show"}));
    m_word.ended();
    SetTemplates(kOlderTranscriptionKey, "/srv/older");
    m_word.calls.clear();
    doc->OnCommand(Verdict::Edit);
    ASSERT_GE(m_word.calls.size(), 2u);
    EXPECT_EQ(m_word.calls[1], "add /srv/older/tarn transcription.dot");
}

TEST_F(WordEditTest, EditFailuresSayWhatHappenedAndLeaveNothingOpen) {
    struct Case {
        const char* name;
        std::function<void(StrictWordProcessor::Behaviour&)> setup;
        std::string text;
        std::vector<std::string> tail;  // the calls after "start"
        bool stillAvailable;
    };
    const std::vector<Case> cases{
        {"no editor",
         [](auto& b) { b.startError = "class not registered   "; },
         "Error: Editor Not Found\n\nA suitable word processor could not found to edit this document.  The "
         "OLE "
         "error \"class not registered\" was returned.",
         {},
         false},
        {"template without its macro",
         [](auto& b) { b.macros = {"RegisterSorelConnection"}; },
         "Error: OLE Dispatch Exception\n\nThe OLE error \"Unable to get dispatch ID for RegisterSorelIDs\" "
         "was "
         "returned from an unknown application.",
         {"templates", "add /home/user/Templates/tarn transcription.dot", "has RegisterSorelIDs",
          "close unsaved", "quit"},
         true},
        {"macro that fails",
         [](auto& b) {
             b.failingMacro = "RegisterSorelIDs";
             b.macroError = {"Bad window", "Scrivello"};
         },
         "Error: OLE Dispatch Exception\n\nThe OLE error \"Bad window\" was returned from Scrivello.",
         {"templates", "add /home/user/Templates/tarn transcription.dot", "has RegisterSorelIDs",
          "macro RegisterSorelIDs 44040197 0", "close unsaved", "quit"},
         true},
        {"no document from the template",
         [](auto& b) { b.addFails = true; },
         "Error: OLE Dispatch Exception\n\nThe OLE error \"unknown error\" was returned from an unknown "
         "application.",
         {"templates", "add /home/user/Templates/tarn transcription.dot", "quit"},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_word = StrictWordProcessor{};
        m_frame.stops.clear();
        c.setup(m_word.behaviour);
        auto doc = Registered();
        EXPECT_FALSE(doc->OnCommand(Verdict::Edit));
        ASSERT_EQ(m_frame.stops.size(), 1u);
        EXPECT_EQ(m_frame.stops[0], c.text);
        std::vector<std::string> expected{"probe", "start"};
        expected.insert(expected.end(), c.tail.begin(), c.tail.end());
        EXPECT_EQ(m_word.calls, expected);
        EXPECT_EQ(doc->WordAvailable(), c.stillAvailable);
        EXPECT_EQ(doc->Enabled(Verdict::Edit), c.stillAvailable);
        EXPECT_TRUE(m_frame.enabled);
        EXPECT_EQ(m_word.liveDocuments, 0);
        EXPECT_TRUE(Fetch(*doc).empty());
    }
}

TEST_F(WordEditTest, InvokeMacroSplitsNameAndArgument) {
    auto doc = Registered();
    EXPECT_EQ(testsupport::CallForText(*doc, "InvokeMacro", "Macro1"), "1");  // no edit open
    doc->OnCommand(Verdict::Edit);
    m_word.behaviour.macros.insert({"M", "Fails"});
    m_word.behaviour.failingMacro = "Fails";
    struct Case {
        const char* text;
        const char* answer;
        const char* call;  // the last call, or nullptr when no macro runs
    };
    const std::vector<Case> cases{
        {"M", "0", "macro M"},         {"M   two words", "0", "macro M [two words]"},
        {"M ", "0", "macro M []"},     {"Fails x", "1", "macro Fails [x]"},
        {"Unknown arg", "1", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        m_frame.stops.clear();
        EXPECT_EQ(testsupport::CallForText(*doc, "InvokeMacro", c.text), c.answer);
        if (c.call) {
            EXPECT_EQ(m_word.calls.back(), c.call);
            EXPECT_TRUE(m_frame.stops.empty());
        } else {
            ASSERT_EQ(m_frame.stops.size(), 1u);
            EXPECT_EQ(
                m_frame.stops[0],
                "Error: Dispatch ID Unavailable\n\nLumetra was unable to get a dispatch ID for Unknown.");
        }
    }
}

TEST_F(WordEditTest, DocumentGoneWithoutNoticeEndsTheEditAndReleaseLetsItGo) {
    auto doc = Registered();
    doc->OnCommand(Verdict::Edit);
    ASSERT_FALSE(m_frame.enabled);
    // The adapter reports a closed window or a word processor that quit the same way as the notice.
    auto ended = m_word.ended;
    ended();
    EXPECT_TRUE(m_frame.enabled);
    ended();  // a late second report changes nothing
    EXPECT_EQ(Fetch(*doc), (std::vector<std::string>{"edit", "EditEnd"}));

    doc->OnCommand(Verdict::Edit);
    doc.reset();
    EXPECT_EQ(m_word.liveDocuments, 0);
}

TEST_F(WordEditTest, PrintFailureIsReported) {
    auto doc = Registered();
    doc->PrintViaWordProcessor("/tmp/TempPrintDoc.doc");
    EXPECT_TRUE(m_frame.stops.empty());
    m_word.behaviour.printFails = true;
    doc->PrintViaWordProcessor("/tmp/TempPrintDoc.doc");
    EXPECT_EQ(m_frame.stops,
              std::vector<std::string>{"Lumetra could not establish a connection to Microsoft Word."});
    EXPECT_EQ(m_word.calls.back(), "print /tmp/TempPrintDoc.doc");
}

}  // namespace
}  // namespace viewer
