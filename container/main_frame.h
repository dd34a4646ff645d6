// Brantor's main window: a frame whose view holds the terminal control's widget, shown when the control
// asks for it and closed by the container's close rule, with its menu, the host-command toolbars, the
// navigation status bar, and the minimum size agreed with the control.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QVBoxLayout>
#include <QWidget>
#include <array>
#include <map>
#include <memory>

#include "container/brantor_app.h"
#include "container/frame_bars.h"
#include "container/host_commands.h"
#include "terminal/quillet/quillet_frame_site.h"

class QMenu;
class QPrinter;

namespace container {

// Escapes what a window title would otherwise treat as markup, so a host text shows as it is.
QString PlainWindowTitle(std::string_view text);

// Command ids of the frame's menu and of the view's edit commands.
inline constexpr int32_t kFilePrintCommand = 57607;
inline constexpr int32_t kAppExitCommand = 57665;
inline constexpr int32_t kViewStatusBarCommand = 59393;
inline constexpr int32_t kAppAboutCommand = 57664;
inline constexpr int32_t kEditCopyCommand = 57634;
inline constexpr int32_t kEditPasteCommand = 57637;
inline constexpr int32_t kSetFontControlCommand = 1032;
inline constexpr int32_t kEditCustomMenuCommand = 1033;

// Room the frame keeps around the control's area, and the smallest client area while connected.
inline constexpr int kControlMarginWidth = 24;
inline constexpr int kControlMarginHeight = 96;
inline constexpr int kMinClientWidth = 600;
inline constexpr int kMinClientHeight = 470;

// The document's only view: the parent of the control's widget. It hands printing, the focus and the
// edit commands on to the control.
class CBrantorView : public QWidget {
    Q_OBJECT
  public:
    explicit CBrantorView(QWidget* parent = nullptr);
    void SetApp(CBrantorApp* app) { m_app = app; }
    void Embed(QWidget* control);
    void Release(QWidget* control);

    // Copy, paste, the font and the custom menu editor; false for another id.
    bool OnEditCommand(int32_t id);
    void OnPrint(QPrinter* printer);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    CQuillet* ConnectedControl() const;

    CBrantorApp* m_app = nullptr;
    QVBoxLayout* m_layout;
    bool m_focusGiven = false;
};

// The frame is also the control's in-place frame: the control merges its Edit and custom menus into the
// menu bar and shows its menu prompts on the status bar through it, and learns the Caps Lock state from it.
class CMainFrame : public QMainWindow,
                   public BrantorFrame,
                   public quillet::InPlaceFrame,
                   public quillet::KeyboardLocks {
    Q_OBJECT
    Q_INTERFACES(quillet::InPlaceFrame quillet::KeyboardLocks)
  public:
    explicit CMainFrame(QWidget* parent = nullptr);
    ~CMainFrame() override;

    // The application whose close rule the frame follows; null closes at once.
    void SetApp(CBrantorApp* app);
    CBrantorView* View() const { return m_view; }
    QWidget* ControlWidget() const { return m_controlWidget.get(); }
    CSBCCustomStatusBar* StatusBar() const { return m_statusBar; }
    // The bar when it is shown, else null.
    CToolBarEx* ToolBar(ToolbarId bar) const { return m_bars[static_cast<size_t>(bar)]; }
    // A command of the menu bar or of the frame's accelerators.
    QAction* CommandAction(int32_t id) const;

    // Each creator shows (true) or removes (false) its bar; 0 in both cases.
    int CreateSystemToolBar(bool show) { return CreateToolBar(ToolbarId::System, show); }
    int CreateControlToolBar(bool show) { return CreateToolBar(ToolbarId::Control, show); }

    void OnToolbarCommand(int32_t id);
    void OnViewStatusBar(bool visible);
    bool IsStatusBarVisible() const { return m_statusBarVisible; }
    // The prompt of a command id for the status bar.
    QString MessageString(int32_t id) const;

    bool CreateControlHost() override;
    bool EmbedControl(CQuillet& control) override;
    void ReleaseControl() override;
    void ShowFrame(bool maximised) override;
    void ShowControl() override;
    void HideControl() override;
    void HideFrame() override;
    bool IsMaximised() const override;
    WindowRect NormalRect() const override;
    WindowRect CurrentRect() const override;
    void PostClose() override;
    void Post(std::function<void()> task) override;
    void SetTitle(std::string_view title) override;
    int SwitchToolbar(int16_t bar) override;
    void RemoveSystemToolbar() override;
    void RefreshLayout() override;
    std::optional<int32_t> TrackPopupMenu(const PopupMenuData& data) override;
    std::optional<FontChoice> ChooseFont(const suite::LogFont& start) override;
    void ResizeForFont() override;
    void SetTopmost(bool on) override;

    // quillet::InPlaceFrame: File, View and Help are the file, container and window groups.
    void InsertMenus(QMenu& shared, quillet::MenuGroupWidths& widths) override;
    void SetMenu(QMenu* shared) override;
    void RemoveMenus(QMenu& shared) override;
    void SetStatusText(std::string_view text) override;
    // quillet::KeyboardLocks: what the status bar's lock panes show.
    std::optional<bool> CapsLockOn() const override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void CreateMenus();
    QAction* AddCommand(QMenu* menu, int32_t id, const QString& text);
    int CreateToolBar(ToolbarId bar, bool show);
    void OnFilePrint();
    // The control's minimum size as the frame's minimum; then the control gets the area it has now.
    void NegotiateSize();
    int StatusBarHeight() const;
    CQuillet* ConnectedControl() const;

    CBrantorApp* m_app = nullptr;
    CBrantorView* m_view;
    CSBCCustomStatusBar* m_statusBar;
    std::array<QPointer<CToolBarEx>, kToolbarCount> m_bars;
    std::map<int32_t, QAction*> m_commands;
    QList<QAction*> m_ownMenus;  // the menu bar's own popups, in order
    bool m_statusBarVisible = true;
    bool m_negotiating = false;
    // Keeps the control object alive while its widget sits in the view.
    std::shared_ptr<QWidget> m_controlWidget;
};

}  // namespace container
