// The remote connection's error log ("varnel.log" in the temp folder, one line per entry with its time) and
// the socket error codes it reports, numbered as the hosts' support staff know them (10004, 10054, ...).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace hostlink {

// WSABASEERR-style socket codes the pipe reports through LastError.
namespace socket_error {
inline constexpr int32_t kInterrupted = 10004;
inline constexpr int32_t kBadFile = 10009;
inline constexpr int32_t kInvalidArgument = 10022;
inline constexpr int32_t kWouldBlock = 10035;
inline constexpr int32_t kNotSocket = 10038;
inline constexpr int32_t kConnectionAborted = 10053;
inline constexpr int32_t kConnectionReset = 10054;
inline constexpr int32_t kNotConnected = 10057;
inline constexpr int32_t kShutdown = 10058;
inline constexpr int32_t kTimedOut = 10060;
inline constexpr int32_t kConnectionRefused = 10061;
}  // namespace socket_error

// The text of a socket error code; "unknown error" for a code without one.
std::string_view SocketErrorText(int32_t code);
// The socket code for an errno value. A cancelled call counts as interrupted, a failed TLS record as an
// aborted connection; errno values without a counterpart are returned unchanged (their text is "unknown
// error").
int32_t SocketErrorFromErrno(int err);
// "recv() (10054): Connection reset by peer".
std::string SocketErrorLine(std::string_view operation, int32_t code);

// Where the log goes: "varnel.log" in the temp folder.
std::filesystem::path RemoteLogPath();
// Appends "<time>: <text>\n" (the time as the C locale's "%c"), opening and closing the file for the line
// so that it survives a crash. When the file cannot be opened the user is told which file.
void WriteRemoteLog(std::string_view text);

}  // namespace hostlink
