// The field editor's edit box: a one-line edit laid over the cells of a host field. The editing rules are
// CInkeyCtrl's; this box feeds it keys, characters and clicks and shows its text, echo and caret.
#pragma once

#include <QLineEdit>
#include <functional>
#include <string_view>

#include "terminal/core/inkey.h"
#include "terminal/widget/key_adapter.h"

namespace terminal {

class CFieldEdit : public QLineEdit, public InkeyHost {
    Q_OBJECT

  public:
    static constexpr QRgb kBackground = qRgb(253, 245, 230);

    CFieldEdit(KeyPoster& poster, QWidget* parent = nullptr);

    CInkeyCtrl& Model() { return m_model; }
    KeyAdapter& Keys() { return m_keys; }
    // Shows the model's text, selection and caret; called after everything that may change them.
    void SyncFromModel();
    // Where diagnostic lines go (the control's debug log); dropped when none is set.
    void SetLogger(std::function<void(std::string_view)> logger) { m_logger = std::move(logger); }
    int BeepCount() const { return m_beeps; }

    // Command `a`: opens the field in the model and shows it as the model leaves it.
    bool OpenField(std::string_view description, const CellGeometry& geometry);
    // The edit commands on the system clipboard; its text passes through code page 437 both ways.
    void CopyToClipboard();
    void CutToClipboard();
    void PasteFromClipboard();

    // A key press for the model, read by this box's adapter or, when it reached the control window first,
    // by the control's. True when the key or its character was used.
    bool HandleKey(const QKeyEvent& event) { return HandleKey(m_keys.Adapt(event)); }
    bool HandleKey(const AdaptedKey& key);

    // InkeyHost
    void Beep() override;
    void ShowField(bool visible) override;
    void MoveField(const FieldRect& rect) override;
    void FocusField() override;
    void PostCommand(int32_t commandId) override;
    void LogLine(std::string_view text) override;

  signals:
    // Copy (57634) or paste (57637) for the control, delivered on a later turn as a posted command is.
    void commandPosted(int commandId);
    // The right button was released: the six-character flag text of the edit actions that apply and the
    // point in the parent's coordinates.
    void contextMenuRequested(const QString& flags, const QPoint& point);

  protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    void SyncToModel();

    CInkeyCtrl m_model;
    KeyAdapter m_keys;
    std::function<void(std::string_view)> m_logger;
    bool m_syncing = false;
    int m_beeps = 0;
};

}  // namespace terminal
