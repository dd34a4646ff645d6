// The custom menu model shared by the selector and the terminal control: items of title, action and run
// flag, and a menu that gives them a contiguous range of command ids. The entries list is what a UI adapter
// turns into a real popup menu.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "practice/practice.h"

namespace practice {

inline constexpr const char* kSeparatorTitle = "-SEPARATOR-";
inline constexpr int32_t kCustomMenuFirstId = 50000;

class CCustomMenuItem : public Serializable {
  public:
    CCustomMenuItem() = default;
    CCustomMenuItem(std::string title, std::string action, int32_t runCommand)
        : m_Title(std::move(title)), m_Action(std::move(action)), m_RunCommand(runCommand) {}

    bool IsSeparator() const { return m_Title == kSeparatorTitle; }

    void Serialize(ArchiveWriter& archive) const override;
    void Serialize(ArchiveReader& archive) override;
    void WriteXml(std::string& out) const;
    bool operator==(const CCustomMenuItem& other) const {
        return m_Title == other.m_Title && m_Action == other.m_Action && m_RunCommand == other.m_RunCommand;
    }

    std::string m_Title;
    std::string m_Action;
    int32_t m_RunCommand = 0;
};

class CCustomMenuItemArray : public Serializable {
  public:
    size_t GetSize() const { return m_items.size(); }
    void SetSize(size_t size) { m_items.resize(size); }
    void Add(CCustomMenuItem item) { m_items.push_back(std::move(item)); }
    void RemoveAll() { m_items.clear(); }
    CCustomMenuItem& operator[](size_t index) { return m_items.at(index); }
    const CCustomMenuItem& operator[](size_t index) const { return m_items.at(index); }
    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

    void Serialize(ArchiveWriter& archive) const override;
    void Serialize(ArchiveReader& archive) override;
    bool operator==(const CCustomMenuItemArray& other) const { return m_items == other.m_items; }

  private:
    std::vector<CCustomMenuItem> m_items;
};

// One entry of the popup: a separator carries no id.
struct CustomMenuEntry {
    bool separator = false;
    int32_t id = 0;
    std::string title;
    bool operator==(const CustomMenuEntry&) const = default;
};

class CCustomMenu : public Serializable {
  public:
    CCustomMenu() = default;
    CCustomMenu(const CCustomMenu& other);
    CCustomMenu& operator=(const CCustomMenu& other);

    void AddItem(std::string title, std::string action, int32_t runCommand);
    void Append(const CCustomMenuItem& item);
    // Replaces the items and rebuilds the entries with ids from `firstId`.
    void SetItems(const CCustomMenuItemArray& items, int32_t firstId);
    // The item of a command id; std::invalid_argument outside the menu's range.
    CCustomMenuItem GetItem(int32_t commandId) const;
    const CCustomMenuItemArray& GetItems() const { return m_Items; }
    size_t GetItemCount() const { return m_Items.GetSize(); }
    int32_t GetFirstId() const { return m_FirstId; }
    int32_t GetEndId() const { return m_EndId; }
    const std::vector<CustomMenuEntry>& GetEntries() const { return m_entries; }

    // The archive form holds the items only; loading rebuilds the entries from FirstId.
    void Serialize(ArchiveWriter& archive) const override;
    void Serialize(ArchiveReader& archive) override;
    void WriteXml(std::string& out) const;
    // Reads items up to "</CustomMenu>" (the reader is past "<CustomMenu>"); false when the block ends early.
    bool ReadXml(LineReader& reader);

  private:
    void Rebuild();
    void AppendEntry(const CCustomMenuItem& item);

    int32_t m_FirstId = kCustomMenuFirstId;
    int32_t m_EndId = kCustomMenuFirstId;
    CCustomMenuItemArray m_Items;
    std::vector<CustomMenuEntry> m_entries;
};

}  // namespace practice
