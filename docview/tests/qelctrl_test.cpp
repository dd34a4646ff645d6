// The control without its toolkit, on an in-process scripted engine whose requests are kept as bytes: the
// binding and start-up errors, options through the engine, ViewFile's records and routes, the error routes,
// the notifications as events, the status callback and the view's single destruction.
#include "docview/qelctrl.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "docview/control_strings.h"
#include "docview/fennick_members.h"
#include "platform/automation/stock_font.h"
#include "suite/registry_settings.h"
#include "testsupport/map_property_bag.h"
#include "testsupport/test_support.h"

namespace docview {
namespace {

namespace automation = platform::automation;
using automation::DISPID;
using automation::InvokeError;
using automation::InvokeKind;
using automation::Variant;
using automation::VarType;

// ---- The scripted engine ----

struct Request {
    uint32_t request;
    uint64_t wparam;
    uint64_t lparam;
    uint32_t option = 0;  // of 2074 and 2075
    std::string bytes;    // the record, or an option's data
};

struct Script {
    std::vector<Request> requests;
    std::map<uint32_t, int64_t> answers;  // by request
    LydvwNotifyFn notify = nullptr;
    void* context = nullptr;
    LydvwStatFn stat = nullptr;
    int made = 0;
    int destroyed = 0;
    bool refuseView = false;
    LydvwFileInfo info{};
    std::string lastSpec;
    std::map<uint32_t, std::string> readBack;  // what 2075 answers, by option

    std::vector<uint32_t> Options(uint32_t request = LYDVW_R_SET_OPTION) const {
        std::vector<uint32_t> ids;
        for (const Request& r : requests) {
            if (r.request == request)
                ids.push_back(r.option);
        }
        return ids;
    }
    const Request* Last(uint32_t request) const {
        for (auto it = requests.rbegin(); it != requests.rend(); ++it) {
            if (it->request == request)
                return &*it;
        }
        return nullptr;
    }
};

Script* g_script = nullptr;

// The view is opaque to the control: any distinct address stands for it.
alignas(8) char g_viewStorage[8];
LydvwView* const g_view = reinterpret_cast<LydvwView*>(g_viewStorage);

uint32_t Abi() {
    return LYDVW_ABI_VERSION;
}
LydvwView* Create(void* parent, LydvwNotifyFn notify, void* context) {
    if (g_script->refuseView || parent == nullptr)
        return nullptr;
    ++g_script->made;
    g_script->notify = notify;
    g_script->context = context;
    return g_view;
}
int64_t RequestFn(LydvwView*, uint32_t request, uint64_t wparam, uint64_t lparam) {
    Request r{request, wparam, lparam, 0, {}};
    if ((request == LYDVW_R_SET_OPTION || request == LYDVW_R_GET_OPTION) && lparam) {
        const auto* block = reinterpret_cast<const LydvwOptionBlock*>(lparam);
        r.option = block->option;
        size_t size = OptionDataSize(block->option);
        if (block->option == 0x52A33 && request == LYDVW_R_SET_OPTION) {
            uint32_t leading = 0;
            std::memcpy(&leading, reinterpret_cast<const void*>(block->data), 4);
            size = leading;
        }
        if (request == LYDVW_R_SET_OPTION && size)
            r.bytes.assign(reinterpret_cast<const char*>(block->data), size);
        if (request == LYDVW_R_GET_OPTION) {
            if (auto it = g_script->readBack.find(block->option); it != g_script->readBack.end())
                std::memcpy(reinterpret_cast<void*>(block->data), it->second.data(),
                            std::min(size, it->second.size()));
        }
    } else if (request == LYDVW_R_VIEW_FILE && lparam) {
        const auto* record = reinterpret_cast<const LydvwViewFile*>(lparam);
        r.bytes.assign(reinterpret_cast<const char*>(record), sizeof *record);
        if (record->spec && record->spec_type == LYDVW_SPEC_ANSI)
            g_script->lastSpec = reinterpret_cast<const char*>(record->spec);
        if (record->spec && record->spec_type == LYDVW_SPEC_WIDE) {
            const auto* wide = reinterpret_cast<const char16_t*>(record->spec);
            g_script->lastSpec.clear();
            for (; *wide; ++wide)
                g_script->lastSpec += *wide < 0x80 ? static_cast<char>(*wide) : '?';
        }
    } else if (request == LYDVW_R_FILE_INFO && lparam) {
        std::memcpy(reinterpret_cast<void*>(lparam), &g_script->info, sizeof g_script->info);
    }
    g_script->requests.push_back(r);
    auto it = g_script->answers.find(request);
    return it == g_script->answers.end() ? 0 : it->second;
}
void* WidgetFn(LydvwView*) {
    return nullptr;
}
void DestroyFn(LydvwView*) {
    ++g_script->destroyed;
}
void FreeFn(void*) {}
void SetStat(LydvwStatFn fn, LydvwView*, int32_t) {
    g_script->stat = fn;
    g_script->requests.push_back({0, 0, 0, 0, fn ? "stat on" : "stat off"});
}

const EngineApi kScriptedApi{Abi, Create, RequestFn, WidgetFn, DestroyFn, FreeFn, SetStat};

// ---- A window that records ----

struct WindowLog {
    int placed = 0;
    int refreshed = 0;
    int disposed = 0;
    std::vector<std::function<void()>> posted;
};

class FakeWindow : public ControlWindow {
  public:
    FakeWindow(Cqelctrl& control, WindowLog& log) : m_control(&control), m_log(log) {}
    ~FakeWindow() override {
        if (m_control)
            m_control->OnDestroy();
    }
    void* Widget() override { return this; }
    void Post(std::function<void()> task) override { m_log.posted.push_back(std::move(task)); }
    void Update() override {}
    void PlaceView(void*) override { ++m_log.placed; }
    void RefreshView(void*) override { ++m_log.refreshed; }
    void FocusView(void*) override {}
    void Dispose() override {
        ++m_log.disposed;
        m_control = nullptr;
        delete this;
    }

  private:
    Cqelctrl* m_control;
    WindowLog& m_log;
};

// ---- A sink that records every event ----

struct Fired {
    DISPID event;
    std::vector<Variant> args;
};

class RecordingSink : public automation::IDispatch {
  public:
    automation::HRESULT GetIDsOfNames(std::span<const std::string_view>, std::span<DISPID>) override {
        return automation::DISP_E_UNKNOWNNAME;
    }
    automation::HRESULT Invoke(DISPID dispid, InvokeKind, std::span<const Variant> args, Variant*,
                               InvokeError*) override {
        std::vector<Variant> values;
        for (const Variant& arg : args) {
            // Out arguments are answered with the queued value for the event.
            if (auto it = outs.find(dispid); it != outs.end()) {
                if (int16_t* out = arg.AsRefI2())
                    *out = it->second;
            }
            Variant value;
            arg.Dereference(value);
            values.push_back(value);
        }
        fired.push_back({dispid, std::move(values)});
        return automation::S_OK;
    }
    std::vector<Fired> fired;
    std::map<DISPID, int16_t> outs;
};

class QelctrlTest : public testsupport::RegistryTest {
  protected:
    void SetUp() override {
        RegistryTest::SetUp();
        g_script = &m_script;
        m_prompt = std::make_unique<platform::ScopedDefaultPrompt>(m_prompts);
    }
    void TearDown() override {
        m_control.reset();
        m_prompt.reset();
        g_script = nullptr;
        RegistryTest::TearDown();
    }

    ControlSite Site(bool scripted = true) {
        ControlSite site;
        site.makeWindow = [this](Cqelctrl& control) { return new FakeWindow(control, m_window); };
        if (scripted) {
            site.loadEngine = [](EngineApi& api) {
                api = kScriptedApi;
                return 0;
            };
        }
        site.chooseFile = [this](const FileDialogRequest& request) {
            m_dialogs.push_back(request);
            return m_chosen;
        };
        site.exePath = "/opt/hosts/bin/viewer";
        return site;
    }
    Cqelctrl& Make(ControlSite site) {
        m_control = CreateQelctrl(std::move(site));
        std::shared_ptr<automation::ConnectionPoint> point;
        m_control->FindConnectionPoint(fennick::kDqelctrlIid, point);
        uint32_t cookie = 0;
        point->Advise(m_sink, cookie);
        return *m_control;
    }
    Cqelctrl& Made() {
        Make(Site());
        EXPECT_NE(m_control->Widget(), nullptr);
        return *m_control;
    }

    automation::HRESULT Invoke(std::string_view name, InvokeKind kind, std::vector<Variant> args,
                               Variant* result = nullptr, InvokeError* error = nullptr) {
        DISPID id = automation::DISPID_UNKNOWN;
        EXPECT_EQ(m_control->GetIDOfName(name, id), automation::S_OK) << name;
        return m_control->Invoke(id, kind, args, result, error);
    }
    Variant Get(std::string_view name) {
        Variant result;
        EXPECT_EQ(Invoke(name, InvokeKind::PropertyGet, {}, &result), automation::S_OK) << name;
        return result;
    }
    automation::HRESULT Put(std::string_view name, Variant value) {
        return Invoke(name, InvokeKind::PropertyPut, {std::move(value)});
    }
    Variant Call(std::string_view name, std::vector<Variant> args = {}) {
        Variant result;
        EXPECT_EQ(Invoke(name, InvokeKind::Method, std::move(args), &result), automation::S_OK) << name;
        return result;
    }
    Variant ViewFile(std::vector<Variant> args) { return Call("ViewFile", std::move(args)); }
    std::vector<DISPID> Events() const {
        std::vector<DISPID> ids;
        for (const Fired& f : m_sink->fired)
            ids.push_back(f.event);
        return ids;
    }
    static DISPID Id(fennick::Event e) { return static_cast<DISPID>(e); }

    Script m_script;
    WindowLog m_window;
    platform::RecordingPrompt m_prompts;
    std::unique_ptr<platform::ScopedDefaultPrompt> m_prompt;
    std::shared_ptr<RecordingSink> m_sink = std::make_shared<RecordingSink>();
    std::shared_ptr<Cqelctrl> m_control;
    std::vector<FileDialogRequest> m_dialogs;
    std::optional<std::string> m_chosen;
};

// ---- Binding and start-up ----

TEST_F(QelctrlTest, TheEngineFolderComesFromTheRegistryAndFailuresBecomeStartUpErrors) {
    testsupport::TempFolder folders;
    const auto engineIn = [&](const std::string& name, const char* library) {
        const auto folder = folders.Path() / name;
        std::filesystem::create_directories(folder);
        std::filesystem::create_symlink(library, folder / LYDVW_LIBRARY_NAME);
        return folder.string();
    };
    const std::string current = engineIn("current", CARROWLINE_SCRIPTED_ENGINE);
    const std::string other = engineIn("other", CARROWLINE_SCRIPTED_ENGINE_OTHER_ABI);
    struct Row {
        std::string key;  // empty: no key at all
        std::string folder;
        int32_t startupError;
    };
    const Row rows[] = {
        {"", "", kNoFilterPath},
        {FilterPathKey("/opt/hosts/bin/viewer", 0), current, 0},
        {FilterPathKey("/opt/hosts/bin/viewer", 1), current + "/", 0},
        {"SOFTWARE\\QEL\\Fennick", current, 0},
        {"SOFTWARE\\Quenby\\Fennick", folders.Path().string(), kNoLibrary},
        {"SOFTWARE\\QEL\\Fennick", other, kNoLibrary},
    };
    int fresh = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.key + " " + row.folder);
        // Each row on hives of its own.
        const auto hives = m_temp.Path() / ("row" + std::to_string(++fresh));
        platform::Registry registry(platform::Registry::Paths{hives / "machine.reg", hives / "user.reg"});
        platform::Registry::OverrideDefault(&registry);
        if (!row.key.empty()) {
            ASSERT_EQ(suite::RegWriteValue(platform::HKey::LocalMachine, row.key, "FilterPath",
                                           platform::RegType::Sz, row.folder.c_str(),
                                           static_cast<uint32_t>(row.folder.size() + 1)),
                      0);
        }
        Make(Site(false));
        ASSERT_NE(m_control->Widget(), nullptr);
        EXPECT_EQ(m_control->PendingStartupError(), row.startupError);
        EXPECT_EQ(m_control->HasView(), row.startupError == 0);
        m_control.reset();
        platform::Registry::OverrideDefault(m_registry.get());
    }
}

TEST_F(QelctrlTest, AStartUpErrorIsShownOnceFromALaterCallAndEngineMembersFail16640) {
    m_script.refuseView = true;
    Made();
    EXPECT_EQ(m_control->PendingStartupError(), kNoViewWindow);
    EXPECT_TRUE(m_control->OnPaint());
    EXPECT_TRUE(m_control->OnPaint());  // a repaint before the box: nothing more
    EXPECT_TRUE(m_prompts.Shown().empty());
    ASSERT_EQ(m_window.posted.size(), 1u);
    m_window.posted.front()();
    ASSERT_EQ(m_prompts.Shown().size(), 1u);
    EXPECT_EQ(m_prompts.Shown()[0].text, "The View Window could not be created");
    EXPECT_EQ(m_prompts.Shown()[0].caption, "Qelctrl Critical Error!");
    EXPECT_EQ(m_prompts.Shown()[0].icon, platform::PromptIcon::Stop);
    EXPECT_EQ(Get("ErrorCode"), Variant::I4(kNoViewWindow));

    // Every member that needs the engine: 16640 with a box and the Error event, the call succeeds.
    m_prompts.Clear();
    EXPECT_EQ(ViewFile({Variant::Bool(false), Variant::Bstr("/x")}), Variant::I4(0));
    for (const char* method : {"Clear", "SystemIdle", "SelectAll", "PrintSetup"})
        Call(method);
    EXPECT_EQ(Call("DisplayOptions"), Variant::I4(0));
    EXPECT_EQ(m_prompts.Shown().size(), 6u);
    EXPECT_EQ(Get("ErrorCode"), Variant::I4(16640));
    EXPECT_EQ(Get("ErrorMsg"), Variant::Bstr("This method cannnot be invoked in a windowless state!"));
    EXPECT_EQ(Events(), std::vector<DISPID>(6, Id(fennick::Event::Error)));
    // The properties never fail.
    EXPECT_EQ(Get("DisplayEngineType"), Variant::I2(1));
    EXPECT_EQ(Get("DisplayEngineName"), Variant::Bstr(""));
}

TEST_F(QelctrlTest, WithErrorShowMsgOtherThanOneTheStartUpBoxIsNotShown) {
    Make(Site(false));  // no key at all
    ASSERT_EQ(Put("ErrorShowMsg", Variant::I4(2)), automation::S_OK);
    m_control->Widget();
    EXPECT_TRUE(m_control->OnPaint());
    EXPECT_TRUE(m_window.posted.empty());
    EXPECT_EQ(Get("ErrorCode"), Variant::I4(kNoFilterPath));
    // Member errors still show their box: ErrorShowMsg is nonzero.
    Call("Clear");
    EXPECT_EQ(m_prompts.Shown().size(), 1u);
}

// ---- Options through the engine ----

TEST_F(QelctrlTest, OptionsPutBeforeTheWidgetArePushedWithTheRestAndLaterPutsAreSent) {
    Make(Site());
    ASSERT_EQ(Put("BMPRotation", Variant::I2(90)), automation::S_OK);
    ASSERT_EQ(Put("StatusEvents", Variant::I4(1)), automation::S_OK);
    EXPECT_TRUE(m_script.requests.empty());
    m_control->Widget();
    const std::vector<uint32_t> pushed = m_script.Options();
    ASSERT_EQ(pushed.size(), 50u);
    EXPECT_EQ(pushed.front(), 0x52783u);
    EXPECT_EQ(pushed.back(), 0x52776u);
    const Request* rotation = nullptr;
    for (const Request& r : m_script.requests) {
        if (r.option == 0x5283C)
            rotation = &r;
    }
    ASSERT_NE(rotation, nullptr);
    EXPECT_EQ(rotation->bytes, std::string("\x5A\0", 2));
    // The status callback put before the view is registered once the view is made.
    EXPECT_NE(m_script.stat, nullptr);
    EXPECT_EQ(m_window.placed, 1);

    m_script.requests.clear();
    ASSERT_EQ(Put("BMPRotation", Variant::I2(180)), automation::S_OK);
    ASSERT_EQ(m_script.requests.size(), 1u);
    EXPECT_EQ(m_script.requests[0].bytes, std::string("\xB4\0", 2));
    EXPECT_EQ(m_window.refreshed, 1);  // a put that changes the view repaints it
    EXPECT_TRUE(m_control->Dirty());
}

TEST_F(QelctrlTest, InvalidPutsFailWithRichErrorAndNoBoxWhileOverlongTextsReport) {
    Made();
    m_script.requests.clear();
    InvokeError error;
    EXPECT_EQ(Invoke("BMPRotation", InvokeKind::PropertyPut, {Variant::I2(45)}, nullptr, &error),
              automation::MakeHResult(0x800A4106u));
    EXPECT_EQ(error.source, fennick::kQelctrlClsid.ToString());
    EXPECT_EQ(error.description, "Attempt to assign invalid value to a property");
    EXPECT_EQ(Get("BMPRotation"), Variant::I2(0));
    EXPECT_EQ(Invoke("ShortDateOrder", InvokeKind::PropertyPut, {Variant::I2(3)}),
              automation::MakeHResult(0x800A4106u));
    EXPECT_TRUE(m_prompts.Shown().empty());
    EXPECT_TRUE(m_sink->fired.empty());
    EXPECT_TRUE(m_script.requests.empty());

    // A bad time zone is not stored, but the stored one goes to the engine again.
    EXPECT_EQ(Put("TimeZoneOffset", Variant::I4(100)), automation::MakeHResult(0x800A4106u));
    ASSERT_EQ(m_script.requests.size(), 1u);
    EXPECT_EQ(m_script.requests[0].bytes, std::string(4, '\0'));

    EXPECT_EQ(Put("PrintJobName", Variant::Bstr(std::string(41, 'j'))), automation::S_OK);
    EXPECT_EQ(Put("ResourceLibraryID", Variant::Bstr("abcdef")), automation::S_OK);
    EXPECT_EQ(m_prompts.Shown().size(), 2u);
    EXPECT_EQ(Events(), std::vector<DISPID>(2, Id(fennick::Event::Error)));
    EXPECT_EQ(Get("PrintJobName"), Variant::Bstr(""));
}

TEST_F(QelctrlTest, MarginsFollowIntlFlagAndNameListsReachTheEngineAsSlots) {
    Made();
    ASSERT_EQ(Put("PrintMarginTop", Variant::R4(1.0f)), automation::S_OK);
    EXPECT_EQ(Get("PrintMarginTop"), Variant::R4(1.0f));
    ASSERT_EQ(Put("PrintMarginLeft", Variant::R4(5.0f)), automation::S_OK);
    EXPECT_EQ(m_control->Options().MarginTwips(2), 6090);
    ASSERT_EQ(Put("IntlFlag", Variant::I4(0)), automation::S_OK);
    ASSERT_EQ(Put("PrintMarginTop", Variant::R4(2.0f)), automation::S_OK);
    EXPECT_EQ(m_control->Options().MarginTwips(0), 1132);
    EXPECT_EQ(Get("PrintMarginTop"), Variant::R4(2.0f));

    ASSERT_EQ(Put("AbbrevDayNames", Variant::Bstr("Mo|Tu|AVeryLongDayNameIndeed")), automation::S_OK);
    const Request* days = m_script.Last(LYDVW_R_SET_OPTION);
    ASSERT_NE(days, nullptr);
    EXPECT_EQ(days->option, 0x52AFAu);
    ASSERT_EQ(days->bytes.size(), sizeof(LydvwDayNames));
    LydvwDayNames names;
    std::memcpy(&names, days->bytes.data(), sizeof names);
    EXPECT_STREQ(names.abbrev[0], "Mo");
    EXPECT_STREQ(names.abbrev[2], "AVeryLongDayName");
    EXPECT_STREQ(names.full[0], "");
    EXPECT_EQ(Get("AbbrevDayNames"), Variant::Bstr("Mo|Tu|AVeryLongDayNameIndeed"));

    ASSERT_EQ(Put("DecimalSeparator", Variant::Bstr(",x")), automation::S_OK);
    EXPECT_EQ(Get("DecimalSeparator"), Variant::Bstr(","));
    ASSERT_EQ(Put("CurrencySymbol", Variant::Bstr("EURO-LONG-SYMBOL")), automation::S_OK);
    EXPECT_EQ(Get("CurrencySymbol"), Variant::Bstr("EURO-LON"));
}

// ---- ViewFile ----

TEST_F(QelctrlTest, ViewFileArgumentsBecomeTheRecordsBytes) {
    Made();
    std::strcpy(m_script.info.file_name, "/docs/a.txt");
    m_script.info.size = sizeof m_script.info;
    m_script.info.file_id = 1116;
    struct Row {
        std::vector<Variant> args;
        uint32_t specType;
        uint32_t viewAs;
        std::string spec;
        std::string displayName;
        uint32_t deleteOnClose;
    };
    const std::string longName(300, 'n');
    int16_t byRef = 4;
    const Row rows[] = {
        {{Variant::Bool(false), Variant::Bstr("/docs/a.txt")}, 2, 0, "/docs/a.txt", "", 0},
        {{Variant::Bool(false), Variant::Bstr("/docs/\xE9.txt"), Variant::RefI2(&byRef)},
         4,
         0,
         "/docs/?.txt",
         "",
         0},
        {{Variant::I4(0), Variant::Bstr("/x"), Variant::I2(0), Variant::I2(3999)}, 2, 0, "/x", "", 0},
        {{Variant::I4(0), Variant::Bstr("/x"), Variant::Missing(), Variant::I2(4006)}, 2, 0, "/x", "", 0},
        {{Variant::I4(0), Variant::Bstr("/x"), Variant::Missing(), Variant::Bstr("4004")},
         2,
         4004,
         "/x",
         "",
         0},
        {{Variant::I4(0), Variant::Bstr("/x"), Variant(), Variant(), Variant::Bool(true),
          Variant::Bstr(longName), Variant::I4(1)},
         2,
         0,
         "/x",
         longName.substr(0, 259),
         1},
        {{Variant::I4(0), Variant::Bstr("/x"), Variant::I2(3)}, 13, 0, "", "", 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.spec + " " + std::to_string(row.specType));
        m_script.lastSpec.clear();
        const Variant result = ViewFile(row.args);
        const Request* sent = m_script.Last(LYDVW_R_VIEW_FILE);
        ASSERT_NE(sent, nullptr);
        LydvwViewFile record;
        ASSERT_EQ(sent->bytes.size(), sizeof record);
        std::memcpy(&record, sent->bytes.data(), sizeof record);
        EXPECT_EQ(record.size, sizeof record);
        EXPECT_EQ(record.spec_type, row.specType);
        EXPECT_EQ(record.view_as, row.viewAs);
        EXPECT_EQ(m_script.lastSpec, row.spec);
        EXPECT_EQ(std::string(record.display_name), row.displayName);
        EXPECT_EQ(record.display_name[259], '\0');
        EXPECT_EQ(record.delete_on_close, row.deleteOnClose);
        EXPECT_EQ(result, Variant::I4(1));
    }
    // File information is kept from the answer to the record that follows the view.
    EXPECT_EQ(Get("FileInfoName"), Variant::Bstr("/docs/a.txt"));
    EXPECT_EQ(Get("FileInfoFileId"), Variant::I2(1116));
}

TEST_F(QelctrlTest, ViewFileRefusalsTakeTheirErrorRoute) {
    Made();
    struct Row {
        std::vector<Variant> args;
        int64_t engineAnswer;
        int32_t error;
    };
    const Row rows[] = {
        {{Variant::Missing(), Variant::Bstr("/x")}, 0, 15},
        {{Variant::Bstr("maybe"), Variant::Bstr("/x")}, 0, 15},
        {{Variant::Bool(false)}, 0, 16651},
        {{Variant::Bool(false), Variant::Dispatch(nullptr)}, 0, 16651},
        {{Variant::Bool(false), Variant::Bstr("/x")}, 9, 9},
        {{Variant::Bool(true), Variant::Bstr("/x")}, 0, 16641},  // the dialog is cancelled
    };
    for (const Row& row : rows) {
        m_prompts.Clear();
        m_sink->fired.clear();
        m_script.answers[LYDVW_R_VIEW_FILE] = row.engineAnswer;
        EXPECT_EQ(ViewFile(row.args), Variant::I4(0)) << row.error;
        EXPECT_EQ(Get("ErrorCode"), Variant::I4(row.error));
        EXPECT_EQ(m_prompts.Shown().size(), 1u);
        EXPECT_EQ(Events(), std::vector<DISPID>{Id(fennick::Event::Error)});
    }
    EXPECT_EQ(m_prompts.Shown()[0].caption, "Qelctrl Error!");
    // A successful call afterwards clears the error.
    m_script.answers.clear();
    m_chosen = "/chosen/file.pdf";
    EXPECT_EQ(ViewFile({Variant::Bool(true), Variant::Bstr("/x")}), Variant::I4(1));
    EXPECT_EQ(m_script.lastSpec, "/chosen/file.pdf");
    EXPECT_EQ(Get("ErrorCode"), Variant::I4(0));
}

TEST(DialogRequestFor, FolderAndNameFromTheFileSpec) {
    testsupport::TempFolder temp;
    const std::string folder = temp.Path().string();
    std::filesystem::create_directories(temp.Path() / "sub");
    struct Row {
        std::optional<std::string> spec;
        std::string folder;
        std::string name;
    };
    const Row rows[] = {
        {std::nullopt, "", ""},
        {folder, folder, ""},
        {folder + "/sub", folder + "/sub", ""},
        {folder + "\\report.pdf", folder, "report.pdf"},
        {"report.pdf", "", "report.pdf"},  // no separator and no folder: a file name
        {"/top.pdf", "/", "top.pdf"},
    };
    for (const Row& row : rows) {
        const FileDialogRequest request = DialogRequestFor(row.spec);
        EXPECT_EQ(request.folder, row.folder) << row.spec.value_or("(none)");
        EXPECT_EQ(request.fileName, row.name) << row.spec.value_or("(none)");
        EXPECT_EQ(request.title, "View");
        EXPECT_EQ(request.filterName, "All Files");
        EXPECT_EQ(request.filterPattern, "*.*");
    }
}

// ---- Notifications and events ----

TEST_F(QelctrlTest, NotificationsBecomeEventsWithTheirArgumentsAndAnswers) {
    Made();
    std::string path = "/drop/\xC3\xA9.txt";  // UTF-8 on disk
    LydvwViewThisFile ansi{sizeof(LydvwViewThisFile), 0, 1, 0, 0, reinterpret_cast<uint64_t>(path.c_str())};
    std::u16string widePath = u"/drop/w.txt";
    LydvwViewThisFile wide{
        sizeof(LydvwViewThisFile), 0, 4, 0, 0, reinterpret_cast<uint64_t>(widePath.c_str())};
    LydvwViewThisFile opaque{sizeof(LydvwViewThisFile), 0, 13, 0, 0, reinterpret_cast<uint64_t>(&ansi)};
    LydvwAnnotationEvent note{sizeof(LydvwAnnotationEvent), 3, 77};
    struct Row {
        uint32_t notification;
        uint64_t lparam;
        std::optional<int16_t> sinkAnswer;
        DISPID event;
        std::vector<Variant> args;
        int64_t result;
    };
    using E = fennick::Event;
    const Row rows[] = {
        {LYDVW_N_SEL_CHANGE, 0, {}, Id(E::SelChange), {}, 0},
        {LYDVW_N_ENGINE_CHANGE, 0, {}, Id(E::DisplayEngineChange), {}, 0},
        {LYDVW_N_VIEW_THIS_FILE,
         reinterpret_cast<uint64_t>(&ansi),
         1,
         Id(E::ViewThisFile),
         {Variant::Bstr("/drop/\xE9.txt"), Variant::I2(1), Variant::I2(1)},
         24},
        {LYDVW_N_VIEW_THIS_FILE,
         reinterpret_cast<uint64_t>(&wide),
         24,
         Id(E::ViewThisFile),
         {Variant::Bstr("/drop/w.txt"), Variant::I2(4), Variant::I2(24)},
         24},
        {LYDVW_N_VIEW_THIS_FILE,
         reinterpret_cast<uint64_t>(&opaque),
         2,
         Id(E::ViewThisFile),
         {Variant(), Variant::I2(13), Variant::I2(2)},
         0},
        {LYDVW_N_FILE_CHANGE, 0, {}, Id(E::FileChange), {Variant::I4(1), Variant::I4(0)}, 0},
        {LYDVW_N_FILE_CHANGE, 5, {}, Id(E::FileChange), {Variant::I4(0), Variant::I4(1)}, 0},
        {LYDVW_N_FILE_CHANGE, 1, {}, Id(E::FileChange), {Variant::I4(0), Variant::I4(0)}, 0},
        {LYDVW_N_ANNOTATION,
         reinterpret_cast<uint64_t>(&note),
         {},
         Id(E::AnnotationEvent),
         {Variant::I4(3), Variant::I4(77), Variant::UI1(0)},
         0},
        {LYDVW_N_OPTION_CHANGE, 0x5283C, {}, Id(E::OptionChange), {Variant::I4(0x5283C)}, 0},
        {LYDVW_N_DO_HELP, 0x10000 | 15003, {}, Id(E::DoHelp), {Variant::I2(6)}, 0},
        {LYDVW_N_DO_HELP, 15009, {}, Id(E::DoHelp), {Variant::I2(-1)}, 0},
        {LYDVW_N_CONTEXT_MENU,
         (40u << 16) | 30u,
         {},
         Id(E::ContextMenu),
         {Variant::I4(30), Variant::I4(40)},
         0},
        {LYDVW_N_ENABLE_APP, 1, 24, Id(E::EnableApp), {Variant::I4(1), Variant::I2(24)}, 24},
        {LYDVW_N_ENABLE_APP, 0, 1, Id(E::EnableApp), {Variant::I4(0), Variant::I2(1)}, 0},
        {LYDVW_N_VSCROLL_POS, 120, {}, Id(E::VScrollPosition), {Variant::I4(120)}, 0},
        {LYDVW_N_VSCROLL_PAGE, 500, {}, Id(E::VScrollPageSize), {Variant::I4(500)}, 0},
        {LYDVW_N_VSCROLL_RANGE,
         (900u << 16) | 2u,
         {},
         Id(E::VScrollRange),
         {Variant::I4(2), Variant::I4(900)},
         0},
        {LYDVW_N_VSCROLL_STATE, 1, {}, Id(E::VScrollState), {Variant::I4(1)}, 0},
        {LYDVW_N_VSCROLL_STATE, 7, {}, Id(E::VScrollState), {Variant::I4(0)}, 0},
        {LYDVW_N_HSCROLL_POS, 3, {}, Id(E::HScrollPosition), {Variant::I4(3)}, 0},
        {LYDVW_N_HSCROLL_RANGE, 0x00050001, {}, Id(E::HScrollRange), {Variant::I4(1), Variant::I4(5)}, 0},
        {LYDVW_N_KEYDOWN, 0x22, {}, Id(E::Keydown), {Variant::I4(0x22)}, 0},
        {LYDVW_N_RAW_TEXT, 64, {}, Id(E::RawTextEvent), {Variant::I4(64)}, 0},
        {LYDVW_N_ERROR, 9, {}, Id(E::Error), {}, 0},
        {LYDVW_N_READ_AHEAD_DONE, 0, {}, Id(E::ReadAheadDone), {}, 0},
        {LYDVW_N_STAT, 0, 5, Id(E::Stat), {Variant::I2(5)}, 5},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.notification);
        m_sink->fired.clear();
        m_sink->outs.clear();
        if (row.sinkAnswer)
            m_sink->outs[row.event] = *row.sinkAnswer;
        EXPECT_EQ(m_script.notify(m_script.context, row.notification, 0, row.lparam), row.result);
        ASSERT_EQ(m_sink->fired.size(), 1u);
        EXPECT_EQ(m_sink->fired[0].event, row.event);
        EXPECT_EQ(m_sink->fired[0].args, row.args);
    }
    // An option the control does not keep raises nothing.
    m_sink->fired.clear();
    EXPECT_EQ(m_script.notify(m_script.context, LYDVW_N_OPTION_CHANGE, 0, 0x12345), 0);
    EXPECT_TRUE(m_sink->fired.empty());
    // With DoContextMenu 0 the engine is told to show no menu, and the event still comes.
    ASSERT_EQ(Put("DoContextMenu", Variant::I4(0)), automation::S_OK);
    EXPECT_EQ(m_script.notify(m_script.context, LYDVW_N_CONTEXT_MENU, 0, 0), 1);
    EXPECT_EQ(Events(), std::vector<DISPID>{Id(E::ContextMenu)});
}

TEST_F(QelctrlTest, StatusEventsRegistersTheCallbackOnlyOnChangeAndStatComesFromIt) {
    Made();
    m_script.requests.clear();
    ASSERT_EQ(Put("StatusEvents", Variant::I4(0)), automation::S_OK);  // unchanged: the engine is not called
    EXPECT_TRUE(m_script.requests.empty());
    ASSERT_EQ(Put("StatusEvents", Variant::I4(1)), automation::S_OK);
    ASSERT_NE(m_script.stat, nullptr);
    m_sink->outs[Id(fennick::Event::Stat)] = 3;
    EXPECT_EQ(m_script.stat(g_view), 3);
    EXPECT_EQ(Events(), std::vector<DISPID>{Id(fennick::Event::Stat)});
    ASSERT_EQ(Put("StatusEvents", Variant::I4(0)), automation::S_OK);
    EXPECT_EQ(m_script.stat, nullptr);
}

TEST_F(QelctrlTest, TheViewIsDestroyedOnceWhicheverGoesFirst) {
    // The control released first: the window goes with it.
    Made();
    m_control.reset();
    EXPECT_EQ(m_script.destroyed, 1);
    EXPECT_EQ(m_window.disposed, 1);

    // The window deleted first (its parent went): the view goes then, not again with the control.
    m_script.destroyed = 0;
    Made();
    const Request* before = m_script.Last(LYDVW_R_CLOSE);
    delete static_cast<FakeWindow*>(m_control->Widget());
    EXPECT_EQ(m_script.destroyed, 1);
    EXPECT_NE(m_script.Last(LYDVW_R_CLOSE), before);  // Clear ran first
    EXPECT_FALSE(m_control->HasView());
    Call("Clear");
    EXPECT_EQ(Get("ErrorCode"), Variant::I4(16640));
    m_control.reset();
    EXPECT_EQ(m_script.destroyed, 1);
}

TEST_F(QelctrlTest, DisplayOptionsAnswersOneWhenTheEngineRefuses) {
    Made();
    Variant result;
    EXPECT_EQ(Invoke("DisplayOptions", InvokeKind::Method, {}, &result), automation::S_OK);
    EXPECT_EQ(result, Variant::I4(1));
    EXPECT_EQ(m_script.Last(LYDVW_R_OPTIONS_DIALOG)->lparam, 0x83A9Du);
    m_script.answers[LYDVW_R_OPTIONS_DIALOG] = 17;
    EXPECT_EQ(Invoke("DisplayOptions", InvokeKind::Method, {}, &result), automation::S_FALSE);
    EXPECT_EQ(result, Variant::I4(0));
    EXPECT_TRUE(m_prompts.Shown().empty());
}

TEST_F(QelctrlTest, SelectAllAsksTheEngineAndAnAnswerOfNothingToSelectIsNoError) {
    Made();
    for (int64_t answer : {int64_t{0}, int64_t{LYDVW_E_NOT_FOUND}}) {
        m_script.answers[LYDVW_R_SELECT_ALL] = answer;
        const Request* before = m_script.Last(LYDVW_R_SELECT_ALL);
        Variant result;
        EXPECT_EQ(Invoke("SelectAll", InvokeKind::Method, {}, &result), automation::S_OK) << answer;
        EXPECT_NE(m_script.Last(LYDVW_R_SELECT_ALL), before) << answer;
        EXPECT_EQ(Get("ErrorCode"), Variant::I4(0)) << answer;
    }
    EXPECT_TRUE(m_prompts.Shown().empty());
}

TEST_F(QelctrlTest, ClipboardOptionsOpensTheEnginesClipboardDialog) {
    Made();
    struct Row {
        int64_t answer;
        automation::HRESULT hr;
        int32_t returned;
    };
    for (const Row& row : {Row{0, automation::S_OK, 1}, Row{LYDVW_E_UNSUPPORTED, automation::S_FALSE, 0}}) {
        m_script.answers[LYDVW_R_OPTIONS_DIALOG] = row.answer;
        Variant result;
        EXPECT_EQ(Invoke("ClipboardOptions", InvokeKind::Method, {}, &result), row.hr) << row.answer;
        EXPECT_EQ(result, Variant::I4(row.returned)) << row.answer;
        EXPECT_EQ(m_script.Last(LYDVW_R_OPTIONS_DIALOG)->lparam, 0x83AA2u) << row.answer;
    }
    EXPECT_TRUE(m_prompts.Shown().empty());
}

TEST_F(QelctrlTest, ClipInfoKeepsTheEnginesLastAnswer) {
    Made();
    m_script.answers[LYDVW_R_CLIP_INFO] = 1;
    EXPECT_EQ(Get("ClipInfo"), Variant::I2(1));
    EXPECT_NE(m_script.Last(LYDVW_R_CLIP_INFO), nullptr);
    // The engine's window gone: reported as windowless, the value kept.
    m_script.answers[LYDVW_R_CLIP_INFO] = LYDVW_E_NO_WINDOW;
    EXPECT_EQ(Get("ClipInfo"), Variant::I2(1));
    EXPECT_EQ(Get("ErrorCode"), Variant::I4(kErrWindowless));
}

TEST_F(QelctrlTest, CopyToClipReturnsTheEnginesAnswerAsTheResult) {
    Made();
    for (int64_t answer : {int64_t{0}, int64_t{LYDVW_E_NOT_FOUND}, int64_t{8}}) {
        m_script.answers[LYDVW_R_COPY] = answer;
        const Request* before = m_script.Last(LYDVW_R_COPY);
        Variant result;
        EXPECT_EQ(Invoke("CopyToClip", InvokeKind::Method, {}, &result), static_cast<automation::HRESULT>(answer));
        EXPECT_NE(m_script.Last(LYDVW_R_COPY), before) << answer;
    }
    EXPECT_TRUE(m_prompts.Shown().empty());
}

// The fonts are font objects with sizes in currency units: half points reach the engine, a get of
// DisplayFont sends what a host changed in place, a font handed over by reference is kept and sent, and a
// font the engine changes is written into the object.
TEST_F(QelctrlTest, FontObjectsReachTheEngineAsFontRecords) {
    Made();
    const auto record = [&](uint32_t option) {
        LydvwFontRecord font{};
        for (auto it = m_script.requests.rbegin(); it != m_script.requests.rend(); ++it) {
            if (it->request == LYDVW_R_SET_OPTION && it->option == option) {
                EXPECT_EQ(it->bytes.size(), sizeof font);
                std::memcpy(&font, it->bytes.data(), std::min(sizeof font, it->bytes.size()));
                break;
            }
        }
        return font;
    };
    EXPECT_STREQ(record(0x52774).face, "Arial");
    EXPECT_EQ(record(0x52774).half_points, 20);

    auto display = Get("DisplayFont").AsDispatch();
    ASSERT_TRUE(display);
    std::shared_ptr<void> iface;
    EXPECT_EQ(display->QueryInterface(platform::automation::IID_IFontDisp, iface), automation::S_OK);
    DISPID size = automation::DISPID_UNKNOWN;
    ASSERT_EQ(display->GetIDOfName("Size", size), automation::S_OK);
    const Variant halfPoint[] = {Variant::I4(105000)};
    ASSERT_EQ(display->Invoke(size, InvokeKind::PropertyPut, halfPoint, nullptr, nullptr), automation::S_OK);
    m_script.requests.clear();
    EXPECT_EQ(Get("DisplayFont").AsDispatch(), display);
    EXPECT_EQ(record(0x52774).half_points, 21);

    auto clip = std::make_shared<platform::automation::CStockFont>(
        platform::automation::FontDescription{"Courier New", 12, 700, 0, true, false, false}, nullptr,
        platform::automation::FontSizeUnit::Currency);
    ASSERT_EQ(Invoke("ClipFont", InvokeKind::PropertyPutRef, {Variant::Dispatch(clip)}), automation::S_OK);
    EXPECT_EQ(Get("ClipFont").AsDispatch(), clip);
    EXPECT_STREQ(record(0x529CE).face, "Courier New");
    EXPECT_EQ(record(0x529CE).half_points, 24);
    EXPECT_EQ(record(0x529CE).attributes, LYDVW_FONT_BOLD | LYDVW_FONT_ITALIC);
    EXPECT_EQ(Invoke("ClipFont", InvokeKind::PropertyPutRef, {Variant::Dispatch(nullptr)}),
              automation::MakeHResult(0x800A4106u));

    // The engine reports a changed print font: the object hosts hold follows.
    auto print = Get("PrintFont").AsDispatch();
    m_script.answers.clear();
    LydvwFontRecord changed{};
    std::strcpy(changed.face, "Times");
    changed.half_points = 17;
    changed.attributes = LYDVW_FONT_UNDERLINE;
    m_script.readBack[0x52777] = std::string(reinterpret_cast<const char*>(&changed), sizeof changed);
    m_script.notify(m_script.context, LYDVW_N_OPTION_CHANGE, 0, 0x52777);
    auto* stock = static_cast<platform::automation::CStockFont*>(print.get());
    EXPECT_EQ(stock->Description().name, "Times");
    EXPECT_EQ(stock->SizeCurrency(), 85000);
    EXPECT_TRUE(stock->Description().underline);
    EXPECT_EQ(Events(), std::vector<DISPID>{Id(fennick::Event::OptionChange)});
}

TEST_F(QelctrlTest, ScrollMethodsSendTheirOperationAndRefuseOthersWith15) {
    Made();
    struct Row {
        const char* method;
        int32_t operation;
        int32_t position;
        bool sent;
        uint64_t lparam;
    };
    const Row rows[] = {{"VScroll", 7, 120, true, 120}, {"VScroll", 6, 120, true, 0},
                        {"VScroll", 11, 0, true, 0},    {"VScroll", 8, 0, false, 0},
                        {"HScroll", 3, 5, true, 0},     {"HScroll", 7, 9, true, 9},
                        {"HScroll", 2, 0, false, 0},    {"HScroll", 10, 0, false, 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.method) + " " + std::to_string(row.operation));
        m_script.requests.clear();
        m_prompts.Clear();
        Call(row.method, {Variant::I4(row.operation), Variant::I4(row.position)});
        ASSERT_EQ(m_script.requests.size(), row.sent ? 1u : 0u);
        EXPECT_EQ(Get("ErrorCode"), Variant::I4(row.sent ? 0 : 15));
        if (row.sent) {
            EXPECT_EQ(m_script.requests[0].request, std::string_view(row.method) == "VScroll"
                                                        ? uint32_t{LYDVW_R_VSCROLL}
                                                        : uint32_t{LYDVW_R_HSCROLL});
            EXPECT_EQ(m_script.requests[0].wparam, static_cast<uint64_t>(row.operation));
            EXPECT_EQ(m_script.requests[0].lparam, row.lparam);
        }
    }
    // The engine's 15 is reported as the control's.
    m_script.answers[LYDVW_R_VSCROLL] = 15;
    Call("VScroll", {Variant::I4(1), Variant::I4(0)});
    EXPECT_EQ(Get("ErrorCode"), Variant::I4(15));
}

// Every member of the table is in the control's dispatch: found by its name in any letter case, with its
// access (a get answers in the member's kind, a get-only member refuses a put), and a method refuses a call
// without its arguments.
TEST_F(QelctrlTest, EveryMemberResolvesByNameInAnyCaseWithItsKind) {
    Made();
    m_prompts.Clear();
    size_t count = 0;
    for (const MemberSpec& member : Members()) {
        ++count;
        std::string upper(member.name), lower(member.name);
        for (char& c : upper)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        for (char& c : lower)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        for (const std::string& name : {std::string(member.name), upper, lower}) {
            DISPID id = automation::DISPID_UNKNOWN;
            EXPECT_EQ(m_control->GetIDOfName(name, id), automation::S_OK) << name;
            EXPECT_EQ(id, member.dispid) << name;
        }
        if (member.access == Access::Method) {
            if (member.ParamCount() > 0 && member.params[0] != Type::Variant) {
                EXPECT_EQ(m_control->Invoke(member.dispid, InvokeKind::Method, {}, nullptr, nullptr),
                          automation::DISP_E_BADPARAMCOUNT)
                    << member.name;
            }
            EXPECT_EQ(m_control->Invoke(member.dispid, InvokeKind::PropertyGet, {}, nullptr, nullptr),
                      automation::DISP_E_MEMBERNOTFOUND)
                << member.name;
            continue;
        }
        Variant value;
        ASSERT_EQ(m_control->Invoke(member.dispid, InvokeKind::PropertyGet, {}, &value, nullptr),
                  automation::S_OK)
            << member.name;
        const std::map<Type, VarType> kinds = {
            {Type::I2, VarType::I2},           {Type::I4, VarType::I4},
            {Type::Bstr, VarType::Bstr},       {Type::R4, VarType::R4},
            {Type::Font, VarType::Dispatch},   {Type::Handle, VarType::I4},
            {Type::Color, VarType::I4},        {Type::Position, VarType::Unknown},
            {Type::Picture, VarType::Dispatch}};
        if (auto it = kinds.find(member.type); it != kinds.end()) {
            EXPECT_EQ(value.Type(), it->second) << member.name;
        }
        if (member.access == Access::Get) {
            const Variant args[] = {value};
            EXPECT_EQ(m_control->Invoke(member.dispid, InvokeKind::PropertyPut, args, nullptr, nullptr),
                      automation::DISP_E_MEMBERNOTFOUND)
                << member.name;
        }
    }
    EXPECT_EQ(count, 164u);
}

// What the engine writes back is read within its fields, terminated or not, whatever its size says.
TEST_F(QelctrlTest, FileInformationIsReadWithinItsFieldsWhenTheEngineLeavesThemUnterminated) {
    Made();
    std::memset(&m_script.info, 'x', sizeof m_script.info);
    m_script.info.size = 9999;
    m_script.info.file_id = 1500;
    ASSERT_EQ(ViewFile({Variant::Bool(false), Variant::Bstr("/x")}), Variant::I4(1));
    EXPECT_EQ(Get("FileInfoDisplayName"), Variant::Bstr(std::string(260, 'x')));
    EXPECT_EQ(Get("FileInfoFileIdName"), Variant::Bstr(std::string(80, 'x')));
    EXPECT_EQ(Get("FileInfoName"), Variant::Bstr(std::string(260, 'x')));
    EXPECT_EQ(Get("FileInfoFileId"), Variant::I2(1500));
}

// ---- Persistence ----

Variant GetOn(Cqelctrl& control, std::string_view name) {
    DISPID id = automation::DISPID_UNKNOWN;
    Variant result;
    EXPECT_EQ(control.GetIDOfName(name, id), automation::S_OK) << name;
    EXPECT_EQ(control.Invoke(id, InvokeKind::PropertyGet, {}, &result, nullptr), automation::S_OK) << name;
    return result;
}

automation::HRESULT PutOn(Cqelctrl& control, std::string_view name, Variant value) {
    DISPID id = automation::DISPID_UNKNOWN;
    EXPECT_EQ(control.GetIDOfName(name, id), automation::S_OK) << name;
    const Variant args[] = {std::move(value)};
    return control.Invoke(id, InvokeKind::PropertyPut, args, nullptr, nullptr);
}

// A value other than the default that the property takes.
Variant ChangedValue(const MemberSpec& member, const Variant& current) {
    if (const OptionRow* row = FindOption(member.name); row && row->conversion != Conversion::Ignored) {
        const Check& check = row->check;
        int32_t value = row->defaultValue + 1;
        if (check.kind == CheckKind::Range)
            value = check.hi != row->defaultValue ? check.hi : check.lo;
        if (check.kind == CheckKind::OneOf)
            value = check.oneOf[check.oneOf[0] == row->defaultValue ? 1 : 0];
        return member.type == Type::I2 ? Variant::I2(static_cast<int16_t>(value)) : Variant::I4(value);
    }
    static const std::map<std::string_view, Variant> kChosen = {
        {"ShortDateOrder", Variant::I2(2)},
        {"PrintMarginTop", Variant::R4(0.5f)},
        {"PrintMarginBottom", Variant::R4(0.75f)},
        {"PrintMarginLeft", Variant::R4(1.25f)},
        {"PrintMarginRight", Variant::R4(2.0f)},
        {"ResourceLibraryID", Variant::Bstr("ABCDE")},
        {"PrintJobName", Variant::Bstr(std::string(40, 'j'))},
        {"DecimalSeparator", Variant::Bstr(",")},
        {"ThousandSeparator", Variant::Bstr(".")},
        {"DateSeparator", Variant::Bstr("-")},
        {"TimeSeparator", Variant::Bstr(".")},
        {"CurrencySymbol", Variant::Bstr("\x80")},
        {"AMString", Variant::Bstr("vorm.")},
        {"PMString", Variant::Bstr("nachm.")},
        {"FullMonthNames", Variant::Bstr("Januar|Februar|M\xE4rz")},
        {"AbbrevMonthNames", Variant::Bstr("Jan|Feb|M\xE4r")},
        {"FullDayNames", Variant::Bstr("Sonntag|Montag")},
        {"AbbrevDayNames", Variant::Bstr("So|Mo")},
        {"PrinterName", Variant::Bstr("Office")},
    };
    if (const auto it = kChosen.find(member.name); it != kChosen.end())
        return it->second;
    switch (member.type) {
        case Type::I2:
            return Variant::I2(static_cast<int16_t>(current.AsI2() + 3));
        case Type::I4:
            return Variant::I4(current.AsI4() + 3);
        case Type::Bstr:
            return Variant::Bstr(current.AsBstr() + "x");
        default:
            return current;
    }
}

class QelctrlPersistTest : public QelctrlTest {
  protected:
    // A control whose every persisted property holds a value other than its default, saved.
    void SetUp() override {
        QelctrlTest::SetUp();
        m_fresh = CreateQelctrl(Site());
        m_saved = CreateQelctrl(Site());
        for (const MemberSpec& member : Members()) {
            if (!IsPersisted(member.name))
                continue;
            const Variant value = ChangedValue(member, GetOn(*m_fresh, member.name));
            ASSERT_EQ(PutOn(*m_saved, member.name, value), automation::S_OK) << member.name;
            // An option that is accepted and dropped keeps its default.
            if (member.name != "SSRowColNamesToClip") {
                ASSERT_NE(GetOn(*m_saved, member.name), GetOn(*m_fresh, member.name)) << member.name;
            }
            m_expected[member.name] = GetOn(*m_saved, member.name);
        }
        auto display = std::make_shared<automation::CStockFont>(
            automation::FontDescription{"Courier New", 10, 700, 0, true, false, true}, nullptr,
            automation::FontSizeUnit::Currency);
        display->SetSizeCurrency(105000);  // a half point survives
        DISPID id = automation::DISPID_UNKNOWN;
        m_saved->GetIDOfName("DisplayFont", id);
        const Variant font[] = {Variant::Dispatch(display)};
        ASSERT_EQ(m_saved->Invoke(id, InvokeKind::PropertyPutRef, font, nullptr, nullptr), automation::S_OK);
        m_saved->SaveProperties(m_bag);
    }
    static bool IsPersisted(std::string_view name) {
        const auto names = Cqelctrl::PersistedProperties();
        return std::find(names.begin(), names.end(), name) != names.end();
    }
    LydvwFontRecord FontOf(Cqelctrl& control, std::string_view font) {
        return FontRecordOf(*GetOn(control, font).AsDispatch());
    }

    std::shared_ptr<Cqelctrl> m_fresh;
    std::shared_ptr<Cqelctrl> m_saved;
    std::map<std::string_view, Variant> m_expected;
    testsupport::MapBag m_bag;
};

TEST_F(QelctrlPersistTest, EveryPersistedPropertyRoundTripsAndTheLoadedControlIsClean) {
    // Every property a host may put with a plain value is persisted, and nothing else.
    for (const MemberSpec& member : Members()) {
        const bool plain = member.type == Type::I2 || member.type == Type::I4 || member.type == Type::Bstr ||
                           member.type == Type::R4;
        EXPECT_EQ(IsPersisted(member.name), member.access == Access::GetPut && plain) << member.name;
    }
    for (std::string_view name : Cqelctrl::PersistedProperties())
        EXPECT_TRUE(m_bag.m_values.contains(std::string(name))) << name;

    auto loaded = CreateQelctrl(Site());
    PutOn(*loaded, "BMPRotation", Variant::I2(270));
    loaded->LoadProperties(m_bag);
    EXPECT_FALSE(loaded->Dirty());
    for (const auto& [name, value] : m_expected)
        EXPECT_EQ(GetOn(*loaded, name), value) << name;
    const LydvwFontRecord display = FontOf(*loaded, "DisplayFont");
    EXPECT_STREQ(display.face, "Courier New");
    EXPECT_EQ(display.half_points, 21);
    EXPECT_EQ(display.attributes, LYDVW_FONT_BOLD | LYDVW_FONT_ITALIC | LYDVW_FONT_STRIKE);
    EXPECT_EQ(FontOf(*loaded, "ClipFont").half_points, 20);
    EXPECT_TRUE(m_prompts.Shown().empty());

    // Saving what was loaded gives the same store.
    testsupport::MapBag again;
    loaded->SaveProperties(again);
    EXPECT_EQ(again.m_values, m_bag.m_values);
}

TEST_F(QelctrlPersistTest, ADamagedOrOutOfRangeStoredValueGivesTheDefaultAndLosesNothingElse) {
    using automation::PropertyValue;
    struct Case {
        std::string_view name;
        std::optional<PropertyValue> stored;  // nullopt: missing from the store
    };
    const Case cases[] = {
        {"BMPDither", PropertyValue{std::string("1")}},
        {"BMPRotation", PropertyValue{int16_t{45}}},
        {"BMPFitMode", PropertyValue{int32_t{70000}}},
        {"SSPrintScalePercent", PropertyValue{int32_t{301}}},
        {"SSPrintScaleXHigh", PropertyValue{int32_t{0}}},
        {"WPFitMode", PropertyValue{int16_t{3}}},
        {"TimeZoneOffset", PropertyValue{int32_t{97}}},
        {"IMGXZoomPercent", PropertyValue{int32_t{-5}}},
        {"FallbackFormat", PropertyValue{int16_t{17}}},
        {"ShortDateOrder", PropertyValue{int16_t{3}}},
        {"ErrorShowMsg", PropertyValue{true}},
        {"PrintMarginTop", PropertyValue{-1.0f}},
        {"PrintMarginLeft", PropertyValue{std::numeric_limits<float>::quiet_NaN()}},
        {"PrintMarginRight", PropertyValue{5.0f}},
        {"PrintMarginBottom", PropertyValue{int32_t{1}}},
        {"ResourceLibraryID", PropertyValue{std::string("ABCDEF")}},
        {"PrintJobName", PropertyValue{std::string(41, 'j')}},
        {"DecimalSeparator", PropertyValue{std::string(",,")}},
        {"AMString", PropertyValue{std::string("a\0m", 3)}},
        {"FullDayNames", PropertyValue{std::string(120, 'd')}},
        {"PrinterName", std::nullopt},
        {"DisplayFont.Size", PropertyValue{int32_t{0}}},
        {"DisplayFont.Name", PropertyValue{std::string()}},
        {"DisplayFont.Bold", PropertyValue{int32_t{1}}},
        {"DisplayFont.Name", std::nullopt},
    };
    testsupport::MapBag defaults;
    m_fresh->SaveProperties(defaults);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::MapBag bag = m_bag;
        const std::string key(c.name);
        if (c.stored)
            bag.m_values[key] = *c.stored;
        else
            bag.m_values.erase(key);
        auto loaded = CreateQelctrl(Site());
        loaded->LoadProperties(bag);
        testsupport::MapBag result;
        loaded->SaveProperties(result);
        for (const auto& [name, value] : m_bag.m_values)
            EXPECT_EQ(result.m_values[name], name == key ? defaults.m_values[name] : value) << name;
        EXPECT_EQ(loaded->ErrorCode(), 0);
    }
    EXPECT_TRUE(m_prompts.Shown().empty());
}

TEST_F(QelctrlPersistTest, MarginsAreStoredInTheUnitIntlFlagGivesThem) {
    auto saved = CreateQelctrl(Site());
    ASSERT_EQ(PutOn(*saved, "IntlFlag", Variant::I4(0)), automation::S_OK);
    ASSERT_EQ(PutOn(*saved, "PrintMarginTop", Variant::R4(2.5f)), automation::S_OK);
    testsupport::MapBag bag;
    saved->SaveProperties(bag);
    // 10.76 cm is the longest margin kept; past it, the default inch in centimetres.
    bag.m_values["PrintMarginBottom"] = automation::PropertyValue{10.8f};
    auto loaded = CreateQelctrl(Site());
    loaded->LoadProperties(bag);
    EXPECT_EQ(GetOn(*loaded, "PrintMarginTop"), Variant::R4(2.5f));
    EXPECT_EQ(GetOn(*loaded, "PrintMarginBottom"), Variant::R4(2.54f));
    EXPECT_EQ(GetOn(*loaded, "PrintMarginLeft"), Variant::R4(2.54f));
}

TEST_F(QelctrlPersistTest, LoadingThroughTheInterfaceReachesAViewThatExists) {
    Made();
    std::shared_ptr<void> out;
    ASSERT_EQ(m_control->QueryInterface(automation::IID_IPersistPropertyBag, out), automation::S_OK);
    auto* persist = static_cast<automation::IPersistPropertyBag*>(out.get());
    m_script.requests.clear();
    ASSERT_EQ(persist->Load(m_bag), automation::S_OK);
    const auto sent = [&](uint32_t option) {
        const Request* found = nullptr;
        for (const Request& r : m_script.requests) {
            if (r.request == LYDVW_R_SET_OPTION && r.option == option)
                found = &r;
        }
        return found ? found->bytes : std::string("none");
    };
    EXPECT_EQ(sent(0x5283C), std::string("\x5A\0", 2));  // BMPRotation 90
    LydvwFontRecord display{};
    const std::string font = sent(0x52774);
    ASSERT_EQ(font.size(), sizeof display);
    std::memcpy(&display, font.data(), sizeof display);
    EXPECT_STREQ(display.face, "Courier New");
    EXPECT_EQ(display.half_points, 21);
    EXPECT_NE(m_script.stat, nullptr);  // StatusEvents came back on
    EXPECT_FALSE(m_control->Dirty());

    testsupport::MapBag saved;
    ASSERT_EQ(persist->Save(saved), automation::S_OK);
    EXPECT_EQ(saved.m_values, m_bag.m_values);
}

}  // namespace
}  // namespace docview
