// Redirected input on a scripted engine that keeps the record it is handed: the engine's calls reach the
// host's object or its event handlers, answers are checked and bounded, second files come back as paths or
// records, and records keep what they hold until the engine closes them.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "docview/qelctrl.h"
#include "docview/tests/null_window.h"
#include "docview/tests/stub_engine.h"
#include "platform/user_prompt.h"

namespace docview {
namespace {

namespace automation = platform::automation;
using automation::DISPID;
using automation::HRESULT;
using automation::InvokeError;
using automation::InvokeKind;
using automation::Variant;
using fennick::Event;

// ---- An engine that keeps the last view request's record ----

struct Engine {
    LydvwRedirect* record = nullptr;
    uint32_t specType = 0;
    int64_t answer = 0;
};
Engine* g_engine = nullptr;
int64_t RequestFn(LydvwView*, uint32_t request, uint64_t, uint64_t lparam) {
    if (request == LYDVW_R_VIEW_FILE) {
        const auto* view = reinterpret_cast<const LydvwViewFile*>(lparam);
        g_engine->specType = view->spec_type;
        g_engine->record = view->spec_type == LYDVW_SPEC_REDIRECT ? reinterpret_cast<LydvwRedirect*>(view->spec)
                                                                   : nullptr;
        return g_engine->answer;
    }
    return 0;
}

// ---- The host: event handlers by DISPID, every event recorded ----

using Handler = std::function<void(std::span<const Variant> args)>;

class HostSink : public automation::IDispatch {
  public:
    HRESULT GetIDsOfNames(std::span<const std::string_view>, std::span<DISPID>) override {
        return automation::DISP_E_UNKNOWNNAME;
    }
    HRESULT Invoke(DISPID dispid, InvokeKind, std::span<const Variant> args, Variant*, InvokeError*) override {
        fired.push_back(dispid);
        if (dispid >= static_cast<DISPID>(Event::Open) && dispid <= static_cast<DISPID>(Event::GenSecond)) {
            Variant spec;
            args[0].Dereference(spec);
            specs.push_back(spec.AsBstr());
        }
        if (auto it = handlers.find(static_cast<Event>(dispid)); it != handlers.end())
            it->second(args);
        return automation::S_OK;
    }
    std::vector<DISPID> fired;
    std::vector<std::string> specs;  // FileSpec of each redirect event
    std::map<Event, Handler> handlers;
};

void SetI4(const Variant& arg, int32_t value) {
    *arg.AsRefI4() = value;
}
void SetVariant(const Variant& arg, Variant value) {
    *arg.AsRefVariant() = std::move(value);
}
Variant BytesOf(const std::string& text) {
    return Variant::Bytes(std::vector<uint8_t>(text.begin(), text.end()));
}

// ---- The host's object: a document in memory ----

class HostFile : public automation::IUnknown,
                 public IQelIORedir,
                 public std::enable_shared_from_this<HostFile> {
  public:
    explicit HostFile(std::string content) : m_content(std::move(content)) {}
    HRESULT QueryInterface(const automation::Guid& iid, std::shared_ptr<void>& out) override {
        if (iid == kIQelIORedirIid) {
            out = std::shared_ptr<void>(shared_from_this(), static_cast<IQelIORedir*>(this));
            return automation::S_OK;
        }
        return automation::E_NOINTERFACE;
    }
    HRESULT Open(const Variant& spec, Variant& file) override {
        calls.push_back("Open " + spec.AsBstr());
        file = Variant::Bstr("handle");
        return openAnswer;
    }
    HRESULT Close(const Variant&, const Variant& file) override {
        calls.push_back("Close " + file.AsBstr());
        return automation::S_OK;
    }
    HRESULT Read(const Variant&, const Variant&, uint8_t* data, uint32_t size, uint32_t& count) override {
        const size_t n = std::min<size_t>(size, m_content.size() - m_pos);
        std::memcpy(data, m_content.data() + m_pos, n);
        m_pos += n;
        count = static_cast<uint32_t>(n) + countExtra;
        return automation::S_OK;
    }
    HRESULT Write(const Variant&, const Variant&, const uint8_t*, uint32_t, uint32_t&) override {
        return automation::E_NOTIMPL;
    }
    HRESULT Seek(const Variant&, const Variant&, int16_t from, int32_t offset) override {
        calls.push_back("Seek " + std::to_string(from) + " " + std::to_string(offset));
        m_pos = from == LYDVW_SEEK_END ? m_content.size() + offset : static_cast<size_t>(offset);
        return automation::S_OK;
    }
    HRESULT Tell(const Variant&, const Variant&, uint32_t& offset) override {
        offset = static_cast<uint32_t>(m_pos);
        return automation::S_OK;
    }
    HRESULT GetInfo(const Variant&, const Variant&, uint32_t id, void*) override {
        calls.push_back("GetInfo " + std::to_string(id));
        return automation::S_OK;
    }
    HRESULT GenSecond(const Variant&, const Variant&, const std::string& name, Variant& spec, int32_t& type,
                      std::shared_ptr<IQelIORedir>& redir) override {
        calls.push_back("GenSecond " + name);
        spec = Variant::Bstr(name);
        type = secondType;
        redir = second;
        return secondAnswer;
    }
    std::vector<std::string> calls;
    HRESULT openAnswer = automation::S_OK;
    uint32_t countExtra = 0;
    int32_t secondType = LYDVW_SPEC_REDIRECT;
    HRESULT secondAnswer = automation::S_OK;
    std::shared_ptr<HostFile> second;

  private:
    std::string m_content;
    size_t m_pos = 0;
};

class RedirectTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_engine = &m_engine;
        m_prompt = std::make_unique<platform::ScopedDefaultPrompt>(m_prompts);
        ControlSite site;
        site.makeWindow = [](Cqelctrl& control) { return new testing::NullWindow(control); };
        site.loadEngine = [](EngineApi& api) {
            api = testing::StubEngineApi(RequestFn);
            return 0;
        };
        m_control = CreateQelctrl(std::move(site));
        ASSERT_NE(m_control->Widget(), nullptr);
        std::shared_ptr<automation::ConnectionPoint> point;
        m_control->FindConnectionPoint(fennick::kDqelctrlIid, point);
        uint32_t cookie = 0;
        point->Advise(m_sink, cookie);
    }
    void TearDown() override {
        m_control.reset();
        m_prompt.reset();
        g_engine = nullptr;
    }

    // ViewFile with spec_type 3; the record the engine got, or null.
    LydvwRedirect* View(Variant redirect = Variant::Missing(), std::string spec = "doc") {
        DISPID id = automation::DISPID_UNKNOWN;
        EXPECT_EQ(m_control->GetIDOfName("ViewFile", id), automation::S_OK);
        const Variant args[] = {Variant::Bool(false), Variant::Bstr(spec), Variant::I2(3), Variant::Missing(),
                                Variant::Missing(), Variant::Missing(), Variant::Missing(), redirect};
        m_engine.record = nullptr;
        EXPECT_EQ(m_control->Invoke(id, InvokeKind::Method, args, &m_result, nullptr), automation::S_OK);
        return m_engine.record;
    }
    std::vector<DISPID> Redirected() const {
        std::vector<DISPID> ids;
        for (DISPID id : m_sink->fired) {
            if (id != static_cast<DISPID>(Event::Error))
                ids.push_back(id);
        }
        return ids;
    }
    static DISPID Id(Event e) { return static_cast<DISPID>(e); }

    Engine m_engine;
    platform::RecordingPrompt m_prompts;
    std::unique_ptr<platform::ScopedDefaultPrompt> m_prompt;
    std::shared_ptr<HostSink> m_sink = std::make_shared<HostSink>();
    std::shared_ptr<Cqelctrl> m_control;
    Variant m_result;
};

TEST_F(RedirectTest, ViewFileOpensThroughTheOpenEventAndHandsTheEngineTheRecord) {
    m_sink->handlers[Event::Open] = [](std::span<const Variant> args) {
        SetVariant(args[2], Variant::Bstr("opened"));
    };
    LydvwRedirect* record = View(Variant::I4(5));
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(m_result, Variant::I4(1));
    EXPECT_EQ(record->size, sizeof(LydvwRedirect));
    EXPECT_EQ(record->unused, nullptr);
    EXPECT_NE(record->seek64, nullptr);
    EXPECT_NE(record->tell64, nullptr);
    // Close goes to the host with what Open answered, and frees the record.
    std::vector<Variant> closed;
    m_sink->handlers[Event::Close] = [&](std::span<const Variant> args) {
        for (const Variant& arg : args.first(3))
            closed.push_back(arg);
        SetI4(args[3], 4);
    };
    EXPECT_EQ(record->close(record), 4);
    EXPECT_EQ(closed, (std::vector<Variant>{Variant::Bstr("doc"), Variant::I4(5), Variant::Bstr("opened")}));
    EXPECT_EQ(Redirected(), (std::vector<DISPID>{Id(Event::Open), Id(Event::Close)}));
}

TEST_F(RedirectTest, AFailedOpenDropsTheRecordAndReportsItsResult) {
    m_sink->handlers[Event::Open] = [](std::span<const Variant> args) { SetI4(args[3], 12); };
    EXPECT_EQ(View(), nullptr);
    EXPECT_EQ(m_result, Variant::I4(0));
    EXPECT_EQ(m_control->ErrorCode(), 12);
    EXPECT_EQ(m_prompts.Shown().size(), 1u);
    // The host's object failing its Open reports 7, not an error of 0.
    auto file = std::make_shared<HostFile>("x");
    file->openAnswer = automation::E_FAIL;
    EXPECT_EQ(View(Variant::Unknown(file)), nullptr);
    EXPECT_EQ(m_control->ErrorCode(), 7);
    EXPECT_EQ(file->calls, std::vector<std::string>{"Open doc"});
    // An object without the interface goes the event route.
    m_sink->handlers.erase(Event::Open);
    m_sink->fired.clear();
    EXPECT_NE(View(Variant::Dispatch(std::make_shared<HostSink>())), nullptr);
    EXPECT_EQ(Redirected(), std::vector<DISPID>{Id(Event::Open)});
}

TEST_F(RedirectTest, ReadAnswersAreCheckedAndTheEngineIsToldWhatWasCopied) {
    LydvwRedirect* record = View();
    ASSERT_NE(record, nullptr);
    constexpr uint32_t kSize = 8;
    struct Row {
        const char* what;
        std::optional<Variant> data;  // none: the handler leaves it
        int32_t count;
        int32_t result;
        int32_t answer;
        std::string copied;
    };
    const Row rows[] = {
        {"0 bytes", BytesOf(""), 0, 0, 0, ""},
        {"0 bytes counted as more", BytesOf(""), 5, 0, 0, ""},
        {"1 byte", BytesOf("a"), 1, 0, 0, "a"},
        {"Size bytes", BytesOf("abcdefgh"), 8, 0, 0, "abcdefgh"},
        {"Size + 1 bytes", BytesOf("abcdefghi"), 9, 0, -1, ""},
        {"an I4 array", Variant::I4s({0x61626364, 0x65666768}), 8, 0, -1, ""},
        {"an I4", Variant::I4(0x61626364), 4, 0, -1, ""},
        {"none", std::nullopt, 4, 0, -1, ""},
        {"a count beyond the bytes", BytesOf("abc"), 100, 0, 0, "abc"},
        {"a count within the bytes", BytesOf("abcde"), 2, 0, 0, "ab"},
        {"a failure", BytesOf("abc"), 3, 9, 9, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        m_sink->handlers[Event::Read] = [&](std::span<const Variant> args) {
            EXPECT_EQ(args[4], Variant::I4(kSize));
            if (row.data)
                SetVariant(args[3], *row.data);
            SetI4(args[5], row.count);
            SetI4(args[6], row.result);
        };
        char buffer[kSize + 4];
        std::memset(buffer, '#', sizeof buffer);
        uint32_t count = 77;
        EXPECT_EQ(record->read(record, buffer, kSize, &count), row.answer);
        if (row.answer == -1) {
            EXPECT_EQ(count, 77u);
        } else {
            EXPECT_EQ(count, row.copied.size());
        }
        EXPECT_EQ(std::string(buffer, row.copied.size()), row.copied);
        EXPECT_EQ(buffer[row.copied.size()], '#');
    }
    record->close(record);
}

TEST_F(RedirectTest, WritesSeeksAndTellsGoToTheEventsWithin32Bits) {
    LydvwRedirect* record = View();
    ASSERT_NE(record, nullptr);
    std::vector<Variant> written;
    m_sink->handlers[Event::Write] = [&](std::span<const Variant> args) {
        Variant data;
        args[3].Dereference(data);
        written.push_back(data);
        SetI4(args[5], 1000);
    };
    uint32_t count = 0;
    EXPECT_EQ(record->write(record, "", 0, &count), 0);
    EXPECT_EQ(record->write(record, "xyz", 3, &count), 0);
    // A count beyond what was handed over is not believed.
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(written, (std::vector<Variant>{BytesOf(""), BytesOf("xyz")}));

    // Tell: unhandled it fails with 1; handled, the 64-bit entry stores the value with a high word of 0.
    uint32_t offset = 9;
    EXPECT_EQ(record->tell(record, &offset), 1);
    EXPECT_EQ(offset, 9u);
    m_sink->handlers[Event::Tell] = [](std::span<const Variant> args) {
        SetI4(args[3], 500);
        SetI4(args[4], 0);
    };
    int64_t wide = -1;
    EXPECT_EQ(record->tell64(record, &wide), 0);
    EXPECT_EQ(wide, 500);

    std::vector<std::pair<Variant, Variant>> seeks;
    m_sink->handlers[Event::Seek] = [&](std::span<const Variant> args) { seeks.emplace_back(args[3], args[4]); };
    EXPECT_EQ(record->seek64(record, LYDVW_SEEK_END, -20), 0);
    // Beyond what a 32-bit offset carries: refused, never cut to its low word.
    EXPECT_EQ(record->seek64(record, LYDVW_SEEK_SET, (int64_t{1} << 32) + 16), -1);
    EXPECT_EQ(record->seek64(record, LYDVW_SEEK_SET, int64_t{1} << 31), -1);
    EXPECT_EQ(seeks, (std::vector<std::pair<Variant, Variant>>{{Variant::I2(2), Variant::I4(-20)}}));
    record->close(record);
}

TEST_F(RedirectTest, GetInfoAnswersNumbersAndTextWithinTheBuffer) {
    LydvwRedirect* record = View();
    ASSERT_NE(record, nullptr);
    m_sink->fired.clear();
    LydvwRedirectInfo info{};
    info.size = sizeof info;
    EXPECT_EQ(record->get_info(record, LYDVW_INFO_NUMBER, &info), 0);
    EXPECT_EQ(info.number, 2u);
    EXPECT_TRUE(m_sink->fired.empty());

    m_sink->handlers[Event::GetInfo] = [](std::span<const Variant> args) {
        SetVariant(args[4], args[3] == Variant::I4(5) ? Variant::I4(1) : Variant::Bstr("caf\xE9 menu.pdf"));
    };
    char text[8];
    std::memset(text, '#', sizeof text);
    info.buffer = reinterpret_cast<uint64_t>(text);
    info.buffer_size = 5;
    EXPECT_EQ(record->get_info(record, LYDVW_INFO_TEXT, &info), 0);
    // Cut within the buffer and terminated, never within a character.
    EXPECT_STREQ(text, "caf");
    EXPECT_EQ(text[7], '#');
    info.buffer_size = sizeof text;
    EXPECT_EQ(record->get_info(record, LYDVW_INFO_TEXT2, &info), 0);
    EXPECT_STREQ(text, "caf\xC3\xA9 m");
    EXPECT_EQ(record->get_info(record, 5, &info), 0);
    EXPECT_STREQ(text, "caf\xC3\xA9 m");
    record->close(record);
}

TEST_F(RedirectTest, GenSecondAnswersAPathOrAnOpenedRecord) {
    LydvwRedirect* record = View();
    ASSERT_NE(record, nullptr);
    struct Answer {
        Variant spec;
        int32_t type;
        int32_t result;
    } answer{Variant::Bstr("/docs/second.bin"), 2, 0};
    m_sink->handlers[Event::GenSecond] = [&](std::span<const Variant> args) {
        EXPECT_EQ(args[3], Variant::Bstr("fonts\xE9"));
        SetVariant(args[4], answer.spec);
        SetI4(args[5], answer.type);
        SetI4(args[7], answer.result);
    };
    const std::string name = "fonts\xC3\xA9";
    char path[17];
    LydvwRedirectInfo info{};
    info.size = sizeof info;
    info.name = reinterpret_cast<uint64_t>(name.c_str());
    info.buffer = reinterpret_cast<uint64_t>(path);
    info.buffer_size = sizeof path;
    EXPECT_EQ(record->get_info(record, LYDVW_INFO_SECOND, &info), 0);
    EXPECT_EQ(info.spec_type, 2u);
    EXPECT_STREQ(path, "/docs/second.bin");
    // A path longer than the buffer is refused, not cut into another file's name.
    answer.spec = Variant::Bstr("/docs/second.bin2");
    EXPECT_EQ(record->get_info(record, LYDVW_INFO_SECOND2, &info), -1);
    for (const auto& [type, result] : {std::pair{7, 0}, std::pair{2, 3}}) {
        answer.type = type;
        answer.result = result;
        EXPECT_EQ(record->get_info(record, LYDVW_INFO_SECOND, &info), -1);
    }

    // Spec type 13: Open is raised for the new record before the engine gets it, and its result passes.
    answer = {Variant::Bstr("second"), 13, 0};
    m_sink->handlers[Event::Open] = [](std::span<const Variant> args) { SetI4(args[3], 7); };
    m_sink->fired.clear();
    EXPECT_EQ(record->get_info(record, LYDVW_INFO_SECOND, &info), 7);
    EXPECT_EQ(Redirected(), (std::vector<DISPID>{Id(Event::GenSecond), Id(Event::Open)}));
    m_sink->handlers.erase(Event::Open);
    m_sink->specs.clear();
    ASSERT_EQ(record->get_info(record, LYDVW_INFO_SECOND, &info), 0);
    EXPECT_EQ(info.spec_type, 13u);
    auto* second = reinterpret_cast<LydvwRedirect*>(info.spec);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second->tell64, nullptr);
    uint32_t offset = 0;
    EXPECT_EQ(second->tell(second, &offset), 1);
    EXPECT_EQ(second->close(second), 0);
    EXPECT_EQ(m_sink->specs, (std::vector<std::string>{"doc", "second", "second", "second"}));
    record->close(record);
}

TEST_F(RedirectTest, TheHostsObjectServesTheRecordAfterTheHostDropsIt) {
    auto file = std::make_shared<HostFile>("0123456789");
    std::weak_ptr<HostFile> watch = file;
    LydvwRedirect* record = View(Variant::Unknown(file), "served");
    file.reset();
    ASSERT_NE(record, nullptr);
    ASSERT_FALSE(watch.expired());
    char buffer[4];
    uint32_t count = 0;
    watch.lock()->countExtra = 100;
    EXPECT_EQ(record->read(record, buffer, sizeof buffer, &count), 0);
    // The object's count is believed only as far as the buffer goes.
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(std::string(buffer, 4), "0123");
    EXPECT_EQ(record->seek64(record, LYDVW_SEEK_END, 0), 0);
    int64_t end = 0;
    EXPECT_EQ(record->tell64(record, &end), 0);
    EXPECT_EQ(end, 10);
    LydvwRedirectInfo info{};
    info.size = sizeof info;
    EXPECT_EQ(record->get_info(record, LYDVW_INFO_NUMBER, &info), 0);
    EXPECT_TRUE(Redirected().empty());
    EXPECT_EQ(record->close(record), 0);
    EXPECT_TRUE(watch.expired());
}

TEST_F(RedirectTest, TheObjectsSecondFilesFailOnAnyFailureAndGetTheirOwnOpen) {
    auto file = std::make_shared<HostFile>("first");
    auto nested = std::make_shared<HostFile>("second");
    file->second = nested;
    LydvwRedirect* record = View(Variant::Unknown(file));
    ASSERT_NE(record, nullptr);
    const std::string name = "part";
    LydvwRedirectInfo info{};
    info.size = sizeof info;
    info.name = reinterpret_cast<uint64_t>(name.c_str());
    file->secondAnswer = automation::E_INVALIDARG;
    EXPECT_EQ(record->get_info(record, LYDVW_INFO_SECOND, &info), -1);
    file->secondAnswer = automation::S_OK;
    nested->openAnswer = automation::E_FAIL;
    EXPECT_EQ(record->get_info(record, LYDVW_INFO_SECOND, &info), -1);
    nested->openAnswer = automation::S_OK;
    ASSERT_EQ(record->get_info(record, LYDVW_INFO_SECOND, &info), 0);
    auto* second = reinterpret_cast<LydvwRedirect*>(info.spec);
    char buffer[16];
    uint32_t count = 0;
    EXPECT_EQ(second->read(second, buffer, sizeof buffer, &count), 0);
    EXPECT_EQ(std::string(buffer, count), "second");
    second->close(second);
    EXPECT_EQ(nested->calls, (std::vector<std::string>{"Open part", "Open part", "Close handle"}));
    record->close(record);

    // A second file named by an event handler and served by an object is opened by that object.
    m_sink->handlers[Event::GenSecond] = [&](std::span<const Variant> args) {
        SetVariant(args[4], Variant::Bstr("nested"));
        SetI4(args[5], 13);
        SetVariant(args[6], Variant::Unknown(nested));
    };
    record = View();
    ASSERT_NE(record, nullptr);
    m_sink->fired.clear();
    nested->calls.clear();
    ASSERT_EQ(record->get_info(record, LYDVW_INFO_SECOND, &info), 0);
    EXPECT_EQ(Redirected(), std::vector<DISPID>{Id(Event::GenSecond)});
    EXPECT_EQ(nested->calls, std::vector<std::string>{"Open nested"});
    // Left open: the control frees it when it goes.
}

}  // namespace
}  // namespace docview
