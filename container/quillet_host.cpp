// Creating, binding and calling the terminal control through its dispatch interface.
#include "container/quillet_host.h"

#include <cstdio>
#include <exception>

#include "platform/automation/class_registry.h"
#include "platform/user_prompt.h"
#include "suite/debug_log.h"

namespace container {

using namespace platform::automation;

CQuillet::CQuillet(LogFn log) : m_log(std::move(log)) {}

CQuillet::~CQuillet() {
    Close();
}

void LogLine(const CQuillet::LogFn& log, std::string_view text) {
    if (log) {
        log(text);
        return;
    }
    std::string line(text);
    line += "\r\n";
    suite::DebugLog(line);
}

void CQuillet::Log(std::string_view text) const {
    LogLine(m_log, text);
}

bool CQuillet::Attach() {
    if (m_control) {
        return false;
    }
    std::shared_ptr<IDispatch> control;
    std::string message;
    HRESULT hr = E_FAIL;
    try {
        hr = CoCreateInstance(kQuilletClsid, control, &message);
    } catch (const std::exception& e) {
        message = e.what();
    } catch (...) {
        message = "unknown exception";
    }
    if (Failed(hr) || !control) {
        Log("The terminal control could not be created: " + FormatHResult(hr) + " " + message);
        return false;
    }
    m_dispids.fill(0);
    for (size_t index = 0; index < kMemberCount; ++index) {
        DISPID id = DISPID_UNKNOWN;
        HRESULT bound = E_FAIL;
        try {
            bound = control->GetIDOfName(kMemberNames[index], id);
        } catch (...) {
            bound = E_FAIL;
        }
        if (Failed(bound)) {
            m_dispids[index] = 0;
            char text[80];
            std::snprintf(text, sizeof text, "Error late-binding to QUILLET.QuilletCtrl.1 --Function %zu",
                          index);
            platform::DefaultPrompt().Message(text, platform::PromptIcon::Stop);
            // A control without every member cannot be driven: it is not kept.
            return false;
        }
        m_dispids[index] = id;
    }
    m_control = std::move(control);
    return true;
}

void CQuillet::Close() {
    Unadvise();
    m_eventPoint.reset();
    m_control.reset();
}

std::shared_ptr<void> CQuillet::QueryControl(const Guid& iid) const {
    if (!m_control) {
        return nullptr;
    }
    std::shared_ptr<void> out;
    try {
        if (Failed(m_control->QueryInterface(iid, out))) {
            return nullptr;
        }
    } catch (...) {
        return nullptr;
    }
    return out;
}

HRESULT CQuillet::Advise(std::shared_ptr<IDispatch> sink) {
    if (!m_control) {
        return E_UNEXPECTED;
    }
    if (m_cookie != 0) {
        return E_UNEXPECTED;
    }
    auto container = QueryInterfaceAs<IConnectionPointContainer>(*m_control, IID_IConnectionPointContainer);
    if (!container) {
        return E_NOINTERFACE;
    }
    std::shared_ptr<ConnectionPoint> point;
    HRESULT hr = container->FindConnectionPoint(kQuilletEventsIid, point);
    if (Failed(hr) || !point) {
        return Failed(hr) ? hr : E_FAIL;
    }
    uint32_t cookie = 0;
    hr = point->Advise(std::move(sink), cookie);
    if (Failed(hr)) {
        return hr;
    }
    m_eventPoint = std::move(point);
    m_cookie = cookie;
    return S_OK;
}

HRESULT CQuillet::Unadvise() {
    if (!m_eventPoint || m_cookie == 0) {
        return S_FALSE;
    }
    const HRESULT hr = m_eventPoint->Unadvise(m_cookie);
    m_cookie = 0;
    return hr;
}

HRESULT CQuillet::Invoke(std::string_view name, DISPID dispid, InvokeKind kind, std::span<const Variant> args,
                         Variant* result) {
    if (!m_control) {
        return S_FALSE;
    }
    InvokeError error;
    HRESULT hr = E_FAIL;
    try {
        hr = m_control->Invoke(dispid, kind, args, result, &error);
    } catch (const std::exception& e) {
        error.description = e.what();
        hr = DISP_E_EXCEPTION;
    } catch (...) {
        error.description = "unknown exception";
        hr = DISP_E_EXCEPTION;
    }
    if (Failed(hr)) {
        std::string line = "Quillet call ";
        line += name;
        line += " failed: ";
        line += FormatHResult(hr);
        if (!error.description.empty()) {
            line += " ";
            line += error.description;
        }
        Log(line);
    }
    return hr;
}

HRESULT CQuillet::InvokeMember(Member member, InvokeKind kind, std::span<const Variant> args,
                               Variant* result) {
    const DISPID id = BoundId(member);
    if (!m_control || id == 0) {
        return S_FALSE;
    }
    return Invoke(MemberName(member), id, kind, args, result);
}

HRESULT CQuillet::PutBool(Member member, bool value) {
    const Variant args[] = {Variant::Bool(value)};
    return InvokeMember(member, InvokeKind::PropertyPut, args, nullptr);
}

bool CQuillet::GetBool(Member member) {
    Variant result;
    if (InvokeMember(member, InvokeKind::PropertyGet, {}, &result) != S_OK) {
        return false;
    }
    Variant value;
    return Succeeded(ChangeType(result, VarType::Bool, value)) && value.AsBool();
}

int32_t CQuillet::GetLong(Member member) {
    Variant result;
    if (InvokeMember(member, InvokeKind::PropertyGet, {}, &result) != S_OK) {
        return 0;
    }
    Variant value;
    return Succeeded(ChangeType(result, VarType::I4, value)) ? value.AsI4() : 0;
}

HRESULT CQuillet::SetNewWindowChainCommand(std::string_view text) {
    const Variant args[] = {Variant::Bstr(std::string(text))};
    return InvokeMember(Member::NewWindowChainCommand, InvokeKind::PropertyPut, args, nullptr);
}

HRESULT CQuillet::CallText(Member member, std::string_view text) {
    const Variant args[] = {Variant::Bstr(std::string(text))};
    return InvokeMember(member, InvokeKind::Method, args, nullptr);
}

HRESULT CQuillet::CallPlain(Member member) {
    return InvokeMember(member, InvokeKind::Method, {}, nullptr);
}

HRESULT CQuillet::CallShort(Member member, int16_t value) {
    const Variant args[] = {Variant::I2(value)};
    return InvokeMember(member, InvokeKind::Method, args, nullptr);
}

bool CQuillet::CallSize(Member member, int32_t cx, int32_t cy) {
    const Variant args[] = {Variant::I4(cx), Variant::I4(cy)};
    Variant result;
    if (InvokeMember(member, InvokeKind::Method, args, &result) != S_OK) {
        return false;
    }
    Variant value;
    return Succeeded(ChangeType(result, VarType::Bool, value)) && value.AsBool();
}

HRESULT CQuillet::CallFixed(Member member, DISPID dispid) {
    if (!m_control || BoundId(member) == 0) {
        return S_FALSE;
    }
    return Invoke(MemberName(member), dispid, InvokeKind::Method, {}, nullptr);
}

bool CQuillet::AutoLogin(int32_t pipeHandle, int32_t processId) {
    const Variant args[] = {Variant::I4(pipeHandle), Variant::I4(processId)};
    Variant result;
    if (InvokeMember(Member::AutoLogin, InvokeKind::Method, args, &result) != S_OK) {
        return false;
    }
    Variant value;
    return Succeeded(ChangeType(result, VarType::Bool, value)) && value.AsBool();
}

int32_t CQuillet::Login(int16_t loginType, std::string& commandLine) {
    if (!m_control || BoundId(Member::Login) == 0) {
        return E_UNEXPECTED;
    }
    const Variant args[] = {Variant::I2(loginType),
                            Variant::Pointer(&commandLine, std::string(kLoginDataTag))};
    Variant result;
    const HRESULT hr = InvokeMember(Member::Login, InvokeKind::Method, args, &result);
    if (Failed(hr)) {
        return hr;
    }
    Variant value;
    if (Failed(ChangeType(result, VarType::I4, value))) {
        Log("Quillet call Login answered no number");
        return E_FAIL;
    }
    return value.AsI4();
}

HRESULT CQuillet::Print(void* printer) {
    const Variant args[] = {Variant::Pointer(printer, std::string(kPrintTargetTag))};
    return InvokeMember(Member::Print, InvokeKind::Method, args, nullptr);
}

HRESULT CQuillet::AboutBox() {
    return Invoke("AboutBox", DISPID_ABOUTBOX, InvokeKind::Method, {}, nullptr);
}

}  // namespace container
