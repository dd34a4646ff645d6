// The viewer's optional debug log: enabled only when the machine names a "LogFilePath"; every line opens the
// file for appending, writes and closes it again, so that other viewers may share the file.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace platform {
class Registry;
}

namespace viewer {

inline constexpr const char* kTranscriptionKey = "Software\\Carrowline Corporation\\Transcription";
inline constexpr const char* kLogFilePathValue = "LogFilePath";
inline constexpr size_t kLogPathLimit = 260;

// A folder or file the machine's configuration names under HKLM `key`: a text value of at most `limit`
// bytes, used as it is when absolute, else read as a Windows path through the drive mapping.
std::optional<std::filesystem::path> ConfiguredPath(const platform::Registry& registry, const char* key,
                                                    const char* value, size_t limit);

class LumetraLog {
  public:
    LumetraLog() = default;
    explicit LumetraLog(std::optional<std::filesystem::path> path) : m_path(std::move(path)) {}
    // The path from HKLM; a value longer than 260 bytes, or one that is not text, leaves the log off. A
    // Windows-shaped path goes through the drive mapping.
    static LumetraLog FromRegistry(const platform::Registry& registry);

    bool Enabled() const { return m_path.has_value(); }
    // Empty when off.
    std::string PathText() const { return m_path ? m_path->string() : std::string(); }

    void Write(std::string_view message, std::string_view second = {}, bool lineFeed = true) const;
    // "*****\nLumetra launched at <time> on <date>".
    void Launched() const;

  private:
    std::optional<std::filesystem::path> m_path;
};

}  // namespace viewer
