// The process's handle table for drawing objects.
#include "platform/automation/handle_table.h"

namespace platform::automation {

HandleTable& HandleTable::Process() {
    static HandleTable table;
    return table;
}

uint32_t HandleTable::Add(HandleKind kind, std::shared_ptr<void> object) {
    if (!object) {
        return 0;
    }
    std::lock_guard lock(m_mutex);
    constexpr uint32_t kLast = 0x7FFFFFFF;
    // At most one lap over the range; the table never holds that many objects in practice.
    for (uint32_t tries = 0; tries < kLast; ++tries) {
        const uint32_t handle = m_next;
        m_next = m_next >= kLast ? 1 : m_next + 1;
        if (m_entries.emplace(handle, Entry{kind, object}).second) {
            return handle;
        }
    }
    return 0;
}

bool HandleTable::Remove(uint32_t handle) {
    std::shared_ptr<void> released;  // freed outside the lock: a destructor may use the table
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_entries.find(handle);
        if (it == m_entries.end()) {
            return false;
        }
        released = std::move(it->second.object);
        m_entries.erase(it);
    }
    return true;
}

std::shared_ptr<void> HandleTable::Find(uint32_t handle, HandleKind kind) const {
    std::lock_guard lock(m_mutex);
    const auto it = m_entries.find(handle);
    if (it == m_entries.end() || it->second.kind != kind) {
        return nullptr;
    }
    return it->second.object;
}

std::optional<HandleKind> HandleTable::KindOf(uint32_t handle) const {
    std::lock_guard lock(m_mutex);
    const auto it = m_entries.find(handle);
    if (it == m_entries.end()) {
        return std::nullopt;
    }
    return it->second.kind;
}

size_t HandleTable::Size() const {
    std::lock_guard lock(m_mutex);
    return m_entries.size();
}

}  // namespace platform::automation
