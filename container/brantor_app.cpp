// The container's application logic: connecting, the event handlers and the end of a session.
#include "container/brantor_app.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "platform/known_folders.h"
#include "platform/user_prompt.h"
#include "platform/win32_error.h"
#include "suite/shell_open.h"

namespace container {

using platform::PromptIcon;
using platform::RegValue;

namespace {

// A menu prompt longer than this is cut: the table's texts are the control's and need no more.
constexpr size_t kMaxMenuStringLength = 1024;

bool DefaultSpawn(const platform::SpawnOptions& options, std::string* message) {
    int32_t error = 0;
    auto child = platform::Spawn(options, &error, message);
    if (!child) {
        return false;
    }
    // Nobody waits for the new window, but its exit status must not linger.
    const pid_t pid = child->pid;
    std::thread([pid] { platform::WaitForExit(pid); }).detach();
    return true;
}

// What one of this process's fds is open on, as /proc shows it; empty when it is not open.
std::string FdTarget(int fd) {
    if (fd < 0) {
        return {};
    }
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    char target[256] = {};
    const ssize_t length = ::readlink(link.c_str(), target, sizeof target - 1);
    return length > 0 ? std::string(target, static_cast<size_t>(length)) : std::string();
}

// The container sets only the event the control made for the hand-shake, never another descriptor.
bool IsEventFd(int fd) {
    return FdTarget(fd) == "anon_inode:[eventfd]";
}

// A new window inherits only a hand-over block, a shared mapping, never another descriptor of ours.
bool IsMappingFd(int fd) {
    return fd > 2 && FdTarget(fd).starts_with("/memfd:");
}

class RegistryFontStore : public FontValueStore {
  public:
    int32_t Read(std::string_view name, RegValue& out) override {
        return platform::Registry::Default().QueryValue(platform::HKey::CurrentUser, suite::kCompanyKey, name,
                                                        out);
    }
    int32_t Write(std::string_view name, const RegValue& value) override {
        return platform::Registry::Default().SetValue(platform::HKey::CurrentUser, suite::kCompanyKey, name,
                                                      value);
    }
    int32_t Remove(std::string_view name) override {
        return platform::Registry::Default().DeleteValue(platform::HKey::CurrentUser, suite::kCompanyKey,
                                                         name);
    }
};

}  // namespace

std::optional<std::pair<int32_t, int32_t>> StartSizeFromEnvironment() {
    const char* text = std::getenv(kStartSizeVariable);
    if (text == nullptr) {
        return std::nullopt;
    }
    char* end = nullptr;
    errno = 0;
    const long width = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != 'x') {
        return std::nullopt;
    }
    const char* second = end + 1;
    const long height = std::strtol(second, &end, 10);
    if (errno != 0 || end == second || *end != '\0' || width <= 0 || height <= 0 || width > 0xFFFF ||
        height > 0xFFFF) {
        return std::nullopt;
    }
    return std::make_pair(static_cast<int32_t>(width), static_cast<int32_t>(height));
}

std::unique_ptr<FontValueStore> MakeRegistryFontStore() {
    return std::make_unique<RegistryFontStore>();
}

bool SaveFontChoice(const FontChoice& choice, FontValueStore& store) {
    if (choice.font.faceName.size() > suite::kFaceNameMax) {
        return false;
    }
    const std::pair<std::string_view, RegValue> values[] = {
        {"FontFaceName", RegValue::String(choice.font.faceName)},
        {"FontSize", RegValue::Dword(static_cast<uint32_t>(choice.pointSizeTenths))},
        {"FontHeight", RegValue::Dword(static_cast<uint32_t>(choice.cellHeight))},
        {"FontWidth", RegValue::Dword(static_cast<uint32_t>(choice.cellWidth))},
        {"FontWeight", RegValue::Dword(static_cast<uint32_t>(choice.font.weight))},
    };
    // What each value was before, so that a failure part-way leaves the old font whole.
    std::vector<std::optional<RegValue>> previous;
    for (const auto& [name, value] : values) {
        RegValue old;
        previous.push_back(store.Read(name, old) == platform::win32::kSuccess ? std::optional<RegValue>(old)
                                                                              : std::nullopt);
    }
    for (size_t i = 0; i < std::size(values); ++i) {
        if (store.Write(values[i].first, values[i].second) == platform::win32::kSuccess) {
            continue;
        }
        for (size_t back = 0; back < i; ++back) {
            if (previous[back]) {
                store.Write(values[back].first, *previous[back]);
            } else {
                store.Remove(values[back].first);
            }
        }
        return false;
    }
    return true;
}

CBrantorApp::CBrantorApp(BrantorFrame& frame) : CBrantorApp(frame, Options{}) {}

CBrantorApp::CBrantorApp(BrantorFrame& frame, Options options)
    : m_frame(frame), m_options(std::move(options)) {
    if (!m_options.spawner) {
        m_options.spawner = DefaultSpawn;
    }
    if (!m_options.fontStore) {
        m_options.fontStore = MakeRegistryFontStore();
    }
    if (m_options.programFolder.empty()) {
        m_options.programFolder = platform::ProgramFolder();
    }
}

CBrantorApp::~CBrantorApp() {
    ExitInstance();
}

void CBrantorApp::Log(std::string_view text) const {
    LogLine(m_options.log, text);
}

void CBrantorApp::ShowUsage() {
    platform::DefaultPrompt().Message(std::string(kUsageText));
}

ConnectOutcome CBrantorApp::Connect(std::string_view commandLine) {
    if (m_connected) {
        return ConnectOutcome::Failed;
    }
    const StartupDecision decision = DecideStartup(commandLine, ReadInstalledModes());
    if (decision.action == StartupAction::Usage) {
        ShowUsage();
        return ConnectOutcome::Usage;
    }
    if (m_control) {
        return ConnectOutcome::Failed;
    }
    auto& prompt = platform::DefaultPrompt();
    if (!m_frame.CreateControlHost()) {
        prompt.Message("CQuillet function Create() failed in Connect().", PromptIcon::Stop);
        return ConnectOutcome::Failed;
    }
    m_control = std::make_unique<CQuillet>(m_options.log);
    if (!m_control->Attach() || !m_frame.EmbedControl(*m_control)) {
        prompt.Message("CQuillet function Attach() failed in Connect().", PromptIcon::Stop);
        return ConnectOutcome::Failed;
    }
    m_control->SetInVarnel(true);
    m_control->SetToolBars(false);
    m_control->SetBorder(false);

    if (m_sink) {
        return ConnectOutcome::Failed;
    }
    m_sink = std::make_shared<CQuilletSnk>(*this);
    if (platform::automation::Failed(m_control->Advise(m_sink))) {
        prompt.Message(
            "Failed to create a connection between the control's sourceand the container's sink.  "
            "The program will now exit.",
            PromptIcon::Stop);
        return ConnectOutcome::Failed;
    }

    switch (decision.action) {
        case StartupAction::AutoLogin:
            if (!m_control->AutoLogin(decision.pipeHandle, decision.processId)) {
                return ConnectOutcome::Failed;
            }
            break;
        case StartupAction::BothInstalled:
            prompt.Message(std::string(kBothInstalledText), PromptIcon::Stop);
            return ConnectOutcome::Failed;
        case StartupAction::Login: {
            const ConnectOutcome outcome = LoginFromCommandLine(decision.loginText, decision.loginType);
            if (outcome != ConnectOutcome::Connected) {
                return outcome;
            }
            break;
        }
        case StartupAction::Usage:
            break;
    }

    m_connected = true;
    if (m_control->Simple()) {
        m_frame.RemoveSystemToolbar();
    }
    m_programMode = ReadProgramMode();
    m_frame.SetTitle(ProgramModeTitle(m_programMode));
    m_frame.RefreshLayout();
    return ConnectOutcome::Connected;
}

ConnectOutcome CBrantorApp::LoginFromCommandLine(std::string text, int16_t loginType) {
    m_commandLine = std::move(text);
    const int32_t result = m_control->Login(loginType, m_commandLine);
    if (result == kLoginUsage) {
        ShowUsage();
        return ConnectOutcome::Usage;
    }
    return result < 0 ? ConnectOutcome::Failed : ConnectOutcome::Connected;
}

void CBrantorApp::OnAppAbout() {
    if (m_control) {
        m_control->AboutBox();
    }
}

void CBrantorApp::OnHelpContents() {
    const std::string key = DocsKey(m_programMode);
    const std::optional<std::string> folder = suite::RegKeyExists(platform::HKey::LocalMachine, key)
                                                  ? ReadMachineText(key, "HelpDir")
                                                  : std::nullopt;
    if (!folder) {
        platform::DefaultPrompt().Message("Could not find HelpDir subkey in registry.");
        return;
    }
    // The installer's folder is a path of this machine, not one of the host's drives.
    const std::string path = (std::filesystem::path(*folder) / "Brantor.chm").string();
    if (!suite::OpenLocalDocument(path)) {
        platform::DefaultPrompt().Message("Error opening Help Guide\n'" + path + "'", PromptIcon::Stop);
    }
    if (m_control) {
        m_control->Activate();
    }
}

void CBrantorApp::OnOperatorsGuide() {
    const std::string key = DocsKey(m_programMode);
    if (!suite::RegKeyExists(platform::HKey::LocalMachine, key)) {
        platform::DefaultPrompt().Message("Could not find OpGuide key in registry.");
        return;
    }
    const std::optional<std::string> guide = ReadMachineText(key, "OpGuide");
    if (!guide) {
        platform::DefaultPrompt().Message("Could not find OpGuide subkey in registry.");
        return;
    }
    if (!suite::OpenLocalDocument(*guide)) {
        platform::DefaultPrompt().Message("Error opening Operators Guide\n'" + *guide + "'",
                                          PromptIcon::Stop);
    }
}

bool CBrantorApp::LoadZoomMode() {
    const std::optional<bool> zoomed = ReadZoomMode();
    m_zoomed = zoomed.value_or(false);
    return zoomed.has_value();
}

void CBrantorApp::SaveWindowState() {
    container::SaveWindowState(m_zoomed, m_windowRect);
}

bool CBrantorApp::OnClose() {
    if (!m_connected || !m_control) {
        return true;
    }
    if (m_control->IsChainable()) {
        m_control->Send(kQuitCommand);
        return false;
    }
    platform::DefaultPrompt().Message(std::string(kCannotQuitText), PromptIcon::Exclamation);
    return false;
}

bool CBrantorApp::OnAltF4() {
    if (m_connected && m_control) {
        m_control->ShutDownSorel();
        return false;
    }
    return true;
}

void CBrantorApp::EndSession() {
    if (m_control && m_connected) {
        m_control->Send(kQuitCommand);
    }
    m_frame.HideControl();
    m_zoomed = m_frame.IsMaximised();
    m_windowRect = m_frame.NormalRect();
    SaveWindowState();
    m_frame.HideFrame();
    if (m_control) {
        m_control->Unadvise();
    }
}

void CBrantorApp::ExitInstance() {
    if (m_control) {
        if (m_control->IsAttached()) {
            m_control->SetIsContainerRunning(false);
        }
        m_control->Unadvise();
        m_frame.ReleaseControl();
        m_control->Close();
        m_control.reset();
    }
    m_sink.reset();
}

std::optional<std::string> CBrantorApp::MenuPrompt(int32_t id) const {
    for (const MenuString& entry : m_menuStrings) {
        if (entry.id == id) {
            return entry.text;
        }
    }
    return std::nullopt;
}

void CBrantorApp::OnSorelExit() {
    m_connected = false;
    EndSession();
    m_frame.PostClose();
}

void CBrantorApp::OnNewWindow(int32_t pipeHandle, int32_t processId) {
    platform::SpawnOptions options;
    options.program = (m_options.programFolder / "brantor").string();
    options.argv = {options.program, "/h:" + std::to_string(pipeHandle), "/p:" + std::to_string(processId)};
    // The new window reads the block through its own copy of the descriptor, so that the control may close
    // its copy as soon as this returns.
    if (IsMappingFd(pipeHandle)) {
        options.inheritFds = {pipeHandle};
    } else {
        Log("NewWindow: the hand-over handle is not a shared mapping and is not passed on");
    }
    const WindowRect rect = m_frame.CurrentRect();
    platform::EnvironmentBlock environment = platform::EnvironmentBlock::FromCurrentProcess();
    environment.Set(kStartSizeVariable, std::to_string(rect.Width()) + "x" + std::to_string(rect.Height()));
    options.environment = std::move(environment);
    std::string message;
    if (!m_options.spawner(options, &message)) {
        Log("NewWindow: " + message);
        platform::DefaultPrompt().Message("Failed to create new process.");
    }
}

void CBrantorApp::OnTamsel(std::string_view) {}

void CBrantorApp::OnShowContainer(int32_t eventHandle) {
    LoadZoomMode();
    m_frame.ShowFrame(m_zoomed);
    if (IsEventFd(eventHandle)) {
        const uint64_t one = 1;
        if (::write(eventHandle, &one, sizeof one) != static_cast<ssize_t>(sizeof one)) {
            Log("ShowContainer: the hand-shake event could not be set");
        }
    } else {
        Log("ShowContainer: the hand-shake handle is not an event");
    }
    m_frame.ShowControl();
}

void CBrantorApp::OnSwitchToolbar(int16_t bar) {
    m_frame.SwitchToolbar(bar);
}

void CBrantorApp::OnPopupMenu(const PopupMenuData* data) {
    if (data == nullptr || data->menu == nullptr) {
        return;
    }
    const std::optional<int32_t> chosen = m_frame.TrackPopupMenu(*data);
    if (!chosen || *chosen < kPopupFirstId || *chosen > kPopupLastId) {
        return;
    }
    // The command reaches the control after its event has returned, as a menu command does.
    const int32_t id = *chosen;
    m_frame.Post([this, id] {
        if (m_control) {
            m_control->ForceNewWindow(0);
            m_control->PopupMenuItem(static_cast<int16_t>(id));
        }
    });
}

void CBrantorApp::OnSetTitle(std::string_view title) {
    m_frame.SetTitle(title);
}

void CBrantorApp::OnSetFont(std::string_view) {
    suite::LogFont start;
    suite::ReadFontSettings(start);
    const std::optional<FontChoice> choice = m_frame.ChooseFont(start);
    if (!choice) {
        return;
    }
    if (!SaveFontChoice(*choice, *m_options.fontStore)) {
        Log("SetFont: the font settings could not be saved");
        return;
    }
    if (m_options.fontStore->Write("fontChanged", RegValue::Dword(1)) != platform::win32::kSuccess) {
        platform::DefaultPrompt().Message(
            "A registry error occurred.\n\nThe Font Property could not be saved to the registy.",
            PromptIcon::Stop);
    }
    if (!m_frame.IsMaximised()) {
        m_frame.ResizeForFont();
    }
    if (m_control) {
        m_control->BootSorel();
    }
}

void CBrantorApp::OnSetMenuStrings(const MenuStringEntry* table) {
    // The table is the control's: a copy keeps the prompts whatever the control does with it later.
    m_menuStrings.clear();
    if (table == nullptr) {
        return;
    }
    for (size_t i = 0; i < kMaxMenuStrings && table[i].id != 0; ++i) {
        MenuString entry;
        entry.id = table[i].id;
        if (table[i].text != nullptr) {
            entry.text.assign(table[i].text, ::strnlen(table[i].text, kMaxMenuStringLength));
        }
        m_menuStrings.push_back(std::move(entry));
    }
}

void CBrantorApp::OnDisplayErrorBox(std::string_view text) {
    m_frame.SetTopmost(true);
    platform::PromptRequest request;
    request.text = std::string(text);
    request.icon = PromptIcon::Stop;
    platform::DefaultPrompt().Show(request);
    m_frame.SetTopmost(false);
}

}  // namespace container
