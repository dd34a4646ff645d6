// Descriptions of the status codes for messages and logs.
#include "platform/automation/hresult.h"

#include <cstdio>

namespace platform::automation {
namespace {

const char* Describe(HRESULT hr) {
    switch (hr) {
        case S_OK:
            return "success";
        case S_FALSE:
            return "success, false";
        case E_NOTIMPL:
            return "not implemented";
        case E_NOINTERFACE:
            return "no such interface";
        case E_POINTER:
            return "invalid pointer";
        case E_FAIL:
            return "unspecified failure";
        case E_UNEXPECTED:
            return "unexpected failure";
        case E_ACCESSDENIED:
            return "access denied";
        case E_OUTOFMEMORY:
            return "out of memory";
        case E_INVALIDARG:
            return "invalid argument";
        case E_MODNOTFOUND:
            return "library not found or not loadable";
        case E_PROCNOTFOUND:
            return "entry not found in the library";
        case CLASS_E_CLASSNOTAVAILABLE:
            return "class not available from this library";
        case REGDB_E_READREGDB:
            return "registry could not be read";
        case REGDB_E_WRITEREGDB:
            return "registry could not be written";
        case REGDB_E_CLASSNOTREG:
            return "class not registered";
        case CO_E_CLASSSTRING:
            return "invalid class string";
        case CO_E_ERRORINDLL:
            return "error in the component library";
        case CONNECT_E_NOCONNECTION:  // == SELFREG_E_TYPELIB; the connection meaning is the common one
            return "no such connection";
        case SELFREG_E_CLASS:
            return "class registration failed";
        case RPC_E_DISCONNECTED:
            return "object disconnected";
        case RPC_E_TIMEOUT:
            return "the call timed out";
        case CO_E_BADPATH:
            return "bad server registration";
        case CO_E_SERVER_EXEC_FAILURE:
            return "server execution failed";
        case DISP_E_UNKNOWNINTERFACE:
            return "unknown interface";
        case DISP_E_MEMBERNOTFOUND:
            return "member not found";
        case DISP_E_PARAMNOTFOUND:
            return "parameter not found";
        case DISP_E_TYPEMISMATCH:
            return "type mismatch";
        case DISP_E_UNKNOWNNAME:
            return "unknown name";
        case DISP_E_NONAMEDARGS:
            return "named arguments not supported";
        case DISP_E_BADVARTYPE:
            return "bad variant type";
        case DISP_E_EXCEPTION:
            return "exception occurred";
        case DISP_E_OVERFLOW:
            return "out of present range";
        case DISP_E_BADPARAMCOUNT:
            return "invalid number of parameters";
        case DISP_E_PARAMNOTOPTIONAL:
            return "parameter not optional";
        default:
            return nullptr;
    }
}

}  // namespace

std::string FormatHResult(HRESULT hr) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<uint32_t>(hr));
    std::string text = code;
    if (const char* what = Describe(hr)) {
        text += " (";
        text += what;
        text += ")";
    }
    return text;
}

}  // namespace platform::automation
