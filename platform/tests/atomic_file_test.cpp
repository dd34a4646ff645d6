// Replacing files whole: contents, permissions, refusals, and nothing left behind on failure.
#include "platform/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>

#include "testsupport/file_size_limit.h"
#include "testsupport/test_support.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

class AtomicFileTest : public ::testing::Test {
  protected:
    void TearDown() override {
        std::error_code ec;
        fs::permissions(m_dir, fs::perms::owner_all, ec);
    }
    static std::string Read(const fs::path& path) { return testsupport::ReadFile(path); }
    static void Write(const fs::path& path, const std::string& text) { testsupport::WriteFile(path, text); }
    // Entries of the folder besides the ones named: a leftover temporary file shows here.
    size_t Entries() const { return static_cast<size_t>(std::distance(fs::directory_iterator(m_dir), {})); }
    static mode_t Mode(const fs::path& path) {
        struct stat st {};
        ::lstat(path.c_str(), &st);
        return st.st_mode & 07777;
    }

    testsupport::TempFolder m_temp;
    const fs::path m_dir = m_temp.Path();
};

TEST_F(AtomicFileTest, WritesNewAndReplacesKeepingPermissions) {
    const fs::path target = m_dir / "list.xml";
    ASSERT_FALSE(WriteFileAtomically(target, std::string("first\0bytes", 11)));
    EXPECT_EQ(Read(target), std::string("first\0bytes", 11));
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(Mode(target), 0666 & ~mask);

    ::chmod(target.c_str(), 0640);
    ASSERT_FALSE(WriteFileAtomically(target, "second"));
    EXPECT_EQ(Read(target), "second");
    EXPECT_EQ(Mode(target), 0640u);

    ASSERT_FALSE(WriteFileAtomically(target, "", AtomicWriteOptions{0600, true}));
    EXPECT_EQ(Read(target), "");
    EXPECT_EQ(Mode(target), 0600u);
    EXPECT_EQ(Entries(), 1u);
}

TEST_F(AtomicFileTest, RefusalsLeaveTheTargetAndNoTemporaryFile) {
    const fs::path existing = m_dir / "kept";
    Write(existing, "precious");
    std::error_code ec = WriteFileAtomically(existing, "new", AtomicWriteOptions{std::nullopt, false});
    EXPECT_EQ(ec, std::errc::file_exists);
    EXPECT_EQ(Read(existing), "precious");

    fs::create_directory(m_dir / "folder");
    EXPECT_EQ(WriteFileAtomically(m_dir / "folder", "x"), std::errc::is_a_directory);
    EXPECT_TRUE(fs::is_directory(m_dir / "folder"));

    EXPECT_TRUE(WriteFileAtomically(m_dir / "missing" / "file", "x"));
    EXPECT_EQ(Entries(), 2u);

    if (::geteuid() != 0) {
        // A folder we may not write: the create fails and the old file stays.
        fs::permissions(m_dir, fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_EQ(WriteFileAtomically(existing, "new"), std::errc::permission_denied);
        fs::permissions(m_dir, fs::perms::owner_all);
        EXPECT_EQ(Read(existing), "precious");
    }
}

TEST_F(AtomicFileTest, AFailureSaysItsStepAndKeepsTheOldBytes) {
    const fs::path existing = m_dir / "kept";
    Write(existing, "precious");
    fs::create_directory(m_dir / "folder");
    struct Case {
        const char* name;
        fs::path target;
        size_t sizeLimit;  // 0: none
        std::errc error;
        AtomicWriteStep step;
    };
    const Case cases[] = {
        {"folder", m_dir / "folder", 0, std::errc::is_a_directory, AtomicWriteStep::Target},
        {"no folder", m_dir / "missing" / "file", 0, std::errc::no_such_file_or_directory,
         AtomicWriteStep::Create},
        {"disk full", existing, 4, std::errc::file_too_large, AtomicWriteStep::Write},
    };
    for (const Case& c : cases) {
        AtomicWriteStep step = AtomicWriteStep::None;
        std::error_code ec;
        {
            std::optional<testsupport::ScopedFileSizeLimit> limit;
            if (c.sizeLimit != 0) {
                limit.emplace(c.sizeLimit);
            }
            ec = WriteFileAtomically(c.target, "longer than the limit", {}, step);
        }
        EXPECT_EQ(ec, c.error) << c.name;
        EXPECT_EQ(step, c.step) << c.name;
    }
    EXPECT_EQ(Read(existing), "precious");
    EXPECT_EQ(Entries(), 2u);
    AtomicWriteStep step = AtomicWriteStep::Write;
    EXPECT_FALSE(WriteFileAtomically(existing, "new", {}, step));
    EXPECT_EQ(step, AtomicWriteStep::None);
}

TEST_F(AtomicFileTest, LinkAtTheTargetIsReplacedNeverFollowed) {
    const fs::path outside = m_dir / "outside";
    Write(outside, "elsewhere");
    const fs::path link = m_dir / "link";
    fs::create_symlink(outside, link);
    ASSERT_FALSE(WriteFileAtomically(link, "mine"));
    EXPECT_FALSE(fs::is_symlink(link));
    EXPECT_EQ(Read(link), "mine");
    EXPECT_EQ(Read(outside), "elsewhere");
}

TEST_F(AtomicFileTest, MoveReplacesOrRefusesAnExistingTarget) {
    const fs::path from = m_dir / "received.part";
    const fs::path to = m_dir / "received.txt";
    Write(from, "incoming");
    Write(to, "older");
    EXPECT_EQ(MoveFileAtomically(from, to, AtomicWriteOptions{std::nullopt, false}), std::errc::file_exists);
    EXPECT_EQ(Read(from), "incoming");
    EXPECT_EQ(Read(to), "older");

    ASSERT_FALSE(MoveFileAtomically(from, to));
    EXPECT_FALSE(fs::exists(from));
    EXPECT_EQ(Read(to), "incoming");

    EXPECT_TRUE(MoveFileAtomically(m_dir / "absent", to));
    EXPECT_EQ(Read(to), "incoming");
}

}  // namespace
}  // namespace platform
