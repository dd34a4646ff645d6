// The control's annotation members on an in-process scripted engine that keeps what it is given, answers
// finds from it (or from what it is told to keep after a clear), and fills the data buffer as a careless
// engine might.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "docview/annotations.h"
#include "docview/control_strings.h"
#include "docview/fennick_contract.h"
#include "docview/qel_pos.h"
#include "docview/qelctrl.h"
#include "docview/tests/control_calls.h"
#include "docview/tests/null_window.h"
#include "docview/tests/stub_engine.h"
#include "platform/user_prompt.h"
#include "testsupport/fake_dispatch_object.h"
#include "testsupport/test_support.h"

namespace docview {
namespace {

namespace automation = platform::automation;
using automation::DISPID;
using automation::InvokeKind;
using automation::Variant;
using automation::VarType;

struct Held {
    uint32_t kind = 0;
    uint32_t id = 0;
    uint32_t token = 0;
    LydvwPosition start{};
    LydvwPosition end{};
    uint32_t events = 0;
    uint32_t style = 0;
    std::u16string text;
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint32_t> pixels;
};

struct Request {
    uint32_t request;
    uint64_t wparam;
    uint64_t lparam;
};

struct AnnotationEngine {
    std::vector<Held> held;
    std::vector<Request> log;
    int64_t addAnswer = 0;
    int64_t gotoAnswer = 0;
    bool clears = true;  // false: a clear leaves the engine's side as it was
    // 2101: what the engine writes into the buffer (all of it, no terminator), and the type it gives.
    std::optional<std::string> data;
    uint32_t dataType = 0;
    std::optional<LydvwFindAnnotation> lastFind;
    std::optional<LydvwHighlightStyle> lastStyle;
    std::optional<LydvwSelection> selection;
    std::optional<LydvwShowPosition> shown;
};

Held Entry(uint32_t kind, uint32_t id, uint32_t token, const LydvwPosition& start, const LydvwPosition& end) {
    Held h;
    h.kind = kind;
    h.id = id;
    h.token = token;
    h.start = start;
    h.end = end;
    return h;
}

AnnotationEngine* g_engine = nullptr;

bool Matches(const Held& h, uint32_t criterion, uint32_t match) {
    return (match & LYDVW_MATCH_EXACT) ? h.id == criterion : (h.id & criterion) == criterion;
}

int64_t Answer(uint32_t request, uint64_t wparam, uint64_t lparam) {
    AnnotationEngine& engine = *g_engine;
    switch (request) {
        case LYDVW_R_ADD_ANNOTATION: {
            Held h;
            h.kind = static_cast<uint32_t>(wparam);
            if (h.kind == LYDVW_ANN_HIGHLIGHT) {
                const auto* r = reinterpret_cast<const LydvwAddHighlight*>(lparam);
                EXPECT_EQ(r->size, sizeof *r);
                h = Entry(h.kind, r->id, r->token, r->start, r->end);
                h.events = r->events;
                h.style = r->style;
            } else if (h.kind == LYDVW_ANN_HIDE) {
                const auto* r = reinterpret_cast<const LydvwAddHidden*>(lparam);
                EXPECT_EQ(r->size, sizeof *r);
                h = Entry(h.kind, r->id, r->token, r->start, r->end);
            } else if (h.kind == LYDVW_ANN_INSERT) {
                const auto* r = reinterpret_cast<const LydvwAddInsertText*>(lparam);
                EXPECT_EQ(r->size, sizeof *r);
                h = Entry(h.kind, r->id, r->token, r->position, r->position);
                h.text.assign(reinterpret_cast<const char16_t*>(r->text), r->length);
            } else {
                const auto* r = reinterpret_cast<const LydvwAddPicture*>(lparam);
                EXPECT_EQ(r->size, sizeof *r);
                h = Entry(h.kind, r->id, r->token, r->position, r->position);
                h.events = r->events;
                h.width = r->width;
                h.height = r->height;
                const auto* pixels = reinterpret_cast<const uint32_t*>(r->pixels);
                h.pixels.assign(pixels, pixels + size_t{r->width} * r->height);
            }
            if (engine.addAnswer != 0)
                return engine.addAnswer;
            engine.held.push_back(std::move(h));
            return 0;
        }
        case LYDVW_R_CLEAR_ANNOTATIONS:
            if (engine.clears) {
                const auto id = static_cast<uint32_t>(lparam);
                std::erase_if(engine.held, [&](const Held& h) {
                    return wparam == 0 || Matches(h, id, static_cast<uint32_t>(wparam));
                });
            }
            return 0;
        case LYDVW_R_FIND_ANNOTATION: {
            auto* r = reinterpret_cast<LydvwFindAnnotation*>(lparam);
            EXPECT_EQ(r->size, sizeof *r);
            engine.lastFind = *r;
            for (const Held& h : engine.held) {
                if (Matches(h, r->criterion, r->match)) {
                    r->id = h.id;
                    r->start = h.start;
                    r->end = h.end;
                    r->token = h.token;
                    return 0;
                }
            }
            return LYDVW_E_NOT_FOUND;
        }
        case LYDVW_R_GOTO_ANNOTATION:
            return engine.gotoAnswer;
        case LYDVW_R_HIGHLIGHT_STYLE:
            engine.lastStyle = *reinterpret_cast<const LydvwHighlightStyle*>(lparam);
            return engine.lastStyle->style > 0 ? 0 : int64_t{LYDVW_E_ARGUMENT};
        case LYDVW_R_ANNOTATION_DATA: {
            auto* r = reinterpret_cast<LydvwAnnotationData*>(lparam);
            EXPECT_EQ(r->buffer_size, LYDVW_ANNOTATION_DATA_MAX);
            if (!engine.data)
                return LYDVW_E_NOT_FOUND;
            std::memcpy(reinterpret_cast<char*>(r->buffer), engine.data->data(),
                        std::min<size_t>(engine.data->size(), r->buffer_size));
            r->has_type = engine.dataType != 0;
            r->data_type = engine.dataType;
            return 0;
        }
        case LYDVW_R_SET_SELECTION:
            engine.selection = *reinterpret_cast<const LydvwSelection*>(lparam);
            return 0;
        case LYDVW_R_SHOW_POSITION:
            engine.shown = *reinterpret_cast<const LydvwShowPosition*>(lparam);
            return 0;
        default:
            return 0;
    }
}

int64_t RequestFn(LydvwView*, uint32_t request, uint64_t wparam, uint64_t lparam) {
    g_engine->log.push_back({request, wparam, lparam});
    return Answer(request, wparam, lparam);
}

class EventSink : public automation::IDispatch {
  public:
    automation::HRESULT GetIDsOfNames(std::span<const std::string_view>, std::span<DISPID>) override {
        return automation::DISP_E_UNKNOWNNAME;
    }
    automation::HRESULT Invoke(DISPID dispid, InvokeKind, std::span<const Variant> args, Variant*,
                               automation::InvokeError*) override {
        if (dispid == static_cast<DISPID>(fennick::Event::AnnotationEvent))
            annotationEvents.emplace_back(args.begin(), args.end());
        return automation::S_OK;
    }
    std::vector<std::vector<Variant>> annotationEvents;
};

class AnnotationMembersTest : public testsupport::RegistryTest {
  protected:
    void SetUp() override {
        RegistryTest::SetUp();
        g_engine = &m_engine;
        m_prompt = std::make_unique<platform::ScopedDefaultPrompt>(m_prompts);
        ControlSite site = testing::StubControlSite(RequestFn);
        site.pictureBits = [this](const PictureSource& source) -> std::optional<PictureBits> {
            m_pictures.push_back(source);
            if (source.handle == 0)
                return std::nullopt;
            PictureBits bits;
            bits.icon = source.type == 3;
            bits.width = 3;
            bits.height = 2;
            bits.argb = {0xFF000001, 0xFF000002, 0xFF000003, 0xFF000004, 0xFF000005, 0xFF000006};
            return bits;
        };
        m_control = CreateQelctrl(std::move(site));
        std::shared_ptr<automation::ConnectionPoint> point;
        m_control->FindConnectionPoint(fennick::kDqelctrlIid, point);
        uint32_t cookie = 0;
        point->Advise(m_sink, cookie);
    }
    void TearDown() override {
        m_control.reset();
        m_prompt.reset();
        g_engine = nullptr;
        RegistryTest::TearDown();
    }
    void WithView() { ASSERT_NE(m_control->Widget(), nullptr); }

    Variant Call(std::string_view name, std::vector<Variant> args = {}) {
        return testing::InvokeByName(*m_control, name, InvokeKind::Method, std::move(args));
    }
    Variant Get(std::string_view name) {
        return testing::InvokeByName(*m_control, name, InvokeKind::PropertyGet);
    }
    static Variant Pos(const LydvwPosition& at) {
        return Variant::Dispatch(std::shared_ptr<automation::IDispatch>(CreateQelPos(at)));
    }
    void Hilite(int32_t id, Variant data, int16_t style = 0, int16_t background = 3, int16_t foreground = 0,
                LydvwPosition start = {1, 0, 0, 2}, LydvwPosition end = {1, 0, 0, 9}) {
        Call("AddAnnotationHilite",
             {Variant::I4(id), Variant::I2(style), Variant::I2(1), Variant::I2(background),
              Variant::I2(foreground), std::move(data), Pos(start), Pos(end)});
    }
    std::vector<uint32_t> TableIds() const {
        std::vector<uint32_t> ids;
        for (const auto& entry : m_control->Annotations().Entries())
            ids.push_back(entry.id);
        return ids;
    }
    size_t Requests(uint32_t request) const {
        return static_cast<size_t>(
            std::count_if(m_engine.log.begin(), m_engine.log.end(),
                          [request](const Request& r) { return r.request == request; }));
    }
    int64_t Notify(uint32_t notification, uint64_t lparam) {
        return m_control->OnNotify(notification, 0, lparam);
    }

    AnnotationEngine m_engine;
    platform::RecordingPrompt m_prompts;
    std::unique_ptr<platform::ScopedDefaultPrompt> m_prompt;
    std::shared_ptr<EventSink> m_sink = std::make_shared<EventSink>();
    std::vector<PictureSource> m_pictures;
    std::shared_ptr<Cqelctrl> m_control;
};

TEST_F(AnnotationMembersTest, EveryMethodNeedsTheEnginesView) {
    const Variant at = Pos({1, 0, 0, 0});
    const std::pair<std::string_view, std::vector<Variant>> calls[] = {
        {"HiliteStyle", {Variant::I2(1), Variant::I4(0), Variant::I4(0), Variant::I4(0), Variant::I2(0)}},
        {"AddAnnotationHilite",
         {Variant::I4(1), Variant::I2(0), Variant::I2(0), Variant::I2(1), Variant::I2(1), Variant(), at, at}},
        {"AddAnnotationHideText", {Variant::I4(1), Variant(), at, at}},
        {"AddAnnotationInsertText", {Variant::I4(1), Variant(), at, Variant::Bstr("x")}},
        {"AddAnnotationPicture", {Variant::I4(1), Variant(), Variant::I2(0), Variant(), at}},
        {"ClearAnnotations", {Variant::I2(1), Variant::I4(0)}},
        {"FindAnnotation", {Variant::I2(0), Variant::I2(0), Variant::I4(0), Variant::Missing()}},
        {"GotoAnnotation", {Variant::I2(0), Variant::I2(0), Variant::I4(0)}},
        {"GetAnnotationData", {Variant::I4(1), Variant::I2(0)}},
        {"AnnotationSetPos", {Variant::I4(1)}}};
    for (const auto& [name, args] : calls) {
        Call(name, args);
        EXPECT_EQ(m_control->ErrorCode(), kErrWindowless) << name;
    }
    EXPECT_TRUE(m_engine.log.empty());
    // The current annotation's gets are the control's own and never fail.
    EXPECT_EQ(Get("AnnotationId").AsI4(), 0);
    EXPECT_EQ(Get("AnnotationData").Type(), VarType::UI1);
    EXPECT_NE(PositionObjectOf(Get("AnnotationStartPos")), nullptr);
}

TEST_F(AnnotationMembersTest, TheStyleWordFollowsStyleAndColourIndexes) {
    WithView();
    struct Row {
        int16_t style, background, foreground;
        std::optional<uint32_t> word;  // none: refused with 15 before the engine hears of it
    };
    const Row rows[] = {
        {0, 3, 0, 0x20000002u},   {0, 0, 2, 0x10000010u},   {0, 16, 16, 0xFFu},
        {5, 99, 99, 0x40000005u}, {0, 3, 17, std::nullopt}, {0, 17, 1, std::nullopt},
    };
    for (const Row& row : rows) {
        m_engine.held.clear();
        Hilite(7, Variant::I4(1), row.style, row.background, row.foreground);
        if (row.word) {
            ASSERT_EQ(m_engine.held.size(), 1u);
            EXPECT_EQ(m_engine.held[0].style, *row.word);
            EXPECT_EQ(m_control->ErrorCode(), 0);
        } else {
            EXPECT_TRUE(m_engine.held.empty());
            EXPECT_EQ(m_control->ErrorCode(), kErrBadParameter);
        }
    }
    // Refused arguments leave no host data behind.
    EXPECT_EQ(m_control->Annotations().Entries().size(), 4u);
}

TEST_F(AnnotationMembersTest, AnAddGivesTheEngineATokenAndMakesTheAnnotationCurrent) {
    WithView();
    const LydvwPosition start{1, 0, 0, 4};
    const LydvwPosition end{1, 0, 1, 8};
    // Host ids need not be unique: each entry gets its own token.
    Hilite(5, Variant::Bstr("first"), 0, 3, 0, start, end);
    Hilite(5, Variant::Bstr("second"), 0, 3, 0, start, end);
    ASSERT_EQ(m_engine.held.size(), 2u);
    EXPECT_NE(m_engine.held[0].token, m_engine.held[1].token);
    EXPECT_NE(m_engine.held[0].token, 0u);
    EXPECT_EQ(m_engine.held[0].events, 1u);

    EXPECT_EQ(Get("AnnotationId").AsI4(), 5);
    EXPECT_EQ(Get("AnnotationDataType").AsI2(), 0);
    EXPECT_EQ(Get("AnnotationData").AsBstr(), "second");
    EXPECT_EQ(PositionObjectOf(Get("AnnotationStartPos"))->Read().offset, 4);
    EXPECT_EQ(PositionObjectOf(Get("AnnotationEndPos"))->Read().page, 1);

    // The engine's second entry names the second copy, though both carry id 5.
    std::swap(m_engine.held[0], m_engine.held[1]);
    EXPECT_EQ(
        Call("FindAnnotation", {Variant::I2(0), Variant::I2(2), Variant::I4(5), Variant::Missing()}).AsI4(),
        1);
    EXPECT_EQ(Get("AnnotationData").AsBstr(), "second");
}

TEST_F(AnnotationMembersTest, AFailedAddLeavesNoEntryAndTheCurrentAnnotationAsItWas) {
    WithView();
    Hilite(1, Variant::Bstr("kept"));
    m_engine.addAnswer = LYDVW_E_NO_FILE;
    Hilite(2, Variant::Bstr("refused"));
    EXPECT_EQ(m_control->ErrorCode(), LYDVW_E_NO_FILE);
    Call("AddAnnotationHideText",
         {Variant::I4(3), Variant::Bstr("refused"), Pos({1, 0, 0, 0}), Pos({1, 0, 0, 1})});
    EXPECT_EQ(TableIds(), (std::vector<uint32_t>{1}));
    EXPECT_EQ(Get("AnnotationId").AsI4(), 1);
    EXPECT_EQ(Get("AnnotationData").AsBstr(), "kept");
}

TEST_F(AnnotationMembersTest, ClearingByMaskRemovesEntriesHoldingAllItsBits) {
    WithView();
    struct Row {
        int16_t mode;
        int32_t id;
        uint64_t wparam;
        std::vector<uint32_t> left;
    };
    const Row rows[] = {
        {2, 0x10, LYDVW_MATCH_MASK, {0x20}}, {3, 0x30, LYDVW_MATCH_EXACT, {0x10, 0x20}}, {1, 0x7777, 0, {}}};
    for (const Row& row : rows) {
        m_engine.held.clear();
        m_control->OnNotify(LYDVW_N_FILE_CHANGE, 0, 1);
        for (int32_t id : {0x10, 0x20, 0x30})
            Hilite(id, Variant::I4(id));
        m_engine.log.clear();
        Call("ClearAnnotations", {Variant::I2(row.mode), Variant::I4(row.id)});
        ASSERT_EQ(m_engine.log.size(), 1u);
        EXPECT_EQ(m_engine.log[0].request, uint32_t{LYDVW_R_CLEAR_ANNOTATIONS});
        EXPECT_EQ(m_engine.log[0].wparam, row.wparam) << row.mode;
        EXPECT_EQ(m_engine.log[0].lparam, static_cast<uint64_t>(row.id));
        EXPECT_EQ(TableIds(), row.left) << row.mode;
    }
    m_engine.log.clear();
    Call("ClearAnnotations", {Variant::I2(4), Variant::I4(0)});
    EXPECT_EQ(m_control->ErrorCode(), kErrBadParameter);
    EXPECT_TRUE(m_engine.log.empty());
}

TEST_F(AnnotationMembersTest, AfterAClearTheOldIdFindsNoStaleData) {
    WithView();
    struct Row {
        std::string how;
        bool engineClears;  // false: an engine that still answers with the old token
    };
    const Row rows[] = {{"mode 1", true}, {"mode 3", true}, {"document closed", false}, {"mode 1", false}};
    for (const Row& row : rows) {
        m_engine.held.clear();
        m_engine.clears = row.engineClears;
        Call("ClearAnnotations", {Variant::I2(4), Variant::I4(0)});  // an error left by an earlier call
        Hilite(9, Variant::Bstr("old data"));
        if (row.how == "document closed")
            m_control->OnNotify(LYDVW_N_FILE_CHANGE, 0, 1);
        else
            Call("ClearAnnotations", {Variant::I2(row.how == "mode 1" ? 1 : 3), Variant::I4(9)});
        EXPECT_TRUE(m_control->Annotations().Entries().empty()) << row.how;
        const int32_t found =
            Call("FindAnnotation", {Variant::I2(0), Variant::I2(2), Variant::I4(9), Variant::Missing()})
                .AsI4();
        EXPECT_EQ(m_control->ErrorCode(), 0) << row.how;
        if (row.engineClears) {
            EXPECT_EQ(found, 0) << row.how;
        } else {
            // The engine's stale token finds nothing in the control: no data, never the freed copy.
            EXPECT_EQ(found, 1) << row.how;
            EXPECT_EQ(Get("AnnotationData").Type(), VarType::UI1) << row.how;
            EXPECT_EQ(Get("AnnotationData").AsUI1(), 0) << row.how;
        }
    }
}

TEST_F(AnnotationMembersTest, FindCriteriaByMaskAndAFindOfNothingIsNoError) {
    WithView();
    struct Row {
        int16_t findType, mask;
        int32_t id;
        uint32_t engineType, criterion, match;
    };
    const Row rows[] = {{0, 0, 77, 1, 0, LYDVW_MATCH_MASK},
                        {1, 1, 0x40, 2, 0x40, LYDVW_MATCH_MASK},
                        {2, 2, 0x41, 3, 0x41, LYDVW_MATCH_EXACT},
                        {3, 3, 5, 4, 0x84000000u, LYDVW_MATCH_MASK},
                        {0, 4, 5, 1, 0x82000000u, LYDVW_MATCH_MASK}};
    for (const Row& row : rows) {
        m_engine.lastFind.reset();
        Call("ClearAnnotations", {Variant::I2(4), Variant::I4(0)});  // an error the find must clear
        ASSERT_EQ(m_control->ErrorCode(), kErrBadParameter);
        EXPECT_EQ(Call("FindAnnotation", {Variant::I2(row.findType), Variant::I2(row.mask),
                                          Variant::I4(row.id), Pos({1, 0, 0, 3})})
                      .AsI4(),
                  0);
        ASSERT_TRUE(m_engine.lastFind);
        EXPECT_EQ(m_engine.lastFind->find_type, row.engineType);
        EXPECT_EQ(m_engine.lastFind->criterion, row.criterion);
        EXPECT_EQ(m_engine.lastFind->match, row.match);
        EXPECT_EQ(m_engine.lastFind->search.offset, 3);
        EXPECT_EQ(m_control->ErrorCode(), 0);
    }
    const std::vector<Variant> bad[] = {
        {Variant::I2(4), Variant::I2(0), Variant::I4(0), Variant::Missing()},
        {Variant::I2(0), Variant::I2(5), Variant::I4(0), Variant::Missing()},
        {Variant::I2(0), Variant::I2(0), Variant::I4(0), Variant::I4(12)},
    };
    for (const auto& args : bad) {
        m_engine.lastFind.reset();
        EXPECT_EQ(Call("FindAnnotation", args).AsI4(), 0);
        EXPECT_EQ(m_control->ErrorCode(), kErrBadParameter);
        EXPECT_FALSE(m_engine.lastFind);
    }
}

TEST_F(AnnotationMembersTest, GetAnnotationDataOrsTheKindIntoTheIdAndReadsAtMost2048Bytes) {
    WithView();
    struct Row {
        int32_t id;
        int16_t kind;
        uint32_t criterion;
    };
    // A kind's bits already in the id stay as they are: added, they would carry into other bits.
    const Row rows[] = {
        {5, 0, 5}, {5, 1, 0x84000005u}, {5, 2, 0x82000005u}, {int32_t(0x84000005u), 1, 0x84000005u}};
    for (const Row& row : rows) {
        m_engine.lastFind.reset();
        EXPECT_EQ(Call("GetAnnotationData", {Variant::I4(row.id), Variant::I2(row.kind)}).AsI4(), 0);
        ASSERT_TRUE(m_engine.lastFind);
        EXPECT_EQ(m_engine.lastFind->criterion, row.criterion);
        EXPECT_EQ(m_engine.lastFind->match, uint32_t{LYDVW_MATCH_EXACT});
        EXPECT_EQ(m_engine.lastFind->find_type, 1u);
    }
    Call("GetAnnotationData", {Variant::I4(5), Variant::I2(3)});
    EXPECT_EQ(m_control->ErrorCode(), kErrBadParameter);

    // An annotation of the engine's own kind: its data comes from 2101, which fills the whole buffer.
    m_engine.held.push_back(Entry(LYDVW_ANN_HIGHLIGHT, 0x84000001u, 0, {1, 0, 0, 1}, {1, 0, 0, 2}));
    m_engine.data = std::string(3000, 'x');
    m_engine.dataType = 4;
    EXPECT_EQ(Call("GetAnnotationData", {Variant::I4(1), Variant::I2(1)}).AsI4(), 1);
    EXPECT_EQ(Get("AnnotationId").AsI4(), int32_t(0x84000001u));
    EXPECT_EQ(Get("AnnotationData").AsBstr(), std::string(LYDVW_ANNOTATION_DATA_MAX, 'x'));
    EXPECT_EQ(Get("AnnotationDataType").AsI2(), 4);
    m_engine.data = "short";
    m_engine.dataType = 0;
    EXPECT_EQ(Call("GetAnnotationData", {Variant::I4(1), Variant::I2(1)}).AsI4(), 1);
    EXPECT_EQ(Get("AnnotationData").AsBstr(), "short");
    EXPECT_EQ(Get("AnnotationDataType").AsI2(), 0);
}

TEST_F(AnnotationMembersTest, GotoSendsTheFindTypeWithTheMatchFlag) {
    WithView();
    struct Row {
        int16_t findType, mask;
        int32_t id;
        int64_t answer;
        uint64_t wparam, lparam;
        int32_t result, error;
    };
    const Row rows[] = {{1, 2, 9, 0, 2 + LYDVW_MATCH_EXACT, 9, 1, 0},
                        {0, 1, 0x30, LYDVW_E_NOT_FOUND, 1 + LYDVW_MATCH_MASK, 0x30, 0, 0},
                        {3, 3, 0, LYDVW_E_NO_FILE, 4 + LYDVW_MATCH_MASK, 0x84000000u, 0, LYDVW_E_NO_FILE}};
    for (const Row& row : rows) {
        m_engine.log.clear();
        m_engine.gotoAnswer = row.answer;
        EXPECT_EQ(
            Call("GotoAnnotation", {Variant::I2(row.findType), Variant::I2(row.mask), Variant::I4(row.id)})
                .AsI4(),
            row.result);
        ASSERT_EQ(m_engine.log.size(), 1u);
        EXPECT_EQ(m_engine.log[0].request, uint32_t{LYDVW_R_GOTO_ANNOTATION});
        EXPECT_EQ(m_engine.log[0].wparam, row.wparam);
        EXPECT_EQ(m_engine.log[0].lparam, row.lparam);
        EXPECT_EQ(m_control->ErrorCode(), row.error);
    }
}

TEST_F(AnnotationMembersTest, InsertedTextAndHiddenRangesTakeTheirArguments) {
    WithView();
    Call("AddAnnotationInsertText",
         {Variant::I4(4), Variant::Bstr("d"), Pos({1, 0, 0, 6}), Variant::Bstr("caf\xE9")});
    ASSERT_EQ(m_engine.held.size(), 1u);
    EXPECT_EQ(m_engine.held[0].text, u"caf\u00E9");
    EXPECT_EQ(PositionObjectOf(Get("AnnotationEndPos"))->Read().offset, 6);
    std::string byReference = "ref";
    Call("AddAnnotationInsertText",
         {Variant::I4(5), Variant(), Pos({1, 0, 0, 6}), Variant::RefBstr(&byReference)});
    EXPECT_EQ(m_engine.held.at(1).text, u"ref");
    // Not text, or no position: refused before anything is kept.
    Call("AddAnnotationInsertText", {Variant::I4(6), Variant(), Pos({1, 0, 0, 6}), Variant::I4(3)});
    EXPECT_EQ(m_control->ErrorCode(), kErrBadParameter);
    Call("AddAnnotationHideText", {Variant::I4(7), Variant(), Variant::I4(1), Pos({1, 0, 0, 6})});
    EXPECT_EQ(m_control->ErrorCode(), kErrBadParameter);
    EXPECT_EQ(TableIds(), (std::vector<uint32_t>{4, 5}));

    Call("AddAnnotationHideText", {Variant::I4(8), Variant(), Pos({1, 0, 0, 1}), Pos({1, 0, 0, 5})});
    ASSERT_EQ(m_engine.held.size(), 3u);
    EXPECT_EQ(m_engine.held[2].kind, uint32_t{LYDVW_ANN_HIDE});
    EXPECT_EQ(m_engine.held[2].end.offset, 5);
}

TEST_F(AnnotationMembersTest, PicturesGoAsOwnedCopiesByTheirType) {
    WithView();
    const auto picture = [](int16_t type, int32_t handle) {
        return Variant::Dispatch(std::make_shared<testsupport::FakeObject>(
            std::vector<std::pair<std::string, Variant>>{{"Handle", Variant::I4(handle)},
                                                         {"Type", Variant::I2(type)},
                                                         {"Width", Variant::I4(2540)},
                                                         {"Height", Variant::I4(1270)}}));
    };
    struct Row {
        int16_t type;
        int32_t handle;
        std::optional<uint32_t> kind;
    };
    const Row rows[] = {{3, 0x101, LYDVW_ANN_ICON},   {1, 0x102, LYDVW_ANN_BITMAP},
                        {2, 0x103, LYDVW_ANN_BITMAP}, {4, 0x104, LYDVW_ANN_BITMAP},
                        {0, 0x105, std::nullopt},     {9, 0x106, std::nullopt},
                        {1, 0, std::nullopt}};
    for (const Row& row : rows) {
        m_engine.held.clear();
        Call("AddAnnotationPicture", {Variant::I4(row.handle), picture(row.type, row.handle), Variant::I2(2),
                                      Variant(), Pos({1, 0, 0, 1})});
        if (!row.kind) {
            EXPECT_EQ(m_control->ErrorCode(), kErrBadParameter) << row.type;
            EXPECT_TRUE(m_engine.held.empty());
            continue;
        }
        ASSERT_EQ(m_engine.held.size(), 1u) << row.type;
        EXPECT_EQ(m_engine.held[0].kind, *row.kind);
        EXPECT_EQ(m_engine.held[0].events, 2u);
        EXPECT_EQ(m_engine.held[0].width, 3u);
        EXPECT_EQ(m_engine.held[0].pixels.back(), 0xFF000006u);
        EXPECT_EQ(m_pictures.back().widthHimetric, 2540);
        EXPECT_EQ(m_pictures.back().handle, static_cast<uint32_t>(row.handle));
    }
    Call("AddAnnotationPicture",
         {Variant::I4(1), Variant::Bstr("no picture"), Variant::I2(0), Variant(), Pos({})});
    EXPECT_EQ(m_control->ErrorCode(), kErrBadParameter);
}

TEST_F(AnnotationMembersTest, AClickMakesItsAnnotationCurrentAndCarriesItsData) {
    WithView();
    Hilite(21, Variant::Bstr("clicked"), 0, 3, 0, {1, 0, 0, 2}, {1, 0, 0, 4});
    Hilite(22, Variant::I4(0));
    LydvwAnnotationEvent record{sizeof record, LYDVW_ANN_EVENT_CLICK, 21};
    EXPECT_EQ(Notify(LYDVW_N_ANNOTATION, reinterpret_cast<uint64_t>(&record)), 0);
    ASSERT_EQ(m_sink->annotationEvents.size(), 1u);
    const std::vector<Variant>& args = m_sink->annotationEvents[0];
    ASSERT_EQ(args.size(), 3u);
    EXPECT_EQ(args[0].AsI4(), 1);
    EXPECT_EQ(args[1].AsI4(), 21);
    EXPECT_EQ(args[2].AsBstr(), "clicked");
    EXPECT_EQ(Get("AnnotationId").AsI4(), 21);
    EXPECT_EQ(PositionObjectOf(Get("AnnotationEndPos"))->Read().offset, 4);

    // One the engine no longer has: the event still comes, with no data.
    record.id = 99;
    Notify(LYDVW_N_ANNOTATION, reinterpret_cast<uint64_t>(&record));
    ASSERT_EQ(m_sink->annotationEvents.size(), 2u);
    EXPECT_EQ(m_sink->annotationEvents[1][2].Type(), VarType::UI1);
}

TEST_F(AnnotationMembersTest, SetPosSelectsTheCurrentRangeAndShowsItsStart) {
    WithView();
    Hilite(3, Variant(), 0, 3, 0, {1, 0, 0, 2}, {1, 0, 1, 4});
    for (int32_t select : {1, 0}) {
        Call("AnnotationSetPos", {Variant::I4(select)});
        ASSERT_TRUE(m_engine.selection && m_engine.shown);
        EXPECT_EQ(m_engine.selection->anchor.offset, 2);
        EXPECT_EQ(m_engine.selection->end.page, select ? 1 : 0);
        EXPECT_EQ(m_engine.shown->display_options, 2u);
        EXPECT_EQ(m_engine.shown->position.offset, 2);
    }
}

TEST_F(AnnotationMembersTest, HighlightStylesGoAsRgbWithTheirAttributes) {
    WithView();
    Call("HiliteStyle", {Variant::I2(3), Variant::I4(6), Variant::I4(0x000000FF),
                         Variant::I4(int32_t(0x80000005u)), Variant::I2(LYDVW_FONT_BOLD)});
    ASSERT_TRUE(m_engine.lastStyle);
    EXPECT_EQ(m_engine.lastStyle->style, 3);
    EXPECT_EQ(m_engine.lastStyle->options, 6u);
    EXPECT_EQ(m_engine.lastStyle->foreground, 0x0000FFu);
    EXPECT_EQ(m_engine.lastStyle->background, 0xFFFFFFu);
    EXPECT_EQ(m_engine.lastStyle->attributes, uint16_t{LYDVW_FONT_BOLD});
    EXPECT_EQ(m_control->ErrorCode(), 0);
    // The engine refuses style 0; a colour that is none is refused by the control.
    Call("HiliteStyle", {Variant::I2(0), Variant::I4(0), Variant::I4(0), Variant::I4(0), Variant::I2(0)});
    EXPECT_EQ(m_control->ErrorCode(), kErrBadParameter);
    m_engine.lastStyle.reset();
    Call("HiliteStyle",
         {Variant::I2(4), Variant::I4(0), Variant::I4(int32_t(0x80000077u)), Variant::I4(0), Variant::I2(0)});
    EXPECT_EQ(m_control->ErrorCode(), kErrBadParameter);
    EXPECT_FALSE(m_engine.lastStyle);
}

}  // namespace
}  // namespace docview
