// The C interface of libdorvik.so, the process-control library that setup tooling loads: list processes,
// test whether one runs and stop processes by executable name. Strings are UTF-8; a null string is empty.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

typedef int BOOL;

#define DORVIK_EXPORT __attribute__((visibility("default")))

// Writes the process table to "ProcessList.txt" in the temp folder; FALSE when it could not be written.
DORVIK_EXPORT BOOL CreateProcessList(void);
// Stops every process whose executable name equals `name` (case ignored), logging to "DorvikLog.txt".
DORVIK_EXPORT void StopProcWithExeName(const char* name);
// TRUE when a process whose executable name equals `name` (case ignored) runs.
DORVIK_EXPORT BOOL ValidateProcessExists(const char* name);

#ifdef __cplusplus
}
#endif
