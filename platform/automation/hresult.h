// Status codes of the automation layer, with the values the Windows interfaces return, so that callers and
// messages that test or show a code see the same numbers. HRESULT is a 32-bit signed integer.
#pragma once

#include <cstdint>
#include <string>

namespace platform::automation {

using HRESULT = int32_t;

constexpr HRESULT MakeHResult(uint32_t bits) {
    return static_cast<HRESULT>(bits);
}

constexpr bool Succeeded(HRESULT hr) {
    return hr >= 0;
}
constexpr bool Failed(HRESULT hr) {
    return hr < 0;
}

// A Win32 error code in HRESULT form (0x8007xxxx); 0 stays S_OK.
constexpr HRESULT HResultFromWin32(int32_t code) {
    return code <= 0 ? code : MakeHResult(0x80070000u | (static_cast<uint32_t>(code) & 0xFFFFu));
}

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;

inline constexpr HRESULT E_NOTIMPL = MakeHResult(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = MakeHResult(0x80004002u);
inline constexpr HRESULT E_POINTER = MakeHResult(0x80004003u);
inline constexpr HRESULT E_FAIL = MakeHResult(0x80004005u);
inline constexpr HRESULT E_UNEXPECTED = MakeHResult(0x8000FFFFu);
inline constexpr HRESULT E_ACCESSDENIED = MakeHResult(0x80070005u);
inline constexpr HRESULT E_OUTOFMEMORY = MakeHResult(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = MakeHResult(0x80070057u);

// A library that cannot be loaded, an entry it does not export.
inline constexpr HRESULT E_MODNOTFOUND = MakeHResult(0x8007007Eu);
inline constexpr HRESULT E_PROCNOTFOUND = MakeHResult(0x8007007Fu);

inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = MakeHResult(0x80040111u);
inline constexpr HRESULT REGDB_E_READREGDB = MakeHResult(0x80040150u);
inline constexpr HRESULT REGDB_E_WRITEREGDB = MakeHResult(0x80040151u);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = MakeHResult(0x80040154u);
inline constexpr HRESULT CO_E_CLASSSTRING = MakeHResult(0x800401F3u);
inline constexpr HRESULT CO_E_ERRORINDLL = MakeHResult(0x800401F9u);
inline constexpr HRESULT CONNECT_E_NOCONNECTION = MakeHResult(0x80040200u);
inline constexpr HRESULT SELFREG_E_TYPELIB = MakeHResult(0x80040200u);
inline constexpr HRESULT SELFREG_E_CLASS = MakeHResult(0x80040201u);
inline constexpr HRESULT RPC_E_DISCONNECTED = MakeHResult(0x80010108u);
inline constexpr HRESULT RPC_E_TIMEOUT = MakeHResult(0x8001011Fu);
inline constexpr HRESULT CO_E_BADPATH = MakeHResult(0x80080004u);
inline constexpr HRESULT CO_E_SERVER_EXEC_FAILURE = MakeHResult(0x80080005u);

inline constexpr HRESULT DISP_E_UNKNOWNINTERFACE = MakeHResult(0x80020001u);
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = MakeHResult(0x80020003u);
inline constexpr HRESULT DISP_E_PARAMNOTFOUND = MakeHResult(0x80020004u);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = MakeHResult(0x80020005u);
inline constexpr HRESULT DISP_E_UNKNOWNNAME = MakeHResult(0x80020006u);
inline constexpr HRESULT DISP_E_NONAMEDARGS = MakeHResult(0x80020007u);
inline constexpr HRESULT DISP_E_BADVARTYPE = MakeHResult(0x80020008u);
inline constexpr HRESULT DISP_E_EXCEPTION = MakeHResult(0x80020009u);
inline constexpr HRESULT DISP_E_OVERFLOW = MakeHResult(0x8002000Au);
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = MakeHResult(0x8002000Eu);
inline constexpr HRESULT DISP_E_PARAMNOTOPTIONAL = MakeHResult(0x8002000Fu);

// "0x80040154 (class not registered)": the code in hexadecimal and, when known, a short description.
std::string FormatHResult(HRESULT hr);

}  // namespace platform::automation
