// Page drawing in the control: what it needs of the toolkit (the devices behind device-context handles,
// fresh pictures to draw pages on, the screen's resolution, the picture object a host receives) and what it
// keeps of the pages drawn. The toolkit side lives with the control's window; tests give recording fakes.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>

#include "docview/lydvw.h"
#include "platform/automation/dispatch.h"

namespace docview {

// The two kinds of picture a page is drawn into for the picture members.
enum class MetafileKind : uint8_t { Windows, Enhanced };

// A picture a page is drawn on. Device() is the address the engine paints on (a QPaintDevice*).
class PageCanvas {
  public:
    virtual ~PageCanvas() = default;
    virtual void* Device() const = 0;
};

class PageSurfaces {
  public:
    virtual ~PageSurfaces() = default;
    // The device behind a device-context handle, kept alive while held; get() is its QPaintDevice*. Null for
    // an unknown handle.
    virtual std::shared_ptr<void> DeviceOf(uint32_t handle) = 0;
    // The control window's device, for `window` as ControlWindow::Widget gives it.
    virtual std::shared_ptr<void> WindowDevice(void* window) = 0;
    // A new, empty picture; null when none can be made.
    virtual std::unique_ptr<PageCanvas> NewCanvas() = 0;
    // The screen's pixels per inch, across and down.
    virtual std::pair<double, double> ScreenPixelsPerInch() = 0;
    // A picture object over a copy of `canvas` (null: an empty picture) with its extent in HIMETRIC; null
    // when it cannot be made.
    virtual std::shared_ptr<platform::automation::IDispatch> PictureOf(const PageCanvas* canvas,
                                                                       MetafileKind kind, int32_t width,
                                                                       int32_t height) = 0;
};

// What the control keeps of page drawing.
struct PageDrawState {
    // Pages the engine has laid out in order since the last reset.
    int32_t counter = 0;
    int32_t formatWidth = 14400;
    int32_t formatHeight = 10800;
    int32_t unitsPerInch = 1440;
    LydvwRect result{0, 0, 10800, 14400};
    // The last page drawn into a picture, its kind and its extent.
    std::unique_ptr<PageCanvas> picture;
    MetafileKind kind = MetafileKind::Windows;
    int32_t extentWidth = 0;
    int32_t extentHeight = 0;
    uint32_t palette = 0;
};

// One draw request of the three draw members. For the picture members the devices are made by the control.
struct PageRequest {
    enum class Into : uint8_t { WindowsMetafile, EnhancedMetafile, Device };
    Into into = Into::WindowsMetafile;
    int32_t page = 0;
    uint32_t flags = 0;
    LydvwRect target{};
    int32_t formatWidth = 0;
    int32_t formatHeight = 0;
    int32_t unitsPerInch = 0;
    uint32_t outputHandle = 0;
    uint32_t formatHandle = 0;
    uint32_t palette = 0;
};

}  // namespace docview
