// The DetachRecord file: its 16-byte form, the private folder it lives in, and what reading refuses.
#include "terminal/control/detach_record.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "testsupport/test_support.h"

namespace terminal {
namespace {

class DetachRecordTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_runtime = m_temp.Path() / "run";
        std::filesystem::create_directories(m_runtime);
        std::filesystem::permissions(m_runtime, std::filesystem::perms::owner_all);
        m_env.Set("XDG_RUNTIME_DIR", m_runtime.string());
        m_env.Set("TMPDIR", (m_temp.Path() / "tmp").string());
        std::filesystem::create_directories(m_temp.Path() / "tmp");
        m_path = *DetachRecordPath(4321);
    }

    testsupport::TempFolder m_temp;
    testsupport::ScopedEnv m_env;
    std::filesystem::path m_runtime;
    std::filesystem::path m_path;
};

TEST_F(DetachRecordTest, RoundTripIsSixteenLittleEndianBytesWithOwnerOnlyAccess) {
    EXPECT_EQ(m_path, m_runtime / "detach4321.dat");
    const DetachRecord record{1, 17, 0x01020304, 0};
    ASSERT_TRUE(WriteDetachRecord(m_path, record));
    const std::string bytes = testsupport::ReadFile(m_path);
    ASSERT_EQ(bytes.size(), 16u);
    EXPECT_EQ(bytes.substr(0, 4), std::string("\x01\0\0\0", 4));
    EXPECT_EQ(bytes.substr(8, 4), std::string("\x04\x03\x02\x01", 4));
    struct stat st {};
    ASSERT_EQ(::stat(m_path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    DetachRecord read;
    EXPECT_EQ(ReadDetachRecord(m_path, read), DetachReadResult::Read);
    EXPECT_EQ(read, record);
    EXPECT_FALSE(std::filesystem::exists(m_path));
    EXPECT_EQ(ReadDetachRecord(m_path, read), DetachReadResult::Missing);
}

TEST_F(DetachRecordTest, RecordsOfAnyOtherSizeAreRefusedAndRemoved) {
    for (const std::size_t size : {0u, 15u, 17u, 64u}) {
        testsupport::WriteFile(m_path, std::string(size, '\x01'));
        DetachRecord read;
        EXPECT_EQ(ReadDetachRecord(m_path, read), DetachReadResult::Refused) << size;
        EXPECT_FALSE(std::filesystem::exists(m_path)) << size;
        EXPECT_EQ(read, DetachRecord{}) << size;
    }
}

TEST_F(DetachRecordTest, AStaleFileIsReplaced) {
    testsupport::WriteFile(m_path, std::string(100, 'x'));
    ASSERT_TRUE(WriteDetachRecord(m_path, {0, 5, 6, 1}));
    DetachRecord read;
    ASSERT_EQ(ReadDetachRecord(m_path, read), DetachReadResult::Read);
    EXPECT_EQ(read, (DetachRecord{0, 5, 6, 1}));
}

TEST_F(DetachRecordTest, ALinkInItsPlaceIsNeverFollowed) {
    const auto target = m_temp.Path() / "victim";
    testsupport::WriteFile(target, "precious");
    std::filesystem::create_symlink(target, m_path);
    DetachRecord read;
    EXPECT_EQ(ReadDetachRecord(m_path, read), DetachReadResult::Refused);
    EXPECT_EQ(testsupport::ReadFile(target), "precious");

    std::filesystem::create_symlink(target, m_path);
    ASSERT_TRUE(WriteDetachRecord(m_path, {1, 2, 3, 4}));
    EXPECT_EQ(testsupport::ReadFile(target), "precious");
    EXPECT_FALSE(std::filesystem::is_symlink(m_path));
    EXPECT_EQ(testsupport::ReadFile(m_path).size(), 16u);
}

TEST_F(DetachRecordTest, WithoutARuntimeFolderAPrivateFolderInTheTempFolderIsUsed) {
    m_env.Set("XDG_RUNTIME_DIR", "");
    const auto path = DetachRecordPath(99);
    ASSERT_TRUE(path.has_value());
    const auto folder = m_temp.Path() / "tmp" / ("carrowline-" + std::to_string(::getuid()));
    EXPECT_EQ(*path, folder / "detach99.dat");
    struct stat st {};
    ASSERT_EQ(::lstat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(DetachRecordTest, AFolderOthersCanWriteIsRefused) {
    std::filesystem::permissions(m_runtime, std::filesystem::perms::all);
    std::string why;
    EXPECT_FALSE(DetachRecordPath(1, &why).has_value());
    EXPECT_NE(why.find("private"), std::string::npos);
}

}  // namespace
}  // namespace terminal
