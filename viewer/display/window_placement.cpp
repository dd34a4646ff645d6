#include "viewer/display/window_placement.h"

#include <algorithm>

#include "platform/byte_order.h"

namespace display {
namespace {

int64_t Overlap(const WindowRect& a, const WindowRect& b) {
    const int64_t width = int64_t(std::min(a.right, b.right)) - std::max(a.left, b.left);
    const int64_t height = int64_t(std::min(a.bottom, b.bottom)) - std::max(a.top, b.top);
    return width > 0 && height > 0 ? width * height : 0;
}

// The screen holding the window's top left corner, else the one it covers most, else the primary.
const WindowRect* ChooseScreen(const WindowRect& window, const std::vector<WindowRect>& screens) {
    const WindowRect* best = nullptr;
    int64_t bestOverlap = 0;
    for (const WindowRect& screen : screens) {
        if (screen.Width() <= 0 || screen.Height() <= 0) {
            continue;
        }
        if (window.left >= screen.left && window.left < screen.right && window.top >= screen.top &&
            window.top < screen.bottom) {
            return &screen;
        }
        const int64_t overlap = Overlap(window, screen);
        // The first usable screen, the primary, stands until one is covered more.
        if (!best || overlap > bestOverlap) {
            best = &screen;
            bestOverlap = overlap;
        }
    }
    return best;
}

int32_t FitEdge(int32_t edge, int32_t low, int32_t high, int32_t margin) {
    // Further than one icon inside the far edge, or past the near edge: pulled back into sight.
    const int32_t limit = std::max(low, high - margin);
    return std::clamp(edge, low, limit);
}

}  // namespace

std::optional<WindowRect> DecodeWindowSize(const std::vector<uint8_t>& bytes) {
    if (bytes.size() != 16) {
        return std::nullopt;
    }
    const uint8_t* at = bytes.data();
    const WindowRect rect{
        platform::LoadLittleEndian<int32_t>(at), platform::LoadLittleEndian<int32_t>(at + 4),
        platform::LoadLittleEndian<int32_t>(at + 8), platform::LoadLittleEndian<int32_t>(at + 12)};
    const int64_t width = int64_t(rect.right) - rect.left;
    const int64_t height = int64_t(rect.bottom) - rect.top;
    if (width <= 0 || height <= 0 || width > INT32_MAX || height > INT32_MAX) {
        return std::nullopt;
    }
    return rect;
}

std::vector<uint8_t> EncodeWindowSize(const WindowRect& rect) {
    std::vector<uint8_t> bytes(16);
    platform::StoreLittleEndian(bytes.data(), rect.left);
    platform::StoreLittleEndian(bytes.data() + 4, rect.top);
    platform::StoreLittleEndian(bytes.data() + 8, rect.right);
    platform::StoreLittleEndian(bytes.data() + 12, rect.bottom);
    return bytes;
}

WindowPlacement PlaceWindow(std::optional<uint32_t> zoomMode, std::optional<WindowRect> stored,
                            const std::vector<WindowRect>& screens, int32_t iconWidth) {
    WindowPlacement placement;
    placement.maximized = zoomMode == 1u;
    const WindowRect window = stored.value_or(kDefaultWindowRect);
    const WindowRect* screen = ChooseScreen(window, screens);
    if (!screen) {
        placement.normal = window;
        return placement;
    }
    const int32_t width = std::min(window.Width(), screen->Width());
    const int32_t height = std::min(window.Height(), screen->Height());
    const int32_t left = FitEdge(window.left, screen->left, screen->right, iconWidth);
    const int32_t top = FitEdge(window.top, screen->top, screen->bottom, iconWidth);
    placement.normal = {left, top, left + width, top + height};
    return placement;
}

}  // namespace display
