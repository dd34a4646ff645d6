#include "docview/annotations.h"

#include <algorithm>
#include <iterator>

namespace docview {

using platform::automation::Variant;

std::optional<uint32_t> HiliteStyleWord(int32_t style, int32_t background, int32_t foreground) {
    if (style > 0)
        return static_cast<uint32_t>(style) | 0x40000000u;
    if (foreground > 16 || background > 16)
        return std::nullopt;
    uint32_t word = 0;
    word += foreground >= 1 ? static_cast<uint32_t>(foreground - 1) * 16 : 0x20000000u;
    word += background >= 1 ? static_cast<uint32_t>(background - 1) : 0x10000000u;
    return word;
}

bool IsEngineKind(uint32_t id) {
    return (id & kAnnotationEngineKindA) == kAnnotationEngineKindA ||
           (id & kAnnotationEngineKindB) == kAnnotationEngineKindB;
}

std::optional<uint32_t> AutomationColourToRgb(uint32_t colour) {
    // The system colours as a fresh desktop has them, by index (0x00BBGGRR).
    static constexpr uint32_t kSystem[] = {
        0xC8D0D4, 0xA56E3A, 0x6A240A, 0x808080, 0xC8D0D4, 0xFFFFFF, 0x000000, 0x000000,
        0x000000, 0xFFFFFF, 0xC8D0D4, 0xC8D0D4, 0x808080, 0x6A240A, 0xFFFFFF, 0xC8D0D4,
        0x808080, 0x808080, 0x000000, 0x000000, 0xFFFFFF, 0x404040, 0xC8D0D4, 0x000000,
        0xE1FFFF, 0xB5B5B5, 0x800000, 0xF0CAA6, 0xC0C0C0, 0xFF9933, 0xF0F0F0};
    switch (colour >> 24) {
        case 0x00:
        case 0x02:  // a colour matched in the palette: the colour itself
            return colour & 0xFFFFFFu;
        case 0x80:
            if ((colour & 0xFFFFFFu) < std::size(kSystem))
                return kSystem[colour & 0xFFFFFFu];
            return std::nullopt;
        default:
            return std::nullopt;
    }
}

uint32_t AnnotationTable::Add(uint32_t id, const Variant& data) {
    Variant copy;
    if (platform::automation::Failed(data.Dereference(copy)) || copy.IsEmpty())
        copy = Variant::UI1(0);
    // The table cannot hold 2^32 - 1 entries, so a free token is always found.
    uint32_t token = m_nextToken;
    while (token == 0 || ByToken(token))
        ++token;
    m_nextToken = token + 1;
    m_entries.push_back({token, id, std::move(copy)});
    return token;
}

void AnnotationTable::Drop(uint32_t token) {
    m_entries.remove_if([token](const Entry& e) { return e.token == token; });
}

void AnnotationTable::RemoveContaining(uint32_t mask) {
    m_entries.remove_if([mask](const Entry& e) { return (e.id & mask) == mask; });
}

void AnnotationTable::RemoveExact(uint32_t id) {
    m_entries.remove_if([id](const Entry& e) { return e.id == id; });
}

const AnnotationTable::Entry* AnnotationTable::ByToken(uint32_t token) const {
    auto it = std::find_if(m_entries.begin(), m_entries.end(),
                           [token](const Entry& e) { return e.token == token; });
    return it == m_entries.end() ? nullptr : &*it;
}

}  // namespace docview
