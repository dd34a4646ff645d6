// The process's handle table: fresh positive handles per object, lookup by kind, release on Remove and by
// the owning handle's end, and adds and removes from several threads at once.
#include "platform/automation/handle_table.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

namespace platform::automation {
namespace {

TEST(HandleTableTest, FindsEachObjectByHandleAndKindOnly) {
    HandleTable table;
    auto printer = std::make_shared<int>(1);
    auto image = std::make_shared<int>(2);
    const uint32_t p = table.Add(HandleKind::Printer, printer);
    const uint32_t i = table.Add(HandleKind::Image, image);
    ASSERT_NE(p, 0u);
    ASSERT_NE(i, 0u);
    EXPECT_NE(p, i);
    EXPECT_LE(p, 0x7FFFFFFFu);  // passes as a positive VT_I4

    struct Case {
        uint32_t handle;
        HandleKind kind;
        void* expected;
    };
    for (const Case& c :
         {Case{p, HandleKind::Printer, printer.get()}, Case{i, HandleKind::Image, image.get()},
          Case{p, HandleKind::Image, nullptr}, Case{i, HandleKind::PaintDevice, nullptr},
          Case{0, HandleKind::Printer, nullptr}, Case{p + i + 1, HandleKind::Printer, nullptr}}) {
        EXPECT_EQ(table.Find(c.handle, c.kind).get(), c.expected) << c.handle;
    }
    EXPECT_EQ(table.KindOf(p), HandleKind::Printer);
    EXPECT_EQ(table.KindOf(0), std::nullopt);
    EXPECT_EQ(table.Add(HandleKind::Image, nullptr), 0u);
}

TEST(HandleTableTest, KeepsTheObjectUntilRemovedAndNeverReusesTheHandleAtOnce) {
    HandleTable table;
    std::weak_ptr<int> watch;
    uint32_t handle = 0;
    {
        auto object = std::make_shared<int>(5);
        watch = object;
        handle = table.Add(HandleKind::PaintDevice, object);
    }
    EXPECT_FALSE(watch.expired());
    EXPECT_TRUE(table.Remove(handle));
    EXPECT_TRUE(watch.expired());
    EXPECT_FALSE(table.Remove(handle));
    EXPECT_EQ(table.Find(handle, HandleKind::PaintDevice), nullptr);
    EXPECT_NE(table.Add(HandleKind::PaintDevice, std::make_shared<int>(6)), handle);
}

TEST(HandleTableTest, ScopedHandleRemovesItsEntry) {
    const size_t before = HandleTable::Process().Size();
    uint32_t handle = 0;
    {
        ScopedHandle owned(HandleKind::Image, std::make_shared<int>(3));
        handle = owned.Get();
        ASSERT_NE(handle, 0u);
        ScopedHandle moved = std::move(owned);
        EXPECT_EQ(owned.Get(), 0u);
        EXPECT_EQ(moved.Get(), handle);
        EXPECT_NE(HandleTable::Process().Find(handle, HandleKind::Image), nullptr);
    }
    EXPECT_EQ(HandleTable::Process().Find(handle, HandleKind::Image), nullptr);
    EXPECT_EQ(HandleTable::Process().Size(), before);
}

TEST(HandleTableTest, ThreadsAddAndRemoveWithoutSharingAHandle) {
    HandleTable table;
    constexpr int kThreads = 4;
    constexpr int kEach = 500;
    std::vector<std::vector<uint32_t>> kept(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&table, &kept, t] {
            for (int n = 0; n < kEach; ++n) {
                const uint32_t handle = table.Add(HandleKind::Image, std::make_shared<int>(n));
                if (n % 2 == 0) {
                    table.Remove(handle);
                } else {
                    kept[t].push_back(handle);
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    std::set<uint32_t> all;
    for (const auto& list : kept) {
        all.insert(list.begin(), list.end());
    }
    EXPECT_EQ(all.size(), size_t{kThreads * kEach / 2});
    EXPECT_EQ(table.Size(), all.size());
}

}  // namespace
}  // namespace platform::automation
