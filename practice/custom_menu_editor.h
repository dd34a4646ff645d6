// The custom menu editors' working copy: the items, the selected line and the editing state, with the list
// operations both editors share. Each editor brings its own rules (an item limit, a field cut); the dialogs
// only mirror what this holds.
#pragma once

#include <cstddef>
#include <string>

#include "practice/custom_menu.h"

namespace practice {

struct CustomMenuEditRules {
    // 0: no limit. Separators count as entries, but adding one is never refused.
    size_t maxItems = 0;
    // 0: no cut. Titles and actions are cut to this many bytes.
    size_t maxFieldLength = 0;
};

class CCustomMenuEditor {
  public:
    enum State { kNothingSelected = 0, kItemSelected = 1, kSeparatorSelected = 2 };
    static constexpr int kNone = -1;

    explicit CCustomMenuEditor(CustomMenuEditRules rules = {}) : m_rules(rules) {}

    // Replaces the working copy; nothing is then selected.
    void SetItems(const CCustomMenuItemArray& items);
    const CCustomMenuItemArray& Items() const { return m_items; }
    size_t Count() const { return m_items.GetSize(); }

    // Any row outside the list selects nothing.
    void Select(int row);
    int Selection() const { return m_selection; }
    State GetState() const { return m_state; }

    // What the two edits and the check box show: the selected line's values, empty with nothing selected.
    std::string Title() const;
    std::string Action() const;
    // Checked when the item runs its command in place of the host application (RunCommand 0).
    bool ChainChecked() const;

    bool EditsEnabled() const { return m_state == kItemSelected; }
    bool CanRemove() const { return m_state != kNothingSelected; }
    bool CanMoveUp() const { return m_state != kNothingSelected && m_selection > 0; }
    bool CanMoveDown() const {
        return m_state != kNothingSelected && m_selection + 1 < static_cast<int>(Count());
    }

    // Appends "New Menu Item" and selects it; false, changing nothing, when the rules' limit is reached.
    bool Add();
    void AddSeparator();
    // Selects the same row afterwards, or the new last one.
    void Remove();
    void MoveUp() { Move(-1); }
    void MoveDown() { Move(1); }

    // Edits of the selected command item; ignored unless one is selected.
    void SetTitle(const std::string& title);
    void SetAction(const std::string& action);
    void SetChainChecked(bool checked);

  private:
    void Move(int step);
    std::string Cut(const std::string& text) const;

    CustomMenuEditRules m_rules;
    CCustomMenuItemArray m_items;
    int m_selection = kNone;
    State m_state = kNothingSelected;
};

}  // namespace practice
