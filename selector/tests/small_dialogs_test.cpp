// The "&Run" menu editor, the Run dialog and Select Columns offscreen, and the editor from the list window:
// OK replaces the menu and saves, Cancel changes neither.

#include "selector/small_dialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>
#include <functional>

#include "platform/user_prompt.h"
#include "practice/prac_file.h"
#include "selector/container_start.h"
#include "selector/korrin_dlg.h"
#include "selector/tests/argv_spawner.h"
#include "testsupport/test_support.h"

namespace selector {
namespace {

namespace fs = std::filesystem;
using practice::CCustomMenuItem;

practice::CCustomMenuItemArray Defaults() {
    practice::CCustomMenu menu;
    AddDefaultCustomMenu(menu);
    return menu.GetItems();
}

class ConfMenuDlgTest : public ::testing::Test {
  protected:
    QListWidget* List() { return m_dialog.findChild<QListWidget*>("items"); }
    QPushButton* Button(const char* name) { return m_dialog.findChild<QPushButton*>(name); }
    QLineEdit* Edit(const char* name) { return m_dialog.findChild<QLineEdit*>(name); }
    QCheckBox* Chain() { return m_dialog.findChild<QCheckBox*>("chain"); }

    CConfMenuDlg m_dialog{Defaults()};
};

TEST_F(ConfMenuDlgTest, ChainCommandIsTheInverseOfRunCommandAndOffForSeparators) {
    m_dialog.show();
    ASSERT_NE(Chain(), nullptr);
    ASSERT_EQ(List()->count(), 16);
    EXPECT_EQ(List()->item(0)->text(), "&Appointments") << "the selector's titles keep their \"&\"";
    EXPECT_FALSE(Chain()->isEnabled());

    List()->setCurrentRow(0);
    EXPECT_TRUE(Chain()->isEnabled());
    EXPECT_TRUE(Chain()->isChecked());
    Chain()->click();
    EXPECT_EQ(m_dialog.Items()[0].m_RunCommand, 1);
    Edit("action")->selectAll();
    QTest::keyClicks(Edit("action"), "sorel -t%T -p%P");
    EXPECT_EQ(m_dialog.Items()[0], CCustomMenuItem("&Appointments", "sorel -t%T -p%P", 1));

    List()->setCurrentRow(9);
    EXPECT_FALSE(Chain()->isEnabled()) << "a separator";
    EXPECT_FALSE(Edit("title")->isEnabled());
    EXPECT_TRUE(Button("moveUp")->isEnabled());
    EXPECT_TRUE(Button("remove")->isEnabled());
    List()->setCurrentRow(0);
    EXPECT_FALSE(Chain()->isChecked()) << "shown again as stored";
    Chain()->click();
    EXPECT_EQ(m_dialog.Items()[0].m_RunCommand, 0);
}

TEST_F(ConfMenuDlgTest, NoItemLimitAndNoFieldCut) {
    m_dialog.show();
    for (int i = 0; i < 110; ++i) {
        QTest::mouseClick(Button("add"), Qt::LeftButton);
    }
    EXPECT_EQ(List()->count(), 126);
    EXPECT_EQ(List()->currentRow(), 125);
    QTest::keyClicks(Edit("title"), QString(300, 'x'));
    EXPECT_EQ(m_dialog.Items()[125].m_Title, "New Menu Item" + std::string(300, 'x'));
    EXPECT_EQ(List()->item(125)->text().size(), 313);
}

TEST(RunCmdDlgTest, EmptyCommandKeepsTheDialogOpen) {
    platform::RecordingPrompt prompt;
    platform::ScopedDefaultPrompt scoped(prompt);
    const struct {
        const char* typed;
        bool accepted;
        std::string command;
        bool simple;
    } cases[] = {
        {"", false, "", false},
        {"   ", false, "", false},
        {"  cleanlog  ", true, "cleanlog", true},
        {"INSTALL -t%T -p%P cwd", true, "INSTALL -t%T -p%P cwd", false},
        {"dload -i", true, "dload -i", false},
    };
    for (const auto& c : cases) {
        prompt.Clear();
        CRunCmdDlg dialog;
        dialog.show();
        EXPECT_EQ(dialog.windowTitle(), "Run");
        dialog.findChild<QLineEdit*>("command")->setText(c.typed);
        dialog.accept();
        EXPECT_EQ(dialog.isVisible(), !c.accepted) << c.typed;
        if (!c.accepted) {
            ASSERT_EQ(prompt.Shown().size(), 1u);
            EXPECT_EQ(prompt.Shown()[0].text, "The command cannot be empty.");
            EXPECT_EQ(prompt.Shown()[0].icon, platform::PromptIcon::Exclamation);
            continue;
        }
        EXPECT_TRUE(prompt.Shown().empty());
        EXPECT_EQ(dialog.Command(), c.command);
        EXPECT_EQ(dialog.Simple(), c.simple) << c.typed;
    }
}

TEST(SelectColumnsDlgTest, SixChoicesAllUnchecked) {
    SelectColumnsDlg dialog;
    EXPECT_EQ(dialog.windowTitle(), "Select Columns");
    for (size_t i = 0; i < dialog.Boxes().size(); ++i) {
        EXPECT_EQ(dialog.Boxes()[i]->text(), SelectColumnsDlg::kChoices[i]);
        EXPECT_FALSE(dialog.Boxes()[i]->isChecked());
    }
}

class CommandMenuTest : public testsupport::RegistryTest {
  protected:
    fs::path Xml() { return practice::MachinePracticeFolder() / "practice.xml"; }
    void SetUp() override {
        testsupport::RegistryTest::SetUp();
        practice::CPracFile file;
        practice::CPractice p;
        p.m_Name = "Clinic";
        file.GetPractices().push_back(p);
        std::string text;
        ASSERT_TRUE(file.WriteXml(text));
        fs::create_directories(Xml().parent_path());
        testsupport::WriteFile(Xml(), text);
    }
    // Runs "&Command Menu" and lets `answer` work the editor while it is open.
    void RunEditor(CKorrinDlg& dlg, std::function<void(CConfMenuDlg&)> answer) {
        bool answered = false;
        QTimer::singleShot(0, [&] {
            auto* editor = qobject_cast<CConfMenuDlg*>(QApplication::activeModalWidget());
            ASSERT_NE(editor, nullptr);
            answer(*editor);
            answered = true;
        });
        QAction* command = nullptr;
        for (QAction* action : dlg.findChildren<QAction*>())
            if (action->text() == "&Command Menu")
                command = action;
        ASSERT_NE(command, nullptr);
        ASSERT_TRUE(command->isEnabled());
        command->trigger();
        EXPECT_TRUE(answered);
    }
    std::vector<QString> RunTitles(CKorrinDlg& dlg) {
        std::vector<QString> titles;
        for (QAction* action : dlg.RunMenu()->actions())
            titles.push_back(action->isSeparator() ? "-" : action->text());
        return titles;
    }
    testing::ArgvSpawner m_spawner;
};

TEST_F(CommandMenuTest, HelpOpensTheAboutBoxWhoseButtonsOpenTheMakersPages) {
    CKorrinDlg dlg(std::nullopt, true, m_spawner);
    std::vector<QUrl> opened;
    suite::SetUrlOpener([&opened](const QUrl& url) { opened.push_back(url); });
    bool shown = false;
    QTimer::singleShot(0, [&] {
        auto* about = dynamic_cast<suite::CAboutDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(about, nullptr);
        shown = true;
        EXPECT_EQ(about->windowTitle(), "About Korrin");
        EXPECT_TRUE(about->VersionText().startsWith("Korrin Version ")) << about->VersionText().toStdString();
        about->ContactUsButton()->click();
        about->SupportButton()->click();
        about->accept();
    });
    QAction* item = nullptr;
    for (QAction* action : dlg.findChildren<QAction*>())
        if (action->text() == "&About Korrin")
            item = action;
    ASSERT_NE(item, nullptr);
    item->trigger();
    suite::SetUrlOpener(nullptr);
    EXPECT_TRUE(shown);
    EXPECT_EQ(opened, (std::vector<QUrl>{QUrl(QString::fromLatin1(suite::kContactUsAddress.data())),
                                         QUrl(QString::fromLatin1(suite::kSupportAddress.data()))}));
    dlg.reject();
}

TEST_F(CommandMenuTest, CancelLeavesTheMenuAndTheFile) {
    CKorrinDlg dlg(std::nullopt, true, m_spawner);
    const std::string before = testsupport::ReadFile(Xml());
    const std::vector<QString> titles = RunTitles(dlg);
    ASSERT_EQ(titles.size(), 16u);
    RunEditor(dlg, [](CConfMenuDlg& editor) {
        editor.findChild<QListWidget*>("items")->setCurrentRow(0);
        editor.findChild<QPushButton*>("remove")->click();
        editor.reject();
    });
    EXPECT_EQ(RunTitles(dlg), titles);
    EXPECT_EQ(dlg.CustomMenu().GetItemCount(), 16u);
    EXPECT_EQ(testsupport::ReadFile(Xml()), before);
    dlg.reject();
}

TEST_F(CommandMenuTest, OkReplacesTheRunMenuAndSaves) {
    CKorrinDlg dlg(std::nullopt, true, m_spawner);
    RunEditor(dlg, [](CConfMenuDlg& editor) {
        editor.findChild<QPushButton*>("add")->click();
        QLineEdit* title = editor.findChild<QLineEdit*>("title");
        title->selectAll();
        QTest::keyClicks(title, "Sorel &Direct");
        QLineEdit* action = editor.findChild<QLineEdit*>("action");
        action->selectAll();
        QTest::keyClicks(action, "sorel -t%T -p%P");
        editor.findChild<QCheckBox*>("chain")->click();
        editor.accept();
    });
    const std::vector<QString> titles = RunTitles(dlg);
    ASSERT_EQ(titles.size(), 17u);
    EXPECT_EQ(titles.back(), "Sorel &Direct");

    practice::CPracFile file;
    ASSERT_TRUE(file.ReadXml(testsupport::ReadFile(Xml())));
    const practice::CCustomMenuItemArray& stored = file.GetSelInfo().GetCustomMenu().GetItems();
    ASSERT_EQ(stored.GetSize(), 17u);
    EXPECT_EQ(stored[16], CCustomMenuItem("Sorel &Direct", "sorel -t%T -p%P", 1));
    EXPECT_EQ(stored[0].m_Title, "&Appointments");

    dlg.SelectRow(0);
    dlg.RunMenu()->actions().back()->trigger();
    EXPECT_EQ(m_spawner.argv.back(), "-simple") << "a custom item always starts simple";
    dlg.reject();
}

}  // namespace
}  // namespace selector
