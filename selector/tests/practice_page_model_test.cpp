// The practice page: blank fields in their order, integer fields, and type round trips including a type
// the page has no radio for.

#include "selector/practice_page_model.h"

#include <gtest/gtest.h>

namespace selector {
namespace {

PracticePageValues Filled() {
    PracticePageValues v;
    v.name = "Clinic";
    v.sorelData = "/data";
    v.sorelProgs = "/progs";
    return v;
}

TEST(PracticePageModelTest, ChecksInOrder) {
    struct Case {
        const char* what;
        void (*edit)(PracticePageValues&);
        PageField field;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"complete local", [](PracticePageValues&) {}, PageField::None, ""},
        {"local needs no host", [](PracticePageValues& v) { v.port = "0"; }, PageField::None, ""},
        {"remote host blank",
         [](PracticePageValues& v) {
             v.connType = 1;
             v.name = "";
         },
         PageField::Host, "\"Hostname\" field cannot be blank."},
        {"blank name", [](PracticePageValues& v) { v.name = "   "; }, PageField::Name,
         "\"Practice Name\" field cannot be blank."},
        {"data before progs",
         [](PracticePageValues& v) {
             v.sorelData = "";
             v.sorelProgs = "";
         },
         PageField::SorelData, "\"SorelData\" field cannot be blank."},
        {"blank progs", [](PracticePageValues& v) { v.sorelProgs = "\t"; }, PageField::SorelProgs,
         "\"SorelProgs\" field cannot be blank."},
        {"remote port 0",
         [](PracticePageValues& v) {
             v.connType = 1;
             v.host = "h";
             v.port = "0";
         },
         PageField::Port, "\"Port\" must be a whole number from 1 to 65535."},
        {"remote port 65536",
         [](PracticePageValues& v) {
             v.connType = 1;
             v.host = "h";
             v.port = "65536";
         },
         PageField::Port, nullptr},
        {"printer text", [](PracticePageValues& v) { v.printer = "x1"; }, PageField::Printer, nullptr},
        {"terminal overflow", [](PracticePageValues& v) { v.terminal = "99999999999"; }, PageField::Terminal,
         nullptr},
        {"billing number only for type 2",
         [](PracticePageValues& v) {
             v.practiceType = 2;
             v.billServ = "";
         },
         PageField::BillServ, nullptr},
        {"billing number ignored for MSO",
         [](PracticePageValues& v) {
             v.practiceType = 4;
             v.billServ = "";
         },
         PageField::None, ""},
    };
    for (const auto& c : cases) {
        PracticePageValues v = Filled();
        c.edit(v);
        PageCheck check = CheckPage(v);
        EXPECT_EQ(check.field, c.field) << c.what;
        if (c.message) {
            EXPECT_EQ(check.message, c.message) << c.what;
        }
        if (!check.Ok()) {
            EXPECT_EQ(check.caption, "Invalid field");
        }
    }
}

TEST(PracticePageModelTest, TrimsInPlace) {
    PracticePageValues v = Filled();
    v.name = "  Clinic  ";
    v.printer = " 4 ";
    ASSERT_TRUE(CheckPage(v).Ok());
    EXPECT_EQ(v.name, "Clinic");
    practice::CPractice p;
    StorePage(v, p);
    EXPECT_EQ(p.m_Name, "Clinic");
    EXPECT_EQ(p.m_PrinterNumber, 4);
}

TEST(PracticePageModelTest, TypeRoundTrips) {
    struct Case {
        int32_t storedType, storedBill;
        int32_t picked;  // -1: the user leaves the type alone
        int32_t type, bill;
    };
    const std::vector<Case> cases = {
        {2, 9, -1, 2, 9}, {2, 9, 0, 0, 0},  {4, 0, -1, 4, 0},
        {0, 5, -1, 0, 0}, {7, 3, -1, 7, 3},  // no radio for it: kept with its billing number
        {7, 3, 4, 4, 0},  {7, 3, 2, 2, 3},
    };
    for (const auto& c : cases) {
        practice::CPractice p;
        p.m_Name = "N";
        p.m_SorelData = "/d";
        p.m_SorelProgs = "/p";
        p.m_PracticeType = c.storedType;
        p.m_BillServID = c.storedBill;
        PracticePageValues v = LoadPage(p);
        EXPECT_EQ(v.ShownType(), c.storedType == 2 || c.storedType == 4 ? c.storedType : 0);
        if (c.picked >= 0)
            v.practiceType = c.picked;
        ASSERT_TRUE(CheckPage(v).Ok());
        StorePage(v, p);
        EXPECT_EQ(p.m_PracticeType, c.type) << c.storedType << "->" << c.picked;
        EXPECT_EQ(p.m_BillServID, c.bill) << c.storedType << "->" << c.picked;
    }
}

}  // namespace
}  // namespace selector
