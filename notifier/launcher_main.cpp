// pipwelllauncher: ends the running notifier, copies the new notifier program into place and starts it.
#include <string>
#include <vector>

#include "notifier/launcher.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return notifier::LauncherMain(args);
}
