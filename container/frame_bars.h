// The frame's bars: a toolbar of host commands that cannot be dragged by its background, and the status
// bar whose last pane holds four navigation buttons that page and step through host lists while held.
#pragma once

#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <array>
#include <functional>
#include <optional>

#include "container/host_commands.h"

class QLabel;

namespace container {

// Art of our own for a button: its initials on a tile in the bar's colour.
QIcon GeneratedButtonIcon(std::string_view tooltip, ToolbarId bar);

class CToolBarEx : public QToolBar {
    Q_OBJECT
  public:
    CToolBarEx(const ToolbarSpec& spec, QWidget* parent);
    ToolbarId Id() const { return m_id; }
    // The button's action; null when the bar has no button with that id.
    QAction* ActionFor(int32_t id) const;

  signals:
    void Command(int32_t id);

  protected:
    // A press off the buttons goes no further, so the bar cannot be dragged by its background.
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    ToolbarId m_id;
};

class CNavigationButtons : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kButtonWidth = 14;
    static constexpr int kButtonStep = 15;  // width and a one-pixel gap
    static constexpr int kRepeatMs = 150;

    explicit CNavigationButtons(QWidget* parent = nullptr);

    // Called with each press that reaches the host: on the repeat and once more on release.
    void SetSender(std::function<void(NavButton)> send) { m_send = std::move(send); }
    // Shows a text in the status bar's first pane; an empty text shows "Ready".
    void SetStatusText(std::function<void(const QString&)> show) { m_status = std::move(show); }

    QRect ButtonRect(NavButton button) const;
    std::optional<NavButton> ButtonAt(const QPoint& point) const;
    bool IsPressed(NavButton button) const { return m_pressed[static_cast<size_t>(button)]; }
    bool IsRepeating() const { return m_repeat.isActive(); }
    int RepeatInterval() const { return m_repeat.interval(); }
    // Ends a held press without sending: the pointer or the focus went elsewhere.
    void CancelPress();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

  protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void OnRepeat();
    void Send(NavButton button);
    void ShowStatus(const QString& text);
    void SetPressed(NavButton button, bool pressed);

    std::array<bool, kNavButtonCount> m_pressed{};
    QTimer m_repeat;
    bool m_readyShown = true;
    std::function<void(NavButton)> m_send;
    std::function<void(const QString&)> m_status;
};

// Which keyboard locks are on; nothing when the display cannot tell.
struct KeyLocks {
    bool caps = false;
    bool num = false;
    bool scroll = false;
};
using KeyLockSource = std::function<std::optional<KeyLocks>()>;
// Asks the X server's keyboard extension; answers nothing on other platforms (offscreen).
std::optional<KeyLocks> DisplayKeyLocks();

// The CAPS, NUM and SCRL panes: each shows its name while its lock is on and stays blank, at the same
// width, while it is off. The bar refreshes them after every key and when its window is activated.
class CLockIndicators : public QWidget {
    Q_OBJECT
  public:
    explicit CLockIndicators(QWidget* parent = nullptr);
    void SetSource(KeyLockSource source) {
        m_source = std::move(source);
        Refresh();
    }
    void Refresh();
    QString PaneText(int pane) const;
    // The locks as the source tells them now.
    std::optional<KeyLocks> Current() const { return m_source ? m_source() : std::nullopt; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    std::array<QLabel*, 3> m_panes{};
    KeyLockSource m_source;
};

class CSBCCustomStatusBar : public QStatusBar {
    Q_OBJECT
  public:
    explicit CSBCCustomStatusBar(QWidget* parent = nullptr);
    CNavigationButtons* Navigation() const { return m_navigation; }
    CLockIndicators* Locks() const { return m_locks; }
    // What the first pane shows now.
    QString PaneText() const;
    // An empty text shows "Ready".
    void ShowPaneText(const QString& text);

  private:
    QLabel* m_ready;
    CLockIndicators* m_locks;
    CNavigationButtons* m_navigation;
};

}  // namespace container
