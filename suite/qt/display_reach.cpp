#include "suite/qt/display_reach.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace suite::qt {

namespace {

const char* Env(const char* name) {
    const char* value = std::getenv(name);
    return value && *value ? value : nullptr;
}

// Qt reads its own options with one dash or two.
std::string_view OptionName(const char* arg) {
    std::string_view name(arg);
    if (name.starts_with("--"))
        name.remove_prefix(1);
    return name;
}

const char* OptionValue(int argc, char** argv, std::string_view option) {
    const char* value = nullptr;
    for (int i = 1; i + 1 < argc; ++i) {
        if (OptionName(argv[i]) == option)
            value = argv[++i];
    }
    return value;
}

std::vector<std::string> SplitPlatforms(std::string_view list) {
    std::vector<std::string> names;
    while (!list.empty()) {
        const size_t end = list.find(';');
        std::string_view entry = list.substr(0, end);
        entry = entry.substr(0, entry.find(':'));
        if (!entry.empty())
            names.emplace_back(entry);
        if (end == std::string_view::npos)
            break;
        list.remove_prefix(end + 1);
    }
    return names;
}

bool XServerAnswers(const char* display) {
    if (!display)
        return false;
    xcb_connection_t* connection = xcb_connect(display, nullptr);
    const bool ok = connection && xcb_connection_has_error(connection) == 0;
    if (connection)
        xcb_disconnect(connection);
    return ok;
}

bool WaylandAnswers() {
    const char* name = Env("WAYLAND_DISPLAY");
    if (!name)
        return false;
    std::string path = name;
    if (path.front() != '/') {
        const char* runtime = Env("XDG_RUNTIME_DIR");
        if (!runtime)
            return false;
        path = std::string(runtime) + "/" + path;
    }
    sockaddr_un address{};
    if (path.size() >= sizeof address.sun_path)
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

}  // namespace

std::vector<std::string> PlatformCandidates(int argc, char** argv) {
    const char* named = OptionValue(argc, argv, "-platform");
    if (!named)
        named = Env("QT_QPA_PLATFORM");
    if (named) {
        auto names = SplitPlatforms(named);
        if (!names.empty())
            return names;
    }
    // Qt prefers the session's own window system; either one that answers will do.
    return {"xcb", "wayland"};
}

bool DisplayReachable(int argc, char** argv, std::string& message) {
    const char* display = OptionValue(argc, argv, "-display");
    if (!display)
        display = Env("DISPLAY");
    for (const std::string& name : PlatformCandidates(argc, argv)) {
        if (name == "xcb") {
            if (XServerAnswers(display))
                return true;
        } else if (name.starts_with("wayland")) {
            if (WaylandAnswers())
                return true;
        } else {
            return true;
        }
    }
    message = display ? "cannot reach a display (DISPLAY is \"" + std::string(display) + "\")"
                      : std::string("cannot reach a display (DISPLAY is not set)");
    return false;
}

bool CheckDisplay(const char* program, int argc, char** argv) {
    std::string message;
    if (DisplayReachable(argc, argv, message))
        return true;
    std::fprintf(stderr, "%s: %s\n", program, message.c_str());
    return false;
}

}  // namespace suite::qt
