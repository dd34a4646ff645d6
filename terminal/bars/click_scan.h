// A left click on the terminal screen turned into host input: the screen text under the click may offer a
// command (a menu letter, "<exit>", "<enter>"...), which is sent; otherwise the click position is reported
// to the host. The scan reads only the clicked row.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "terminal/core/screen_types.h"

namespace terminal {
class CTerminalScreen;
}

namespace terminal::bars {

enum class ClickKind { Single = 0, Double = 1 };

// The command the text under a click offers.
struct ClickCommand {
    enum class Kind {
        None,     // no command: the click is reported
        Send,     // `text` on channel 0
        Process,  // the control's process request
        Exit,     // end the field, or ESC [ @ without one
    };
    Kind kind = Kind::None;
    std::string text;
    bool operator==(const ClickCommand&) const = default;
};

// The scan over the 2000 cells of the screen (row-major), the clicked cell and the cursor. A click off the
// 80 x 25 cells offers nothing.
ClickCommand ScanClick(std::span<const uint8_t> cells, CellPosition click, CellPosition cursor);

// ESC [ ~ (single) or ESC [ ! (double) with column and row in two places and 1 when the click lies above the
// cursor's row.
std::string ClickReport(ClickKind kind, CellPosition click, CellPosition cursor);

// What acting on a click needs of the control.
class ClickTarget {
  public:
    virtual ~ClickTarget() = default;
    // A field input is open and its text differs from what the host started it with.
    virtual bool FieldModified() const = 0;
    // Sends that text on channel 1 with 0x01 after it, then ESC [ @ when `endOfField`, and ends the field.
    virtual void SubmitField(bool endOfField) = 0;
    virtual void WriteChannel0(std::string_view bytes) = 0;
    // The pipe's plain write, without a channel prefix.
    virtual void WriteRaw(std::string_view bytes) = 0;
    virtual void SendProcess() = 0;
};

// Sends the command the click offers, or reports the click. Clicks off the screen's cells do nothing.
void ActOnClick(const CTerminalScreen& screen, ClickKind kind, CellPosition click, ClickTarget& target);

}  // namespace terminal::bars
