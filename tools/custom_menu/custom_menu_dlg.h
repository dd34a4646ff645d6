// "Custom Menu Editor": edits a working copy of the custom menu items (titles and host commands, moved,
// added, removed, separators) and the path of the .cmf file they are stored in. The caller fills both before
// exec() and takes both after an OK.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <optional>
#include <string>

#include "practice/custom_menu.h"
#include "practice/custom_menu_editor.h"

class QLineEdit;
class QPushButton;

namespace tools {

class CustomMenuPanel;

class CCustomMenuDlg : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kMaxItems = 20;
    static constexpr int kMaxFieldLength = 255;

    explicit CCustomMenuDlg(QWidget* parent = nullptr);

    // Before exec(): the working copy and the file path (8-bit, as stored).
    void SetItems(const practice::CCustomMenuItemArray& items);
    void SetPath(const std::string& path);
    // After an OK.
    const practice::CCustomMenuItemArray& Items() const;
    std::string Path() const;
    practice::CCustomMenuEditor::State EditMode() const;

    // The Browse button's file choice; by default a save-file dialog. Tests answer it themselves.
    void SetFileChooser(std::function<std::optional<QString>(QWidget*)> chooser) {
        m_chooseFile = std::move(chooser);
    }

    void accept() override;

  private:
    void OnBrowse();

    CustomMenuPanel* m_panel;
    QLineEdit* m_location;
    QPushButton* m_browse;
    std::function<std::optional<QString>(QWidget*)> m_chooseFile;
};

}  // namespace tools
