// Tests of the debug log: session lines, appending across runs, a failed open, concurrent first writers and
// the bounded formatting of the process-wide log.
#include "suite/debug_log.h"

#include <gtest/gtest.h>

#include <latch>
#include <set>
#include <thread>
#include <vector>

#include "testsupport/test_support.h"

namespace suite {
namespace {

constexpr std::string_view kStart = "Start logging session...\r\n";
constexpr std::string_view kEnd = "End logging session\r\n";

size_t CountOf(const std::string& text, std::string_view what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) {
        ++count;
    }
    return count;
}

TEST(DebugLogTest, ASessionIsFramedAndASecondRunAppends) {
    testsupport::TempFolder temp;
    const auto path = temp.Path() / "log.txt";
    {
        CSBCFile log(path);
        EXPECT_FALSE(std::filesystem::exists(path)) << "opened only at the first message";
        log.DebugLog("first\r\n");
        log.DebugLog("second");
        EXPECT_TRUE(log.IsOpen());
    }
    EXPECT_EQ(testsupport::ReadFile(path), std::string(kStart) + "first\r\nsecond" + std::string(kEnd));
    {
        CSBCFile log(path);
        log.DebugLog("third\r\n");
    }
    EXPECT_EQ(testsupport::ReadFile(path), std::string(kStart) + "first\r\nsecond" + std::string(kEnd) +
                                               std::string(kStart) + "third\r\n" + std::string(kEnd));
}

TEST(DebugLogTest, AnUnusedLogLeavesNoFile) {
    testsupport::TempFolder temp;
    { CSBCFile log(temp.Path() / "log.txt"); }
    EXPECT_FALSE(std::filesystem::exists(temp.Path() / "log.txt"));
}

TEST(DebugLogTest, AFailedOpenIsNeverRetried) {
    testsupport::TempFolder temp;
    const auto folder = temp.Path() / "later";
    CSBCFile log(folder / "log.txt");
    log.DebugLog("lost\r\n");
    EXPECT_TRUE(log.OpenFailed());
    EXPECT_FALSE(log.IsOpen());
    std::filesystem::create_directories(folder);
    log.DebugLog("also lost\r\n");
    EXPECT_FALSE(std::filesystem::exists(folder / "log.txt"));
    EXPECT_EQ(log.SignalSafeFd(), -1);
}

TEST(DebugLogTest, ConcurrentFirstWritersOpenOnceAndNeverTearALine) {
    testsupport::TempFolder temp;
    const auto path = temp.Path() / "log.txt";
    constexpr int kThreads = 8;
    constexpr int kLines = 200;
    {
        CSBCFile log(path);
        std::latch start(kThreads);
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                start.arrive_and_wait();
                for (int i = 0; i < kLines; ++i) {
                    // Long enough that a torn write would show.
                    log.DebugLog("thread " + std::to_string(t) + " line " + std::to_string(i) + " " +
                                 std::string(200, static_cast<char>('a' + t)) + "\r\n");
                }
            });
        }
        for (auto& thread : threads) {
            thread.join();
        }
    }
    const std::string text = testsupport::ReadFile(path);
    ASSERT_TRUE(text.starts_with(kStart));
    EXPECT_EQ(CountOf(text, kStart), 1u);
    ASSERT_TRUE(text.ends_with(kEnd));

    const std::string body = text.substr(kStart.size(), text.size() - kStart.size() - kEnd.size());
    std::set<std::string> seen;
    size_t at = 0;
    while (at < body.size()) {
        const size_t end = body.find("\r\n", at);
        ASSERT_NE(end, std::string::npos);
        const std::string line = body.substr(at, end - at);
        int t = -1;
        int i = -1;
        ASSERT_EQ(std::sscanf(line.c_str(), "thread %d line %d", &t, &i), 2) << line;
        ASSERT_TRUE(t >= 0 && t < kThreads);
        EXPECT_TRUE(line.ends_with(" " + std::string(200, static_cast<char>('a' + t)))) << line;
        EXPECT_TRUE(seen.insert(line).second) << "line twice: " << line;
        at = end + 2;
    }
    EXPECT_EQ(seen.size(), static_cast<size_t>(kThreads * kLines));
}

TEST(DebugLogTest, ProcessLogIsInTheWorkingFolderAndFormatsBounded) {
    testsupport::TempFolder temp;
    const int status = testsupport::RunInChild([&] {
        ASSERT_EQ(chdir(temp.Path().c_str()), 0);
        DebugPrint("value %d of %s\r\n", 42, "answer");
        EXPECT_EQ(ProcessDebugLogFd(), ProcessDebugLog().SignalSafeFd());
        EXPECT_GE(ProcessDebugLogFd(), 0);
        const std::string huge(5000, 'z');
        DebugPrint("%s", huge.c_str());
        const std::string text = testsupport::ReadFile(temp.Path() / "QuilletDebugLog.txt");
        EXPECT_EQ(text, std::string(kStart) + "value 42 of answer\r\n" + std::string(1023, 'z'));
    });
    EXPECT_TRUE(testsupport::ExitedCleanly(status));
}

}  // namespace
}  // namespace suite
