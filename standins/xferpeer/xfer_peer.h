// The host side of one dial-back file transfer, for tests and demonstrations: listens on the loopback
// interface, takes one TLS connection (no STARTTLS) and sends one file to the client or receives its files.
// Knobs make it misbehave the way a broken host or network would.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/unique_fd.h"

namespace standins::xferpeer {

struct PeerOptions {
    std::optional<std::filesystem::path> sendFile;    // --send FILE: the host sends this file
    std::optional<std::filesystem::path> recvFolder;  // --recv FOLDER: the host stores what it receives here
    int32_t files = 0;                    // --files N: a file count comes first (several files); 0: one file
    uint16_t port = 0;                    // --port N: 0 lets the system choose
    std::optional<uint64_t> dropAfter;    // --drop-after N: close the connection after N data bytes
    std::optional<std::string> sizeText;  // --size-text TEXT: announced in place of "<size> "
    std::filesystem::path record;         // --record FILE: every byte received from the client
};

enum class ParseOutcome { Run, Help, Error };

// `args` without the program name. On Error, `error` says why.
ParseOutcome ParseCommandLine(const std::vector<std::string>& args, PeerOptions& options, std::string& error);
std::string_view Usage();

struct PeerResult {
    bool ok = false;
    std::string error;                          // why not ok
    std::string received;                       // every byte the client sent, in order
    std::vector<std::string> names;             // the file names the client announced
    std::vector<std::filesystem::path> stored;  // files stored (receiving)
};

class TransferPeer {
  public:
    // Listens at once (Port() is valid after construction). Throws std::runtime_error on failure.
    explicit TransferPeer(PeerOptions options);
    uint16_t Port() const { return m_port; }
    // Waits for one connection and runs the transfer on it; the connection is closed on return.
    PeerResult Run(std::chrono::milliseconds acceptTimeout = std::chrono::seconds(60));

  private:
    PeerOptions m_options;
    platform::UniqueFd m_listener;
    uint16_t m_port = 0;
};

}  // namespace standins::xferpeer
