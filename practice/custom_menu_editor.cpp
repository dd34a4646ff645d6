#include "practice/custom_menu_editor.h"

#include <algorithm>
#include <utility>

namespace practice {

void CCustomMenuEditor::SetItems(const CCustomMenuItemArray& items) {
    m_items = items;
    Select(kNone);
}

void CCustomMenuEditor::Select(int row) {
    if (row < 0 || row >= static_cast<int>(Count())) {
        m_selection = kNone;
        m_state = kNothingSelected;
        return;
    }
    m_selection = row;
    m_state = m_items[static_cast<size_t>(row)].IsSeparator() ? kSeparatorSelected : kItemSelected;
}

std::string CCustomMenuEditor::Title() const {
    return m_selection == kNone ? std::string() : m_items[static_cast<size_t>(m_selection)].m_Title;
}

std::string CCustomMenuEditor::Action() const {
    return m_selection == kNone ? std::string() : m_items[static_cast<size_t>(m_selection)].m_Action;
}

bool CCustomMenuEditor::ChainChecked() const {
    return m_selection != kNone && m_items[static_cast<size_t>(m_selection)].m_RunCommand == 0;
}

bool CCustomMenuEditor::Add() {
    if (m_rules.maxItems != 0 && Count() >= m_rules.maxItems) {
        return false;
    }
    m_items.Add(CCustomMenuItem("New Menu Item", "New Action", 0));
    Select(static_cast<int>(Count()) - 1);
    return true;
}

void CCustomMenuEditor::AddSeparator() {
    m_items.Add(CCustomMenuItem(kSeparatorTitle, "", 0));
    Select(static_cast<int>(Count()) - 1);
}

void CCustomMenuEditor::Remove() {
    if (m_selection == kNone) {
        return;
    }
    const int row = m_selection;
    CCustomMenuItemArray kept;
    for (size_t i = 0; i < m_items.GetSize(); ++i) {
        if (i != static_cast<size_t>(row)) {
            kept.Add(m_items[i]);
        }
    }
    m_items = std::move(kept);
    Select(std::min(row, static_cast<int>(Count()) - 1));
}

void CCustomMenuEditor::Move(int step) {
    const int other = m_selection + step;
    if (m_selection == kNone || other < 0 || other >= static_cast<int>(Count())) {
        return;
    }
    std::swap(m_items[static_cast<size_t>(m_selection)], m_items[static_cast<size_t>(other)]);
    Select(other);
}

std::string CCustomMenuEditor::Cut(const std::string& text) const {
    return m_rules.maxFieldLength == 0 ? text : text.substr(0, m_rules.maxFieldLength);
}

void CCustomMenuEditor::SetTitle(const std::string& title) {
    if (m_state == kItemSelected) {
        // The state stays until the selection changes, so typing never disables the field under the cursor.
        m_items[static_cast<size_t>(m_selection)].m_Title = Cut(title);
    }
}

void CCustomMenuEditor::SetAction(const std::string& action) {
    if (m_state == kItemSelected) {
        m_items[static_cast<size_t>(m_selection)].m_Action = Cut(action);
    }
}

void CCustomMenuEditor::SetChainChecked(bool checked) {
    if (m_state == kItemSelected) {
        m_items[static_cast<size_t>(m_selection)].m_RunCommand = checked ? 0 : 1;
    }
}

}  // namespace practice
