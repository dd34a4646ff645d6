// Reading the log's path and writing its lines.
#include "viewer/lumetra_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <ctime>

#include "platform/host_path.h"
#include "platform/registry.h"
#include "platform/win32_error.h"
#include "platform/write_all.h"

namespace viewer {

std::optional<std::filesystem::path> ConfiguredPath(const platform::Registry& registry, const char* key,
                                                    const char* value, size_t limit) {
    platform::RegValue stored;
    if (registry.QueryValue(platform::HKey::LocalMachine, key, value, stored) != platform::win32::kSuccess) {
        return std::nullopt;
    }
    auto text = stored.AsString();
    if (!text || text->empty() || text->size() > limit) {
        return std::nullopt;
    }
    if (text->front() == '/') {
        return std::filesystem::path(*text);
    }
    return platform::HostPath(registry).Translate(*text);
}

LumetraLog LumetraLog::FromRegistry(const platform::Registry& registry) {
    return LumetraLog(ConfiguredPath(registry, kTranscriptionKey, kLogFilePathValue, kLogPathLimit));
}

void LumetraLog::Write(std::string_view message, std::string_view second, bool lineFeed) const {
    if (!m_path) {
        return;
    }
    const int fd = ::open(m_path->c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        return;
    }
    std::string line(message);
    line.append(second);
    if (lineFeed) {
        line.push_back('\n');
    }
    platform::WriteAll(fd, line);
    ::close(fd);
}

void LumetraLog::Launched() const {
    if (!m_path) {
        return;
    }
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char time[16] = {};
    char date[16] = {};
    std::strftime(time, sizeof time, "%H:%M:%S", &local);
    std::strftime(date, sizeof date, "%m/%d/%y", &local);
    Write(std::string("*****\nLumetra launched at ") + time + " on " + date);
}

}  // namespace viewer
