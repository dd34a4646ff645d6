// The property sheet offscreen: an unknown type survives OK, a picked type replaces it, and "S&et"
// replaces an entry without regard to case.

#include "selector/practice_sheet.h"

#include <gtest/gtest.h>

#include <QButtonGroup>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

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

}  // namespace
}  // namespace selector
