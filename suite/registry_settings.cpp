// Registry primitives and readers over the platform registry store. Every copy into a caller's buffer is
// bounded by the size the caller gave; a value that does not fit is refused rather than cut.
#include "suite/registry_settings.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/win32_error.h"

namespace suite {

using platform::HKey;
using platform::RegType;
namespace win32 = platform::win32;

namespace {

bool IsText(RegType type) {
    return type == RegType::Sz || type == RegType::ExpandSz;
}

bool TypeMatches(RegType wanted, RegType stored) {
    return wanted == RegType::None || wanted == stored || (IsText(wanted) && IsText(stored));
}

std::string BranchKey(ClientMode mode, std::string_view leaf) {
    std::string key(kCompanyKey);
    key += mode == ClientMode::Remote ? "\\Varnel\\1.0\\" : "\\Ostrel\\1.0\\";
    key += leaf;
    return key;
}

bool ReadString(HKey root, std::string_view subkey, std::string_view name, uint32_t bufferSize,
                std::string& out) {
    std::vector<char> buffer(bufferSize);
    RegType type = RegType::Sz;
    uint32_t size = bufferSize;
    if (RegReadValue(root, subkey, name, type, buffer.data(), size) != win32::kSuccess) {
        return false;
    }
    out.assign(buffer.data(), strnlen(buffer.data(), size));
    return true;
}

bool ReadDword(HKey root, std::string_view subkey, std::string_view name, uint32_t& out) {
    uint32_t value = 0;
    RegType type = RegType::Dword;
    uint32_t size = sizeof(value);
    if (RegReadValue(root, subkey, name, type, &value, size) != win32::kSuccess || size != sizeof(value)) {
        return false;
    }
    out = value;
    return true;
}

bool ReadIntOrDefault(std::string_view name, int32_t fallback, int32_t& out) {
    uint32_t value = 0;
    if (!ReadServerDword(name, value)) {
        out = fallback;
        return false;
    }
    out = static_cast<int32_t>(value);
    return true;
}

bool WriteDword(std::string_view name, int32_t value) {
    const auto raw = static_cast<uint32_t>(value);
    return RegWriteValue(HKey::CurrentUser, kCompanyKey, name, RegType::Dword, &raw, sizeof(raw)) ==
           win32::kSuccess;
}

}  // namespace

std::string ServerKey(ClientMode mode) {
    return BranchKey(mode, "Server");
}

std::string ScreenKey(ClientMode mode) {
    return BranchKey(mode, "Screen");
}

std::string DocsKey(ClientMode mode) {
    return BranchKey(mode, "Docs");
}

int32_t RegReadValue(HKey root, std::string_view subkey, std::string_view name, RegType& type, void* data,
                     uint32_t& size) {
    platform::RegValue value;
    const int32_t rc = platform::Registry::Default().QueryValue(root, subkey, name, value);
    if (rc != win32::kSuccess) {
        return rc;
    }
    const RegType wanted = type;
    type = value.type;
    if (!TypeMatches(wanted, value.type)) {
        return kUnsupportedType;
    }
    // Text is delivered up to its first zero and always terminated, so callers may treat it as a C string.
    size_t length = value.data.size();
    size_t needed = length;
    if (IsText(value.type)) {
        length = std::find(value.data.begin(), value.data.end(), uint8_t{0}) - value.data.begin();
        needed = length + 1;
    }
    if (needed > UINT32_MAX) {
        return win32::kInvalidData;
    }
    if (data == nullptr) {
        size = static_cast<uint32_t>(needed);
        return win32::kSuccess;
    }
    if (needed > size) {
        size = static_cast<uint32_t>(needed);
        return win32::kMoreData;
    }
    auto* out = static_cast<uint8_t*>(data);
    std::copy_n(value.data.begin(), length, out);
    if (IsText(value.type)) {
        out[length] = 0;
    }
    size = static_cast<uint32_t>(needed);
    return win32::kSuccess;
}

int32_t RegWriteValue(HKey root, std::string_view subkey, std::string_view name, RegType type,
                      const void* data, uint32_t size) {
    if (data == nullptr && size != 0) {
        return win32::kInvalidParameter;
    }
    const auto* bytes = static_cast<const uint8_t*>(data);
    platform::RegValue value;
    if (IsText(type)) {
        const auto* text = reinterpret_cast<const char*>(bytes);
        value = platform::RegValue::String(std::string_view(text, size == 0 ? 0 : strnlen(text, size)), type);
    } else if (type == RegType::Dword) {
        if (size != sizeof(uint32_t)) {
            return win32::kInvalidParameter;
        }
        uint32_t dword = 0;
        std::memcpy(&dword, bytes, sizeof(dword));
        value = platform::RegValue::Dword(dword);
    } else {
        value.type = type;
        value.data.assign(bytes, bytes + size);
    }
    auto& registry = platform::Registry::Default();
    const int32_t rc = registry.CreateKey(root, subkey);
    if (rc != win32::kSuccess && rc != win32::kAlreadyExists) {
        return rc;
    }
    return registry.SetValue(root, subkey, name, value);
}

bool RegKeyExists(HKey root, std::string_view subkey) {
    return platform::Registry::Default().KeyExists(root, subkey);
}

int32_t ReadFontSettings(LogFont& font) {
    std::string face;
    if (!ReadString(HKey::CurrentUser, kCompanyKey, "FontFaceName", kFontFaceSize, face) ||
        face.size() > kFaceNameMax) {
        face = kDefaultFontFace;
    }
    uint32_t height = 12;
    uint32_t width = 0;
    uint32_t weight = 0;
    ReadDword(HKey::CurrentUser, kCompanyKey, "FontHeight", height);
    ReadDword(HKey::CurrentUser, kCompanyKey, "FontWidth", width);
    ReadDword(HKey::CurrentUser, kCompanyKey, "FontWeight", weight);

    font = LogFont{};
    font.height = static_cast<int32_t>(height);
    font.width = static_cast<int32_t>(width);
    font.weight = static_cast<int32_t>(weight);
    // The screen face carries its own character set; every other face is taken as OEM.
    font.charSet = face == kDefaultFontFace ? 1 : 255;
    font.pitchAndFamily = 48;
    font.faceName = std::move(face);
    return 1;
}

bool SaveFontSettings(const LogFont& font) {
    if (font.faceName.size() > kFaceNameMax || font.faceName.find('\0') != std::string::npos) {
        return false;
    }
    if (RegWriteValue(HKey::CurrentUser, kCompanyKey, "FontFaceName", RegType::Sz, font.faceName.data(),
                      static_cast<uint32_t>(font.faceName.size())) != win32::kSuccess) {
        return false;
    }
    return WriteDword("FontHeight", font.height) && WriteDword("FontWidth", font.width) &&
           WriteDword("FontWeight", font.weight);
}

bool ReadServerString(std::string_view name, uint32_t bufferSize, std::string& out) {
    return ReadString(HKey::LocalMachine, ServerKey(GetClientMode()), name, bufferSize, out);
}

bool ReadServerDword(std::string_view name, uint32_t& out) {
    return ReadDword(HKey::LocalMachine, ServerKey(GetClientMode()), name, out);
}

bool ReadScreenDword(std::string_view name, uint32_t& out) {
    return ReadDword(HKey::LocalMachine, ScreenKey(GetClientMode()), name, out);
}

bool ReadRemoteHost(std::string& host) {
    return ReadServerString("RemoteHost", kRemoteHostSize, host);
}

bool ReadRemotePort(uint16_t& port) {
    uint32_t value = 0;
    // The port travels in 16 bits; a value that would wrap, or 0, is no port at all.
    if (!ReadServerDword("RemotePort", value) || value == 0 || value > UINT16_MAX) {
        port = kDefaultRemotePort;
        return false;
    }
    port = static_cast<uint16_t>(value);
    return true;
}

bool ReadRemoteTerm(int32_t& term) {
    return ReadIntOrDefault("RemoteTerm", kDefaultRemoteTerm, term);
}

bool ReadRemotePrinter(int32_t& printer) {
    return ReadIntOrDefault("RemotePrinter", kDefaultRemotePrinter, printer);
}

bool ReadRemoteEnviro(std::string& enviro) {
    return ReadServerString("RemoteEnviro", kRemoteEnviroSize, enviro);
}

bool ReadRemoteDataSet(std::string& dataSet) {
    return ReadServerString("RemoteDataSet", kDataSetSize, dataSet);
}

bool ReadRemoteSorelProgs(std::string& programDir) {
    return ReadServerString("RemoteSorelProgs", kProgramDirSize, programDir);
}

bool ReadSorelProgs(std::string& programDir) {
    return ReadServerString("SorelProgs", kProgramDirSize, programDir);
}

bool ReadUnixEscKey(int32_t& key) {
    uint32_t value = 0;
    if (!ReadScreenDword("UnixEscKey", value)) {
        return false;
    }
    key = static_cast<int32_t>(value);
    return true;
}

bool ReadWANMode(int32_t& mode) {
    uint32_t value = 0;
    if (!ReadServerDword("WANMode", value)) {
        return false;
    }
    mode = static_cast<int32_t>(value);
    return true;
}

int32_t CTarnRegistry::Load() {
    if (m_localMode != 0) {
        m_localTerm = 1;
        m_localPrinter = 1;
        if (!ReadSorelProgs(m_localProgramDir) ||
            !ReadServerString("SorelData", kDataSetSize, m_localDataSet)) {
            return 1;
        }
        return 0;
    }
    if (!ReadRemoteHost(m_host)) {
        return 1;
    }
    uint16_t port = kDefaultRemotePort;
    const bool portRead = ReadRemotePort(port);
    m_port = port;
    if (!portRead) {
        return 1;
    }
    if (!ReadRemoteTerm(m_remoteTerm) || !ReadRemotePrinter(m_remotePrinter) || !ReadRemoteEnviro(m_enviro) ||
        !ReadRemoteDataSet(m_remoteDataSet) || !ReadRemoteSorelProgs(m_remoteProgramDir) ||
        !ReadUnixEscKey(m_unixEscKey)) {
        return 1;
    }
    return 0;
}

bool HasOstrelKey() {
    SetClientMode(ClientMode::Local);
    const std::string key = ServerKey(ClientMode::Local);
    return RegKeyExists(HKey::CurrentUser, key) || RegKeyExists(HKey::LocalMachine, key);
}

bool HasVarnelKey() {
    SetClientMode(ClientMode::Remote);
    const std::string key = ServerKey(ClientMode::Remote);
    return RegKeyExists(HKey::CurrentUser, key) || RegKeyExists(HKey::LocalMachine, key);
}

}  // namespace suite
