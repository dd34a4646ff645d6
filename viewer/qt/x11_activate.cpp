// _NET_ACTIVE_WINDOW sent to the root window, with the source marked as a pager so that the window manager
// grants a request for a window of another program.
#include "viewer/qt/x11_activate.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <cstdlib>

namespace viewer {

bool ActivateX11Window(uint32_t window) {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (x11 == nullptr || window == 0) {
        return false;
    }
    xcb_connection_t* connection = x11->connection();
    static constexpr char kName[] = "_NET_ACTIVE_WINDOW";
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, sizeof kName - 1, kName), nullptr);
    if (atom == nullptr) {
        return false;
    }
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = atom->atom;
    event.data.data32[0] = 2;  // from a pager
    event.data.data32[1] = XCB_CURRENT_TIME;
    std::free(atom);
    xcb_send_event(connection, 0, screen->root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(connection);
    return true;
}

std::optional<uint32_t> X11KeyboardLeds() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (x11 == nullptr) {
        return std::nullopt;
    }
    xcb_connection_t* connection = x11->connection();
    xcb_get_keyboard_control_reply_t* reply =
        xcb_get_keyboard_control_reply(connection, xcb_get_keyboard_control(connection), nullptr);
    if (reply == nullptr) {
        return std::nullopt;
    }
    const uint32_t leds = reply->led_mask;
    std::free(reply);
    return leds;
}

}  // namespace viewer
