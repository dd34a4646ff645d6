// The tray icon as a StatusNotifierItem: its properties and activation on the session bus.
#include "notifier/qt/status_notifier_item.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QImage>
#include <QtEndian>

namespace notifier::sni {

// (iiay): width, height and ARGB32 pixels in network byte order.
struct Pixmap {
    int width = 0;
    int height = 0;
    QByteArray argb;
};

// (sa(iiay)ss): icon name, icon, title, text.
struct ToolTip {
    QString iconName;
    QList<Pixmap> icon;
    QString title;
    QString text;
};

QDBusArgument& operator<<(QDBusArgument& out, const Pixmap& p) {
    out.beginStructure();
    out << p.width << p.height << p.argb;
    out.endStructure();
    return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, Pixmap& p) {
    in.beginStructure();
    in >> p.width >> p.height >> p.argb;
    in.endStructure();
    return in;
}

QDBusArgument& operator<<(QDBusArgument& out, const ToolTip& t) {
    out.beginStructure();
    out << t.iconName << t.icon << t.title << t.text;
    out.endStructure();
    return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, ToolTip& t) {
    in.beginStructure();
    in >> t.iconName >> t.icon >> t.title >> t.text;
    in.endStructure();
    return in;
}

}  // namespace notifier::sni

Q_DECLARE_METATYPE(notifier::sni::Pixmap)
Q_DECLARE_METATYPE(notifier::sni::ToolTip)

namespace notifier {

namespace {

constexpr const char* kItemInterface = "org.kde.StatusNotifierItem";
constexpr const char* kItemPath = "/StatusNotifierItem";
constexpr const char* kWatcherPath = "/StatusNotifierWatcher";
constexpr const char* kPropertiesInterface = "org.freedesktop.DBus.Properties";

void RegisterTypes() {
    static const bool done = [] {
        qDBusRegisterMetaType<sni::Pixmap>();
        qDBusRegisterMetaType<QList<sni::Pixmap>>();
        qDBusRegisterMetaType<sni::ToolTip>();
        return true;
    }();
    (void)done;
}

QList<sni::Pixmap> Pixmaps(const QImage& image) {
    QList<sni::Pixmap> list;
    if (image.isNull())
        return list;
    for (const int size : {16, 22, 32}) {
        const QImage scaled = image.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                                  .convertToFormat(QImage::Format_ARGB32);
        sni::Pixmap p{scaled.width(), scaled.height(), {}};
        p.argb.resize(static_cast<qsizetype>(scaled.width()) * scaled.height() * 4);
        auto* out = reinterpret_cast<uchar*>(p.argb.data());
        for (int y = 0; y < scaled.height(); ++y) {
            const auto* row = reinterpret_cast<const quint32*>(scaled.constScanLine(y));
            for (int x = 0; x < scaled.width(); ++x, out += 4)
                qToBigEndian<quint32>(row[x], out);
        }
        list.push_back(p);
    }
    return list;
}

}  // namespace

bool StatusNotifierHostPresent(const QDBusConnection& bus) {
    if (!bus.isConnected() || !bus.interface() ||
        !bus.interface()->isServiceRegistered(kStatusNotifierWatcher))
        return false;
    QDBusMessage get =
        QDBusMessage::createMethodCall(kStatusNotifierWatcher, kWatcherPath, kPropertiesInterface, "Get");
    get << QString(kStatusNotifierWatcher) << QString("IsStatusNotifierHostRegistered");
    const QDBusMessage reply = QDBusConnection(bus).call(get, QDBus::Block, 5000);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           reply.arguments().first().value<QDBusVariant>().variant().toBool();
}

StatusNotifierItem::StatusNotifierItem(const QDBusConnection& bus, const QIcon& icon, const QString& tip,
                                       std::function<void()> activated)
    : m_bus(bus),
      m_service(QString("org.kde.StatusNotifierItem-%1-1").arg(::getpid())),
      m_image(icon.pixmap(32, 32).toImage()),
      m_tip(tip),
      m_activated(std::move(activated)) {
    RegisterTypes();
}

StatusNotifierItem::~StatusNotifierItem() {
    Unregister();
}

void StatusNotifierItem::Register() {
    if (!m_bus.isConnected())
        return;
    if (!m_registered) {
        if (!m_bus.registerService(m_service))
            return;
        if (!m_bus.registerVirtualObject(kItemPath, this)) {
            m_bus.unregisterService(m_service);
            return;
        }
        m_registered = true;
    }
    QDBusMessage announce = QDBusMessage::createMethodCall(
        kStatusNotifierWatcher, kWatcherPath, kStatusNotifierWatcher, "RegisterStatusNotifierItem");
    announce << m_service;
    m_bus.send(announce);
}

void StatusNotifierItem::Unregister() {
    if (!m_registered)
        return;
    m_bus.unregisterObject(kItemPath);
    m_bus.unregisterService(m_service);
    m_registered = false;
}

QVariantMap StatusNotifierItem::Properties() const {
    const QList<sni::Pixmap> icon = Pixmaps(m_image);
    const QVariant none = QVariant::fromValue(QList<sni::Pixmap>{});
    return {
        {"Category", QString("ApplicationStatus")},
        {"Id", QCoreApplication::applicationName()},
        {"Title", m_tip},
        {"Status", QString("Active")},
        {"WindowId", 0},
        {"IconThemePath", QString()},
        {"IconName", QString()},
        {"IconPixmap", QVariant::fromValue(icon)},
        {"OverlayIconName", QString()},
        {"OverlayIconPixmap", none},
        {"AttentionIconName", QString()},
        {"AttentionIconPixmap", none},
        {"AttentionMovieName", QString()},
        {"ToolTip", QVariant::fromValue(sni::ToolTip{QString(), icon, m_tip, QString()})},
        {"ItemIsMenu", false},
        {"Menu", QVariant::fromValue(QDBusObjectPath("/NO_DBUSMENU"))},
    };
}

QString StatusNotifierItem::introspect(const QString&) const {
    return R"xml(<interface name="org.kde.StatusNotifierItem">
  <property name="Category" type="s" access="read"/>
  <property name="Id" type="s" access="read"/>
  <property name="Title" type="s" access="read"/>
  <property name="Status" type="s" access="read"/>
  <property name="WindowId" type="i" access="read"/>
  <property name="IconThemePath" type="s" access="read"/>
  <property name="IconName" type="s" access="read"/>
  <property name="IconPixmap" type="a(iiay)" access="read"/>
  <property name="OverlayIconName" type="s" access="read"/>
  <property name="OverlayIconPixmap" type="a(iiay)" access="read"/>
  <property name="AttentionIconName" type="s" access="read"/>
  <property name="AttentionIconPixmap" type="a(iiay)" access="read"/>
  <property name="AttentionMovieName" type="s" access="read"/>
  <property name="ToolTip" type="(sa(iiay)ss)" access="read"/>
  <property name="ItemIsMenu" type="b" access="read"/>
  <property name="Menu" type="o" access="read"/>
  <method name="ContextMenu"><arg name="x" type="i" direction="in"/><arg name="y" type="i" direction="in"/></method>
  <method name="Activate"><arg name="x" type="i" direction="in"/><arg name="y" type="i" direction="in"/></method>
  <method name="SecondaryActivate"><arg name="x" type="i" direction="in"/><arg name="y" type="i" direction="in"/></method>
  <method name="Scroll"><arg name="delta" type="i" direction="in"/><arg name="orientation" type="s" direction="in"/></method>
  <signal name="NewTitle"/>
  <signal name="NewIcon"/>
  <signal name="NewAttentionIcon"/>
  <signal name="NewOverlayIcon"/>
  <signal name="NewToolTip"/>
  <signal name="NewStatus"><arg name="status" type="s"/></signal>
</interface>
)xml";
}

bool StatusNotifierItem::handleMessage(const QDBusMessage& message, const QDBusConnection& connection) {
    const QString& member = message.member();
    const QVariantList args = message.arguments();
    if (message.interface() == kPropertiesInterface) {
        if (member == "GetAll") {
            if (args.value(0).toString() != kItemInterface)
                return connection.send(message.createReply(QVariant::fromValue(QVariantMap{})));
            return connection.send(message.createReply(QVariant::fromValue(Properties())));
        }
        if (member == "Get") {
            const QVariantMap all = Properties();
            const auto it = all.find(args.value(1).toString());
            if (args.value(0).toString() != kItemInterface || it == all.end())
                return connection.send(message.createErrorReply("org.freedesktop.DBus.Error.UnknownProperty",
                                                                "No such property"));
            return connection.send(message.createReply(QVariant::fromValue(QDBusVariant(*it))));
        }
        if (member == "Set")
            return connection.send(message.createErrorReply("org.freedesktop.DBus.Error.PropertyReadOnly",
                                                            "Read-only property"));
        return false;
    }
    if (!message.interface().isEmpty() && message.interface() != kItemInterface)
        return false;
    if (member == "Activate") {
        if (m_activated)
            m_activated();
    } else if (member != "SecondaryActivate" && member != "ContextMenu" && member != "Scroll") {
        return false;
    }
    return connection.send(message.createReply());
}

}  // namespace notifier
