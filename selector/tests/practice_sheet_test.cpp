// The property sheet offscreen: an unknown type survives OK, a picked type replaces it, and "S&et"
// replaces an entry without regard to case.

#include "selector/practice_sheet.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QButtonGroup>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>

#include "platform/user_prompt.h"

namespace selector {
namespace {

practice::CPractice Stored(int32_t type, int32_t bill) {
    practice::CPractice p;
    p.m_Name = "Clinic";
    p.m_SorelData = "/d";
    p.m_SorelProgs = "/p";
    p.m_ConnType = 1;
    p.m_Host = "host";
    p.m_PracticeType = type;
    p.m_BillServID = bill;
    p.m_Environment.Add({"path", "/a"});
    return p;
}

TEST(PracticeSheetTest, UnknownTypeKeptUnlessPicked) {
    {
        CPracticeSheet sheet(Stored(7, 3));
        sheet.accept();
        ASSERT_EQ(sheet.result(), QDialog::Accepted);
        EXPECT_EQ(sheet.Practice().m_PracticeType, 7);
        EXPECT_EQ(sheet.Practice().m_BillServID, 3);
    }
    CPracticeSheet sheet(Stored(7, 3));
    sheet.m_type->button(4)->click();
    sheet.accept();
    EXPECT_EQ(sheet.Practice().m_PracticeType, 4);
    EXPECT_EQ(sheet.Practice().m_BillServID, 0);
}

TEST(PracticeSheetTest, SetReplacesAndTrimsOnOk) {
    CPracticeSheet sheet(Stored(0, 0));
    sheet.m_variable->setText("PATH");
    sheet.m_value->setText("/b");
    for (QPushButton* button : sheet.findChildren<QPushButton*>())
        if (button->text() == "S&et")
            button->click();
    EXPECT_TRUE(sheet.m_variable->text().isEmpty());
    sheet.m_name->setText("  Renamed ");
    sheet.accept();
    EXPECT_EQ(sheet.Practice().m_Environment.GetEnvironmentString(), "PATH=/b");
    EXPECT_EQ(sheet.Practice().m_Name, "Renamed");
    EXPECT_EQ(sheet.m_name->text(), "Renamed");
}

// OK and the change to the Environment tab check the practice page in the same order; a refusal keeps the
// page, names the field, focuses it and leaves the trimmed texts in place.
TEST(PracticeSheetTest, BlankFieldsRefuseOkAndTheTabChange) {
    platform::RecordingPrompt prompt;
    platform::ScopedDefaultPrompt scoped(prompt);
    const struct {
        int32_t connType;
        const char* host;
        const char* name;
        const char* data;
        const char* progs;
        const char* label;  // empty: accepted
    } cases[] = {
        {1, "  ", "Clinic", "/d", "/p", "Hostname"},
        {0, "", " ", "/d", "/p", "Practice Name"},
        {1, "host", "Clinic", "", "/p", "SorelData"},
        {1, "host", "Clinic", "/d", "\t", "SorelProgs"},
        {0, "", "Clinic", "/d", "/p", ""},
    };
    for (bool viaTab : {false, true}) {
        for (const auto& c : cases) {
            prompt.Clear();
            practice::CPractice p = Stored(0, 0);
            p.m_ConnType = c.connType;
            p.m_Host = c.host;
            p.m_Name = c.name;
            p.m_SorelData = c.data;
            p.m_SorelProgs = c.progs;
            CPracticeSheet sheet(p);
            sheet.show();
            const std::string where = std::string(viaTab ? "tab " : "OK ") + c.label;
            if (viaTab)
                sheet.m_tabs->setCurrentIndex(1);
            else
                sheet.accept();
            if (*c.label == '\0') {
                EXPECT_TRUE(prompt.Shown().empty()) << where;
                EXPECT_EQ(viaTab ? sheet.m_tabs->currentIndex() == 1 : sheet.result() == QDialog::Accepted,
                          true)
                    << where;
                continue;
            }
            ASSERT_EQ(prompt.Shown().size(), 1u) << where;
            EXPECT_EQ(prompt.Shown()[0].text, "\"" + std::string(c.label) + "\" field cannot be blank.");
            EXPECT_EQ(prompt.Shown()[0].caption, "Invalid field");
            EXPECT_EQ(prompt.Shown()[0].icon, platform::PromptIcon::Exclamation);
            EXPECT_TRUE(sheet.isVisible()) << where;
            EXPECT_EQ(sheet.m_tabs->currentIndex(), 0) << where;
            QLineEdit* field = std::string(c.label) == "Hostname"        ? sheet.m_host
                               : std::string(c.label) == "Practice Name" ? sheet.m_name
                               : std::string(c.label) == "SorelData"     ? sheet.m_data
                                                                         : sheet.m_progs;
            EXPECT_EQ(sheet.focusWidget(), field) << where;
            EXPECT_TRUE(field->text().isEmpty()) << where << ": left trimmed";
        }
    }
}

// OK with an entry typed but not set asks; each answer as the warning's buttons give it.
TEST(PracticeSheetTest, DangerAnswers) {
    platform::RecordingPrompt prompt;
    platform::ScopedDefaultPrompt scoped(prompt);
    const struct {
        CDangerDlg::Answer answer;
        const char* variable;
        bool accepted;
        std::string environment;  // after OK
        bool refused;
    } cases[] = {
        {CDangerDlg::kYes, "TERM", true, "path=/a;TERM=ansi", false},
        {CDangerDlg::kNo, "TERM", true, "path=/a", false},
        {CDangerDlg::kCancel, "TERM", false, "", false},
        {CDangerDlg::kYes, "BAD=NAME", false, "", true},
    };
    for (const auto& c : cases) {
        prompt.Clear();
        CPracticeSheet sheet(Stored(0, 0));
        sheet.show();
        sheet.m_tabs->setCurrentIndex(1);
        sheet.m_variable->setText(c.variable);
        sheet.m_value->setText("ansi");
        QString shownEntry;
        QTimer::singleShot(0, [&] {
            auto* danger = qobject_cast<CDangerDlg*>(QApplication::activeModalWidget());
            ASSERT_NE(danger, nullptr);
            EXPECT_EQ(danger->windowTitle(), "Warning");
            shownEntry = danger->findChild<QLineEdit*>("entry")->text();
            danger->Button(c.answer)->click();
        });
        sheet.accept();
        EXPECT_EQ(shownEntry, QString(c.variable) + " = ansi");
        EXPECT_EQ(sheet.result() == QDialog::Accepted, c.accepted) << c.variable << " " << c.answer;
        EXPECT_EQ(sheet.isVisible(), !c.accepted);
        if (c.accepted) {
            EXPECT_EQ(sheet.Practice().m_Environment.GetEnvironmentString(), c.environment);
        }
        EXPECT_EQ(prompt.Shown().size(), c.refused ? 1u : 0u) << "a refused entry is told";
        if (c.refused) {
            EXPECT_EQ(sheet.m_envList->topLevelItemCount(), 1) << "and changes nothing";
        }
    }
}

}  // namespace
}  // namespace selector
