// The working copy behind the environment page: entries are checked before they reach the host's login
// line, the list shows them last first and they are stored old then new.
#pragma once

#include <string>
#include <string_view>

#include "practice/practice.h"

namespace selector {

// Empty when acceptable, else the message for the user.
std::string CheckEnvironmentName(std::string_view name);
std::string CheckEnvironmentValue(std::string_view value);

class EnvironEditor {
  public:
    explicit EnvironEditor(const practice::CEnvironmentArray& entries) : m_entries(entries) {}

    // Row 0 is the last stored entry.
    size_t RowCount() const { return m_entries.GetSize(); }
    const practice::CEnvironment& Row(size_t row) const { return m_entries[StoredIndex(row)]; }

    // "Set": an empty name is ignored (true, nothing changes); a name found without regard to case is
    // replaced in place, else the entry is added. A refused entry changes nothing and gives the message.
    bool Set(std::string_view name, std::string_view value, std::string& error);
    // Returns the row that now shows `name`, or -1.
    int FindRow(std::string_view name) const;
    void Delete(size_t row);

    const practice::CEnvironmentArray& Entries() const { return m_entries; }

  private:
    size_t StoredIndex(size_t row) const { return m_entries.GetSize() - 1 - row; }
    practice::CEnvironmentArray m_entries;
};

}  // namespace selector
