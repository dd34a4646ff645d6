// The tray icon as a StatusNotifierItem on the session bus, for a host whose watcher turns up after the
// notifier started: Qt picks its own kind of tray icon once per process, at the first icon, and keeps to an
// XEmbed tray when no host was there then.
#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QIcon>
#include <functional>

namespace notifier {

inline constexpr const char* kStatusNotifierWatcher = "org.kde.StatusNotifierWatcher";

// Whether a watcher that reports a host is on the session bus now: the question Qt asks when it makes its
// first tray icon.
bool StatusNotifierHostPresent(const QDBusConnection& bus);

class StatusNotifierItem : public QDBusVirtualObject {
  public:
    StatusNotifierItem(const QDBusConnection& bus, const QIcon& icon, const QString& tip,
                       std::function<void()> activated);
    ~StatusNotifierItem() override;
    StatusNotifierItem(const StatusNotifierItem&) = delete;
    StatusNotifierItem& operator=(const StatusNotifierItem&) = delete;

    // Puts the item on the bus and announces it to the watcher (again, after a watcher restarted).
    void Register();
    // Takes it off the bus; watchers drop items whose name goes.
    void Unregister();
    bool Registered() const { return m_registered; }
    const QString& ServiceName() const { return m_service; }

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

  private:
    QVariantMap Properties() const;

    QDBusConnection m_bus;
    QString m_service;
    QImage m_image;
    QString m_tip;
    std::function<void()> m_activated;
    bool m_registered = false;
};

}  // namespace notifier
