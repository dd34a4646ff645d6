// The real start path (Spawn through the reaping spawner) against a stand-in container that records what it
// was given: argv, folder, open fds and the decoded block.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <thread>

#include "selector/container_start.h"
#include "testsupport/test_support.h"

namespace selector {
namespace {

namespace fs = std::filesystem;

struct Record {
    std::vector<std::string> argv;
    std::vector<int> fds;
    std::map<std::string, std::string> values;
};

// Waits for the whole record; a loaded machine may take a while to start the child.
std::optional<Record> WaitForRecord(const fs::path& path) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!fs::exists(path)) {
        if (std::chrono::steady_clock::now() > deadline)
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    Record record;
    std::istringstream lines(testsupport::ReadFile(path));
    for (std::string line; std::getline(lines, line);) {
        const size_t eq = line.find('=');
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "argv")
            record.argv.push_back(value);
        else if (key == "fd")
            record.fds.push_back(std::stoi(value));
        else
            record.values[key] = value;
    }
    return record;
}

int OpenMappings() {
    int count = 0;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        if (fs::read_symlink(entry.path(), ec).string().starts_with("/memfd:"))
            ++count;
    }
    return count;
}

class FakeBrantorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(m_progs);
        fs::create_directories(m_data);
        fs::create_symlink(FAKE_BRANTOR_PROGRAM, m_progs / "brantor");
        m_env.Set("FAKE_BRANTOR_RECORD", m_record.string());
    }
    practice::CPractice Local() {
        practice::CPractice p;
        p.m_Name = "Clinic";
        p.m_SorelProgs = m_progs.string();
        p.m_SorelData = m_data.string();
        p.m_TerminalNumber = 7;
        p.m_PrinterNumber = 3;
        return p;
    }
    testsupport::TempFolder m_temp;
    fs::path m_progs = m_temp.Path() / "progs";
    fs::path m_data = m_temp.Path() / "data";
    fs::path m_record = m_temp.Path() / "record";
    testsupport::ScopedEnv m_env;
    ReapingSpawner m_spawner;
};

TEST_F(FakeBrantorTest, LocalPracticeGetsItsFolderTheBlockAndOnlyItsFd) {
    const int mappingsBefore = OpenMappings();
    bool simple = true;
    const practice::CPractice practice = Local();
    const StartResult result =
        StartContainer(&practice, {std::string("sorel -t%T -p%P"), 1}, simple, m_spawner);
    ASSERT_EQ(result.outcome, StartOutcome::Started) << result.message;
    EXPECT_EQ(OpenMappings(), mappingsBefore) << "the selector keeps no copy of the block";

    const std::optional<Record> record = WaitForRecord(m_record);
    ASSERT_TRUE(record) << "the stand-in container never wrote its record";
    ASSERT_EQ(record->argv.size(), 4u);
    EXPECT_EQ(record->argv[0], (m_progs / "brantor").string());
    EXPECT_EQ(record->argv[1], "-X");
    EXPECT_EQ(record->argv[3], "-simple");
    EXPECT_EQ(fs::path(record->values.at("cwd")), fs::canonical(m_data));

    std::vector<int> beyondStandard;
    for (int fd : record->fds)
        if (fd > 2)
            beyondStandard.push_back(fd);
    EXPECT_EQ(beyondStandard, std::vector<int>{std::stoi(record->argv[2])})
        << "only the block's fd is inherited";

    EXPECT_EQ(record->values.count("BlockError"), 0u) << record->values.at("BlockError");
    EXPECT_EQ(record->values.at("Name"), "Clinic");
    EXPECT_EQ(record->values.at("SorelData"), m_data.string());
    EXPECT_EQ(record->values.at("TerminalNumber"), "7");
    EXPECT_EQ(record->values.at("PrinterNumber"), "3");
    EXPECT_EQ(record->values.at("Command"), "sorel -t%T -p%P");
    EXPECT_EQ(record->values.at("RunCommand"), "1");
}

TEST_F(FakeBrantorTest, RemotePracticeFindsBrantorOnThePathAndRunsInTheSelectorsFolder) {
    m_env.Set("PATH", m_progs.string() + ":/usr/bin:/bin");
    practice::CPractice practice = Local();
    practice.m_ConnType = 1;
    practice.m_Host = "host.example";
    bool simple = false;
    const StartResult result = StartContainer(&practice, {}, simple, m_spawner);
    ASSERT_EQ(result.outcome, StartOutcome::Started) << result.message;

    const std::optional<Record> record = WaitForRecord(m_record);
    ASSERT_TRUE(record);
    ASSERT_EQ(record->argv.size(), 3u) << "no -simple for a plain Connect";
    EXPECT_EQ(fs::path(record->values.at("cwd")), fs::current_path());
    EXPECT_EQ(record->values.at("Host"), "host.example");
    EXPECT_EQ(record->values.at("ConnType"), "1");
    EXPECT_EQ(record->values.at("Command"), "");
    EXPECT_EQ(record->values.at("RunCommand"), "0");
}

}  // namespace
}  // namespace selector
