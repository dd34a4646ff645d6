// Local servers on a private session bus, against the small test server: values crossing both ways,
// failures and their texts, start failures, the order of posts and replies, servers and clients that die,
// and release.
#include "platform/automation/bus/local_server.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <chrono>
#include <fstream>
#include <thread>

#include "platform/automation/class_registry.h"
#include "platform/automation/dispatch_object.h"
#include "platform/registry.h"
#include "platform/spawn.h"
#include "platform/win32_error.h"
#include "testsupport/session_bus_environment.h"
#include "testsupport/test_support.h"

namespace platform::automation::bus {
namespace {

using namespace std::chrono_literals;

constexpr Guid kServerClsid = Guid::FromLiteral("{6C1F5D32-8B7E-4A1C-8F4B-2D3E4F5A6B72}");
constexpr const char* kProgId = "BusTest.Object";
constexpr const char* kBusName = "com.carrowline.BusTest";

// Stands in for the client window: records each post with whether the call that caused it had returned.
class RecordingWindow : public DispatchObject {
  public:
    struct Received {
        int32_t message;
        int32_t wParam;
        bool afterCall;
    };
    RecordingWindow() {
        Table().Method("PostMessage", 1, {VarType::I4, VarType::I4, VarType::I4}, VarType::Bool,
                       [this](std::span<const Variant> args) {
                           received.push_back({args[0].AsI4(), args[1].AsI4(), callReturned});
                           return Variant::Bool(true);
                       });
    }
    std::vector<Received> received;
    bool callReturned = false;
};

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds deadline = 20s) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

bool NameOnBus(const std::string& name) {
    return QDBusConnection::sessionBus()
        .interface()
        ->isServiceRegistered(QString::fromStdString(name))
        .value();
}

// Gone, or a zombie nobody has reaped yet.
bool ProcessGone(pid_t pid) {
    if (::kill(pid, 0) != 0) {
        return true;
    }
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const auto close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'Z';
}

class LocalServerTest : public testsupport::RegistryTest {
  protected:
    void SetUp() override {
        if (auto why = testsupport::SessionBusEnvironment::Missing()) {
            GTEST_SKIP() << *why;
        }
        RegistryTest::SetUp();
        InstallLocalServerActivator({5s, 120s});
        Register();
    }
    void TearDown() override {
        SetLocalServerActivator(nullptr);
        RegistryTest::TearDown();
    }

    // The test server under the test's ProgID, with `extra` arguments on its command line.
    void Register(const std::string& extra = "") {
        ClassRegistration r{kServerClsid, kProgId, "Bus Test Object", "", "Apartment", {}};
        r.kind = ServerKind::LocalServer;
        r.programPath = CARROWLINE_BUS_TEST_SERVER;
        r.busName = kBusName;
        ASSERT_EQ(RegisterClass(r, RegistrationScope::User), S_OK);
        const std::string command =
            JoinCommandLine({CARROWLINE_BUS_TEST_SERVER}) + " --bus " + kBusName + extra;
        ASSERT_EQ(Reg().SetValue(HKey::CurrentUser,
                                 "Software\\Classes\\CLSID\\" + kServerClsid.ToString() + "\\LocalServer32",
                                 "", RegValue::String(command)),
                  win32::kSuccess);
    }

    std::shared_ptr<IDispatch> Create() {
        std::shared_ptr<IDispatch> object;
        std::string message;
        EXPECT_EQ(CreateByProgID(kProgId, object, &message), S_OK) << message;
        return object;
    }

    static HRESULT CallByName(IDispatch& object, std::string_view name, std::vector<Variant> args,
                              Variant* result = nullptr, InvokeError* error = nullptr) {
        DISPID id = DISPID_UNKNOWN;
        if (const HRESULT hr = object.GetIDOfName(name, id); Failed(hr)) {
            return hr;
        }
        return object.Invoke(id, InvokeKind::Method, args, result, error);
    }

    static pid_t ServerPid(IDispatch& object) {
        Variant pid;
        EXPECT_EQ(CallByName(object, "Pid", {}, &pid), S_OK);
        return static_cast<pid_t>(pid.AsI4());
    }
};

TEST_F(LocalServerTest, ValuesCrossBothWaysExactly) {
    auto object = Create();
    ASSERT_NE(object, nullptr);
    std::string high;
    for (int c = 0x80; c <= 0xFF; ++c) {
        high.push_back(static_cast<char>(c));
    }
    const std::vector<std::pair<const char*, Variant>> cases{
        {"empty", Variant()},
        {"I2", Variant::I2(-32768)},
        {"I4", Variant::I4(INT32_MIN)},
        {"R4", Variant::R4(-1.0e-38f)},
        {"true", Variant::Bool(true)},
        {"false", Variant::Bool(false)},
        {"date", Variant::Date(45000.75)},
        {"invalid date", Variant::Date(0.0, DateStatus::Invalid)},
        {"error", Variant::Error(E_FAIL)},
        {"missing", Variant::Missing()},
        {"bytes 0x80-0xFF", Variant::Bstr(high)},
        {"NUL inside", Variant::Bstr(std::string("a\0b\r\n", 5))},
        {"empty text", Variant::Bstr("")},
        {"long text", Variant::Bstr(std::string(200000, 'x'))},
        {"null object", Variant::Dispatch(nullptr)},
    };
    for (const auto& [name, value] : cases) {
        Variant result;
        EXPECT_EQ(CallByName(*object, "Echo", {value}, &result), S_OK) << name;
        EXPECT_EQ(result.Type(), value.Type()) << name;
        EXPECT_TRUE(result == value) << name;
    }
}

TEST_F(LocalServerTest, KindsThatCannotCrossAreTypeMismatches) {
    auto object = Create();
    ASSERT_NE(object, nullptr);
    int32_t target = 5;
    InvokeError error;
    EXPECT_EQ(CallByName(*object, "Echo", {Variant::RefI4(&target)}, nullptr, &error), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(error.argument, 0u);
    error = {};
    EXPECT_EQ(CallByName(*object, "PostDuringCall",
                         {Variant::Dispatch(nullptr), Variant::Pointer(&target, "int")}, nullptr, &error),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(error.argument, 1u);
    // Results that would point into the server.
    Variant result;
    EXPECT_EQ(CallByName(*object, "Self", {}, &result), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(CallByName(*object, "Address", {}, &result), DISP_E_TYPEMISMATCH);
    // The object still answers.
    EXPECT_EQ(CallByName(*object, "Echo", {Variant::I4(1)}, &result), S_OK);
}

TEST_F(LocalServerTest, FailuresAndUnknownNamesCrossWithTheirDetail) {
    auto object = Create();
    ASSERT_NE(object, nullptr);
    InvokeError error;
    EXPECT_EQ(CallByName(*object, "Fail", {}, nullptr, &error), E_INVALIDARG);
    EXPECT_EQ(error.scode, E_INVALIDARG);
    EXPECT_EQ(error.source, "TestServer");
    EXPECT_EQ(error.description, "the test server refuses");

    DISPID id = 0;
    EXPECT_EQ(object->GetIDOfName("NoSuchMember", id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, DISPID_UNKNOWN);
    EXPECT_EQ(object->GetIDOfName("eCHO", id), S_OK);
    EXPECT_EQ(id, 1);
    EXPECT_EQ(object->Invoke(99, InvokeKind::Method, {}, nullptr, nullptr), DISP_E_MEMBERNOTFOUND);
    const Variant tooMany[] = {Variant::I4(1), Variant::I4(2)};
    EXPECT_EQ(object->Invoke(1, InvokeKind::Method, tooMany, nullptr, nullptr), DISP_E_BADPARAMCOUNT);
}

TEST_F(LocalServerTest, StartFailuresSayWhatHappened) {
    struct Case {
        const char* name;
        std::string command;
        std::string expected;
    };
    const std::string server = JoinCommandLine({CARROWLINE_BUS_TEST_SERVER});
    const std::vector<Case> cases{
        {"missing program", "/nonexistent/carrowline-server --bus " + std::string(kBusName),
         "cannot be started"},
        {"exits at once", server + " --exit-at-once",
         "exited with status 3 before it took the bus name " + std::string(kBusName) + ".p"},
        {"never takes its name", server + " --never-name", "did not take the bus name"},
    };
    InstallLocalServerActivator({2s, 120s});
    for (const Case& c : cases) {
        ASSERT_EQ(Reg().SetValue(HKey::CurrentUser,
                                 "Software\\Classes\\CLSID\\" + kServerClsid.ToString() + "\\LocalServer32",
                                 "", RegValue::String(c.command)),
                  win32::kSuccess);
        std::shared_ptr<IDispatch> object;
        std::string message;
        EXPECT_EQ(CreateByProgID(kProgId, object, &message), CO_E_SERVER_EXEC_FAILURE) << c.name;
        EXPECT_NE(message.find(c.expected), std::string::npos) << c.name << ": " << message;
        EXPECT_EQ(object, nullptr);
    }
}

TEST_F(LocalServerTest, PostSentInsideACallArrivesAfterIt) {
    auto object = Create();
    ASSERT_NE(object, nullptr);
    auto window = std::make_shared<RecordingWindow>();
    Variant result;
    ASSERT_EQ(CallByName(*object, "PostDuringCall", {Variant::Dispatch(window), Variant::I4(3024)}, &result),
              S_OK);
    EXPECT_EQ(result.AsBstr(), "posted");
    EXPECT_TRUE(window->received.empty());
    window->callReturned = true;
    ASSERT_TRUE(WaitUntil([&] { return !window->received.empty(); }));
    EXPECT_EQ(window->received[0].message, 3024);
    EXPECT_EQ(window->received[0].wParam, 7);
    EXPECT_TRUE(window->received[0].afterCall);

    // In order, one per call.
    window->received.clear();
    for (int32_t message : {1, 2, 3}) {
        ASSERT_EQ(CallByName(*object, "PostDuringCall", {Variant::Dispatch(window), Variant::I4(message)}),
                  S_OK);
    }
    ASSERT_TRUE(WaitUntil([&] { return window->received.size() == 3; }));
    EXPECT_EQ(window->received[0].message, 1);
    EXPECT_EQ(window->received[1].message, 2);
    EXPECT_EQ(window->received[2].message, 3);
}

TEST_F(LocalServerTest, ServerKilledMidCallFailsThatCallAndEveryLaterOneAtOnce) {
    auto object = Create();
    ASSERT_NE(object, nullptr);
    const pid_t pid = ServerPid(*object);
    ASSERT_GT(pid, 0);
    std::thread killer([pid] {
        std::this_thread::sleep_for(300ms);
        ::kill(pid, SIGKILL);
    });
    Variant result;
    // Long before the call time-out the call learns that the server is gone.
    EXPECT_EQ(CallByName(*object, "Sleep", {Variant::I4(100000)}, &result), RPC_E_DISCONNECTED);
    killer.join();
    EXPECT_EQ(CallByName(*object, "Echo", {Variant::I4(1)}, &result), RPC_E_DISCONNECTED);
    DISPID id = 0;
    EXPECT_EQ(object->GetIDOfName("Echo", id), RPC_E_DISCONNECTED);
    object.reset();  // releasing a dead server is no error either
}

TEST_F(LocalServerTest, ReleaseEndsTheServer) {
    auto object = Create();
    ASSERT_NE(object, nullptr);
    const pid_t pid = ServerPid(*object);
    const std::string name = std::string(kBusName) + ".p" + std::to_string(pid);
    ASSERT_TRUE(NameOnBus(name));
    object.reset();
    // Our own child: it has been waited for by the time the release returns.
    EXPECT_TRUE(ProcessGone(pid));
    EXPECT_FALSE(NameOnBus(name));
}

TEST_F(LocalServerTest, KilledClientEndsItsServer) {
    SpawnOptions options;
    options.program = CARROWLINE_BUS_TEST_SERVER;
    options.argv = {options.program, "--client", "com.carrowline.BusTestClient"};
    options.pipeStdout = true;
    std::string message;
    auto client = Spawn(options, nullptr, &message);
    ASSERT_TRUE(client) << message;
    std::string line;
    char c = 0;
    while (::read(client->stdoutRead.Get(), &c, 1) == 1 && c != '\n') {
        line.push_back(c);
    }
    const pid_t server = static_cast<pid_t>(std::atoi(line.c_str()));
    ASSERT_GT(server, 0) << "the client printed \"" << line << "\"";
    const std::string name = "com.carrowline.BusTestClient.p" + std::to_string(server);
    EXPECT_TRUE(NameOnBus(name));
    ::kill(client->pid, SIGKILL);
    WaitForExit(client->pid);
    EXPECT_TRUE(WaitUntil([&] { return !NameOnBus(name) && ProcessGone(server); }));
}

}  // namespace
}  // namespace platform::automation::bus
