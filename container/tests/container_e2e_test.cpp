// The container with the real terminal control on the local stand-in host: the window and frame this
// process builds around libquillet.so (title, greeting, toolbar, close rule, new window), and the brantor
// program itself started as a child in its own folder tree.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <QApplication>
#include <QFontDialog>
#include <QFontInfo>
#include <QFontMetrics>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "container/brantor_app.h"
#include "container/host_commands.h"
#include "container/main_frame.h"

#include <QAction>
#include <QMenuBar>
#include "container/tests/e2e_session.h"
#include "hostlink/tests/local_standin.h"
#include "hostlink/tests/remote_standin.h"
#include "platform/automation/dispatch.h"
#include "platform/known_folders.h"
#include "platform/registry.h"
#include "platform/user_prompt.h"
#include "suite/client_mode.h"
#include "suite/registry_settings.h"
#include "terminal/widget/terminal_font.h"
#include "testsupport/test_support.h"

namespace container {
namespace {

using hostlink::testing::ReadStandinRecord;
using hostlink::testing::StandinRun;
using hostlink::testing::WaitForStandinRecord;
namespace automation = platform::automation;

constexpr int kSafetyNetMs = 30000;

// The toolbar button that sends "/pat\r", found in the bars' tables rather than by a fixed id.
int32_t AddPatientButton() {
    for (const ToolbarId bar : {ToolbarId::System, ToolbarId::Appointment, ToolbarId::MedicalRecords,
                                ToolbarId::Mpi, ToolbarId::Control}) {
        for (const ToolbarButton& button : Toolbar(bar).buttons) {
            const std::optional<HostCommand> command = HostCommandFor(button.id);
            if (command && command->text == "/pat\r") {
                return button.id;
            }
        }
    }
    return 0;
}

std::string ScreenText(CQuillet& control) {
    const auto object = control.Object();
    if (!object) {
        return {};
    }
    automation::DISPID id = automation::DISPID_UNKNOWN;
    if (object->GetIDOfName("GetScreenBuffer", id) != automation::S_OK) {
        return {};
    }
    automation::Variant result;
    if (object->Invoke(id, automation::InvokeKind::Method, {}, &result, nullptr) != automation::S_OK) {
        return {};
    }
    return result.AsBstr();
}

// In this process: the control library keeps the registry it first opened for the life of the process,
// so the suite shares one tree and its environment; each test has its own record and script.
class ContainerE2eTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        // Made once: a repeated run must find the registry the library already holds.
        static e2e::SessionTree tree;
        static std::string prepared = [] {
            std::string why;
            return tree.Prepare(&why) ? std::string() : why;
        }();
        ASSERT_TRUE(prepared.empty()) << prepared;
        s_tree = &tree;
        s_env = std::make_unique<testsupport::ScopedEnv>();
        for (const auto& [name, value] : s_tree->Variables()) {
            s_env->Set(name, value);
        }
        s_registry = std::make_unique<platform::Registry>(
            platform::Registry::Paths{platform::MachineHivePath(), platform::UserHivePath()});
        platform::Registry::OverrideDefault(s_registry.get());
    }
    static void TearDownTestSuite() {
        platform::Registry::OverrideDefault(nullptr);
        s_registry.reset();
        s_env.reset();
        s_tree = nullptr;
    }

    void SetUp() override {
        ASSERT_TRUE(s_tree);
        const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        m_folder = s_tree->Folder("tests") / name;
        // A repeated run starts with an empty record.
        std::error_code ec;
        std::filesystem::remove_all(m_folder, ec);
        std::filesystem::create_directories(m_folder);
        m_env.Set("CARROWLINE_STANDIN_RECORD", Record().string());
        m_env.Set("CARROWLINE_STANDIN_SCRIPT", "");
        m_prompt = std::make_unique<platform::ScopedDefaultPrompt>(m_recorder);
        // The control shows its own message boxes; one would wait for a user who is not there.
        QObject::connect(&m_modalWatch, &QTimer::timeout, [this] {
            if (auto* fonts = qobject_cast<QFontDialog*>(QApplication::activeModalWidget());
                fonts != nullptr && m_fontToChoose) {
                // The user picks the font the test asked for.
                fonts->setCurrentFont(*std::exchange(m_fontToChoose, std::nullopt));
                fonts->accept();
                return;
            }
            if (QWidget* modal = QApplication::activeModalWidget()) {
                // The remote login's progress dialog runs the connection and ends by itself.
                if (std::string_view(modal->metaObject()->className()) == "tools::CAutoLoginDlg") {
                    return;
                }
                const auto* box = qobject_cast<QMessageBox*>(modal);
                m_modalTexts.push_back(box != nullptr ? box->text().toStdString()
                                                      : modal->windowTitle().toStdString());
                modal->close();
            }
        });
        m_modalWatch.start(50);

        CBrantorApp::Options options;
        options.programFolder = std::filesystem::path(CARROWLINE_BRANTOR).parent_path();
        options.spawner = [this](const platform::SpawnOptions& spawn, std::string* message) {
            return StartNewWindow(spawn, message);
        };
        m_app = std::make_unique<CBrantorApp>(m_frame, std::move(options));
        m_frame.SetApp(m_app.get());
    }
    void TearDown() override {
        for (const std::string& text : m_modalTexts) {
            ADD_FAILURE() << "the control showed a message box: " << text;
        }
        m_modalWatch.stop();
        m_app->ExitInstance();
        m_frame.SetApp(nullptr);
        m_app.reset();
        for (const pid_t pid : m_windows) {
            ::kill(pid, SIGTERM);
            platform::WaitForExit(pid);
        }
        m_prompt.reset();
    }

    std::filesystem::path Record() const { return m_folder / "record.txt"; }
    void UseScript(std::string_view text) {
        const std::filesystem::path script = m_folder / "script.txt";
        testsupport::WriteFile(script, std::string(text));
        m_env.Set("CARROWLINE_STANDIN_SCRIPT", script.string());
    }

    // The window a NewWindow opens: the real program. Its own host session plays the second script (this
    // test's script would open windows without end): one screen, then the host ends.
    bool StartNewWindow(const platform::SpawnOptions& spawn, std::string* message) {
        m_newWindowArgv.push_back(spawn.argv);
        const std::filesystem::path script = m_folder / "second.txt";
        testsupport::WriteFile(script,
                               "send \\e[2J\\e[H\\e[%Second window\\x01O\n"
                               "send Second\\r\\n\n"
                               "exit 0\n");
        platform::SpawnOptions options = spawn;
        if (options.environment) {
            options.environment->Set("CARROWLINE_STANDIN_SCRIPT", script.string());
        }
        options.nullStdio = true;
        auto child = platform::Spawn(options, nullptr, message);
        if (!child) {
            return false;
        }
        m_windows.push_back(child->pid);
        return true;
    }

    // Connects as `brantor -l -#7 demo` does and waits for the host's first screen.
    void ConnectLocal(std::string_view screenText) {
        ASSERT_EQ(m_app->Connect("-l -#7 demo"), ConnectOutcome::Connected) << Prompts();
        ASSERT_TRUE(m_app->Control() != nullptr);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return ScreenText(*m_app->Control()).find(screenText) != std::string::npos; },
            kSafetyNetMs))
            << ScreenText(*m_app->Control());
    }

    // The first stand-in run of this test, as the record has it now.
    StandinRun HostRun() const {
        const auto runs = ReadStandinRecord(Record());
        return runs.empty() ? StandinRun{} : runs.front();
    }

    // Closes the frame the way the user does and runs the program's event loop until it ends; its code.
    int CloseAndRun() {
        QTimer safety;
        safety.setSingleShot(true);
        QObject::connect(&safety, &QTimer::timeout, [] { QCoreApplication::exit(99); });
        safety.start(kSafetyNetMs);
        QTimer::singleShot(0, &m_frame, [this] { m_frame.close(); });
        return QApplication::exec();
    }

    std::string Prompts() const {
        std::string text;
        for (const std::string& message : m_recorder.Texts()) {
            text += message + "\n";
        }
        return text;
    }

    static e2e::SessionTree* s_tree;
    static std::unique_ptr<testsupport::ScopedEnv> s_env;
    static std::unique_ptr<platform::Registry> s_registry;

    std::filesystem::path m_folder;
    testsupport::ScopedEnv m_env;
    platform::RecordingPrompt m_recorder;
    std::unique_ptr<platform::ScopedDefaultPrompt> m_prompt;
    QTimer m_modalWatch;
    std::vector<std::string> m_modalTexts;
    std::optional<QFont> m_fontToChoose;  // what the next font dialog is answered with
    CMainFrame m_frame;
    std::unique_ptr<CBrantorApp> m_app;
    std::vector<std::vector<std::string>> m_newWindowArgv;
    std::vector<pid_t> m_windows;
};

e2e::SessionTree* ContainerE2eTest::s_tree = nullptr;
std::unique_ptr<testsupport::ScopedEnv> ContainerE2eTest::s_env;
std::unique_ptr<platform::Registry> ContainerE2eTest::s_registry;

TEST_F(ContainerE2eTest, HostTitleNamesTheWindowAndToolbarReachesTheHostUntilCloseEndsTheProgram) {
    ConnectLocal("Type /quit");
    const std::string screen = ScreenText(*m_app->Control());
    EXPECT_EQ(screen.substr(0, e2e::kStandinGreeting.size()), e2e::kStandinGreeting);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return m_frame.windowTitle() == QString::fromUtf8(e2e::kStandinTitle); }, kSafetyNetMs))
        << m_frame.windowTitle().toStdString();
    EXPECT_TRUE(m_frame.isVisible());
    ASSERT_TRUE(m_frame.ControlWidget() != nullptr);
    EXPECT_TRUE(m_frame.ControlWidget()->isVisible());
    EXPECT_EQ(HostRun().Arguments(), (std::vector<std::string>{"-t1", "-p1", "-#7", "demo"}));
    // The control's Edit and custom menus joined the frame's menu bar.
    QStringList bar;
    for (QAction* action : m_frame.menuBar()->actions()) {
        bar << action->text();
    }
    EXPECT_EQ(bar, (QStringList{"&File", "&Edit", "&View", "&Windows", "&Help"}));

    const int32_t button = AddPatientButton();
    ASSERT_NE(button, 0);
    m_frame.OnToolbarCommand(button);
    ASSERT_TRUE(QTest::qWaitFor([&] { return HostRun().received == "/pat\r"; }, kSafetyNetMs))
        << HostRun().received;
    // The host echoes it onto the screen.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return ScreenText(*m_app->Control()).find("/pat") != std::string::npos; }, kSafetyNetMs));

    // The close asks the host to quit; its end closes the frame and the event loop ends with 0.
    EXPECT_TRUE(m_app->Control()->IsChainable());
    EXPECT_EQ(CloseAndRun(), 0);
    const StandinRun run = HostRun();
    EXPECT_EQ(run.received, "/pat\r/quit\r");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_FALSE(m_app->IsConnected());
    EXPECT_FALSE(m_frame.isVisible());
    EXPECT_TRUE(m_recorder.Texts().empty()) << Prompts();
}

TEST_F(ContainerE2eTest, TitleReportIsTakenAsPlainText) {
    // A host title with markup in it shows as the host sent it.
    UseScript(
        "send \\e[2J\\e[H\\e[%<b>Ward</b> & list\\x01O\n"
        "send Ready\\r\\n\n"
        "echo\n");
    ConnectLocal("Ready");
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_frame.windowTitle() == QStringLiteral("<b>Ward</b> & list"); },
                                kSafetyNetMs))
        << m_frame.windowTitle().toStdString();
    EXPECT_EQ(CloseAndRun(), 0);
    EXPECT_EQ(HostRun().received, "/quit\r");
}

// What `brantor -h` does, in this process so that the first screen can be read: host, data set and the
// rest from the machine's settings, the login lines the host checks, then its screen in the window.
TEST_F(ContainerE2eTest, RemoteStartWithABareSwitchShowsTheHostsFirstScreen) {
    const std::filesystem::path script = m_folder / "remote.script";
    const std::filesystem::path record = m_folder / "remote.record";
    testsupport::WriteFile(script,
                           "send \\e[2J\\e[H\\e[%Remote session\\x01O\n"
                           "send First remote screen\\r\\n\n"
                           "expect /quit\\r\n"
                           "close\n");
    hostlink::testing::StandinHost host({"--record", record.string(), "--script", script.string()});
    ASSERT_NE(host.Port(), 0);
    const std::string server = suite::ServerKey(suite::ClientMode::Remote);
    for (const auto& [name, value] : std::vector<std::pair<const char*, platform::RegValue>>{
             {"RemoteHost", platform::RegValue::String("127.0.0.1")},
             {"RemoteDataSet", platform::RegValue::String("/data/main")},
             {"RemoteSorelProgs", platform::RegValue::String("/progs")},
             {"RemoteEnviro", platform::RegValue::String("A=1;B=2")},
             {"RemotePort", platform::RegValue::Dword(host.Port())},
             {"RemoteTerm", platform::RegValue::Dword(5)},
             {"RemotePrinter", platform::RegValue::Dword(2)}}) {
        ASSERT_EQ(s_registry->SetValue(platform::HKey::LocalMachine, server, name, value), 0) << name;
    }

    ASSERT_EQ(m_app->Connect("-h -uann -PWpw1 -#7 se-Xcret"), ConnectOutcome::Connected) << Prompts();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return ScreenText(*m_app->Control()).find("First remote screen") != std::string::npos; },
        kSafetyNetMs))
        << ScreenText(*m_app->Control());
    EXPECT_EQ(ScreenText(*m_app->Control()).substr(0, 19), "First remote screen");
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_frame.windowTitle() == QStringLiteral("Remote session"); },
                                kSafetyNetMs))
        << m_frame.windowTitle().toStdString();

    const auto lines = hostlink::testing::RecordedLines(record);
    ASSERT_TRUE(lines) << "the host saw no login";
    ASSERT_EQ(lines->size(), 13u) << ::testing::PrintToString(*lines);
    const std::vector<std::string> settings(lines->begin() + 1, lines->begin() + 9);
    EXPECT_EQ(settings, (std::vector<std::string>{"ann", "pw1", "/data/main", "/progs", "5", "A=1;B=2",
                                                  "sorel -t5 -p2 -pipe", "0"}));
    EXPECT_EQ((*lines)[10], "se-Xcret");

    // The close asks the host to quit; the host closing ends the session and the program with 0.
    EXPECT_EQ(CloseAndRun(), 0);
    EXPECT_FALSE(m_app->IsConnected());
    EXPECT_TRUE(m_recorder.Texts().empty()) << Prompts();
}

TEST_F(ContainerE2eTest, HostNewWindowStartsASecondBrantorOnTheSameSession) {
    UseScript(
        "send \\e[2J\\e[H\\e[%First window\\x01O\n"
        "send Ready\\r\\n\n"
        "send \\e[1k\n"
        "echo\n");
    ConnectLocal("Ready");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_newWindowArgv.empty(); }, kSafetyNetMs))
        << "no new window was asked for; prompts: " << Prompts();
    ASSERT_EQ(m_newWindowArgv.size(), 1u);
    const std::vector<std::string>& argv = m_newWindowArgv.front();
    ASSERT_EQ(argv.size(), 3u);
    EXPECT_EQ(argv[0], CARROWLINE_BRANTOR);
    EXPECT_TRUE(argv[1].starts_with("/h:")) << argv[1];
    EXPECT_EQ(argv[2], "/p:" + std::to_string(::getpid()));
    ASSERT_EQ(m_windows.size(), 1u);

    // The second window's own host session appears in the record beside the first.
    const auto runs =
        WaitForStandinRecord(Record(), [](const std::vector<StandinRun>& r) { return r.size() >= 2; });
    ASSERT_GE(runs.size(), 2u) << "the second brantor started no host session; it "
                               << (platform::PollExit(m_windows.front())
                                       ? "ended with " +
                                             std::to_string(*platform::PollExit(m_windows.front()))
                                       : std::string("still runs"));
    EXPECT_NE(runs[1].pid, runs[0].pid);
    EXPECT_EQ(runs[1].Program(), "sorel");
    // The same user and password, handed over from the first window's session, as a new window's.
    EXPECT_EQ(runs[1].Arguments(), (std::vector<std::string>{"-t1", "-p1", "-#7", "demo", "-w"}));
    const std::optional<std::string> size = runs[1].Env(kStartSizeVariable);
    ASSERT_TRUE(size.has_value());
    EXPECT_NE(size->find('x'), std::string::npos) << *size;

    // The second window's host ends, and with it the second program, as the first one's would.
    std::optional<int> second;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (second = platform::PollExit(m_windows.front())).has_value(); },
                                kSafetyNetMs));
    m_windows.clear();
    EXPECT_EQ(second, 0);
    const auto ended = ReadStandinRecord(Record());
    ASSERT_GE(ended.size(), 2u);
    EXPECT_EQ(ended[1].exitCode, 0);

    EXPECT_EQ(CloseAndRun(), 0);
    EXPECT_EQ(HostRun().received, "/quit\r");
}

TEST_F(ContainerE2eTest, NewWindowsLeaveNoDescriptorBehindAndEachTakesItsBlock) {
    UseScript(
        "send \\e[2J\\e[H\\e[%First window\\x01O\n"
        "send Ready\\r\\n\n"
        "expect go\n"
        "send \\e[1k\n"
        "expect go\n"
        "send \\e[1k\n"
        "expect go\n"
        "send \\e[1k\n"
        "echo\n");
    ConnectLocal("Ready");
    const int mappings = testsupport::OpenFdsOn(testsupport::kMappingFdPrefix);
    const int fds = testsupport::OpenFdsOn();
    constexpr size_t kWindows = 3;
    for (size_t n = 1; n <= kWindows; ++n) {
        ASSERT_EQ(m_app->Control()->Send("go"), automation::S_OK);
        ASSERT_TRUE(QTest::qWaitFor([&] { return m_newWindowArgv.size() == n; }, kSafetyNetMs))
            << "window " << n << " was not asked for; prompts: " << Prompts();
        // The new window read the block: its own host session runs as the handed-over user.
        const auto runs = WaitForStandinRecord(
            Record(), [n](const std::vector<StandinRun>& r) { return r.size() >= n + 1; });
        ASSERT_GE(runs.size(), n + 1) << "window " << n << " started no host session";
        EXPECT_EQ(runs[n].Arguments(), (std::vector<std::string>{"-t1", "-p1", "-#7", "demo", "-w"}));
    }
    ASSERT_EQ(m_windows.size(), kWindows);
    EXPECT_EQ(testsupport::OpenFdsOn(testsupport::kMappingFdPrefix), mappings);
    // Nothing else piles up either; a descriptor still settling gets time.
    EXPECT_TRUE(QTest::qWaitFor([&] { return testsupport::OpenFdsOn() <= fds; }, kSafetyNetMs))
        << testsupport::OpenFdsOn() << " descriptors open, " << fds << " before the new windows";

    EXPECT_EQ(CloseAndRun(), 0);
    EXPECT_EQ(HostRun().received, "gogogo/quit\r");
}

// The cell the control draws its screen with: its field editor carries the screen's font.
std::optional<QSize> ControlCell(QWidget* control) {
    if (control == nullptr) {
        return std::nullopt;
    }
    // The control's classes live in its own library: found by name, not by type.
    for (QWidget* child : control->findChildren<QWidget*>()) {
        if (std::string_view(child->metaObject()->className()) == "terminal::CFieldEdit") {
            const QFontMetrics metrics(child->font(), child);
            return QSize(metrics.horizontalAdvance(QStringLiteral("abcdefghijklmnopqrstuvwxyz")) / 26,
                         metrics.height());
        }
    }
    return std::nullopt;
}

TEST_F(ContainerE2eTest, AFontChangeFitsTheFrameToTheControlsCells) {
    ConnectLocal("Type /quit");
    const int sb = m_frame.IsStatusBarVisible() ? m_frame.StatusBar()->sizeHint().height() : 0;
    std::vector<QSize> cells;
    for (const int points : {11, 16}) {
        const QFont chosen(QStringLiteral("DejaVu Sans Mono"), points);
        m_fontToChoose = chosen;
        ASSERT_EQ(m_app->Control()->SetFontControl(), automation::S_OK);
        EXPECT_FALSE(m_fontToChoose.has_value()) << "no font dialog was shown";
        // The screen keeps the size the user chose: the cell of that character height as the control
        // draws it, not one the frame's own guess made the control refit to.
        suite::LogFont drawn;
        drawn.faceName = "DejaVu Sans Mono";
        drawn.height = -QFontInfo(chosen).pixelSize();
        const terminal::CellSize own =
            terminal::MeasureCell(terminal::CreateTerminalFont(drawn, m_frame.View()), m_frame.View());
        const QSize expected(own.width, own.height);
        // The frame holds 80 x 25 of those cells and its margins, no more and no less.
        const QSize wanted(std::max(80 * own.width + kControlMarginWidth, kMinClientWidth),
                           std::max(25 * own.height + sb + kControlMarginHeight, kMinClientHeight));
        std::optional<QSize> cell;
        const bool fits = QTest::qWaitFor(
            [&] {
                cell = ControlCell(m_frame.ControlWidget());
                return cell == expected && m_frame.size() == wanted;
            },
            kSafetyNetMs);
        ASSERT_TRUE(cell.has_value()) << "the control's field editor was not found";
        EXPECT_TRUE(fits) << points << " points: frame " << m_frame.width() << "x" << m_frame.height()
                          << " (wanted " << wanted.width() << "x" << wanted.height() << "), cell "
                          << cell->width() << "x" << cell->height() << " (wanted " << own.width << "x"
                          << own.height << ")";
        cells.push_back(*cell);
    }
    ASSERT_EQ(cells.size(), 2u);
    EXPECT_LT(cells[0].height(), cells[1].height()) << "the two fonts gave one cell";
    EXPECT_EQ(CloseAndRun(), 0);
}

// Counts the rewrites of one file: each store of the registry renames a new hive into place.
class FileRewrites {
  public:
    explicit FileRewrites(const std::filesystem::path& file)
        : m_name(file.filename().string()), m_fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        if (m_fd >= 0) {
            ::inotify_add_watch(m_fd, file.parent_path().c_str(), IN_MOVED_TO | IN_CLOSE_WRITE);
        }
    }
    ~FileRewrites() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    FileRewrites(const FileRewrites&) = delete;
    FileRewrites& operator=(const FileRewrites&) = delete;
    bool Watching() const { return m_fd >= 0; }
    int Count() {
        alignas(inotify_event) char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n <= 0) {
                return m_count;
            }
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if (event->len > 0 && m_name == event->name) {
                    ++m_count;
                }
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
    }

  private:
    std::string m_name;
    int m_fd;
    int m_count = 0;
};

// Every cell the control's field editor is given, in order.
class CellChanges : public QObject {
  public:
    CellChanges() { QCoreApplication::instance()->installEventFilter(this); }
    ~CellChanges() override { QCoreApplication::instance()->removeEventFilter(this); }
    const std::vector<QSize>& Cells() const { return m_cells; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::FontChange &&
            std::string_view(watched->metaObject()->className()) == "terminal::CFieldEdit") {
            auto* field = static_cast<QWidget*>(watched);
            const QFontMetrics metrics(field->font(), field);
            const QSize cell(metrics.horizontalAdvance(QStringLiteral("abcdefghijklmnopqrstuvwxyz")) / 26,
                             metrics.height());
            if (m_cells.empty() || m_cells.back() != cell) {
                m_cells.push_back(cell);
            }
        }
        return false;
    }

  private:
    std::vector<QSize> m_cells;
};

// The start lays the control out and fits its font once: it does not go back and forth between two
// cells, each of them stored in the user's hive.
TEST_F(ContainerE2eTest, AStartSettlesOnOneFontWithoutRewritingTheUserHiveForEachLayout) {
    // A first start leaves the fitted font saved, as a user's previous session does.
    CellChanges first;
    ConnectLocal("Type /quit");
    QTest::qWait(200);
    const std::optional<QSize> settled = ControlCell(m_frame.ControlWidget());
    ASSERT_TRUE(settled.has_value()) << "the control's field editor was not found";
    // The saved font, then at most the one fitted to the frame.
    EXPECT_LE(first.Cells().size(), 2u) << "the cell changed " << first.Cells().size() << " times";
    EXPECT_EQ(CloseAndRun(), 0);

    // The next start finds that font saved: it draws it and stores nothing of it again.
    m_app->ExitInstance();
    m_frame.SetApp(nullptr);
    CBrantorApp::Options options;
    options.programFolder = std::filesystem::path(CARROWLINE_BRANTOR).parent_path();
    m_app = std::make_unique<CBrantorApp>(m_frame, std::move(options));
    m_frame.SetApp(m_app.get());
    FileRewrites writes(platform::UserHivePath());
    ASSERT_TRUE(writes.Watching());
    CellChanges second;
    ConnectLocal("Type /quit");
    QTest::qWait(200);
    EXPECT_EQ(ControlCell(m_frame.ControlWidget()), settled);
    EXPECT_EQ(writes.Count(), 0) << "the start rewrote the user's hive";
    for (const QSize& cell : second.Cells()) {
        EXPECT_EQ(cell, *settled) << "the start drew a " << cell.width() << "x" << cell.height() << " cell";
    }
    EXPECT_EQ(CloseAndRun(), 0);
}

// The brantor program itself, in a tree of its own.
class BrantorProgramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string why;
        ASSERT_TRUE(m_tree.Prepare(&why)) << why;
    }
    // The program's exit status; a program that does not end in time (a message box waiting for a user
    // who is not there) is ended, and the test fails.
    static int WaitForProgram(pid_t pid) {
        std::optional<int> code;
        const bool ended =
            QTest::qWaitFor([&] { return (code = platform::PollExit(pid)).has_value(); }, kSafetyNetMs);
        if (!ended) {
            ::kill(pid, SIGKILL);
            platform::WaitForExit(pid);
            ADD_FAILURE() << "brantor did not end";
            return -1;
        }
        return *code;
    }
    e2e::SessionTree m_tree;
};

TEST_F(BrantorProgramTest, LocalSessionEndsTheProgramWithZeroWhenTheHostEnds) {
    ASSERT_TRUE(
        m_tree.WriteScript("send \\e[2J\\e[H\\e[%Short session\\x01O\n"
                           "send One screen and done\\r\\n\n"
                           "exit 0\n"));
    std::string message;
    const auto child = m_tree.StartBrantor({"-l", "-#7", "demo"}, &message);
    ASSERT_TRUE(child) << message;
    EXPECT_EQ(WaitForProgram(child->pid), 0);
    const auto runs = ReadStandinRecord(m_tree.Record());
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].Program(), "sorel");
    EXPECT_EQ(runs[0].Arguments(), (std::vector<std::string>{"-t1", "-p1", "-#7", "demo"}));
    EXPECT_EQ(runs[0].exitCode, 0);
    EXPECT_EQ(runs[0].cwd, m_tree.Folder("data").string());
}

// The remote start: a bare -h takes host, data set and the rest from the machine's settings.
TEST_F(BrantorProgramTest, RemoteStartLogsInWithTheRegistrySettingsAndShowsTheHostScreen) {
    const std::filesystem::path script = m_tree.Folder("remote.script");
    const std::filesystem::path record = m_tree.Folder("remote.record");
    testsupport::WriteFile(script,
                           "send \\e[2J\\e[H\\e[%Remote session\\x01O\n"
                           "send First remote screen\\r\\n\n"
                           "close\n");
    hostlink::testing::StandinHost host({"--record", record.string(), "--script", script.string()});
    ASSERT_NE(host.Port(), 0);
    {
        std::ofstream hive(m_tree.Folder("root/etc/carrowline/machine.reg"), std::ios::app);
        char port[16];
        std::snprintf(port, sizeof port, "%08x", host.Port());
        hive << "\n[HKEY_LOCAL_MACHINE\\" << suite::ServerKey(suite::ClientMode::Remote) << "]\n"
             << "\"RemoteHost\"=\"127.0.0.1\"\n\"RemoteDataSet\"=\"/data/main\"\n"
             << "\"RemoteSorelProgs\"=\"/progs\"\n\"RemoteEnviro\"=\"A=1;B=2\"\n"
             << "\"RemotePort\"=dword:" << port << "\n\"RemoteTerm\"=dword:00000005\n"
             << "\"RemotePrinter\"=dword:00000002\n";
        ASSERT_TRUE(hive);
    }
    std::string message;
    const auto child = m_tree.StartBrantor({"-h", "-uann", "-PWpw1", "-#7", "se-Xcret"}, &message);
    ASSERT_TRUE(child) << message;
    // The host closing after its screen ends the session and with it the program.
    EXPECT_EQ(WaitForProgram(child->pid), 0);
    const auto lines = hostlink::testing::RecordedLines(record);
    ASSERT_TRUE(lines) << "the host saw no login";
    ASSERT_EQ(lines->size(), 13u) << ::testing::PrintToString(*lines);
    EXPECT_TRUE((*lines)[0].starts_with("65664 ")) << (*lines)[0];
    const std::vector<std::string> settings(lines->begin() + 1, lines->begin() + 9);
    EXPECT_EQ(settings, (std::vector<std::string>{"ann", "pw1", "/data/main", "/progs", "5", "A=1;B=2",
                                                  "sorel -t5 -p2 -pipe", "0"}));
    EXPECT_TRUE((*lines)[9].starts_with("7 ")) << (*lines)[9];
    EXPECT_EQ((*lines)[10], "se-Xcret");
}

}  // namespace
}  // namespace container
