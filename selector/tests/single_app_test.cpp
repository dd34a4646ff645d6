// The guard held in this process with a sheet open: a second real korrin on the same display ends with 0
// and the sheet, not the main window, comes forward.

#include "selector/single_app.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <QApplication>
#include <QDialog>
#include <QtTest/QTest>

#include "platform/spawn.h"
#include "testsupport/test_support.h"

namespace selector {
namespace {

TEST(SingleAppTest, SecondStartEndsAndBringsTheOpenSheetForward) {
    testsupport::TempFolder temp;
    const std::filesystem::path run = temp.Path() / "run";
    std::filesystem::create_directories(run);
    ::chmod(run.c_str(), 0700);
    testsupport::ScopedEnv env;
    env.Set("XDG_RUNTIME_DIR", run.string());
    env.Set("DISPLAY", ":41.0");

    CSingleApp guard;
    ASSERT_TRUE(guard.IsFirstInstance());
    QDialog main;
    main.show();
    QDialog sheet(&main);
    sheet.setWindowModality(Qt::ApplicationModal);
    sheet.show();
    sheet.showMinimized();
    int activations = 0;
    guard.SetOnActivate([&] {
        ++activations;
        BringForward(&main);
    });

    platform::SpawnOptions options;
    options.program = KORRIN_PROGRAM;
    options.argv = {KORRIN_PROGRAM, "-platform", "offscreen"};
    options.environment = platform::EnvironmentBlock::FromCurrentProcess();
    options.environment->Set("DISPLAY", ":41.1");  // another screen of the same display
    options.nullStdio = true;
    const std::optional<platform::SpawnedProcess> second = platform::Spawn(options);
    ASSERT_TRUE(second);
    std::optional<int> code;
    // The guard answers from this event loop, so it must run while the second start waits.
    const bool ended =
        QTest::qWaitFor([&] { return (code = platform::PollExit(second->pid)).has_value(); }, 30000);
    if (!ended) {
        ::kill(second->pid, SIGKILL);
        platform::WaitForExit(second->pid);
    }
    ASSERT_TRUE(ended) << "the second start did not end";
    EXPECT_EQ(*code, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return activations == 1; }, 30000));
    EXPECT_FALSE(sheet.isMinimized()) << "the open sheet is restored";
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &sheet; }, 30000))
        << "and activated in place of the main window";
}

}  // namespace
}  // namespace selector
