// Start-up of the viewer in its three ways, and its end.
#include "viewer/qt/lumetra_app.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QMessageBox>
#include <cstdio>

#include "platform/registry.h"
#include "viewer/registration.h"

namespace viewer {

namespace {

void StopBox(const QString& text) {
    std::fprintf(stderr, "lumetra: %s\n", text.toLocal8Bit().constData());
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Lumetra"), text, QMessageBox::Ok);
    box.exec();
}

}  // namespace

CLumetraApp::CLumetraApp() : m_log(LumetraLog::FromRegistry(platform::Registry::Default())) {
    m_log.Launched();
}

CLumetraApp::~CLumetraApp() {
    m_host.reset();
    m_standaloneDoc.reset();
    if (m_frame) {
        m_frame->SetDocument(nullptr);
    }
}

void CLumetraApp::MakeDocument() {
    m_frame = std::make_unique<CMainFrame>(m_log);
    m_frame->SetCloseHandler([this] { OnWindowClosed(); });
}

bool CLumetraApp::InitInstance(const std::vector<std::string>& args) {
    const CCmdLineInfo info = CCmdLineInfo::Parse(args);
    if (info.launch != CCmdLineInfo::Launch::Standalone) {
        m_log.Write(info.launch == CCmdLineInfo::Launch::Embedding
                        ? "Lumetra is being started in EMBEDDED mode"
                        : "Lumetra is being started in AUTOMATION mode");
        MakeDocument();
        auto doc = std::make_shared<CLumetraDoc>(*m_frame, platform::Registry::Default(), m_log, m_word);
        m_frame->SetDocument(doc.get());
        // One process per object: the window stays hidden until the client shows it.
        m_host = std::make_unique<platform::automation::bus::LocalServerHost>(std::move(doc), kLumetraBusName,
                                                                              [this] { Finish(); });
        std::string error;
        if (!m_host->Start(error)) {
            m_log.Write(kOleInitFailed, " " + error);
            m_frame->SetDocument(nullptr);
            m_host.reset();
            StopBox(QString::fromLatin1(kOleInitFailed));
            m_exitCode = 1;
            return false;
        }
        return true;
    }

    m_log.Write("Lumetra is being started in STANDALONE mode");
    std::string message;
    const bool registered = platform::automation::Succeeded(RegisterLumetra(&message));
    if (!registered) {
        m_log.Write("Lumetra could not register itself: ", message);
        std::fprintf(stderr, "lumetra: %s\n", message.c_str());
    }
    if (info.RegServer) {
        m_exitCode = registered ? 0 : 1;
        return false;
    }
    MakeDocument();
    m_standaloneDoc = std::make_shared<CLumetraDoc>(*m_frame, platform::Registry::Default(), m_log, m_word);
    m_frame->SetDocument(m_standaloneDoc.get());
    m_frame->show();
    return true;
}

void CLumetraApp::OnWindowClosed() {
    if (m_host) {
        m_host->Close();  // lets the document go, which posts its release, then ends through Finish
        return;
    }
    Finish();
}

void CLumetraApp::Finish() {
    if (m_ending) {
        return;
    }
    m_ending = true;
    if (m_frame) {
        m_frame->DropPasswordDialog();
        m_frame->SetDocument(nullptr);
        m_frame->hide();
    }
    m_standaloneDoc.reset();
    if (m_host) {
        // One round trip to the bus: the release posted on the way has left before the program does.
        QDBusConnection::sessionBus().interface()->isServiceRegistered(
            QStringLiteral("org.freedesktop.DBus"));
    }
    QApplication::exit(0);
}

}  // namespace viewer
