// The control's side of annotations: the style word it sends and its table of host data per entry.
#pragma once

#include <cstdint>
#include <list>
#include <optional>
#include <vector>

#include "platform/automation/variant.h"

namespace docview {

// Bits naming annotations of the engine's own two kinds.
inline constexpr uint32_t kAnnotationEngineKindA = 0x84000000u;
inline constexpr uint32_t kAnnotationEngineKindB = 0x82000000u;

// True when `id` holds all bits of either of the engine's own kinds.
bool IsEngineKind(uint32_t id);

// The style word of a highlight; empty when a colour index is above 16 (an invalid argument).
std::optional<uint32_t> HiliteStyleWord(int32_t style, int32_t background, int32_t foreground);

// An automation colour (0x00BBGGRR, a palette-matched 0x02BBGGRR, or a system colour 0x800000nn) as
// 0x00BBGGRR; empty for a system colour that does not exist or another high byte (a bare palette index).
std::optional<uint32_t> AutomationColourToRgb(uint32_t colour);

// A picture annotation's copy: what the engine is given, owned by the caller for the one request.
struct PictureBits {
    bool icon = false;  // an icon at its own size; otherwise a bitmap of the picture drawn on white
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint32_t> argb;  // rows of `width` pixels, 0xAARRGGBB
};

// What a host's picture object says of itself: its type (1 bitmap, 2 metafile, 3 icon, 4 enhanced
// metafile), its handle in the process's drawing-object table and its extent in HIMETRIC.
struct PictureSource {
    int16_t type = 0;
    uint32_t handle = 0;
    int32_t widthHimetric = 0;
    int32_t heightHimetric = 0;
};

// Host data per annotation, in the order added. The engine is told a token the table issues, never the host's
// id (which need not be unique) nor an address, so a stale token from the engine finds nothing.
class AnnotationTable {
  public:
    struct Entry {
        uint32_t token;
        uint32_t id;
        platform::automation::Variant data;
    };

    // Stores a copy of `data` (a reference is followed; empty data is kept as an 8-bit 0) and returns the
    // token: never 0 and never one still in use, also once the counter has wrapped.
    uint32_t Add(uint32_t id, const platform::automation::Variant& data);
    // Takes back an entry the engine refused.
    void Drop(uint32_t token);
    void Clear() { m_entries.clear(); }
    // Removes every entry whose id holds all bits of `mask`.
    void RemoveContaining(uint32_t mask);
    void RemoveExact(uint32_t id);

    const Entry* ByToken(uint32_t token) const;
    // Where the token counter stands, so that a test can bring it to its wrap.
    void SeedTokens(uint32_t next) { m_nextToken = next; }
    const std::list<Entry>& Entries() const { return m_entries; }

  private:
    std::list<Entry> m_entries;
    uint32_t m_nextToken = 1;
};

}  // namespace docview
