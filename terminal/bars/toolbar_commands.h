// What the control's toolbar buttons do, without their windows: which buttons each bar shows as the host
// switches bars and the Simple form comes and goes, and what a pressed button sends to the host or asks of
// the control.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "terminal/bars/toolbar_tables.h"

namespace terminal::bars {

// The buttons the two toolbars show. The Simple form leaves the main toolbar empty and the control toolbar
// with its last three buttons; switching it on or off any number of times always gives one of the two
// forms.
class CToolbarSet {
  public:
    explicit CToolbarSet(bool simple = false) : m_simple(simple) {}

    // The host's toolbar number. In the Simple form the main toolbar stays empty.
    void SwitchMain(int32_t hostNumber);
    // Leaving the Simple form shows the System toolbar.
    void SetSimple(bool simple);

    bool Simple() const { return m_simple; }
    ToolbarKind Main() const { return m_main; }
    std::span<const ToolbarButton> MainButtons() const;
    std::span<const ToolbarButton> ControlButtons() const;
    int32_t ControlIndent() const { return m_simple ? 30 : 5; }
    static constexpr int32_t kMainIndent = 5;

  private:
    bool m_simple;
    ToolbarKind m_main = ToolbarKind::System;
};

// What a button asks of the control. Called on the control's window thread.
class ToolbarTarget {
  public:
    virtual ~ToolbarTarget() = default;
    // While the control is closing the buttons do nothing.
    virtual bool Closing() const = 0;
    virtual bool Chainable() const = 0;
    // Hides the field editor without ending the field.
    virtual void HideFieldEditor() = 0;
    // Bytes on channel 0 of the session's pipe, in order with everything else written.
    virtual void WriteChannel0(std::string_view bytes) = 0;
    // The control's new-window operation with `switchText` for a new session.
    virtual void OpenNewWindow(std::string_view switchText) = 0;
    // The control's NewWindow, SendProcess and ShowCalc methods (the calculator sends its own value).
    virtual void NewWindow() = 0;
    virtual void SendProcess() = 0;
    virtual void ShowCalculator() = 0;
    // A message box with the stop icon.
    virtual void ShowStop(std::string_view text) = 0;
};

// What a main-toolbar button of handler `bar` does with command `id`.
struct ToolbarAction {
    enum class Kind {
        Write,      // `text` on channel 0
        NewWindow,  // the new-window operation with `text` as the switch
        Unknown,    // `text` is the message; nothing is sent
    };
    Kind kind = Kind::Unknown;
    std::string text;
    bool operator==(const ToolbarAction&) const = default;
};
ToolbarAction MainToolbarAction(ToolbarKind bar, int32_t id, bool chainable);

// Runs command `id` of either toolbar. False when the id belongs to no toolbar.
bool RunToolbarCommand(int32_t id, ToolbarTarget& target);

// The status bar's paging command `id`: its three bytes on channel 0. False for another id.
bool RunStatusBarCommand(int32_t id, ToolbarTarget& target);

}  // namespace terminal::bars
