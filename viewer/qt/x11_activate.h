// Bringing another program's window to the front on X11, through the window manager's activation request.
#pragma once

#include <cstdint>

namespace viewer {

// False when not on X11 or the window is 0.
bool ActivateX11Window(uint32_t window);

}  // namespace viewer
