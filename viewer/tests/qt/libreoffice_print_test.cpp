// The real office suite prints a small document headless on the default queue of a private scheduler.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "testsupport/cups_daemon.h"
#include "testsupport/test_support.h"
#include "viewer/qt/libreoffice_writer.h"

namespace viewer {
namespace {

namespace fs = std::filesystem;

TEST(LibreOfficePrintTest, PrintsADocumentOnTheDefaultPrinter) {
    LibreOfficeWriter probe;
    std::string missing;
    if (probe.ResolveProgram(missing).empty()) {
        GTEST_SKIP() << "LibreOffice (soffice) is not installed: printing through it is not tested here.";
    }
    if (const auto why = testsupport::CupsdMissing()) {
        GTEST_SKIP() << *why;
    }
    testsupport::TempFolder temp;
    testsupport::CupsDaemon cups({{"Office"}, {"Other"}}, "Office");
    ASSERT_TRUE(cups.Running());
    testsupport::ScopedEnv env;
    env.Set("CUPS_SERVER", cups.Socket());
    env.Set("HOME", temp.Path().string());  // no lpoptions of the user's choose another printer
    env.Unset("PRINTER");
    env.Unset("LPDEST");

    const fs::path file = temp.Path() / "TempPrintDoc.doc";
    testsupport::WriteFile(
        file, "{\\rtf1\\ansi{\\fonttbl{\\f0 Times;}}\\f0\\fs24 Dear Ann, your appointment stands.\\par}");
    LibreOfficeSettings settings = LibreOfficeSettings::FromEnvironment();
    settings.tempFolder = temp.Path();
    LibreOfficeWriter writer(settings);
    std::string why;
    const bool printed = writer.Print(file, why);
    if (!printed && why.find("without printing support") != std::string::npos) {
        GTEST_SKIP() << "The installed LibreOffice cannot print here: " << why;
    }
    ASSERT_TRUE(printed) << why;

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    std::error_code ignored;
    while (fs::file_size(cups.Output("Office"), ignored) == 0 || ignored) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "no job reached the default queue:\n"
                                                              << cups.Log();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const std::string job = testsupport::ReadFile(cups.Output("Office"));
    EXPECT_TRUE(job.starts_with("%PDF") || job.starts_with("%!")) << job.substr(0, 64);
    EXPECT_FALSE(fs::exists(cups.Output("Other")));
    // Only the job's private profile was used, and it is gone.
    for (const auto& entry : fs::directory_iterator(temp.Path())) {
        EXPECT_FALSE(entry.path().filename().string().starts_with("lumetra-print-")) << entry.path();
    }
}

}  // namespace
}  // namespace viewer
