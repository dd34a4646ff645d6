// The prompt interface: first-button answers, queued answers, and the process-wide default's scoping.
#include "platform/user_prompt.h"

#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace platform {
namespace {

using ::testing::ElementsAre;

TEST(RecordingPrompt, AnswersFromTheQueueThenWithTheFirstButton) {
    RecordingPrompt prompt;
    prompt.QueueAnswer(PromptResult::No);
    PromptRequest question{"Save changes?", "Korrin", PromptIcon::Question, PromptButtons::YesNoCancel,
                           false};
    EXPECT_EQ(prompt.Show(question), PromptResult::No);
    const std::pair<PromptButtons, PromptResult> firstButtons[] = {
        {PromptButtons::Ok, PromptResult::Ok},
        {PromptButtons::OkCancel, PromptResult::Ok},
        {PromptButtons::YesNo, PromptResult::Yes},
        {PromptButtons::YesNoCancel, PromptResult::Yes},
        {PromptButtons::RetryCancel, PromptResult::Retry},
        {PromptButtons::AbortRetryIgnore, PromptResult::Abort},
    };
    for (auto [buttons, answer] : firstButtons) {
        EXPECT_EQ(prompt.Show({"q", "", PromptIcon::None, buttons, false}), answer);
    }
    prompt.Message("Unable to map view of a file", PromptIcon::Stop);
    ASSERT_EQ(prompt.Shown().size(), 8u);
    EXPECT_EQ(prompt.Shown().front(), question);
    EXPECT_EQ(prompt.Shown().back(), (PromptRequest{"Unable to map view of a file", "", PromptIcon::Stop,
                                                    PromptButtons::Ok, false}));
    prompt.Clear();
    EXPECT_TRUE(prompt.Texts().empty());
}

TEST(DefaultPrompt, ScopesNestAndRestoreTheStderrPrompt) {
    UserPrompt* stderrPrompt = &DefaultPrompt();
    RecordingPrompt outer, inner;
    {
        ScopedDefaultPrompt a(outer);
        DefaultPrompt().Message("one");
        {
            ScopedDefaultPrompt b(inner);
            DefaultPrompt().Message("two");
        }
        DefaultPrompt().Message("three");
    }
    EXPECT_EQ(&DefaultPrompt(), stderrPrompt);
    EXPECT_THAT(outer.Texts(), ElementsAre("one", "three"));
    EXPECT_THAT(inner.Texts(), ElementsAre("two"));

    ::testing::internal::CaptureStderr();
    EXPECT_EQ(DefaultPrompt().Show({"Retry the print?", "Quillet", PromptIcon::Exclamation,
                                    PromptButtons::RetryCancel, false}),
              PromptResult::Retry);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Quillet: Retry the print?\n");
}

TEST(DefaultPrompt, ConcurrentMessagesAreAllRecorded) {
    RecordingPrompt prompt;
    ScopedDefaultPrompt scope(prompt);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([] {
            for (int n = 0; n < 100; ++n) {
                DefaultPrompt().Message("m");
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(prompt.Texts().size(), 400u);
}

TEST(DefaultPrompt, ThreadPromptTakesOnlyItsOwnThreadsMessages) {
    RecordingPrompt process;
    RecordingPrompt worker;
    ScopedDefaultPrompt scoped(process);
    std::thread([&] {
        ScopedThreadPrompt mine(worker);
        DefaultPrompt().Message("from the worker");
    }).join();
    DefaultPrompt().Message("from the main thread");
    EXPECT_EQ(worker.Texts(), std::vector<std::string>{"from the worker"});
    EXPECT_EQ(process.Texts(), std::vector<std::string>{"from the main thread"});
}

// Whether a component's own boxes are wanted: only while neither this thread nor the process installed one.
TEST(DefaultPrompt, InstalledPromptIsNullOnlyWhileMessagesGoToStderr) {
    EXPECT_EQ(InstalledPrompt(), nullptr);
    RecordingPrompt process;
    RecordingPrompt worker;
    {
        ScopedDefaultPrompt scoped(process);
        EXPECT_EQ(InstalledPrompt(), &process);
        {
            ScopedThreadPrompt mine(worker);
            EXPECT_EQ(InstalledPrompt(), &worker);
        }
        EXPECT_EQ(InstalledPrompt(), &process);
    }
    EXPECT_EQ(InstalledPrompt(), nullptr);
    ScopedThreadPrompt mine(worker);
    EXPECT_EQ(InstalledPrompt(), &worker);
}

}  // namespace
}  // namespace platform
