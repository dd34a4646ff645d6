// The option table and its conversions.
#include "docview/options.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace docview {

namespace {

constexpr Check kAny{};
constexpr Check Range(int32_t lo, int32_t hi) {
    return Check{CheckKind::Range, lo, hi, {}, 0};
}
constexpr Check OneOf(std::array<int32_t, 4> values, uint8_t count) {
    return Check{CheckKind::OneOf, 0, 0, values, count};
}
constexpr Check kPositive{CheckKind::Positive, 0, 0, {}, 0};
// -96 to 96 quarter hours, or 61440 for "the local zone".
constexpr Check kTimeZone{CheckKind::Range, -96, 96, {61440}, 1};

using enum Conversion;

constexpr OptionRow kRows[] = {
    {0x52848, "BMPDither", 32, 0, kAny, Plain, true},
    {0x52849, "BMPFitMode", 16, 1, kAny, Plain, true},
    {0x528A3, "VECFitMode", 16, 1, kAny, Plain, true},
    {0x52846, "BMPPrintAspect", 16, 1, OneOf({1, 2}, 2), Plain, false},
    {0x528A1, "VECPrintAspect", 16, 1, OneOf({1, 2}, 2), Plain, false},
    {0x52847, "BMPPrintBorder", 32, 1, kAny, Plain, false},
    {0x528A2, "VECPrintBorder", 32, 1, kAny, Plain, false},
    {0x5283C, "BMPRotation", 16, 0, OneOf({0, 90, 180, 270}, 4), Plain, true},
    {0x5296C, "DBClipboard", 16, 0, Range(0, 2), Plain, false},
    {0x52908, "SSClipboard", 16, 0, Range(0, 2), Plain, false},
    {0x5296E, "DBDraftMode", 32, 1, kAny, Plain, false},
    {0x5290B, "SSDraftMode", 32, 1, kAny, Plain, false},
    {0x5296D, "DBFieldNamesToClip", 32, 1, kAny, Plain, false},
    {0, "SSRowColNamesToClip", 32, 1, kAny, Ignored, false},
    {0x5296F, "DBPrintFit", 16, 0, Range(0, 3), Plain, false},
    {0x5290C, "SSPrintFit", 16, 0, OneOf({0, 4, 5}, 3), Plain, false},
    {0x5296A, "DBPrintGridLines", 32, 1, kAny, Plain, false},
    {0x52906, "SSPrintGridLines", 32, 1, kAny, Plain, false},
    {0x5296B, "DBPrintHeadings", 32, 1, kAny, Plain, false},
    {0x52907, "SSPrintHeadings", 32, 1, kAny, Plain, false},
    {0x52969, "DBShowGridLines", 32, 1, kAny, Plain, true},
    {0x52905, "SSShowGridLines", 32, 1, kAny, Plain, true},
    {0x5290D, "SSPrintScalePercent", 32, 100, Range(50, 300), Plain, false},
    {0x5290E, "SSPrintScaleXHigh", 32, 1, kPositive, Plain, false},
    {0x5290F, "SSPrintScaleXWide", 32, 1, kPositive, Plain, false},
    {0x52910, "SSPrintDirection", 32, 0, Range(0, 1), Plain, false},
    {0x527D9, "WPDisplayMode", 16, 3, Range(1, 3), Plain, true},
    {0x527DE, "WPFitMode", 16, 1, OneOf({1, 2, 4}, 3), Plain, true},
    {0x527DF, "WPWrapToWindow", 32, 1, kAny, Plain, true},
    {0x527E3, "EMailViewDisabled", 32, 0, kAny, Plain, false},
    {0x52A96, "ArchiveSortOrder", 16, 1, Range(1, 4), ArchiveWord, true},
    {0x52A96, "ArchiveSortDescending", 32, 0, kAny, ArchiveWord, true},
    {0x528A8, "VecPrintBackground", 32, 1, kAny, Plain, false},
    {0x528A7, "VecShowBackground", 32, 1, kAny, Plain, true},
    {0x52779, "FallbackFormat", 16, 0, Range(0, 16), LocalOnly, false},
    {0x52A31, "DialogFlags", 16, 0, kAny, Plain, false},
    {0x52A33, "IntlFlag", 32, 1, kAny, Plain, false},
    {0x52A35, "EnableDragNDrop", 32, 0, kAny, Plain, false},
    {0x529CD, "ToClipboard", 32, 1027, kAny, Plain, false},
    {0x52A32, "SystemTimer", 32, 1, kAny, SystemFlags, false},
    {0x52A32, "SystemReadAhead", 32, 1, kAny, SystemFlags, false},
    {0x52A32, "SystemUnicode", 32, 0, kAny, SystemFlags, false},
    {0x52A32, "SystemRawText", 32, 0, kAny, SystemFlags, false},
    {0x52A34, "HScrollbar", 32, 1, kAny, ScrollWord, true},
    {0x52A34, "VScrollbar", 32, 1, kAny, ScrollWord, true},
    {0x52A36, "FIFlags", 32, 0, kAny, Plain, false},
    {0x42B66, "AntiAliasMode", 32, 0, kAny, Plain, false},
    {0x43B60, "UnmappableChar", 16, 42, kAny, Plain, false},
    {0x52B2B, "ReorderMethod", 16, 0, kAny, Plain, false},
    {0x52B03, "TimeZoneOffset", 32, 0, kTimeZone, TimeZone, false},
    {0x52783, "FontScalingFactor", 16, 100, kAny, Plain, true},
    {0x5277C, "WhatToPrint", 16, 1, kAny, Plain, false},
    {0x5277D, "PrintStartPage", 32, 1, kAny, Plain, false},
    {0x5277E, "PrintEndPage", 32, 1, kAny, Plain, false},
    {0x5277F, "PrintCollate", 32, 0, kAny, Plain, false},
    {0x52780, "PrintCopies", 16, 1, kAny, Plain, false},
    {0x52782, "UseDocPageSettings", 32, 1, kAny, Plain, false},
    // Kept in the control only: they decide answers or travel inside other records.
    {0, "DoContextMenu", 32, 1, kAny, LocalOnly, false},
    {0, "IMGXZoomPercent", 32, 100, kPositive, LocalOnly, false},
    {0, "IMGYZoomPercent", 32, 100, kPositive, LocalOnly, false},
};

constexpr uint32_t kFontIds[3] = {0x52774, 0x529CE, 0x52777};
constexpr uint32_t kFallbackId = 0x52779;
constexpr uint32_t kFallbackProbeId = 0x53BC4;
constexpr uint32_t kIntlId = 0x52A33;
constexpr uint32_t kResourceId = 0x1272E;
constexpr uint32_t kPrintJobNameId = 0x5277B;
constexpr uint32_t kMarginsId = 0x52776;
constexpr uint32_t kArchiveId = 0x52A96;
// How an archive's members are saved (1 or 2); kept for the engine, which shows no archives.
constexpr uint32_t kArchiveSaveId = 0x52A95;
constexpr uint32_t kSystemId = 0x52A32;
constexpr uint32_t kScrollId = 0x52A34;

constexpr uint32_t kFallbackIds[17] = {4002, 4005, 4000, 4004, 4007, 4008, 4003, 4001, 4006,
                                       4009, 4010, 4011, 4012, 4013, 4014, 1117, 1116};

constexpr double kTwipsPerInch = 1440;
constexpr double kTwipsPerCentimetre = 566;
constexpr double kMaxMarginTwips = 6090;

// Names beginning with '#' are records rather than table rows.
constexpr std::string_view kPushOrder[] = {
    "FontScalingFactor",
    "#resource",
    "BMPDither",
    "BMPFitMode",
    "VECFitMode",
    "BMPPrintAspect",
    "VECPrintAspect",
    "BMPPrintBorder",
    "VECPrintBorder",
    "BMPRotation",
    "DBClipboard",
    "SSClipboard",
    "DBDraftMode",
    "SSDraftMode",
    "DBFieldNamesToClip",
    "DBPrintFit",
    "SSPrintFit",
    "DBPrintGridLines",
    "SSPrintGridLines",
    "DBPrintHeadings",
    "SSPrintHeadings",
    "DBShowGridLines",
    "SSShowGridLines",
    "SSPrintScalePercent",
    "SSPrintScaleXHigh",
    "SSPrintScaleXWide",
    "SSPrintDirection",
    "WPDisplayMode",
    "WPFitMode",
    "WPWrapToWindow",
    "ArchiveSortOrder",
    "VecPrintBackground",
    "VecShowBackground",
    "#fallback",
    "#font0",
    "#font1",
    "#font2",
    "DialogFlags",
    "#intl",
    "EnableDragNDrop",
    "ToClipboard",
    "SystemTimer",
    "FIFlags",
    "UnmappableChar",
    "ReorderMethod",
    "AntiAliasMode",
    "EMailViewDisabled",
    "TimeZoneOffset",
    "HScrollbar",
    "#margins",
};

size_t RowIndex(std::string_view member) {
    for (size_t i = 0; i < std::size(kRows); ++i) {
        if (kRows[i].member == member)
            return i;
    }
    return std::size(kRows);
}

void SendValue(OptionChannel& channel, uint32_t id, uint8_t width, int32_t value) {
    if (width == 16) {
        const int16_t narrow = static_cast<int16_t>(value);
        channel.SetOption(id, &narrow, sizeof narrow);
    } else {
        channel.SetOption(id, &value, sizeof value);
    }
}

}  // namespace

bool Check::Accepts(int32_t value) const {
    const auto listed = [&] {
        return std::find(oneOf.begin(), oneOf.begin() + oneOfCount, value) != oneOf.begin() + oneOfCount;
    };
    switch (kind) {
        case CheckKind::Any:
            return true;
        case CheckKind::Range:
            return (value >= lo && value <= hi) || listed();
        case CheckKind::OneOf:
            return listed();
        case CheckKind::Positive:
            return value > 0;
    }
    return false;
}

std::span<const OptionRow> OptionRows() {
    return kRows;
}

const OptionRow* FindOption(std::string_view member) {
    const size_t i = RowIndex(member);
    return i < std::size(kRows) ? &kRows[i] : nullptr;
}

uint32_t FallbackEngineId(int32_t value) {
    return value >= 0 && value <= 16 ? kFallbackIds[value] : kFallbackIds[0];
}

std::optional<int32_t> FallbackFromPut(int32_t value) {
    if (value >= 0 && value <= 16)
        return value;
    if (value == 1116)
        return 16;
    if (value == 1117)
        return 15;
    if (value >= 4000 && value <= 4014) {
        for (int32_t i = 0; i < 15; ++i) {
            if (kFallbackIds[i] == static_cast<uint32_t>(value))
                return i;
        }
    }
    return std::nullopt;
}

int32_t FallbackFromProbe(uint32_t answer) {
    struct Pair {
        uint32_t answer;
        int32_t value;
    };
    static constexpr Pair kPairs[] = {
        {0x10100, 3},     {0x20100, 4},     {0x30100, 1},    {0xA0101, 15},
        {0xF0D0000, 14},  {0x13540100, 13}, {0x13A40000, 9}, {0x13A80000, 10},
        {0x13B50000, 11}, {0x13B60000, 12}, {0x14B00000, 6}, {0x14E30100, 16},
    };
    for (const Pair& pair : kPairs) {
        if (pair.answer == answer)
            return pair.value;
    }
    return 0;
}

void CopyBounded(std::span<char> field, std::string_view text) {
    if (field.empty())
        return;
    const size_t n = std::min(text.size(), field.size() - 1);
    std::memcpy(field.data(), text.data(), n);
    std::fill(field.begin() + static_cast<std::ptrdiff_t>(n), field.end(), '\0');
}

std::string ReadBounded(std::span<const char> field) {
    return std::string(field.data(), strnlen(field.data(), field.size()));
}

OptionStore::OptionStore() {
    m_values.reserve(std::size(kRows));
    for (const OptionRow& row : kRows)
        m_values.push_back(row.defaultValue);
    m_marginTwips.fill(kTwipsPerInch);
    for (LydvwFontRecord& font : m_fonts) {
        CopyBounded(font.face, "Arial");
        font.half_points = 20;
    }
    m_intl.size = sizeof m_intl;
}

int32_t& OptionStore::Slot(const OptionRow& row) {
    return m_values[static_cast<size_t>(&row - kRows)];
}

int32_t OptionStore::Get(std::string_view member) const {
    const size_t i = RowIndex(member);
    return i < m_values.size() ? m_values[i] : 0;
}

uint32_t OptionStore::SystemFlagWord() const {
    uint32_t word = 0;
    if (Get("SystemRawText"))
        word |= 1u;
    if (!Get("SystemTimer"))
        word |= 2u;
    if (!Get("SystemReadAhead"))
        word |= 8u;
    if (Get("SystemUnicode"))
        word |= 16u;
    return word;
}

uint32_t OptionStore::ScrollWord() const {
    return (Get("HScrollbar") ? 4u : 1u) | (Get("VScrollbar") ? 0x20u : 8u);
}

uint32_t OptionStore::ArchiveWord() const {
    return static_cast<uint32_t>(static_cast<uint16_t>(Get("ArchiveSortOrder"))) |
           (Get("ArchiveSortDescending") ? 0x80000000u : 0u);
}

void OptionStore::Send(const OptionRow& row, OptionChannel& channel) const {
    switch (row.conversion) {
        case Plain:
        case TimeZone:
            if (row.id == kIntlId) {
                const LydvwIntlFlag flag{sizeof(LydvwIntlFlag), Get(row.member) != 0 ? 1u : 0u};
                channel.SetOption(row.id, &flag, sizeof flag);
            } else {
                SendValue(channel, row.id, row.width, Get(row.member));
            }
            break;
        case Conversion::ArchiveWord: {
            const uint32_t word = ArchiveWord();
            channel.SetOption(row.id, &word, sizeof word);
            break;
        }
        case Conversion::SystemFlags: {
            const uint32_t word = SystemFlagWord();
            channel.SetOption(row.id, &word, sizeof word);
            break;
        }
        case Conversion::ScrollWord: {
            const uint32_t word = ScrollWord();
            channel.SetOption(row.id, &word, sizeof word);
            break;
        }
        case Ignored:
        case LocalOnly:
            break;
    }
}

PutResult OptionStore::Put(std::string_view member, int32_t value, OptionChannel* channel) {
    const size_t i = RowIndex(member);
    if (i >= std::size(kRows))
        return PutResult::Invalid;
    const OptionRow& row = kRows[i];
    if (row.width == 16)
        value = static_cast<int16_t>(value);
    if (!row.check.Accepts(value)) {
        // A refused time zone still sends the stored one, so the engine and the control agree again.
        if (row.conversion == TimeZone && channel)
            Send(row, *channel);
        return PutResult::Invalid;
    }
    if (row.conversion == Ignored)
        return PutResult::Ok;
    Slot(row) = value;
    if (channel)
        Send(row, *channel);
    return PutResult::Ok;
}

PutResult OptionStore::PutFallback(int32_t value, OptionChannel* channel) {
    std::optional<int32_t> stored;
    if (value == LYDVW_FI_ASK_ENGINE) {
        uint32_t answer = 0;
        if (channel)
            channel->GetOption(kFallbackProbeId, &answer, sizeof answer);
        stored = FallbackFromProbe(answer);
    } else {
        stored = FallbackFromPut(value);
    }
    if (!stored)
        return PutResult::Invalid;
    Slot(kRows[RowIndex("FallbackFormat")]) = *stored;
    if (channel) {
        const uint32_t id = FallbackEngineId(*stored);
        channel->SetOption(kFallbackId, &id, sizeof id);
    }
    return PutResult::Ok;
}

float OptionStore::GetMargin(int index) const {
    const double unit = Get("IntlFlag") ? kTwipsPerInch : kTwipsPerCentimetre;
    return static_cast<float>(std::round(m_marginTwips[static_cast<size_t>(index)] / unit * 100.0) / 100.0);
}

bool OptionStore::MarginInRange(float value) const {
    const double unit = Get("IntlFlag") ? kTwipsPerInch : kTwipsPerCentimetre;
    const double twips = static_cast<double>(value) * unit;
    return twips >= 0 && twips <= kMaxMarginTwips;
}

void OptionStore::PutMargin(int index, float value, OptionChannel* channel) {
    const double unit = Get("IntlFlag") ? kTwipsPerInch : kTwipsPerCentimetre;
    double twips = static_cast<double>(value) * unit;
    if (!(twips >= 0))
        twips = 0;  // also NaN
    m_marginTwips[static_cast<size_t>(index)] = std::min(twips, kMaxMarginTwips);
    if (channel)
        SendMargins(*channel);
}

void OptionStore::SendMargins(OptionChannel& channel) const {
    int32_t twips[4];
    for (size_t i = 0; i < 4; ++i)
        twips[i] = static_cast<int32_t>(m_marginTwips[i]);
    channel.SetOption(kMarginsId, twips, sizeof twips);
}

PutResult OptionStore::PutResourceLibraryId(const std::optional<std::string>& text, OptionChannel* channel) {
    if (!text) {
        m_resourceId.clear();
        return PutResult::Ok;
    }
    if (text->size() > kResourceIdMax)
        return PutResult::TooLong;
    m_resourceId = *text;
    if (channel) {
        LydvwResourceId record{sizeof(LydvwResourceId), {}};
        CopyBounded(record.text, m_resourceId);
        channel->SetOption(kResourceId, &record, sizeof record);
    }
    return PutResult::Ok;
}

PutResult OptionStore::PutPrintJobName(const std::optional<std::string>& text, OptionChannel* channel) {
    if (!text) {
        m_printJobName.clear();
        return PutResult::Ok;
    }
    if (text->size() > kPrintJobNameMax)
        return PutResult::TooLong;
    m_printJobName = *text;
    if (channel) {
        // The engine reads the whole field, whatever the text's length.
        char field[kPrintJobNameMax + 1] = {};
        CopyBounded(field, m_printJobName);
        channel->SetOption(kPrintJobNameId, field, sizeof field);
    }
    return PutResult::Ok;
}

void OptionStore::SetFont(int index, const LydvwFontRecord& record, OptionChannel* channel) {
    LydvwFontRecord& font = m_fonts[static_cast<size_t>(index)];
    font = record;
    font.face[sizeof font.face - 1] = '\0';
    font.reserved = 0;
    if (channel)
        channel->SetOption(kFontIds[index], &font, sizeof font);
}

void OptionStore::PushAll(OptionChannel& channel) const {
    for (std::string_view step : kPushOrder) {
        if (step == "#resource") {
            LydvwResourceId record{sizeof(LydvwResourceId), {}};
            CopyBounded(record.text, m_resourceId);
            channel.SetOption(kResourceId, &record, sizeof record);
        } else if (step == "#fallback") {
            const uint32_t id = FallbackEngineId(Get("FallbackFormat"));
            channel.SetOption(kFallbackId, &id, sizeof id);
        } else if (step.starts_with("#font")) {
            const int index = step.back() - '0';
            channel.SetOption(kFontIds[index], &m_fonts[static_cast<size_t>(index)], sizeof(LydvwFontRecord));
        } else if (step == "#intl") {
            LydvwIntlRecord record = m_intl;
            record.size = sizeof record;
            record.intl_flag = Get("IntlFlag") != 0 ? 1u : 0u;
            channel.SetOption(kIntlId, &record, sizeof record);
        } else if (step == "#margins") {
            SendMargins(channel);
        } else {
            Send(kRows[RowIndex(step)], channel);
        }
    }
}

bool OptionStore::ReadBack(uint32_t id, OptionChannel& channel) {
    for (int i = 0; i < 3; ++i) {
        if (id == kFontIds[i]) {
            LydvwFontRecord record{};
            channel.GetOption(id, &record, sizeof record);
            SetFont(i, record, nullptr);
            return true;
        }
    }
    switch (id) {
        case kFallbackId: {
            uint32_t engineId = 0;
            channel.GetOption(id, &engineId, sizeof engineId);
            const std::optional<int32_t> value = FallbackFromPut(static_cast<int32_t>(engineId));
            Slot(kRows[RowIndex("FallbackFormat")]) = value.value_or(0);
            return true;
        }
        case kIntlId: {
            LydvwIntlFlag flag{sizeof(LydvwIntlFlag), 0};
            channel.GetOption(id, &flag, sizeof flag);
            Slot(kRows[RowIndex("IntlFlag")]) = static_cast<int32_t>(flag.intl_flag & 1u);
            return true;
        }
        case kArchiveId: {
            uint32_t word = 0;
            channel.GetOption(id, &word, sizeof word);
            Slot(kRows[RowIndex("ArchiveSortOrder")]) = static_cast<int16_t>(word & 0xFFFFu);
            Slot(kRows[RowIndex("ArchiveSortDescending")]) = (word & 0x80000000u) ? 1 : 0;
            return true;
        }
        case kSystemId: {
            uint32_t word = 0;
            channel.GetOption(id, &word, sizeof word);
            Slot(kRows[RowIndex("SystemRawText")]) = (word & 1u) ? 1 : 0;
            Slot(kRows[RowIndex("SystemTimer")]) = (word & 2u) ? 0 : 1;
            Slot(kRows[RowIndex("SystemReadAhead")]) = (word & 8u) ? 0 : 1;
            Slot(kRows[RowIndex("SystemUnicode")]) = (word & 16u) ? 1 : 0;
            return true;
        }
        case kScrollId: {
            uint32_t word = 0;
            channel.GetOption(id, &word, sizeof word);
            Slot(kRows[RowIndex("HScrollbar")]) = (word & 4u) ? 1 : 0;
            Slot(kRows[RowIndex("VScrollbar")]) = (word & 0x20u) ? 1 : 0;
            return true;
        }
        case kMarginsId: {
            uint32_t twips[4] = {};
            channel.GetOption(id, twips, sizeof twips);
            for (size_t i = 0; i < 4; ++i)
                m_marginTwips[i] = twips[i];
            return true;
        }
        case kResourceId: {
            LydvwResourceId record{sizeof(LydvwResourceId), {}};
            channel.GetOption(id, &record, sizeof record);
            m_resourceId = ReadBounded(record.text).substr(0, kResourceIdMax);
            return true;
        }
        case kPrintJobNameId: {
            char text[kPrintJobNameMax + 1] = {};
            channel.GetOption(id, text, sizeof text);
            m_printJobName = ReadBounded(text);
            return true;
        }
        default:
            break;
    }
    for (const OptionRow& row : kRows) {
        if (row.id != id || (row.conversion != Plain && row.conversion != TimeZone))
            continue;
        if (row.width == 16) {
            int16_t value = 0;
            channel.GetOption(id, &value, sizeof value);
            Slot(row) = value;
        } else {
            int32_t value = 0;
            channel.GetOption(id, &value, sizeof value);
            Slot(row) = value;
        }
        return true;
    }
    return false;
}

}  // namespace docview

namespace docview {

size_t OptionDataSize(uint32_t id) {
    for (uint32_t font : kFontIds) {
        if (font == id)
            return sizeof(LydvwFontRecord);
    }
    switch (id) {
        case kFallbackId:
        case kFallbackProbeId:
        case kArchiveId:
        case kSystemId:
        case kScrollId:
            return 4;
        case kIntlId:
            return sizeof(LydvwIntlFlag);
        case kResourceId:
            return sizeof(LydvwResourceId);
        case kPrintJobNameId:
            return kPrintJobNameMax + 1;
        case kMarginsId:
        case LYDVW_OPT_BMP_ZOOM:
        case LYDVW_OPT_VEC_ZOOM:
            return 16;
        case LYDVW_OPT_BMP_FULL_SCREEN:
        case LYDVW_OPT_VEC_FULL_SCREEN:
            return 4;
        case LYDVW_OPT_BMP_ZOOM_TYPE:
        case LYDVW_OPT_VEC_ZOOM_TYPE:
            return 2;
        case LYDVW_OPT_PRINT_DIALOGS:
            return 4;
        case kArchiveSaveId:
            return 2;
        case 0x52AFB:
            return sizeof(LydvwMonthNames);
        case 0x52AFA:
            return sizeof(LydvwDayNames);
        default:
            break;
    }
    for (const OptionRow& row : kRows) {
        if (row.id == id && row.id != 0)
            return row.width / 8u;
    }
    return 0;
}

}  // namespace docview
