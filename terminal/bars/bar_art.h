// The images of the control's toolbar and status bar buttons, drawn here rather than loaded: a 16 x 15 face
// for each toolbar command and a 10 x 10 arrow for each paging button, transparent around the drawing.
#pragma once

#include <QPixmap>
#include <cstdint>

namespace terminal::bars {

inline constexpr int kToolbarImageWidth = 16;
inline constexpr int kToolbarImageHeight = 15;
inline constexpr int kStatusImageSize = 10;

QPixmap ToolbarImage(int32_t id);
QPixmap StatusButtonImage(int32_t id);

}  // namespace terminal::bars
