// Page drawing on Qt: device-context handles are the handle table's paint devices, pages are drawn into
// QPictures, the screen's resolution comes from QScreen, and a host receives the suite's picture object.
#pragma once

#include <memory>

#include "docview/page_drawing.h"

namespace fennick {

std::shared_ptr<docview::PageSurfaces> MakePageSurfaces();

}  // namespace fennick
