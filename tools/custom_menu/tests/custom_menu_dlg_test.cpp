// The custom menu editor driven through its widgets offscreen: the state of its buttons and fields per
// selection, editing, the item limit, moving and removing, the file choice and the question on an empty path.
#include "tools/custom_menu/custom_menu_dlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QtTest/QTest>

#include "platform/user_prompt.h"
#include "tools/custom_menu/custom_file.h"

namespace tools {
namespace {

using practice::CCustomMenuEditor;
using practice::CCustomMenuItem;
using practice::CCustomMenuItemArray;

class CustomMenuDlgTest : public ::testing::Test {
  protected:
    QListWidget* List() { return m_dialog.findChild<QListWidget*>("items"); }
    QPushButton* Button(const char* name) { return m_dialog.findChild<QPushButton*>(name); }
    QLineEdit* Edit(const char* name) { return m_dialog.findChild<QLineEdit*>(name); }
    void Click(const char* name) { QTest::mouseClick(Button(name), Qt::LeftButton); }
    void Select(int row) { List()->setCurrentRow(row); }
    QStringList Titles() {
        QStringList titles;
        for (int i = 0; i < List()->count(); ++i) {
            titles << List()->item(i)->text();
        }
        return titles;
    }
    std::vector<std::string> ItemTitles() {
        std::vector<std::string> titles;
        for (const CCustomMenuItem& item : m_dialog.Items()) {
            titles.push_back(item.m_Title);
        }
        return titles;
    }
    // Enabled states of Title, Action, Move Up, Move Down, Remove.
    std::vector<bool> States() {
        return {Edit("title")->isEnabled(), Edit("action")->isEnabled(), Button("moveUp")->isEnabled(),
                Button("moveDown")->isEnabled(), Button("remove")->isEnabled()};
    }

    platform::RecordingPrompt m_prompt;
    platform::ScopedDefaultPrompt m_scoped{m_prompt};
    CCustomMenuDlg m_dialog;
};

TEST_F(CustomMenuDlgTest, OpensWithTheTitlesAndNothingSelected) {
    m_dialog.SetItems(CCustomFile::DefaultItems());
    m_dialog.show();
    EXPECT_EQ(m_dialog.windowTitle(), "Custom Menu Editor");
    ASSERT_EQ(List()->count(), 16);
    EXPECT_EQ(List()->item(0)->text(), "Appointments");
    EXPECT_EQ(List()->item(9)->text(), "-SEPARATOR-");
    EXPECT_EQ(m_dialog.EditMode(), CCustomMenuEditor::kNothingSelected);
    EXPECT_EQ(States(), (std::vector<bool>{false, false, false, false, false}));
    EXPECT_TRUE(Edit("title")->text().isEmpty());
}

TEST_F(CustomMenuDlgTest, SelectionSetsTheModeFieldsAndButtons) {
    m_dialog.SetItems(CCustomFile::DefaultItems());
    m_dialog.show();
    const struct {
        int row;
        CCustomMenuEditor::State mode;
        std::vector<bool> states;
        QString title;
        QString action;
    } cases[] = {
        {0, CCustomMenuEditor::kItemSelected, {true, true, false, true, true}, "Appointments", "/app"},
        {9, CCustomMenuEditor::kSeparatorSelected, {false, false, true, true, true}, "-SEPARATOR-", ""},
        {15, CCustomMenuEditor::kItemSelected, {true, true, true, false, true}, "View Patient Chart", "/vpc"},
    };
    for (const auto& c : cases) {
        Select(c.row);
        EXPECT_EQ(m_dialog.EditMode(), c.mode) << c.row;
        EXPECT_EQ(States(), c.states) << c.row;
        EXPECT_EQ(Edit("title")->text(), c.title);
        EXPECT_EQ(Edit("action")->text(), c.action);
    }
    List()->clearSelection();
    EXPECT_EQ(m_dialog.EditMode(), CCustomMenuEditor::kNothingSelected);
    EXPECT_EQ(States(), (std::vector<bool>{false, false, false, false, false}));
    EXPECT_TRUE(Edit("action")->text().isEmpty());
}

TEST_F(CustomMenuDlgTest, TypingChangesTheSelectedItemAndItsEntry) {
    m_dialog.SetItems(CCustomFile::DefaultItems());
    m_dialog.show();
    Select(1);
    Edit("title")->selectAll();
    // A character beyond ASCII, as a keyboard layout would type it.
    QTest::keyClicks(Edit("title"), "Caf");
    QKeyEvent accent(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(QChar(0xE9)));
    QApplication::sendEvent(Edit("title"), &accent);
    Edit("action")->selectAll();
    QTest::keyClicks(Edit("action"), "/cafe");
    EXPECT_EQ(List()->item(1)->text(), QString("Caf") + QChar(0xE9));
    EXPECT_EQ(List()->currentRow(), 1);
    EXPECT_EQ(m_dialog.Items()[1], CCustomMenuItem("Caf\xe9", "/cafe", 0)) << "kept in Windows-1252";

    QTest::keyClicks(Edit("title"), QString(300, 'x'));
    EXPECT_EQ(m_dialog.Items()[1].m_Title.size(), 255u);
}

TEST_F(CustomMenuDlgTest, AddStopsAtTwentyEntriesButSeparatorsDoNot) {
    m_dialog.show();
    for (int i = 0; i < 20; ++i) {
        Click("add");
    }
    EXPECT_EQ(List()->count(), 20);
    EXPECT_EQ(List()->currentRow(), 19);
    EXPECT_EQ(m_dialog.Items()[19], CCustomMenuItem("New Menu Item", "New Action", 0));
    EXPECT_TRUE(m_prompt.Shown().empty());

    Click("add");
    EXPECT_EQ(List()->count(), 20);
    EXPECT_EQ(m_dialog.Items().GetSize(), 20u);
    EXPECT_EQ(m_prompt.Texts(), std::vector<std::string>{"The maximum of 20 menu items have been reached."});

    Click("separator");
    EXPECT_EQ(List()->count(), 21);
    EXPECT_EQ(List()->currentRow(), 20);
    EXPECT_EQ(m_dialog.EditMode(), CCustomMenuEditor::kSeparatorSelected);
    EXPECT_EQ(m_dialog.Items()[20], CCustomMenuItem("-SEPARATOR-", "", 0));
}

TEST_F(CustomMenuDlgTest, MoveAndRemoveKeepTheListAndTheItemsInStep) {
    CCustomMenuItemArray items;
    for (const char* title : {"A", "B", "C"}) {
        items.Add(CCustomMenuItem(title, std::string("/") + title, 0));
    }
    m_dialog.SetItems(items);
    m_dialog.show();

    Select(0);
    Click("moveDown");
    EXPECT_EQ(Titles(), (QStringList{"B", "A", "C"}));
    EXPECT_EQ(ItemTitles(), (std::vector<std::string>{"B", "A", "C"}));
    EXPECT_EQ(List()->currentRow(), 1);
    Click("moveDown");
    EXPECT_EQ(List()->currentRow(), 2);
    EXPECT_FALSE(Button("moveDown")->isEnabled()) << "the last entry cannot move down";
    Click("moveUp");
    Click("moveUp");
    EXPECT_EQ(ItemTitles(), (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_FALSE(Button("moveUp")->isEnabled()) << "the first entry cannot move up";

    Select(1);
    Click("remove");
    EXPECT_EQ(ItemTitles(), (std::vector<std::string>{"A", "C"}));
    EXPECT_EQ(List()->currentRow(), 1) << "the selection stays at the same place";
    EXPECT_EQ(Edit("action")->text(), "/C");
    Click("remove");
    EXPECT_EQ(Titles(), (QStringList{"A"}));
    EXPECT_EQ(List()->currentRow(), 0) << "after the last one, the new last";
    Click("remove");
    EXPECT_EQ(List()->count(), 0);
    EXPECT_EQ(m_dialog.EditMode(), CCustomMenuEditor::kNothingSelected);
    EXPECT_FALSE(Button("remove")->isEnabled());
}

TEST_F(CustomMenuDlgTest, BrowseFillsTheLocation) {
    m_dialog.SetPath("/old/menu.cmf");
    m_dialog.show();
    EXPECT_EQ(Edit("location")->text(), "/old/menu.cmf");
    m_dialog.SetFileChooser([](QWidget*) { return std::optional<QString>("/new/menu.cmf"); });
    Click("browse");
    EXPECT_EQ(m_dialog.Path(), "/new/menu.cmf");
    m_dialog.SetFileChooser([](QWidget*) { return std::optional<QString>(); });
    Click("browse");
    EXPECT_EQ(m_dialog.Path(), "/new/menu.cmf") << "a cancelled choice changes nothing";
}

TEST_F(CustomMenuDlgTest, OkWithoutAPathAsksFirst) {
    m_dialog.show();
    m_prompt.QueueAnswer(platform::PromptResult::Cancel);
    m_dialog.accept();
    EXPECT_TRUE(m_dialog.isVisible()) << "Cancel returns to the editor";
    ASSERT_EQ(m_prompt.Shown().size(), 1u);
    const platform::PromptRequest question = m_prompt.Shown()[0];
    EXPECT_EQ(
        question.text,
        "A path must be specified to save the menu configuration.\n\nChoose \"OK\" if you wish to exit the "
        "menu utility.");
    EXPECT_EQ(question.icon, platform::PromptIcon::Exclamation);
    EXPECT_EQ(question.buttons, platform::PromptButtons::OkCancel);

    m_prompt.QueueAnswer(platform::PromptResult::Ok);
    m_dialog.accept();
    EXPECT_EQ(m_dialog.result(), QDialog::Accepted);

    CCustomMenuDlg withPath;
    withPath.SetPath("/some/menu.cmf");
    withPath.show();
    withPath.accept();
    EXPECT_EQ(withPath.result(), QDialog::Accepted);
    EXPECT_EQ(m_prompt.Shown().size(), 2u) << "a path needs no question";
}

}  // namespace
}  // namespace tools
