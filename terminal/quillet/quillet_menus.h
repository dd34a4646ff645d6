// The terminal control's menus: the Edit and custom menus it merges into its container's menu bar, the
// prompt table it hands the container, the right-click custom menu, the field editor's context menu, and the
// copy, paste and custom-menu commands those menus, the keys and the dispatch methods share.
#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "practice/custom_menu.h"
#include "terminal/core/selection.h"
#include "terminal/quillet/quillet_frame_site.h"
#include "terminal/quillet/quillet_ids.h"

class QAction;
class QMenu;
class QMouseEvent;

namespace tools {
class CCustomFile;
class CCustomMenuDlg;
}  // namespace tools

namespace terminal {

class CQuilletCtrl;

// Command ids of the Edit menu and of the field editor's context menu.
inline constexpr int32_t kEditCopyCommand = 57634;
inline constexpr int32_t kEditPasteCommand = 57637;
inline constexpr int32_t kSetFontCommand = 1032;
inline constexpr int32_t kCustomMenuCommand = 1033;
inline constexpr int32_t kEditorUndoCommand = 32834;
inline constexpr int32_t kEditorCutCommand = 32835;
inline constexpr int32_t kEditorCopyCommand = 32836;
inline constexpr int32_t kEditorPasteCommand = 32837;
inline constexpr int32_t kEditorDeleteCommand = 32838;
inline constexpr int32_t kEditorSelectAllCommand = 32839;

struct EditMenuEntry {
    int32_t id;  // 0: a separator
    const char* menuText;
    const char* statusText;
};
inline constexpr std::array<EditMenuEntry, 5> kEditMenu = {{
    {kEditCopyCommand, "&Copy\tCtrl-Ins", "Copy the selection and put it on the Clipboard\nCopy"},
    {kEditPasteCommand, "&Paste\tShift-Ins", "Insert Clipboard contents\nPaste"},
    {0, nullptr, nullptr},
    {kSetFontCommand, "Set &Font", "Select Display Font"},
    {kCustomMenuCommand, "Custom &Menu", "Configure custom pop-up and pull-down menus"},
}};
inline constexpr size_t kEditPrompts = 4;

// The prompt table of SetMenuStrings: one entry per custom item, then one per Edit entry, then the 0 entry.
// Custom items beyond what leaves room for the Edit entries and the end get no prompt, so the table ends
// within its 30 entries however long the custom menu is. Its address stays valid as long as the object.
class CMenuStringTable {
  public:
    CMenuStringTable() = default;
    CMenuStringTable(const CMenuStringTable&) = delete;
    CMenuStringTable& operator=(const CMenuStringTable&) = delete;

    void Build(const practice::CCustomMenuItemArray& items);
    void Clear();
    const MenuStringEntry* Data() const { return m_entries.data(); }
    // Entries before the 0 entry.
    size_t Count() const;
    // The prompt of an id; empty when the table has none.
    std::string_view TextOf(int32_t id) const;

  private:
    std::array<MenuStringEntry, kMaxMenuStrings> m_entries{};
    std::array<std::string, kMaxMenuStrings> m_texts;
};

// The control's one custom menu list, read from its .cmf file.
tools::CCustomFile& ModuleCustomFile();

class CQuilletMenus : public QObject {
  public:
    explicit CQuilletMenus(CQuilletCtrl& control);
    ~CQuilletMenus() override;

    // 1 merges the menus into the container's frame (with InVarnel on, once); 3 takes them out again.
    void SetUpMenu(int32_t how);
    bool IsMerged() const { return m_merged; }

    // Dispatch methods and menu commands.
    void PopupMenuItem(int16_t item);
    void EditCopy();
    void EditPaste();
    void EditCustomMenu();
    void Command(int32_t id);
    // The right button went up over the screen at `global`.
    void RightButtonUp(const QPoint& global);
    // The field editor's context menu: `flags` enables cut, copy, paste, delete and select all (characters
    // 1 to 5); `point` is in the screen widget's coordinates.
    void EditorContextMenu(const QString& flags, const QPoint& point);

    // The screen selection that Copy takes: the left button drags it over the screen.
    CCopyTracker& Tracker() { return m_tracker; }
    // A mouse button or move event on the screen: the left button drags the selection, the right button's
    // release asks for the context menu.
    void ScreenMouse(const QMouseEvent& mouse);
    // Ends the selection and takes its band off the screen.
    void ClearSelection();
    const CMenuStringTable& Strings() const { return m_strings; }
    const practice::CCustomMenu& CustomMenu() const { return m_customMenu; }
    QMenu* CustomPopup() const { return m_customPopup.get(); }

    // Tests answer the modal parts themselves: the context menu's choice, and the editor dialog (true: OK).
    void SetMenuRunner(std::function<QAction*(QMenu&, const QPoint&)> run) { m_runMenu = std::move(run); }
    void SetDialogRunner(std::function<bool(tools::CCustomMenuDlg&)> run) { m_runDialog = std::move(run); }

  private:
    void Merge(bool refresh);
    void Remove();
    InPlaceFrame* FindFrame();
    InPlaceFrame* Frame() const;
    void BuildPopups();
    void ShowPrompt(QAction* action);
    void CopyScreenSelection();
    void TrackMouse(const QMouseEvent& mouse);

    CQuilletCtrl& m_control;
    practice::CCustomMenu m_customMenu;
    CMenuStringTable m_strings;
    CCopyTracker m_tracker;
    std::unique_ptr<QMenu> m_shared;
    std::unique_ptr<QMenu> m_editPopup;
    std::unique_ptr<QMenu> m_customPopup;
    QPointer<QWidget> m_band;  // a child of the screen
    QPointer<QObject> m_frameObject;
    bool m_merged = false;
    bool m_dragging = false;
    bool m_customBuilt = false;
    std::function<QAction*(QMenu&, const QPoint&)> m_runMenu;
    std::function<bool(tools::CCustomMenuDlg&)> m_runDialog;
};

}  // namespace terminal
