// Tests of the crash reporter: the report name, the folder made at installation, handlers put back, and
// forked children that die by a fatal signal leaving a report behind.
#include "suite/crash_report.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <csignal>
#include <cstdlib>

#include "platform/known_folders.h"
#include "suite/debug_log.h"
#include "testsupport/test_support.h"

namespace suite {
namespace {

TEST(CrashReportTest, ReportNameFollowsTheProgramName) {
    const std::pair<const char*, const char*> cases[] = {
        {"brantor", "brantor.RPT"}, {"lumetra.exe", "lumetra.RPT"}, {"prog.bin", "prog.RPT"},
        {"v1.2.exe", "v1.2.RPT"},   {"tool.x", "tool.x.RPT"},       {"tool.ab", "tool.ab.RPT"},
        {".hidden", ".hidden.RPT"}, {"trailing.", "trailing..RPT"},
    };
    for (const auto& [program, report] : cases) {
        EXPECT_EQ(CCrashReport::ReportFileName(program), report) << program;
    }
}

void RecordingHandler(int) {}

TEST(CrashReportTest, InstallsInTheStateFolderAndPutsHandlersBack) {
    testsupport::TempFolder temp;
    testsupport::ScopedEnv env;
    env.Set("XDG_STATE_HOME", (temp.Path() / "state").string());

    struct sigaction mine {};
    mine.sa_handler = RecordingHandler;
    struct sigaction saved {};
    ASSERT_EQ(sigaction(SIGBUS, &mine, &saved), 0);
    {
        CCrashReport report;
        const auto folder = temp.Path() / "state" / "carrowline";
        EXPECT_TRUE(std::filesystem::is_directory(folder));
        EXPECT_EQ(report.ReportPath(), folder / CCrashReport::ReportFileName(platform::ProgramFileName()));
        EXPECT_FALSE(std::filesystem::exists(report.ReportPath())) << "nothing is written before a crash";
        struct sigaction current {};
        sigaction(SIGBUS, nullptr, &current);
        EXPECT_NE(current.sa_handler, &RecordingHandler);
        EXPECT_TRUE(current.sa_flags & SA_ONSTACK);
    }
    struct sigaction after {};
    sigaction(SIGBUS, nullptr, &after);
    EXPECT_EQ(after.sa_handler, &RecordingHandler);
    sigaction(SIGBUS, &saved, nullptr);
}

__attribute__((noinline, no_sanitize("address", "undefined"))) void WriteThroughNull() {
    volatile int* volatile target = nullptr;
    *target = 1;
}

__attribute__((noinline, no_sanitize("undefined"))) void DivideByZero() {
    volatile int one = 1;
    volatile int zero = 0;
    volatile int result = one / zero;
    (void)result;
}

struct CrashCase {
    const char* label;
    int signal;
    const char* codeLine;
    void (*crash)();
};

TEST(CrashReportTest, AFatalSignalLeavesAReportAndStillKills) {
    const CrashCase cases[] = {
        {"null write", SIGSEGV, "Exception code: 0000000B SIGSEGV\n", WriteThroughNull},
        {"abort", SIGABRT, "Exception code: 00000006 SIGABRT\n", [] { std::abort(); }},
        {"divide", SIGFPE, "Exception code: 00000008 SIGFPE\n", DivideByZero},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        testsupport::TempFolder temp;
        const int status = testsupport::RunInChild([&] {
            setenv("XDG_STATE_HOME", (temp.Path() / "state").c_str(), 1);
            if (chdir(temp.Path().c_str()) != 0) {
                _exit(3);
            }
            // The sanitizers' own handlers would turn the signal into an exit code.
            for (int sig : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT}) {
                std::signal(sig, SIG_DFL);
            }
            DebugLog("before the crash\r\n");
            CCrashReport report;
            c.crash();
            _exit(4);
        });
        ASSERT_TRUE(WIFSIGNALED(status)) << "status " << status;
        EXPECT_EQ(WTERMSIG(status), c.signal);

        const auto reportPath =
            temp.Path() / "state" / "carrowline" / CCrashReport::ReportFileName(platform::ProgramFileName());
        const std::string report = testsupport::ReadFile(reportPath);
        EXPECT_TRUE(report.starts_with("//=====================================================\n"))
            << report;
        EXPECT_NE(report.find(c.codeLine), std::string::npos) << report;
        EXPECT_NE(report.find("Fault address:  "), std::string::npos) << report;
        EXPECT_NE(report.find("\nRegisters:\n"), std::string::npos) << report;
#if defined(__x86_64__)
        for (const char* reg : {"\nRAX:", "\nRBX:", "\nR15:", "\nCS:RIP:", "\nRSP:", "  RBP:", "\nEFLAGS:"}) {
            EXPECT_NE(report.find(reg), std::string::npos) << reg;
        }
#endif
        const size_t stack = report.find("\nCall stack:\n");
        ASSERT_NE(stack, std::string::npos) << report;
        EXPECT_NE(report.find(platform::ProgramFileName() + "+", stack), std::string::npos)
            << "frames name their module\n"
            << report;
        EXPECT_TRUE(report.ends_with("\n\n"));

        // The same report went to the open debug log.
        const std::string log = testsupport::ReadFile(temp.Path() / "QuilletDebugLog.txt");
        EXPECT_TRUE(log.starts_with("Start logging session...\r\nbefore the crash\r\n")) << log;
        EXPECT_NE(log.find(c.codeLine), std::string::npos) << log;
        EXPECT_NE(log.find("\nCall stack:\n"), std::string::npos);
    }
}

TEST(CrashReportTest, ASecondCrashAppendsToTheReport) {
    testsupport::TempFolder temp;
    for (int run = 0; run < 2; ++run) {
        const int status = testsupport::RunInChild([&] {
            setenv("XDG_STATE_HOME", (temp.Path() / "state").c_str(), 1);
            std::signal(SIGSEGV, SIG_DFL);
            CCrashReport report;
            WriteThroughNull();
        });
        ASSERT_TRUE(WIFSIGNALED(status));
    }
    const std::string report = testsupport::ReadFile(
        temp.Path() / "state" / "carrowline" / CCrashReport::ReportFileName(platform::ProgramFileName()));
    size_t count = 0;
    for (size_t at = report.find("Exception code:"); at != std::string::npos;
         at = report.find("Exception code:", at + 1)) {
        ++count;
    }
    EXPECT_EQ(count, 2u);
}

}  // namespace
}  // namespace suite
