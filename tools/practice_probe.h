// Finding out how to connect without being told: the practice probe picks a practice from the workstation's
// practice list (asking the user when several are on offer), and the control's Probe and ManualProbe apply
// it to the connection properties or fall back to the registry settings. Plain C++; the dialog is behind
// DatasetChooser.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "practice/practice.h"
#include "suite/client_mode.h"

namespace tools {

// Lets the user pick one of the practices on offer. `names` and `indexes` run in parallel: a name and its
// practice's position in the list file. Answers the chosen position, or nullopt when the user closed the
// choice without choosing.
class DatasetChooser {
  public:
    virtual ~DatasetChooser() = default;
    virtual std::optional<int32_t> Choose(std::span<const std::string> names,
                                          std::span<const int32_t> indexes) = 0;
};

class CPracticeProbe {
  public:
    explicit CPracticeProbe(DatasetChooser& chooser) : m_chooser(chooser) {}

    // 1 when a practice was chosen, else 0. With several practices a manual probe (`manual` 1) offers only
    // those without a billing service number; any other probe leaves out billing-service practices that
    // carry none.
    int32_t Probe(int32_t manual);
    bool IsCancelled() const { return m_Cancelled != 0; }
    // The practice list file met a file it could not read; the reason is in LoadError().
    bool LoadFailed() const { return !m_LoadError.empty(); }
    const std::string& LoadError() const { return m_LoadError; }

    // The names the filter leaves, with their positions in the list file, in file order.
    static void Offered(std::span<const practice::CPractice> practices, int32_t manual,
                        std::vector<std::string>& names, std::vector<int32_t>& indexes);

    const std::vector<practice::CPractice>& GetPractices() const { return m_Practices; }
    const std::string& GetName() const { return m_Name; }
    const std::string& GetHost() const { return m_Host; }
    const std::string& GetSorelData() const { return m_SorelData; }
    const std::string& GetSorelProgs() const { return m_SorelProgs; }
    const std::string& GetEnvironmentText() const { return m_EnvironmentText; }
    int32_t GetPortNumber() const { return m_PortNumber; }
    int32_t GetPrinterNumber() const { return m_PrinterNumber; }
    int32_t GetTerminalNumber() const { return m_TerminalNumber; }
    int32_t GetConnType() const { return m_ConnType; }
    int32_t GetPracticeType() const { return m_PracticeType; }
    int32_t GetWanMode() const { return m_WanMode; }
    int32_t GetBillServID() const { return m_BillServID; }
    const practice::CEnvironmentArray& GetEnvironment() const { return m_Environment; }

  private:
    void Reset();
    bool LoadPractices();
    void TakeChosen(const practice::CPractice& chosen);

    DatasetChooser& m_chooser;
    int32_t m_Cancelled = 0;
    std::vector<practice::CPractice> m_Practices;
    std::string m_Name;
    std::string m_Host;
    std::string m_SorelData;
    std::string m_SorelProgs;
    std::string m_EnvironmentText;
    int32_t m_PortNumber = 0;
    int32_t m_PrinterNumber = 0;
    int32_t m_TerminalNumber = 0;
    int32_t m_ConnType = 0;
    int32_t m_PracticeType = 0;
    int32_t m_WanMode = 0;
    int32_t m_BillServID = 0;
    practice::CEnvironmentArray m_Environment;
    std::string m_LoadError;
};

// What Probe and ManualProbe need of the control: its connection properties (typed as the dispatch
// interface types them), the manual-probe flag, LoadRegistry, the client mode and the wait cursor.
class ProbeTarget {
  public:
    virtual ~ProbeTarget() = default;

    virtual int32_t ManualProbeFlag() const = 0;
    virtual void SetManualProbeFlag(int32_t flag) = 0;
    virtual void SetWaitCursor(bool on) = 0;
    virtual void SetClientMode(suite::ClientMode mode) = 0;
    // The registry settings of the branch Connector names: 0 when loaded, 1 when a value is missing.
    virtual int32_t LoadRegistry() = 0;

    virtual std::string Connector() const = 0;
    virtual void SetConnector(const std::string& connector) = 0;
    virtual void SetRemoteDataSet(const std::string& value) = 0;
    virtual void SetRemoteSorelProgs(const std::string& value) = 0;
    virtual void SetRemoteHost(const std::string& value) = 0;
    virtual void SetRemotePort(int16_t value) = 0;
    virtual void SetRemotePrinter(int16_t value) = 0;
    virtual void SetRemoteTerm(int16_t value) = 0;
    virtual void SetRemoteEnviro(const std::string& value) = 0;
    virtual void SetWanMode(int16_t value) = 0;
    virtual void SetBillServID(int32_t value) = 0;
    virtual void SetLocalDataSet(const std::string& value) = 0;
    virtual void SetLocalSorelProgs(const std::string& value) = 0;
    virtual void SetLocalTerm(int16_t value) = 0;
    virtual void SetLocalPrinter(int16_t value) = 0;
};

// Answers of Probe and ManualProbe.
inline constexpr int32_t kProbeConnectionSet = 0;
inline constexpr int32_t kProbeFailed = 1;
inline constexpr int32_t kProbeCancelled = 2;
inline constexpr int32_t kProbeNothingFound = 3;

// Probe: a practice from the list file when one is chosen, else the Varnel and then the Ostrel registry
// settings; the outcome's program mode is recorded in HKCU for the container.
int32_t RunProbe(ProbeTarget& target, DatasetChooser& chooser);
// ManualProbe: sets the manual-probe flag, then Probe.
int32_t RunManualProbe(ProbeTarget& target, DatasetChooser& chooser);

}  // namespace tools
