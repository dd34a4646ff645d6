// Selector view settings and their XML column blocks.
#include "practice/prac_sel_info.h"

namespace practice {

CPracSelInfo::CPracSelInfo() {
    for (size_t i = 0; i < kColumnCount; ++i) {
        m_ColumnOrder[i] = static_cast<int32_t>(i);
    }
}

void CPracSelInfo::WriteColumnPosition(std::string& out, size_t i) const {
    AppendTagLine(out, "<Column>");
    AppendValueLine(out, "ColumnNum", static_cast<int32_t>(i));
    AppendValueLine(out, "Position", m_ColumnOrder.at(i));
    AppendTagLine(out, "</Column>");
}

void CPracSelInfo::WriteColumnWidth(std::string& out, size_t i) const {
    AppendTagLine(out, "<Column>");
    AppendValueLine(out, "ColumnNum", static_cast<int32_t>(i));
    AppendValueLine(out, "Width", m_ColumnWidth.at(i));
    AppendTagLine(out, "</Column>");
}

bool CPracSelInfo::ReadColumn(LineReader& reader, std::string_view valueName, std::string_view blockEnd,
                              int32_t& entry) {
    // A block that closes before all 11 columns is damaged; never borrow columns of the next block.
    if (!reader.SkipTo("<Column>", blockEnd)) {
        return false;
    }
    std::string line;
    while (reader.ReadLine(line)) {
        if (line.find("</Column>") != std::string::npos) {
            return true;
        }
        const XmlLine parsed = ParseXmlLine(line);
        if (parsed.name == valueName) {
            entry = ParseDecimal(parsed.value);
        }
    }
    return false;
}

bool CPracSelInfo::ReadColumnPosition(LineReader& reader, size_t i) {
    return ReadColumn(reader, "Position", "</HeaderOrder>", m_ColumnOrder.at(i));
}

bool CPracSelInfo::ReadColumnWidth(LineReader& reader, size_t i) {
    return ReadColumn(reader, "Width", "</HeaderWidth>", m_ColumnWidth.at(i));
}

void CPracSelInfo::SerializeColumns(ArchiveWriter& archive, size_t columns) const {
    archive.WriteI32(m_PracSelStyle);
    for (size_t i = 0; i < columns; ++i) {
        archive.WriteI32(m_ColumnOrder.at(i));
    }
    for (size_t i = 0; i < columns; ++i) {
        archive.WriteI32(m_ColumnWidth.at(i));
    }
}

void CPracSelInfo::SerializeColumns(ArchiveReader& archive, size_t columns) {
    m_PracSelStyle = archive.ReadI32();
    for (size_t i = 0; i < columns; ++i) {
        m_ColumnOrder.at(i) = archive.ReadI32();
    }
    for (size_t i = 0; i < columns; ++i) {
        m_ColumnWidth.at(i) = archive.ReadI32();
    }
}

}  // namespace practice
