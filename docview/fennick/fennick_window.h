// The control's window on Qt: the engine's view fills it, a placeholder is drawn while there is none, and
// deleting it (by its parent) destroys the view through the control.
#pragma once

#include <QWidget>

#include "docview/qelctrl.h"

namespace fennick {

class CQelWindow final : public QWidget, public docview::ControlWindow {
  public:
    explicit CQelWindow(docview::Cqelctrl& control);
    ~CQelWindow() override;

    void* Widget() override { return static_cast<QWidget*>(this); }
    void Post(std::function<void()> task) override;
    void Update() override { update(); }
    void PlaceView(void* engineWidget) override;
    void RefreshView(void* engineWidget) override;
    void FocusView(void* engineWidget) override;
    bool AmbientUserMode() const override;
    void Dispose() override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

  private:
    docview::Cqelctrl* m_control;
};

// The control on Qt: its window, the open-file dialog, message boxes. Needs a QApplication and runs on its
// thread.
std::shared_ptr<docview::Cqelctrl> CreateFennickControl(docview::ControlSite site = {});

}  // namespace fennick
