// The single-instance guard. The lock is released by the system when its holder dies, so a killed selector
// never blocks the next one; the holder removes a leftover socket before listening.

#include "selector/single_app.h"

#include <unistd.h>

#include <QApplication>
#include <QLocalSocket>
#include <QWidget>

#include "platform/known_folders.h"

namespace selector {

QString InstanceName() {
    QString display = qEnvironmentVariable("DISPLAY");
    if (!display.isEmpty()) {
        // ":0.1" and ":0" are one display.
        const int colon = display.lastIndexOf(':');
        const int dot = display.indexOf('.', colon < 0 ? 0 : colon);
        if (dot > colon && colon >= 0)
            display.truncate(dot);
    } else {
        display = qEnvironmentVariable("WAYLAND_DISPLAY");
        if (display.isEmpty())
            display = qEnvironmentVariable("XDG_SESSION_ID");
    }
    display.replace('/', '_');
    return QStringLiteral("korrin-%1-%2").arg(::getuid()).arg(display);
}

bool CSingleApp::IsFirstInstance() {
    std::optional<std::filesystem::path> folder = platform::PrivateRuntimeFolder();
    if (!folder)
        return true;
    const QString base = QString::fromStdString((*folder / InstanceName().toStdString()).string());
    m_lock = std::make_unique<QLockFile>(base + ".lock");
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0)) {
        m_lock.reset();
        QLocalSocket socket;
        socket.connectToServer(base);
        if (socket.waitForConnected(2000)) {
            socket.write("raise\n");
            socket.waitForBytesWritten(2000);
            socket.disconnectFromServer();
        }
        return false;
    }
    QLocalServer::removeServer(base);
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(base))
        return true;  // guarded by the lock, just not reachable
    connect(m_server.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            if (m_onActivate)
                m_onActivate();
        }
    });
    return true;
}

void BringForward(QWidget* main) {
    QWidget* target = QApplication::activeModalWidget();
    if (!target)
        target = main;
    if (!target) {
        QApplication::beep();
        return;
    }
    target->setWindowState((target->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    target->show();
    target->raise();
    target->activateWindow();
}

}  // namespace selector
