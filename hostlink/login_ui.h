// The login dialogs as the host link reaches them: the host link stays free of any toolkit, the dialogs
// (tools/) implement these interfaces on the user-interface thread, and tests use fakes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace hostlink {

// The local user login dialog. Constructed with the user number the registry remembers for the current
// client mode (1 when none) and an empty password.
class LocalLoginUi {
  public:
    virtual ~LocalLoginUi() = default;
    virtual int32_t UserNumber() const = 0;
    virtual std::string Password() const = 0;
    // Puts known credentials into the dialog without showing it.
    virtual void SetCredentials(int32_t user, std::string_view password) = 0;
    // Shows the dialog modally; false when the user cancelled.
    virtual bool ShowModal() = 0;
};
using LocalLoginUiFactory = std::function<std::unique_ptr<LocalLoginUi>()>;

// Receives the auto-login worker's progress (0 to 100). Called on the worker thread; must not block.
class ProgressSink {
  public:
    virtual ~ProgressSink() = default;
    virtual void SetPosition(int32_t percent) = 0;
};

// What the login wizard and the progress dialog do to the remote pipe.
class RemoteLoginTarget {
  public:
    virtual ~RemoteLoginTarget() = default;
    virtual int32_t Flags() const = 0;
    virtual void SetOsCredentials(std::string_view user, std::string_view password) = 0;
    virtual void SetAppUserNumber(int32_t user) = 0;
    virtual void SetAppPassword(std::string_view password) = 0;

    // The worker's whole job: 0 on success, 1 on failure (the pipe has shown its own message).
    virtual int32_t ConnectAndLogin(int32_t loadSettings) = 0;
    // Registers (or with null, removes) the progress sink; the pipe reports only while one is registered
    // and the connection was not aborted.
    virtual void SetProgressSink(ProgressSink* sink) = 0;
    virtual void SetAborted() = 0;
    virtual bool Aborted() const = 0;
    // Wakes a connect, handshake or read that blocks the worker; safe from the user-interface thread while
    // the worker runs.
    virtual void AbortConnect() = 0;
};

// The remote pipe's dialogs. Both are modal; false means cancelled (or, for the progress dialog, that the
// worker failed).
class RemoteLoginUi {
  public:
    virtual ~RemoteLoginUi() = default;
    // The login wizard in connection mode 2, 4 or 6.
    virtual bool RunAuthLogin(RemoteLoginTarget& target, int32_t mode) = 0;
    // The progress dialog: runs target.ConnectAndLogin(0) on a worker thread until it ends or the user
    // cancels; a cancel aborts the connection and joins the worker before returning.
    virtual bool RunAutoLogin(RemoteLoginTarget& target) = 0;
};

}  // namespace hostlink
