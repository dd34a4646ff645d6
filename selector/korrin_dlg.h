// The selector's main window: the practice list in four view styles, Show All, header sorting, the menus
// with the custom "&Run" menu, and Connect. View changes are saved when it closes.
#pragma once

#include <QAbstractTableModel>
#include <QDialog>
#include <filesystem>
#include <optional>
#include <vector>

#include "practice/custom_menu.h"
#include "selector/container_start.h"
#include "selector/practice_list_model.h"
#include "selector/practice_store.h"
#include "selector/view_settings.h"

class QCheckBox;
class QListView;
class QMenu;
class QMenuBar;
class QStackedWidget;
class QTreeView;
class QActionGroup;

namespace selector {

// The list model as Qt's views see it.
class PracticeTableModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    explicit PracticeTableModel(PracticeListModel& list, QObject* parent = nullptr)
        : QAbstractTableModel(parent), m_list(list) {}
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // Wraps a change of the rows.
    template <class F>
    void Change(F&& f) {
        beginResetModel();
        f();
        endResetModel();
    }

  private:
    PracticeListModel& m_list;
};

class CKorrinDlg : public QDialog {
    Q_OBJECT
  public:
    CKorrinDlg(std::optional<std::filesystem::path> named, bool adminAllowed, Spawner& spawner,
               QWidget* parent = nullptr);

    bool ViewDirty() const { return m_viewDirty; }
    int32_t CharWidth() const { return m_charWidth; }
    PracticeListModel& List() { return m_list; }
    PracticeStore& Store() { return m_store; }
    int32_t Style() const { return m_style; }
    // Starts the container for the selected practice.
    void Connect(std::optional<std::string> command, int32_t runCommand);
    void SetStyle(int32_t style);
    void SelectRow(int row);
    ViewState CurrentViewState() const;
    void done(int result) override;
    // "&Command Menu": the editor, then on OK the new items go to the "&Run" menu and the file.
    void EditCustomMenu();
    void ApplyCustomMenu(const practice::CCustomMenuItemArray& items);
    const practice::CCustomMenu& CustomMenu() const { return m_customMenu; }
    QMenu* RunMenu() const { return m_runMenu; }
    // Whether the list failed to load (nothing is then saved over it).
    bool LoadFailed() const { return m_store.LoadFailed(); }

  private:
    void BuildMenus();
    void InstallCustomMenu();
    void ApplySettings();
    void Refill();
    void Save();
    void Reload();
    void DeletePractice();
    void AddPractice();
    void ModifyPractice();
    void RunDialog();
    void ContextMenu(const QPoint& pos);
    void UpdateEnabled();
    int SelectedRow() const;

    PracticeStore m_store;
    std::vector<practice::CPractice> m_practices;
    PracticeListModel m_list{&m_practices};
    PracticeTableModel* m_model = nullptr;
    practice::CCustomMenu m_customMenu;
    Spawner& m_spawner;
    bool m_adminAllowed;
    bool m_viewDirty = false;
    bool m_simpleStart = false;
    int32_t m_charWidth = 1;
    int32_t m_style = 0;

    QMenuBar* m_menuBar = nullptr;
    QMenu* m_runMenu = nullptr;
    QAction* m_runMenuAction = nullptr;
    QMenu* m_adminMenu = nullptr;
    QAction* m_modify = nullptr;
    QAction* m_add = nullptr;
    QAction* m_delete = nullptr;
    QActionGroup* m_styles = nullptr;
    QStackedWidget* m_stack = nullptr;
    QListView* m_listView = nullptr;
    QTreeView* m_treeView = nullptr;
    QCheckBox* m_showAll = nullptr;
};

}  // namespace selector
