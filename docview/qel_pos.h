// The position object CQelPos (coclass QelPos): four 32-bit properties a host holds a document position in,
// and the conversions between such an object, passed as a VARIANT, and the engine's position record.
#pragma once

#include <memory>
#include <optional>

#include "docview/lydvw.h"
#include "platform/automation/dispatch_object.h"
#include "platform/automation/variant.h"

namespace docview {

// IQelPos: what QueryInterface with fennick::kIQelPosIid hands out. Its dispatch side has ChangeId, ExtraId,
// Data1 and Data2 (DISPIDs 1 to 4), which are the record's fields in order.
class IQelPos {
  public:
    virtual ~IQelPos() = default;
    virtual LydvwPosition Read() const = 0;
    virtual void Write(const LydvwPosition& position) = 0;
};

class CQelPos final : public platform::automation::DispatchObject, public IQelPos {
  public:
    CQelPos();

    platform::automation::HRESULT QueryInterface(const platform::automation::Guid& iid,
                                                 std::shared_ptr<void>& out) override;
    LydvwPosition Read() const override { return m_position; }
    void Write(const LydvwPosition& position) override { m_position = position; }

  private:
    LydvwPosition m_position{};
};

// A new position object holding `position`.
std::shared_ptr<CQelPos> CreateQelPos(const LydvwPosition& position = {});

// The IQelPos behind a position argument (an IUnknown or IDispatch, by value or by reference, or a VARIANT by
// reference holding one); null for anything else or an object without IQelPos.
std::shared_ptr<IQelPos> PositionObjectOf(const platform::automation::Variant& argument);

}  // namespace docview
