// Zoom options to page sizes.
#include "docview/engine/page_zoom.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace docview::engine {

std::optional<PageZoom> ZoomFromOption(uint32_t option, std::string_view data) {
    if (option == LYDVW_OPT_BMP_ZOOM || option == LYDVW_OPT_VEC_ZOOM) {
        LydvwZoom record{};
        if (data.size() < sizeof record)
            return std::nullopt;
        std::memcpy(&record, data.data(), sizeof record);
        if (record.x <= 0 || record.x_base <= 0 || record.y <= 0 || record.y_base <= 0)
            return std::nullopt;
        return PageZoom{PageZoom::Kind::Custom, static_cast<double>(record.x) / record.x_base,
                        static_cast<double>(record.y) / record.y_base};
    }
    int16_t type = 0;
    if (data.size() < sizeof type)
        return std::nullopt;
    std::memcpy(&type, data.data(), sizeof type);
    switch (type) {
        case LYDVW_ZOOM_WHOLE_PAGE:
            return PageZoom{PageZoom::Kind::WholePage};
        case LYDVW_ZOOM_FIT_WIDTH:
            return PageZoom{PageZoom::Kind::FitWidth};
        case LYDVW_ZOOM_FIT_HEIGHT:
            return PageZoom{PageZoom::Kind::FitHeight};
        case LYDVW_ZOOM_ACTUAL:
            return PageZoom{PageZoom::Kind::Actual};
        default:
            return std::nullopt;
    }
}

QSize ZoomedSize(QSizeF natural, const PageZoom& zoom, QSize view) {
    if (natural.isEmpty() || view.isEmpty())
        return QSize(1, 1);
    const double toWidth = view.width() / natural.width();
    const double toHeight = view.height() / natural.height();
    double x = 1;
    double y = 1;
    switch (zoom.kind) {
        case PageZoom::Kind::WholePage:
            x = y = std::min(toWidth, toHeight);
            break;
        case PageZoom::Kind::FitWidth:
            x = y = toWidth;
            break;
        case PageZoom::Kind::FitHeight:
            x = y = toHeight;
            break;
        case PageZoom::Kind::Custom:
            x = zoom.x;
            y = zoom.y;
            break;
        case PageZoom::Kind::Actual:
        case PageZoom::Kind::FitMode:
            break;
    }
    double width = natural.width() * x;
    double height = natural.height() * y;
    if (const double area = width * height; area > kMaxPagePixels) {
        const double shrink = std::sqrt(kMaxPagePixels / area);
        width *= shrink;
        height *= shrink;
    }
    return QSize(static_cast<int>(std::clamp(std::round(width), 1.0, double{kMaxPageSide})),
                 static_cast<int>(std::clamp(std::round(height), 1.0, double{kMaxPageSide})));
}

}  // namespace docview::engine
