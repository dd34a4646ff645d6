// Byte forms of the framework archive that practice files and the hand-over block consist of: little-endian
// integers, length-prefixed strings, element counts and the "new class" record. The reader never trusts a
// length: every count and size is checked against the bytes that remain.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace practice {

// Damaged, truncated or otherwise unreadable archive data.
class ArchiveError : public std::runtime_error {
  public:
    explicit ArchiveError(const std::string& message) : std::runtime_error(message) {}
};

class ArchiveWriter {
  public:
    void WriteU8(uint8_t value);
    void WriteU16(uint16_t value);
    void WriteU32(uint32_t value);
    void WriteI32(int32_t value) { WriteU32(static_cast<uint32_t>(value)); }
    void WriteBytes(std::span<const uint8_t> bytes);
    void WriteRaw(std::string_view text);
    // Length prefix (1, 3 or 7 bytes) and the 8-bit characters.
    void WriteString(std::string_view text);
    // 16 bits below 0xFFFF, else 0xFFFF and 32 bits.
    void WriteCount(size_t count);
    // The class record as the framework writes a class the first time: tag 0xFFFF, schema, name length, name.
    void WriteNewClass(std::string_view className, uint16_t schema);

    const std::vector<uint8_t>& Bytes() const { return m_bytes; }
    size_t Size() const { return m_bytes.size(); }
    std::vector<uint8_t> Take() { return std::move(m_bytes); }

  private:
    std::vector<uint8_t> m_bytes;
};

struct ClassRecord {
    uint16_t schema = 0;
    std::string name;
};

class ArchiveReader {
  public:
    explicit ArchiveReader(std::span<const uint8_t> bytes) : m_bytes(bytes) {}

    uint8_t ReadU8();
    uint16_t ReadU16();
    uint32_t ReadU32();
    int32_t ReadI32() { return static_cast<int32_t>(ReadU32()); }
    // Reads a string; the 16-bit character form is converted to Windows-1252.
    std::string ReadString();
    // Reads an element count and checks that `minElementBytes` per element can still follow.
    size_t ReadCount(size_t minElementBytes);
    // A count stored as int32 (legacy practice counts); negative or too large for the rest is an error.
    size_t ReadI32Count(size_t minElementBytes);
    ClassRecord ReadNewClass();
    std::span<const uint8_t> ReadBytes(size_t count);

    size_t Position() const { return m_pos; }
    size_t Remaining() const { return m_bytes.size() - m_pos; }
    bool AtEnd() const { return m_pos == m_bytes.size(); }
    // Throws unless every byte was consumed: a reader that stops early has not understood the data.
    void ExpectEnd(std::string_view what) const;

  private:
    void Need(size_t count, std::string_view what) const;
    size_t CheckCount(uint64_t count, size_t minElementBytes) const;

    std::span<const uint8_t> m_bytes;
    size_t m_pos = 0;
};

}  // namespace practice
