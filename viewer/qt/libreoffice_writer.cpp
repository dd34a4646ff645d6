// LibreOffice through soffice's command line.
#include "viewer/qt/libreoffice_writer.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <optional>
#include <sstream>
#include <string_view>
#include <system_error>

#include "platform/known_folders.h"
#include "platform/spawn.h"
#include "platform/unique_fd.h"
#include "viewer/display/child_wait.h"
#include "viewer/display/mardle.h"

namespace viewer {

namespace fs = std::filesystem;
using platform::automation::Variant;
using platform::automation::VarType;

namespace {

constexpr const char* kSource = "LibreOffice";
// soffice ends a first start on a new profile with this code and wants to be started again.
constexpr int kRestartRequested = 81;
constexpr std::chrono::milliseconds kStopGrace{3000};
// Interfaces a desktop Writer draws with; a headless-only installation has none of them.
constexpr const char* kDesktopPlugins[] = {
    "libvclplug_gtk3lo.so", "libvclplug_gtk4lo.so", "libvclplug_kf5lo.so", "libvclplug_kf6lo.so",
    "libvclplug_qt5lo.so",  "libvclplug_qt6lo.so",  "libvclplug_genlo.so"};
constexpr const char* kWriterLibrary = "libswlo.so";
// The libraries that hold the suite's printing; built without CUPS, it prints nowhere yet ends well.
constexpr const char* kPrintingLibraries[] = {"libmergedlo.so", "libvcllo.so"};
constexpr std::string_view kCupsLibrary = "libcups.so";

bool Exists(const fs::path& path) {
    std::error_code ignored;
    return fs::exists(path, ignored);
}

bool ReadableRegularFile(const fs::path& path, std::string& why) {
    platform::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info {};
    if (!fd || ::fstat(fd.Get(), &info) != 0) {
        why = "\"" + path.string() + "\" cannot be read: " + std::strerror(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        why = "\"" + path.string() + "\" is not a regular file";
        return false;
    }
    return true;
}

// Whether the file names the CUPS library (as the name of a library it needs); nullopt when unreadable.
std::optional<bool> NamesCups(const fs::path& library) {
    platform::UniqueFd fd(::open(library.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (!fd || ::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    if (info.st_size == 0) {
        return false;
    }
    void* map = ::mmap(nullptr, static_cast<size_t>(info.st_size), PROT_READ, MAP_PRIVATE, fd.Get(), 0);
    if (map == MAP_FAILED) {
        return std::nullopt;
    }
    const std::string_view bytes(static_cast<const char*>(map), static_cast<size_t>(info.st_size));
    const bool found = bytes.find(kCupsLibrary) != std::string_view::npos;
    ::munmap(map, static_cast<size_t>(info.st_size));
    return found;
}

// False with `why` when the installation's printing library is there and was built without CUPS.
bool CanPrint(const fs::path& folder, std::string& why) {
    for (const char* name : kPrintingLibraries) {
        const auto cups = NamesCups(folder / name);
        if (cups && *cups) {
            return true;
        }
        if (cups) {
            why = "this LibreOffice was built without printing support (" + (folder / name).string() +
                  " does not use CUPS)";
            return false;
        }
    }
    return true;
}

std::string ProfileArgument(const fs::path& profile) {
    return "-env:UserInstallation=" + display::FileUrl(profile);
}

// A macro name goes into a URL: only what Basic allows in a name, so nothing else can ride along.
bool IsMacroName(const std::string& name) {
    if (name.empty() || name.size() > 255 || std::isdigit(static_cast<unsigned char>(name[0]))) {
        return false;
    }
    return std::all_of(name.begin(), name.end(), [](unsigned char c) { return std::isalnum(c) || c == '_'; });
}

// Integers as they are; texts in double quotes with their own quotes doubled, as Basic reads them.
bool MacroArguments(std::span<const Variant> args, std::string& out) {
    out.clear();
    for (const Variant& arg : args) {
        if (!out.empty()) {
            out += ',';
        }
        switch (arg.Type()) {
            case VarType::I4:
                out += std::to_string(arg.AsI4());
                break;
            case VarType::I2:
                out += std::to_string(arg.AsI2());
                break;
            case VarType::Bstr: {
                out += '"';
                for (char c : arg.AsBstr()) {
                    out += c;
                    if (c == '"') {
                        out += '"';
                    }
                }
                out += '"';
                break;
            }
            default:
                return false;
        }
    }
    return true;
}

std::optional<int> RunToEnd(const platform::SpawnOptions& options, std::chrono::milliseconds timeout,
                            std::string& why) {
    std::string message;
    auto child = platform::Spawn(options, nullptr, &message);
    if (!child) {
        why = "soffice cannot be started: " + message;
        return std::nullopt;
    }
    const auto status = display::WaitForChild(child->pid, display::Clock::now() + timeout);
    if (!status) {
        display::StopChild(child->pid, true, kStopGrace);
        why = "soffice did not finish within " + std::to_string(timeout.count()) + " ms and was stopped";
        return std::nullopt;
    }
    ::kill(-child->pid, SIGKILL);  // helpers it left in its group go with it
    return status;
}

class LibreOfficeDocument : public WordDocument {
  public:
    LibreOfficeDocument(LibreOfficeWriter& writer, fs::path program, pid_t pid)
        : m_writer(writer), m_program(std::move(program)), m_pid(pid) {
        m_watch.setInterval(static_cast<int>(writer.Settings().exitPoll.count()));
        QObject::connect(&m_watch, &QTimer::timeout, [this] { CheckExit(); });
    }

    ~LibreOfficeDocument() override {
        // The user's word processor stays open after the edit; it is only no longer watched.
        if (m_pid > 0) {
            m_writer.Adopt(m_pid);
        }
    }

    bool HasMacro(const std::string& name) override { return IsMacroName(name); }

    bool RunMacro(const std::string& name, std::span<const Variant> args, WordError& error) override {
        error = {"", kSource};
        std::string arguments;
        if (!IsMacroName(name) || !MacroArguments(args, arguments)) {
            error.description = "The macro " + name + " cannot be called with these arguments.";
            return false;
        }
        if (!Running()) {
            error.description = "LibreOffice is no longer running.";
            return false;
        }
        platform::SpawnOptions options;
        options.program = m_program.string();
        options.argv = {
            m_program.string(), "--nologo", "--norestore", ProfileArgument(m_writer.Settings().editProfile),
            "macro://./" + std::string(kTemplateMacroModule) + "." + name + "(" + arguments + ")"};
        options.nullStdio = true;
        options.newProcessGroup = true;
        std::string why;
        const auto status = RunToEnd(options, m_writer.Settings().macroTimeout, why);
        if (!status || *status != 0) {
            error.description =
                status ? "soffice failed with exit code " + std::to_string(*status) + " running " + name
                       : why;
            return false;
        }
        return true;
    }

    bool Show(WordError& error) override {
        if (!Running()) {
            error = {"LibreOffice ended before its document was shown.", kSource};
            return false;
        }
        return true;
    }

    void CloseUnsaved() override {
        // The instance holds only the new document from the template: nothing of the user's is lost.
        if (m_pid > 0) {
            m_watch.stop();
            display::StopChild(m_pid, false, kStopGrace);
            m_pid = -1;
        }
    }

    void OnEnded(std::function<void()> ended) override {
        m_ended = std::move(ended);
        m_watch.start();
    }

  private:
    bool Running() {
        CheckExit();
        return m_pid > 0;
    }

    void CheckExit() {
        if (m_pid <= 0 || !platform::PollExit(m_pid)) {
            return;
        }
        m_pid = -1;
        m_watch.stop();
        if (m_ended) {
            // Posted: the callback may end the edit and so delete this document and its timer.
            QMetaObject::invokeMethod(QCoreApplication::instance(), std::exchange(m_ended, nullptr),
                                      Qt::QueuedConnection);
        }
    }

    LibreOfficeWriter& m_writer;
    fs::path m_program;
    pid_t m_pid;
    QTimer m_watch;
    std::function<void()> m_ended;
};

class LibreOfficeApplication : public WordApplication {
  public:
    LibreOfficeApplication(LibreOfficeWriter& writer, fs::path program)
        : m_writer(writer), m_program(std::move(program)) {}

    fs::path UserTemplatesPath() override { return m_writer.Settings().editProfile / "user" / "template"; }

    std::unique_ptr<WordDocument> AddFromTemplate(const fs::path& templatePath, WordError& error) override {
        error = {"", kSource};
        std::string why;
        if (!ReadableRegularFile(templatePath, why)) {
            error.description = "The template " + why + ".";
            return nullptr;
        }
        const fs::path& profile = m_writer.Settings().editProfile;
        std::error_code failed;
        fs::create_directories(profile, failed);
        if (failed) {
            error.description =
                "The profile folder \"" + profile.string() + "\" cannot be made: " + failed.message() + ".";
            return nullptr;
        }
        ::chmod(profile.c_str(), 0700);
        platform::SpawnOptions options;
        options.program = m_program.string();
        options.argv = {m_program.string(),       "--nologo", "--norestore",
                        ProfileArgument(profile), "-n",       templatePath.string()};
        options.nullStdio = true;
        // An instance left open by an earlier edit takes the request over and shows the document, so
        // that instance is the one watched; the process started here only hands it on.
        const pid_t running = m_writer.TakeRunningInstance();
        std::string message;
        auto child = platform::Spawn(options, nullptr, &message);
        if (!child) {
            if (running > 0) {
                m_writer.Adopt(running);
            }
            error.description = "soffice cannot be started: " + message;
            return nullptr;
        }
        if (running <= 0) {
            return std::make_unique<LibreOfficeDocument>(m_writer, m_program, child->pid);
        }
        auto status =
            display::WaitForChild(child->pid, display::Clock::now() + m_writer.Settings().macroTimeout);
        if (!status) {
            status = display::StopChild(child->pid, false, kStopGrace);
        }
        if (*status != 0) {
            m_writer.Adopt(running);
            error.description = "soffice failed with exit code " + std::to_string(*status) +
                                " handing the template to the open LibreOffice";
            return nullptr;
        }
        return std::make_unique<LibreOfficeDocument>(m_writer, m_program, running);
    }

    // The instance is the user's editor now; a failed start closes it through its document.
    void Quit() override {}

  private:
    LibreOfficeWriter& m_writer;
    fs::path m_program;
};

}  // namespace

LibreOfficeSettings LibreOfficeSettings::FromEnvironment() {
    LibreOfficeSettings settings;
    if (const char* program = std::getenv(kOfficeProgramVariable); program != nullptr && *program != '\0') {
        settings.program = program;
    }
    settings.editProfile = platform::UserAppDataFolder() / "Lumetra" / "office-profile";
    return settings;
}

LibreOfficeWriter::LibreOfficeWriter(LibreOfficeSettings settings) : m_settings(std::move(settings)) {
    if (m_settings.tempFolder.empty()) {
        m_settings.tempFolder = platform::TempFolder();
    }
    m_reaper.setInterval(1000);
    connect(&m_reaper, &QTimer::timeout, this, &LibreOfficeWriter::ReapAdopted);
}

LibreOfficeWriter::~LibreOfficeWriter() {
    ReapAdopted();  // what still runs is left to the user and reaped by init once the viewer ends
}

void LibreOfficeWriter::Adopt(pid_t pid) {
    m_adopted.push_back(pid);
    m_reaper.start();
}

pid_t LibreOfficeWriter::TakeRunningInstance() {
    ReapAdopted();
    if (m_adopted.empty()) {
        return -1;
    }
    const pid_t pid = m_adopted.back();
    m_adopted.pop_back();
    return pid;
}

void LibreOfficeWriter::ReapAdopted() {
    std::erase_if(m_adopted, [](pid_t pid) { return platform::PollExit(pid).has_value(); });
    if (m_adopted.empty()) {
        m_reaper.stop();
    }
}

fs::path LibreOfficeWriter::ResolveProgram(std::string& why) const {
    const std::string& program = m_settings.program;
    fs::path found;
    if (program.find('/') != std::string::npos) {
        found = program;
    } else {
        const char* path = std::getenv("PATH");
        std::stringstream folders(path != nullptr ? path : "");
        for (std::string folder; std::getline(folders, folder, ':');) {
            const fs::path candidate = fs::path(folder.empty() ? "." : folder) / program;
            if (::access(candidate.c_str(), X_OK) == 0) {
                found = candidate;
                break;
            }
        }
    }
    if (found.empty() || ::access(found.c_str(), X_OK) != 0) {
        why = "LibreOffice is not installed (no " + program + " to run)";
        return {};
    }
    std::error_code ignored;
    const fs::path real = fs::canonical(found, ignored);
    return real.empty() ? found : real;
}

bool LibreOfficeWriter::Probe(std::string& why) {
    const fs::path program = ResolveProgram(why);
    if (program.empty()) {
        return false;
    }
    // The program folder of the installation soffice belongs to.
    const fs::path folder = program.parent_path();
    if (!Exists(folder / kWriterLibrary)) {
        why = "LibreOffice Writer is not installed beside " + program.string();
        return false;
    }
    const bool desktop = std::any_of(std::begin(kDesktopPlugins), std::end(kDesktopPlugins),
                                     [&](const char* plugin) { return Exists(folder / plugin); });
    if (!desktop) {
        why = "LibreOffice is installed without a desktop interface; documents cannot be edited";
        return false;
    }
    return true;
}

std::unique_ptr<WordApplication> LibreOfficeWriter::Start(std::string& why) {
    if (!Probe(why)) {
        return nullptr;
    }
    return std::make_unique<LibreOfficeApplication>(*this, ResolveProgram(why));
}

bool LibreOfficeWriter::Print(const fs::path& file, std::string& why) {
    const fs::path program = ResolveProgram(why);
    if (program.empty()) {
        return false;
    }
    if (!ReadableRegularFile(file, why)) {
        why = "The document " + why;
        return false;
    }
    if (!CanPrint(program.parent_path(), why)) {
        return false;
    }
    std::string pattern = (m_settings.tempFolder / "lumetra-print-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        why = std::string("No private profile folder can be made: ") + std::strerror(errno);
        return false;
    }
    const fs::path work = pattern;
    platform::SpawnOptions options;
    options.program = program.string();
    options.argv = {program.string(),
                    "--headless",
                    "--invisible",
                    "--nologo",
                    "--norestore",
                    "--nodefault",
                    "--nolockcheck",
                    ProfileArgument(work / "profile"),
                    "-p",
                    fs::absolute(file).string()};
    options.nullStdio = true;
    options.newProcessGroup = true;
    options.workingFolder = work;
    auto status = RunToEnd(options, m_settings.printTimeout, why);
    if (status && *status == kRestartRequested) {
        status = RunToEnd(options, m_settings.printTimeout, why);
    }
    std::error_code ignored;
    fs::remove_all(work, ignored);
    if (!status) {
        return false;
    }
    if (*status != 0) {
        why = "soffice failed to print with exit code " + std::to_string(*status);
        return false;
    }
    return true;
}

}  // namespace viewer
