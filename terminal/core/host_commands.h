// The host commands that reach beyond the screen, carried out for the control: messages and events, the
// pipe's session settings, documents, programs, print files, file transfers, the calendar, host objects and
// the field editor. The control-level actions go through HostCommandSink, which the control implements.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "hostlink/file_xfer.h"
#include "terminal/core/inkey.h"
#include "terminal/core/screen.h"
#include "terminal/core/screen_owner.h"

namespace hostlink {
class CCommPipe;
class PipeOwner;
}  // namespace hostlink

namespace terminal {

// Days of `month` (1 to 12) in the proleptic Gregorian calendar; 0 for a month outside that range. The host's
// date check and the calendar dialog both count by it.
int32_t DaysInMonth(int32_t year, int32_t month);

// A date and time with its validity status, as the calendar request carries it: a day that the month does
// not have (30 February) gives an invalid date, which the calendar reads as "no date".
struct CalendarDate {
    enum class Status { Valid, Invalid };

    int32_t year = 0;
    int32_t month = 0;
    int32_t day = 0;
    int32_t hour = 0;
    int32_t minute = 0;
    int32_t second = 0;
    Status status = Status::Invalid;

    // The parts as given, valid when they name a real moment of the years 100 to 9999.
    static CalendarDate FromParts(int32_t year, int32_t month, int32_t day, int32_t hour = 0,
                                  int32_t minute = 0, int32_t second = 0);
    // The current local date and time.
    static CalendarDate Now();
    bool Valid() const { return status == Status::Valid; }
    bool operator==(const CalendarDate&) const = default;
};

// The date a calendar request of the host asks for: MMDDYYYY when month, day and year lie in their ranges
// (1-12, 1-31, 1600-2200), else `now`.
CalendarDate HostCalendarDate(std::optional<int32_t> mmddyyyy, const CalendarDate& now);

// Where the field editor goes over the screen: the cell size and the pixel origin of cell 0,0.
CellGeometry FieldGeometry(const CTerminalScreen& screen);

// The printer word of a print command as the print job takes it: "DEFAULT" names the default printer, and
// "SELECTPRINTER" an empty name that lets the user choose (both in any case).
inline constexpr std::string_view kDefaultPrinterName = "MODDefaultPrinter";
std::string PrintJobPrinter(std::string_view word);

// What the host commands need of the control. Called on the window thread during a feed.
class HostCommandSink {
  public:
    virtual ~HostCommandSink() = default;

    // Bytes for the host on the session's one ordered write path, after every key already queued.
    virtual void WriteToHost(std::string_view bytes) = 0;
    // The exclamation beep.
    virtual void Beep() = 0;
    // A diagnostic line for the control's debug log.
    virtual void LogLine(std::string_view text) = 0;
    // The session's pipe; null while no session runs.
    virtual hostlink::CCommPipe* Pipe() = 0;

    // Properties.
    virtual bool InVarnel() const = 0;
    // The Toolbars property: the control shows toolbars of its own.
    virtual bool ShowsOwnToolbars() const = 0;
    virtual std::string NewWindowChainCommand() const = 0;

    // Events for the container.
    virtual void FireSetTitle(std::string_view title) = 0;
    virtual void FireSwitchToolbar(int16_t bar) = 0;
    virtual void FireTamsel(std::string_view text) = 0;
    virtual void FireDisplayErrorBox(std::string_view text) = 0;

    // The control's own toolbars switch to bar `bar`.
    virtual void SwitchOwnToolbar(int32_t bar) = 0;
    // The IsChainable flag.
    virtual void SetChainable(int32_t value) = 0;
    // Opens the calendar on `date` once the current feed is done; the control answers the host.
    virtual void RequestCalendar(const CalendarDate& date) = 0;
    // Requests for the control's object manager, handled once the current feed is done; each answers the
    // host. A release is not quiet: it answers too.
    virtual void RequestCreateObject(std::string progId) = 0;
    virtual void RequestCallObject(std::string request) = 0;
    virtual void RequestReleaseObject(int32_t index) = 0;
    // Brings the application's main window to the foreground.
    virtual void BringToForeground() = 0;
    // The control's new-window operation: outside the container the pipe starts a new session with
    // `switchText`; inside it the control hands the session state to the container.
    virtual void OpenNewWindow(std::string_view switchText) = 0;
    // The application user changed: the control keeps user and password as AuthSorelUser and
    // AuthSorelPassword and fires Tamsel("USRCHANGE"), as when a pipe reports the change to its owner.
    virtual void ApplicationUserChanged(int32_t user, std::string_view password) = 0;
    // Prints `file` (a checked regular file in the temp folder) raw on `printer` (empty: the user chooses;
    // kDefaultPrinterName: the default printer), then deletes it or lets the user keep it.
    virtual void PrintFile(std::string printer, std::filesystem::path file) = 0;
    // Opens the field editor on a complete field description; false when the editor refused it.
    virtual bool OpenField(std::string_view description, const CellGeometry& geometry) = 0;
    // The owner a file transfer reports to, and where a started transfer is kept until it ends or the
    // session tears down.
    virtual hostlink::PipeOwner& TransferOwner() = 0;
    virtual void KeepTransfer(hostlink::FileXferThread transfer) = 0;
};

class CHostCommands : public ScreenOwner {
  public:
    // Text limits of what the commands hand on.
    static constexpr std::size_t kGuideValueSize = 260;
    static constexpr std::size_t kTempPathSize = 1022;

    // Gets every process that command N started, to reap it; the default waits on a thread of its own.
    using ChildReaper = std::function<void(pid_t)>;
    using Clock = std::function<CalendarDate()>;

    // Neither is owned; both outlive this object. Install it with screen.SetOwner(this).
    CHostCommands(CTerminalScreen& screen, HostCommandSink& sink);

    void SetChildReaper(ChildReaper reaper);
    void SetClock(Clock clock);

    void Reply(std::string_view bytes) override;
    void Beep() override;
    void OpenOperatorsGuide(std::string document) override;
    void StartFileTransfer(std::string description) override;
    void OpenHostFile(std::string path) override;
    void ExpectDigest(std::string digest) override;
    void ShowHostMessage(std::string text) override;
    void DisplayErrorBox(std::string text) override;
    void SwitchPractice(std::string text) override;
    void SetHost(std::string text) override;
    void SetDataSet(std::string text) override;
    void StartProgram(std::string commandLine) override;
    void SetTitle(std::string title) override;
    void SwitchToolbar(int32_t toolbar) override;
    void OpenCalendar(std::optional<int32_t> date) override;
    void AppendTerminalId(int32_t number) override;
    void SetTerminalId(std::variant<int32_t, std::string> id) override;
    void SetChainable(int32_t value) override;
    void OpenField(std::string description) override;
    void CreateObject(std::string request) override;
    void CallObject(std::string request) override;
    void ReleaseObject(int32_t index) override;
    void BringToForeground() override;
    void NewWindow(int32_t value) override;
    void Tamsel(std::string text) override;
    void SetBillingServer(int32_t id) override;
    void PrintHostFile(std::string text) override;
    void ApplicationUserChanged(std::string text) override;

  private:
    // The pipe, or null after logging that `command` found no session.
    hostlink::CCommPipe* SessionPipe(char command);
    void Log(std::string text);
    // The digest of a host-named file; false (after telling the user) when it is not a regular file that
    // can be read.
    bool HashHostFile(const std::string& hostPath, std::string& digest);

    CTerminalScreen& m_screen;
    HostCommandSink& m_sink;
    ChildReaper m_reaper;
    Clock m_clock;
};

}  // namespace terminal
