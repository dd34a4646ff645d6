// A process the process-control tests copy under unique names. It says "ready" once set up and sleeps;
// "ignore-term" makes it ignore SIGTERM; "stop-self LIB" asks the library to stop its own name.
#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "ignore-term") == 0) {
        signal(SIGTERM, SIG_IGN);
    }
    if (argc > 2 && std::strcmp(argv[1], "stop-self") == 0) {
        void* lib = dlopen(argv[2], RTLD_NOW);
        auto stop =
            lib ? reinterpret_cast<void (*)(const char*)>(dlsym(lib, "StopProcWithExeName")) : nullptr;
        if (stop == nullptr) {
            return 2;
        }
        const std::string self = argv[0];
        stop(self.substr(self.rfind('/') + 1).c_str());
        std::puts("alive");
        return 0;
    }
    std::puts("ready");
    std::fflush(stdout);
    for (;;) {
        pause();
    }
}
