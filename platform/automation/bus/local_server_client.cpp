// The client side of local servers: starting the program, waiting for its bus name, the forwarding proxy,
// and the receiver of the server's one-way posts to objects the client passed it.
#include <signal.h>
#include <unistd.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusReply>
#include <QObject>
#include <QThread>
#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "platform/automation/bus/local_server.h"
#include "platform/automation/bus/wire.h"
#include "platform/codepage.h"
#include "platform/spawn.h"

namespace platform::automation::bus {
namespace {

// A released server that has not gone by then is ended.
constexpr std::chrono::seconds kExitGrace{10};

void SetMessage(std::string* message, std::string text) {
    if (message) {
        *message = std::move(text);
    }
}

// The started program's exit, seen by a thread that waits for it, so that a dead server is known at once.
struct ChildState {
    std::mutex mutex;
    std::condition_variable changed;
    bool exited = false;
    int status = 0;

    bool Exited() {
        std::lock_guard lock(mutex);
        return exited;
    }
    bool WaitFor(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, timeout, [this] { return exited; });
    }
};

std::shared_ptr<ChildState> WatchChild(pid_t pid) {
    auto state = std::make_shared<ChildState>();
    std::thread([state, pid] {
        const int status = platform::WaitForExit(pid);
        std::lock_guard lock(state->mutex);
        state->exited = true;
        state->status = status;
        state->changed.notify_all();
    }).detach();
    return state;
}

// The objects this process passed to its servers, by the number each went out as, with the server that may
// post to it.
class CallbackReceiver : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.carrowline.Automation.Callback")

  public:
    uint32_t Export(const std::shared_ptr<IDispatch>& object, const std::string& server) {
        std::lock_guard lock(m_mutex);
        for (const auto& [id, entry] : m_objects) {
            if (entry.object == object && entry.server == server) {
                return id;
            }
        }
        const uint32_t id = ++m_next;
        m_objects.emplace(id, Entry{object, server});
        return id;
    }
    void Forget(const std::string& server) {
        std::lock_guard lock(m_mutex);
        std::erase_if(m_objects, [&](const auto& item) { return item.second.server == server; });
    }

  public Q_SLOTS:
    Q_SCRIPTABLE void Post(const QByteArray& bytes, const QDBusMessage& message) {
        const auto post = DecodePost(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
        if (!post) {
            return;
        }
        std::shared_ptr<IDispatch> object;
        {
            std::lock_guard lock(m_mutex);
            auto it = m_objects.find(post->object);
            // Only the server the object was given to reaches it.
            if (it == m_objects.end() || it->second.server != message.service().toStdString()) {
                return;
            }
            object = it->second.object;
        }
        try {
            DISPID id = DISPID_UNKNOWN;
            if (Succeeded(object->GetIDOfName(post->member, id))) {
                object->Invoke(id, post->kind, post->args, nullptr, nullptr);
            }
        } catch (...) {
            // A one-way call has nobody to report to.
        }
    }

  private:
    struct Entry {
        std::shared_ptr<IDispatch> object;
        std::string server;
    };
    std::mutex m_mutex;
    std::map<uint32_t, Entry> m_objects;
    uint32_t m_next = 0;
};

std::mutex g_receiverMutex;
CallbackReceiver* g_receiver = nullptr;  // lives as long as the application's thread

CallbackReceiver* Receiver(QDBusConnection& connection, std::string* message) {
    std::lock_guard lock(g_receiverMutex);
    if (g_receiver == nullptr) {
        auto* receiver = new CallbackReceiver;
        if (QThread::currentThread() == QCoreApplication::instance()->thread()) {
            receiver->setParent(QCoreApplication::instance());  // goes with the application
        } else {
            receiver->moveToThread(QCoreApplication::instance()->thread());
        }
        if (!connection.registerObject(kCallbackPath, receiver, QDBusConnection::ExportScriptableSlots)) {
            SetMessage(message, "cannot offer objects on the session bus: " +
                                    connection.lastError().message().toStdString());
            receiver->deleteLater();
            return nullptr;
        }
        QObject::connect(QCoreApplication::instance(), &QObject::destroyed, [] {
            std::lock_guard inner(g_receiverMutex);
            g_receiver = nullptr;
        });
        g_receiver = receiver;
    }
    return g_receiver;
}

class RemoteObject : public IDispatch {
  public:
    RemoteObject(QDBusConnection connection, std::string service, std::string owner, pid_t pid,
                 std::shared_ptr<ChildState> child, CallbackReceiver* receiver, ActivatorOptions options)
        : m_connection(std::move(connection)),
          m_service(std::move(service)),
          m_owner(std::move(owner)),
          m_pid(pid),
          m_child(std::move(child)),
          m_receiver(receiver),
          m_options(options) {}

    ~RemoteObject() override {
        if (!m_child->Exited()) {
            QDBusMessage release = QDBusMessage::createMethodCall(QString::fromStdString(m_owner),
                                                                  kObjectPath, kObjectInterface, "Release");
            release.setAutoStartService(false);
            m_connection.send(release);
            if (!m_child->WaitFor(kExitGrace)) {
                ::kill(m_pid, SIGKILL);
                m_child->WaitFor(kExitGrace);
            }
        }
        std::lock_guard lock(g_receiverMutex);
        if (g_receiver == m_receiver && m_receiver != nullptr) {
            m_receiver->Forget(m_owner);
        }
    }

    HRESULT GetIDsOfNames(std::span<const std::string_view> names, std::span<DISPID> ids) override {
        if (names.empty() || ids.size() != names.size()) {
            return E_INVALIDARG;
        }
        std::fill(ids.begin(), ids.end(), DISPID_UNKNOWN);
        // A member keeps its id for the object's life, so a name is asked for once.
        const std::string key = names.size() == 1 ? LowerAscii(names[0]) : std::string();
        if (m_dead.load() || m_child->Exited()) {
            m_dead = true;
            return RPC_E_DISCONNECTED;
        }
        if (!key.empty()) {
            std::lock_guard lock(m_idsMutex);
            if (auto it = m_ids.find(key); it != m_ids.end()) {
                ids[0] = it->second;
                return S_OK;
            }
        }
        Request request;
        request.op = Op::GetIDsOfNames;
        request.names.assign(names.begin(), names.end());
        std::string bytes;
        EncodeRequest(request, {}, bytes);
        Reply reply;
        if (const HRESULT hr = Call(bytes, reply); Failed(hr)) {
            return hr;
        }
        for (size_t i = 0; i < ids.size() && i < reply.ids.size(); ++i) {
            ids[i] = reply.ids[i];
        }
        if (!key.empty() && reply.hr == S_OK) {
            std::lock_guard lock(m_idsMutex);
            m_ids.emplace(key, ids[0]);
        }
        return reply.hr;
    }

    HRESULT Invoke(DISPID dispid, InvokeKind kind, std::span<const Variant> args, Variant* result,
                   InvokeError* error) override {
        Request request;
        request.dispid = dispid;
        request.kind = kind;
        request.args.assign(args.begin(), args.end());
        std::string bytes;
        uint32_t bad = 0;
        const ExportObject exportObject =
            [this](const std::shared_ptr<IDispatch>& object) -> std::optional<uint32_t> {
            if (m_receiver == nullptr) {
                return std::nullopt;
            }
            return m_receiver->Export(object, m_owner);
        };
        if (const HRESULT hr = EncodeRequest(request, exportObject, bytes, &bad); Failed(hr)) {
            if (error) {
                error->argument = bad;
            }
            return hr;
        }
        Reply reply;
        if (const HRESULT hr = Call(bytes, reply); Failed(hr)) {
            return hr;
        }
        if (error) {
            *error = reply.error;
        }
        if (result) {
            *result = Succeeded(reply.hr) ? reply.result : Variant();
        }
        return reply.hr;
    }

  private:
    HRESULT Call(const std::string& bytes, Reply& reply) {
        if (m_dead.load() || m_child->Exited()) {
            m_dead = true;
            return RPC_E_DISCONNECTED;
        }
        QDBusMessage call = QDBusMessage::createMethodCall(QString::fromStdString(m_owner), kObjectPath,
                                                           kObjectInterface, "Call");
        call.setAutoStartService(false);
        call << QByteArray::fromStdString(bytes);
        const auto started = std::chrono::steady_clock::now();
        const QDBusMessage answer =
            m_connection.call(call, QDBus::Block, static_cast<int>(m_options.callTimeout.count()));
        if (answer.type() == QDBusMessage::ReplyMessage && answer.arguments().size() == 1) {
            const QByteArray data = answer.arguments().front().toByteArray();
            if (auto decoded =
                    DecodeReply(std::string_view(data.constData(), static_cast<size_t>(data.size())))) {
                reply = std::move(*decoded);
                return S_OK;
            }
            return E_UNEXPECTED;
        }
        // A server that went away answers through the bus at once; only a live one runs into the time-out.
        if (std::chrono::steady_clock::now() - started >= m_options.callTimeout && !m_child->Exited()) {
            return RPC_E_TIMEOUT;
        }
        m_dead = true;
        return RPC_E_DISCONNECTED;
    }

    QDBusConnection m_connection;
    std::string m_service;
    std::string m_owner;  // the server's unique name: a later owner of the service name is not this server
    pid_t m_pid;
    std::shared_ptr<ChildState> m_child;
    CallbackReceiver* m_receiver;
    ActivatorOptions m_options;
    std::atomic<bool> m_dead{false};
    std::mutex m_idsMutex;
    std::map<std::string, DISPID> m_ids;  // by lower-case name
};

std::string Seconds(std::chrono::milliseconds duration) {
    const auto ms = duration.count();
    if (ms % 1000 == 0) {
        return std::to_string(ms / 1000) + " seconds";
    }
    return std::to_string(ms) + " ms";
}

std::string ExitText(int status) {
    return status > 128 ? "was ended by signal " + std::to_string(status - 128)
                        : "exited with status " + std::to_string(status);
}

}  // namespace

HRESULT ActivateLocalServer(const LocalServer& server, const ActivatorOptions& options,
                            std::shared_ptr<IDispatch>& object, std::string* message) {
    object.reset();
    if (server.command.empty()) {
        SetMessage(message, "the local server has no program");
        return CO_E_SERVER_EXEC_FAILURE;
    }
    const std::string& program = server.command.front();
    if (!IsValidBusName(server.busName)) {
        SetMessage(message, "the server program " + program + " has no valid bus name");
        return CO_E_SERVER_EXEC_FAILURE;
    }
    if (QCoreApplication::instance() == nullptr) {
        SetMessage(message, "the server program " + program + " cannot be started without a Qt application");
        return CO_E_SERVER_EXEC_FAILURE;
    }
    QDBusConnection connection = QDBusConnection::sessionBus();
    if (!connection.isConnected()) {
        SetMessage(message,
                   "the session bus cannot be reached: " + connection.lastError().message().toStdString());
        return CO_E_SERVER_EXEC_FAILURE;
    }
    CallbackReceiver* receiver = Receiver(connection, message);
    if (receiver == nullptr) {
        return CO_E_SERVER_EXEC_FAILURE;
    }

    platform::SpawnOptions spawn;
    spawn.program = program;
    spawn.argv = server.command;
    spawn.argv.push_back("-Embedding");
    platform::EnvironmentBlock environment = platform::EnvironmentBlock::FromCurrentProcess();
    environment.Set(kClientVariable, connection.baseService().toStdString());
    spawn.environment = std::move(environment);
    std::string why;
    auto child = platform::Spawn(spawn, nullptr, &why);
    if (!child) {
        SetMessage(message, "the server program " + program + " cannot be started: " + why);
        return CO_E_SERVER_EXEC_FAILURE;
    }
    const pid_t pid = child->pid;
    auto state = WatchChild(pid);
    const std::string service = server.busName + ".p" + std::to_string(pid);
    const QString serviceName = QString::fromStdString(service);

    const auto deadline = std::chrono::steady_clock::now() + options.startTimeout;
    std::string owner;
    while (true) {
        if (state->Exited()) {
            SetMessage(message, "the server program " + program + " " + ExitText(state->status) +
                                    " before it took the bus name " + service);
            return CO_E_SERVER_EXEC_FAILURE;
        }
        const QDBusReply<QString> reply = connection.interface()->serviceOwner(serviceName);
        if (reply.isValid() && !reply.value().isEmpty()) {
            owner = reply.value().toStdString();
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            state->WaitFor(kExitGrace);
            SetMessage(message, "the server program " + program + " did not take the bus name " + service +
                                    " within " + Seconds(options.startTimeout));
            return CO_E_SERVER_EXEC_FAILURE;
        }
        // Waiting for the exit doubles as the pause between looks at the bus; a look is one short round
        // trip, and a long pause would be most of a fast server's start.
        state->WaitFor(std::chrono::milliseconds(2));
    }
    object = std::make_shared<RemoteObject>(connection, service, owner, pid, state, receiver, options);
    return S_OK;
}

void InstallLocalServerActivator(ActivatorOptions options) {
    SetLocalServerActivator(
        [options](const LocalServer& server, std::shared_ptr<IDispatch>& object, std::string* message) {
            return ActivateLocalServer(server, options, object, message);
        });
}

}  // namespace platform::automation::bus

static void InstallLocalServerActivatorAtStart() {
    platform::automation::bus::InstallLocalServerActivator();
}
Q_COREAPP_STARTUP_FUNCTION(InstallLocalServerActivatorAtStart)

#include "local_server_client.moc"
