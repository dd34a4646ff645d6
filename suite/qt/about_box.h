// The about box every program of the suite shows: its product's version line, with buttons to the maker's
// web site and its customer login page, and the opener those buttons go through.
#pragma once

#include <QDialog>
#include <QString>
#include <QUrl>
#include <functional>
#include <string_view>

#include "suite/version_info.h"

class QLabel;
class QPushButton;

namespace suite {

inline constexpr std::string_view kContactUsAddress = "https://www.carrowline.com/";
inline constexpr std::string_view kSupportAddress = "https://www.carrowline.com/customer-login";

// Opens a web address in the desktop's browser. Tests record instead; an empty opener restores the
// default. Returns the one it replaced.
using UrlOpener = std::function<void(const QUrl&)>;
UrlOpener SetUrlOpener(UrlOpener opener);
// Opens the address through the opener in place.
void OpenUrl(const QUrl& url);

struct AboutTexts {
    QString product;      // "Varnel": the title's and the version line's name
    QString description;  // the line above the version
};

class CAboutDlg : public QDialog {
  public:
    CAboutDlg(const AboutTexts& texts, CVersionInfo version, QWidget* parent);

    // "Varnel Version 04.02.01 Build 57".
    const QString& VersionText() const { return m_versionText; }
    QLabel* VersionLabel() const { return m_versionLabel; }
    QPushButton* ContactUsButton() const { return m_contactUs; }
    QPushButton* SupportButton() const { return m_support; }

  private:
    QString m_versionText;
    QLabel* m_versionLabel = nullptr;
    QPushButton* m_contactUs = nullptr;
    QPushButton* m_support = nullptr;
};

}  // namespace suite
