// The control's search, zoom and full-screen members on an in-process scripted engine that keeps every
// request as bytes: the argument checks, the two search records byte for byte, and the options they send.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "docview/control_strings.h"
#include "docview/qelctrl.h"
#include "docview/tests/null_window.h"
#include "docview/tests/stub_engine.h"
#include "platform/user_prompt.h"
#include "testsupport/test_support.h"

namespace docview {
namespace {

namespace automation = platform::automation;
using automation::DISPID;
using automation::InvokeKind;
using automation::Variant;

struct Sent {
    uint32_t request;
    uint64_t wparam;
    uint32_t option;    // of 2074
    std::string bytes;  // the record, or the option's data
};

struct RecordingEngine {
    std::vector<Sent> sent;
    int64_t answer = 0;  // to the search requests

    std::vector<Sent> Of(uint32_t request) const {
        std::vector<Sent> found;
        for (const Sent& s : sent) {
            if (s.request == request)
                found.push_back(s);
        }
        return found;
    }
};

RecordingEngine* g_engine = nullptr;

int64_t RequestFn(LydvwView*, uint32_t request, uint64_t wparam, uint64_t lparam) {
    Sent sent{request, wparam, 0, {}};
    if (request == LYDVW_R_SET_OPTION) {
        const auto* block = reinterpret_cast<const LydvwOptionBlock*>(lparam);
        sent.option = block->option;
        sent.bytes.assign(reinterpret_cast<const char*>(block->data), OptionDataSize(block->option));
    } else if ((request == LYDVW_R_SEARCH || request == LYDVW_R_SEARCH_DIALOG) && lparam) {
        uint32_t size = 0;
        std::memcpy(&size, reinterpret_cast<const void*>(lparam), sizeof size);
        sent.bytes.assign(reinterpret_cast<const char*>(lparam), size);
    }
    g_engine->sent.push_back(sent);
    return request == LYDVW_R_SEARCH || request == LYDVW_R_SEARCH_DIALOG || request == LYDVW_R_SEARCH_NEXT
               ? g_engine->answer
               : 0;
}

// A record as the engine reads it: size, the text field, then four 16-bit fields, all little-endian.
std::string Expected(uint32_t size, const std::u16string& wide, const std::string& narrow, uint16_t length,
                     uint16_t type, uint16_t from, uint16_t direction) {
    std::string bytes(size, '\0');
    std::memcpy(bytes.data(), &size, 4);
    if (size == sizeof(LydvwSearchWide)) {
        std::memcpy(bytes.data() + 4, wide.data(), wide.size() * 2);
    } else {
        std::memcpy(bytes.data() + 4, narrow.data(), narrow.size());
    }
    const uint16_t tail[] = {length, type, from, direction};
    std::memcpy(bytes.data() + size - 8, tail, sizeof tail);
    return bytes;
}

class ControlSearchTest : public testsupport::RegistryTest {
  protected:
    void SetUp() override {
        RegistryTest::SetUp();
        g_engine = &m_engine;
        m_prompt = std::make_unique<platform::ScopedDefaultPrompt>(m_prompts);
        ControlSite site = testing::StubControlSite(RequestFn);
        m_control = CreateQelctrl(std::move(site));
        Invoke("ErrorShowMsg", InvokeKind::PropertyPut, {Variant::I4(0)});
    }
    void TearDown() override {
        m_control.reset();
        m_prompt.reset();
        g_engine = nullptr;
        RegistryTest::TearDown();
    }
    void WithView() {
        ASSERT_NE(m_control->Widget(), nullptr);
        m_engine.sent.clear();
    }

    Variant Invoke(std::string_view name, InvokeKind kind, std::vector<Variant> args,
                   automation::HRESULT expected = automation::S_OK) {
        DISPID id = automation::DISPID_UNKNOWN;
        EXPECT_EQ(m_control->GetIDOfName(name, id), automation::S_OK) << name;
        Variant result;
        automation::InvokeError error;
        EXPECT_EQ(m_control->Invoke(id, kind, args, &result, &error), expected) << name;
        return result;
    }
    Variant Call(std::string_view name, std::vector<Variant> args = {},
                 automation::HRESULT expected = automation::S_OK) {
        return Invoke(name, InvokeKind::Method, std::move(args), expected);
    }
    int16_t Search(int32_t dialog, const std::string& text, int16_t type, int16_t from, int16_t direction) {
        return Call("Search", {Variant::I4(dialog), Variant::Bstr(text), Variant::I2(type), Variant::I2(from),
                               Variant::I2(direction)})
            .AsI2();
    }
    int32_t ErrorCode() { return Invoke("ErrorCode", InvokeKind::PropertyGet, {}).AsI4(); }

    RecordingEngine m_engine;
    platform::RecordingPrompt m_prompts;
    std::unique_ptr<platform::ScopedDefaultPrompt> m_prompt;
    std::shared_ptr<Cqelctrl> m_control;
};

TEST_F(ControlSearchTest, SearchSendsTheRecordOfItsFormAsBytesAndAnswersTheEnginesAnswer) {
    WithView();
    const std::string longest(79, 'x');
    struct Row {
        const char* name;
        int32_t unicode;
        int32_t dialog;
        std::string text;
        int16_t type, from, direction;
        uint32_t request;
        std::string bytes;
    };
    const Row rows[] = {
        {"8-bit", 0, 0, "beta", 2, 4, 2, LYDVW_R_SEARCH, Expected(92, u"", "beta", 4, 2, 4, 2)},
        // Windows-1252 text: e acute and the euro sign, as the wide form carries them.
        {"wide", 1, 0, "caf\xE9 \x80", 1, 2, 1, LYDVW_R_SEARCH,
         Expected(172, u"caf\u00E9 \u20AC", "", 6, 1, 2, 1)},
        {"8-bit in the dialog, whatever SystemUnicode says", 1, 7, "caf\xE9", 1, 1, 1, LYDVW_R_SEARCH_DIALOG,
         Expected(92, u"", "caf\xE9", 4, 1, 1, 1)},
        {"79 characters, the terminator last", 0, 0, longest, 1, 1, 1, LYDVW_R_SEARCH,
         Expected(92, u"", longest, 79, 1, 1, 1)},
        {"79 characters wide", 1, 0, longest, 1, 1, 1, LYDVW_R_SEARCH,
         Expected(172, std::u16string(79, u'x'), "", 79, 1, 1, 1)},
    };
    m_engine.answer = LYDVW_E_NOT_FOUND;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Invoke("SystemUnicode", InvokeKind::PropertyPut, {Variant::I4(row.unicode)});
        m_engine.sent.clear();
        EXPECT_EQ(Search(row.dialog, row.text, row.type, row.from, row.direction), 25);
        ASSERT_EQ(m_engine.sent.size(), 1u);
        EXPECT_EQ(m_engine.sent[0].request, row.request);
        EXPECT_EQ(m_engine.sent[0].bytes, row.bytes);
        // Nothing found is the answer, not an error of the call.
        EXPECT_EQ(ErrorCode(), 0);
    }
    m_engine.answer = 0;
    EXPECT_EQ(Search(0, "x", 1, 1, 1), 0);
}

TEST_F(ControlSearchTest, ArgumentsOutOfRangeAreReportedAndAnsweredWithoutARequest) {
    WithView();
    struct Row {
        std::string text;
        int16_t type, from, direction;
        int32_t error;
    };
    const Row rows[] = {{"a", 0, 1, 1, 15},
                        {"a", 3, 1, 1, 15},
                        {"a", 1, 0, 1, 15},
                        {"a", 1, 3, 1, 15},
                        {"a", 1, 5, 1, 15},
                        {"a", 1, 1, 0, 15},
                        {"a", 1, 1, 3, 15},
                        {"a", -1, 1, 1, 15},
                        {std::string(80, 'x'), 1, 1, 1, kErrTextTooLong},
                        {std::string(200, 'x'), 2, 4, 2, kErrTextTooLong}};
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.type) + "/" + std::to_string(row.from) + "/" +
                     std::to_string(row.direction) + " " + std::to_string(row.text.size()));
        m_engine.sent.clear();
        // The id it reported, never 0, which would read as found.
        EXPECT_EQ(Search(0, row.text, row.type, row.from, row.direction), row.error);
        EXPECT_TRUE(m_engine.sent.empty());
        EXPECT_EQ(ErrorCode(), row.error);
    }
    EXPECT_EQ(Invoke("ErrorMsg", InvokeKind::PropertyGet, {}).AsBstr(),
              "The text passed to this method is too long!");
}

TEST_F(ControlSearchTest, SearchNextSendsItsDirectionAndRefusesOthers) {
    WithView();
    m_engine.answer = LYDVW_E_NOT_FOUND;
    for (int16_t direction : {0, 1, 2}) {
        m_engine.sent.clear();
        EXPECT_EQ(Call("SearchNext", {Variant::I2(direction)}).AsI2(), 25);
        ASSERT_EQ(m_engine.sent.size(), 1u);
        EXPECT_EQ(m_engine.sent[0].request, static_cast<uint32_t>(LYDVW_R_SEARCH_NEXT));
        EXPECT_EQ(m_engine.sent[0].wparam, static_cast<uint64_t>(direction));
    }
    for (int16_t direction : {3, -1}) {
        m_engine.sent.clear();
        EXPECT_EQ(Call("SearchNext", {Variant::I2(direction)}).AsI2(), 15);
        EXPECT_TRUE(m_engine.sent.empty());
        EXPECT_EQ(ErrorCode(), 15);
    }
}

TEST_F(ControlSearchTest, WithoutAnEngineWindowEveryMemberReports16640) {
    EXPECT_EQ(Search(0, "a", 1, 1, 1), static_cast<int16_t>(kErrWindowless));
    EXPECT_EQ(ErrorCode(), kErrWindowless);
    EXPECT_EQ(Call("SearchNext", {Variant::I2(1)}).AsI2(), static_cast<int16_t>(kErrWindowless));
    Call("IMGZoom", {Variant::I2(1)});
    Call("IMGShowFullScreen", {Variant::I4(1)});
    EXPECT_EQ(ErrorCode(), kErrWindowless);
    EXPECT_TRUE(m_engine.sent.empty());
    EXPECT_FALSE(m_control->Dirty());
}

TEST_F(ControlSearchTest, ZoomSendsTheBitmapThenTheVectorOptionAndMarksTheControlDirty) {
    WithView();
    Invoke("IMGXZoomPercent", InvokeKind::PropertyPut, {Variant::I4(150)});
    Invoke("IMGYZoomPercent", InvokeKind::PropertyPut, {Variant::I4(80)});
    m_engine.sent.clear();
    const int refreshed = testing::NullWindow::refreshed;
    Call("IMGZoom", {Variant::I2(0)});
    const LydvwZoom zoom{150, 100, 80, 100};
    const std::string record(reinterpret_cast<const char*>(&zoom), sizeof zoom);
    ASSERT_EQ(m_engine.sent.size(), 2u);
    EXPECT_EQ(m_engine.sent[0].option, static_cast<uint32_t>(LYDVW_OPT_BMP_ZOOM));
    EXPECT_EQ(m_engine.sent[1].option, static_cast<uint32_t>(LYDVW_OPT_VEC_ZOOM));
    EXPECT_EQ(m_engine.sent[0].bytes, record);
    EXPECT_EQ(m_engine.sent[1].bytes, record);
    EXPECT_TRUE(m_control->Dirty());
    EXPECT_EQ(testing::NullWindow::refreshed, refreshed + 1);

    for (int16_t type : {1, 2, 3, 4}) {
        m_engine.sent.clear();
        Call("IMGZoom", {Variant::I2(type)});
        const std::string value(reinterpret_cast<const char*>(&type), 2);
        ASSERT_EQ(m_engine.sent.size(), 2u);
        EXPECT_EQ(m_engine.sent[0].option, static_cast<uint32_t>(LYDVW_OPT_BMP_ZOOM_TYPE));
        EXPECT_EQ(m_engine.sent[1].option, static_cast<uint32_t>(LYDVW_OPT_VEC_ZOOM_TYPE));
        EXPECT_EQ(m_engine.sent[0].bytes, value);
        EXPECT_EQ(m_engine.sent[1].bytes, value);
    }
    // A type that is none fails the call itself, negative ones as those above 4, and sends nothing.
    for (int16_t type : {5, -1, -32768}) {
        m_engine.sent.clear();
        Call("IMGZoom", {Variant::I2(type)}, automation::MakeHResult(0x800A000Fu));
        EXPECT_TRUE(m_engine.sent.empty()) << type;
        EXPECT_EQ(ErrorCode(), 15);
    }
}

TEST_F(ControlSearchTest, FullScreenSendsOneOrZeroForImagesThenForPdfPages) {
    WithView();
    for (const auto& [shown, sent] : {std::pair{7, 1}, std::pair{0, 0}, std::pair{-1, 1}}) {
        m_engine.sent.clear();
        Call("IMGShowFullScreen", {Variant::I4(shown)});
        ASSERT_EQ(m_engine.sent.size(), 2u);
        EXPECT_EQ(m_engine.sent[0].option, static_cast<uint32_t>(LYDVW_OPT_BMP_FULL_SCREEN));
        EXPECT_EQ(m_engine.sent[1].option, static_cast<uint32_t>(LYDVW_OPT_VEC_FULL_SCREEN));
        const int32_t value = sent;
        EXPECT_EQ(m_engine.sent[0].bytes, std::string(reinterpret_cast<const char*>(&value), 4));
        EXPECT_EQ(m_engine.sent[1].bytes, m_engine.sent[0].bytes);
    }
    EXPECT_FALSE(m_control->Dirty());
}

}  // namespace
}  // namespace docview
