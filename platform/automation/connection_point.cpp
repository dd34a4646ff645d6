// Sink bookkeeping and event delivery of a connection point.
#include "platform/automation/connection_point.h"

#include <algorithm>

namespace platform::automation {

std::shared_ptr<ConnectionPoint> ConnectionPoint::Create(const Guid& iid) {
    return std::make_shared<ConnectionPoint>(Key{}, iid);
}

HRESULT ConnectionPoint::Advise(std::shared_ptr<IDispatch> sink, uint32_t& cookie) {
    cookie = 0;
    if (!sink) {
        return E_POINTER;
    }
    std::lock_guard lock(m_mutex);
    if (m_nextCookie == 0) {
        m_nextCookie = 1;
    }
    cookie = m_nextCookie++;
    m_sinks.emplace_back(cookie, std::move(sink));
    return S_OK;
}

HRESULT ConnectionPoint::Unadvise(uint32_t cookie) {
    std::shared_ptr<IDispatch> released;  // dropped after the lock, in case its destructor calls back
    {
        std::lock_guard lock(m_mutex);
        auto it = std::find_if(m_sinks.begin(), m_sinks.end(),
                               [cookie](const auto& s) { return s.first == cookie; });
        if (it == m_sinks.end()) {
            return CONNECT_E_NOCONNECTION;
        }
        released = std::move(it->second);
        m_sinks.erase(it);
    }
    return S_OK;
}

void ConnectionPoint::UnadviseAll() {
    std::vector<std::pair<uint32_t, std::shared_ptr<IDispatch>>> released;
    {
        std::lock_guard lock(m_mutex);
        released.swap(m_sinks);
    }
}

size_t ConnectionPoint::SinkCount() const {
    std::lock_guard lock(m_mutex);
    return m_sinks.size();
}

size_t ConnectionPoint::Fire(DISPID dispid, std::span<const Variant> args) {
    // A sink may release the source; the point stays alive until the loop is done.
    std::shared_ptr<ConnectionPoint> self = weak_from_this().lock();
    std::vector<std::pair<uint32_t, std::shared_ptr<IDispatch>>> snapshot;
    {
        std::lock_guard lock(m_mutex);
        snapshot = m_sinks;
    }
    size_t called = 0;
    for (auto& [cookie, sink] : snapshot) {
        // Structured bindings cannot be captured by clang 14's lambdas.
        const auto id = cookie;
        {
            std::lock_guard lock(m_mutex);
            const bool advised =
                std::any_of(m_sinks.begin(), m_sinks.end(), [id](const auto& s) { return s.first == id; });
            if (!advised) {
                continue;
            }
        }
        try {
            sink->Invoke(dispid, InvokeKind::Method, args, nullptr, nullptr);
        } catch (...) {
            // A sink's failure is its own; the source and the other sinks go on.
        }
        ++called;
    }
    return called;
}

}  // namespace platform::automation
