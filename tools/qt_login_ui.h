// The login dialogs as the host link asks for them: the remote pipe's wizard and progress dialog, and the
// factory of the local login dialog.
#pragma once

#include <QPointer>
#include <QWidget>
#include <cstdint>

#include "hostlink/login_ui.h"

namespace tools {

class QtRemoteLoginUi : public hostlink::RemoteLoginUi {
  public:
    // `parent` is the window the dialogs open over (may be null); not owned.
    explicit QtRemoteLoginUi(QWidget* parent = nullptr);

    bool RunAuthLogin(hostlink::RemoteLoginTarget& target, int32_t mode) override;
    bool RunAutoLogin(hostlink::RemoteLoginTarget& target) override;

  private:
    QPointer<QWidget> m_parent;
};

// Makes CSorelLoginDlg instances shown over `anchor` (may be null); the anchor is not their owner.
hostlink::LocalLoginUiFactory QtLocalLoginUi(QWidget* anchor = nullptr);

}  // namespace tools
