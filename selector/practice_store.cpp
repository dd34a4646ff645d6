// Loading and saving the selector's practice list without ever losing a list the selector did not read.

#include "selector/practice_store.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/atomic_file.h"
#include "practice/archive.h"

namespace selector {
namespace fs = std::filesystem;
namespace {

std::optional<std::string> ReadBytes(const fs::path& path) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec))
        return std::nullopt;
    const auto size = fs::file_size(path, ec);
    if (ec || size > practice::kMaxPracticeFileBytes)
        return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        return std::nullopt;
    return bytes;
}

// Reads any layout into `file`; false when it is no practice list or is damaged.
bool Parse(practice::CPracFile& file, const fs::path& path, const std::string& text) {
    std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    try {
        switch (practice::CPracFile::DetectFormat(path, bytes)) {
            case 0:
                if (text.starts_with(practice::kLegacyHeader))
                    return file.LoadHeaded(bytes) || file.LoadBeta(bytes);
                return file.LoadText(bytes);
            case 4:
                file.LoadVersion4(bytes);
                return true;
            case 5:
                return file.LoadVersion5(bytes);
            case practice::kXmlSchemaVersion:
                return file.ReadXml(text);
            default:
                return false;
        }
    } catch (const practice::ArchiveError&) {
        return false;
    }
}

// Whether a practice.xml we did not load has practices in it (an unreadable one counts: it may).
bool HoldsPractices(const fs::path& path) {
    std::optional<std::string> text = ReadBytes(path);
    std::error_code ec;
    if (!text)
        return fs::exists(path, ec);
    practice::CPracFile other;
    return !other.ReadXml(*text) || !other.GetPractices().empty();
}

}  // namespace

bool PracticeStore::LoadPath(const fs::path& path, std::string& message) {
    std::optional<std::string> text = ReadBytes(path);
    practice::CPracFile file;
    if (!text || !Parse(file, path, *text)) {
        message = "The practice list " + path.string() + " could not be read.";
        return false;
    }
    m_file = std::move(file);
    m_source = path;
    m_sourceIsXml = practice::CPracFile::DetectFormat(path, {reinterpret_cast<const uint8_t*>(text->data()),
                                                             text->size()}) == practice::kXmlSchemaVersion;
    m_loadedBytes = m_sourceIsXml ? std::move(text) : std::nullopt;
    m_loadFailed = false;
    return true;
}

bool PracticeStore::Load(const std::optional<fs::path>& named, std::string& message) {
    message.clear();
    m_file = practice::CPracFile();
    m_source.clear();
    m_sourceIsXml = false;
    m_loadedBytes.reset();
    m_loadFailed = false;
    if (named) {
        const fs::path absolute = fs::absolute(*named);
        if (LoadPath(absolute, message)) {
            practice::CPracFile::WriteRegistryPath(absolute.string());
            return true;
        }
    }
    const fs::path found = m_file.FindFile();
    std::error_code ec;
    if (found.empty() || !fs::exists(found, ec))
        return true;  // nothing yet: an empty list
    std::string why;
    // The named file found again has already been read and refused.
    if (!message.empty() && named && found == fs::absolute(*named)) {
        message += " It is left as it is and changes are not saved.";
        m_loadFailed = true;
        m_source = found;
        return false;
    }
    if (LoadPath(found, why))
        return true;
    message += (message.empty() ? "" : "\n") + why + " It is left as it is and changes are not saved.";
    m_loadFailed = true;
    m_source = found;
    return false;
}

fs::path PracticeStore::SaveTarget() {
    if (m_sourceIsXml && !m_source.empty())
        return m_source;
    return m_file.GetSavePath();
}

SaveOutcome PracticeStore::Save(const std::vector<practice::CPractice>& practices,
                                const practice::CPracSelInfo& selInfo, bool replaceAgreed,
                                std::string& message) {
    message.clear();
    if (m_loadFailed) {
        message = "The practice list " + m_source.string() + " could not be read, so it is not saved over.";
        return SaveOutcome::Refused;
    }
    const fs::path target = SaveTarget();
    if (target.empty()) {
        message = "There is no folder to save the practice list in.";
        return SaveOutcome::Failed;
    }
    if (target == m_source && m_loadedBytes) {
        if (ReadBytes(target) != m_loadedBytes) {
            message = "The practice list " + target.string() +
                      " was changed by another program since it was loaded. It is loaded again.";
            return SaveOutcome::ChangedOnDisk;
        }
    } else if (!replaceAgreed && HoldsPractices(target)) {
        message = target.string() + " already holds practices. Replace them?";
        return SaveOutcome::NeedsConsent;
    }
    practice::CPracFile out;
    out.GetPractices() = practices;
    out.GetSelInfo() = selInfo;
    std::string text;
    if (!out.WriteXml(text)) {
        message = "The practice list could not be written.";
        return SaveOutcome::Failed;
    }
    if (std::error_code ec = platform::WriteFileAtomically(target, text)) {
        message = "The practice list " + target.string() + " could not be saved: " + ec.message();
        return SaveOutcome::Failed;
    }
    practice::CPracFile::WriteRegistryPath(target.string());
    m_file.GetPractices() = practices;
    m_file.GetSelInfo() = selInfo;
    m_source = target;
    m_sourceIsXml = true;
    m_loadedBytes = std::move(text);
    return SaveOutcome::Saved;
}

int ConvertPracticeList(const std::optional<fs::path>& named, std::string& message) {
    PracticeStore store;
    std::string loadMessage;
    if (named) {
        // A named file that does not load converts nothing: the search would convert something else.
        if (!store.Load(named, loadMessage) || store.Source() != fs::absolute(*named)) {
            message = loadMessage.empty() ? "Nothing was converted." : loadMessage;
            return 1;
        }
    } else if (!store.Load(std::nullopt, loadMessage) || store.Source().empty()) {
        message = loadMessage.empty() ? "No practice list was found; nothing was converted." : loadMessage;
        return 1;
    }
    const auto practices = store.Practices();
    const auto selInfo = store.SelInfo();
    const SaveOutcome outcome = store.Save(practices, selInfo, false, message);
    if (outcome == SaveOutcome::NeedsConsent) {
        // Nobody is there to agree: the question becomes the reason.
        message = store.SaveTarget().string() + " already holds practices; nothing was converted.";
        return 1;
    }
    if (outcome != SaveOutcome::Saved) {
        if (message.empty())
            message = "Nothing was converted.";
        return 1;
    }
    message =
        "Converted " + std::to_string(practices.size()) + " practices to " + store.Source().string() + ".";
    return 0;
}

}  // namespace selector
