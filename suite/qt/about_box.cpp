// The about box and the web addresses it opens.
#include "suite/qt/about_box.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace suite {

namespace {

UrlOpener& Opener() {
    static UrlOpener opener;
    return opener;
}

void OpenAddress(std::string_view address) {
    OpenUrl(QUrl(QString::fromLatin1(address.data(), static_cast<qsizetype>(address.size()))));
}

}  // namespace

UrlOpener SetUrlOpener(UrlOpener opener) {
    UrlOpener previous = std::move(Opener());
    Opener() = std::move(opener);
    return previous;
}

void OpenUrl(const QUrl& url) {
    if (Opener()) {
        Opener()(url);
    } else {
        QDesktopServices::openUrl(url);
    }
}

CAboutDlg::CAboutDlg(const AboutTexts& texts, CVersionInfo version, QWidget* parent) : QDialog(parent) {
    m_versionText =
        texts.product + QStringLiteral(" Version ") + QString::fromStdString(version.GetFileVersion());
    setWindowTitle(QStringLiteral("About %1").arg(texts.product));

    auto* layout = new QVBoxLayout(this);
    auto* product = new QLabel(texts.description, this);
    layout->addWidget(product);
    m_versionLabel = new QLabel(m_versionText, this);
    m_versionLabel->setObjectName(QStringLiteral("version"));
    m_versionLabel->setTextFormat(Qt::PlainText);
    layout->addWidget(m_versionLabel);
    layout->addWidget(new QLabel(QStringLiteral("Copyright (C) Carrowline Corporation"), this));

    auto* buttons = new QHBoxLayout();
    m_contactUs = new QPushButton(QStringLiteral("Contact Us"), this);
    m_support = new QPushButton(QStringLiteral("Support"), this);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    buttons->addWidget(m_contactUs);
    buttons->addWidget(m_support);
    buttons->addStretch(1);
    buttons->addWidget(ok);
    layout->addLayout(buttons);
    connect(m_contactUs, &QPushButton::clicked, this, [] { OpenAddress(kContactUsAddress); });
    connect(m_support, &QPushButton::clicked, this, [] { OpenAddress(kSupportAddress); });
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace suite
