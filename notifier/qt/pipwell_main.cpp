// pipwell: the tray notifier. Follows the command file, shows the tray icon, the progress popup and the
// prompts, writes the answers, and restarts through the launcher. One per user.
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QLockFile>
#include <QSocketNotifier>
#include <cstdio>

#include "notifier/controller.h"
#include "notifier/qt/notifier_dialogs.h"
#include "platform/known_folders.h"
#include "suite/qt/display_reach.h"

namespace {
int g_termPipe[2] = {-1, -1};

void OnSigterm(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_termPipe[1], &byte, 1);
}
}  // namespace

int main(int argc, char** argv) {
    if (!suite::qt::CheckDisplay("pipwell", argc, argv))
        return 1;
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);

    std::string why;
    const auto runtime = platform::PrivateRuntimeFolder(&why);
    if (!runtime) {
        std::fprintf(stderr, "pipwell: no private runtime folder: %s\n", why.c_str());
        return 1;
    }
    // A second notifier would show and answer every prompt twice.
    QLockFile lock(QString::fromStdString((*runtime / "pipwell.lock").string()));
    lock.setStaleLockTime(0);
    if (!lock.tryLock(0)) {
        std::fprintf(stderr, "pipwell: another notifier already runs for this user\n");
        return 1;
    }

    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_termPipe) != 0)
        return 1;
    struct sigaction action {};
    action.sa_handler = OnSigterm;
    ::sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);

    notifier::QtNotifierView view;
    notifier::NotifierController controller(view);
    view.Attach(controller);
    QSocketNotifier term(g_termPipe[0], QSocketNotifier::Read);
    QObject::connect(&term, &QSocketNotifier::activated, &app, [&] {
        char byte;
        [[maybe_unused]] const ssize_t n = ::read(g_termPipe[0], &byte, 1);
        controller.OnTerminate();
    });
    controller.Start();
    const int code = app.exec();
    return controller.Closed() ? 0 : code;
}
