// One QApplication for a whole Qt test program, on the offscreen platform unless another was chosen; the
// Qt test programs of every folder link it through the qt_test_app target.
#include <gtest/gtest.h>

#include <QApplication>
#include <memory>
#include <string>

#include "platform/known_folders.h"

namespace {

class QtApplicationEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        m_app = std::make_unique<QApplication>(m_argc, m_argv);
    }
    void TearDown() override { m_app.reset(); }

  private:
    int m_argc = 1;
    std::string m_name = platform::ProgramFileName();
    char* m_argv[2] = {m_name.data(), nullptr};
    std::unique_ptr<QApplication> m_app;
};

[[maybe_unused]] ::testing::Environment* const g_qtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

}  // namespace
