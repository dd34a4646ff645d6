// errno values land on the Win32 codes that callers of the platform layer compare against.
#include "platform/win32_error.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace platform::win32 {
namespace {

TEST(FromErrno, MapsTheCodesCallersTest) {
    const std::pair<int, int32_t> cases[] = {
        {0, kSuccess},           {ENOENT, kFileNotFound},     {ENOTDIR, kPathNotFound},
        {EACCES, kAccessDenied}, {EPERM, kAccessDenied},      {EROFS, kAccessDenied},
        {EEXIST, kFileExists},   {EINVAL, kInvalidParameter}, {ENOSPC, kDiskFull},
        {EBADF, kInvalidHandle}, {ENOMEM, kNotEnoughMemory},  {EPROTO, kGenFailure},
    };
    for (const auto& [err, code] : cases) {
        EXPECT_EQ(FromErrno(err), code) << "errno " << err;
    }
}

}  // namespace
}  // namespace platform::win32
