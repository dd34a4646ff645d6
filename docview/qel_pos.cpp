#include "docview/qel_pos.h"

#include "docview/fennick_contract.h"

namespace docview {

namespace automation = platform::automation;
using automation::Variant;
using automation::VarType;

CQelPos::CQelPos() {
    struct Field {
        const char* name;
        int32_t LydvwPosition::*member;
    };
    static constexpr Field kFields[] = {{"ChangeId", &LydvwPosition::change_id},
                                        {"ExtraId", &LydvwPosition::extra_id},
                                        {"Data1", &LydvwPosition::page},
                                        {"Data2", &LydvwPosition::offset}};
    automation::DISPID id = 1;
    for (const Field& field : kFields) {
        int32_t LydvwPosition::*member = field.member;
        Table().Property(
            field.name, id++, VarType::I4, [this, member] { return Variant::I4(m_position.*member); },
            [this, member](const Variant& value) { m_position.*member = value.AsI4(); });
    }
}

automation::HRESULT CQelPos::QueryInterface(const automation::Guid& iid, std::shared_ptr<void>& out) {
    if (iid == fennick::kIQelPosIid) {
        out = std::shared_ptr<void>(shared_from_this(), static_cast<IQelPos*>(this));
        return automation::S_OK;
    }
    return DispatchObject::QueryInterface(iid, out);
}

std::shared_ptr<CQelPos> CreateQelPos(const LydvwPosition& position) {
    auto object = std::make_shared<CQelPos>();
    object->Write(position);
    return object;
}

std::shared_ptr<IQelPos> PositionObjectOf(const Variant& argument) {
    return automation::QueryObjectAs<IQelPos>(argument, fennick::kIQelPosIid);
}

}  // namespace docview
