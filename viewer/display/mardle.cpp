// The conversion: a private profile and output folder, the office suite headless with a time-out, and the
// HTML moved whole onto the target.
#include "viewer/display/mardle.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <system_error>

#include "platform/atomic_file.h"
#include "platform/hex_digit.h"
#include "platform/known_folders.h"
#include "platform/spawn.h"
#include "platform/unique_fd.h"
#include "viewer/display/child_wait.h"

namespace display {
namespace {

namespace fs = std::filesystem;

// The office suite ends a first start on a new profile with this code and wants to be started again.
constexpr int kRestartRequested = 81;

// The private folder lives only as long as the conversion.
class PrivateFolder {
  public:
    explicit PrivateFolder(const fs::path& parent) {
        std::string pattern = (parent / "mardle-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            m_path = pattern;
        }
    }
    ~PrivateFolder() {
        if (!m_path.empty()) {
            std::error_code ignored;
            fs::remove_all(m_path, ignored);
        }
    }
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;
    const fs::path& Path() const { return m_path; }

  private:
    fs::path m_path;
};

bool ReadableRegularFile(const fs::path& path, std::string& why) {
    platform::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info {};
    if (!fd || ::fstat(fd.Get(), &info) != 0) {
        why = "The document \"" + path.string() + "\" cannot be read: " + std::strerror(errno) + ".";
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        why = "The document \"" + path.string() + "\" is not a regular file.";
        return false;
    }
    return true;
}

struct ConverterRun {
    MardleExit exit = MardleExit::Converted;
    int status = 0;
};

ConverterRun RunConverterOnce(const MardleSettings& settings, const fs::path& source, const fs::path& profile,
                              const fs::path& outFolder, std::string& message) {
    platform::SpawnOptions options;
    options.program = settings.converter;
    options.argv = {settings.converter, "--headless",
                    "--invisible",      "--nologo",
                    "--norestore",      "--nodefault",
                    "--nolockcheck",    "-env:UserInstallation=" + FileUrl(profile),
                    "--convert-to",     "html:HTML (StarWriter)",
                    "--outdir",         outFolder.string(),
                    source.string()};
    options.nullStdio = true;
    options.newProcessGroup = true;
    // Nothing the suite keeps in this process's environment reaches the office suite's profile choice.
    auto environment = platform::EnvironmentBlock::FromCurrentProcess();
    environment.Set("HOME", profile.string());
    options.environment = environment;
    options.workingFolder = outFolder;
    int32_t error = 0;
    std::string why;
    auto child = platform::Spawn(options, &error, &why);
    if (!child) {
        message = "The converter cannot be started: " + why;
        return {MardleExit::ConverterMissing, 0};
    }
    const auto status = WaitForChild(child->pid, Clock::now() + settings.timeout, settings.stopFd);
    if (!status) {
        StopChild(child->pid, true, kConverterGrace);
        pollfd stop{settings.stopFd, POLLIN, 0};
        if (settings.stopFd >= 0 && ::poll(&stop, 1, 0) > 0) {
            message = "The conversion was interrupted.";
            return {MardleExit::Interrupted, 0};
        }
        message = "The converter did not finish within " + std::to_string(settings.timeout.count()) +
                  " ms and was stopped.";
        return {MardleExit::ConverterTimedOut, 0};
    }
    // Helpers the converter left running in its group go with it.
    ::kill(-child->pid, SIGKILL);
    return {MardleExit::Converted, *status};
}

}  // namespace

std::string FileUrl(const fs::path& folder) {
    std::string url = "file://";
    for (unsigned char c : folder.string()) {
        if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
            url += static_cast<char>(c);
        } else {
            url += '%';
            url += platform::UpperHexDigit(c >> 4);
            url += platform::UpperHexDigit(c);
        }
    }
    return url;
}

MardleSettings MardleSettingsFromEnvironment() {
    MardleSettings settings;
    if (const char* converter = std::getenv(kConverterVariable); converter != nullptr && *converter != '\0') {
        settings.converter = converter;
    }
    if (const char* timeout = std::getenv(kConverterTimeoutVariable); timeout != nullptr) {
        long long value = 0;
        const char* end = timeout + std::strlen(timeout);
        const auto parsed = std::from_chars(timeout, end, value);
        if (parsed.ec == std::errc() && parsed.ptr == end && value > 0) {
            settings.timeout = std::chrono::milliseconds(value);
        }
    }
    return settings;
}

MardleExit RunMardle(const std::vector<std::string>& arguments, const MardleSettings& settings,
                     std::string& message) {
    message.clear();
    if (arguments.size() != 2 || arguments[0].empty() || arguments[1].empty()) {
        message = "Usage: mardle <source document> <target HTML file>";
        return MardleExit::Usage;
    }
    std::error_code error;
    const fs::path source = fs::absolute(arguments[0], error);
    const fs::path target = fs::absolute(arguments[1], error);
    // The old target goes first: whatever happens next, no stale page is left to be shown.
    if (!RemoveStaleTarget(target, message)) {
        return MardleExit::TargetInUse;
    }
    if (!ReadableRegularFile(source, message)) {
        return MardleExit::SourceUnreadable;
    }
    PrivateFolder work(settings.tempFolder.empty() ? platform::TempFolder() : settings.tempFolder);
    if (work.Path().empty()) {
        message = std::string("No private temporary folder can be made: ") + std::strerror(errno) + ".";
        return MardleExit::TargetNotWritten;
    }
    const fs::path profile = work.Path() / "profile";
    const fs::path outFolder = work.Path() / "out";
    if (!fs::create_directory(profile, error) || !fs::create_directory(outFolder, error)) {
        message = "No private temporary folder can be made: " + error.message() + ".";
        return MardleExit::TargetNotWritten;
    }

    ConverterRun run = RunConverterOnce(settings, source, profile, outFolder, message);
    if (run.exit == MardleExit::Converted && run.status == kRestartRequested) {
        run = RunConverterOnce(settings, source, profile, outFolder, message);
    }
    if (run.exit != MardleExit::Converted) {
        return run.exit;
    }
    if (run.status != 0) {
        message = "The converter failed with exit code " + std::to_string(run.status) + ".";
        return MardleExit::ConverterFailed;
    }

    const fs::path written = outFolder / (source.stem().string() + ".html");
    struct stat info {};
    if (::lstat(written.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size == 0) {
        message = "The converter wrote no HTML for \"" + source.string() + "\".";
        return MardleExit::NothingWritten;
    }
    // Pictures the page refers to go beside the target, where its relative links find them.
    for (const auto& entry : fs::directory_iterator(outFolder, error)) {
        if (entry.path() == written || !entry.is_regular_file(error) || entry.is_symlink(error)) {
            continue;
        }
        const fs::path beside = target.parent_path() / entry.path().filename();
        if (beside != target) {
            platform::MoveFileAtomically(entry.path(), beside);
        }
    }
    if (const auto moved = platform::MoveFileAtomically(written, target)) {
        message = "The HTML cannot be written to \"" + target.string() + "\": " + moved.message() + ".";
        return MardleExit::TargetNotWritten;
    }
    return MardleExit::Converted;
}

}  // namespace display
