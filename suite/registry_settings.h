// Registry settings of the terminal control, shared by the control, the container and the viewer: the three
// registry primitives, the font settings, the per-value readers of the Server and Screen keys, the settings
// object used when a session loads its configuration, and the key-presence probes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/registry.h"
#include "suite/client_mode.h"

namespace suite {

// Returned by RegReadValue when the stored value is not of the type asked for (ERROR_UNSUPPORTED_TYPE).
inline constexpr int32_t kUnsupportedType = 1630;

inline constexpr std::string_view kCompanyKey = "SOFTWARE\\Carrowline Corporation";
inline constexpr std::string_view kBrantorKey = "SOFTWARE\\Carrowline Corporation\\Brantor\\1.0";
// "SOFTWARE\Carrowline Corporation\{Varnel|Ostrel}\1.0\Server", "...\Screen" and "...\Docs" for a client
// mode.
std::string ServerKey(ClientMode mode);
std::string ScreenKey(ClientMode mode);
std::string DocsKey(ClientMode mode);

// Buffer sizes the readers use, terminating zero included; a longer value is refused.
inline constexpr uint32_t kRemoteHostSize = 80;
inline constexpr uint32_t kRemoteEnviroSize = 1024;
inline constexpr uint32_t kDataSetSize = 512;
inline constexpr uint32_t kProgramDirSize = 512;
inline constexpr uint32_t kFontFaceSize = 512;
// A face name holds at most this many characters, as a LOGFONT's does.
inline constexpr size_t kFaceNameMax = 31;

inline constexpr uint16_t kDefaultRemotePort = 8002;
inline constexpr int32_t kDefaultRemoteTerm = 1;
inline constexpr int32_t kDefaultRemotePrinter = 1;
inline constexpr std::string_view kDefaultFontFace = "TarnFont";

// RegQueryValueEx with the Windows size contract. `type` in: the type wanted (None takes any type; Sz and
// ExpandSz take each other); out: the stored type. `size` in: the buffer's size; out: the bytes delivered, or
// the bytes needed with kMoreData when the buffer is too small (nothing is copied then). Text values are
// delivered with a terminating zero counted in the size. A null `data` asks for the size only.
int32_t RegReadValue(platform::HKey root, std::string_view subkey, std::string_view name,
                     platform::RegType& type, void* data, uint32_t& size);
// Creates the key when missing and sets the value. Text values are taken up to the first zero within `size`.
int32_t RegWriteValue(platform::HKey root, std::string_view subkey, std::string_view name,
                      platform::RegType type, const void* data, uint32_t size);
bool RegKeyExists(platform::HKey root, std::string_view subkey);

// The font description the control creates its screen face from (the fields of a Windows LOGFONT).
struct LogFont {
    int32_t height = 0;
    int32_t width = 0;
    int32_t escapement = 0;
    int32_t orientation = 0;
    int32_t weight = 0;
    uint8_t italic = 0;
    uint8_t underline = 0;
    uint8_t strikeOut = 0;
    uint8_t charSet = 0;
    uint8_t outPrecision = 0;
    uint8_t clipPrecision = 0;
    uint8_t quality = 0;
    uint8_t pitchAndFamily = 0;
    std::string faceName;  // at most kFaceNameMax characters
    bool operator==(const LogFont&) const = default;
};

// Fills `font` from HKCU "SOFTWARE\Carrowline Corporation", with defaults for what is missing or unusable.
// Always 1.
int32_t ReadFontSettings(LogFont& font);
// Writes the face, height, width and weight in that order; false at the first failure (and for a face name
// no LOGFONT can hold, before anything is written).
bool SaveFontSettings(const LogFont& font);

// Readers of the branch the client mode names. True when the value was read; no reader shows a message.
bool ReadRemoteHost(std::string& host);
// 8002 stored on failure, and for a value outside 1 to 65535.
bool ReadRemotePort(uint16_t& port);
// 1 stored on failure.
bool ReadRemoteTerm(int32_t& term);
bool ReadRemotePrinter(int32_t& printer);
bool ReadRemoteEnviro(std::string& enviro);
bool ReadRemoteDataSet(std::string& dataSet);
bool ReadRemoteSorelProgs(std::string& programDir);
bool ReadSorelProgs(std::string& programDir);
bool ReadUnixEscKey(int32_t& key);
bool ReadWANMode(int32_t& mode);

// The building blocks of the readers, for callers that read other values of the same keys (for example
// with a larger buffer): a text value read into a buffer of `bufferSize` bytes, a DWORD value. The output
// is left unchanged on failure.
bool ReadServerString(std::string_view name, uint32_t bufferSize, std::string& out);
bool ReadServerDword(std::string_view name, uint32_t& out);
bool ReadScreenDword(std::string_view name, uint32_t& out);

// The settings a session loads. Every text starts empty and every number 0.
class CTarnRegistry {
  public:
    CTarnRegistry() = default;
    virtual ~CTarnRegistry() = default;

    // 0 when every value was read, 1 at the first missing one. The branch follows the client mode at the
    // time of the call; m_localMode chooses which values are loaded.
    int32_t Load();

    std::string m_host;
    std::string m_enviro;
    std::string m_remoteDataSet;
    std::string m_localDataSet;
    std::string m_remoteProgramDir;
    std::string m_localProgramDir;
    int32_t m_localTerm = 0;
    int32_t m_localPrinter = 0;
    int32_t m_port = 0;
    int32_t m_remoteTerm = 0;
    int32_t m_remotePrinter = 0;
    int32_t m_unixEscKey = 0;
    int32_t m_localMode = 0;
};

// Set the client mode (Local, respectively Remote) and tell whether that branch's Server key exists under
// HKCU or HKLM.
bool HasOstrelKey();
bool HasVarnelKey();

}  // namespace suite
