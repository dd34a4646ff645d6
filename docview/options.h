// The control's viewing options as one table of rows (engine id, member, width, default, check, conversion)
// and the store that puts, gets, pushes and reads them back through an engine-option channel.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "docview/lydvw.h"

namespace docview {

inline constexpr int32_t kInvalidValue = 16646;
inline constexpr int32_t kBadParameter = 15;
inline constexpr size_t kResourceIdMax = 5;
inline constexpr size_t kPrintJobNameMax = 40;

// How the control reaches the engine's options (requests 2074 and 2075 with flag 2).
class OptionChannel {
  public:
    virtual ~OptionChannel() = default;
    virtual int64_t SetOption(uint32_t id, const void* data, size_t size) = 0;
    virtual int64_t GetOption(uint32_t id, void* data, size_t size) = 0;
};

enum class CheckKind : uint8_t { Any, Range, OneOf, Positive };
struct Check {
    CheckKind kind = CheckKind::Any;
    int32_t lo = 0;
    int32_t hi = 0;
    std::array<int32_t, 4> oneOf{};
    uint8_t oneOfCount = 0;
    bool Accepts(int32_t value) const;
};

// How a member reaches the engine.
enum class Conversion : uint8_t {
    Plain,        // the value itself, 16 or 32 bits as the member
    ArchiveWord,  // order with bit 31 set when descending
    SystemFlags,  // one word of four flags
    ScrollWord,   // one word of the two scroll bars
    TimeZone,     // a refused value sends the stored one again
    Ignored,      // accepted and dropped
    LocalOnly,    // kept in the control, never sent as an option
};

struct OptionRow {
    uint32_t id;  // 0 when the member has no option of its own
    std::string_view member;
    uint8_t width;  // 16 or 32
    int32_t defaultValue;
    Check check;
    Conversion conversion;
    bool refreshesView;
};

std::span<const OptionRow> OptionRows();
const OptionRow* FindOption(std::string_view member);

// Fallback format: property value 0 to 16 and the engine's file ids.
uint32_t FallbackEngineId(int32_t value);
// The property value for a put: 0 to 16 stand, engine ids map back; nullopt when it is neither (1170 is
// resolved by the caller through FallbackFromProbe).
std::optional<int32_t> FallbackFromPut(int32_t value);
// The property value for the engine's answer to option 0x53BC4.
int32_t FallbackFromProbe(uint32_t answer);

enum class PutResult { Ok, Invalid, TooLong };

// The stored options with their conversions. Sending happens only while a channel is given.
class OptionStore {
  public:
    OptionStore();

    int32_t Get(std::string_view member) const;
    // A numeric member: validated, stored, sent (its option, or its whole word).
    PutResult Put(std::string_view member, int32_t value, OptionChannel* channel);

    // FallbackFormat accepts 0 to 16, the engine ids and 1170 (asked of the engine).
    PutResult PutFallback(int32_t value, OptionChannel* channel);

    // Margins: index 0 top, 1 bottom, 2 left, 3 right, in inches (IntlFlag nonzero) or centimetres.
    float GetMargin(int index) const;
    void PutMargin(int index, float value, OptionChannel* channel);
    // Whether a margin in the current unit is one PutMargin keeps as it is (not NaN, not clamped).
    bool MarginInRange(float value) const;
    double MarginTwips(int index) const { return m_marginTwips[static_cast<size_t>(index)]; }

    // ResourceLibraryID (at most 5 characters) and PrintJobName (at most 40). A missing text stores empty
    // without sending; an over-long one is refused with TooLong, nothing stored or sent.
    const std::string& ResourceLibraryId() const { return m_resourceId; }
    const std::string& PrintJobName() const { return m_printJobName; }
    PutResult PutResourceLibraryId(const std::optional<std::string>& text, OptionChannel* channel);
    PutResult PutPrintJobName(const std::optional<std::string>& text, OptionChannel* channel);

    // Fonts 0 display, 1 clip, 2 print.
    const LydvwFontRecord& Font(int index) const { return m_fonts[static_cast<size_t>(index)]; }
    void SetFont(int index, const LydvwFontRecord& record, OptionChannel* channel);

    LydvwIntlRecord& Intl() { return m_intl; }
    const LydvwIntlRecord& Intl() const { return m_intl; }

    uint32_t SystemFlagWord() const;
    uint32_t ScrollWord() const;
    uint32_t ArchiveWord() const;

    // Every option in the engine's expected order, after the view is made.
    void PushAll(OptionChannel& channel) const;
    // Refreshes the member(s) of `id` from the engine; false for an id the control does not know.
    bool ReadBack(uint32_t id, OptionChannel& channel);

  private:
    int32_t& Slot(const OptionRow& row);
    void Send(const OptionRow& row, OptionChannel& channel) const;
    void SendMargins(OptionChannel& channel) const;

    std::vector<int32_t> m_values;
    std::array<double, 4> m_marginTwips{};
    std::string m_resourceId;
    std::string m_printJobName;
    std::array<LydvwFontRecord, 3> m_fonts{};
    LydvwIntlRecord m_intl{};
};

// Copies `text` into a fixed field, cut to fit and always terminated.
void CopyBounded(std::span<char> field, std::string_view text);
// The text of a field written by the other side, read only within the field.
std::string ReadBounded(std::span<const char> field);

}  // namespace docview

namespace docview {
// The bytes an option's data occupies, for the engine side of requests 2074 and 2075; 0 for an unknown id.
// Records that lead with their size (the international record) are measured by the caller.
size_t OptionDataSize(uint32_t id);
}  // namespace docview
