// Shared-mapping stream and the practice hand-over block.
#include "practice/memory_mapped_file.h"

#include <algorithm>
#include <cstring>

#include "platform/user_prompt.h"

namespace practice {

namespace {
void ShowMessage(std::string text) {
    platform::DefaultPrompt().Message(std::move(text), platform::PromptIcon::Exclamation);
}
}  // namespace

bool CMemoryMappedFile::Create(size_t size) {
    Close();
    std::string error;
    auto mapping = platform::SharedMapping::Create(size, &error);
    if (!mapping) {
        ShowMessage("Unable to open shared file\n");
        return false;
    }
    m_mapping = std::move(*mapping);
    m_position = 0;
    return true;
}

bool CMemoryMappedFile::OpenFromHandle(int fd, size_t size) {
    Close();
    std::string error;
    auto mapping = platform::SharedMapping::OpenFd(fd, size, /*adopt=*/true, &error);
    if (!mapping) {
        ShowMessage("Unable to map view of a file");
        return false;
    }
    m_mapping = std::move(*mapping);
    m_position = 0;
    return true;
}

void CMemoryMappedFile::FlushView(size_t offset, size_t count) {
    if (m_mapping.Valid() && offset < m_mapping.Size()) {
        m_mapping.Flush(offset, count);
    }
}

void CMemoryMappedFile::Close() {
    m_mapping.Close();
    m_position = 0;
}

size_t CMemoryMappedFile::Read(std::span<uint8_t> out) {
    const size_t count = std::min(out.size(), GetLength() - m_position);
    if (count > 0) {
        std::memcpy(out.data(), m_mapping.Data() + m_position, count);
        m_position += count;
    }
    return count;
}

void CMemoryMappedFile::Write(std::span<const uint8_t> bytes) {
    if (bytes.size() > GetLength() - m_position) {
        throw ArchiveError("the shared block has room for " + std::to_string(GetLength() - m_position) +
                           " more bytes, " + std::to_string(bytes.size()) + " were written");
    }
    if (!bytes.empty()) {
        std::memcpy(m_mapping.Data() + m_position, bytes.data(), bytes.size());
        m_position += bytes.size();
    }
}

platform::SharedMapping CMemoryMappedFile::Release() {
    m_position = 0;
    return std::move(m_mapping);
}

std::vector<uint8_t> EncodePracticeConnBlock(const CPracticeConn& conn) {
    ArchiveWriter writer;
    conn.Serialize(writer);
    if (writer.Size() > kPracticeConnBlockSize) {
        throw ArchiveError("the practice needs " + std::to_string(writer.Size()) +
                           " bytes to hand over, more than the " + std::to_string(kPracticeConnBlockSize) +
                           "-byte block holds");
    }
    return writer.Take();
}

CPracticeConn DecodePracticeConnBlock(std::span<const uint8_t> block) {
    CPracticeConn conn;
    // After constructing: the constructor resets the class-wide version.
    CPractice::s_nSchemaVersion = 4;
    ArchiveReader reader(block);
    conn.Serialize(reader);
    auto rest = reader.ReadBytes(reader.Remaining());
    if (std::any_of(rest.begin(), rest.end(), [](uint8_t b) { return b != 0; })) {
        throw ArchiveError("damaged hand-over block: data after the practice at offset " +
                           std::to_string(block.size() - rest.size()));
    }
    return conn;
}

std::optional<platform::SharedMapping> WritePracticeConnBlock(const CPracticeConn& conn, std::string* error) {
    std::vector<uint8_t> bytes;
    try {
        bytes = EncodePracticeConnBlock(conn);
    } catch (const ArchiveError& e) {
        if (error != nullptr) {
            *error = e.what();
        }
        return std::nullopt;
    }
    CMemoryMappedFile stream;
    if (!stream.Create(kPracticeConnBlockSize)) {
        if (error != nullptr) {
            *error = "Unable to open shared file";
        }
        return std::nullopt;
    }
    stream.Write(bytes);
    stream.FlushView(0, 0);
    return stream.Release();
}

std::optional<CPracticeConn> ReadPracticeConnBlock(int fd, std::string* error) {
    CMemoryMappedFile stream;
    if (!stream.OpenFromHandle(fd, kPracticeConnBlockSize)) {
        if (error != nullptr) {
            *error = "Unable to map view of a file";
        }
        return std::nullopt;
    }
    // Copy out first, then let the mapping and its fd go.
    std::vector<uint8_t> block(kPracticeConnBlockSize);
    stream.Read(block);
    stream.Close();
    try {
        return DecodePracticeConnBlock(block);
    } catch (const ArchiveError& e) {
        if (error != nullptr) {
            *error = e.what();
        }
        return std::nullopt;
    }
}

}  // namespace practice
