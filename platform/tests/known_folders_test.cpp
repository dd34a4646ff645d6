// Known folders follow the environment at the time of each call; folder creation answers the Win32 codes
// callers test.
#include "platform/known_folders.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "platform/win32_error.h"
#include "testsupport/test_support.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

class KnownFoldersTest : public ::testing::Test {
  protected:
    static constexpr const char* kVars[] = {"CARROWLINE_ROOT", "XDG_CONFIG_HOME", "XDG_STATE_HOME",
                                            "XDG_RUNTIME_DIR", "TMPDIR",          "HOME"};

    // The tests set and unset these freely: the environment object puts them all back.
    void SetUp() override {
        for (const char* name : kVars) {
            m_env.Unset(name);
        }
        m_env.Set("HOME", (m_dir / "home").string());
        m_env.Set("TMPDIR", m_dir.string());
    }

    testsupport::TempFolder m_temp;
    testsupport::ScopedEnv m_env;
    const fs::path m_dir = m_temp.Path();
};

TEST_F(KnownFoldersTest, MachinePathsFollowCarrowlineRoot) {
    EXPECT_EQ(CarrowlineRoot(), "/");
    EXPECT_EQ(CommonAppDataFolder(), "/var/lib");
    EXPECT_EQ(MachineHivePath(), "/etc/carrowline/machine.reg");
    ::setenv("CARROWLINE_ROOT", "", 1);
    EXPECT_EQ(CarrowlineRoot(), "/");
    ::setenv("CARROWLINE_ROOT", (m_dir / "root").c_str(), 1);
    EXPECT_EQ(CommonAppDataFolder(), m_dir / "root/var/lib");
    EXPECT_EQ(MachineHivePath(), m_dir / "root/etc/carrowline/machine.reg");
}

TEST_F(KnownFoldersTest, UserPathsFollowXdgWithHomeFallbacks) {
    EXPECT_EQ(UserAppDataFolder(), m_dir / "home/.config");
    EXPECT_EQ(UserStateFolder(), m_dir / "home/.local/state");
    EXPECT_EQ(UserHivePath(), m_dir / "home/.config/carrowline/user.reg");
    EXPECT_EQ(RuntimeFolder(), m_dir);

    ::setenv("XDG_CONFIG_HOME", (m_dir / "cfg").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (m_dir / "state").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (m_dir / "run").c_str(), 1);
    EXPECT_EQ(UserAppDataFolder(), m_dir / "cfg");
    EXPECT_EQ(UserStateFolder(), m_dir / "state");
    EXPECT_EQ(RuntimeFolder(), m_dir / "run");
    EXPECT_EQ(UserHivePath(), m_dir / "cfg/carrowline/user.reg");

    // Relative XDG settings are not trusted.
    ::setenv("XDG_CONFIG_HOME", "relative/cfg", 1);
    EXPECT_EQ(UserAppDataFolder(), m_dir / "home/.config");
}

TEST_F(KnownFoldersTest, TempAndHomeFallBackWhenUnset) {
    EXPECT_EQ(TempFolder(), m_dir);
    ::unsetenv("TMPDIR");
    EXPECT_EQ(TempFolder(), "/tmp");
    ::unsetenv("HOME");
    const passwd* entry = ::getpwuid(::getuid());
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(HomeFolder(), entry->pw_dir);
}

TEST_F(KnownFoldersTest, ProgramFolderHoldsTheRunningExecutable) {
    EXPECT_EQ(ProgramFileName(), "platform_tests");
    EXPECT_TRUE(fs::is_regular_file(ProgramFolder() / ProgramFileName()));
}

TEST_F(KnownFoldersTest, CreateFolderMakesParentsAndReportsWhatStoodThere) {
    const fs::path nested = m_dir / "a/b/c";
    EXPECT_EQ(CreateFolder(nested), win32::kSuccess);
    EXPECT_TRUE(fs::is_directory(nested));
    EXPECT_EQ(CreateFolder(nested), win32::kAlreadyExists);
    EXPECT_EQ(CreateFolder(m_dir / "a/b/"), win32::kAlreadyExists);
    EXPECT_EQ(CreateFolder(m_dir / "a/x/../d/"), win32::kSuccess);
    EXPECT_TRUE(fs::is_directory(m_dir / "a/d"));

    std::ofstream(m_dir / "file") << "x";
    EXPECT_EQ(CreateFolder(m_dir / "file"), win32::kFileExists);
    EXPECT_EQ(CreateFolder(m_dir / "file/sub"), win32::kPathNotFound);
    EXPECT_EQ(CreateFolder(""), win32::kPathNotFound);
}

}  // namespace
}  // namespace platform
