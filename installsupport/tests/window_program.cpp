// A small X11 program for the window tests: one top-level window per caption, with or without _NET_WM_PID,
// claiming another host, hidden, honouring or ignoring WM_DELETE_WINDOW. Says "ready" once mapped.
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {
xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
    auto* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name),
                                    nullptr);
    const xcb_atom_t a = r ? r->atom : 0;
    std::free(r);
    return a;
}
void Set(xcb_connection_t* c, xcb_window_t w, xcb_atom_t prop, xcb_atom_t type, int format, const void* data,
         size_t count) {
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, prop, type, static_cast<uint8_t>(format),
                        static_cast<uint32_t>(count), data);
}
}  // namespace

// Flags: -nopid, -host NAME, -wmname (caption only in WM_NAME, as Latin-1), -ignoreclose, -hidden.
int main(int argc, char** argv) {
    bool pid = true, wmNameOnly = false, ignoreClose = false, hidden = false;
    char self[256] = {};
    gethostname(self, sizeof self - 1);
    std::string host = self;
    std::vector<std::string> captions;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "-nopid") {
            pid = false;
        } else if (a == "-host" && i + 1 < argc) {
            host = argv[++i];
        } else if (a == "-wmname") {
            wmNameOnly = true;
        } else if (a == "-ignoreclose") {
            ignoreClose = true;
        } else if (a == "-hidden") {
            hidden = true;
        } else {
            captions.push_back(a);
        }
    }
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        return 2;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_atom_t netName = Atom(c, "_NET_WM_NAME"), utf8 = Atom(c, "UTF8_STRING"),
                     netPid = Atom(c, "_NET_WM_PID"), protocols = Atom(c, "WM_PROTOCOLS"),
                     deleteWindow = Atom(c, "WM_DELETE_WINDOW");
    for (const auto& caption : captions) {
        const xcb_window_t w = xcb_generate_id(c);
        const uint32_t mask[] = {XCB_EVENT_MASK_STRUCTURE_NOTIFY};
        xcb_create_window(c, XCB_COPY_FROM_PARENT, w, screen->root, 0, 0, 100, 50, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_EVENT_MASK, mask);
        if (wmNameOnly) {
            Set(c, w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, caption.data(), caption.size());
        } else {
            Set(c, w, netName, utf8, 8, caption.data(), caption.size());
            Set(c, w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, "legacy", 6);
        }
        Set(c, w, XCB_ATOM_WM_CLIENT_MACHINE, XCB_ATOM_STRING, 8, host.data(), host.size());
        if (pid) {
            const uint32_t value = static_cast<uint32_t>(getpid());
            Set(c, w, netPid, XCB_ATOM_CARDINAL, 32, &value, 1);
        }
        Set(c, w, protocols, XCB_ATOM_ATOM, 32, &deleteWindow, 1);
        if (!hidden) {
            xcb_map_window(c, w);
        }
    }
    free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    std::puts("ready");
    std::fflush(stdout);
    while (xcb_generic_event_t* e = xcb_wait_for_event(c)) {
        if ((e->response_type & 0x7F) == XCB_CLIENT_MESSAGE) {
            auto* m = reinterpret_cast<xcb_client_message_event_t*>(e);
            if (m->data.data32[0] == deleteWindow && !ignoreClose) {
                xcb_disconnect(c);
                return 0;
            }
        }
        std::free(e);
    }
    return 0;
}
