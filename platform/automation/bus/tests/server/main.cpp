// A small local server for the bus tests: "--bus NAME" serves one object under NAME.p<pid>; "--exit-at-once"
// and "--never-name" fail to start in two ways; "--client NAME" is instead a client that starts such a
// server, prints its pid and waits, to be killed by the test.
#include <unistd.h>

#include <QCoreApplication>
#include <QThread>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/automation/bus/local_server.h"
#include "platform/automation/dispatch_object.h"
#include "platform/known_folders.h"

namespace automation = platform::automation;
using automation::Variant;
using automation::VarType;

namespace {

class TestObject : public automation::DispatchObject {
  public:
    TestObject() {
        Table()
            .Method("Echo", 1, {VarType::Variant}, VarType::Variant,
                    [](std::span<const Variant> args) { return args[0]; })
            .Method("Fail", 2, {}, VarType::Empty,
                    [](std::span<const Variant>) -> Variant {
                        throw automation::DispatchError(automation::E_INVALIDARG, "the test server refuses",
                                                        "TestServer");
                    })
            .Method(
                "PostDuringCall", 3, {VarType::Dispatch, VarType::I4}, VarType::Bstr,
                [](std::span<const Variant> args) {
                    auto window = args[0].AsDispatch();
                    automation::DISPID id = automation::DISPID_UNKNOWN;
                    Variant posted;
                    if (window && automation::Succeeded(window->GetIDOfName("PostMessage", id))) {
                        const Variant post[] = {Variant::I4(args[1].AsI4()), Variant::I4(7), Variant::I4(0)};
                        window->Invoke(id, automation::InvokeKind::Method, post, &posted, nullptr);
                    }
                    // Give the post every chance to overtake the reply, which it must not.
                    QThread::msleep(100);
                    return Variant::Bstr(posted.AsBool() ? "posted" : "not posted");
                })
            .Method("Sleep", 4, {VarType::I4}, VarType::I4,
                    [](std::span<const Variant> args) {
                        QThread::msleep(static_cast<unsigned long>(args[0].AsI4()));
                        return Variant::I4(args[0].AsI4());
                    })
            .Method("Pid", 5, {}, VarType::I4,
                    [](std::span<const Variant>) { return Variant::I4(static_cast<int32_t>(::getpid())); })
            .Method("Self", 6, {}, VarType::Dispatch,
                    [this](std::span<const Variant>) { return Variant::Dispatch(shared_from_this()); })
            .Method("Address", 7, {}, VarType::Variant,
                    [this](std::span<const Variant>) { return Variant::Pointer(this, "TestObject"); });
    }
};

std::string Argument(const std::vector<std::string>& args, const std::string& name) {
    for (size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == name) {
            return args[i + 1];
        }
    }
    return {};
}

bool Has(const std::vector<std::string>& args, const std::string& name) {
    return std::find(args.begin(), args.end(), name) != args.end();
}

int RunClient(const std::string& busName) {
    automation::LocalServer server;
    server.command = {(platform::ProgramFolder() / platform::ProgramFileName()).string(), "--bus", busName};
    server.busName = busName;
    std::shared_ptr<automation::IDispatch> object;
    std::string why;
    if (automation::Failed(automation::bus::ActivateLocalServer(server, {}, object, &why))) {
        std::fprintf(stderr, "%s\n", why.c_str());
        return 2;
    }
    automation::DISPID id = automation::DISPID_UNKNOWN;
    Variant pid;
    object->GetIDOfName("Pid", id);
    object->Invoke(id, automation::InvokeKind::Method, {}, &pid, nullptr);
    std::printf("%d\n", pid.AsI4());
    std::fflush(stdout);
    return QCoreApplication::exec();
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (Has(args, "--client")) {
        return RunClient(Argument(args, "--client"));
    }
    if (Has(args, "--exit-at-once")) {
        return 3;
    }
    if (Has(args, "--never-name")) {
        return QCoreApplication::exec();
    }
    if (!Has(args, "-Embedding")) {
        std::fprintf(stderr, "started without -Embedding\n");
        return 4;
    }
    automation::bus::LocalServerHost host(std::make_shared<TestObject>(), Argument(args, "--bus"),
                                          [] { QCoreApplication::quit(); });
    std::string error;
    if (!host.Start(error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    return QCoreApplication::exec();
}
