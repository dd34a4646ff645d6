// The DetachRecord file: a control destroyed while its session runs leaves the session's hand-over handles
// here, and a later control of the same process picks them up with ReConnect. 16 bytes, little-endian.
#pragma once

#include <sys/types.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace terminal {

struct DetachRecord {
    static constexpr std::size_t kSize = 16;

    int32_t isRemote = 0;
    int32_t stateHandle = -1;     // the pipe's session-state mapping
    int32_t snapshotHandle = -1;  // the screen snapshot mapping
    int32_t chainable = 1;

    std::array<uint8_t, kSize> ToBytes() const;
    static DetachRecord FromBytes(const std::array<uint8_t, kSize>& bytes);
    bool operator==(const DetachRecord&) const = default;
};

// "detach<pid>.dat" in the user's private runtime folder: $XDG_RUNTIME_DIR, or else a folder of this
// user's own (mode 0700) inside the temp folder. nullopt, with the reason in `why`, when no private folder
// can be had.
std::optional<std::filesystem::path> DetachRecordPath(pid_t pid, std::string* why = nullptr);

// Replaces any file of that name with a new one, created exclusively, without following links, mode 0600.
bool WriteDetachRecord(const std::filesystem::path& path, const DetachRecord& record,
                       std::string* why = nullptr);

enum class DetachReadResult { Read, Missing, Refused };
// Reads the record and removes the file whenever one was there: a file that is not this user's regular
// file of exactly 16 bytes is refused (and removed when it is a file of this user). A link is never
// followed.
DetachReadResult ReadDetachRecord(const std::filesystem::path& path, DetachRecord& record,
                                  std::string* why = nullptr);

}  // namespace terminal
