// Tests of the version text.
#include "suite/version_info.h"

#include <gtest/gtest.h>

#include "carrowline/version.h"

namespace suite {
namespace {

TEST(VersionInfoTest, FormatsTheFourParts) {
    CVersionInfo info(FileVersion{4, 2, 1, 57});
    EXPECT_TRUE(info.IsValid());
    EXPECT_EQ(info.GetFileVersion(), "04.02.01 Build 57");
    CVersionInfo wide(FileVersion{12, 345, 0, 1234});
    EXPECT_EQ(wide.GetFileVersion(), "12.345.00 Build 1234");
}

TEST(VersionInfoTest, ThisBuildReportsTheGeneratedVersion) {
    CVersionInfo info;
    EXPECT_TRUE(info.IsValid());
    const std::string expected =
        (carrowline::kVersionMajor < 10 ? "0" : "") + std::to_string(carrowline::kVersionMajor) + "." +
        (carrowline::kVersionMinor < 10 ? "0" : "") + std::to_string(carrowline::kVersionMinor) + "." +
        (carrowline::kVersionPatch < 10 ? "0" : "") + std::to_string(carrowline::kVersionPatch) + " Build " +
        std::to_string(carrowline::kVersionBuild);
    EXPECT_EQ(info.GetFileVersion(), expected);
}

TEST(VersionInfoTest, WithoutVersionInformation) {
    CVersionInfo info(std::nullopt);
    EXPECT_FALSE(info.IsValid());
    EXPECT_EQ(info.GetFileVersion(), "<no version info found>");
}

}  // namespace
}  // namespace suite
