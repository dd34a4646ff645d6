// Events: a source keeps one ConnectionPoint per event interface; sinks advise with a dispatch object and get
// every fired event through their Invoke. Firing never holds the lock while a sink runs, so a sink may
// advise, unadvise or drop the last reference to another sink (or itself) from inside an event.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <utility>
#include <vector>

#include "platform/automation/dispatch.h"

namespace platform::automation {

class ConnectionPoint : public std::enable_shared_from_this<ConnectionPoint> {
    struct Key {};

  public:
    static std::shared_ptr<ConnectionPoint> Create(const Guid& iid);
    ConnectionPoint(Key, const Guid& iid) : m_iid(iid) {}

    const Guid& Iid() const { return m_iid; }

    // The point keeps the sink alive until Unadvise. Cookies are never 0. A null sink: E_POINTER.
    HRESULT Advise(std::shared_ptr<IDispatch> sink, uint32_t& cookie);
    // CONNECT_E_NOCONNECTION for a cookie that is not advised.
    HRESULT Unadvise(uint32_t cookie);
    void UnadviseAll();
    size_t SinkCount() const;

    // Invokes `dispid` as a method on every sink advised when the call starts that is still advised when its
    // turn comes, in the order they advised. A sink's result or failure does not stop the others. Returns the
    // number of sinks called.
    size_t Fire(DISPID dispid, std::span<const Variant> args);

  private:
    const Guid m_iid;
    mutable std::mutex m_mutex;
    std::vector<std::pair<uint32_t, std::shared_ptr<IDispatch>>> m_sinks;
    uint32_t m_nextCookie = 1;
};

// Answered by objects that fire events (QueryInterface with IID_IConnectionPointContainer).
class IConnectionPointContainer {
  public:
    virtual ~IConnectionPointContainer() = default;
    // CONNECT_E_NOCONNECTION when the object has no such event interface.
    virtual HRESULT FindConnectionPoint(const Guid& iid, std::shared_ptr<ConnectionPoint>& out) = 0;
};

}  // namespace platform::automation
