// The verdict queue on a fake poster: what each step posts and answers, suspended and resumed, failing posts
// and release.
#include "viewer/notify_queue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace viewer {
namespace {

struct FakeClient {
    struct Posted {
        uint32_t message;
        int32_t wParam;
        int32_t lParam;
        bool operator==(const Posted&) const = default;
    };
    std::vector<Posted> posts;
    bool listening = true;
    ClientPoster Poster() {
        return [this](uint32_t message, int32_t wParam, int32_t lParam) {
            posts.push_back({message, wParam, lParam});
            return listening;
        };
    }
};

constexpr int32_t kId = 17;
const FakeClient::Posted kNotify{WM_OBJECT_NOTIFY, 0, kId};
const FakeClient::Posted kRelease{WM_OBJECT_RELEASE, 1, kId};

// One step of a script and what it must do.
struct Step {
    enum Kind { Enqueue, Fetch, Safe, FailPosts } kind;
    std::string text;    // queued text, SafeToNotify flag
    std::string answer;  // the fetched text, SafeToNotify's answer, "true"/"false" for Enqueue
    size_t postsAfter;   // the client's post count after the step
};

struct Script {
    const char* name;
    std::vector<Step> steps;
};

TEST(NotifyQueueTest, ScriptsPostOncePerFetchCycle) {
    const std::vector<Script> scripts{
        {"one text",
         {{Step::Enqueue, "accept", "true", 1}, {Step::Fetch, "", "accept", 1}, {Step::Fetch, "", "", 1}}},
        {"suspend, three texts, resume",
         {{Step::Safe, "0", "0", 0},
          {Step::Enqueue, "accept", "true", 0},
          {Step::Enqueue, "next", "true", 0},
          {Step::Enqueue, "", "true", 0},
          {Step::Safe, "1", "0", 1},
          {Step::Fetch, "", "accept", 2},
          {Step::Fetch, "", "next", 3},
          {Step::Fetch, "", "", 3},  // the empty password text: the client cannot tell it from nothing
          {Step::Fetch, "", "", 3}}},
        {"resume with nothing queued posts nothing",
         {{Step::Safe, "0", "0", 0}, {Step::Safe, "yes", "0", 0}}},
        {"suspend flag in any case", {{Step::Safe, "0", "0", 0}, {Step::Enqueue, "back", "true", 0}}},
        {"a failing post ends the registration",
         {{Step::FailPosts, "", "", 0},
          {Step::Enqueue, "reject", "false", 1},
          {Step::Enqueue, "next", "false", 1},  // dropped: nobody is registered any more
          {Step::Fetch, "", "reject", 1}}},
        {"resume reports a failing post",
         {{Step::Safe, "0", "0", 0},
          {Step::Enqueue, "accept", "true", 0},
          {Step::FailPosts, "", "", 0},
          {Step::Safe, "1", "1", 1}}},
    };
    for (const Script& script : scripts) {
        SCOPED_TRACE(script.name);
        FakeClient client;
        NotifyQueue queue;
        queue.Register(4711, kId, client.Poster());
        for (size_t i = 0; i < script.steps.size(); ++i) {
            const Step& step = script.steps[i];
            SCOPED_TRACE("step " + std::to_string(i));
            switch (step.kind) {
                case Step::Enqueue:
                    EXPECT_EQ(queue.Enqueue(step.text) ? "true" : "false", step.answer);
                    break;
                case Step::Fetch:
                    EXPECT_EQ(queue.GetNotifyMessage(), step.answer);
                    break;
                case Step::Safe:
                    EXPECT_EQ(queue.SafeToNotify(step.text), step.answer);
                    break;
                case Step::FailPosts:
                    client.listening = false;
                    break;
            }
            EXPECT_EQ(client.posts.size(), step.postsAfter);
        }
        for (const auto& post : client.posts) {
            EXPECT_EQ(post, kNotify);
        }
    }
}

TEST(NotifyQueueTest, TextsBeforeRegistrationAreLost) {
    NotifyQueue queue;
    EXPECT_FALSE(queue.Enqueue("accept"));
    FakeClient client;
    queue.Register(1, kId, client.Poster());
    EXPECT_TRUE(client.posts.empty());
    EXPECT_EQ(queue.GetNotifyMessage(), "");
}

TEST(NotifyQueueTest, ReleaseRaisesAndPostsOnlyWhenAllowed) {
    struct Case {
        const char* name;
        bool registered;
        bool suspended;
        bool raised;
        std::vector<FakeClient::Posted> posts;
    };
    const std::vector<Case> cases{
        {"registered", true, false, true, {kRelease}},
        {"suspended", true, true, true, {}},
        {"never registered", false, false, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeClient client;
        NotifyQueue queue;
        if (c.registered) {
            queue.Register(4711, kId, client.Poster());
        }
        if (c.suspended) {
            queue.SafeToNotify("0");
        }
        int32_t raised = 0;
        queue.Release([&](int32_t window) { raised = window; });
        EXPECT_EQ(raised, c.raised ? 4711 : 0);
        EXPECT_EQ(client.posts, c.posts);
    }
}

TEST(NotifyQueueTest, PosterThatThrowsCountsAsFailedPost) {
    NotifyQueue queue;
    queue.Register(1, kId, [](uint32_t, int32_t, int32_t) -> bool { throw std::runtime_error("gone"); });
    EXPECT_FALSE(queue.Enqueue("accept"));
    EXPECT_FALSE(queue.Registered());
}

}  // namespace
}  // namespace viewer
