// The list window offscreen: what closing saves, stored settings applied without marking anything dirty,
// the header order as stored, and Connect through the window's selection.

#include "selector/korrin_dlg.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QMessageBox>
#include <QTimer>
#include <QTreeView>

#include "practice/prac_file.h"
#include "selector/tests/argv_spawner.h"
#include "testsupport/test_support.h"

namespace selector {
namespace {

namespace fs = std::filesystem;

class KorrinDlgTest : public testsupport::RegistryTest {
  protected:
    fs::path Xml() { return practice::MachinePracticeFolder() / "practice.xml"; }
    void WriteList(int32_t charWidthUnits) {
        practice::CPracFile file;
        for (const char* name : {"beta", "Alpha"}) {
            practice::CPractice p;
            p.m_Name = name;
            file.GetPractices().push_back(p);
        }
        practice::CPractice bill;
        bill.m_Name = "Billing";
        bill.m_PracticeType = 2;
        bill.m_BillServID = 4;
        file.GetPractices().push_back(bill);
        file.GetSelInfo().SetStyle(1);
        file.GetSelInfo().GetColumnOrder() = {3, 0, 1, 2, 4, 5, 6, 7, 8, 9, 10};
        file.GetSelInfo().GetColumnWidths().fill(charWidthUnits);
        std::string text;
        ASSERT_TRUE(file.WriteXml(text));
        fs::create_directories(Xml().parent_path());
        testsupport::WriteFile(Xml(), text);
    }
    testing::ArgvSpawner m_spawner;
};

TEST_F(KorrinDlgTest, OpenAndCloseUnchangedWritesNothing) {
    WriteList(12);
    const std::string before = testsupport::ReadFile(Xml());
    const auto stamp = fs::last_write_time(Xml());
    {
        CKorrinDlg dlg(std::nullopt, true, m_spawner);
        EXPECT_FALSE(dlg.ViewDirty());
        EXPECT_EQ(dlg.Style(), 1);
        EXPECT_EQ(dlg.CurrentViewState().order[0], 3);
        EXPECT_EQ(dlg.CurrentViewState().widths[5], 12 * dlg.CharWidth());
        EXPECT_EQ(dlg.List().RowCount(), 2u);  // the billing service is hidden
        dlg.reject();
    }
    EXPECT_EQ(testsupport::ReadFile(Xml()), before);
    EXPECT_EQ(fs::last_write_time(Xml()), stamp);
}

TEST_F(KorrinDlgTest, ShowAllAloneSavesOnClose) {
    WriteList(12);
    {
        CKorrinDlg dlg(std::nullopt, true, m_spawner);
        dlg.findChild<QCheckBox*>()->setChecked(true);
        EXPECT_EQ(dlg.List().RowCount(), 3u);
        EXPECT_TRUE(dlg.ViewDirty());
        dlg.reject();
    }
    practice::CPracFile file;
    ASSERT_TRUE(file.ReadXml(testsupport::ReadFile(Xml())));
    EXPECT_EQ(file.GetPractices().size(), 3u);
    EXPECT_EQ(file.GetSelInfo().GetColumnOrder()[0], 3);
    EXPECT_EQ(file.GetSelInfo().GetColumnWidths()[5], 12);
}

TEST_F(KorrinDlgTest, MovedColumnIsStoredLeftToRight) {
    WriteList(12);
    {
        CKorrinDlg dlg(std::nullopt, true, m_spawner);
        QHeaderView* header = dlg.findChild<QTreeView*>()->header();
        header->moveSection(header->visualIndex(10), 0);  // as a drag does
        EXPECT_TRUE(dlg.ViewDirty());
        dlg.accept();
    }
    practice::CPracFile file;
    ASSERT_TRUE(file.ReadXml(testsupport::ReadFile(Xml())));
    EXPECT_EQ(file.GetSelInfo().GetColumnOrder(),
              (std::array<int32_t, 11>{10, 3, 0, 1, 2, 4, 5, 6, 7, 8, 9}));
}

TEST_F(KorrinDlgTest, ConnectUsesTheSelectedRow) {
    WriteList(12);
    CKorrinDlg dlg(std::nullopt, true, m_spawner);
    dlg.SelectRow(0);
    dlg.Connect(std::nullopt, 0);
    ASSERT_EQ(m_spawner.argv.size(), 3u);
    EXPECT_EQ(m_spawner.argv[0], "/brantor");  // a local practice with no programs folder
    EXPECT_EQ(m_spawner.argv[1], "-X");
    dlg.reject();
}

TEST_F(KorrinDlgTest, AListAnotherProgramDamagedIsToldWhenItIsLoadedAgain) {
    WriteList(12);
    CKorrinDlg dlg(std::nullopt, true, m_spawner);
    const std::string damaged =
        "<?xml version=\"1.0\"?>\n<PracticeFile>\n<SchemaVersion>6</SchemaVersion>\n<Pr";
    testsupport::WriteFile(Xml(), damaged);
    // Every box is answered at once and its text kept.
    std::vector<std::string> shown;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown.push_back(box->text().toStdString());
            box->accept();
        }
    });
    closer.start(10);
    dlg.findChild<QCheckBox*>()->setChecked(true);
    dlg.reject();  // saving the view finds the list changed and loads it again
    closer.stop();
    ASSERT_EQ(shown.size(), 2u) << ::testing::PrintToString(shown);
    EXPECT_NE(shown[0].find("changed by another program"), std::string::npos) << shown[0];
    EXPECT_EQ(shown[1], "The practice list " + Xml().string() +
                            " could not be read. It is left as it is and changes are not saved.");
    EXPECT_EQ(testsupport::ReadFile(Xml()), damaged);
}

}  // namespace
}  // namespace selector
