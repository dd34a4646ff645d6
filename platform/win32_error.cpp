// Translation of errno values into the Win32 codes that the rest of the suite tests, so callers written
// against the Windows contract keep working on Linux.
#include "platform/win32_error.h"

#include <cerrno>

namespace platform::win32 {

int32_t FromErrno(int err) {
    switch (err) {
        case 0:
            return kSuccess;
        case ENOENT:
            return kFileNotFound;
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
            return kPathNotFound;
        case EMFILE:
        case ENFILE:
            return kTooManyOpenFiles;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
        case ETXTBSY:
            return kAccessDenied;
        case EBADF:
            return kInvalidHandle;
        case ENOMEM:
            return kNotEnoughMemory;
        case EEXIST:
            return kFileExists;
        case EINVAL:
            return kInvalidParameter;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return kDiskFull;
        case ENOTEMPTY:
            return kDirNotEmpty;
        case ERANGE:
            return kInsufficientBuffer;
        default:
            return kGenFailure;
    }
}

}  // namespace platform::win32
