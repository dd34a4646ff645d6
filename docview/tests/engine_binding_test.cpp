// Finding the engine's folder in the machine keys and loading the engine with its contract check.
#include "docview/engine_binding.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "suite/registry_settings.h"
#include "testsupport/test_support.h"

namespace docview {
namespace {

constexpr std::string_view kExe = "/opt/hosts/bin/viewer";

void SetFilterPath(const std::string& key, std::string_view value) {
    const std::string text(value);
    ASSERT_EQ(suite::RegWriteValue(platform::HKey::LocalMachine, key, "FilterPath", platform::RegType::Sz,
                                   text.c_str(), static_cast<uint32_t>(text.size() + 1)),
              0);
}

class EngineBindingTest : public testsupport::RegistryTest {};

TEST_F(EngineBindingTest, KeysAreTriedInOrderAndTheFirstExistingOneIsRead) {
    EXPECT_EQ(FilterPathKey(kExe, 0), "SOFTWARE\\QEL\\/opt/hosts/bin/viewer");
    EXPECT_EQ(FilterPathKey(kExe, 1), "SOFTWARE\\QEL\\viewer");
    EXPECT_EQ(FilterPathKey(kExe, 2), "SOFTWARE\\QEL\\Fennick");
    EXPECT_EQ(FilterPathKey(kExe, 3), "SOFTWARE\\Quenby\\Fennick");

    // Each row adds the next key up; the newest (most specific) must win.
    struct Row {
        int key;
        std::string folder;
    };
    const Row rows[] = {{3, "/quenby"}, {2, "/fixed"}, {1, "/by-name"}, {0, "/by-path"}};
    for (const Row& row : rows) {
        SetFilterPath(FilterPathKey(kExe, row.key), row.folder);
        std::string folder, chosen;
        EXPECT_EQ(ReadFilterPath(kExe, folder, &chosen), 0) << row.key;
        EXPECT_EQ(folder, row.folder);
        EXPECT_EQ(chosen, FilterPathKey(kExe, row.key));
    }
}

TEST_F(EngineBindingTest, NoKeyOrAnUnreadableValueIsAStartUpError) {
    std::string folder = "stale";
    EXPECT_EQ(ReadFilterPath(kExe, folder), kNoFilterPath);
    EXPECT_TRUE(folder.empty());

    // The key exists but holds no "FilterPath": no fall-through to the next key.
    ASSERT_EQ(suite::RegWriteValue(platform::HKey::LocalMachine, FilterPathKey(kExe, 1), "Other",
                                   platform::RegType::Sz, "x", 2),
              0);
    SetFilterPath(FilterPathKey(kExe, 2), "/fixed");
    EXPECT_EQ(ReadFilterPath(kExe, folder), kNoFilterPath);

    // Longer than 260 bytes cannot be read.
    SetFilterPath(FilterPathKey(kExe, 1), std::string(300, 'a'));
    EXPECT_EQ(ReadFilterPath(kExe, folder), kNoFilterPath);
}

TEST(EngineLibraryPath, OneTrailingSlashIsDropped) {
    EXPECT_EQ(EngineLibraryPath("/opt/engine"), "/opt/engine/liblydvw.so");
    EXPECT_EQ(EngineLibraryPath("/opt/engine/"), "/opt/engine/liblydvw.so");
    EXPECT_EQ(EngineLibraryPath(""), "/liblydvw.so");
}

TEST(LoadEngine, ResolvesEveryExportOfAnEngineOfThisVersion) {
    EngineApi api;
    std::string message;
    ASSERT_EQ(LoadEngine(CARROWLINE_SCRIPTED_ENGINE, api, &message), 0) << message;
    EXPECT_TRUE(api.Complete());
    EXPECT_EQ(api.abiVersion(), LYDVW_ABI_VERSION);
    LydvwView* view = api.createView(nullptr, nullptr, nullptr);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(api.request(view, LYDVW_R_IDLE_BITMAP, 0, 0), LYDVW_E_UNSUPPORTED);
    api.destroyView(view);
}

TEST(LoadEngine, AMissingLibraryOrAnotherVersionIsRefused) {
    struct Row {
        std::string path;
        std::string why;
    };
    const Row rows[] = {
        {"/nonexistent/liblydvw.so", "cannot load"},
        {CARROWLINE_SCRIPTED_ENGINE_OTHER_ABI, "contract version"},
    };
    for (const Row& row : rows) {
        EngineApi api;
        std::string message;
        EXPECT_EQ(LoadEngine(row.path, api, &message), kNoLibrary) << row.path;
        EXPECT_FALSE(api.Complete());
        EXPECT_NE(message.find(row.why), std::string::npos) << message;
    }
}

}  // namespace
}  // namespace docview
