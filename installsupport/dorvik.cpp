// The exports of libdorvik.so. Each call opens its own file, walks a fresh process list and keeps nothing
// after it returns.
#include "installsupport/dorvik.h"

#include <unistd.h>

#include <cerrno>
#include <set>
#include <string_view>

#include "installsupport/process_control.h"
#include "installsupport/window_list.h"

namespace {

constexpr std::string_view kLogName = "DorvikLog.txt";
constexpr std::string_view kListName = "ProcessList.txt";
constexpr char kProc[] = "/proc";

std::string_view Text(const char* s) {
    return s ? std::string_view(s) : std::string_view();
}

// A log that is not open swallows the lines; the call still does its work.
dorvik::LogFile OpenLog() {
    const auto path = dorvik::TempFile(kLogName);
    return dorvik::LogFile(path ? *path : std::filesystem::path());
}

}  // namespace

extern "C" BOOL CreateProcessList(void) {
    const auto path = dorvik::TempFile(kListName);
    if (!path) {
        return 0;
    }
    dorvik::LogFile file(*path);
    if (!file.IsOpen()) {
        return 0;
    }
    int err = 0;
    const auto list = dorvik::ListProcesses(kProc, &err);
    if (!list) {
        file.Warning("CreateToolhelp32Snapshot (of processes) has Invalid handle.", err);
        return 0;
    }
    if (list->empty()) {
        file.Warning("Process32First did not get process information.", ESRCH);
        return 0;
    }
    std::string table = dorvik::TableOpening("PROCESS NAME", "PROCESS ID");
    for (const auto& process : *list) {
        table += dorvik::TableRow(process.name, process.pid);
    }
    table += dorvik::TableClosing();
    return file.Write(table) ? 1 : 0;
}

extern "C" void StopProcWithExeName(const char* name) {
    dorvik::LogFile log = OpenLog();
    int err = 0;
    const auto list = dorvik::ListProcesses(kProc, &err);
    if (!list) {
        log.Warning("CreateToolhelp32Snapshot (of processes) has Invalid handle.", err);
        return;
    }
    if (list->empty()) {
        log.Line("Process32First did not get process information.");
        return;
    }
    const pid_t self = getpid();
    bool any = false;
    for (const auto& process : *list) {
        if (process.pid == self || !dorvik::NamesEqual(process.name, Text(name))) {
            continue;
        }
        if (!any) {
            log.Write(dorvik::TableOpening("PROCESS BEING TERMINATED", "PROCESS ID"));
            any = true;
        }
        log.Write(dorvik::TableRow(process.name, process.pid));
        dorvik::StopProcess(process.pid, log);
    }
    if (any) {
        log.Write(dorvik::TableClosing());
    }
}

extern "C" BOOL ValidateProcessExists(const char* name) {
    dorvik::LogFile log = OpenLog();
    int err = 0;
    const auto list = dorvik::ListProcesses(kProc, &err);
    if (!list) {
        log.Warning("CreateToolhelp32Snapshot (of processes)", err);
        return 0;
    }
    if (list->empty()) {
        log.Warning("Process32First", ESRCH);
        return 0;
    }
    for (const auto& process : *list) {
        if (dorvik::NamesEqual(process.name, Text(name))) {
            log.Line("Process Exists!!");
            return 1;
        }
    }
    return 0;
}

// Counting has nothing to report unless it is refused, so the log is opened only then.
extern "C" BOOL CountMatchingCaptions(const char* text) {
    const std::string_view pattern = Text(text);
    if (pattern.empty()) {
        OpenLog().Line("An empty caption matches no window.");
        return 1;
    }
    dorvik::Display display;
    if (!display.Connected()) {
        OpenLog().Line(display.Error());
        return 1;
    }
    int matches = 0;
    for (const auto& window : display.TopLevelWindows(false)) {
        if (window.caption.find(pattern) != std::string::npos && ++matches >= 2) {
            return 0;
        }
    }
    return 1;
}

extern "C" BOOL StopProcMatchingCaption(const char* text) {
    dorvik::LogFile log = OpenLog();
    const std::string_view pattern = Text(text);
    if (pattern.empty()) {
        log.Line("An empty caption matches no window.");
        return 0;
    }
    dorvik::Display display;
    if (!display.Connected()) {
        log.Line(display.Error());
        return 0;
    }
    // One stop per process, however many of its windows match.
    std::set<pid_t> stopped;
    for (const auto& window : display.TopLevelWindows()) {
        if (window.caption.find(pattern) == std::string::npos) {
            continue;
        }
        if (window.pid == 0 || stopped.insert(window.pid).second) {
            dorvik::StopProcess(window.pid, log);
        }
    }
    return 1;
}

extern "C" void StopProcWithCaption(const char* caption) {
    dorvik::LogFile log = OpenLog();
    const std::string_view exact = Text(caption);
    if (exact.find("Corvane Server") == std::string_view::npos) {
        return;
    }
    dorvik::Display display;
    if (!display.Connected()) {
        log.Line(display.Error());
        return;
    }
    for (const auto& window : display.TopLevelWindows(false)) {
        if (window.caption == exact) {
            display.CloseAndWait(window.id, 5000);
            return;
        }
    }
}
