// The process-wide debug log: a text file opened at the first message, appended to and never truncated,
// closed with an end line at exit. Safe from several threads: it opens once and every message is one write.
#pragma once

#include <atomic>
#include <filesystem>
#include <mutex>
#include <string_view>

namespace suite {

class CSBCFile {
  public:
    static constexpr const char* kFileName = "QuilletDebugLog.txt";

    // A relative path is taken from the working folder at the first message.
    explicit CSBCFile(std::filesystem::path path = kFileName);
    ~CSBCFile();
    CSBCFile(const CSBCFile&) = delete;
    CSBCFile& operator=(const CSBCFile&) = delete;

    // Writes `text` exactly, opening the file first when needed; once opening failed, nothing is written
    // for the rest of the object's life.
    void DebugLog(std::string_view text);

    bool IsOpen() const;
    bool OpenFailed() const;
    // The open file's descriptor or -1; read without a lock so a signal handler may use it.
    int SignalSafeFd() const noexcept { return m_fd.load(std::memory_order_acquire); }

  private:
    struct ProcessWide {};
    CSBCFile(std::filesystem::path path, ProcessWide);
    friend CSBCFile& ProcessDebugLog();
    void OpenLocked();

    mutable std::mutex m_mutex;
    std::filesystem::path m_path;
    std::atomic<int> m_fd{-1};
    bool m_open = false;
    bool m_openFailed = false;
    bool m_processWide = false;  // publishes its descriptor for the crash reporter
};

// The program's own log ("QuilletDebugLog.txt" in the working folder).
CSBCFile& ProcessDebugLog();
// The program log's descriptor when it is open, else -1; async-signal-safe.
int ProcessDebugLogFd() noexcept;

void DebugLog(std::string_view text);
// printf formatting into at most 1023 characters, passed to DebugLog.
void DebugPrint(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace suite
