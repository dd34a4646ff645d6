// The Qt side of the host link's login interfaces. Everything here runs on the user-interface thread.
#include "tools/qt_login_ui.h"

#include "tools/auth_login.h"
#include "tools/auto_login_dlg.h"
#include "tools/sorel_login_dlg.h"

namespace tools {

QtRemoteLoginUi::QtRemoteLoginUi(QWidget* parent) : m_parent(parent) {}

bool QtRemoteLoginUi::RunAuthLogin(hostlink::RemoteLoginTarget& target, int32_t mode) {
    CAuthLogin dialog(target, mode, m_parent.data());
    return dialog.exec() == QDialog::Accepted;
}

bool QtRemoteLoginUi::RunAutoLogin(hostlink::RemoteLoginTarget& target) {
    CAutoLoginDlg dialog(target, m_parent.data());
    return dialog.exec() == QDialog::Accepted;
}

hostlink::LocalLoginUiFactory QtLocalLoginUi(QWidget* anchor) {
    return [anchor = QPointer<QWidget>(anchor)]() -> std::unique_ptr<hostlink::LocalLoginUi> {
        return std::make_unique<CSorelLoginDlg>(anchor.data());
    };
}

}  // namespace tools
