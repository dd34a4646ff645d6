// Where the viewer's window opens: the normal rectangle and zoom flag kept under the Viewer key, fitted onto
// the screens there are now, so a window saved on a screen since removed, or off an edge, still opens in
// sight.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace display {

inline constexpr const char* kViewerKey = "SOFTWARE\\Carrowline Corporation\\Ostrel\\1.0\\Viewer";
inline constexpr const char* kZoomModeValue = "ZoomMode";
inline constexpr const char* kWindowSizeValue = "WindowSize";
inline constexpr const char* kZoomModeSaveError =
    "A registry error occurred.\n\nThe ZoomMode property could not be saved to the registy.";
inline constexpr const char* kWindowSizeSaveError =
    "A registry error occurred.\n\nThe WindowSize property could not be saved to the registy.";

// Edges as the stored value has them: right and bottom lie just outside.
struct WindowRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    int32_t Width() const { return right - left; }
    int32_t Height() const { return bottom - top; }
    bool operator==(const WindowRect&) const = default;
};

inline constexpr WindowRect kDefaultWindowRect{20, 20, 620, 440};

struct WindowPlacement {
    WindowRect normal;
    bool maximized = false;
    bool operator==(const WindowPlacement&) const = default;
};

// The 16 bytes of "WindowSize" (four little-endian 32-bit edges). Null for any other length or a rectangle
// without area, which the caller treats as missing.
std::optional<WindowRect> DecodeWindowSize(const std::vector<uint8_t>& bytes);
std::vector<uint8_t> EncodeWindowSize(const WindowRect& rect);

// The stored values (null: missing or of the wrong type) placed on `screens`, the available area of each,
// the primary first. The size is kept unless it exceeds the chosen screen; the left edge is kept inside
// [screen left, screen right - iconWidth], the top edge likewise.
WindowPlacement PlaceWindow(std::optional<uint32_t> zoomMode, std::optional<WindowRect> stored,
                            const std::vector<WindowRect>& screens, int32_t iconWidth);

}  // namespace display
