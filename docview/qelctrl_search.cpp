// The control's search, zoom and full-screen members: their arguments checked, the search records built in
// the form the engine is asked for, the zoom and full-screen options sent for images and for PDF pages.
#include <cstring>

#include "docview/control_strings.h"
#include "docview/fennick_members.h"
#include "docview/qelctrl.h"
#include "platform/codepage.h"

namespace docview {

namespace automation = platform::automation;
using automation::InvokeKind;
using automation::ParamSpec;
using automation::Variant;
using automation::VarType;

namespace {

// The text field holds 79 characters and the terminator.
constexpr size_t kSearchTextMax = 79;

template <typename Record>
void FillSearch(Record& record, size_t length, int16_t type, int16_t from, int16_t direction) {
    record.size = sizeof record;
    record.length = static_cast<uint16_t>(length);
    record.type = static_cast<uint16_t>(type);
    record.from = static_cast<uint16_t>(from);
    record.direction = static_cast<uint16_t>(direction);
}

}  // namespace

bool Cqelctrl::BindSearchMember(const MemberSpec& member) {
    automation::DispatchTable& table = Table();
    const std::string name(member.name);
    const automation::DISPID id = member.dispid;
    const auto method = [&](std::vector<ParamSpec> params, VarType result,
                            automation::StatusHandler handler) {
        table.Add({name, id, InvokeKind::Method, std::move(params), result, nullptr, std::move(handler)});
    };
    // A refused call answers the id it reported, never 0, which would read as found.
    const auto refuse = [this](Variant& result, int32_t error) {
        ReportError(2, error);
        result = Variant::I2(static_cast<int16_t>(error));
    };

    if (member.name == "Search") {
        method({VarType::I4, VarType::Bstr, VarType::I2, VarType::I2, VarType::I2}, VarType::I2,
               [this, refuse](std::span<const Variant> args, Variant& result) {
                   result = Variant::I2(static_cast<int16_t>(kErrWindowless));
                   if (!RequireView())
                       return automation::S_OK;
                   const bool dialog = args[0].AsI4() != 0;
                   const std::string& text = args[1].AsBstr();
                   const int16_t type = args[2].AsI2();
                   const int16_t from = args[3].AsI2();
                   const int16_t direction = args[4].AsI2();
                   if ((type != 1 && type != 2) || (from != 1 && from != 2 && from != 4) ||
                       (direction != 1 && direction != 2)) {
                       refuse(result, kErrBadParameter);
                       return automation::S_OK;
                   }
                   if (text.size() > kSearchTextMax) {
                       refuse(result, kErrTextTooLong);
                       return automation::S_OK;
                   }
                   int64_t answer = 0;
                   if (!dialog && m_options.Get("SystemUnicode") != 0) {
                       LydvwSearchWide record{};
                       const std::u16string wide = platform::Utf8ToUtf16(platform::Cp1252ToUtf8(text));
                       std::memcpy(record.text, wide.data(), wide.size() * sizeof(char16_t));
                       FillSearch(record, wide.size(), type, from, direction);
                       answer = m_view->Request(LYDVW_R_SEARCH, record);
                   } else {
                       LydvwSearch record{};
                       std::memcpy(record.text, text.data(), text.size());
                       FillSearch(record, text.size(), type, from, direction);
                       answer = m_view->Request(dialog ? LYDVW_R_SEARCH_DIALOG : LYDVW_R_SEARCH, record);
                   }
                   result = Variant::I2(static_cast<int16_t>(answer));
                   return automation::S_OK;
               });
        return true;
    }
    if (member.name == "SearchNext") {
        method({VarType::I2}, VarType::I2, [this, refuse](std::span<const Variant> args, Variant& result) {
            result = Variant::I2(static_cast<int16_t>(kErrWindowless));
            if (!RequireView())
                return automation::S_OK;
            const int16_t direction = args[0].AsI2();
            if (direction < 0 || direction > 2) {
                refuse(result, kErrBadParameter);
                return automation::S_OK;
            }
            result = Variant::I2(
                static_cast<int16_t>(m_view->Request(LYDVW_R_SEARCH_NEXT, static_cast<uint64_t>(direction))));
            return automation::S_OK;
        });
        return true;
    }
    if (member.name == "IMGZoom") {
        method({VarType::I2}, VarType::Empty, [this](std::span<const Variant> args, Variant&) {
            if (!RequireView())
                return automation::S_OK;
            const int16_t type = args[0].AsI2();
            // Below 0 is no zoom type either: refused as above 4 is, before anything reaches the engine.
            if (type < 0 || type > 4)
                ReportError(1, kErrBadParameter);
            if (type == 0) {
                const LydvwZoom zoom{m_options.Get("IMGXZoomPercent"), 100, m_options.Get("IMGYZoomPercent"),
                                     100};
                m_view->SetOption(LYDVW_OPT_BMP_ZOOM, &zoom, sizeof zoom);
                m_view->SetOption(LYDVW_OPT_VEC_ZOOM, &zoom, sizeof zoom);
            } else {
                m_view->SetOption(LYDVW_OPT_BMP_ZOOM_TYPE, &type, sizeof type);
                m_view->SetOption(LYDVW_OPT_VEC_ZOOM_TYPE, &type, sizeof type);
            }
            m_dirty = true;
            Refresh();
            return automation::S_OK;
        });
        return true;
    }
    if (member.name == "IMGShowFullScreen") {
        method({VarType::I4}, VarType::Empty, [this](std::span<const Variant> args, Variant&) {
            if (!RequireView())
                return automation::S_OK;
            const int32_t show = args[0].AsI4() != 0 ? 1 : 0;
            m_view->SetOption(LYDVW_OPT_BMP_FULL_SCREEN, &show, sizeof show);
            m_view->SetOption(LYDVW_OPT_VEC_FULL_SCREEN, &show, sizeof show);
            return automation::S_OK;
        });
        return true;
    }
    return false;
}

}  // namespace docview
