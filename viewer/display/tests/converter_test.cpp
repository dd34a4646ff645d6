// mardle against stand-in converters, and the viewer's converter call against mardle and stand-ins of it:
// exit codes, no stale target, the private profile, the time-out and the per-viewer folders.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/spawn.h"
#include "testsupport/test_support.h"
#include "viewer/display/child_wait.h"
#include "viewer/display/converter_call.h"
#include "viewer/display/mardle.h"
#include "viewer/display/viewer_temp.h"

namespace display {
namespace {

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::WriteFile;

// What every stand-in converter does first: find --outdir, the source and the profile, and note its
// arguments and environment's HOME.
constexpr const char* kConverterPrologue = R"sh(#!/bin/sh
out=""; prev=""; profile=""
for a in "$@"; do
  [ "$prev" = "--outdir" ] && out="$a"
  case "$a" in -env:UserInstallation=file://*) profile="${a#-env:UserInstallation=file://}";; esac
  prev="$a"
done
src="$a"; stem=$(basename "$src"); stem="${stem%.*}"
[ -n "$STANDIN_LOG" ] && { printf '%s\n' "$@"; echo "HOME=$HOME"; } > "$STANDIN_LOG"
)sh";

struct StandIn {
    const char* name;
    const char* body;
};
const std::vector<StandIn> kConverters = {
    {"writes", R"sh(printf '<html><body>converted %s</body></html>' "$(cat "$src")" > "$out/$stem.html"
echo picture > "$out/${stem}_html_1.png"
)sh"},
    {"fails", "echo 'Error: source file could not be loaded' >&2; exit 3\n"},
    {"hangs", "sleep 300 &\necho $! > \"$STANDIN_PIDS\"\nwait\n"},
    {"writesnothing", "exit 0\n"},
    {"writesempty", ": > \"$out/$stem.html\"\n"},
    {"restarts", R"sh(if [ ! -e "$profile/started" ]; then : > "$profile/started"; exit 81; fi
printf '<html><body>second start</body></html>' > "$out/$stem.html"
)sh"},
};

bool Alive(pid_t pid) {
    return ::kill(pid, 0) == 0;
}

bool WaitUntilGone(pid_t pid) {
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (Alive(pid) && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return !Alive(pid);
}

class ConverterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_tmp = m_temp.Path() / "tmp";
        m_home = m_temp.Path() / "home";
        fs::create_directories(m_tmp);
        fs::create_directories(m_home);
        for (const auto& c : kConverters) {
            WriteScript("convert-" + std::string(c.name), std::string(kConverterPrologue) + c.body);
        }
        m_source = m_temp.Path() / "docs" / "TempPrintDoc.doc";
        WriteFile(m_source, "the letter");
        m_target = m_temp.Path() / "view" / "TempPrintDoc.htm";
        WriteFile(m_target, "STALE PAGE");
    }
    fs::path WriteScript(const std::string& name, const std::string& text) {
        const fs::path path = m_temp.Path() / "bin" / name;
        WriteFile(path, text);
        fs::permissions(path, fs::perms::owner_all);
        return path;
    }
    platform::EnvironmentBlock Environment(const std::string& converter, int timeoutMs = 20000) const {
        auto env = platform::EnvironmentBlock::FromCurrentProcess();
        env.Set(kConverterVariable, (m_temp.Path() / "bin" / ("convert-" + converter)).string());
        env.Set(kConverterTimeoutVariable, std::to_string(timeoutMs));
        env.Set("TMPDIR", m_tmp.string());
        env.Set("HOME", m_home.string());
        env.Set("STANDIN_LOG", (m_temp.Path() / "args.txt").string());
        env.Set("STANDIN_PIDS", (m_temp.Path() / "pids.txt").string());
        return env;
    }
    struct Run {
        int exit = -1;
        std::string stderrText;
    };
    Run RunMardle(const std::vector<std::string>& args, const platform::EnvironmentBlock& env,
                  const std::function<void(pid_t)>& during = {}) {
        platform::SpawnOptions options;
        options.program = CARROWLINE_MARDLE;
        options.argv = {CARROWLINE_MARDLE};
        options.argv.insert(options.argv.end(), args.begin(), args.end());
        options.environment = env;
        options.pipeStderr = true;
        options.nullStdio = true;
        std::string why;
        auto child = platform::Spawn(options, nullptr, &why);
        EXPECT_TRUE(child) << why;
        if (!child) {
            return {};
        }
        if (during) {
            during(child->pid);
        }
        Run run;
        char buffer[512];
        for (ssize_t got; (got = ::read(child->stderrRead.Get(), buffer, sizeof buffer)) > 0;) {
            run.stderrText.append(buffer, static_cast<size_t>(got));
        }
        run.exit = platform::WaitForExit(child->pid);
        return run;
    }
    bool TempIsEmpty() const { return fs::is_empty(m_tmp); }

    testsupport::TempFolder m_temp;
    fs::path m_tmp;
    fs::path m_home;
    fs::path m_source;
    fs::path m_target;
};

TEST_F(ConverterTest, MardleExitsZeroOnlyWithTheTargetWritten) {
    struct Case {
        const char* converter;
        MardleExit exit;
        const char* target;  // the target's text afterwards; null: no target
        const char* says;    // in its message
    };
    const std::vector<Case> cases = {
        {"writes", MardleExit::Converted, "<html><body>converted the letter</body></html>", ""},
        {"restarts", MardleExit::Converted, "<html><body>second start</body></html>", ""},
        {"fails", MardleExit::ConverterFailed, nullptr, "exit code 3"},
        {"writesnothing", MardleExit::NothingWritten, nullptr, "wrote no HTML"},
        {"writesempty", MardleExit::NothingWritten, nullptr, "wrote no HTML"},
        {"missing", MardleExit::ConverterMissing, nullptr, "cannot be started"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.converter);
        WriteFile(m_target, "STALE PAGE");
        const Run run = RunMardle({m_source.string(), m_target.string()}, Environment(c.converter));
        EXPECT_EQ(run.exit, static_cast<int>(c.exit)) << run.stderrText;
        EXPECT_NE(run.stderrText.find(c.says), std::string::npos) << run.stderrText;
        if (c.target != nullptr) {
            EXPECT_EQ(ReadFile(m_target), c.target);
            EXPECT_TRUE(run.stderrText.empty()) << run.stderrText;
        } else {
            EXPECT_FALSE(fs::exists(m_target));
        }
        EXPECT_TRUE(TempIsEmpty()) << "the private folder outlived the run";
    }
    // The page's pictures went beside it.
    RunMardle({m_source.string(), m_target.string()}, Environment("writes"));
    EXPECT_EQ(ReadFile(m_target.parent_path() / "TempPrintDoc_html_1.png"), "picture\n");
}

TEST_F(ConverterTest, MardleRunsTheConverterHeadlessOnAPrivateProfile) {
    ASSERT_EQ(RunMardle({m_source.string(), m_target.string()}, Environment("writes")).exit, 0);
    const std::string args = ReadFile(m_temp.Path() / "args.txt");
    EXPECT_NE(args.find("--headless\n"), std::string::npos) << args;
    EXPECT_NE(args.find("--convert-to\nhtml"), std::string::npos) << args;
    EXPECT_NE(args.find("\n" + m_source.string() + "\n"), std::string::npos) << args;
    const std::string profileUrl = "-env:UserInstallation=file://" + m_tmp.string() + "/mardle-";
    EXPECT_NE(args.find(profileUrl), std::string::npos) << args;
    // Not the user's: neither the profile nor HOME lead there.
    EXPECT_EQ(args.find("HOME=" + m_home.string()), std::string::npos) << args;
    EXPECT_NE(args.find("HOME=" + m_tmp.string() + "/mardle-"), std::string::npos) << args;
    EXPECT_TRUE(fs::is_empty(m_home));
}

TEST_F(ConverterTest, MardleRefusesBadArgumentsAndKeepsWhatItMayNotDelete) {
    fs::create_directories(m_temp.Path() / "afolder");
    WriteFile(m_temp.Path() / "afolder" / "inside", "kept");
    struct Case {
        const char* name;
        std::vector<std::string> args;
        MardleExit exit;
    };
    const std::string folder = (m_temp.Path() / "afolder").string();
    const std::vector<Case> cases = {
        {"no arguments", {}, MardleExit::Usage},
        {"one argument", {m_source.string()}, MardleExit::Usage},
        {"three arguments", {m_source.string(), m_target.string(), "x"}, MardleExit::Usage},
        {"missing source",
         {(m_temp.Path() / "nothing.doc").string(), m_target.string()},
         MardleExit::SourceUnreadable},
        {"source is a folder", {folder, m_target.string()}, MardleExit::SourceUnreadable},
        {"target is a folder", {m_source.string(), folder}, MardleExit::TargetInUse},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Run run = RunMardle(c.args, Environment("writes"));
        EXPECT_EQ(run.exit, static_cast<int>(c.exit)) << run.stderrText;
        EXPECT_TRUE(run.stderrText.starts_with("mardle: ")) << run.stderrText;
    }
    EXPECT_EQ(ReadFile(m_temp.Path() / "afolder" / "inside"), "kept");
    // A failed source still took the stale target away.
    EXPECT_FALSE(fs::exists(m_target));
    // A link at the target is removed, never what it names.
    WriteFile(m_temp.Path() / "precious.htm", "precious");
    fs::create_symlink(m_temp.Path() / "precious.htm", m_target);
    EXPECT_EQ(RunMardle({m_source.string(), m_target.string()}, Environment("fails")).exit,
              static_cast<int>(MardleExit::ConverterFailed));
    EXPECT_FALSE(fs::exists(fs::symlink_status(m_target)));
    EXPECT_EQ(ReadFile(m_temp.Path() / "precious.htm"), "precious");
}

TEST_F(ConverterTest, AHangingConverterIsStoppedWithEverythingItStarted) {
    const auto started = Clock::now();
    const Run run = RunMardle({m_source.string(), m_target.string()}, Environment("hangs", 500));
    EXPECT_EQ(run.exit, static_cast<int>(MardleExit::ConverterTimedOut)) << run.stderrText;
    EXPECT_LT(Clock::now() - started, std::chrono::seconds(60));
    const pid_t helper = std::stoi(ReadFile(m_temp.Path() / "pids.txt"));
    EXPECT_TRUE(WaitUntilGone(helper));
    EXPECT_FALSE(fs::exists(m_target));
    EXPECT_TRUE(TempIsEmpty());
}

TEST_F(ConverterTest, MardleAskedToStopCleansUp) {
    const Run run =
        RunMardle({m_source.string(), m_target.string()}, Environment("hangs", 600000), [&](pid_t pid) {
            const auto deadline = Clock::now() + std::chrono::seconds(30);
            while (!fs::exists(m_temp.Path() / "pids.txt") && Clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            ::kill(pid, SIGTERM);
        });
    EXPECT_EQ(run.exit, static_cast<int>(MardleExit::Interrupted)) << run.stderrText;
    EXPECT_TRUE(WaitUntilGone(std::stoi(ReadFile(m_temp.Path() / "pids.txt"))));
    EXPECT_TRUE(TempIsEmpty());
}

// The viewer's call: the real mardle with stand-in converters, and stand-ins of mardle itself.
class ConverterCallTest : public ConverterTest {
  protected:
    void SetUp() override {
        ConverterTest::SetUp();
        m_env.Set("TMPDIR", m_tmp.string());
        m_env.Set("STANDIN_PIDS", (m_temp.Path() / "pids.txt").string());
        WriteScript("mardle-lies", "#!/bin/sh\nexit 0\n");
        WriteScript("mardle-hangs", "#!/bin/sh\necho working >&2\nexec sleep 300\n");
        WriteScript("mardle-late", "#!/bin/sh\ntrap 'echo late > \"$2\"; exit 0' TERM\nsleep 300 & wait\n");
        WriteScript("mardle-daemon",
                    "#!/bin/sh\nsleep 300 &\necho $! > \"$STANDIN_PIDS\"\necho '<p/>' > \"$2\"\n");
    }
    ConverterCall RealMardle(const std::string& converter, int timeoutMs = 20000) {
        m_env.Set(kConverterVariable, (m_temp.Path() / "bin" / ("convert-" + converter)).string());
        m_env.Set(kConverterTimeoutVariable, std::to_string(timeoutMs));
        return ConverterCall{.program = CARROWLINE_MARDLE};
    }
    ConverterCall StandIn(const std::string& name) {
        ConverterCall call;
        call.program = (m_temp.Path() / "bin" / name).string();
        call.timeout = std::chrono::milliseconds(500);
        call.grace = std::chrono::milliseconds(2000);
        return call;
    }
    testsupport::ScopedEnv m_env;
};

TEST_F(ConverterCallTest, OnlyATargetWrittenByThisRunCounts) {
    struct Case {
        const char* name;
        std::function<ConverterCall()> call;  // the real mardle's settings are made as the case runs
        ConvertStatus status;
        int exitCode;
        const char* says;
    };
    const std::vector<Case> cases = {
        {"converted", [&] { return RealMardle("writes"); }, ConvertStatus::Converted, 0, ""},
        {"converter fails", [&] { return RealMardle("fails"); }, ConvertStatus::Failed, 5, "exit code 3"},
        {"converter writes nothing", [&] { return RealMardle("writesnothing"); }, ConvertStatus::Failed, 7,
         "wrote no HTML"},
        {"converter hangs", [&] { return RealMardle("hangs", 300); }, ConvertStatus::Failed, 6,
         "was stopped"},
        {"no office suite", [&] { return RealMardle("missing"); }, ConvertStatus::NotFound, 4,
         "cannot be started"},
        {"mardle lies", [&] { return StandIn("mardle-lies"); }, ConvertStatus::NothingWritten, 0, "wrote no"},
        {"mardle hangs", [&] { return StandIn("mardle-hangs"); }, ConvertStatus::TimedOut, -1, "working"},
        {"mardle writes as it is stopped", [&] { return StandIn("mardle-late"); }, ConvertStatus::TimedOut,
         -1, "was stopped"},
        {"mardle missing", [&] { return StandIn("mardle-gone"); }, ConvertStatus::NotFound, -1,
         "mardle-gone"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(m_target, "STALE PAGE");
        const auto result = ConvertDocument(c.call(), m_source, m_target);
        EXPECT_EQ(result.status, c.status) << result.message;
        EXPECT_EQ(result.exitCode, c.exitCode) << result.message;
        EXPECT_NE(result.message.find(c.says), std::string::npos) << result.message;
        EXPECT_EQ(fs::exists(m_target), c.status == ConvertStatus::Converted);
        if (c.status == ConvertStatus::Converted) {
            EXPECT_EQ(ReadFile(m_target), "<html><body>converted the letter</body></html>");
        }
    }
}

TEST_F(ConverterCallTest, ADescendantHoldingItsOutputDoesNotHoldTheCall) {
    auto call = StandIn("mardle-daemon");
    call.timeout = std::chrono::seconds(60);
    const auto started = Clock::now();
    const auto result = ConvertDocument(call, m_source, m_target);
    EXPECT_EQ(result.status, ConvertStatus::Converted) << result.message;
    EXPECT_LT(Clock::now() - started, std::chrono::seconds(30));
    ::kill(std::stoi(ReadFile(m_temp.Path() / "pids.txt")), SIGKILL);
}

TEST_F(ConverterCallTest, ATargetThatIsNoFileIsNeverReplaced) {
    fs::remove(m_target);
    fs::create_directories(m_target);
    const auto result = ConvertDocument(RealMardle("writes"), m_source, m_target);
    EXPECT_EQ(result.status, ConvertStatus::TargetInUse);
    EXPECT_TRUE(fs::is_directory(m_target));
    EXPECT_FALSE(fs::exists(m_temp.Path() / "args.txt")) << "mardle ran";
}

TEST_F(ConverterCallTest, TwoViewersKeepTheirFilesApart) {
    std::string why;
    auto first = ViewerTempFolder::Create(&why);
    auto second = ViewerTempFolder::Create(&why);
    ASSERT_TRUE(first && second) << why;
    EXPECT_NE(first->Path(), second->Path());
    EXPECT_EQ(first->Path().parent_path(), m_tmp);
    EXPECT_EQ(fs::status(first->Path()).permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_EQ(first->HtmlPath().filename(), "TempPrintDoc.htm");
    EXPECT_EQ(first->PrintCopyPath().filename(), "TempPrintDoc.doc");

    WriteFile(second->PrintCopyPath(), "second letter");
    ASSERT_TRUE(
        ConvertDocument(RealMardle("writes"), second->PrintCopyPath(), second->HtmlPath()).Converted());
    WriteFile(first->PrintCopyPath(), "first letter");
    ASSERT_TRUE(ConvertDocument(RealMardle("writes"), first->PrintCopyPath(), first->HtmlPath()).Converted());
    EXPECT_EQ(ReadFile(second->HtmlPath()), "<html><body>converted second letter</body></html>");
    EXPECT_EQ(ReadFile(first->HtmlPath()), "<html><body>converted first letter</body></html>");

    const fs::path firstPath = first->Path();
    first.reset();
    EXPECT_FALSE(fs::exists(firstPath));
    EXPECT_TRUE(fs::exists(second->HtmlPath()));

    EXPECT_EQ(ViewerTempFolder::Create(&why, m_temp.Path() / "no" / "such"), nullptr);
    EXPECT_NE(why.find("no/such"), std::string::npos) << why;
}

}  // namespace
}  // namespace display
