// The control's position and selection members: position objects to the engine's records and back.
#include <optional>

#include "docview/control_strings.h"
#include "docview/fennick_members.h"
#include "docview/qel_pos.h"
#include "docview/qelctrl.h"

namespace docview {

namespace automation = platform::automation;
using automation::InvokeKind;
using automation::ParamSpec;
using automation::Variant;
using automation::VarType;

bool Cqelctrl::PositionArguments(std::span<const Variant> args, std::span<std::shared_ptr<IQelPos>> objects,
                                 bool needsView) {
    if (needsView && !RequireView())
        return false;
    for (size_t i = 0; i < objects.size(); ++i) {
        objects[i] = PositionObjectOf(args[i]);
        if (!objects[i]) {
            ReportError(2, kErrBadParameter);
            return false;
        }
    }
    return true;
}

int64_t Cqelctrl::GetPosition(uint32_t method, uint32_t fallback, const LydvwPosition& start,
                              LydvwPosition& result) {
    auto record = Sized<LydvwGetPosition>();
    record.method = method;
    record.start = start;
    int64_t answer = m_view->Request(LYDVW_R_GET_POSITION, record);
    if (answer == LYDVW_E_NOT_FOUND && fallback != 0) {
        record.method = fallback;
        record.result = {};
        answer = m_view->Request(LYDVW_R_GET_POSITION, record);
    }
    if (answer == 0)
        result = record.result;
    return answer;
}

int64_t Cqelctrl::SelectionEndOf(bool anchor, LydvwPosition& result) {
    return anchor ? GetPosition(LYDVW_POS_SELECTION_ANCHOR, LYDVW_POS_SELECTION_FIRST, {}, result)
                  : GetPosition(LYDVW_POS_SELECTION_END, LYDVW_POS_SELECTION_LAST, {}, result);
}

bool Cqelctrl::BindPositionMember(const MemberSpec& member) {
    automation::DispatchTable& table = Table();
    const std::string name(member.name);
    const automation::DISPID id = member.dispid;
    // The engine's failure as the call's error; the call itself succeeds.
    const auto failed = [this](int64_t answer) {
        if (answer == 0)
            return false;
        ReportError(2, static_cast<int32_t>(answer));
        return true;
    };
    const auto method = [&](std::vector<ParamSpec> params, VarType result,
                            automation::StatusHandler handler) {
        table.Add({name, id, InvokeKind::Method, std::move(params), result, nullptr, std::move(handler)});
    };
    const ParamSpec position(VarType::Variant, true);

    if (member.name == "CopyPosition") {
        method({position, position}, VarType::Empty, [this](std::span<const Variant> args, Variant&) {
            std::shared_ptr<IQelPos> pos[2];
            if (PositionArguments(args, pos, false))
                pos[0]->Write(pos[1]->Read());
            return automation::S_OK;
        });
    } else if (member.name == "GetActualCount") {
        method({position}, VarType::I4, [this](std::span<const Variant> args, Variant& result) {
            result = Variant::I4(0);
            std::shared_ptr<IQelPos> pos[1];
            if (!PositionArguments(args, pos))
                return automation::S_OK;
            auto record = Sized<LydvwPositionCount>();
            record.kind = LYDVW_POSITION_TO_COUNT;
            record.position = pos[0]->Read();
            if (m_view->Request(LYDVW_R_POSITION_COUNT, record) != 0)
                ReportError(2, kErrBadParameter);
            else
                result = Variant::I4(record.count);
            return automation::S_OK;
        });
    } else if (member.name == "SetActualCount") {
        method({position, VarType::I4}, VarType::Empty,
               [this, failed](std::span<const Variant> args, Variant&) {
                   std::shared_ptr<IQelPos> pos[1];
                   if (!PositionArguments(args, pos))
                       return automation::S_OK;
                   auto record = Sized<LydvwPositionCount>();
                   record.kind = LYDVW_COUNT_TO_POSITION;
                   record.position = pos[0]->Read();
                   record.count = args[1].AsI4();
                   // A refused count leaves the host's position as it was.
                   if (!failed(m_view->Request(LYDVW_R_POSITION_COUNT, record)))
                       pos[0]->Write(record.position);
                   return automation::S_OK;
               });
    } else if (member.name == "FindPosition") {
        method({position, position, VarType::I2}, VarType::I4,
               [this](std::span<const Variant> args, Variant& result) {
                   result = Variant::I4(0);
                   std::shared_ptr<IQelPos> pos[2];
                   if (!PositionArguments(args, pos))
                       return automation::S_OK;
                   LydvwPosition found{};
                   // Finding nothing is an answer, not an error.
                   if (GetPosition(static_cast<uint32_t>(args[2].AsI2()), 0, pos[0]->Read(), found) == 0) {
                       pos[1]->Write(found);
                       result = Variant::I4(1);
                   }
                   return automation::S_OK;
               });
    } else if (member.name == "ComparePositions") {
        method({position, position}, VarType::I2, [this](std::span<const Variant> args, Variant& result) {
            result = Variant::I2(0);
            std::shared_ptr<IQelPos> pos[2];
            if (!PositionArguments(args, pos))
                return automation::S_OK;
            const LydvwPosition a = pos[0]->Read();
            const LydvwPosition b = pos[1]->Read();
            const uint64_t records[2] = {reinterpret_cast<uint64_t>(&a), reinterpret_cast<uint64_t>(&b)};
            const int64_t answer =
                m_view->Request(LYDVW_R_COMPARE_POSITIONS, 0, reinterpret_cast<uint64_t>(records));
            result = Variant::I2(static_cast<int16_t>(answer));
            return automation::S_OK;
        });
    } else if (member.name == "DisplayPosition") {
        method({position, VarType::I2}, VarType::Empty, [this](std::span<const Variant> args, Variant&) {
            std::shared_ptr<IQelPos> pos[1];
            if (!PositionArguments(args, pos))
                return automation::S_OK;
            auto record = Sized<LydvwShowPosition>();
            record.display_options = static_cast<uint32_t>(args[1].AsI2());
            record.position = pos[0]->Read();
            if (m_view->Request(LYDVW_R_SHOW_POSITION, record) != 0)
                ReportError(2, kErrBadParameter);
            return automation::S_OK;
        });
    } else if (member.name == "SetPositionToCurrent" || member.name == "SetPositionToSelection") {
        const bool both = member.name == "SetPositionToSelection";
        std::vector<ParamSpec> params(both ? 2 : 1, position);
        method(std::move(params), VarType::Empty,
               [this, failed, both](std::span<const Variant> args, Variant&) {
                   std::shared_ptr<IQelPos> pos[2];
                   if (!PositionArguments(args, std::span(pos, both ? 2 : 1)))
                       return automation::S_OK;
                   LydvwPosition anchor{};
                   LydvwPosition last{};
                   if (failed(SelectionEndOf(true, anchor)) || (both && failed(SelectionEndOf(false, last))))
                       return automation::S_OK;
                   pos[0]->Write(anchor);
                   if (both)
                       pos[1]->Write(last);
                   return automation::S_OK;
               });
    } else if (member.name == "SelectionAnchor" || member.name == "SelectionEnd") {
        const bool anchor = member.name == "SelectionAnchor";
        table.Add({name,
                   id,
                   InvokeKind::PropertyGet,
                   {},
                   VarType::Unknown,
                   [this, anchor, failed](std::span<const Variant>) {
                       if (!RequireView())
                           return Variant::Unknown(nullptr);
                       LydvwPosition at{};
                       if (GetPosition(anchor ? LYDVW_POS_SELECTION_ANCHOR : LYDVW_POS_SELECTION_END, 0, {},
                                       at) != 0) {
                           // No selection: the document's first place.
                           auto record = Sized<LydvwPositionCount>();
                           record.kind = LYDVW_COUNT_TO_POSITION;
                           if (failed(m_view->Request(LYDVW_R_POSITION_COUNT, record)))
                               return Variant::Unknown(nullptr);
                           at = record.position;
                       }
                       return Variant::Unknown(std::shared_ptr<automation::IDispatch>(CreateQelPos(at)));
                   }});
        table.Add({name,
                   id,
                   InvokeKind::PropertyPut,
                   {position},
                   VarType::Empty,
                   [this, anchor, failed](std::span<const Variant> args) {
                       std::shared_ptr<IQelPos> pos[1];
                       if (!PositionArguments(args, pos))
                           return Variant();
                       const LydvwPosition given = pos[0]->Read();
                       LydvwPosition other = given;
                       // With no other end the selection is empty, at the given place.
                       if (GetPosition(anchor ? LYDVW_POS_SELECTION_END : LYDVW_POS_SELECTION_ANCHOR, 0, {},
                                       other) != 0)
                           other = given;
                       auto record = Sized<LydvwSelection>();
                       record.anchor = anchor ? given : other;
                       record.end = anchor ? other : given;
                       failed(m_view->Request(LYDVW_R_SET_SELECTION, record));
                       m_dirty = true;
                       Refresh();
                       return Variant();
                   }});
    } else {
        return false;
    }
    return true;
}

}  // namespace docview
