// The button tables and host texts of the control's toolbars and status bar.
#include "terminal/bars/toolbar_tables.h"

#include <algorithm>
#include <array>
#include <utility>

namespace terminal::bars {

namespace {

constexpr std::array kSystemButtons = {
    ToolbarButton{32783, "New Patient"},
    ToolbarButton{32784, "Display Patient"},
    ToolbarButton{32782, "Edit Patient"},
    ToolbarButton{32785, "Appointments"},
    ToolbarButton{32778, "Encounter Forms"},
    ToolbarButton{32774, "Procedure Entry"},
    ToolbarButton{32772, "Payments"},
    ToolbarButton{32775, "Edit Activity"},
    ToolbarButton{32776, "Edit Payments"},
    ToolbarButton{32788, "Collections"},
    ToolbarButton{32786, "Electronic Chart"},
    ToolbarButton{32777, "View Patient Chart"},
    ToolbarButton{32773, "Clinical History"},
    ToolbarButton{32787, "Managed Care"},
    ToolbarButton{32780, "EMC"},
    ToolbarButton{32781, "ERS"},
    ToolbarButton{32789, "Network Services"},
    ToolbarButton{106, "Phone System"},
};

constexpr std::array kMedicalRecordsButtons = {
    ToolbarButton{32806, "Super Expand"},    ToolbarButton{32807, "Expand"},
    ToolbarButton{32808, "Compress"},        ToolbarButton{32809, "Tab"},
    ToolbarButton{32810, "Repeat"},          ToolbarButton{32811, "Comments"},
    ToolbarButton{32812, "Occurrence Date"},
};

constexpr std::array kAppointmentButtons = {
    ToolbarButton{32791, "Scroll Page Left"},
    ToolbarButton{32792, "Scroll Column Left"},
    ToolbarButton{32793, "Scroll Column Right"},
    ToolbarButton{32794, "Scroll Page Right"},
    ToolbarButton{32795, "Get Patient"},
    ToolbarButton{32796, "Add Patient"},
    ToolbarButton{32803, "Temporary Patient"},
    ToolbarButton{32801, "Doctor Help"},
    ToolbarButton{32797, "Room Help"},
    ToolbarButton{32798, "Mode Help"},
    ToolbarButton{32799, "Multiple Resource Setup"},
    ToolbarButton{32800, "Waiting List"},
    ToolbarButton{32790, "Add to Waiting List"},
    ToolbarButton{32802, "Calendar"},
    ToolbarButton{32804, "Search"},
    ToolbarButton{32805, "Advanced Search"},
};

constexpr std::array kMpiButtons = {
    ToolbarButton{32813, "Navigator"},
    ToolbarButton{32814, "Patient Utilities"},
    ToolbarButton{32816, "Task Viewer"},
    ToolbarButton{32815, "Log Viewer"},
};

constexpr std::array kControlButtons = {
    ToolbarButton{kNewWindowButton, "New Window"}, ToolbarButton{kCalculatorButton, "Calculator"},
    ToolbarButton{kProcessButton, "Process"},      ToolbarButton{kHelpButton, "Help"},
    ToolbarButton{kEscapeButton, "Escape"},
};

// Every id with a text, including 32779, which has no button but keeps its text.
constexpr std::array<std::pair<int32_t, std::string_view>, 46> kHostTexts = {{
    {106, "/phone"},   {32772, "/pay"},  {32773, "/m10"},   {32774, "/pro"},    {32775, "/epro"},
    {32776, "/epay"},  {32777, "/vpc"},  {32778, "/enc"},   {32779, "/ins"},    {32780, "/m18"},
    {32781, "/ers"},   {32782, "/epat"}, {32783, "/pat"},   {32784, "/dis"},    {32785, "/app"},
    {32786, "/m28"},   {32787, "/mcs"},  {32788, "/col"},   {32789, "/tarnns"}, {32790, "LA\r"},
    {32791, "<"},      {32792, "["},     {32793, "]"},      {32794, ">"},       {32795, "G\r"},
    {32796, "/pat\r"}, {32797, "R?\r"},  {32798, "M?\r"},   {32799, "MS\r"},    {32800, "L\r"},
    {32801, "D?\r"},   {32802, "JC\r"},  {32803, "/tem\r"}, {32804, "s\r"},     {32805, "sa\r"},
    {32806, "+"},      {32807, "="},     {32808, "-"},      {32809, "\t"},      {32810, "&\r"},
    {32811, "!\r"},    {32812, "*\r"},   {32813, "/nav"},   {32814, "/patu"},   {32815, "/log"},
    {32816, "/task"},
}};

constexpr std::array kStatusButtons = {
    StatusButtonSpec{32833, 75, "Mouse Scroll Prev", "Previous Item", 4, "\x1b[A"},
    StatusButtonSpec{32832, 58, "Mouse Scroll Next", "Next Item", 3, "\x1b[B"},
    StatusButtonSpec{32831, 41, "Mouse Prev", "Previous Page", 2, "\x1b[$"},
    StatusButtonSpec{32830, 24, "Mouse Next", "Next Page", 1, "\x1b[#"},
};

}  // namespace

std::span<const ToolbarButton> ToolbarButtons(ToolbarKind bar) {
    switch (bar) {
        case ToolbarKind::System:
            return kSystemButtons;
        case ToolbarKind::MedicalRecords:
            return kMedicalRecordsButtons;
        case ToolbarKind::Appointment:
            return kAppointmentButtons;
        case ToolbarKind::Mpi:
            return kMpiButtons;
        case ToolbarKind::Control:
            return kControlButtons;
    }
    return {};
}

ToolbarKind MainToolbarFor(int32_t hostNumber) {
    switch (hostNumber) {
        case 1:
            return ToolbarKind::MedicalRecords;
        case 2:
            return ToolbarKind::Appointment;
        case 3:
            return ToolbarKind::Mpi;
        default:
            return ToolbarKind::System;
    }
}

std::optional<ToolbarKind> ToolbarHandlerOf(int32_t id) {
    if (id == 106 || (id >= 32772 && id <= 32789)) {
        return ToolbarKind::System;
    }
    if (id >= 32790 && id <= 32805) {
        return ToolbarKind::Appointment;
    }
    if (id >= 32806 && id <= 32812) {
        return ToolbarKind::MedicalRecords;
    }
    if (id >= 32813 && id <= 32816) {
        return ToolbarKind::Mpi;
    }
    if (id >= kNewWindowButton && id <= kEscapeButton) {
        return ToolbarKind::Control;
    }
    return std::nullopt;
}

std::optional<std::string_view> ToolbarHostText(int32_t id) {
    const auto it = std::find_if(kHostTexts.begin(), kHostTexts.end(),
                                 [id](const auto& entry) { return entry.first == id; });
    if (it == kHostTexts.end()) {
        return std::nullopt;
    }
    return it->second;
}

std::span<const StatusButtonSpec> StatusButtons() {
    return kStatusButtons;
}

const StatusButtonSpec* StatusButtonOf(int32_t id) {
    for (const StatusButtonSpec& button : kStatusButtons) {
        if (button.id == id) {
            return &button;
        }
    }
    return nullptr;
}

}  // namespace terminal::bars
