// "%NAME%" expansion: the fixed folder names, lookups, and what stays as written.
#include "platform/expand_environment.h"

#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "testsupport/test_support.h"

namespace platform {
namespace {

class ExpandEnvironmentTest : public ::testing::Test {
  protected:
    // The tests change these; the environment object puts them back.
    void SetUp() override {
        m_env.Set("TMPDIR", "/scratch/tmp/");
        m_env.Set("HOME", "/home/someone");
        m_env.Set("CARROWLINE_EXPAND_Test", "mixed");
    }
    testsupport::ScopedEnv m_env;
};

TEST_F(ExpandEnvironmentTest, TableWithAnExplicitLookup) {
    EnvironmentLookup lookup = [](std::string_view name) -> std::optional<std::string> {
        if (name == "A") {
            return "alpha";
        }
        if (name == "EMPTY") {
            return "";
        }
        if (name == "PCT") {
            return "%A%";
        }
        return std::nullopt;
    };
    struct Case {
        const char* text;
        const char* expanded;
    };
    const Case cases[] = {
        {"", ""},
        {"plain text", "plain text"},
        {"%A%", "alpha"},
        {"x%A%y%A%z", "xalphayalphaz"},
        {"%TEMP%\\file.txt", "/scratch/tmp\\file.txt"},
        {"%tmp%|%Temp%", "/scratch/tmp|/scratch/tmp"},
        {"%USERPROFILE%\\docs", "/home/someone\\docs"},
        {"[%EMPTY%]", "[]"},
        {"%PCT%", "%A%"},  // values are not expanded again
        {"100%", "100%"},
        {"%", "%"},
        {"%%", "%%"},
        {"%UNKNOWN%", "%UNKNOWN%"},
        // The closing "%" of an unknown name may open the next one.
        {"%UNKNOWN%A%", "%UNKNOWNalpha"},
        {"50% of %A%", "50% of alpha"},
        {"%A", "%A"},
        {"%a%", "%a%"},  // the explicit lookup decides about case
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ExpandEnvironment(c.text, lookup), c.expanded) << c.text;
    }
}

TEST_F(ExpandEnvironmentTest, ProcessEnvironmentExactThenWithoutCase) {
    EXPECT_EQ(ExpandEnvironment("%CARROWLINE_EXPAND_Test%"), "mixed");
    EXPECT_EQ(ExpandEnvironment("%carrowline_expand_test%"), "mixed");
    EXPECT_EQ(ExpandEnvironment("%HOME%"), "/home/someone");
    EXPECT_EQ(ExpandEnvironment("%CARROWLINE_NOT_SET%"), "%CARROWLINE_NOT_SET%");
    ::setenv("CARROWLINE_EXPAND_TEST", "exact", 1);
    EXPECT_EQ(ExpandEnvironment("%CARROWLINE_EXPAND_TEST%"), "exact");
    ::unsetenv("CARROWLINE_EXPAND_TEST");
    ::unsetenv("TMPDIR");
    EXPECT_EQ(ExpandEnvironment("%TEMP%"), "/tmp");
}

TEST_F(ExpandEnvironmentTest, ProcessValuesBecomeCoreText) {
    ::setenv("CARROWLINE_EXPAND_Test", "caf\xC3\xA9", 1);  // UTF-8 in the environment
    EXPECT_EQ(ExpandEnvironment("%CARROWLINE_EXPAND_Test%"), "caf\xE9");
}

}  // namespace
}  // namespace platform
