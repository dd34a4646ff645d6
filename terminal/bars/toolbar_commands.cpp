// Toolbar commands and the buttons shown on the control's toolbars.
#include "terminal/bars/toolbar_commands.h"

namespace terminal::bars {

namespace {

std::string_view UnknownMessage(ToolbarKind bar) {
    switch (bar) {
        case ToolbarKind::Appointment:
            return "Unknown Appointment ToolBar Button";
        case ToolbarKind::MedicalRecords:
            return "Unknown Medical Records ToolBar Button";
        case ToolbarKind::Mpi:
            return "Unknown Mpi ToolBar Button";
        case ToolbarKind::System:
        case ToolbarKind::Control:
            break;
    }
    return "Unknown System ToolBar Button";
}

}  // namespace

// ---- CToolbarSet ----

void CToolbarSet::SwitchMain(int32_t hostNumber) {
    if (!m_simple) {
        m_main = MainToolbarFor(hostNumber);
    }
}

void CToolbarSet::SetSimple(bool simple) {
    if (simple == m_simple) {
        return;
    }
    m_simple = simple;
    if (!simple) {
        m_main = ToolbarKind::System;
    }
}

std::span<const ToolbarButton> CToolbarSet::MainButtons() const {
    if (m_simple) {
        return {};
    }
    return ToolbarButtons(m_main);
}

std::span<const ToolbarButton> CToolbarSet::ControlButtons() const {
    const std::span<const ToolbarButton> all = ToolbarButtons(ToolbarKind::Control);
    // The Simple form drops New Window and Calculator.
    return m_simple ? all.subspan(2) : all;
}

// ---- Commands ----

ToolbarAction MainToolbarAction(ToolbarKind bar, int32_t id, bool chainable) {
    const std::optional<ToolbarKind> handler = ToolbarHandlerOf(id);
    const std::optional<std::string_view> text = ToolbarHostText(id);
    if (bar == ToolbarKind::Control || handler != bar || !text) {
        return {ToolbarAction::Kind::Unknown, std::string(UnknownMessage(bar))};
    }
    switch (bar) {
        case ToolbarKind::Appointment:
        case ToolbarKind::MedicalRecords:
            return {ToolbarAction::Kind::Write, std::string(*text)};
        case ToolbarKind::System:
        case ToolbarKind::Mpi:
            if (chainable) {
                return {ToolbarAction::Kind::Write, std::string(*text) + "\r"};
            }
            return {ToolbarAction::Kind::NewWindow, std::string(*text)};
        case ToolbarKind::Control:
            break;
    }
    return {};
}

bool RunToolbarCommand(int32_t id, ToolbarTarget& target) {
    const std::optional<ToolbarKind> handler = ToolbarHandlerOf(id);
    if (!handler) {
        return false;
    }
    if (target.Closing()) {
        return true;
    }
    if (*handler != ToolbarKind::Control) {
        target.HideFieldEditor();
        const ToolbarAction action = MainToolbarAction(*handler, id, target.Chainable());
        switch (action.kind) {
            case ToolbarAction::Kind::Write:
                target.WriteChannel0(action.text);
                break;
            case ToolbarAction::Kind::NewWindow:
                target.OpenNewWindow(action.text);
                break;
            case ToolbarAction::Kind::Unknown:
                target.ShowStop(action.text);
                break;
        }
        return true;
    }
    switch (id) {
        case kNewWindowButton:
            target.NewWindow();
            break;
        case kCalculatorButton:
            target.ShowCalculator();
            break;
        case kProcessButton:
            target.SendProcess();
            break;
        case kHelpButton:
            target.HideFieldEditor();
            target.WriteChannel0("\x1b[H");
            break;
        case kEscapeButton:
            target.HideFieldEditor();
            target.WriteChannel0("\x1b[@");
            break;
        default:
            break;
    }
    return true;
}

bool RunStatusBarCommand(int32_t id, ToolbarTarget& target) {
    const StatusButtonSpec* button = StatusButtonOf(id);
    if (button == nullptr) {
        return false;
    }
    target.WriteChannel0(button->hostText);
    return true;
}

}  // namespace terminal::bars
