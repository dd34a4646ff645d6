// The custom menu file: its exact bytes, damaged and truncated files that must change nothing, the recorded
// path, the defaults, and saves that either complete or leave the old file alone.
#include "tools/custom_menu/custom_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/user_prompt.h"
#include "testsupport/file_size_limit.h"
#include "testsupport/test_support.h"

namespace tools {
namespace {

using practice::CCustomMenuItem;
using practice::CCustomMenuItemArray;
using testsupport::ReadFile;
using testsupport::WriteFile;

CCustomMenuItemArray TwoItems() {
    CCustomMenuItemArray items;
    items.Add(CCustomMenuItem("&Run", "/r", 1));
    items.Add(CCustomMenuItem("-SEPARATOR-", "", 0));
    return items;
}

// The count, then per item the title, the action and the 32-bit flag, little-endian.
const std::string kTwoItemsBytes = std::string("\x02\x00", 2) + "\x04&Run" + "\x02/r" +
                                   std::string("\x01\x00\x00\x00", 4) + "\x0b-SEPARATOR-" +
                                   std::string("\x00", 1) + std::string("\x00\x00\x00\x00", 4);

std::vector<uint8_t> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

class CustomFileTest : public testsupport::RegistryTest {
  protected:
    void RecordPath(const std::filesystem::path& path) {
        ASSERT_EQ(Reg().SetValue(platform::HKey::CurrentUser, std::string(kMenuFileKey), "MenuFile",
                                 platform::RegValue::String(path.string())),
                  0);
    }
    std::filesystem::path Folder() const { return m_temp.Path(); }

    platform::RecordingPrompt m_prompt;
    platform::ScopedDefaultPrompt m_scopedPrompt{m_prompt};
};

TEST(CustomMenuFileBytes, TwoItemsHaveTheirExactArchiveForm) {
    const std::vector<uint8_t> bytes = FormatCustomMenuFile(TwoItems());
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), kTwoItemsBytes);
    EXPECT_EQ(ParseCustomMenuFile(bytes), TwoItems());
}

TEST(CustomMenuFileBytes, LongTitlesUseTheWideLengthPrefix) {
    CCustomMenuItemArray items;
    items.Add(CCustomMenuItem(std::string(300, 'T'), "/x", 0));
    const std::vector<uint8_t> bytes = FormatCustomMenuFile(items);
    ASSERT_GE(bytes.size(), 5u);
    EXPECT_EQ(bytes[2], 0xFF);
    EXPECT_EQ(bytes[3], 300 & 0xFF);
    EXPECT_EQ(bytes[4], 300 >> 8);
    EXPECT_EQ(ParseCustomMenuFile(bytes), items);
}

TEST(CustomMenuFileBytes, DamagedFormsAreRefused) {
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"empty", ""},
        {"trailing byte", kTwoItemsBytes + "x"},
        {"count beyond the data", std::string("\xff\xff\xff\xff\xff\x7f", 6)},
        {"string longer than the file", std::string("\x01\x00\xfe", 3) + "abc"},
        {"wide string prefix cut", std::string("\x01\x00\xff\xff", 4)},
    };
    for (const auto& c : cases) {
        EXPECT_THROW(ParseCustomMenuFile(Bytes(c.bytes)), practice::ArchiveError) << c.name;
    }
}

TEST_F(CustomFileTest, EveryTruncationIsRefusedAndLeavesTheListAsItWas) {
    const std::filesystem::path path = Folder() / "menu.cmf";
    CCustomFile file;
    file.SetDefaults();
    for (size_t cut = 0; cut < kTwoItemsBytes.size(); ++cut) {
        WriteFile(path, kTwoItemsBytes.substr(0, cut));
        std::string error;
        EXPECT_EQ(file.LoadFile(path, error), CCustomFile::FileStatus::Damaged) << "cut at " << cut;
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(file.GetItems(), CCustomFile::DefaultItems()) << "cut at " << cut;
    }
    WriteFile(path, kTwoItemsBytes);
    std::string error;
    EXPECT_EQ(file.LoadFile(path, error), CCustomFile::FileStatus::Read);
    EXPECT_EQ(file.GetItems(), TwoItems());
}

TEST_F(CustomFileTest, LoadTakesTheRecordedFileOrTheDefaults) {
    CCustomFile file;
    EXPECT_EQ(file.Load(), 1) << "no path recorded";
    EXPECT_EQ(file.GetItems(), CCustomFile::DefaultItems());

    file.SetItems(TwoItems());
    RecordPath(Folder() / "missing.cmf");
    EXPECT_EQ(file.Load(), 0);
    EXPECT_EQ(file.GetItems(), CCustomFile::DefaultItems()) << "a missing file brings the defaults";

    WriteFile(Folder() / "empty.cmf", std::string("\x00\x00", 2));
    RecordPath(Folder() / "empty.cmf");
    EXPECT_EQ(file.Load(), 1);
    EXPECT_EQ(file.GetSize(), 0u);

    WriteFile(Folder() / "two.cmf", kTwoItemsBytes);
    RecordPath(Folder() / "two.cmf");
    EXPECT_EQ(file.Load(), 1);
    EXPECT_EQ(file.GetItems(), TwoItems());
    EXPECT_TRUE(m_prompt.Shown().empty());
}

TEST_F(CustomFileTest, LoadOfADamagedFileSaysSoAndKeepsTheList) {
    WriteFile(Folder() / "bad.cmf", kTwoItemsBytes.substr(0, 9));
    RecordPath(Folder() / "bad.cmf");
    CCustomFile file;
    file.SetItems(TwoItems());
    EXPECT_EQ(file.Load(), 0);
    EXPECT_EQ(file.GetItems(), TwoItems());
    ASSERT_EQ(m_prompt.Shown().size(), 1u);
    EXPECT_NE(m_prompt.Shown()[0].text.find((Folder() / "bad.cmf").string()), std::string::npos);
    EXPECT_EQ(m_prompt.Shown()[0].icon, platform::PromptIcon::Stop);
}

TEST_F(CustomFileTest, ADamagedFileAtTheFirstLoadLeavesTheDefaultsAndIsToldOnce) {
    const std::filesystem::path path = Folder() / "bad.cmf";
    WriteFile(path, kTwoItemsBytes.substr(0, 9));
    RecordPath(path);
    CCustomFile file;
    EXPECT_EQ(file.Load(), 0);
    EXPECT_EQ(file.GetItems(), CCustomFile::DefaultItems()) << "no list yet: the defaults, not nothing";
    // Loaded again at every merge: the same damage is not told again.
    EXPECT_EQ(file.Load(), 0);
    EXPECT_EQ(file.Load(), 0);
    ASSERT_EQ(m_prompt.Shown().size(), 1u);

    // Damaged anew, it is told anew; once it reads, later damage keeps the list read.
    WriteFile(path, kTwoItemsBytes + "x");
    EXPECT_EQ(file.Load(), 0);
    EXPECT_EQ(m_prompt.Shown().size(), 2u);
    WriteFile(path, kTwoItemsBytes);
    EXPECT_EQ(file.Load(), 1);
    WriteFile(path, kTwoItemsBytes.substr(0, 9));
    EXPECT_EQ(file.Load(), 0);
    EXPECT_EQ(file.GetItems(), TwoItems());
    EXPECT_EQ(m_prompt.Shown().size(), 3u);

    file.Reset();
    EXPECT_EQ(file.Load(), 0);
    EXPECT_EQ(file.GetItems(), CCustomFile::DefaultItems());
    EXPECT_EQ(m_prompt.Shown().size(), 4u);
}

TEST_F(CustomFileTest, SaveWritesTheArchiveAndReplacesTheOldFile) {
    const std::filesystem::path path = Folder() / "menu.cmf";
    WriteFile(path, "old contents that are longer than the new ones, to see the file truncated");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    RecordPath(path);
    CCustomFile file;
    file.SetItems(TwoItems());
    EXPECT_EQ(file.Save(), 1);
    EXPECT_EQ(ReadFile(path), kTwoItemsBytes);
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u) << "the replacement keeps the file's permissions";
    for (const auto& entry : std::filesystem::directory_iterator(Folder())) {
        EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
    }
}

TEST_F(CustomFileTest, FailedSavesAreReportedAndChangeNothing) {
    CCustomFile file;
    file.SetItems(TwoItems());
    EXPECT_EQ(file.Save(), 0) << "no path recorded";

    // The target is a folder: the new file is written, but cannot take the folder's place.
    const std::filesystem::path folder = Folder() / "taken.cmf";
    std::filesystem::create_directories(folder);
    WriteFile(folder / "inside", "kept");
    RecordPath(folder);
    EXPECT_EQ(file.Save(), 0);
    EXPECT_FALSE(file.LastError().empty());
    EXPECT_EQ(ReadFile(folder / "inside"), "kept");
    for (const auto& entry : std::filesystem::directory_iterator(Folder())) {
        EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
    }

    // The folder of the file does not exist.
    RecordPath(Folder() / "no such folder" / "menu.cmf");
    EXPECT_EQ(file.Save(), 0);
    EXPECT_FALSE(std::filesystem::exists(Folder() / "no such folder"));
}

TEST_F(CustomFileTest, EachFailedStepIsNamedAndTheOldFileKeepsItsBytes) {
    const std::filesystem::path path = Folder() / "menu.cmf";
    const std::string old = "old";
    WriteFile(path, old);
    std::filesystem::create_directories(Folder() / "taken.cmf");
    struct Case {
        std::filesystem::path target;
        size_t sizeLimit;  // 0: none
        std::string error;
    };
    const Case cases[] = {
        {path, old.size(), "cannot write " + path.string() + ": File too large"},
        {Folder() / "taken.cmf", 0,
         "cannot replace " + (Folder() / "taken.cmf").string() + ": Is a directory"},
        {Folder() / "none" / "menu.cmf", 0,
         "cannot create " + (Folder() / "none" / "menu.cmf").string() + ": No such file or directory"},
    };
    CCustomFile file;
    file.SetItems(TwoItems());
    for (const Case& c : cases) {
        RecordPath(c.target);
        std::optional<testsupport::ScopedFileSizeLimit> limit;
        if (c.sizeLimit != 0) {
            limit.emplace(c.sizeLimit);
        }
        EXPECT_EQ(file.Save(), 0) << c.target;
        limit.reset();
        EXPECT_EQ(file.LastError(), c.error);
    }
    EXPECT_EQ(ReadFile(path), old);
    for (const auto& entry : std::filesystem::directory_iterator(Folder())) {
        EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
    }
}

TEST_F(CustomFileTest, ThePathIsRecordedWhole) {
    const std::string longPath = (Folder() / std::string(300, 'p')).string() + ".cmf";
    EXPECT_EQ(CCustomFile::SetConfigFilePath(longPath), 0);
    std::string path;
    EXPECT_EQ(CCustomFile::GetConfigFilePath(path), 0);
    EXPECT_EQ(path, longPath);
    EXPECT_TRUE(m_prompt.Shown().empty());
}

TEST_F(CustomFileTest, AnUnwritableRegistryIsReported) {
    WriteFile(m_temp.Path() / "blocker", "not a folder");
    m_registry = std::make_unique<platform::Registry>(
        platform::Registry::Paths{m_temp.Path() / "machine.reg", m_temp.Path() / "blocker" / "user.reg"});
    platform::Registry::OverrideDefault(m_registry.get());
    EXPECT_NE(CCustomFile::SetConfigFilePath("/tmp/x.cmf"), 0);
    EXPECT_EQ(m_prompt.Texts(),
              std::vector<std::string>{"SetConfigFilePath: Could not create MenuFile key in registry."});
}

TEST(CustomFileDefaults, SixteenItemsWithOneSeparator) {
    const CCustomMenuItemArray items = CCustomFile::DefaultItems();
    ASSERT_EQ(items.GetSize(), 16u);
    EXPECT_EQ(items[0], CCustomMenuItem("Appointments", "/app", 0));
    EXPECT_EQ(items[9], CCustomMenuItem("-SEPARATOR-", "", 0));
    EXPECT_EQ(items[12], CCustomMenuItem("Vellumo", "/ode", 0));
    EXPECT_EQ(items[15], CCustomMenuItem("View Patient Chart", "/vpc", 0));
}

TEST(CustomFileDefaults, DefaultPathIsTheUsersNameInTheFolder) {
    EXPECT_EQ(DefaultConfigFilePath("/Work", "jdoe"), std::filesystem::path("/Work/jdoe.cmf"));
    std::string path;
    ASSERT_EQ(CCustomFile::GetDefaultConfigFilePath(path), 0);
    EXPECT_EQ(std::filesystem::path(path).parent_path(), std::filesystem::current_path());
    EXPECT_EQ(std::filesystem::path(path).extension(), ".cmf");
}

}  // namespace
}  // namespace tools
