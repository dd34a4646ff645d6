// The document viewer over the session bus: one call through the object manager on a created
// "Lumetra.Document" against a bare QtDBus call to a trivial echo server on the same private bus; and the
// viewer's creation to a small XML document shown with its stylesheet, offscreen, against a bare Qt Widgets
// program's start to its first painted window; in one run. Started with --echo-server, the program is that
// echo server.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "bench/bench_support.h"
#include "platform/automation/bus/local_server.h"
#include "platform/automation/class_registry.h"
#include "platform/known_folders.h"
#include "platform/spawn.h"
#include "terminal/objects/object_manager.h"
#include "testsupport/dbus_session.h"
#include "viewer/lumetra_doc.h"
#include "viewer/registration.h"

namespace {

namespace automation = platform::automation;

constexpr const char* kEchoService = "com.carrowline.BenchEcho";
constexpr const char* kEchoPath = "/echo";
constexpr const char* kEchoInterface = "com.carrowline.BenchEcho";

class Echo : public QDBusVirtualObject {
  public:
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        connection.send(message.createReply(message.arguments()));
        return true;
    }
};

int RunEchoServer() {
    Echo echo;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerVirtualObject(kEchoPath, &echo) || !bus.registerService(kEchoService)) {
        return 1;
    }
    return QCoreApplication::exec();
}

class Host : public terminal::ObjectHost {
  public:
    void WriteChannel0(std::string_view) override {}
    std::string ConnectionText() override { return "local"; }
    int32_t WindowHandle() override { return 0; }
    bool PostToOwner(std::function<void()>) override { return true; }
};

Host g_host;
std::unique_ptr<terminal::CObjectManager> g_manager;
int32_t g_slot = -1;

void BM_ViewerCallThroughObjectManager(benchmark::State& state) {
    if (g_slot < 0) {
        state.SkipWithError("the viewer could not be created");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(g_manager->CallMethod(g_slot, "SetCaption", "Letter to Smith"));
    }
}

void BM_BareQtDBusEcho(benchmark::State& state) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    for (auto _ : state) {
        QDBusMessage call = QDBusMessage::createMethodCall(kEchoService, kEchoPath, kEchoInterface, "Echo");
        call << QByteArray("Letter to Smith");
        const QDBusMessage reply = bus.call(call, QDBus::Block);
        if (reply.type() != QDBusMessage::ReplyMessage) {
            state.SkipWithError("the echo server did not answer");
            return;
        }
    }
}

BENCHMARK(BM_ViewerCallThroughObjectManager)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly();
BENCHMARK(BM_BareQtDBusEcho)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly();

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

std::vector<double> g_viewerStartMs;
std::vector<double> g_bareStartMs;
bool g_documentShown = true;  // every start answered that the document was shown

// Creation of a new viewer process to its window showing the transformed document: "0" from OpenFile is
// the viewer's word that the page is in its pane. The call after showing returns once the events before it,
// the window's first paint among them, are done. The release is not timed.
void BM_ViewerStartToXmlDocument(benchmark::State& state) {
    for (auto _ : state) {
        const auto start = Clock::now();
        int32_t slot = -1;
        try {
            slot = g_manager->CreateObject(viewer::kLumetraProgId);
        } catch (const terminal::CObjectManager::Error&) {
            state.SkipWithError("the viewer could not be created");
            return;
        }
        const std::string opened = g_manager->CallMethod(slot, "OpenFile", "C:\\docs\\letter.xml");
        const std::string visible = g_manager->CallMethod(slot, "SetVisible", "1");
        g_manager->GetNotifyMessage(slot);
        const double ms = Milliseconds(Clock::now() - start);
        g_manager->ReleaseObject(slot);
        if (opened != "0" || visible != "0") {
            g_documentShown = false;
            state.SkipWithError("the viewer did not show the document");
            return;
        }
        g_viewerStartMs.push_back(ms);
        state.SetIterationTime(ms / 1000.0);
    }
}

// The same platform, a window of one painted widget: spawn to the program's exit after its first paint.
void BM_BareQtWindowStart(benchmark::State& state) {
    for (auto _ : state) {
        platform::SpawnOptions options;
        options.program = CARROWLINE_BARE_QT_WINDOW;
        options.argv = {options.program};
        options.nullStdio = true;
        const auto start = Clock::now();
        auto child = platform::Spawn(options);
        if (!child || platform::WaitForExit(child->pid) != 0) {
            state.SkipWithError("the bare program did not paint and end with 0");
            return;
        }
        const double ms = Milliseconds(Clock::now() - start);
        g_bareStartMs.push_back(ms);
        state.SetIterationTime(ms / 1000.0);
    }
}

BENCHMARK(BM_ViewerStartToXmlDocument)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_BareQtWindowStart)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

// The small document and its stylesheet, in the host's C: folder (the bench's home).
bool WriteDocument(const std::filesystem::path& home) {
    std::error_code error;
    std::filesystem::create_directories(home / "docs", error);
    std::ofstream(home / "docs" / "letter.xsl")
        << "<?xml version=\"1.0\"?>\n<xsl:stylesheet version=\"1.0\" "
           "xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\"><xsl:output method=\"html\"/>"
           "<xsl:template match=\"/letter\"><html><body><h1>Dear <xsl:value-of select=\"to\"/></h1>"
           "<p><xsl:value-of select=\"body\"/></p></body></html></xsl:template></xsl:stylesheet>\n";
    std::ofstream(home / "docs" / "letter.xml")
        << "<?xml version=\"1.0\"?>\n<?xml-stylesheet type=\"text/xsl\" href=\"letter.xsl\"?>\n"
           "<letter><to>Smith</to><body>Your results are ready.</body></letter>\n";
    return std::filesystem::is_regular_file(home / "docs" / "letter.xml", error);
}

// The document-view control as an installed viewer finds it, so that its loading is counted.
bool RegisterDocumentViewControl() {
    platform::SpawnOptions options;
    options.program = CARROWLINE_REGISTER_COMPONENT;
    options.argv = {options.program, CARROWLINE_FENNICK_LIBRARY};
    options.nullStdio = true;
    auto child = platform::Spawn(options);
    return child && platform::WaitForExit(child->pid) == 0;
}

bool WaitForName(const char* name) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!QDBusConnection::sessionBus().interface()->isServiceRegistered(name).value()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--echo-server") == 0) {
        QCoreApplication app(argc, argv);
        return RunEchoServer();
    }
    // Everything of this run lives in a folder of its own, on a private bus.
    std::string folder = (std::filesystem::temp_directory_path() / "carrowline-viewer-bench-XXXXXX").string();
    if (::mkdtemp(folder.data()) == nullptr) {
        return 1;
    }
    ::setenv("CARROWLINE_ROOT", (folder + "/root").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (folder + "/config").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (folder + "/state").c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("HOME", (folder + "/home").c_str(), 1);
    const bool documentWritten = WriteDocument(folder + "/home");
    const bool controlRegistered = RegisterDocumentViewControl();
    testsupport::DBusSession bus;
    std::string error;
    if (testsupport::DBusDaemonMissing() || !bus.Start(error)) {
        bench::ReportNotMeasured("viewer_call", "no private session bus could be started");
        std::filesystem::remove_all(folder);
        return 1;
    }
    ::setenv("DBUS_SESSION_BUS_ADDRESS", bus.Address().c_str(), 1);
    QCoreApplication app(argc, argv);

    platform::SpawnOptions echo;
    echo.program = (platform::ProgramFolder() / platform::ProgramFileName()).string();
    echo.argv = {echo.program, "--echo-server"};
    auto echoServer = platform::Spawn(echo);

    automation::RegisterClass(viewer::LumetraRegistration(CARROWLINE_LUMETRA),
                              automation::RegistrationScope::User);
    automation::bus::InstallLocalServerActivator();
    g_manager = std::make_unique<terminal::CObjectManager>(g_host);
    try {
        g_slot = g_manager->CreateObject(viewer::kLumetraProgId);
    } catch (const terminal::CObjectManager::Error&) {
        g_slot = -1;
    }
    const bool echoUp = echoServer && WaitForName(kEchoService);

    bench::RateReporter reporter;
    const bool ran = bench::RunBenchmarks(argc, argv, reporter);
    const auto ours = reporter.MedianTime("BM_ViewerCallThroughObjectManager");
    const auto bare = reporter.MedianTime("BM_BareQtDBusEcho");
    bool all = ran;
    if (ours && bare && *bare > 0 && echoUp) {
        bench::ReportMeasure("viewer_call", *ours * 1e6, *bare * 1e6, "us", bench::AtMost(2.0));
    } else {
        bench::ReportNotMeasured("viewer_call", "the viewer or the echo server did not answer");
        all = false;
    }
    if (documentWritten && controlRegistered && g_documentShown && !g_viewerStartMs.empty() &&
        !g_bareStartMs.empty()) {
        const double ours = bench::Percentile(g_viewerStartMs, 0.5);
        const double bareStart = bench::Percentile(g_bareStartMs, 0.5);
        std::printf("  viewer, creation to its XML document shown %8.1f ms\n", ours);
        std::printf("  bare Qt window, spawn to first paint       %8.1f ms\n", bareStart);
        bench::ReportMeasure("viewer_start_to_document", ours, bareStart, "ms", bench::AtMost(2.0));
    } else {
        bench::ReportNotMeasured("viewer_start_to_document",
                                 !documentWritten     ? "the document could not be written"
                                 : !controlRegistered ? "the document-view control could not be registered"
                                 : !g_documentShown   ? "the viewer did not show the document"
                                                      : "the viewer or the bare program did not run");
        all = false;
    }

    g_manager.reset();
    if (echoServer) {
        ::kill(echoServer->pid, SIGTERM);
        platform::WaitForExit(echoServer->pid);
    }
    bus.Stop();
    std::filesystem::remove_all(folder);
    return all ? 0 : 1;
}
