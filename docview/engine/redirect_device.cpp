// The redirect record's entries as a read-only QIODevice.
#include "docview/engine/redirect_device.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace docview {

namespace {

// One host read asks for no more than this.
constexpr qint64 kChunk = 1 << 20;
// A document read into memory may not outgrow what a QByteArray holds.
constexpr qint64 kMemoryMax = std::numeric_limits<int32_t>::max() - kChunk;
constexpr size_t kInfoText = 260;

}  // namespace

RedirectDevice::RedirectDevice(LydvwRedirect* record, QObject* parent) : QIODevice(parent), m_record(record) {}

RedirectDevice::~RedirectDevice() {
    CloseRecord();
}

void RedirectDevice::CloseRecord() {
    LydvwRedirect* record = m_record;
    m_record = nullptr;
    if (record && record->close)
        record->close(record);
}

bool RedirectDevice::HostSeek(int32_t from, qint64 offset) {
    if (!m_record)
        return false;
    if (m_record->seek64)
        return m_record->seek64(m_record, from, offset) == 0;
    if (!m_record->seek || offset < std::numeric_limits<int32_t>::min() ||
        offset > std::numeric_limits<int32_t>::max())
        return false;
    return m_record->seek(m_record, from, static_cast<int32_t>(offset)) == 0;
}

bool RedirectDevice::HostTell(qint64& offset) {
    if (!m_record)
        return false;
    if (m_record->tell64) {
        int64_t value = 0;
        if (m_record->tell64(m_record, &value) != 0)
            return false;
        offset = value;
        return true;
    }
    uint32_t value = 0;
    if (!m_record->tell || m_record->tell(m_record, &value) != 0)
        return false;
    offset = value;
    return true;
}

qint64 RedirectDevice::HostRead(char* data, qint64 size) {
    if (!m_record || !m_record->read)
        return -1;
    uint32_t count = 0;
    const auto asked = static_cast<uint32_t>(std::min(size, kChunk));
    if (m_record->read(m_record, data, asked, &count) != 0)
        return -1;
    // Never believe more than was asked for.
    return std::min<qint64>(count, asked);
}

bool RedirectDevice::open(OpenMode mode) {
    if (!m_record || (mode & WriteOnly) || isOpen())
        return false;
    qint64 end = 0;
    // An end at 0 is also what a host that ignores seeks tells: only reading finds out.
    if (HostSeek(LYDVW_SEEK_END, 0) && HostTell(end) && end > 0 && HostSeek(LYDVW_SEEK_SET, 0)) {
        m_size = end;
        m_hostPos = 0;
    } else {
        // No size to be had: the document as far as the host serves it, read once from its start.
        HostSeek(LYDVW_SEEK_SET, 0);
        m_inMemory = true;
        for (;;) {
            const qint64 held = m_memory.size();
            if (held > kMemoryMax)
                return false;
            m_memory.resize(held + kChunk);
            const qint64 got = HostRead(m_memory.data() + held, kChunk);
            if (got < 0 && held == 0)
                return false;
            m_memory.resize(held + std::max<qint64>(got, 0));
            if (got < kChunk)
                break;
        }
        m_size = m_memory.size();
    }
    return QIODevice::open(ReadOnly | Unbuffered);
}

bool RedirectDevice::seek(qint64 pos) {
    if (pos < 0 || pos > m_size)
        return false;
    return QIODevice::seek(pos);
}

qint64 RedirectDevice::readData(char* data, qint64 maxSize) {
    const qint64 at = pos();
    maxSize = std::min(maxSize, m_size - at);
    if (maxSize <= 0)
        return 0;
    if (m_inMemory) {
        std::memcpy(data, m_memory.constData() + at, static_cast<size_t>(maxSize));
        return maxSize;
    }
    // Only a jump is a host seek: reading on goes on from where the host is.
    if (at != m_hostPos) {
        if (!HostSeek(LYDVW_SEEK_SET, at))
            return -1;
        m_hostPos = at;
    }
    qint64 total = 0;
    while (total < maxSize) {
        const qint64 asked = std::min(maxSize - total, kChunk);
        const qint64 got = HostRead(data + total, asked);
        if (got < 0) {
            if (total == 0)
                return -1;
            break;
        }
        total += got;
        m_hostPos += got;
        if (got < asked)
            break;
    }
    return total;
}

QByteArray RedirectDevice::InfoText(uint32_t id) const {
    if (!m_record || !m_record->get_info)
        return {};
    char text[kInfoText] = {};
    LydvwRedirectInfo info{};
    info.size = sizeof info;
    info.buffer_size = sizeof text;
    info.buffer = reinterpret_cast<uint64_t>(text);
    if (m_record->get_info(m_record, id, &info) != 0)
        return {};
    return QByteArray(text, static_cast<qsizetype>(strnlen(text, sizeof text)));
}

}  // namespace docview
