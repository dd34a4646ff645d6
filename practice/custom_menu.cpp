// Custom menu items, their array and the menu model with its archive and XML forms.
#include "practice/custom_menu.h"

#include <stdexcept>

namespace practice {

namespace {
// Smallest archive form of an item: two empty strings and the int32 flag.
constexpr size_t kMinItemBytes = 6;
}  // namespace

void CCustomMenuItem::Serialize(ArchiveWriter& archive) const {
    archive.WriteString(m_Title);
    archive.WriteString(m_Action);
    archive.WriteI32(m_RunCommand);
}

void CCustomMenuItem::Serialize(ArchiveReader& archive) {
    m_Title = archive.ReadString();
    m_Action = archive.ReadString();
    m_RunCommand = archive.ReadI32();
}

void CCustomMenuItem::WriteXml(std::string& out) const {
    AppendTagLine(out, "<CustomMenuItem>");
    AppendValueLine(out, "Title", XmlEscape(m_Title));
    AppendValueLine(out, "Action", XmlEscape(m_Action));
    AppendValueLine(out, "RunCommand", m_RunCommand);
    AppendTagLine(out, "</CustomMenuItem>");
}

void CCustomMenuItemArray::Serialize(ArchiveWriter& archive) const {
    archive.WriteCount(m_items.size());
    for (const auto& item : m_items) {
        item.Serialize(archive);
    }
}

void CCustomMenuItemArray::Serialize(ArchiveReader& archive) {
    const size_t count = archive.ReadCount(kMinItemBytes);
    m_items.assign(count, CCustomMenuItem{});
    for (auto& item : m_items) {
        item.Serialize(archive);
    }
}

CCustomMenu::CCustomMenu(const CCustomMenu& other)
    : Serializable(), m_FirstId(other.m_FirstId), m_EndId(other.m_EndId), m_Items(other.m_Items) {
    Rebuild();
}

CCustomMenu& CCustomMenu::operator=(const CCustomMenu& other) {
    if (this != &other) {
        m_FirstId = other.m_FirstId;
        m_EndId = other.m_EndId;
        m_Items = other.m_Items;
        Rebuild();
    }
    return *this;
}

void CCustomMenu::AppendEntry(const CCustomMenuItem& item) {
    if (item.IsSeparator()) {
        m_entries.push_back({true, 0, {}});
    } else {
        m_entries.push_back({false, m_EndId, item.m_Title});
    }
    ++m_EndId;
}

void CCustomMenu::AddItem(std::string title, std::string action, int32_t runCommand) {
    Append(CCustomMenuItem(std::move(title), std::move(action), runCommand));
}

void CCustomMenu::Append(const CCustomMenuItem& item) {
    m_Items.Add(item);
    AppendEntry(item);
}

void CCustomMenu::Rebuild() {
    m_entries.clear();
    m_EndId = m_FirstId;
    for (const auto& item : m_Items) {
        AppendEntry(item);
    }
}

void CCustomMenu::SetItems(const CCustomMenuItemArray& items, int32_t firstId) {
    m_FirstId = firstId;
    m_Items = items;
    Rebuild();
}

CCustomMenuItem CCustomMenu::GetItem(int32_t commandId) const {
    const int64_t index = int64_t{commandId} - m_FirstId;
    if (index < 0 || index >= static_cast<int64_t>(m_Items.GetSize())) {
        throw std::invalid_argument("custom menu has no item with command id " + std::to_string(commandId));
    }
    return m_Items[static_cast<size_t>(index)];
}

void CCustomMenu::Serialize(ArchiveWriter& archive) const {
    m_Items.Serialize(archive);
}

void CCustomMenu::Serialize(ArchiveReader& archive) {
    m_Items.Serialize(archive);
    Rebuild();
}

void CCustomMenu::WriteXml(std::string& out) const {
    AppendTagLine(out, "<CustomMenu>");
    for (const auto& item : m_Items) {
        item.WriteXml(out);
    }
    AppendTagLine(out, "</CustomMenu>");
}

bool CCustomMenu::ReadXml(LineReader& reader) {
    std::string line;
    while (reader.ReadLine(line)) {
        if (line.find("</CustomMenu>") != std::string::npos) {
            return true;
        }
        if (line.find("<CustomMenuItem>") == std::string::npos) {
            continue;
        }
        CCustomMenuItem item;
        bool closed = false;
        while (reader.ReadLine(line)) {
            if (line.find("</CustomMenuItem>") != std::string::npos) {
                closed = true;
                break;
            }
            const XmlLine parsed = ParseXmlLine(line);
            if (parsed.name == "Title") {
                item.m_Title = XmlUnescape(parsed.value);
            } else if (parsed.name == "Action") {
                item.m_Action = XmlUnescape(parsed.value);
            } else if (parsed.name == "RunCommand") {
                item.m_RunCommand = ParseDecimal(parsed.value);
            }
        }
        if (!closed) {
            return false;
        }
        // Separators have no action but hold their place, so the ids after them stay where they were.
        if ((!item.m_Title.empty() && !item.m_Action.empty()) || item.IsSeparator()) {
            Append(item);
        }
    }
    return false;
}

}  // namespace practice
