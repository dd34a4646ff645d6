// Interface answers and event points of the table-driven automation object.
#include "platform/automation/dispatch_object.h"

#include <algorithm>

namespace platform::automation {

DispatchObject::DispatchObject(DispatchTable table, std::vector<Guid> interfaces)
    : m_table(std::move(table)), m_interfaces(std::move(interfaces)) {}

DispatchObject::~DispatchObject() {
    // Sinks advised here are released with the source, even when a holder keeps a point.
    for (const auto& point : m_points) {
        point->UnadviseAll();
    }
}

HRESULT DispatchObject::QueryInterface(const Guid& iid, std::shared_ptr<void>& out) {
    const bool dispatchLike = iid == IID_IUnknown || iid == IID_IDispatch ||
                              std::find(m_interfaces.begin(), m_interfaces.end(), iid) != m_interfaces.end();
    const bool container = iid == IID_IConnectionPointContainer && !m_points.empty();
    out.reset();
    if (!dispatchLike && !container) {
        return E_NOINTERFACE;
    }
    std::shared_ptr<IDispatch> self = weak_from_this().lock();
    if (!self) {
        return E_UNEXPECTED;
    }
    if (container) {
        out = std::shared_ptr<void>(self, static_cast<IConnectionPointContainer*>(this));
    } else {
        out = std::shared_ptr<void>(self, static_cast<IDispatch*>(this));
    }
    return S_OK;
}

HRESULT DispatchObject::GetIDsOfNames(std::span<const std::string_view> names, std::span<DISPID> ids) {
    return m_table.GetIDsOfNames(names, ids);
}

HRESULT DispatchObject::Invoke(DISPID dispid, InvokeKind kind, std::span<const Variant> args, Variant* result,
                               InvokeError* error) {
    return m_table.Invoke(dispid, kind, args, result, error);
}

HRESULT DispatchObject::FindConnectionPoint(const Guid& iid, std::shared_ptr<ConnectionPoint>& out) {
    for (const auto& point : m_points) {
        if (point->Iid() == iid) {
            out = point;
            return S_OK;
        }
    }
    out.reset();
    return CONNECT_E_NOCONNECTION;
}

std::shared_ptr<ConnectionPoint> DispatchObject::AddConnectionPoint(const Guid& iid) {
    auto point = ConnectionPoint::Create(iid);
    m_points.push_back(point);
    return point;
}

size_t DispatchObject::FireEvent(const Guid& iid, DISPID dispid, std::span<const Variant> args) {
    // A sink may drop the last outside reference to this object; it lives until the event is done.
    std::shared_ptr<IDispatch> self = weak_from_this().lock();
    for (const auto& point : m_points) {
        if (point->Iid() == iid) {
            return point->Fire(dispid, args);
        }
    }
    return 0;
}

}  // namespace platform::automation
