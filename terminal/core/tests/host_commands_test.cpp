// The host commands that act beyond the screen, driven through the screen's feed where the wiring matters:
// replies before boxes and events, the digest-checked open, print files confined to the temp folder, the
// separators of the session switch, the application user and the field, terminal id bounds, calendar dates,
// programs started without a shell, the operator's guide, new windows and file transfers.
#include "terminal/core/host_commands.h"

#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "hostlink/remote_pipe.h"
#include "platform/spawn.h"
#include "platform/unique_fd.h"
#include "suite/shell_open.h"
#include "terminal/core/tests/host_commands_fakes.h"
#include "testsupport/test_support.h"

namespace terminal::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// ESC [ % text 0x01 letter.
std::string Seq(std::string_view text, char letter) {
    return "\x1B[%" + std::string(text) + "\x01" + letter;
}

constexpr std::string_view kAbcDigest = "900150983cd24fb0d6963f7d28e17f72";

class HostCommandsTest : public testsupport::RegistryTest {
  protected:
    void SetUp() override {
        testsupport::RegistryTest::SetUp();
        m_previousOpener = suite::SetShellOpener([this](const fs::path& path) {
            m_opened.push_back(path);
            m_sink.m_log.push_back("open");
        });
        m_screen.SetOwner(&m_commands);
        m_sink.m_screen = &m_screen;
        m_commands.SetClock([] { return kNow; });
    }
    void TearDown() override {
        m_screen.SetOwner(nullptr);
        suite::SetShellOpener(std::move(m_previousOpener));
        testsupport::RegistryTest::TearDown();
    }

    void Feed(std::string_view bytes) { m_screen.Feed(bytes); }
    RecordingPipe& AttachPipe() {
        m_pipe = std::make_unique<RecordingPipe>(m_sink.m_log);
        m_sink.m_pipe = m_pipe.get();
        return *m_pipe;
    }
    // Replaces "{tmp}" with the temp folder.
    std::string InTemp(std::string text) const {
        for (std::size_t at; (at = text.find("{tmp}")) != std::string::npos;) {
            text.replace(at, 5, m_tmp.string());
        }
        return text;
    }

    static inline const CalendarDate kNow = CalendarDate::FromParts(2024, 5, 17, 9, 30, 15);

    RecordingSink m_sink;
    LoggingPrompt m_prompt{m_sink.m_log};
    platform::ScopedDefaultPrompt m_scopedPrompt{m_prompt};
    CTerminalScreen m_screen;
    CHostCommands m_commands{m_screen, m_sink};
    std::unique_ptr<RecordingPipe> m_pipe;
    std::vector<fs::path> m_opened;
    suite::ShellOpener m_previousOpener;
};

template <class Param>
class HostCommandsParamTest : public HostCommandsTest, public ::testing::WithParamInterface<Param> {};

template <class Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
    return info.param.name;
}

// ---- Messages, events and control requests, through the feed ----

struct EventCase {
    const char* name;
    std::string bytes;
    bool inVarnel;
    bool ownToolbars;
    Log log;
};

class HostEvents : public HostCommandsParamTest<EventCase> {};

TEST_P(HostEvents, ReachTheControlInOrder) {
    m_sink.m_inVarnel = GetParam().inVarnel;
    m_sink.m_ownToolbars = GetParam().ownToolbars;
    Feed(GetParam().bytes);
    EXPECT_THAT(m_sink.m_log, ElementsAreArray(GetParam().log));
}

INSTANTIATE_TEST_SUITE_P(
    Commands, HostEvents,
    ::testing::Values(
        // The host gets its 0x04 before the user reads the box or the container shows its error.
        EventCase{
            "MessageBoxAfterReply", Seq("Disk full", 'I'), false, false, {"write \x04", "box Disk full"}},
        EventCase{"ErrorBoxEventAfterReply",
                  Seq("No access", 'P'),
                  true,
                  false,
                  {"write \x04", "DisplayErrorBox No access"}},
        EventCase{"TitleInContainer", Seq("Appointments", 'O'), true, false, {"SetTitle Appointments"}},
        EventCase{"NoTitleOutsideContainer", Seq("Appointments", 'O'), false, false, {}},
        EventCase{"OwnToolbarsWin", "\x1B[3V", true, true, {"own toolbar 3"}},
        EventCase{"ToolbarEventIsSixteenBits", "\x1B[70000V", true, false, {"SwitchToolbar event 4464"}},
        EventCase{"NoToolbarAnywhere", "\x1B[3V", false, false, {}},
        EventCase{"Tamsel", Seq("PATIENT", 'n'), false, false, {"Tamsel PATIENT"}},
        EventCase{"Chainable", "\x1B[0Z", false, false, {"chainable 0"}},
        EventCase{"Foreground", "\x1B[f", false, false, {"foreground"}},
        EventCase{
            "CreateObject", Seq("Viewer.Document", 'c'), false, false, {"create object Viewer.Document"}},
        EventCase{
            "CallObject", Seq("3\x02Show\x02page 2", 'i'), false, false, {"call object 3\x02Show\x02page 2"}},
        EventCase{"ReleaseObject", "\x1B[7d", false, false, {"release object 7"}},
        EventCase{"Bell", "\x07", false, false, {"beep"}}),
    CaseName<EventCase>);

TEST_F(HostCommandsTest, MessageBoxUsesTheStopIconAndToolbarIsRemembered) {
    Feed(Seq("Disk full", 'I') + "\x1B[12V");
    ASSERT_EQ(m_prompt.Shown().size(), 1u);
    EXPECT_EQ(m_prompt.Shown()[0].icon, platform::PromptIcon::Stop);
    EXPECT_EQ(m_screen.CurrentToolbar(), 12);
}

// ---- E and e: the digest-checked open ----

struct DigestCase {
    const char* name;
    std::optional<std::string> expected;  // the text of e, none for no e
    const char* path;
    Log log;
    bool keepsExpectation;
};

class HostFileCheck : public HostCommandsParamTest<DigestCase> {
  protected:
    void SetUp() override {
        HostCommandsParamTest::SetUp();
        testsupport::WriteFile(m_tmp / "report.txt", "abc");
        ASSERT_EQ(::mkfifo((m_tmp / "pipe.txt").c_str(), 0600), 0);
        fs::create_directories(m_tmp / "folder.txt");
    }
};

TEST_P(HostFileCheck, AnswersAndOpensAsTheDigestSays) {
    const DigestCase& c = GetParam();
    if (c.expected) {
        Feed(Seq(*c.expected, 'e'));
    }
    Feed(Seq(c.path, 'E'));
    EXPECT_THAT(m_sink.m_log, ElementsAreArray(c.log));
    if (!m_opened.empty()) {
        EXPECT_EQ(fs::weakly_canonical(m_opened[0]), fs::weakly_canonical(m_tmp / "report.txt"));
    }
    EXPECT_EQ(m_screen.ExpectedDigest(), c.keepsExpectation ? c.expected->substr(0, 32) : "");
}

const std::string kUpperAbc = "900150983CD24FB0D6963F7D28E17F72";

INSTANTIATE_TEST_SUITE_P(
    Matrix, HostFileCheck,
    ::testing::Values(
        DigestCase{"NoDigestOpensAndSendsNothing", std::nullopt, "%TEMP%\\report.txt", {"open"}, false},
        DigestCase{"RightDigestAnswersYAndOpens",
                   std::string(kAbcDigest),
                   "%TEMP%\\report.txt",
                   {"open", "write Y"},
                   false},
        DigestCase{"WrongDigestAnswersNAndDoesNotOpen",
                   std::string(32, '0'),
                   "%TEMP%\\report.txt",
                   {"write N"},
                   false},
        DigestCase{"DigestCaseMatters", kUpperAbc, "%TEMP%\\report.txt", {"write N"}, false},
        DigestCase{"ShortDigestNeverMatches",
                   std::string(kAbcDigest.substr(0, 31)),
                   "%TEMP%\\report.txt",
                   {"write N"},
                   false},
        DigestCase{"OnlyFirst32CharactersCount",
                   std::string(kAbcDigest) + "ffff",
                   "%TEMP%\\report.txt",
                   {"open", "write Y"},
                   false},
        // Without a digest nothing is sent and the expectation waits for the next E.
        DigestCase{"MissingFileSendsNothing",
                   std::string(kAbcDigest),
                   "%TEMP%\\gone.txt",
                   {"box Error Opening File to Check."},
                   true},
        DigestCase{"FifoIsNotReadNorWaitedFor",
                   std::string(kAbcDigest),
                   "%TEMP%\\pipe.txt",
                   {"box Error Opening File to Check."},
                   true},
        DigestCase{"FolderSendsNothing",
                   std::string(kAbcDigest),
                   "%TEMP%\\folder.txt",
                   {"box Error Opening File to Check."},
                   true},
        DigestCase{"UnmappedDriveSendsNothing",
                   std::string(kAbcDigest),
                   "D:\\report.txt",
                   {"box Error Opening File to Check."},
                   true}),
    CaseName<DigestCase>);

TEST_F(HostCommandsTest, MatchingFileThatMustNotBeOpenedStillAnswersY) {
    testsupport::WriteFile(m_tmp / "report.sh", "abc");
    const int status = testsupport::RunInChild([&] {
        // The refusal is written to the debug log in the working folder.
        ASSERT_EQ(chdir(m_temp.Path().c_str()), 0);
        Feed(Seq(kAbcDigest, 'e') + Seq("%TEMP%\\report.sh", 'E'));
        EXPECT_THAT(m_sink.m_log, ElementsAre("write Y"));
    });
    EXPECT_TRUE(testsupport::ExitedCleanly(status));
}

// ---- p: print files ----

struct PrintCase {
    const char* name;
    std::string text;
    Log log;  // "{tmp}" is the temp folder
};

class HostPrint : public HostCommandsParamTest<PrintCase> {
  protected:
    void SetUp() override {
        HostCommandsParamTest::SetUp();
        testsupport::WriteFile(m_tmp / "job.prn",
                               "\x1B"
                               "E raw printer data");
        testsupport::WriteFile(m_tmp / "job one.prn", "data");
        testsupport::WriteFile(m_temp.Path() / "secret", "not for printing");
        fs::create_symlink(m_tmp / "job.prn", m_tmp / "link.prn");
        fs::create_symlink(m_temp.Path() / "secret", m_tmp / "outside.prn");
        ASSERT_EQ(::mkfifo((m_tmp / "fifo.prn").c_str(), 0600), 0);
        fs::create_directories(m_tmp / "dir.prn");
        testsupport::WriteFile(m_temp.Path() / "hard-target", "another name for this file");
        fs::create_hard_link(m_temp.Path() / "hard-target", m_tmp / "hard.prn");
    }
};

TEST_P(HostPrint, PrintsOnlyPlainFilesOfTheTempFolder) {
    Feed(Seq(GetParam().text, 'p'));
    Log expected;
    for (const std::string& line : GetParam().log) {
        expected.push_back(InTemp(line));
    }
    EXPECT_THAT(m_sink.m_log, ElementsAreArray(expected));
    for (const platform::PromptRequest& box : m_prompt.Shown()) {
        EXPECT_TRUE(box.systemModal);
        EXPECT_EQ(box.icon, platform::PromptIcon::Stop);
    }
    EXPECT_TRUE(m_screen.PaintingOn());
    // Refused files are left alone; the print job, not the command, deletes what it printed.
    for (const fs::path& kept :
         {m_tmp / "job.prn", m_temp.Path() / "secret", m_temp.Path() / "hard-target"}) {
        EXPECT_TRUE(fs::exists(kept)) << kept;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Paths, HostPrint,
    ::testing::Values(
        PrintCase{"DefaultPrinter", "DEFAULT job.prn", {"print [MODDefaultPrinter] job.prn (painting off)"}},
        PrintCase{
            "DefaultInAnyCase", "default job.prn", {"print [MODDefaultPrinter] job.prn (painting off)"}},
        PrintCase{"UserChooses", "SelectPrinter job.prn", {"print [] job.prn (painting off)"}},
        PrintCase{"BlanksStandIn",
                  "Office\x02Laser job\x02one.prn",
                  {"print [Office Laser] job one.prn (painting off)"}},
        PrintCase{"BackslashTraversal",
                  "DEFAULT ..\\secret",
                  {"box All or part of the path '{tmp}/..\\secret' is invalid"}},
        PrintCase{"SlashTraversal",
                  "DEFAULT ../secret",
                  {"box All or part of the path '{tmp}/../secret' is invalid"}},
        PrintCase{"ParentItself", "DEFAULT ..", {"box All or part of the path '{tmp}/..' is invalid"}},
        PrintCase{"AbsolutePath",
                  "DEFAULT /etc/passwd",
                  {"box All or part of the path '{tmp}//etc/passwd' is invalid"}},
        PrintCase{"LinkInside", "DEFAULT link.prn", {"box The file '{tmp}/link.prn' could not be accessed"}},
        PrintCase{
            "LinkOutside", "DEFAULT outside.prn", {"box The file '{tmp}/outside.prn' could not be accessed"}},
        PrintCase{"HardLink", "DEFAULT hard.prn", {"box The file '{tmp}/hard.prn' could not be accessed"}},
        PrintCase{"Fifo", "DEFAULT fifo.prn", {"box The file '{tmp}/fifo.prn' could not be accessed"}},
        PrintCase{"Folder", "DEFAULT dir.prn", {"box The file '{tmp}/dir.prn' could not be accessed"}},
        PrintCase{"Missing", "DEFAULT missing.prn", {"box File '{tmp}/missing.prn' could not be located"}},
        PrintCase{
            "NoFileName", "DEFAULT", {"box ERROR:\nError retrieving file name from TokenStack.\r\nDEFAULT"}},
        PrintCase{"Empty", "", {"box ERROR:\nError retrieving file name from TokenStack.\r\n"}}),
    CaseName<PrintCase>);

TEST_F(HostCommandsTest, PrintHandsOverTheFullPathAndSurvivesAFailingJob) {
    testsupport::WriteFile(m_tmp / "job.prn", "data");
    m_sink.m_printThrows = true;
    Feed(Seq("DEFAULT job.prn", 'p'));
    ASSERT_EQ(m_sink.m_printed.size(), 1u);
    EXPECT_EQ(m_sink.m_printed[0], m_tmp / "job.prn");
    EXPECT_THAT(m_sink.m_log,
                ElementsAre("print [MODDefaultPrinter] job.prn (painting off)", "box Error opening file\n"));
    EXPECT_TRUE(m_screen.PaintingOn());
}

TEST_F(HostCommandsTest, PrintRefusesAFileOfAnotherUser) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs to hand a file to another user";
    }
    testsupport::WriteFile(m_tmp / "planted.prn", "data");
    ASSERT_EQ(::chown((m_tmp / "planted.prn").c_str(), 65534, 65534), 0);
    Feed(Seq("DEFAULT planted.prn", 'p'));
    EXPECT_THAT(m_sink.m_log, ElementsAre(InTemp("box The file '{tmp}/planted.prn' could not be accessed")));
}

// ---- L: practice switch ----

struct SwitchCase {
    const char* name;
    std::string text;
    Log log;
};

class HostSwitchPractice : public HostCommandsParamTest<SwitchCase> {};

TEST_P(HostSwitchPractice, CountsItsSeparators) {
    AttachPipe();
    m_commands.SwitchPractice(GetParam().text);
    EXPECT_THAT(m_sink.m_log, ElementsAreArray(GetParam().log));
    if (GetParam().log.empty()) {
        EXPECT_FALSE(m_sink.m_debug.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Separators, HostSwitchPractice,
                         ::testing::Values(
                             // The billing switch takes its last two fields swapped.
                             SwitchCase{"BillingFourFields",
                                        "1\x02north\x02/data/n\x02"
                                        "bill\x02"
                                        "east",
                                        {"pipe SwitchBillingSession(north|/data/n|east|bill)"}},
                             SwitchCase{"BillingKeepsSeparatorsOfItsLastField",
                                        "1\x02north\x02/data/n\x02"
                                        "bill\x02"
                                        "e\x02x",
                                        {"pipe SwitchBillingSession(north|/data/n|e\x02x|bill)"}},
                             SwitchCase{"BillingWithLeadingBlank",
                                        " 1\x02n\x02"
                                        "d\x02"
                                        "b\x02"
                                        "e",
                                        {"pipe SwitchBillingSession(n|d|e|b)"}},
                             SwitchCase{"BillingWithoutFourthSeparator",
                                        "1\x02north\x02/data/n\x02"
                                        "bill",
                                        {}},
                             SwitchCase{"MsoTakesTheRest",
                                        "2\x02north\x02/data/n\x02rest\x02more",
                                        {"pipe SwitchMsoSession(north|/data/n|rest\x02more)"}},
                             SwitchCase{"MsoWithEmptyRest",
                                        "0\x02north\x02/data/n\x02",
                                        {"pipe SwitchMsoSession(north|/data/n|)"}},
                             SwitchCase{"KindWithoutNumberIsMso",
                                        "x\x02north\x02/data/n\x02"
                                        "bill",
                                        {"pipe SwitchMsoSession(north|/data/n|bill)"}},
                             SwitchCase{"TwoSeparators", "2\x02north\x02/data/n", {}},
                             SwitchCase{"NoSeparator", "1", {}}, SwitchCase{"Empty", "", {}}),
                         CaseName<SwitchCase>);

TEST_F(HostCommandsTest, SessionSettingsWithoutASessionChangeNothing) {
    Feed(Seq("1\x02n\x02"
             "d\x02"
             "b\x02"
             "e",
             'L') +
         Seq("host2", 'M') + Seq("/data", 'Q') + "\x1B[5o" + "\x1B[4X" + Seq("T9", 'Y') + "\x1B[1k");
    EXPECT_THAT(m_sink.m_log, IsEmpty());
    EXPECT_EQ(m_sink.m_debug.size(), 7u);
}

TEST_F(HostCommandsTest, SessionSettingsReachThePipe) {
    RecordingPipe& pipe = AttachPipe();
    Feed(Seq("host2.example", 'M') + Seq("/data/south", 'Q') + "\x1B[17o");
    EXPECT_THAT(m_sink.m_log, ElementsAre("pipe SetHost(host2.example)", "pipe SetDataSet(/data/south)"));
    EXPECT_EQ(pipe.m_BillServID, 17);
}

// ---- u: application user ----

struct UserCase {
    const char* name;
    std::string text;
    Log log;
};

class HostApplicationUser : public HostCommandsParamTest<UserCase> {};

TEST_P(HostApplicationUser, SplitsAtTheFirstBlank) {
    AttachPipe();
    m_commands.ApplicationUserChanged(GetParam().text);
    EXPECT_THAT(m_sink.m_log, ElementsAreArray(GetParam().log));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, HostApplicationUser,
    ::testing::Values(
        UserCase{"NumberAndPassword", "42 secret", {"pipe SetAppUser(42|secret)", "app user 42|secret"}},
        UserCase{
            "PasswordWithBlank", "42 pass word", {"pipe SetAppUser(42|pass word)", "app user 42|pass word"}},
        UserCase{"NoNumber", "x7 pw", {"pipe SetAppUser(0|pw)", "app user 0|pw"}},
        UserCase{"EmptyPassword", "42 ", {"pipe SetAppUser(42|)", "app user 42|"}},
        UserCase{"NoBlank", "42", {}}, UserCase{"Empty", "", {}}),
    CaseName<UserCase>);

TEST_F(HostCommandsTest, ApplicationUserReachesTheControlOnce) {
    // A pipe with an owner tells it itself; the command does not tell the control a second time.
    RecordingPipe& pipe = AttachPipe();
    hostlink::testing::FakeOwner owner;
    pipe.m_owner = &owner;
    Feed(Seq("42 secret", 'u'));
    EXPECT_THAT(m_sink.m_log, ElementsAre("pipe SetAppUser(42|secret)"));
    EXPECT_EQ(owner.m_appUser, 42);
    EXPECT_EQ(owner.m_appPassword, "secret");
    pipe.m_owner = nullptr;

    m_sink.m_log.clear();
    m_sink.m_pipe = nullptr;
    Feed(Seq("7 pw", 'u'));
    EXPECT_THAT(m_sink.m_log, ElementsAre("app user 7|pw"));
}

// ---- a: the field editor ----

struct FieldCase {
    const char* name;
    std::string text;
    bool opens;
};

class HostField : public HostCommandsParamTest<FieldCase> {};

TEST_P(HostField, OpensOnlyWithAllEightFields) {
    m_screen.SetCellSize(8, 16);
    m_screen.SetFrameOffset(6, 8);
    m_screen.SetExtraOffset(3, 4);
    Feed(Seq(GetParam().text, 'a'));
    if (!GetParam().opens) {
        EXPECT_THAT(m_sink.m_log, IsEmpty());
        return;
    }
    EXPECT_THAT(m_sink.m_log, ElementsAre("field " + GetParam().text));
    ASSERT_EQ(m_sink.m_geometries.size(), 1u);
    // The editor's placement rule puts the box over the cell as the screen draws it.
    const CellGeometry& g = m_sink.m_geometries[0];
    EXPECT_EQ(g.cellWidth, 8);
    EXPECT_EQ(g.cellHeight, 16);
    EXPECT_EQ(g.xOrigin + g.cellWidth * 5 + g.frameLeft, m_screen.CellX(5));
    EXPECT_EQ(g.yOrigin + g.cellHeight * 10 + g.frameTop, m_screen.CellY(10));
}

INSTANTIATE_TEST_SUITE_P(Descriptions, HostField,
                         ::testing::Values(FieldCase{"Complete",
                                                     "init\x02"
                                                     "5\x02"
                                                     "10\x02"
                                                     "8\x02"
                                                     "0\x02"
                                                     "0\x02"
                                                     "1\x02"
                                                     "1\x02"
                                                     "N",
                                                     true},
                                           FieldCase{"EmptyTextAndExtraField",
                                                     "\x02"
                                                     "5\x02"
                                                     "10\x02"
                                                     "8\x02"
                                                     "0\x02"
                                                     "0\x02"
                                                     "1\x02"
                                                     "1\x02"
                                                     "N\x02"
                                                     "x",
                                                     true},
                                           FieldCase{"SevenSeparators",
                                                     "init\x02"
                                                     "5\x02"
                                                     "10\x02"
                                                     "8\x02"
                                                     "0\x02"
                                                     "0\x02"
                                                     "1\x02"
                                                     "1",
                                                     false},
                                           FieldCase{"NoSeparator", "init", false},
                                           FieldCase{"Empty", "", false}),
                         CaseName<FieldCase>);

// ---- X and Y: the terminal id ----

TEST_F(HostCommandsTest, TerminalIdIsBounded) {
    RecordingPipe& pipe = AttachPipe();
    Feed("\x1B[1234Y");
    EXPECT_EQ(pipe.m_terminalId.Str(), "1234");
    Feed("\x1B[7X");
    EXPECT_EQ(pipe.m_terminalId.Str(), "1234.7");

    const std::string id79(79, 'T');
    Feed(Seq(id79, 'Y'));
    EXPECT_EQ(pipe.m_terminalId.Str(), id79);
    EXPECT_THAT(m_sink.m_debug, IsEmpty());

    Feed(Seq(id79 + "UVW", 'Y'));
    EXPECT_EQ(pipe.m_terminalId.Str(), id79);
    ASSERT_EQ(m_sink.m_debug.size(), 1u);
    EXPECT_THAT(m_sink.m_debug[0], HasSubstr("cut"));
}

TEST_F(HostCommandsTest, TerminalIdExtensionIsAllOrNothing) {
    RecordingPipe& pipe = AttachPipe();
    pipe.m_terminalId.Assign(std::string(77, 'T'));
    Feed("\x1B[5X");  // ".5" just fits 79 characters
    EXPECT_EQ(pipe.m_terminalId.Str(), std::string(77, 'T') + ".5");
    Feed("\x1B[6X");
    EXPECT_EQ(pipe.m_terminalId.Str(), std::string(77, 'T') + ".5");
    ASSERT_EQ(m_sink.m_debug.size(), 1u);
    EXPECT_THAT(m_sink.m_debug[0], HasSubstr("unchanged"));
}

// ---- R: the calendar date ----

struct DateCase {
    const char* name;
    std::string bytes;
    CalendarDate date;
};

class HostCalendar : public HostCommandsParamTest<DateCase> {};

TEST_P(HostCalendar, TakesTheHostDateWithinItsRanges) {
    Feed(GetParam().bytes);
    ASSERT_EQ(m_sink.m_dates.size(), 1u);
    EXPECT_EQ(m_sink.m_dates[0], GetParam().date);
}

const CalendarDate kToday = CalendarDate::FromParts(2024, 5, 17, 9, 30, 15);
CalendarDate Invalid(int32_t year, int32_t month, int32_t day) {
    return {year, month, day, 0, 0, 0, CalendarDate::Status::Invalid};
}

INSTANTIATE_TEST_SUITE_P(
    Dates, HostCalendar,
    ::testing::Values(
        DateCase{"Christmas", "\x1B[12252023R", CalendarDate::FromParts(2023, 12, 25)},
        DateCase{"LeadingZeroMonth", "\x1B[07042000R", CalendarDate::FromParts(2000, 7, 4)},
        DateCase{"FirstYear", "\x1B[01011600R", CalendarDate::FromParts(1600, 1, 1)},
        DateCase{"LastYear", "\x1B[12312200R", CalendarDate::FromParts(2200, 12, 31)},
        DateCase{"LeapDay", "\x1B[02292000R", CalendarDate::FromParts(2000, 2, 29)},
        // In range, but no such day: the date goes out with the invalid status.
        DateCase{"ThirtiethFebruary", "\x1B[02302000R", Invalid(2000, 2, 30)},
        DateCase{"NoLeapDayIn1900", "\x1B[02291900R", Invalid(1900, 2, 29)},
        DateCase{"ThirtyFirstApril", "\x1B[04312021R", Invalid(2021, 4, 31)},
        DateCase{"MonthThirteen", "\x1B[13012000R", kToday}, DateCase{"MonthZero", "\x1B[00152000R", kToday},
        DateCase{"DayZero", "\x1B[01002000R", kToday}, DateCase{"DayThirtyTwo", "\x1B[01322000R", kToday},
        DateCase{"YearBefore", "\x1B[12311599R", kToday}, DateCase{"YearAfter", "\x1B[01012201R", kToday},
        DateCase{"NoParameter", "\x1B[R", kToday}),
    CaseName<DateCase>);

TEST(CalendarDateTest, NowIsAValidDate) {
    EXPECT_TRUE(CalendarDate::Now().Valid());
}

// ---- N: programs ----

class HostProgram : public HostCommandsTest {
  protected:
    void SetUp() override {
        HostCommandsTest::SetUp();
        m_commands.SetChildReaper([this](pid_t pid) { m_children.push_back(pid); });
    }
    // Waits for every started child; true when all exited with 0.
    bool WaitForChildren() {
        bool ok = true;
        for (pid_t pid : m_children) {
            ok = platform::WaitForExit(pid) == 0 && ok;
        }
        return ok;
    }
    std::vector<pid_t> m_children;
};

TEST_F(HostProgram, CommandLineIsNeverGivenToAShell) {
    const std::string dir = m_tmp.string();
    Feed(Seq("/usr/bin/touch " + dir + "/a;touch " + dir + "/b|x \"" + dir + "/c d\" " + dir + "/$(id)>e",
             'N'));
    ASSERT_EQ(m_children.size(), 1u);
    EXPECT_TRUE(WaitForChildren());
    for (const char* made : {"a;touch", "b|x", "c d", "$(id)>e"}) {
        EXPECT_TRUE(fs::exists(m_tmp / made)) << made;
    }
    for (const char* notMade : {"a", "b", "c"}) {
        EXPECT_FALSE(fs::exists(m_tmp / notMade)) << notMade;
    }
    EXPECT_THAT(m_sink.m_log, IsEmpty());
}

TEST_F(HostProgram, HostPathsOfProgramsGoThroughTheDriveMapping) {
    testsupport::WriteFile(m_home / "bin" / "stamp",
                           "#!/bin/sh\necho \"$1\" > \"" + m_tmp.string() + "/stamped\"\n");
    fs::permissions(m_home / "bin" / "stamp", fs::perms::owner_all);
    Feed(Seq("C:\\bin\\stamp first", 'N'));
    ASSERT_EQ(m_children.size(), 1u);
    EXPECT_TRUE(WaitForChildren());
    EXPECT_EQ(testsupport::ReadFile(m_tmp / "stamped"), "first\n");
}

TEST_F(HostProgram, FailureShowsTheCommandLine) {
    for (const std::string& commandLine :
         {std::string("no-such-program-here --flag"), std::string("D:\\tools\\run.exe"),
          std::string("C:\\..\\..\\bin\\sh -c id"), std::string("")}) {
        SCOPED_TRACE(commandLine);
        m_sink.m_log.clear();
        m_prompt.Clear();
        Feed(Seq(commandLine, 'N'));
        EXPECT_THAT(m_sink.m_log, ElementsAre("box Error Starting Application '" + commandLine + "'"));
        ASSERT_EQ(m_prompt.Shown().size(), 1u);
        EXPECT_EQ(m_prompt.Shown()[0].icon, platform::PromptIcon::Stop);
    }
    EXPECT_TRUE(m_children.empty());
}

// ---- A: the operator's guide ----

class HostGuide : public HostCommandsTest {
  protected:
    void SetGuide(std::string_view edition, std::string_view value) {
        ASSERT_EQ(Reg().SetValue(platform::HKey::LocalMachine,
                                 "SOFTWARE\\Carrowline Corporation\\" + std::string(edition) + "\\1.0\\Docs",
                                 "OpGuide", platform::RegValue::String(value)),
                  0);
    }
};

TEST_F(HostGuide, OpensTheChapterBesideTheGuide) {
    SetGuide("Ostrel", "C:\\guide\\OpGuide.html");
    testsupport::WriteFile(m_home / "guide" / "billing.html", "<html/>");
    Feed(Seq("billing", 'A'));
    EXPECT_THAT(m_sink.m_log, ElementsAre("open"));
    ASSERT_EQ(m_opened.size(), 1u);
    EXPECT_EQ(fs::weakly_canonical(m_opened[0]), fs::weakly_canonical(m_home / "guide" / "billing.html"));
}

TEST_F(HostGuide, TheEditionChoosesTheKey) {
    SetGuide("Ostrel", "C:\\local\\OpGuide.html");
    testsupport::WriteFile(m_home / "local" / "billing.html", "<html/>");
    suite::SetClientMode(suite::ClientMode::Remote);
    Feed(Seq("billing", 'A'));
    EXPECT_THAT(m_sink.m_log, ElementsAre("box Could not find Operators Guide key"));
    EXPECT_EQ(m_prompt.Shown()[0].icon, platform::PromptIcon::Stop);

    m_sink.m_log.clear();
    SetGuide("Varnel", "C:/remote/OpGuide.html");
    testsupport::WriteFile(m_home / "remote" / "billing.html", "<html/>");
    Feed(Seq("billing", 'A'));
    EXPECT_THAT(m_sink.m_log, ElementsAre("open"));
    ASSERT_EQ(m_opened.size(), 1u);
    EXPECT_EQ(fs::weakly_canonical(m_opened[0]), fs::weakly_canonical(m_home / "remote" / "billing.html"));
}

TEST_F(HostGuide, DocumentNamesCannotLeaveTheGuideFolder) {
    SetGuide("Ostrel", "C:\\guide\\OpGuide.html");
    for (const char* name : {"..\\..\\secret", "../secret", "sub/chapter", "C:\\other\\x"}) {
        Feed(Seq(name, 'A'));
    }
    EXPECT_THAT(m_sink.m_log, IsEmpty());
    EXPECT_EQ(m_sink.m_debug.size(), 4u);
}

// ---- k: new window ----

TEST_F(HostCommandsTest, NewWindowChainsTheCommandIntoTheRunCommand) {
    RecordingPipe& pipe = AttachPipe();
    pipe.m_runCommand.Assign("old");
    Feed("\x1B[1k");
    EXPECT_THAT(m_sink.m_log, ElementsAre("new window [/m1]"));
    EXPECT_EQ(pipe.m_runCommand.Str(), "old");

    m_sink.m_log.clear();
    m_sink.m_chainCommand = "/pat\r";
    Feed("\x1B[0k");
    EXPECT_THAT(m_sink.m_log, ElementsAre("new window []"));
    EXPECT_EQ(pipe.m_runCommand.Str(), "/pat\r");
}

TEST_F(HostCommandsTest, NewWindowRefusesAChainCommandThatDoesNotFit) {
    RecordingPipe& pipe = AttachPipe();
    pipe.m_runCommand.Assign("old");
    m_sink.m_chainCommand = std::string(512, 'x');
    Feed("\x1B[1k");
    EXPECT_THAT(m_sink.m_log, IsEmpty());
    EXPECT_EQ(pipe.m_runCommand.Str(), "old");
    EXPECT_EQ(m_sink.m_debug.size(), 1u);
}

// ---- B: file transfer ----

TEST_F(HostCommandsTest, TransferThatCannotBeParsedShowsTheBox) {
    Feed(Seq("xfer notaport send c:\\x", 'B'));
    EXPECT_THAT(m_sink.m_log, ElementsAre("box Error parsing file transfer init string"));
    EXPECT_TRUE(m_sink.m_transfers.empty());
}

TEST_F(HostCommandsTest, TransferNeedsARemoteSession) {
    AttachPipe();
    Feed(Seq("xfer 4000 send c:\\x", 'B'));
    EXPECT_THAT(m_sink.m_log, IsEmpty());
    EXPECT_TRUE(m_sink.m_transfers.empty());
    EXPECT_EQ(m_sink.m_debug.size(), 1u);
}

TEST_F(HostCommandsTest, TransferDialsBackToTheRemoteHost) {
    // A port that was free a moment ago: the dial-back is refused and the transfer ends on its own.
    platform::UniqueFd probe(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(probe.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    socklen_t length = sizeof address;
    ASSERT_EQ(::getsockname(probe.Get(), reinterpret_cast<sockaddr*>(&address), &length), 0);
    const int port = ntohs(address.sin_port);
    probe = platform::UniqueFd();

    // The transfer's worker shows its error itself; the ordered log is for the window thread only.
    platform::RecordingPrompt workerPrompt;
    platform::ScopedDefaultPrompt scopedPrompt(workerPrompt);
    hostlink::CRemotePipe pipe;
    pipe.m_host.Assign("host.example");
    pipe.m_hostAddress = htonl(INADDR_LOOPBACK);
    m_sink.m_pipe = &pipe;
    Feed(Seq("xfer " + std::to_string(port) + " send %TEMP%\\in.dat", 'B'));
    ASSERT_EQ(m_sink.m_transfers.size(), 1u);
    m_sink.m_transfers[0].Join();
    const auto reports = m_sink.m_transferOwner.Reports();
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.front().text, "Connecting to host.example:" + std::to_string(port));
    EXPECT_EQ(reports.back().code, hostlink::TransferProgress::Ended);
    EXPECT_THAT(m_sink.m_log, ElementsAre("transfer started"));
    ASSERT_EQ(workerPrompt.Texts().size(), 1u);
    EXPECT_THAT(workerPrompt.Texts()[0], HasSubstr("File Transfer Error"));
    m_sink.m_pipe = nullptr;
}

// ---- Printer words ----

TEST(PrintJobPrinterTest, MapsTheTwoKeywords) {
    EXPECT_EQ(PrintJobPrinter("DeFaUlT"), "MODDefaultPrinter");
    EXPECT_EQ(PrintJobPrinter("selectprinter"), "");
    EXPECT_EQ(PrintJobPrinter("Office Laser"), "Office Laser");
    EXPECT_EQ(PrintJobPrinter("DEFAULTS"), "DEFAULTS");
}

}  // namespace
}  // namespace terminal::testing
