// The brantor program: the container that hosts the terminal control for one host session.
#include <QApplication>
#include <string>

#include "container/brantor_app.h"
#include "container/deferred_icon_style.h"
#include "container/main_frame.h"
#include "platform/user_prompt.h"
#include "suite/crash_report.h"
#include "suite/debug_log.h"
#include "suite/qt/display_reach.h"
#include "tools/qt_user_prompt.h"

int main(int argc, char** argv) {
    suite::CCrashReport crashReport;
    suite::ProcessDebugLog();
    // Taken before Qt removes the options it knows from argv.
    const std::string commandLine = container::ArgumentText(argc, argv);
    if (!suite::qt::CheckDisplay("brantor", argc, argv))
        return 1;

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Brantor"));
    // The frame stays hidden until the control asks for it; the close rule ends the program.
    QApplication::setQuitOnLastWindowClosed(false);
    container::InstallDeferredIconStyle();
    tools::QtUserPrompt prompt;
    platform::SetDefaultPrompt(&prompt);

    int exitCode = 0;
    {
        container::CMainFrame frame;
        container::CBrantorApp app(frame);
        frame.SetApp(&app);
        switch (app.Connect(commandLine)) {
            case container::ConnectOutcome::Connected:
                exitCode = QApplication::exec();
                break;
            case container::ConnectOutcome::Usage:
                exitCode = 1;
                break;
            case container::ConnectOutcome::Failed:
                break;
        }
        app.ExitInstance();
        frame.SetApp(nullptr);
    }
    platform::SetDefaultPrompt(nullptr);
    return exitCode;
}
