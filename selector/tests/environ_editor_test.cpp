// The environment page's working copy: order shown and stored, replacing without regard to case, and
// entries that would corrupt the host's login line.

#include "selector/environ_editor.h"

#include <gtest/gtest.h>

namespace selector {
namespace {

practice::CEnvironmentArray Entries(std::initializer_list<std::pair<const char*, const char*>> list) {
    practice::CEnvironmentArray out;
    for (auto& [n, v] : list)
        out.Add(practice::CEnvironment(n, v));
    return out;
}

TEST(EnvironEditorTest, ShownLastFirstStoredOldThenNew) {
    EnvironEditor editor(Entries({{"A", "1"}, {"B", "2"}}));
    EXPECT_EQ(editor.Row(0).m_Variable, "B");
    std::string error;
    ASSERT_TRUE(editor.Set("C", "3", error));
    EXPECT_EQ(editor.Row(0).m_Variable, "C");
    EXPECT_EQ(editor.Entries().GetEnvironmentString(), "A=1;B=2;C=3");
    editor.Delete(1);  // B
    EXPECT_EQ(editor.Entries().GetEnvironmentString(), "A=1;C=3");
    editor.Delete(9);
    EXPECT_EQ(editor.Entries().GetEnvironmentString(), "A=1;C=3");
}

TEST(EnvironEditorTest, SetReplacesWithoutRegardToCase) {
    EnvironEditor editor(Entries({{"path", "/a"}, {"X", "1"}}));
    std::string error;
    ASSERT_TRUE(editor.Set("PATH", "/b", error));
    EXPECT_EQ(editor.Entries().GetEnvironmentString(), "PATH=/b;X=1");
    ASSERT_TRUE(editor.Set("", "ignored", error));
    EXPECT_EQ(editor.RowCount(), 2u);
}

TEST(EnvironEditorTest, RefusedEntriesChangeNothing) {
    struct Bad {
        const char* name;
        const char* value;
    };
    const std::vector<Bad> bad = {{"A=B", "1"}, {"A;B", "1"},  {"A B", "1"},  {"A\tB", "1"},
                                  {"A", "x;y"}, {"A", "x\ny"}, {"A", "x\x7f"}};
    for (const auto& b : bad) {
        EnvironEditor editor(Entries({{"A", "old"}}));
        std::string error;
        EXPECT_FALSE(editor.Set(b.name, b.value, error)) << b.name << "=" << b.value;
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(editor.Entries().GetEnvironmentString(), "A=old");
    }
    EXPECT_TRUE(CheckEnvironmentValue("").empty());
    EXPECT_FALSE(CheckEnvironmentName("").empty());
}

}  // namespace
}  // namespace selector
