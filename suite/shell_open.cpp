// Opening documents with the desktop's opener. The host decides the path, so nothing that could run code is
// handed over: the opener would start a program, a script or a desktop entry instead of showing it.
#include "suite/shell_open.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "platform/expand_environment.h"
#include "platform/host_path.h"
#include "platform/registry.h"
#include "platform/spawn.h"
#include "platform/user_prompt.h"
#include "platform/win32_error.h"
#include "suite/debug_log.h"

namespace suite {

namespace {

constexpr size_t kExpandBufferSize = 1024;

// Extensions the desktop (or a Windows loader registered with it) would run rather than show.
constexpr std::array<std::string_view, 11> kRunnableExtensions = {
    ".desktop", ".exe", ".com", ".bat", ".cmd", ".msi", ".scr", ".pif", ".sh", ".appimage", ".jar"};

std::mutex g_openerMutex;
ShellOpener g_opener;

void LaunchDesktopOpener(const std::filesystem::path& path) {
    platform::SpawnOptions options;
    options.program = "xdg-open";
    options.argv = {"xdg-open", path.string()};
    options.nullStdio = true;
    int32_t error = 0;
    std::string message;
    auto child = platform::Spawn(options, &error, &message);
    if (!child) {
        DebugPrint("OpenWithShell: cannot start xdg-open (%d): %s\r\n", error, message.c_str());
        return;
    }
    // The opener exits once it has handed the document on; reap it without holding the caller up.
    std::thread([pid = child->pid] { platform::WaitForExit(pid); }).detach();
}

bool HasRunnableExtension(const std::filesystem::path& path) {
    std::string name = path.filename().string();
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return std::any_of(kRunnableExtensions.begin(), kRunnableExtensions.end(),
                       [&](std::string_view ext) { return name.size() > ext.size() && name.ends_with(ext); });
}

// An executable file, by its mode bits or by the first bytes of a program or script.
bool IsRunnableFile(const std::filesystem::path& path, const struct stat& info) {
    if (!S_ISREG(info.st_mode)) {
        return false;
    }
    if ((info.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0) {
        return true;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    unsigned char head[4] = {};
    const ssize_t n = ::read(fd, head, sizeof(head));
    ::close(fd);
    if (n >= 2 && ((head[0] == '#' && head[1] == '!') || (head[0] == 'M' && head[1] == 'Z'))) {
        return true;
    }
    return n == 4 && head[0] == 0x7f && head[1] == 'E' && head[2] == 'L' && head[3] == 'F';
}

}  // namespace

ShellOpener SetShellOpener(ShellOpener opener) {
    std::lock_guard lock(g_openerMutex);
    return std::exchange(g_opener, std::move(opener));
}

bool OpenWithShell(std::string_view path) {
    const std::string expanded = platform::ExpandEnvironment(path);
    if (expanded.size() >= kExpandBufferSize) {
        std::string text = "Error (" + std::to_string(platform::win32::kInsufficientBuffer) +
                           ") expanding path: '" + std::string(path) + "'";
        platform::PromptRequest request;
        request.text = std::move(text);
        request.caption = "Ostrel";
        request.icon = platform::PromptIcon::Stop;
        request.systemModal = true;
        platform::DefaultPrompt().Show(request);
        return false;
    }

    std::string why;
    const auto local = platform::HostPath(platform::Registry::Default()).Translate(expanded, &why);
    if (!local) {
        DebugPrint("OpenWithShell: refused '%s': %s\r\n", expanded.c_str(), why.c_str());
        return false;
    }
    return OpenLocalDocument(*local);
}

bool OpenLocalDocument(const std::filesystem::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        DebugPrint("OpenWithShell: not found '%s'\r\n", path.c_str());
        return false;
    }
    // A link named like a document may still lead to a desktop entry or a program.
    std::error_code ec;
    const auto target = std::filesystem::canonical(path, ec);
    if (HasRunnableExtension(path) || (!ec && HasRunnableExtension(target)) || IsRunnableFile(path, info)) {
        DebugPrint("OpenWithShell: refused to run '%s'\r\n", path.c_str());
        return false;
    }

    ShellOpener opener;
    {
        std::lock_guard lock(g_openerMutex);
        opener = g_opener;
    }
    if (opener) {
        opener(path);
    } else {
        LaunchDesktopOpener(path);
    }
    return true;
}

}  // namespace suite
