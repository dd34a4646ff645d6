// Practice records: the binding archive form, the class-wide schema version, assignment rules and the
// display texts.
#include <gtest/gtest.h>

#include "practice/practice.h"

namespace practice {
namespace {

CPractice SamplePractice() {
    CPractice practice;
    practice.m_Name = "North & <Co>";
    practice.m_Host = "host.example";
    practice.m_SorelData = "/data/north";
    practice.m_SorelProgs = "/progs";
    practice.m_PortNumber = 9000;
    practice.m_PrinterNumber = 3;
    practice.m_TerminalNumber = 7;
    practice.m_ConnType = 1;
    practice.m_PracticeType = 4;
    practice.m_BillServID = 12;
    practice.m_WanMode = 1;
    practice.m_Environment.Add({"TERM", "vt220"});
    practice.m_Environment.Add({"LANG", "C"});
    return practice;
}

TEST(PracticeArchive, DefaultPracticeGoldenBytes) {
    CPractice practice;
    ArchiveWriter writer;
    practice.Serialize(writer);
    const std::vector<uint8_t> golden = {
        0x00, 0x00, 0x00, 0x00,  // four empty strings
        0x42, 0x1F, 0x00, 0x00,  // PortNumber 8002
        0x01, 0x00, 0x00, 0x00,  // PrinterNumber
        0x01, 0x00, 0x00, 0x00,  // TerminalNumber
        0x00, 0x00, 0x00, 0x00,  // ConnType
        0x00, 0x00, 0x00, 0x00,  // PracticeType
        0x00, 0x00, 0x00, 0x00,  // WanMode
        0x00, 0x00, 0x00, 0x00,  // BillServID
        0x00, 0x00,              // environment count
    };
    EXPECT_EQ(writer.Bytes(), golden);
}

TEST(PracticeArchive, WanModeIsStoredBeforeBillServID) {
    CPractice practice;
    practice.m_WanMode = 0x11;
    practice.m_BillServID = 0x22;
    ArchiveWriter writer;
    practice.Serialize(writer);
    EXPECT_EQ(writer.Bytes()[24], 0x11);
    EXPECT_EQ(writer.Bytes()[28], 0x22);
}

TEST(PracticeArchive, RoundTripAtSchemaFour) {
    const CPractice original = SamplePractice();
    ArchiveWriter writer;
    original.Serialize(writer);
    CPractice loaded;
    CPractice::s_nSchemaVersion = 4;
    ArchiveReader reader(writer.Bytes());
    loaded.Serialize(reader);
    EXPECT_TRUE(reader.AtEnd());
    EXPECT_TRUE(loaded.SameFields(original));
}

TEST(PracticeArchive, BelowSchemaFourBillServIDIsNotRead) {
    CPractice original = SamplePractice();
    original.m_Environment.RemoveAll();
    original.m_BillServID = 0;
    ArchiveWriter writer;
    original.Serialize(writer);
    CPractice loaded(3);
    ArchiveReader reader(writer.Bytes());
    loaded.Serialize(reader);
    EXPECT_EQ(loaded.m_BillServID, 0);
    // The first half of the BillServID int32 was taken as the environment count.
    EXPECT_EQ(reader.Remaining(), 4u);
}

TEST(PracticeSchemaVersion, ConstructorsAssignItExceptCopy) {
    CPractice::s_nSchemaVersion = 4;
    CPractice byDefault;
    EXPECT_EQ(CPractice::s_nSchemaVersion, 0);
    CPractice versioned(5);
    EXPECT_EQ(CPractice::s_nSchemaVersion, 5);
    CPractice copy(byDefault);
    EXPECT_EQ(CPractice::s_nSchemaVersion, 5);
    CPracticeConn conn;
    EXPECT_EQ(CPractice::s_nSchemaVersion, 0);
}

TEST(PracticeConn, AssignmentKeepsTheTargetsRunCommand) {
    CPracticeConn source(SamplePractice());
    source.m_Command = "/app";
    source.m_RunCommand = 1;
    CPracticeConn target;
    target.m_RunCommand = 7;
    target = source;
    EXPECT_EQ(target.m_RunCommand, 7);
    EXPECT_EQ(target.m_Command, "/app");
    EXPECT_TRUE(target.SameFields(source));
}

TEST(PracticeConn, FromPracticeHasNoCommand) {
    CPracticeConn conn(SamplePractice());
    EXPECT_EQ(conn.m_Command, "");
    EXPECT_EQ(conn.m_RunCommand, 0);
    EXPECT_EQ(conn.m_Name, "North & <Co>");
}

TEST(PracticeConn, ArchiveAddsRunCommandThenCommand) {
    CPracticeConn conn;
    conn.m_RunCommand = 1;
    conn.m_Command = "ab";
    ArchiveWriter writer;
    conn.Serialize(writer);
    const std::vector<uint8_t> tail = {0x01, 0x00, 0x00, 0x00, 0x02, 'a', 'b'};
    ASSERT_EQ(writer.Size(), 34u + tail.size());
    EXPECT_TRUE(std::equal(tail.begin(), tail.end(), writer.Bytes().begin() + 34));
}

TEST(PracticeNames, ConnAndPracticeTypeTexts) {
    CPractice practice;
    EXPECT_STREQ(practice.GetConnTypeName(), "Local");
    practice.m_ConnType = 2;
    EXPECT_STREQ(practice.GetConnTypeName(), "Remote");
    const std::vector<std::pair<int32_t, const char*>> types = {
        {0, "Normal"}, {4, "MSO"}, {2, "Billing Service"}, {3, "Billing Service"}, {-1, "Billing Service"}};
    for (const auto& [type, name] : types) {
        practice.m_PracticeType = type;
        EXPECT_STREQ(practice.GetPracticeTypeName(), name);
    }
}

TEST(Environment, StringJoinsEntriesAndKeepsEmptyNamesAsEmptyTexts) {
    CEnvironmentArray environment;
    EXPECT_EQ(environment.GetEnvironmentString(), "");
    environment.Add({"A", "1"});
    EXPECT_EQ(environment.GetEnvironmentString(), "A=1");
    environment.Add({"", "ignored"});
    environment.Add({"C", ""});
    EXPECT_EQ(environment.GetEnvironmentString(), "A=1;;C=");
}

TEST(Environment, CopyReplacesEntriesInOrder) {
    CEnvironmentArray source;
    source.Add({"X", "1"});
    source.Add({"Y", "2"});
    CEnvironmentArray target;
    target.Add({"old", "gone"});
    target.Add({"old2", "gone"});
    target.Add({"old3", "gone"});
    target = source;
    EXPECT_EQ(target, source);
    const CEnvironmentArray& self = target;
    target = self;
    EXPECT_EQ(target.GetSize(), 2u);
}

}  // namespace
}  // namespace practice
