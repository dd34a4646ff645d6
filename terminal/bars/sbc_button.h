// CSBCButton: the owner-drawn key of the calculator and calendar dialogs, painted from three prepared faces
// (normal, focused, pressed) and repeating its press every 200 ms while held. It reports to its parent only,
// through `notify`.
#pragma once

#include <QBasicTimer>
#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QWidget>
#include <cstdint>

class QPainter;

namespace terminal::bars {

class CSBCButton : public QWidget {
    Q_OBJECT

  public:
    // Codes of `notify`.
    static constexpr int kPressed = -2;  // press, double-click and every repeat
    static constexpr int kFocusIn = -7;
    static constexpr int kFocusOut = -8;
    static constexpr int kReleased = 10232;  // released inside the face; delivered after the event returns
    static constexpr int kRepeatMs = 200;

    // How the image is put on the faces.
    enum class ImageOp { Copy, And, Or, Xor };

    CSBCButton(QWidget* parent, int32_t controlId, int32_t ownerValue = 0);

    // Builds the three faces of width x height with `image` at (x, y) (one pixel further when pressed).
    // Only the first call counts.
    void CreateFaceBitmaps(const QPixmap& image, int x, int y, int width, int height,
                           ImageOp op = ImageOp::Copy);
    bool HasFaces() const { return !m_normal.isNull(); }
    QRect FaceRect() const { return m_face; }

    // A dotted line (every other pixel black) from the anchor along their shared row or column to (x, y),
    // which becomes the anchor.
    void DrawDottedTo(QPainter& painter, int x, int y);
    void SetAnchor(QPoint anchor) { m_anchor = anchor; }
    QPoint Anchor() const { return m_anchor; }

    int32_t ControlId() const { return m_controlId; }
    int32_t OwnerValue() const { return m_ownerValue; }
    bool IsPressed() const { return m_pressed; }
    // The repeat timer, for callers that drive it: its id (0 while none runs).
    int RepeatTimerId() const { return m_repeat.timerId(); }

  signals:
    void notify(int controlId, int code);

  protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

  private:
    void Press();
    // Ends a press without a release: no 10232.
    void Abandon();
    QPixmap MakeFace(const QPixmap& image, int x, int y, ImageOp op, int style) const;

    int32_t m_controlId;
    int32_t m_ownerValue;
    QPixmap m_normal;
    QPixmap m_focused;
    QPixmap m_pressedFace;
    QRect m_face;
    QPoint m_anchor;
    bool m_pressed = false;
    QBasicTimer m_repeat;
};

}  // namespace terminal::bars
