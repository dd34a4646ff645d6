// The terminal control's screen window: a CTerminalScreen painted through QtScreenPainter into a backing
// image, its font created and fitted to the window, the 3-D frame, and keys turned into terminal bytes for
// the key sender (or for the field editor once the host works with fields).
#pragma once

#include <QDate>
#include <QFont>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <optional>
#include <span>
#include <string_view>

#include "suite/registry_settings.h"
#include "terminal/core/key_sender.h"
#include "terminal/core/screen.h"
#include "terminal/widget/key_adapter.h"
#include "terminal/widget/qt_screen_painter.h"

class QPaintDevice;

namespace terminal {

class CFieldEdit;

class CTerminalWidget : public QWidget {
    Q_OBJECT

  public:
    explicit CTerminalWidget(QWidget* parent = nullptr);
    ~CTerminalWidget() override;

    CTerminalScreen& Screen() { return m_screen; }
    QtScreenPainter& Painter() { return m_painter; }
    KeyAdapter& Keys() { return m_keys; }

    // Where keys go before the host opens its first field; not owned, null sends nothing.
    void SetKeySender(CKeySender* sender) { m_keySender = sender; }
    // The field editor over the cells (a child of this widget): keys are routed through its model, and it is
    // re-placed and given the font when they change. Not owned; null detaches it.
    void SetFieldEdit(CFieldEdit* field);
    // Sees the screen's mouse button, move and wheel events before the screen does; true takes the event
    // from it. The control's clicks, selection and wheel work through this rather than an event filter,
    // which every key would pay for.
    using MouseHook = std::function<bool(QEvent&)>;
    void SetMouseHook(MouseHook hook) { m_mouseHook = std::move(hook); }

    // Host data for the screen. The cursor is hidden while it is drawn, and shown again afterwards when a
    // key went to the host since the last feed.
    void Feed(std::span<const uint8_t> bytes);
    void Feed(std::string_view bytes);

    // Creates the terminal font from a font description, measures the cell from it, lays the grid out and
    // repaints.
    void LoadFont(const suite::LogFont& font);
    // The same from the user's registry font settings.
    void LoadFontFromRegistry();
    bool HasFont() const { return m_font.has_value(); }
    const QFont* TerminalFont() const { return m_font ? &*m_font : nullptr; }

    // Fits the font to 80 x 25 cells in cx by cy pixels and saves what fitted to the registry (unless a
    // face had to be substituted). Returns 1 when it fits, also when there is nothing to fit.
    int32_t ResizeRequest(int32_t cx, int32_t cy);
    int32_t LastFitResult() const { return m_fitResult; }

    // The control's Border and Toolbars properties: the frame drawn, and the offsets of the cell grid.
    void SetFrameStyle(bool border, bool toolbars);
    bool Border() const { return m_border; }
    bool Toolbars() const { return m_toolbars; }
    // The control's status bar takes this many pixels off the bottom of the cell area; 0 without one.
    void SetStatusBarHeight(int32_t height);

    // The block cursor blinks every 500 ms while the widget has the focus and no field is open. Kept
    // blinking, it blinks on without the focus too (a page that hands the focus around asks for that).
    void KeepCursorBlinking(bool keep);
    bool CursorBlinking() const { return m_blink.isActive(); }
    static constexpr int kBlinkMs = 500;

    // Prints the screen on a device the caller has opened (printer or PDF writer).
    bool PrintScreen(QPaintDevice& device, const QDate& date = QDate::currentDate());

  signals:
    // Copy (57634) or paste (57637) for the control.
    void commandPosted(int commandId);

  protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    void Blink();
    void ApplyFont(const QFont& font);
    void Relayout();
    void PlaceField();
    void FitToWindow(bool frameChanged);
    void ScheduleFit();
    bool UnixEscKey() const;

    CTerminalScreen m_screen;
    QtScreenPainter m_painter;
    KeyAdapter m_keys;
    CKeySender* m_keySender = nullptr;
    CFieldEdit* m_field = nullptr;
    MouseHook m_mouseHook;
    std::optional<QFont> m_font;
    bool m_border = true;
    bool m_toolbars = true;
    int32_t m_statusBarHeight = 0;
    bool m_showCursorAfterFeed = false;
    bool m_keepBlinking = false;
    QTimer m_blink;
    int32_t m_fitResult = 0;
    bool m_fitPending = false;  // a resize's own fit waits for the next turn of the event loop
};

}  // namespace terminal
