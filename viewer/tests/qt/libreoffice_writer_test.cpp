// The LibreOffice adapter against a stand-in soffice that records its command lines: what the probe counts
// as a desktop Writer, the headless print and its failures, and an edit from the template through its
// macros to the end of the process, alone and driven by the viewer's document.
#include "viewer/qt/libreoffice_writer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <chrono>
#include <functional>
#include <sstream>

#include "testsupport/dispatch_calls.h"
#include "testsupport/test_support.h"
#include "viewer/lumetra_doc.h"
#include "viewer/lumetra_log.h"
#include "viewer/qt/lumetra_frame.h"
#include "viewer/tests/qt/wait_for.h"

namespace viewer {
namespace {

namespace fs = std::filesystem;
using platform::automation::Variant;

// Each call appends "call", its working folder and its arguments, one a line. Files in STANDIN_DIR steer
// it: "exit" holds the code to end with, "restart" asks once for a restart, "hang" never ends, and a new
// document stays open until "close" appears; while one is open, the next is handed to it ("running").
constexpr const char* kStandIn = R"SH(#!/bin/sh
d="$STANDIN_DIR"
printf '%s\n' call "cwd=$PWD" "$@" >> "$d/log"
for a in "$@"; do
  if [ "$a" = "-n" ]; then
    if [ -f "$d/running" ]; then exit 0; fi
    : > "$d/running"
    while [ ! -f "$d/close" ] && [ -d "$d" ]; do sleep 0.05; done
    rm -f "$d/running"
    exit 0
  fi
done
if [ -f "$d/hang" ]; then exec sleep 60; fi
if [ -f "$d/restart" ]; then rm "$d/restart"; exit 81; fi
if [ -f "$d/exit" ]; then exit "$(cat "$d/exit")"; fi
exit 0
)SH";

class LibreOfficeWriterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(Program().parent_path());
        fs::create_directories(m_temp.Path() / "bin");
        fs::create_directories(m_temp.Path() / "tmp");
        fs::create_directories(Control());
        testsupport::WriteFile(Program(), kStandIn);
        ::chmod(Program().c_str(), 0755);
        // As installed: a link on the PATH to the program in the suite's own folder.
        fs::create_symlink(Program(), m_temp.Path() / "bin" / "soffice");
        m_env.Set("STANDIN_DIR", Control().string());
        m_settings.program = (m_temp.Path() / "bin" / "soffice").string();
        m_settings.editProfile = m_temp.Path() / "profile";
        m_settings.tempFolder = m_temp.Path() / "tmp";
        m_settings.printTimeout = std::chrono::milliseconds(5000);
        m_settings.macroTimeout = std::chrono::milliseconds(5000);
        m_settings.exitPoll = std::chrono::milliseconds(20);
    }

    fs::path Program() const { return m_temp.Path() / "office" / "program" / "soffice"; }
    fs::path Control() const { return m_temp.Path() / "control"; }
    void Beside(const std::string& library) { testsupport::WriteFile(Program().parent_path() / library, ""); }
    void DesktopWriter() {
        Beside("libswlo.so");
        Beside("libvclplug_gtk3lo.so");
    }
    void Steer(const std::string& name, const std::string& content = "") {
        testsupport::WriteFile(Control() / name, content);
    }

    // The recorded calls, each its lines after "call".
    std::vector<std::vector<std::string>> Calls() const {
        std::vector<std::vector<std::string>> calls;
        std::stringstream log(testsupport::ReadFile(Control() / "log"));
        for (std::string line; std::getline(log, line);) {
            if (line == "call") {
                calls.emplace_back();
            } else if (!calls.empty()) {
                calls.back().push_back(line);
            }
        }
        return calls;
    }
    std::string ProfileArgument(const fs::path& profile) const {
        return "-env:UserInstallation=file://" + profile.string();
    }
    fs::path Document() {
        const fs::path file = m_temp.Path() / "TempPrintDoc.doc";
        testsupport::WriteFile(file, "{\\rtf1 hello}");
        return file;
    }

    testsupport::TempFolder m_temp;
    testsupport::ScopedEnv m_env;
    LibreOfficeSettings m_settings;
};

TEST_F(LibreOfficeWriterTest, ProbeFindsEditingOnlyWithADesktopWriter) {
    struct Case {
        const char* name;
        std::vector<std::string> libraries;
        bool present;
        bool editing;
        const char* why;
    };
    const std::vector<Case> cases{
        {"no soffice", {}, false, false, "not installed"},
        {"headless suite without Writer", {}, true, false, "Writer is not installed"},
        {"headless Writer", {"libswlo.so"}, true, false, "without a desktop interface"},
        {"Writer with only the headless plug-in",
         {"libswlo.so", "libvclplug_svplo.so"},
         true,
         false,
         "without a desktop interface"},
        {"desktop Writer", {"libswlo.so", "libvclplug_gtk3lo.so"}, true, true, ""},
        {"desktop Writer on Qt", {"libswlo.so", "libvclplug_qt6lo.so"}, true, true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const auto& entry : fs::directory_iterator(Program().parent_path())) {
            if (entry.path() != Program()) {
                fs::remove(entry.path());
            }
        }
        for (const std::string& library : c.libraries) {
            Beside(library);
        }
        LibreOfficeSettings settings = m_settings;
        if (!c.present) {
            settings.program = (m_temp.Path() / "bin" / "missing-soffice").string();
        }
        LibreOfficeWriter writer(settings);
        std::string why;
        EXPECT_EQ(writer.Probe(why), c.editing) << why;
        EXPECT_NE(why.find(c.why), std::string::npos) << why;
        std::string startWhy;
        EXPECT_EQ(writer.Start(startWhy) != nullptr, c.editing) << startWhy;
    }
    EXPECT_FALSE(fs::exists(Control() / "log")) << "the probe runs nothing";
}

TEST_F(LibreOfficeWriterTest, ProgramIsLookedUpInPath) {
    m_env.Set("PATH", (m_temp.Path() / "bin").string() + ":/usr/bin:/bin");
    m_settings.program = "soffice";
    DesktopWriter();
    LibreOfficeWriter writer(m_settings);
    std::string why;
    EXPECT_EQ(writer.ResolveProgram(why), Program());
    EXPECT_TRUE(writer.Probe(why)) << why;
}

TEST_F(LibreOfficeWriterTest, PrintRunsHeadlessOnAPrivateProfileOnTheDefaultPrinter) {
    const fs::path file = Document();
    LibreOfficeWriter writer(m_settings);
    std::string why;
    ASSERT_TRUE(writer.Print(file, why)) << why;
    const auto calls = Calls();
    ASSERT_EQ(calls.size(), 1u);
    const std::vector<std::string>& args = calls[0];
    ASSERT_EQ(args.size(), 10u);
    const fs::path work = args[0].substr(4);
    EXPECT_EQ(work.parent_path(), m_settings.tempFolder);
    EXPECT_EQ(
        std::vector<std::string>(args.begin() + 1, args.end()),
        (std::vector<std::string>{"--headless", "--invisible", "--nologo", "--norestore", "--nodefault",
                                  "--nolockcheck", ProfileArgument(work / "profile"), "-p", file.string()}));
    EXPECT_FALSE(fs::exists(work)) << "the private profile goes with the job";
    EXPECT_TRUE(fs::is_empty(m_settings.tempFolder));
}

TEST_F(LibreOfficeWriterTest, PrintFailuresSayWhatWentWrong) {
    struct Case {
        const char* name;
        std::function<void()> setup;
        bool printed;
        size_t calls;
        const char* why;
    };
    const std::vector<Case> cases{
        {"fails", [&] { Steer("exit", "3"); }, false, 1, "exit code 3"},
        {"restarts once for a new profile", [&] { Steer("restart"); }, true, 2, ""},
        {"hangs", [&] { Steer("hang"); }, false, 1, "did not finish"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const char* name : {"exit", "restart", "hang", "log"}) {
            fs::remove(Control() / name);
        }
        c.setup();
        LibreOfficeSettings settings = m_settings;
        settings.printTimeout = std::chrono::milliseconds(1500);
        LibreOfficeWriter writer(settings);
        std::string why;
        EXPECT_EQ(writer.Print(Document(), why), c.printed) << why;
        EXPECT_NE(why.find(c.why), std::string::npos) << why;
        EXPECT_EQ(Calls().size(), c.calls);
        EXPECT_TRUE(fs::is_empty(m_settings.tempFolder));
    }
}

TEST_F(LibreOfficeWriterTest, PrintRefusesWhatItCannotPrintWithoutRunningAnything) {
    fs::create_directories(m_temp.Path() / "folder.doc");
    LibreOfficeWriter writer(m_settings);
    for (const fs::path& file : {m_temp.Path() / "missing.doc", m_temp.Path() / "folder.doc"}) {
        std::string why;
        EXPECT_FALSE(writer.Print(file, why));
        EXPECT_NE(why.find(file.string()), std::string::npos) << why;
    }
    // A suite built without CUPS would end well and print nothing.
    Beside("libmergedlo.so");
    testsupport::WriteFile(Program().parent_path() / "libmergedlo.so",
                           "\x7f"
                           "ELF libvcl libc.so.6");
    std::string noCups;
    EXPECT_FALSE(writer.Print(Document(), noCups));
    EXPECT_NE(noCups.find("without printing support"), std::string::npos) << noCups;
    EXPECT_FALSE(fs::exists(Control() / "log"));
    testsupport::WriteFile(Program().parent_path() / "libmergedlo.so",
                           "\x7f"
                           "ELF libcups.so.2 libc.so.6");
    EXPECT_TRUE(writer.Print(Document(), noCups)) << noCups;
    EXPECT_EQ(Calls().size(), 1u);
    fs::remove(Control() / "log");

    m_settings.program = (m_temp.Path() / "bin" / "missing-soffice").string();
    LibreOfficeWriter missing(m_settings);
    std::string why;
    EXPECT_FALSE(missing.Print(Document(), why));
    EXPECT_NE(why.find("not installed"), std::string::npos) << why;
    EXPECT_FALSE(fs::exists(Control() / "log"));
}

class LibreOfficeEditTest : public LibreOfficeWriterTest {
  protected:
    void SetUp() override {
        LibreOfficeWriterTest::SetUp();
        DesktopWriter();
        fs::create_directories(m_temp.Path() / "templates");
        testsupport::WriteFile(Template(), "template");
    }
    fs::path Template() const { return m_temp.Path() / "templates" / kTemplateFileName; }
    bool Ran(const std::string& argument) const {
        for (const auto& call : Calls()) {
            if (std::find(call.begin(), call.end(), argument) != call.end()) {
                return true;
            }
        }
        return false;
    }
};

TEST_F(LibreOfficeEditTest, NewDocumentFromTheTemplateRunsMacrosAndEndsWithItsProcess) {
    LibreOfficeWriter writer(m_settings);
    std::string why;
    auto application = writer.Start(why);
    ASSERT_TRUE(application) << why;
    EXPECT_EQ(application->UserTemplatesPath(), m_settings.editProfile / "user" / "template");
    WordError error;
    auto document = application->AddFromTemplate(Template(), error);
    ASSERT_TRUE(document) << error.description;
    ASSERT_TRUE(WaitFor([&] { return Ran("-n"); }));
    EXPECT_EQ(Calls()[0],
              (std::vector<std::string>{"cwd=" + fs::current_path().string(), "--nologo", "--norestore",
                                        ProfileArgument(m_settings.editProfile), "-n", Template().string()}));

    struct Macro {
        const char* name;
        std::vector<Variant> args;
        bool ran;
        std::string url;
    };
    const std::string prefix = "macro://./Standard.Transcription.";
    const std::vector<Macro> macros{
        {"RegisterSorelIDs", {Variant::I4(4242), Variant::I4(0)}, true, prefix + "RegisterSorelIDs(4242,0)"},
        {"RegisterSorelConnection",
         {Variant::Bstr("host \"a\", port 23")},
         true,
         prefix + "RegisterSorelConnection(\"host \"\"a\"\", port 23\")"},
        {"NoArgument", {}, true, prefix + "NoArgument()"},
        {"Bad);Other(", {}, false, ""},
        {"Takes", {Variant::Bool(true)}, false, ""},
    };
    for (const Macro& macro : macros) {
        SCOPED_TRACE(macro.name);
        EXPECT_EQ(document->HasMacro(macro.name), std::string(macro.name) != "Bad);Other(");
        WordError failed;
        EXPECT_EQ(document->RunMacro(macro.name, macro.args, failed), macro.ran) << failed.description;
        if (macro.ran) {
            EXPECT_EQ(Calls().back(), (std::vector<std::string>{
                                          "cwd=" + fs::current_path().string(), "--nologo", "--norestore",
                                          ProfileArgument(m_settings.editProfile), macro.url}));
        } else {
            EXPECT_EQ(failed.source, "LibreOffice");
        }
    }
    Steer("exit", "2");
    WordError failed;
    EXPECT_FALSE(document->RunMacro("RegisterSorelIDs", std::vector<Variant>{}, failed));
    EXPECT_NE(failed.description.find("exit code 2"), std::string::npos) << failed.description;

    WordError shown;
    EXPECT_TRUE(document->Show(shown));
    int ended = 0;
    document->OnEnded([&] { ++ended; });
    QApplication::processEvents(QEventLoop::AllEvents, 100);
    EXPECT_EQ(ended, 0);
    Steer("close");
    ASSERT_TRUE(WaitFor([&] { return ended == 1; }));
    EXPECT_FALSE(document->Show(shown));
    EXPECT_FALSE(document->RunMacro("RegisterSorelIDs", std::vector<Variant>{}, failed));
    EXPECT_NE(failed.description.find("no longer running"), std::string::npos);
    QApplication::processEvents(QEventLoop::AllEvents, 100);
    EXPECT_EQ(ended, 1);
}

TEST_F(LibreOfficeEditTest, TheNextEditWatchesTheInstanceTheLastOneLeftOpen) {
    LibreOfficeWriter writer(m_settings);
    std::string why;
    auto application = writer.Start(why);
    ASSERT_TRUE(application) << why;
    WordError error;
    auto first = application->AddFromTemplate(Template(), error);
    ASSERT_TRUE(first) << error.description;
    ASSERT_TRUE(WaitFor([&] { return fs::exists(Control() / "running"); }));
    first.reset();  // the edit ended by the template's notice; the word processor stays open

    auto second = application->AddFromTemplate(Template(), error);
    ASSERT_TRUE(second) << error.description;
    EXPECT_EQ(Calls().size(), 2u);
    int ended = 0;
    second->OnEnded([&] { ++ended; });
    QApplication::processEvents(QEventLoop::AllEvents, 300);
    WordError shown;
    EXPECT_TRUE(second->Show(shown)) << "the handing-on process ending is not the edit ending";
    EXPECT_EQ(ended, 0);
    Steer("close");
    EXPECT_TRUE(WaitFor([&] { return ended == 1; }));
}

TEST_F(LibreOfficeEditTest, AMissingTemplateStartsNothing) {
    LibreOfficeWriter writer(m_settings);
    std::string why;
    auto application = writer.Start(why);
    ASSERT_TRUE(application) << why;
    WordError error;
    EXPECT_FALSE(application->AddFromTemplate(m_temp.Path() / "none.dot", error));
    EXPECT_NE(error.description.find("none.dot"), std::string::npos) << error.description;
    EXPECT_FALSE(fs::exists(Control() / "log"));
}

// The viewer's edit through the adapter: a template without the macros is never run here (the stand-in
// accepts them all), so the edit starts, and the word processor ending ends it with the window enabled.
class LumetraEditThroughLibreOfficeTest : public testsupport::RegistryTest {};

TEST_F(LumetraEditThroughLibreOfficeTest, TheEditEndsWhenTheWordProcessorDoes) {
    testsupport::TempFolder temp;
    testsupport::ScopedEnv env;
    const fs::path program = temp.Path() / "program" / "soffice";
    fs::create_directories(program.parent_path());
    fs::create_directories(temp.Path() / "control");
    testsupport::WriteFile(program, kStandIn);
    ::chmod(program.c_str(), 0755);
    testsupport::WriteFile(program.parent_path() / "libswlo.so", "");
    testsupport::WriteFile(program.parent_path() / "libvclplug_gtk3lo.so", "");
    testsupport::WriteFile(temp.Path() / kTemplateFileName, "template");
    env.Set("STANDIN_DIR", (temp.Path() / "control").string());
    ASSERT_EQ(Reg().SetValue(platform::HKey::LocalMachine, kTranscriptionKey, kTemplatesValue,
                             platform::RegValue::String(temp.Path().string())),
              0);
    LibreOfficeSettings settings;
    settings.program = program.string();
    settings.editProfile = temp.Path() / "profile";
    settings.exitPoll = std::chrono::milliseconds(20);
    LibreOfficeWriter writer(settings);

    CMainFrame frame(LumetraLog(temp.Path() / "viewer.log"));
    auto doc = std::make_shared<CLumetraDoc>(frame, Reg(), LumetraLog(), writer);
    frame.SetDocument(doc.get());
    auto window = std::make_shared<testsupport::RecordingClientWindow>();
    testsupport::CallForText(*doc, "RegisterSorelIDs",
                             {Variant::I4(0), Variant::I4(4), Variant::Dispatch(window)});
    testsupport::CallForText(*doc, "EnableButton", "edit");
    ASSERT_TRUE(doc->Enabled(Verdict::Edit));
    EXPECT_TRUE(doc->OnCommand(Verdict::Edit));
    EXPECT_FALSE(frame.isEnabled());
    EXPECT_EQ(testsupport::CallForText(*doc, "GetNotifyMessage"), "edit");
    EXPECT_EQ(testsupport::CallForText(*doc, "InvokeMacro", "Update  two words"), "0");
    EXPECT_NE(testsupport::ReadFile(temp.Path() / "control" / "log")
                  .find("macro://./Standard.Transcription.Update(\"two words\")"),
              std::string::npos);
    testsupport::WriteFile(temp.Path() / "control" / "close", "");
    EXPECT_TRUE(WaitFor([&] { return frame.isEnabled(); }));
    EXPECT_EQ(testsupport::CallForText(*doc, "GetNotifyMessage"), "EditEnd");
    EXPECT_EQ(testsupport::CallForText(*doc, "InvokeMacro", "Update"), "1");
    frame.SetDocument(nullptr);
}

}  // namespace
}  // namespace viewer
