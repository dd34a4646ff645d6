// The local user login dialog: the application user number and password asked before a local session
// starts; the number is remembered for the client mode.
#pragma once

#include <QDialog>
#include <QPointer>
#include <cstdint>
#include <string>
#include <string_view>

#include "hostlink/login_ui.h"
#include "tools/sorel_login_model.h"

class QLineEdit;

namespace tools {

class CSorelLoginDlg : public QDialog, public hostlink::LocalLoginUi {
    Q_OBJECT

  public:
    // `anchor` is the window the dialog is shown over. It is not made the dialog's owner: whoever holds the
    // dialog decides when it goes, even after the anchor has gone.
    explicit CSorelLoginDlg(QWidget* anchor = nullptr);

    int32_t UserNumber() const override { return m_model.UserNumber(); }
    std::string Password() const override { return m_model.Password(); }
    void SetCredentials(int32_t user, std::string_view password) override;
    bool ShowModal() override;

    // OK and Enter: refused (the dialog stays) while the number is out of range or the password empty.
    void accept() override;

  private:
    void ShowModel();

    SorelLoginModel m_model;
    QPointer<QWidget> m_anchor;
    QLineEdit* m_user = nullptr;
    QLineEdit* m_password = nullptr;
};

}  // namespace tools
