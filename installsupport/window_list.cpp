// Listing top-level windows through XCB with every request sent before the first reply is read.
#include "installsupport/window_list.h"

#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <unordered_set>

namespace dorvik {

struct Display::Impl {
    xcb_window_t root = 0;
    xcb_atom_t clientList = 0;
    xcb_atom_t netWmName = 0;
    xcb_atom_t utf8String = 0;
    xcb_atom_t netWmPid = 0;
    xcb_atom_t wmProtocols = 0;
    xcb_atom_t wmDeleteWindow = 0;
};

namespace {

xcb_intern_atom_cookie_t InternAtomRequest(xcb_connection_t* c, const char* name) {
    return xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name);
}

xcb_atom_t InternAtomReply(xcb_connection_t* c, xcb_intern_atom_cookie_t cookie) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, cookie, nullptr);
    const xcb_atom_t atom = reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

std::string PropertyText(xcb_get_property_reply_t* reply) {
    if (reply == nullptr || reply->format != 8) {
        return {};
    }
    const auto* data = static_cast<const char*>(xcb_get_property_value(reply));
    std::string text(data, static_cast<size_t>(xcb_get_property_value_length(reply)));
    // A caption ends at its first NUL (WM_CLIENT_MACHINE and lists of names carry one).
    text.resize(std::strlen(text.c_str()));
    return text;
}

std::string HostName() {
    char name[256] = {};
    gethostname(name, sizeof name - 1);
    return name;
}

}  // namespace

std::string Latin1ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

Display::Display() {
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
    if (c == nullptr || xcb_connection_has_error(c)) {
        const char* display = std::getenv("DISPLAY");
        m_error = display && *display ? std::string("cannot connect to the X display ") + display
                                      : std::string("no X display (DISPLAY is not set)");
        if (c) {
            xcb_disconnect(c);
        }
        return;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && it.rem; ++i) {
        xcb_screen_next(&it);
    }
    // DISPLAY may name a screen the server does not have.
    if (it.rem == 0 || it.data == nullptr) {
        xcb_disconnect(c);
        m_error = "the X display has no screen " + std::to_string(screenNumber);
        return;
    }
    auto impl = new Impl;
    impl->root = it.data->root;
    // Only the atoms used here, in one round trip: every call connects anew, so each request counts.
    struct Wanted {
        const char* name;
        xcb_atom_t* atom;
        xcb_intern_atom_cookie_t cookie;
    };
    Wanted wanted[] = {
        {"_NET_CLIENT_LIST", &impl->clientList, {}}, {"_NET_WM_NAME", &impl->netWmName, {}},
        {"UTF8_STRING", &impl->utf8String, {}},      {"_NET_WM_PID", &impl->netWmPid, {}},
        {"WM_PROTOCOLS", &impl->wmProtocols, {}},    {"WM_DELETE_WINDOW", &impl->wmDeleteWindow, {}}};
    for (auto& w : wanted) {
        w.cookie = InternAtomRequest(c, w.name);
    }
    bool atoms = true;
    for (auto& w : wanted) {
        *w.atom = InternAtomReply(c, w.cookie);
        atoms = atoms && *w.atom != XCB_ATOM_NONE;
    }
    if (!atoms) {
        delete impl;
        xcb_disconnect(c);
        m_error = "cannot read the window manager's atoms";
        return;
    }
    m_connection = c;
    m_impl = impl;
}

Display::~Display() {
    delete m_impl;
    if (m_connection) {
        xcb_disconnect(static_cast<xcb_connection_t*>(m_connection));
    }
}

std::vector<WindowInfo> Display::TopLevelWindows(bool withPids) {
    auto* c = static_cast<xcb_connection_t*>(m_connection);
    std::vector<WindowInfo> windows;
    if (c == nullptr) {
        return windows;
    }
    const auto clientsCookie =
        xcb_get_property(c, 0, m_impl->root, m_impl->clientList, XCB_ATOM_WINDOW, 0, UINT32_MAX / 4);
    const auto treeCookie = xcb_query_tree(c, m_impl->root);
    std::vector<xcb_window_t> ids;
    std::unordered_set<xcb_window_t> seen;
    if (xcb_get_property_reply_t* list = xcb_get_property_reply(c, clientsCookie, nullptr)) {
        if (list->format == 32 && list->type == XCB_ATOM_WINDOW) {
            const auto* clients = static_cast<const xcb_window_t*>(xcb_get_property_value(list));
            const int count = xcb_get_property_value_length(list) / 4;
            for (int i = 0; i < count; ++i) {
                if (seen.insert(clients[i]).second) {
                    ids.push_back(clients[i]);
                }
            }
        }
        std::free(list);
    }
    if (xcb_query_tree_reply_t* tree = xcb_query_tree_reply(c, treeCookie, nullptr)) {
        const xcb_window_t* children = xcb_query_tree_children(tree);
        for (int i = 0; i < xcb_query_tree_children_length(tree); ++i) {
            if (seen.insert(children[i]).second) {
                ids.push_back(children[i]);
            }
        }
        std::free(tree);
    }

    // A window gone meanwhile answers with errors, which come back as empty replies here.
    const auto take = [&](xcb_get_property_cookie_t cookie) {
        xcb_generic_error_t* error = nullptr;
        xcb_get_property_reply_t* reply = xcb_get_property_reply(c, cookie, &error);
        std::free(error);
        return reply;
    };
    constexpr uint32_t kLongs = 1024;  // up to 4096 bytes of a caption
    const auto property = [&](xcb_window_t id, xcb_atom_t atom, xcb_atom_t type, uint32_t longs) {
        return xcb_get_property(c, 0, id, atom, type, 0, longs);
    };
    struct Pending {
        xcb_get_property_cookie_t netName, machine, pid;
    };
    std::vector<Pending> pending;
    pending.reserve(ids.size());
    for (const xcb_window_t id : ids) {
        Pending p{property(id, m_impl->netWmName, m_impl->utf8String, kLongs), {}, {}};
        if (withPids) {
            p.machine = property(id, XCB_ATOM_WM_CLIENT_MACHINE, XCB_GET_PROPERTY_TYPE_ANY, kLongs);
            p.pid = property(id, m_impl->netWmPid, XCB_ATOM_CARDINAL, 1);
        }
        pending.push_back(p);
    }
    const std::string host = withPids ? HostName() : std::string();
    windows.resize(ids.size());
    // WM_NAME only for the windows without _NET_WM_NAME (frames and older programs), in a second pipelined
    // round: most managed windows have both. Its requests wait until the first round is read, since waiting
    // for a reply sends what is queued, one write per window otherwise.
    std::vector<size_t> unnamed;
    for (size_t i = 0; i < ids.size(); ++i) {
        WindowInfo& info = windows[i];
        info.id = ids[i];
        xcb_get_property_reply_t* netName = take(pending[i].netName);
        if (netName && xcb_get_property_value_length(netName) > 0) {
            info.caption = PropertyText(netName);
        } else {
            unnamed.push_back(i);
        }
        std::free(netName);
        if (withPids) {
            xcb_get_property_reply_t* machine = take(pending[i].machine);
            xcb_get_property_reply_t* pid = take(pending[i].pid);
            if (pid && pid->format == 32 && xcb_get_property_value_length(pid) >= 4 &&
                PropertyText(machine) == host) {
                info.pid = static_cast<pid_t>(*static_cast<const uint32_t*>(xcb_get_property_value(pid)));
            }
            std::free(machine);
            std::free(pid);
        }
    }
    std::vector<xcb_get_property_cookie_t> names;
    names.reserve(unnamed.size());
    for (const size_t i : unnamed) {
        names.push_back(property(ids[i], XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, kLongs));
    }
    for (size_t k = 0; k < unnamed.size(); ++k) {
        const size_t i = unnamed[k];
        if (xcb_get_property_reply_t* name = take(names[k])) {
            windows[i].caption =
                name->type == m_impl->utf8String ? PropertyText(name) : Latin1ToUtf8(PropertyText(name));
            std::free(name);
        }
    }
    return windows;
}

bool Display::CloseAndWait(uint32_t window, int ms) {
    auto* c = static_cast<xcb_connection_t*>(m_connection);
    if (c == nullptr) {
        return false;
    }
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = m_impl->wmProtocols;
    event.data.data32[0] = m_impl->wmDeleteWindow;
    event.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(c, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
    xcb_flush(c);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        xcb_generic_error_t* error = nullptr;
        std::free(xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), &error));
        const bool gone = error != nullptr;
        std::free(error);
        if (gone) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

}  // namespace dorvik
