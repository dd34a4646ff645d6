// The about boxes of the three editions: the remote client (Varnel), the local client (Ostrel) and the
// control itself (Quillet).
#pragma once

#include "suite/qt/about_box.h"
#include "suite/version_info.h"

namespace terminal::pages {

enum class AboutEdition { Varnel, Quillet, Ostrel };

suite::AboutTexts EditionTexts(AboutEdition edition);

class CAboutVarnel final : public suite::CAboutDlg {
  public:
    explicit CAboutVarnel(QWidget* parent = nullptr, suite::CVersionInfo version = suite::CVersionInfo())
        : CAboutDlg(EditionTexts(AboutEdition::Varnel), std::move(version), parent) {}
};

class CAboutQuillet final : public suite::CAboutDlg {
  public:
    explicit CAboutQuillet(QWidget* parent = nullptr, suite::CVersionInfo version = suite::CVersionInfo())
        : CAboutDlg(EditionTexts(AboutEdition::Quillet), std::move(version), parent) {}
};

class CAboutOstrel final : public suite::CAboutDlg {
  public:
    explicit CAboutOstrel(QWidget* parent = nullptr, suite::CVersionInfo version = suite::CVersionInfo())
        : CAboutDlg(EditionTexts(AboutEdition::Ostrel), std::move(version), parent) {}
};

// Shows the edition's about box modal over `parent`.
void RunAboutBox(AboutEdition edition, QWidget* parent);

}  // namespace terminal::pages
