// Position objects and the control's position and selection members, on an in-process scripted engine that
// keeps a selection and answers the position requests as a real engine would, or with 25 and 17 where an
// engine lacks them.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "docview/control_strings.h"
#include "docview/fennick_contract.h"
#include "docview/qel_pos.h"
#include "docview/qelctrl.h"
#include "docview/tests/control_calls.h"
#include "docview/tests/null_window.h"
#include "docview/tests/stub_engine.h"
#include "platform/user_prompt.h"
#include "testsupport/test_support.h"

// The record is the engine's C type, in the global namespace, where comparisons must be found.
static bool operator==(const LydvwPosition& a, const LydvwPosition& b) {
    return a.change_id == b.change_id && a.extra_id == b.extra_id && a.page == b.page && a.offset == b.offset;
}
static void PrintTo(const LydvwPosition& p, std::ostream* os) {
    *os << "{" << p.change_id << ", " << p.extra_id << ", " << p.page << ", " << p.offset << "}";
}

namespace docview {
namespace {

namespace automation = platform::automation;
using automation::DISPID;
using automation::InvokeKind;
using automation::Variant;

// ---- The object ----

TEST(QelPosTest, FourPropertiesByDispidAreTheRecordsFieldsInOrder) {
    const std::shared_ptr<CQelPos> object = CreateQelPos();
    EXPECT_EQ(object->Read(), LydvwPosition{});
    struct Row {
        DISPID id;
        std::string_view name;
        int32_t LydvwPosition::*field;
        int32_t value;
    };
    const Row rows[] = {{1, "ChangeId", &LydvwPosition::change_id, 7},
                        {2, "ExtraId", &LydvwPosition::extra_id, -1},
                        {3, "Data1", &LydvwPosition::page, 0x7FFFFFFF},
                        {4, "Data2", &LydvwPosition::offset, INT32_MIN}};
    for (const Row& row : rows) {
        DISPID id = automation::DISPID_UNKNOWN;
        ASSERT_EQ(object->GetIDOfName(row.name, id), automation::S_OK) << row.name;
        EXPECT_EQ(id, row.id) << row.name;
        Variant value;
        ASSERT_EQ(object->Invoke(row.id, InvokeKind::PropertyGet, {}, &value, nullptr), automation::S_OK);
        EXPECT_EQ(value.AsI4(), 0) << row.name;
        const Variant put[] = {Variant::I4(row.value)};
        ASSERT_EQ(object->Invoke(row.id, InvokeKind::PropertyPut, put, nullptr, nullptr), automation::S_OK);
        EXPECT_EQ(object->Read().*row.field, row.value) << row.name;
        ASSERT_EQ(object->Invoke(row.id, InvokeKind::PropertyGet, {}, &value, nullptr), automation::S_OK);
        EXPECT_EQ(value.AsI4(), row.value) << row.name;
    }
    EXPECT_EQ(object->Read(), (LydvwPosition{7, -1, 0x7FFFFFFF, INT32_MIN}));
}

TEST(QelPosTest, PositionArgumentsAreObjectsWithIQelPosByValueOrByReference) {
    std::shared_ptr<automation::IDispatch> position = CreateQelPos({1, 2, 3, 4});
    std::shared_ptr<automation::IUnknown> unknown = position;
    std::shared_ptr<automation::IDispatch> plain = std::make_shared<automation::DispatchObject>();
    std::shared_ptr<automation::IDispatch> none;
    Variant held = Variant::Dispatch(position);
    struct Row {
        std::string name;
        Variant argument;
        bool accepted;
    };
    const Row rows[] = {{"dispatch", Variant::Dispatch(position), true},
                        {"unknown", Variant::Unknown(unknown), true},
                        {"dispatch by reference", Variant::RefDispatch(&position), true},
                        {"unknown by reference", Variant::RefUnknown(&unknown), true},
                        {"variant by reference", Variant::RefVariant(&held), true},
                        {"an object without IQelPos", Variant::Dispatch(plain), false},
                        {"a null object", Variant::RefDispatch(&none), false},
                        {"a number", Variant::I4(5), false},
                        {"nothing", Variant::Missing(), false}};
    for (const Row& row : rows) {
        const std::shared_ptr<IQelPos> object = PositionObjectOf(row.argument);
        EXPECT_EQ(object != nullptr, row.accepted) << row.name;
        if (object) {
            EXPECT_EQ(object->Read(), (LydvwPosition{1, 2, 3, 4})) << row.name;
        }
    }
}

// ---- The control on a scripted engine ----

// An engine with a selection; positions are (1, 0, page, offset) and a count is page * 1000 + offset.
struct PositionEngine {
    bool anchorMethods = true;  // false: answers 25 to methods 5 and 6
    bool positions = true;      // false: answers 17 to every position request, as an engine without them
    std::optional<LydvwPosition> anchor;
    std::optional<LydvwPosition> end;
    int64_t showAnswer = 0;
    std::vector<std::string> log;
    uint32_t shownOptions = 0;
    LydvwPosition shown{};
};

PositionEngine* g_engine = nullptr;
int64_t Answer(uint32_t request, uint64_t lparam) {
    PositionEngine& engine = *g_engine;
    switch (request) {
        case LYDVW_R_GET_POSITION: {
            auto* record = reinterpret_cast<LydvwGetPosition*>(lparam);
            engine.log.push_back("2087/" + std::to_string(record->method));
            if (record->size != sizeof *record)
                return LYDVW_E_ARGUMENT;
            const bool anchorSide =
                record->method == LYDVW_POS_SELECTION_ANCHOR || record->method == LYDVW_POS_SELECTION_FIRST;
            if (record->method == LYDVW_POS_SELECTION_ANCHOR || record->method == LYDVW_POS_SELECTION_END) {
                if (!engine.anchorMethods)
                    return LYDVW_E_NOT_FOUND;
            } else if (record->method != LYDVW_POS_SELECTION_FIRST &&
                       record->method != LYDVW_POS_SELECTION_LAST) {
                // Method 3: the next page's start, if there is one (three pages).
                if (record->method != 3 || record->start.page >= 2)
                    return LYDVW_E_NOT_FOUND;
                record->result = {1, 0, record->start.page + 1, 0};
                return 0;
            }
            const std::optional<LydvwPosition>& side = anchorSide ? engine.anchor : engine.end;
            if (!side)
                return LYDVW_E_NOT_FOUND;
            record->result = *side;
            return 0;
        }
        case LYDVW_R_POSITION_COUNT: {
            auto* record = reinterpret_cast<LydvwPositionCount*>(lparam);
            engine.log.push_back("2088/" + std::to_string(record->kind));
            if (record->kind == LYDVW_POSITION_TO_COUNT) {
                if (record->position.change_id != 1)
                    return LYDVW_E_ARGUMENT;
                record->count = record->position.page * 1000 + record->position.offset;
                return 0;
            }
            if (record->count < 0)
                return LYDVW_E_ARGUMENT;
            record->position = {1, 0, record->count / 1000, record->count % 1000};
            return 0;
        }
        case LYDVW_R_SET_SELECTION: {
            const auto* record = reinterpret_cast<const LydvwSelection*>(lparam);
            engine.log.push_back("2089");
            engine.anchor = record->anchor;
            engine.end = record->end;
            return 0;
        }
        case LYDVW_R_SHOW_POSITION: {
            const auto* record = reinterpret_cast<const LydvwShowPosition*>(lparam);
            engine.log.push_back("2090");
            engine.shownOptions = record->display_options;
            engine.shown = record->position;
            return engine.showAnswer;
        }
        case LYDVW_R_COMPARE_POSITIONS: {
            const auto* addresses = reinterpret_cast<const uint64_t*>(lparam);
            const auto* a = reinterpret_cast<const LydvwPosition*>(addresses[0]);
            const auto* b = reinterpret_cast<const LydvwPosition*>(addresses[1]);
            engine.log.push_back("2095");
            const int64_t ka = int64_t{a->page} * 1000 + a->offset;
            const int64_t kb = int64_t{b->page} * 1000 + b->offset;
            return ka < kb ? -1 : ka > kb ? 1 : 0;
        }
        default:
            return 0;
    }
}
int64_t RequestFn(LydvwView*, uint32_t request, uint64_t, uint64_t lparam) {
    if (!g_engine->positions && request >= LYDVW_R_GET_POSITION && request <= LYDVW_R_COMPARE_POSITIONS)
        return LYDVW_E_UNSUPPORTED;
    return Answer(request, lparam);
}

class ControlPositionsTest : public testsupport::RegistryTest {
  protected:
    void SetUp() override {
        RegistryTest::SetUp();
        g_engine = &m_engine;
        m_prompt = std::make_unique<platform::ScopedDefaultPrompt>(m_prompts);
        ControlSite site = testing::StubControlSite(RequestFn);
        m_control = CreateQelctrl(std::move(site));
    }
    void TearDown() override {
        m_control.reset();
        m_prompt.reset();
        g_engine = nullptr;
        RegistryTest::TearDown();
    }
    void WithView() { ASSERT_NE(m_control->Widget(), nullptr); }

    Variant Invoke(std::string_view name, InvokeKind kind, std::vector<Variant> args) {
        return testing::InvokeByName(*m_control, name, kind, std::move(args));
    }
    Variant Call(std::string_view name, std::vector<Variant> args = {}) {
        return Invoke(name, InvokeKind::Method, std::move(args));
    }
    static Variant Pos(const std::shared_ptr<CQelPos>& object) {
        return Variant::Dispatch(std::shared_ptr<automation::IDispatch>(object));
    }
    static LydvwPosition ReadBack(const Variant& value) {
        const std::shared_ptr<IQelPos> object = PositionObjectOf(value);
        EXPECT_TRUE(object);
        return object ? object->Read() : LydvwPosition{-9, -9, -9, -9};
    }

    PositionEngine m_engine;
    platform::RecordingPrompt m_prompts;
    std::unique_ptr<platform::ScopedDefaultPrompt> m_prompt;
    std::shared_ptr<Cqelctrl> m_control;
};

TEST_F(ControlPositionsTest, EveryMemberButCopyPositionNeedsTheEnginesView) {
    const auto a = CreateQelPos({1, 0, 2, 5});
    const auto b = CreateQelPos();
    struct Row {
        std::string_view name;
        InvokeKind kind;
        std::vector<Variant> args;
    };
    const Row rows[] = {{"GetActualCount", InvokeKind::Method, {Pos(a)}},
                        {"SetActualCount", InvokeKind::Method, {Pos(a), Variant::I4(3)}},
                        {"FindPosition", InvokeKind::Method, {Pos(a), Pos(b), Variant::I2(3)}},
                        {"ComparePositions", InvokeKind::Method, {Pos(a), Pos(b)}},
                        {"DisplayPosition", InvokeKind::Method, {Pos(a), Variant::I2(0)}},
                        {"SetPositionToCurrent", InvokeKind::Method, {Pos(a)}},
                        {"SetPositionToSelection", InvokeKind::Method, {Pos(a), Pos(b)}},
                        {"SelectionAnchor", InvokeKind::PropertyGet, {}},
                        {"SelectionEnd", InvokeKind::PropertyPut, {Pos(a)}}};
    for (const Row& row : rows) {
        Invoke(row.name, row.kind, row.args);
        EXPECT_EQ(m_control->ErrorCode(), kErrWindowless) << row.name;
    }
    EXPECT_TRUE(m_engine.log.empty());
    EXPECT_EQ(a->Read(), (LydvwPosition{1, 0, 2, 5}));
    Call("CopyPosition", {Pos(b), Pos(a)});
    EXPECT_EQ(b->Read(), (LydvwPosition{1, 0, 2, 5}));
}

TEST_F(ControlPositionsTest, InvalidPositionArgumentsReportFifteenAndChangeNothing) {
    WithView();
    const auto a = CreateQelPos({1, 0, 2, 5});
    const Variant bad = Variant::I4(4);
    const Variant plain = Variant::Dispatch(std::make_shared<automation::DispatchObject>());
    struct Row {
        std::string_view name;
        InvokeKind kind;
        std::vector<Variant> args;
    };
    const Row rows[] = {{"CopyPosition", InvokeKind::Method, {Pos(a), bad}},
                        {"CopyPosition", InvokeKind::Method, {plain, Pos(a)}},
                        {"GetActualCount", InvokeKind::Method, {plain}},
                        {"SetActualCount", InvokeKind::Method, {bad, Variant::I4(3)}},
                        {"FindPosition", InvokeKind::Method, {Pos(a), bad, Variant::I2(3)}},
                        {"ComparePositions", InvokeKind::Method, {Pos(a), Variant::Missing()}},
                        {"DisplayPosition", InvokeKind::Method, {bad, Variant::I2(0)}},
                        {"SetPositionToCurrent", InvokeKind::Method, {plain}},
                        {"SetPositionToSelection", InvokeKind::Method, {Pos(a), bad}},
                        {"SelectionAnchor", InvokeKind::PropertyPut, {bad}}};
    for (const Row& row : rows) {
        const Variant result = Invoke(row.name, row.kind, row.args);
        EXPECT_EQ(m_control->ErrorCode(), kErrBadParameter) << row.name;
        EXPECT_EQ(result.AsI4(), 0) << row.name;
    }
    EXPECT_TRUE(m_engine.log.empty());
    EXPECT_EQ(a->Read(), (LydvwPosition{1, 0, 2, 5}));
    EXPECT_FALSE(m_control->Dirty());
}

TEST_F(ControlPositionsTest, CurrentAndSelectionFallBackToMethodsOneAndTwoOnTwentyFive) {
    WithView();
    m_engine.anchor = LydvwPosition{1, 0, 0, 4};
    m_engine.end = LydvwPosition{1, 0, 1, 9};
    struct Row {
        bool anchorMethods;
        std::vector<std::string> current;
        std::vector<std::string> selection;
    };
    const Row rows[] = {{true, {"2087/5"}, {"2087/5", "2087/6"}},
                        {false, {"2087/5", "2087/1"}, {"2087/5", "2087/1", "2087/6", "2087/2"}}};
    for (const Row& row : rows) {
        m_engine.anchorMethods = row.anchorMethods;
        const auto start = CreateQelPos();
        const auto end = CreateQelPos();
        m_engine.log.clear();
        Call("SetPositionToCurrent", {Pos(start)});
        EXPECT_EQ(m_engine.log, row.current);
        EXPECT_EQ(start->Read(), *m_engine.anchor);
        start->Write({});
        m_engine.log.clear();
        Call("SetPositionToSelection", {Pos(start), Pos(end)});
        EXPECT_EQ(m_engine.log, row.selection);
        EXPECT_EQ(start->Read(), *m_engine.anchor);
        EXPECT_EQ(end->Read(), *m_engine.end);
        EXPECT_EQ(m_control->ErrorCode(), 0);
    }
}

TEST_F(ControlPositionsTest, SelectionEndsReadAsNewObjectsOrTheDocumentsStart) {
    WithView();
    m_engine.anchor = LydvwPosition{1, 0, 0, 4};
    m_engine.end = LydvwPosition{1, 0, 1, 9};
    EXPECT_EQ(ReadBack(Invoke("SelectionAnchor", InvokeKind::PropertyGet, {})), *m_engine.anchor);
    EXPECT_EQ(ReadBack(Invoke("SelectionEnd", InvokeKind::PropertyGet, {})), *m_engine.end);
    // Two reads are two objects: a host changing one does not change the other.
    const Variant first = Invoke("SelectionAnchor", InvokeKind::PropertyGet, {});
    const Variant second = Invoke("SelectionAnchor", InvokeKind::PropertyGet, {});
    EXPECT_NE(first.AsUnknown(), second.AsUnknown());

    m_engine.anchorMethods = false;
    m_engine.log.clear();
    EXPECT_EQ(ReadBack(Invoke("SelectionEnd", InvokeKind::PropertyGet, {})), (LydvwPosition{1, 0, 0, 0}));
    EXPECT_EQ(m_engine.log, (std::vector<std::string>{"2087/6", "2088/1"}));
    EXPECT_EQ(m_control->ErrorCode(), 0);
}

TEST_F(ControlPositionsTest, PuttingOneEndKeepsTheOtherOrSelectsAnEmptyRange) {
    WithView();
    const int refreshedBefore = testing::NullWindow::refreshed;
    const LydvwPosition given{1, 0, 2, 7};
    Invoke("SelectionAnchor", InvokeKind::PropertyPut, {Pos(CreateQelPos(given))});
    EXPECT_EQ(m_engine.log, (std::vector<std::string>{"2087/6", "2089"}));
    EXPECT_EQ(*m_engine.anchor, given);
    EXPECT_EQ(*m_engine.end, given);
    EXPECT_TRUE(m_control->Dirty());
    EXPECT_GT(testing::NullWindow::refreshed, refreshedBefore);

    const LydvwPosition later{1, 0, 2, 30};
    m_engine.log.clear();
    Invoke("SelectionEnd", InvokeKind::PropertyPut, {Pos(CreateQelPos(later))});
    EXPECT_EQ(m_engine.log, (std::vector<std::string>{"2087/5", "2089"}));
    EXPECT_EQ(*m_engine.anchor, given);
    EXPECT_EQ(*m_engine.end, later);
}

TEST_F(ControlPositionsTest, CountsFindingComparingAndShowingGoThroughTheirRecords) {
    WithView();
    const auto at = CreateQelPos({1, 0, 2, 15});
    EXPECT_EQ(Call("GetActualCount", {Pos(at)}).AsI4(), 2015);
    EXPECT_EQ(m_control->ErrorCode(), 0);
    // The engine refusing the position is the call's error.
    EXPECT_EQ(Call("GetActualCount", {Pos(CreateQelPos({9, 0, 0, 0}))}).AsI4(), 0);
    EXPECT_EQ(m_control->ErrorCode(), kErrBadParameter);

    Call("SetActualCount", {Pos(at), Variant::I4(1042)});
    EXPECT_EQ(at->Read(), (LydvwPosition{1, 0, 1, 42}));
    Call("SetActualCount", {Pos(at), Variant::I4(-1)});
    EXPECT_EQ(m_control->ErrorCode(), kErrBadParameter);
    EXPECT_EQ(at->Read(), (LydvwPosition{1, 0, 1, 42}));

    // Found: the result and 1; not found: 0, the destination untouched and no error.
    const auto found = CreateQelPos();
    EXPECT_EQ(Call("FindPosition", {Pos(at), Pos(found), Variant::I2(3)}).AsI4(), 1);
    EXPECT_EQ(found->Read(), (LydvwPosition{1, 0, 2, 0}));
    EXPECT_EQ(Call("FindPosition", {Pos(found), Pos(found), Variant::I2(3)}).AsI4(), 0);
    EXPECT_EQ(found->Read(), (LydvwPosition{1, 0, 2, 0}));
    EXPECT_EQ(m_control->ErrorCode(), 0);

    struct Compare {
        LydvwPosition a;
        LydvwPosition b;
        int16_t expected;
    };
    const Compare compares[] = {
        {{1, 0, 0, 5}, {1, 0, 1, 0}, -1}, {{1, 0, 1, 0}, {1, 0, 0, 5}, 1}, {{1, 0, 1, 3}, {1, 0, 1, 3}, 0}};
    for (const Compare& c : compares) {
        EXPECT_EQ(Call("ComparePositions", {Pos(CreateQelPos(c.a)), Pos(CreateQelPos(c.b))}).AsI2(),
                  c.expected);
    }

    Call("DisplayPosition", {Pos(at), Variant::I2(6)});
    EXPECT_EQ(m_engine.shownOptions, 6u);
    EXPECT_EQ(m_engine.shown, (LydvwPosition{1, 0, 1, 42}));
    EXPECT_EQ(m_control->ErrorCode(), 0);
    m_engine.showAnswer = LYDVW_E_NOT_FOUND;
    Call("DisplayPosition", {Pos(at), Variant::I2(0)});
    EXPECT_EQ(m_control->ErrorCode(), kErrBadParameter);
}

TEST_F(ControlPositionsTest, AnEngineWithoutPositionsIsReportedNotSilent) {
    WithView();
    m_engine.positions = false;
    const auto at = CreateQelPos({1, 0, 2, 15});
    Call("SetPositionToCurrent", {Pos(at)});
    EXPECT_EQ(m_control->ErrorCode(), kErrUnsupported);
    EXPECT_EQ(at->Read(), (LydvwPosition{1, 0, 2, 15}));
    const Variant anchor = Invoke("SelectionAnchor", InvokeKind::PropertyGet, {});
    EXPECT_EQ(anchor.AsUnknown(), nullptr);
    EXPECT_EQ(m_control->ErrorCode(), kErrUnsupported);
    Invoke("SelectionEnd", InvokeKind::PropertyPut, {Pos(at)});
    EXPECT_EQ(m_control->ErrorCode(), kErrUnsupported);
}

}  // namespace
}  // namespace docview
