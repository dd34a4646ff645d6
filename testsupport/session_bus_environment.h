// One private session bus for a whole test program, for code that uses Qt's session bus connection (which
// Qt makes once per process): started before the first test, named in DBUS_SESSION_BUS_ADDRESS, ended after
// the last. Tests skip with Missing()'s reason when it could not start.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <optional>
#include <string>

#include "testsupport/dbus_session.h"

namespace testsupport {

class SessionBusEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        if (auto why = DBusDaemonMissing()) {
            m_error = *why;
            return;
        }
        if (m_bus.Start(m_error)) {
            ::setenv("DBUS_SESSION_BUS_ADDRESS", m_bus.Address().c_str(), 1);
        }
    }
    void TearDown() override { m_bus.Stop(); }

    // Why there is no bus, or nullopt.
    static std::optional<std::string> Missing() {
        if (Instance().m_bus.Address().empty()) {
            return Instance().m_error.empty() ? std::string("the private session bus did not start")
                                              : Instance().m_error;
        }
        return std::nullopt;
    }

  private:
    static SessionBusEnvironment& Instance() {
        static SessionBusEnvironment* instance = static_cast<SessionBusEnvironment*>(
            ::testing::AddGlobalTestEnvironment(new SessionBusEnvironment));
        return *instance;
    }
    friend struct SessionBusRegistrar;

    DBusSession m_bus;
    std::string m_error;
};

// Registers the environment when the program starts (one per program however many files include this).
struct SessionBusRegistrar {
    SessionBusRegistrar() { SessionBusEnvironment::Instance(); }
};
inline SessionBusRegistrar g_sessionBusRegistrar;

}  // namespace testsupport
