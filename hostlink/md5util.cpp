// File digests for the host's file check, on the TLS engine's MD5 (libcrypto, loaded at the first check).
// Each step keeps the message the user has
// always seen for it, and every failure returns a non-zero code so the caller never trusts a digest that
// was not made.
#include "hostlink/md5util.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <memory>

#include "hostlink/tls/tls_engine.h"
#include "platform/unique_fd.h"
#include "platform/user_prompt.h"
#include "platform/win32_error.h"

namespace hostlink {
namespace {

constexpr std::size_t kBlockSize = 1024;

// The code of a failed system call, never 0: a failure must not read as success.
int32_t ErrnoCode(int err) {
    const int32_t code = platform::win32::FromErrno(err);
    return code != platform::win32::kSuccess ? code : platform::win32::kGenFailure;
}

int32_t Fail(const char* message, int32_t code) {
    platform::DefaultPrompt().Message(message);
    return code;
}

}  // namespace

int32_t md5util::HashFile(std::span<char, kDigestSize> out, const std::string& fileName) {
    platform::UniqueFd file(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file) {
        return Fail("Error Opening File to Check.", ErrnoCode(errno));
    }
    ::posix_fadvise(file.Get(), 0, 0, POSIX_FADV_SEQUENTIAL);

    // A library that cannot be loaded is a provider that cannot be acquired.
    const tls::Engine* engine = tls::LoadEngine();
    tls::Engine::Failure failure = tls::Engine::Failure::NoAlgorithm;
    const std::unique_ptr<tls::Md5> md5 = engine != nullptr ? engine->NewMd5(failure) : nullptr;
    if (!md5) {
        switch (failure) {
            case tls::Engine::Failure::NoMemory:
                return Fail("CryptCreateHash Failed.", platform::win32::kNotEnoughMemory);
            case tls::Engine::Failure::NoInit:
                return Fail("CryptCreateHash Failed.", platform::win32::kGenFailure);
            default:
                return Fail("CryptAcquireContext Failed.", platform::win32::kGenFailure);
        }
    }

    std::array<unsigned char, kBlockSize> block;
    for (;;) {
        const ssize_t got = ::read(file.Get(), block.data(), block.size());
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Fail("ReadFile Failed.", ErrnoCode(errno));
        }
        if (got == 0) {
            break;
        }
        if (!md5->Update(block.data(), static_cast<std::size_t>(got))) {
            return Fail("CryptHashData Failed.", platform::win32::kGenFailure);
        }
    }

    unsigned char digest[tls::Md5::kSize];
    if (!md5->Final(digest)) {
        return Fail("CryptGetHashParam Failed.", platform::win32::kGenFailure);
    }

    static constexpr char kHex[] = "0123456789abcdef";
    for (std::size_t i = 0; i < tls::Md5::kSize; ++i) {
        out[2 * i] = kHex[digest[i] >> 4];
        out[2 * i + 1] = kHex[digest[i] & 0x0f];
    }
    out[kDigestChars] = '\0';
    return platform::win32::kSuccess;
}

int32_t md5util::CompareDigest(std::string_view a, std::string_view b) {
    // Only the first 32 characters count; a terminator inside them makes the text too short.
    const auto digestPart = [](std::string_view text) {
        text = text.substr(0, kDigestChars);
        return text.substr(0, text.find('\0'));
    };
    const std::string_view left = digestPart(a);
    const std::string_view right = digestPart(b);
    if (left.size() < kDigestChars || right.size() < kDigestChars) {
        return 1;
    }
    return left == right ? 0 : 1;
}

}  // namespace hostlink
