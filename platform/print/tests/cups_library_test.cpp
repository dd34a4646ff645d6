// The scheduler's library is found when a print needs it; one that is missing, or lacks a function a caller
// uses, is a clear error and not a crash.
#include "platform/print/cups_library.h"

#include <gtest/gtest.h>

#include <string>

namespace platform {
namespace {

TEST(CupsLibraryTest, LoadsTheSchedulersLibraryOrSaysWhyNot) {
    const CupsLibrary& cups = CupsLibrary::Get();
    EXPECT_TRUE(cups.Loaded()) << cups.Error();
    EXPECT_EQ(&CupsLibrary::Get(), &cups);  // loaded once

    const CupsLibrary& missing = CupsLibrary::Get("libcarrowline-no-such-library.so.9");
    EXPECT_FALSE(missing.Loaded());
    EXPECT_NE(missing.Error().find("libcarrowline-no-such-library.so.9 could not be loaded"),
              std::string::npos)
        << missing.Error();

    const CupsLibrary& other = CupsLibrary::Get("libc.so.6");
    EXPECT_FALSE(other.Loaded());
    EXPECT_EQ(other.Error(), "the print library libc.so.6 has no httpClose");
}

}  // namespace
}  // namespace platform
