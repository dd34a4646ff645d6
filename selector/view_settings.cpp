// Conversion and checking of the list window's stored view settings.

#include "selector/view_settings.h"

#include <algorithm>

namespace selector {
namespace {

int32_t SafeCharWidth(int32_t charWidth) {
    return charWidth > 0 ? charWidth : 1;
}

bool IsPermutation(const std::array<int32_t, kColumns>& order) {
    std::array<bool, kColumns> seen{};
    for (int32_t c : order) {
        if (c < 0 || c >= kColumns || seen[c])
            return false;
        seen[c] = true;
    }
    return true;
}

}  // namespace

ViewState DefaultViewState(int32_t charWidth) {
    ViewState state;
    const int32_t cw = SafeCharWidth(charWidth);
    for (int i = 0; i < kColumns; ++i) {
        state.order[i] = i;
        state.widths[i] = ColumnCreationWidth(i) * cw;
    }
    return state;
}

ViewState ApplySelInfo(const practice::CPracSelInfo& info, int32_t charWidth) {
    ViewState state = DefaultViewState(charWidth);
    const int32_t cw = SafeCharWidth(charWidth);
    state.style = info.GetStyle() & 3;  // only the view-style bits
    const auto& order = info.GetColumnOrder();
    std::array<int32_t, kColumns> stored{};
    std::copy_n(order.begin(), kColumns, stored.begin());
    if (IsPermutation(stored))
        state.order = stored;
    const auto& widths = info.GetColumnWidths();
    for (int i = 0; i < kColumns; ++i) {
        int32_t w = widths[i];
        if (w > 0)
            state.widths[i] = std::min(w, kMaxColumnChars) * cw;
    }
    return state;
}

void ReadViewState(const ViewState& state, int32_t charWidth, practice::CPracSelInfo& info) {
    const int32_t cw = SafeCharWidth(charWidth);
    info.SetStyle(state.style);
    std::copy(state.order.begin(), state.order.end(), info.GetColumnOrder().begin());
    for (int i = 0; i < kColumns; ++i)
        info.GetColumnWidths()[i] = state.widths[i] / cw;
}

}  // namespace selector
