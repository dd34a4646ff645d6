// The practice hand-over block: its layout, a real child process reading it through the inherited fd, the
// refusal of a practice that does not fit, and damaged blocks.
#include <gtest/gtest.h>
#include <unistd.h>

#include <map>

#include "platform/spawn.h"
#include "platform/user_prompt.h"
#include "practice/memory_mapped_file.h"

namespace practice {
namespace {

CPracticeConn SampleConn() {
    CPractice practice;
    practice.m_Name = "North & <Co>";
    practice.m_Host = "north.host";
    practice.m_SorelData = "/data";
    practice.m_SorelProgs = "/progs";
    practice.m_PortNumber = 9100;
    practice.m_PrinterNumber = 2;
    practice.m_TerminalNumber = 5;
    practice.m_ConnType = 1;
    practice.m_PracticeType = 2;
    practice.m_WanMode = 1;
    practice.m_BillServID = 17;
    practice.m_Environment.Add({"TERM", "ansi"});
    practice.m_Environment.Add({"LANG", "C"});
    CPracticeConn conn(practice);
    conn.m_Command = "/app run";
    conn.m_RunCommand = 1;
    return conn;
}

std::string ReadAll(int fd) {
    std::string out;
    char buffer[512];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return out;
        }
        out.append(buffer, static_cast<size_t>(n));
    }
}

std::map<std::string, std::string> ParseFields(const std::string& text) {
    std::map<std::string, std::string> fields;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string line = text.substr(pos, end - pos);
        if (size_t eq = line.find('='); eq != std::string::npos) {
            fields[line.substr(0, eq)] = line.substr(eq + 1);
        }
        pos = end + 1;
    }
    return fields;
}

TEST(HandOverBlock, SmallPracticeIsWellUnderOneHundredBytesThenZeros) {
    CPracticeConn conn;
    conn.m_BillServID = 9;
    std::string error;
    auto mapping = WritePracticeConnBlock(conn, &error);
    ASSERT_TRUE(mapping) << error;
    ASSERT_EQ(mapping->Size(), kPracticeConnBlockSize);
    const auto bytes = mapping->Bytes();
    const std::vector<uint8_t> record = EncodePracticeConnBlock(conn);
    EXPECT_LT(record.size(), 100u);
    EXPECT_TRUE(std::equal(record.begin(), record.end(), bytes.begin()));
    EXPECT_TRUE(std::all_of(bytes.begin() + static_cast<long>(record.size()), bytes.end(),
                            [](uint8_t b) { return b == 0; }));
    const CPracticeConn back = DecodePracticeConnBlock(bytes);
    EXPECT_EQ(back.m_BillServID, 9);
    EXPECT_TRUE(back.SameFields(conn));
}

TEST(HandOverBlock, ReaderAlwaysReadsBillServID) {
    // The reader sets the schema after constructing its practice, so BillServID is always read.
    CPracticeConn conn = SampleConn();
    const auto record = EncodePracticeConnBlock(conn);
    CPractice::s_nSchemaVersion = 0;
    const CPracticeConn back = DecodePracticeConnBlock(record);
    EXPECT_EQ(back.m_BillServID, 17);
    EXPECT_EQ(back.m_RunCommand, 1);
    EXPECT_EQ(back.m_Command, "/app run");
}

TEST(HandOverBlock, ChildProcessReadsTheInheritedBlock) {
    std::string error;
    auto mapping = WritePracticeConnBlock(SampleConn(), &error);
    ASSERT_TRUE(mapping) << error;
    platform::SpawnOptions options;
    options.program = PRACTICE_BLOCK_CHILD;
    options.argv = {PRACTICE_BLOCK_CHILD, std::to_string(mapping->Fd())};
    options.inheritFds = {mapping->Fd()};
    options.pipeStdout = true;
    int32_t code = 0;
    auto child = platform::Spawn(options, &code, &error);
    ASSERT_TRUE(child) << error;
    // The child's inherited fd keeps the block alive once the writer lets go, as the selector does.
    mapping->Close();
    const std::string output = ReadAll(child->stdoutRead.Get());
    ASSERT_EQ(platform::WaitForExit(child->pid), 0) << output;
    const auto fields = ParseFields(output);
    const std::map<std::string, std::string> expected = {
        {"Name", "North & <Co>"}, {"Host", "north.host"},  {"SorelData", "/data"},
        {"SorelProgs", "/progs"}, {"PortNumber", "9100"},  {"PrinterNumber", "2"},
        {"TerminalNumber", "5"},  {"ConnType", "1"},       {"PracticeType", "2"},
        {"WanMode", "1"},         {"BillServID", "17"},    {"Environment", "TERM=ansi;LANG=C"},
        {"RunCommand", "1"},      {"Command", "/app run"},
    };
    EXPECT_EQ(fields, expected);
}

TEST(HandOverBlock, ChildRefusesAnFdThatIsNoBlock) {
    platform::SpawnOptions options;
    options.program = PRACTICE_BLOCK_CHILD;
    options.argv = {PRACTICE_BLOCK_CHILD, "57"};
    options.nullStdio = true;
    std::string error;
    auto child = platform::Spawn(options, nullptr, &error);
    ASSERT_TRUE(child) << error;
    EXPECT_EQ(platform::WaitForExit(child->pid), 3);
}

TEST(HandOverBlock, OversizePracticeIsRefused) {
    platform::RecordingPrompt prompt;
    platform::ScopedDefaultPrompt scoped(prompt);
    CPracticeConn conn = SampleConn();
    conn.m_Command = std::string(4000, 'c');
    conn.m_Environment.Add({"BIG", std::string(200, 'v')});
    std::string error;
    EXPECT_FALSE(WritePracticeConnBlock(conn, &error));
    EXPECT_NE(error.find("4096"), std::string::npos) << error;
    EXPECT_THROW(EncodePracticeConnBlock(conn), ArchiveError);

    // Exactly 4096 bytes still fits.
    const size_t others = EncodePracticeConnBlock(SampleConn()).size() - SampleConn().m_Command.size() - 1;
    conn = SampleConn();
    conn.m_Command = std::string(kPracticeConnBlockSize - others - 3, 'c');
    auto mapping = WritePracticeConnBlock(conn, &error);
    ASSERT_TRUE(mapping) << error;
    EXPECT_EQ(DecodePracticeConnBlock(mapping->Bytes()).m_Command, conn.m_Command);
    EXPECT_TRUE(prompt.Texts().empty());
}

TEST(HandOverBlock, DamagedBlocksAreErrors) {
    const std::vector<uint8_t> record = EncodePracticeConnBlock(SampleConn());
    for (size_t cut = 0; cut < record.size(); ++cut) {
        EXPECT_THROW(DecodePracticeConnBlock(std::span<const uint8_t>(record.data(), cut)), ArchiveError)
            << cut;
    }
    std::vector<uint8_t> block(kPracticeConnBlockSize, 0);
    std::copy(record.begin(), record.end(), block.begin());
    block[record.size() + 10] = 0x41;
    EXPECT_THROW(DecodePracticeConnBlock(block), ArchiveError);
    std::vector<uint8_t> hostile(kPracticeConnBlockSize, 0xFF);
    EXPECT_THROW(DecodePracticeConnBlock(hostile), ArchiveError);
}

TEST(HandOverBlock, StreamNeverGrowsPastItsView) {
    CMemoryMappedFile stream;
    stream.FlushView(0, 0);  // no view: nothing happens
    stream.Close();
    EXPECT_EQ(stream.GetHandle(), -1);
    ASSERT_TRUE(stream.Create(16));
    EXPECT_EQ(stream.GetLength(), 16u);
    const std::vector<uint8_t> bytes(10, 7);
    stream.Write(bytes);
    EXPECT_THROW(stream.Write(bytes), ArchiveError);
    stream.FlushView(16, 0);
    stream.FlushView(100, 5);
    stream.SeekToBegin();
    std::vector<uint8_t> out(32);
    EXPECT_EQ(stream.Read(out), 16u);
    EXPECT_EQ(out[9], 7);
    EXPECT_EQ(out[10], 0);
    stream.Close();
    EXPECT_FALSE(stream.IsOpen());
}

TEST(HandOverBlock, UnmappableHandleShowsTheMessage) {
    platform::RecordingPrompt prompt;
    platform::ScopedDefaultPrompt scoped(prompt);
    std::string error;
    EXPECT_FALSE(ReadPracticeConnBlock(-1, &error));
    EXPECT_EQ(prompt.Texts(), std::vector<std::string>{"Unable to map view of a file"});
}

}  // namespace
}  // namespace practice
