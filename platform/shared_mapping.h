// Inheritable shared memory for hand-over records between processes (memfd + mmap). The handle value that
// travels on a command line is the fd number; the fd is close-on-exec except in the child that Spawn is told
// to hand it to.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/unique_fd.h"

namespace platform {

class SharedMapping {
public:
    SharedMapping() = default;
    SharedMapping(SharedMapping&& other) noexcept;
    SharedMapping& operator=(SharedMapping&& other) noexcept;
    SharedMapping(const SharedMapping&) = delete;
    SharedMapping& operator=(const SharedMapping&) = delete;
    ~SharedMapping();

    // A new zero-filled mapping of `size` bytes, mapped read/write. On failure `error` says why.
    static std::optional<SharedMapping> Create(size_t size, std::string* error = nullptr);
    // Maps `size` bytes of an fd this process holds (an inherited one). With `adopt` the mapping owns and
    // closes the fd; otherwise it maps a duplicate. The fd's size is checked before mapping: a smaller object
    // is refused.
    static std::optional<SharedMapping> OpenFd(int fd, size_t size, bool adopt, std::string* error = nullptr);
    // Opens fd `fd` of process `pid` through /proc/PID/fd/N (a handle that was not inherited).
    static std::optional<SharedMapping> OpenFromProcess(pid_t pid, int fd, size_t size,
                                                        std::string* error = nullptr);

    bool Valid() const { return m_data != nullptr; }
    int Fd() const { return m_fd.Get(); }
    size_t Size() const { return m_size; }
    uint8_t* Data() { return m_data; }
    const uint8_t* Data() const { return m_data; }
    std::span<uint8_t> Bytes() { return {m_data, m_size}; }
    std::span<const uint8_t> Bytes() const { return {m_data, m_size}; }

    // Writes the range back (msync); a count of 0 means to the end. An offset at or past the end does nothing.
    void Flush(size_t offset, size_t count);
    // Unmaps and closes the fd (when owned). Safe to call more than once.
    void Close();

private:
    UniqueFd m_fd;
    uint8_t* m_data = nullptr;
    size_t m_size = 0;
};

}  // namespace platform
