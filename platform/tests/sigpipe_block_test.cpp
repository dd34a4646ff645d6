// SIGPIPE held off one thread for a scope: a write to a closed pipe fails with EPIPE and no signal reaches
// the process, while the caller's mask and a signal pending from before are left as they were.
#include "platform/sigpipe_block.h"

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <ctime>
#include <thread>

#include <gtest/gtest.h>

namespace platform {
namespace {

std::atomic<int> g_delivered{0};

void CountSigpipe(int) {
    g_delivered.fetch_add(1);
}

bool Blocked() {
    sigset_t mask;
    pthread_sigmask(SIG_SETMASK, nullptr, &mask);
    return sigismember(&mask, SIGPIPE) == 1;
}

bool Pending() {
    sigset_t pending;
    return sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
}

// Counts SIGPIPE deliveries instead of ending the test program, for one test.
class SigpipeBlockTest : public ::testing::Test {
  protected:
    void SetUp() override {
        struct sigaction count {};
        count.sa_handler = CountSigpipe;
        sigemptyset(&count.sa_mask);
        ASSERT_EQ(sigaction(SIGPIPE, &count, &m_previous), 0);
        g_delivered = 0;
    }
    void TearDown() override { sigaction(SIGPIPE, &m_previous, nullptr); }

  private:
    struct sigaction m_previous {};
};

TEST_F(SigpipeBlockTest, WriteToAClosedPipeFailsWithoutSignal) {
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    ::close(ends[0]);
    ASSERT_FALSE(Blocked());
    {
        SigpipeBlock block;
        EXPECT_TRUE(Blocked());
        EXPECT_EQ(::write(ends[1], "x", 1), -1);
        EXPECT_EQ(errno, EPIPE);
    }
    EXPECT_EQ(errno, EPIPE);  // the caller still reads why the write failed
    EXPECT_FALSE(Blocked());
    EXPECT_FALSE(Pending());
    EXPECT_EQ(g_delivered.load(), 0);
    ::close(ends[1]);
}

TEST_F(SigpipeBlockTest, LeavesTheCallersMaskAndAnEarlierSignal) {
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    sigset_t previous;
    ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &pipe, &previous), 0);
    ASSERT_EQ(pthread_kill(pthread_self(), SIGPIPE), 0);
    ASSERT_TRUE(Pending());
    { SigpipeBlock block; }
    EXPECT_TRUE(Blocked());
    EXPECT_TRUE(Pending());  // not ours to swallow
    const timespec zero{};
    EXPECT_EQ(sigtimedwait(&pipe, nullptr, &zero), SIGPIPE);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    EXPECT_EQ(g_delivered.load(), 0);
}

TEST_F(SigpipeBlockTest, OneWriteToAClosedPipeFailsWithoutSignal) {
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    EXPECT_EQ(WriteWithoutSigpipe(ends[1], "ab", 2), 2);
    ::close(ends[0]);
    EXPECT_EQ(WriteWithoutSigpipe(ends[1], "x", 1), -1);
    EXPECT_EQ(errno, EPIPE);
    EXPECT_FALSE(Blocked());
    EXPECT_FALSE(Pending());
    EXPECT_EQ(g_delivered.load(), 0);
    ::close(ends[1]);
}

// With SIGPIPE blocked by the caller and one already pending, `write` to a closed pipe fails with EPIPE and
// leaves both; the caller's mask is restored afterwards.
void ExpectCallersBlockAndSignalLeft(ssize_t (*write)(int, const void*, size_t)) {
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    ::close(ends[0]);
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    sigset_t previous;
    ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &pipe, &previous), 0);
    ASSERT_EQ(pthread_kill(pthread_self(), SIGPIPE), 0);
    EXPECT_EQ(write(ends[1], "x", 1), -1);
    EXPECT_EQ(errno, EPIPE);
    EXPECT_TRUE(Blocked());
    EXPECT_TRUE(Pending());  // not ours to swallow
    const timespec zero{};
    EXPECT_EQ(sigtimedwait(&pipe, nullptr, &zero), SIGPIPE);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    ::close(ends[1]);
}

TEST_F(SigpipeBlockTest, OneWriteLeavesTheCallersMaskAndAnEarlierSignal) {
    ExpectCallersBlockAndSignalLeft(WriteWithoutSigpipe);
    EXPECT_EQ(g_delivered.load(), 0);
}

// The held block on a thread of its own, as each thread's first call decides for that thread.
TEST_F(SigpipeBlockTest, HeldWritesToAClosedPipeFailWithoutSignal) {
    std::thread([] {
        int ends[2];
        ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
        ASSERT_FALSE(Blocked());
        EXPECT_EQ(WriteHoldingSigpipe(ends[1], "ab", 2), 2);
        EXPECT_TRUE(Blocked());  // from the first call on
        char got[2] = {};
        EXPECT_EQ(::read(ends[0], got, 2), 2);
        ::close(ends[0]);
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(WriteHoldingSigpipe(ends[1], "x", 1), -1);
            EXPECT_EQ(errno, EPIPE);
            EXPECT_FALSE(Pending());
        }
        ::close(ends[1]);
    }).join();
    EXPECT_EQ(g_delivered.load(), 0);
}

TEST_F(SigpipeBlockTest, HeldWriteLeavesTheCallersOwnBlockAndAnEarlierSignal) {
    std::thread([] {
        ExpectCallersBlockAndSignalLeft(WriteHoldingSigpipe);
        // Unblocked again by its owner: the next write still raises nothing.
        int ends[2];
        ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
        ::close(ends[0]);
        EXPECT_EQ(WriteHoldingSigpipe(ends[1], "x", 1), -1);
        EXPECT_EQ(errno, EPIPE);
        EXPECT_FALSE(Blocked());
        EXPECT_FALSE(Pending());
        ::close(ends[1]);
    }).join();
    EXPECT_EQ(g_delivered.load(), 0);
}

}  // namespace
}  // namespace platform
