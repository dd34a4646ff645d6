// The dial-back file transfer against the stand-in transfer host over loopback TLS: both directions, the
// progress codes, hostile sizes and dropped connections (the old file survives), host paths that try to
// leave their folder, the client file name, file dialogs, several files, Cancel, and the peer program.
#include "hostlink/file_xfer.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <future>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "hostlink/tests/fake_owner.h"
#include "hostlink/tests/tls_test_server.h"
#include "platform/spawn.h"
#include "platform/user_prompt.h"
#include "standins/xferpeer/xfer_peer.h"
#include "testsupport/test_support.h"

namespace hostlink::testing {
// Readable failures for the recorded progress reports.
void PrintTo(const FakeOwner::Report& report, std::ostream* out) {
    *out << "{" << static_cast<int>(report.code) << ", " << report.value;
    if (!report.text.empty()) {
        *out << ", \"" << report.text << "\"";
    }
    *out << "}";
}
}  // namespace hostlink::testing

namespace hostlink {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using standins::xferpeer::PeerOptions;
using standins::xferpeer::PeerResult;
using standins::xferpeer::TransferPeer;
using testing::FakeOwner;
using testsupport::ReadFile;
using testsupport::WriteFile;
using Report = FakeOwner::Report;

constexpr auto kSafetyNet = 30s;

Report Status(std::string text) {
    return {TransferProgress::StatusText, 0, std::move(text)};
}
Report Code(TransferProgress code, int64_t value = 0) {
    return {code, value, {}};
}

// What one file's transfer reports: begins, range, every seventh 2048-byte chunk, then the end position.
std::vector<Report> FileCodes(int64_t size) {
    std::vector<Report> codes{Code(TransferProgress::FileBegins), Code(TransferProgress::Range, size)};
    const int64_t chunks = (size + 2047) / 2048;
    for (int64_t chunk = 7; chunk <= chunks; chunk += 7) {
        codes.push_back(Code(TransferProgress::Position, std::min<int64_t>(chunk * 2048, size)));
    }
    codes.push_back(Code(TransferProgress::Position, size));
    return codes;
}

// Everything the owner hears of a transfer that moved one file without trouble.
std::vector<Report> OneFileReports(uint16_t port, const std::string& copying, int64_t size) {
    std::vector<Report> reports{Status("Connecting to localhost:" + std::to_string(port)), Status(copying)};
    const std::vector<Report> codes = FileCodes(size);
    reports.insert(reports.end(), codes.begin(), codes.end());
    reports.push_back(Status("Done"));
    reports.push_back(Code(TransferProgress::Ended));
    return reports;
}

std::string Pattern(size_t size) {
    std::string data(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        data[i] = static_cast<char>((i * 131 + i / 251) & 0xff);
    }
    return data;
}

std::vector<std::string> Entries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Test names for the tables: the row's name, or the size.
template <typename Case>
std::string ByName(const ::testing::TestParamInfo<Case>& info) {
    return info.param.name;
}
// A table row prints as its name, not as the bytes of its strings.
template <typename Case>
requires requires(const Case& row) {
    row.name.c_str();
}
void PrintTo(const Case& row, std::ostream* out) {
    *out << row.name;
}
std::string BySize(const ::testing::TestParamInfo<size_t>& info) {
    return "Bytes" + std::to_string(info.param);
}

SSL_CTX* ServerContext() {
    static testing::TestCertificate certificate;
    return certificate.ServerContext();
}

class FileXferTest : public testsupport::RegistryTest {
  protected:
    void SetUp() override {
        RegistryTest::SetUp();
        m_scope = std::make_unique<platform::ScopedDefaultPrompt>(m_prompt);
        m_in = m_home / "in";
        fs::create_directories(m_in);
    }
    void TearDown() override {
        m_scope.reset();
        RegistryTest::TearDown();
    }

    static DialBackTarget Loopback() { return {"localhost", htonl(INADDR_LOOPBACK)}; }
    static std::string Text(uint16_t port, std::string_view direction, std::string_view path) {
        return "xfer " + std::to_string(port) + " " + std::string(direction) + " " + std::string(path);
    }

    void RunClient(const std::string& text) {
        CClientFileXfer xfer;
        xfer.Init(text, m_owner, Loopback());
        xfer.Run();
    }

    // The peer on a thread, the client on this one.
    PeerResult RunWithPeer(const PeerOptions& options, std::string_view direction, std::string_view path) {
        TransferPeer peer(options);
        auto result = std::async(std::launch::async, [&] { return peer.Run(kSafetyNet); });
        RunClient(Text(peer.Port(), direction, path));
        return result.get();
    }

    PeerOptions Sending(const std::string& data) {
        const fs::path source = m_temp.Path() / "host-source.bin";
        WriteFile(source, data);
        PeerOptions options;
        options.sendFile = source;
        return options;
    }
    PeerOptions Receiving(int32_t files = 0) {
        const fs::path folder = m_temp.Path() / "host-received";
        fs::create_directories(folder);
        PeerOptions options;
        options.recvFolder = folder;
        options.files = files;
        return options;
    }

    std::vector<Report> Reports() const { return m_owner.Reports(); }
    std::vector<Report> Tail(size_t count) const {
        std::vector<Report> reports = Reports();
        if (reports.size() > count) {
            reports.erase(reports.begin(), reports.end() - static_cast<std::ptrdiff_t>(count));
        }
        return reports;
    }
    bool Began() const {
        const auto reports = Reports();
        return std::any_of(reports.begin(), reports.end(),
                           [](const Report& r) { return r.code == TransferProgress::FileBegins; });
    }
    void ExpectTransferError(const std::string& text) {
        const auto shown = m_prompt.Shown();
        ASSERT_EQ(shown.size(), 1u) << (shown.empty() ? "" : shown[0].text);
        EXPECT_EQ(shown[0].text, "File Transfer Error:\n\n" + text);
        EXPECT_EQ(shown[0].icon, platform::PromptIcon::Stop);
        EXPECT_TRUE(shown[0].systemModal);
        EXPECT_EQ(Tail(2), (std::vector<Report>{Status("Aborted"), Code(TransferProgress::Ended)}));
    }

    platform::RecordingPrompt m_prompt;
    std::unique_ptr<platform::ScopedDefaultPrompt> m_scope;
    FakeOwner m_owner;
    fs::path m_in;
};

// --- Receiving (the host sends) -------------------------------------------------------------------------

class ReceiveSizes : public FileXferTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(ReceiveSizes, StoresTheFileAndReportsEachStep) {
    const std::string data = Pattern(GetParam());
    TransferPeer peer(Sending(data));
    auto host = std::async(std::launch::async, [&] { return peer.Run(kSafetyNet); });
    RunClient(Text(peer.Port(), "send", "C:\\in\\data.bin"));
    const PeerResult result = host.get();

    EXPECT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.received, "data.bin");
    EXPECT_EQ(ReadFile(m_in / "data.bin"), data);
    EXPECT_EQ(Entries(m_in), std::vector<std::string>{"data.bin"});
    EXPECT_EQ(Reports(), OneFileReports(peer.Port(), "Copying file from remote network host",
                                        static_cast<int64_t>(data.size())));
    EXPECT_TRUE(m_prompt.Shown().empty());
    EXPECT_EQ(m_owner.m_sorelExits.load(), 0);
}

INSTANTIATE_TEST_SUITE_P(FileXfer, ReceiveSizes, ::testing::Values(0, 2048, 5000, 20000), BySize);

TEST_F(FileXferTest, ReceivedFileReplacesAnOldOneAndKeepsItsPermissions) {
    WriteFile(m_in / "data.bin", "old contents that are longer than the new ones");
    ::chmod((m_in / "data.bin").c_str(), 0640);
    const PeerResult result = RunWithPeer(Sending("new"), "send", "C:\\in\\data.bin");
    EXPECT_TRUE(result.ok) << result.error;
    EXPECT_EQ(ReadFile(m_in / "data.bin"), "new");
    EXPECT_EQ(fs::status(m_in / "data.bin").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(Entries(m_in), std::vector<std::string>{"data.bin"});
}

TEST_F(FileXferTest, DroppedConnectionKeepsTheOldFileAndLeavesNoTemporaryFile) {
    WriteFile(m_in / "data.bin", "old contents");
    PeerOptions options = Sending(Pattern(5000));
    options.dropAfter = 3000;
    RunWithPeer(options, "send", "C:\\in\\data.bin");

    ExpectTransferError("Error reading file socket");
    EXPECT_EQ(ReadFile(m_in / "data.bin"), "old contents");
    EXPECT_EQ(Entries(m_in), std::vector<std::string>{"data.bin"});
    EXPECT_EQ(m_owner.m_sorelExits.load(), 1);
    const auto reports = Reports();
    EXPECT_EQ(std::count(reports.begin(), reports.end(), Code(TransferProgress::Position, 5000)), 0);
}

TEST_F(FileXferTest, BytesBeyondTheAnnouncedSizeAreNotWritten) {
    const std::string data = Pattern(5000);
    PeerOptions options = Sending(data);
    options.sizeText = "10 ";
    RunWithPeer(options, "send", "C:\\in\\data.bin");
    EXPECT_EQ(ReadFile(m_in / "data.bin"), data.substr(0, 10));
    EXPECT_EQ(Tail(2), (std::vector<Report>{Status("Done"), Code(TransferProgress::Ended)}));
}

struct BadSize {
    std::string name;
    std::string sizeText;
    std::optional<uint64_t> dropAfter;
    std::string error;
};

class BadSizes : public FileXferTest, public ::testing::WithParamInterface<BadSize> {};

TEST_P(BadSizes, AreRefusedBeforeAnythingIsStored) {
    WriteFile(m_in / "data.bin", "old contents");
    PeerOptions options = Sending(Pattern(100));
    options.sizeText = GetParam().sizeText;
    options.dropAfter = GetParam().dropAfter;
    RunWithPeer(options, "send", "C:\\in\\data.bin");

    ExpectTransferError(GetParam().error);
    EXPECT_EQ(ReadFile(m_in / "data.bin"), "old contents");
    EXPECT_EQ(Entries(m_in), std::vector<std::string>{"data.bin"});
}

INSTANTIATE_TEST_SUITE_P(
    FileXfer, BadSizes,
    ::testing::Values(BadSize{"NoBlankBeforeClose", "12", 0, "Error getting remote file size: 0"},
                      BadSize{"Negative", "-5 ", {}, "Invalid remote file size: '-5'"},
                      BadSize{"NotANumber", "12ab ", {}, "Invalid remote file size: '12ab'"},
                      BadSize{"Empty", " ", {}, "Invalid remote file size: ''"},
                      BadSize{"ControlBytes", "\r\n5 ", {}, "Invalid remote file size: '\\x0D\\x0A5'"},
                      BadSize{"TwentyOneDigits",
                              "123456789012345678901 ",
                              {},
                              "Invalid remote file size: '123456789012345678901...'"},
                      BadSize{"BeyondSixtyFourBits",
                              "99999999999999999999 ",
                              {},
                              "Remote file size 99999999999999999999 exceeds the limit of 68719476736 bytes"},
                      BadSize{"AboveTheLimit",
                              "68719476737 ",
                              {},
                              "Remote file size 68719476737 exceeds the limit of 68719476736 bytes"},
                      // The limit itself is allowed; the host then has to deliver.
                      BadSize{"AtTheLimitButNotDelivered", "68719476736 ", 0, "Error reading file socket"}),
    ByName<BadSize>);

// --- Sending (the host receives) ------------------------------------------------------------------------

class SendSizes : public FileXferTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(SendSizes, SendsNameSizeAndBytesAndWaitsForTheHost) {
    const std::string data = Pattern(GetParam());
    WriteFile(m_home / "out" / "data.bin", data);
    TransferPeer peer(Receiving());
    auto host = std::async(std::launch::async, [&] { return peer.Run(kSafetyNet); });
    RunClient(Text(peer.Port(), "recv", "C:\\out\\data.bin"));
    const PeerResult result = host.get();

    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.received, "data.bin" + std::to_string(data.size()) + " " + data);
    ASSERT_EQ(result.stored.size(), 1u);
    EXPECT_EQ(ReadFile(result.stored[0]), data);
    EXPECT_EQ(Reports(), OneFileReports(peer.Port(), "Copying file to remote network host",
                                        static_cast<int64_t>(data.size())));
    EXPECT_TRUE(m_prompt.Shown().empty());
}

INSTANTIATE_TEST_SUITE_P(FileXfer, SendSizes, ::testing::Values(0, 2048, 5000, 20000), BySize);

TEST_F(FileXferTest, MultirecvWithoutDialogSendsOneFileWithoutCount) {
    WriteFile(m_home / "one.txt", "abc");
    const PeerResult result = RunWithPeer(Receiving(), "MultiRecv", "C:\\one.txt");
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.received, "one.txt3 abc");
}

TEST_F(FileXferTest, HostDroppingMidFileIsATransmitError) {
    // Far more than the socket buffers hold, so the client is still writing when the host goes.
    WriteFile(m_home / "big.bin", Pattern(16 << 20));
    PeerOptions options = Receiving();
    options.dropAfter = 4096;
    RunWithPeer(options, "recv", "C:\\big.bin");
    const auto shown = m_prompt.Texts();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(shown[0].rfind("File Transfer Error:\n\nError transmitting file: 1005", 0) == 0) << shown[0];
    EXPECT_EQ(Tail(2), (std::vector<Report>{Status("Aborted"), Code(TransferProgress::Ended)}));
}

// --- Several files, file dialogs ------------------------------------------------------------------------

TEST_F(FileXferTest, MultirecvSendsTheCountThenEachChosenFile) {
    const std::string second = Pattern(5000);
    WriteFile(m_home / "pick" / "a.txt", "abc");
    WriteFile(m_home / "pick" / "b.bin", second);
    m_owner.m_chosen =
        std::vector<std::string>{(m_home / "pick" / "a.txt").string(), (m_home / "pick" / "b.bin").string()};
    TransferPeer peer(Receiving(2));
    auto host = std::async(std::launch::async, [&] { return peer.Run(kSafetyNet); });
    RunClient(Text(peer.Port(), "multirecv", "*C:\\pick"));
    const PeerResult result = host.get();

    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.received, "2 a.txt3 abcb.bin5000 " + second);
    ASSERT_EQ(result.stored.size(), 2u);
    EXPECT_EQ(ReadFile(result.stored[1]), second);
    ASSERT_EQ(m_owner.m_dialogs.size(), 1u);
    EXPECT_EQ(m_owner.m_dialogs[0].kind, FileDialogKind::OpenMultiple);
    EXPECT_EQ(m_owner.m_dialogs[0].title, "Open File");
    EXPECT_EQ(m_owner.m_dialogs[0].folder, (m_home / "pick").string());
    std::vector<Report> expected{Status("Connecting to localhost:" + std::to_string(peer.Port())),
                                 Status("Copying file(s) to remote network host"),
                                 Status("Copying file to remote network host")};
    for (const Report& report : FileCodes(3)) {
        expected.push_back(report);
    }
    expected.push_back(Status("Copying file to remote network host"));
    for (const Report& report : FileCodes(5000)) {
        expected.push_back(report);
    }
    expected.push_back(Status("Done"));
    expected.push_back(Code(TransferProgress::Ended));
    EXPECT_EQ(Reports(), expected);
}

struct DialogCase {
    std::string name;
    std::string direction;
    FileDialogKind kind;
    std::string title;
};

class CancelledDialogs : public FileXferTest, public ::testing::WithParamInterface<DialogCase> {};

TEST_P(CancelledDialogs, EndQuietly) {
    fs::create_directories(m_home / "dl");
    m_owner.m_chosen = std::nullopt;
    const bool hostSends = GetParam().direction == "send";
    RunWithPeer(hostSends ? Sending("x") : Receiving(), GetParam().direction, "*C:\\dl");

    ASSERT_EQ(m_owner.m_dialogs.size(), 1u);
    EXPECT_EQ(m_owner.m_dialogs[0].kind, GetParam().kind);
    EXPECT_EQ(m_owner.m_dialogs[0].title, GetParam().title);
    EXPECT_EQ(m_owner.m_dialogs[0].folder, (m_home / "dl").string());
    EXPECT_EQ(Tail(2), (std::vector<Report>{Status("Aborted"), Code(TransferProgress::Ended)}));
    EXPECT_FALSE(Began());
    EXPECT_TRUE(m_prompt.Shown().empty());
    EXPECT_EQ(m_owner.m_sorelExits.load(), 0);
    EXPECT_TRUE(Entries(m_home / "dl").empty());
}

INSTANTIATE_TEST_SUITE_P(FileXfer, CancelledDialogs,
                         ::testing::Values(DialogCase{"Save", "send", FileDialogKind::Save, "Save File As"},
                                           DialogCase{"Open", "recv", FileDialogKind::Open, "Open File"},
                                           DialogCase{"OpenMultiple", "multirecv",
                                                      FileDialogKind::OpenMultiple, "Open File"}),
                         ByName<DialogCase>);

TEST_F(FileXferTest, ChosenSaveTargetReceivesTheFile) {
    const fs::path picked = m_home / "picked.bin";
    m_owner.m_chosen = std::vector<std::string>{picked.string()};
    const PeerResult result = RunWithPeer(Sending("payload"), "send", "*");
    EXPECT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.received, "picked.bin");
    EXPECT_EQ(ReadFile(picked), "payload");
    ASSERT_EQ(m_owner.m_dialogs.size(), 1u);
    EXPECT_EQ(m_owner.m_dialogs[0].folder, "");
}

TEST_F(FileXferTest, ChosenOpenFileIsSent) {
    WriteFile(m_home / "mine.txt", "hello");
    m_owner.m_chosen = std::vector<std::string>{(m_home / "mine.txt").string()};
    const PeerResult result = RunWithPeer(Receiving(), "recv", "*");
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.received, "mine.txt5 hello");
}

// --- Paths and the client file name ---------------------------------------------------------------------

class EscapingPaths : public FileXferTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(EscapingPaths, AreRefusedBeforeAnythingIsWrittenOrSent) {
    const fs::path outside = m_temp.Path() / "outside.bin";
    const bool hostSends = GetParam() == "send";
    if (!hostSends) {
        WriteFile(outside, "secret");
    }
    const PeerResult result =
        RunWithPeer(hostSends ? Sending("evil") : Receiving(), GetParam(), "C:\\..\\outside.bin");

    EXPECT_TRUE(result.received.empty());
    EXPECT_EQ(fs::exists(outside), !hostSends);
    EXPECT_TRUE(hostSends || Entries(m_temp.Path() / "host-received").empty());
    const auto shown = m_prompt.Texts();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].rfind("File Transfer Error:\n\nThe path 'C:\\..\\outside.bin' cannot be used: ", 0),
              0u)
        << shown[0];
    EXPECT_FALSE(Began());
}

INSTANTIATE_TEST_SUITE_P(FileXfer, EscapingPaths, ::testing::Values("send", "recv"),
                         [](const auto& info) { return info.param; });

struct ClientNameCase {
    std::string name;
    std::string clientFileName;
    std::string finalPath;      // relative to the test's temporary folder; empty: the move is refused
    bool targetExists = false;  // a file is already there: the move is refused and both files stay
};

class ClientFileNames : public FileXferTest, public ::testing::WithParamInterface<ClientNameCase> {};

TEST_P(ClientFileNames, MoveTheReceivedFileOrSayWhyNot) {
    const ClientNameCase& c = GetParam();
    fs::create_directories(m_home / "moved");
    if (c.targetExists) {
        WriteFile(m_temp.Path() / c.finalPath, "stale");
    }
    m_owner.m_clientFileName = c.clientFileName;
    RunWithPeer(Sending("fresh"), "send", "C:\\in\\data.bin");

    EXPECT_EQ(Tail(2), (std::vector<Report>{Status("Done"), Code(TransferProgress::Ended)}));
    if (c.finalPath.empty() || c.targetExists) {
        EXPECT_EQ(ReadFile(m_in / "data.bin"), "fresh");
        if (c.targetExists) {
            EXPECT_EQ(ReadFile(m_temp.Path() / c.finalPath), "stale");
        }
        const auto shown = m_prompt.Shown();
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].text, "Error renaming client file");
        EXPECT_EQ(shown[0].caption, "Error");
        EXPECT_FALSE(fs::exists(m_temp.Path() / "escape.bin"));
        EXPECT_FALSE(fs::exists(m_home / "escape.bin"));
    } else {
        EXPECT_EQ(ReadFile(m_temp.Path() / c.finalPath), "fresh");
        EXPECT_EQ(fs::exists(m_in / "data.bin"), c.clientFileName.empty());
        EXPECT_TRUE(m_prompt.Shown().empty());
    }
    EXPECT_EQ(m_owner.m_sorelExits.load(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    FileXfer, ClientFileNames,
    ::testing::Values(ClientNameCase{"Empty", "", "home/in/data.bin"},
                      ClientNameCase{"PlainName", "renamed.bin", "tmp/renamed.bin"},
                      ClientNameCase{"PlainNameExists", "renamed.bin", "tmp/renamed.bin", true},
                      ClientNameCase{"WindowsPathExists", "C:\\moved\\renamed.bin", "home/moved/renamed.bin",
                                     true},
                      ClientNameCase{"WindowsPath", "C:\\moved\\renamed.bin", "home/moved/renamed.bin"},
                      ClientNameCase{"MissingFolder", "C:\\nofolder\\renamed.bin", ""},
                      ClientNameCase{"DriveEscape", "C:\\..\\escape.bin", ""},
                      ClientNameCase{"RelativeEscape", "..\\escape.bin", ""},
                      ClientNameCase{"SlashEscape", "../escape.bin", ""}, ClientNameCase{"DotDot", "..", ""}),
    ByName<ClientNameCase>);

// --- Errors ---------------------------------------------------------------------------------------------

struct FileErrorCase {
    std::string name;
    std::string direction;
    std::string path;
    std::string error;
    bool postClose = false;
};

class FileErrors : public FileXferTest, public ::testing::WithParamInterface<FileErrorCase> {};

TEST_P(FileErrors, ShowTheFileTextAndEndTheSessionUnlessPostClose) {
    const FileErrorCase& c = GetParam();
    WriteFile(m_home / "readonly.bin", "keep");
    ::chmod((m_home / "readonly.bin").c_str(), 0444);
    if (c.path.find("readonly") != std::string::npos && ::geteuid() == 0) {
        GTEST_SKIP() << "root writes read-only files";
    }
    m_owner.m_postClose = c.postClose;
    const bool hostSends = c.direction == "send";
    const PeerResult result = RunWithPeer(hostSends ? Sending("data") : Receiving(), c.direction, c.path);

    EXPECT_TRUE(result.received.empty());
    ExpectTransferError(c.error);
    EXPECT_EQ(m_owner.m_sorelExits.load(), c.postClose ? 0 : 1);
    EXPECT_EQ(ReadFile(m_home / "readonly.bin"), "keep");
    EXPECT_EQ(Entries(m_in), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    FileXfer, FileErrors,
    ::testing::Values(FileErrorCase{"ReceiveIntoMissingFolder", "send", "C:\\nofolder\\x.bin",
                                    "All or part of the path 'C:\\nofolder\\x.bin' is invalid"},
                      FileErrorCase{"ReceiveOntoFolder", "send", "C:\\in",
                                    "The file 'C:\\in' could not be accessed"},
                      FileErrorCase{"ReceiveOntoReadOnly", "send", "C:\\readonly.bin",
                                    "The file 'C:\\readonly.bin' could not be accessed"},
                      FileErrorCase{"SendMissingFile", "recv", "C:\\missing.bin",
                                    "File 'C:\\missing.bin' could not be located"},
                      FileErrorCase{"SendFromMissingFolder", "recv", "C:\\nofolder\\x.bin",
                                    "All or part of the path 'C:\\nofolder\\x.bin' is invalid"},
                      FileErrorCase{"SendFolderWithPostClose", "recv", "C:\\in",
                                    "The file 'C:\\in' could not be accessed", true}),
    ByName<FileErrorCase>);

TEST_F(FileXferTest, RefusedConnectionNamesTheSocketError) {
    uint16_t port = 0;
    {
        testing::LoopbackListener closed;
        port = closed.Port();
    }
    RunClient(Text(port, "send", "C:\\in\\data.bin"));
    ExpectTransferError("Error 10061 Occurred While Connecting to localhost:" + std::to_string(port));
    EXPECT_EQ(Reports().front(), Status("Connecting to localhost:" + std::to_string(port)));
    EXPECT_TRUE(Entries(m_in).empty());
}

TEST_F(FileXferTest, UnknownDirectionIsRefusedAndNothingMoves) {
    const PeerResult result = RunWithPeer(Receiving(), "fetch", "C:\\in\\data.bin");
    EXPECT_TRUE(result.received.empty());
    const auto shown = m_prompt.Shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "Invalid File Transfer Command");
    EXPECT_EQ(shown[0].icon, platform::PromptIcon::Stop);
    EXPECT_EQ(Tail(2), (std::vector<Report>{Status("Aborted"), Code(TransferProgress::Ended)}));
    EXPECT_EQ(m_owner.m_sorelExits.load(), 0);
}

// --- Init -----------------------------------------------------------------------------------------------

struct InitCase {
    std::string name;
    std::string text;
    std::string error;  // empty: parses
    int32_t port = 0;
    std::string direction;
    std::string path;
};

class InitTexts : public FileXferTest, public ::testing::WithParamInterface<InitCase> {};

TEST_P(InitTexts, ParseOrThrowTheirText) {
    const InitCase& c = GetParam();
    m_env.Set("XFERLONG", std::string(600, 'a'));
    m_env.Set("XFERDIR", "C:\\box");
    CClientFileXfer xfer;
    if (!c.error.empty()) {
        try {
            xfer.Init(c.text, m_owner, Loopback());
            FAIL() << "parsed: " << c.text;
        } catch (const FileXferError& error) {
            EXPECT_EQ(std::string(error.what()), c.error);
        }
        return;
    }
    xfer.Init(c.text, m_owner, Loopback());
    EXPECT_EQ(xfer.Port(), c.port);
    EXPECT_EQ(xfer.Direction(), c.direction);
    EXPECT_EQ(xfer.Path(), c.path);
}

InitCase Refused(std::string name, std::string text, std::string error = "Error Parsing DialBack Info") {
    return {std::move(name), std::move(text), std::move(error), 0, {}, {}};
}
InitCase Parses(std::string name, std::string text, int32_t port, std::string direction, std::string path) {
    return {std::move(name), std::move(text), {}, port, std::move(direction), std::move(path)};
}

INSTANTIATE_TEST_SUITE_P(
    FileXfer, InitTexts,
    ::testing::Values(
        Refused("Empty", ""), Refused("WordOnly", "xfer"), Refused("NoDirection", "xfer 4000"),
        Refused("NoPath", "xfer 4000 send"), Refused("PortNotANumber", "xfer port send C:\\a"),
        Refused("PortZero", "xfer 0 send C:\\a"), Refused("PortTooLarge", "xfer 65536 send C:\\a"),
        Refused("DirectionTooLong", "xfer 4000 multirecvX C:\\a"),
        Refused("PathTooLong", "xfer 4000 send " + std::string(512, 'p')),
        Parses("LongestPath", "xfer 4000 send " + std::string(511, 'p'), 4000, "send", std::string(511, 'p')),
        Parses("BlanksAndTrailingText", " B\t4000  multirecv  *C:\\dl  ignored", 4000, "multirecv",
               "*C:\\dl"),
        Parses("BlankMarks",
               "xfer 4000 send C:\\my\x02"
               "file\x02.txt",
               4000, "send", "C:\\my file .txt"),
        Parses("Expanded", "xfer 4000 recv %XFERDIR%\\f.txt", 4000, "recv", "C:\\box\\f.txt"),
        Refused("ExpansionTooLong", "xfer 4000 send %XFERLONG%", "Failed (122) to expand path '%XFERLONG%'")),
    ByName<InitCase>);

TEST_F(FileXferTest, TempExpandsToTheTempFolder) {
    CClientFileXfer xfer;
    xfer.Init("xfer 4000 send %TEMP%\\x.txt", m_owner, Loopback());
    EXPECT_EQ(xfer.Path(), m_tmp.string() + "\\x.txt");
}

TEST_F(FileXferTest, ReceivesIntoTheTempFolderThroughTemp) {
    const PeerResult result = RunWithPeer(Sending("t"), "send", "%TEMP%\\got.txt");
    EXPECT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.received, "got.txt");
    EXPECT_EQ(ReadFile(m_tmp / "got.txt"), "t");
}

// --- Worker thread and Cancel ---------------------------------------------------------------------------

TEST_F(FileXferTest, CancelEndsAStalledTransferQuietly) {
    WriteFile(m_in / "data.bin", "old contents");
    std::promise<void> nameRead;
    testing::LoopbackServer server([&](platform::UniqueFd fd) {
        testing::ServerTlsSession session(ServerContext(), std::move(fd));
        if (!session.Accept()) {
            nameRead.set_value();
            return;
        }
        std::array<char, 256> name;
        session.Read(name.data(), static_cast<int>(name.size()));
        session.WriteAll("100 abc");  // then stall, until the client goes
        nameRead.set_value();
        session.Read(name.data(), 1);
    });
    auto xfer = std::make_unique<CClientFileXfer>();
    xfer->Init(Text(server.Port(), "send", "C:\\in\\data.bin"), m_owner, Loopback());
    FileXferThread worker = CClientFileXfer::Start(std::move(xfer));
    ASSERT_EQ(nameRead.get_future().wait_for(kSafetyNet), std::future_status::ready);
    EXPECT_FALSE(worker.Finished());

    worker.Cancel();
    worker.Join();
    EXPECT_TRUE(worker.Finished());
    EXPECT_EQ(Tail(2), (std::vector<Report>{Status("Aborted"), Code(TransferProgress::Ended)}));
    EXPECT_TRUE(m_prompt.Shown().empty());
    EXPECT_EQ(m_owner.m_sorelExits.load(), 0);
    EXPECT_EQ(ReadFile(m_in / "data.bin"), "old contents");
    EXPECT_EQ(Entries(m_in), std::vector<std::string>{"data.bin"});
}

TEST_F(FileXferTest, FinishedTransferDeletesItselfAndTheHandleStaysUsable) {
    TransferPeer peer(Sending("abc"));
    auto host = std::async(std::launch::async, [&] { return peer.Run(kSafetyNet); });
    auto xfer = std::make_unique<CClientFileXfer>();
    xfer->Init(Text(peer.Port(), "send", "C:\\in\\data.bin"), m_owner, Loopback());
    FileXferThread worker = CClientFileXfer::Start(std::move(xfer));
    EXPECT_TRUE(host.get().ok);
    worker.Join();
    EXPECT_TRUE(worker.Finished());
    worker.Cancel();  // after the end: nothing left to cancel, and no harm
    EXPECT_EQ(ReadFile(m_in / "data.bin"), "abc");
}

// --- The stand-in peer ----------------------------------------------------------------------------------

TEST_F(FileXferTest, PeerRefusesFileNamesWithSeparators) {
    TransferPeer peer(Receiving());
    auto host = std::async(std::launch::async, [&] { return peer.Run(kSafetyNet); });
    platform::UniqueFd fd = testing::ConnectLoopback(peer.Port());
    ASSERT_TRUE(fd);
    CSslSocket tls;
    ASSERT_TRUE(tls.Connect(fd.Get()));
    EXPECT_EQ(tls.Write("../evil", 7), 7);
    const PeerResult result = host.get();
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find("refused file name"), std::string::npos) << result.error;
    EXPECT_TRUE(Entries(m_temp.Path() / "host-received").empty());
}

#ifdef CARROWLINE_XFERPEER_PROGRAM

struct Program {
    platform::SpawnedProcess process;
    std::string firstLine;
};

Program StartPeer(std::vector<std::string> args) {
    platform::SpawnOptions options;
    options.program = CARROWLINE_XFERPEER_PROGRAM;
    options.argv = {options.program};
    options.argv.insert(options.argv.end(), args.begin(), args.end());
    options.pipeStdout = true;
    std::string message;
    std::optional<platform::SpawnedProcess> spawned = platform::Spawn(options, nullptr, &message);
    if (!spawned) {
        ADD_FAILURE() << message;
        return {};
    }
    Program program{std::move(*spawned), {}};
    pollfd entry{program.process.stdoutRead.Get(), POLLIN, 0};
    char ch = 0;
    while (::poll(&entry, 1, static_cast<int>(std::chrono::milliseconds(kSafetyNet).count())) == 1 &&
           ::read(entry.fd, &ch, 1) == 1 && ch != '\n') {
        program.firstLine += ch;
    }
    return program;
}

TEST_F(FileXferTest, PeerProgramSendsAFile) {
    const fs::path source = m_temp.Path() / "host.bin";
    const fs::path record = m_temp.Path() / "record.txt";
    WriteFile(source, Pattern(3000));
    Program peer = StartPeer({"--send", source.string(), "--record", record.string()});
    ASSERT_GT(peer.process.pid, 0);
    ASSERT_FALSE(peer.firstLine.empty());
    RunClient(Text(static_cast<uint16_t>(std::stoi(peer.firstLine)), "send", "C:\\in\\data.bin"));
    EXPECT_EQ(platform::WaitForExit(peer.process.pid), 0);
    EXPECT_EQ(ReadFile(record), "data.bin");
    EXPECT_EQ(ReadFile(m_in / "data.bin"), Pattern(3000));
}

TEST_F(FileXferTest, PeerProgramReceivesSeveralFiles) {
    const fs::path folder = m_temp.Path() / "host-folder";
    fs::create_directories(folder);
    WriteFile(m_home / "a.txt", "first");
    WriteFile(m_home / "b.txt", "second");
    m_owner.m_chosen = std::vector<std::string>{(m_home / "a.txt").string(), (m_home / "b.txt").string()};
    Program peer = StartPeer({"--recv", folder.string(), "--files", "2"});
    ASSERT_GT(peer.process.pid, 0);
    ASSERT_FALSE(peer.firstLine.empty());
    RunClient(Text(static_cast<uint16_t>(std::stoi(peer.firstLine)), "multirecv", "*"));
    EXPECT_EQ(platform::WaitForExit(peer.process.pid), 0);
    EXPECT_EQ(ReadFile(folder / "a.txt"), "first");
    EXPECT_EQ(ReadFile(folder / "b.txt"), "second");
    EXPECT_EQ(Tail(2), (std::vector<Report>{Status("Done"), Code(TransferProgress::Ended)}));
}

TEST_F(FileXferTest, PeerProgramHelpAndBadArguments) {
    Program help = StartPeer({"--help"});
    EXPECT_EQ(help.firstLine.rfind("usage: standin-xferpeer ", 0), 0u) << help.firstLine;
    EXPECT_EQ(platform::WaitForExit(help.process.pid), 0);
    Program both = StartPeer({"--send", "x", "--recv", "y"});
    EXPECT_EQ(platform::WaitForExit(both.process.pid), 2);
    Program unknown = StartPeer({"--bogus", "1"});
    EXPECT_EQ(platform::WaitForExit(unknown.process.pid), 2);
}

#endif

}  // namespace
}  // namespace hostlink
