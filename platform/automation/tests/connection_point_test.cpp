// Events through connection points: advise and unadvise with cookies, delivery to every sink in order, sinks
// and sources released from inside an event, and advising from several threads while events fire.
#include "platform/automation/connection_point.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "platform/automation/dispatch_object.h"

namespace platform::automation {
namespace {

constexpr Guid kEventsIid = Guid::FromLiteral("{0D7A4E11-2222-4A2B-8C3D-4E5F60718293}");
constexpr DISPID kSetTitle = 7;

// A sink built from a table: records the titles it receives and runs an optional hook inside the event.
std::shared_ptr<DispatchObject> MakeSink(std::vector<std::string>& log, std::string name,
                                         std::function<void()> hook = nullptr) {
    DispatchTable table;
    table.Method("SetTitle", kSetTitle, {{VarType::Bstr}}, VarType::Empty,
                 [&log, name, hook](std::span<const Variant> args) {
                     log.push_back(name + ":" + args[0].AsBstr());
                     if (hook) {
                         hook();
                     }
                     return Variant();
                 });
    return std::make_shared<DispatchObject>(std::move(table), std::vector<Guid>{kEventsIid});
}

// An event source as a component builds one.
class Source : public DispatchObject {
  public:
    Source() { AddConnectionPoint(kEventsIid); }
    size_t SetTitle(const std::string& title) {
        const Variant args[] = {Variant::Bstr(title)};
        return FireEvent(kEventsIid, kSetTitle, args);
    }
};

std::shared_ptr<ConnectionPoint> PointOf(IDispatch& object) {
    auto container = QueryInterfaceAs<IConnectionPointContainer>(object, IID_IConnectionPointContainer);
    if (!container) {
        return nullptr;
    }
    std::shared_ptr<ConnectionPoint> point;
    EXPECT_EQ(container->FindConnectionPoint(kEventsIid, point), S_OK);
    return point;
}

TEST(ConnectionPointTest, DeliversToEverySinkUntilUnadvised) {
    auto source = std::make_shared<Source>();
    auto point = PointOf(*source);
    ASSERT_TRUE(point);
    std::vector<std::string> log;
    uint32_t first = 0;
    uint32_t second = 0;
    ASSERT_EQ(point->Advise(MakeSink(log, "a"), first), S_OK);
    ASSERT_EQ(point->Advise(MakeSink(log, "b"), second), S_OK);
    EXPECT_NE(first, 0u);
    EXPECT_NE(first, second);

    EXPECT_EQ(source->SetTitle("Practice"), 2u);
    EXPECT_EQ(log, (std::vector<std::string>{"a:Practice", "b:Practice"}));

    EXPECT_EQ(point->Unadvise(first), S_OK);
    EXPECT_EQ(point->Unadvise(first), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(point->Unadvise(0), CONNECT_E_NOCONNECTION);
    log.clear();
    EXPECT_EQ(source->SetTitle("Next"), 1u);
    EXPECT_EQ(log, std::vector<std::string>{"b:Next"});
}

TEST(ConnectionPointTest, RefusesNullSinksAndUnknownInterfaces) {
    auto source = std::make_shared<Source>();
    std::shared_ptr<ConnectionPoint> point;
    EXPECT_EQ(source->FindConnectionPoint(Guid::Generate(), point), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(point, nullptr);
    point = PointOf(*source);
    uint32_t cookie = 5;
    EXPECT_EQ(point->Advise(nullptr, cookie), E_POINTER);
    EXPECT_EQ(cookie, 0u);
    EXPECT_EQ(point->SinkCount(), 0u);
}

TEST(ConnectionPointTest, SinkFailuresDoNotStopTheOthers) {
    auto source = std::make_shared<Source>();
    auto point = PointOf(*source);
    std::vector<std::string> log;
    uint32_t cookie = 0;
    point->Advise(MakeSink(log, "a", [] { throw std::runtime_error("sink broke"); }), cookie);
    point->Advise(std::make_shared<DispatchObject>(), cookie);  // knows no events at all
    point->Advise(MakeSink(log, "c"), cookie);
    EXPECT_EQ(source->SetTitle("t"), 3u);
    EXPECT_EQ(log, (std::vector<std::string>{"a:t", "c:t"}));
}

TEST(ConnectionPointTest, SinkReleasedWhileFiringIsSafe) {
    auto source = std::make_shared<Source>();
    auto point = PointOf(*source);
    std::vector<std::string> log;
    uint32_t a = 0;
    uint32_t b = 0;
    uint32_t c = 0;
    std::weak_ptr<DispatchObject> watchB;
    // "a" unadvises "b" (the only reference to it) and itself; "b" must not be called, "c" still is.
    {
        auto sinkB = MakeSink(log, "b");
        watchB = sinkB;
        point->Advise(MakeSink(log, "a",
                               [&] {
                                   point->Unadvise(b);
                                   point->Unadvise(a);
                               }),
                      a);
        point->Advise(std::move(sinkB), b);
        point->Advise(MakeSink(log, "c"), c);
    }
    EXPECT_EQ(source->SetTitle("x"), 2u);
    EXPECT_EQ(log, (std::vector<std::string>{"a:x", "c:x"}));
    EXPECT_TRUE(watchB.expired());
    EXPECT_EQ(point->SinkCount(), 1u);
}

TEST(ConnectionPointTest, SinkAdvisedWhileFiringWaitsForTheNextEvent) {
    auto source = std::make_shared<Source>();
    auto point = PointOf(*source);
    std::vector<std::string> log;
    uint32_t cookie = 0;
    bool added = false;
    point->Advise(MakeSink(log, "a",
                           [&] {
                               if (!added) {
                                   added = true;
                                   uint32_t late = 0;
                                   point->Advise(MakeSink(log, "late"), late);
                               }
                           }),
                  cookie);
    source->SetTitle("1");
    source->SetTitle("2");
    EXPECT_EQ(log, (std::vector<std::string>{"a:1", "a:2", "late:2"}));
}

TEST(ConnectionPointTest, SourceReleasedByItsSinkWhileFiringIsSafe) {
    auto source = std::make_shared<Source>();
    std::weak_ptr<Source> watch = source;
    auto point = PointOf(*source);
    std::vector<std::string> log;
    uint32_t cookie = 0;
    point->Advise(MakeSink(log, "a", [&] { source.reset(); }), cookie);
    point->Advise(MakeSink(log, "b"), cookie);
    point.reset();
    Source* raw = source.get();  // the sink drops the only reference while the event runs
    raw->SetTitle("bye");
    EXPECT_TRUE(watch.expired());
    EXPECT_EQ(log, (std::vector<std::string>{"a:bye", "b:bye"}));
}

TEST(ConnectionPointTest, ReleasedSourceReleasesItsSinks) {
    auto source = std::make_shared<Source>();
    auto point = PointOf(*source);
    std::vector<std::string> log;
    auto sink = MakeSink(log, "a");
    std::weak_ptr<DispatchObject> watch = sink;
    uint32_t cookie = 0;
    point->Advise(std::move(sink), cookie);
    source.reset();
    EXPECT_TRUE(watch.expired());
    EXPECT_EQ(point->SinkCount(), 0u);
}

TEST(ConnectionPointTest, AdviseAndFireFromSeveralThreads) {
    auto point = ConnectionPoint::Create(kEventsIid);
    std::atomic<int> calls{0};
    DispatchTable table;
    table.Method("SetTitle", kSetTitle, {{VarType::Bstr}}, VarType::Empty, [&](std::span<const Variant>) {
        calls.fetch_add(1);
        return Variant();
    });
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                if (t % 2 == 0) {
                    uint32_t cookie = 0;
                    point->Advise(std::make_shared<DispatchObject>(table), cookie);
                    point->Unadvise(cookie);
                } else {
                    const Variant args[] = {Variant::Bstr("t")};
                    point->Fire(kSetTitle, args);
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(point->SinkCount(), 0u);
}

}  // namespace
}  // namespace platform::automation
