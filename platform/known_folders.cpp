// The Windows known folders mapped onto CARROWLINE_ROOT and the XDG base folders, read fresh from the
// environment on every call, and the recursive folder creation the shell offers on Windows.
#include "platform/known_folders.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <system_error>
#include <vector>

#include "platform/win32_error.h"

namespace platform {
namespace {

std::string EnvOrEmpty(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

// The XDG base folders must be absolute; a relative setting is ignored, as the base-directory rules say.
std::filesystem::path XdgOr(const char* name, const std::filesystem::path& fallback) {
    std::filesystem::path value = EnvOrEmpty(name);
    if (!value.empty() && value.is_absolute()) {
        return value;
    }
    return fallback;
}

std::filesystem::path ExecutablePath() {
    std::error_code ec;
    auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : path;
}

}  // namespace

std::filesystem::path CarrowlineRoot() {
    std::string root = EnvOrEmpty("CARROWLINE_ROOT");
    return root.empty() ? std::filesystem::path("/") : std::filesystem::path(root);
}

std::filesystem::path CommonAppDataFolder() {
    return CarrowlineRoot() / "var" / "lib";
}

std::filesystem::path UserAppDataFolder() {
    return XdgOr("XDG_CONFIG_HOME", HomeFolder() / ".config");
}

std::filesystem::path UserStateFolder() {
    return XdgOr("XDG_STATE_HOME", HomeFolder() / ".local" / "state");
}

std::filesystem::path RuntimeFolder() {
    return XdgOr("XDG_RUNTIME_DIR", TempFolder());
}

std::optional<std::filesystem::path> PrivateRuntimeFolder(std::string* why) {
    auto fail = [why](std::string text) {
        if (why != nullptr) {
            *why = std::move(text);
        }
        return std::nullopt;
    };
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::filesystem::path folder;
    if (runtime != nullptr && runtime[0] == '/') {
        folder = runtime;
    } else {
        // The temp folder is shared: use a folder of our own inside it.
        folder = TempFolder() / ("carrowline-" + std::to_string(::getuid()));
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
            return fail("cannot create " + folder.string() + ": " + std::strerror(errno));
        }
    }
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid() ||
        (st.st_mode & 077) != 0) {
        return fail(folder.string() + " is not a private folder of this user");
    }
    return folder;
}

std::filesystem::path TempFolder() {
    std::string tmp = EnvOrEmpty("TMPDIR");
    return tmp.empty() ? std::filesystem::path("/tmp") : std::filesystem::path(tmp);
}

std::filesystem::path HomeFolder() {
    std::string home = EnvOrEmpty("HOME");
    if (!home.empty()) {
        return home;
    }
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    while (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
           buffer.size() < (1u << 20)) {
        buffer.resize(buffer.size() * 2);
    }
    if (found && found->pw_dir && *found->pw_dir) {
        return found->pw_dir;
    }
    return "/";
}

std::filesystem::path ProgramFolder() {
    return ExecutablePath().parent_path();
}

std::string ProgramFileName() {
    return ExecutablePath().filename().string();
}

std::filesystem::path MachineHivePath() {
    return CarrowlineRoot() / "etc" / "carrowline" / "machine.reg";
}

std::filesystem::path UserHivePath() {
    return UserAppDataFolder() / "carrowline" / "user.reg";
}

int32_t CreateFolder(const std::filesystem::path& folder) {
    if (folder.empty()) {
        return win32::kPathNotFound;
    }
    std::filesystem::path target = folder.lexically_normal();
    if (target.has_relative_path() && !target.has_filename()) {
        target = target.parent_path();  // "a/b/" names the folder "a/b"
    }
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) {
        return S_ISDIR(st.st_mode) ? win32::kAlreadyExists : win32::kFileExists;
    }
    std::filesystem::path prefix;
    bool createdTarget = false;
    for (auto it = target.begin(); it != target.end(); ++it) {
        prefix /= *it;
        const bool last = std::next(it) == target.end();
        if (::mkdir(prefix.c_str(), 0777) == 0) {
            createdTarget = last;
            continue;
        }
        const int err = errno;
        if (err != EEXIST) {
            return err == ENOENT ? win32::kPathNotFound : win32::FromErrno(err);
        }
        if (::stat(prefix.c_str(), &st) != 0) {
            return win32::kPathNotFound;  // a dangling link stands in the way
        }
        if (!S_ISDIR(st.st_mode)) {
            return last ? win32::kFileExists : win32::kPathNotFound;
        }
    }
    return createdTarget ? win32::kSuccess : win32::kAlreadyExists;
}

}  // namespace platform
