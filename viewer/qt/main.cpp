// lumetra: the document viewer.
#include <QApplication>
#include <string>
#include <vector>

#include "suite/crash_report.h"
#include "viewer/qt/lumetra_app.h"

int main(int argc, char** argv) {
    suite::CCrashReport crashReport;
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    viewer::CLumetraApp app;
    if (!app.InitInstance(std::vector<std::string>(argv + 1, argv + argc))) {
        return app.ExitCode();
    }
    return QApplication::exec();
}
