// mardle (source, target): converts a word-processor document to HTML with the office suite running
// headless on a profile of its own in a private temporary folder, never the user's. It exits 0 only when
// the target has been written whole; the target is deleted before anything else, so a failure never leaves
// an old one behind.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace display {

enum class MardleExit : int {
    Converted = 0,
    Usage = 1,              // not exactly two arguments
    SourceUnreadable = 2,   // the source is missing, not a regular file or not readable
    TargetInUse = 3,        // what stands at the target cannot be deleted (a folder, no permission)
    ConverterMissing = 4,   // the converter program cannot be started
    ConverterFailed = 5,    // it exited with an error
    ConverterTimedOut = 6,  // it ran past the time-out and was stopped
    NothingWritten = 7,     // it ended well but left no HTML
    TargetNotWritten = 8,   // the HTML could not be put at the target, or no private folder could be made
    Interrupted = 9,        // mardle itself was asked to stop
};

// The converter mardle runs ("soffice" from PATH), overridable through CARROWLINE_MARDLE_CONVERTER, and its
// time-out, overridable in milliseconds through CARROWLINE_MARDLE_TIMEOUT_MS.
inline constexpr const char* kConverterVariable = "CARROWLINE_MARDLE_CONVERTER";
inline constexpr const char* kConverterTimeoutVariable = "CARROWLINE_MARDLE_TIMEOUT_MS";
inline constexpr std::chrono::milliseconds kConverterTimeout{60000};
// How long a converter asked to stop may take before it is killed.
inline constexpr std::chrono::milliseconds kConverterGrace{3000};

struct MardleSettings {
    std::string converter = "soffice";
    std::chrono::milliseconds timeout = kConverterTimeout;
    std::filesystem::path tempFolder;  // where the private profile folder goes; empty: the temp folder
    int stopFd = -1;                   // readable when mardle must give up (its signals)
};

MardleSettings MardleSettingsFromEnvironment();

// A file URL for an office profile folder: every byte but the unreserved ones and "/" percent-encoded.
std::string FileUrl(const std::filesystem::path& folder);

// Runs one conversion; `message` says what failed (empty on success).
MardleExit RunMardle(const std::vector<std::string>& arguments, const MardleSettings& settings,
                     std::string& message);

}  // namespace display
