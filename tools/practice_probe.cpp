// The practice probe and the Probe/ManualProbe logic of the terminal control: loading and filtering the
// practice list, applying the chosen practice, the registry fallback and the recorded program mode.
#include "tools/practice_probe.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <utility>

#include "platform/registry.h"
#include "platform/user_prompt.h"
#include "platform/win32_error.h"
#include "practice/prac_file.h"
#include "practice/practice_log.h"
#include "suite/registry_settings.h"

namespace tools {

namespace {

constexpr int32_t kBillingServiceType = 2;
constexpr std::string_view kRemote = "remote";
constexpr std::string_view kLocal = "local";
constexpr std::string_view kProgramValue = "PROGRAM";

// Passes every message on and counts them, so the probe knows whether the loader already told the user.
class CountingPrompt : public platform::UserPrompt {
  public:
    explicit CountingPrompt(platform::UserPrompt& next) : m_next(next) {}
    platform::PromptResult Show(const platform::PromptRequest& request) override {
        ++m_count;
        return m_next.Show(request);
    }
    int Count() const { return m_count; }

  private:
    platform::UserPrompt& m_next;
    int m_count = 0;
};

class WaitCursor {
  public:
    explicit WaitCursor(ProbeTarget& target) : m_target(target) { m_target.SetWaitCursor(true); }
    ~WaitCursor() { m_target.SetWaitCursor(false); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

  private:
    ProbeTarget& m_target;
};

bool IsFile(const std::filesystem::path& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::is_regular_file(path, ec);
}

// The dispatch interface carries these properties as 16-bit integers.
int16_t ToI2(int32_t value) {
    return static_cast<int16_t>(value);
}

bool ServerKeyExists(suite::ClientMode mode) {
    const std::string key = suite::ServerKey(mode);
    return suite::RegKeyExists(platform::HKey::CurrentUser, key) ||
           suite::RegKeyExists(platform::HKey::LocalMachine, key);
}

void ApplyChosen(ProbeTarget& target, const CPracticeProbe& probe) {
    if (probe.GetConnType() != 0) {
        target.SetConnector(std::string(kRemote));
        target.SetRemoteDataSet(probe.GetSorelData());
        target.SetRemoteSorelProgs(probe.GetSorelProgs());
        target.SetRemoteHost(probe.GetHost());
        target.SetRemotePort(ToI2(probe.GetPortNumber()));
        target.SetRemotePrinter(ToI2(probe.GetPrinterNumber()));
        target.SetRemoteTerm(ToI2(probe.GetTerminalNumber()));
        target.SetRemoteEnviro(probe.GetEnvironmentText());
        target.SetWanMode(ToI2(probe.GetWanMode()));
        target.SetBillServID(probe.GetBillServID());
    } else {
        target.SetConnector(std::string(kLocal));
        target.SetLocalDataSet(probe.GetSorelData());
        target.SetLocalSorelProgs(probe.GetSorelProgs());
        target.SetLocalTerm(ToI2(probe.GetTerminalNumber()));
        target.SetLocalPrinter(ToI2(probe.GetPrinterNumber()));
        target.SetBillServID(probe.GetBillServID());
    }
}

// The branch whose Server key exists, Varnel first. The client mode follows each test, as the key probes
// of the registry settings do, so it ends on the branch that was found (local when none).
int32_t FallBackToRegistry(ProbeTarget& target) {
    for (const auto mode : {suite::ClientMode::Remote, suite::ClientMode::Local}) {
        target.SetClientMode(mode);
        if (ServerKeyExists(mode)) {
            target.SetConnector(std::string(mode == suite::ClientMode::Remote ? kRemote : kLocal));
            return target.LoadRegistry() != 0 ? kProbeFailed : kProbeConnectionSet;
        }
    }
    return kProbeNothingFound;
}

}  // namespace

void CPracticeProbe::Offered(std::span<const practice::CPractice> practices, int32_t manual,
                             std::vector<std::string>& names, std::vector<int32_t>& indexes) {
    names.clear();
    indexes.clear();
    for (size_t i = 0; i < practices.size(); ++i) {
        const practice::CPractice& practice = practices[i];
        const bool skipped =
            manual == 1 ? practice.m_BillServID != 0
                        : practice.m_PracticeType == kBillingServiceType && practice.m_BillServID <= 0;
        if (!skipped) {
            names.push_back(practice.m_Name);
            indexes.push_back(static_cast<int32_t>(i));
        }
    }
}

void CPracticeProbe::Reset() {
    m_Cancelled = 0;
    m_Practices.clear();
    m_Name.clear();
    m_Host.clear();
    m_SorelData.clear();
    m_SorelProgs.clear();
    m_EnvironmentText.clear();
    m_PortNumber = m_PrinterNumber = m_TerminalNumber = m_ConnType = m_PracticeType = m_WanMode =
        m_BillServID = 0;
    m_Environment.RemoveAll();
    m_LoadError.clear();
}

bool CPracticeProbe::LoadPractices() {
    practice::CPracFile file;
    CountingPrompt counting(platform::DefaultPrompt());
    bool loaded = false;
    std::string reason;
    {
        platform::ScopedThreadPrompt scope(counting);
        try {
            loaded = file.Load();
        } catch (const std::exception& e) {
            reason = e.what();
        }
    }
    if (loaded) {
        m_Practices = std::move(file.GetPractices());
        return true;
    }
    // No file at all is the ordinary case on a workstation without practices; the caller goes on to the
    // registry settings. A file that is there but cannot be read must not pass silently.
    if (!IsFile(file.GetPath())) {
        return false;
    }
    m_LoadError = "The practice list file \"" + file.GetPath().string() + "\" cannot be read";
    if (!reason.empty()) {
        m_LoadError += ": " + reason;
    }
    practice::Log(m_LoadError);
    if (counting.Count() == 0) {
        platform::DefaultPrompt().Message(
            "The practice list file \"" + file.GetPath().string() + "\" is damaged and cannot be read.",
            platform::PromptIcon::Stop);
    }
    return false;
}

void CPracticeProbe::TakeChosen(const practice::CPractice& chosen) {
    m_Name = chosen.m_Name;
    m_Host = chosen.m_Host;
    m_SorelData = chosen.m_SorelData;
    m_SorelProgs = chosen.m_SorelProgs;
    m_PortNumber = chosen.m_PortNumber;
    m_PrinterNumber = chosen.m_PrinterNumber;
    m_TerminalNumber = chosen.m_TerminalNumber;
    m_ConnType = chosen.m_ConnType;
    m_PracticeType = chosen.m_PracticeType;
    m_WanMode = chosen.m_WanMode;
    m_BillServID = chosen.m_BillServID;
    m_Environment = chosen.m_Environment;
    m_EnvironmentText = chosen.m_Environment.GetEnvironmentString();
}

int32_t CPracticeProbe::Probe(int32_t manual) {
    Reset();
    if (!LoadPractices() || m_Practices.empty()) {
        return 0;
    }
    if (m_Practices.size() == 1) {
        TakeChosen(m_Practices.front());
        return 1;
    }
    std::vector<std::string> names;
    std::vector<int32_t> indexes;
    Offered(m_Practices, manual, names, indexes);
    const std::optional<int32_t> chosen = m_chooser.Choose(names, indexes);
    // Only a practice that was on offer may be taken, whatever the chooser answers.
    if (!chosen || std::find(indexes.begin(), indexes.end(), *chosen) == indexes.end()) {
        m_Cancelled = 1;
        return 0;
    }
    TakeChosen(m_Practices[static_cast<size_t>(*chosen)]);
    return 1;
}

int32_t RunProbe(ProbeTarget& target, DatasetChooser& chooser) {
    WaitCursor wait(target);
    int32_t result = kProbeNothingFound;
    CPracticeProbe probe(chooser);
    if (probe.Probe(target.ManualProbeFlag()) == 1) {
        ApplyChosen(target, probe);
        result = kProbeConnectionSet;
    } else if (probe.IsCancelled()) {
        result = kProbeCancelled;
    } else {
        result = FallBackToRegistry(target);
    }
    // The container reads the program mode to name its frame.
    const std::string connector = target.Connector();
    const uint32_t mode = connector == kLocal ? 1 : connector == kRemote ? 2 : 0;
    if (suite::RegWriteValue(platform::HKey::CurrentUser, suite::kCompanyKey, kProgramValue,
                             platform::RegType::Dword, &mode, sizeof(mode)) != platform::win32::kSuccess) {
        result = kProbeFailed;
    }
    return result;
}

int32_t RunManualProbe(ProbeTarget& target, DatasetChooser& chooser) {
    target.SetManualProbeFlag(1);
    return RunProbe(target, chooser);
}

}  // namespace tools
