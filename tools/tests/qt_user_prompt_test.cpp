// The process prompt as Qt message boxes: literal texts, captions, icons, buttons and the Windows answers,
// shown directly on the user-interface thread and handed over from another thread.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest/QTest>
#include <future>
#include <thread>

#include "tools/qt_user_prompt.h"
#include "tools/tests/dialog_test_support.h"

namespace tools {
namespace {

using platform::PromptButtons;
using platform::PromptIcon;
using platform::PromptRequest;
using platform::PromptResult;

struct BoxCase {
    const char* name;
    PromptButtons buttons;
    PromptIcon icon;
    QList<QMessageBox::StandardButton> shown;
    QMessageBox::Icon boxIcon;
    QMessageBox::StandardButton click;
    PromptResult expected;
};

class QtUserPromptTest : public ::testing::TestWithParam<BoxCase> {};

TEST_P(QtUserPromptTest, ShowsTheRequestAndAnswersWithTheButtonPressed) {
    const BoxCase& c = GetParam();
    QtUserPrompt prompt;
    PromptRequest request;
    request.text = "<b>Caf\xE9</b> & co";  // Windows-1252, never rich text
    request.caption = "Ostrel";
    request.icon = c.icon;
    request.buttons = c.buttons;

    testing::WhenShown<QMessageBox>([&c](QMessageBox& box) {
        EXPECT_EQ(box.text(), QString::fromUtf8("<b>Café</b> & co"));
        EXPECT_EQ(box.textFormat(), Qt::PlainText);
        EXPECT_EQ(box.windowTitle(), "Ostrel");
        EXPECT_EQ(box.icon(), c.boxIcon);
        QList<QMessageBox::StandardButton> shown;
        for (QAbstractButton* button : box.buttons()) {
            shown.push_back(box.standardButton(button));
        }
        std::sort(shown.begin(), shown.end());
        QList<QMessageBox::StandardButton> expected = c.shown;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(shown, expected);
        EXPECT_EQ(box.defaultButton(), box.button(c.shown.front()));
        box.button(c.click)->click();
    });
    EXPECT_EQ(prompt.Show(request), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, QtUserPromptTest,
    ::testing::Values(BoxCase{"Ok",
                              PromptButtons::Ok,
                              PromptIcon::None,
                              {QMessageBox::Ok},
                              QMessageBox::NoIcon,
                              QMessageBox::Ok,
                              PromptResult::Ok},
                      BoxCase{"OkCancel",
                              PromptButtons::OkCancel,
                              PromptIcon::Stop,
                              {QMessageBox::Ok, QMessageBox::Cancel},
                              QMessageBox::Critical,
                              QMessageBox::Cancel,
                              PromptResult::Cancel},
                      BoxCase{"YesNo",
                              PromptButtons::YesNo,
                              PromptIcon::Question,
                              {QMessageBox::Yes, QMessageBox::No},
                              QMessageBox::Question,
                              QMessageBox::No,
                              PromptResult::No},
                      BoxCase{"YesNoCancel",
                              PromptButtons::YesNoCancel,
                              PromptIcon::Exclamation,
                              {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel},
                              QMessageBox::Warning,
                              QMessageBox::Yes,
                              PromptResult::Yes},
                      BoxCase{"RetryCancel",
                              PromptButtons::RetryCancel,
                              PromptIcon::Information,
                              {QMessageBox::Retry, QMessageBox::Cancel},
                              QMessageBox::Information,
                              QMessageBox::Retry,
                              PromptResult::Retry},
                      BoxCase{"AbortRetryIgnore",
                              PromptButtons::AbortRetryIgnore,
                              PromptIcon::Stop,
                              {QMessageBox::Abort, QMessageBox::Retry, QMessageBox::Ignore},
                              QMessageBox::Critical,
                              QMessageBox::Ignore,
                              PromptResult::Ignore}),
    [](const ::testing::TestParamInfo<BoxCase>& info) { return std::string(info.param.name); });

TEST(QtUserPromptCaptionTest, EmptyCaptionIsTheProgramsName) {
    QtUserPrompt prompt;
    testing::WhenShown<QMessageBox>([](QMessageBox& box) {
        EXPECT_EQ(box.windowTitle(), QCoreApplication::applicationName());
        EXPECT_FALSE(box.windowTitle().isEmpty());
        box.button(QMessageBox::Ok)->click();
    });
    prompt.Message("Hostname Lookup Failed", PromptIcon::Stop);
}

TEST(QtUserPromptThreadTest, AnotherThreadsRequestIsShownOnTheGuiThreadAndWaitsForTheAnswer) {
    QtUserPrompt prompt;
    std::thread::id boxThread;
    testing::WhenShown<QMessageBox>([&boxThread](QMessageBox& box) {
        boxThread = std::this_thread::get_id();
        EXPECT_EQ(box.text(), "Replace the file?");
        box.button(QMessageBox::No)->click();
    });
    std::packaged_task<PromptResult()> task([&prompt] {
        PromptRequest request;
        request.text = "Replace the file?";
        request.buttons = PromptButtons::YesNo;
        return prompt.Show(request);
    });
    std::future<PromptResult> answer = task.get_future();
    std::thread caller(std::move(task));
    ASSERT_TRUE(testing::WaitFor(
        [&] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    caller.join();
    EXPECT_EQ(answer.get(), PromptResult::No);
    EXPECT_EQ(boxThread, std::this_thread::get_id());
}

}  // namespace
}  // namespace tools
