// Legacy practice.lst layouts read from fixtures built with the archive writer: text, headed, beta,
// class-record and version-5 archives, format detection, and every archive cut short.
#include <gtest/gtest.h>

#include "practice/prac_file.h"
#include "test_support.h"

namespace practice {
namespace {

using testing::TempRoot;
using testing::ToBytes;
using testing::WriteFile;
using testing::WriteOldPractice;

std::vector<CPractice> FixturePractices() {
    CPractice first;
    first.m_Name = "North";
    first.m_Host = "north.host";
    first.m_SorelData = "/data/n";
    first.m_SorelProgs = "/progs";
    first.m_PortNumber = 9001;
    first.m_ConnType = 1;
    first.m_PracticeType = 4;
    first.m_WanMode = 1;
    first.m_BillServID = 33;
    first.m_Environment.Add({"TERM", "ansi"});
    CPractice second;
    second.m_Name = std::string(300, 's');
    second.m_Environment.Add({"A", "1"});
    second.m_Environment.Add({"B", "2"});
    return {first, second};
}

CPracSelInfo FixtureSelInfo() {
    CPracSelInfo info;
    info.SetStyle(2);
    for (size_t i = 0; i < kColumnCount; ++i) {
        info.GetColumnOrder()[i] = static_cast<int32_t>(kColumnCount - 1 - i);
        info.GetColumnWidths()[i] = static_cast<int32_t>(50 + i);
    }
    info.GetCustomMenu().AddItem("Run", "/run", 1);
    info.GetCustomMenu().AddItem(kSeparatorTitle, "", 0);
    info.GetCustomMenu().AddItem("List", "/list", 0);
    return info;
}

void WritePractices(ArchiveWriter& writer, int32_t schema) {
    const auto practices = FixturePractices();
    writer.WriteI32(static_cast<int32_t>(practices.size()));
    for (const auto& practice : practices) {
        if (schema >= 4) {
            practice.Serialize(writer);
        } else {
            WriteOldPractice(writer, practice);
        }
    }
}

void WriteSettings(ArchiveWriter& writer, size_t columns) {
    const CPracSelInfo info = FixtureSelInfo();
    info.SerializeColumns(writer, columns);
    info.GetCustomMenu().Serialize(writer);
}

std::vector<uint8_t> HeadedFixture() {
    ArchiveWriter writer;
    writer.WriteRaw("Korrin Ver 1.1\r\n");
    WriteSettings(writer, 9);
    WritePractices(writer, 2);
    return writer.Take();
}

std::vector<uint8_t> BetaFixture() {
    ArchiveWriter writer;
    writer.WriteRaw("Korrin Ver 1.1\n");
    WritePractices(writer, 3);
    WriteSettings(writer, 9);
    return writer.Take();
}

std::vector<uint8_t> Version4Fixture() {
    ArchiveWriter writer;
    writer.WriteNewClass("CKorrinDlg", 1);
    WritePractices(writer, 4);
    WriteSettings(writer, 11);
    return writer.Take();
}

std::vector<uint8_t> Version5Fixture(uint16_t version = 5) {
    ArchiveWriter writer;
    for (uint16_t word : kVersion5Magic) {
        writer.WriteU16(word);
    }
    writer.WriteU16(version);
    WritePractices(writer, 5);
    WriteSettings(writer, 11);
    return writer.Take();
}

class LegacyLoad : public TempRoot {
  protected:
    std::filesystem::path Lst() const { return UserFolder() / "practice.lst"; }
};

void ExpectFixturePractices(const std::vector<CPractice>& loaded, bool hasBillServ) {
    const auto expected = FixturePractices();
    ASSERT_EQ(loaded.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        CPractice want = expected[i];
        if (!hasBillServ) {
            want.m_BillServID = 0;
        }
        EXPECT_TRUE(loaded[i].SameFields(want)) << i;
    }
}

TEST_F(LegacyLoad, EveryArchiveLayout) {
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        int32_t format;
        int32_t kind;
        bool billServ;
        size_t columns;
    };
    const std::vector<Case> cases = {
        {"headed", HeadedFixture(), 0, kKindHeaded, false, 9},
        {"beta", BetaFixture(), 0, kKindBeta, false, 9},
        {"class record", Version4Fixture(), 4, kKindClassRecord, true, 11},
        {"version 5", Version5Fixture(), 5, 0, true, 11},
    };
    const CPracSelInfo want = FixtureSelInfo();
    const CPracSelInfo defaults;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(Lst(), c.bytes);
        CPracFile file;
        ASSERT_TRUE(file.Exists());
        EXPECT_EQ(file.DetectFormat(), c.format);
        ASSERT_TRUE(file.Load());
        EXPECT_EQ(file.GetPath(), Lst());
        EXPECT_EQ(file.GetKind(), c.kind);
        ExpectFixturePractices(file.GetPractices(), c.billServ);
        const CPracSelInfo& info = file.GetSelInfo();
        EXPECT_EQ(info.GetStyle(), 2);
        for (size_t i = 0; i < kColumnCount; ++i) {
            const CPracSelInfo& source = i < c.columns ? want : defaults;
            EXPECT_EQ(info.GetColumnOrder()[i], source.GetColumnOrder()[i]) << i;
            EXPECT_EQ(info.GetColumnWidths()[i], source.GetColumnWidths()[i]) << i;
        }
        EXPECT_EQ(info.GetCustomMenu().GetItems(), want.GetCustomMenu().GetItems());
        EXPECT_EQ(info.GetCustomMenu().GetEndId(), 50003);
        EXPECT_TRUE(m_recording.Texts().empty());
    }
}

TEST_F(LegacyLoad, TextLayoutDropsTheIncompleteGroup) {
    WriteFile(Lst(),
              "First\r\n/data/1\r\n1\r\nhost1\r\n/progs1\r\n4\r\n"
              "Second\n/data/2\nnot a number\n\n/progs2\n2\n"
              "Third\n/data/3\n0\n");
    CPracFile file;
    ASSERT_TRUE(file.Load());
    EXPECT_EQ(file.GetKind(), kKindText);
    ASSERT_EQ(file.GetPractices().size(), 2u);
    const CPractice& first = file.GetPractices()[0];
    EXPECT_EQ(first.m_Name, "First");
    EXPECT_EQ(first.m_SorelData, "/data/1");
    EXPECT_EQ(first.m_ConnType, 1);
    EXPECT_EQ(first.m_Host, "host1");
    EXPECT_EQ(first.m_SorelProgs, "/progs1");
    EXPECT_EQ(first.m_PracticeType, 4);
    EXPECT_EQ(first.m_PortNumber, 8002);
    EXPECT_EQ(file.GetPractices()[1].m_ConnType, 0);
    ASSERT_FALSE(m_log.empty());
    EXPECT_NE(m_log.back().find("incomplete"), std::string::npos);
}

TEST_F(LegacyLoad, UnknownFormats) {
    const std::vector<std::pair<std::string, std::vector<uint8_t>>> cases = {
        {"practice.lst", Version5Fixture(7)},
        {"practice.xml",
         ToBytes("<?xml version=\"1.0\"?>\n<PracticeFile>\n<PracticeCount>\"0\"</PracticeCount>\n")},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        std::filesystem::remove_all(UserFolder());
        WriteFile(UserFolder() / name, bytes);
        m_recording.Clear();
        CPracFile file;
        EXPECT_FALSE(file.Load());
        EXPECT_EQ(m_recording.Texts(), std::vector<std::string>{"Unknown practice file format"});
    }
}

TEST_F(LegacyLoad, DamagedHeadedFileShowsTheBetaMessageAndFails) {
    std::vector<uint8_t> bytes = HeadedFixture();
    bytes.resize(bytes.size() - 3);
    WriteFile(Lst(), bytes);
    CPracFile file;
    EXPECT_FALSE(file.Load());
    const std::vector<std::string> expected = {
        "The practice file is in what appears to be a beta\n format but cannot be read correctly, it may be "
        "corrupt."};
    EXPECT_EQ(m_recording.Texts(), expected);
    // A list that was not read is never saved over as practice.xml.
    EXPECT_FALSE(file.Save(&file.GetPractices(), file.GetSelInfo()));
    EXPECT_FALSE(std::filesystem::exists(MachineFolder() / "practice.xml"));
    EXPECT_FALSE(std::filesystem::exists(UserFolder() / "practice.xml"));
}

TEST_F(LegacyLoad, TrailingBytesAreNotIgnored) {
    for (auto bytes : {HeadedFixture(), BetaFixture(), Version4Fixture(), Version5Fixture()}) {
        bytes.push_back(0);
        CPracFile file;
        EXPECT_FALSE(file.LoadHeaded(bytes));
        EXPECT_FALSE(file.LoadBeta(bytes));
        EXPECT_THROW(file.LoadVersion4(bytes), ArchiveError);
    }
    auto v5 = Version5Fixture();
    v5.push_back(0);
    CPracFile file;
    EXPECT_THROW(file.LoadVersion5(v5), ArchiveError);
}

TEST_F(LegacyLoad, EveryCutOfEveryArchiveFails) {
    const std::vector<std::pair<const char*, std::vector<uint8_t>>> fixtures = {
        {"headed", HeadedFixture()},
        {"beta", BetaFixture()},
        {"class record", Version4Fixture()},
        {"version 5", Version5Fixture()},
    };
    for (const auto& [name, bytes] : fixtures) {
        for (size_t cut = 0; cut < bytes.size(); ++cut) {
            SCOPED_TRACE(std::string(name) + " cut at " + std::to_string(cut));
            const std::span<const uint8_t> prefix(bytes.data(), cut);
            CPracFile direct;
            EXPECT_FALSE(direct.LoadHeaded(prefix));
            EXPECT_FALSE(direct.LoadBeta(prefix));
            EXPECT_THROW(direct.LoadVersion4(prefix), ArchiveError);
            bool v5 = false;
            try {
                v5 = direct.LoadVersion5(prefix);
            } catch (const ArchiveError&) {
            }
            EXPECT_FALSE(v5);
            EXPECT_FALSE(direct.HasList());

            if (cut == 0) {
                continue;  // an empty practice.lst is an empty text list
            }
            WriteFile(Lst(), prefix);
            CPracFile file;
            bool loaded = false;
            try {
                loaded = file.Load();
            } catch (const ArchiveError&) {
            }
            EXPECT_FALSE(loaded);
            EXPECT_FALSE(file.Save(nullptr, file.GetSelInfo()));
        }
    }
    EXPECT_FALSE(std::filesystem::exists(MachineFolder() / "practice.xml"));
}

TEST_F(LegacyLoad, SaveAfterLegacyLoadWritesXmlAndKeepsTheLst) {
    const auto bytes = Version4Fixture();
    WriteFile(Lst(), bytes);
    CPracFile file;
    ASSERT_TRUE(file.Load());
    ASSERT_TRUE(file.Save(&file.GetPractices(), file.GetSelInfo()));
    EXPECT_EQ(file.GetPath(), MachineFolder() / "practice.xml");
    EXPECT_EQ(testing::ReadFile(Lst()), std::string(bytes.begin(), bytes.end()));

    CPracFile again;
    ASSERT_TRUE(again.Load());
    EXPECT_EQ(again.GetPath(), MachineFolder() / "practice.xml");
    ExpectFixturePractices(again.GetPractices(), true);
    EXPECT_EQ(again.GetSelInfo().GetCustomMenu().GetItems(), FixtureSelInfo().GetCustomMenu().GetItems());
}

}  // namespace
}  // namespace practice
