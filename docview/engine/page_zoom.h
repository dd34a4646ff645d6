// How large the engine shows a page under a zoom option: a custom percentage of its natural size or one of
// the fit types, bounded so that a page, which is rendered whole, stays a picture memory can hold.
#pragma once

#include <QSize>
#include <QSizeF>
#include <cstdint>
#include <optional>
#include <string_view>

#include "docview/lydvw.h"

namespace docview::engine {

struct PageZoom {
    enum class Kind : uint8_t { FitMode, WholePage, FitWidth, FitHeight, Actual, Custom };
    Kind kind = Kind::FitMode;  // FitMode: as the document's own fit mode shows it
    double x = 1;               // Custom: the factors of the natural size
    double y = 1;
};

// The zoom that a zoom-record or zoom-type option's data asks for; nullopt for a value that is none.
std::optional<PageZoom> ZoomFromOption(uint32_t option, std::string_view data);

// The largest page picture, in pixels; a page zoomed beyond is shown smaller, at its proportions.
inline constexpr double kMaxPagePixels = 32.0 * 1024 * 1024;
inline constexpr int kMaxPageSide = 32000;

// A page of `natural` size (in pixels at 100 %) in a view of `view` size; not for Kind::FitMode.
QSize ZoomedSize(QSizeF natural, const PageZoom& zoom, QSize view);

}  // namespace docview::engine
