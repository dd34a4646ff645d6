// Practice record, environment entries and their archive and XML forms.
#include "practice/practice.h"

namespace practice {

namespace {
// Smallest archive form of an environment entry: two empty strings.
constexpr size_t kMinEnvironmentBytes = 2;
}  // namespace

std::string CEnvironment::GetEntry() const {
    if (m_Variable.empty()) {
        return {};
    }
    return m_Variable + "=" + m_Value;
}

void CEnvironment::Serialize(ArchiveWriter& archive) const {
    archive.WriteString(m_Variable);
    archive.WriteString(m_Value);
}

void CEnvironment::Serialize(ArchiveReader& archive) {
    m_Variable = archive.ReadString();
    m_Value = archive.ReadString();
}

std::string CEnvironmentArray::GetEnvironmentString() const {
    std::string text;
    for (size_t i = 0; i < m_entries.size(); ++i) {
        if (i > 0) {
            text += ';';
        }
        text += m_entries[i].GetEntry();
    }
    return text;
}

void CEnvironmentArray::Serialize(ArchiveWriter& archive) const {
    archive.WriteCount(m_entries.size());
    for (const auto& entry : m_entries) {
        entry.Serialize(archive);
    }
}

void CEnvironmentArray::Serialize(ArchiveReader& archive) {
    const size_t count = archive.ReadCount(kMinEnvironmentBytes);
    m_entries.assign(count, CEnvironment{});
    for (auto& entry : m_entries) {
        entry.Serialize(archive);
    }
}

CPractice::CPractice() {
    s_nSchemaVersion = 0;
}

CPractice::CPractice(int32_t schemaVersion) {
    s_nSchemaVersion = schemaVersion;
}

CPractice::CPractice(const CPractice& other)
    : Serializable(),
      m_Name(other.m_Name),
      m_Host(other.m_Host),
      m_SorelData(other.m_SorelData),
      m_SorelProgs(other.m_SorelProgs),
      m_PortNumber(other.m_PortNumber),
      m_PrinterNumber(other.m_PrinterNumber),
      m_TerminalNumber(other.m_TerminalNumber),
      m_ConnType(other.m_ConnType),
      m_PracticeType(other.m_PracticeType),
      m_BillServID(other.m_BillServID),
      m_WanMode(other.m_WanMode),
      m_Environment(other.m_Environment) {}

CPractice& CPractice::operator=(const CPractice& other) {
    if (this != &other) {
        m_Name = other.m_Name;
        m_Host = other.m_Host;
        m_SorelData = other.m_SorelData;
        m_SorelProgs = other.m_SorelProgs;
        m_PortNumber = other.m_PortNumber;
        m_PrinterNumber = other.m_PrinterNumber;
        m_TerminalNumber = other.m_TerminalNumber;
        m_ConnType = other.m_ConnType;
        m_PracticeType = other.m_PracticeType;
        m_BillServID = other.m_BillServID;
        m_WanMode = other.m_WanMode;
        m_Environment = other.m_Environment;
    }
    return *this;
}

CPractice::CPractice(CPractice&& other) noexcept
    : Serializable(),
      m_Name(std::move(other.m_Name)),
      m_Host(std::move(other.m_Host)),
      m_SorelData(std::move(other.m_SorelData)),
      m_SorelProgs(std::move(other.m_SorelProgs)),
      m_PortNumber(other.m_PortNumber),
      m_PrinterNumber(other.m_PrinterNumber),
      m_TerminalNumber(other.m_TerminalNumber),
      m_ConnType(other.m_ConnType),
      m_PracticeType(other.m_PracticeType),
      m_BillServID(other.m_BillServID),
      m_WanMode(other.m_WanMode),
      m_Environment(std::move(other.m_Environment)) {}

CPractice& CPractice::operator=(CPractice&& other) noexcept {
    if (this != &other) {
        m_Name = std::move(other.m_Name);
        m_Host = std::move(other.m_Host);
        m_SorelData = std::move(other.m_SorelData);
        m_SorelProgs = std::move(other.m_SorelProgs);
        m_PortNumber = other.m_PortNumber;
        m_PrinterNumber = other.m_PrinterNumber;
        m_TerminalNumber = other.m_TerminalNumber;
        m_ConnType = other.m_ConnType;
        m_PracticeType = other.m_PracticeType;
        m_BillServID = other.m_BillServID;
        m_WanMode = other.m_WanMode;
        m_Environment = std::move(other.m_Environment);
    }
    return *this;
}

const char* CPractice::GetConnTypeName() const {
    return m_ConnType == 0 ? "Local" : "Remote";
}

const char* CPractice::GetPracticeTypeName() const {
    switch (m_PracticeType) {
        case 0:
            return "Normal";
        case 4:
            return "MSO";
        default:
            return "Billing Service";
    }
}

void CPractice::Serialize(ArchiveWriter& archive) const {
    archive.WriteString(m_Name);
    archive.WriteString(m_Host);
    archive.WriteString(m_SorelData);
    archive.WriteString(m_SorelProgs);
    archive.WriteI32(m_PortNumber);
    archive.WriteI32(m_PrinterNumber);
    archive.WriteI32(m_TerminalNumber);
    archive.WriteI32(m_ConnType);
    archive.WriteI32(m_PracticeType);
    archive.WriteI32(m_WanMode);
    archive.WriteI32(m_BillServID);
    m_Environment.Serialize(archive);
}

void CPractice::Serialize(ArchiveReader& archive) {
    m_Name = archive.ReadString();
    m_Host = archive.ReadString();
    m_SorelData = archive.ReadString();
    m_SorelProgs = archive.ReadString();
    m_PortNumber = archive.ReadI32();
    m_PrinterNumber = archive.ReadI32();
    m_TerminalNumber = archive.ReadI32();
    m_ConnType = archive.ReadI32();
    m_PracticeType = archive.ReadI32();
    m_WanMode = archive.ReadI32();
    if (s_nSchemaVersion >= 4) {
        m_BillServID = archive.ReadI32();
    }
    m_Environment.Serialize(archive);
}

void CPractice::WriteXml(std::string& out) const {
    AppendTagLine(out, "<Practice>");
    AppendValueLine(out, "Name", XmlEscape(m_Name));
    AppendValueLine(out, "Host", XmlEscape(m_Host));
    AppendValueLine(out, "SorelData", XmlEscape(m_SorelData));
    AppendValueLine(out, "SorelProgs", XmlEscape(m_SorelProgs));
    AppendValueLine(out, "PortNumber", m_PortNumber);
    AppendValueLine(out, "PrinterNumber", m_PrinterNumber);
    AppendValueLine(out, "TerminalNumber", m_TerminalNumber);
    AppendValueLine(out, "ConnType", m_ConnType);
    AppendValueLine(out, "PracticeType", m_PracticeType);
    AppendValueLine(out, "WanMode", m_WanMode);
    AppendValueLine(out, "BillServID", m_BillServID);
    for (const auto& entry : m_Environment) {
        AppendTagLine(out, "<Enviroment>");
        AppendValueLine(out, "EnviromentVariable", XmlEscape(entry.m_Variable));
        AppendValueLine(out, "EnviromentValue", XmlEscape(entry.m_Value));
        AppendTagLine(out, "</Enviroment>");
    }
    AppendTagLine(out, "</Practice>");
}

bool CPractice::ReadXml(LineReader& reader) {
    if (!reader.SkipTo("<Practice>")) {
        return false;
    }
    std::string_view line;
    while (reader.ReadLine(line)) {
        if (line.find("</Practice>") != std::string_view::npos) {
            return true;
        }
        const XmlLineView parsed = ParseXmlLineView(line);
        const std::string_view name = parsed.name;
        if (name == "Name") {
            m_Name = XmlUnescape(parsed.value);
        } else if (name == "Host") {
            m_Host = XmlUnescape(parsed.value);
        } else if (name == "SorelData") {
            m_SorelData = XmlUnescape(parsed.value);
        } else if (name == "SorelProgs") {
            m_SorelProgs = XmlUnescape(parsed.value);
        } else if (name == "PortNumber") {
            m_PortNumber = ParseDecimal(parsed.value);
        } else if (name == "PrinterNumber") {
            m_PrinterNumber = ParseDecimal(parsed.value);
        } else if (name == "TerminalNumber") {
            m_TerminalNumber = ParseDecimal(parsed.value);
        } else if (name == "ConnType") {
            m_ConnType = ParseDecimal(parsed.value);
        } else if (name == "PracticeType") {
            m_PracticeType = ParseDecimal(parsed.value);
        } else if (name == "WanMode") {
            m_WanMode = ParseDecimal(parsed.value);
        } else if (name == "BillServID") {
            m_BillServID = ParseDecimal(parsed.value);
        } else if (name == "Enviroment") {
            CEnvironment entry;
            bool closed = false;
            while (reader.ReadLine(line)) {
                if (line == "</Enviroment>") {
                    closed = true;
                    break;
                }
                const XmlLineView inner = ParseXmlLineView(line);
                if (inner.name == "EnviromentVariable") {
                    entry.m_Variable = XmlUnescape(inner.value);
                } else if (inner.name == "EnviromentValue") {
                    entry.m_Value = XmlUnescape(inner.value);
                }
            }
            if (!closed) {
                return false;
            }
            if (!entry.m_Value.empty() || !entry.m_Variable.empty()) {
                m_Environment.Add(std::move(entry));
            }
        }
    }
    return false;
}

bool CPractice::SameFields(const CPractice& other) const {
    return m_Name == other.m_Name && m_Host == other.m_Host && m_SorelData == other.m_SorelData &&
           m_SorelProgs == other.m_SorelProgs && m_PortNumber == other.m_PortNumber &&
           m_PrinterNumber == other.m_PrinterNumber && m_TerminalNumber == other.m_TerminalNumber &&
           m_ConnType == other.m_ConnType && m_PracticeType == other.m_PracticeType &&
           m_BillServID == other.m_BillServID && m_WanMode == other.m_WanMode &&
           m_Environment == other.m_Environment;
}

CPracticeConn& CPracticeConn::operator=(const CPracticeConn& other) {
    if (this != &other) {
        CPractice::operator=(other);
        m_Command = other.m_Command;
    }
    return *this;
}

void CPracticeConn::Serialize(ArchiveWriter& archive) const {
    CPractice::Serialize(archive);
    archive.WriteI32(m_RunCommand);
    archive.WriteString(m_Command);
}

void CPracticeConn::Serialize(ArchiveReader& archive) {
    CPractice::Serialize(archive);
    m_RunCommand = archive.ReadI32();
    m_Command = archive.ReadString();
}

}  // namespace practice
