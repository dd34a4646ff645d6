// Bringing another program's window to the front on X11, through the window manager's activation request,
// and the keyboard's lock lights for the status bar.
#pragma once

#include <cstdint>
#include <optional>

namespace viewer {

// False when not on X11 or the window is 0.
bool ActivateX11Window(uint32_t window);

// The keyboard's lights as the X server reports them (bit 0 Caps Lock, 1 Num Lock, 2 Scroll Lock);
// nothing when not on X11.
std::optional<uint32_t> X11KeyboardLeds();

}  // namespace viewer
