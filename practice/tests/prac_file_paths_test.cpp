// Where the practice list is looked for and saved: FindFile precedence over per-user and machine folders
// and the registry, GetSavePath, and Save's safe replacement of the file it loaded.
#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/win32_error.h"
#include "practice/prac_file.h"
#include "test_support.h"
#include "testsupport/file_size_limit.h"

namespace practice {
namespace {

using platform::HKey;
using platform::RegValue;
using testing::ReadFile;
using testing::TempRoot;
using testing::WriteFile;

constexpr std::string_view kKey = "Software\\Carrowline Corporation";

class PracticePaths : public TempRoot {
  protected:
    void SetRegistry(HKey root, const std::string& path) {
        ASSERT_EQ(m_registry->SetValue(root, kKey, "PracticeListFile", RegValue::String(path)),
                  platform::win32::kSuccess);
    }
    std::string Other(std::string_view name) const { return (m_root / "other" / name).string(); }
};

enum Present : unsigned {
    kUserXml = 1,
    kMachineXml = 2,
    kCuXml = 4,
    kLmXml = 8,
    kUserLst = 16,
    kMachineLst = 32,
    kCuLst = 64,
    kLmLst = 128,
};

TEST_F(PracticePaths, FindFilePrecedence) {
    struct Case {
        unsigned present;
        const char* expected;  // a key of `places`
    };
    const std::vector<Case> cases = {
        {0xFF, "userXml"},
        {0xFF & ~kUserXml, "machineXml"},
        {kCuXml | kLmXml | kUserLst | kMachineLst | kCuLst | kLmLst, "cuXml"},
        {kLmXml | kUserLst | kMachineLst | kCuLst | kLmLst, "lmXml"},
        {kUserLst | kMachineLst | kCuLst | kLmLst, "userLst"},
        {kMachineLst | kCuLst | kLmLst, "machineLst"},
        {kCuLst | kLmLst, "cuLst"},
        {kLmLst, "lmLst"},
        {0, "new"},
    };
    const std::map<std::string, std::filesystem::path> places = {
        {"userXml", UserFolder() / "practice.xml"},
        {"machineXml", MachineFolder() / "practice.xml"},
        {"cuXml", Other("cu.xml")},
        {"lmXml", Other("lm.xml")},
        {"userLst", UserFolder() / "practice.lst"},
        {"machineLst", MachineFolder() / "practice.lst"},
        {"cuLst", Other("cu.lst")},
        {"lmLst", Other("lm.lst")},
        {"new", MachineFolder() / "practice.xml"},
    };
    const std::vector<std::string> order = {"userXml", "machineXml", "cuXml", "lmXml",
                                            "userLst", "machineLst", "cuLst", "lmLst"};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        std::filesystem::remove_all(UserFolder());
        std::filesystem::remove_all(MachineFolder());
        std::filesystem::remove_all(m_root / "other");
        std::filesystem::remove_all(m_root / "hives");
        for (size_t bit = 0; bit < order.size(); ++bit) {
            if ((c.present & (1u << bit)) != 0) {
                WriteFile(places.at(order[bit]), "x");
            }
        }
        // The registry values are always there; only existing files count.
        SetRegistry(HKey::CurrentUser, (c.present & kCuXml) ? Other("cu.xml") : Other("cu.lst"));
        SetRegistry(HKey::LocalMachine, (c.present & kLmXml) ? Other("lm.xml") : Other("lm.lst"));
        if (!(c.present & (kCuXml | kCuLst))) {
            m_registry->DeleteValue(HKey::CurrentUser, kKey, "PracticeListFile");
        }
        CPracFile file;
        EXPECT_EQ(file.FindFile(), places.at(c.expected));
    }
    EXPECT_TRUE(std::filesystem::is_directory(MachineFolder()));
}

TEST_F(PracticePaths, RegistryPathRules) {
    WriteFile(Other("upper.XML"), "x");
    WriteFile(Other("ok.xml"), "x");
    std::string path;
    EXPECT_FALSE(CPracFile::ReadRegistryPath(path, HKey::CurrentUser, ".xml"));
    SetRegistry(HKey::CurrentUser, Other("upper.XML"));
    EXPECT_FALSE(CPracFile::ReadRegistryPath(path, HKey::CurrentUser, ".xml"));
    EXPECT_EQ(path, Other("upper.XML"));
    SetRegistry(HKey::CurrentUser, Other("missing.xml"));
    EXPECT_FALSE(CPracFile::ReadRegistryPath(path, HKey::CurrentUser, ".xml"));
    SetRegistry(HKey::CurrentUser, Other("ok.xml"));
    EXPECT_TRUE(CPracFile::ReadRegistryPath(path, HKey::CurrentUser, ".xml"));
    EXPECT_EQ(path, Other("ok.xml"));
    SetRegistry(HKey::CurrentUser, "/" + std::string(300, 'a') + ".xml");
    EXPECT_FALSE(CPracFile::ReadRegistryPath(path, HKey::CurrentUser, ".xml"));
}

TEST_F(PracticePaths, GetSavePathIsTheMachineFolder) {
    CPracFile file;
    EXPECT_EQ(file.GetSavePath(), MachineFolder() / "practice.xml");
    EXPECT_EQ(file.GetSavePath(), MachineFolder() / "practice.xml");  // existing folder
}

TEST_F(PracticePaths, AccessDeniedMachineFolderFallsBackToTheUserFolder) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root is never refused a folder";
    }
    const auto lib = m_root / "machine" / "var" / "lib";
    std::filesystem::create_directories(lib);
    std::filesystem::permissions(lib,
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    CPracFile file;
    EXPECT_EQ(file.GetSavePath(), UserFolder() / "practice.xml");
    EXPECT_EQ(file.FindFile(), UserFolder() / "practice.xml");
    EXPECT_TRUE(std::filesystem::is_directory(UserFolder()));
}

TEST_F(PracticePaths, SaveWithNothingToSaveFails) {
    CPracFile file;
    EXPECT_FALSE(file.Save(nullptr, CPracSelInfo()));
    EXPECT_FALSE(std::filesystem::exists(MachineFolder() / "practice.xml"));
}

TEST_F(PracticePaths, SaveNewListGoesToTheMachineFolderAndTheRegistry) {
    std::vector<CPractice> list(1);
    list[0].m_Name = "Only";
    CPracFile file;
    ASSERT_FALSE(file.Load());
    ASSERT_TRUE(file.Save(&list, CPracSelInfo()));
    const auto saved = MachineFolder() / "practice.xml";
    EXPECT_EQ(file.GetPath(), saved);
    RegValue value;
    ASSERT_EQ(m_registry->QueryValue(HKey::LocalMachine, "SOFTWARE\\Carrowline Corporation",
                                     "PracticeListFile", value),
              platform::win32::kSuccess);
    EXPECT_EQ(value.AsString(), saved.string());
    // Only the file itself: the temporary file was renamed, not left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(MachineFolder()),
                            std::filesystem::directory_iterator()),
              1);
    CPracFile again;
    ASSERT_TRUE(again.Load());
    ASSERT_EQ(again.GetPractices().size(), 1u);
    EXPECT_EQ(again.GetPractices()[0].m_Name, "Only");
}

TEST_F(PracticePaths, SaveGoesBackToThePerUserFileItLoaded) {
    CPracFile writer;
    std::vector<CPractice> list(2);
    writer.GetPractices() = list;
    std::string text;
    ASSERT_TRUE(writer.WriteXml(text));
    WriteFile(UserFolder() / "practice.xml", text);

    CPracFile file;
    ASSERT_TRUE(file.Load());
    file.GetPractices()[1].m_Name = "Edited";
    ASSERT_TRUE(file.Save(&file.GetPractices(), file.GetSelInfo()));
    EXPECT_EQ(file.GetPath(), UserFolder() / "practice.xml");
    EXPECT_FALSE(std::filesystem::exists(MachineFolder() / "practice.xml"));

    CPracFile again;
    ASSERT_TRUE(again.Load());
    EXPECT_EQ(again.GetPractices().at(1).m_Name, "Edited");
}

TEST_F(PracticePaths, SaveWithoutLoadUsesThePracticeXmlTheNextLoadFinds) {
    WriteFile(UserFolder() / "practice.xml", "old");
    std::vector<CPractice> list(1);
    CPracFile file;
    ASSERT_TRUE(file.Save(&list, CPracSelInfo()));
    EXPECT_EQ(file.GetPath(), UserFolder() / "practice.xml");
    CPracFile again;
    EXPECT_TRUE(again.Load());
}

TEST_F(PracticePaths, FailedWriteKeepsTheOldFileAndReportsFalse) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root writes into read-only folders";
    }
    std::vector<CPractice> list(1);
    CPracFile file;
    ASSERT_TRUE(file.Save(&list, CPracSelInfo()));
    const auto saved = MachineFolder() / "practice.xml";
    const std::string before = ReadFile(saved);
    std::filesystem::permissions(MachineFolder(),
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    list.resize(3);
    EXPECT_FALSE(file.Save(&list, CPracSelInfo()));
    EXPECT_EQ(ReadFile(saved), before);
}

TEST_F(PracticePaths, WriteThatFailsPartWayKeepsTheOldBytesAndSaysWhy) {
    std::vector<CPractice> list(1);
    CPracFile file;
    ASSERT_TRUE(file.Save(&list, CPracSelInfo()));
    const auto saved = MachineFolder() / "practice.xml";
    const std::string before = ReadFile(saved);
    list.resize(3);
    m_log.clear();
    {
        testsupport::ScopedFileSizeLimit full(before.size());
        EXPECT_FALSE(file.Save(&list, CPracSelInfo()));
    }
    EXPECT_EQ(ReadFile(saved), before);
    EXPECT_EQ(m_log, std::vector<std::string>{"cannot write " + saved.string() + ": File too large"});
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(MachineFolder()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST_F(PracticePaths, FailedRenameReportsFalseAndLeavesNoTemporaryFile) {
    CPracFile writer;
    writer.GetPractices().resize(1);
    std::string text;
    ASSERT_TRUE(writer.WriteXml(text));
    WriteFile(UserFolder() / "practice.xml", text);
    CPracFile file;
    ASSERT_TRUE(file.Load());
    // Something that cannot be replaced now stands where the list was loaded from.
    std::filesystem::remove(UserFolder() / "practice.xml");
    WriteFile(UserFolder() / "practice.xml" / "inside", "keep");
    EXPECT_FALSE(file.Save(&file.GetPractices(), file.GetSelInfo()));
    EXPECT_EQ(ReadFile(UserFolder() / "practice.xml" / "inside"), "keep");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(UserFolder()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST_F(PracticePaths, DamagedXmlIsNotSavedOver) {
    WriteFile(
        UserFolder() / "practice.xml",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<PracticeFile>\n<SchemaVersion>\"6\"</SchemaVersion>\n"
        "<PracticeCount>\"4\"</PracticeCount>\n<Practice>\n<Name>\"cut");
    CPracFile file;
    EXPECT_FALSE(file.Load());
    std::vector<CPractice> empty;
    EXPECT_FALSE(file.Save(&empty, CPracSelInfo()));
    EXPECT_NE(ReadFile(UserFolder() / "practice.xml").find("cut"), std::string::npos);
}

}  // namespace
}  // namespace practice
