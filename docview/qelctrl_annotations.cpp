// The control's annotation members: highlights, hidden ranges, inserted text and pictures handed to the
// engine with a token for their host data, and the current annotation that adding and finding set.
#include <array>
#include <cstring>
#include <optional>

#include "docview/control_strings.h"
#include "docview/fennick_members.h"
#include "docview/member_entries.h"
#include "docview/qel_pos.h"
#include "docview/qelctrl.h"
#include "platform/codepage.h"

namespace docview {

namespace automation = platform::automation;
using automation::ParamSpec;
using automation::Variant;
using automation::VarType;

namespace {

// A VARIANT argument left out by the host.
bool Omitted(const Variant& value) {
    Variant plain;
    return automation::Failed(value.Dereference(plain)) || plain.IsEmpty() || plain.Type() == VarType::Error;
}

// The id criterion of a find by `iMask`; nullopt for a mask the control does not know.
struct Criterion {
    uint32_t value;
    uint32_t match;
};
std::optional<Criterion> CriterionOf(int16_t mask, uint32_t id) {
    switch (mask) {
        case 0:
            return Criterion{0, LYDVW_MATCH_MASK};
        case 1:
            return Criterion{id, LYDVW_MATCH_MASK};
        case 2:
            return Criterion{id, LYDVW_MATCH_EXACT};
        case 3:
            return Criterion{kAnnotationEngineKindA, LYDVW_MATCH_MASK};
        case 4:
            return Criterion{kAnnotationEngineKindB, LYDVW_MATCH_MASK};
        default:
            return std::nullopt;
    }
}

// iFindType 0 to 3 as the engine's find types 1 to 4.
std::optional<uint32_t> FindTypeOf(int16_t findType) {
    if (findType < 0 || findType > 3)
        return std::nullopt;
    return static_cast<uint32_t>(findType) + 1;
}

// The picture object behind a `Picture` argument and what it says of itself; nullopt when it is none or
// of no type a picture annotation takes.
std::optional<PictureSource> PictureSourceOf(const Variant& argument) {
    Variant plain;
    if (automation::Failed(argument.Dereference(plain)))
        return std::nullopt;
    std::shared_ptr<automation::IDispatch> object = plain.AsDispatch();
    if (!object) {
        if (std::shared_ptr<automation::IUnknown> unknown = plain.AsUnknown()) {
            std::shared_ptr<void> out;
            if (automation::Succeeded(unknown->QueryInterface(automation::IID_IDispatch, out)))
                object = std::static_pointer_cast<automation::IDispatch>(out);
        }
    }
    if (!object)
        return std::nullopt;
    const auto type = GetObjectMember(*object, "Type", VarType::I2);
    const auto handle = GetObjectMember(*object, "Handle", VarType::I4);
    if (!type || !handle || type->AsI2() < 1 || type->AsI2() > 4)
        return std::nullopt;
    PictureSource source;
    source.type = type->AsI2();
    source.handle = static_cast<uint32_t>(handle->AsI4());
    if (const auto width = GetObjectMember(*object, "Width", VarType::I4))
        source.widthHimetric = width->AsI4();
    if (const auto height = GetObjectMember(*object, "Height", VarType::I4))
        source.heightHimetric = height->AsI4();
    return source;
}

}  // namespace

template <typename Record>
void Cqelctrl::AddAnnotation(uint32_t kind, Record& record, const Variant& data, const LydvwPosition& start,
                             const LydvwPosition& end) {
    record.token = m_annotations.Add(record.id, data);
    const int64_t answer = m_view->Request(LYDVW_R_ADD_ANNOTATION, kind, reinterpret_cast<uint64_t>(&record));
    if (answer != 0) {
        // The engine holds nothing that names the entry: it goes, so a refused add leaves no trace.
        m_annotations.Drop(record.token);
        ReportError(2, static_cast<int32_t>(answer));
        return;
    }
    const AnnotationTable::Entry* entry = m_annotations.ByToken(record.token);
    m_current = CurrentAnnotation{static_cast<int32_t>(record.id), 0, entry ? entry->data : Variant::UI1(0),
                                  start, end};
}

int64_t Cqelctrl::FindCurrent(uint32_t findType, uint32_t criterion, uint32_t match,
                              const LydvwPosition& search) {
    auto record = Sized<LydvwFindAnnotation>();
    record.find_type = findType;
    record.search = search;
    record.criterion = criterion;
    record.match = match;
    const int64_t answer = m_view->Request(LYDVW_R_FIND_ANNOTATION, record);
    if (answer != 0)
        return answer;
    CurrentAnnotation found{static_cast<int32_t>(record.id), 0, Variant::UI1(0), record.start, record.end};
    bool haveData = false;
    if (IsEngineKind(record.id)) {
        // The engine's own annotations carry their data in the engine; read within the buffer only.
        std::array<char, LYDVW_ANNOTATION_DATA_MAX> buffer{};
        auto data = Sized<LydvwAnnotationData>();
        data.id = record.id;
        data.buffer_size = static_cast<uint32_t>(buffer.size());
        data.buffer = reinterpret_cast<uint64_t>(buffer.data());
        if (m_view->Request(LYDVW_R_ANNOTATION_DATA, data) == 0) {
            found.data = Variant::Bstr(platform::Utf8ToCp1252(ReadBounded(buffer)));
            found.dataType = data.has_type ? static_cast<int16_t>(data.data_type) : int16_t{0};
            haveData = true;
        }
    }
    // The host's data is found by the token alone: an entry cleared meanwhile gives none, never a stale copy.
    if (!haveData && record.token != 0) {
        if (const AnnotationTable::Entry* entry = m_annotations.ByToken(record.token))
            found.data = entry->data;
    }
    m_current = std::move(found);
    return 0;
}

int64_t Cqelctrl::AnnotationNotification(uint64_t lparam) {
    const auto* record = reinterpret_cast<const LydvwAnnotationEvent*>(lparam);
    if (!record || record->size < sizeof *record)
        return 0;
    // The clicked annotation becomes current; the event carries its data, or an 8-bit 0 when the engine
    // no longer finds it.
    Variant data = Variant::UI1(0);
    if (HasView() && FindCurrent(LYDVW_FIND_FIRST, record->id, LYDVW_MATCH_EXACT, {}) == 0)
        data = m_current.data;
    Fire(fennick::Event::AnnotationEvent, {Variant::I4(static_cast<int32_t>(record->code)),
                                           Variant::I4(static_cast<int32_t>(record->id)), std::move(data)});
    return 0;
}

bool Cqelctrl::BindAnnotationMember(const MemberSpec& member) {
    MemberEntries entries(Table(), member);
    const auto method = [&](VarType result, automation::StatusHandler handler) {
        std::vector<ParamSpec> params;
        for (size_t i = 0; i < member.ParamCount(); ++i) {
            switch (member.params[i]) {
                case Type::I2:
                    params.emplace_back(VarType::I2);
                    break;
                case Type::Variant:
                    params.emplace_back(VarType::Variant, true);
                    break;
                default:
                    params.emplace_back(VarType::I4);
                    break;
            }
        }
        entries.Method(std::move(params), result, std::move(handler));
    };
    const auto get = [&](VarType type, std::function<Variant()> getter) {
        entries.Get(type, std::move(getter));
    };
    // A member's bad argument: reported, and the call succeeds.
    const auto invalid = [this] {
        ReportError(2, kErrBadParameter);
        return automation::S_OK;
    };
    const auto position = [](const Variant& argument) -> std::optional<LydvwPosition> {
        const std::shared_ptr<IQelPos> object = PositionObjectOf(argument);
        if (!object)
            return std::nullopt;
        return object->Read();
    };

    if (member.name == "HiliteStyle") {
        method(VarType::I4, [this, invalid](std::span<const Variant> args, Variant& result) {
            result = Variant::I4(0);
            if (!RequireView())
                return automation::S_OK;
            const auto fore = AutomationColourToRgb(static_cast<uint32_t>(args[2].AsI4()));
            const auto back = AutomationColourToRgb(static_cast<uint32_t>(args[3].AsI4()));
            if (!fore || !back)
                return invalid();
            auto record = Sized<LydvwHighlightStyle>();
            record.style = args[0].AsI2();
            record.options = static_cast<uint32_t>(args[1].AsI4());
            record.foreground = *fore;
            record.background = *back;
            record.attributes = static_cast<uint16_t>(args[4].AsI2());
            if (const int64_t answer = m_view->Request(LYDVW_R_HIGHLIGHT_STYLE, record))
                ReportError(2, static_cast<int32_t>(answer));
            return automation::S_OK;
        });
    } else if (member.name == "AddAnnotationHilite") {
        method(VarType::Empty, [this, invalid, position](std::span<const Variant> args, Variant&) {
            if (!RequireView())
                return automation::S_OK;
            const auto style = HiliteStyleWord(args[1].AsI2(), args[3].AsI2(), args[4].AsI2());
            const auto start = position(args[6]);
            const auto end = position(args[7]);
            if (!style || !start || !end)
                return invalid();
            auto record = Sized<LydvwAddHighlight>();
            record.id = static_cast<uint32_t>(args[0].AsI4());
            record.start = *start;
            record.end = *end;
            record.events = static_cast<uint32_t>(static_cast<uint16_t>(args[2].AsI2()));
            record.style = *style;
            AddAnnotation(LYDVW_ANN_HIGHLIGHT, record, args[5], *start, *end);
            return automation::S_OK;
        });
    } else if (member.name == "AddAnnotationHideText") {
        method(VarType::Empty, [this, invalid, position](std::span<const Variant> args, Variant&) {
            if (!RequireView())
                return automation::S_OK;
            const auto start = position(args[2]);
            const auto end = position(args[3]);
            if (!start || !end)
                return invalid();
            auto record = Sized<LydvwAddHidden>();
            record.id = static_cast<uint32_t>(args[0].AsI4());
            record.start = *start;
            record.end = *end;
            AddAnnotation(LYDVW_ANN_HIDE, record, args[1], *start, *end);
            return automation::S_OK;
        });
    } else if (member.name == "AddAnnotationInsertText") {
        method(VarType::Empty, [this, invalid, position](std::span<const Variant> args, Variant&) {
            if (!RequireView())
                return automation::S_OK;
            const auto at = position(args[2]);
            Variant text;
            if (!at || automation::Failed(args[3].Dereference(text)) || text.Type() != VarType::Bstr)
                return invalid();
            const std::u16string wide = platform::Utf8ToUtf16(platform::Cp1252ToUtf8(text.AsBstr()));
            if (wide.size() > LYDVW_INSERT_TEXT_MAX)
                return invalid();
            auto record = Sized<LydvwAddInsertText>();
            record.id = static_cast<uint32_t>(args[0].AsI4());
            record.position = *at;
            record.length = static_cast<uint32_t>(wide.size());
            record.text = reinterpret_cast<uint64_t>(wide.data());
            AddAnnotation(LYDVW_ANN_INSERT, record, args[1], *at, *at);
            return automation::S_OK;
        });
    } else if (member.name == "AddAnnotationPicture") {
        method(VarType::Empty, [this, invalid, position](std::span<const Variant> args, Variant&) {
            if (!RequireView())
                return automation::S_OK;
            const auto source = PictureSourceOf(args[1]);
            const auto at = position(args[4]);
            if (!source || !at)
                return invalid();
            // The copy lives for the request: the engine keeps its own.
            std::optional<PictureBits> bits = m_site.pictureBits ? m_site.pictureBits(*source) : std::nullopt;
            if (!bits || bits->width == 0 || bits->height == 0 || bits->width > LYDVW_PICTURE_SIDE_MAX ||
                bits->height > LYDVW_PICTURE_SIDE_MAX ||
                bits->argb.size() != size_t{bits->width} * bits->height)
                return invalid();
            auto record = Sized<LydvwAddPicture>();
            record.id = static_cast<uint32_t>(args[0].AsI4());
            record.position = *at;
            record.events = static_cast<uint32_t>(static_cast<uint16_t>(args[2].AsI2()));
            record.width = bits->width;
            record.height = bits->height;
            record.pixels = reinterpret_cast<uint64_t>(bits->argb.data());
            AddAnnotation(bits->icon ? LYDVW_ANN_ICON : LYDVW_ANN_BITMAP, record, args[3], *at, *at);
            return automation::S_OK;
        });
    } else if (member.name == "ClearAnnotations") {
        method(VarType::Empty, [this, invalid](std::span<const Variant> args, Variant&) {
            if (!RequireView())
                return automation::S_OK;
            const int16_t mode = args[0].AsI2();
            const auto removeId = static_cast<uint32_t>(args[1].AsI4());
            static constexpr uint64_t kModes[] = {0, LYDVW_MATCH_MASK, LYDVW_MATCH_EXACT};
            if (mode < 1 || mode > 3)
                return invalid();
            if (const int64_t answer =
                    m_view->Request(LYDVW_R_CLEAR_ANNOTATIONS, kModes[mode - 1], removeId)) {
                ReportError(2, static_cast<int32_t>(answer));
                return automation::S_OK;
            }
            if (mode == 1)
                m_annotations.Clear();
            else if (mode == 2)
                m_annotations.RemoveContaining(removeId);
            else
                m_annotations.RemoveExact(removeId);
            return automation::S_OK;
        });
    } else if (member.name == "FindAnnotation" || member.name == "GotoAnnotation" ||
               member.name == "GetAnnotationData") {
        const bool go = member.name == "GotoAnnotation";
        const bool data = member.name == "GetAnnotationData";
        method(VarType::I4, [this, invalid, position, go, data](std::span<const Variant> args,
                                                                Variant& result) {
            result = Variant::I4(0);
            if (!RequireView())
                return automation::S_OK;
            std::optional<uint32_t> findType;
            std::optional<Criterion> criterion;
            LydvwPosition search{};
            if (data) {
                // The kind's bits join the id: a host id that already has them stays as it is.
                static constexpr uint32_t kKinds[] = {0, kAnnotationEngineKindA, kAnnotationEngineKindB};
                const int16_t kind = args[1].AsI2();
                if (kind < 0 || kind > 2)
                    return invalid();
                findType = FindTypeOf(0);
                criterion = CriterionOf(2, static_cast<uint32_t>(args[0].AsI4()) | kKinds[kind]);
            } else {
                findType = FindTypeOf(args[0].AsI2());
                criterion = CriterionOf(args[1].AsI2(), static_cast<uint32_t>(args[2].AsI4()));
                if (!go && !Omitted(args[3])) {
                    const auto given = position(args[3]);
                    if (!given)
                        return invalid();
                    search = *given;
                }
            }
            if (!findType || !criterion)
                return invalid();
            const int64_t answer =
                go ? m_view->Request(LYDVW_R_GOTO_ANNOTATION, *findType | criterion->match, criterion->value)
                   : FindCurrent(*findType, criterion->value, criterion->match, search);
            // Nothing found is an answer, not an error.
            if (answer == 0)
                result = Variant::I4(1);
            else if (answer != LYDVW_E_NOT_FOUND)
                ReportError(2, static_cast<int32_t>(answer));
            return automation::S_OK;
        });
    } else if (member.name == "AnnotationSetPos") {
        method(VarType::Empty, [this](std::span<const Variant> args, Variant&) {
            if (!RequireView())
                return automation::S_OK;
            auto selection = Sized<LydvwSelection>();
            selection.anchor = m_current.start;
            selection.end = args[0].AsI4() != 0 ? m_current.end : m_current.start;
            int64_t answer = m_view->Request(LYDVW_R_SET_SELECTION, selection);
            if (answer == 0) {
                auto show = Sized<LydvwShowPosition>();
                show.display_options = 2;
                show.position = m_current.start;
                answer = m_view->Request(LYDVW_R_SHOW_POSITION, show);
            }
            if (answer != 0)
                ReportError(2, static_cast<int32_t>(answer));
            return automation::S_OK;
        });
    } else if (member.name == "AnnotationId") {
        get(VarType::I4, [this] { return Variant::I4(m_current.id); });
    } else if (member.name == "AnnotationDataType") {
        get(VarType::I2, [this] { return Variant::I2(m_current.dataType); });
    } else if (member.name == "AnnotationData") {
        get(VarType::Variant, [this] { return m_current.data; });
    } else if (member.name == "AnnotationStartPos" || member.name == "AnnotationEndPos") {
        const bool start = member.name == "AnnotationStartPos";
        get(VarType::Unknown, [this, start] {
            std::shared_ptr<CQelPos> object = CreateQelPos(start ? m_current.start : m_current.end);
            if (!object) {
                ReportError(2, kErrNoObject);
                return Variant::Unknown(nullptr);
            }
            return Variant::Unknown(std::shared_ptr<automation::IDispatch>(std::move(object)));
        });
    } else {
        return false;
    }
    return true;
}

}  // namespace docview
