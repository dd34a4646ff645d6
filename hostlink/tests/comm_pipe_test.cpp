// The pipe base: the host's synchronisation and error reports, the framing writes and their failures,
// channel prefixes, the login error texts, option tokens and the hand-over mappings.
#include "hostlink/comm_pipe.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "carrowline/version.h"
#include "hostlink/tests/fake_pipe.h"
#include "platform/user_prompt.h"

namespace hostlink {
namespace {

using testing::ScriptedPipe;

struct SyncCase {
    const char* name;
    std::string input;
    bool throws;
    int32_t remote;
    std::string text;      // the thrown error's user text
    std::size_t consumed;  // bytes read when it returned
};

TEST(RecvSync, HostReportsAndSynchronisation) {
    const std::string esc = "\x1b";
    const std::vector<SyncCase> cases = {
        {"plain bytes then sync", "abc~X", false, 0, "", 4},
        {"error report P", esc + "[%Bad user\x01P~", true, 1, "Bad user", 0},
        {"error report I", esc + "[%Locked\x01I", true, 1, "Locked", 0},
        {"other escape dropped", esc + "[x~", false, 0, "", 4},
        {"ordinary command dropped", esc + "[%Title\x01O~Z", false, 0, "", 11},
        {"ESC eats the tilde", esc + "~ab~", false, 0, "", 5},
        {"ESC [ then tilde", esc + "[~~", false, 0, "", 4},
        {"empty error text", esc + "[%\x01P", true, 1, "", 0},
        {"long error text cut", esc + "[%" + std::string(5000, 'x') + "\x01P", true, 1,
         std::string(1024, 'x'), 0},
        {"ends before sync", "abc", true, 0,
         "Error During Login\n\nError Number: 109\n\nFrom: RecvSync(): Read Error", 0},
        {"ends inside report", esc + "[%Bad", true, 0,
         "Error During Login\n\nError Number: 109\n\nFrom: ParseRemoteError(): Read Error", 0},
    };
    for (const SyncCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedPipe pipe(c.input);
        if (c.throws) {
            try {
                pipe.RecvSync();
                ADD_FAILURE() << "no throw";
            } catch (const CCommErr& err) {
                EXPECT_EQ(err.m_remote, c.remote);
                EXPECT_EQ(err.UserText(), c.text);
            }
        } else {
            EXPECT_NO_THROW(pipe.RecvSync());
            EXPECT_EQ(pipe.m_readPos, c.consumed);
        }
    }
}

TEST(Framing, WritesAndTheirFailures) {
    ScriptedPipe pipe;
    pipe.XmitString(std::nullopt);
    pipe.XmitString("");
    pipe.XmitString("user");
    pipe.XmitInteger(-42);
    pipe.XmitFormat("%d %s %d\n", 0x10090, "ID", 7);
    EXPECT_EQ(pipe.m_written, "\n\nuser\n-42\n65680 ID 7\n");

    struct FailCase {
        int failWrite;
        std::function<void(ScriptedPipe&)> call;
        std::string source;
    };
    const std::vector<FailCase> failures = {
        {0, [](ScriptedPipe& p) { p.XmitString("text"); }, "XmitString(): Write Error"},
        {1, [](ScriptedPipe& p) { p.XmitString("text"); }, "XmitString(): Write Terminator Error"},
        {0, [](ScriptedPipe& p) { p.XmitString(""); }, "XmitString(): Write Terminator Error"},
        {0, [](ScriptedPipe& p) { p.XmitInteger(1); }, "XmitInteger(): Write Error"},
        {0, [](ScriptedPipe& p) { p.XmitFormat("%s", "x"); }, "XmitFormat(): Write Error"},
    };
    for (const FailCase& f : failures) {
        SCOPED_TRACE(f.source);
        ScriptedPipe failing;
        failing.m_failWrite = f.failWrite;
        try {
            f.call(failing);
            ADD_FAILURE() << "no throw";
        } catch (const CCommErr& err) {
            EXPECT_EQ(err.m_source, f.source);
            EXPECT_EQ(err.m_error, 232);
            EXPECT_EQ(err.m_remote, 0);
        }
    }
}

TEST(Framing, OverlongFormatIsRefusedNotCut) {
    ScriptedPipe pipe;
    const std::string big(600, 'x');
    EXPECT_THROW(pipe.XmitFormat("%s\n", big.c_str()), CCommErr);
    EXPECT_EQ(pipe.m_written, "");
    const std::string fits(510, 'y');
    pipe.XmitFormat("%s\n", fits.c_str());
    EXPECT_EQ(pipe.m_written, fits + "\n");
}

TEST(CommErr, UserTexts) {
    EXPECT_EQ(CCommErr().UserText(), "Error During Login\n\nUnable to Authenticate\n");
    EXPECT_EQ(CCommErr(10054, 0, "", "XmitString(): Write Error").UserText(),
              "Error During Login\n\nError Number: 10054\n\nFrom: XmitString(): Write Error");
    EXPECT_EQ(CCommErr(5, 1, "Host says no", "x").UserText(), "Host says no");
}

TEST(ChannelPrefix, OnlyWhenSetAndAsOneBlock) {
    ScriptedPipe pipe;
    EXPECT_TRUE(pipe.WriteChannel1("A", 1));
    EXPECT_EQ(pipe.m_written, "A");
    pipe.SetChannelPrefix(1);
    EXPECT_EQ(pipe.GetChannelPrefix(), 1);
    pipe.m_written.clear();
    EXPECT_TRUE(pipe.WriteChannel1("A", 1));
    EXPECT_TRUE(pipe.WriteChannel0("B", 1));
    EXPECT_EQ(pipe.m_written, std::string("\x1b\\1\x01-1\x01"
                                          "A\x1b\\0\x01-1\x01"
                                          "B"));
    // A failed prefix write does not decide; the block's own write does.
    pipe.m_failWrite = pipe.m_writes;
    EXPECT_TRUE(pipe.WriteChannel0("C", 1));
    pipe.m_failWrite = pipe.m_writes + 1;
    EXPECT_FALSE(pipe.WriteChannel0("D", 1));
}

TEST(Options, TokensAndNumbers) {
    using options::DecimalPrefix;
    using options::SplitTokens;
    EXPECT_EQ(SplitTokens(" -t5\t-p2  -#7 pw "), (std::vector<std::string>{"-t5", "-p2", "-#7", "pw"}));
    EXPECT_EQ(SplitTokens(std::string(600, 'a')).at(0).size(), 511u);

    struct NumberCase {
        const char* text;
        int32_t value;
    };
    for (const NumberCase& c : std::vector<NumberCase>{{"5", 5},
                                                       {"12abc", 12},
                                                       {"", 0},
                                                       {"x1", 0},
                                                       {"-3", -3},
                                                       {"99999999999", INT32_MAX},
                                                       {"-99999999999", INT32_MIN}}) {
        EXPECT_EQ(DecimalPrefix(c.text), c.value) << c.text;
    }
}

TEST(Versions, LoginNumberIsTheFourPartsAsDigits) {
    using namespace carrowline;
    // "%.2d%.2d%.2d%.3d" read as one decimal number, for parts that fit their digits.
    if (kVersionMinor < 100 && kVersionPatch < 100 && kVersionBuild < 1000) {
        EXPECT_EQ(LoginVersionNumber(),
                  ((kVersionMajor * 100 + kVersionMinor) * 100 + kVersionPatch) * 1000 + kVersionBuild);
    }
    EXPECT_EQ(VarnelVersionNumber(), kVersionMajor * 1000 + (kVersionBuild & 0xFF));
}

TEST(StateMapping, HeaderRecordAndHandleHandling) {
    platform::RecordingPrompt prompt;
    platform::ScopedDefaultPrompt scoped(prompt);
    const std::vector<uint8_t> record = {1, 2, 3, 4, 5};

    platform::UniqueFd with = CreateStateMapping("local", record, true);
    ASSERT_TRUE(with);
    std::vector<uint8_t> bytes(85);
    ASSERT_EQ(::pread(with.Get(), bytes.data(), bytes.size(), 0), 85);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes.data()), 5), "local");
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 5, bytes.begin() + 80), std::vector<uint8_t>(75, 0));
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 80, bytes.end()), record);
    EXPECT_NE(::fcntl(with.Get(), F_GETFD) & FD_CLOEXEC, 0);

    platform::UniqueFd without = CreateStateMapping("local", record, false);
    const int handle = without.Release();
    auto read = ReadStateMapping(handle, 0, record.size());
    ASSERT_TRUE(read);
    EXPECT_EQ(*read, record);
    EXPECT_LT(::fcntl(handle, F_GETFD), 0) << "the handle is closed once read";

    // A handle this process does not hold, with no source process, fails with the Windows text.
    EXPECT_FALSE(ReadStateMapping(handle, 0, record.size()));
    EXPECT_EQ(prompt.Texts(), std::vector<std::string>{"Error opening source process"});
}

}  // namespace
}  // namespace hostlink
