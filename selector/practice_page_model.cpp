// The practice page's checks and the round trip between a practice and the page.

#include "selector/practice_page_model.h"

#include <charconv>
#include <limits>

namespace selector {
namespace {

void Trim(std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        text.clear();
        return;
    }
    text = text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool ParseInt(const std::string& text, int64_t low, int64_t high, int32_t& out) {
    int64_t value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || text.empty() || value < low || value > high)
        return false;
    out = static_cast<int32_t>(value);
    return true;
}

constexpr int64_t kIntMin = std::numeric_limits<int32_t>::min();
constexpr int64_t kIntMax = std::numeric_limits<int32_t>::max();

}  // namespace

PracticePageValues LoadPage(const practice::CPractice& p) {
    PracticePageValues v;
    v.connType = p.m_ConnType == 0 ? 0 : 1;
    v.name = p.m_Name;
    v.host = p.m_Host;
    v.sorelData = p.m_SorelData;
    v.sorelProgs = p.m_SorelProgs;
    v.port = std::to_string(p.m_PortNumber);
    v.printer = std::to_string(p.m_PrinterNumber);
    v.terminal = std::to_string(p.m_TerminalNumber);
    v.billServ = std::to_string(p.m_BillServID);
    v.wanMode = p.m_WanMode != 0;
    v.practiceType = p.m_PracticeType;
    return v;
}

PageCheck CheckPage(PracticePageValues& v) {
    for (std::string* text :
         {&v.name, &v.host, &v.sorelData, &v.sorelProgs, &v.port, &v.printer, &v.terminal, &v.billServ})
        Trim(*text);
    const struct {
        PageField field;
        const std::string* text;
        const char* label;
        bool checked;
    } blanks[] = {{PageField::Host, &v.host, "Hostname", v.connType != 0},
                  {PageField::Name, &v.name, "Practice Name", true},
                  {PageField::SorelData, &v.sorelData, "SorelData", true},
                  {PageField::SorelProgs, &v.sorelProgs, "SorelProgs", true}};
    for (const auto& b : blanks)
        if (b.checked && b.text->empty())
            return {b.field, std::string("\"") + b.label + "\" field cannot be blank.", "Invalid field"};
    int32_t ignored = 0;
    const struct {
        PageField field;
        const std::string* text;
        const char* label;
        int64_t low, high;
        bool checked;
    } numbers[] = {{PageField::Port, &v.port, "Port", 1, 65535, v.connType != 0},
                   {PageField::Printer, &v.printer, "Printer", kIntMin, kIntMax, true},
                   {PageField::Terminal, &v.terminal, "Terminal", kIntMin, kIntMax, true},
                   {PageField::BillServ, &v.billServ, "#", kIntMin, kIntMax, v.practiceType == 2}};
    for (const auto& n : numbers)
        if (n.checked && !ParseInt(*n.text, n.low, n.high, ignored))
            return {n.field,
                    std::string("\"") + n.label + "\" must be a whole number from " + std::to_string(n.low) +
                        " to " + std::to_string(n.high) + ".",
                    "Invalid field"};
    return {};
}

void StorePage(const PracticePageValues& v, practice::CPractice& p) {
    p.m_ConnType = v.connType;
    p.m_Name = v.name;
    p.m_Host = v.host;
    p.m_SorelData = v.sorelData;
    p.m_SorelProgs = v.sorelProgs;
    // A disabled port keeps what it held; a field that does not parse keeps the practice's value.
    int32_t value = 0;
    if (ParseInt(v.port, 1, 65535, value))
        p.m_PortNumber = value;
    if (ParseInt(v.printer, kIntMin, kIntMax, value))
        p.m_PrinterNumber = value;
    if (ParseInt(v.terminal, kIntMin, kIntMax, value))
        p.m_TerminalNumber = value;
    p.m_WanMode = v.wanMode ? 1 : 0;
    p.m_PracticeType = v.practiceType;
    if (v.practiceType == 2) {
        if (ParseInt(v.billServ, kIntMin, kIntMax, value))
            p.m_BillServID = value;
    } else if (v.practiceType == 0 || v.practiceType == 4) {
        p.m_BillServID = 0;
    }  // an unknown stored type keeps its billing number
}

}  // namespace selector
