// Filling and sorting the practice list. Text columns compare by the system locale without regard to
// case; number columns compare three-way so extreme values cannot overflow.

#include "selector/practice_list_model.h"

#include <QCollator>
#include <QCollatorSortKey>
#include <QString>
#include <algorithm>
#include <array>

#include "suite/qt/qt_text.h"

namespace selector {
namespace {

struct ColumnInfo {
    const char* title;
    int32_t width;
    bool number;
};

constexpr std::array<ColumnInfo, kColumns> kColumnInfo{{{"Practice", 30, false},
                                                        {"Connection Type", 15, false},
                                                        {"Practice Type", 13, false},
                                                        {"Hostname", 20, false},
                                                        {"Port", 8, true},
                                                        {"SorelData", 20, false},
                                                        {"SorelProgs", 20, false},
                                                        {"Term Type", 9, true},
                                                        {"Printer", 7, true},
                                                        {"WAN Mode", 11, true},
                                                        {"Billing Service #", 13, true}}};

int64_t NumberValue(const practice::CPractice& p, int column) {
    switch (column) {
        case 4:
            return p.m_PortNumber;
        case 7:
            return p.m_TerminalNumber;
        case 8:
            return p.m_PrinterNumber;
        case 9:
            return p.m_WanMode;
        case 10:
            return p.m_BillServID;
        default:
            return 0;
    }
}

}  // namespace

const char* ColumnTitle(int column) {
    return column >= 0 && column < kColumns ? kColumnInfo[column].title : "Unknown";
}

int32_t ColumnCreationWidth(int column) {
    return column >= 0 && column < kColumns ? kColumnInfo[column].width : 0;
}

bool IsNumberColumn(int column) {
    return column >= 0 && column < kColumns && kColumnInfo[column].number;
}

std::string ColumnText(const practice::CPractice& p, int column) {
    switch (column) {
        case 0:
            return p.m_Name;
        case 1:
            return p.GetConnTypeName();
        case 2:
            return p.GetPracticeTypeName();
        case 3:
            return p.m_Host;
        case 4:
            return std::to_string(p.m_PortNumber);
        case 5:
            return p.m_SorelData;
        case 6:
            return p.m_SorelProgs;
        case 7:
            return std::to_string(p.m_TerminalNumber);
        case 8:
            return std::to_string(p.m_PrinterNumber);
        case 9:
            return p.m_WanMode != 0 ? "On" : "Off";
        case 10:
            return p.m_BillServID != 0 ? std::to_string(p.m_BillServID) : std::string();
        default:
            return "Unknown";
    }
}

bool PracticeListModel::IsHidden(const practice::CPractice& p, bool showAll) {
    return !showAll && p.m_PracticeType == 2 && p.m_BillServID != 0;
}

void PracticeListModel::Refill() {
    m_sorted.clear();
    m_sorted.reserve(m_practices->size());
    // Every row goes in at the top, so equal keys end up last-stored first.
    for (size_t i = m_practices->size(); i-- > 0;)
        m_sorted.push_back(i);
    Sort();
}

void PracticeListModel::SetShowAll(bool showAll) {
    m_showAll = showAll;
    Filter();
}

// The sort is stable, so the visible part of the whole order is the order the visible rows alone would get.
void PracticeListModel::Filter() {
    const auto& practices = *m_practices;
    m_rows.clear();
    m_rows.reserve(m_sorted.size());
    for (size_t i : m_sorted)
        if (i < practices.size() && !IsHidden(practices[i], m_showAll))
            m_rows.push_back(i);
}

void PracticeListModel::ClickColumn(int column) {
    if (column == m_sortColumn) {
        m_sortDescending = !m_sortDescending;
    } else {
        m_sortColumn = column;
        m_sortDescending = false;
    }
    Sort();
}

void PracticeListModel::Sort() {
    const auto& practices = *m_practices;
    const int column = m_sortColumn;
    const bool descending = m_sortDescending;
    if (column < 0 || column >= kColumns) {
        Filter();  // an unknown column sorts everything as equal
        return;
    }
    if (IsNumberColumn(column)) {
        std::stable_sort(m_sorted.begin(), m_sorted.end(), [&](size_t a, size_t b) {
            int64_t x = NumberValue(practices[a], column), y = NumberValue(practices[b], column);
            return descending ? y < x : x < y;
        });
        Filter();
        return;
    }
    QCollator collator;  // the system locale
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::vector<QCollatorSortKey> keys;
    keys.reserve(m_sorted.size());
    std::vector<size_t> slot(practices.size());
    for (size_t r = 0; r < m_sorted.size(); ++r) {
        slot[m_sorted[r]] = r;
        keys.push_back(collator.sortKey(suite::FromCp1252(ColumnText(practices[m_sorted[r]], column))));
    }
    std::stable_sort(m_sorted.begin(), m_sorted.end(), [&](size_t a, size_t b) {
        int c = keys[slot[a]].compare(keys[slot[b]]);
        return descending ? c > 0 : c < 0;
    });
    Filter();
}

}  // namespace selector
