// The host commands that act outside the screen. Everything the host names here (paths, programs, fields
// for the pipe's fixed records) is checked before use: paths through the drive mapping, programs started
// without a shell, print files only as plain files of the temp folder, and bounded copies into the pipe.
#include "terminal/core/host_commands.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <exception>
#include <thread>
#include <utility>
#include <vector>

#include "hostlink/comm_pipe.h"
#include "hostlink/fixed_text.h"
#include "hostlink/local_pipe.h"
#include "hostlink/md5util.h"
#include "hostlink/remote_pipe.h"
#include "platform/codepage.h"
#include "platform/expand_environment.h"
#include "platform/host_path.h"
#include "platform/known_folders.h"
#include "platform/registry.h"
#include "platform/spawn.h"
#include "platform/unique_fd.h"
#include "platform/user_prompt.h"
#include "platform/win32_error.h"
#include "suite/client_mode.h"
#include "suite/registry_settings.h"
#include "suite/shell_open.h"

namespace terminal {
namespace {

constexpr char kFieldSeparator = 0x02;
// Expanded paths for the digest check have the room the shell's open gives them.
constexpr std::size_t kExpandBufferSize = 1024;
constexpr std::string_view kCheckOpenError = "Error Opening File to Check.";

void ShowStop(std::string text) {
    platform::DefaultPrompt().Message(std::move(text), platform::PromptIcon::Stop);
}

void ShowSystemModalStop(std::string text) {
    platform::PromptRequest request;
    request.text = std::move(text);
    request.icon = platform::PromptIcon::Stop;
    request.systemModal = true;
    platform::DefaultPrompt().Show(request);
}

// The text split at every 0x02.
std::vector<std::string_view> SplitFields(std::string_view text) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(kFieldSeparator, start);
        if (end == std::string_view::npos) {
            fields.push_back(text.substr(start));
            return fields;
        }
        fields.push_back(text.substr(start, end - start));
        start = end + 1;
    }
}

bool IsCSpace(char ch) {
    return std::isspace(static_cast<unsigned char>(ch)) != 0;
}

// The next blank-separated word at or after `pos`, as scanf's %s reads it.
std::string_view NextWord(std::string_view text, std::size_t& pos) {
    while (pos < text.size() && IsCSpace(text[pos])) {
        ++pos;
    }
    const std::size_t start = pos;
    while (pos < text.size() && !IsCSpace(text[pos])) {
        ++pos;
    }
    return text.substr(start, pos - start);
}

// The host cannot put a blank into a word; it sends 0x02 in its place.
std::string Unblank(std::string_view word) {
    std::string out(word);
    for (char& ch : out) {
        if (ch == kFieldSeparator) {
            ch = ' ';
        }
    }
    return out;
}

// A program the host names with a drive letter or backslashes is a host path; a bare name or a local path
// is taken as it stands.
bool IsHostStylePath(std::string_view program) {
    if (program.find('\\') != std::string_view::npos) {
        return true;
    }
    return program.size() >= 2 && program[1] == ':' && std::isalpha(static_cast<unsigned char>(program[0]));
}

// The run command field of the pipe kinds that have one.
hostlink::FixedText<512>* RunCommandOf(hostlink::CCommPipe* pipe) {
    if (auto* local = dynamic_cast<hostlink::CLocalPipe*>(pipe)) {
        return &local->m_runCommand;
    }
    if (auto* remote = dynamic_cast<hostlink::CRemotePipe*>(pipe)) {
        return &remote->m_runCommand;
    }
    return nullptr;
}

void ReapOnOwnThread(pid_t pid) {
    std::thread([pid] { platform::WaitForExit(pid); }).detach();
}

std::string FileErrorText(const char* format, const std::string& path) {
    std::string text(format);
    const std::size_t at = text.find("%s");
    if (at != std::string::npos) {
        text.replace(at, 2, path);
    }
    return text;
}

}  // namespace

// ---- Dates ----

int32_t DaysInMonth(int32_t year, int32_t month) {
    static constexpr std::array<int32_t, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) {
        return 0;
    }
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[static_cast<std::size_t>(month - 1)];
}

CalendarDate CalendarDate::FromParts(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute,
                                     int32_t second) {
    CalendarDate date{year, month, day, hour, minute, second, Status::Invalid};
    const bool valid = year >= 100 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
                       day <= DaysInMonth(year, month) && hour >= 0 && hour <= 23 && minute >= 0 &&
                       minute <= 59 && second >= 0 && second <= 59;
    if (valid) {
        date.status = Status::Valid;
    }
    return date;
}

CalendarDate CalendarDate::Now() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (::localtime_r(&now, &local) == nullptr) {
        return {};
    }
    return FromParts(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                     // A leap second is shown as the last ordinary one.
                     local.tm_sec > 59 ? 59 : local.tm_sec);
}

CalendarDate HostCalendarDate(std::optional<int32_t> mmddyyyy, const CalendarDate& now) {
    if (mmddyyyy) {
        const int32_t n = *mmddyyyy;
        const int32_t month = n / 1000000;
        const int32_t day = (n / 10000) % 100;
        const int32_t year = n % 10000;
        if (month >= 1 && month <= 12 && day >= 1 && day <= 31 && year >= 1600 && year <= 2200) {
            return CalendarDate::FromParts(year, month, day);
        }
    }
    return now;
}

CellGeometry FieldGeometry(const CTerminalScreen& screen) {
    const CellSize cell = screen.GetCellSize();
    const ScreenGeometry& g = screen.Geometry();
    // The editor is laid over the cells as they are drawn, which includes the extra offset.
    return {cell.width, cell.height, g.originX, g.originY, g.extraOffsetX, g.extraOffsetY};
}

std::string PrintJobPrinter(std::string_view word) {
    if (platform::EqualsNoCase(word, "DEFAULT")) {
        return std::string(kDefaultPrinterName);
    }
    if (platform::EqualsNoCase(word, "SELECTPRINTER")) {
        return {};
    }
    return std::string(word);
}

// ---- CHostCommands ----

CHostCommands::CHostCommands(CTerminalScreen& screen, HostCommandSink& sink)
    : m_screen(screen), m_sink(sink), m_reaper(ReapOnOwnThread), m_clock(CalendarDate::Now) {}

void CHostCommands::SetChildReaper(ChildReaper reaper) {
    m_reaper = reaper ? std::move(reaper) : ChildReaper(ReapOnOwnThread);
}

void CHostCommands::SetClock(Clock clock) {
    m_clock = clock ? std::move(clock) : Clock(CalendarDate::Now);
}

void CHostCommands::Log(std::string text) {
    m_sink.LogLine(text);
}

hostlink::CCommPipe* CHostCommands::SessionPipe(char command) {
    hostlink::CCommPipe* pipe = m_sink.Pipe();
    if (pipe == nullptr) {
        Log(std::string("Host command ") + command + ": no session, ignored");
    }
    return pipe;
}

void CHostCommands::Reply(std::string_view bytes) {
    m_sink.WriteToHost(bytes);
}

void CHostCommands::Beep() {
    m_sink.Beep();
}

// ---- Documents ----

void CHostCommands::OpenOperatorsGuide(std::string document) {
    // The name is appended to the guide's folder; a separator would let the host pick another folder.
    if (document.find_first_of("\\/") != std::string::npos) {
        Log("Host command A: refused document name '" + document + "'");
        return;
    }
    const std::string key = suite::DocsKey(suite::GetClientMode());
    std::array<char, kGuideValueSize> value{};
    uint32_t size = static_cast<uint32_t>(value.size());
    platform::RegType type = platform::RegType::Sz;
    if (suite::RegReadValue(platform::HKey::LocalMachine, key, "OpGuide", type, value.data(), size) !=
        platform::win32::kSuccess) {
        ShowStop("Could not find Operators Guide key");
        return;
    }
    const std::string guide(value.data(), ::strnlen(value.data(), size));
    const std::size_t cut = guide.find_last_of("\\/");
    const std::string path =
        (cut == std::string::npos ? std::string() : guide.substr(0, cut + 1)) + document + ".html";
    if (!suite::OpenWithShell(path)) {
        Log("Host command A: '" + path + "' was not opened");
    }
}

bool CHostCommands::HashHostFile(const std::string& hostPath, std::string& digest) {
    const std::string expanded = platform::ExpandEnvironment(hostPath);
    std::string why;
    std::optional<std::filesystem::path> local;
    if (expanded.size() >= kExpandBufferSize) {
        why = "the expanded path is too long";
    } else {
        local = platform::HostPath(platform::Registry::Default()).Translate(expanded, &why);
    }
    // Opened without blocking and checked before reading: a fifo or a device would hang the window.
    platform::UniqueFd file;
    if (local) {
        file = platform::UniqueFd(::open(local->c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
        struct stat info {};
        if (!file) {
            why = std::strerror(errno);
        } else if (::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
            why = "not a regular file";
            file = platform::UniqueFd();
        }
    }
    if (!file) {
        Log("Host command E: cannot check '" + hostPath + "': " + why);
        platform::DefaultPrompt().Message(std::string(kCheckOpenError));
        return false;
    }
    // Hashed through the descriptor just checked, so the file cannot be swapped in between.
    std::array<char, hostlink::md5util::kDigestSize> out{};
    if (hostlink::md5util::HashFile(out, "/proc/self/fd/" + std::to_string(file.Get())) != 0) {
        return false;
    }
    digest.assign(out.data(), hostlink::md5util::kDigestChars);
    return true;
}

void CHostCommands::OpenHostFile(std::string path) {
    const std::string expected = m_screen.ExpectedDigest();
    if (expected.empty()) {
        if (!suite::OpenWithShell(path)) {
            Log("Host command E: '" + path + "' was not opened");
        }
        return;
    }
    std::string digest;
    if (!HashHostFile(path, digest)) {
        return;  // the expectation stays for the next try
    }
    m_screen.ClearExpectedDigest();
    if (hostlink::md5util::CompareDigest(digest, expected) != 0) {
        Reply("N");
        return;
    }
    // The host is told the file matched even when the desktop refuses to open it.
    if (!suite::OpenWithShell(path)) {
        Log("Host command E: '" + path + "' was not opened");
    }
    Reply("Y");
}

void CHostCommands::ExpectDigest(std::string) {
    // The screen keeps the digest; E uses it.
}

// ---- Messages and events ----

void CHostCommands::ShowHostMessage(std::string text) {
    ShowStop(std::move(text));
}

void CHostCommands::DisplayErrorBox(std::string text) {
    m_sink.FireDisplayErrorBox(text);
}

void CHostCommands::SetTitle(std::string title) {
    if (m_sink.InVarnel()) {
        m_sink.FireSetTitle(title);
    }
}

void CHostCommands::SwitchToolbar(int32_t toolbar) {
    if (m_sink.ShowsOwnToolbars()) {
        m_sink.SwitchOwnToolbar(toolbar);
    } else if (m_sink.InVarnel()) {
        m_sink.FireSwitchToolbar(static_cast<int16_t>(toolbar));
    }
}

void CHostCommands::Tamsel(std::string text) {
    m_sink.FireTamsel(text);
}

void CHostCommands::SetChainable(int32_t value) {
    m_sink.SetChainable(value);
}

void CHostCommands::BringToForeground() {
    m_sink.BringToForeground();
}

void CHostCommands::OpenCalendar(std::optional<int32_t> date) {
    m_sink.RequestCalendar(HostCalendarDate(date, m_clock()));
}

void CHostCommands::CreateObject(std::string request) {
    m_sink.RequestCreateObject(std::move(request));
}

void CHostCommands::CallObject(std::string request) {
    m_sink.RequestCallObject(std::move(request));
}

void CHostCommands::ReleaseObject(int32_t index) {
    m_sink.RequestReleaseObject(index);
}

// ---- The pipe's session ----

void CHostCommands::SwitchPractice(std::string text) {
    const std::vector<std::string_view> fields = SplitFields(text);
    if (fields.size() < 4) {
        Log("Host command L: fewer than three separators, ignored");
        return;
    }
    const int32_t kind = hostlink::options::DecimalPrefix(fields[0]);
    const std::size_t restStart = static_cast<std::size_t>(fields[3].data() - text.data());
    const std::string_view rest = std::string_view(text).substr(restStart);
    if (kind == 1 && fields.size() < 5) {
        Log("Host command L: billing switch without its fourth separator, ignored");
        return;
    }
    hostlink::CCommPipe* pipe = SessionPipe('L');
    if (pipe == nullptr) {
        return;
    }
    if (kind == 1) {
        const std::size_t split = rest.find(kFieldSeparator);
        pipe->SwitchBillingSession(fields[1], fields[2], rest.substr(split + 1), rest.substr(0, split));
    } else {
        pipe->SwitchMsoSession(fields[1], fields[2], rest);
    }
}

void CHostCommands::SetHost(std::string text) {
    if (hostlink::CCommPipe* pipe = SessionPipe('M')) {
        pipe->SetHost(text);
    }
}

void CHostCommands::SetDataSet(std::string text) {
    if (hostlink::CCommPipe* pipe = SessionPipe('Q')) {
        pipe->SetDataSet(text);
    }
}

void CHostCommands::AppendTerminalId(int32_t number) {
    hostlink::CCommPipe* pipe = SessionPipe('X');
    if (pipe == nullptr) {
        return;
    }
    const std::string suffix = "." + std::to_string(number);
    // Half an extension would name another terminal: the id is left as it was.
    if (pipe->m_terminalId.Length() + suffix.size() > pipe->m_terminalId.kMaxChars) {
        Log("Host command X: no room for '" + suffix + "' in terminal id '" + pipe->m_terminalId.Str() +
            "', unchanged");
        return;
    }
    pipe->m_terminalId.Append(suffix);
}

void CHostCommands::SetTerminalId(std::variant<int32_t, std::string> id) {
    hostlink::CCommPipe* pipe = SessionPipe('Y');
    if (pipe == nullptr) {
        return;
    }
    const std::string text = std::holds_alternative<int32_t>(id) ? std::to_string(std::get<int32_t>(id))
                                                                 : std::get<std::string>(id);
    if (!pipe->m_terminalId.Assign(text)) {
        Log("Host command Y: terminal id longer than " + std::to_string(pipe->m_terminalId.kMaxChars) +
            " characters, cut");
    }
}

void CHostCommands::SetBillingServer(int32_t id) {
    if (hostlink::CCommPipe* pipe = SessionPipe('o')) {
        pipe->m_BillServID = id;
    }
}

void CHostCommands::ApplicationUserChanged(std::string text) {
    const std::size_t blank = text.find(' ');
    if (blank == std::string::npos) {
        Log("Host command u: no blank between user and password, ignored");
        return;
    }
    const int32_t user = hostlink::options::DecimalPrefix(std::string_view(text).substr(0, blank));
    const std::string_view password = std::string_view(text).substr(blank + 1);
    hostlink::CCommPipe* pipe = m_sink.Pipe();
    if (pipe != nullptr) {
        pipe->SetAppUser(user, password);
    }
    // A pipe passes the change on to its owner, the control; without one the control hears it here.
    if (pipe == nullptr || pipe->m_owner == nullptr) {
        m_sink.ApplicationUserChanged(user, password);
    }
}

void CHostCommands::NewWindow(int32_t) {
    hostlink::CCommPipe* pipe = SessionPipe('k');
    if (pipe == nullptr) {
        return;
    }
    std::string chain = m_sink.NewWindowChainCommand();
    if (const std::size_t nul = chain.find('\0'); nul != std::string::npos) {
        chain.resize(nul);
    }
    if (chain.empty()) {
        m_sink.OpenNewWindow("/m1");
        return;
    }
    hostlink::FixedText<512>* run = RunCommandOf(pipe);
    if (run == nullptr) {
        Log("Host command k: the session has no run command to chain, ignored");
        return;
    }
    // A cut command would run something else on the host.
    if (chain.size() > run->kMaxChars) {
        Log("Host command k: chain command longer than " + std::to_string(run->kMaxChars) +
            " characters, no window opened");
        return;
    }
    run->Assign(chain);
    m_sink.OpenNewWindow("");
}

// ---- Programs, transfers, print files, fields ----

void CHostCommands::StartProgram(std::string commandLine) {
    const auto fail = [&](const std::string& why) {
        Log("Host command N: '" + commandLine + "': " + why);
        ShowStop("Error Starting Application '" + commandLine + "'");
    };
    std::vector<std::string> argv = platform::SplitCommandLine(commandLine);
    if (argv.empty() || argv.front().empty()) {
        fail("no program named");
        return;
    }
    // Host text is Windows-1252; the drive mapping converts the program's path itself.
    for (std::size_t i = 1; i < argv.size(); ++i) {
        argv[i] = platform::Cp1252ToUtf8(argv[i]);
    }
    if (IsHostStylePath(argv.front())) {
        std::string why;
        const auto local = platform::HostPath(platform::Registry::Default()).Translate(argv.front(), &why);
        if (!local) {
            fail(why);
            return;
        }
        argv.front() = local->string();
    } else {
        argv.front() = platform::Cp1252ToUtf8(argv.front());
    }
    platform::SpawnOptions options;
    options.program = argv.front();
    options.argv = std::move(argv);
    options.nullStdio = true;
    int32_t error = 0;
    std::string message;
    const std::optional<platform::SpawnedProcess> child = platform::Spawn(options, &error, &message);
    if (!child) {
        fail("error " + std::to_string(error) + ": " + message);
        return;
    }
    m_reaper(child->pid);
}

void CHostCommands::StartFileTransfer(std::string description) {
    hostlink::DialBackTarget target;
    auto* remote = dynamic_cast<hostlink::CRemotePipe*>(m_sink.Pipe());
    if (remote != nullptr) {
        target = {remote->m_host.Str(), remote->m_hostAddress};
    }
    auto transfer = std::make_unique<hostlink::CClientFileXfer>();
    try {
        transfer->Init(description, m_sink.TransferOwner(), target);
    } catch (const hostlink::FileXferError& error) {
        Log(std::string("Host command B: ") + error.what());
        ShowStop("Error parsing file transfer init string");
        return;
    }
    // The transfer dials back to the host of a remote session; there is none to reach otherwise.
    if (remote == nullptr) {
        Log("Host command B: no remote session to dial back to, ignored");
        return;
    }
    m_sink.KeepTransfer(hostlink::CClientFileXfer::Start(std::move(transfer)));
}

void CHostCommands::PrintHostFile(std::string text) {
    std::size_t pos = 0;
    const std::string printer = Unblank(NextWord(text, pos));
    const std::string name = Unblank(NextWord(text, pos));
    if (name.empty()) {
        ShowSystemModalStop("ERROR:\nError retrieving file name from TokenStack.\r\n" + text);
        return;
    }
    const std::string tempText = platform::ExpandEnvironment("%TEMP%\\");
    if (tempText.size() > kTempPathSize) {
        ShowSystemModalStop("ERROR:\nFailed (" + std::to_string(platform::win32::kInsufficientBuffer) +
                            ") to expand path '%TEMP%\\'");
        return;
    }
    const std::filesystem::path folder =
        tempText.ends_with('\\') ? tempText.substr(0, tempText.size() - 1) : tempText;
    const std::filesystem::path file = folder / platform::Cp1252ToUtf8(name);

    // Only a plain file of this user, directly in the temp folder and under no other name, is printed and
    // then deleted: anything else could make the job print or delete a file the host may not reach.
    const char* refusal = nullptr;
    std::string shownPath = file.string();
    if (name.find_first_of("\\/") != std::string::npos || name == "." || name == "..") {
        refusal = "All or part of the path '%s' is invalid";
        shownPath = (folder / "").string() + name;
    } else {
        struct stat info {};
        if (::lstat(file.c_str(), &info) != 0) {
            refusal = errno == ENOENT || errno == ENOTDIR ? "File '%s' could not be located"
                                                          : "The file '%s' could not be accessed";
        } else if (!S_ISREG(info.st_mode) || info.st_nlink != 1 || info.st_uid != ::geteuid()) {
            refusal = "The file '%s' could not be accessed";
        }
    }
    if (refusal != nullptr) {
        const std::string shown = FileErrorText(refusal, shownPath);
        Log("Host command p: " + shown);
        ShowSystemModalStop(shown);
        return;
    }
    try {
        m_sink.PrintFile(PrintJobPrinter(printer), file);
    } catch (const std::exception& error) {
        Log(std::string("Host command p: ") + error.what());
        ShowSystemModalStop("Error opening file\n");
    } catch (...) {
        ShowSystemModalStop("Unknown error\n");
    }
}

void CHostCommands::OpenField(std::string description) {
    if (!ParseFieldDescription(description)) {
        Log("Host command a: field description without its eight fields, ignored");
        return;
    }
    if (!m_sink.OpenField(description, FieldGeometry(m_screen))) {
        Log("Host command a: the field editor refused the field");
    }
}

}  // namespace terminal
