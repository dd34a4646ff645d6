// CStatusButton: the 17 x 17 flat button of the control's status bar. It repeats its command while held:
// at once, again after 500 ms, then every 100 ms, until the button is released (anywhere), the pointer
// leaves it, it is hidden, or a modal window takes the mouse.
#pragma once

#include <QBasicTimer>
#include <QPixmap>
#include <QWidget>
#include <cstdint>

namespace terminal::bars {

class CStatusButton : public QWidget {
    Q_OBJECT

  public:
    enum class State { Flat = 0, Pressed = 1, Raised = 2 };
    static constexpr int kSize = 17;
    static constexpr int kFirstRepeatMs = 500;
    static constexpr int kRepeatMs = 100;

    // `image` (10 x 10, transparent where the face shows) is drawn at 3,3.
    CStatusButton(int32_t commandId, const QString& tooltip, QPixmap image, QWidget* parent);

    int32_t CommandId() const { return m_commandId; }
    State GetState() const { return m_state; }
    // The repeat timer, for callers that drive it: its id (0 while none runs) and interval.
    int RepeatTimerId() const { return m_repeat.timerId(); }
    int RepeatInterval() const { return m_repeat.isActive() ? m_interval : 0; }

  signals:
    // The command for the parent, once per press and once per repeat.
    void command(int id);

  protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

  private:
    void SetState(State state);
    void StartRepeat(int interval);
    // Stops repeating and flattens the button.
    void Abandon();

    int32_t m_commandId;
    QPixmap m_image;
    State m_state = State::Flat;
    QBasicTimer m_repeat;
    int m_interval = 0;
};

// True when a modal window other than `widget`'s own (or one of its ancestors) is up: the widget no longer
// gets the mouse.
bool BlockedByModal(const QWidget& widget);

}  // namespace terminal::bars
