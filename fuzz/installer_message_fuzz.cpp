// Fuzzes the installer's check of a client's message, fed in pieces as a socket delivers it: the pieces
// must not change the verdict, a refused message gives no command, and an accepted command is the message
// less one line end, within the limit, one line of valid UTF-8 that checks again to itself. The third-word
// rule may only pick a blank-free path out of an accepted command.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "installsupport/installer_service.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// An independent reading of UTF-8: shortest forms only, no surrogates, nothing past U+10FFFF.
bool IsUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const auto at = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
        const unsigned char lead = at(i);
        size_t length = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead < 0x80) {
            length = 1;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (i + length > text.size()) {
            return false;
        }
        for (size_t k = 1; k < length; ++k) {
            const unsigned char b = at(i + k);
            if (b < (k == 1 ? low : 0x80) || b > (k == 1 ? high : 0xBF)) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    // The first byte sets the piece length (1 to 256); the rest is the message, repeated when the top bit
    // is set so that the limit is reached.
    const size_t piece = static_cast<size_t>(data[0] & 0x7F) * 2 + 1 + (data[0] >> 7);
    std::string message(reinterpret_cast<const char*>(data) + 1, size - 1);
    if ((data[0] & 0x80) != 0 && !message.empty()) {
        while (message.size() <= installer::kMessageLimit) {
            message += message;
        }
        message.resize(installer::kMessageLimit + (data[0] & 1));
    }

    installer::MessageBuffer buffer;
    for (size_t at = 0; at < message.size(); at += piece) {
        buffer.Append(std::string_view(message).substr(at, piece));
    }
    const installer::Checked whole = installer::CheckMessage(message);
    const installer::Checked pieces = buffer.Finish();
    Check(whole.command == pieces.command && whole.refusal == pieces.refusal);

    if (!whole.refusal.empty()) {
        Check(whole.command.empty());
        Check(whole.refusal == "too long" || whole.refusal == "malformed" || whole.refusal == "empty");
        Check((whole.refusal == "too long") == (message.size() > installer::kMessageLimit));
        return 0;
    }
    const std::string& command = whole.command;
    Check(!command.empty() && message.size() <= installer::kMessageLimit);
    Check(message == command || message == command + "\n" || message == command + "\r\n");
    Check(command.find_first_of(std::string_view("\0\n\r", 3)) == std::string::npos);
    Check(IsUtf8(command));
    const installer::Checked again = installer::CheckMessage(command);
    Check(again.command == command && again.refusal.empty());

    if (const auto program = installer::ThirdWordProgram(command)) {
        Check(program->find('/') != std::string::npos && program->find(' ') == std::string::npos);
        Check(command.find(*program) != std::string::npos);
    }
    return 0;
}
