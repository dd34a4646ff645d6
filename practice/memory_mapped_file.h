// The stream over an inheritable shared mapping, and the 4096-byte practice hand-over block that the
// selector writes for the container's terminal control: one archived CPracticeConn followed by zero bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/shared_mapping.h"
#include "practice/practice.h"

namespace practice {

inline constexpr size_t kPracticeConnBlockSize = 4096;

// A fixed-capacity stream over a mapped view: its length is the view size and it never grows.
class CMemoryMappedFile {
  public:
    CMemoryMappedFile() = default;
    ~CMemoryMappedFile() { Close(); }
    CMemoryMappedFile(const CMemoryMappedFile&) = delete;
    CMemoryMappedFile& operator=(const CMemoryMappedFile&) = delete;

    // A new zero-filled mapping of `size` bytes; shows "Unable to open shared file\n" on failure.
    bool Create(size_t size);
    // Adopts an inherited mapping fd and maps `size` bytes of it; shows "Unable to map view of a file"
    // on failure. The fd is owned (closed by Close) from then on.
    bool OpenFromHandle(int fd, size_t size);
    // Writes back `count` bytes from `offset` (0 means to the end); nothing when no view or past the end.
    void FlushView(size_t offset, size_t count);
    void Close();

    bool IsOpen() const { return m_mapping.Valid(); }
    int GetHandle() const { return m_mapping.Valid() ? m_mapping.Fd() : -1; }
    size_t GetLength() const { return m_mapping.Valid() ? m_mapping.Size() : 0; }
    size_t GetPosition() const { return m_position; }
    void SeekToBegin() { m_position = 0; }
    // Copies at most the bytes left before the end of the view; returns how many.
    size_t Read(std::span<uint8_t> out);
    // Writes all of `bytes` or throws ArchiveError: the view cannot grow.
    void Write(std::span<const uint8_t> bytes);
    std::span<const uint8_t> Bytes() const { return m_mapping.Bytes(); }
    // Hands the mapping over (the writer keeps it open until the child has been started).
    platform::SharedMapping Release();

  private:
    platform::SharedMapping m_mapping;
    size_t m_position = 0;
};

// The archive form of the connection; throws ArchiveError when it does not fit the block.
std::vector<uint8_t> EncodePracticeConnBlock(const CPracticeConn& conn);
// Reads a connection from a block (schema 4: BillServID is always present). The bytes after the record
// must be the block's zero fill; anything else is a damaged block and throws ArchiveError.
CPracticeConn DecodePracticeConnBlock(std::span<const uint8_t> block);

// The selector side: a new inheritable 4096-byte mapping holding `conn`, flushed. A connection whose
// archive form exceeds the block is refused with a message in `error`; nothing is mapped then.
std::optional<platform::SharedMapping> WritePracticeConnBlock(const CPracticeConn& conn,
                                                              std::string* error = nullptr);
// The control side: maps the inherited fd (taking it over and closing it), copies the connection out.
std::optional<CPracticeConn> ReadPracticeConnBlock(int fd, std::string* error = nullptr);

}  // namespace practice
