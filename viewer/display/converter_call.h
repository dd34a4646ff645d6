// The viewer's side of the converter: mardle runs on (source, target) with a time-out, its target deleted
// first and checked with its exit code, so that a page left over from an earlier document is never shown.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>

#include "viewer/display/mardle.h"

namespace display {

// Longer than mardle's own converter time-out, so that mardle stops the converter and cleans up first.
inline constexpr std::chrono::milliseconds kConverterCallTimeout =
    kConverterTimeout + std::chrono::seconds(15);
// How long mardle may take to clean up once asked to stop.
inline constexpr std::chrono::milliseconds kConverterCallGrace{10000};

enum class ConvertStatus {
    Converted,       // the target is there, written by this run
    NotFound,        // mardle, or the office suite it runs, cannot be started: "Error: Document Converter not
                     // Found"
    Failed,          // mardle exited with an error
    TimedOut,        // mardle was stopped at the time-out
    NothingWritten,  // mardle answered success but no target is there
    TargetInUse,     // the old target cannot be deleted; mardle was not started
};

struct ConvertResult {
    ConvertStatus status = ConvertStatus::Failed;
    int exitCode = -1;    // mardle's exit code, when it ran to the end
    std::string message;  // for the log: mardle's own message or why it was not run
    bool Converted() const { return status == ConvertStatus::Converted; }
};

struct ConverterCall {
    // A bare name is looked up in the program folder first (mardle lies beside lumetra), then in PATH.
    std::string program = "mardle";
    std::chrono::milliseconds timeout = kConverterCallTimeout;
    std::chrono::milliseconds grace = kConverterCallGrace;
};

ConvertResult ConvertDocument(const ConverterCall& call, const std::filesystem::path& source,
                              const std::filesystem::path& target);

}  // namespace display
