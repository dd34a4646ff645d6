// The crash reporter: while an instance lives, a fatal signal writes a report (signal, fault address,
// registers, call stack) to "<program>.RPT" in the user's state folder and to the debug log when it is open,
// and the process then dies by the same signal as it would have without us.
#pragma once

#include <signal.h>

#include <climits>
#include <filesystem>
#include <string>
#include <string_view>

namespace suite {

class CCrashReport {
  public:
    // Creates $XDG_STATE_HOME/carrowline and installs the handlers on an alternate stack of this thread.
    CCrashReport();
    // Puts back the handlers and the alternate stack found at construction.
    ~CCrashReport();
    CCrashReport(const CCrashReport&) = delete;
    CCrashReport& operator=(const CCrashReport&) = delete;

    // "brantor" -> "brantor.RPT", "setup.exe" -> "setup.RPT": an extension of three or more characters is
    // replaced, any other name keeps all of it, and the report never takes the program's own name.
    static std::string ReportFileName(std::string_view programFile);

    const std::filesystem::path& ReportPath() const { return m_reportPath; }

  private:
    static constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
    static constexpr int kSignalCount = sizeof(kSignals) / sizeof(kSignals[0]);

    static void Handler(int signal, siginfo_t* info, void* context);
    void WriteReport(int signal, const siginfo_t* info, const void* context) const;
    void RestorePrevious(int signal) const;

    std::filesystem::path m_reportPath;
    // The path preformatted at construction: the handler may not allocate.
    char m_path[PATH_MAX] = {};
    struct sigaction m_previous[kSignalCount] = {};
    stack_t m_previousStack = {};
    bool m_stackInstalled = false;
    CCrashReport* m_outer = nullptr;
};

}  // namespace suite
