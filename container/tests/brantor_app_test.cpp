// The container's logic against a recording frame and the stand-in control: connecting from the command
// line, each event's effect, the end of a session, the close rule and the order of the teardown.
#include "container/brantor_app.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <unistd.h>

#include <deque>

#include "container/tests/container_test_support.h"
#include "platform/unique_fd.h"
#include "platform/win32_error.h"
#include "suite/shell_open.h"

namespace container {
namespace {

using namespace platform::automation;
using platform::HKey;
using platform::RegValue;

class RecordingFrame : public BrantorFrame {
  public:
    bool CreateControlHost() override {
        Note("CreateControlHost");
        return createHost;
    }
    bool EmbedControl(CQuillet&) override {
        Note("EmbedControl");
        return embed;
    }
    void ReleaseControl() override { Note("ReleaseControl"); }
    void ShowFrame(bool maximised) override {
        Note(maximised ? "ShowFrame maximised" : "ShowFrame normal");
        maximisedNow = maximised;
    }
    void ShowControl() override { Note("ShowControl"); }
    void HideControl() override { Note("HideControl"); }
    void HideFrame() override { Note("HideFrame"); }
    bool IsMaximised() const override { return maximisedNow; }
    WindowRect NormalRect() const override { return normal; }
    WindowRect CurrentRect() const override { return current; }
    void PostClose() override { Note("PostClose"); }
    void Post(std::function<void()> task) override { posted.push_back(std::move(task)); }
    void SetTitle(std::string_view text) override { title = std::string(text); }
    int SwitchToolbar(int16_t bar) override {
        Note("SwitchToolbar " + std::to_string(bar));
        return 0;
    }
    void RemoveSystemToolbar() override { Note("RemoveSystemToolbar"); }
    void RefreshLayout() override { Note("RefreshLayout"); }
    std::optional<int32_t> TrackPopupMenu(const PopupMenuData& data) override {
        Note("TrackPopupMenu " + std::to_string(data.x) + "," + std::to_string(data.y));
        return menuChoice;
    }
    std::optional<FontChoice> ChooseFont(const suite::LogFont&) override {
        Note("ChooseFont");
        return fontChoice;
    }
    void ResizeForFont() override { Note("ResizeForFont"); }
    void SetTopmost(bool on) override { Note(on ? "Topmost on" : "Topmost off"); }

    void RunPosted() {
        while (!posted.empty()) {
            auto task = std::move(posted.front());
            posted.pop_front();
            task();
        }
    }
    void Note(std::string text) {
        notes.push_back(std::move(text));
        if (shared != nullptr) {
            shared->push_back(notes.back());
        }
    }

    bool createHost = true;
    bool embed = true;
    bool maximisedNow = false;
    WindowRect normal{30, 40, 830, 640};
    WindowRect current{0, 0, 1024, 768};
    std::optional<int32_t> menuChoice;
    std::optional<FontChoice> fontChoice;
    std::string title;
    std::vector<std::string> notes;
    std::vector<std::string>* shared = nullptr;
    std::deque<std::function<void()>> posted;
};

// The registry store, refusing one value name.
class RefusingFontStore : public FontValueStore {
  public:
    explicit RefusingFontStore(std::string refused) : m_inner(MakeRegistryFontStore()), m_refused(refused) {}
    int32_t Read(std::string_view name, RegValue& out) override { return m_inner->Read(name, out); }
    int32_t Write(std::string_view name, const RegValue& value) override {
        if (name == m_refused) {
            return platform::win32::kAccessDenied;
        }
        return m_inner->Write(name, value);
    }
    int32_t Remove(std::string_view name) override { return m_inner->Remove(name); }

  private:
    std::unique_ptr<FontValueStore> m_inner;
    std::string m_refused;
};

class BrantorAppTest : public testing::ContainerTest {
  protected:
    void SetUp() override {
        ContainerTest::SetUp();
        RegisterFake();
    }

    std::unique_ptr<CBrantorApp> MakeApp(std::unique_ptr<FontValueStore> fontStore = nullptr) {
        CBrantorApp::Options options;
        options.spawner = [this](const platform::SpawnOptions& spawn, std::string* message) {
            m_spawned.push_back(spawn);
            if (!m_spawnWorks && message != nullptr) {
                *message = "no such program";
            }
            return m_spawnWorks;
        };
        options.fontStore = std::move(fontStore);
        options.log = [this](std::string_view line) { m_log.emplace_back(line); };
        options.programFolder = "/opt/carrowline/bin";
        return std::make_unique<CBrantorApp>(m_frame, std::move(options));
    }

    size_t Fire(QuilletEvent event, std::vector<Variant> args = {}) {
        if (!m_fake->fire) {
            return 0;
        }
        return m_fake->fire(static_cast<DISPID>(event), args);
    }

    std::optional<RegValue> UserValue(std::string_view name) {
        RegValue value;
        if (Reg().QueryValue(HKey::CurrentUser, suite::kCompanyKey, name, value) != 0) {
            return std::nullopt;
        }
        return value;
    }

    RecordingFrame m_frame;
    std::vector<platform::SpawnOptions> m_spawned;
    bool m_spawnWorks = true;
};

TEST_F(BrantorAppTest, ConnectSetsTheControlUpAndLogsIn) {
    SetDword(HKey::CurrentUser, suite::kCompanyKey, "PROGRAM", 2);
    auto app = MakeApp();
    ASSERT_EQ(app->Connect("-X 12 -simple"), ConnectOutcome::Connected);
    EXPECT_TRUE(app->IsConnected());
    std::vector<std::string> order;
    for (const auto& call : m_fake->calls) {
        order.push_back(call.member);
    }
    const std::vector<std::string> expected = {"InVarnel", "Toolbars", "Border", "Login", "Simple"};
    EXPECT_EQ(order, expected);
    EXPECT_EQ(m_fake->CallsOf("InVarnel")[0].args[0], Variant::Bool(true));
    EXPECT_EQ(m_fake->CallsOf("Toolbars")[0].args[0], Variant::Bool(false));
    EXPECT_EQ(m_fake->CallsOf("Border")[0].args[0], Variant::Bool(false));
    EXPECT_EQ(m_fake->CallsOf("Login")[0].args[0], Variant::I2(1));
    EXPECT_EQ(m_fake->loginText, "-X 12 -simple");
    EXPECT_EQ(m_frame.title, "Varnel");
    EXPECT_EQ(m_frame.notes.back(), "RefreshLayout");
    EXPECT_TRUE(m_recorder.Texts().empty());
    // A second Connect does nothing.
    EXPECT_EQ(app->Connect("-h"), ConnectOutcome::Failed);
    EXPECT_EQ(m_fake->created, 1);
}

TEST_F(BrantorAppTest, ConnectOutcomes) {
    {
        m_fake->simple = true;
        auto app = MakeApp();
        ASSERT_EQ(app->Connect("/h:44 /p:55"), ConnectOutcome::Connected);
        EXPECT_EQ(m_fake->CallsOf("AutoLogin").at(0).args,
                  (std::vector<Variant>{Variant::I4(44), Variant::I4(55)}));
        EXPECT_TRUE(m_fake->CallsOf("Login").empty());
        EXPECT_NE(std::find(m_frame.notes.begin(), m_frame.notes.end(), "RemoveSystemToolbar"),
                  m_frame.notes.end());
        EXPECT_EQ(m_frame.title, "Ostrel");
    }
    m_fake->Reset();
    {
        m_fake->autoLoginResult = false;
        auto app = MakeApp();
        EXPECT_EQ(app->Connect("/h:44 /p:55"), ConnectOutcome::Failed);
        EXPECT_FALSE(app->IsConnected());
    }
    m_fake->Reset();
    {
        m_fake->loginResult = static_cast<int32_t>(0x80004005u);
        auto app = MakeApp();
        EXPECT_EQ(app->Connect("-h"), ConnectOutcome::Failed);
        EXPECT_TRUE(m_recorder.Texts().empty());  // the control reports a failed log-in itself
    }
    m_fake->Reset();
    {
        m_fake->loginResult = kLoginUsage;
        auto app = MakeApp();
        EXPECT_EQ(app->Connect("-q"), ConnectOutcome::Usage);
        EXPECT_EQ(m_recorder.Texts(), std::vector<std::string>{std::string(kUsageText)});
    }
}

TEST_F(BrantorAppTest, UsageComesBeforeAnyControl) {
    auto app = MakeApp();
    EXPECT_EQ(app->Connect("-h ?"), ConnectOutcome::Usage);
    EXPECT_EQ(m_fake->created, 0);
    EXPECT_TRUE(m_frame.notes.empty());
    EXPECT_EQ(m_recorder.Texts(), std::vector<std::string>{std::string(kUsageText)});
}

TEST_F(BrantorAppTest, BothModesInstalledRefusesWithoutLogin) {
    SetText(HKey::LocalMachine, "SOFTWARE\\Carrowline Corporation\\Varnel\\1.0\\server", "RemoteDataSet",
            "rd");
    SetText(HKey::LocalMachine, "SOFTWARE\\Carrowline Corporation\\Ostrel\\1.0\\server", "SorelData", "sd");
    auto app = MakeApp();
    EXPECT_EQ(app->Connect(""), ConnectOutcome::Failed);
    EXPECT_EQ(m_recorder.Texts(), std::vector<std::string>{std::string(kBothInstalledText)});
    EXPECT_TRUE(m_fake->CallsOf("Login").empty());
}

TEST_F(BrantorAppTest, FailuresBeforeLoginShowTheirMessages) {
    {
        m_frame.createHost = false;
        auto app = MakeApp();
        EXPECT_EQ(app->Connect("-h"), ConnectOutcome::Failed);
        EXPECT_EQ(m_recorder.Texts(),
                  std::vector<std::string>{"CQuillet function Create() failed in Connect()."});
    }
    m_recorder.Clear();
    m_frame.createHost = true;
    {
        m_frame.embed = false;  // a control without a widget
        auto app = MakeApp();
        EXPECT_EQ(app->Connect("-h"), ConnectOutcome::Failed);
        EXPECT_EQ(m_recorder.Texts(),
                  std::vector<std::string>{"CQuillet function Attach() failed in Connect()."});
    }
    EXPECT_EQ(m_fake->alive, 0);
}

TEST_F(BrantorAppTest, ShowContainerSetsTheHandshakeEvent) {
    SetDword(HKey::CurrentUser, suite::kCompanyKey, "ZoomMode", 1);
    auto app = MakeApp();
    int event = -1;
    bool setInside = false;
    // The control fires ShowContainer inside Login and waits for its event, as the real one does.
    m_fake->onLogin = [&] {
        event = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        ASSERT_GE(event, 0);
        EXPECT_EQ(Fire(QuilletEvent::ShowContainer, {Variant::I4(event)}), 1u);
        uint64_t value = 0;
        setInside = ::read(event, &value, sizeof value) == static_cast<ssize_t>(sizeof value) && value == 1;
        ::close(event);
    };
    ASSERT_EQ(app->Connect("-h"), ConnectOutcome::Connected);
    EXPECT_TRUE(setInside);
    EXPECT_TRUE(app->IsZoomed());
    const std::vector<std::string> shown = {"CreateControlHost", "EmbedControl", "ShowFrame maximised",
                                            "ShowControl"};
    EXPECT_EQ(std::vector<std::string>(m_frame.notes.begin(), m_frame.notes.begin() + 4), shown);
}

TEST_F(BrantorAppTest, ShowContainerWritesToNothingButAnEvent) {
    auto app = MakeApp();
    ASSERT_EQ(app->Connect("-h"), ConnectOutcome::Connected);
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_CLOEXEC | O_NONBLOCK), 0);
    Fire(QuilletEvent::ShowContainer, {Variant::I4(fds[1])});
    Fire(QuilletEvent::ShowContainer, {Variant::I4(-1)});
    char byte = 0;
    EXPECT_EQ(::read(fds[0], &byte, 1), -1);  // nothing was written into the pipe
    ::close(fds[0]);
    ::close(fds[1]);
    EXPECT_FALSE(app->IsZoomed());
    EXPECT_EQ(m_log.size(), 2u);
}

TEST_F(BrantorAppTest, NewWindowStartsAnotherContainer) {
    auto app = MakeApp();
    ASSERT_EQ(app->Connect("-h"), ConnectOutcome::Connected);
    EXPECT_EQ(Fire(QuilletEvent::NewWindow, {Variant::I4(17), Variant::I4(4242)}), 1u);
    ASSERT_EQ(m_spawned.size(), 1u);
    EXPECT_EQ(m_spawned[0].program, "/opt/carrowline/bin/brantor");
    EXPECT_EQ(m_spawned[0].argv,
              (std::vector<std::string>{"/opt/carrowline/bin/brantor", "/h:17", "/p:4242"}));
    EXPECT_TRUE(m_spawned[0].inheritFds.empty()) << "17 is no mapping of this process";
    ASSERT_TRUE(m_spawned[0].environment.has_value());
    EXPECT_EQ(m_spawned[0].environment->Get(kStartSizeVariable), std::optional<std::string>("1024x768"));
    EXPECT_TRUE(m_recorder.Texts().empty());

    // The control's block goes to the new window as an inherited descriptor; another kind never does.
    platform::UniqueFd block(::memfd_create("carrowline-mapping", MFD_CLOEXEC));
    platform::UniqueFd event(::eventfd(0, EFD_CLOEXEC));
    ASSERT_TRUE(block && event);
    Fire(QuilletEvent::NewWindow, {Variant::I4(block.Get()), Variant::I4(4242)});
    Fire(QuilletEvent::NewWindow, {Variant::I4(event.Get()), Variant::I4(4242)});
    ASSERT_EQ(m_spawned.size(), 3u);
    EXPECT_EQ(m_spawned[1].inheritFds, std::vector<int>{block.Get()});
    EXPECT_TRUE(m_spawned[2].inheritFds.empty());

    m_spawnWorks = false;
    Fire(QuilletEvent::NewWindow, {Variant::I4(1), Variant::I4(2)});
    ASSERT_EQ(m_recorder.Shown().size(), 1u);
    EXPECT_EQ(m_recorder.Shown()[0].text, "Failed to create new process.");
    EXPECT_EQ(m_recorder.Shown()[0].icon, platform::PromptIcon::None);
}

TEST_F(BrantorAppTest, SetFontWritesAllFiveValuesOrNone) {
    ASSERT_EQ(
        Reg().SetValue(HKey::CurrentUser, suite::kCompanyKey, "FontFaceName", RegValue::String("Old Face")),
        0);
    FontChoice choice;
    choice.font.faceName = "New Face";
    choice.font.weight = 700;
    choice.pointSizeTenths = 120;
    choice.cellHeight = 18;
    choice.cellWidth = 9;
    m_frame.fontChoice = choice;
    {
        auto app = MakeApp(std::make_unique<RefusingFontStore>("FontHeight"));
        ASSERT_EQ(app->Connect("-h"), ConnectOutcome::Connected);
        Fire(QuilletEvent::SetFont, {Variant::Bstr("")});
        // The face is back as it was and the size, written before the refusal, is gone again.
        EXPECT_EQ(UserValue("FontFaceName"), RegValue::String("Old Face"));
        EXPECT_FALSE(UserValue("FontSize").has_value());
        EXPECT_FALSE(UserValue("FontHeight").has_value());
        EXPECT_FALSE(UserValue("fontChanged").has_value());
        EXPECT_TRUE(m_recorder.Texts().empty());
        EXPECT_TRUE(m_fake->CallsOf("BootSorel").empty());
    }
    m_fake->Reset();
    m_frame.notes.clear();
    {
        auto app = MakeApp();
        ASSERT_EQ(app->Connect("-h"), ConnectOutcome::Connected);
        Fire(QuilletEvent::SetFont, {Variant::Bstr("")});
        EXPECT_EQ(UserValue("FontFaceName"), RegValue::String("New Face"));
        EXPECT_EQ(UserValue("FontSize"), RegValue::Dword(120));
        EXPECT_EQ(UserValue("FontHeight"), RegValue::Dword(18));
        EXPECT_EQ(UserValue("FontWidth"), RegValue::Dword(9));
        EXPECT_EQ(UserValue("FontWeight"), RegValue::Dword(700));
        EXPECT_EQ(UserValue("fontChanged"), RegValue::Dword(1));
        EXPECT_EQ(m_frame.notes.back(), "ResizeForFont");
        EXPECT_EQ(m_fake->CallsOf("BootSorel").size(), 1u);
    }
}

TEST_F(BrantorAppTest, SetFontCancelledChangesNothing) {
    auto app = MakeApp();
    ASSERT_EQ(app->Connect("-h"), ConnectOutcome::Connected);
    Fire(QuilletEvent::SetFont, {Variant::Bstr("")});
    EXPECT_FALSE(UserValue("FontFaceName").has_value());
    EXPECT_TRUE(m_fake->CallsOf("BootSorel").empty());
}

TEST_F(BrantorAppTest, SetMenuStringsKeepsACopy) {
    auto app = MakeApp();
    ASSERT_EQ(app->Connect("-h"), ConnectOutcome::Connected);
    {
        std::string first = "Open the patient";
        std::vector<MenuStringEntry> table = {
            {32783, first.c_str()}, {10001, nullptr}, {0, "after the end"}, {5, "never read"}};
        Fire(QuilletEvent::SetMenuStrings,
             {Variant::Pointer(table.data(), std::string(kMenuStringEntryTag))});
        first.assign("overwritten by the control");
    }
    EXPECT_EQ(app->MenuPrompt(32783), std::optional<std::string>("Open the patient"));
    EXPECT_EQ(app->MenuPrompt(10001), std::optional<std::string>(""));
    EXPECT_FALSE(app->MenuPrompt(5).has_value());

    // A table without its end is read no further than 30 entries.
    std::vector<MenuStringEntry> endless(40);
    for (size_t i = 0; i < endless.size(); ++i) {
        endless[i] = {static_cast<int32_t>(i + 1), "x"};
    }
    Fire(QuilletEvent::SetMenuStrings, {Variant::Pointer(endless.data(), std::string(kMenuStringEntryTag))});
    EXPECT_EQ(app->MenuStrings().size(), 30u);
    EXPECT_FALSE(app->MenuPrompt(31).has_value());

    // A pointer of another kind is refused by the sink and the kept table stays.
    int wrong = 0;
    Fire(QuilletEvent::SetMenuStrings, {Variant::Pointer(&wrong, "int")});
    EXPECT_EQ(app->MenuStrings().size(), 30u);
}

TEST_F(BrantorAppTest, PopupMenuChoiceReachesTheControlAfterTheEvent) {
    auto app = MakeApp();
    ASSERT_EQ(app->Connect("-h"), ConnectOutcome::Connected);
    int menu = 0;
    PopupMenuData data;
    data.menu = &menu;
    data.x = 300;
    data.y = 200;
    m_frame.menuChoice = 10004;
    Fire(QuilletEvent::PopupMenu, {Variant::Pointer(&data, std::string(kPopupMenuDataTag))});
    EXPECT_EQ(m_frame.notes.back(), "TrackPopupMenu 300,200");
    EXPECT_TRUE(m_fake->CallsOf("PopupMenuItem").empty());
    m_frame.RunPosted();
    EXPECT_EQ(m_fake->CallsOf("ForceNewWindow").at(0).args.at(0), Variant::I2(0));
    EXPECT_EQ(m_fake->CallsOf("PopupMenuItem").at(0).args.at(0), Variant::I2(10004));

    m_frame.menuChoice.reset();
    Fire(QuilletEvent::PopupMenu, {Variant::Pointer(&data, std::string(kPopupMenuDataTag))});
    m_frame.RunPosted();
    EXPECT_EQ(m_fake->CallsOf("PopupMenuItem").size(), 1u);
}

TEST_F(BrantorAppTest, TitleToolbarTamselAndErrorBox) {
    auto app = MakeApp();
    ASSERT_EQ(app->Connect("-h"), ConnectOutcome::Connected);
    Fire(QuilletEvent::SetTitle, {Variant::Bstr("<b>Smith</b> [*] %1")});
    EXPECT_EQ(m_frame.title, "<b>Smith</b> [*] %1");
    Fire(QuilletEvent::SwitchToolbar, {Variant::I2(2)});
    EXPECT_EQ(m_frame.notes.back(), "SwitchToolbar 2");
    const size_t notes = m_frame.notes.size();
    Fire(QuilletEvent::Tamsel, {Variant::Bstr("USRCHANGE")});
    EXPECT_EQ(m_frame.notes.size(), notes);

    Fire(QuilletEvent::DisplayErrorBox, {Variant::Bstr("Record locked by <i>user 4</i>")});
    ASSERT_EQ(m_recorder.Shown().size(), 1u);
    EXPECT_EQ(m_recorder.Shown()[0].text, "Record locked by <i>user 4</i>");
    EXPECT_EQ(m_recorder.Shown()[0].icon, platform::PromptIcon::Stop);
    EXPECT_EQ(std::vector<std::string>(m_frame.notes.end() - 2, m_frame.notes.end()),
              (std::vector<std::string>{"Topmost on", "Topmost off"}));
}

TEST_F(BrantorAppTest, CloseSendsQuitOnlyWhenChainable) {
    auto app = MakeApp();
    EXPECT_TRUE(app->OnClose());  // not connected: the frame closes
    ASSERT_EQ(app->Connect("-h"), ConnectOutcome::Connected);

    m_fake->chainable = true;
    EXPECT_FALSE(app->OnClose());
    ASSERT_EQ(m_fake->CallsOf("Send").size(), 1u);
    EXPECT_EQ(m_fake->CallsOf("Send")[0].args.at(0), Variant::Bstr("/quit\r"));
    EXPECT_TRUE(m_recorder.Texts().empty());

    m_fake->chainable = false;
    EXPECT_FALSE(app->OnClose());
    EXPECT_EQ(m_fake->CallsOf("Send").size(), 1u);
    ASSERT_EQ(m_recorder.Shown().size(), 1u);
    EXPECT_EQ(m_recorder.Shown()[0].text, std::string(kCannotQuitText));
    EXPECT_EQ(m_recorder.Shown()[0].icon, platform::PromptIcon::Exclamation);
}

TEST_F(BrantorAppTest, HelpOpensTheModesDocuments) {
    std::vector<std::filesystem::path> opened;
    suite::ShellOpener previous =
        suite::SetShellOpener([&](const std::filesystem::path& path) { opened.push_back(path); });
    // The installer's values name folders of this machine, outside every mapped drive.
    const std::filesystem::path installed = m_home.parent_path() / "installed";
    testsupport::WriteFile(installed / "Help" / "Brantor.chm", "help");
    testsupport::WriteFile(installed / "Guide.pdf", "guide");
    SetDword(HKey::CurrentUser, suite::kCompanyKey, "PROGRAM", 2);
    auto app = MakeApp();
    ASSERT_EQ(app->Connect("-h"), ConnectOutcome::Connected);

    app->OnHelpContents();
    app->OnOperatorsGuide();
    EXPECT_EQ(m_recorder.Texts(), (std::vector<std::string>{"Could not find HelpDir subkey in registry.",
                                                            "Could not find OpGuide key in registry."}));
    EXPECT_EQ(m_fake->CallsOf("Activate").size(), 0u);

    m_recorder.Clear();
    const std::string varnelDocs = "SOFTWARE\\Carrowline Corporation\\Varnel\\1.0\\Docs";
    SetText(HKey::LocalMachine, varnelDocs, "Other", "x");
    app->OnOperatorsGuide();
    EXPECT_EQ(m_recorder.Texts(), std::vector<std::string>{"Could not find OpGuide subkey in registry."});

    m_recorder.Clear();
    SetText(HKey::LocalMachine, varnelDocs, "HelpDir", (installed / "Help").string());
    SetText(HKey::LocalMachine, varnelDocs, "OpGuide", (installed / "Guide.pdf").string());
    app->OnHelpContents();
    app->OnOperatorsGuide();
    EXPECT_TRUE(m_recorder.Texts().empty());
    EXPECT_EQ(opened, (std::vector<std::filesystem::path>{installed / "Help" / "Brantor.chm",
                                                          installed / "Guide.pdf"}));
    EXPECT_EQ(m_fake->CallsOf("Activate").size(), 1u);

    // A host drive path is no folder of this machine: the file is not found, and the control still gets
    // the focus back.
    m_recorder.Clear();
    SetText(HKey::LocalMachine, varnelDocs, "HelpDir", "C:\\Help");
    app->OnHelpContents();
    EXPECT_EQ(m_recorder.Texts(),
              std::vector<std::string>{"Error opening Help Guide\n'C:\\Help/Brantor.chm'"});
    EXPECT_EQ(opened.size(), 2u);
    EXPECT_EQ(m_fake->CallsOf("Activate").size(), 2u);

    app->OnAppAbout();
    EXPECT_EQ(m_fake->calls.back().member, "AboutBox");
    suite::SetShellOpener(previous);
}

TEST_F(BrantorAppTest, AltF4AsksTheHostToShutDownWhileConnected) {
    auto app = MakeApp();
    EXPECT_TRUE(app->OnAltF4());
    ASSERT_EQ(app->Connect("-h"), ConnectOutcome::Connected);
    EXPECT_FALSE(app->OnAltF4());
    EXPECT_EQ(m_fake->CallsOf("ShutDownSorel").size(), 1u);
}

TEST_F(BrantorAppTest, SorelExitEndsTheSessionAndClosesTheFrame) {
    auto app = MakeApp();
    ASSERT_EQ(app->Connect("-h"), ConnectOutcome::Connected);
    m_frame.maximisedNow = true;
    m_frame.notes.clear();
    EXPECT_EQ(Fire(QuilletEvent::SorelExit), 1u);
    EXPECT_FALSE(app->IsConnected());
    EXPECT_TRUE(m_fake->CallsOf("Send").empty());  // never "/quit\r" on the way out of a session
    EXPECT_EQ(m_frame.notes, (std::vector<std::string>{"HideControl", "HideFrame", "PostClose"}));
    EXPECT_EQ(UserValue("ZoomMode"), RegValue::Dword(1));
    EXPECT_EQ(ReadWindowSize(), (WindowRect{30, 40, 830, 640}));
    // The sink is gone: later events reach no one, and the frame now closes.
    EXPECT_EQ(Fire(QuilletEvent::SetTitle, {Variant::Bstr("late")}), 0u);
    EXPECT_TRUE(app->OnClose());
}

TEST_F(BrantorAppTest, ExitReleasesTheControlAfterTakingItsWidgetBack) {
    std::vector<std::string> order;
    m_frame.shared = &order;
    m_fake->onDestroyed = [&] { order.push_back("control destroyed"); };
    auto app = MakeApp();
    ASSERT_EQ(app->Connect("-h"), ConnectOutcome::Connected);
    order.clear();
    app->ExitInstance();
    EXPECT_EQ(order, (std::vector<std::string>{"ReleaseControl", "control destroyed"}));
    EXPECT_EQ(m_fake->CallsOf("IsContainerRunning").at(0).args.at(0), Variant::Bool(false));
    EXPECT_EQ(m_fake->alive, 0);
    app.reset();
    EXPECT_EQ(order.size(), 2u);
}

}  // namespace
}  // namespace container
