// The installer's service loop: a Unix socket that only root, the service's own user and the setup group may
// use; each client's text is run by the command interpreter and answered with one reply line.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace installer {

inline constexpr size_t kMessageLimit = 4096;

// The text to run, or the reason it is refused ("too long", "malformed", "empty").
struct Checked {
    std::string command;
    std::string refusal;
};
// Drops one trailing LF or CR LF; refuses more than 4096 bytes, invalid UTF-8, NUL and inner line breaks.
Checked CheckMessage(std::string_view message);

// A client's message as it arrives in pieces: past the limit it keeps nothing more, so that a long message
// is refused whole however it was cut.
class MessageBuffer {
  public:
    void Append(std::string_view piece);
    // The check of everything appended, once the client has closed its end.
    Checked Finish() const;

  private:
    std::string m_text;
    bool m_tooLong = false;
};

// The program to start after a successful run: the third blank-separated word when it is a path.
std::optional<std::string> ThirdWordProgram(std::string_view command);

std::filesystem::path DefaultSocketPath();

struct ServiceOptions {
    std::filesystem::path socketPath;
    bool notify = false;  // talk to systemd through NOTIFY_SOCKET
};

// Runs until SIGTERM; 0 on a clean stop, 1 when the socket cannot be made.
int RunService(const ServiceOptions& options);

}  // namespace installer
