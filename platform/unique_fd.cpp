// Owning file descriptor.
#include "platform/unique_fd.h"

#include <unistd.h>

namespace platform {

void UniqueFd::Reset(int fd) {
    if (m_fd >= 0 && m_fd != fd) {
        ::close(m_fd);
    }
    m_fd = fd;
}

}  // namespace platform
