// The server side of local servers: the exported object, the name with the process id, the watch on the
// client, and proxies for the client's objects that post to them one way.
#include <unistd.h>

#include <QByteArray>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QTimer>
#include <atomic>
#include <cstdlib>
#include <mutex>

#include "platform/automation/bus/local_server.h"
#include "platform/automation/bus/wire.h"
#include "platform/codepage.h"

namespace platform::automation::bus {
namespace {

struct ClientLink {
    std::atomic<bool> present{true};
    std::string name;  // the client's unique bus name
};

// An object of the client's: its members have ids made up here, since asking the client would wait on
// a client that is itself waiting for this server; calls go one way and answer whether the client is there.
class ClientObjectProxy : public IDispatch {
  public:
    ClientObjectProxy(QDBusConnection connection, std::shared_ptr<ClientLink> client, uint32_t id)
        : m_connection(std::move(connection)), m_client(std::move(client)), m_id(id) {}

    HRESULT GetIDsOfNames(std::span<const std::string_view> names, std::span<DISPID> ids) override {
        if (names.empty() || ids.size() != names.size()) {
            return E_INVALIDARG;
        }
        std::lock_guard lock(m_mutex);
        ids[0] = DISPID_UNKNOWN;
        for (size_t i = 0; i < m_names.size(); ++i) {
            if (EqualsNoCase(m_names[i], names[0])) {
                ids[0] = static_cast<DISPID>(i + 1);
            }
        }
        if (ids[0] == DISPID_UNKNOWN) {
            m_names.emplace_back(names[0]);
            ids[0] = static_cast<DISPID>(m_names.size());
        }
        for (size_t i = 1; i < names.size(); ++i) {
            ids[i] = DISPID_UNKNOWN;
        }
        return names.size() > 1 ? DISP_E_UNKNOWNNAME : S_OK;
    }

    HRESULT Invoke(DISPID dispid, InvokeKind kind, std::span<const Variant> args, Variant* result,
                   InvokeError* error) override {
        Post post;
        {
            std::lock_guard lock(m_mutex);
            if (dispid < 1 || static_cast<size_t>(dispid) > m_names.size()) {
                return DISP_E_MEMBERNOTFOUND;
            }
            post.member = m_names[static_cast<size_t>(dispid - 1)];
        }
        post.object = m_id;
        post.kind = kind;
        post.args.assign(args.begin(), args.end());
        std::string bytes;
        uint32_t bad = 0;
        if (const HRESULT hr = EncodePost(post, bytes, &bad); Failed(hr)) {
            if (error) {
                error->argument = bad;
            }
            return hr;
        }
        bool sent = false;
        if (m_client->present.load()) {
            QDBusMessage message = QDBusMessage::createMethodCall(QString::fromStdString(m_client->name),
                                                                  kCallbackPath, kCallbackInterface, "Post");
            message.setAutoStartService(false);
            message << QByteArray::fromStdString(bytes);
            sent = m_connection.send(message);
        }
        if (result) {
            *result = Variant::Bool(sent && m_client->present.load());
        }
        return S_OK;
    }

  private:
    QDBusConnection m_connection;
    std::shared_ptr<ClientLink> m_client;
    uint32_t m_id;
    std::mutex m_mutex;
    std::vector<std::string> m_names;
};

class ServerAdaptor : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.carrowline.Automation.Object")

  public:
    ServerAdaptor(std::shared_ptr<IDispatch> object, std::shared_ptr<ClientLink> client,
                  QDBusConnection connection, std::function<void()> end)
        : m_object(std::move(object)),
          m_client(std::move(client)),
          m_connection(std::move(connection)),
          m_end(std::move(end)) {}

    void WatchClient() {
        if (m_client->name.empty() || m_watcher) {
            return;
        }
        m_watcher = new QDBusServiceWatcher(QString::fromStdString(m_client->name), m_connection,
                                            QDBusServiceWatcher::WatchForUnregistration, this);
        connect(m_watcher, &QDBusServiceWatcher::serviceUnregistered, this, [this] { End(true); });
        // It may have gone before the watch began.
        if (!m_connection.interface()->isServiceRegistered(QString::fromStdString(m_client->name))) {
            QTimer::singleShot(0, this, [this] { End(true); });
        }
    }

    // A client still on the bus hears what the object posts as it goes (a closed window's release).
    void End(bool clientGone = false) {
        if (clientGone) {
            m_client->present = false;
        }
        if (m_ended) {
            return;
        }
        m_ended = true;
        // Later, so that the call that ended it has returned first.
        QTimer::singleShot(0, this, [this] {
            m_object.reset();
            if (m_end) {
                m_end();
            }
        });
    }

  public Q_SLOTS:
    Q_SCRIPTABLE QByteArray Call(const QByteArray& bytes, const QDBusMessage& message) {
        Reply reply;
        std::string out;
        if (!Accept(message) || !m_object) {
            reply.hr = E_ACCESSDENIED;
            EncodeReply(reply, out);
            return QByteArray::fromStdString(out);
        }
        const ImportObject importObject = [this](uint32_t id) -> std::shared_ptr<IDispatch> {
            return std::make_shared<ClientObjectProxy>(m_connection, m_client, id);
        };
        const auto request = DecodeRequest(
            std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())), importObject);
        if (!request) {
            reply.hr = E_INVALIDARG;
        } else {
            // Kept for the call: a release that arrives in a nested event loop must not end it under us.
            const std::shared_ptr<IDispatch> object = m_object;
            try {
                if (request->op == Op::GetIDsOfNames) {
                    std::vector<std::string_view> names(request->names.begin(), request->names.end());
                    reply.ids.assign(names.size(), DISPID_UNKNOWN);
                    reply.hr = object->GetIDsOfNames(names, reply.ids);
                } else {
                    reply.hr = object->Invoke(request->dispid, request->kind, request->args, &reply.result,
                                              &reply.error);
                }
            } catch (const std::bad_alloc&) {
                reply = Reply{};
                reply.hr = E_OUTOFMEMORY;
            } catch (...) {
                reply = Reply{};
                reply.hr = E_FAIL;
            }
        }
        if (Failed(EncodeReply(reply, out))) {
            // A result that cannot cross (an object of this process) fails the call, not the wire.
            Reply mismatch;
            mismatch.hr = DISP_E_TYPEMISMATCH;
            EncodeReply(mismatch, out);
        }
        return QByteArray::fromStdString(out);
    }

    Q_SCRIPTABLE void Release(const QDBusMessage& message) {
        if (Accept(message)) {
            End();
        }
    }

  private:
    bool Accept(const QDBusMessage& message) {
        const std::string sender = message.service().toStdString();
        if (m_client->name.empty()) {
            m_client->name = sender;  // started by hand: the first caller is the client
            WatchClient();
        }
        return sender == m_client->name && !m_ended;
    }

    std::shared_ptr<IDispatch> m_object;
    std::shared_ptr<ClientLink> m_client;
    QDBusConnection m_connection;
    std::function<void()> m_end;
    QDBusServiceWatcher* m_watcher = nullptr;
    bool m_ended = false;
};

}  // namespace

struct LocalServerHost::State {
    std::shared_ptr<IDispatch> object;
    std::string busName;
    std::function<void()> onEnd;
    std::shared_ptr<ClientLink> client = std::make_shared<ClientLink>();
    std::unique_ptr<ServerAdaptor> adaptor;
    std::unique_ptr<QDBusConnection> connection;
};

LocalServerHost::LocalServerHost(std::shared_ptr<IDispatch> object, std::string busName,
                                 std::function<void()> onEnd)
    : m_state(std::make_shared<State>()) {
    m_state->object = std::move(object);
    m_state->busName = std::move(busName);
    m_state->onEnd = std::move(onEnd);
}

LocalServerHost::~LocalServerHost() {
    if (m_state->connection) {
        m_state->connection->unregisterService(QString::fromStdString(ServiceName()));
        m_state->connection->unregisterObject(kObjectPath);
    }
}

void LocalServerHost::Close() {
    if (m_state->adaptor) {
        m_state->adaptor->End();
    } else if (m_state->onEnd) {
        m_state->object.reset();
        m_state->onEnd();
    }
}

std::string LocalServerHost::ServiceName() const {
    return m_state->busName + ".p" + std::to_string(::getpid());
}

bool LocalServerHost::Start(std::string& error) {
    if (!IsValidBusName(m_state->busName)) {
        error = "\"" + m_state->busName + "\" is not a valid bus name";
        return false;
    }
    QDBusConnection connection = QDBusConnection::sessionBus();
    if (!connection.isConnected()) {
        error = "the session bus cannot be reached: " + connection.lastError().message().toStdString();
        return false;
    }
    if (const char* client = std::getenv(kClientVariable); client && *client) {
        m_state->client->name = client;
    }
    m_state->connection = std::make_unique<QDBusConnection>(connection);
    m_state->adaptor =
        std::make_unique<ServerAdaptor>(m_state->object, m_state->client, connection, m_state->onEnd);
    m_state->object.reset();
    if (!connection.registerObject(kObjectPath, m_state->adaptor.get(),
                                   QDBusConnection::ExportScriptableSlots)) {
        error =
            "cannot offer the object on the session bus: " + connection.lastError().message().toStdString();
        return false;
    }
    m_state->adaptor->WatchClient();
    if (!connection.registerService(QString::fromStdString(ServiceName()))) {
        error = "cannot take the bus name " + ServiceName() + ": " +
                connection.lastError().message().toStdString();
        connection.unregisterObject(kObjectPath);
        return false;
    }
    return true;
}

}  // namespace platform::automation::bus

#include "local_server_host.moc"
