// The terminal control as a component: one dispatch object behind _DQuillet with its properties, methods
// and _DQuilletEvents, and one window hosting the terminal screen. It puts the pieces together: the
// property model, the connection life cycle, the screen with its host commands, the field editor and keys.
#pragma once

#include <QPoint>
#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hostlink/file_xfer.h"
#include "hostlink/login_ui.h"
#include "platform/automation/control_interfaces.h"
#include "platform/automation/dispatch_object.h"
#include "platform/automation/stock_font.h"
#include "platform/named_object.h"
#include "terminal/bars/click_scan.h"
#include "terminal/bars/control_bars.h"
#include "terminal/control/quillet_properties.h"
#include "terminal/control/quillet_session.h"
#include "terminal/core/host_commands.h"
#include "terminal/core/key_sender.h"
#include "terminal/objects/object_manager.h"
#include "terminal/pages/control_interfaces.h"
#include "terminal/quillet/quillet_ids.h"

class QObject;

namespace terminal {

class CFieldEdit;
class CQuilletMenus;
class CQuilletCtrl;
struct FileChoice;
class CTerminalWidget;

// The control's window: the terminal screen laid over it, the background colour while not connected.
// Keys that reach it go to the screen. When a parent deletes it, the control ends its session first.
class CQuilletWindow : public QWidget {
  public:
    explicit CQuilletWindow(CQuilletCtrl& control);
    ~CQuilletWindow() override;

  protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

  private:
    friend class CQuilletCtrl;
    CQuilletCtrl* m_control;
};

class CQuilletCtrl final : public platform::automation::DispatchObject,
                           public SessionHost,
                           public HostCommandSink,
                           public ObjectHost {
  public:
    struct Options {
        // Null: the host link's pipes with the Qt login dialogs.
        std::unique_ptr<PipeFactory> factory;
        std::chrono::milliseconds handshakeTimeout{5000};
        // Null: the Qt login wizard and local login dialog.
        std::unique_ptr<hostlink::RemoteLoginUi> remoteLoginUi;
        hostlink::LocalLoginUiFactory localLoginUi;
    };

    // Needs a QApplication and runs on its thread.
    CQuilletCtrl();
    explicit CQuilletCtrl(Options options);
    ~CQuilletCtrl() override;

    platform::automation::HRESULT QueryInterface(const Guid& iid, std::shared_ptr<void>& out) override;

    QWidget* Window() const { return m_window; }
    // The Edit and custom menus, the copy and paste commands.
    CQuilletMenus& Menus() { return *m_menus; }
    CTerminalWidget* Terminal() const { return m_terminal; }
    QuilletProperties& Properties() { return m_props; }
    CQuilletSession& Session() { return *m_session; }
    // Exchange with the container's property store.
    void LoadProperties(PropertyBag& bag) {
        m_props.Load(bag);
        m_font->Load(bag);
        ShareWithWorkers();
    }
    void SaveProperties(PropertyBag& bag) const {
        m_props.Save(bag);
        m_font->Save(bag);
    }

    // hostlink::PipeOwner
    void SetAppUser(int32_t user, std::string_view password) override;
    bool Debug() const override { return m_debug; }
    void SetSimple(bool noMenu) override;
    std::string ClientFileName() const override;
    bool PostCloseOnSorelExit() const override;
    void SorelExit() override;
    void RunWait(const std::function<void()>& wait, const std::function<void()>& cancel) override;
    void ReportTransfer(hostlink::TransferProgress code, int64_t value, std::string_view text) override;
    std::optional<std::vector<std::string>> ChooseFiles(hostlink::FileDialogKind kind, std::string_view title,
                                                        std::string_view folder) override;

    // SessionHost
    void PostToUi(std::function<void()> task) override;
    bool WindowValid() const override { return m_window != nullptr; }
    void SetWaitCursor(bool on) override;
    void FireShowContainer(int eventFd) override;
    void FireSorelExit() override;
    void FireNewWindow(int32_t pipeHandle, int32_t processId) override;
    void CloseContainerFrame() override;
    void PrepareConnectedUi() override;
    void ShowConnectedUi(bool restored) override;
    void ConnectionEnded(bool repaint) override;
    void FocusFieldEditor() override;
    void FocusControl() override;
    bool FieldInputInactive() const override;
    void SetUnixEscKey(bool unixEscKey) override;
    void MergeInPlaceMenu() override;
    void HostData(std::span<const uint8_t> bytes) override;
    platform::UniqueFd SaveScreen() override;
    bool RestoreScreen(int handle) override;
    void LogLine(std::string_view text) override;

    // HostCommandSink
    void WriteToHost(std::string_view bytes) override;
    void Beep() override;
    hostlink::CCommPipe* Pipe() override;
    bool InVarnel() const override { return m_props.m_InVarnel; }
    bool ShowsOwnToolbars() const override { return m_props.m_Toolbars; }
    std::string NewWindowChainCommand() const override { return m_props.m_NewWindowChainCommand; }
    void FireSetTitle(std::string_view title) override;
    void FireSwitchToolbar(int16_t bar) override;
    void FireTamsel(std::string_view text) override;
    void FireDisplayErrorBox(std::string_view text) override;
    void SwitchOwnToolbar(int32_t bar) override;
    void SetChainable(int32_t value) override { m_props.m_chainable = value; }
    void RequestCalendar(const CalendarDate& date) override;
    void RequestCreateObject(std::string progId) override;
    void RequestCallObject(std::string request) override;
    void RequestReleaseObject(int32_t index) override;
    void BringToForeground() override;
    void OpenNewWindow(std::string_view switchText) override;
    void ApplicationUserChanged(int32_t user, std::string_view password) override;
    void PrintFile(std::string printer, std::filesystem::path file) override;
    bool OpenField(std::string_view description, const CellGeometry& geometry) override;
    hostlink::PipeOwner& TransferOwner() override { return *this; }
    void KeepTransfer(hostlink::FileXferThread transfer) override;

    // ObjectHost
    void WriteChannel0(std::string_view bytes) override;
    std::string ConnectionText() override;
    int32_t WindowHandle() override;
    bool PostToOwner(std::function<void()> task) override;

    // Methods of the dispatch interface that other code of the control calls too.
    void Send(std::string_view text);
    std::string GetScreenBuffer() const;
    void SendToolbarCommand(std::string_view command);
    // The calculator over the control; on OK its value goes to the host on channel 0.
    void ShowCalc();
    // The mouse wheel scrolls the host's list: one step per whole notch (120 units) of `delta`, backward
    // for a negative delta.
    void WheelTurned(int delta);
    // Sets MinWindowWidth and MinWindowHeight from the smallest registry font; 1 when the window of cx by
    // cy is larger than that minimum.
    int32_t MinimumWindowSize(int32_t cx, int32_t cy);
    // The middle button asks the host for help.
    void MiddleClick();
    // The control's toolbars and status bar.
    bars::CControlBars* Bars() const { return m_bars; }
    // A command of the toolbars or the status bar; false for an id of neither.
    bool RunBarCommand(int32_t id);
    // A left click at a point of the screen: the command the text there offers, else a report of the cell.
    void ClickAt(bars::ClickKind kind, QPoint point);
    // With a field open the editor submits a process request; else ESC [ | on channel 0.
    void SendProcess();
    // Probe and ManualProbe: a practice from the practice list (the dataset dialog over the control's
    // window when several are on offer), else the registry settings. Answers 0 set, 1 failed, 2 cancelled,
    // 3 nothing found.
    int32_t ProbeConnection(bool manual);
    // The credentials dialog of the connector, without connecting: 0 when the Auth properties were set,
    // 1 when cancelled.
    int32_t AuthDialog();
    // The web page's links: named objects that tell other programs this control lives.
    int32_t WebAddWndLink(std::string_view name);
    void WebRemoveWndLink() { m_linkHandle.reset(); }
    bool WebSetPersist(std::string_view name);
    bool WebClearPersist(std::string_view name);

  private:
    friend class CQuilletWindow;
    class BarsAdapter;
    friend class CQuilletMenus;

    void BuildTable();
    void AddProperties();
    void AddMethods();
    void PropertyChanged(std::string_view name);
    void Fire(QuilletEvent event, std::span<const platform::automation::Variant> args = {});
    void Message(const std::string& text, bool stopIcon);
    void WindowDestroyed();
    // Left button presses, releases and double clicks on the screen; a press and release without a drag
    // is a single click.
    void ScreenMouseEvent(const QEvent& event);
    // The screen's mouse hook: the selection and clicks see every button event first; the wheel and the
    // middle button are the control's, whatever the screen does (true: the screen does not get them).
    bool ScreenMouse(QEvent& event);
    void StatusBarChanged();
    void PaintBackground(QWidget& window);
    void Layout();
    void Activate();
    // The Caps Lock state from the frame the window sits in, for the screen's keys and the field editor's.
    void ReadKeyboardLocks();
    // The open field's editor when a field is open, else the screen.
    void FocusInput();
    void EndTransfers();
    // Copies of the properties that worker threads read.
    void ShareWithWorkers();
    // The stock Font changed: the container has to save the control again, and it repaints.
    void FontChanged();
    // AboutBox: the about box of the open connection's edition, or the control's own without one.
    void ShowAboutBox();
    // The property verb: the Connect, Display and Login pages on this control.
    void ShowPropertyFrame();
    bool HasInterface(const Guid& iid);

    QuilletProperties m_props;
    bool m_debug = false;
    bool m_activated = false;
    int16_t m_forceNewWindow = 1;
    int32_t m_manualProbe = 0;            // set by ManualProbe, kept for later probes
    std::unique_ptr<QObject> m_uiTarget;  // queued calls run on its thread
    std::unique_ptr<hostlink::RemoteLoginUi> m_remoteLoginUi;
    hostlink::LocalLoginUiFactory m_localLoginUi;
    std::optional<platform::NamedObject> m_linkHandle;
    std::optional<platform::NamedObject> m_persistHandle;
    QPointer<CQuilletWindow> m_window;
    CTerminalWidget* m_terminal = nullptr;  // children of m_window
    CFieldEdit* m_field = nullptr;
    std::unique_ptr<CQuilletSession> m_session;
    std::unique_ptr<CKeySender> m_keySender;
    std::unique_ptr<CHostCommands> m_commands;
    std::unique_ptr<BarsAdapter> m_barsAdapter;
    QPointer<bars::CControlBars> m_bars;  // a child of m_window
    std::optional<QPoint> m_leftPress;    // where a left click that may become a single click began
    std::vector<hostlink::FileXferThread> m_transfers;
    const std::function<void()>* m_waitCancel = nullptr;  // ends the RunWait under way, if any
    std::mutex m_choicesMutex;
    std::vector<std::weak_ptr<FileChoice>> m_choices;  // dialogs workers wait for
    mutable std::mutex m_sharedMutex;
    std::string m_sharedClientFileName;
    bool m_sharedPostClose = false;
    std::shared_ptr<platform::automation::CStockFont> m_font =
        std::make_shared<platform::automation::CStockFont>(platform::automation::FontDescription{},
                                                           [this] { FontChanged(); });
    platform::automation::CControlSafety m_safety{[this](const Guid& iid) { return HasInterface(iid); }};
    pages::CControlPageList m_pageList;
    platform::automation::CControlVerbs m_verbs{[this] { ShowPropertyFrame(); }};
    platform::automation::CControlPersistence m_persistence{
        [this](PropertyBag& bag) { LoadProperties(bag); }, [this](PropertyBag& bag) { SaveProperties(bag); }};
    // The host's automation objects; after the session, key sender and queue target that they use, so that
    // they are released before those go.
    std::unique_ptr<CObjectManager> m_objects = std::make_unique<CObjectManager>(*this);
    // Last, so that it goes first: it takes its menus out of the frame while the rest still stands.
    std::unique_ptr<CQuilletMenus> m_menus;
};

// Makes a control for the class factory: installs the Qt message boxes as the process prompt when no
// prompt is installed yet.
std::shared_ptr<CQuilletCtrl> CreateQuilletCtrl();

}  // namespace terminal
