// Local servers on the D-Bus session bus: the client side starts a registered server program with
// "-Embedding", waits for it to take "<bus name>.p<pid>" and hands out a proxy that forwards dispatch calls;
// the server side serves its one object under that name and ends when it is released or its client leaves
// the bus. Object arguments stay in the client: the server reaches them with one-way posts that run on the
// client's thread after the call in progress, as posted window messages do.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "platform/automation/class_registry.h"

namespace platform::automation::bus {

// Longer than any call a server makes the client wait for, its document converter's included.
inline constexpr std::chrono::milliseconds kDefaultCallTimeout{180000};
inline constexpr std::chrono::milliseconds kDefaultStartTimeout{30000};

struct ActivatorOptions {
    std::chrono::milliseconds startTimeout = kDefaultStartTimeout;
    std::chrono::milliseconds callTimeout = kDefaultCallTimeout;
};

// Starts the server and returns its object. CO_E_SERVER_EXEC_FAILURE when there is no session bus or no Qt
// application, when the program cannot be started, exits before it takes its name, or does not take it in
// time; `message` says which.
HRESULT ActivateLocalServer(const LocalServer& server, const ActivatorOptions& options,
                            std::shared_ptr<IDispatch>& object, std::string* message = nullptr);

// Makes CoCreateInstance start local servers through ActivateLocalServer. A Qt program that links this
// library gets it at application start; calling it again changes the options.
void InstallLocalServerActivator(ActivatorOptions options = {});

// The server side: serves `object` on the session bus as "<busName>.p<pid>". Calls arrive on the thread
// that runs Start, through its event loop; `onEnd` runs there once, when the client releases the object or
// leaves the bus. The client is the one named by the starting client, else the first caller; nobody else
// is answered.
class LocalServerHost {
  public:
    LocalServerHost(std::shared_ptr<IDispatch> object, std::string busName, std::function<void()> onEnd);
    ~LocalServerHost();
    LocalServerHost(const LocalServerHost&) = delete;
    LocalServerHost& operator=(const LocalServerHost&) = delete;

    // False with `error` set when the bus cannot be reached or the name cannot be taken.
    bool Start(std::string& error);
    // The server ends of its own accord (its window was closed): the object is let go and `onEnd` runs,
    // later, as at a release.
    void Close();
    // "<busName>.p<pid>".
    std::string ServiceName() const;

  private:
    struct State;
    std::shared_ptr<State> m_state;
};

}  // namespace platform::automation::bus
