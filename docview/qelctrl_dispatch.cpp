// The control's dispatch table, built from the member table: each member is bound by its family (option,
// international text, error, view, status, kept value, method of a feature not built yet), never by a switch
// over members. ViewFile and the small view members are here too.
#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "docview/control_strings.h"
#include "docview/fennick_members.h"
#include "docview/qelctrl.h"
#include "platform/codepage.h"

namespace docview {

namespace automation = platform::automation;
using automation::DispatchEntry;
using automation::InvokeKind;
using automation::ParamSpec;
using automation::Variant;
using automation::VarType;

namespace {

constexpr size_t kDisplayNameMax = 259;
constexpr size_t kEngineNameMax = 127;
constexpr size_t kIntlNamesMax = 16;
constexpr uint32_t kArchiveSaveOption = 0x52A95;
constexpr uint32_t kDitherAvailableOption = 0x5284D;
constexpr uint32_t kMonthNamesOption = 0x52AFB;
constexpr uint32_t kDayNamesOption = 0x52AFA;

VarType KindOf(Type type) {
    switch (type) {
        case Type::None:
            return VarType::Empty;
        case Type::I2:
            return VarType::I2;
        case Type::I4:
        case Type::Handle:
        case Type::Color:
            return VarType::I4;
        case Type::Bstr:
            return VarType::Bstr;
        case Type::R4:
            return VarType::R4;
        case Type::Font:
        case Type::Picture:
            return VarType::Dispatch;
        case Type::Position:
            return VarType::Unknown;
        case Type::Variant:
            return VarType::Variant;
    }
    return VarType::Empty;
}

Variant ZeroOf(VarType kind) {
    switch (kind) {
        case VarType::I2:
            return Variant::I2(0);
        case VarType::I4:
            return Variant::I4(0);
        case VarType::R4:
            return Variant::R4(0);
        case VarType::Bstr:
            return Variant::Bstr("");
        case VarType::Dispatch:
            return Variant::Dispatch(nullptr);
        case VarType::Unknown:
            return Variant::Unknown(nullptr);
        default:
            return Variant();
    }
}

// A member's argument through the standard conversion: nullopt when it is missing or does not convert.
std::optional<Variant> Converted(const Variant& value, VarType kind) {
    if (value.IsMissing() || value.IsEmpty() || value.Type() == VarType::Error)
        return std::nullopt;
    Variant out;
    if (automation::Failed(automation::ChangeType(value, kind, out)))
        return std::nullopt;
    return out;
}

enum class Family : uint8_t {
    Option,
    Fallback,
    Margin,
    TextOption,
    Separator,
    ShortText,
    NameList,
    CurrencyPosition,
    ShortDateOrder,
    ErrorShowMsg,
    ErrorCode,
    ErrorMsg,
    StatusEvents,
    DitherAvailable,
    EngineName,
    EngineType,
    FileInfo,
    ViewFile,
    Clear,
    DisplayOptions,
    SystemIdle,
    SelectAll,
    CopyToClip,
    ClipboardOptions,
    ClipInfo,
    IdleBitmap,
    ArchiveSave,
    Font,
    Scroll,
    Kept,
    NotBuilt,
};

struct Binding {
    std::string_view member;
    Family family;
};

constexpr Binding kBindings[] = {
    {"FallbackFormat", Family::Fallback},
    {"PrintMarginTop", Family::Margin},
    {"PrintMarginBottom", Family::Margin},
    {"PrintMarginLeft", Family::Margin},
    {"PrintMarginRight", Family::Margin},
    {"ResourceLibraryID", Family::TextOption},
    {"PrintJobName", Family::TextOption},
    {"DecimalSeparator", Family::Separator},
    {"ThousandSeparator", Family::Separator},
    {"DateSeparator", Family::Separator},
    {"TimeSeparator", Family::Separator},
    {"CurrencySymbol", Family::ShortText},
    {"AMString", Family::ShortText},
    {"PMString", Family::ShortText},
    {"FullMonthNames", Family::NameList},
    {"AbbrevMonthNames", Family::NameList},
    {"FullDayNames", Family::NameList},
    {"AbbrevDayNames", Family::NameList},
    {"CurrencyPosition", Family::CurrencyPosition},
    {"ShortDateOrder", Family::ShortDateOrder},
    {"ErrorShowMsg", Family::ErrorShowMsg},
    {"ErrorCode", Family::ErrorCode},
    {"ErrorMsg", Family::ErrorMsg},
    {"StatusEvents", Family::StatusEvents},
    {"BMPDitherAvailable", Family::DitherAvailable},
    {"DisplayEngineName", Family::EngineName},
    {"DisplayEngineType", Family::EngineType},
    {"FileInfoDisplayName", Family::FileInfo},
    {"FileInfoFileId", Family::FileInfo},
    {"FileInfoFileIdName", Family::FileInfo},
    {"FileInfoName", Family::FileInfo},
    {"ViewFile", Family::ViewFile},
    {"Clear", Family::Clear},
    {"DisplayOptions", Family::DisplayOptions},
    {"SystemIdle", Family::SystemIdle},
    {"SelectAll", Family::SelectAll},
    {"CopyToClip", Family::CopyToClip},
    {"ClipboardOptions", Family::ClipboardOptions},
    {"ClipInfo", Family::ClipInfo},
    {"IdleBitmap", Family::IdleBitmap},
    {"ArchiveSave", Family::ArchiveSave},
    {"DisplayFont", Family::Font},
    {"ClipFont", Family::Font},
    {"PrintFont", Family::Font},
    {"HScroll", Family::Scroll},
    {"VScroll", Family::Scroll},
};

// The fonts' order in the option store and the engine's ids.
constexpr std::string_view kFontMembers[] = {"DisplayFont", "ClipFont", "PrintFont"};

Family FamilyOf(const MemberSpec& member) {
    for (const Binding& binding : kBindings) {
        if (binding.member == member.name)
            return binding.family;
    }
    if (FindOption(member.name))
        return Family::Option;
    return member.access == Access::Method ? Family::NotBuilt : Family::Kept;
}

// The international record's text fields by member.
std::span<char> IntlField(LydvwIntlRecord& intl, std::string_view member) {
    if (member == "DecimalSeparator")
        return intl.decimal_sep;
    if (member == "ThousandSeparator")
        return intl.thousands_sep;
    if (member == "DateSeparator")
        return intl.date_sep;
    if (member == "TimeSeparator")
        return intl.time_sep;
    if (member == "CurrencySymbol")
        return intl.currency;
    if (member == "AMString")
        return intl.am;
    if (member == "PMString")
        return intl.pm;
    if (member == "FullMonthNames")
        return intl.month_names;
    if (member == "AbbrevMonthNames")
        return intl.abbrev_month_names;
    if (member == "FullDayNames")
        return intl.day_names;
    return intl.abbrev_day_names;
}

// Names separated by "|" into the record's slots, each cut to 16 characters.
template <size_t Slots>
void FillSlots(char (&slots)[Slots][32], std::string_view names) {
    std::memset(slots, 0, sizeof slots);
    for (size_t i = 0; i < Slots && !names.empty(); ++i) {
        const size_t bar = names.find('|');
        const std::string_view name = names.substr(0, bar);
        CopyBounded(std::span<char>(slots[i], kIntlNamesMax + 1), name.substr(0, kIntlNamesMax));
        if (bar == std::string_view::npos)
            break;
        names.remove_prefix(bar + 1);
    }
}

}  // namespace

FileDialogRequest DialogRequestFor(const std::optional<std::string>& fileSpec) {
    FileDialogRequest request;
    request.title = "View";
    request.filterName = std::string(LoadControlString(kFilterName, 37));
    request.filterPattern = std::string(LoadControlString(kFilterPattern, 37));
    if (!fileSpec)
        return request;
    std::string spec = platform::Cp1252ToUtf8(*fileSpec);
    std::replace(spec.begin(), spec.end(), '\\', '/');
    struct stat st {};
    if (!spec.empty() && stat(spec.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        request.folder = spec;
        return request;
    }
    const size_t slash = spec.rfind('/');
    if (slash == std::string::npos) {
        // A bare name that is no folder: the file name to start with.
        request.fileName = spec;
        return request;
    }
    request.folder = spec.substr(0, slash == 0 ? 1 : slash);
    request.fileName = spec.substr(slash + 1);
    return request;
}

void Cqelctrl::BuildTable() {
    automation::DispatchTable& table = Table();
    for (const MemberSpec& member : Members()) {
        const std::string name(member.name);
        const automation::DISPID id = member.dispid;
        const VarType kind = KindOf(member.type);
        const bool puts = member.access == Access::GetPut || member.access == Access::GetPutRef;
        auto get = [&](std::function<Variant()> getter) {
            table.Add({name,
                       id,
                       InvokeKind::PropertyGet,
                       {},
                       kind,
                       [getter = std::move(getter)](std::span<const Variant>) { return getter(); }});
        };
        auto put = [&](std::function<void(const Variant&)> setter) {
            if (!puts)
                return;
            table.Add(
                {name,
                 id,
                 member.access == Access::GetPutRef ? InvokeKind::PropertyPutRef : InvokeKind::PropertyPut,
                 {ParamSpec(kind)},
                 VarType::Empty,
                 [setter = std::move(setter)](std::span<const Variant> args) {
                     setter(args[0]);
                     return Variant();
                 }});
        };
        auto method = [&](automation::StatusHandler handler) {
            std::vector<ParamSpec> params;
            for (size_t i = 0; i < member.ParamCount(); ++i) {
                const VarType param = KindOf(member.params[i]);
                params.emplace_back(param, param == VarType::Variant);
            }
            table.Add({name, id, InvokeKind::Method, std::move(params), kind, nullptr, std::move(handler)});
        };

        if (BindPositionMember(member) || BindCopyMember(member) || BindPageMember(member) ||
            BindSearchMember(member) || BindPrintMember(member) ||
            BindAnnotationMember(member))
            continue;
        switch (FamilyOf(member)) {
            case Family::Option: {
                const OptionRow* row = FindOption(member.name);
                get([this, row] {
                    return row->width == 16 ? Variant::I2(static_cast<int16_t>(m_options.Get(row->member)))
                                            : Variant::I4(m_options.Get(row->member));
                });
                put([this, row](const Variant& value) {
                    if (m_options.Put(row->member, value.AsI4(), HasView() ? m_view.get() : nullptr) !=
                        PutResult::Ok) {
                        ReportError(1, kErrInvalidProperty);
                    }
                    m_dirty = true;
                    if (row->refreshesView)
                        Refresh();
                });
                break;
            }
            case Family::Fallback:
                get([this] { return Variant::I2(static_cast<int16_t>(m_options.Get("FallbackFormat"))); });
                put([this](const Variant& value) {
                    if (m_options.PutFallback(value.AsI2(), HasView() ? m_view.get() : nullptr) !=
                        PutResult::Ok)
                        ReportError(1, kErrInvalidProperty);
                    m_dirty = true;
                });
                break;
            case Family::Margin: {
                static constexpr std::string_view kOrder[] = {"PrintMarginTop", "PrintMarginBottom",
                                                              "PrintMarginLeft", "PrintMarginRight"};
                const int index = static_cast<int>(
                    std::find(std::begin(kOrder), std::end(kOrder), member.name) - std::begin(kOrder));
                get([this, index] { return Variant::R4(m_options.GetMargin(index)); });
                put([this, index](const Variant& value) {
                    m_options.PutMargin(index, value.AsR4(), HasView() ? m_view.get() : nullptr);
                    m_dirty = true;
                });
                break;
            }
            case Family::TextOption: {
                const bool resource = member.name == "ResourceLibraryID";
                get([this, resource] {
                    return Variant::Bstr(resource ? m_options.ResourceLibraryId() : m_options.PrintJobName());
                });
                put([this, resource](const Variant& value) {
                    OptionChannel* channel = HasView() ? m_view.get() : nullptr;
                    const std::optional<std::string> text = value.AsBstr();
                    const PutResult result = resource ? m_options.PutResourceLibraryId(text, channel)
                                                      : m_options.PutPrintJobName(text, channel);
                    // Too long a text fails as an operation: a box and the Error event, the call succeeds.
                    if (result == PutResult::TooLong)
                        ReportError(2, kErrInvalidProperty);
                    m_dirty = true;
                });
                break;
            }
            case Family::Separator:
            case Family::ShortText:
            case Family::NameList: {
                const std::string_view field = member.name;
                const Family family = FamilyOf(member);
                get([this, field] { return Variant::Bstr(ReadBounded(IntlField(m_options.Intl(), field))); });
                put([this, field, family](const Variant& value) {
                    std::span<char> target = IntlField(m_options.Intl(), field);
                    const std::string& text = value.AsBstr();
                    if (family == Family::Separator) {
                        target[0] = text.empty() ? '\0' : text[0];
                        target[1] = '\0';
                    } else if (family == Family::ShortText) {
                        CopyBounded(target, std::string_view(text).substr(0, 8));
                    } else {
                        CopyBounded(target, text);
                        if (HasView()) {
                            LydvwIntlRecord& intl = m_options.Intl();
                            if (field == "FullMonthNames" || field == "AbbrevMonthNames") {
                                LydvwMonthNames names{};
                                FillSlots(names.full, ReadBounded(intl.month_names));
                                FillSlots(names.abbrev, ReadBounded(intl.abbrev_month_names));
                                m_view->SetOption(kMonthNamesOption, &names, sizeof names);
                            } else {
                                LydvwDayNames names{};
                                FillSlots(names.full, ReadBounded(intl.day_names));
                                FillSlots(names.abbrev, ReadBounded(intl.abbrev_day_names));
                                m_view->SetOption(kDayNamesOption, &names, sizeof names);
                            }
                        }
                    }
                    m_dirty = true;
                });
                break;
            }
            case Family::CurrencyPosition:
                get([this] { return Variant::I2(static_cast<int16_t>(m_options.Intl().currency_position)); });
                put([this](const Variant& value) {
                    m_options.Intl().currency_position = static_cast<uint32_t>(value.AsI2());
                    m_dirty = true;
                });
                break;
            case Family::ShortDateOrder:
                get([this] { return Variant::I2(static_cast<int16_t>(m_options.Intl().short_date_order)); });
                put([this](const Variant& value) {
                    if (value.AsI2() < 0 || value.AsI2() > 2)
                        ReportError(1, kErrInvalidProperty);
                    m_options.Intl().short_date_order = static_cast<uint32_t>(value.AsI2());
                    m_dirty = true;
                });
                break;
            case Family::ErrorShowMsg:
                get([this] { return Variant::I4(m_errorShowMsg); });
                put([this](const Variant& value) { m_errorShowMsg = value.AsI4(); });
                break;
            case Family::ErrorCode:
                get([this] { return Variant::I4(m_errorCode); });
                break;
            case Family::ErrorMsg:
                get([this] { return Variant::Bstr(m_errorMsg); });
                break;
            case Family::StatusEvents:
                get([this] { return Variant::I4(m_statusEvents); });
                put([this](const Variant& value) { PutStatusEvents(value.AsI4()); });
                break;
            case Family::DitherAvailable:
                get([this] {
                    int32_t available = 0;
                    if (HasView())
                        m_view->GetOption(kDitherAvailableOption, &available, sizeof available);
                    return Variant::I4(available);
                });
                break;
            case Family::EngineName:
            case Family::EngineType: {
                const bool wantsName = FamilyOf(member) == Family::EngineName;
                get([this, wantsName] {
                    if (!HasView())
                        return wantsName ? Variant::Bstr("") : Variant::I2(LYDVW_TYPE_NONE);
                    LydvwEngineName record{};
                    record.size = sizeof record;
                    if (m_view->Request(LYDVW_R_ENGINE_NAME, record) == 0) {
                        m_engineName = ReadBounded(record.name).substr(0, kEngineNameMax);
                        m_engineType = static_cast<int16_t>(record.type);
                    }
                    return wantsName ? Variant::Bstr(m_engineName)
                                     : Variant::I2(static_cast<int16_t>(m_engineType));
                });
                break;
            }
            case Family::FileInfo: {
                const std::string_view field = member.name;
                get([this, field] {
                    if (field == "FileInfoFileId")
                        return Variant::I2(static_cast<int16_t>(m_fileInfo.fileId));
                    if (field == "FileInfoDisplayName")
                        return Variant::Bstr(m_fileInfo.displayName);
                    if (field == "FileInfoFileIdName")
                        return Variant::Bstr(m_fileInfo.fileIdName);
                    return Variant::Bstr(m_fileInfo.name);
                });
                break;
            }
            case Family::ViewFile:
                method([this](std::span<const Variant> args, Variant& result) {
                    result = ViewFile(args);
                    return automation::S_OK;
                });
                break;
            case Family::Clear:
                method([this](std::span<const Variant>, Variant&) {
                    if (RequireView())
                        m_view->Request(LYDVW_R_CLOSE);
                    return automation::S_OK;
                });
                break;
            case Family::DisplayOptions:
            case Family::ClipboardOptions:
                method([this, dialog = FamilyOf(member) == Family::DisplayOptions
                                           ? LYDVW_DLG_DISPLAY
                                           : LYDVW_DLG_CLIPBOARD](std::span<const Variant>, Variant& result) {
                    result = Variant::I4(0);
                    if (!RequireView())
                        return automation::S_OK;
                    if (m_view->Request(LYDVW_R_OPTIONS_DIALOG, 0, static_cast<uint32_t>(dialog)) != 0)
                        return automation::S_FALSE;
                    result = Variant::I4(1);
                    return automation::S_OK;
                });
                break;
            case Family::SystemIdle:
                method([this](std::span<const Variant>, Variant&) {
                    if (RequireView())
                        m_view->Request(LYDVW_R_IDLE);
                    return automation::S_OK;
                });
                break;
            case Family::SelectAll:
                // A document without text has nothing to select, which is no error for the host.
                method([this](std::span<const Variant>, Variant&) {
                    if (RequireView())
                        m_view->Request(LYDVW_R_SELECT_ALL);
                    return automation::S_OK;
                });
                break;
            case Family::ClipInfo:
                get([this] {
                    if (!HasView())
                        return Variant::I2(m_clipInfo);
                    const int64_t answer = m_view->Request(LYDVW_R_CLIP_INFO);
                    // A view whose window went answers that it has none, which is no clipboard information.
                    if (answer == LYDVW_E_NO_WINDOW)
                        ReportError(2, kErrWindowless);
                    else
                        m_clipInfo = static_cast<int16_t>(answer);
                    return Variant::I2(m_clipInfo);
                });
                break;
            case Family::CopyToClip:
                // The host sees the engine's answer as the call's result.
                method([this](std::span<const Variant>, Variant&) {
                    if (!RequireView())
                        return automation::S_OK;
                    return static_cast<automation::HRESULT>(m_view->Request(LYDVW_R_COPY));
                });
                break;
            case Family::IdleBitmap:
                method([this](std::span<const Variant> args, Variant&) {
                    if (RequireView()) {
                        m_view->Request(LYDVW_R_IDLE_BITMAP, static_cast<uint32_t>(args[0].AsI4()),
                                        static_cast<uint32_t>(args[1].AsI4()));
                    }
                    return automation::S_OK;
                });
                break;
            case Family::ArchiveSave:
                method([this](std::span<const Variant> args, Variant&) {
                    if (!RequireView())
                        return automation::S_OK;
                    const int16_t how = args[0].AsI2();
                    if (how != 1 && how != 2)
                        ReportError(1, kErrBadParameter);
                    m_view->SetOption(kArchiveSaveOption, &how, sizeof how);
                    return automation::S_OK;
                });
                break;
            case Family::Font: {
                const int index = static_cast<int>(
                    std::find(std::begin(kFontMembers), std::end(kFontMembers), member.name) -
                    std::begin(kFontMembers));
                get([this, index] {
                    // The display font's object may have been changed in place: its state goes to the engine.
                    if (index == 0)
                        SyncFont(0, true);
                    return Variant::Dispatch(m_fonts[static_cast<size_t>(index)]);
                });
                put([this, index](const Variant& value) {
                    std::shared_ptr<automation::IDispatch> font = value.AsDispatch();
                    if (!font)
                        ReportError(1, kErrInvalidProperty);
                    m_fonts[static_cast<size_t>(index)] = std::move(font);
                    SyncFont(index, true);
                    m_dirty = true;
                });
                break;
            }
            case Family::Scroll: {
                const bool vertical = member.name == "VScroll";
                method([this, vertical](std::span<const Variant> args, Variant& result) {
                    result = Variant::I4(0);
                    if (!RequireView())
                        return automation::S_OK;
                    const int32_t operation = args[0].AsI4();
                    const bool known =
                        vertical ? (operation >= 1 && operation <= 7) || operation == 10 || operation == 11
                                 : operation >= 3 && operation <= 7;
                    if (!known) {
                        ReportError(2, kErrBadParameter);
                        return automation::S_OK;
                    }
                    const uint64_t position = operation == 7 ? static_cast<uint32_t>(args[1].AsI4()) : 0u;
                    if (m_view->Request(vertical ? LYDVW_R_VSCROLL : LYDVW_R_HSCROLL,
                                        static_cast<uint32_t>(operation), position) == kErrBadParameter) {
                        ReportError(2, kErrBadParameter);
                    }
                    return automation::S_OK;
                });
                break;
            }
            case Family::Kept: {
                get([this, id, kind] {
                    for (const auto& [known, value] : m_kept) {
                        if (known == id)
                            return value;
                    }
                    return ZeroOf(kind);
                });
                put([this, id](const Variant& value) {
                    std::erase_if(m_kept, [id](const auto& entry) { return entry.first == id; });
                    m_kept.emplace_back(id, value);
                });
                break;
            }
            case Family::NotBuilt:
                // Features whose requests the engine does not carry out yet: reported as its answer would be.
                method([this, kind](std::span<const Variant>, Variant& result) {
                    result = ZeroOf(kind);
                    if (RequireView())
                        ReportError(2, kErrUnsupported);
                    return automation::S_OK;
                });
                break;
        }
    }
}

Variant Cqelctrl::ViewFile(std::span<const Variant> args) {
    const auto arg = [&](size_t i) { return i < args.size() ? args[i] : Variant::Missing(); };
    if (!RequireView())
        return Variant::I4(0);
    const std::optional<Variant> dialog = Converted(arg(0), VarType::Bool);
    if (!dialog) {
        ReportError(2, kErrBadParameter);
        return Variant::I4(0);
    }
    int16_t specType = Converted(arg(2), VarType::I2).value_or(Variant::I2(0)).AsI2();
    if (specType == 3)
        specType = LYDVW_SPEC_REDIRECT;
    int16_t viewAs = Converted(arg(3), VarType::I2).value_or(Variant::I2(0)).AsI2();
    if (viewAs < LYDVW_FI_TEXT_FIRST || viewAs > 4012 || viewAs == LYDVW_FI_DONT_VIEW)
        viewAs = 0;
    const bool useDisplayName = Converted(arg(4), VarType::Bool).value_or(Variant::Bool(false)).AsBool();
    const std::string displayName =
        Converted(arg(5), VarType::Bstr).value_or(Variant::Bstr("")).AsBstr().substr(0, kDisplayNameMax);
    const bool deleteOnClose = Converted(arg(6), VarType::Bool).value_or(Variant::Bool(false)).AsBool();
    const std::optional<Variant> fileSpec = Converted(arg(1), VarType::Bstr);
    m_pages.counter = 0;

    LydvwViewFile record{};
    record.size = sizeof record;
    record.view_as = static_cast<uint32_t>(viewAs);
    record.use_display_name = useDisplayName ? 1u : 0u;
    CopyBounded(record.display_name, displayName);
    record.delete_on_close = deleteOnClose ? 1u : 0u;

    std::string narrow;
    std::u16string wide;
    if (specType == LYDVW_SPEC_REDIRECT) {
        RedirectRecord* redirect = OpenRedirect(arg(1), arg(7));
        if (!redirect)
            return Variant::I4(0);
        record.spec_type = LYDVW_SPEC_REDIRECT;
        record.spec = reinterpret_cast<uint64_t>(redirect->Engine());
    } else if (dialog->AsBool()) {
        const FileDialogRequest request =
            DialogRequestFor(fileSpec ? std::optional<std::string>(fileSpec->AsBstr()) : std::nullopt);
        std::optional<std::string> chosen = m_site.chooseFile ? m_site.chooseFile(request) : std::nullopt;
        if (!chosen) {
            ReportError(2, kErrNoFileSelected);
            return Variant::I4(0);
        }
        narrow = std::move(*chosen);
        record.spec_type = LYDVW_SPEC_ANSI;
        record.spec = reinterpret_cast<uint64_t>(narrow.c_str());
    } else {
        if (!fileSpec) {
            ReportError(2, kErrInvalidFileName);
            return Variant::I4(0);
        }
        if (specType == LYDVW_SPEC_WIDE) {
            wide = platform::Utf8ToUtf16(platform::Cp1252ToUtf8(fileSpec->AsBstr()));
            record.spec_type = LYDVW_SPEC_WIDE;
            record.spec = reinterpret_cast<uint64_t>(wide.c_str());
        } else {
            narrow = platform::Cp1252ToUtf8(fileSpec->AsBstr());
            record.spec_type = LYDVW_SPEC_ANSI;
            record.spec = reinterpret_cast<uint64_t>(narrow.c_str());
        }
    }
    const int64_t answer = m_view->Request(LYDVW_R_VIEW_FILE, record);
    if (answer != 0) {
        ReportError(2, static_cast<int32_t>(answer));
        return Variant::I4(0);
    }
    FetchFileInfo();
    return Variant::I4(1);
}

}  // namespace docview
