// The archive byte forms, writer and bounded reader.
#include "practice/archive.h"

#include "platform/codepage.h"

namespace practice {

namespace {
constexpr uint16_t kNewClassTag = 0xFFFF;
constexpr uint16_t kWideStringMarker = 0xFFFE;
// The framework refuses class names of 64 characters and more.
constexpr size_t kMaxClassName = 63;
}  // namespace

void ArchiveWriter::WriteU8(uint8_t value) {
    m_bytes.push_back(value);
}

void ArchiveWriter::WriteU16(uint16_t value) {
    m_bytes.push_back(static_cast<uint8_t>(value));
    m_bytes.push_back(static_cast<uint8_t>(value >> 8));
}

void ArchiveWriter::WriteU32(uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        m_bytes.push_back(static_cast<uint8_t>(value >> shift));
    }
}

void ArchiveWriter::WriteBytes(std::span<const uint8_t> bytes) {
    m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
}

void ArchiveWriter::WriteRaw(std::string_view text) {
    m_bytes.insert(m_bytes.end(), text.begin(), text.end());
}

void ArchiveWriter::WriteString(std::string_view text) {
    const size_t length = text.size();
    if (length < 0xFF) {
        WriteU8(static_cast<uint8_t>(length));
    } else if (length < 0xFFFE) {
        WriteU8(0xFF);
        WriteU16(static_cast<uint16_t>(length));
    } else {
        if (length > 0xFFFFFFFFu) {
            throw ArchiveError("string too long for the archive form");
        }
        WriteU8(0xFF);
        WriteU16(0xFFFF);
        WriteU32(static_cast<uint32_t>(length));
    }
    WriteRaw(text);
}

void ArchiveWriter::WriteCount(size_t count) {
    if (count < 0xFFFF) {
        WriteU16(static_cast<uint16_t>(count));
    } else {
        if (count > 0xFFFFFFFFu) {
            throw ArchiveError("element count too large for the archive form");
        }
        WriteU16(0xFFFF);
        WriteU32(static_cast<uint32_t>(count));
    }
}

void ArchiveWriter::WriteNewClass(std::string_view className, uint16_t schema) {
    WriteU16(kNewClassTag);
    WriteU16(schema);
    WriteU16(static_cast<uint16_t>(className.size()));
    WriteRaw(className);
}

void ArchiveReader::Need(size_t count, std::string_view what) const {
    if (count > Remaining()) {
        throw ArchiveError("archive ends early: " + std::string(what) + " needs " + std::to_string(count) +
                           " bytes at offset " + std::to_string(m_pos) + ", " + std::to_string(Remaining()) +
                           " left");
    }
}

uint8_t ArchiveReader::ReadU8() {
    Need(1, "byte");
    return m_bytes[m_pos++];
}

uint16_t ArchiveReader::ReadU16() {
    Need(2, "16-bit value");
    const uint16_t value = static_cast<uint16_t>(m_bytes[m_pos] | (m_bytes[m_pos + 1] << 8));
    m_pos += 2;
    return value;
}

uint32_t ArchiveReader::ReadU32() {
    Need(4, "32-bit value");
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = (value << 8) | m_bytes[m_pos + static_cast<size_t>(i)];
    }
    m_pos += 4;
    return value;
}

std::span<const uint8_t> ArchiveReader::ReadBytes(size_t count) {
    Need(count, "data");
    auto result = m_bytes.subspan(m_pos, count);
    m_pos += count;
    return result;
}

std::string ArchiveReader::ReadString() {
    bool wide = false;
    uint64_t length = ReadU8();
    if (length == 0xFF) {
        uint16_t word = ReadU16();
        if (word == kWideStringMarker) {
            // 16-bit characters: the length prefix starts over.
            wide = true;
            length = ReadU8();
            if (length == 0xFF) {
                word = ReadU16();
            }
        }
        if (length == 0xFF) {
            length = word;
            if (word == 0xFFFF) {
                length = ReadU32();
            }
        }
    }
    const uint64_t byteCount = wide ? length * 2 : length;
    if (byteCount > Remaining()) {
        throw ArchiveError("archive ends early: string of " + std::to_string(length) +
                           " characters at offset " + std::to_string(m_pos) + ", " +
                           std::to_string(Remaining()) + " bytes left");
    }
    auto bytes = ReadBytes(static_cast<size_t>(byteCount));
    if (!wide) {
        return std::string(bytes.begin(), bytes.end());
    }
    std::u16string text(static_cast<size_t>(length), u'\0');
    for (size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
    return platform::Utf16LeToCp1252(text);
}

size_t ArchiveReader::CheckCount(uint64_t count, size_t minElementBytes) const {
    if (minElementBytes > 0 && count > Remaining() / minElementBytes) {
        throw ArchiveError("damaged archive: count " + std::to_string(count) + " at offset " +
                           std::to_string(m_pos) + " cannot fit in the " + std::to_string(Remaining()) +
                           " bytes left");
    }
    return static_cast<size_t>(count);
}

size_t ArchiveReader::ReadCount(size_t minElementBytes) {
    uint64_t count = ReadU16();
    if (count == 0xFFFF) {
        count = ReadU32();
    }
    return CheckCount(count, minElementBytes);
}

size_t ArchiveReader::ReadI32Count(size_t minElementBytes) {
    const int32_t count = ReadI32();
    if (count < 0) {
        throw ArchiveError("damaged archive: negative count " + std::to_string(count) + " at offset " +
                           std::to_string(m_pos - 4));
    }
    return CheckCount(static_cast<uint64_t>(count), minElementBytes);
}

ClassRecord ArchiveReader::ReadNewClass() {
    const uint16_t tag = ReadU16();
    if (tag != kNewClassTag) {
        throw ArchiveError("no class record at offset " + std::to_string(m_pos - 2));
    }
    ClassRecord record;
    record.schema = ReadU16();
    const uint16_t length = ReadU16();
    if (length > kMaxClassName) {
        throw ArchiveError("damaged class record: name of " + std::to_string(length) + " characters");
    }
    auto name = ReadBytes(length);
    record.name.assign(name.begin(), name.end());
    return record;
}

void ArchiveReader::ExpectEnd(std::string_view what) const {
    if (!AtEnd()) {
        throw ArchiveError(std::string(what) + ": " + std::to_string(Remaining()) +
                           " unexpected bytes after offset " + std::to_string(m_pos));
    }
}

}  // namespace practice
