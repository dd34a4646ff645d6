// The container's start-up rules: command line to log-in call, window state, title and close rule.
#include "container/startup.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <limits>

#include "platform/spawn.h"
#include "platform/user_prompt.h"
#include "platform/win32_error.h"
#include "suite/registry_settings.h"

namespace container {
namespace {

using platform::HKey;
using platform::RegType;

bool ValueInstalled(std::string_view key, std::string_view name) {
    const std::optional<std::string> text = ReadMachineText(key, name);
    return text && text->size() >= 2;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

}  // namespace

std::optional<std::string> ReadMachineText(std::string_view key, std::string_view name) {
    char buffer[1024] = {};
    RegType type = RegType::Sz;
    uint32_t size = sizeof buffer;
    if (suite::RegReadValue(HKey::LocalMachine, key, name, type, buffer, size) != platform::win32::kSuccess) {
        return std::nullopt;
    }
    buffer[sizeof buffer - 1] = '\0';
    return std::string(buffer);
}

InstalledModes ReadInstalledModes() {
    InstalledModes modes;
    modes.remote = ValueInstalled(suite::ServerKey(suite::ClientMode::Remote), "RemoteDataSet");
    modes.local = ValueInstalled(suite::ServerKey(suite::ClientMode::Local), "SorelData");
    return modes;
}

std::string CleanArguments(std::string_view commandLine) {
    // The text holds no program name here (argv[1..]), so nothing is cut before the switches: a run
    // command naming a ".exe" keeps its words.
    const std::string_view rest = commandLine;
    std::string text;
    text.reserve(rest.size());
    for (char c : rest) {
        if (c != '"') {
            text.push_back(c);
        }
    }
    size_t first = 0;
    while (first < text.size() && IsBlank(text[first])) {
        ++first;
    }
    size_t last = text.size();
    while (last > first && IsBlank(text[last - 1])) {
        --last;
    }
    return text.substr(first, last - first);
}

std::string WithoutPassword(std::string_view text) {
    // Words are split on blanks and tabs, as the pipe's option parser splits them.
    std::string kept;
    bool skipNext = false;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t start = text.find_first_not_of(" \t", pos);
        if (start == std::string_view::npos) {
            break;
        }
        const size_t end = std::min(text.find_first_of(" \t", start), text.size());
        const std::string_view word = text.substr(start, end - start);
        if (skipNext) {
            skipNext = false;
        } else {
            skipNext = word.starts_with("-#");
            if (!kept.empty()) {
                kept.push_back(' ');
            }
            kept += word;
        }
        pos = end;
    }
    return kept;
}

int16_t LoginTypeOf(std::string_view text) {
    // A password may hold any characters: it never decides how the program logs in.
    const std::string cleaned = WithoutPassword(text);
    // The words of an operating-system command after "-r" are not switches of ours.
    const std::string_view decision = std::string_view(cleaned).substr(0, cleaned.find("-r"));
    if (decision.find("-X") != std::string_view::npos) {
        return 1;
    }
    if (decision.find("-h") != std::string_view::npos) {
        return 2;
    }
    return 3;
}

int32_t NumberAfter(std::string_view text, std::string_view prefix) {
    const size_t at = text.find(prefix);
    if (at == std::string_view::npos) {
        return 0;
    }
    std::string_view rest = text.substr(at + prefix.size());
    rest = rest.substr(0, rest.find(' '));
    const std::string digits(rest);
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(digits.c_str(), &end, 10);
    // A number that does not fit is no handle or process of ours.
    if (errno == ERANGE || value < std::numeric_limits<int32_t>::min() ||
        value > std::numeric_limits<int32_t>::max()) {
        return 0;
    }
    return static_cast<int32_t>(value);
}

StartupDecision DecideStartup(std::string_view commandLine, const InstalledModes& modes) {
    StartupDecision decision;
    if (!commandLine.empty() && commandLine.find('?') != std::string_view::npos) {
        decision.action = StartupAction::Usage;
        return decision;
    }
    const std::string arguments = CleanArguments(commandLine);
    if (arguments.find("/p:") != std::string::npos && arguments.find("/h:") != std::string::npos) {
        decision.action = StartupAction::AutoLogin;
        decision.pipeHandle = NumberAfter(arguments, "/h:");
        decision.processId = NumberAfter(arguments, "/p:");
        return decision;
    }
    std::string text;
    if (!arguments.empty()) {
        // The control reads the whole line, not only what the decision looked at.
        text = std::string(commandLine);
    } else if (modes.local && modes.remote) {
        decision.action = StartupAction::BothInstalled;
        return decision;
    } else if (modes.local) {
        text = "-l";
    } else if (modes.remote) {
        text = "-h";
    }
    decision.action = StartupAction::Login;
    decision.loginType = LoginTypeOf(text);
    decision.loginText = std::move(text);
    return decision;
}

std::string ArgumentText(int argc, const char* const* argv) {
    std::string text;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) {
            text.push_back(' ');
        }
        text += platform::QuoteArgument(argv[i]);
    }
    return text;
}

WindowRect ReadWindowSize() {
    uint8_t bytes[16] = {};
    RegType type = RegType::Binary;
    uint32_t size = sizeof bytes;
    const WindowRect fallback;
    if (suite::RegReadValue(HKey::CurrentUser, suite::kCompanyKey, "WindowSize", type, bytes, size) !=
            platform::win32::kSuccess ||
        size != sizeof bytes) {
        return fallback;
    }
    int32_t values[4];
    for (int i = 0; i < 4; ++i) {
        values[i] =
            static_cast<int32_t>(uint32_t{bytes[4 * i]} | (uint32_t{bytes[4 * i + 1]} << 8) |
                                 (uint32_t{bytes[4 * i + 2]} << 16) | (uint32_t{bytes[4 * i + 3]} << 24));
    }
    WindowRect rect{values[0], values[1], values[2], values[3]};
    // A damaged value must not give a window of no size or of an overflowing one.
    const int64_t width = int64_t{rect.right} - rect.left;
    const int64_t height = int64_t{rect.bottom} - rect.top;
    if (width <= 0 || height <= 0 || width > 0xFFFF || height > 0xFFFF) {
        return fallback;
    }
    return rect;
}

std::optional<bool> ReadZoomMode() {
    uint32_t value = 0;
    RegType type = RegType::Dword;
    uint32_t size = sizeof value;
    if (suite::RegReadValue(HKey::CurrentUser, suite::kCompanyKey, "ZoomMode", type, &value, size) !=
        platform::win32::kSuccess) {
        return std::nullopt;
    }
    return value != 0;
}

bool SaveWindowState(bool zoomed, const WindowRect& rect) {
    const uint32_t zoom = zoomed ? 1 : 0;
    if (suite::RegWriteValue(HKey::CurrentUser, suite::kCompanyKey, "ZoomMode", RegType::Dword, &zoom,
                             sizeof zoom) != platform::win32::kSuccess) {
        platform::DefaultPrompt().Message("Could not set ZoomMode", platform::PromptIcon::Stop);
        return false;
    }
    uint8_t bytes[16];
    const int32_t values[4] = {rect.left, rect.top, rect.right, rect.bottom};
    for (int i = 0; i < 4; ++i) {
        const auto v = static_cast<uint32_t>(values[i]);
        for (int b = 0; b < 4; ++b) {
            bytes[4 * i + b] = static_cast<uint8_t>(v >> (8 * b));
        }
    }
    if (suite::RegWriteValue(HKey::CurrentUser, suite::kCompanyKey, "WindowSize", RegType::Binary, bytes,
                             sizeof bytes) != platform::win32::kSuccess) {
        platform::DefaultPrompt().Message(
            "A registry error occurred.\n\nThe WindowSize property could not be saved to the registy.",
            platform::PromptIcon::Stop);
        return false;
    }
    return true;
}

uint32_t ReadProgramMode() {
    uint32_t mode = 0;
    RegType type = RegType::Dword;
    uint32_t size = sizeof mode;
    if (suite::RegReadValue(HKey::CurrentUser, suite::kCompanyKey, "PROGRAM", type, &mode, size) !=
        platform::win32::kSuccess) {
        return 0;
    }
    return mode;
}

std::string ProgramModeTitle(uint32_t programMode) {
    return programMode == 2 ? "Varnel" : "Ostrel";
}

std::string ProgramModeTitle() {
    return ProgramModeTitle(ReadProgramMode());
}

std::string DocsKey(uint32_t programMode) {
    return suite::DocsKey(programMode == 2 ? suite::ClientMode::Remote : suite::ClientMode::Local);
}

}  // namespace container
