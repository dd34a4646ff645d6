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

class CStockFont final : public DispatchObject {
  public:
    // `changed` runs after every change that alters the description; it may be null.
    explicit CStockFont(FontDescription description = {}, std::function<void()> changed = nullptr);

    const FontDescription& Description() const { return m_description; }
    void SetDescription(const FontDescription& description);

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
    std::function<void()> m_changed;
};

}  // namespace platform::automation
