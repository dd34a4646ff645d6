// The list, buttons and fields both custom menu editors show, over one CCustomMenuEditor. Every change goes
// to the editor first and the widgets are redrawn from it, so the two never disagree.
#pragma once

#include <QWidget>
#include <functional>

#include "practice/custom_menu_editor.h"

class QCheckBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace tools {

class CustomMenuPanel : public QWidget {
    Q_OBJECT

  public:
    struct Options {
        practice::CustomMenuEditRules rules;
        // Shows "C&hain Command", checked when an item's RunCommand is 0.
        bool chainCommand = false;
        // Called when Add is refused by the rules' item limit.
        std::function<void()> addRefused;
    };

    explicit CustomMenuPanel(Options options, QWidget* parent = nullptr);

    void SetItems(const practice::CCustomMenuItemArray& items);
    const practice::CCustomMenuItemArray& Items() const { return m_editor.Items(); }
    const practice::CCustomMenuEditor& Editor() const { return m_editor; }

  private:
    void FillList();
    void ShowSelection();
    void OnListSelection();

    Options m_options;
    practice::CCustomMenuEditor m_editor;
    QListWidget* m_list;
    QPushButton* m_moveUp;
    QPushButton* m_moveDown;
    QPushButton* m_add;
    QPushButton* m_remove;
    QPushButton* m_separator;
    QLineEdit* m_title;
    QLineEdit* m_action;
    QCheckBox* m_chain = nullptr;
};

}  // namespace tools
