// Inheritable shared memory for hand-over records. The writer's memfd is sealed against shrinking, so a
// reader that checked the size can never be cut short (SIGBUS) by the writer afterwards.
#include "platform/shared_mapping.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

namespace platform {

namespace {

void SetError(std::string* error, std::string text) {
    if (error != nullptr) {
        *error = std::move(text);
    }
}

std::string ErrnoText(int err) {
    return std::generic_category().message(err);
}

}  // namespace

SharedMapping::SharedMapping(SharedMapping&& other) noexcept
    : m_fd(std::move(other.m_fd)),
      m_data(std::exchange(other.m_data, nullptr)),
      m_size(std::exchange(other.m_size, 0)) {}

SharedMapping& SharedMapping::operator=(SharedMapping&& other) noexcept {
    if (this != &other) {
        Close();
        m_fd = std::move(other.m_fd);
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

SharedMapping::~SharedMapping() {
    Close();
}

std::optional<SharedMapping> SharedMapping::Create(size_t size, std::string* error) {
    if (size == 0) {
        SetError(error, "A shared mapping needs at least one byte.");
        return std::nullopt;
    }
    UniqueFd fd(::memfd_create("carrowline-mapping", MFD_CLOEXEC | MFD_ALLOW_SEALING));
    if (!fd) {
        SetError(error, "Cannot create shared memory: " + ErrnoText(errno) + ".");
        return std::nullopt;
    }
    if (::ftruncate(fd.Get(), static_cast<off_t>(size)) != 0) {
        SetError(error, "Cannot size shared memory to " + std::to_string(size) +
                            " bytes: " + ErrnoText(errno) + ".");
        return std::nullopt;
    }
    // Without the seal a reader's size check could be undone by a later ftruncate.
    ::fcntl(fd.Get(), F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_SEAL);
    void* data = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd.Get(), 0);
    if (data == MAP_FAILED) {
        SetError(error, "Cannot map shared memory: " + ErrnoText(errno) + ".");
        return std::nullopt;
    }
    SharedMapping mapping;
    mapping.m_fd = std::move(fd);
    mapping.m_data = static_cast<uint8_t*>(data);
    mapping.m_size = size;
    return mapping;
}

std::optional<SharedMapping> SharedMapping::OpenFd(int fd, size_t size, bool adopt, std::string* error) {
    // An adopted fd belongs to us from here on, so it is closed on failure too.
    UniqueFd owned;
    if (adopt) {
        owned.Reset(fd);
    } else if (fd >= 0) {
        owned.Reset(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
        if (!owned) {
            SetError(error, "Handle " + std::to_string(fd) + " cannot be used: " + ErrnoText(errno) + ".");
            return std::nullopt;
        }
    }
    if (!owned) {
        SetError(error, "Handle " + std::to_string(fd) + " is not valid.");
        return std::nullopt;
    }
    if (size == 0) {
        SetError(error, "A shared mapping needs at least one byte.");
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(owned.Get(), &st) != 0) {
        SetError(error, "Handle " + std::to_string(fd) + " cannot be used: " + ErrnoText(errno) + ".");
        return std::nullopt;
    }
    if (!S_ISREG(st.st_mode)) {
        SetError(error, "Handle " + std::to_string(fd) + " is not shared memory.");
        return std::nullopt;
    }
    if (st.st_size < 0 || static_cast<uint64_t>(st.st_size) < size) {
        SetError(error, "Shared memory of handle " + std::to_string(fd) + " holds " +
                            std::to_string(st.st_size) + " bytes, fewer than the " + std::to_string(size) +
                            " expected.");
        return std::nullopt;
    }
    void* data = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, owned.Get(), 0);
    if (data == MAP_FAILED) {
        SetError(error, "Cannot map handle " + std::to_string(fd) + ": " + ErrnoText(errno) + ".");
        return std::nullopt;
    }
    SharedMapping mapping;
    mapping.m_fd = std::move(owned);
    mapping.m_data = static_cast<uint8_t*>(data);
    mapping.m_size = size;
    return mapping;
}

std::optional<SharedMapping> SharedMapping::OpenFromProcess(pid_t pid, int fd, size_t size,
                                                            std::string* error) {
    if (pid <= 0 || fd < 0) {
        SetError(error,
                 "Handle " + std::to_string(fd) + " of process " + std::to_string(pid) + " is not valid.");
        return std::nullopt;
    }
    std::string path = "/proc/" + std::to_string(pid) + "/fd/" + std::to_string(fd);
    int opened = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (opened < 0) {
        SetError(error, "Cannot open handle " + std::to_string(fd) + " of process " + std::to_string(pid) +
                            ": " + ErrnoText(errno) + ".");
        return std::nullopt;
    }
    return OpenFd(opened, size, true, error);
}

void SharedMapping::Flush(size_t offset, size_t count) {
    if (m_data == nullptr || offset >= m_size) {
        return;
    }
    size_t end = (count == 0 || count > m_size - offset) ? m_size : offset + count;
    // msync wants a page-aligned start.
    long page = ::sysconf(_SC_PAGESIZE);
    size_t pageSize = page > 0 ? static_cast<size_t>(page) : 4096;
    size_t start = offset - offset % pageSize;
    ::msync(m_data + start, end - start, MS_SYNC);
}

void SharedMapping::Close() {
    if (m_data != nullptr) {
        ::munmap(m_data, m_size);
        m_data = nullptr;
    }
    m_size = 0;
    m_fd.Reset();
}

}  // namespace platform
