// The selector's view settings kept in the practice list file: list style, the order and widths of its 11
// columns, and its custom menu.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "practice/custom_menu.h"

namespace practice {

inline constexpr size_t kColumnCount = 11;

class CPracSelInfo {
  public:
    CPracSelInfo();
    virtual ~CPracSelInfo() = default;
    CPracSelInfo(const CPracSelInfo&) = default;
    CPracSelInfo& operator=(const CPracSelInfo&) = default;

    int32_t GetStyle() const { return m_PracSelStyle; }
    void SetStyle(int32_t style) { m_PracSelStyle = style; }
    std::array<int32_t, kColumnCount>& GetColumnOrder() { return m_ColumnOrder; }
    const std::array<int32_t, kColumnCount>& GetColumnOrder() const { return m_ColumnOrder; }
    std::array<int32_t, kColumnCount>& GetColumnWidths() { return m_ColumnWidth; }
    const std::array<int32_t, kColumnCount>& GetColumnWidths() const { return m_ColumnWidth; }
    CCustomMenu& GetCustomMenu() { return m_CustomMenu; }
    const CCustomMenu& GetCustomMenu() const { return m_CustomMenu; }

    void WriteColumnPosition(std::string& out, size_t i) const;
    void WriteColumnWidth(std::string& out, size_t i) const;
    // Each reads the next column block into entry i; false when the block is missing or ends early.
    bool ReadColumnPosition(LineReader& reader, size_t i);
    bool ReadColumnWidth(LineReader& reader, size_t i);
    bool ReadCustomMenu(LineReader& reader) { return m_CustomMenu.ReadXml(reader); }

    // The archive forms of the legacy lists: style, then `columns` positions and `columns` widths.
    void SerializeColumns(ArchiveWriter& archive, size_t columns) const;
    void SerializeColumns(ArchiveReader& archive, size_t columns);

  private:
    bool ReadColumn(LineReader& reader, std::string_view valueName, std::string_view blockEnd,
                    int32_t& entry);

    int32_t m_PracSelStyle = 0;
    std::array<int32_t, kColumnCount> m_ColumnOrder{};
    std::array<int32_t, kColumnCount> m_ColumnWidth{};
    CCustomMenu m_CustomMenu;
};

}  // namespace practice
