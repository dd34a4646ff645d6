// Shared mappings: zero fill, the size check before mapping, opening another process's fd, moves.
#include "platform/shared_mapping.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/spawn.h"

namespace platform {
namespace {

TEST(SharedMapping, CreateGivesZeroFilledCloseOnExecMemory) {
    std::string error;
    auto mapping = SharedMapping::Create(10000, &error);
    ASSERT_TRUE(mapping) << error;
    EXPECT_EQ(mapping->Size(), 10000u);
    EXPECT_TRUE(
        std::all_of(mapping->Bytes().begin(), mapping->Bytes().end(), [](uint8_t b) { return b == 0; }));
    EXPECT_NE(::fcntl(mapping->Fd(), F_GETFD) & FD_CLOEXEC, 0);
    EXPECT_FALSE(SharedMapping::Create(0, &error));
    EXPECT_FALSE(error.empty());
}

TEST(SharedMapping, WriterCannotShrinkUnderAReader) {
    auto mapping = SharedMapping::Create(4096);
    ASSERT_TRUE(mapping);
    EXPECT_NE(::ftruncate(mapping->Fd(), 16), 0);
}

TEST(SharedMapping, OpenFdRefusesAnObjectSmallerThanAsked) {
    UniqueFd fd(::memfd_create("small", MFD_CLOEXEC));
    ASSERT_TRUE(fd);
    ASSERT_EQ(::ftruncate(fd.Get(), 100), 0);
    std::string error;
    EXPECT_FALSE(SharedMapping::OpenFd(fd.Get(), 101, false, &error));
    EXPECT_THAT(error, ::testing::HasSubstr("100 bytes"));
    auto exact = SharedMapping::OpenFd(fd.Get(), 100, false, &error);
    ASSERT_TRUE(exact) << error;
    EXPECT_NE(exact->Fd(), fd.Get());  // a duplicate; ours stays open
    EXPECT_GE(::fcntl(fd.Get(), F_GETFD), 0);

    UniqueFd notMemory(::open("/dev/null", O_RDWR | O_CLOEXEC));
    EXPECT_FALSE(SharedMapping::OpenFd(notMemory.Get(), 1, false, &error));
    EXPECT_FALSE(SharedMapping::OpenFd(-1, 1, false, &error));
    EXPECT_FALSE(SharedMapping::OpenFd(fd.Get(), 0, false, &error));
}

TEST(SharedMapping, AdoptedFdIsOwnedAndClosed) {
    int raw = ::memfd_create("adopt", MFD_CLOEXEC);
    ASSERT_GE(raw, 0);
    ASSERT_EQ(::ftruncate(raw, 64), 0);
    {
        auto mapping = SharedMapping::OpenFd(raw, 64, true);
        ASSERT_TRUE(mapping);
        EXPECT_EQ(mapping->Fd(), raw);
    }
    EXPECT_EQ(::fcntl(raw, F_GETFD), -1);
}

TEST(SharedMapping, TwoMappingsOfOneObjectShareBytesAndMoveKeepsThem) {
    auto writer = SharedMapping::Create(8192);
    ASSERT_TRUE(writer);
    auto reader = SharedMapping::OpenFd(writer->Fd(), 8192, false);
    ASSERT_TRUE(reader);
    std::memcpy(writer->Data() + 5000, "shared", 6);
    writer->Flush(5000, 6);
    writer->Flush(9000, 0);  // past the end: nothing
    EXPECT_EQ(std::memcmp(reader->Data() + 5000, "shared", 6), 0);

    SharedMapping moved = std::move(*reader);
    EXPECT_FALSE(reader->Valid());
    EXPECT_EQ(reader->Size(), 0u);
    ASSERT_TRUE(moved.Valid());
    EXPECT_EQ(std::memcmp(moved.Data() + 5000, "shared", 6), 0);
    moved = std::move(*writer);
    EXPECT_EQ(moved.Size(), 8192u);
    moved.Close();
    moved.Close();
    EXPECT_FALSE(moved.Valid());
    EXPECT_EQ(moved.Fd(), -1);
}

TEST(SharedMapping, OpenFromProcessReachesAnotherProcessesFd) {
    auto mapping = SharedMapping::Create(4096);
    ASSERT_TRUE(mapping);
    std::strcpy(reinterpret_cast<char*>(mapping->Data()), "held by the child");
    SpawnOptions options;
    options.program = CARROWLINE_TEST_CHILD;
    options.argv = {"platform_test_child", "hold"};
    options.pipeStdin = true;
    options.inheritFds = {mapping->Fd()};
    auto child = Spawn(options);
    ASSERT_TRUE(child);
    int number = mapping->Fd();
    mapping->Close();  // from here only the child holds the object

    std::string error;
    auto opened = SharedMapping::OpenFromProcess(child->pid, number, 4096, &error);
    ASSERT_TRUE(opened) << error;
    EXPECT_STREQ(reinterpret_cast<const char*>(opened->Data()), "held by the child");
    EXPECT_FALSE(SharedMapping::OpenFromProcess(child->pid, number, 4097, &error));
    EXPECT_FALSE(SharedMapping::OpenFromProcess(child->pid, 900, 16, &error));
    EXPECT_FALSE(error.empty());

    child->stdinWrite.Reset();
    EXPECT_EQ(WaitForExit(child->pid), 0);
    // The mapping outlives the process that held the fd.
    EXPECT_STREQ(reinterpret_cast<const char*>(opened->Data()), "held by the child");
}

}  // namespace
}  // namespace platform
