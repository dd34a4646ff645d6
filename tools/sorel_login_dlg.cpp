// The local user login dialog's widgets; the checks live in SorelLoginModel.
#include "tools/sorel_login_dlg.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QVBoxLayout>

#include "suite/qt/qt_text.h"
#include "suite/version_info.h"

namespace tools {

CSorelLoginDlg::CSorelLoginDlg(QWidget* anchor) : QDialog(nullptr), m_anchor(anchor) {
    setWindowTitle(QStringLiteral("Halvex Carrowline"));
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);

    auto* group = new QGroupBox(QStringLiteral("Login"), this);
    group->setObjectName(QStringLiteral("loginGroup"));
    auto* userLabel = new QLabel(QStringLiteral("User Number"), group);
    m_user = new QLineEdit(group);
    m_user->setObjectName(QStringLiteral("userEdit"));
    m_user->setValidator(new QIntValidator(SorelLoginModel::kMinUser, SorelLoginModel::kMaxUser, m_user));
    auto* passwordLabel = new QLabel(QStringLiteral("Password"), group);
    m_password = new QLineEdit(group);
    m_password->setObjectName(QStringLiteral("passwordEdit"));
    m_password->setMaxLength(static_cast<int>(SorelLoginModel::kPasswordMax));
    m_password->setEchoMode(QLineEdit::Password);
    auto* fields = new QGridLayout(group);
    fields->addWidget(userLabel, 0, 0);
    fields->addWidget(m_user, 0, 1);
    fields->addWidget(passwordLabel, 1, 0);
    fields->addWidget(m_password, 1, 1);

    auto* version = new QLabel(
        QStringLiteral("Ostrel Version ") + suite::FromCp1252(suite::CVersionInfo().GetFileVersion()), this);
    version->setObjectName(QStringLiteral("versionText"));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    cancel->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(version);
    layout->addLayout(buttons);

    connect(ok, &QPushButton::clicked, this, &CSorelLoginDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CSorelLoginDlg::reject);

    ShowModel();
    m_password->setFocus();
}

void CSorelLoginDlg::SetCredentials(int32_t user, std::string_view password) {
    m_model.SetCredentials(user, password);
    ShowModel();
}

bool CSorelLoginDlg::ShowModal() {
    ShowModel();
    m_password->setFocus();
    // Parented only while shown, so it opens over the anchor and the anchor never deletes it under its
    // holder.
    if (m_anchor) {
        setParent(m_anchor, windowFlags());
    }
    const int result = exec();
    if (parent() != nullptr) {
        setParent(nullptr, windowFlags());
    }
    return result == QDialog::Accepted;
}

void CSorelLoginDlg::accept() {
    bool isNumber = false;
    const int user = m_user->text().trimmed().toInt(&isNumber);
    if (m_model.Accept(isNumber ? std::optional<int32_t>(user) : std::nullopt,
                       suite::ToCp1252(m_password->text()))) {
        QDialog::accept();
        return;
    }
    QLineEdit* focus = m_model.Focus() == LoginField::User ? m_user : m_password;
    focus->setFocus();
    focus->selectAll();
}

void CSorelLoginDlg::ShowModel() {
    m_user->setText(QString::number(m_model.UserNumber()));
    m_password->setText(suite::FromCp1252(m_model.Password()));
}

}  // namespace tools
