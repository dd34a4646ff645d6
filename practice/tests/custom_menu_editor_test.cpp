// The custom menu editors' working copy as operations to (titles, selection, state, enabled set), under
// both editors' rules.
#include "practice/custom_menu_editor.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace practice {
namespace {

using Editor = CCustomMenuEditor;

CCustomMenuItemArray Items(std::initializer_list<const char*> titles) {
    CCustomMenuItemArray items;
    for (const char* title : titles) {
        items.Add(CCustomMenuItem(title, std::string("/") + title, 0));
    }
    return items;
}

std::vector<std::string> Titles(const Editor& editor) {
    std::vector<std::string> titles;
    for (const CCustomMenuItem& item : editor.Items()) {
        titles.push_back(item.m_Title);
    }
    return titles;
}

// Edits and check box, Move Up, Move Down, Remove.
struct Enabled {
    bool edits, up, down, remove;
    bool operator==(const Enabled&) const = default;
};

Enabled EnabledSet(const Editor& editor) {
    return {editor.EditsEnabled(), editor.CanMoveUp(), editor.CanMoveDown(), editor.CanRemove()};
}

TEST(CustomMenuEditor, OperationsGiveItemsSelectionStateAndEnabledSet) {
    const struct {
        const char* name;
        std::function<void(Editor&)> steps;
        std::vector<std::string> titles;
        int selection;
        Editor::State state;
        Enabled enabled;
    } cases[] = {
        {"opened",
         [](Editor&) {},
         {"A", "-SEPARATOR-", "C"},
         -1,
         Editor::kNothingSelected,
         {false, false, false, false}},
        {"first item",
         [](Editor& e) { e.Select(0); },
         {"A", "-SEPARATOR-", "C"},
         0,
         Editor::kItemSelected,
         {true, false, true, true}},
        {"separator",
         [](Editor& e) { e.Select(1); },
         {"A", "-SEPARATOR-", "C"},
         1,
         Editor::kSeparatorSelected,
         {false, true, true, true}},
        {"last item",
         [](Editor& e) { e.Select(2); },
         {"A", "-SEPARATOR-", "C"},
         2,
         Editor::kItemSelected,
         {true, true, false, true}},
        {"outside the list",
         [](Editor& e) { e.Select(1), e.Select(3); },
         {"A", "-SEPARATOR-", "C"},
         -1,
         Editor::kNothingSelected,
         {false, false, false, false}},
        {"separator moved up",
         [](Editor& e) { e.Select(1), e.MoveUp(); },
         {"-SEPARATOR-", "A", "C"},
         0,
         Editor::kSeparatorSelected,
         {false, false, true, true}},
        {"moved down twice stops at the end",
         [](Editor& e) { e.Select(0), e.MoveDown(), e.MoveDown(), e.MoveDown(); },
         {"-SEPARATOR-", "C", "A"},
         2,
         Editor::kItemSelected,
         {true, true, false, true}},
        {"nothing selected moves nothing",
         [](Editor& e) { e.MoveUp(), e.MoveDown(), e.Remove(); },
         {"A", "-SEPARATOR-", "C"},
         -1,
         Editor::kNothingSelected,
         {false, false, false, false}},
        {"removed in the middle keeps the row",
         [](Editor& e) { e.Select(0), e.Remove(); },
         {"-SEPARATOR-", "C"},
         0,
         Editor::kSeparatorSelected,
         {false, false, true, true}},
        {"removed last selects the new last",
         [](Editor& e) { e.Select(2), e.Remove(); },
         {"A", "-SEPARATOR-"},
         1,
         Editor::kSeparatorSelected,
         {false, true, false, true}},
        {"all removed",
         [](Editor& e) { e.Select(0), e.Remove(), e.Remove(), e.Remove(); },
         {},
         -1,
         Editor::kNothingSelected,
         {false, false, false, false}},
        {"added",
         [](Editor& e) { e.Add(); },
         {"A", "-SEPARATOR-", "C", "New Menu Item"},
         3,
         Editor::kItemSelected,
         {true, true, false, true}},
        {"separator added",
         [](Editor& e) { e.Select(0), e.AddSeparator(); },
         {"A", "-SEPARATOR-", "C", "-SEPARATOR-"},
         3,
         Editor::kSeparatorSelected,
         {false, true, false, true}},
        {"title typed",
         [](Editor& e) { e.Select(2), e.SetTitle("&Chart"); },
         {"A", "-SEPARATOR-", "&Chart"},
         2,
         Editor::kItemSelected,
         {true, true, false, true}},
        {"separator title untouched",
         [](Editor& e) { e.Select(1), e.SetTitle("x"); },
         {"A", "-SEPARATOR-", "C"},
         1,
         Editor::kSeparatorSelected,
         {false, true, true, true}},
    };
    for (const auto& c : cases) {
        Editor editor;
        editor.SetItems(Items({"A", "-SEPARATOR-", "C"}));
        c.steps(editor);
        EXPECT_EQ(Titles(editor), c.titles) << c.name;
        EXPECT_EQ(editor.Selection(), c.selection) << c.name;
        EXPECT_EQ(editor.GetState(), c.state) << c.name;
        EXPECT_EQ(EnabledSet(editor), c.enabled) << c.name;
    }
}

TEST(CustomMenuEditor, EditsShowTheSelectionAndChangeOnlyItsItem) {
    Editor editor;
    CCustomMenuItemArray items = Items({"A", "B"});
    items[1].m_RunCommand = 1;
    editor.SetItems(items);
    EXPECT_EQ(editor.Title(), "");
    EXPECT_FALSE(editor.ChainChecked());

    editor.Select(0);
    EXPECT_EQ(editor.Title(), "A");
    EXPECT_EQ(editor.Action(), "/A");
    EXPECT_TRUE(editor.ChainChecked()) << "RunCommand 0 shows as checked";
    editor.SetChainChecked(false);
    editor.SetAction("sorel -t%T -p%P");
    EXPECT_EQ(editor.Items()[0], CCustomMenuItem("A", "sorel -t%T -p%P", 1));

    editor.Select(1);
    EXPECT_FALSE(editor.ChainChecked());
    editor.SetChainChecked(true);
    EXPECT_EQ(editor.Items()[1].m_RunCommand, 0);
    EXPECT_EQ(editor.Items()[0].m_RunCommand, 1) << "the other item keeps its value";

    editor.Select(-1);
    editor.SetTitle("lost");
    editor.SetAction("lost");
    editor.SetChainChecked(false);
    EXPECT_EQ(Titles(editor), (std::vector<std::string>{"A", "B"})) << "no selection, no edit";
    EXPECT_EQ(editor.Items()[1].m_RunCommand, 0);
    EXPECT_EQ(editor.Title(), "") << "nothing selected clears the edits";
}

TEST(CustomMenuEditor, TypingTheSeparatorTitleKeepsTheFieldsOpenUntilReselected) {
    Editor editor;
    editor.SetItems(Items({"A"}));
    editor.Select(0);
    editor.SetTitle(kSeparatorTitle);
    EXPECT_TRUE(editor.EditsEnabled());
    editor.Select(0);
    EXPECT_EQ(editor.GetState(), Editor::kSeparatorSelected);
}

TEST(CustomMenuEditor, RulesLimitItemsAndCutFieldsOnlyWhereGiven) {
    Editor limited({.maxItems = 20, .maxFieldLength = 255});
    Editor open;
    for (int i = 0; i < 20; ++i) {
        EXPECT_TRUE(limited.Add());
    }
    EXPECT_FALSE(limited.Add());
    EXPECT_EQ(limited.Count(), 20u);
    EXPECT_EQ(limited.Selection(), 19) << "a refused Add changes nothing";
    limited.AddSeparator();
    EXPECT_EQ(limited.Count(), 21u) << "separators are not held back";
    limited.Select(0);
    limited.SetTitle(std::string(300, 't'));
    limited.SetAction(std::string(300, 'a'));
    EXPECT_EQ(limited.Items()[0].m_Title.size(), 255u);
    EXPECT_EQ(limited.Items()[0].m_Action.size(), 255u);

    for (int i = 0; i < 150; ++i) {
        ASSERT_TRUE(open.Add()) << i;
    }
    EXPECT_EQ(open.Count(), 150u) << "no cap on the selector's menu";
    open.SetTitle(std::string(300, 't'));
    EXPECT_EQ(open.Items()[149].m_Title.size(), 300u);
}

}  // namespace
}  // namespace practice
