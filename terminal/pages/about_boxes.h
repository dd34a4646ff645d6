// The about boxes of the three editions: the remote client (Varnel), the local client (Ostrel) and the
// control itself (Quillet). Each shows its edition's version line, with buttons to the maker's web site and
// its customer login page.
#pragma once

#include <QDialog>
#include <QString>
#include <QUrl>
#include <functional>
#include <string_view>

#include "suite/version_info.h"

class QLabel;
class QPushButton;

namespace terminal::pages {

inline constexpr std::string_view kContactUsAddress = "https://www.carrowline.com/";
inline constexpr std::string_view kSupportAddress = "https://www.carrowline.com/customer-login";

// Opens a web address in the desktop's browser. Tests record instead; an empty opener restores the
// default. Returns the one it replaced.
using UrlOpener = std::function<void(const QUrl&)>;
UrlOpener SetUrlOpener(UrlOpener opener);

enum class AboutEdition { Varnel, Quillet, Ostrel };

class CAboutDlg : public QDialog {
  public:
    CAboutDlg(AboutEdition edition, suite::CVersionInfo version, QWidget* parent);

    AboutEdition Edition() const { return m_edition; }
    // "Varnel Version 04.02.01 Build 57".
    const QString& VersionText() const { return m_versionText; }
    QLabel* VersionLabel() const { return m_versionLabel; }
    QPushButton* ContactUsButton() const { return m_contactUs; }
    QPushButton* SupportButton() const { return m_support; }

  private:
    AboutEdition m_edition;
    QString m_versionText;
    QLabel* m_versionLabel = nullptr;
    QPushButton* m_contactUs = nullptr;
    QPushButton* m_support = nullptr;
};

class CAboutVarnel final : public CAboutDlg {
  public:
    explicit CAboutVarnel(QWidget* parent = nullptr, suite::CVersionInfo version = suite::CVersionInfo())
        : CAboutDlg(AboutEdition::Varnel, std::move(version), parent) {}
};

class CAboutQuillet final : public CAboutDlg {
  public:
    explicit CAboutQuillet(QWidget* parent = nullptr, suite::CVersionInfo version = suite::CVersionInfo())
        : CAboutDlg(AboutEdition::Quillet, std::move(version), parent) {}
};

class CAboutOstrel final : public CAboutDlg {
  public:
    explicit CAboutOstrel(QWidget* parent = nullptr, suite::CVersionInfo version = suite::CVersionInfo())
        : CAboutDlg(AboutEdition::Ostrel, std::move(version), parent) {}
};

// Shows the edition's about box modal over `parent`.
void RunAboutBox(AboutEdition edition, QWidget* parent);

}  // namespace terminal::pages
