// The document viewer over the session bus: one call through the object manager on a created
// "Lumetra.Document" against a bare QtDBus call to a trivial echo server on the same private bus, in one
// run. Started with --echo-server, the program is that echo server.
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
    bench::ReportNotMeasured("viewer_start_to_document",
                             "no benchmark of the viewer's start to its document yet");

    g_manager.reset();
    if (echoServer) {
        ::kill(echoServer->pid, SIGTERM);
        platform::WaitForExit(echoServer->pid);
    }
    bus.Stop();
    std::filesystem::remove_all(folder);
    return all ? 0 : 1;
}
