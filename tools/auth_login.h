// The login wizard the remote pipe shows before it connects: the host's OS user on the primary page, the
// application user number on the second; what was typed goes into the pipe and the names into the registry.
#pragma once

#include <QDialog>
#include <cstdint>

#include "hostlink/login_ui.h"
#include "tools/auth_login_model.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace tools {

class CAuthLogin : public QDialog {
    Q_OBJECT

  public:
    // `mode` is the pipe's connection mode (2, 4 or 6).
    CAuthLogin(hostlink::RemoteLoginTarget& target, int32_t mode, QWidget* parent = nullptr);

    const AuthLoginModel& Model() const { return m_model; }

  private:
    void OnNext();
    void OnBack();
    void ShowModel();

    AuthLoginModel m_model;
    QLabel* m_title = nullptr;
    QLabel* m_userLabel = nullptr;
    QLineEdit* m_user = nullptr;
    QLineEdit* m_password = nullptr;
    QPushButton* m_next = nullptr;
    QPushButton* m_back = nullptr;
};

}  // namespace tools
