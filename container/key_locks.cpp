// The keyboard lock state for the status bar's indicators, from the X server's keyboard extension. Kept
// apart because the X headers define names (KeyPress, None, Bool) that clash with Qt's.
#include <QGuiApplication>

#include "container/frame_bars.h"

#include <X11/XKBlib.h>

namespace container {

std::optional<KeyLocks> DisplayKeyLocks() {
    auto* x11 = qApp != nullptr ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 != nullptr ? x11->display() : nullptr;
    if (display == nullptr) {
        return std::nullopt;
    }
    auto lit = [display](const char* name) {
        Bool on = False;
        const Atom atom = XInternAtom(display, name, True);
        return atom != None && XkbGetNamedIndicator(display, atom, nullptr, &on, nullptr, nullptr) && on;
    };
    return KeyLocks{lit("Caps Lock"), lit("Num Lock"), lit("Scroll Lock")};
}

}  // namespace container
