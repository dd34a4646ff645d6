// The practice probe over practice lists written to a temporary tree: which practices each kind of probe
// offers, what the chosen practice yields, legacy and damaged files, and Probe/ManualProbe against a
// recording stand-in for the control's properties.
#include "tools/practice_probe.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/user_prompt.h"
#include "practice/archive.h"
#include "practice/prac_file.h"
#include "practice/practice_log.h"
#include "suite/registry_settings.h"
#include "testsupport/test_support.h"

namespace tools {
namespace {

using platform::HKey;
using platform::PromptIcon;
using practice::CPractice;
using suite::ClientMode;

CPractice MakePractice(const std::string& name, int32_t type = 0, int32_t billServ = 0, int32_t conn = 0) {
    CPractice practice;
    practice.m_Name = name;
    practice.m_PracticeType = type;
    practice.m_BillServID = billServ;
    practice.m_ConnType = conn;
    return practice;
}

// A remote practice with every connection field set to a distinct value.
CPractice MakeRemotePractice(const std::string& name, int32_t type, int32_t billServ) {
    CPractice remote = MakePractice(name, type, billServ, 1);
    remote.m_Host = "north.host";
    remote.m_SorelData = "/data/n";
    remote.m_SorelProgs = "/progs/n";
    remote.m_PortNumber = 9001;
    remote.m_PrinterNumber = 2;
    remote.m_TerminalNumber = 14;
    remote.m_WanMode = 1;
    remote.m_Environment.Add({"TERM", "vt"});
    remote.m_Environment.Add({"LANG", "C"});
    return remote;
}

// Answers from a script and remembers what it was offered.
class FakeChooser : public DatasetChooser {
  public:
    std::optional<int32_t> Choose(std::span<const std::string> names,
                                  std::span<const int32_t> indexes) override {
        ++m_calls;
        m_names.assign(names.begin(), names.end());
        m_indexes.assign(indexes.begin(), indexes.end());
        return m_answer;
    }

    std::optional<int32_t> m_answer;
    int m_calls = 0;
    std::vector<std::string> m_names;
    std::vector<int32_t> m_indexes;
};

class ProbeTest : public testsupport::RegistryTest {
  protected:
    void SetUp() override {
        RegistryTest::SetUp();
        practice::SetLogSink([this](std::string_view line) { m_log.emplace_back(line); });
    }
    void TearDown() override {
        practice::SetLogSink({});
        RegistryTest::TearDown();
    }

    // practice.xml where the selector keeps it.
    void WritePractices(const std::vector<CPractice>& practices) {
        practice::CPracFile file;
        ASSERT_TRUE(file.Save(&practices, practice::CPracSelInfo()));
        m_listFile = file.GetPath();
    }
    void WriteListFile(const std::string& name, const std::string& bytes) {
        m_listFile = practice::UserPracticeFolder() / name;
        testsupport::WriteFile(m_listFile, bytes);
    }

    platform::RecordingPrompt m_prompt;
    platform::ScopedDefaultPrompt m_scopedPrompt{m_prompt};
    std::vector<std::string> m_log;
    std::filesystem::path m_listFile;
    FakeChooser m_chooser;
};

// ---- Which practices are offered ----

struct FilterCase {
    const char* name;
    std::vector<CPractice> practices;
    int32_t manual;
    bool dialog;                       // whether the user is asked at all
    std::vector<std::string> offered;  // names in the dialog
    std::vector<int32_t> indexes;      // their positions in the file
};

void PrintTo(const FilterCase& c, std::ostream* os) {
    *os << c.name;
}

class ProbeFilterTest : public ProbeTest, public ::testing::WithParamInterface<FilterCase> {};

TEST_P(ProbeFilterTest, OffersWhatTheFilterLeaves) {
    const FilterCase& c = GetParam();
    WritePractices(c.practices);
    m_chooser.m_answer = c.indexes.empty() ? std::nullopt : std::optional<int32_t>(c.indexes.back());
    CPracticeProbe probe(m_chooser);

    const int32_t result = probe.Probe(c.manual);

    EXPECT_EQ(m_chooser.m_calls, c.dialog ? 1 : 0);
    EXPECT_EQ(m_chooser.m_names, c.offered);
    EXPECT_EQ(m_chooser.m_indexes, c.indexes);
    EXPECT_EQ(probe.GetPractices().size(), c.practices.size());
    if (c.practices.empty()) {
        EXPECT_EQ(result, 0);
        EXPECT_FALSE(probe.IsCancelled());
    } else if (!c.dialog) {
        EXPECT_EQ(result, 1);
        EXPECT_EQ(probe.GetName(), c.practices.front().m_Name);
    } else if (c.indexes.empty()) {
        // Nothing left to choose: the dialog can only be closed, which is a cancel.
        EXPECT_EQ(result, 0);
        EXPECT_TRUE(probe.IsCancelled());
    } else {
        EXPECT_EQ(result, 1);
        EXPECT_EQ(probe.GetName(), c.practices[static_cast<size_t>(c.indexes.back())].m_Name);
    }
    EXPECT_TRUE(m_prompt.Shown().empty());
}

const std::vector<CPractice> kMixed = {MakePractice("Clinic"), MakePractice("Billing", 2, 0),
                                       MakePractice("Group", 4)};
const std::vector<CPractice> kNumbered = {MakePractice("Clinic"), MakePractice("Service 5", 2, 5)};

INSTANTIATE_TEST_SUITE_P(
    Lists, ProbeFilterTest,
    ::testing::Values(
        FilterCase{"NoPractices", {}, 0, false, {}, {}},
        FilterCase{"SingleBillingServiceWithoutNumberOrdinary", {MakePractice("B", 2, 0)}, 0, false, {}, {}},
        FilterCase{"SingleNumberedServiceManual", {MakePractice("S", 2, 5)}, 1, false, {}, {}},
        FilterCase{"SingleRemote", {MakePractice("R", 0, 0, 1)}, 0, false, {}, {}},
        FilterCase{"MixedOrdinary", kMixed, 0, true, {"Clinic", "Group"}, {0, 2}},
        FilterCase{"MixedManual", kMixed, 1, true, {"Clinic", "Billing", "Group"}, {0, 1, 2}},
        FilterCase{"NumberedServiceOrdinary", kNumbered, 0, true, {"Clinic", "Service 5"}, {0, 1}},
        FilterCase{"NumberedServiceManual", kNumbered, 1, true, {"Clinic"}, {0}},
        // Only the type the practice editor stores is a billing service to the filter.
        FilterCase{"OtherBillingTypeOrdinary",
                   {MakePractice("A"), MakePractice("Three", 3, 0)},
                   0,
                   true,
                   {"A", "Three"},
                   {0, 1}},
        FilterCase{
            "NegativeNumberOrdinary", {MakePractice("A"), MakePractice("Neg", 2, -1)}, 0, true, {"A"}, {0}},
        FilterCase{
            "NegativeNumberManual", {MakePractice("A"), MakePractice("Neg", 2, -1)}, 1, true, {"A"}, {0}},
        // Anything but 1 is an ordinary probe.
        FilterCase{"ManualFlagTwoIsOrdinary", kNumbered, 2, true, {"Clinic", "Service 5"}, {0, 1}},
        FilterCase{"AllFilteredOut", {MakePractice("S1", 2, 1), MakePractice("S2", 2, 2)}, 1, true, {}, {}},
        FilterCase{"LocalAndRemoteBothOffered",
                   {MakePractice("Local"), MakePractice("Remote", 0, 0, 1)},
                   0,
                   true,
                   {"Local", "Remote"},
                   {0, 1}}),
    [](const ::testing::TestParamInfo<FilterCase>& info) { return std::string(info.param.name); });

// ---- The chosen practice ----

TEST_F(ProbeTest, ChosenPracticeYieldsItsFieldsAndEnvironmentText) {
    const CPractice remote = MakeRemotePractice("North & <Co>", 4, 7);
    WritePractices({MakePractice("Other"), remote});
    m_chooser.m_answer = 1;
    CPracticeProbe probe(m_chooser);

    ASSERT_EQ(probe.Probe(0), 1);
    EXPECT_FALSE(probe.IsCancelled());
    EXPECT_EQ(probe.GetName(), "North & <Co>");
    EXPECT_EQ(probe.GetHost(), "north.host");
    EXPECT_EQ(probe.GetSorelData(), "/data/n");
    EXPECT_EQ(probe.GetSorelProgs(), "/progs/n");
    EXPECT_EQ(probe.GetPortNumber(), 9001);
    EXPECT_EQ(probe.GetPrinterNumber(), 2);
    EXPECT_EQ(probe.GetTerminalNumber(), 14);
    EXPECT_EQ(probe.GetConnType(), 1);
    EXPECT_EQ(probe.GetPracticeType(), 4);
    EXPECT_EQ(probe.GetWanMode(), 1);
    EXPECT_EQ(probe.GetBillServID(), 7);
    EXPECT_EQ(probe.GetEnvironment(), remote.m_Environment);
    EXPECT_EQ(probe.GetEnvironmentText(), "TERM=vt;LANG=C");
}

TEST_F(ProbeTest, CancelledChoiceTakesNothing) {
    WritePractices({MakePractice("One", 0, 0, 1), MakePractice("Two")});
    m_chooser.m_answer = std::nullopt;
    CPracticeProbe probe(m_chooser);

    EXPECT_EQ(probe.Probe(0), 0);
    EXPECT_TRUE(probe.IsCancelled());
    EXPECT_EQ(probe.GetName(), "");
    EXPECT_EQ(probe.GetPortNumber(), 0);
    EXPECT_EQ(probe.GetConnType(), 0);
    EXPECT_EQ(probe.GetEnvironmentText(), "");
}

TEST_F(ProbeTest, AnswerThatWasNotOfferedCountsAsCancelled) {
    WritePractices({MakePractice("Clinic"), MakePractice("Billing", 2, 0)});
    CPracticeProbe probe(m_chooser);
    for (int32_t answer : {1, 2, -1}) {
        SCOPED_TRACE(answer);
        m_chooser.m_answer = answer;
        EXPECT_EQ(probe.Probe(0), 0);
        EXPECT_TRUE(probe.IsCancelled());
        EXPECT_EQ(probe.GetName(), "");
    }
}

TEST_F(ProbeTest, ASecondProbeForgetsTheFirstOutcome) {
    WritePractices({MakePractice("One", 0, 0, 1), MakePractice("Two")});
    CPracticeProbe probe(m_chooser);
    m_chooser.m_answer = 0;
    ASSERT_EQ(probe.Probe(0), 1);
    m_chooser.m_answer = std::nullopt;
    EXPECT_EQ(probe.Probe(0), 0);
    EXPECT_TRUE(probe.IsCancelled());
    EXPECT_EQ(probe.GetName(), "");
    EXPECT_EQ(probe.GetConnType(), 0);
}

// ---- Legacy lists ----

TEST_F(ProbeTest, ReadsATextPracticeList) {
    // Two complete groups of six lines; the incomplete third is dropped by the loader.
    WriteListFile("practice.lst",
                  "Alpha\n/data/a\n0\n\n/progs\n0\n"
                  "Beta\n/data/b\n1\nbeta.host\n/progs/b\n2\n"
                  "Gamma\n/data/c\n");
    m_chooser.m_answer = 1;
    CPracticeProbe probe(m_chooser);

    ASSERT_EQ(probe.Probe(1), 1);
    EXPECT_EQ(m_chooser.m_names, (std::vector<std::string>{"Alpha", "Beta"}));
    EXPECT_EQ(probe.GetHost(), "beta.host");
    EXPECT_EQ(probe.GetConnType(), 1);
    EXPECT_EQ(probe.GetPracticeType(), 2);
    EXPECT_EQ(probe.GetBillServID(), 0);
    EXPECT_EQ(probe.GetPortNumber(), 8002);
}

std::string Version5List(const std::vector<CPractice>& practices) {
    practice::ArchiveWriter writer;
    for (uint16_t word : practice::kVersion5Magic) {
        writer.WriteU16(word);
    }
    writer.WriteU16(5);
    writer.WriteI32(static_cast<int32_t>(practices.size()));
    for (const auto& practice : practices) {
        practice.Serialize(writer);
    }
    practice::CPracSelInfo selInfo;
    selInfo.SerializeColumns(writer, practice::kColumnCount);
    selInfo.GetCustomMenu().Serialize(writer);
    return std::string(writer.Bytes().begin(), writer.Bytes().end());
}

TEST_F(ProbeTest, ReadsAVersion5ArchiveWithBillingNumbers) {
    WriteListFile("practice.lst", Version5List({MakePractice("Clinic"), MakePractice("Service", 2, 9)}));
    m_chooser.m_answer = 0;
    CPracticeProbe probe(m_chooser);

    ASSERT_EQ(probe.Probe(1), 1);
    EXPECT_EQ(m_chooser.m_names, (std::vector<std::string>{"Clinic"}));
    EXPECT_EQ(probe.GetPractices().at(1).m_BillServID, 9);
}

// ---- Missing and damaged files ----

TEST_F(ProbeTest, NoListFileIsNotAnError) {
    CPracticeProbe probe(m_chooser);
    EXPECT_EQ(probe.Probe(0), 0);
    EXPECT_FALSE(probe.IsCancelled());
    EXPECT_FALSE(probe.LoadFailed());
    EXPECT_EQ(m_chooser.m_calls, 0);
    EXPECT_TRUE(m_prompt.Shown().empty());
}

struct DamagedCase {
    const char* name;
    const char* file;
    std::string bytes;
    const char* loaderMessage;  // what the loader itself says, if anything
};

void PrintTo(const DamagedCase& c, std::ostream* os) {
    *os << c.name;
}

class ProbeDamagedTest : public ProbeTest, public ::testing::WithParamInterface<DamagedCase> {};

TEST_P(ProbeDamagedTest, IsAClearErrorThatChangesNothing) {
    const DamagedCase& c = GetParam();
    WriteListFile(c.file, c.bytes);
    CPracticeProbe probe(m_chooser);

    EXPECT_EQ(probe.Probe(0), 0);
    EXPECT_FALSE(probe.IsCancelled());
    EXPECT_TRUE(probe.LoadFailed());
    EXPECT_NE(probe.LoadError().find(m_listFile.string()), std::string::npos) << probe.LoadError();
    EXPECT_TRUE(probe.GetPractices().empty());
    EXPECT_EQ(m_chooser.m_calls, 0);
    // Exactly one message: the loader's own when it gives one, else the probe's.
    ASSERT_EQ(m_prompt.Shown().size(), 1u);
    if (c.loaderMessage != nullptr) {
        EXPECT_EQ(m_prompt.Shown()[0].text, c.loaderMessage);
    } else {
        EXPECT_EQ(m_prompt.Shown()[0].text,
                  "The practice list file \"" + m_listFile.string() + "\" is damaged and cannot be read.");
        EXPECT_EQ(m_prompt.Shown()[0].icon, PromptIcon::Stop);
    }
    EXPECT_EQ(testsupport::ReadFile(m_listFile), c.bytes);
}

std::string TruncatedXml() {
    std::vector<CPractice> practices = {MakePractice("One"), MakePractice("Two")};
    practice::CPracFile file;
    EXPECT_TRUE(file.Save(&practices, practice::CPracSelInfo()));
    std::string text = testsupport::ReadFile(file.GetPath());
    std::filesystem::remove(file.GetPath());
    return text.substr(0, text.find("<Name>\"Two\""));
}

std::string DamagedVersion5() {
    std::string bytes = Version5List({MakePractice("Clinic"), MakePractice("Other")});
    return bytes.substr(0, bytes.size() - 30);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ProbeDamagedTest,
    ::testing::Values(DamagedCase{"BinaryGarbage", "practice.lst",
                                  std::string("\x01\x00\x02\xff\x00garbage", 12), nullptr},
                      DamagedCase{"XmlWithoutSchemaVersion", "practice.xml",
                                  "<?xml?>\n<PracticeFile>\n<Nothing>\n", "Unknown practice file format"},
                      DamagedCase{"TruncatedVersion5Archive", "practice.lst", DamagedVersion5(), nullptr}),
    [](const ::testing::TestParamInfo<DamagedCase>& info) { return std::string(info.param.name); });

// Needs the temporary tree to build its fixture, so it is not part of the table above.
TEST_F(ProbeTest, TruncatedXmlListIsAClearError) {
    const std::string bytes = TruncatedXml();
    WriteListFile("practice.xml", bytes);
    CPracticeProbe probe(m_chooser);

    EXPECT_EQ(probe.Probe(0), 0);
    EXPECT_TRUE(probe.LoadFailed());
    EXPECT_TRUE(probe.GetPractices().empty());
    ASSERT_EQ(m_prompt.Shown().size(), 1u);
    EXPECT_EQ(m_prompt.Shown()[0].icon, PromptIcon::Stop);
    EXPECT_EQ(testsupport::ReadFile(m_listFile), bytes);
}

// ---- Probe and ManualProbe against the control ----

class RecordingTarget : public ProbeTarget {
  public:
    int32_t ManualProbeFlag() const override { return m_manual; }
    void SetManualProbeFlag(int32_t flag) override {
        m_manual = flag;
        m_calls.push_back("ManualProbeFlag=" + std::to_string(flag));
    }
    void SetWaitCursor(bool on) override { m_calls.push_back(on ? "WaitCursor on" : "WaitCursor off"); }
    void SetClientMode(ClientMode mode) override {
        m_calls.push_back(mode == ClientMode::Remote ? "ClientMode remote" : "ClientMode local");
    }
    int32_t LoadRegistry() override {
        m_calls.push_back("LoadRegistry " + m_connector);
        return m_loadResult;
    }
    std::string Connector() const override { return m_connector; }
    void SetConnector(const std::string& v) override {
        m_connector = v;
        Set("Connector", v);
    }
    void SetRemoteDataSet(const std::string& v) override { Set("RemoteDataSet", v); }
    void SetRemoteSorelProgs(const std::string& v) override { Set("RemoteSorelProgs", v); }
    void SetRemoteHost(const std::string& v) override { Set("RemoteHost", v); }
    void SetRemotePort(int16_t v) override { Set("RemotePort", std::to_string(v)); }
    void SetRemotePrinter(int16_t v) override { Set("RemotePrinter", std::to_string(v)); }
    void SetRemoteTerm(int16_t v) override { Set("RemoteTerm", std::to_string(v)); }
    void SetRemoteEnviro(const std::string& v) override { Set("RemoteEnviro", v); }
    void SetWanMode(int16_t v) override { Set("WanMode", std::to_string(v)); }
    void SetBillServID(int32_t v) override { Set("BillServID", std::to_string(v)); }
    void SetLocalDataSet(const std::string& v) override { Set("LocalDataSet", v); }
    void SetLocalSorelProgs(const std::string& v) override { Set("LocalSorelProgs", v); }
    void SetLocalTerm(int16_t v) override { Set("LocalTerm", std::to_string(v)); }
    void SetLocalPrinter(int16_t v) override { Set("LocalPrinter", std::to_string(v)); }

    int32_t m_manual = 0;
    int32_t m_loadResult = 0;
    std::string m_connector = "remote";
    std::vector<std::string> m_calls;

  private:
    void Set(const std::string& name, const std::string& value) { m_calls.push_back(name + "=" + value); }
};

class ControlProbeTest : public ProbeTest {
  protected:
    std::optional<uint32_t> ProgramValue() {
        platform::RegValue value;
        if (Reg().QueryValue(HKey::CurrentUser, suite::kCompanyKey, "PROGRAM", value) != 0 ||
            value.type != platform::RegType::Dword) {
            return std::nullopt;
        }
        return value.AsDword();
    }
    void CreateServerKey(HKey root, ClientMode mode) {
        ASSERT_EQ(Reg().CreateKey(root, suite::ServerKey(mode)), 0);
    }

    RecordingTarget m_target;
};

TEST_F(ControlProbeTest, RemotePracticeFillsTheRemoteProperties) {
    WritePractices({MakeRemotePractice("North", 0, 6)});
    CreateServerKey(HKey::CurrentUser, ClientMode::Local);  // found practices win over the registry
    m_target.m_connector = "local";

    EXPECT_EQ(RunProbe(m_target, m_chooser), kProbeConnectionSet);
    EXPECT_EQ(m_target.m_calls,
              (std::vector<std::string>{
                  "WaitCursor on", "Connector=remote", "RemoteDataSet=/data/n", "RemoteSorelProgs=/progs/n",
                  "RemoteHost=north.host", "RemotePort=9001", "RemotePrinter=2", "RemoteTerm=14",
                  "RemoteEnviro=TERM=vt;LANG=C", "WanMode=1", "BillServID=6", "WaitCursor off"}));
    EXPECT_EQ(ProgramValue(), 2u);
}

TEST_F(ControlProbeTest, LocalPracticeFillsTheLocalProperties) {
    CPractice local = MakePractice("Here", 0, 0, 0);
    local.m_SorelData = "/data/h";
    local.m_SorelProgs = "/progs/h";
    local.m_PrinterNumber = 4;
    local.m_TerminalNumber = 5;
    local.m_Environment.Add({"X", "1"});
    WritePractices({MakePractice("Other", 0, 0, 1), local});
    m_chooser.m_answer = 1;

    EXPECT_EQ(RunProbe(m_target, m_chooser), kProbeConnectionSet);
    EXPECT_EQ(m_target.m_calls,
              (std::vector<std::string>{"WaitCursor on", "Connector=local", "LocalDataSet=/data/h",
                                        "LocalSorelProgs=/progs/h", "LocalTerm=5", "LocalPrinter=4",
                                        "BillServID=0", "WaitCursor off"}));
    EXPECT_EQ(ProgramValue(), 1u);
}

TEST_F(ControlProbeTest, CancelAnswersTwoAndLeavesThePropertiesAlone) {
    WritePractices({MakePractice("One"), MakePractice("Two")});
    CreateServerKey(HKey::CurrentUser, ClientMode::Remote);
    m_chooser.m_answer = std::nullopt;

    EXPECT_EQ(RunProbe(m_target, m_chooser), kProbeCancelled);
    EXPECT_EQ(m_target.m_calls, (std::vector<std::string>{"WaitCursor on", "WaitCursor off"}));
    EXPECT_EQ(ProgramValue(), 2u);
}

struct FallbackCase {
    const char* name;
    std::optional<HKey> varnel;
    std::optional<HKey> ostrel;
    int32_t loadResult;
    std::string startConnector;
    int32_t expected;
    std::vector<std::string> calls;
    uint32_t program;
};

void PrintTo(const FallbackCase& c, std::ostream* os) {
    *os << c.name;
}

class ControlFallbackTest : public ControlProbeTest, public ::testing::WithParamInterface<FallbackCase> {};

TEST_P(ControlFallbackTest, FallsBackToTheRegistryWhenNoPracticeIsFound) {
    const FallbackCase& c = GetParam();
    if (c.varnel) {
        CreateServerKey(*c.varnel, ClientMode::Remote);
    }
    if (c.ostrel) {
        CreateServerKey(*c.ostrel, ClientMode::Local);
    }
    m_target.m_loadResult = c.loadResult;
    m_target.m_connector = c.startConnector;

    EXPECT_EQ(RunProbe(m_target, m_chooser), c.expected);
    std::vector<std::string> calls = {"WaitCursor on"};
    calls.insert(calls.end(), c.calls.begin(), c.calls.end());
    calls.push_back("WaitCursor off");
    EXPECT_EQ(m_target.m_calls, calls);
    EXPECT_EQ(ProgramValue(), c.program);
    EXPECT_EQ(m_chooser.m_calls, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, ControlFallbackTest,
    ::testing::Values(
        FallbackCase{"VarnelInUserHive",
                     HKey::CurrentUser,
                     HKey::CurrentUser,
                     0,
                     "local",
                     kProbeConnectionSet,
                     {"ClientMode remote", "Connector=remote", "LoadRegistry remote"},
                     2},
        FallbackCase{"VarnelInMachineHiveLoadFails",
                     HKey::LocalMachine,
                     std::nullopt,
                     1,
                     "local",
                     kProbeFailed,
                     {"ClientMode remote", "Connector=remote", "LoadRegistry remote"},
                     2},
        FallbackCase{"OstrelOnly",
                     std::nullopt,
                     HKey::LocalMachine,
                     0,
                     "remote",
                     kProbeConnectionSet,
                     {"ClientMode remote", "ClientMode local", "Connector=local", "LoadRegistry local"},
                     1},
        FallbackCase{"OstrelLoadFails",
                     std::nullopt,
                     HKey::CurrentUser,
                     1,
                     "remote",
                     kProbeFailed,
                     {"ClientMode remote", "ClientMode local", "Connector=local", "LoadRegistry local"},
                     1},
        FallbackCase{"NoKeysKeepsTheConnector",
                     std::nullopt,
                     std::nullopt,
                     0,
                     "remote",
                     kProbeNothingFound,
                     {"ClientMode remote", "ClientMode local"},
                     2},
        FallbackCase{"NoKeysUnknownConnector",
                     std::nullopt,
                     std::nullopt,
                     0,
                     "serial",
                     kProbeNothingFound,
                     {"ClientMode remote", "ClientMode local"},
                     0}),
    [](const ::testing::TestParamInfo<FallbackCase>& info) { return std::string(info.param.name); });

TEST_F(ControlProbeTest, DamagedListFallsBackToTheRegistryAfterItsMessage) {
    WriteListFile("practice.lst", std::string("\x00\x01\x02", 3));
    CreateServerKey(HKey::CurrentUser, ClientMode::Remote);

    EXPECT_EQ(RunProbe(m_target, m_chooser), kProbeConnectionSet);
    EXPECT_EQ(m_prompt.Shown().size(), 1u);
    EXPECT_EQ(m_target.m_connector, "remote");
}

TEST_F(ControlProbeTest, UnwritableProgramModeAnswersOne) {
    WritePractices({MakePractice("Only", 0, 0, 1)});
    // Writes to the user hive fail from now on.
    testsupport::WriteFile(m_temp.Path() / "blocker", "not a folder");
    m_registry = std::make_unique<platform::Registry>(
        platform::Registry::Paths{m_temp.Path() / "machine.reg", m_temp.Path() / "blocker" / "user.reg"});
    platform::Registry::OverrideDefault(m_registry.get());

    EXPECT_EQ(RunProbe(m_target, m_chooser), kProbeFailed);
    EXPECT_EQ(m_target.m_connector, "remote");
}

TEST_F(ControlProbeTest, ManualProbeSetsTheFlagAndFiltersManually) {
    WritePractices({MakePractice("Clinic"), MakePractice("Service", 2, 3), MakePractice("Billing", 2, 0)});
    m_chooser.m_answer = 2;

    EXPECT_EQ(RunManualProbe(m_target, m_chooser), kProbeConnectionSet);
    EXPECT_EQ(m_target.m_manual, 1);
    EXPECT_EQ(m_target.m_calls.front(), "ManualProbeFlag=1");
    EXPECT_EQ(m_chooser.m_names, (std::vector<std::string>{"Clinic", "Billing"}));

    // The flag is the control's setting from now on, so a later Probe filters the same way.
    m_target.m_calls.clear();
    EXPECT_EQ(RunProbe(m_target, m_chooser), kProbeConnectionSet);
    EXPECT_EQ(m_chooser.m_names, (std::vector<std::string>{"Clinic", "Billing"}));
}

TEST_F(ControlProbeTest, OrdinaryProbeUsesTheControlsFlag) {
    WritePractices({MakePractice("Clinic"), MakePractice("Service", 2, 3), MakePractice("Billing", 2, 0)});
    m_chooser.m_answer = 0;

    EXPECT_EQ(RunProbe(m_target, m_chooser), kProbeConnectionSet);
    EXPECT_EQ(m_chooser.m_names, (std::vector<std::string>{"Clinic", "Service"}));
    EXPECT_EQ(m_target.m_manual, 0);
}

}  // namespace
}  // namespace tools
