// The connection life cycle over scripted pipes: Login's answers, the container hand-shake, the reader's
// hand-over and teardown, keys at teardown, reconnecting, the DetachRecord and the new-window hand-over.
#include "terminal/control/quillet_session.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <initializer_list>
#include <string_view>
#include <thread>

#include "platform/user_prompt.h"
#include "practice/memory_mapped_file.h"
#include "suite/registry_settings.h"
#include "terminal/control/detach_record.h"
#include "terminal/control/tests/session_fakes.h"
#include "terminal/core/inkey.h"
#include "testsupport/test_support.h"

namespace terminal {
namespace {

using testing::FakeControl;
using testing::FakeFactory;
using testing::FakeLine;

class SessionTest : public testsupport::RegistryTest {
  protected:
    void SetUp() override {
        RegistryTest::SetUp();
        m_runtime = m_temp.Path() / "run";
        std::filesystem::create_directories(m_runtime);
        std::filesystem::permissions(m_runtime, std::filesystem::perms::owner_all);
        m_env.Set("XDG_RUNTIME_DIR", m_runtime.string());
        m_scopedPrompt.emplace(m_prompt);
    }
    void TearDown() override {
        m_session.reset();
        m_scopedPrompt.reset();
        RegistryTest::TearDown();
    }

    CQuilletSession& Session(std::chrono::milliseconds handshake = std::chrono::milliseconds(5000),
                             std::chrono::milliseconds drain = std::chrono::milliseconds(5000)) {
        CQuilletSession::Options options;
        options.handshakeTimeout = handshake;
        options.drainTimeout = drain;
        options.factory = std::make_unique<FakeFactory>(m_shared);
        m_session = std::make_unique<CQuilletSession>(m_control, m_props, std::move(options));
        return *m_session;
    }
    std::shared_ptr<FakeLine> Line(std::size_t index) {
        std::lock_guard lock(m_shared->mutex);
        return index < m_shared->lines.size() ? m_shared->lines[index] : nullptr;
    }
    std::size_t Lines() {
        std::lock_guard lock(m_shared->mutex);
        return m_shared->lines.size();
    }
    void PutLocalServer() {
        const std::string key = suite::ServerKey(suite::ClientMode::Local);
        ASSERT_EQ(
            Reg().SetValue(platform::HKey::LocalMachine, key, "SorelData", platform::RegValue::String("/d")),
            0);
        ASSERT_EQ(
            Reg().SetValue(platform::HKey::LocalMachine, key, "SorelProgs", platform::RegValue::String("/p")),
            0);
    }
    // A connected local session on line 0 with its reader waiting in Read.
    void ConnectLocal(CQuilletSession& session) {
        m_props.m_Connector = "local";
        ASSERT_EQ(session.Connect(), 0);
        ASSERT_TRUE(Line(Lines() - 1)->WaitInRead());
    }
    std::optional<uint32_t> Program() {
        platform::RegValue value;
        if (Reg().QueryValue(platform::HKey::CurrentUser, suite::kCompanyKey, "PROGRAM", value) != 0) {
            return std::nullopt;
        }
        return value.AsDword();
    }

    std::filesystem::path m_runtime;
    std::shared_ptr<FakeFactory::Shared> m_shared = std::make_shared<FakeFactory::Shared>();
    FakeControl m_control;
    QuilletProperties m_props;
    platform::RecordingPrompt m_prompt;
    std::optional<platform::ScopedDefaultPrompt> m_scopedPrompt;
    std::unique_ptr<CQuilletSession> m_session;
};

// ---- Login ----

// A practice block in an inherited-style mapping; the fd number goes on the command line.
int PracticeBlockFd(bool remote) {
    practice::CPracticeConn conn;
    conn.m_Name = "Clinic";
    conn.m_ConnType = remote ? 1 : 0;
    conn.m_Host = "10.0.0.9";
    conn.m_SorelData = "/data/clinic";
    conn.m_PortNumber = 8100;
    conn.m_BillServID = 7;
    auto mapping = practice::WritePracticeConnBlock(conn);
    return mapping ? ::dup(mapping->Fd()) : -1;
}

struct LoginCase {
    const char* name;
    int16_t type;
    std::string
        commandLine;  // "{fd}" is replaced by a practice block's fd, "{small}" by a 100-byte mapping's
    bool localServerKeys;
    int32_t result;
    std::size_t pipesMade;
};

class LoginTableTest : public SessionTest, public ::testing::WithParamInterface<LoginCase> {};

TEST_P(LoginTableTest, AnswersWithTheRightCode) {
    const LoginCase& c = GetParam();
    if (c.localServerKeys) {
        PutLocalServer();
    }
    std::string line = c.commandLine;
    int fd = -1;
    if (const auto at = line.find("{fd}"); at != std::string::npos) {
        fd = PracticeBlockFd(false);
        ASSERT_GE(fd, 0);
        line.replace(at, 4, std::to_string(fd));
    }
    int smallFd = -1;
    if (const auto at = line.find("{small}"); at != std::string::npos) {
        auto small = platform::SharedMapping::Create(100);
        smallFd = ::dup(small->Fd());
        line.replace(at, 7, std::to_string(smallFd));
    }
    if (const auto at = line.find("{damaged}"); at != std::string::npos) {
        auto damaged = platform::SharedMapping::Create(practice::kPracticeConnBlockSize);
        std::memset(damaged->Data(), 0xFF, damaged->Size());
        line.replace(at, 9, std::to_string(::dup(damaged->Fd())));
    }
    CQuilletSession& session = Session();
    EXPECT_EQ(session.Login(c.type, line), c.result);
    EXPECT_EQ(Lines(), c.pipesMade);
    EXPECT_EQ(session.HasPipe(), c.result == kLoginOk);
    if (c.result == kEFail && c.type == 1) {
        EXPECT_FALSE(m_prompt.Texts().empty()) << "a refused block is reported";
    }
    // Descriptors that are not the practice block are left alone; fd 0 is never taken for one.
    EXPECT_NE(::fcntl(0, F_GETFD), -1);
    if (smallFd >= 0) {
        EXPECT_NE(::fcntl(smallFd, F_GETFD), -1);
        ::close(smallFd);
    }
    if (fd >= 0 && c.result == kLoginOk) {
        EXPECT_EQ(::fcntl(fd, F_GETFD), -1) << "the block's handle is closed once read";
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, LoginTableTest,
                         ::testing::Values(LoginCase{"NoX", 1, "-h -s", false, kLoginUsage, 0},
                                           LoginCase{"XWithoutDigits", 1, "-X -s", false, kEFail, 0},
                                           LoginCase{"XAtTheEnd", 1, "-X", false, kEFail, 0},
                                           LoginCase{"XOverflow", 1, "-X 99999999999999999999", false, kEFail,
                                                     0},
                                           LoginCase{"XWrongSizeMapping", 1, "-X {small}", false, kEFail, 0},
                                           LoginCase{"XDamagedBlock", 1, "-X {damaged}", false, kEFail, 0},
                                           LoginCase{"XWithBlank", 1, "-X {fd} -s", false, kLoginOk, 1},
                                           LoginCase{"XWithoutBlank", 1, "-X{fd}", false, kLoginOk, 1},
                                           LoginCase{"RemoteFromRegistry", 2, "-h", false, kLoginOk, 1},
                                           LoginCase{"LocalMissingKeys", 3, "-l", false, kEFail, 0},
                                           LoginCase{"LocalFromRegistry", 3, "-l", true, kLoginOk, 1},
                                           LoginCase{"UnknownType", 4, "-l", true, kEInvalidArg, 0},
                                           LoginCase{"TypeZero", 0, "", true, kEInvalidArg, 0}),
                         [](const ::testing::TestParamInfo<LoginCase>& info) { return info.param.name; });

TEST_F(SessionTest, LoginTypeOneTakesThePracticeAndPassesTheRestOfTheLine) {
    const int fd = PracticeBlockFd(true);
    CQuilletSession& session = Session();
    ASSERT_EQ(session.Login(1, "-X " + std::to_string(fd) + "   -s -t3"), kLoginOk);
    EXPECT_EQ(m_props.m_Connector, "remote");
    EXPECT_EQ(m_props.m_RemoteHost, "10.0.0.9");
    EXPECT_EQ(m_props.m_RemotePort, 8100);
    EXPECT_EQ(m_props.m_BillServID, 7);
    EXPECT_EQ(suite::GetClientMode(), suite::ClientMode::Remote);
    const auto journal = Line(0)->Journal();
    ASSERT_GE(journal.size(), 3u);
    EXPECT_EQ(journal[0], "practice Clinic");
    EXPECT_EQ(journal[1], "options [-s -t3] keep");
    EXPECT_EQ(journal[2], "open");
    EXPECT_EQ(Program(), 2u);
    EXPECT_EQ(m_control.Count("ShowContainer"), 1);
}

TEST_F(SessionTest, LoginTypeThreeConfiguresTheLocalPipeAndRecordsTheProgram) {
    PutLocalServer();
    CQuilletSession& session = Session();
    ASSERT_EQ(session.Login(3, "-l"), kLoginOk);
    EXPECT_EQ(m_props.m_LocalDataSet, "/d");
    EXPECT_EQ(m_props.m_LocalSorelProgs, "/p");
    EXPECT_EQ(Program(), 1u);
    std::lock_guard lock(m_shared->mutex);
    EXPECT_EQ(m_shared->calls, (std::vector<std::string>{"empty local", "local /d /p"}));
}

TEST_F(SessionTest, LoginFailuresOfTheWayIn) {
    PutLocalServer();
    {
        m_shared->script.parseResult = false;
        CQuilletSession& session = Session();
        EXPECT_EQ(session.Login(3, "-bogus"), kLoginUsage);
        EXPECT_FALSE(session.HasPipe());
    }
    {
        m_shared->script.parseResult = true;
        m_shared->script.openResult = false;
        CQuilletSession& session = Session();
        EXPECT_EQ(session.Login(3, "-l"), kEFail);
        EXPECT_FALSE(session.HasPipe());
        EXPECT_EQ(Line(Lines() - 1)->Journal().back(), "destroyed");
    }
    {
        m_shared->script.openResult = true;
        m_shared->remoteSettings = false;
        CQuilletSession& session = Session();
        EXPECT_EQ(session.Login(2, "-h"), kEFail);
        EXPECT_FALSE(session.HasPipe());
    }
}

TEST_F(SessionTest, LoginWhileAPipeIsHeldIsRefused) {
    PutLocalServer();
    CQuilletSession& session = Session();
    ASSERT_EQ(session.Login(3, "-l"), kLoginOk);
    EXPECT_EQ(session.Login(3, "-l"), kEFail);
    EXPECT_EQ(Lines(), 1u);
}

TEST_F(SessionTest, LoginSucceedsWhenTheProgramValueCannotBeWritten) {
    PutLocalServer();
    // A user hive that cannot be written.
    const auto userHive = m_temp.Path() / "user.reg";
    std::filesystem::remove(userHive);
    std::filesystem::create_directories(userHive);
    CQuilletSession& session = Session();
    EXPECT_EQ(session.Login(3, "-l"), kLoginOk);
    EXPECT_TRUE(session.HasPipe());
    ASSERT_FALSE(m_control.m_log.empty());
    EXPECT_NE(m_control.m_log.back().find("PROGRAM"), std::string::npos);
}

// ---- Hand-shake ----

TEST_F(SessionTest, MissedHandshakeFailsTheStartAndClosesThePipe) {
    PutLocalServer();
    m_control.m_answerShowContainer = false;
    CQuilletSession& session = Session(std::chrono::milliseconds(50));
    EXPECT_EQ(session.Login(3, "-l"), kEFail);
    EXPECT_FALSE(session.HasPipe());
    const auto journal = Line(0)->Journal();
    EXPECT_EQ(journal, (std::vector<std::string>{"options [-l]", "open", "close", "destroyed"}));
    EXPECT_EQ(m_control.Count("show"), 0) << "no threads, no connected UI";

    m_props.m_InVarnel = true;
    m_props.m_Connector = "remote";
    EXPECT_EQ(session.Connect(), 1);
    EXPECT_FALSE(session.HasPipe());
}

TEST_F(SessionTest, ConnectInsideTheContainerWaitsForTheHandshake) {
    m_props.m_InVarnel = true;
    m_props.m_Connector = "remote";
    CQuilletSession& session = Session();
    EXPECT_EQ(session.Connect(), 0);
    EXPECT_EQ(m_control.Count("ShowContainer"), 1);
    EXPECT_EQ(m_control.Count("menu"), 1);
    EXPECT_EQ(session.Connect(), 1);
    EXPECT_EQ(m_prompt.Texts().back(), "Control Already Connected");
}

TEST_F(SessionTest, ConnectRefusals) {
    CQuilletSession& session = Session();
    m_control.m_windowValid = false;
    EXPECT_EQ(session.Connect(), 1);
    m_control.m_windowValid = true;
    m_props.m_Connector = "serial";
    EXPECT_EQ(session.Connect(), 1);
    m_props.m_InVarnel = true;
    m_props.m_Connector = "local";
    m_shared->script.openResult = false;
    EXPECT_EQ(session.Connect(), kCallRejected);
    EXPECT_EQ(m_prompt.Texts(),
              (std::vector<std::string>{"Window handle is invalid", "Invalid Connector Specified"}));
    EXPECT_FALSE(session.HasPipe());
}

// ---- Reader and teardown ----

TEST_F(SessionTest, HostBytesReachTheScreenOneBlockAtATime) {
    CQuilletSession& session = Session();
    ConnectLocal(session);
    const std::string big(2500, 'x');
    Line(0)->Feed(big);
    ASSERT_TRUE(m_control.PumpUntil([&] { return m_control.HostDataSeen().size() == big.size(); }));
    EXPECT_EQ(m_control.m_blocks, 3) << "at most 1024 bytes a block";
    Line(0)->Feed("tail");
    ASSERT_TRUE(m_control.PumpUntil([&] { return m_control.HostDataSeen() == big + "tail"; }));
}

TEST_F(SessionTest, ReadFailureTearsDownOnceAndFiresOneSorelExit) {
    CQuilletSession& session = Session();
    ConnectLocal(session);
    Line(0)->Feed("abc");
    Line(0)->FailRead();
    ASSERT_TRUE(m_control.PumpUntil([&] { return m_control.Count("SorelExit") > 0; }));
    m_control.PumpPending();
    EXPECT_EQ(m_control.Count("SorelExit"), 1);
    EXPECT_EQ(m_control.Count("ended"), 1);
    EXPECT_EQ(m_control.HostDataSeen(), "abc");
    EXPECT_FALSE(session.HasPipe());
    EXPECT_EQ(m_props.m_chainable, 1);
    // A later disconnect finds nothing to do.
    session.Disconnect(true, true);
    EXPECT_EQ(m_control.Count("SorelExit"), 1);
}

TEST_F(SessionTest, PostCloseOnSorelExitClosesTheFrameInstead) {
    m_props.m_PostCloseOnSorelExit = true;
    CQuilletSession& session = Session();
    ConnectLocal(session);
    Line(0)->FailRead();
    ASSERT_TRUE(m_control.PumpUntil([&] { return m_control.Count("CloseFrame") > 0; }));
    EXPECT_EQ(m_control.Count("SorelExit"), 0);
}

TEST_F(SessionTest, TeardownFromAHostCommandInsideTheDataHandOver) {
    CQuilletSession& session = Session();
    ConnectLocal(session);
    m_control.m_onHostData = [&] { session.Disconnect(false, true); };
    Line(0)->Feed("cmd");
    ASSERT_TRUE(m_control.PumpUntil([&] { return m_control.Count("ended repaint") == 1; }));
    EXPECT_FALSE(session.HasPipe());
    EXPECT_EQ(m_control.Count("SorelExit"), 0);
}

TEST_F(SessionTest, DestructionDuringABlockedReadWakesTheReaderAndLeavesADetachRecord) {
    {
        CQuilletSession& session = Session();
        ConnectLocal(session);
        m_session.reset();
    }
    const auto journal = Line(0)->Journal();
    EXPECT_NE(std::find(journal.begin(), journal.end(), "save state"), journal.end());
    EXPECT_EQ(journal.back(), "destroyed");
    // Bytes the host sends afterwards were not taken by the old reader.
    Line(0)->Feed("later");
    m_control.PumpPending();
    EXPECT_EQ(m_control.HostDataSeen(), "");
    DetachRecord record;
    ASSERT_EQ(ReadDetachRecord(m_runtime / ("detach" + std::to_string(::getpid()) + ".dat"), record),
              DetachReadResult::Read);
    EXPECT_EQ(record.isRemote, 0);
    EXPECT_EQ(record.chainable, 1);
    EXPECT_EQ(::close(record.stateHandle), 0) << "left open for the next control";
    EXPECT_EQ(::close(record.snapshotHandle), 0);
}

TEST_F(SessionTest, DestructionWithoutAPrivateFolderShowsWhyAndEndsTheSession) {
    std::filesystem::permissions(m_runtime, std::filesystem::perms::all);
    CQuilletSession& session = Session();
    ConnectLocal(session);
    m_session.reset();
    EXPECT_EQ(m_prompt.Texts(), std::vector<std::string>{"Error opening detach file"});
    const auto journal = Line(0)->Journal();
    ASSERT_GE(journal.size(), 2u);
    EXPECT_EQ(journal[journal.size() - 2], "close");
    EXPECT_EQ(journal.back(), "destroyed");
    EXPECT_TRUE(std::filesystem::is_empty(m_runtime));
}

// Host bytes the reader took but the screen had not shown when the control went stay with the detached
// session: the control that adopts it shows them first.
struct UnshownCase {
    const char* name;
    // The block's task is queued but not run; else the block arrives just as the reader is stopped.
    bool taskQueued;
};

void PrintTo(const UnshownCase& c, std::ostream* out) {
    *out << c.name;
}

class UnshownAtDetachTest : public SessionTest, public ::testing::WithParamInterface<UnshownCase> {};

TEST_P(UnshownAtDetachTest, TheAdoptingControlShowsTheBlockBeforeAnythingItReads) {
    const std::string block = "unshown" + std::string(CQuilletSession::kReadBlock - 8, '.') + "!";
    {
        CQuilletSession& first = Session();
        ConnectLocal(first);
        if (GetParam().taskQueued) {
            Line(0)->Feed(block);
            ASSERT_TRUE(m_control.WaitQueued());
        } else {
            std::lock_guard lock(m_shared->mutex);
            m_shared->feedOnWake = block;
        }
        m_session.reset();
        m_control.PumpPending();  // a task left behind must not touch the gone session
    }
    EXPECT_EQ(m_control.HostDataSeen(), "");
    EXPECT_EQ(m_control.Count("ended"), 1);

    m_control.m_onHostData = [this] { m_control.Event("shown"); };
    CQuilletSession& second = Session();
    ASSERT_EQ(second.ReConnect(), 0);
    EXPECT_EQ(m_control.HostDataSeen(), block);
    const auto events = m_control.Events();
    const auto shown = std::find(events.begin(), events.end(), "shown");
    ASSERT_NE(shown, events.end());
    EXPECT_LT(std::find(events.begin(), events.end(), "restore screen!!"), shown);
    Line(1)->Feed("later");
    ASSERT_TRUE(m_control.PumpUntil([&] { return m_control.HostDataSeen() == block + "later"; }));
    second.Disconnect(false, false);
}

INSTANTIATE_TEST_SUITE_P(Detach, UnshownAtDetachTest,
                         ::testing::Values(UnshownCase{"WhileTheReaderWaitsForTheUserInterface", true},
                                           UnshownCase{"ReadAsTheReaderIsStopped", false}),
                         [](const auto& info) { return std::string(info.param.name); });

// Blocks of 1024 bytes that tell one another apart: block i is "<i>" padded with the letter of i.
std::string NumberedBlocks(int count) {
    std::string stream;
    for (int i = 0; i < count; ++i) {
        std::string block = "<" + std::to_string(i) + ">";
        block.resize(CQuilletSession::kReadBlock, static_cast<char>('a' + i % 26));
        stream += block;
    }
    return stream;
}

TEST_F(SessionTest, AScreenThatFallsBehindStopsTheReaderAndLosesNothing) {
    CQuilletSession& session = Session();
    ConnectLocal(session);
    const std::string stream = NumberedBlocks(300);
    Line(0)->Feed(stream);
    // With the user-interface thread busy elsewhere the reader fills the mailbox and stops reading: the
    // rest stays with the host.
    const std::size_t taken = CQuilletSession::kMailboxBlocks * CQuilletSession::kReadBlock;
    ASSERT_LT(taken, stream.size());
    ASSERT_TRUE(Line(0)->WaitPending(stream.size() - taken));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(Line(0)->Pending(), stream.size() - taken) << "the reader read on into a full mailbox";
    EXPECT_EQ(m_control.Queued(), 1u) << "one wake for every block that waits";
    EXPECT_EQ(m_control.HostDataSeen(), "");

    m_control.RunOne();
    EXPECT_GE(m_control.HostDataSeen().size(), taken) << "the one drain fed every block that waited";
    ASSERT_TRUE(m_control.PumpUntil([&] { return m_control.HostDataSeen().size() == stream.size(); }));
    EXPECT_TRUE(m_control.HostDataSeen() == stream) << "blocks out of order or damaged";
    EXPECT_EQ(m_control.m_blocks, 300);
    EXPECT_EQ(session.BytesShown(), stream.size());
}

// The reader wakes the screen at a block that finds no drain to come, or, with a pipe that says when its
// Read is about to wait, at that moment or once enough blocks wait. Both deliver every byte in order.
class ReaderWakeTest : public SessionTest, public ::testing::WithParamInterface<bool> {
  protected:
    void SetUp() override {
        SessionTest::SetUp();
        m_shared->script.callsBeforeReadWait = GetParam();
    }
};

TEST_P(ReaderWakeTest, BlocksAreShownWhenTheHostPausesAndAfterAFlood) {
    CQuilletSession& session = Session();
    ConnectLocal(session);
    // Whole blocks, fewer than wake the screen by their number, then a pause.
    const std::string whole = NumberedBlocks(3);
    Line(0)->Feed(whole);
    ASSERT_TRUE(m_control.PumpUntil([&] { return m_control.HostDataSeen() == whole; }))
        << "blocks wait in the mailbox while the host pauses";
    // A flood past the wake's count, shown while it comes, then a short line after a pause.
    const std::string flood = NumberedBlocks(static_cast<int>(CQuilletSession::kWakeAfterBlocks) * 3 + 5);
    Line(0)->Feed(flood);
    const std::size_t total = whole.size() + flood.size() + 4;
    ASSERT_TRUE(m_control.PumpUntil([&] { return m_control.HostDataSeen().size() == total - 4; }));
    Line(0)->Feed("tail");
    ASSERT_TRUE(m_control.PumpUntil([&] { return m_control.HostDataSeen().size() == total; }));
    EXPECT_TRUE(m_control.HostDataSeen() == whole + flood + "tail") << "blocks out of order or damaged";
    EXPECT_EQ(session.BytesShown(), total);
}

TEST_P(ReaderWakeTest, AHostThatNeverPausesStillWakesTheScreen) {
    CQuilletSession& session = Session();
    ConnectLocal(session);
    // The pipe never runs out, so it never says it waits: the reader fills the mailbox and stops.
    const std::string stream = NumberedBlocks(300);
    Line(0)->Feed(stream);
    const std::size_t taken = CQuilletSession::kMailboxBlocks * CQuilletSession::kReadBlock;
    ASSERT_TRUE(Line(0)->WaitPending(stream.size() - taken));
    ASSERT_TRUE(m_control.WaitQueued()) << "a full mailbox and no wake";
    ASSERT_TRUE(m_control.PumpUntil([&] { return m_control.HostDataSeen().size() == stream.size(); }));
    EXPECT_TRUE(m_control.HostDataSeen() == stream) << "blocks out of order or damaged";
    EXPECT_EQ(session.BytesShown(), stream.size());
}

INSTANTIATE_TEST_SUITE_P(BothWakes, ReaderWakeTest, ::testing::Bool(), [](const auto& info) {
    return info.param ? std::string("WakeBeforeTheReadWaits") : std::string("WakeAtTheFirstBlock");
});

TEST_F(SessionTest, ADetachFromInsideTheScreenPassesOnOnlyTheBlocksNotShown) {
    const std::string stream = NumberedBlocks(3);
    const std::string first = stream.substr(0, CQuilletSession::kReadBlock);
    {
        CQuilletSession& session = Session();
        ConnectLocal(session);
        Line(0)->Feed(stream);
        // All three blocks wait in the mailbox and the reader is back in Read.
        ASSERT_TRUE(Line(0)->WaitPending(0));
        ASSERT_TRUE(Line(0)->WaitInRead());
        // A command in the first block ends the control (a nested event loop, say): the session is
        // detached while the screen takes that block.
        m_control.m_onHostData = [this] { m_session.reset(); };
        m_control.PumpPending();
    }
    EXPECT_EQ(m_control.HostDataSeen(), first);

    CQuilletSession& second = Session();
    ASSERT_EQ(second.ReConnect(), 0);
    EXPECT_TRUE(m_control.HostDataSeen() == stream) << "blocks lost or shown twice";
    Line(1)->Feed("later");
    ASSERT_TRUE(m_control.PumpUntil([&] { return m_control.HostDataSeen() == stream + "later"; }));
    second.Disconnect(false, false);
}

TEST_F(SessionTest, BlocksReadBeforeTheHostClosedAreShownBeforeTheTeardown) {
    CQuilletSession& session = Session();
    ConnectLocal(session);
    const std::string stream = NumberedBlocks(40);
    m_control.m_onHostData = [this] { m_control.Event("data"); };
    Line(0)->Feed(stream);
    Line(0)->FailRead();
    ASSERT_TRUE(m_control.PumpUntil([&] { return m_control.Count("SorelExit") > 0; }));
    EXPECT_TRUE(m_control.HostDataSeen() == stream);
    const auto events = m_control.Events();
    EXPECT_LT(std::find(events.begin(), events.end(), "data"),
              std::find(events.begin(), events.end(), "ended"));
}

TEST_F(SessionTest, UnshownBytesGoOnlyToTheSessionTheyCameFrom) {
    {
        CQuilletSession& first = Session();
        ConnectLocal(first);
        Line(0)->Feed("unshown");
        ASSERT_TRUE(m_control.WaitQueued());
        m_session.reset();
        m_control.PumpPending();
    }
    // Another record replaces the first; its state mapping likely gets the handle number the first had.
    const auto path = m_runtime / ("detach" + std::to_string(::getpid()) + ".dat");
    DetachRecord left;
    ASSERT_EQ(ReadDetachRecord(path, left), DetachReadResult::Read);
    ::close(left.stateHandle);
    ::close(left.snapshotHandle);
    const auto mapping = [](std::string_view text) {
        auto shared = platform::SharedMapping::Create(text.size());
        std::memcpy(shared->Data(), text.data(), text.size());
        return ::dup(shared->Fd());
    };
    const int state = mapping("session-state");
    const int screen = mapping("screen!!");
    ASSERT_TRUE(WriteDetachRecord(path, {0, state, screen, 1}));

    CQuilletSession& second = Session();
    ASSERT_EQ(second.ReConnect(), 0);
    Line(1)->Feed("later");
    ASSERT_TRUE(m_control.PumpUntil([&] { return !m_control.HostDataSeen().empty(); }));
    EXPECT_EQ(m_control.HostDataSeen(), "later");
    second.Disconnect(false, false);  // the adopted handles went with the session
}

// ---- Keys at teardown ----

// A write for the sender thread itself: a key sender writes a small block at once while the thread is
// idle, which on a line that holds writes would hold the test.
bool PostToSender(CQuilletSession& session, std::string_view bytes) {
    return session.Poster().Post({SenderMessage::Op::Write, {bytes.begin(), bytes.end()}, 0});
}

// Opens the line once the session stops taking writes, which it does when its teardown begins.
std::thread ReleaseWhenTornDown(CQuilletSession& session, std::shared_ptr<FakeLine> line) {
    return std::thread([&session, line] {
        while (session.WritesAccepted()) {
            std::this_thread::yield();
        }
        line->ReleaseWrites();
    });
}

// Holds "k1" in a write the line will not finish, then queues `queued` behind it through `keys`.
void QueueBehindABlockedWrite(CQuilletSession& session, FakeLine& line, CKeySender& keys,
                              std::initializer_list<std::string_view> queued) {
    line.BlockWrites();
    ASSERT_TRUE(PostToSender(session, "k1"));
    ASSERT_TRUE(line.WaitWriteBlocked());
    for (std::string_view bytes : queued) {
        ASSERT_TRUE(keys.SendBytes(bytes));
    }
}

TEST_F(SessionTest, KeysQueuedAtAHostCommandTeardownReachTheHostBeforeTheClose) {
    CQuilletSession& session = Session();
    ConnectLocal(session);
    auto line = Line(0);
    CKeySender keys(session.Poster());
    // Written at once on this thread: done before the teardown starts, and counted so.
    ASSERT_TRUE(keys.SendBytes(std::string_view("d1")));
    ASSERT_TRUE(keys.SendBytes(std::string_view("d2")));
    ASSERT_EQ(session.SenderCounts().direct, 2u);
    ASSERT_NO_FATAL_FAILURE(QueueBehindABlockedWrite(session, *line, keys, {"k2", "k3"}));
    std::thread releaser = ReleaseWhenTornDown(session, line);
    session.Disconnect(false, false);
    releaser.join();
    EXPECT_EQ(line->Written(), "d1d2k1k2k3");
    for (const std::string& logged : m_control.m_log) {
        EXPECT_EQ(logged.find("not written in time"), std::string::npos) << "the drain waited out its time";
    }
    const auto journal = line->Journal();
    const auto close = std::find(journal.begin(), journal.end(), "close");
    const auto lastWrite = std::find(journal.begin(), journal.end(), "write k3");
    ASSERT_NE(close, journal.end());
    EXPECT_LT(lastWrite, close);
}

TEST_F(SessionTest, KeysQueuedAtAReadFailureAreDropped) {
    CQuilletSession& session = Session();
    ConnectLocal(session);
    auto line = Line(0);
    CKeySender keys(session.Poster());
    ASSERT_NO_FATAL_FAILURE(QueueBehindABlockedWrite(session, *line, keys, {"k2", "k3"}));
    line->FailRead();
    std::thread releaser = ReleaseWhenTornDown(session, line);
    ASSERT_TRUE(m_control.PumpUntil([&] { return m_control.Count("SorelExit") > 0; }));
    releaser.join();
    EXPECT_EQ(line->Written(), "k1");
    EXPECT_EQ(m_control.Count("SorelExit"), 1);
}

TEST_F(SessionTest, AHostThatTakesNoBytesDoesNotHoldTheTeardown) {
    CQuilletSession& session = Session(std::chrono::milliseconds(5000), std::chrono::milliseconds(50));
    ConnectLocal(session);
    auto line = Line(0);
    CKeySender keys(session.Poster());
    ASSERT_NO_FATAL_FAILURE(QueueBehindABlockedWrite(session, *line, keys, {"k2"}));
    session.Disconnect(false, false);
    EXPECT_FALSE(session.HasPipe());
    EXPECT_EQ(line->Written(), "");
}

TEST_F(SessionTest, WritesAreRefusedWithoutALivePipe) {
    CQuilletSession& session = Session();
    CKeySender keys(session.Poster());
    EXPECT_FALSE(keys.SendBytes(std::string_view("x")));
}

// ---- Reconnecting ----

class NullInkeyHost : public InkeyHost {
  public:
    void Beep() override {}
    void ShowField(bool) override {}
    void MoveField(const FieldRect&) override {}
    void FocusField() override {}
    void PostCommand(int32_t) override {}
    void LogLine(std::string_view) override {}
};

TEST_F(SessionTest, AfterAReconnectTheFieldEditorTypesIntoTheNewSender) {
    CQuilletSession& session = Session();
    NullInkeyHost inkeyHost;
    CInkeyCtrl editor(inkeyHost, session.Poster());
    ConnectLocal(session);
    ASSERT_TRUE(editor.KeySender().SendBytes(std::string_view("one")));
    session.Disconnect(false, false);
    ConnectLocal(session);
    ASSERT_TRUE(editor.KeySender().SendBytes(std::string_view("two")));
    session.Disconnect(false, false);
    EXPECT_EQ(Line(0)->Written(), "one");
    EXPECT_EQ(Line(1)->Written(), "two");
}

TEST_F(SessionTest, ReConnectAdoptsTheDetachedSessionAndRemovesTheRecord) {
    {
        CQuilletSession& first = Session();
        ConnectLocal(first);
        m_props.m_chainable = 0;
        m_session.reset();
    }
    const auto record = m_runtime / ("detach" + std::to_string(::getpid()) + ".dat");
    ASSERT_TRUE(std::filesystem::exists(record));
    m_props.m_Connector = "remote";
    CQuilletSession& second = Session();
    NullInkeyHost inkeyHost;
    CInkeyCtrl editor(inkeyHost, second.Poster());
    ASSERT_EQ(second.ReConnect(), 0);
    EXPECT_FALSE(std::filesystem::exists(record));
    EXPECT_EQ(m_props.m_Connector, "local");
    EXPECT_EQ(m_props.m_chainable, 0);
    EXPECT_EQ(Line(1)->Journal().front(), "load state session-state");
    EXPECT_EQ(m_control.Count("restore screen!!"), 1);
    EXPECT_EQ(m_control.Count("show restored"), 1);
    EXPECT_EQ(m_control.Count("ShowContainer"), 0);
    ASSERT_TRUE(editor.KeySender().SendBytes(std::string_view("typed")));
    second.Disconnect(false, false);
    EXPECT_EQ(Line(1)->Written(), "typed");
}

TEST_F(SessionTest, ReConnectWithoutARecordConnects) {
    m_props.m_Connector = "local";
    CQuilletSession& session = Session();
    EXPECT_EQ(session.ReConnect(), 0);
    std::lock_guard lock(m_shared->mutex);
    EXPECT_EQ(m_shared->calls, std::vector<std::string>{"configured local"});
}

TEST_F(SessionTest, ReConnectWithAShortRecordRemovesItAndConnects) {
    const auto record = m_runtime / ("detach" + std::to_string(::getpid()) + ".dat");
    testsupport::WriteFile(record, std::string(15, '\0'));
    m_props.m_Connector = "local";
    CQuilletSession& session = Session();
    EXPECT_EQ(session.ReConnect(), 0);
    EXPECT_FALSE(std::filesystem::exists(record));
    std::lock_guard lock(m_shared->mutex);
    EXPECT_EQ(m_shared->calls, std::vector<std::string>{"configured local"});
}

TEST_F(SessionTest, ReConnectWhoseStateCannotBeAdoptedFailsAndLeavesNoPipe) {
    // Descriptors of this process that are no mappings.
    const int notState = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const int notScreen = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const auto record = m_runtime / ("detach" + std::to_string(::getpid()) + ".dat");
    ASSERT_TRUE(WriteDetachRecord(record, {0, notState, notScreen, 1}));
    CQuilletSession& session = Session();
    EXPECT_EQ(session.ReConnect(), 1);
    EXPECT_FALSE(session.HasPipe());
    EXPECT_FALSE(std::filesystem::exists(record));
    ::close(notState);
    ::close(notScreen);
}

// ---- New window and AutoLogin ----

TEST_F(SessionTest, NewWindowInsideTheContainerHandsTheStateOver) {
    m_props.m_InVarnel = true;
    m_props.m_NewWindowChainCommand = "/pat";
    CQuilletSession& session = Session();
    ConnectLocal(session);
    session.NewWindow();
    EXPECT_EQ(m_control.Count("NewWindow"), 1);
    EXPECT_EQ(m_control.m_newWindowPid, ::getpid());
    EXPECT_TRUE(m_control.m_newWindowHandleOpen) << "open while the container starts the new window";
    // Closed once the event returned: the new process has its own copy by then.
    EXPECT_FALSE(
        testsupport::FdTarget(m_control.m_newWindowHandle).starts_with(testsupport::kMappingFdPrefix));
    std::lock_guard lock(m_shared->mutex);
    EXPECT_EQ(m_shared->calls.back(), "new window state /pat");
}

TEST_F(SessionTest, NewWindowOutsideTheContainerStartsANewSession) {
    m_props.m_NewWindowChainCommand = "/menu";
    CQuilletSession& session = Session();
    ConnectLocal(session);
    session.NewWindow();
    const auto journal = Line(0)->Journal();
    EXPECT_NE(std::find(journal.begin(), journal.end(), "new session /menu"), journal.end());
    EXPECT_EQ(m_control.Count("NewWindow"), 0);
}

TEST_F(SessionTest, HostIsTransReachesAnOpenRemotePipeOnly) {
    CQuilletSession& session = Session();
    m_props.m_HostIsTrans = false;
    session.HostIsTransChanged();  // no pipe
    m_props.m_Connector = "remote";
    ASSERT_EQ(session.Connect(), 0);
    session.HostIsTransChanged();
    std::lock_guard lock(m_shared->mutex);
    EXPECT_EQ(m_shared->calls, (std::vector<std::string>{"configured remote", "host is trans 0"}));
}

// A hand-over mapping: the 80-byte header field, then the record.
int HandOverFd(std::string_view header, std::string_view record) {
    auto mapping = platform::SharedMapping::Create(hostlink::kStateHeaderSize + 32);
    std::memcpy(mapping->Data(), header.data(), std::min(header.size(), hostlink::kStateHeaderSize));
    std::memcpy(mapping->Data() + hostlink::kStateHeaderSize, record.data(),
                std::min<std::size_t>(record.size(), 32));
    return ::dup(mapping->Fd());
}

TEST_F(SessionTest, AutoLoginAdoptsTheRecordBehindTheHeader) {
    const int fd = HandOverFd("remote", "record-bytes");
    CQuilletSession& session = Session();
    EXPECT_TRUE(session.AutoLogin(fd, 0));
    EXPECT_EQ(m_props.m_Connector, "remote");
    EXPECT_EQ(Line(0)->Journal().front().rfind("load record record-bytes", 0), 0u);
    EXPECT_EQ(::fcntl(fd, F_GETFD), -1) << "the inherited handle is closed once read";
    std::lock_guard lock(m_shared->mutex);
    EXPECT_EQ(m_shared->calls.back(), "copy back");
}

TEST_F(SessionTest, AutoLoginRefusesAConnectorThatFillsItsField) {
    const std::string name = "remote" + std::string(hostlink::kStateHeaderSize - 6, 'x');
    const int fd = HandOverFd(name, "record");
    CQuilletSession& session = Session();
    EXPECT_FALSE(session.AutoLogin(fd, 0));
    EXPECT_EQ(m_prompt.Texts().back(), "Invalid Connector Specified.  AutoLogin will abort.");
    EXPECT_EQ(m_props.m_Connector.size(), hostlink::kStateHeaderSize);
    EXPECT_EQ(Lines(), 0u);
    ::close(fd);
}

TEST_F(SessionTest, AutoLoginWithAHandleThatIsNoMappingFails) {
    CQuilletSession& session = Session();
    EXPECT_FALSE(session.AutoLogin(987, 0));
    EXPECT_EQ(m_prompt.Texts().back(), "Error mapping view of file");
}

}  // namespace
}  // namespace terminal
