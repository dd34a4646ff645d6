// The list window's view settings between the practice list file (character units) and the window
// (pixels): checked on the way in, so a damaged file cannot give a broken header.
#pragma once

#include <array>
#include <cstdint>

#include "practice/prac_sel_info.h"
#include "selector/practice_list_model.h"

namespace selector {

// The widest column accepted, in characters.
inline constexpr int32_t kMaxColumnChars = 1000;

struct ViewState {
    int32_t style = 0;                       // 0 icons, 1 details, 2 small icons, 3 list
    std::array<int32_t, kColumns> order{};   // the header's left-to-right column list
    std::array<int32_t, kColumns> widths{};  // pixels
};

ViewState DefaultViewState(int32_t charWidth);
// Stored settings as the window applies them: an order that is no permutation of 0..10 gives the default,
// a width of 0 or less the creation width, a huge one the bound.
ViewState ApplySelInfo(const practice::CPracSelInfo& info, int32_t charWidth);
// The window's state into the settings; the custom menu is left alone.
void ReadViewState(const ViewState& state, int32_t charWidth, practice::CPracSelInfo& info);

}  // namespace selector
