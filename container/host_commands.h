// The frame's host commands without their windows: what every toolbar button and navigation button sends,
// through which of the control's members, and the prompt text of a command id.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace container {

class CBrantorApp;

// The frame's help commands (menu ids and their prompt strings).
inline constexpr int32_t kHelpContentsCommand = 2840;
inline constexpr int32_t kOperatorsGuideCommand = 2841;

enum class ToolbarId { System, Control, Appointment, MedicalRecords, Mpi };
inline constexpr size_t kToolbarCount = 5;

// One place on a bar; an id of 0 is a separator. `onBar` is false for a command that is handled but has
// no button.
struct ToolbarButton {
    int32_t id = 0;
    std::string_view tooltip;
    std::string_view text;
    bool onBar = true;
};

struct ToolbarSpec {
    ToolbarId bar;
    std::string_view title;
    int32_t firstId;
    int32_t lastId;
    bool appendReturn;  // the text goes with a carriage return after it
    bool toolbarFlag;   // SendToolbarCommand rather than Send
    std::string_view unknownMessage;
    std::span<const ToolbarButton> buttons;
};

const ToolbarSpec& Toolbar(ToolbarId bar);
// The bar whose command range holds `id`, or null.
const ToolbarSpec* ToolbarOfCommand(int32_t id);

// The Control bar's commands.
inline constexpr int32_t kNewWindowCommand = 32916;
inline constexpr int32_t kCalculatorCommand = 32917;
inline constexpr int32_t kProcessCommand = 32918;
inline constexpr int32_t kHelpCommand = 32919;
inline constexpr int32_t kEscapeCommand = 32920;

struct HostCommand {
    std::string text;
    bool toolbarFlag = false;
    bool operator==(const HostCommand&) const = default;
};
// What a host-screen button sends; nullopt for the Control bar and for ids without an entry.
std::optional<HostCommand> HostCommandFor(int32_t id);

// The common send step: the text to the host while connected, then the control gets the focus back
// whether connected or not.
void SendHostCommand(CBrantorApp& app, std::string_view text, bool toolbarFlag);
// Runs a toolbar command; false when `id` is in no toolbar's range. An id in a range without an entry
// shows that bar's "Unknown ..." message.
bool OnToolbarCommand(CBrantorApp& app, int32_t id);

enum class NavButton { PreviousItem, NextItem, PreviousPage, NextPage };
inline constexpr size_t kNavButtonCount = 4;

struct NavButtonSpec {
    NavButton button;
    int32_t stringId;
    std::string_view tooltip;
    std::string_view text;
};
// In their order on the bar, which is also the order a held press looks for the pressed one.
std::span<const NavButtonSpec> NavButtons();
const NavButtonSpec& NavButtonOf(NavButton button);
// The button's text to the host, only while connected.
void SendNavigation(CBrantorApp& app, NavButton button);

// The prompt of a command id: the frame's own text, else the control's menu table; empty when neither.
std::string GetMessageString(const CBrantorApp& app, int32_t id);

}  // namespace container
