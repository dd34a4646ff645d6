// A ready-made automation object over a DispatchTable: components derive from it and fill the table in their
// constructor; event sinks are plain instances built from a table of event handlers. It answers IUnknown,
// IDispatch, the interface ids it is given and, when it has event interfaces, IConnectionPointContainer.
#pragma once

#include <memory>
#include <vector>

#include "platform/automation/connection_point.h"
#include "platform/automation/dispatch.h"

namespace platform::automation {

class DispatchObject : public IDispatch, public IConnectionPointContainer {
  public:
    explicit DispatchObject(DispatchTable table = {}, std::vector<Guid> interfaces = {});
    ~DispatchObject() override;

    HRESULT QueryInterface(const Guid& iid, std::shared_ptr<void>& out) override;
    HRESULT GetIDsOfNames(std::span<const std::string_view> names, std::span<DISPID> ids) override;
    HRESULT Invoke(DISPID dispid, InvokeKind kind, std::span<const Variant> args, Variant* result,
                   InvokeError* error) override;
    HRESULT FindConnectionPoint(const Guid& iid, std::shared_ptr<ConnectionPoint>& out) override;

  protected:
    // Filled by the constructor of a derived object, before the object is handed out.
    DispatchTable& Table() { return m_table; }
    std::shared_ptr<ConnectionPoint> AddConnectionPoint(const Guid& iid);
    // Fires on the point of `iid`; 0 sinks when there is none.
    size_t FireEvent(const Guid& iid, DISPID dispid, std::span<const Variant> args);

  private:
    DispatchTable m_table;
    std::vector<Guid> m_interfaces;
    std::vector<std::shared_ptr<ConnectionPoint>> m_points;
};

}  // namespace platform::automation
