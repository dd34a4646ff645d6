// Environment entries of a remote practice. They are joined with ";" into the host's login line, so
// separators and control characters would split or corrupt it.

#include "selector/environ_editor.h"

#include <algorithm>
#include <cctype>

namespace selector {
namespace {

bool HasControl(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7f;
    });
}

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

std::string CheckEnvironmentName(std::string_view name) {
    if (name.empty())
        return "The variable needs a name.";
    if (name.find_first_of("=; ") != std::string_view::npos || HasControl(name))
        return "A variable name may not contain \"=\", \";\", blanks or control characters.";
    return {};
}

std::string CheckEnvironmentValue(std::string_view value) {
    if (value.find(';') != std::string_view::npos || HasControl(value))
        return "A variable value may not contain \";\" or control characters.";
    return {};
}

int EnvironEditor::FindRow(std::string_view name) const {
    for (size_t row = 0; row < RowCount(); ++row)
        if (SameText(Row(row).m_Variable, name))
            return static_cast<int>(row);
    return -1;
}

bool EnvironEditor::Set(std::string_view name, std::string_view value, std::string& error) {
    error.clear();
    if (name.empty())
        return true;
    error = CheckEnvironmentName(name);
    if (error.empty())
        error = CheckEnvironmentValue(value);
    if (!error.empty())
        return false;
    int row = FindRow(name);
    if (row >= 0) {
        auto& entry = m_entries[StoredIndex(static_cast<size_t>(row))];
        entry.m_Variable = std::string(name);
        entry.m_Value = std::string(value);
    } else {
        m_entries.Add(practice::CEnvironment(std::string(name), std::string(value)));
    }
    return true;
}

void EnvironEditor::Delete(size_t row) {
    if (row >= RowCount())
        return;
    practice::CEnvironmentArray kept;
    const size_t drop = StoredIndex(row);
    for (size_t i = 0; i < m_entries.GetSize(); ++i)
        if (i != drop)
            kept.Add(m_entries[i]);
    m_entries = kept;
}

}  // namespace selector
