// The C interface of libdorvik.so, the process-control library that setup tooling loads: list processes,
// test whether one runs and stop processes by executable name or X11 window caption. Strings are UTF-8; a
// null string is empty.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

typedef int BOOL;

#define DORVIK_EXPORT __attribute__((visibility("default")))

// TRUE unless at least two top-level windows have a caption containing `text` (an empty text matches
// nothing and is refused).
DORVIK_EXPORT BOOL CountMatchingCaptions(const char* text);
// Stops the processes owning windows whose caption contains `text`; FALSE when refused or without display.
DORVIK_EXPORT BOOL StopProcMatchingCaption(const char* text);
// Asks the window with exactly this caption to close when the caption names the server; ends no process.
DORVIK_EXPORT void StopProcWithCaption(const char* caption);
// Writes the process table to "ProcessList.txt" in the temp folder; FALSE when it could not be written.
DORVIK_EXPORT BOOL CreateProcessList(void);
// Stops every process whose executable name equals `name` (case ignored), logging to "DorvikLog.txt".
DORVIK_EXPORT void StopProcWithExeName(const char* name);
// TRUE when a process whose executable name equals `name` (case ignored) runs.
DORVIK_EXPORT BOOL ValidateProcessExists(const char* name);

#ifdef __cplusplus
}
#endif
