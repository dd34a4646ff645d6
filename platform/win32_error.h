// Win32 error codes that callers of the platform layer test, as the Windows design returns them.
#pragma once

#include <cstdint>

namespace platform::win32 {
inline constexpr int32_t kSuccess = 0;
inline constexpr int32_t kFileNotFound = 2;
inline constexpr int32_t kPathNotFound = 3;
inline constexpr int32_t kTooManyOpenFiles = 4;
inline constexpr int32_t kAccessDenied = 5;
inline constexpr int32_t kInvalidHandle = 6;
inline constexpr int32_t kNotEnoughMemory = 8;
inline constexpr int32_t kInvalidData = 13;
inline constexpr int32_t kGenFailure = 31;
inline constexpr int32_t kFileExists = 80;
inline constexpr int32_t kInvalidParameter = 87;
inline constexpr int32_t kDiskFull = 112;
inline constexpr int32_t kInsufficientBuffer = 122;
inline constexpr int32_t kDirNotEmpty = 145;
inline constexpr int32_t kAlreadyExists = 183;
inline constexpr int32_t kMoreData = 234;
inline constexpr int32_t kNoMoreItems = 259;

// Maps an errno value onto the nearest Win32 code (EACCES/EPERM/EROFS to access denied, and so on).
int32_t FromErrno(int err);
}  // namespace platform::win32
