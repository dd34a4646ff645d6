// Replacing a file whole or not at all: the bytes go to a temporary file beside the target, are synced to
// disk and renamed over it, so a reader, a crash or a full disk never leaves a half-written file.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>

namespace platform {

struct AtomicWriteOptions {
    // The new file's permissions. Unset: an existing regular target's permissions are kept, a new file gets
    // 0666 less the umask.
    std::optional<mode_t> mode;
    // Off: an existing target is never replaced; the write fails with EEXIST and the target is untouched.
    bool replaceExisting = true;
};

// The step a write failed at, for callers whose messages tell them apart.
enum class AtomicWriteStep {
    None,
    Target,   // the target cannot be replaced (a folder, a device, existing with replaceExisting off)
    Create,   // no temporary file beside it
    Write,    // writing, syncing or closing the temporary file
    Replace,  // renaming it over the target
};

// Writes `bytes` as `target`. Returns an empty error code on success; on failure the target is as it was
// and no temporary file is left behind. A target that is not a regular file (a folder, a device) is
// refused; a symbolic link at the target is replaced, never followed.
std::error_code WriteFileAtomically(const std::filesystem::path& target, std::string_view bytes,
                                    const AtomicWriteOptions& options = {});
// The same, also saying at which step it failed (None on success).
std::error_code WriteFileAtomically(const std::filesystem::path& target, std::string_view bytes,
                                    const AtomicWriteOptions& options, AtomicWriteStep& failedAt);

// Moves `from` over `to` the same way: rename within one file system, else a synced copy beside `to`
// renamed into place and `from` removed. With replaceExisting off an existing `to` is never replaced.
std::error_code MoveFileAtomically(const std::filesystem::path& from, const std::filesystem::path& to,
                                   const AtomicWriteOptions& options = {});

}  // namespace platform
