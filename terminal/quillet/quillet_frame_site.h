// The in-process frame site: what a container's frame window offers the terminal control while the control
// is active in it. The control finds it on the nearest ancestor of its widget that implements it, merges its
// Edit and custom menus into the frame's menu bar through it, and shows menu prompts on the frame's status
// line. Menus cross as QMenu: the shared menu is a QMenu whose actions are the menu bar's popups. The frame
// also tells the control the keyboard's lock state.
#pragma once

#include <QtPlugin>
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

class QMenu;

namespace quillet {

// Widths of the six menu groups: file, edit, container, object, window, help. The frame fills 0, 2 and 4.
using MenuGroupWidths = std::array<int32_t, 6>;

class InPlaceFrame {
  public:
    virtual ~InPlaceFrame() = default;
    // Appends the frame's own popups to `shared` by group and sets the frame's group widths.
    virtual void InsertMenus(QMenu& shared, MenuGroupWidths& widths) = 0;
    // Shows the popups of `shared` as the frame's menu bar; null puts the frame's own menu back.
    virtual void SetMenu(QMenu* shared) = 0;
    // Takes the frame's own popups out of `shared`.
    virtual void RemoveMenus(QMenu& shared) = 0;
    // The frame's status line; 8-bit text (Windows-1252).
    virtual void SetStatusText(std::string_view text) = 0;
};

// The keyboard's lock state as the container's display reports it. Qt tells the control no lock state, and
// the control talks to no display server itself: it asks the nearest ancestor that implements this when it
// starts and whenever its window is activated.
class KeyboardLocks {
  public:
    virtual ~KeyboardLocks() = default;
    // Whether Caps Lock is on; nothing when the display cannot tell.
    virtual std::optional<bool> CapsLockOn() const = 0;
};

}  // namespace quillet

#define QuilletInPlaceFrame_iid "com.carrowline.Quillet.InPlaceFrame/1.0"
Q_DECLARE_INTERFACE(quillet::InPlaceFrame, QuilletInPlaceFrame_iid)
#define QuilletKeyboardLocks_iid "com.carrowline.Quillet.KeyboardLocks/1.0"
Q_DECLARE_INTERFACE(quillet::KeyboardLocks, QuilletKeyboardLocks_iid)
