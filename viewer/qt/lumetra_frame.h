// The viewer's main window: the document's title and visibility, the five verdict commands enabled by the
// document's button flags, the "Approve" password dialog, the about box, and the client's window raised at
// release where the desktop allows it.
#pragma once

#include <QDialog>
#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <map>
#include <vector>

#include "platform/registry.h"
#include "viewer/display/window_placement.h"
#include "viewer/lumetra_doc.h"
#include "viewer/lumetra_log.h"
#include "viewer/qt/lumetra_view.h"

class QAction;
class QLabel;
class QLineEdit;
class QToolBar;

namespace viewer {

// Dialog 137: the approval password, never kept.
class CApproveDlg : public QDialog {
  public:
    explicit CApproveDlg(QWidget* parent);
    QString Password() const;
    QLineEdit* PasswordEdit() const { return m_edit; }

  private:
    QLineEdit* m_edit = nullptr;
};

class CMainFrame : public QMainWindow, public DocumentFrame {
  public:
    // The window opens where the Viewer key says it was last closed.
    explicit CMainFrame(LumetraLog log, platform::Registry& registry = platform::Registry::Default());
    ~CMainFrame() override;

    // The document the commands act on, or null once it is gone.
    void SetDocument(CLumetraDoc* doc);
    // Runs when the user closes the window.
    void SetCloseHandler(std::function<void()> handler) { m_onClose = std::move(handler); }
    // Closes an open "Approve" dialog without an answer (the document is going away).
    void DropPasswordDialog();

    QAction* CommandAction(Verdict verdict) const { return m_commands.at(verdict); }
    CApproveDlg* OpenPasswordDialog() const { return m_passwordDialog; }
    CLumetraView* View() const { return m_view; }
    QAction* ViewAction(ViewCommand command) const { return m_viewCommands.at(command); }
    // The view commands' items follow the visible pane and the control's mode.
    void UpdateViewCommands();
    // Save As: enabled while the browser pane is visible.
    QAction* SaveAsAction() const { return m_saveAs; }
    // Printing the shown document's copy through the word processor: while the control is visible.
    QAction* PrintViaWordAction() const { return m_printViaWord; }
    // File Open (Ctrl+O): no menu item, and it opens nothing.
    QAction* FileOpenAction() const { return m_fileOpen; }
    QAction* AboutAction() const { return m_about; }
    // Toolbar 128 and the status bar's panes: the message line, then Caps, Num and Scroll Lock.
    QToolBar* ToolBar() const { return m_toolBar; }
    const std::vector<QLabel*>& StatusPanes() const { return m_panes; }
    // Copies the shown document and its stylesheet to `target`'s folder; false, reported, when not saved.
    bool SaveAs(const std::filesystem::path& target);
    // The placement the window opens with, read from the Viewer key and fitted onto the screens.
    display::WindowPlacement StoredPlacement() const;

    // DocumentFrame.
    void SetTitle(const std::string& title) override;
    void SetVisible(bool visible) override;
    bool Display(const std::filesystem::path& path, const std::string& stylesheetPath,
                 bool deleteOnClose) override;
    void CloseDocument() override;
    void RequestPassword() override;
    void ShowStop(const std::string& text) override;
    void CommandsChanged() override;
    void RaiseClientWindow(int32_t window) override;
    int32_t WindowHandle() override;
    void SetMainWindowEnabled(bool enabled) override;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void MakeToolBar();
    void MakeStatusBar();
    void UpdateLockPanes();
    void ShowPasswordDialog();
    void OnFileSaveAs();
    void StorePlacement();
    void ShowAbout();

    LumetraLog m_log;
    platform::Registry& m_registry;
    QAction* m_saveAs = nullptr;
    QAction* m_printViaWord = nullptr;
    QAction* m_fileOpen = nullptr;
    QAction* m_about = nullptr;
    QToolBar* m_toolBar = nullptr;
    std::vector<QLabel*> m_panes;
    CLumetraDoc* m_doc = nullptr;
    CLumetraView* m_view = nullptr;
    std::map<Verdict, QAction*> m_commands;
    std::map<ViewCommand, QAction*> m_viewCommands;
    QPointer<CApproveDlg> m_passwordDialog;
    std::function<void()> m_onClose;
    bool m_closing = false;
};

}  // namespace viewer
