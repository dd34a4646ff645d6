// The checked dispatch of a member table: lookup by name, argument count and kind checks, coercion, and
// handler failures turned into status codes.
#include "platform/automation/dispatch.h"

#include "platform/codepage.h"

namespace platform::automation {

HRESULT IDispatch::QueryInterface(const Guid& iid, std::shared_ptr<void>& out) {
    if (iid != IID_IUnknown && iid != IID_IDispatch) {
        out.reset();
        return E_NOINTERFACE;
    }
    std::shared_ptr<IDispatch> self = weak_from_this().lock();
    if (!self) {
        out.reset();
        return E_UNEXPECTED;  // not owned by a shared pointer, so it cannot hand out a reference
    }
    out = std::move(self);
    return S_OK;
}

HRESULT QueryObject(const Variant& argument, const Guid& iid, std::shared_ptr<void>& out) {
    out.reset();
    Variant value;
    if (const HRESULT hr = argument.Dereference(value); Failed(hr)) {
        return hr;
    }
    if (value.Type() != VarType::Unknown && value.Type() != VarType::Dispatch) {
        return DISP_E_TYPEMISMATCH;
    }
    const std::shared_ptr<IUnknown> object = value.AsUnknown();
    if (!object) {
        return E_NOINTERFACE;
    }
    const HRESULT hr = object->QueryInterface(iid, out);
    if (Failed(hr) || !out) {
        out.reset();
        return Failed(hr) ? hr : E_NOINTERFACE;
    }
    return hr;
}

std::optional<Variant> GetPropertyAs(IDispatch& object, std::string_view name, VarType type) {
    DISPID id = DISPID_UNKNOWN;
    Variant raw;
    Variant value;
    if (Failed(object.GetIDOfName(name, id)) ||
        Failed(object.Invoke(id, InvokeKind::PropertyGet, {}, &raw, nullptr)) ||
        Failed(ChangeType(raw, type, value))) {
        return std::nullopt;
    }
    return value;
}

HRESULT IDispatch::GetIDOfName(std::string_view name, DISPID& id) {
    const std::string_view names[] = {name};
    DISPID ids[] = {DISPID_UNKNOWN};
    const HRESULT hr = GetIDsOfNames(names, ids);
    id = ids[0];
    return hr;
}

DispatchTable::DispatchTable(std::vector<DispatchEntry> entries) {
    for (DispatchEntry& entry : entries) {
        Add(std::move(entry));
    }
}

DispatchTable& DispatchTable::Add(DispatchEntry entry) {
    if (!entry.handler && !entry.statusHandler) {
        throw std::invalid_argument("dispatch member " + entry.name + " has no handler");
    }
    for (const DispatchEntry& known : m_entries) {
        const bool sameName = EqualsNoCase(known.name, entry.name);
        if (sameName != (known.dispid == entry.dispid)) {
            throw std::invalid_argument("dispatch member " + entry.name + " clashes with " + known.name);
        }
        if (sameName && known.kind == entry.kind) {
            throw std::invalid_argument("dispatch member " + entry.name + " is defined twice");
        }
    }
    m_entries.push_back(std::move(entry));
    return *this;
}

DispatchTable& DispatchTable::Method(std::string name, DISPID dispid, std::vector<ParamSpec> params,
                                     VarType result, DispatchHandler handler) {
    return Add(DispatchEntry{std::move(name), dispid, InvokeKind::Method, std::move(params), result,
                             std::move(handler)});
}

DispatchTable& DispatchTable::Property(std::string name, DISPID dispid, VarType type,
                                       std::function<Variant()> getter,
                                       std::function<void(const Variant&)> setter) {
    if (getter) {
        Add(DispatchEntry{name,
                          dispid,
                          InvokeKind::PropertyGet,
                          {},
                          type,
                          [getter = std::move(getter)](std::span<const Variant>) { return getter(); }});
    }
    if (setter) {
        Add(DispatchEntry{std::move(name),
                          dispid,
                          InvokeKind::PropertyPut,
                          {ParamSpec{type}},
                          VarType::Empty,
                          [setter = std::move(setter)](std::span<const Variant> args) {
                              setter(args[0]);
                              return Variant();
                          }});
    }
    return *this;
}

HRESULT DispatchTable::GetIDsOfNames(std::span<const std::string_view> names, std::span<DISPID> ids) const {
    if (names.empty() || ids.size() != names.size()) {
        return E_INVALIDARG;
    }
    HRESULT hr = S_OK;
    ids[0] = DISPID_UNKNOWN;
    for (const DispatchEntry& entry : m_entries) {
        if (EqualsNoCase(entry.name, names[0])) {
            ids[0] = entry.dispid;
            break;
        }
    }
    if (ids[0] == DISPID_UNKNOWN) {
        hr = DISP_E_UNKNOWNNAME;
    }
    for (size_t i = 1; i < names.size(); ++i) {
        ids[i] = DISPID_UNKNOWN;
        hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

namespace {

HRESULT Fail(InvokeError* error, HRESULT hr, uint32_t argument) {
    if (error) {
        error->argument = argument;
    }
    return hr;
}

// One argument checked and coerced to its declared kind.
HRESULT CoerceArgument(const ParamSpec& spec, const Variant& arg, Variant& out) {
    if (IsByRef(spec.type)) {
        if (arg.Type() != spec.type) {
            return DISP_E_TYPEMISMATCH;
        }
        Variant target;
        if (const HRESULT hr = arg.Dereference(target); Failed(hr)) {
            return hr;  // a null reference
        }
        out = arg;
        return S_OK;
    }
    if (spec.type == VarType::Variant) {
        out = arg;
        return S_OK;
    }
    if (spec.type == VarType::Pointer) {
        if (arg.Type() != VarType::Pointer || arg.PointerTag() != spec.pointerTag) {
            return DISP_E_TYPEMISMATCH;
        }
        out = arg;
        return S_OK;
    }
    return ChangeType(arg, spec.type, out);
}

}  // namespace

HRESULT DispatchTable::Invoke(DISPID dispid, InvokeKind kind, std::span<const Variant> args, Variant* result,
                              InvokeError* error) const {
    const DispatchEntry* entry = nullptr;
    for (const DispatchEntry& candidate : m_entries) {
        if (candidate.dispid == dispid && HasKind(kind, candidate.kind)) {
            entry = &candidate;
            break;
        }
    }
    if (entry == nullptr) {
        return DISP_E_MEMBERNOTFOUND;
    }
    if (args.size() > entry->params.size()) {
        return DISP_E_BADPARAMCOUNT;
    }
    std::vector<Variant> coerced(entry->params.size());
    for (size_t i = 0; i < entry->params.size(); ++i) {
        const ParamSpec& spec = entry->params[i];
        const auto index = static_cast<uint32_t>(i);
        if (spec.type == VarType::Variant && i < args.size()) {
            coerced[i] = args[i];
            continue;
        }
        if (i >= args.size() || args[i].IsMissing()) {
            if (!spec.optional) {
                return Fail(error, i >= args.size() ? DISP_E_BADPARAMCOUNT : DISP_E_PARAMNOTOPTIONAL, index);
            }
            coerced[i] = spec.defaultValue.value_or(Variant::Missing());
            continue;
        }
        if (const HRESULT hr = CoerceArgument(spec, args[i], coerced[i]); Failed(hr)) {
            return Fail(error, hr, index);
        }
    }
    Variant value;
    HRESULT status = S_OK;
    try {
        if (entry->statusHandler) {
            status = entry->statusHandler(coerced, value);
            if (Failed(status)) {
                return status;
            }
        } else {
            value = entry->handler(coerced);
        }
    } catch (const DispatchError& e) {
        // A success code thrown by mistake must not pass for a completed call.
        const HRESULT hr = Failed(e.Code()) ? e.Code() : DISP_E_EXCEPTION;
        if (error) {
            error->scode = Failed(e.Code()) ? e.Code() : E_FAIL;
            error->source = e.Source().empty() ? entry->name : e.Source();
            error->description = e.what();
        }
        return hr;
    } catch (const std::exception& e) {
        if (error) {
            error->scode = E_FAIL;
            error->source = entry->name;
            error->description = e.what();
        }
        return DISP_E_EXCEPTION;
    } catch (...) {
        if (error) {
            error->scode = E_FAIL;
            error->source = entry->name;
            error->description = "unknown exception";
        }
        return DISP_E_EXCEPTION;
    }
    if (result == nullptr) {
        return status;
    }
    if (entry->result == VarType::Empty) {
        *result = Variant();
        return status;
    }
    const HRESULT hr = ChangeType(value, entry->result, *result);
    return Failed(hr) ? hr : status;
}

}  // namespace platform::automation
