// The object manager against fake classes in a component library registered in a temporary class
// registry: the replies of create, call and release byte for byte, slot reuse, object ids read strictly,
// long names and results, notifications to the host, messages from released objects, and a release that
// meets a running call on another thread or from inside the call.
#include "terminal/objects/object_manager.h"

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/automation/class_registry.h"
#include "platform/user_prompt.h"
#include "testsupport/test_support.h"

namespace terminal {
namespace {

using namespace platform::automation;
using namespace std::string_literals;

constexpr const char* kFake = "ObjectsTest.Fake";
constexpr const char* kPlain = "ObjectsTest.Plain";
constexpr const char* kBroken = "ObjectsTest.Broken";

// The control as the manager sees it: writes are recorded, posted work waits until the test runs it, as
// the control's event loop would.
class RecordingHost : public ObjectHost {
  public:
    void WriteChannel0(std::string_view bytes) override {
        std::lock_guard lock(m_mutex);
        m_written += bytes;
    }
    std::string ConnectionText() override { return "remote"; }
    int32_t WindowHandle() override { return 4711; }
    bool PostToOwner(std::function<void()> task) override {
        std::lock_guard lock(m_mutex);
        m_posted.push_back(std::move(task));
        return true;
    }

    // Runs posted work until none is left; the number of tasks run.
    int RunPosted() {
        int count = 0;
        for (;;) {
            std::function<void()> task;
            {
                std::lock_guard lock(m_mutex);
                if (m_posted.empty()) {
                    return count;
                }
                task = std::move(m_posted.front());
                m_posted.pop_front();
            }
            task();
            ++count;
        }
    }
    std::string Take() {
        std::lock_guard lock(m_mutex);
        return std::exchange(m_written, {});
    }

  private:
    std::mutex m_mutex;
    std::string m_written;
    std::deque<std::function<void()>> m_posted;
};

std::string Created(int slot) {
    return "\x1b\\" + std::to_string(slot) + "\x01";
}
std::string Result(const std::string& text) {
    return "\x1b\\0\x01" + text + "\x01";
}
const std::string kCreateFailed = "\x1b\\-1\x01";
const std::string kNoSuchMember = "\x1b\\1\x01";
const std::string kCallFailed = "\x1b\\2\x01";
const std::string kReleased = "\x1b\\1\x01";

std::string CallText(int slot, const std::string& name, const std::string& argument) {
    return std::to_string(slot) + "\x02" + name + "\x02" + argument;
}

class ObjectManagerTest : public testsupport::RegistryTest {
  protected:
    void SetUp() override {
        RegistryTest::SetUp();
        const std::string library = std::filesystem::canonical(CARROWLINE_OBJECTS_TEST_COMPONENT).string();
        const struct {
            Guid clsid;
            const char* progId;
        } classes[] = {
            {Guid::FromLiteral("{7C4D2E10-5A3B-4C6D-8E9F-0A1B2C3D4E51}"), kFake},
            {Guid::FromLiteral("{7C4D2E10-5A3B-4C6D-8E9F-0A1B2C3D4E52}"), kPlain},
            {Guid::FromLiteral("{7C4D2E10-5A3B-4C6D-8E9F-0A1B2C3D4E53}"), kBroken},
        };
        for (const auto& c : classes) {
            ClassRegistration registration{c.clsid, c.progId, c.progId, library, "Apartment", {}};
            ASSERT_EQ(RegisterClass(registration, RegistrationScope::User), S_OK) << c.progId;
        }
        void* handle = nullptr;
        ASSERT_EQ(LoadComponentLibrary(library, handle), S_OK);
        void* entry = nullptr;
        ASSERT_EQ(FindComponentEntry(handle, "ObjectsTestLiveObjects", entry), S_OK);
        m_liveObjects = reinterpret_cast<int (*)()>(entry);
        ASSERT_EQ(FindComponentEntry(handle, "ObjectsTestReleasedDuringCall", entry), S_OK);
        m_releasedDuringCall = reinterpret_cast<int (*)()>(entry);
        m_liveAtStart = m_liveObjects();
        m_prompt.emplace(m_recorder);
        m_manager = std::make_unique<CObjectManager>(m_host);
    }
    void TearDown() override {
        m_manager.reset();
        m_host.RunPosted();
        EXPECT_EQ(Live(), 0) << "objects outlived their manager";
        EXPECT_EQ(m_releasedDuringCall(), 0) << "an object went away while a call ran in it";
        m_prompt.reset();
        RegistryTest::TearDown();
    }

    int Live() const { return m_liveObjects() - m_liveAtStart; }
    int Create(const char* progId = kFake) {
        m_manager->OnCreateRequest(progId);
        const std::string reply = m_host.Take();
        for (int slot = 0; slot < CObjectManager::kSlotCount; ++slot) {
            if (reply == Created(slot)) {
                return slot;
            }
        }
        ADD_FAILURE() << "no slot in the reply " << reply;
        return -1;
    }
    std::string Call(const std::string& request) {
        m_manager->OnCallRequest(request);
        return m_host.Take();
    }

    RecordingHost m_host;
    platform::RecordingPrompt m_recorder;
    std::optional<platform::ScopedDefaultPrompt> m_prompt;
    std::unique_ptr<CObjectManager> m_manager;
    int (*m_liveObjects)() = nullptr;
    int (*m_releasedDuringCall)() = nullptr;
    int m_liveAtStart = 0;
};

TEST_F(ObjectManagerTest, CreateAnswersTheSlotAndRegistersTheControlWithTheObject) {
    EXPECT_EQ(Create(), 0);
    // Window, slot and the pipe's description; the client window rides along for objects that take it.
    EXPECT_EQ(Call(CallText(0, "Describe", "")), Result("4711 0 remote client"));
    // An object that takes only the two ids still gets them.
    EXPECT_EQ(Create(kPlain), 1);
    EXPECT_EQ(Call(CallText(1, "Describe", "")), Result("4711 1 remote"));
    EXPECT_EQ(Live(), 2);
    EXPECT_TRUE(m_recorder.Shown().empty());
}

TEST_F(ObjectManagerTest, AFailedCreateTellsTheUserAndAnswersMinusOne) {
    for (const char* progId : {kBroken, "ObjectsTest.Unregistered"}) {
        m_recorder.Clear();
        m_manager->OnCreateRequest(progId);
        EXPECT_EQ(m_host.Take(), kCreateFailed) << progId;
        const auto shown = m_recorder.Shown();
        ASSERT_EQ(shown.size(), 1u) << progId;
        EXPECT_EQ(shown[0].text.rfind("Error Creating Object\r'"s + progId + "'\r", 0), 0u) << shown[0].text;
        EXPECT_GT(shown[0].text.size(), ("Error Creating Object\r'"s + progId + "'\r").size()) << "no reason";
        EXPECT_EQ(shown[0].icon, platform::PromptIcon::None);
    }
    // No slot was used up.
    EXPECT_EQ(Create(), 0);
}

TEST_F(ObjectManagerTest, FiftyObjectsFitAndFreedSlotsAreReusedLowestFirst) {
    for (int slot = 0; slot < CObjectManager::kSlotCount; ++slot) {
        ASSERT_EQ(Create(), slot);
    }
    EXPECT_EQ(Live(), 50);
    m_manager->OnCreateRequest(kFake);
    EXPECT_EQ(m_host.Take(), kCreateFailed);
    EXPECT_TRUE(m_recorder.Shown().empty()) << "a full table is no creation failure to show";
    EXPECT_EQ(Live(), 50) << "no object is made for a request that cannot get a slot";

    for (int slot : {31, 7, 12}) {
        m_manager->OnReleaseRequest(0, slot);
        EXPECT_EQ(m_host.Take(), kReleased);
    }
    EXPECT_EQ(Live(), 47);
    EXPECT_EQ(Create(), 7);
    EXPECT_EQ(Create(), 12);
    EXPECT_EQ(Create(), 31);
    EXPECT_EQ(Call(CallText(31, "Describe", "")), Result("4711 31 remote client"));
}

TEST_F(ObjectManagerTest, CallRequestsAnswerAsTheHostExpects) {
    ASSERT_EQ(Create(), 0);
    struct Case {
        std::string request;
        std::string reply;
        std::vector<std::string> shown;
    };
    const Case cases[] = {
        {CallText(0, "Echo", "hello"), Result("hello"), {}},
        {CallText(0, "eCHO", "any case"), Result("any case"), {}},
        {"0\x02"
         "Echo",
         Result(""),
         {}},  // no argument part: an empty argument
        {CallText(0, "Echo",
                  "a\x02"
                  "b"),
         Result("a\x02"
                "b"),
         {}},
        {CallText(0, "Missing", "x"), kNoSuchMember, {}},
        {CallText(0, "Fail", "x"), kCallFailed, {}},
        {CallText(0, "Label", "x"), kCallFailed, {}},  // a property, not a method
        {CallText(3, "Show", ""), kCallFailed, {}},    // an empty slot
        {CallText(0, "Queue", "x").replace(0, 1, "-1"), kCallFailed, {}},
        {CallText(0, "Queue", "x").replace(0, 1, "abc"), kCallFailed, {}},
        {CallText(0, "Queue", "x").replace(0, 1, "50"), kCallFailed, {}},
        {CallText(0, "Queue", "x").replace(0, 1, "0 "), kCallFailed, {}},
        {CallText(0, "Queue", "x").replace(0, 1, "4294967296"), kCallFailed, {}},
        {CallText(0, "Echo", "zero").replace(0, 1, "00"), Result("zero"), {}},
        {"\x02"
         "Echo\x02"
         "x",
         kCallFailed,
         {"No Object Id"}},
        {"", kCallFailed, {"No Object Id"}},
        {"0", kCallFailed, {"No method name"}},
        {"0\x02\x02"
         "x",
         kCallFailed,
         {"No method name"}},
        {"abc", kCallFailed, {"No method name"}},
    };
    for (const Case& c : cases) {
        m_recorder.Clear();
        EXPECT_EQ(Call(c.request), c.reply) << c.request;
        EXPECT_EQ(m_recorder.Texts(), c.shown) << c.request;
        // An id that is not 0 to 49 reaches no object: slot 0 must not have queued anything.
        EXPECT_EQ(m_host.RunPosted(), 0) << c.request;
    }
    EXPECT_FALSE(m_manager->CallInProgress());
}

TEST_F(ObjectManagerTest, LongNamesAndArgumentsPassWhileResultsKeepTheirLimit) {
    ASSERT_EQ(Create(), 0);
    EXPECT_EQ(Call(CallText(0, std::string(5000, 'N'), "x")), kNoSuchMember);
    EXPECT_EQ(Call(CallText(0, "Length", std::string(70000, 'a'))), Result("70000"));
    EXPECT_EQ(Call(CallText(0, "Repeat", "1023")), Result(std::string(1023, 'x')));
    EXPECT_TRUE(m_recorder.Shown().empty());

    for (const std::string& request :
         {CallText(0, "Repeat", "1024"), CallText(0, "Echo", std::string(5000, 'e'))}) {
        m_recorder.Clear();
        EXPECT_EQ(Call(request), kCallFailed);
        EXPECT_EQ(m_recorder.Texts(), std::vector<std::string>{"Method return value exceeds 1Kb"});
    }
}

TEST_F(ObjectManagerTest, ReleaseAnswersUnlessQuietAndAlwaysOnFailure) {
    struct Case {
        int32_t quiet;
        int32_t slot;  // 0 holds an object at each turn
        std::string reply;
        int liveAfter;
    };
    const Case cases[] = {
        {0, 0, kReleased, 0}, {1, 0, "", 0},         {2, 0, kReleased, 0},  {1, 5, kReleased, 1},
        {0, 5, kReleased, 1}, {1, -1, kReleased, 1}, {1, 50, kReleased, 1},
    };
    for (const Case& c : cases) {
        if (!m_manager->SlotInUse(0)) {
            ASSERT_EQ(Create(), 0);
        }
        m_manager->OnReleaseRequest(c.quiet, c.slot);
        EXPECT_EQ(m_host.Take(), c.reply) << c.quiet << " " << c.slot;
        EXPECT_EQ(Live(), c.liveAfter) << c.quiet << " " << c.slot;
        // A released object's goodbye reaches nobody.
        EXPECT_EQ(m_host.RunPosted(), 0);
        EXPECT_EQ(m_host.Take(), "");
    }
}

TEST_F(ObjectManagerTest, NotificationsReachTheHostAsLines) {
    ASSERT_EQ(Create(), 0);
    ASSERT_EQ(Create(), 1);
    EXPECT_EQ(Call(CallText(1, "Queue", "accept")), Result("0"));
    EXPECT_EQ(m_host.RunPosted(), 1);
    EXPECT_EQ(m_host.Take(), "\x1b[*1 accept\n");

    // With two waiting the object asks to be fetched again; each fetch takes one.
    Call(CallText(0, "Queue", "next"));
    m_host.RunPosted();
    EXPECT_EQ(m_host.Take(), "\x1b[*0 next\n");
    EXPECT_EQ(Call(CallText(0, "Queue", "")), Result("0"));  // a cancelled password is an empty text
    m_host.RunPosted();
    EXPECT_EQ(m_host.Take(), "\x1b[*0 \n");

    // Nothing to fetch from an empty slot, and nothing is said.
    m_manager->OnObjectNotify(7);
    EXPECT_EQ(m_host.Take(), "");
}

TEST_F(ObjectManagerTest, MessagesOfAReleasedObjectNeverReachTheSlotsNextTenant) {
    ASSERT_EQ(Create(), 0);
    // A notification and the object's own release wait in the queue while the host releases the object
    // and creates another in the same slot.
    Call(CallText(0, "Queue", "reject"));
    EXPECT_EQ(Call(CallText(0, "Close", "")), Result("0"));
    m_manager->OnReleaseRequest(0, 0);
    EXPECT_EQ(m_host.Take(), kReleased);
    ASSERT_EQ(Create(), 0);
    m_host.RunPosted();
    EXPECT_EQ(m_host.Take(), "");
    EXPECT_EQ(Call(CallText(0, "Describe", "")), Result("4711 0 remote client"));
    EXPECT_EQ(Live(), 1);

    // Its own release, handled while it lives, is quiet and frees the slot.
    EXPECT_EQ(Call(CallText(0, "Close", "")), Result("0"));
    EXPECT_EQ(m_host.RunPosted(), 1);
    EXPECT_EQ(m_host.Take(), "");
    EXPECT_FALSE(m_manager->SlotInUse(0));
    EXPECT_EQ(Live(), 0);
}

TEST_F(ObjectManagerTest, WorkPostedByObjectsIsDroppedOnceTheManagerIsGone) {
    ASSERT_EQ(Create(), 0);
    ASSERT_EQ(Create(), 1);
    Call(CallText(1, "Queue", "accept"));
    m_manager.reset();
    EXPECT_EQ(Live(), 0);
    m_host.RunPosted();
    EXPECT_EQ(m_host.Take(), "");
}

// Waits up to ten seconds for a byte on `fd`.
bool ReadByte(int fd) {
    pollfd p{fd, POLLIN, 0};
    char byte = 0;
    return ::poll(&p, 1, 10000) == 1 && ::read(fd, &byte, 1) == 1;
}

TEST_F(ObjectManagerTest, AReleaseWaitsForACallRunningOnAnotherThread) {
    ASSERT_EQ(Create(), 0);
    int entered[2];
    int proceed[2];
    ASSERT_EQ(::pipe(entered), 0);
    ASSERT_EQ(::pipe(proceed), 0);

    std::thread caller([&] {
        const std::string request =
            CallText(0, "Block", std::to_string(proceed[0]) + " " + std::to_string(entered[1]));
        m_manager->OnCallRequest(request);
    });
    ASSERT_TRUE(ReadByte(entered[0]));
    EXPECT_TRUE(m_manager->CallInProgress());

    std::atomic<bool> released{false};
    std::thread releaser([&] {
        m_manager->OnReleaseRequest(0, 0);
        released = true;
    });
    // Long enough for a release that does not wait to be done.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(released.load());
    EXPECT_EQ(Live(), 1);

    const char go = 1;
    ASSERT_EQ(::write(proceed[1], &go, 1), 1);
    caller.join();
    releaser.join();
    EXPECT_TRUE(released.load());
    EXPECT_FALSE(m_manager->CallInProgress());
    EXPECT_EQ(Live(), 0);
    // The two answers come from two threads, in either order.
    const std::string written = m_host.Take();
    EXPECT_TRUE(written == Result("done") + kReleased || written == kReleased + Result("done")) << written;
    for (int fd : {entered[0], entered[1], proceed[0], proceed[1]}) {
        ::close(fd);
    }
}

TEST_F(ObjectManagerTest, AReleaseFromInsideACallFreesTheSlotAndTheObjectGoesWhenTheCallEnds) {
    ASSERT_EQ(Create(), 0);
    struct Nested {
        CObjectManager* manager;
        RecordingHost* host;
        std::string replyInside;
        bool slotInUseInside = true;
    } nested{m_manager.get(), &m_host, {}, true};
    auto run = [](void* context) {
        auto* n = static_cast<Nested*>(context);
        n->manager->OnReleaseRequest(0, 0);
        n->replyInside = n->host->Take();
        n->slotInUseInside = n->manager->SlotInUse(0);
    };
    void (*function)(void*) = run;
    char argument[64];
    std::snprintf(argument, sizeof argument, "%llx %llx", reinterpret_cast<unsigned long long>(function),
                  reinterpret_cast<unsigned long long>(&nested));
    EXPECT_EQ(Call(CallText(0, "Nest", argument)), Result("0"));
    EXPECT_EQ(nested.replyInside, kReleased);
    EXPECT_FALSE(nested.slotInUseInside);
    EXPECT_EQ(Live(), 0);
}

}  // namespace
}  // namespace terminal
