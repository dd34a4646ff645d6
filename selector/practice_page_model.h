// The practice page's values apart from its widgets: loading a practice, the checks when the page is
// left (blank fields in order, integer fields naming the field) and storing back.
#pragma once

#include <cstdint>
#include <string>

#include "practice/practice.h"

namespace selector {

enum class PageField { None, Host, Name, SorelData, SorelProgs, Port, Printer, Terminal, BillServ };

struct PracticePageValues {
    int32_t connType = 0;  // 0 local, 1 remote
    std::string name, host, sorelData, sorelProgs;
    std::string port = "8002", printer = "1", terminal = "1", billServ = "0";
    bool wanMode = false;
    // The stored type; a radio sets 0, 2 or 4. Any other value is kept as it was until the user picks one.
    int32_t practiceType = 0;

    bool HostEnabled() const { return connType != 0; }
    bool BillServEnabled() const { return practiceType == 2; }
    // The radio shown: 2 and 4 their own, every other type "Normal".
    int32_t ShownType() const { return practiceType == 2 || practiceType == 4 ? practiceType : 0; }
};

struct PageCheck {
    PageField field = PageField::None;  // the first refused field
    std::string message;
    std::string caption;
    bool Ok() const { return field == PageField::None; }
};

PracticePageValues LoadPage(const practice::CPractice& practice);
// Trims the texts in place, then checks; the first refusal wins.
PageCheck CheckPage(PracticePageValues& values);
// Only after CheckPage passed.
void StorePage(const PracticePageValues& values, practice::CPractice& practice);

}  // namespace selector
