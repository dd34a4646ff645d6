// The practice list file: finding it (per-user folder, machine folder, registry), loading practice.xml and
// every legacy practice.lst layout, and saving practice.xml safely (temporary file renamed into place).
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"
#include "practice/prac_sel_info.h"
#include "practice/practice.h"

namespace practice {

// Kind of the file last loaded.
inline constexpr int32_t kKindText = 1;
inline constexpr int32_t kKindHeaded = 2;
inline constexpr int32_t kKindBeta = 3;
inline constexpr int32_t kKindClassRecord = 6;

inline constexpr int32_t kXmlSchemaVersion = 6;
inline constexpr std::string_view kLegacyHeader = "Korrin Ver 1.1";
inline constexpr std::string_view kPracticeClassName = "CKorrinDlg";
inline constexpr uint16_t kVersion5Magic[3] = {0xDDBA, 0x550A, 0xDEC0};
// Largest practice list we read into memory; anything bigger is not a practice list.
inline constexpr uint64_t kMaxPracticeFileBytes = 64ull * 1024 * 1024;

// "<CommonAppData>/carrowline" and "<UserAppData>/carrowline".
std::filesystem::path MachinePracticeFolder();
std::filesystem::path UserPracticeFolder();

class CPracFile {
  public:
    CPracFile() = default;

    // The file to load: practice.xml per user, then per machine, then the registry's .xml, then the
    // practice.lst files and the registry's .lst; else where a new practice.xml goes.
    std::filesystem::path FindFile();
    // Path becomes FindFile(); true when that file can be opened for reading.
    bool Exists();
    // Reads the file FindFile() names in whatever format it has. False when there is no file or it could not
    // be read whole. A damaged version-5 archive throws ArchiveError.
    bool Load();
    // Writes `practices` (or the held list when null) and `selInfo` as practice.xml: to the practice.xml
    // that was loaded, else where GetSavePath() says. False when nothing could be written, when the last
    // load failed on an existing file (so it is never saved over), or when there is no list at all.
    bool Save(const std::vector<CPractice>* practices, const CPracSelInfo& selInfo);
    std::filesystem::path GetSavePath();

    static bool ReadRegistryPath(std::string& path, platform::HKey root, std::string_view extension);
    static void WriteRegistryPath(const std::string& path);

    // The format number of the file at Path: 0 legacy (text, headed or beta), 4, 5, 6, or whatever a
    // version word or SchemaVersion says; -1 for an .xml file without a SchemaVersion line.
    int32_t DetectFormat();
    static int32_t DetectFormat(const std::filesystem::path& path, std::span<const uint8_t> bytes);

    // Each legacy reader takes the whole file and replaces the list and settings only when it succeeds.
    bool LoadText(std::span<const uint8_t> bytes);
    bool LoadHeaded(std::span<const uint8_t> bytes);
    bool LoadBeta(std::span<const uint8_t> bytes);
    // Throws ArchiveError on damaged data.
    void LoadVersion4(std::span<const uint8_t> bytes);
    // False when the magic words and version 5 are not there; throws ArchiveError on damaged data.
    bool LoadVersion5(std::span<const uint8_t> bytes);

    // The practice.xml text. ReadXml succeeds only when the document is complete to "</PracticeFile>".
    bool ReadXml(std::string_view text);
    bool WriteXml(std::string& out) const;

    int32_t GetKind() const { return m_Kind; }
    const std::filesystem::path& GetPath() const { return m_Path; }
    std::vector<CPractice>& GetPractices() { return m_Practices; }
    const std::vector<CPractice>& GetPractices() const { return m_Practices; }
    bool HasList() const { return m_HasList; }
    CPracSelInfo& GetSelInfo() { return m_SelInfo; }
    const CPracSelInfo& GetSelInfo() const { return m_SelInfo; }

  private:
    bool LoadDetected(std::span<const uint8_t> bytes);
    void Commit(std::vector<CPractice> practices, const CPracSelInfo* selInfo);

    int32_t m_Kind = 0;
    std::filesystem::path m_Path;
    std::vector<CPractice> m_Practices;
    bool m_HasList = false;
    CPracSelInfo m_SelInfo;
    // The practice.xml the list came from (saves go back there), and whether the last load met a file it
    // could not read.
    std::filesystem::path m_LoadedXmlPath;
    bool m_LoadFailed = false;
};

}  // namespace practice
