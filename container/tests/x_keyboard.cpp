// Setting the Caps Lock of the test's X server through its keyboard extension.
#include "container/tests/x_keyboard.h"

#include <X11/XKBlib.h>

namespace container::testing {

bool SetServerCapsLock(const std::string& display, bool on, std::string& error) {
    Display* connection = XOpenDisplay(display.c_str());
    if (connection == nullptr) {
        error = "cannot open display " + display;
        return false;
    }
    const bool locked = XkbLockModifiers(connection, XkbUseCoreKbd, LockMask, on ? LockMask : 0) != 0;
    XSync(connection, False);
    XCloseDisplay(connection);
    if (!locked) {
        error = "the server refused to change the Lock modifier";
    }
    return locked;
}

}  // namespace container::testing
