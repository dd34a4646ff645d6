// View settings between the file's character units and the window's pixels, and damaged stored values.

#include "selector/view_settings.h"

#include <gtest/gtest.h>

#include <climits>

namespace selector {
namespace {

TEST(ViewSettingsTest, RoundTripScalesWithAnotherCharWidth) {
    practice::CPracSelInfo info;
    info.SetStyle(1);
    info.GetColumnOrder() = {10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0};
    for (size_t i = 0; i < practice::kColumnCount; ++i)
        info.GetColumnWidths()[i] = static_cast<int32_t>(10 + i);

    ViewState at7 = ApplySelInfo(info, 7);
    EXPECT_EQ(at7.widths[3], 13 * 7);
    practice::CPracSelInfo back;
    ReadViewState(at7, 7, back);
    EXPECT_EQ(back.GetColumnWidths(), info.GetColumnWidths());
    EXPECT_EQ(back.GetColumnOrder(), info.GetColumnOrder());
    EXPECT_EQ(back.GetStyle(), 1);

    ViewState at11 = ApplySelInfo(back, 11);
    EXPECT_EQ(at11.widths[3], 13 * 11);
    EXPECT_EQ(at11.order, at7.order);
}

TEST(ViewSettingsTest, DamagedOrdersGiveTheDefault) {
    const std::vector<std::array<int32_t, kColumns>> orders = {
        {0, 0, 2, 3, 4, 5, 6, 7, 8, 9, 10},   // repeated
        {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 11},   // out of range
        {-1, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10},  // negative
    };
    const ViewState def = DefaultViewState(8);
    for (const auto& order : orders) {
        practice::CPracSelInfo info;
        info.GetColumnOrder() = order;
        EXPECT_EQ(ApplySelInfo(info, 8).order, def.order);
    }
}

TEST(ViewSettingsTest, DamagedWidthsAndStyle) {
    practice::CPracSelInfo info;  // widths all 0 after construction
    info.GetColumnWidths()[1] = -5;
    info.GetColumnWidths()[2] = INT_MAX;
    info.GetColumnWidths()[3] = 4;
    info.SetStyle(0x7f);
    ViewState state = ApplySelInfo(info, 8);
    EXPECT_EQ(state.widths[0], ColumnCreationWidth(0) * 8);
    EXPECT_EQ(state.widths[1], ColumnCreationWidth(1) * 8);
    EXPECT_EQ(state.widths[2], kMaxColumnChars * 8);
    EXPECT_EQ(state.widths[3], 4 * 8);
    EXPECT_EQ(state.style, 3);
    // A font with no measurable width still gives sane columns.
    EXPECT_EQ(ApplySelInfo(info, 0).widths[3], 4);
}

}  // namespace
}  // namespace selector
