// The toolbar and navigation tables and the step that sends their texts to the host.
#include "container/host_commands.h"

#include <array>

#include "container/brantor_app.h"
#include "platform/user_prompt.h"

namespace container {

namespace {

constexpr ToolbarButton kSeparator{};

constexpr std::array kSystemButtons = {
    ToolbarButton{32783, "New Patient", "/pat"},
    ToolbarButton{32784, "Display Patient", "/dis"},
    ToolbarButton{32782, "Edit Patient", "/epat"},
    kSeparator,
    ToolbarButton{32785, "Appointments", "/app"},
    ToolbarButton{32778, "Encounter Forms", "/enc"},
    ToolbarButton{32774, "Procedure Entry", "/pro"},
    ToolbarButton{32772, "Payments", "/pay"},
    kSeparator,
    ToolbarButton{32775, "Edit Activity", "/epro"},
    ToolbarButton{32776, "Edit Payments", "/epay"},
    ToolbarButton{32788, "Collections", "/col"},
    kSeparator,
    ToolbarButton{32786, "Electronic Chart", "/m28"},
    ToolbarButton{32777, "View Patient Chart", "/vpc"},
    ToolbarButton{32773, "Clinical History", "/m10"},
    ToolbarButton{32787, "Managed Care", "/mcs"},
    kSeparator,
    ToolbarButton{32780, "EMC", "/m18"},
    ToolbarButton{32781, "ERS", "/ers"},
    ToolbarButton{32789, "Network Services", "/tarnns"},
    ToolbarButton{32790, "Phone System", "/phone"},
    ToolbarButton{32779, "Collections", "/ins", false},
};

constexpr std::array kControlButtons = {
    ToolbarButton{kNewWindowCommand, "New Window", ""},
    ToolbarButton{kCalculatorCommand, "Calculator", ""},
    kSeparator,
    ToolbarButton{kProcessCommand, "Process", ""},
    ToolbarButton{kHelpCommand, "Help", ""},
    ToolbarButton{kEscapeCommand, "Escape", ""},
};

constexpr std::array kAppointmentButtons = {
    ToolbarButton{32859, "Scroll Page Left", "<"},
    ToolbarButton{32860, "Scroll Column Left", "["},
    ToolbarButton{32861, "Scroll Column Right", "]"},
    ToolbarButton{32862, "Scroll Page Right", ">"},
    kSeparator,
    ToolbarButton{32863, "Get Patient", "G\r"},
    ToolbarButton{32864, "Add Patient", "/pat\r"},
    ToolbarButton{32871, "Temporary Patient", "/tem\r"},
    kSeparator,
    ToolbarButton{32869, "Doctor Help", "D?\r"},
    ToolbarButton{32865, "Room Help", "R?\r"},
    ToolbarButton{32866, "Mode Help", "M?\r"},
    ToolbarButton{32867, "Multiple Resource Setup", "MS\r"},
    kSeparator,
    ToolbarButton{32868, "Waiting List", "L\r"},
    ToolbarButton{32850, "Add to Waiting List", "LA\r"},
    ToolbarButton{32870, "Calendar", "JC\r"},
    kSeparator,
    ToolbarButton{32872, "Search", "s\r"},
    ToolbarButton{32873, "Advanced Search", "sa\r"},
};

constexpr std::array kMedicalRecordsButtons = {
    ToolbarButton{32874, "Super Expand", "+"},
    ToolbarButton{32875, "Expand", "="},
    ToolbarButton{32876, "Compress", "-"},
    kSeparator,
    ToolbarButton{32877, "Tab", "\t"},
    kSeparator,
    ToolbarButton{32878, "Repeat", "&\r"},
    ToolbarButton{32879, "Comments", "!\r"},
    ToolbarButton{32881, "Occurrence Date", "*\r"},
};

constexpr std::array kMpiButtons = {
    ToolbarButton{32912, "Navigator", "/nav"},
    ToolbarButton{32913, "Patient Utilities", "/patu"},
    ToolbarButton{32915, "Task Viewer", "/task"},
    ToolbarButton{32914, "Log Viewer", "/log"},
};

// Indexed by ToolbarId.
const std::array<ToolbarSpec, kToolbarCount> kToolbars = {{
    {ToolbarId::System, "System ToolBar", 32772, 32790, true, true, "Unknown System ToolBar Button",
     kSystemButtons},
    {ToolbarId::Control, "Control ToolBar", 32916, 32920, false, false, "Unknown Control ToolBar Button",
     kControlButtons},
    {ToolbarId::Appointment, "Appointment ToolBar", 32850, 32873, false, false,
     "Unknown Appointment ToolBar Button", kAppointmentButtons},
    {ToolbarId::MedicalRecords, "Medical Records ToolBar", 32874, 32881, false, true,
     "Unknown Medical Records ToolBar Button", kMedicalRecordsButtons},
    {ToolbarId::Mpi, "Mpi ToolBar", 32912, 32915, true, true, "Unknown Mpi ToolBar Button", kMpiButtons},
}};

constexpr std::array<NavButtonSpec, kNavButtonCount> kNavButtons = {{
    {NavButton::PreviousItem, 2833, "Previous Item", "\x1b[A"},
    {NavButton::NextItem, 2832, "Next Item", "\x1b[B"},
    {NavButton::PreviousPage, 2831, "Previous Page", "\x1b[$"},
    {NavButton::NextPage, 2830, "Next Page", "\x1b[#"},
}};

const ToolbarButton* FindButton(const ToolbarSpec& bar, int32_t id) {
    for (const ToolbarButton& button : bar.buttons) {
        if (button.id != 0 && button.id == id) {
            return &button;
        }
    }
    return nullptr;
}

// The command of a host-screen bar's button; nullopt for an id without an entry.
std::optional<HostCommand> CommandOf(const ToolbarSpec& bar, int32_t id) {
    const ToolbarButton* button = FindButton(bar, id);
    if (button == nullptr) {
        return std::nullopt;
    }
    HostCommand command;
    command.text = std::string(button->text);
    if (bar.appendReturn) {
        command.text += '\r';
    }
    command.toolbarFlag = bar.toolbarFlag;
    return command;
}

void OnControlToolbarCommand(CBrantorApp& app, int32_t id) {
    CQuillet* control = app.Control();
    switch (id) {
        case kNewWindowCommand:
            // In direct chain mode the host opens the new window itself.
            if (control != nullptr && !control->DirectChainMode()) {
                control->SetNewWindowChainCommand("/m1\r");
                SendHostCommand(app, "\x1b[K1", false);
            }
            return;
        case kCalculatorCommand:
            if (control != nullptr) {
                control->ShowCalc();
            }
            return;
        case kProcessCommand:
            if (control != nullptr) {
                control->SendProcess();
                control->Activate();
            }
            return;
        case kHelpCommand:
            SendHostCommand(app, "\x1b[H", false);
            return;
        case kEscapeCommand:
            SendHostCommand(app, "\x1b[@", false);
            return;
        default:
            platform::DefaultPrompt().Message(std::string(Toolbar(ToolbarId::Control).unknownMessage),
                                              platform::PromptIcon::Stop);
            return;
    }
}

}  // namespace

const ToolbarSpec& Toolbar(ToolbarId bar) {
    return kToolbars[static_cast<size_t>(bar)];
}

const ToolbarSpec* ToolbarOfCommand(int32_t id) {
    for (const ToolbarSpec& bar : kToolbars) {
        if (id >= bar.firstId && id <= bar.lastId) {
            return &bar;
        }
    }
    return nullptr;
}

std::optional<HostCommand> HostCommandFor(int32_t id) {
    const ToolbarSpec* bar = ToolbarOfCommand(id);
    if (bar == nullptr || bar->bar == ToolbarId::Control) {
        return std::nullopt;
    }
    return CommandOf(*bar, id);
}

void SendHostCommand(CBrantorApp& app, std::string_view text, bool toolbarFlag) {
    CQuillet* control = app.Control();
    if (control == nullptr) {
        return;
    }
    if (app.IsConnected()) {
        if (toolbarFlag) {
            control->SendToolbarCommand(text);
        } else {
            control->Send(text);
        }
    }
    control->Activate();
}

bool OnToolbarCommand(CBrantorApp& app, int32_t id) {
    const ToolbarSpec* bar = ToolbarOfCommand(id);
    if (bar == nullptr) {
        return false;
    }
    if (bar->bar == ToolbarId::Control) {
        OnControlToolbarCommand(app, id);
        return true;
    }
    const std::optional<HostCommand> command = CommandOf(*bar, id);
    if (!command) {
        platform::DefaultPrompt().Message(std::string(bar->unknownMessage), platform::PromptIcon::Stop);
        return true;
    }
    SendHostCommand(app, command->text, command->toolbarFlag);
    return true;
}

std::span<const NavButtonSpec> NavButtons() {
    return kNavButtons;
}

const NavButtonSpec& NavButtonOf(NavButton button) {
    return kNavButtons[static_cast<size_t>(button)];
}

void SendNavigation(CBrantorApp& app, NavButton button) {
    CQuillet* control = app.Control();
    if (control != nullptr && app.IsConnected()) {
        control->Send(NavButtonOf(button).text);
    }
}

std::string GetMessageString(const CBrantorApp& app, int32_t id) {
    if (const ToolbarSpec* bar = ToolbarOfCommand(id)) {
        if (const ToolbarButton* button = FindButton(*bar, id)) {
            return std::string(button->tooltip);
        }
    }
    for (const NavButtonSpec& nav : kNavButtons) {
        if (nav.stringId == id) {
            return std::string(nav.tooltip);
        }
    }
    // The frame's own help commands have prompts of their own, whatever the control's table holds.
    if (id == kHelpContentsCommand) {
        return "Help Contents";
    }
    if (id == kOperatorsGuideCommand) {
        return "View Operator's Guide";
    }
    return app.MenuPrompt(id).value_or(std::string());
}

}  // namespace container
