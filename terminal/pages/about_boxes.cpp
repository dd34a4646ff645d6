// The about boxes and the web addresses they open.
#include "terminal/pages/about_boxes.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <memory>

namespace terminal::pages {

namespace {

UrlOpener& Opener() {
    static UrlOpener opener;
    return opener;
}

void OpenAddress(std::string_view address) {
    const QUrl url(QString::fromLatin1(address.data(), static_cast<qsizetype>(address.size())));
    if (Opener()) {
        Opener()(url);
    } else {
        QDesktopServices::openUrl(url);
    }
}

struct EditionTexts {
    const char* product;
    const char* versionPrefix;
    const char* description;
};

EditionTexts TextsOf(AboutEdition edition) {
    switch (edition) {
        case AboutEdition::Varnel:
            return {"Varnel", "Varnel Version ", "Carrowline client for practices on a remote host"};
        case AboutEdition::Ostrel:
            return {"Ostrel", "Ostrel Version ", "Carrowline client for practices on this computer"};
        case AboutEdition::Quillet:
            break;
    }
    return {"Quillet", "Quillet Version ", "Carrowline terminal control"};
}

}  // namespace

UrlOpener SetUrlOpener(UrlOpener opener) {
    UrlOpener previous = std::move(Opener());
    Opener() = std::move(opener);
    return previous;
}

CAboutDlg::CAboutDlg(AboutEdition edition, suite::CVersionInfo version, QWidget* parent)
    : QDialog(parent), m_edition(edition) {
    const EditionTexts texts = TextsOf(edition);
    m_versionText =
        QString::fromLatin1(texts.versionPrefix) + QString::fromStdString(version.GetFileVersion());
    setWindowTitle(QStringLiteral("About %1").arg(QString::fromLatin1(texts.product)));

    auto* layout = new QVBoxLayout(this);
    auto* product = new QLabel(QString::fromLatin1(texts.description), this);
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

void RunAboutBox(AboutEdition edition, QWidget* parent) {
    std::unique_ptr<CAboutDlg> box;
    switch (edition) {
        case AboutEdition::Varnel:
            box = std::make_unique<CAboutVarnel>(parent);
            break;
        case AboutEdition::Ostrel:
            box = std::make_unique<CAboutOstrel>(parent);
            break;
        case AboutEdition::Quillet:
            box = std::make_unique<CAboutQuillet>(parent);
            break;
    }
    box->exec();
}

}  // namespace terminal::pages
