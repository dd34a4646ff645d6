// The selector's smaller dialogs: the "&Run" menu editor, the Run dialog, Select Columns and the about box.
#pragma once

#include <QDialog>
#include <QString>
#include <array>

#include "practice/custom_menu.h"
#include "suite/qt/about_box.h"
#include "suite/version_info.h"

class QCheckBox;
class QLineEdit;

namespace tools {
class CustomMenuPanel;
}

namespace selector {

// "Custom Menu Editor" for the "&Run" menu: no item limit, no field cut, and "C&hain Command" per item.
class CConfMenuDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CConfMenuDlg(const practice::CCustomMenuItemArray& items, QWidget* parent = nullptr);
    // The working copy; the caller takes it only after an OK.
    const practice::CCustomMenuItemArray& Items() const;
    const tools::CustomMenuPanel& Panel() const { return *m_panel; }

  private:
    tools::CustomMenuPanel* m_panel;
};

// "Run": one command for the host, trimmed; an empty one keeps the dialog open.
class CRunCmdDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CRunCmdDlg(QWidget* parent = nullptr);
    void accept() override;
    // After an OK: the trimmed command and whether it starts "-simple".
    const std::string& Command() const { return m_command; }
    bool Simple() const { return m_simple; }

  private:
    QLineEdit* m_edit;
    std::string m_command;
    bool m_simple = false;
};

// "Select Columns": six choices, all unchecked at each opening. The list always shows its eleven columns.
class SelectColumnsDlg : public QDialog {
    Q_OBJECT
  public:
    static constexpr std::array<const char*, 6> kChoices{"Connection Type", "Practice Type", "SorelData",
                                                         "SorelProgs",      "Terminal Type", "Printer"};
    explicit SelectColumnsDlg(QWidget* parent = nullptr);
    const std::array<QCheckBox*, 6>& Boxes() const { return m_boxes; }

  private:
    std::array<QCheckBox*, 6> m_boxes{};
};

// "About Korrin": the suite's about box with the selector's name and version.
class CAboutDlg final : public suite::CAboutDlg {
  public:
    explicit CAboutDlg(QWidget* parent = nullptr, suite::CVersionInfo version = suite::CVersionInfo())
        : suite::CAboutDlg({QStringLiteral("Korrin"), QStringLiteral("Halvex Carrowline Practice Selector")},
                           std::move(version), parent) {}
};

}  // namespace selector
