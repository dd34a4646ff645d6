// MD5 digest of a local file as 32 lower-case hex digits, and the comparison of two such texts; the host
// uses them to check a file on this machine against a digest it sends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace hostlink {

class md5util {
  public:
    // 32 hex digits and the terminator.
    static constexpr std::size_t kDigestChars = 32;
    static constexpr std::size_t kDigestSize = kDigestChars + 1;

    // Win32 error code, 0 on success; `out` is written only on success. Every failure is shown to the user
    // and returns a non-zero code.
    static int32_t HashFile(std::span<char, kDigestSize> out, const std::string& fileName);

    // 0 when the first 32 characters of both texts are equal (case matters), else 1. A text that ends (or
    // holds a terminator) before 32 characters never matches, not even an identical one.
    static int32_t CompareDigest(std::string_view a, std::string_view b);
};

}  // namespace hostlink
