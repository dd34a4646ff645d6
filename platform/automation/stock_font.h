// A control's stock Font property: a font object with the usual members (Name, Size, Bold, Italic,
// Underline, Strikethrough, Weight, Charset) that a container or script reads and changes in place, kept
// with the control's other persisted properties. What a change means is the control's: it learns of it
// through the callback.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/automation/dispatch_object.h"
#include "platform/automation/property_bag.h"

namespace platform::automation {

inline constexpr DISPID kDispidFont = -512;

struct FontDescription {
    std::string name{"MS Sans Serif"};
    int32_t size = 8;  // points
    int16_t weight = 400;
    int16_t charset = 0;
    bool italic = false;
    bool underline = false;
    bool strikethrough = false;
    bool operator==(const FontDescription&) const = default;
};

// The font interfaces of the system's font objects, which a font object of the currency form answers.
inline constexpr Guid IID_IFont = Guid::FromLiteral("{BEF6E002-A874-101A-8BBA-00AA00300CAB}");
inline constexpr Guid IID_IFontDisp = Guid::FromLiteral("{BEF6E003-A874-101A-8BBA-00AA00300CAB}");

// How Size reads and writes: whole points, as the stock Font property has always taken it, or currency
// units of 1/10000 point as the system's font objects take it (100000 for 10 points, half points kept).
enum class FontSizeUnit { Points, Currency };
inline constexpr int64_t kCurrencyPerPoint = 10000;

class CStockFont final : public DispatchObject {
  public:
    // `changed` runs after every change that alters the description; it may be null.
    explicit CStockFont(FontDescription description = {}, std::function<void()> changed = nullptr,
                        FontSizeUnit unit = FontSizeUnit::Points);

    const FontDescription& Description() const { return m_description; }
    void SetDescription(const FontDescription& description);
    // The exact size in currency units; Description().size is it rounded to points.
    int64_t SizeCurrency() const { return m_sizeCurrency; }
    void SetSizeCurrency(int64_t size);

    // The description of any font object, read by member name; nullopt when it has no usable Name or Size.
    // Members it lacks keep the defaults.
    static std::optional<FontDescription> ReadFrom(IDispatch& font);

    // Exchange with the container's store under "Font.Name", "Font.Size"...; a stored value that is
    // missing or out of range keeps the current one.
    void Load(PropertyBag& bag);
    void Save(PropertyBag& bag) const;

  private:
    void Change(const std::function<void(FontDescription&)>& edit);

    FontDescription m_description;
    int64_t m_sizeCurrency = 0;
    std::function<void()> m_changed;
};

}  // namespace platform::automation
