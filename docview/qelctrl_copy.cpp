// The control's copy and raw-text members: a range of the document copied into the control's buffer, and
// the document's raw text fetched piece by piece. The engine's blocks are copied out and freed at once, and
// never read beyond the bytes they state.
#include <algorithm>
#include <cstring>

#include "docview/control_strings.h"
#include "docview/fennick_members.h"
#include "docview/member_entries.h"
#include "docview/qel_pos.h"
#include "docview/qelctrl.h"
#include "platform/codepage.h"

namespace docview {

namespace automation = platform::automation;
using automation::InvokeKind;
using automation::ParamSpec;
using automation::Variant;
using automation::VarType;

namespace {

// What Copy reports for any failure of the engine's, as a failed call.
constexpr int32_t kErrUnknown = 8;

}  // namespace

bool Cqelctrl::BindCopyMember(const MemberSpec& member) {
    automation::DispatchTable& table = Table();
    const std::string name(member.name);
    const automation::DISPID id = member.dispid;
    MemberEntries entries(table, member);
    if (member.name == "Copy") {
        const ParamSpec position(VarType::Variant, true);
        table.Add({name,
                   id,
                   InvokeKind::Method,
                   {ParamSpec(VarType::I4), position, position},
                   VarType::Empty,
                   nullptr,
                   [this](std::span<const Variant> args, Variant&) { return Copy(args); }});
    } else if (member.name == "GetRawText") {
        table.Add({name,
                   id,
                   InvokeKind::Method,
                   {ParamSpec(VarType::I4)},
                   VarType::I4,
                   nullptr,
                   [this](std::span<const Variant> args, Variant& result) {
                       return GetRawText(args[0].AsI4(), result);
                   }});
    } else if (member.name == "CopyBuffer") {
        entries.Get(VarType::Bstr, [this] { return Variant::Bstr(m_copyBuffer); });
    } else if (member.name == "CopyBufferSize") {
        entries.Get(VarType::I4, [this] { return Variant::I4(static_cast<int32_t>(m_copyBuffer.size())); });
    } else if (member.name == "RawTextString") {
        entries.Get(VarType::Bstr, [this] { return Variant::Bstr(RawTextString()); });
    } else if (member.name == "RawTextLength") {
        entries.Get(VarType::I4, [this] { return Variant::I4(m_rawText.length); });
    } else if (member.name == "RawTextCharSet") {
        entries.Get(VarType::I4, [this] { return Variant::I4(m_rawText.charSet); });
    } else if (member.name == "RawTextOffset") {
        entries.Get(VarType::I4, [this] { return Variant::I4(m_rawText.offset); });
    } else {
        return false;
    }
    return true;
}

automation::HRESULT Cqelctrl::Copy(std::span<const Variant> args) {
    std::shared_ptr<IQelPos> ends[2];
    if (!PositionArguments(args.subspan(1), ends))
        return automation::S_OK;
    const int32_t format = args[0].AsI4();
    if (format != 0 && format != 1) {
        ReportError(2, kErrBadParameter);
        return automation::S_OK;
    }
    auto record = Sized<LydvwCopyRange>();
    record.format = format == 0 ? LYDVW_COPY_TEXT : LYDVW_COPY_RICH_TEXT;
    record.start = ends[0]->Read();
    record.end = ends[1]->Read();
    const int64_t answer = m_view->Request(LYDVW_R_COPY_RANGE, record);
    auto* block = reinterpret_cast<const char*>(record.block);
    // The text ends at its terminator or its stated size, whichever comes first: a block shorter than it
    // states is not read past its end.
    std::string text;
    if (answer == 0 && block)
        text.assign(block, strnlen(block, record.block_size));
    m_view->Free(reinterpret_cast<void*>(record.block));
    if (answer != 0)
        ReportError(1, kErrUnknown);
    m_copyBuffer = std::move(text);
    return automation::S_OK;
}

automation::HRESULT Cqelctrl::GetRawText(int32_t offset, Variant& result) {
    result = Variant::I4(0);
    if (!RequireView())
        return automation::S_OK;
    auto record = Sized<LydvwRawText>();
    record.offset = static_cast<uint32_t>(offset);
    const int64_t answer = m_view->Request(LYDVW_R_RAW_TEXT, record);
    void* block = reinterpret_cast<void*>(record.block);
    if (answer != 0) {
        m_view->Free(block);
        return automation::S_FALSE;
    }
    // The width the text came in stays with it; an engine that states none gives it as SystemUnicode asks.
    const uint32_t width = record.unit_width == 1 || record.unit_width == 2 ? record.unit_width
                           : m_options.Get("SystemUnicode") != 0            ? 2u
                                                                            : 1u;
    // Sizes that disagree are cut to what the block holds: whole characters within its stated bytes.
    const uint32_t held = block ? record.byte_length / width * width : 0;
    const uint32_t length = std::min(record.length, held / width);
    RawTextPiece piece;
    piece.unitWidth = width;
    piece.bytes.assign(held + width, 0);
    if (held > 0)
        std::memcpy(piece.bytes.data(), block, held);
    m_view->Free(block);
    for (uint32_t i = 0; i < length; ++i) {
        uint8_t* unit = piece.bytes.data() + static_cast<size_t>(i) * width;
        if (std::all_of(unit, unit + width, [](uint8_t byte) { return byte == 0; }))
            unit[0] = ' ';
    }
    piece.length = static_cast<int32_t>(length);
    piece.byteLength = static_cast<int32_t>(held);
    piece.charSet = static_cast<int32_t>(record.char_set);
    piece.offset = static_cast<int32_t>(record.piece_offset);
    m_rawText = std::move(piece);
    result = Variant::I4(1);
    return automation::S_OK;
}

std::string Cqelctrl::RawTextString() const {
    const size_t units = static_cast<size_t>(m_rawText.length);
    if (m_rawText.unitWidth == 1)
        return std::string(reinterpret_cast<const char*>(m_rawText.bytes.data()), units);
    std::u16string wide(units, u'\0');
    for (size_t i = 0; i < units; ++i)
        wide[i] = static_cast<char16_t>(m_rawText.bytes[2 * i] | (m_rawText.bytes[2 * i + 1] << 8));
    return platform::Utf16LeToCp1252(wide);
}

}  // namespace docview
