// SIGPIPE held off one thread for the length of a scope.
#include "platform/sigpipe_block.h"

#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

namespace platform {
namespace {

bool SigpipePending() {
    sigset_t pending;
    return sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
}

void TakePendingSigpipe(const sigset_t& pipe) {
    const timespec zero{};
    while (sigtimedwait(&pipe, nullptr, &zero) > 0) {
    }
}

sigset_t SigpipeSet() {
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    return pipe;
}

// Whether this thread's SIGPIPE block is WriteHoldingSigpipe's own.
enum class ThreadHold : unsigned char { Unknown, Ours, CallersOwn };
thread_local ThreadHold t_hold = ThreadHold::Unknown;

}  // namespace

// Three system calls where the scope does not fail: the guard sits around every key written to a local
// host, so it asks nothing it can do without.
SigpipeBlock::SigpipeBlock() {
    sigemptyset(&m_pipe);
    sigaddset(&m_pipe, SIGPIPE);
    m_blocked = pthread_sigmask(SIG_BLOCK, &m_pipe, &m_previous) == 0;
    // While this thread took SIGPIPE none could be pending: it would have been delivered.
    m_wasPending = (!m_blocked || sigismember(&m_previous, SIGPIPE) == 1) && SigpipePending();
}

SigpipeBlock::~SigpipeBlock() {
    const int savedErrno = errno;
    if (!m_wasPending) {
        TakePendingSigpipe(m_pipe);
    }
    if (m_blocked) {
        pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
    }
    errno = savedErrno;
}

// A write raises SIGPIPE exactly when it fails with EPIPE, so only then is there one to take.
ssize_t WriteWithoutSigpipe(int fd, const void* bytes, size_t count) {
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    sigset_t previous;
    const bool blocked = pthread_sigmask(SIG_BLOCK, &pipe, &previous) == 0;
    const bool wasPending = (!blocked || sigismember(&previous, SIGPIPE) == 1) && SigpipePending();
    const ssize_t n = ::write(fd, bytes, count);
    const int savedErrno = errno;
    if (n < 0 && savedErrno == EPIPE && !wasPending) {
        TakePendingSigpipe(pipe);
    }
    if (blocked) {
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    }
    errno = savedErrno;
    return n;
}

ssize_t WriteHoldingSigpipe(int fd, const void* bytes, size_t count) {
    if (t_hold == ThreadHold::Unknown) {
        const sigset_t pipe = SigpipeSet();
        sigset_t previous;
        if (pthread_sigmask(SIG_BLOCK, &pipe, &previous) != 0) {
            return WriteWithoutSigpipe(fd, bytes, count);
        }
        // A block that was there already is the caller's: a signal pending under it may be theirs.
        t_hold = sigismember(&previous, SIGPIPE) == 1 ? ThreadHold::CallersOwn : ThreadHold::Ours;
    }
    if (t_hold == ThreadHold::CallersOwn) {
        return WriteWithoutSigpipe(fd, bytes, count);
    }
    const ssize_t n = ::write(fd, bytes, count);
    if (n < 0 && errno == EPIPE) {
        const int savedErrno = errno;
        TakePendingSigpipe(SigpipeSet());
        errno = savedErrno;
    }
    return n;
}

}  // namespace platform
