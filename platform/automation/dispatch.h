// Dispatch by name: the IDispatch-shaped interface every automation object answers, and DispatchTable, which
// turns one table of members (name, dispid, kind, parameter kinds, result kind, handler) into checked
// GetIDsOfNames and Invoke, so that a wrong argument count or kind is a DISP_E code and never a crash.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/guid.h"
#include "platform/automation/hresult.h"
#include "platform/automation/variant.h"

namespace platform::automation {

using DISPID = int32_t;

inline constexpr DISPID DISPID_UNKNOWN = -1;
inline constexpr DISPID DISPID_VALUE = 0;
inline constexpr DISPID DISPID_ABOUTBOX = -552;

// The DISPATCH_ flags; a caller may combine Method and PropertyGet, as script callers do.
// PropertyPutRef hands over an object the property keeps (a font object), rather than its value.
enum class InvokeKind : uint16_t { Method = 1, PropertyGet = 2, PropertyPut = 4, PropertyPutRef = 8 };

constexpr InvokeKind operator|(InvokeKind a, InvokeKind b) {
    return static_cast<InvokeKind>(static_cast<uint16_t>(a) | static_cast<uint16_t>(b));
}
constexpr bool HasKind(InvokeKind flags, InvokeKind kind) {
    return (static_cast<uint16_t>(flags) & static_cast<uint16_t>(kind)) != 0;
}

// What a failed Invoke reports beside its HRESULT: the index of the argument at fault (DISP_E_TYPEMISMATCH,
// DISP_E_OVERFLOW, DISP_E_PARAMNOTOPTIONAL) and, for DISP_E_EXCEPTION, the exception's code and text.
struct InvokeError {
    uint32_t argument = 0;
    HRESULT scode = S_OK;
    std::string source;
    std::string description;
};

// Thrown by a handler to fail the call with a chosen code (E_INVALIDARG for an argument out of range...);
// any other exception becomes DISP_E_EXCEPTION. The source names who raised it in the rich error
// information (a control gives its class id); without one the member's name stands.
class DispatchError : public std::runtime_error {
  public:
    DispatchError(HRESULT hr, const std::string& description, std::string source = {})
        : std::runtime_error(description), m_hr(hr), m_source(std::move(source)) {}
    HRESULT Code() const { return m_hr; }
    const std::string& Source() const { return m_source; }

  private:
    HRESULT m_hr;
    std::string m_source;
};

// What every object answers: the way to its other interfaces. Objects are shared: a holder keeps the object
// alive, as AddRef does. An object that a host hands over only for a custom interface is one of these.
class IUnknown {
  public:
    virtual ~IUnknown() = default;
    // Another interface of the same object, kept alive by the returned pointer; E_NOINTERFACE when the object
    // has none with that id. `out` holds a pointer to the type the object hands out for that id.
    virtual HRESULT QueryInterface(const Guid& iid, std::shared_ptr<void>& out) = 0;
};

// Arguments are in call order (first argument first); a property put passes the new value as its last
// argument.
class IDispatch : public IUnknown, public std::enable_shared_from_this<IDispatch> {
  public:
    // The base answers IID_IUnknown and IID_IDispatch, both with the IDispatch.
    HRESULT QueryInterface(const Guid& iid, std::shared_ptr<void>& out) override;
    // names[0] is the member; further names would be parameter names, which these objects do not take:
    // they get DISPID_UNKNOWN and the call DISP_E_UNKNOWNNAME. ids must be as long as names.
    virtual HRESULT GetIDsOfNames(std::span<const std::string_view> names, std::span<DISPID> ids) = 0;
    // `result` and `error` may be null.
    virtual HRESULT Invoke(DISPID dispid, InvokeKind kind, std::span<const Variant> args, Variant* result,
                           InvokeError* error) = 0;

    // One name, one id.
    HRESULT GetIDOfName(std::string_view name, DISPID& id);
};

// The interface `iid` of `object` as T, or null. T must be the type the object hands out for that id.
template <typename T>
std::shared_ptr<T> QueryInterfaceAs(IUnknown& object, const Guid& iid) {
    std::shared_ptr<void> raw;
    if (Failed(object.QueryInterface(iid, raw)) || !raw) {
        return nullptr;
    }
    return std::static_pointer_cast<T>(raw);
}

// The interface `iid` of an object argument: UNKNOWN or DISPATCH, by value or by reference, or a VARIANT by
// reference holding one. A null object or one without the interface answers E_NOINTERFACE, another kind
// DISP_E_TYPEMISMATCH, a null reference E_POINTER; `out` is then null.
HRESULT QueryObject(const Variant& argument, const Guid& iid, std::shared_ptr<void>& out);

template <typename T>
std::shared_ptr<T> QueryObjectAs(const Variant& argument, const Guid& iid) {
    std::shared_ptr<void> raw;
    if (Failed(QueryObject(argument, iid, raw)) || !raw) {
        return nullptr;
    }
    return std::static_pointer_cast<T>(raw);
}

// The property `name` of `object` coerced to `type`; nullopt when the object has no such property, its get
// fails or the value does not convert.
std::optional<Variant> GetPropertyAs(IDispatch& object, std::string_view name, VarType type);

struct ParamSpec {
    ParamSpec(VarType kind) : type(kind) {}  // NOLINT: a plain kind reads best in member tables
    ParamSpec(VarType kind, bool isOptional, std::optional<Variant> fallback = std::nullopt,
              std::string tag = {})
        : type(kind), optional(isOptional), defaultValue(std::move(fallback)), pointerTag(std::move(tag)) {}

    // A by-value kind is coerced (ChangeType); a by-reference kind must be passed exactly; VARIANT is
    // passed on as given, and an omitted VARIANT argument arrives as Variant::Missing().
    VarType type = VarType::Empty;
    bool optional = false;
    // For an omitted optional argument: this value, else Variant::Missing().
    std::optional<Variant> defaultValue;
    // For VarType::Pointer: the tag the argument must carry.
    std::string pointerTag;
};

// Gets the arguments coerced to the declared kinds, omitted optional ones filled in; returns the result,
// which is coerced to the declared result kind (ignored when that is Empty).
using DispatchHandler = std::function<Variant(std::span<const Variant> args)>;
// The same, for a member whose call succeeds with a code of its own (S_FALSE, or a count the caller reads):
// a success code is Invoke's answer once the result is set; a failure code fails the call as it is.
using StatusHandler = std::function<HRESULT(std::span<const Variant> args, Variant& result)>;

struct DispatchEntry {
    std::string name;
    DISPID dispid = DISPID_UNKNOWN;
    InvokeKind kind = InvokeKind::Method;
    std::vector<ParamSpec> params;
    VarType result = VarType::Empty;
    DispatchHandler handler;
    // Used instead of `handler` when set.
    StatusHandler statusHandler = {};
};

class DispatchTable {
  public:
    DispatchTable() = default;
    explicit DispatchTable(std::vector<DispatchEntry> entries);

    // A member's get and put are two entries with the same name and dispid. Throws std::invalid_argument for
    // a table that cannot be dispatched: no handler, a name on two dispids, a dispid under two names, or the
    // same dispid and kind twice.
    DispatchTable& Add(DispatchEntry entry);
    DispatchTable& Method(std::string name, DISPID dispid, std::vector<ParamSpec> params, VarType result,
                          DispatchHandler handler);
    // A property of one kind; a null getter or setter leaves that direction out.
    DispatchTable& Property(std::string name, DISPID dispid, VarType type, std::function<Variant()> getter,
                            std::function<void(const Variant&)> setter);

    // Names match without regard to ASCII case.
    HRESULT GetIDsOfNames(std::span<const std::string_view> names, std::span<DISPID> ids) const;
    HRESULT Invoke(DISPID dispid, InvokeKind kind, std::span<const Variant> args, Variant* result,
                   InvokeError* error) const;

    const std::vector<DispatchEntry>& Entries() const { return m_entries; }

  private:
    std::vector<DispatchEntry> m_entries;
};

}  // namespace platform::automation
