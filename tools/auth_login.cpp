// The login wizard's widgets; the pages and checks live in AuthLoginModel.
#include "tools/auth_login.h"

#include <QFont>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QVBoxLayout>

#include "suite/qt/qt_text.h"
#include "suite/version_info.h"

namespace tools {

CAuthLogin::CAuthLogin(hostlink::RemoteLoginTarget& target, int32_t mode, QWidget* parent)
    : QDialog(parent), m_model(target, mode) {
    setWindowTitle(QStringLiteral("Authenticate Login to Server"));
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);

    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("pageTitle"));
    QFont titleFont = m_title->font();
    titleFont.setBold(true);
    m_title->setFont(titleFont);

    m_userLabel = new QLabel(this);
    m_userLabel->setObjectName(QStringLiteral("userLabel"));
    m_user = new QLineEdit(this);
    m_user->setObjectName(QStringLiteral("userEdit"));
    m_user->setMaxLength(static_cast<int>(AuthLoginModel::kUserMax));
    auto* passwordLabel = new QLabel(QStringLiteral("Password"), this);
    passwordLabel->setObjectName(QStringLiteral("passwordLabel"));
    m_password = new QLineEdit(this);
    m_password->setObjectName(QStringLiteral("passwordEdit"));
    m_password->setMaxLength(static_cast<int>(AuthLoginModel::kPasswordMax));
    m_password->setEchoMode(QLineEdit::Password);
    m_userLabel->setBuddy(m_user);
    passwordLabel->setBuddy(m_password);

    auto* version = new QLabel(
        QStringLiteral("Varnel Version ") + suite::FromCp1252(suite::CVersionInfo().GetFileVersion()), this);
    version->setObjectName(QStringLiteral("versionText"));

    m_back = new QPushButton(QStringLiteral("<&Back"), this);
    m_back->setObjectName(QStringLiteral("backButton"));
    m_back->setAutoDefault(false);
    m_next = new QPushButton(this);
    m_next->setObjectName(QStringLiteral("nextButton"));
    m_next->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    cancel->setAutoDefault(false);

    auto* fields = new QGridLayout;
    fields->addWidget(m_userLabel, 0, 0);
    fields->addWidget(m_user, 0, 1);
    fields->addWidget(passwordLabel, 1, 0);
    fields->addWidget(m_password, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_back);
    buttons->addWidget(m_next);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_title);
    layout->addLayout(fields);
    layout->addWidget(version);
    layout->addLayout(buttons);

    connect(m_next, &QPushButton::clicked, this, &CAuthLogin::OnNext);
    connect(m_back, &QPushButton::clicked, this, &CAuthLogin::OnBack);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    m_model.Start();
    ShowModel();
}

void CAuthLogin::OnNext() {
    if (m_model.Next(suite::ToCp1252(m_user->text()), suite::ToCp1252(m_password->text()))) {
        accept();
        return;
    }
    ShowModel();
}

void CAuthLogin::OnBack() {
    m_model.Back(suite::ToCp1252(m_user->text()), suite::ToCp1252(m_password->text()));
    ShowModel();
}

void CAuthLogin::ShowModel() {
    m_title->setText(suite::FromCp1252(m_model.Title()));
    m_userLabel->setText(suite::FromCp1252(m_model.UserLabel()));
    m_next->setText(suite::FromCp1252(m_model.NextText()));
    m_back->setEnabled(m_model.BackEnabled());
    m_user->setText(suite::FromCp1252(m_model.UserText()));
    m_password->setText(suite::FromCp1252(m_model.PasswordText()));
    QLineEdit* focus = m_model.Focus() == LoginField::User ? m_user : m_password;
    focus->setFocus();
    focus->selectAll();
}

}  // namespace tools
