// mardle's entry: the arguments, its stop signals as a descriptor, one conversion, its exit code.
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/unique_fd.h"
#include "viewer/display/mardle.h"

int main(int argc, char** argv) {
    // A caller that gives up sends SIGTERM: the converter and the private folder must still be cleaned up.
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGHUP);
    sigprocmask(SIG_BLOCK, &stops, nullptr);
    platform::UniqueFd stopFd(signalfd(-1, &stops, SFD_CLOEXEC | SFD_NONBLOCK));

    display::MardleSettings settings = display::MardleSettingsFromEnvironment();
    settings.stopFd = stopFd.Get();
    std::string message;
    const auto exit = display::RunMardle(std::vector<std::string>(argv + 1, argv + argc), settings, message);
    if (!message.empty()) {
        std::fprintf(stderr, "mardle: %s\n", message.c_str());
    }
    return static_cast<int>(exit);
}
