// The practice list as the selector shows it: the eleven columns' texts, the billing-service filter behind
// "Show All" and header-click sorting. Rows refer to practices by index; no widgets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "practice/practice.h"

namespace selector {

inline constexpr int kColumns = 11;

const char* ColumnTitle(int column);
// Width at creation, in average character widths.
int32_t ColumnCreationWidth(int column);
bool IsNumberColumn(int column);
std::string ColumnText(const practice::CPractice& practice, int column);

class PracticeListModel {
  public:
    // `practices` must outlive the model; call Refill after it changes.
    explicit PracticeListModel(const std::vector<practice::CPractice>* practices) : m_practices(practices) {}

    // Filters the kept order again; no re-sort, as hiding rows never changes the order of the others.
    void SetShowAll(bool showAll);
    bool ShowAll() const { return m_showAll; }

    // Takes the practices again, sorts them by the current column and filters.
    void Refill();
    // A header click: the sorted column flips direction, another one sorts ascending.
    void ClickColumn(int column);
    void Sort();

    int SortColumn() const { return m_sortColumn; }
    bool SortDescending() const { return m_sortDescending; }

    size_t RowCount() const { return m_rows.size(); }
    size_t PracticeIndex(size_t row) const { return m_rows.at(row); }
    const practice::CPractice& At(size_t row) const { return (*m_practices)[m_rows.at(row)]; }
    std::string Text(size_t row, int column) const { return ColumnText(At(row), column); }

    static bool IsHidden(const practice::CPractice& practice, bool showAll);

  private:
    void Filter();

    const std::vector<practice::CPractice>* m_practices;
    // Every practice, hidden ones too, in the sorted order; the rows are its visible part.
    std::vector<size_t> m_sorted;
    std::vector<size_t> m_rows;
    bool m_showAll = false;
    int m_sortColumn = 0;
    bool m_sortDescending = false;
};

}  // namespace selector
