// Starting the container for the selected practice. Only the block's fd reaches the child; the selector's
// copy of the mapping closes when this returns, the child's keeps the block alive.

#include "selector/container_start.h"

#include <algorithm>
#include <cctype>
#include <thread>

#include "platform/host_path.h"
#include "platform/registry.h"
#include "practice/memory_mapped_file.h"

namespace selector {
namespace {

bool StartsWithNoCase(std::string_view text, std::string_view word) {
    return text.size() >= word.size() &&
           std::equal(word.begin(), word.end(), text.begin(), [](char w, char t) {
               return std::tolower(static_cast<unsigned char>(w)) ==
                      std::tolower(static_cast<unsigned char>(t));
           });
}

// A drive letter or a backslash marks a folder in the host's form.
bool IsWindowsPath(std::string_view path) {
    const bool drive =
        path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
    return drive || path.find('\\') != std::string_view::npos;
}

std::optional<std::filesystem::path> LocalFolder(const std::string& folder, std::string& why) {
    if (folder.empty() || !IsWindowsPath(folder))
        return std::filesystem::path(folder);
    return platform::HostPath(platform::Registry::Default()).Translate(folder, &why);
}

}  // namespace

bool ReapingSpawner::Start(const platform::SpawnOptions& options, std::string& message) {
    int32_t error = 0;
    std::optional<platform::SpawnedProcess> child = platform::Spawn(options, &error, &message);
    if (!child)
        return false;
    std::thread([pid = child->pid] { platform::WaitForExit(pid); }).detach();
    return true;
}

bool PassesBillingGuard(const practice::CPractice& practice, const std::optional<std::string>& command) {
    if (practice.m_BillServID <= 0)
        return true;
    return command && (StartsWithNoCase(*command, "pontrel") || StartsWithNoCase(*command, "install"));
}

StartResult StartContainer(const practice::CPractice* selected, const StartRequest& request,
                           bool& simpleStart, Spawner& spawner) {
    const bool simple = simpleStart;
    simpleStart = false;
    if (!selected)
        return {StartOutcome::NoSelection, "A practice must be selected before pressing \"Connect\"", false};
    if (!PassesBillingGuard(*selected, request.command))
        return {
            StartOutcome::BillingRefused,
            "This is a billing service practice and cannot be\nstarted here.  See documentation for details.",
            false};

    practice::CPracticeConn conn(*selected);
    if (request.command) {
        conn.m_Command = *request.command;
        conn.m_RunCommand = request.runCommand;
    }
    std::string error;
    std::optional<platform::SharedMapping> block = practice::WritePracticeConnBlock(conn, &error);
    if (!block)
        return {StartOutcome::BlockFailed,
                "The practice cannot be handed to the container: " + (error.empty() ? "no block" : error),
                true};

    const bool local = selected->m_ConnType == 0;
    platform::SpawnOptions options;
    std::string prefix;
    if (local) {
        std::string why;
        std::optional<std::filesystem::path> progs = LocalFolder(selected->m_SorelProgs, why);
        std::optional<std::filesystem::path> data = LocalFolder(selected->m_SorelData, why);
        if (!progs || !data)
            return {StartOutcome::FolderRefused, "The practice's folder cannot be used: " + why, true};
        prefix = progs->string() + "/";
        options.workingFolder = *data;
    }
    options.program = prefix + "brantor";
    const std::string fd = std::to_string(static_cast<long>(block->Fd()));
    options.argv = {options.program, "-X", fd};
    if (simple)
        options.argv.push_back("-simple");
    options.inheritFds = {block->Fd()};

    std::string message;
    if (!spawner.Start(options, message)) {
        std::string line = options.argv[0];
        for (size_t i = 1; i < options.argv.size(); ++i)
            line += " " + options.argv[i];
        return {StartOutcome::SpawnFailed, "Error Starting \"" + line + "\"", true};
    }
    return {};
}

RunCheck CheckRunCommand(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t");
    RunCheck check;
    check.accepted = true;
    check.command = std::string(text.substr(first, last - first + 1));
    for (std::string_view word : {"install", "pontrel", "cleanlog"})
        if (check.command.find(word) != std::string::npos)
            check.simple = true;
    return check;
}

void AddDefaultCustomMenu(practice::CCustomMenu& menu) {
    static constexpr std::array<std::pair<const char*, const char*>, 16> kItems{{
        {"&Appointments", "/app"},
        {"D&isplay Patient", "/dis"},
        {"&Edit Patient", "/epat"},
        {"Edit &Payment", "/epay"},
        {"Edit Proced&ure", "/epro"},
        {"&Menu", "/m1"},
        {"&New Patient", "/pat"},
        {"Paymen&t Entry", "/pay"},
        {"Procedure Entr&y", "/pro"},
        {"-SEPARATOR-", ""},
        {"Clinical Tasks", "/task"},
        {"Imaging", "/img"},
        {"Vellumo", "/ode"},
        {"Phone System", "/phone"},
        {"P&rescription System", "/rxw"},
        {"&View Patient Chart", "/vpc"},
    }};
    for (const auto& [title, action] : kItems)
        menu.AddItem(title, action, 0);
}

}  // namespace selector
