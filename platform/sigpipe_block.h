// Holds SIGPIPE off the calling thread for one write to a peer that may have gone away, so that the write
// fails with EPIPE instead of ending the process, and swallows the signal that write raised.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <cstddef>

namespace platform {

// Scope guard: blocks SIGPIPE on this thread; on leaving, discards a SIGPIPE that became pending inside the
// scope (one pending before is left alone), restores the previous mask and keeps errno as the scope left it.
class SigpipeBlock {
  public:
    SigpipeBlock();
    ~SigpipeBlock();
    SigpipeBlock(const SigpipeBlock&) = delete;
    SigpipeBlock& operator=(const SigpipeBlock&) = delete;

  private:
    sigset_t m_pipe;
    sigset_t m_previous;
    bool m_wasPending = false;
    bool m_blocked = false;
};

// write(2) that fails with EPIPE instead of raising SIGPIPE, for one write where a guard's scope would hold
// only that write: SIGPIPE is held off for the call and the one the call raised is taken, as the guard
// does, at two system calls beside the write where the guard needs three. Keeps the write's errno.
ssize_t WriteWithoutSigpipe(int fd, const void* bytes, size_t count);

// The same for a thread that writes to such peers again and again (the window thread's keys): SIGPIPE is
// blocked on the calling thread at its first call and stays blocked, so a write costs the write alone and
// only one that fails with EPIPE takes the signal it raised. Threads the caller starts afterwards inherit
// the block. Where the thread had blocked SIGPIPE itself, every call does as WriteWithoutSigpipe.
ssize_t WriteHoldingSigpipe(int fd, const void* bytes, size_t count);

}  // namespace platform
