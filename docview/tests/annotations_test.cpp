// The highlight style word and the control's annotation table.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "docview/annotations.h"

namespace docview {
namespace {

using platform::automation::Variant;
using platform::automation::VarType;

struct StyleCase {
    int32_t style, background, foreground;
    std::optional<uint32_t> word;
};

TEST(HiliteStyleWord, FollowsTheColourIndexes) {
    const StyleCase cases[] = {
        {0, 3, 0, 0x20000002u},            // no foreground: its flag, background index 2
        {0, 0, 0, 0x30000000u},            // neither colour given
        {0, 1, 1, 0x00000000u},            // both first colours
        {0, 16, 16, 15u * 16 + 15},        // both last colours
        {0, -5, 2, 0x10000010u},           // no background
        {7, 99, 99, 0x40000007u},          // a defined style ignores the colours
        {0, 3, 17, std::nullopt},          // foreground above 16
        {0, 17, 3, std::nullopt},          // background above 16
    };
    for (const auto& c : cases)
        EXPECT_EQ(HiliteStyleWord(c.style, c.background, c.foreground), c.word)
            << "style " << c.style << " bg " << c.background << " fg " << c.foreground;
}

std::vector<uint32_t> IdsOf(const AnnotationTable& table) {
    std::vector<uint32_t> ids;
    for (const auto& e : table.Entries())
        ids.push_back(e.id);
    return ids;
}

TEST(AnnotationTable, TokensAreUniqueWhereHostIdsRepeat) {
    AnnotationTable table;
    const uint32_t a = table.Add(5, Variant::Bstr("first"));
    const uint32_t b = table.Add(5, Variant::Bstr("second"));
    ASSERT_NE(a, b);
    EXPECT_NE(a, 0u);
    EXPECT_EQ(table.ByToken(a)->data.AsBstr(), "first");
    EXPECT_EQ(table.ByToken(b)->data.AsBstr(), "second");
    table.Drop(a);  // a refused add takes back only its own entry
    EXPECT_EQ(table.ByToken(a), nullptr);
    EXPECT_EQ(table.ByToken(b)->data.AsBstr(), "second");
    EXPECT_EQ(table.ByToken(b + 100), nullptr);
}

TEST(AnnotationTable, KeepsAnOwnedCopyOfTheHostData) {
    AnnotationTable table;
    std::string text = "note";
    const uint32_t byRef = table.Add(1, Variant::RefBstr(&text));
    text = "changed";
    EXPECT_EQ(table.ByToken(byRef)->data.Type(), VarType::Bstr);
    EXPECT_EQ(table.ByToken(byRef)->data.AsBstr(), "note");

    const uint32_t empty = table.Add(2, Variant());
    EXPECT_EQ(table.ByToken(empty)->data.Type(), VarType::UI1);
    EXPECT_EQ(table.ByToken(empty)->data.AsUI1(), 0);
}

TEST(AnnotationTable, TheCounterSkipsZeroAndTokensStillInUseWhenItWraps) {
    AnnotationTable table;
    const uint32_t first = table.Add(1, Variant());
    const uint32_t second = table.Add(2, Variant());
    EXPECT_EQ(std::vector<uint32_t>({first, second}), (std::vector<uint32_t>{1, 2}));
    table.SeedTokens(0xFFFFFFFFu);
    EXPECT_EQ(table.Add(3, Variant()), 0xFFFFFFFFu);
    // 0 is never a token, and 1 and 2 still name the first two entries.
    const uint32_t wrapped = table.Add(4, Variant());
    EXPECT_EQ(wrapped, 3u);
    EXPECT_EQ(table.ByToken(1)->id, 1u);
    EXPECT_EQ(table.ByToken(2)->id, 2u);
    EXPECT_EQ(table.ByToken(wrapped)->id, 4u);
}

TEST(AutomationColour, SystemColoursAndRgbBecomeRgb) {
    const std::pair<uint32_t, std::optional<uint32_t>> cases[] = {
        {0x00123456u, 0x00123456u},   // plain RGB
        {0x02123456u, 0x00123456u},   // matched in the palette
        {0x80000005u, 0x00FFFFFFu},   // the window's background
        {0x80000008u, 0x00000000u},   // the window's text
        {0x80000040u, std::nullopt},  // no such system colour
        {0x01000003u, std::nullopt},  // a bare palette index
        {0x40000000u, std::nullopt},
    };
    for (const auto& [colour, rgb] : cases)
        EXPECT_EQ(AutomationColourToRgb(colour), rgb) << std::hex << colour;
}

TEST(AnnotationTable, RemovesByMaskOrExactId) {
    AnnotationTable table;
    for (uint32_t id : {0x10u, 0x20u, 0x30u, 0x84000010u})
        table.Add(id, Variant::I4(static_cast<int32_t>(id)));
    table.RemoveContaining(0x10);
    EXPECT_EQ(IdsOf(table), (std::vector<uint32_t>{0x20u}));

    table.Add(0x21, Variant());
    table.Add(0x20, Variant());
    table.RemoveExact(0x20);
    EXPECT_EQ(IdsOf(table), (std::vector<uint32_t>{0x21u}));
    table.Clear();
    EXPECT_TRUE(table.Entries().empty());
}

}  // namespace
}  // namespace docview
