// The selector's hold on its practice list file: loading a named file or the usual search, and saves that
// never replace a list that failed to load, a practice.xml changed on disk since it was loaded, or another
// practice.xml that already holds practices unless the user agrees.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "practice/prac_file.h"

namespace selector {

enum class SaveOutcome { Saved, Refused, NeedsConsent, ChangedOnDisk, Failed };

class PracticeStore {
  public:
    // `named` empty: the usual search. A named file is tried first; when it does not load its message goes
    // to `message` and the search follows. The named file's path is recorded only once it loaded.
    // False when a file was found but could not be read (the list is then empty and is never saved).
    bool Load(const std::optional<std::filesystem::path>& named, std::string& message);

    // Saves as practice.xml: over the practice.xml that was loaded, else at the save location. With
    // NeedsConsent call again with `replaceAgreed` once the user agreed; with ChangedOnDisk load again.
    SaveOutcome Save(const std::vector<practice::CPractice>& practices, const practice::CPracSelInfo& selInfo,
                     bool replaceAgreed, std::string& message);

    const std::vector<practice::CPractice>& Practices() const { return m_file.GetPractices(); }
    const practice::CPracSelInfo& SelInfo() const { return m_file.GetSelInfo(); }
    const std::filesystem::path& Source() const { return m_source; }
    bool LoadFailed() const { return m_loadFailed; }
    // Where the next save goes.
    std::filesystem::path SaveTarget();

  private:
    bool LoadPath(const std::filesystem::path& path, std::string& message);

    practice::CPracFile m_file;
    std::filesystem::path m_source;  // the file loaded, empty when none was found
    bool m_sourceIsXml = false;
    bool m_loadFailed = false;
    std::optional<std::string> m_loadedBytes;  // the practice.xml as loaded, to notice other writers
};

// "-convertpractice": the list (named or found) saved as practice.xml; 0 when something was converted.
int ConvertPracticeList(const std::optional<std::filesystem::path>& named, std::string& message);

}  // namespace selector
