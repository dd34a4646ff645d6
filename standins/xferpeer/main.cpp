// standin-xferpeer: the host side of one dial-back file transfer on 127.0.0.1. Prints the port it listens
// on, serves one connection and exits 0 when the transfer went as the protocol demands.
#include <csignal>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "standins/xferpeer/xfer_peer.h"

int main(int argc, char** argv) {
    using namespace standins::xferpeer;
    const std::vector<std::string> args(argv + 1, argv + argc);
    PeerOptions options;
    std::string error;
    switch (ParseCommandLine(args, options, error)) {
        case ParseOutcome::Help:
            std::printf("%.*s\n", static_cast<int>(Usage().size()), Usage().data());
            return 0;
        case ParseOutcome::Error:
            std::fprintf(stderr, "standin-xferpeer: %s\n%.*s\n", error.c_str(),
                         static_cast<int>(Usage().size()), Usage().data());
            return 2;
        case ParseOutcome::Run:
            break;
    }
    std::signal(SIGPIPE, SIG_IGN);
    try {
        TransferPeer peer(options);
        std::printf("%u\n", static_cast<unsigned>(peer.Port()));
        std::fflush(stdout);
        const PeerResult result = peer.Run();
        if (!result.ok) {
            std::fprintf(stderr, "standin-xferpeer: %s\n", result.error.c_str());
            return 1;
        }
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "standin-xferpeer: %s\n", failure.what());
        return 1;
    }
    return 0;
}
