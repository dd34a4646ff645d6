// The control's printing members on an in-process scripted engine that keeps what it is sent: PrintOI's
// three ways and its print record, its errors, the abort callback reaching the control of its own job, the
// setup and print-options dialogs and the printer properties.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "docview/fennick_contract.h"
#include "docview/options.h"
#include "docview/qelctrl.h"
#include "platform/automation/handle_table.h"
#include "platform/user_prompt.h"
#include "testsupport/test_support.h"

namespace docview {
namespace {

namespace automation = platform::automation;
using automation::DISPID;
using automation::HandleKind;
using automation::InvokeKind;
using automation::Variant;

// ---- The engine: keeps requests, the last print record and the options set ----

struct PrintEngine {
    std::vector<uint32_t> requests;
    std::map<uint32_t, std::string> options;  // option id -> the data's first bytes (up to 4, or text)
    std::map<uint32_t, int64_t> answers;
    uint32_t engineType = LYDVW_TYPE_PDF;
    std::optional<LydvwPrint> record;
    // Whether 2064 asks the record's abort callback, and what it answered.
    bool callAbort = false;
    std::vector<int32_t> abortAnswers;
    uint64_t dialog = 0;  // lParam of the last options dialog
};

PrintEngine* g_engine = nullptr;
alignas(8) char g_viewStorage[8];

uint32_t Abi() {
    return LYDVW_ABI_VERSION;
}
LydvwView* Create(void* parent, LydvwNotifyFn, void*) {
    return parent ? reinterpret_cast<LydvwView*>(g_viewStorage) : nullptr;
}
int64_t RequestFn(LydvwView*, uint32_t request, uint64_t, uint64_t lparam) {
    PrintEngine& engine = *g_engine;
    engine.requests.push_back(request);
    if (request == LYDVW_R_SET_OPTION) {
        const auto* block = reinterpret_cast<const LydvwOptionBlock*>(lparam);
        const auto* data = reinterpret_cast<const char*>(block->data);
        // The print options this test looks at: numbers by their width, the job name as its text.
        if (block->option == 0x5277B)
            engine.options[block->option] = data;
        else if (block->option >= 0x52775 && block->option <= 0x52782)
            engine.options[block->option].assign(data, OptionDataSize(block->option));
    } else if (request == LYDVW_R_OPTIONS_DIALOG) {
        engine.dialog = lparam;
    } else if (request == LYDVW_R_ENGINE_NAME) {
        reinterpret_cast<LydvwEngineName*>(lparam)->type = engine.engineType;
    } else if (request == LYDVW_R_PRINT) {
        const auto* record = reinterpret_cast<const LydvwPrint*>(lparam);
        engine.record = *record;
        if (engine.callAbort && record->abort) {
            const auto abort = reinterpret_cast<LydvwAbortFn>(record->abort);
            engine.abortAnswers.push_back(
                abort(reinterpret_cast<void*>(record->abort_context), record->printer_dc, 0));
            if (engine.abortAnswers.back() == 0)
                return LYDVW_E_ABORTED;
        }
    }
    auto it = engine.answers.find(request);
    return it == engine.answers.end() ? 0 : it->second;
}
void* WidgetFn(LydvwView*) {
    return nullptr;
}
void DestroyFn(LydvwView*) {}
void FreeFn(void*) {}
void SetStat(LydvwStatFn, LydvwView*, int32_t) {}

// ---- A window whose site may say design mode, and a sink that answers PrinterAbort ----

class SiteWindow : public ControlWindow {
  public:
    SiteWindow(Cqelctrl& control, const bool& userMode) : m_control(&control), m_userMode(userMode) {}
    ~SiteWindow() override {
        if (m_control)
            m_control->OnDestroy();
    }
    void* Widget() override { return this; }
    void Post(std::function<void()>) override {}
    void Update() override {}
    void PlaceView(void*) override {}
    void RefreshView(void*) override {}
    void FocusView(void*) override {}
    bool AmbientUserMode() const override { return m_userMode; }
    void Dispose() override {
        m_control = nullptr;
        delete this;
    }

  private:
    Cqelctrl* m_control;
    const bool& m_userMode;
};

class AbortSink : public automation::IDispatch {
  public:
    automation::HRESULT GetIDsOfNames(std::span<const std::string_view>, std::span<DISPID>) override {
        return automation::DISP_E_UNKNOWNNAME;
    }
    automation::HRESULT Invoke(DISPID dispid, InvokeKind, std::span<const Variant> args, Variant*,
                               automation::InvokeError*) override {
        events.push_back(dispid);
        if (dispid == static_cast<DISPID>(fennick::Event::PrinterAbort)) {
            std::vector<int32_t> values;
            for (const Variant& arg : args) {
                if (int32_t* out = arg.AsRefI4()) {
                    values.push_back(*out);
                    *out = proceed;
                } else {
                    values.push_back(arg.AsI4());
                }
            }
            aborts.push_back(values);
        }
        return automation::S_OK;
    }
    std::vector<DISPID> events;
    std::vector<std::vector<int32_t>> aborts;  // each call's arguments as the sink saw them
    int32_t proceed = 1;
};

class ControlPrintTest : public testsupport::RegistryTest {
  protected:
    void SetUp() override {
        RegistryTest::SetUp();
        g_engine = &m_engine;
        m_prompt = std::make_unique<platform::ScopedDefaultPrompt>(m_prompts);
        m_control = Make(m_sink);
    }
    void TearDown() override {
        m_control.reset();
        m_prompt.reset();
        g_engine = nullptr;
        RegistryTest::TearDown();
    }

    std::shared_ptr<Cqelctrl> Make(const std::shared_ptr<AbortSink>& sink) {
        ControlSite site;
        site.makeWindow = [this](Cqelctrl& control) { return new SiteWindow(control, m_userMode); };
        site.loadEngine = [](EngineApi& api) {
            api = EngineApi{Abi, Create, RequestFn, WidgetFn, DestroyFn, FreeFn, SetStat};
            return 0;
        };
        site.exePath = "/opt/hosts/bin/viewer";
        std::shared_ptr<Cqelctrl> control = CreateQelctrl(std::move(site));
        std::shared_ptr<automation::ConnectionPoint> point;
        control->FindConnectionPoint(fennick::kDqelctrlIid, point);
        uint32_t cookie = 0;
        point->Advise(sink, cookie);
        return control;
    }

    automation::HRESULT Invoke(Cqelctrl& control, std::string_view name, InvokeKind kind,
                               std::vector<Variant> args, Variant* result = nullptr) {
        DISPID id = automation::DISPID_UNKNOWN;
        EXPECT_EQ(control.GetIDOfName(name, id), automation::S_OK) << name;
        return control.Invoke(id, kind, args, result, nullptr);
    }
    void Put(std::string_view name, Variant value) {
        EXPECT_EQ(Invoke(*m_control, name, InvokeKind::PropertyPut, {std::move(value)}), automation::S_OK)
            << name;
    }
    Variant Get(std::string_view name) {
        Variant result;
        EXPECT_EQ(Invoke(*m_control, name, InvokeKind::PropertyGet, {}, &result), automation::S_OK) << name;
        return result;
    }
    void PrintOI(int32_t setup, int32_t flags, int32_t abortDialog, int32_t startDocDone,
                 Cqelctrl* control = nullptr) {
        EXPECT_EQ(Invoke(control ? *control : *m_control, "PrintOI", InvokeKind::Method,
                         {Variant::I4(setup), Variant::I4(flags), Variant::I4(abortDialog),
                          Variant::I4(startDocDone)}),
                  automation::S_OK);
    }
    int Sent(uint32_t request) const {
        return static_cast<int>(std::count(m_engine.requests.begin(), m_engine.requests.end(), request));
    }
    int32_t ErrorCode() { return Get("ErrorCode").AsI4(); }

    PrintEngine m_engine;
    bool m_userMode = true;
    platform::RecordingPrompt m_prompts;
    std::unique_ptr<platform::ScopedDefaultPrompt> m_prompt;
    std::shared_ptr<AbortSink> m_sink = std::make_shared<AbortSink>();
    std::shared_ptr<Cqelctrl> m_control;
};

constexpr DISPID kErrorEvent = static_cast<DISPID>(fennick::Event::Error);

// ---- PrintOI's ways ----

TEST_F(ControlPrintTest, TheEnginesOwnDialogsOnlyWhenBothDialogsAreAskedAndNoDocumentWasStarted) {
    ASSERT_NE(m_control->Widget(), nullptr);
    struct Row {
        int32_t setup, flags, abortDialog, startDocDone;
        bool engineDialogs;
    };
    const Row rows[] = {{1, 0, 1, 0, true},  {1, 0x20, 1, 0, true}, {-1, 0, 2, 0, true},
                        {1, 0, 1, 1, false}, {0, 0, 1, 0, false},   {1, 0, 0, 0, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message()
                     << row.setup << "," << row.flags << "," << row.abortDialog << "," << row.startDocDone);
        m_engine.requests.clear();
        m_engine.options.erase(LYDVW_OPT_PRINT_DIALOGS);
        m_engine.record.reset();
        PrintOI(row.setup, row.flags, row.abortDialog, row.startDocDone);
        EXPECT_EQ(Sent(LYDVW_R_PRINT_DIALOG), row.engineDialogs ? 1 : 0);
        EXPECT_EQ(Sent(LYDVW_R_PRINT), row.engineDialogs ? 0 : 1);
        EXPECT_EQ(m_engine.record.has_value(), !row.engineDialogs);
        if (row.engineDialogs) {
            // Bit 5 of the flags goes as the dialogs' option just before.
            const uint32_t bit5 = (row.flags & 0x20) ? 1 : 0;
            EXPECT_EQ(m_engine.options[LYDVW_OPT_PRINT_DIALOGS],
                      std::string(reinterpret_cast<const char*>(&bit5), 4));
            EXPECT_EQ(m_engine.requests.back(), uint32_t{LYDVW_R_PRINT_DIALOG});
        }
        EXPECT_EQ(ErrorCode(), 0);
    }
}

TEST_F(ControlPrintTest, ThePrintRecordCarriesTheSettingsAndTheCallbackOfItsOwnControl) {
    Put("PrinterName", Variant::Bstr("Front Desk"));
    Put("PrinterPort", Variant::Bstr("LPT1:"));
    Put("PrinterDriver", Variant::Bstr("winspool"));
    Put("WhatToPrint", Variant::I2(2));
    Put("PrintCollate", Variant::I4(1));
    Put("PrintCopies", Variant::I2(-3));
    Put("PrintMarginTop", Variant::R4(0.5f));
    Put("PrintMarginRight", Variant::R4(2.0f));
    Put("PrintJobName", Variant::Bstr("Ledger"));
    ASSERT_NE(m_control->Widget(), nullptr);
    m_engine.requests.clear();
    PrintOI(0, 0xA0, 1, 0);
    ASSERT_TRUE(m_engine.record);
    const LydvwPrint& r = *m_engine.record;
    struct Row {
        const char* field;
        int64_t actual;
        int64_t expected;
    };
    const Row rows[] = {
        {"size", r.size, 560},
        {"flags", r.flags, 0xA0},
        {"window", static_cast<int64_t>(r.window), reinterpret_cast<int64_t>(m_control->Widget())},
        {"printer_dc", r.printer_dc, 0},
        {"printer_device", static_cast<int64_t>(r.printer_device), 0},
        {"selection", r.selection, 1},
        {"setup_dialog", r.setup_dialog, 0},
        {"abort_dialog", r.abort_dialog, 1},
        {"dialog_option", r.dialog_option, 1},
        {"start_doc_done", r.start_doc_done, 0},
        {"margin top", r.margins[0], 720},
        {"margin bottom", r.margins[1], 1440},
        {"margin left", r.margins[2], 1440},
        {"margin right", r.margins[3], 2880},
        {"font half points", r.font_half_points, 20},
        {"abort", r.abort != 0, 1},
        {"abort context", static_cast<int64_t>(r.abort_context), reinterpret_cast<int64_t>(m_control.get())},
        {"collate", r.collate, 1},
        {"copies (sign-extended)", r.copies, -3},
        {"reserved", r.reserved[0] | r.reserved[1] | r.reserved0 | r.padding, 0},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.actual, row.expected) << row.field;
    EXPECT_STREQ(r.printer_name, "Front Desk");
    EXPECT_STREQ(r.printer_port, "LPT1:");
    EXPECT_STREQ(r.printer_driver, "winspool");
    // The record's job is "Job"; the title the host chose travels as its own option.
    EXPECT_STREQ(r.job_name, "Job");
    EXPECT_STREQ(r.font_face, "Arial");
    EXPECT_EQ(m_engine.options[0x5277B], "Ledger");

    // Without bit 7 there is no callback; without WhatToPrint 2 no selection.
    Put("WhatToPrint", Variant::I2(3));
    PrintOI(0, 0, 0, 0);
    EXPECT_EQ(m_engine.record->abort, 0u);
    EXPECT_EQ(m_engine.record->abort_context, 0u);
    EXPECT_EQ(m_engine.record->selection, 0u);
}

TEST_F(ControlPrintTest, RangeAndTitlePutBeforeTheViewReachTheEngineBeforeThePrint) {
    Put("WhatToPrint", Variant::I2(3));
    Put("PrintStartPage", Variant::I4(2));
    Put("PrintEndPage", Variant::I4(4));
    ASSERT_NE(m_control->Widget(), nullptr);
    m_engine.options.clear();
    m_engine.requests.clear();
    PrintOI(0, 0, 0, 0);
    const auto value = [](int32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); };
    EXPECT_EQ(m_engine.options[0x5277C], value(3).substr(0, 2));
    EXPECT_EQ(m_engine.options[0x5277D], value(2));
    EXPECT_EQ(m_engine.options[0x5277E], value(4));
    EXPECT_EQ(m_engine.requests.back(), uint32_t{LYDVW_R_PRINT});
}

TEST_F(ControlPrintTest, PrintingErrorsStopThePrintAndReportThroughTheControl) {
    ASSERT_NE(m_control->Widget(), nullptr);
    struct Row {
        const char* name;
        uint32_t engineType;
        int64_t answer;
        int32_t error;
        bool printed;
    };
    const Row rows[] = {
        {"a display engine that cannot print", 6, 0, 16652, false},
        {"the engine's unknown error", LYDVW_TYPE_PDF, 18, 16652, true},
        {"the engine's own error", LYDVW_TYPE_PDF, LYDVW_E_CANCELLED, LYDVW_E_CANCELLED, true},
        {"success", LYDVW_TYPE_TEXT, 0, 0, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        m_engine.requests.clear();
        m_engine.engineType = row.engineType;
        m_engine.answers[LYDVW_R_PRINT] = row.answer;
        m_prompts.Clear();
        m_sink->events.clear();
        PrintOI(0, 0, 0, 0);
        EXPECT_EQ(Sent(LYDVW_R_PRINT), row.printed ? 1 : 0);
        EXPECT_EQ(ErrorCode(), row.error);
        EXPECT_EQ(m_prompts.Shown().size(), row.error ? 1u : 0u);
        if (row.error == 16652) {
            EXPECT_EQ(Get("ErrorMsg"), Variant::Bstr("Printing Error"));
        }
        EXPECT_EQ(m_sink->events, row.error ? std::vector<DISPID>{kErrorEvent} : std::vector<DISPID>{});
    }
    // The engine's own dialogs report the same way.
    m_engine.engineType = LYDVW_TYPE_PDF;
    m_engine.answers[LYDVW_R_PRINT_DIALOG] = 18;
    PrintOI(1, 0, 1, 0);
    EXPECT_EQ(ErrorCode(), 16652);
}

TEST_F(ControlPrintTest, TheHostsDeviceMustBeAPrinterWhenFlagsBitZeroAsksForIt) {
    ASSERT_NE(m_control->Widget(), nullptr);
    auto printer = std::make_shared<int>(1);
    automation::ScopedHandle printerHandle(HandleKind::Printer, printer);
    automation::ScopedHandle display(HandleKind::PaintDevice, std::make_shared<int>(2));
    automation::ScopedHandle image(HandleKind::Image, std::make_shared<int>(3));
    struct Row {
        const char* name;
        uint32_t handle;
        int32_t flags;
        bool printed;
    };
    const Row rows[] = {
        {"a display device", display.Get(), 1, false},
        {"an image", image.Get(), 1, false},
        {"no device", 0, 1, false},
        {"a handle nobody gave", 0x7FFF0000, 1, false},
        {"a printer", printerHandle.Get(), 1, true},
        {"a display device without bit 0", display.Get(), 0, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        m_engine.record.reset();
        Put("PrinterDC", Variant::I4(static_cast<int32_t>(row.handle)));
        PrintOI(0, row.flags, 0, 1);
        EXPECT_EQ(m_engine.record.has_value(), row.printed);
        EXPECT_EQ(ErrorCode(), row.printed ? 0 : 15);
        if (m_engine.record) {
            EXPECT_EQ(m_engine.record->printer_dc, row.handle);
            EXPECT_EQ(m_engine.record->printer_device,
                      row.flags ? reinterpret_cast<uint64_t>(printer.get()) : 0u);
        }
    }
}

// ---- The abort callback ----

TEST_F(ControlPrintTest, TheAbortCallbackAsksTheControlWhoseJobItIsAndStopsOnContinueZero) {
    ASSERT_NE(m_control->Widget(), nullptr);
    // A second control, made after the first: the most recent one, which must not hear of the first's job.
    auto otherSink = std::make_shared<AbortSink>();
    std::shared_ptr<Cqelctrl> other = Make(otherSink);
    ASSERT_NE(other->Widget(), nullptr);
    automation::ScopedHandle printer(HandleKind::Printer, std::make_shared<int>(4));
    Put("PrinterDC", Variant::I4(static_cast<int32_t>(printer.Get())));
    m_engine.callAbort = true;

    PrintOI(0, 0x81, 0, 0);
    ASSERT_EQ(m_sink->aborts.size(), 1u);
    // hDC, Err, and Continue as it starts.
    EXPECT_EQ(m_sink->aborts[0], (std::vector<int32_t>{static_cast<int32_t>(printer.Get()), 0, 1}));
    EXPECT_TRUE(otherSink->aborts.empty());
    EXPECT_EQ(m_engine.abortAnswers, std::vector<int32_t>{1});
    EXPECT_EQ(ErrorCode(), 0);

    m_sink->proceed = 0;
    PrintOI(0, 0x81, 0, 0);
    EXPECT_EQ(m_engine.abortAnswers, (std::vector<int32_t>{1, 0}));
    EXPECT_EQ(ErrorCode(), LYDVW_E_ABORTED);

    // The other control's job asks the other control.
    PrintOI(0, 0x80, 0, 0, other.get());
    EXPECT_EQ(otherSink->aborts.size(), 1u);
    EXPECT_EQ(m_sink->aborts.size(), 2u);
}

// ---- Printer properties, setup and options dialogs ----

TEST_F(ControlPrintTest, PrinterDCIsRuntimeOnlyWhileTheSiteSaysDesignMode) {
    ASSERT_NE(m_control->Widget(), nullptr);
    Put("PrinterDC", Variant::I4(0x1234));
    m_userMode = false;
    m_sink->events.clear();
    Put("PrinterDC", Variant::I4(0x5678));  // the put itself succeeds
    EXPECT_EQ(Get("PrinterDC"), Variant::I4(0x1234));
    EXPECT_EQ(ErrorCode(), 16653);
    EXPECT_EQ(Get("ErrorMsg"), Variant::Bstr("Runtime Only"));
    ASSERT_EQ(m_prompts.Shown().size(), 1u);
    EXPECT_EQ(m_sink->events, std::vector<DISPID>{kErrorEvent});
    m_userMode = true;
    Put("PrinterDC", Variant::I4(0x5678));
    EXPECT_EQ(Get("PrinterDC"), Variant::I4(0x5678));
}

TEST_F(ControlPrintTest, PrinterTextsAreKeptInTheControlWithinTheRecordsFields) {
    const std::string longName(200, 'p');
    Put("PrinterName", Variant::Bstr(longName));
    EXPECT_EQ(Get("PrinterName"), Variant::Bstr(longName.substr(0, 127)));
    Put("PrinterPort", Variant::Bstr(""));
    EXPECT_EQ(Get("PrinterPort"), Variant::Bstr(""));
    // Nothing goes to the engine before a print.
    ASSERT_NE(m_control->Widget(), nullptr);
    m_engine.requests.clear();
    Put("PrinterDriver", Variant::Bstr("d"));
    EXPECT_TRUE(m_engine.requests.empty());
    PrintOI(0, 0, 0, 0);
    EXPECT_EQ(std::string(m_engine.record->printer_name), longName.substr(0, 127));
}

TEST_F(ControlPrintTest, SetupAndPrintOptionsAnswerThroughTheirResultsNotErrors) {
    ASSERT_NE(m_control->Widget(), nullptr);
    struct Row {
        int64_t answer;
        automation::HRESULT result;
        int16_t optionsReturn;
    };
    for (const Row& row : {Row{0, automation::S_OK, 0}, Row{LYDVW_E_CANCELLED, automation::S_FALSE, 20}}) {
        m_engine.answers[LYDVW_R_PRINTER_SETUP] = row.answer;
        m_engine.answers[LYDVW_R_OPTIONS_DIALOG] = row.answer;
        m_engine.requests.clear();
        EXPECT_EQ(Invoke(*m_control, "PrintSetup", InvokeKind::Method, {}), row.result);
        Variant result;
        EXPECT_EQ(Invoke(*m_control, "PrintOptions", InvokeKind::Method, {}, &result), row.result);
        EXPECT_EQ(result, Variant::I2(row.optionsReturn));
        EXPECT_EQ(m_engine.dialog, 0x83A9Au);
        EXPECT_EQ(m_engine.requests, (std::vector<uint32_t>{LYDVW_R_PRINTER_SETUP, LYDVW_R_OPTIONS_DIALOG}));
        EXPECT_EQ(ErrorCode(), 0);
        EXPECT_TRUE(m_prompts.Shown().empty());
    }
}

TEST_F(ControlPrintTest, WithoutTheEnginesViewThePrintingMethodsFail16640) {
    for (const char* method : {"PrintOI", "PrintSetup", "PrintOptions"}) {
        SCOPED_TRACE(method);
        std::vector<Variant> args;
        if (std::string_view(method) == "PrintOI")
            args = {Variant::I4(1), Variant::I4(0), Variant::I4(1), Variant::I4(0)};
        EXPECT_EQ(Invoke(*m_control, method, InvokeKind::Method, args), automation::S_OK);
        EXPECT_EQ(ErrorCode(), 16640);
    }
    EXPECT_TRUE(m_engine.requests.empty());
}

}  // namespace
}  // namespace docview
