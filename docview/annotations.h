// The control's side of annotations: the style word it sends and its table of host data per entry.
#pragma once

#include <cstdint>
#include <list>
#include <optional>

#include "platform/automation/variant.h"

namespace docview {

// Bits naming annotations of the engine's own two kinds.
inline constexpr uint32_t kAnnotationEngineKindA = 0x84000000u;
inline constexpr uint32_t kAnnotationEngineKindB = 0x82000000u;

// The style word of a highlight; empty when a colour index is above 16 (an invalid argument).
std::optional<uint32_t> HiliteStyleWord(int32_t style, int32_t background, int32_t foreground);

// Host data per annotation, in the order added. The engine is told a token the table issues, never the host's
// id (which need not be unique) nor an address, so a stale token from the engine finds nothing.
class AnnotationTable {
  public:
    struct Entry {
        uint32_t token;
        uint32_t id;
        platform::automation::Variant data;
    };

    // Stores a copy of `data` (a reference is followed; empty data is kept as an 8-bit 0) and returns the token.
    uint32_t Add(uint32_t id, const platform::automation::Variant& data);
    // Takes back an entry the engine refused.
    void Drop(uint32_t token);
    void Clear() { m_entries.clear(); }
    // Removes every entry whose id holds all bits of `mask`.
    void RemoveContaining(uint32_t mask);
    void RemoveExact(uint32_t id);

    const Entry* ByToken(uint32_t token) const;
    const std::list<Entry>& Entries() const { return m_entries; }

  private:
    std::list<Entry> m_entries;
    uint32_t m_nextToken = 1;
};

}  // namespace docview
