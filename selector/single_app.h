// One selector per user and display: a lock file decides who is first, a local socket lets a later start
// ask the first one to come forward.
#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

namespace selector {

// "korrin-<uid>-<display>": DISPLAY without its screen number, else WAYLAND_DISPLAY, else XDG_SESSION_ID.
QString InstanceName();

class CSingleApp : public QObject {
    Q_OBJECT
  public:
    // True when this process holds the guard and listens; false after a running one was asked forward.
    // A guard that cannot be set up leaves the program unguarded (true, nothing held).
    bool IsFirstInstance();
    // Run for each later start.
    void SetOnActivate(std::function<void()> onActivate) { m_onActivate = std::move(onActivate); }

  private:
    std::unique_ptr<QLockFile> m_lock;
    std::unique_ptr<QLocalServer> m_server;
    std::function<void()> m_onActivate;
};

// Restores, raises and activates the open modal window or `main`, or beeps when there is none.
void BringForward(class QWidget* main);

}  // namespace selector
