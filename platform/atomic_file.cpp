// Temporary file, fsync, rename: the one way the suite replaces a file.
#include "platform/atomic_file.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>

#include "platform/unique_fd.h"
#include "platform/write_all.h"

namespace platform {

namespace {

std::error_code Errno(int err) {
    return std::error_code(err, std::generic_category());
}

// renameat2 with RENAME_NOREPLACE; file systems without it fall back to link and unlink, which is as safe.
int RenameNoReplace(const char* from, const char* to) {
    if (::syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
    if (::link(from, to) != 0) {
        return errno;
    }
    ::unlink(from);
    return 0;
}

// Checks the target and chooses the mode; errno-style.
int PrepareTarget(const std::filesystem::path& target, const AtomicWriteOptions& options, mode_t& mode) {
    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0) {
        if (!options.replaceExisting) {
            return EEXIST;
        }
        if (S_ISDIR(st.st_mode)) {
            return EISDIR;
        }
        if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
            return EINVAL;
        }
        if (!options.mode && S_ISREG(st.st_mode)) {
            mode = st.st_mode & 07777;
            return 0;
        }
    } else if (errno != ENOENT) {
        return errno;
    }
    if (options.mode) {
        mode = *options.mode;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    return 0;
}

// Creates a fresh temporary file beside the target.
UniqueFd CreateTemp(const std::filesystem::path& target, std::string& tempName) {
    static std::atomic<uint32_t> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempName = target.string() + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        UniqueFd fd(::open(tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (fd.Valid() || errno != EEXIST) {
            return fd;
        }
    }
    errno = EEXIST;
    return UniqueFd();
}

// Fills a temporary file through `fill` and puts it in place.
template <typename Fill>
std::error_code ReplaceWith(const std::filesystem::path& target, const AtomicWriteOptions& options,
                            AtomicWriteStep& step, Fill fill) {
    mode_t mode = 0;
    step = AtomicWriteStep::Target;
    if (int err = PrepareTarget(target, options, mode); err != 0) {
        return Errno(err);
    }
    std::string tempName;
    step = AtomicWriteStep::Create;
    UniqueFd fd = CreateTemp(target, tempName);
    if (!fd.Valid()) {
        return Errno(errno);
    }
    int err = 0;
    step = AtomicWriteStep::Write;
    if (!fill(fd.Get()) || ::fchmod(fd.Get(), mode) != 0 || ::fsync(fd.Get()) != 0) {
        err = errno;
    }
    if (::close(fd.Release()) != 0 && err == 0) {
        err = errno;
    }
    if (err == 0) {
        step = AtomicWriteStep::Replace;
        if (options.replaceExisting) {
            err = ::rename(tempName.c_str(), target.c_str()) == 0 ? 0 : errno;
        } else {
            err = RenameNoReplace(tempName.c_str(), target.c_str());
        }
    }
    if (err != 0) {
        ::unlink(tempName.c_str());
        return Errno(err);
    }
    // The rename itself is only durable once the folder is synced.
    UniqueFd folder(::open(target.has_parent_path() ? target.parent_path().c_str() : ".",
                           O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.Valid()) {
        ::fsync(folder.Get());
    }
    step = AtomicWriteStep::None;
    return {};
}

}  // namespace

std::error_code WriteFileAtomically(const std::filesystem::path& target, std::string_view bytes,
                                    const AtomicWriteOptions& options) {
    AtomicWriteStep step = AtomicWriteStep::None;
    return WriteFileAtomically(target, bytes, options, step);
}

std::error_code WriteFileAtomically(const std::filesystem::path& target, std::string_view bytes,
                                    const AtomicWriteOptions& options, AtomicWriteStep& failedAt) {
    return ReplaceWith(target, options, failedAt, [&](int fd) { return WriteAll(fd, bytes); });
}

std::error_code MoveFileAtomically(const std::filesystem::path& from, const std::filesystem::path& to,
                                   const AtomicWriteOptions& options) {
    struct stat st {};
    if (::lstat(from.c_str(), &st) != 0) {
        return Errno(errno);
    }
    if (!S_ISREG(st.st_mode)) {
        return Errno(EINVAL);
    }
    int err = 0;
    if (options.replaceExisting) {
        if (struct stat target{}; ::lstat(to.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) {
            return Errno(EISDIR);
        }
        err = ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
    } else {
        err = RenameNoReplace(from.c_str(), to.c_str());
    }
    if (err == 0) {
        if (options.mode) {
            ::chmod(to.c_str(), *options.mode);
        }
        return {};
    }
    if (err != EXDEV) {
        return Errno(err);
    }
    UniqueFd source(::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!source.Valid()) {
        return Errno(errno);
    }
    AtomicWriteOptions copyOptions = options;
    if (!copyOptions.mode) {
        copyOptions.mode = st.st_mode & 07777;
    }
    AtomicWriteStep step = AtomicWriteStep::None;
    std::error_code ec = ReplaceWith(to, copyOptions, step, [&](int fd) {
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(source.Get(), buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                return false;
            }
            if (n == 0) {
                return true;
            }
            if (!WriteAll(fd, std::string_view(buffer, static_cast<size_t>(n)))) {
                return false;
            }
        }
    });
    if (!ec) {
        ::unlink(from.c_str());
    }
    return ec;
}

}  // namespace platform
