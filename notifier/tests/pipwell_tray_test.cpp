// The real pipwell's tray icon under a private Xvfb: docked in a real XEmbed tray (trayer) after a line
// asks for it, gone on "hidetray", back after the tray restarts, and a double click on it re-shows the
// popup; without any tray the popup and the prompts still work. On a private session bus, a
// StatusNotifierItem watcher gets the icon whether it was there first, restarts or turns up late.
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <cstring>
#include <memory>

#include "notifier/tests/pipwell_fixture.h"
#include "testsupport/dbus_session.h"

namespace notifier {
namespace {

using namespace std::chrono_literals;
using testing::PipwellTest;
using testing::WaitUntil;

constexpr const char* kTrayer = "/usr/bin/trayer";

// Looks at the X server the way a user would: who holds the tray, and which of our windows it holds.
class XLook {
  public:
    explicit XLook(const std::string& display) : m_c(xcb_connect(display.c_str(), nullptr)) {
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root;
        m_trayAtom = Atom("_NET_SYSTEM_TRAY_S0");
        m_pidAtom = Atom("_NET_WM_PID");
        m_xembedAtom = Atom("_XEMBED_INFO");
    }
    ~XLook() { xcb_disconnect(m_c); }
    XLook(const XLook&) = delete;
    XLook& operator=(const XLook&) = delete;

    bool Ok() const { return xcb_connection_has_error(m_c) == 0; }

    bool TrayRuns() {
        auto* reply = xcb_get_selection_owner_reply(m_c, xcb_get_selection_owner(m_c, m_trayAtom), nullptr);
        const bool owned = reply && reply->owner != XCB_NONE;
        free(reply);
        return owned;
    }

    // Windows of that process that carry the embedding info and sit inside another window: icons a tray
    // has taken in.
    std::vector<xcb_window_t> DockedIcons(pid_t pid) {
        std::vector<xcb_window_t> found;
        Walk(m_root, pid, found);
        return found;
    }

  private:
    xcb_atom_t Atom(const char* name) {
        auto* reply = xcb_intern_atom_reply(
            m_c, xcb_intern_atom(m_c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
        const xcb_atom_t atom = reply ? reply->atom : XCB_NONE;
        free(reply);
        return atom;
    }
    bool HasProperty(xcb_window_t w, xcb_atom_t property, uint32_t* value = nullptr) {
        auto* reply = xcb_get_property_reply(
            m_c, xcb_get_property(m_c, 0, w, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1), nullptr);
        const bool has = reply && reply->type != XCB_NONE && xcb_get_property_value_length(reply) >= 4;
        if (has && value)
            *value = *static_cast<uint32_t*>(xcb_get_property_value(reply));
        free(reply);
        return has;
    }
    void Walk(xcb_window_t parent, pid_t pid, std::vector<xcb_window_t>& found) {
        auto* reply = xcb_query_tree_reply(m_c, xcb_query_tree(m_c, parent), nullptr);
        if (!reply)
            return;
        const xcb_window_t* children = xcb_query_tree_children(reply);
        const int count = xcb_query_tree_children_length(reply);
        for (int i = 0; i < count; ++i) {
            uint32_t owner = 0;
            if (parent != m_root && HasProperty(children[i], m_pidAtom, &owner) &&
                owner == static_cast<uint32_t>(pid) && HasProperty(children[i], m_xembedAtom))
                found.push_back(children[i]);
            Walk(children[i], pid, found);
        }
        free(reply);
    }

    xcb_connection_t* m_c;
    xcb_window_t m_root = XCB_NONE;
    xcb_atom_t m_trayAtom = XCB_NONE;
    xcb_atom_t m_pidAtom = XCB_NONE;
    xcb_atom_t m_xembedAtom = XCB_NONE;
};

class PipwellTrayTest : public PipwellTest {
  protected:
    void SetUp() override {
        PipwellTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        m_x = std::make_unique<XLook>(m_xvfb.Display());
        ASSERT_TRUE(m_x->Ok());
    }
    void TearDown() override {
        m_x.reset();
        PipwellTest::TearDown();
    }
    pid_t StartTrayer() {
        const pid_t pid = Start(kTrayer, {"--edge", "top", "--align", "right", "--widthtype", "pixel",
                                          "--width", "200", "--heighttype", "pixel", "--height", "30"});
        EXPECT_TRUE(WaitUntil([&] { return m_x->TrayRuns(); })) << "trayer did not take the tray";
        return pid;
    }
    // Started, and its command file open.
    pid_t StartPipwell() {
        const pid_t pid = Start(PIPWELL_PATH);
        EXPECT_TRUE(WaitUntil([&] { return std::filesystem::exists(m_read); }));
        return pid;
    }
    size_t Docked(pid_t pid) { return m_x->DockedIcons(pid).size(); }

    std::unique_ptr<XLook> m_x;
};

TEST_F(PipwellTrayTest, IconDocksOnDemandGoesOnHidetrayAndComesBackAfterTheTrayRestarts) {
    if (::access(kTrayer, X_OK) != 0)
        GTEST_SKIP() << "trayer is not installed (" << kTrayer << "; Debian package trayer)";
    pid_t trayer = StartTrayer();
    const pid_t pid = StartPipwell();
    // Absent until a line asks for it.
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(Docked(pid), 0u);

    Append("message|Installing|Please wait|40\r\n");
    ASSERT_TRUE(WaitUntil([&] { return Docked(pid) == 1; })) << "the icon never docked";

    Append("instruction|hidetray\r\n");
    ASSERT_TRUE(WaitUntil([&] { return Docked(pid) == 0; })) << "hidetray left the icon";
    Append("instruction|showtray\r\n");
    ASSERT_TRUE(WaitUntil([&] { return Docked(pid) == 1; })) << "showtray did not bring it back";

    // The tray restarts: the shown icon docks in the new one.
    Stop(trayer);
    ASSERT_TRUE(WaitUntil([&] { return !m_x->TrayRuns(); }));
    trayer = StartTrayer();
    ASSERT_TRUE(WaitUntil([&] { return Docked(pid) == 1; })) << "the icon did not come back to the new tray";

    // A hidden icon stays hidden across a restart, and a message brings it back.
    Append("instruction|hidetray\r\n");
    ASSERT_TRUE(WaitUntil([&] { return Docked(pid) == 0; }));
    Stop(trayer);
    ASSERT_TRUE(WaitUntil([&] { return !m_x->TrayRuns(); }));
    trayer = StartTrayer();
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(Docked(pid), 0u);
    Append("message|Back|again\r\n");
    EXPECT_TRUE(WaitUntil([&] { return Docked(pid) == 1; }));

    Append("instruction|close\r\n");
    EXPECT_EQ(Reap(pid), 0);
}

TEST_F(PipwellTrayTest, DoubleClickOnTheDockedIconShowsThePopupAgain) {
    if (::access(kTrayer, X_OK) != 0)
        GTEST_SKIP() << "trayer is not installed (" << kTrayer << "; Debian package trayer)";
    StartTrayer();
    const pid_t pid = StartPipwell();
    Append("message|Copying files|Step 2|10\r\ninstruction|dismisspopup\r\n");
    std::vector<xcb_window_t> icons;
    ASSERT_TRUE(WaitUntil([&] { return (icons = m_x->DockedIcons(pid)).size() == 1; }));
    ASSERT_TRUE(WaitUntil([&] { return FindWindow("PelloryTray", true).empty(); })) << "the popup stayed up";

    const std::string icon = std::to_string(icons[0]);
    Xdotool({"mousemove", "--window", icon, "8", "8"});
    Xdotool({"click", "--repeat", "2", "--delay", "60", "1"});
    EXPECT_TRUE(WaitUntil([&] { return !FindWindow("PelloryTray", true).empty(); }))
        << "a double click did not re-show the popup";
}

TEST_F(PipwellTrayTest, WithoutATrayThePopupAndPromptsStillWork) {
    ASSERT_FALSE(m_x->TrayRuns());
    const pid_t pid = StartPipwell();
    Append("message|Installing|Please wait\r\n");
    ASSERT_TRUE(WaitUntil([&] { return !FindWindow("PelloryTray", true).empty(); })) << "no popup";
    EXPECT_EQ(Docked(pid), 0u);

    Append("prompt|Continue|Go on?|MB_OKCANCEL\r\n");
    std::string window;
    ASSERT_TRUE(WaitUntil([&] { return !(window = FindWindow("Continue", true)).empty(); }));
    std::this_thread::sleep_for(300ms);
    Xdotool({"windowfocus", "--sync", window});
    Xdotool({"key", "--window", window, "Escape"});
    ASSERT_TRUE(WaitUntil([&] { return testsupport::ReadFile(m_write) == "CANCEL\r\n"; }))
        << testsupport::ReadFile(m_write);
}

constexpr const char* kWatcher = "org.kde.StatusNotifierWatcher";
constexpr const char* kItemInterface = "org.kde.StatusNotifierItem";

// Waits while this thread's events run, so the fake watcher below can answer.
bool WaitServing(const std::function<bool()>& done, std::chrono::milliseconds limit = 15s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (done())
            return true;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(10ms);
    }
    return done();
}

// A StatusNotifierItem watcher with a host, as a desktop panel offers it: it records the items announced.
class FakeWatcher : public QDBusVirtualObject {
  public:
    std::vector<QString> items;

    QString introspect(const QString&) const override {
        return R"xml(<interface name="org.kde.StatusNotifierWatcher">
  <method name="RegisterStatusNotifierItem"><arg name="service" type="s" direction="in"/></method>
  <method name="RegisterStatusNotifierHost"><arg name="service" type="s" direction="in"/></method>
  <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
  <property name="ProtocolVersion" type="i" access="read"/>
</interface>
)xml";
    }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        const QVariantMap properties{{"IsStatusNotifierHostRegistered", true},
                                     {"ProtocolVersion", 0},
                                     {"RegisteredStatusNotifierItems", QStringList()}};
        if (message.member() == "Get") {
            const QVariant value = properties.value(message.arguments().value(1).toString());
            return connection.send(message.createReply(QVariant::fromValue(QDBusVariant(value))));
        }
        if (message.member() == "GetAll")
            return connection.send(message.createReply(QVariant::fromValue(properties)));
        if (message.member() == "RegisterStatusNotifierItem") {
            // A bare path names an item on the caller's own connection.
            const QString service = message.arguments().value(0).toString();
            items.push_back(service.startsWith('/') ? message.service() : service);
            return connection.send(message.createReply());
        }
        if (message.member() == "RegisterStatusNotifierHost")
            return connection.send(message.createReply());
        return false;
    }
};

class PipwellStatusNotifierTest : public PipwellTrayTest {
  protected:
    void SetUp() override {
        PipwellTrayTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        if (auto missing = testsupport::DBusDaemonMissing())
            GTEST_SKIP() << *missing;
        std::string error;
        ASSERT_TRUE(m_session.Start(error)) << error;
        m_env.Set("DBUS_SESSION_BUS_ADDRESS", m_session.Address());
        m_bus = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(
            QString::fromStdString(m_session.Address()), "notifier-test-watcher"));
        ASSERT_TRUE(m_bus->isConnected());
    }
    void TearDown() override {
        if (m_bus) {
            WatcherLeaves();
            m_bus.reset();
            QDBusConnection::disconnectFromBus("notifier-test-watcher");
        }
        PipwellTrayTest::TearDown();
    }
    void WatcherArrives() {
        ASSERT_TRUE(m_bus->registerVirtualObject("/StatusNotifierWatcher", &m_watcher));
        ASSERT_TRUE(m_bus->registerService(kWatcher));
    }
    void WatcherLeaves() {
        m_bus->unregisterService(kWatcher);
        m_bus->unregisterObject("/StatusNotifierWatcher");
    }
    bool OnBus(const QString& service) { return m_bus->interface()->isServiceRegistered(service); }
    QVariant ItemProperty(const QString& service, const char* name) {
        QDBusMessage get = QDBusMessage::createMethodCall(service, "/StatusNotifierItem",
                                                          "org.freedesktop.DBus.Properties", "Get");
        get << QString(kItemInterface) << QString(name);
        const QDBusMessage reply = m_bus->call(get, QDBus::Block, 10000);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return {};
        return reply.arguments().first().value<QDBusVariant>().variant();
    }
    void Activate(const QString& service) {
        QDBusMessage call =
            QDBusMessage::createMethodCall(service, "/StatusNotifierItem", kItemInterface, "Activate");
        call << 0 << 0;
        EXPECT_EQ(m_bus->call(call, QDBus::Block, 10000).type(), QDBusMessage::ReplyMessage);
    }
    bool PopupShown() { return !FindWindow("PelloryTray", true).empty(); }

    testsupport::DBusSession m_session;
    std::unique_ptr<QDBusConnection> m_bus;
    FakeWatcher m_watcher;
};

TEST_F(PipwellStatusNotifierTest, WatcherThatAppearsLateGetsTheIcon) {
    const bool trayer = ::access(kTrayer, X_OK) == 0;
    if (trayer)
        StartTrayer();
    const pid_t pid = StartPipwell();
    Append("message|Installing|Please wait|40\r\ninstruction|dismisspopup\r\n");
    if (trayer) {
        ASSERT_TRUE(WaitUntil([&] { return Docked(pid) == 1; }));
    }

    WatcherArrives();
    ASSERT_TRUE(WaitServing([&] { return !m_watcher.items.empty(); })) << "the late watcher got no item";
    const QString item = m_watcher.items.back();
    EXPECT_EQ(ItemProperty(item, "Title").toString(), "Halvex Carrowline System Tray Notifier");
    EXPECT_EQ(ItemProperty(item, "Status").toString(), "Active");
    // One icon at a time: the tray window gives way to the item.
    if (trayer) {
        EXPECT_TRUE(WaitUntil([&] { return Docked(pid) == 0; }));
    }

    // The host's single activation re-shows the popup.
    ASSERT_TRUE(WaitUntil([&] { return !PopupShown(); }));
    Activate(item);
    EXPECT_TRUE(WaitUntil([&] { return PopupShown(); })) << "activation did not re-show the popup";

    Append("instruction|hidetray\r\n");
    ASSERT_TRUE(WaitServing([&] { return !OnBus(item); })) << "hidetray left the item on the bus";
    const size_t announced = m_watcher.items.size();
    Append("message|Back|again\r\n");
    ASSERT_TRUE(WaitServing([&] { return m_watcher.items.size() > announced && OnBus(item); }));

    // The watcher goes: the icon returns to the tray window.
    WatcherLeaves();
    if (trayer) {
        EXPECT_TRUE(WaitUntil([&] { return Docked(pid) == 1; })) << "the icon did not return to the tray";
    }
    EXPECT_TRUE(WaitServing([&] { return !OnBus(item); }));

    // It comes back: the item is announced to it again.
    const size_t before = m_watcher.items.size();
    WatcherArrives();
    EXPECT_TRUE(WaitServing([&] { return m_watcher.items.size() > before && OnBus(item); }))
        << "the returning watcher got no item";
    if (trayer) {
        EXPECT_TRUE(WaitUntil([&] { return Docked(pid) == 0; }));
    }
}

TEST_F(PipwellStatusNotifierTest, WatcherThereFirstGetsTheIconAgainAfterItRestarts) {
    WatcherArrives();
    const pid_t pid = Start(PIPWELL_PATH);
    ASSERT_TRUE(WaitServing([&] { return std::filesystem::exists(m_read); }));
    EXPECT_TRUE(m_watcher.items.empty()) << "announced before a line asked for the icon";
    Append("message|Installing|Please wait\r\ninstruction|dismisspopup\r\n");
    ASSERT_TRUE(WaitServing([&] { return !m_watcher.items.empty(); }));
    const QString item = m_watcher.items.back();

    WatcherLeaves();
    m_watcher.items.clear();
    WatcherArrives();
    ASSERT_TRUE(WaitServing([&] { return !m_watcher.items.empty(); })) << "the restarted watcher got no item";
    EXPECT_EQ(m_watcher.items.back(), item);

    ASSERT_TRUE(WaitServing([&] { return !PopupShown(); }));
    Activate(item);
    EXPECT_TRUE(WaitServing([&] { return PopupShown(); })) << "activation did not re-show the popup";
    (void)pid;
}

}  // namespace
}  // namespace notifier
