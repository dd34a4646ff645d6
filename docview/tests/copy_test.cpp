// Copy and raw text on a scripted engine that hands out blocks from the heap as the real engine does, sized
// exactly as the script says: lying sizes, zeros in the text and a unit width toggled between fetch and read
// must neither overrun nor leak a block (the sanitizer run checks), and errors take their routes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "docview/control_strings.h"
#include "docview/qel_pos.h"
#include "docview/qelctrl.h"
#include "docview/tests/null_window.h"
#include "docview/tests/stub_engine.h"
#include "platform/user_prompt.h"

namespace docview {
namespace {

namespace automation = platform::automation;
using automation::DISPID;
using automation::InvokeError;
using automation::InvokeKind;
using automation::Variant;

// ---- The engine: the next block and the sizes it states ----

struct Block {
    std::string bytes;  // exactly what is allocated: no terminator unless the script puts one
    uint32_t length = 0;
    uint32_t byteLength = 0;
    uint32_t unitWidth = 1;
    uint32_t charSet = LYDVW_CHARSET_1252;
    uint32_t pieceOffset = 0;
    bool null = false;
};

struct Engine {
    Block next;
    int64_t answer = 0;
    int requests = 0;
    int handedOut = 0;
    int freed = 0;
    std::optional<LydvwCopyRange> copy;
    std::optional<LydvwRawText> raw;
};
Engine* g_engine = nullptr;

void* Allocate(const Block& block) {
    if (block.null)
        return nullptr;
    void* memory = std::malloc(std::max<size_t>(block.bytes.size(), 1));
    std::memcpy(memory, block.bytes.data(), block.bytes.size());
    ++g_engine->handedOut;
    return memory;
}

int64_t RequestFn(LydvwView*, uint32_t request, uint64_t, uint64_t lparam) {
    if (request != LYDVW_R_COPY_RANGE && request != LYDVW_R_RAW_TEXT)
        return 0;
    ++g_engine->requests;
    const Block& block = g_engine->next;
    if (request == LYDVW_R_COPY_RANGE) {
        auto* record = reinterpret_cast<LydvwCopyRange*>(lparam);
        g_engine->copy = *record;
        record->block = reinterpret_cast<uint64_t>(Allocate(block));
        record->block_size = block.byteLength;
    } else {
        auto* record = reinterpret_cast<LydvwRawText*>(lparam);
        g_engine->raw = *record;
        record->block = reinterpret_cast<uint64_t>(Allocate(block));
        record->length = block.length;
        record->byte_length = block.byteLength;
        record->unit_width = block.unitWidth;
        record->char_set = block.charSet;
        record->piece_offset = block.pieceOffset;
    }
    return g_engine->answer;
}
void FreeFn(void* block) {
    if (block)
        ++g_engine->freed;
    std::free(block);
}

class Sink : public automation::IDispatch {
  public:
    automation::HRESULT GetIDsOfNames(std::span<const std::string_view>, std::span<DISPID>) override {
        return automation::DISP_E_UNKNOWNNAME;
    }
    automation::HRESULT Invoke(DISPID dispid, InvokeKind, std::span<const Variant>, Variant*,
                               InvokeError*) override {
        fired.push_back(dispid);
        return automation::S_OK;
    }
    std::vector<DISPID> fired;
};

std::string Utf16(std::u16string_view text) {
    std::string bytes;
    for (char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

class CopyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_engine = &m_engine;
        m_prompt = std::make_unique<platform::ScopedDefaultPrompt>(m_prompts);
        ControlSite site;
        site.makeWindow = [](Cqelctrl& control) { return new testing::NullWindow(control); };
        site.loadEngine = [this](EngineApi& api) {
            if (m_noEngine)
                return kNoLibrary;
            api = testing::StubEngineApi(RequestFn);
            api.freeBlock = FreeFn;
            return 0;
        };
        m_control = CreateQelctrl(std::move(site));
    }
    void Start() {
        ASSERT_NE(m_control->Widget(), nullptr);
        std::shared_ptr<automation::ConnectionPoint> point;
        m_control->FindConnectionPoint(fennick::kDqelctrlIid, point);
        uint32_t cookie = 0;
        point->Advise(m_sink, cookie);
    }
    void TearDown() override {
        m_control.reset();
        m_prompt.reset();
        // Every block handed out was given back.
        EXPECT_EQ(m_engine.freed, m_engine.handedOut);
        g_engine = nullptr;
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
    automation::HRESULT Copy(int32_t format, Variant start, Variant end, InvokeError* error = nullptr) {
        return Invoke("Copy", InvokeKind::Method, {Variant::I4(format), std::move(start), std::move(end)},
                      nullptr, error);
    }
    static Variant Pos(const LydvwPosition& at = {}) {
        return Variant::Dispatch(std::shared_ptr<automation::IDispatch>(CreateQelPos(at)));
    }

    Engine m_engine;
    bool m_noEngine = false;
    platform::RecordingPrompt m_prompts;
    std::unique_ptr<platform::ScopedDefaultPrompt> m_prompt;
    std::shared_ptr<Sink> m_sink = std::make_shared<Sink>();
    std::shared_ptr<Cqelctrl> m_control;
};

TEST_F(CopyTest, RawTextKeepsWhatTheBlockHoldsInTheWidthItCameIn) {
    Start();
    struct Row {
        const char* what;
        Block block;
        bool unicodeOn;  // SystemUnicode while fetching; toggled before reading
        std::string text;
        int32_t length;
    };
    const Row rows[] = {
        {"8-bit with zeros", {std::string("a\0b\0c\0", 6), 5, 5}, false, "a b c", 5},
        {"16-bit with zeros",
         {Utf16(std::u16string(u"a\0b\0", 4)) + std::string(2, '\0'), 4, 8, 2, LYDVW_CHARSET_UTF16LE},
         true,
         "a b ",
         4},
        {"16-bit beyond 1252",
         {Utf16(u"\u00e9\u20ac\u4e2d"), 3, 6, 2, LYDVW_CHARSET_UTF16LE},
         true,
         "\xe9\x80?",
         3},
        {"more characters than bytes", {"abc", 40, 3}, false, "abc", 3},
        {"more bytes than characters", {"abcdefgh", 2, 8}, false, "ab", 2},
        {"an odd byte count", {Utf16(u"xyz").substr(0, 5), 3, 5, 2}, true, "xy", 2},
        {"no block", {"", 9, 9, 1, LYDVW_CHARSET_1252, 0, true}, false, "", 0},
        {"no width stated, Unicode on", {Utf16(u"wide"), 4, 8, 0}, true, "wide", 4},
        {"no width stated, Unicode off", {"narrow", 6, 6, 0}, false, "narrow", 6},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ASSERT_EQ(Invoke("SystemUnicode", InvokeKind::PropertyPut, {Variant::I4(row.unicodeOn ? 1 : 0)}),
                  automation::S_OK);
        m_engine.next = row.block;
        Variant fetched;
        ASSERT_EQ(Invoke("GetRawText", InvokeKind::Method, {Variant::I4(77)}, &fetched), automation::S_OK);
        EXPECT_EQ(fetched, Variant::I4(1));
        EXPECT_EQ(m_engine.raw->offset, 77u);
        // Read with the other width set: the text stays as it was fetched.
        Invoke("SystemUnicode", InvokeKind::PropertyPut, {Variant::I4(row.unicodeOn ? 0 : 1)});
        EXPECT_EQ(Get("RawTextString"), Variant::Bstr(row.text));
        EXPECT_EQ(Get("RawTextLength"), Variant::I4(row.length));
        EXPECT_EQ(Get("RawTextCharSet"), Variant::I4(static_cast<int32_t>(row.block.charSet)));
        EXPECT_EQ(m_engine.freed, m_engine.handedOut);
    }
    m_engine.next = {"piece", 5, 5, 1, LYDVW_CHARSET_1252, 4096};
    Invoke("GetRawText", InvokeKind::Method, {Variant::I4(5000)});
    EXPECT_EQ(Get("RawTextOffset"), Variant::I4(4096));
    EXPECT_EQ(Get("ErrorCode"), Variant::I4(0));
}

TEST_F(CopyTest, ARawTextRefusalAnswersFalseWithoutAnErrorAndKeepsTheLastPiece) {
    Start();
    m_engine.next = {"kept", 4, 4};
    Invoke("GetRawText", InvokeKind::Method, {Variant::I4(0)});
    for (int64_t answer : {LYDVW_E_RAW_TEXT_OFF, LYDVW_E_NOT_FOUND}) {
        m_engine.answer = answer;
        m_engine.next = {"dropped", 7, 7};
        Variant fetched;
        EXPECT_EQ(Invoke("GetRawText", InvokeKind::Method, {Variant::I4(4)}, &fetched), automation::S_FALSE);
        EXPECT_EQ(fetched, Variant::I4(0));
        EXPECT_EQ(Get("ErrorCode"), Variant::I4(0));
        EXPECT_EQ(Get("RawTextString"), Variant::Bstr("kept"));
    }
    EXPECT_TRUE(m_sink->fired.empty());
    EXPECT_TRUE(m_prompts.Shown().empty());
}

TEST_F(CopyTest, CopyKeepsTheTextUpToItsTerminatorAndFreesEveryBlock) {
    Start();
    const LydvwPosition from{3, 0, 1, 2};
    const LydvwPosition to{3, 0, 0, 9};
    m_engine.next = {std::string("first\0", 6), 0, 5};
    ASSERT_EQ(Copy(0, Pos(from), Pos(to)), automation::S_OK);
    EXPECT_EQ(m_engine.copy->size, sizeof(LydvwCopyRange));
    EXPECT_EQ(m_engine.copy->format, static_cast<uint32_t>(LYDVW_COPY_TEXT));
    EXPECT_EQ(m_engine.copy->start.page, 1);
    EXPECT_EQ(m_engine.copy->start.offset, 2);
    EXPECT_EQ(m_engine.copy->end.offset, 9);
    EXPECT_EQ(Get("CopyBuffer"), Variant::Bstr("first"));
    // A second copy: the first block is long gone, the rich format asked.
    m_engine.next = {std::string("{\\rtf1 x}\0", 10), 0, 9};
    ASSERT_EQ(Copy(1, Pos(from), Pos(to)), automation::S_OK);
    EXPECT_EQ(m_engine.copy->format, static_cast<uint32_t>(LYDVW_COPY_RICH_TEXT));
    EXPECT_EQ(Get("CopyBuffer"), Variant::Bstr("{\\rtf1 x}"));
    EXPECT_EQ(m_engine.freed, 2);
    // A block shorter than its stated size ends at its terminator; one without a terminator at its size.
    m_engine.next = {std::string("abc\0", 4), 0, 100};
    Copy(0, Pos(), Pos());
    EXPECT_EQ(Get("CopyBuffer"), Variant::Bstr("abc"));
    EXPECT_EQ(Get("CopyBufferSize"), Variant::I4(3));
    m_engine.next = {"unterminated", 0, 5};
    Copy(0, Pos(), Pos());
    EXPECT_EQ(Get("CopyBuffer"), Variant::Bstr("unter"));
    EXPECT_EQ(Get("CopyBufferSize"), Variant::I4(5));
    m_engine.next = {"", 0, 30, 1, 0, 0, true};
    Copy(0, Pos(), Pos());
    EXPECT_EQ(Get("CopyBuffer"), Variant::Bstr(""));
    EXPECT_EQ(Get("ErrorCode"), Variant::I4(0));
}

TEST_F(CopyTest, BadArgumentsReport15AndAnEngineFailureFailsTheCallWith8) {
    Start();
    m_engine.next = {std::string("kept\0", 5), 0, 4};
    Copy(0, Pos(), Pos());
    const int before = m_engine.requests;
    struct Row {
        const char* what;
        int32_t format;
        Variant start;
        Variant end;
    };
    const Row rows[] = {
        {"format 2", 2, Pos(), Pos()},
        {"format -1", -1, Pos(), Pos()},
        {"a number for the start", 0, Variant::I4(1), Pos()},
        {"no end", 0, Pos(), Variant::Missing()},
        {"an object that is no position", 1, Pos(), Variant::Dispatch(std::make_shared<Sink>())},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        m_sink->fired.clear();
        m_prompts.Clear();
        EXPECT_EQ(Copy(row.format, row.start, row.end), automation::S_OK);
        EXPECT_EQ(Get("ErrorCode"), Variant::I4(kErrBadParameter));
        EXPECT_EQ(m_sink->fired, std::vector<DISPID>{static_cast<DISPID>(fennick::Event::Error)});
        EXPECT_EQ(m_prompts.Shown().size(), 1u);
    }
    EXPECT_EQ(m_engine.requests, before);

    // The engine's own failure, whatever it is, fails the call as 8 without a box or event.
    m_sink->fired.clear();
    m_prompts.Clear();
    m_engine.answer = LYDVW_E_ARGUMENT;
    m_engine.next = {std::string("partial\0", 8), 0, 7};
    InvokeError error;
    EXPECT_EQ(Copy(0, Pos(), Pos(), &error), automation::MakeHResult(0x800A0008u));
    EXPECT_EQ(error.description, "An unknown error has occurred");
    EXPECT_EQ(Get("ErrorCode"), Variant::I4(8));
    EXPECT_TRUE(m_sink->fired.empty());
    EXPECT_TRUE(m_prompts.Shown().empty());
    EXPECT_EQ(Get("CopyBuffer"), Variant::Bstr("kept"));
}

TEST_F(CopyTest, WithoutAnEngineBothMethodsFail16640) {
    m_noEngine = true;
    Start();
    EXPECT_EQ(Copy(0, Pos(), Pos()), automation::S_OK);
    EXPECT_EQ(Get("ErrorCode"), Variant::I4(16640));
    Variant fetched;
    EXPECT_EQ(Invoke("GetRawText", InvokeKind::Method, {Variant::I4(0)}, &fetched), automation::S_OK);
    EXPECT_EQ(fetched, Variant::I4(0));
    EXPECT_EQ(Get("ErrorCode"), Variant::I4(16640));
    EXPECT_EQ(Get("CopyBufferSize"), Variant::I4(0));
    EXPECT_EQ(Get("RawTextString"), Variant::Bstr(""));
}

}  // namespace
}  // namespace docview
