// A property page as plain data and logic: which dialog field edits which property (a field may follow a
// switch field to another property), the values a page starts from, and the exchange with the objects the
// page edits, by property name through their dispatch interface, so that a page works on any object that
// has those names.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/dispatch.h"
#include "platform/automation/guid.h"
#include "platform/automation/stock_font.h"

namespace platform::automation {

enum class FieldKind {
    Text,
    Secret,  // text shown masked
    Number,
    Check,
    Choice,  // a drop-down list whose text is the property value
    List,    // a drop-down list whose position stands for a value of the field's table
    Bits,    // a group of check boxes, one bit of the property each
    Float,   // a 32-bit floating-point number, shown "%g"
    Font,    // a font object's face name, with a button that chooses another font
};

// How a number field crosses the dispatch interface.
enum class NumberKind {
    Int16,
    Port,  // shown 0..65535, carried in the 16 bits of the I2 property
    Int32,
};

// One check box of a Bits field.
struct PageBit {
    int32_t id = 0;
    std::string label;
    uint32_t mask = 0;
};

struct PageField {
    int32_t id = 0;  // the dialog control's id
    std::string label;
    FieldKind kind = FieldKind::Text;
    std::string property;       // bound unless the page's switch holds its local value
    std::string localProperty;  // bound instead while it does; empty: always `property`
    Variant initial;            // Bstr, I4 (numbers, lists, bits), R4 (floats) or Bool; a font's is Arial 10
    // The width of a number, list or bits property.
    NumberKind number = NumberKind::Int16;
    std::vector<std::string> choices;  // a Choice field's list, or a List field's own, in list order
    // List: the value each position stands for. A value the table does not hold shows no selection, and the
    // property is then not written.
    std::vector<int32_t> listValues;
    // List: the entries come from the edited object's per-property browsing rather than `choices`.
    bool browse = false;
    // Bits: the boxes of the group. Only their bits are written; the others come out 0.
    std::vector<PageBit> bits;
    // Bits: a box shows checked while its bit is clear.
    bool bitsSetWhenClear = false;
    // Check: written as the integer 1 or 0 rather than a BOOL.
    bool checkAsInteger = false;
    // Font: the id of the button beside the face name.
    int32_t buttonId = 0;
};

struct PageDefinition {
    std::string className;  // the page widget's class
    Guid clsid;
    std::string progId;
    std::string caption;           // the tab's title
    std::string registrationName;  // the class's name in the class registry
    int32_t dialogId = 0;
    std::vector<PageField> fields;  // in dialog order
    // While the property `switchProperty` holds `switchLocalValue`, the fields with a localProperty edit
    // that one. Empty: no switch.
    std::string switchProperty;
    std::string switchLocalValue;
    // Apply writes every field's property, changed or not, rather than only the changed ones.
    bool writeEveryRow = false;

    const PageField* Field(int32_t id) const;
};

// The lowest and highest value a number field takes.
int64_t NumberMinimum(NumberKind kind);
int64_t NumberMaximum(NumberKind kind);

// A font field's value: a font object of the currency form, the page's own, with the face name, the size in
// tenths of a point and the style of `description` and `tenths`.
std::shared_ptr<CStockFont> MakePageFont(const FontDescription& description, int32_t tenths);
// Arial 10 points, what a font property that holds no font object loads as.
std::shared_ptr<CStockFont> DefaultPageFont();
// The page's font object in a font field's value; null for another value.
std::shared_ptr<CStockFont> PageFontOf(const Variant& value);

// One page's values. Every property any field can be bound to has a value, so that turning the switch
// shows the other properties' values and turning it back shows the edits made before.
class PageModel {
  public:
    explicit PageModel(const PageDefinition& definition);

    const PageDefinition& Definition() const { return *m_definition; }

    // The objects the page edits (the property frame's selection). Loading reads each in turn: with several,
    // the last one's values show, as with any property page.
    void SetObjects(std::vector<std::shared_ptr<IDispatch>> objects);
    const std::vector<std::shared_ptr<IDispatch>>& Objects() const { return m_objects; }
    // Values from the objects; a property an object lacks or refuses keeps the page's initial value. Clears
    // the changes.
    void Load();

    // The property a field edits now.
    const std::string& BoundProperty(const PageField& field) const;
    // Whether the page's switch holds its local value.
    bool IsLocalBinding() const;
    // A field's current value: Bstr for text and choices, I4 for numbers, lists and bits, R4 for floats,
    // Bool for check boxes, a font object (Dispatch) for fonts.
    const Variant& Value(const PageField& field) const;
    const Variant& PropertyValue(std::string_view property) const;
    // A user's edit of the field's bound property; false when the value is not of the field's kind or out of
    // its range (nothing changes then).
    bool SetValue(const PageField& field, const Variant& value);

    // A list's entries: for a browsed List field the last loaded object's browsing strings when it has
    // them, else the field's `choices`.
    const std::vector<std::string>& ListStrings(const PageField& field) const;
    // The position of the field's value in its list; -1 when the list has no entry for it.
    int ListIndex(const PageField& field) const;

    bool IsDirty() const { return !m_changed.empty(); }
    bool IsChanged(std::string_view property) const;

    // Writes every changed property (every property, with writeEveryRow) to every object, in field order;
    // a list without a selection is left out. The properties that an object refused stay changed and are
    // returned by name (each once); the others become clean.
    std::vector<std::string> Apply();

  private:
    Variant Read(IDispatch& object, const PageField& field, const std::string& property) const;
    HRESULT Write(IDispatch& object, const PageField& field, const std::string& property) const;
    const PageField* FieldOf(std::string_view property) const;

    const PageDefinition* m_definition;
    std::vector<std::shared_ptr<IDispatch>> m_objects;
    std::map<std::string, Variant, std::less<>> m_values;
    std::map<std::string, std::vector<std::string>, std::less<>> m_listStrings;
    std::vector<std::string> m_changed;  // in the order of the first change
};

}  // namespace platform::automation
