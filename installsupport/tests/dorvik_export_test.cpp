// The library's exports as setup tooling sees them: loaded with dlopen, run against copies of a test
// program under unique names, with the temp folder pointed at a folder of the test.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <set>

#include "installsupport/dorvik.h"
#include "installsupport/process_control.h"
#include "platform/spawn.h"
#include "testsupport/test_support.h"

namespace {

using testsupport::ReadFile;
using testsupport::WriteFile;

struct Exports {
    BOOL (*createProcessList)() = nullptr;
    void (*stopProcWithExeName)(const char*) = nullptr;
    BOOL (*validateProcessExists)(const char*) = nullptr;
};

const Exports& Library() {
    static const Exports exports = [] {
        Exports e;
        void* lib = dlopen(DORVIK_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        if (lib == nullptr) {
            ADD_FAILURE() << dlerror();
            return e;
        }
        e.createProcessList = reinterpret_cast<BOOL (*)()>(dlsym(lib, "CreateProcessList"));
        e.stopProcWithExeName = reinterpret_cast<void (*)(const char*)>(dlsym(lib, "StopProcWithExeName"));
        e.validateProcessExists =
            reinterpret_cast<BOOL (*)(const char*)>(dlsym(lib, "ValidateProcessExists"));
        return e;
    }();
    return exports;
}

class DorvikExports : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(Library().createProcessList && Library().stopProcWithExeName &&
                    Library().validateProcessExists);
        m_tmp = m_temp.Path() / "tmp";
        std::filesystem::create_directories(m_tmp);
        m_env.Set("TMPDIR", m_tmp.string());
        static int serial = 0;
        m_prefix = "dvk" + std::to_string(getpid()) + "x" + std::to_string(++serial);
    }
    void TearDown() override {
        for (pid_t pid : m_children) {
            kill(pid, SIGKILL);
            platform::WaitForExit(pid);
        }
    }

    // A unique name for this test; `tag` tells names of one test apart.
    std::string Name(const std::string& tag) const { return m_prefix + tag; }

    // Starts a copy of the test program called `name`, in a folder of its own so that one name can run
    // twice, and waits until it has set itself up.
    pid_t Start(const std::string& name, const std::vector<std::string>& args = {}) {
        const auto folder = m_temp.Path() / ("bin" + std::to_string(m_children.size()));
        std::filesystem::create_directories(folder);
        const auto program = folder / name;
        std::filesystem::copy_file(DORVIK_SLEEPER, program);
        std::filesystem::permissions(program, std::filesystem::perms::owner_all);
        platform::SpawnOptions options;
        options.program = program.string();
        options.argv = {program.string()};
        options.argv.insert(options.argv.end(), args.begin(), args.end());
        options.pipeStdout = true;
        auto child = platform::Spawn(options);
        if (!child) {
            ADD_FAILURE() << "cannot start " << program;
            return -1;
        }
        m_children.push_back(child->pid);
        char ready[6] = {};
        EXPECT_EQ(read(child->stdoutRead.Get(), ready, sizeof ready), 6);
        return child->pid;
    }

    // The wait status of a stopped child (128 + signal), which is then no longer ours to clean up.
    int Reap(pid_t pid) {
        std::erase(m_children, pid);
        return platform::WaitForExit(pid);
    }
    bool Running(pid_t pid) const { return !platform::PollExit(pid); }

    std::string Log() const { return ReadFile(m_tmp / "DorvikLog.txt"); }

    testsupport::TempFolder m_temp;
    testsupport::ScopedEnv m_env;
    std::filesystem::path m_tmp;
    std::string m_prefix;
    std::vector<pid_t> m_children;
};

TEST(DorvikLibrary, ExportsOnlyTheCInterface) {
    ASSERT_TRUE(Library().createProcessList);
    FILE* nm = popen("nm -D --defined-only " DORVIK_LIBRARY, "r");
    ASSERT_NE(nm, nullptr);
    std::set<std::string> names;
    char line[512];
    while (std::fgets(line, sizeof line, nm)) {
        char type = 0;
        char name[400] = {};
        if (std::sscanf(line, "%*s %c %399s", &type, name) == 2 && type != 'A') {
            names.insert(name);
        }
    }
    pclose(nm);
    EXPECT_EQ(names,
              (std::set<std::string>{"CountMatchingCaptions", "CreateProcessList", "StopProcMatchingCaption",
                                     "StopProcWithCaption", "StopProcWithExeName", "ValidateProcessExists"}));
}

TEST_F(DorvikExports, StopsExactlyTheProcessesOfThatName) {
    const std::string doomed = Name("a");
    const pid_t first = Start(doomed);
    const pid_t second = Start(doomed);
    const pid_t other = Start(Name("b"));

    Library().stopProcWithExeName(doomed.c_str());

    EXPECT_EQ(Reap(first), 128 + SIGTERM);
    EXPECT_EQ(Reap(second), 128 + SIGTERM);
    EXPECT_TRUE(Running(other));
    EXPECT_EQ(Log(), dorvik::TableOpening("PROCESS BEING TERMINATED", "PROCESS ID") +
                         dorvik::TableRow(doomed, std::min(first, second)) +
                         dorvik::TableRow(doomed, std::max(first, second)) + dorvik::TableClosing());
}

TEST_F(DorvikExports, KillsAProcessThatIgnoresTerm) {
    const std::string stubborn = Name("s");
    const pid_t pid = Start(stubborn, {"ignore-term"});
    Library().stopProcWithExeName(stubborn.c_str());
    EXPECT_EQ(Reap(pid), 128 + SIGKILL);
}

TEST_F(DorvikExports, NameInAnyCaseAndEndedProcesses) {
    const std::string name = Name("Mixed");
    std::string upper = name;
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    const pid_t pid = Start(name);
    EXPECT_EQ(Library().validateProcessExists(upper.c_str()), 1);
    EXPECT_EQ(Log(), "Process Exists!!\n");
    EXPECT_EQ(Library().validateProcessExists(Name("other").c_str()), 0);
    EXPECT_EQ(Log(), "");  // the earlier call's line is gone
    EXPECT_EQ(Library().validateProcessExists(nullptr), 0);

    // Ended but not yet reaped: it no longer runs.
    kill(pid, SIGKILL);
    while (Library().validateProcessExists(name.c_str()) != 0) {
        usleep(1000);
    }
    EXPECT_EQ(Reap(pid), 128 + SIGKILL);

    // Nothing of that name: nothing logged, nothing stopped.
    Library().stopProcWithExeName(name.c_str());
    EXPECT_EQ(Log(), "");
}

TEST_F(DorvikExports, NeverStopsTheCaller) {
    const std::string name = Name("self");
    const pid_t sibling = Start(name);
    // A copy of that name which asks the library to stop its own name.
    const auto folder = m_temp.Path() / "caller";
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(DORVIK_SLEEPER, folder / name);
    std::filesystem::permissions(folder / name, std::filesystem::perms::owner_all);
    platform::SpawnOptions options;
    options.program = (folder / name).string();
    options.argv = {options.program, "stop-self", DORVIK_LIBRARY};
    options.pipeStdout = true;
    auto caller = platform::Spawn(options);
    ASSERT_TRUE(caller);
    char out[7] = {};
    EXPECT_EQ(read(caller->stdoutRead.Get(), out, 6), 6);
    EXPECT_STREQ(out, "alive\n");
    EXPECT_EQ(platform::WaitForExit(caller->pid), 0);
    EXPECT_EQ(Reap(sibling), 128 + SIGTERM);
    EXPECT_EQ(Log(), dorvik::TableOpening("PROCESS BEING TERMINATED", "PROCESS ID") +
                         dorvik::TableRow(name, sibling) + dorvik::TableClosing());
}

TEST_F(DorvikExports, ProcessListHoldsEveryRunningProcessInPidOrder) {
    const pid_t pid = Start(Name("listed"));
    ASSERT_EQ(Library().createProcessList(), 1);
    const std::string list = ReadFile(m_tmp / "ProcessList.txt");
    const std::string opening = dorvik::TableOpening("PROCESS NAME", "PROCESS ID");
    ASSERT_EQ(list.substr(0, opening.size()), opening);
    ASSERT_GE(list.size(), opening.size() + dorvik::TableClosing().size());
    EXPECT_EQ(list.substr(list.size() - 54), dorvik::TableClosing());
    EXPECT_NE(list.find(dorvik::TableRow(Name("listed"), pid)), std::string::npos);
    EXPECT_NE(list.find(dorvik::TableRow(dorvik::ProcessName(std::nullopt, ""), getpid()).substr(32)),
              std::string::npos);

    // Rows in ascending pid order.
    std::istringstream rows(list.substr(opening.size()));
    std::string row;
    long last = 0;
    while (std::getline(rows, row) && row[0] != '-') {
        const long rowPid = std::stol(row.substr(row.rfind('\t') + 1));
        EXPECT_GT(rowPid, last) << row;
        last = rowPid;
    }
}

TEST_F(DorvikExports, PlantedLinksKeepTheirTargetsAndTheWorkIsDone) {
    const auto target = m_temp.Path() / "precious";
    WriteFile(target, "keep me");
    std::filesystem::create_symlink(target, m_tmp / "ProcessList.txt");
    std::filesystem::create_symlink(target, m_tmp / "DorvikLog.txt");

    EXPECT_EQ(Library().createProcessList(), 0);
    const std::string name = Name("linked");
    const pid_t pid = Start(name);
    EXPECT_EQ(Library().validateProcessExists(name.c_str()), 1);
    Library().stopProcWithExeName(name.c_str());
    EXPECT_EQ(Reap(pid), 128 + SIGTERM);
    EXPECT_EQ(ReadFile(target), "keep me");
}

TEST_F(DorvikExports, TempFolderOverTheLimitWritesNoList) {
    m_env.Set("TMPDIR", "/" + std::string(520, 'a'));
    EXPECT_EQ(Library().createProcessList(), 0);
}

}  // namespace
