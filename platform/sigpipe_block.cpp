// SIGPIPE held off one thread for the length of a scope.
#include "platform/sigpipe_block.h"

#include <pthread.h>

#include <cerrno>
#include <ctime>

namespace platform {
namespace {

bool SigpipePending() {
    sigset_t pending;
    return sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
}

}  // namespace

SigpipeBlock::SigpipeBlock() {
    sigemptyset(&m_pipe);
    sigaddset(&m_pipe, SIGPIPE);
    m_wasPending = SigpipePending();
    m_blocked = pthread_sigmask(SIG_BLOCK, &m_pipe, &m_previous) == 0;
}

SigpipeBlock::~SigpipeBlock() {
    const int savedErrno = errno;
    if (!m_wasPending && SigpipePending()) {
        const timespec zero{};
        while (sigtimedwait(&m_pipe, nullptr, &zero) > 0) {
        }
    }
    if (m_blocked) {
        pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
    }
    errno = savedErrno;
}

}  // namespace platform
