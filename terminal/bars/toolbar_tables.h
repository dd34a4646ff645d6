// The control's own toolbars as data: the four main toolbars the host application chooses between, the
// small control toolbar, the paging buttons of the status bar, and the text each button types for the user.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace terminal::bars {

// The four main toolbars, then the control toolbar beside them.
enum class ToolbarKind { System, MedicalRecords, Appointment, Mpi, Control };

struct ToolbarButton {
    int32_t id = 0;
    std::string_view tooltip;
};

// Buttons in their order on the bar.
std::span<const ToolbarButton> ToolbarButtons(ToolbarKind bar);

// The main toolbar that the host's toolbar number selects: 1 Medical Records, 2 Appointment, 3 Mpi, any
// other number System.
ToolbarKind MainToolbarFor(int32_t hostNumber);

// The control toolbar's commands.
inline constexpr int32_t kNewWindowButton = 32817;
inline constexpr int32_t kCalculatorButton = 32818;
inline constexpr int32_t kProcessButton = 32819;
inline constexpr int32_t kHelpButton = 32820;
inline constexpr int32_t kEscapeButton = 32821;

// The handler a command id belongs to, by the id ranges of the bars; nullopt for an id of no toolbar.
std::optional<ToolbarKind> ToolbarHandlerOf(int32_t id);

// The fixed host text of a main-toolbar command id, as sent (before any carriage return the chaining rule
// adds); nullopt for an id without one.
std::optional<std::string_view> ToolbarHostText(int32_t id);

// The status bar's paging buttons, from left to right; `fromRight` is how far the button's left edge lies
// from the bar's right edge.
struct StatusButtonSpec {
    int32_t id;
    int32_t fromRight;
    std::string_view windowText;
    std::string_view tooltip;
    int32_t toolId;
    std::string_view hostText;
};
std::span<const StatusButtonSpec> StatusButtons();
// The button of a command id, or null.
const StatusButtonSpec* StatusButtonOf(int32_t id);

}  // namespace terminal::bars
