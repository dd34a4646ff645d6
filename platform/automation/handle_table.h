// Handles for in-process drawing objects: a host gives the control a printer, a paint device or an image as
// a 32-bit value (a device-context property, a picture's Handle), so the object sits in one process-wide
// table under a number and is found again by number and kind. The table stores untyped pointers and never
// sees the toolkit; the Qt floor above types them.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

namespace platform::automation {

enum class HandleKind : uint8_t { Printer = 1, PaintDevice = 2, Image = 3, Picture = 4 };

class HandleTable {
  public:
    // The table of this process.
    static HandleTable& Process();

    // A fresh handle for `object`, which the table keeps alive until Remove; 0 (never a handle) for a null
    // object. Handles are positive as a signed 32-bit value, since hosts pass them as VT_I4, and a removed
    // one is not handed out again until the counter wraps. An object the caller owns elsewhere goes in
    // through a shared pointer that does not delete it.
    uint32_t Add(HandleKind kind, std::shared_ptr<void> object);
    // False when the handle is not in the table.
    bool Remove(uint32_t handle);
    // The object under `handle` when it is of `kind`; null for an unknown handle or another kind.
    std::shared_ptr<void> Find(uint32_t handle, HandleKind kind) const;
    std::optional<HandleKind> KindOf(uint32_t handle) const;
    size_t Size() const;

  private:
    struct Entry {
        HandleKind kind;
        std::shared_ptr<void> object;
    };
    mutable std::mutex m_mutex;
    std::map<uint32_t, Entry> m_entries;
    uint32_t m_next = 0x100;
};

// One handle owned: removed from the table when this goes.
class ScopedHandle {
  public:
    ScopedHandle() = default;
    ScopedHandle(HandleKind kind, std::shared_ptr<void> object)
        : m_handle(HandleTable::Process().Add(kind, std::move(object))) {}
    ~ScopedHandle() { Reset(); }
    ScopedHandle(ScopedHandle&& other) noexcept : m_handle(other.m_handle) { other.m_handle = 0; }
    ScopedHandle& operator=(ScopedHandle&& other) noexcept {
        if (this != &other) {
            Reset();
            m_handle = other.m_handle;
            other.m_handle = 0;
        }
        return *this;
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;

    uint32_t Get() const { return m_handle; }
    void Reset() {
        if (m_handle != 0) {
            HandleTable::Process().Remove(m_handle);
            m_handle = 0;
        }
    }

  private:
    uint32_t m_handle = 0;
};

}  // namespace platform::automation
