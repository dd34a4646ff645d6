// Registry reads and writes of the login dialogs, through the control's registry primitives so the sizes
// and types are checked as everywhere else.
#include "tools/login_settings.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/win32_error.h"
#include "suite/registry_settings.h"

namespace tools {

namespace {

constexpr std::string_view kOsUserName = "OsUser";
constexpr std::string_view kUserNumberName = "UserNumber";
// The buffer the OS user is read into, terminating zero included.
constexpr uint32_t kOsUserBufferSize = 512;
constexpr std::string_view kFallbackOsUser = "sorel";

}  // namespace

std::string LoginName() {
    long bufferSize = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(bufferSize > 0 ? static_cast<size_t>(bufferSize) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_name != nullptr && found->pw_name[0] != '\0') {
        return found->pw_name;
    }
    const char* user = std::getenv("USER");
    return user != nullptr ? std::string(user) : std::string();
}

std::string ReadOsUser() {
    std::vector<char> buffer(kOsUserBufferSize);
    platform::RegType type = platform::RegType::Sz;
    uint32_t size = kOsUserBufferSize;
    if (suite::RegReadValue(platform::HKey::CurrentUser, suite::ServerKey(suite::ClientMode::Remote),
                            kOsUserName, type, buffer.data(), size) == platform::win32::kSuccess) {
        return std::string(buffer.data(), strnlen(buffer.data(), size));
    }
    std::string name = LoginName();
    return name.empty() ? std::string(kFallbackOsUser) : name;
}

bool WriteOsUser(std::string_view user) {
    const std::string text(user);
    return suite::RegWriteValue(platform::HKey::CurrentUser, suite::ServerKey(suite::ClientMode::Remote),
                                kOsUserName, platform::RegType::Sz, text.c_str(),
                                static_cast<uint32_t>(text.size() + 1)) == platform::win32::kSuccess;
}

int32_t ReadUserNumber(suite::ClientMode mode) {
    uint32_t value = 0;
    platform::RegType type = platform::RegType::Dword;
    uint32_t size = sizeof(value);
    if (suite::RegReadValue(platform::HKey::CurrentUser, suite::ServerKey(mode), kUserNumberName, type,
                            &value, size) != platform::win32::kSuccess ||
        size != sizeof(value)) {
        return 1;
    }
    return static_cast<int32_t>(value);
}

bool WriteUserNumber(suite::ClientMode mode, int32_t user) {
    const auto raw = static_cast<uint32_t>(user);
    return suite::RegWriteValue(platform::HKey::CurrentUser, suite::ServerKey(mode), kUserNumberName,
                                platform::RegType::Dword, &raw, sizeof(raw)) == platform::win32::kSuccess;
}

}  // namespace tools
