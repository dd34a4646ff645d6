// The real converter: mardle turns a small document into a page with the installed office suite.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "testsupport/test_support.h"
#include "viewer/display/converter_call.h"
#include "viewer/display/viewer_temp.h"
#include "viewer/display/xml_transform.h"

namespace display {
namespace {

bool OnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::stringstream folders(path ? path : "");
    for (std::string folder; std::getline(folders, folder, ':');) {
        if (!folder.empty() && ::access((std::filesystem::path(folder) / name).c_str(), X_OK) == 0) {
            return true;
        }
    }
    return false;
}

TEST(OfficeConversionTest, MardleConvertsADocumentWithTheOfficeSuite) {
    if (!OnPath("soffice")) {
        GTEST_SKIP() << "LibreOffice (soffice) is not installed: the real conversion is not tested here.";
    }
    testsupport::TempFolder temp;
    testsupport::ScopedEnv env;
    env.Set("TMPDIR", temp.Path().string());
    auto folder = ViewerTempFolder::Create();
    ASSERT_TRUE(folder);
    testsupport::WriteFile(
        folder->PrintCopyPath(),
        "{\\rtf1\\ansi{\\fonttbl{\\f0 Times;}}\\f0\\fs24 Dear Ann, your appointment stands.\\par}");
    ConverterCall call;
    call.program = CARROWLINE_MARDLE;
    const auto result = ConvertDocument(call, folder->PrintCopyPath(), folder->HtmlPath());
    ASSERT_TRUE(result.Converted()) << result.message;
    const std::string page = testsupport::ReadFile(folder->HtmlPath());
    EXPECT_NE(page.find("appointment stands"), std::string::npos) << page;
    EXPECT_NE(page.find("<html"), std::string::npos);
}

}  // namespace
}  // namespace display
