// lumetra: the document viewer.
#include <QApplication>
#include <string>
#include <vector>

#include "suite/crash_report.h"
#include "suite/qt/display_reach.h"
#include "viewer/command_line.h"
#include "viewer/qt/lumetra_app.h"

int main(int argc, char** argv) {
    suite::CCrashReport crashReport;
    const std::vector<std::string> early(argv + 1, argv + argc);
    const viewer::CCmdLineInfo info = viewer::CCmdLineInfo::Parse(early);
    if (info.RegServer && info.launch == viewer::CCmdLineInfo::Launch::Standalone) {
        // Registering opens no window, so it needs no display (an install script may run it without one).
        QCoreApplication application(argc, argv);
        viewer::CLumetraApp app;
        app.InitInstance(std::vector<std::string>(argv + 1, argv + argc));
        return app.ExitCode();
    }
    if (!suite::qt::CheckDisplay("lumetra", argc, argv))
        return 1;
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    viewer::CLumetraApp app;
    if (!app.InitInstance(std::vector<std::string>(argv + 1, argv + argc))) {
        return app.ExitCode();
    }
    return QApplication::exec();
}
