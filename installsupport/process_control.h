// The process half of the process-control library: /proc listing, the name rule, the two log files and
// stopping a process by id. Plain functions over explicit state, so that every call stands on its own.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/unique_fd.h"

namespace dorvik {

struct ProcessEntry {
    pid_t pid = 0;
    std::string name;
};

// The name of a process: the file name of its /proc/PID/exe target without " (deleted)", else its comm
// (without the trailing line feed).
std::string ProcessName(const std::optional<std::string>& exeTarget, std::string_view comm);

// Running processes under `procRoot` in pid order; ended ones not yet reaped (state Z) are left out.
// Nothing and `err` set when the folder cannot be read.
std::optional<std::vector<ProcessEntry>> ListProcesses(const std::filesystem::path& procRoot, int* err);

// Compares two UTF-8 names ignoring case.
bool NamesEqual(std::string_view a, std::string_view b);

// The table both files use.
std::string TableOpening(std::string_view nameHeader, std::string_view idHeader);
std::string TableRow(std::string_view name, pid_t pid);
std::string TableClosing();

// "\n  WARNING: <step> failed with error <n> (<text>)", the text being strerror's cut at the first control
// character and stripped of trailing dots and blanks.
std::string WarningLine(std::string_view step, int err);

// One output file of a call. It is opened without following a link and only when it is the caller's own
// regular file with no other name, then emptied; when that fails the call goes on without it.
class LogFile {
  public:
    explicit LogFile(const std::filesystem::path& path);
    bool IsOpen() const { return m_fd.Valid(); }
    int OpenError() const { return m_openError; }
    // Writes `text` as it stands; false when the file is not open or the write failed.
    bool Write(std::string_view text);
    // The text and "\n".
    bool Line(std::string_view text) { return Write(std::string(text) + "\n"); }
    void Warning(std::string_view step, int err) { Line(WarningLine(step, err)); }

  private:
    platform::UniqueFd m_fd;
    int m_openError = 0;
};

// The temp folder's file of that name, or nothing when the temp folder is unusable (empty or over 512).
std::optional<std::filesystem::path> TempFile(std::string_view name);

// Stops one process: SIGTERM through a pidfd, up to 250 ms for it to end, then SIGKILL. Pid 0 logs
// "Invalid Process ID!"; this process itself is never signalled. True when the process is gone.
bool StopProcess(pid_t pid, LogFile& log);

}  // namespace dorvik
