// The start decision over a recording spawner: the guard, argv, folder, "-simple" and the block's content.

#include "selector/container_start.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "practice/memory_mapped_file.h"
#include "testsupport/test_support.h"

namespace selector {
namespace {

using practice::CPractice;

class RecordingSpawner : public Spawner {
  public:
    bool Start(const platform::SpawnOptions& options, std::string& message) override {
        ++calls;
        last = options;
        // The block must still be readable once the selector has dropped its copy.
        blockFd = options.inheritFds.empty() ? -1 : ::dup(options.inheritFds[0]);
        if (fail)
            message = "no such program";
        return !fail;
    }
    std::optional<practice::CPracticeConn> Block() {
        int fd = blockFd;
        blockFd = -1;
        return fd < 0 ? std::nullopt : practice::ReadPracticeConnBlock(fd);
    }
    ~RecordingSpawner() override {
        if (blockFd >= 0)
            ::close(blockFd);
    }
    int calls = 0;
    bool fail = false;
    int blockFd = -1;
    platform::SpawnOptions last;
};

int OpenMappings() {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        if (std::filesystem::read_symlink(entry.path(), ec).string().starts_with("/memfd:"))
            ++count;
    }
    return count;
}

CPractice Local() {
    CPractice p;
    p.m_Name = "Clinic";
    p.m_SorelProgs = "/opt/sorel/progs";
    p.m_SorelData = "/srv/sorel/data";
    p.m_TerminalNumber = 7;
    p.m_PrinterNumber = 3;
    return p;
}

CPractice Billing() {
    CPractice p = Local();
    p.m_PracticeType = 2;
    p.m_BillServID = 12;
    return p;
}

TEST(ContainerStartTest, DecisionTable) {
    struct Case {
        const char* name;
        CPractice practice;
        std::optional<std::string> command;
        int32_t runCommand;
        bool simple;
        StartOutcome outcome;
    };
    const std::vector<Case> cases = {
        {"connect", Local(), std::nullopt, 0, false, StartOutcome::Started},
        {"billing connect", Billing(), std::nullopt, 0, false, StartOutcome::BillingRefused},
        {"billing install", Billing(), "install -t%T -p%P cwd", 1, true, StartOutcome::Started},
        {"billing pontrel", Billing(), "pontrel -t%T -p%P", 1, true, StartOutcome::Started},
        {"billing typed INSTALL", Billing(), "INSTALL -t%T -p%P cwd", 1, false, StartOutcome::Started},
        {"billing sorel update", Billing(), "sorel -t%T -p%P update", 1, false, StartOutcome::BillingRefused},
        {"billing short word", Billing(), "inst", 1, false, StartOutcome::BillingRefused},
    };
    for (const auto& c : cases) {
        RecordingSpawner spawner;
        bool simple = c.simple;
        StartResult result = StartContainer(&c.practice, {c.command, c.runCommand}, simple, spawner);
        EXPECT_EQ(result.outcome, c.outcome) << c.name;
        EXPECT_FALSE(simple) << c.name;
        EXPECT_EQ(spawner.calls, c.outcome == StartOutcome::Started ? 1 : 0) << c.name;
        if (c.outcome != StartOutcome::Started) {
            EXPECT_FALSE(result.message.empty());
            continue;
        }
        const auto& argv = spawner.last.argv;
        ASSERT_GE(argv.size(), 3u) << c.name;
        EXPECT_EQ(argv[0], "/opt/sorel/progs/brantor");
        EXPECT_EQ(argv[1], "-X");
        EXPECT_EQ(argv[2], std::to_string(spawner.last.inheritFds.at(0)));
        EXPECT_EQ(argv.size() == 4 && argv[3] == "-simple", c.simple) << c.name;
        EXPECT_EQ(spawner.last.workingFolder, "/srv/sorel/data");
        std::optional<practice::CPracticeConn> block = spawner.Block();
        ASSERT_TRUE(block) << c.name;
        EXPECT_EQ(block->m_Name, "Clinic");
        EXPECT_EQ(block->m_TerminalNumber, 7);
        EXPECT_EQ(block->m_Command, c.command.value_or(""));
        EXPECT_EQ(block->m_RunCommand, c.runCommand);
    }
}

TEST(ContainerStartTest, RemoteUsesTheSearchAndOwnFolder) {
    CPractice p = Local();
    p.m_ConnType = 1;
    const int before = OpenMappings();
    RecordingSpawner spawner;
    bool simple = false;
    ASSERT_EQ(StartContainer(&p, {}, simple, spawner).outcome, StartOutcome::Started);
    EXPECT_EQ(spawner.last.program, "brantor");
    EXPECT_TRUE(spawner.last.workingFolder.empty());
    EXPECT_EQ(spawner.last.inheritFds.size(), 1u);
    ASSERT_TRUE(spawner.Block());
    // Only the spawner's duplicate held the block; the selector kept no copy.
    EXPECT_EQ(OpenMappings(), before);
}

TEST(ContainerStartTest, NoSelectionAndFailuresClearSimple) {
    RecordingSpawner spawner;
    bool simple = true;
    EXPECT_EQ(StartContainer(nullptr, {}, simple, spawner).outcome, StartOutcome::NoSelection);
    EXPECT_FALSE(simple);

    CPractice p = Local();
    spawner.fail = true;
    simple = true;
    StartResult result = StartContainer(&p, {}, simple, spawner);
    EXPECT_EQ(result.outcome, StartOutcome::SpawnFailed);
    EXPECT_EQ(result.message, "Error Starting \"/opt/sorel/progs/brantor -X " +
                                  std::to_string(spawner.last.inheritFds.at(0)) + " -simple\"");
    EXPECT_TRUE(result.stopIcon);
}

TEST(ContainerStartTest, OversizePracticeStopsTheStart) {
    CPractice p = Local();
    p.m_Host = std::string(5000, 'h');
    RecordingSpawner spawner;
    bool simple = false;
    StartResult result = StartContainer(&p, {}, simple, spawner);
    EXPECT_EQ(result.outcome, StartOutcome::BlockFailed);
    EXPECT_EQ(spawner.calls, 0);
    EXPECT_FALSE(result.message.empty());
}

TEST(ContainerStartTest, MissingProgramIsReportedByTheRealSpawner) {
    testsupport::TempFolder temp;
    CPractice p = Local();
    p.m_SorelProgs = temp.Path().string();
    p.m_SorelData = temp.Path().string();
    ReapingSpawner spawner;
    bool simple = false;
    StartResult result = StartContainer(&p, {}, simple, spawner);
    EXPECT_EQ(result.outcome, StartOutcome::SpawnFailed);
    EXPECT_NE(result.message.find("Error Starting \"" + temp.Path().string() + "/brantor -X "),
              std::string::npos);
}

TEST(RunCommandTest, Table) {
    struct Case {
        const char* text;
        bool accepted;
        const char* command;
        bool simple;
    };
    const std::vector<Case> cases = {
        {"", false, "", false},
        {"   \t ", false, "", false},
        {"  cleanlog  ", true, "cleanlog", true},
        {"INSTALL -t%T -p%P cwd", true, "INSTALL -t%T -p%P cwd", false},
        {"dload -i", true, "dload -i", false},
        {"x pontrel", true, "x pontrel", true},
    };
    for (const auto& c : cases) {
        RunCheck check = CheckRunCommand(c.text);
        EXPECT_EQ(check.accepted, c.accepted) << c.text;
        EXPECT_EQ(check.command, c.command) << c.text;
        EXPECT_EQ(check.simple, c.simple) << c.text;
    }
}

TEST(DefaultCustomMenuTest, SixteenItemsWithTheirAccelerators) {
    practice::CCustomMenu menu;
    AddDefaultCustomMenu(menu);
    ASSERT_EQ(menu.GetItemCount(), 16u);
    EXPECT_EQ(menu.GetItems()[0].m_Title, "&Appointments");
    EXPECT_EQ(menu.GetItems()[9].m_Title, "-SEPARATOR-");
    EXPECT_EQ(menu.GetItems()[15].m_Action, "/vpc");
}

}  // namespace
}  // namespace selector
