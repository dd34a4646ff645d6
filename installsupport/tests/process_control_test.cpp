// The process half's building blocks: the name rule, the table and warning formats, the /proc walk over a
// fixture folder and the log file's refusal of planted files.
#include "installsupport/process_control.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "testsupport/test_support.h"

namespace {

using testsupport::ReadFile;
using testsupport::TempFolder;
using testsupport::WriteFile;

TEST(DorvikProcessName, FollowsTheExeLinkElseComm) {
    struct Case {
        std::optional<std::string> exe;
        std::string comm;
        std::string expected;
    };
    const Case cases[] = {
        {"/usr/bin/setup-helper", "setup-hel\n", "setup-helper"},
        {"/opt/app/Prog (deleted)", "Prog\n", "Prog"},
        {"/opt/app/name (deleted) (deleted)", "x\n", "name (deleted)"},
        {"/opt/dir with blank/a b", "a b\n", "a b"},
        {std::nullopt, "kworker/0:1\n", "kworker/0:1"},
        {"", "init\n", "init"},
        {"/", "swapper\n", "swapper"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(dorvik::ProcessName(c.exe, c.comm), c.expected) << c.exe.value_or("(none)");
    }
}

TEST(DorvikNames, CompareIgnoringCase) {
    struct Case {
        const char* a;
        const char* b;
        bool equal;
    };
    const Case cases[] = {
        {"Setup.bin", "SETUP.BIN", true},
        {"setup", "setup2", false},
        {"", "", true},
        {"\xC3\x84rzte", "\xC3\xA4RZTE", true},  // Ä and ä
        {"\xC3\x84", "A", false},
        {"\xFF", "\xFF", true},
        {"\xFF", "\xFE", false},
        {"\xC3", "\xC3\xA4", false},
        {"\xE1\x80"
         "A",
         "\xE1\x81"
         "A",
         false},                   // cut sequences differing after their lead byte
        {"\xC1\x81", "A", false},  // an overlong 'A' is no 'A'
    };
    for (const auto& c : cases) {
        EXPECT_EQ(dorvik::NamesEqual(c.a, c.b), c.equal) << c.a << " / " << c.b;
    }
}

TEST(DorvikTable, GoldenFromAGivenList) {
    const std::vector<dorvik::ProcessEntry> list = {{1, "init"},
                                                    {42, "a-name-of-exactly-thirty-two-chr"},
                                                    {4321, "a-name-longer-than-thirty-two-characters"}};
    std::string table = dorvik::TableOpening("PROCESS NAME", "PROCESS ID");
    for (const auto& p : list) {
        table += dorvik::TableRow(p.name, p.pid);
    }
    table += dorvik::TableClosing();
    const std::string eq(53, '=');
    EXPECT_EQ(table, eq + "\n" + "PROCESS NAME                    \tPROCESS ID\n" + eq + "\n" +
                         "init                            \t1\n" + "a-name-of-exactly-thirty-two-chr\t42\n" +
                         "a-name-longer-than-thirty-two-characters\t4321\n" + std::string(53, '-') + "\n");
}

TEST(DorvikWarning, NamesStepErrnoAndText) {
    EXPECT_EQ(dorvik::WarningLine("OpenProcess", ESRCH),
              "\n  WARNING: OpenProcess failed with error 3 (No such process)");
    EXPECT_EQ(dorvik::WarningLine("TerminateProcess", EPERM),
              "\n  WARNING: TerminateProcess failed with error 1 (Operation not permitted)");
}

// A /proc lookalike: numeric folders out of order, a name folder, an ended process and one whose stat is
// missing (gone while listed).
TEST(DorvikList, PidOrderWithoutEndedProcesses) {
    TempFolder temp;
    const auto root = temp.Path();
    const auto proc = [&](const std::string& pid, const std::string& stat, const std::string& comm) {
        WriteFile(root / pid / "stat", stat);
        WriteFile(root / pid / "comm", comm);
    };
    proc("300", "300 (zomb) Z 1 0", "zomb\n");
    proc("10", "10 (odd) name) S 1 0", "ignored\n");
    std::filesystem::create_symlink("/opt/app/Prog (deleted)", root / "10" / "exe");
    proc("2", "2 (kthreadd) S 0 0", "kthreadd\n");
    proc("self", "1 (x) S 0 0", "x\n");
    std::filesystem::create_directories(root / "77");  // vanished: no stat
    proc("0012", "12 (lead) S 0 0", "lead\n");         // not a pid folder

    int err = 0;
    const auto list = dorvik::ListProcesses(root, &err);
    ASSERT_TRUE(list);
    ASSERT_EQ(list->size(), 2u);
    EXPECT_EQ((*list)[0].pid, 2);
    EXPECT_EQ((*list)[0].name, "kthreadd");
    EXPECT_EQ((*list)[1].pid, 10);
    EXPECT_EQ((*list)[1].name, "Prog");

    EXPECT_FALSE(dorvik::ListProcesses(root / "missing", &err));
    EXPECT_EQ(err, ENOENT);
}

TEST(DorvikLogFile, EmptiesOnlyTheCallersOwnRegularFile) {
    TempFolder temp;
    const auto log = temp.Path() / "DorvikLog.txt";
    WriteFile(log, "old lines\n");
    {
        dorvik::LogFile file(log);
        ASSERT_TRUE(file.IsOpen());
        file.Line("Process Exists!!");
    }
    EXPECT_EQ(ReadFile(log), "Process Exists!!\n");

    // A link planted at the name: refused, and its target keeps its bytes.
    const auto target = temp.Path() / "precious";
    WriteFile(target, "keep me");
    std::filesystem::remove(log);
    std::filesystem::create_symlink(target, log);
    {
        dorvik::LogFile file(log);
        EXPECT_FALSE(file.IsOpen());
        EXPECT_FALSE(file.Line("x"));
    }
    EXPECT_EQ(ReadFile(target), "keep me");

    // A hard link planted at the name is the other file itself: refused as well.
    std::filesystem::remove(log);
    std::filesystem::create_hard_link(target, log);
    EXPECT_FALSE(dorvik::LogFile(log).IsOpen());
    EXPECT_EQ(ReadFile(target), "keep me");

    // Not a regular file.
    const auto fifo = temp.Path() / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(dorvik::LogFile(fifo).IsOpen());
}

TEST(DorvikLogFile, RefusesAnotherUsersFile) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to plant a file of another user";
    }
    TempFolder temp;
    const auto log = temp.Path() / "DorvikLog.txt";
    WriteFile(log, "theirs");
    ASSERT_EQ(chown(log.c_str(), 65534, 65534), 0);
    EXPECT_FALSE(dorvik::LogFile(log).IsOpen());
    EXPECT_EQ(ReadFile(log), "theirs");
}

}  // namespace
