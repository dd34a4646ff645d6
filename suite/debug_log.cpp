// The debug log file. Appends go through O_APPEND with one write per message, so lines from threads and
// from other processes on the same file never tear.
#include "suite/debug_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>

#include "platform/write_all.h"

namespace suite {

namespace {

constexpr std::string_view kStartLine = "Start logging session...\r\n";
constexpr std::string_view kEndLine = "End logging session\r\n";
constexpr size_t kPrintBufferSize = 1024;

std::atomic<int> g_processLogFd{-1};

}  // namespace

CSBCFile::CSBCFile(std::filesystem::path path) : m_path(std::move(path)) {}

CSBCFile::CSBCFile(std::filesystem::path path, ProcessWide) : m_path(std::move(path)), m_processWide(true) {}

CSBCFile::~CSBCFile() {
    std::lock_guard lock(m_mutex);
    const int fd = m_fd.exchange(-1);
    if (fd < 0) {
        return;
    }
    if (m_processWide) {
        g_processLogFd.store(-1, std::memory_order_release);
    }
    (void)platform::WriteAll(fd, kEndLine);
    ::close(fd);
}

void CSBCFile::OpenLocked() {
    const int fd = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        m_openFailed = true;
        return;
    }
    m_open = true;
    m_fd.store(fd, std::memory_order_release);
    if (m_processWide) {
        g_processLogFd.store(fd, std::memory_order_release);
    }
    (void)platform::WriteAll(fd, kStartLine);
}

void CSBCFile::DebugLog(std::string_view text) {
    std::lock_guard lock(m_mutex);
    if (!m_open && !m_openFailed) {
        OpenLocked();
    }
    const int fd = m_fd.load(std::memory_order_relaxed);
    if (fd >= 0) {
        (void)platform::WriteAll(fd, text);
    }
}

bool CSBCFile::IsOpen() const {
    std::lock_guard lock(m_mutex);
    return m_open;
}

bool CSBCFile::OpenFailed() const {
    std::lock_guard lock(m_mutex);
    return m_openFailed;
}

CSBCFile& ProcessDebugLog() {
    static CSBCFile log(CSBCFile::kFileName, CSBCFile::ProcessWide{});
    return log;
}

int ProcessDebugLogFd() noexcept {
    return g_processLogFd.load(std::memory_order_acquire);
}

void DebugLog(std::string_view text) {
    ProcessDebugLog().DebugLog(text);
}

void DebugPrint(const char* format, ...) {
    char buffer[kPrintBufferSize];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buffer, sizeof(buffer), format, args);
    va_end(args);
    if (n < 0) {
        return;
    }
    const size_t length =
        static_cast<size_t>(n) < sizeof(buffer) ? static_cast<size_t>(n) : sizeof(buffer) - 1;
    DebugLog(std::string_view(buffer, length));
}

}  // namespace suite
