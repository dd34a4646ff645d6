// Printing: PrintOI's three ways (the engine's own dialogs, the host's printer device, a printer by name),
// the engine's setup and print-options dialogs, the printer properties kept in the control, and the abort
// callback that asks the control of its own job.
#include <cmath>

#include "docview/control_strings.h"
#include "docview/fennick_members.h"
#include "docview/member_entries.h"
#include "docview/qelctrl.h"
#include "platform/automation/handle_table.h"

namespace docview {

namespace automation = platform::automation;
using automation::InvokeKind;
using automation::ParamSpec;
using automation::Variant;
using automation::VarType;

namespace {

constexpr int32_t kErrPrinting = 16652;
constexpr int32_t kErrRuntimeOnly = 16653;
constexpr uint32_t kEngineTypeUnprintable = 6;
constexpr size_t kPrinterTextMax = 127;

}  // namespace

bool Cqelctrl::BindPrintMember(const MemberSpec& member) {
    MemberEntries entries(Table(), member);
    if (member.name == "PrintOI") {
        entries.Method(
            {ParamSpec(VarType::I4), ParamSpec(VarType::I4), ParamSpec(VarType::I4), ParamSpec(VarType::I4)},
            VarType::Empty, [this](std::span<const Variant> args, Variant&) {
                PrintOI(args[0].AsI4(), args[1].AsI4(), args[2].AsI4(), args[3].AsI4());
                return automation::S_OK;
            });
    } else if (member.name == "PrintSetup") {
        // A cancelled setup is no error: the call's result says so.
        entries.Method({}, VarType::Empty, [this](std::span<const Variant>, Variant&) {
            if (!RequireView())
                return automation::S_OK;
            return m_view->Request(LYDVW_R_PRINTER_SETUP) != 0 ? automation::S_FALSE : automation::S_OK;
        });
    } else if (member.name == "PrintOptions") {
        entries.Method({}, VarType::I2, [this](std::span<const Variant>, Variant& result) {
            result = Variant::I2(0);
            if (!RequireView())
                return automation::S_OK;
            if (m_view->Request(LYDVW_R_OPTIONS_DIALOG, 0, uint32_t{LYDVW_DLG_PRINT}) == 0)
                return automation::S_OK;
            result = Variant::I2(LYDVW_E_CANCELLED);
            return automation::S_FALSE;
        });
    } else if (member.name == "PrinterName" || member.name == "PrinterPort" ||
               member.name == "PrinterDriver") {
        std::string& text = member.name == "PrinterName"   ? m_printerName
                            : member.name == "PrinterPort" ? m_printerPort
                                                           : m_printerDriver;
        entries.Get(VarType::Bstr, [&text] { return Variant::Bstr(text); });
        // The engine's fields hold 128 bytes with the terminator.
        entries.Put(VarType::Bstr,
                    [&text](const Variant& value) { text = value.AsBstr().substr(0, kPrinterTextMax); });
    } else if (member.name == "PrinterDC") {
        entries.Get(VarType::I4, [this] { return Variant::I4(static_cast<int32_t>(m_printerDC)); });
        entries.Put(VarType::I4, [this](const Variant& value) {
            // A device context only exists while the host runs: the container's designer may not keep one.
            if (m_window && !m_window->AmbientUserMode()) {
                ReportError(2, kErrRuntimeOnly);
                return;
            }
            m_printerDC = static_cast<uint32_t>(value.AsI4());
        });
    } else {
        return false;
    }
    return true;
}

void Cqelctrl::SendPrintOptions() {
    for (std::string_view member : {"WhatToPrint", "PrintStartPage", "PrintEndPage", "UseDocPageSettings"})
        m_options.Put(member, m_options.Get(member), m_view.get());
    m_options.PutPrintJobName(m_options.PrintJobName(), m_view.get());
}

void Cqelctrl::PrintOI(int32_t setupDialog, int32_t flags, int32_t abortDialog, int32_t startDocDone) {
    if (!RequireView())
        return;
    LydvwEngineName engine{};
    engine.size = sizeof engine;
    if (m_view->Request(LYDVW_R_ENGINE_NAME, engine) == 0 && engine.type == kEngineTypeUnprintable) {
        ReportError(2, kErrPrinting);
        return;
    }
    SendPrintOptions();
    const uint32_t dialogOption = (static_cast<uint32_t>(flags) & LYDVW_PRINT_DIALOG_OPTION) ? 1u : 0u;
    int64_t answer = 0;
    if (startDocDone == 0 && setupDialog != 0 && abortDialog != 0) {
        m_view->SetOption(LYDVW_OPT_PRINT_DIALOGS, &dialogOption, sizeof dialogOption);
        answer = m_view->Request(LYDVW_R_PRINT_DIALOG);
    } else {
        // Held for the length of the print, whatever the host does with its handle meanwhile.
        const std::shared_ptr<void> device =
            automation::HandleTable::Process().Find(m_printerDC, automation::HandleKind::Printer);
        if ((flags & LYDVW_PRINT_TO_DEVICE) && !device) {
            ReportError(2, kErrBadParameter);
            return;
        }
        LydvwPrint record{};
        record.size = sizeof record;
        record.flags = static_cast<uint32_t>(flags);
        record.window = reinterpret_cast<uint64_t>(m_window ? m_window->Widget() : nullptr);
        record.printer_dc = m_printerDC;
        record.printer_device = reinterpret_cast<uint64_t>(device.get());
        CopyBounded(record.printer_name, m_printerName);
        CopyBounded(record.printer_port, m_printerPort);
        CopyBounded(record.printer_driver, m_printerDriver);
        record.selection = m_options.Get("WhatToPrint") == LYDVW_WHAT_SELECTION ? 1u : 0u;
        record.setup_dialog = static_cast<uint32_t>(setupDialog);
        record.abort_dialog = static_cast<uint32_t>(abortDialog);
        record.dialog_option = dialogOption;
        record.start_doc_done = static_cast<uint32_t>(startDocDone);
        CopyBounded(record.job_name, "Job");
        for (int i = 0; i < 4; ++i)
            record.margins[i] = static_cast<int32_t>(std::lround(m_options.MarginTwips(i)));
        const LydvwFontRecord& font = m_options.Font(2);
        CopyBounded(record.font_face, ReadBounded(font.face));
        record.font_half_points = font.half_points;
        if (flags & LYDVW_PRINT_ABORT_CALLBACK) {
            record.abort = reinterpret_cast<uint64_t>(&Cqelctrl::AbortThunk);
            record.abort_context = reinterpret_cast<uint64_t>(this);
        }
        record.collate = static_cast<uint32_t>(m_options.Get("PrintCollate"));
        record.copies = static_cast<int16_t>(m_options.Get("PrintCopies"));
        answer = m_view->Request(LYDVW_R_PRINT, record);
    }
    if (answer == LYDVW_E_PRINT)
        ReportError(2, kErrPrinting);
    else if (answer != 0)
        ReportError(2, static_cast<int32_t>(answer));
}

int32_t Cqelctrl::AbortThunk(void* context, uint32_t dc, int32_t error) {
    // The record names the control that made it, so two controls printing at once each hear of their own job.
    auto* control = static_cast<Cqelctrl*>(context);
    int32_t proceed = 1;
    if (control) {
        control->Fire(fennick::Event::PrinterAbort,
                      {Variant::I4(static_cast<int32_t>(dc)), Variant::I4(error), Variant::RefI4(&proceed)});
    }
    return proceed;
}

}  // namespace docview
