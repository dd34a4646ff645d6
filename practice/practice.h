// The practice record: one host data set's connection profile with its environment variables, and the
// practice-with-command that the selector hands to the terminal control. The archive forms are binding:
// legacy practice lists and the hand-over block consist of them.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "practice/archive.h"
#include "practice/xml_lines.h"

namespace practice {

// What every archived object of the practice model offers.
class Serializable {
  public:
    virtual ~Serializable() = default;
    virtual void Serialize(ArchiveWriter& archive) const = 0;
    virtual void Serialize(ArchiveReader& archive) = 0;
};

class CEnvironment : public Serializable {
  public:
    CEnvironment() = default;
    CEnvironment(std::string variable, std::string value)
        : m_Variable(std::move(variable)), m_Value(std::move(value)) {}

    // "Variable=Value", or empty when the variable has no name.
    std::string GetEntry() const;

    void Serialize(ArchiveWriter& archive) const override;
    void Serialize(ArchiveReader& archive) override;
    bool operator==(const CEnvironment& other) const {
        return m_Variable == other.m_Variable && m_Value == other.m_Value;
    }

    std::string m_Variable;
    std::string m_Value;
};

class CEnvironmentArray : public Serializable {
  public:
    size_t GetSize() const { return m_entries.size(); }
    void SetSize(size_t size) { m_entries.resize(size); }
    void Add(CEnvironment entry) { m_entries.push_back(std::move(entry)); }
    void RemoveAll() { m_entries.clear(); }
    CEnvironment& operator[](size_t index) { return m_entries.at(index); }
    const CEnvironment& operator[](size_t index) const { return m_entries.at(index); }
    auto begin() const { return m_entries.begin(); }
    auto end() const { return m_entries.end(); }

    // The entries' texts joined by ";", the environment text of the host connection.
    std::string GetEnvironmentString() const;

    void Serialize(ArchiveWriter& archive) const override;
    void Serialize(ArchiveReader& archive) override;
    bool operator==(const CEnvironmentArray& other) const { return m_entries == other.m_entries; }

  private:
    std::vector<CEnvironment> m_entries;
};

class CPractice : public Serializable {
  public:
    // Decides whether loading reads BillServID (4 and above). Every constructor but the copy constructor
    // assigns it, so a reader sets it after constructing its objects and before loading.
    static inline std::atomic<int32_t> s_nSchemaVersion{0};

    CPractice();
    explicit CPractice(int32_t schemaVersion);
    CPractice(const CPractice& other);
    CPractice& operator=(const CPractice& other);
    // Moves leave the schema version alone, as copies do.
    CPractice(CPractice&& other) noexcept;
    CPractice& operator=(CPractice&& other) noexcept;
    ~CPractice() override = default;

    const char* GetConnTypeName() const;
    const char* GetPracticeTypeName() const;

    void Serialize(ArchiveWriter& archive) const override;
    void Serialize(ArchiveReader& archive) override;

    // One practice element of the practice list file.
    void WriteXml(std::string& out) const;
    // Reads up to and including "</Practice>"; false when the element is missing or ends early.
    bool ReadXml(LineReader& reader);

    // Every field, for tests and comparisons.
    bool SameFields(const CPractice& other) const;

    std::string m_Name;
    std::string m_Host;
    std::string m_SorelData;
    std::string m_SorelProgs;
    int32_t m_PortNumber = 8002;
    int32_t m_PrinterNumber = 1;
    int32_t m_TerminalNumber = 1;
    int32_t m_ConnType = 0;
    int32_t m_PracticeType = 0;
    int32_t m_BillServID = 0;
    int32_t m_WanMode = 0;
    CEnvironmentArray m_Environment;
};

class CPracticeConn : public CPractice {
  public:
    CPracticeConn() = default;
    explicit CPracticeConn(const CPractice& practice) : CPractice(practice) {}
    CPracticeConn(const CPracticeConn& other) = default;
    // Assigns the practice and the command; the target keeps its own RunCommand.
    CPracticeConn& operator=(const CPracticeConn& other);
    using CPractice::operator=;

    void Serialize(ArchiveWriter& archive) const override;
    void Serialize(ArchiveReader& archive) override;

    std::string m_Command;
    int32_t m_RunCommand = 0;
};

}  // namespace practice
