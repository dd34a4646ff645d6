// Tests of opening host-named documents: expansion, drive mapping, refusal of anything runnable, and the
// expansion error box. Each case runs in a forked child with its own working folder, since refusals are
// written to the process-wide debug log there.
#include "suite/shell_open.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <mutex>
#include <vector>

#include "platform/user_prompt.h"
#include "testsupport/test_support.h"

namespace suite {
namespace {

class ShellOpenTest : public testsupport::RegistryTest {
  protected:
    // Runs OpenWithShell in a child and checks what reached the opener and the log.
    void Check(const std::string& hostPath, std::optional<std::filesystem::path> expectedOpen,
               const std::string& expectedLog) {
        const int status = testsupport::RunInChild([&] {
            ASSERT_EQ(chdir(m_temp.Path().c_str()), 0);
            std::vector<std::filesystem::path> opened;
            SetShellOpener([&](const std::filesystem::path& path) { opened.push_back(path); });
            const bool handed = OpenWithShell(hostPath);
            EXPECT_EQ(handed, expectedOpen.has_value());
            if (expectedOpen) {
                ASSERT_EQ(opened.size(), 1u);
                EXPECT_EQ(std::filesystem::weakly_canonical(opened[0]),
                          std::filesystem::weakly_canonical(*expectedOpen));
            } else {
                EXPECT_TRUE(opened.empty());
            }
            const std::string log = testsupport::ReadFile(m_temp.Path() / "QuilletDebugLog.txt");
            if (expectedLog.empty()) {
                EXPECT_TRUE(log.empty()) << log;
            } else {
                EXPECT_NE(log.find(expectedLog), std::string::npos) << log;
            }
        });
        EXPECT_TRUE(testsupport::ExitedCleanly(status)) << hostPath;
    }

    std::filesystem::path Make(const std::filesystem::path& path, const std::string& content,
                               mode_t mode = 0644) {
        testsupport::WriteFile(path, content);
        chmod(path.c_str(), mode);
        return path;
    }
};

TEST_F(ShellOpenTest, OpensDocumentsThroughTheDriveMapping) {
    const auto report = Make(m_tmp / "report.pdf", "%PDF-1.4");
    const auto guide = Make(m_home / "docs" / "guide.txt", "Read me");
    Check("%TEMP%\\report.pdf", report, "");
    Check("C:\\docs\\guide.txt", guide, "");
    Check("%USERPROFILE%\\docs\\guide.txt", guide, "");
    std::filesystem::create_directories(m_home / "folder");
    Check("C:\\folder", m_home / "folder", "");
}

TEST_F(ShellOpenTest, RefusesAnythingThatWouldRun) {
    Make(m_tmp / "tool",
         "\x7f"
         "ELF\x02\x01",
         0755);
    Make(m_tmp / "script.txt", "#!/bin/sh\nrm -rf ~\n");
    Make(m_tmp / "binary.dat",
         "\x7f"
         "ELF\x02\x01");
    Make(m_tmp / "setup.EXE", "MZ\x90");
    Make(m_tmp / "innocent.doc", "MZ\x90");
    Make(m_tmp / "launch.desktop", "[Desktop Entry]\nExec=sh\n");
    Make(m_tmp / "notes.txt", "plain", 0700);
    std::filesystem::create_symlink(m_tmp / "launch.desktop", m_tmp / "link.txt");
    for (const char* name : {"tool", "script.txt", "binary.dat", "setup.EXE", "innocent.doc",
                             "launch.desktop", "notes.txt", "link.txt"}) {
        SCOPED_TRACE(name);
        Check(std::string("%TEMP%\\") + name, std::nullopt, "OpenWithShell: refused to run");
    }
}

TEST_F(ShellOpenTest, RefusesPathsOutsideTheMappedFoldersAndMissingFiles) {
    Check("C:\\..\\..\\etc\\passwd", std::nullopt, "OpenWithShell: refused");
    Check("\\\\server\\share\\file.txt", std::nullopt, "OpenWithShell: refused");
    Check("C:\\missing.txt", std::nullopt, "OpenWithShell: not found");
}

TEST_F(ShellOpenTest, AnExpansionTooLongShowsTheErrorBox) {
    const int status = testsupport::RunInChild([&] {
        ASSERT_EQ(chdir(m_temp.Path().c_str()), 0);
        setenv("CARROWLINE_LONG", std::string(1100, 'x').c_str(), 1);
        platform::RecordingPrompt prompt;
        platform::ScopedDefaultPrompt scoped(prompt);
        bool called = false;
        SetShellOpener([&](const std::filesystem::path&) { called = true; });
        EXPECT_FALSE(OpenWithShell("%CARROWLINE_LONG%\\file.txt"));
        EXPECT_FALSE(called);
        const auto shown = prompt.Shown();
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].text, "Error (122) expanding path: '%CARROWLINE_LONG%\\file.txt'");
        EXPECT_EQ(shown[0].caption, "Ostrel");
        EXPECT_EQ(shown[0].icon, platform::PromptIcon::Stop);
        EXPECT_TRUE(shown[0].systemModal);
    });
    EXPECT_TRUE(testsupport::ExitedCleanly(status));
}

}  // namespace
}  // namespace suite
