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

LumetraLog LumetraLog::FromRegistry(const platform::Registry& registry) {
    platform::RegValue value;
    if (registry.QueryValue(platform::HKey::LocalMachine, kTranscriptionKey, kLogFilePathValue, value) !=
        platform::win32::kSuccess) {
        return LumetraLog();
    }
    auto text = value.AsString();
    if (!text || text->empty() || text->size() > kLogPathLimit) {
        return LumetraLog();
    }
    if (text->front() == '/') {
        return LumetraLog(std::filesystem::path(*text));
    }
    auto local = platform::HostPath(registry).Translate(*text);
    return local ? LumetraLog(*local) : LumetraLog();
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
