// A small program that the spawn tests start: it reports what it was given (arguments, environment,
// working folder, open fds, an inherited mapping) on stdout so the test can compare.
#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/shared_mapping.h"

extern char** environ;

namespace {

int ListFds() {
    DIR* dir = ::opendir("/proc/self/fd");
    if (dir == nullptr) {
        return 2;
    }
    int own = ::dirfd(dir);
    while (dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.') {
            continue;
        }
        int fd = std::atoi(entry->d_name);
        if (fd != own) {
            std::printf("%d\n", fd);
        }
    }
    ::closedir(dir);
    return 0;
}

// Maps the inherited fd and prints its first `size` bytes up to a NUL, then writes a reply after them.
int ReadMapping(int fd, size_t size) {
    std::string error;
    auto mapping = platform::SharedMapping::OpenFd(fd, size, true, &error);
    if (!mapping) {
        std::printf("error: %s\n", error.c_str());
        return 3;
    }
    const char* text = reinterpret_cast<const char*>(mapping->Data());
    size_t len = strnlen(text, size);
    std::printf("%.*s\n", static_cast<int>(len), text);
    const char reply[] = "child was here";
    if (len + 1 + sizeof reply <= size) {
        std::memcpy(mapping->Data() + len + 1, reply, sizeof reply);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        return 1;
    }
    std::string mode = argv[1];
    if (mode == "argv") {
        for (int n = 0; n < argc; ++n) {
            std::printf("%s\n", argv[n]);
        }
        return 0;
    }
    if (mode == "env") {
        for (char** entry = environ; *entry != nullptr; ++entry) {
            std::printf("%s\n", *entry);
        }
        return 0;
    }
    if (mode == "cwd") {
        char buffer[4096];
        if (::getcwd(buffer, sizeof buffer) == nullptr) {
            return 2;
        }
        std::printf("%s\n", buffer);
        return 0;
    }
    if (mode == "fds") {
        return ListFds();
    }
    if (mode == "signals") {
        // The blocked and ignored sets as the kernel keeps them, in hex.
        FILE* status = std::fopen("/proc/self/status", "r");
        if (status == nullptr) {
            return 2;
        }
        char line[256];
        while (std::fgets(line, sizeof line, status) != nullptr) {
            if (std::strncmp(line, "SigBlk:", 7) == 0 || std::strncmp(line, "SigIgn:", 7) == 0) {
                std::fputs(line, stdout);
            }
        }
        std::fclose(status);
        return 0;
    }
    if (mode == "mapping" && argc >= 4) {
        return ReadMapping(std::atoi(argv[2]), std::strtoul(argv[3], nullptr, 10));
    }
    if (mode == "hold") {
        // Keeps running (and its fds open) until the test closes our stdin.
        char byte;
        while (::read(0, &byte, 1) > 0) {
        }
        return 0;
    }
    if (mode == "session" && argc >= 3) {
        // Written whole under a temporary name, so a reader never sees half of it.
        const std::string temp = std::string(argv[2]) + ".part";
        if (FILE* out = std::fopen(temp.c_str(), "w")) {
            std::fprintf(out, "%d %d\n", static_cast<int>(::getpid()), static_cast<int>(::getsid(0)));
            std::fclose(out);
            std::rename(temp.c_str(), argv[2]);
        }
        return 0;
    }
    if (mode == "exit" && argc >= 3) {
        return std::atoi(argv[2]);
    }
    return 1;
}
