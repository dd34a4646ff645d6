// Host paths to local paths on a registry of temporary hives: mapped and unmapped drives, the accepted
// forms, and every way out of a drive's folder (.., symbolic links, UNC, device names, NUL).
#include "platform/host_path.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "platform/registry.h"
#include "platform/win32_error.h"
#include "testsupport/test_support.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
constexpr const char* kDrives = "SOFTWARE\\Carrowline Corporation\\Drives";

class HostPathTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_root = fs::canonical(m_temp.Path());
        for (const char* folder :
             {"home/sub", "tmp", "d/inner", "e", "f", "wrong-e", "outside", "hives", ".hidden/drive"}) {
            fs::create_directories(m_root / folder);
        }
        m_env.Set("HOME", (m_root / "home").string());
        m_env.Set("TMPDIR", (m_root / "tmp").string());
        m_env.Set("XDG_CONFIG_HOME", (m_root / "config").string());
        m_env.Set("XDG_STATE_HOME", (m_root / "state").string());
        m_env.Set("CARROWLINE_ROOT", m_root.string());

        fs::create_directory_symlink(m_root / "outside", m_root / "home/out");
        fs::create_directory_symlink(m_root / "home/sub", m_root / "home/in");
        fs::create_symlink(m_root / "outside/created-through-link", m_root / "home/dangling");
        fs::create_symlink("sub/created-inside", m_root / "home/dangling-in");
        fs::create_directory_symlink("..", m_root / "d/up");

        m_registry = std::make_unique<Registry>(
            Registry::Paths{m_root / "hives/machine.reg", m_root / "hives/user.reg"});
        Set(HKey::LocalMachine, "D", RegValue::String((m_root / "d").string()));
        Set(HKey::LocalMachine, "E", RegValue::String((m_root / "wrong-e").string()));
        Set(HKey::CurrentUser, "E", RegValue::String((m_root / "e").string()));
        Set(HKey::CurrentUser, "F", RegValue::Dword(1));  // not text: skipped
        Set(HKey::LocalMachine, "F", RegValue::String((m_root / "f").string()));
        Set(HKey::LocalMachine, "R", RegValue::String("relative/folder"));
        Set(HKey::CurrentUser, "H", RegValue::String((m_root / ".hidden/drive").string()));
    }
    void Set(HKey root, const char* name, const RegValue& value) {
        ASSERT_EQ(m_registry->SetValue(root, kDrives, name, value), win32::kSuccess) << name;
    }

    testsupport::TempFolder m_temp;
    testsupport::ScopedEnv m_env;
    fs::path m_root;
    std::unique_ptr<Registry> m_registry;
};

TEST_F(HostPathTest, DriveFolders) {
    HostPath paths(*m_registry);
    EXPECT_EQ(paths.DriveFolder('C'), m_root / "home");
    EXPECT_EQ(paths.DriveFolder('d'), m_root / "d");
    EXPECT_EQ(paths.DriveFolder('E'), m_root / "e");
    EXPECT_EQ(paths.DriveFolder('F'), m_root / "f");
    EXPECT_EQ(paths.DriveFolder('G'), std::nullopt);
    EXPECT_EQ(paths.DriveFolder('R'), std::nullopt);  // a relative folder would depend on the working folder
    EXPECT_EQ(paths.DriveFolder('1'), std::nullopt);
    Set(HKey::CurrentUser, "C", RegValue::String((m_root / "e").string()));
    EXPECT_EQ(paths.DriveFolder('c'), m_root / "e");
}

TEST_F(HostPathTest, TranslationTable) {
    HostPath paths(*m_registry);
    struct Case {
        std::string host;
        std::optional<std::string> local;  // below the test root; nullopt when refused
    };
    const std::string tmp = (m_root / "tmp").string();
    const Case cases[] = {
        // Drive forms.
        {"C:\\dir\\file.txt", "home/dir/file.txt"},
        {"c:/dir/file.txt", "home/dir/file.txt"},
        {"C:\\", "home"},
        {"C:dir\\file", "home/dir/file"},
        {"C:\\a\\.\\b\\..\\c\\\\d\\", "home/a/c/d"},
        {"D:\\x\\..\\inner\\y", "d/inner/y"},
        {"e:\\a", "e/a"},
        {"F:\\a", "f/a"},
        {"G:\\a", std::nullopt},
        {"R:\\a", std::nullopt},
        // Root of C: and relative to C:.
        {"\\dir\\file", "home/dir/file"},
        {"dir\\file", "home/dir/file"},
        {"/etc/passwd", "home/etc/passwd"},
        // Local absolute paths inside the temp folder or a drive's folder, as "%TEMP%\x" expands.
        {tmp + "\\print.txt", "tmp/print.txt"},
        {tmp + "/a/../b.txt", "tmp/b.txt"},
        {(m_root / "d/inner").string() + "\\z", "d/inner/z"},
        {tmp + "/../outside/x", "home" + (m_root / "outside/x").string()},
        // Out of the folder lexically.
        {"C:\\..\\etc", std::nullopt},
        {"a\\..\\..\\b", std::nullopt},
        {"D:..", std::nullopt},
        // Network and device paths.
        {"\\\\server\\share\\x", std::nullopt},
        {"//server/share", std::nullopt},
        {"\\/server\\share", std::nullopt},
        {"\\\\?\\C:\\x", std::nullopt},
        {"C:\\CON", std::nullopt},
        {"nul.txt", std::nullopt},
        {"C:\\dir\\Com1.log", std::nullopt},
        {"LPT9", std::nullopt},
        {"aux .txt", std::nullopt},
        {"C:\\CONSOLE.txt", "home/CONSOLE.txt"},
        {"C:\\COM10", "home/COM10"},
        // Symbolic links: out, in, dangling out, dangling in, relative "..".
        {"C:\\out", std::nullopt},
        {"C:\\out\\x.txt", std::nullopt},
        {"C:\\in\\x.txt", "home/in/x.txt"},
        {"C:\\dangling", std::nullopt},
        {"C:\\dangling-in", "home/dangling-in"},
        {"D:\\up\\x", std::nullopt},
        {"D:\\up\\d\\x", "d/up/d/x"},
        {(m_root / "home/out/x").string(), std::nullopt},
        // Hidden names below the mapped folder; the folder itself may be hidden.
        {"C:\\.ssh\\authorized_keys", std::nullopt},
        {"C:\\.bashrc", std::nullopt},
        {"\\dir\\.git\\config", std::nullopt},
        {"/.ssh/id_rsa", std::nullopt},
        {"C:\\..bashrc", std::nullopt},
        {"C:\\.ssh\\..\\notes.txt", "home/notes.txt"},
        {"C:\\dir\\file.bashrc", "home/dir/file.bashrc"},
        {"H:\\x.txt", ".hidden/drive/x.txt"},
        {"H:\\.x", std::nullopt},
        {(m_root / "home/.ssh/id_rsa").string(), std::nullopt},
        {(m_root / "tmp/.cache/x").string(), std::nullopt},
        {(m_root / "tmp/x").string(), (m_root / "tmp/x").string()},
        {(m_root / ".hidden/drive/x").string(), (m_root / ".hidden/drive/x").string()},
        // Text.
        {"", std::nullopt},
        {std::string("C:\\a\0b", 6), std::nullopt},
        {"C:\\caf\xE9.txt", "home/caf\xC3\xA9.txt"},
    };
    for (const Case& c : cases) {
        std::string why;
        std::optional<fs::path> local = paths.Translate(c.host, &why);
        if (!c.local) {
            EXPECT_EQ(local, std::nullopt) << c.host;
            EXPECT_FALSE(why.empty()) << c.host;
        } else {
            const std::string& expected = *c.local;
            fs::path want = expected.front() == '/' ? fs::path(expected) : m_root / expected;
            EXPECT_EQ(local, want) << c.host << ": " << why;
        }
    }
}

}  // namespace
}  // namespace platform
