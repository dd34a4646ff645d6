// The Caps Lock of a test's own X server, set from a connection of the test's own. Kept apart from the Qt
// code because the X headers define names (KeyPress, None, Bool) that clash with Qt's.
#pragma once

#include <string>

namespace container::testing {

// Locks or unlocks the Lock modifier of the core keyboard on `display`; false with `error` set when the
// server refused or could not be reached.
bool SetServerCapsLock(const std::string& display, bool on, std::string& error);

}  // namespace container::testing
