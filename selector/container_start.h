// The start decision for a practice: the billing guard, the hand-over block, the container's argv and
// folder, and what the user is told. The process start itself goes through a Spawner so tests record it.
#pragma once

#include <sys/types.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/spawn.h"
#include "practice/custom_menu.h"
#include "practice/practice.h"

namespace selector {

class Spawner {
  public:
    virtual ~Spawner() = default;
    // Starts the program and takes care of reaping it; false with a sentence in `message` on failure.
    virtual bool Start(const platform::SpawnOptions& options, std::string& message) = 0;
};

// Starts the child and reaps it from a thread of its own, so the selector never waits for it.
class ReapingSpawner : public Spawner {
  public:
    bool Start(const platform::SpawnOptions& options, std::string& message) override;
};

struct StartRequest {
    std::optional<std::string> command;
    int32_t runCommand = 0;
};

enum class StartOutcome { NoSelection, BillingRefused, BlockFailed, FolderRefused, SpawnFailed, Started };

struct StartResult {
    StartOutcome outcome = StartOutcome::Started;
    std::string message;  // for the user; empty when started
    bool stopIcon = false;
};

// A billing-service practice starts only for commands beginning with "pontrel" or "install", any case.
bool PassesBillingGuard(const practice::CPractice& practice, const std::optional<std::string>& command);

// `selected` is null when no row is selected. `simpleStart` belongs to this one start and is cleared.
StartResult StartContainer(const practice::CPractice* selected, const StartRequest& request,
                           bool& simpleStart, Spawner& spawner);

// The Administration submenu.
struct AdminCommand {
    int id;
    const char* text;
    const char* command;
    bool simple;
};
inline constexpr std::array<AdminCommand, 6> kAdminCommands{{
    {32796, "&Install", "install -t%T -p%P cwd", true},
    {32797, "Install S&hare", "install -t%T -p%P share cwd", true},
    {32798, "Install &Su", "install -t%T -p%P su cwd", true},
    {32799, "Install &Update", "install -t%T -p%P update cwd", true},
    {32800, "P&ontrel", "pontrel -t%T -p%P", true},
    {32802, "Sorel U&pdate", "sorel -t%T -p%P update", false},
}};

// The Run dialog's OK: the trimmed text and whether it starts "-simple" (case-sensitive words), or the
// refusal of an empty text.
struct RunCheck {
    bool accepted = false;
    std::string command;
    bool simple = false;
};
RunCheck CheckRunCommand(std::string_view text);
inline constexpr const char* kRunHint =
    "Enter a command to run in the edit box below.\n\nExamples:\n    dload -i\n    dload -#1 demo "
    "hello.dmc\n    install -t%T -p%P cwd";

// The selector's default custom menu, titles with their "&".
void AddDefaultCustomMenu(practice::CCustomMenu& menu);

}  // namespace selector
