// Named objects as flocked files: a holder keeps a shared lock for as long as it lives, so the name
// "exists" exactly while a holder does, and a holder that dies leaves nothing held.
#include "platform/named_object.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>

#include "platform/hex_digit.h"
#include "platform/known_folders.h"

namespace platform {
namespace {

// Windows object names stop at MAX_PATH.
constexpr std::size_t kMaxName = 260;
constexpr std::size_t kMaxFile = 200;

// Any byte outside a plain set is written as %XX, so a name never leaves the folder.
std::optional<std::filesystem::path> PathFor(std::string_view name, std::string* why) {
    if (name.empty() || name.size() > kMaxName) {
        if (why != nullptr) {
            *why = name.empty() ? "an object name cannot be empty" : "the object name is too long";
        }
        return std::nullopt;
    }
    std::optional<std::filesystem::path> folder = PrivateRuntimeFolder(why);
    if (!folder) {
        return std::nullopt;
    }
    std::string file = "named-";
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
            byte == '-' || byte == '_') {
            file += c;
        } else {
            file += '%';
            file += UpperHexDigit(byte >> 4);
            file += UpperHexDigit(byte & 0x0F);
        }
    }
    if (file.size() > kMaxFile) {
        // File names stop at 255 bytes: a long name keeps its start and a stable hash of the whole.
        uint64_t hash = 14695981039346656037ull;  // FNV-1a, the same in every program
        for (const char c : name) {
            hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
        }
        file.resize(kMaxFile - 17);
        file += '~';
        for (int shift = 60; shift >= 0; shift -= 4) {
            file += UpperHexDigit(static_cast<int>(hash >> shift));
        }
    }
    return *folder / file;
}

}  // namespace

std::optional<NamedObject> NamedObject::OpenOrCreate(std::string_view name, std::string* why) {
    const std::optional<std::filesystem::path> path = PathFor(name, why);
    if (!path) {
        return std::nullopt;
    }
    UniqueFd fd(::open(path->c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    int rc = -1;
    if (fd) {
        while ((rc = ::flock(fd.Get(), LOCK_SH)) != 0 && errno == EINTR) {
        }
    }
    if (!fd || rc != 0) {
        if (why != nullptr) {
            *why = "cannot hold " + path->string() + ": " + std::strerror(errno);
        }
        return std::nullopt;
    }
    return NamedObject(std::move(fd));
}

bool NamedObject::Exists(std::string_view name) {
    const std::optional<std::filesystem::path> path = PathFor(name, nullptr);
    if (!path) {
        return false;
    }
    UniqueFd fd(::open(path->c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) {
        return false;
    }
    // A lock of our own succeeds only when no holder keeps its shared one.
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) == 0) {
        return false;
    }
    return errno == EWOULDBLOCK || errno == EAGAIN;
}

}  // namespace platform
