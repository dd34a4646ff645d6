// The engine's notifications as the control's events: one table of the plain ones (value, range or state
// in lParam), handlers for those that carry records or answer with a sink's out argument.
#include <cstring>

#include "docview/qelctrl.h"
#include "platform/codepage.h"

namespace docview {

namespace automation = platform::automation;
using automation::Variant;
using fennick::Event;

namespace {

enum class Shape : uint8_t { None, Value, Range, State };

struct PlainNotification {
    uint32_t notification;
    Event event;
    Shape shape;
};

constexpr PlainNotification kPlain[] = {
    {LYDVW_N_SEL_CHANGE, Event::SelChange, Shape::None},
    {LYDVW_N_ENGINE_CHANGE, Event::DisplayEngineChange, Shape::None},
    {LYDVW_N_VSCROLL_POS, Event::VScrollPosition, Shape::Value},
    {LYDVW_N_VSCROLL_PAGE, Event::VScrollPageSize, Shape::Value},
    {LYDVW_N_VSCROLL_RANGE, Event::VScrollRange, Shape::Range},
    {LYDVW_N_VSCROLL_STATE, Event::VScrollState, Shape::State},
    {LYDVW_N_HSCROLL_POS, Event::HScrollPosition, Shape::Value},
    {LYDVW_N_HSCROLL_PAGE, Event::HScrollPageSize, Shape::Value},
    {LYDVW_N_HSCROLL_RANGE, Event::HScrollRange, Shape::Range},
    {LYDVW_N_HSCROLL_STATE, Event::HScrollState, Shape::State},
    {LYDVW_N_KEYDOWN, Event::Keydown, Shape::Value},
    {LYDVW_N_RAW_TEXT, Event::RawTextEvent, Shape::Value},
    {LYDVW_N_ERROR, Event::Error, Shape::None},
    {LYDVW_N_READ_AHEAD_DONE, Event::ReadAheadDone, Shape::None},
};

// Engine dialogs to the DoHelp event's dialog numbers.
constexpr std::pair<uint16_t, int16_t> kHelpDialogs[] = {{15002, 2}, {15003, 6}, {15004, 8},
                                                         {15005, 0}, {15006, 1}, {15007, 3},
                                                         {15008, 7}, {15010, 4}, {15011, 5}};

constexpr uint32_t kFontOptionIds[3] = {0x52774, 0x529CE, 0x52777};

// A path the engine hands over is terminated; one that is not is cut at this length, never overrun.
constexpr size_t kSpecMax = 4096;

Variant LowWord(uint64_t value) {
    return Variant::I4(static_cast<int32_t>(value & 0xFFFFu));
}
Variant HighWord(uint64_t value) {
    return Variant::I4(static_cast<int32_t>((value >> 16) & 0xFFFFu));
}

}  // namespace

int64_t Cqelctrl::OnNotify(uint32_t notification, uint64_t, uint64_t lparam) {
    for (const PlainNotification& row : kPlain) {
        if (row.notification != notification)
            continue;
        switch (row.shape) {
            case Shape::None:
                Fire(row.event, {});
                break;
            case Shape::Value:
                Fire(row.event, {Variant::I4(static_cast<int32_t>(lparam))});
                break;
            case Shape::Range:
                Fire(row.event, {LowWord(lparam), HighWord(lparam)});
                break;
            case Shape::State:
                Fire(row.event, {Variant::I4(lparam == 1 ? 1 : 0)});
                break;
        }
        return 0;
    }
    switch (notification) {
        case LYDVW_N_VIEW_THIS_FILE:
            return ViewThisFile(lparam);
        case LYDVW_N_FILE_CHANGE:
            return FileChange(lparam);
        case LYDVW_N_ANNOTATION:
            return AnnotationNotification(lparam);
        case LYDVW_N_OPTION_CHANGE: {
            const auto id = static_cast<uint32_t>(lparam);
            if (HasView() && m_options.ReadBack(id, *m_view)) {
                // A font the engine changed is written into the font object hosts hold.
                for (int i = 0; i < 3; ++i) {
                    if (id == kFontOptionIds[i])
                        WriteFontRecord(*m_fonts[static_cast<size_t>(i)], m_options.Font(i));
                }
                Fire(Event::OptionChange, {Variant::I4(static_cast<int32_t>(id))});
            }
            return 0;
        }
        case LYDVW_N_DO_HELP: {
            int16_t dialog = -1;
            for (const auto& [engine, help] : kHelpDialogs) {
                if (engine == static_cast<uint16_t>(lparam & 0xFFFFu))
                    dialog = help;
            }
            Fire(Event::DoHelp, {Variant::I2(dialog)});
            return 0;
        }
        case LYDVW_N_CONTEXT_MENU:
            Fire(Event::ContextMenu, {LowWord(lparam), HighWord(lparam)});
            return m_options.Get("DoContextMenu") == 0 ? 1 : 0;
        case LYDVW_N_ENABLE_APP: {
            int16_t answer = 0;
            Fire(Event::EnableApp, {Variant::I4(static_cast<int32_t>(lparam)), Variant::RefI2(&answer)});
            return answer == fennick::kTakeFileOver ? fennick::kTakeFileOver : 0;
        }
        case LYDVW_N_STAT: {
            int16_t answer = 0;
            Fire(Event::Stat, {Variant::RefI2(&answer)});
            return answer;
        }
        default:
            return 0;
    }
}

int64_t Cqelctrl::ViewThisFile(uint64_t lparam) {
    const auto* record = reinterpret_cast<const LydvwViewThisFile*>(lparam);
    if (!record || record->size < sizeof *record)
        return 0;
    Variant spec;
    const int16_t kind = static_cast<int16_t>(record->kind);
    if (record->spec != 0 && (kind == 1 || kind == 2)) {
        const auto* text = reinterpret_cast<const char*>(record->spec);
        spec = Variant::Bstr(platform::Utf8ToCp1252(std::string_view(text, strnlen(text, kSpecMax))));
    } else if (record->spec != 0 && kind == 4) {
        const auto* text = reinterpret_cast<const char16_t*>(record->spec);
        size_t n = 0;
        while (n < kSpecMax && text[n] != u'\0')
            ++n;
        spec = Variant::Bstr(platform::Utf16LeToCp1252(std::u16string_view(text, n)));
    }
    // Any other kind is a record only the engine can read: sinks get an empty value, never its address.
    int16_t answer = 0;
    Fire(Event::ViewThisFile, {spec, Variant::I2(kind), Variant::RefI2(&answer)});
    return answer == fennick::kTakeFileOver || answer == 1 ? fennick::kTakeFileOver : 0;
}

int64_t Cqelctrl::FileChange(uint64_t lparam) {
    if (lparam & 1u) {
        // The engine's annotations went with the document; their host data goes too.
        m_annotations.Clear();
        m_fileInfo = FileInformation{};
        Fire(Event::FileChange, {Variant::I4(0), Variant::I4((lparam & 4u) ? 1 : 0)});
    } else {
        FetchFileInfo();
        Fire(Event::FileChange, {Variant::I4(1), Variant::I4(0)});
    }
    return 0;
}

void Cqelctrl::FetchFileInfo() {
    if (!HasView())
        return;
    LydvwFileInfo info{};
    info.size = sizeof info;
    if (m_view->Request(LYDVW_R_FILE_INFO, info) != 0)
        return;
    m_fileInfo.displayName = ReadBounded(info.display_name);
    m_fileInfo.fileId = static_cast<int16_t>(info.file_id);
    m_fileInfo.fileIdName = ReadBounded(info.file_id_name);
    m_fileInfo.name = ReadBounded(info.file_name);
}

}  // namespace docview
