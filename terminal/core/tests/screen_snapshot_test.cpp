// The screen snapshot: its byte layout, a round trip through a real shared mapping (of this process and of
// another one), resuming a held escape sequence, and damaged images and unreadable mappings refused without
// harm.
#include "terminal/core/screen_snapshot.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/byte_order.h"
#include "platform/shared_mapping.h"
#include "platform/spawn.h"
#include "platform/unique_fd.h"
#include "platform/user_prompt.h"
#include "terminal/core/screen.h"
#include "terminal/core/tests/screen_recorder.h"

namespace terminal::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

uint32_t U32At(const std::vector<uint8_t>& image, size_t offset) {
    return platform::LoadLittleEndian<uint32_t>(image.data() + offset);
}

void SetU32(std::vector<uint8_t>& image, size_t offset, uint32_t value) {
    platform::StoreLittleEndian(image.data() + offset, value);
}

// A screen with something in every part of the image: colours, text, toolbar, digest, a shown cursor and a
// held half of a sequence.
void Populate(RecordedScreen& s) {
    s.Feed(
        "\x1B[4F\x1B[2G\x1B[3b\x1B[12;34HAB\x1B[7V\x1B[%0123456789abcdef0123456789abcdef\x01"
        "e\x1B[U");
    s.Feed("\x1B[5;");
}

TEST(ScreenSnapshot, ImageHoldsTheFieldsAtTheirOffsets) {
    RecordedScreen s;
    Populate(s);
    const auto image = s.screen.SnapshotImage();
    ASSERT_EQ(image.size(), 22160u);
    EXPECT_EQ(U32At(image, snapshot::kCurrentForeground), Rgb(255, 0, 0));
    EXPECT_EQ(U32At(image, snapshot::kCurrentBackground), Rgb(0, 128, 0));
    EXPECT_EQ(U32At(image, snapshot::kClearColour), Rgb(0, 128, 128));
    const size_t a = 11 * 80 + 33;
    EXPECT_EQ(U32At(image, 12 + 4 * a), Rgb(255, 0, 0));
    EXPECT_EQ(U32At(image, 8012 + 4 * a), Rgb(0, 128, 0));
    EXPECT_EQ(U32At(image, 12), Rgb(255, 255, 255));
    EXPECT_EQ(image[18092 + a], 'A');
    EXPECT_EQ(image[18092 + a + 1], 'B');
    EXPECT_EQ(image[18092], ' ');
    EXPECT_EQ(std::string(image.begin() + 16044, image.begin() + 16048), "\x1B[5;");
    EXPECT_EQ(U32At(image, 20092), 7u);   // toolbar
    EXPECT_EQ(U32At(image, 20096), 35u);  // column
    EXPECT_EQ(U32At(image, 20100), 11u);  // row
    EXPECT_EQ(U32At(image, 20104), 4u);   // held bytes
    EXPECT_EQ(U32At(image, 20108), 8u);
    EXPECT_EQ(U32At(image, 20112), 16u);
    EXPECT_EQ(U32At(image, 20756), 0u);  // token count
    EXPECT_EQ(U32At(image, 20760), 1u);  // cursor shown
    EXPECT_EQ(U32At(image, 20764), 1u);  // painting
    EXPECT_EQ(U32At(image, 20768), 700u);
    EXPECT_EQ(U32At(image, 20772), 500u);
    EXPECT_EQ(U32At(image, 20776), 688u);
    EXPECT_EQ(U32At(image, 20780), 471u);
    EXPECT_EQ(U32At(image, 20768 + 4 * 13), 1u);  // frame flag
    EXPECT_EQ(std::string(image.begin() + 22124, image.begin() + 22156), "0123456789abcdef0123456789abcdef");
    EXPECT_EQ(image[22156], 0);
    // Process-local parts, the token stack, the spare geometry bytes and the padding travel as zeros.
    const std::pair<size_t, size_t> zeros[] = {
        {16012, 16044}, {20116, 20756}, {20836, 20840}, {20840, 22124}, {22157, 22160}};
    for (const auto& [from, to] : zeros) {
        EXPECT_TRUE(std::all_of(image.begin() + static_cast<ptrdiff_t>(from),
                                image.begin() + static_cast<ptrdiff_t>(to), [](uint8_t b) { return b == 0; }))
            << from;
    }
}

TEST(ScreenSnapshot, RoundTripThroughAMappingResumesTheHeldSequence) {
    RecordedScreen s;
    Populate(s);
    platform::UniqueFd handle = s.screen.SaveSnapshot();
    ASSERT_TRUE(handle);
    EXPECT_NE(::fcntl(handle.Get(), F_GETFD) & FD_CLOEXEC, 0);

    RecordedScreen restored;
    const int fd = handle.Release();
    ASSERT_TRUE(restored.screen.RestoreSnapshot(fd));
    EXPECT_EQ(::fcntl(fd, F_GETFD), -1);  // the handle is closed once read
    EXPECT_EQ(DumpScreen(restored.screen), DumpScreen(s.screen));
    EXPECT_EQ(restored.screen.Geometry(), s.screen.Geometry());
    EXPECT_EQ(restored.screen.TokenCount(), 1u);  // the 5 of the held "ESC[5;", scanned again

    restored.Feed("20HZ");
    s.Feed("20HZ");
    EXPECT_EQ(restored.screen.GetCursor(), (CellPosition{20, 4}));
    EXPECT_EQ(DumpScreen(restored.screen), DumpScreen(s.screen));
}

TEST(ScreenSnapshot, AdoptsAMappingHeldByAnotherProcess) {
    RecordedScreen s;
    s.Feed("handed over");
    platform::UniqueFd handle = s.screen.SaveSnapshot();
    ASSERT_TRUE(handle);
    platform::SpawnOptions options;
    options.program = "/bin/cat";
    options.pipeStdin = true;
    options.nullStdio = true;
    options.inheritFds = {handle.Get()};
    auto child = platform::Spawn(options);
    ASSERT_TRUE(child);
    const int number = handle.Get();
    handle.Reset();  // from here only the child holds the mapping

    CTerminalScreen restored;
    ASSERT_TRUE(restored.RestoreSnapshot(number, child->pid));
    EXPECT_EQ(restored.CopyCells(0, 11), "handed over");
    child->stdinWrite.Reset();
    EXPECT_EQ(platform::WaitForExit(child->pid), 0);
}

struct Damage {
    const char* name;
    std::function<void(std::vector<uint8_t>&)> apply;
    const char* reason;
};

class DamagedSnapshot : public ::testing::TestWithParam<Damage> {};

TEST_P(DamagedSnapshot, IsRefusedAndChangesNothing) {
    RecordedScreen source;
    Populate(source);
    auto image = source.screen.SnapshotImage();
    GetParam().apply(image);

    RecordedScreen target;
    target.Feed("\x1B[3;3Hmine");
    const std::string before = DumpScreen(target.screen);
    std::string why;
    EXPECT_FALSE(target.screen.AdoptSnapshotImage(image, &why));
    EXPECT_THAT(why, HasSubstr(GetParam().reason));
    EXPECT_EQ(DumpScreen(target.screen), before);
    target.Feed("!");
    EXPECT_EQ(target.screen.CharAt(2, 6), '!');
}

INSTANTIATE_TEST_SUITE_P(
    Fields, DamagedSnapshot,
    ::testing::Values(
        Damage{"ShortImage", [](auto& image) { image.pop_back(); }, "22159 bytes"},
        Damage{"ColumnPastTheScreen", [](auto& image) { SetU32(image, 20096, 80); }, "cursor position"},
        Damage{"ColumnFarLeft", [](auto& image) { SetU32(image, 20096, static_cast<uint32_t>(INT32_MIN)); },
               "cursor position"},
        Damage{"RowAboveTheScreen", [](auto& image) { SetU32(image, 20100, static_cast<uint32_t>(-2)); },
               "cursor position"},
        Damage{"NegativeHeldCount", [](auto& image) { SetU32(image, 20104, static_cast<uint32_t>(-1)); },
               "held byte count"},
        Damage{"HeldCountPastTheBuffer", [](auto& image) { SetU32(image, 20104, 2049); }, "held byte count"},
        Damage{"HeldBytesWithoutEscape", [](auto& image) { std::memcpy(image.data() + 16044, "abcd", 4); },
               "incomplete escape"},
        Damage{"HeldBytesAlreadyComplete",
               [](auto& image) { std::memcpy(image.data() + 16044, "\x1B[5H", 4); }, "incomplete escape"},
        Damage{"HeldBytesNotASequence", [](auto& image) { std::memcpy(image.data() + 16044, "\x1Bxyz", 4); },
               "incomplete escape"},
        Damage{"NegativeCellWidth", [](auto& image) { SetU32(image, 20108, static_cast<uint32_t>(-8)); },
               "cell size"},
        Damage{"HugeCellHeight", [](auto& image) { SetU32(image, 20112, 1u << 30); }, "cell size"},
        Damage{"HugeGeometry", [](auto& image) { SetU32(image, 20768 + 4 * 11, 1u << 30); }, "geometry"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ScreenSnapshot, AdoptionForcesTheTokenCountAndNormalisesFlags) {
    RecordedScreen source;
    source.Feed("text");
    auto image = source.screen.SnapshotImage();
    SetU32(image, 20756, 5000);                  // token count
    SetU32(image, 20764, 7);                     // painting flag
    std::memset(image.data() + 22124, 'f', 33);  // a digest without its terminator
    CTerminalScreen screen;
    ASSERT_TRUE(screen.AdoptSnapshotImage(image));
    EXPECT_EQ(screen.TokenCount(), 0u);
    EXPECT_TRUE(screen.PaintingOn());
    EXPECT_EQ(screen.ExpectedDigest(), std::string(32, 'f'));
}

TEST(ScreenSnapshot, UnreadableMappingsAreReportedAndTheProcessGoesOn) {
    platform::RecordingPrompt prompt;
    platform::ScopedDefaultPrompt scoped(prompt);
    CTerminalScreen screen;
    screen.Feed("kept");

    EXPECT_FALSE(screen.RestoreSnapshot(-1));
    platform::UniqueFd small(::memfd_create("small", MFD_CLOEXEC));
    ASSERT_TRUE(small);
    ASSERT_EQ(::ftruncate(small.Get(), 100), 0);
    EXPECT_FALSE(screen.RestoreSnapshot(small.Get()));
    EXPECT_GE(::fcntl(small.Get(), F_GETFD), 0);         // not ours to close when it could not be read
    EXPECT_FALSE(screen.RestoreSnapshot(3, 999999999));  // no such process
    EXPECT_THAT(prompt.Texts(), ElementsAre("Error Mapping View of Handle", "Error Mapping View of Handle",
                                            "Error Mapping View of Handle"));
    EXPECT_EQ(prompt.Shown().front().icon, platform::PromptIcon::Stop);

    // A readable mapping with a damaged image.
    RecordedScreen source;
    auto image = source.screen.SnapshotImage();
    SetU32(image, 20096, 500);
    auto mapping = platform::SharedMapping::Create(image.size());
    ASSERT_TRUE(mapping);
    std::memcpy(mapping->Data(), image.data(), image.size());
    const int fd = ::fcntl(mapping->Fd(), F_DUPFD_CLOEXEC, 3);
    prompt.Clear();
    EXPECT_FALSE(screen.RestoreSnapshot(fd));
    ASSERT_EQ(prompt.Texts().size(), 1u);
    EXPECT_THAT(prompt.Texts()[0], HasSubstr("screen snapshot is damaged"));
    EXPECT_EQ(screen.CopyCells(0, 4), "kept");
}

}  // namespace
}  // namespace terminal::testing
