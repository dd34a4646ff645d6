// The dataset dialog driven through its widgets: the list and its practice positions, choosing with the
// button or a double click, the message when nothing is selected, every way of closing it without a
// choice, and the probe choosing through it.
#include "tools/dataset_sel_dlg.h"

#include <gtest/gtest.h>

#include <QGroupBox>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QtTest/QTest>

#include "practice/prac_file.h"
#include "practice/practice_log.h"
#include "tools/tests/dialog_test_support.h"

namespace tools {
namespace {

using platform::PromptIcon;

constexpr const char* kSelectMessage = "Please select a Practice dataset to continue login process.";

class DatasetSelDlgTest : public testing::DialogTest {
  protected:
    static QListWidget* List(CDatasetSelDlg& d) { return d.findChild<QListWidget*>("practiceList"); }
    static QPushButton* Next(CDatasetSelDlg& d) { return d.findChild<QPushButton*>("nextButton"); }
    static QPushButton* Back(CDatasetSelDlg& d) { return d.findChild<QPushButton*>("backButton"); }
    static void Select(CDatasetSelDlg& d, int row) {
        QListWidget* list = List(d);
        const QRect rect = list->visualItemRect(list->item(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    }

    void Open(CDatasetSelDlg& dialog) {
        dialog.SetList({"Clinic", "Caf\xE9 Group", "Remote"}, {0, 2, 5});
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    }
};

TEST_F(DatasetSelDlgTest, ShowsTheNamesWithTheirPositions) {
    CDatasetSelDlg dialog;
    Open(dialog);

    EXPECT_EQ(dialog.windowTitle(), "Halvex Carrowline Dataset");
    EXPECT_EQ(dialog.findChild<QGroupBox*>("practicesGroup")->title(), "Available Practices");
    EXPECT_EQ(Next(dialog)->text(), "&Next>>");
    EXPECT_EQ(Back(dialog)->text(), "<<&Back");
    QListWidget* list = List(dialog);
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->item(1)->text(), QString::fromUtf8("Caf\u00e9 Group"));
    EXPECT_EQ(list->item(0)->data(Qt::UserRole).toInt(), 0);
    EXPECT_EQ(list->item(1)->data(Qt::UserRole).toInt(), 2);
    EXPECT_EQ(list->item(2)->data(Qt::UserRole).toInt(), 5);
    EXPECT_TRUE(list->selectedItems().isEmpty());
    EXPECT_TRUE(testing::WaitFor([&] { return dialog.focusWidget() == list; }));
    EXPECT_EQ(dialog.GetChosenIndex(), -1);
}

TEST_F(DatasetSelDlgTest, NextChoosesTheSelectedPractice) {
    CDatasetSelDlg dialog;
    Open(dialog);
    Select(dialog, 2);
    QTest::mouseClick(Next(dialog), Qt::LeftButton);

    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.GetChosenIndex(), 5);
    EXPECT_TRUE(m_prompt.Shown().empty());
}

TEST_F(DatasetSelDlgTest, DoubleClickChoosesThePractice) {
    CDatasetSelDlg dialog;
    Open(dialog);
    QListWidget* list = List(dialog);
    const QPoint point = list->visualItemRect(list->item(1)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, point);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, point);

    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.GetChosenIndex(), 2);
}

TEST_F(DatasetSelDlgTest, EnterChoosesTheSelectedPractice) {
    CDatasetSelDlg dialog;
    Open(dialog);
    Select(dialog, 0);
    QTest::keyClick(List(dialog), Qt::Key_Return);

    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.GetChosenIndex(), 0);
}

TEST_F(DatasetSelDlgTest, NextWithoutSelectionAsksAndStays) {
    CDatasetSelDlg dialog;
    Open(dialog);
    QTest::mouseClick(Next(dialog), Qt::LeftButton);

    ASSERT_EQ(m_prompt.Shown().size(), 1u);
    EXPECT_EQ(m_prompt.Shown()[0].text, kSelectMessage);
    EXPECT_EQ(m_prompt.Shown()[0].icon, PromptIcon::Information);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.GetChosenIndex(), -1);

    // The user can still choose afterwards.
    Select(dialog, 1);
    QTest::mouseClick(Next(dialog), Qt::LeftButton);
    EXPECT_EQ(dialog.GetChosenIndex(), 2);
}

TEST_F(DatasetSelDlgTest, EmptyListCanOnlyBeClosed) {
    CDatasetSelDlg dialog;
    dialog.SetList({}, {});
    dialog.show();
    QTest::mouseClick(Next(dialog), Qt::LeftButton);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(m_prompt.Texts(), (std::vector<std::string>{kSelectMessage}));

    QTest::mouseClick(Back(dialog), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(dialog.GetChosenIndex(), -1);
}

TEST_F(DatasetSelDlgTest, UnevenListsShowOnlyThePairs) {
    CDatasetSelDlg dialog;
    dialog.SetList({"A", "B", "C"}, {4, 7});
    EXPECT_EQ(List(dialog)->count(), 2);
    EXPECT_EQ(dialog.GetNames().size(), 2u);
}

enum class CloseBy { Back, Escape, Window };

class DatasetSelCloseTest : public DatasetSelDlgTest, public ::testing::WithParamInterface<CloseBy> {};

TEST_P(DatasetSelCloseTest, ClosingWithoutNextIsACancel) {
    CDatasetSelDlg dialog;
    dialog.SetList({"Clinic", "Group"}, {0, 1});
    testing::WhenShown<CDatasetSelDlg>([how = GetParam()](CDatasetSelDlg& shown) {
        Select(shown, 1);
        switch (how) {
            case CloseBy::Back:
                QTest::mouseClick(Back(shown), Qt::LeftButton);
                break;
            case CloseBy::Escape:
                QTest::keyClick(&shown, Qt::Key_Escape);
                break;
            case CloseBy::Window:
                shown.close();
                break;
        }
    });
    EXPECT_FALSE(dialog.RunModal());
    EXPECT_EQ(dialog.GetChosenIndex(), -1);
    EXPECT_TRUE(m_prompt.Shown().empty());
}

INSTANTIATE_TEST_SUITE_P(Ways, DatasetSelCloseTest,
                         ::testing::Values(CloseBy::Back, CloseBy::Escape, CloseBy::Window));

TEST_F(DatasetSelDlgTest, ChooserAnswersNothingWhenItsParentGoesWhileShown) {
    QPointer<QWidget> parent = new QWidget;
    parent->show();
    QtDatasetChooser chooser(parent);
    const std::vector<std::string> names = {"Clinic", "Group"};
    const std::vector<int32_t> indexes = {0, 1};
    testing::WhenShown<CDatasetSelDlg>([parent](CDatasetSelDlg& shown) {
        Select(shown, 1);
        parent->deleteLater();
    });

    EXPECT_EQ(chooser.Choose(names, indexes), std::nullopt);
    EXPECT_TRUE(parent.isNull());
}

TEST_F(DatasetSelDlgTest, ChooserAnswersThePositionChosen) {
    QtDatasetChooser chooser;
    const std::vector<std::string> names = {"Clinic", "Group"};
    const std::vector<int32_t> indexes = {3, 8};
    testing::WhenShown<CDatasetSelDlg>([](CDatasetSelDlg& shown) {
        Select(shown, 1);
        QTest::keyClick(List(shown), Qt::Key_Return);
    });

    EXPECT_EQ(chooser.Choose(names, indexes), 8);
}

// ---- The probe choosing through the dialog ----

class DatasetChooserTest : public DatasetSelDlgTest {
  protected:
    void SetUp() override {
        DatasetSelDlgTest::SetUp();
        practice::SetLogSink([](std::string_view) {});
        std::vector<practice::CPractice> practices(3);
        practices[0].m_Name = "Clinic";
        practices[1].m_Name = "Billing";
        practices[1].m_PracticeType = 2;
        practices[2].m_Name = "Group";
        practices[2].m_ConnType = 1;
        practices[2].m_Host = "group.host";
        practice::CPracFile file;
        ASSERT_TRUE(file.Save(&practices, practice::CPracSelInfo()));
    }
    void TearDown() override {
        practice::SetLogSink({});
        DatasetSelDlgTest::TearDown();
    }
};

TEST_F(DatasetChooserTest, ProbeTakesThePracticeChosenInTheDialog) {
    QtDatasetChooser chooser;
    CPracticeProbe probe(chooser);
    QStringList shownNames;
    testing::WhenShown<CDatasetSelDlg>([&shownNames](CDatasetSelDlg& shown) {
        for (int i = 0; i < List(shown)->count(); ++i) {
            shownNames << List(shown)->item(i)->text();
        }
        Select(shown, 1);
        QTest::mouseClick(Next(shown), Qt::LeftButton);
    });

    ASSERT_EQ(probe.Probe(0), 1);
    EXPECT_EQ(shownNames, (QStringList{"Clinic", "Group"}));
    EXPECT_EQ(probe.GetName(), "Group");
    EXPECT_EQ(probe.GetHost(), "group.host");
}

TEST_F(DatasetChooserTest, ClosingTheDialogCancelsTheProbe) {
    QtDatasetChooser chooser;
    CPracticeProbe probe(chooser);
    testing::WhenShown<CDatasetSelDlg>(
        [](CDatasetSelDlg& shown) { QTest::keyClick(&shown, Qt::Key_Escape); });

    EXPECT_EQ(probe.Probe(1), 0);
    EXPECT_TRUE(probe.IsCancelled());
}

TEST_F(DatasetChooserTest, TheDialogShowsTheArrowWhileTheWaitCursorIsOn) {
    QtDatasetChooser chooser;
    CPracticeProbe probe(chooser);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::optional<Qt::CursorShape> whileShown;
    testing::WhenShown<CDatasetSelDlg>([&whileShown](CDatasetSelDlg& shown) {
        whileShown = QApplication::overrideCursor()->shape();
        QTest::keyClick(&shown, Qt::Key_Escape);
    });

    probe.Probe(0);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    const Qt::CursorShape after = QApplication::overrideCursor()->shape();
    QApplication::restoreOverrideCursor();
    EXPECT_EQ(whileShown, Qt::ArrowCursor);
    EXPECT_EQ(after, Qt::WaitCursor);
}

}  // namespace
}  // namespace tools
