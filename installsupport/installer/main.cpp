// installer: installs, removes, starts and stops its systemd service, and runs the service loop (under
// systemd with /service, in the foreground with /debug).
#include <iostream>
#include <string>
#include <vector>

#include "installsupport/installer_service.h"
#include "installsupport/installer_setup.h"
#include "platform/known_folders.h"
#include "platform/user_prompt.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv, argv + argc);
    const installer::CommandLine line = installer::ParseCommandLine(args);
    if (line.showUsage) {
        platform::DefaultPrompt().Message(installer::UsageText(), platform::PromptIcon::None,
                                          std::string(installer::kTitle));
        return 0;
    }
    const auto program = platform::ProgramFolder() / platform::ProgramFileName();
    int rc = 0;
    for (const installer::Action action : line.actions) {
        int step = 0;
        switch (action) {
            case installer::Action::Install:
                step = installer::InstallService(program);
                break;
            case installer::Action::Remove:
                step = installer::RemoveService();
                break;
            case installer::Action::Stop:
                step = installer::StopService();
                break;
            case installer::Action::Start:
                step = installer::StartService();
                break;
            case installer::Action::Debug:
            case installer::Action::Service:
                step = installer::RunService({line.socketPath.value_or(installer::DefaultSocketPath()),
                                              action == installer::Action::Service});
                break;
        }
        if (step != 0 && rc == 0) {
            rc = step;
        }
    }
    return rc;
}
