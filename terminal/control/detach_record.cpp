// Writing and reading the DetachRecord file in a folder no other user can write to, so that the handle
// numbers a later control adopts are the ones this process left there.
#include "terminal/control/detach_record.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/byte_order.h"
#include "platform/known_folders.h"
#include "platform/unique_fd.h"

namespace terminal {
namespace {

void SetWhy(std::string* why, std::string text) {
    if (why != nullptr) {
        *why = std::move(text);
    }
}

std::string ErrnoText(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

}  // namespace

std::array<uint8_t, DetachRecord::kSize> DetachRecord::ToBytes() const {
    std::array<uint8_t, kSize> bytes{};
    platform::StoreLittleEndian<int32_t>(&bytes[0], isRemote);
    platform::StoreLittleEndian<int32_t>(&bytes[4], stateHandle);
    platform::StoreLittleEndian<int32_t>(&bytes[8], snapshotHandle);
    platform::StoreLittleEndian<int32_t>(&bytes[12], chainable);
    return bytes;
}

DetachRecord DetachRecord::FromBytes(const std::array<uint8_t, kSize>& bytes) {
    return {platform::LoadLittleEndian<int32_t>(&bytes[0]), platform::LoadLittleEndian<int32_t>(&bytes[4]),
            platform::LoadLittleEndian<int32_t>(&bytes[8]), platform::LoadLittleEndian<int32_t>(&bytes[12])};
}

std::optional<std::filesystem::path> DetachRecordPath(pid_t pid, std::string* why) {
    const std::optional<std::filesystem::path> folder = platform::PrivateRuntimeFolder(why);
    if (!folder) {
        return std::nullopt;
    }
    return *folder / ("detach" + std::to_string(pid) + ".dat");
}

bool WriteDetachRecord(const std::filesystem::path& path, const DetachRecord& record, std::string* why) {
    // A record of an earlier process with this id, or anything planted in its place, goes first.
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        SetWhy(why, ErrnoText("cannot remove " + path.string()));
        return false;
    }
    platform::UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd) {
        SetWhy(why, ErrnoText("cannot create " + path.string()));
        return false;
    }
    const auto bytes = record.ToBytes();
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd.Get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            SetWhy(why, ErrnoText("cannot write " + path.string()));
            fd.Reset();
            ::unlink(path.c_str());
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

DetachReadResult ReadDetachRecord(const std::filesystem::path& path, DetachRecord& record, std::string* why) {
    platform::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    if (!fd) {
        if (errno == ENOENT) {
            return DetachReadResult::Missing;
        }
        // A link (ELOOP) or anything else we cannot open: not ours to trust, and not ours to follow.
        SetWhy(why, ErrnoText("cannot open " + path.string()));
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0 && st.st_uid == ::getuid()) {
            ::unlink(path.c_str());
        }
        return DetachReadResult::Refused;
    }
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::getuid()) {
        SetWhy(why, path.string() + " is not a regular file of this user");
        return DetachReadResult::Refused;
    }
    std::array<uint8_t, DetachRecord::kSize + 1> buffer{};
    std::size_t got = 0;
    while (got < buffer.size()) {
        const ssize_t n = ::read(fd.Get(), buffer.data() + got, buffer.size() - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    fd.Reset();
    ::unlink(path.c_str());
    if (got != DetachRecord::kSize) {
        SetWhy(why, path.string() + " holds " + std::to_string(got) + " bytes, not 16");
        return DetachReadResult::Refused;
    }
    std::array<uint8_t, DetachRecord::kSize> bytes{};
    std::memcpy(bytes.data(), buffer.data(), bytes.size());
    record = DetachRecord::FromBytes(bytes);
    return DetachReadResult::Read;
}

}  // namespace terminal
