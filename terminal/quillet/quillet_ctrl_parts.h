// What the control's source files share: the toolbar and click adapter and the helpers more than one
// family of the control calls. Private to terminal/quillet.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>

#include "platform/automation/dispatch.h"
#include "terminal/quillet/quillet_ctrl.h"
#include "terminal/widget/field_edit.h"

namespace terminal {

// A modal dialog runs its own event loop, in which a container may let go of the control: the dispatch call
// still runs on it, so the last reference goes once the call has returned.
void ReleaseAfterCall(std::shared_ptr<platform::automation::IDispatch> keepAlive);

// Makes the host link's pipes and gives them the Qt login dialogs over the control's window.
std::unique_ptr<PipeFactory> MakeQtPipeFactory(std::unique_ptr<PipeFactory> inner,
                                               hostlink::RemoteLoginUi& remoteUi,
                                               std::function<QWidget*()> anchor);

// What the toolbars, the status bar and screen clicks ask of the control.
class CQuilletCtrl::BarsAdapter final : public bars::ToolbarTarget, public bars::ClickTarget {
  public:
    explicit BarsAdapter(CQuilletCtrl& control) : m_control(control) {}

    bool Closing() const override { return !m_control.m_window; }
    bool Chainable() const override { return m_control.m_props.m_chainable != 0; }
    void HideFieldEditor() override {
        if (m_control.m_field != nullptr) {
            m_control.m_field->Model().HideField();
        }
    }
    void WriteChannel0(std::string_view bytes) override { m_control.m_keySender->WriteChannel0(bytes); }
    void OpenNewWindow(std::string_view switchText) override { m_control.OpenNewWindow(switchText); }
    void NewWindow() override { m_control.m_session->NewWindow(); }
    void SendProcess() override { m_control.SendProcess(); }
    void ShowCalculator() override { m_control.ShowCalc(); }
    void ShowStop(std::string_view text) override { m_control.Message(std::string(text), true); }

    bool FieldModified() const override {
        return m_control.m_field != nullptr && m_control.m_field->Model().IsOpen() &&
               m_control.m_field->Model().IsModified();
    }
    void SubmitField(bool endOfField) override {
        CInkeyCtrl& model = m_control.m_field->Model();
        if (endOfField) {
            model.Submit();
        } else {
            // The click report follows on the plain write, in place of the end-of-field sequence.
            const std::string block = model.Text() + '\x01';
            model.ClearField();
            model.KeySender().SendChannel1(block, true);
        }
        m_control.m_field->SyncFromModel();
    }
    void WriteRaw(std::string_view bytes) override { m_control.m_keySender->SendBytes(bytes); }

  private:
    CQuilletCtrl& m_control;
};

}  // namespace terminal
