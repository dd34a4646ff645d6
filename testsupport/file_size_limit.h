// A write fault any test can provoke, as root too: while the object lives, no file of this process grows
// past `bytes` (the write fails with EFBIG instead of raising SIGXFSZ).
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstddef>

namespace testsupport {

class ScopedFileSizeLimit {
  public:
    explicit ScopedFileSizeLimit(size_t bytes) {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        ::sigemptyset(&ignore.sa_mask);
        if (::sigaction(SIGXFSZ, &ignore, &m_oldAction) != 0 || ::getrlimit(RLIMIT_FSIZE, &m_old) != 0) {
            ADD_FAILURE() << "cannot set up the file size limit";
            return;
        }
        struct rlimit limit = m_old;
        limit.rlim_cur = static_cast<rlim_t>(bytes);
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) {
            ADD_FAILURE() << "cannot set the file size limit";
            return;
        }
        m_set = true;
    }
    ~ScopedFileSizeLimit() {
        if (m_set) {
            ::setrlimit(RLIMIT_FSIZE, &m_old);
        }
        ::sigaction(SIGXFSZ, &m_oldAction, nullptr);
    }
    ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
    ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;

  private:
    struct rlimit m_old {};
    struct sigaction m_oldAction {};
    bool m_set = false;
};

}  // namespace testsupport
