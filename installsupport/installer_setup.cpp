// The installer's command line, its unit file and the systemctl steps.
#include "installsupport/installer_setup.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <iostream>

#include "installsupport/unit_text.h"
#include "platform/atomic_file.h"
#include "platform/known_folders.h"
#include "platform/spawn.h"

namespace installer {
namespace {

struct Word {
    const char* text;
    Action action;
};
constexpr Word kWords[] = {{"install", Action::Install}, {"remove", Action::Remove},
                           {"stop", Action::Stop},       {"start", Action::Start},
                           {"debug", Action::Debug},     {"service", Action::Service}};

int Systemctl(const std::vector<std::string>& args) {
    platform::SpawnOptions options;
    options.program = "systemctl";
    options.argv = {"systemctl"};
    options.argv.insert(options.argv.end(), args.begin(), args.end());
    std::string message;
    auto child = platform::Spawn(options, nullptr, &message);
    if (!child) {
        std::cerr << "installer: systemctl: " << message << "\n";
        return 1;
    }
    const int status = platform::WaitForExit(child->pid);
    if (status != 0) {
        std::cerr << "installer: systemctl " << args.front() << " failed with " << status << "\n";
    }
    return status < 0 ? 1 : status;
}

// A path as a unit file's value: systemd expands '%' specifiers everywhere, so they are doubled.
std::string UnitPathValue(const std::string& path) {
    std::string value;
    for (const char c : path) {
        value += c;
        if (c == '%') {
            value += '%';
        }
    }
    return value;
}

// The program as ExecStart's first word: quoted when it holds anything but plain path characters, since
// systemd splits the line at blanks and expands '%' in it ('$' only in the arguments).
std::string ExecPathValue(const std::string& path) {
    const bool plain = std::all_of(path.begin(), path.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || std::strchr("/._+-:@,", c) != nullptr;
    });
    if (plain) {
        return path;
    }
    std::string value = "\"";
    for (const char c : path) {
        if (c == '\\' || c == '"') {
            value += '\\';
        } else if (c == '%') {
            value += c;
        }
        value += c;
    }
    return value + "\"";
}

bool HasControlCharacter(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

std::filesystem::path StateFolder() {
    return platform::CommonAppDataFolder() / "carrowline";
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
    CommandLine line;
    line.showUsage = args.size() < 2;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.size() < 2 || (arg[0] != '-' && arg[0] != '/')) {
            continue;
        }
        const std::string word = arg.substr(1);
        constexpr std::string_view kSocket = "socket:";
        if (word.size() > kSocket.size() && strncasecmp(word.c_str(), kSocket.data(), kSocket.size()) == 0) {
            line.socketPath = word.substr(kSocket.size());
            continue;
        }
        for (const auto& w : kWords) {
            if (strcasecmp(word.c_str(), w.text) == 0) {
                line.actions.push_back(w.action);
            }
        }
    }
    return line;
}

std::string UsageText() {
    return "Carrowline Installer Usage: installer [/install] [/remove] [/service] [/start] [/stop] \n"
           "   /install\t\tInstalls the service in the SCM's database.\n"
           "   /start\t\tStarts the service.\n"
           "   /stop\t\tStops the service.\n"
           "   /remove\tRemoves the service from the SCM's database.\n"
           "   /service\t\tRuns the process as a service (should only be set in the SCM's database).";
}

std::string UnitText(const std::filesystem::path& program) {
    std::string text = kUnitTemplate;
    const auto fill = [&](std::string_view placeholder, const std::string& value) {
        for (size_t at = text.find(placeholder); at != std::string::npos; at = text.find(placeholder, at)) {
            text.replace(at, placeholder.size(), value);
            at += value.size();
        }
    };
    fill("@PROGRAM@", ExecPathValue(program.string()));
    fill("@STATE_FOLDER@", UnitPathValue(StateFolder().string()));
    return text;
}

std::filesystem::path UnitPath() {
    return platform::CarrowlineRoot() / "etc/systemd/system" / std::string(kUnitName);
}

int InstallService(const std::filesystem::path& program) {
    const auto unit = UnitPath();
    std::error_code ec;
    std::filesystem::create_directories(unit.parent_path(), ec);
    // A line break would end the value early and leave a unit that starts something else, or nothing.
    if (HasControlCharacter(program.string()) || HasControlCharacter(StateFolder().string())) {
        std::cerr << "installer: cannot install from " << program << ": a control character in the path\n";
        return 1;
    }
    std::filesystem::create_directories(StateFolder(), ec);
    if (const auto err = platform::WriteFileAtomically(unit, UnitText(program), {0644, true})) {
        std::cerr << "installer: cannot write " << unit << ": " << err.message() << "\n";
        return 1;
    }
    if (const int rc = Systemctl({"daemon-reload"})) {
        std::filesystem::remove(unit, ec);
        return rc;
    }
    if (const int rc = Systemctl({"enable", std::string(kUnitName)})) {
        // A unit nobody enabled is not left behind.
        std::filesystem::remove(unit, ec);
        Systemctl({"daemon-reload"});
        return rc;
    }
    return 0;
}

int RemoveService() {
    const int disabled = Systemctl({"disable", std::string(kUnitName)});
    std::error_code ec;
    std::filesystem::remove(UnitPath(), ec);
    const int reloaded = Systemctl({"daemon-reload"});
    return disabled ? disabled : reloaded;
}

int StartService() {
    return Systemctl({"start", std::string(kUnitName)});
}

int StopService() {
    return Systemctl({"stop", std::string(kUnitName)});
}

}  // namespace installer
