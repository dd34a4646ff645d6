// The container's application logic without its windows: connecting the control from the command line,
// the ten event handlers, the end of a session and the close rule. The main window implements BrantorFrame;
// tests drive the same logic with a recording frame and a fake control.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "container/event_sink.h"
#include "container/quillet_host.h"
#include "container/startup.h"
#include "platform/registry.h"
#include "platform/spawn.h"
#include "suite/registry_settings.h"

namespace container {

// A further container learns the size of the window that started it from this variable ("<width>x<height>").
inline constexpr const char* kStartSizeVariable = "BRANTOR_START_SIZE";
// The start size from the process environment, when it names a usable size.
std::optional<std::pair<int32_t, int32_t>> StartSizeFromEnvironment();

// The font the user chose in the font dialog, with the cell measured in it.
struct FontChoice {
    suite::LogFont font;
    int32_t pointSizeTenths = 0;
    int32_t cellHeight = 0;
    int32_t cellWidth = 0;
};

// What the logic needs of the main window.
class BrantorFrame {
  public:
    virtual ~BrantorFrame() = default;
    // The window in the view that will hold the control.
    virtual bool CreateControlHost() = 0;
    // The control's widget into the view; false when the control has none.
    virtual bool EmbedControl(CQuillet& control) = 0;
    // The control's widget out of the view, before the control is released.
    virtual void ReleaseControl() = 0;
    virtual void ShowFrame(bool maximised) = 0;
    virtual void ShowControl() = 0;
    virtual void HideControl() = 0;
    virtual void HideFrame() = 0;
    virtual bool IsMaximised() const = 0;
    virtual WindowRect NormalRect() const = 0;
    // The frame's rectangle as it is now (maximised or not).
    virtual WindowRect CurrentRect() const = 0;
    // Closes the frame once the current event has returned.
    virtual void PostClose() = 0;
    // Runs `task` on the user-interface thread once the current event has returned.
    virtual void Post(std::function<void()> task) = 0;
    virtual void SetTitle(std::string_view title) = 0;
    virtual int SwitchToolbar(int16_t bar) = 0;
    virtual void RemoveSystemToolbar() = 0;
    // Recomputes the layout with the control in place.
    virtual void RefreshLayout() = 0;
    // The chosen command id, or nullopt when the menu was dismissed.
    virtual std::optional<int32_t> TrackPopupMenu(const PopupMenuData& data) = 0;
    virtual std::optional<FontChoice> ChooseFont(const suite::LogFont& start) = 0;
    virtual void ResizeForFont() = 0;
    virtual void SetTopmost(bool on) = 0;
};

// Where SetFont writes the font values: HKCU "SOFTWARE\Carrowline Corporation" by default.
class FontValueStore {
  public:
    virtual ~FontValueStore() = default;
    virtual int32_t Read(std::string_view name, platform::RegValue& out) = 0;
    virtual int32_t Write(std::string_view name, const platform::RegValue& value) = 0;
    virtual int32_t Remove(std::string_view name) = 0;
};
std::unique_ptr<FontValueStore> MakeRegistryFontStore();

// Writes FontFaceName, FontSize, FontHeight, FontWidth and FontWeight, in that order. When one cannot be
// written, the values written before it are put back as they were, so the five never disagree.
bool SaveFontChoice(const FontChoice& choice, FontValueStore& store);

// Starts a program; false with a message on failure. The default uses platform::Spawn and reaps the child.
using Spawner = std::function<bool(const platform::SpawnOptions& options, std::string* message)>;

enum class ConnectOutcome { Connected, Failed, Usage };

struct MenuString {
    int32_t id = 0;
    std::string text;
    bool operator==(const MenuString&) const = default;
};

class CBrantorApp : public QuilletEventHandler {
  public:
    struct Options {
        Spawner spawner;                            // null: platform::Spawn
        std::unique_ptr<FontValueStore> fontStore;  // null: the registry
        CQuillet::LogFn log;                        // null: the debug log
        std::filesystem::path programFolder;        // empty: this program's folder
    };

    CBrantorApp(BrantorFrame& frame, Options options);
    explicit CBrantorApp(BrantorFrame& frame);
    ~CBrantorApp() override;
    CBrantorApp(const CBrantorApp&) = delete;
    CBrantorApp& operator=(const CBrantorApp&) = delete;

    // Makes the control, binds it, connects the sink and logs in as the command line says. Every failure
    // has shown its message; Usage has shown the usage text and the program ends with exit code 1.
    ConnectOutcome Connect(std::string_view commandLine);
    // The frame's close request: true when the frame may close now. When connected and chainable, asks the
    // host to quit instead (the session's end closes the frame).
    bool OnClose();
    // Alt+F4 on the frame: while connected the control is asked to shut the host program down and false is
    // answered; otherwise true: the program ends.
    bool OnAltF4();
    // The end of a session: hide the control, save the window state, hide the frame, stop the events.
    void EndSession();
    // Tells the control the container goes, takes its widget back and releases it, then the sink.
    void ExitInstance();

    // The Help menu: the control's about box, the help file in the mode's help folder, the operator's guide.
    void OnAppAbout();
    void OnHelpContents();
    void OnOperatorsGuide();

    bool LoadZoomMode();
    void SaveWindowState();

    bool IsConnected() const { return m_connected; }
    bool IsZoomed() const { return m_zoomed; }
    void SetZoomed(bool zoomed) { m_zoomed = zoomed; }
    // Whether the container's window has the keyboard focus.
    bool HasFocus() const { return m_hasFocus; }
    void SetHasFocus(bool focus) { m_hasFocus = focus; }
    CQuillet* Control() { return m_control.get(); }
    // The control while a session is open; null otherwise. Menu and toolbar commands go only to this one.
    CQuillet* ConnectedControl() { return m_connected ? m_control.get() : nullptr; }
    // The prompt text of a command id from the control's menu table.
    std::optional<std::string> MenuPrompt(int32_t id) const;
    const std::vector<MenuString>& MenuStrings() const { return m_menuStrings; }

    // Events.
    void OnSorelExit() override;
    void OnNewWindow(int32_t pipeHandle, int32_t processId) override;
    void OnTamsel(std::string_view text) override;
    void OnShowContainer(int32_t eventHandle) override;
    void OnSwitchToolbar(int16_t bar) override;
    void OnPopupMenu(const PopupMenuData* data) override;
    void OnSetTitle(std::string_view title) override;
    void OnSetFont(std::string_view unused) override;
    void OnSetMenuStrings(const MenuStringEntry* table) override;
    void OnDisplayErrorBox(std::string_view text) override;

  private:
    ConnectOutcome LoginFromCommandLine(std::string text, int16_t loginType);
    void ShowUsage();
    void Log(std::string_view text) const;

    BrantorFrame& m_frame;
    Options m_options;
    bool m_connected = false;
    bool m_zoomed = false;
    bool m_hasFocus = false;
    uint32_t m_programMode = 0;  // PROGRAM: 2 remote, anything else local
    WindowRect m_windowRect;
    std::unique_ptr<CQuillet> m_control;
    std::shared_ptr<CQuilletSnk> m_sink;
    std::vector<MenuString> m_menuStrings;
    std::string m_commandLine;  // the control may read it for as long as it lives
};

}  // namespace container
