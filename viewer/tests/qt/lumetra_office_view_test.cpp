// Word-processor documents end to end with the installed office suite: the document-view control reports
// the document as one to convert, the real mardle converts it, and the page lands in the browser pane; in
// the view itself and in the real lumetra across the bus. Without LibreOffice the tests skip, saying so.
#include <gtest/gtest.h>
#include <filesystem>

#include "platform/automation/bus/local_server.h"
#include "platform/automation/class_registry.h"
#include "testsupport/child_hives.h"
#include "testsupport/dispatch_calls.h"
#include "testsupport/program_run.h"
#include "testsupport/session_bus_environment.h"
#include "testsupport/test_support.h"
#include "viewer/lumetra_doc.h"
#include "viewer/lumetra_log.h"
#include "viewer/qt/libreoffice_writer.h"
#include "viewer/qt/lumetra_view.h"
#include "viewer/registration.h"

namespace viewer {
namespace {

namespace automation = platform::automation;
namespace fs = std::filesystem;

constexpr const char* kLetter =
    "{\\rtf1\\ansi{\\fonttbl{\\f0 Times;}}\\f0\\fs24 Dear Ann, your appointment stands.\\par}";

class LumetraOfficeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string missing;
        if (LibreOfficeWriter().ResolveProgram(missing).empty()) {
            GTEST_SKIP() << "LibreOffice (soffice) is not installed: word-processor documents are not "
                            "converted here.";
        }
        m_hives = std::make_unique<testsupport::ChildHives>(m_temp.Path(), m_env);
        const auto run = testsupport::RunProgram(CARROWLINE_REGISTER_COMPONENT, {CARROWLINE_FENNICK_LIBRARY});
        ASSERT_EQ(run.status, 0) << run.output;
        fs::create_directories(m_hives->Home() / "docs");
        testsupport::WriteFile(m_hives->Home() / "docs" / "letter.rtf", kLetter);
    }
    void TearDown() override { m_hives.reset(); }

    testsupport::TempFolder m_temp;
    testsupport::ScopedEnv m_env;
    std::unique_ptr<testsupport::ChildHives> m_hives;
};

TEST_F(LumetraOfficeTest, TheControlsWordProcessorDocumentIsConvertedIntoTheBrowserPane) {
    std::vector<std::string> stops;
    CLumetraView view(LumetraLog(), {{}, [&](const std::string& text) { stops.push_back(text); }},
                      CARROWLINE_MARDLE);
    ASSERT_NE(view.Viewer(), nullptr) << "the document-view control was not created";
    ASSERT_TRUE(view.Display(m_hives->Home() / "docs" / "letter.rtf", {}, {}, false));
    EXPECT_TRUE(view.BrowserVisible());
    EXPECT_TRUE(view.Browser()->toPlainText().contains(QStringLiteral("appointment stands")))
        << view.Browser()->toPlainText().toStdString();
    EXPECT_EQ(testsupport::ReadFile(view.TempDocPath()), kLetter);
    EXPECT_TRUE(stops.empty());
}

TEST_F(LumetraOfficeTest, TheRealViewerShowsAWordProcessorDocumentThroughMardle) {
    if (auto why = testsupport::SessionBusEnvironment::Missing()) {
        GTEST_SKIP() << *why;
    }
    ASSERT_EQ(automation::RegisterClass(LumetraRegistration(CARROWLINE_LUMETRA),
                                        automation::RegistrationScope::User),
              automation::S_OK);
    const fs::path log = m_temp.Path() / "lumetra.log";
    ASSERT_EQ(m_hives->Reg().SetValue(platform::HKey::LocalMachine, kTranscriptionKey, kLogFilePathValue,
                                      platform::RegValue::String(log.string())),
              0);
    automation::bus::InstallLocalServerActivator();
    std::shared_ptr<automation::IDispatch> doc;
    std::string message;
    ASSERT_EQ(automation::CreateByProgID(kLumetraProgId, doc, &message), automation::S_OK) << message;
    // "0" only once the converted page is in the pane.
    EXPECT_EQ(testsupport::CallForText(*doc, "OpenFile", "C:\\docs\\letter.rtf"), "0");
    // The page it shows is the converter's, in the viewer's own temporary folder.
    std::string page;
    for (const auto& entry : fs::recursive_directory_iterator(m_temp.Path())) {
        if (entry.path().filename() == "TempPrintDoc.htm") {
            page = testsupport::ReadFile(entry.path());
        }
    }
    EXPECT_NE(page.find("appointment stands"), std::string::npos) << page;
    doc.reset();
    EXPECT_EQ(testsupport::ReadFile(log).find("Lumetra cannot"), std::string::npos)
        << testsupport::ReadFile(log);
    automation::SetLocalServerActivator(nullptr);
}

}  // namespace
}  // namespace viewer
