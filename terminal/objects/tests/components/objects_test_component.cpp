// Fake automation classes for the object manager's tests, in a component library of their own so that they
// are created by ProgID through the class registry as real objects are. Two exports let the tests see how
// many objects live and whether one went away while a call was still running in it.
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <deque>
#include <memory>
#include <stdexcept>
#include <string>

#include "platform/automation/component.h"
#include "platform/automation/dispatch_object.h"

namespace {

using namespace platform::automation;

constexpr Guid kFakeClsid = Guid::FromLiteral("{7C4D2E10-5A3B-4C6D-8E9F-0A1B2C3D4E51}");
constexpr Guid kPlainClsid = Guid::FromLiteral("{7C4D2E10-5A3B-4C6D-8E9F-0A1B2C3D4E52}");
constexpr Guid kBrokenClsid = Guid::FromLiteral("{7C4D2E10-5A3B-4C6D-8E9F-0A1B2C3D4E53}");

constexpr int32_t kNotify = 3024;
constexpr int32_t kRelease = 1034;

std::atomic<int> g_live{0};
std::atomic<int> g_releasedDuringCall{0};

// Answers the ids it was given, holds texts for its client and posts to the client window it was handed.
class Fake : public DispatchObject {
  public:
    explicit Fake(bool takesClientWindow) {
        ++g_live;
        std::vector<ParamSpec> ids = {VarType::I4, VarType::I4};
        if (takesClientWindow) {
            ids.push_back(ParamSpec(VarType::Dispatch, true));
        }
        Table()
            .Method("RegisterSorelIDs", 1, ids, VarType::Empty,
                    [this](std::span<const Variant> a) {
                        m_window = a[0].AsI4();
                        m_id = a[1].AsI4();
                        if (a.size() > 2 && a[2].Type() == VarType::Dispatch) {
                            m_client = a[2].AsDispatch();
                        }
                        return Variant();
                    })
            .Method("GetNotifyMessage", 2, {}, VarType::Bstr,
                    [this](std::span<const Variant>) {
                        if (m_queue.empty()) {
                            return Variant::Bstr("");
                        }
                        if (m_queue.size() > 1) {
                            Post(kNotify, 0);  // the client comes back for the next one
                        }
                        std::string text = std::move(m_queue.front());
                        m_queue.pop_front();
                        return Variant::Bstr(std::move(text));
                    })
            .Method("RegisterSorelConnection", 13, {VarType::Bstr}, VarType::Bstr,
                    [this](std::span<const Variant> a) {
                        m_connection = a[0].AsBstr();
                        return Variant::Bstr("0");
                    })
            .Method("Queue", 20, {VarType::Bstr}, VarType::Bstr,
                    [this](std::span<const Variant> a) {
                        m_queue.push_back(a[0].AsBstr());
                        return Variant::Bstr(Post(kNotify, 0) ? "0" : "1");
                    })
            .Method("Echo", 21, {VarType::Bstr}, VarType::Bstr,
                    [](std::span<const Variant> a) { return a[0]; })
            .Method("Repeat", 22, {VarType::Bstr}, VarType::Bstr,
                    [](std::span<const Variant> a) {
                        return Variant::Bstr(std::string(std::stoul(a[0].AsBstr()), 'x'));
                    })
            .Method("Describe", 23, {ParamSpec(VarType::Bstr, true)}, VarType::Bstr,
                    [this](std::span<const Variant>) {
                        return Variant::Bstr(std::to_string(m_window) + " " + std::to_string(m_id) + " " +
                                             m_connection + (m_client ? " client" : ""));
                    })
            .Method("Close", 24, {VarType::Bstr}, VarType::Bstr,
                    [this](std::span<const Variant>) { return Variant::Bstr(Post(kRelease, 1) ? "0" : "1"); })
            .Method("Block", 25, {VarType::Bstr}, VarType::Bstr,
                    [this](std::span<const Variant> a) {
                        // "<read fd> <write fd>": says it has begun, then waits for the word to finish.
                        int readFd = -1;
                        int writeFd = -1;
                        if (std::sscanf(a[0].AsBstr().c_str(), "%d %d", &readFd, &writeFd) != 2) {
                            throw std::invalid_argument("Block needs two descriptors");
                        }
                        ++m_inCall;
                        char byte = 1;
                        bool ok = ::write(writeFd, &byte, 1) == 1 && ::read(readFd, &byte, 1) == 1;
                        --m_inCall;
                        return Variant::Bstr(ok ? "done" : "broken");
                    })
            .Method("Length", 28, {VarType::Bstr}, VarType::Bstr,
                    [](std::span<const Variant> a) {
                        return Variant::Bstr(std::to_string(a[0].AsBstr().size()));
                    })
            .Method("Nest", 29, {VarType::Bstr}, VarType::Bstr,
                    [this](std::span<const Variant> a) {
                        // "<function> <context>" in hexadecimal: runs the caller's function as a nested event
                        // loop would run queued work, from inside this call.
                        unsigned long long function = 0;
                        unsigned long long context = 0;
                        if (std::sscanf(a[0].AsBstr().c_str(), "%llx %llx", &function, &context) != 2) {
                            throw std::invalid_argument("Nest needs a function and a context");
                        }
                        ++m_inCall;
                        reinterpret_cast<void (*)(void*)>(function)(reinterpret_cast<void*>(context));
                        --m_inCall;
                        return Variant::Bstr(std::to_string(m_id));
                    })
            .Method("Fail", 26, {VarType::Bstr}, VarType::Bstr,
                    [](std::span<const Variant>) -> Variant { throw std::runtime_error("the fake failed"); })
            .Property(
                "Label", 27, VarType::Bstr, [] { return Variant::Bstr("fake"); }, nullptr);
    }

    ~Fake() override {
        if (m_inCall.load() > 0) {
            ++g_releasedDuringCall;
        }
        // As a closing document does: tell the client, who must not take it for a later tenant's.
        Post(kRelease, 1);
        --g_live;
    }

  private:
    bool Post(int32_t message, int32_t wParam) {
        if (!m_client) {
            return false;
        }
        DISPID id = DISPID_UNKNOWN;
        if (Failed(m_client->GetIDOfName("PostMessage", id))) {
            return false;
        }
        const Variant args[] = {Variant::I4(message), Variant::I4(wParam), Variant::I4(m_id)};
        Variant result;
        return Succeeded(m_client->Invoke(id, InvokeKind::Method, args, &result, nullptr)) && result.AsBool();
    }

    int32_t m_window = 0;
    int32_t m_id = -1;
    std::string m_connection;
    std::shared_ptr<IDispatch> m_client;
    std::deque<std::string> m_queue;
    std::atomic<int> m_inCall{0};
};

}  // namespace

HRESULT DllGetClassObject(const Guid& clsid, std::shared_ptr<IClassFactory>& factory) {
    if (clsid == kFakeClsid || clsid == kPlainClsid) {
        const bool takesClientWindow = clsid == kFakeClsid;
        factory = std::make_shared<ClassFactory>(
            [takesClientWindow] { return std::make_shared<Fake>(takesClientWindow); });
        return S_OK;
    }
    if (clsid == kBrokenClsid) {
        factory = std::make_shared<ClassFactory>([]() -> std::shared_ptr<IDispatch> {
            throw DispatchError(E_ACCESSDENIED, "the broken class never makes an object");
        });
        return S_OK;
    }
    factory.reset();
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT DllRegisterServer() {
    return E_NOTIMPL;
}

HRESULT DllUnregisterServer() {
    return E_NOTIMPL;
}

CARROWLINE_COMPONENT_EXPORT int ObjectsTestLiveObjects() {
    return g_live.load();
}

CARROWLINE_COMPONENT_EXPORT int ObjectsTestReleasedDuringCall() {
    return g_releasedDuringCall.load();
}
