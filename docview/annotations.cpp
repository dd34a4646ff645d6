#include "docview/annotations.h"

#include <algorithm>

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

uint32_t AnnotationTable::Add(uint32_t id, const Variant& data) {
    Variant copy;
    if (platform::automation::Failed(data.Dereference(copy)) || copy.IsEmpty())
        copy = Variant::UI1(0);
    uint32_t token = m_nextToken++;
    if (m_nextToken == 0)  // 0 is never a token
        m_nextToken = 1;
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
    auto it = std::find_if(m_entries.begin(), m_entries.end(), [token](const Entry& e) { return e.token == token; });
    return it == m_entries.end() ? nullptr : &*it;
}

}  // namespace docview
