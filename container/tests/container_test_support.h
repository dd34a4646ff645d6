// Scaffolding of the container tests: temporary registry hives with the stand-in control registered under
// the control's class id, its shared state, and every message box recorded.
#pragma once

#include <gtest/gtest.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "container/quillet_contract.h"
#include "container/tests/fake_quillet.h"
#include "platform/automation/class_registry.h"
#include "platform/user_prompt.h"
#include "testsupport/test_support.h"

namespace container::testing {

inline FakeQuilletState& FakeState() {
    using namespace platform::automation;
    void* handle = nullptr;
    void* entry = nullptr;
    std::string message;
    if (Failed(LoadComponentLibrary(CARROWLINE_FAKE_QUILLET, handle, &message)) ||
        Failed(FindComponentEntry(handle, kFakeQuilletGetState, entry, &message))) {
        ADD_FAILURE() << message;
        static FakeQuilletState none;
        return none;
    }
    return *reinterpret_cast<FakeQuilletGetStateFn>(entry)();
}

class ContainerTest : public testsupport::RegistryTest {
  protected:
    void SetUp() override {
        RegistryTest::SetUp();
        m_fake = &FakeState();
        m_fake->Reset();
        m_prompt = std::make_unique<platform::ScopedDefaultPrompt>(m_recorder);
    }
    void TearDown() override {
        m_prompt.reset();
        m_fake->Reset();
        RegistryTest::TearDown();
    }

    void RegisterFake() {
        platform::automation::ClassRegistration registration;
        registration.clsid = kQuilletClsid;
        registration.progId = std::string(kQuilletProgId);
        registration.typeName = "Quillet Control";
        registration.libraryPath = CARROWLINE_FAKE_QUILLET;
        ASSERT_EQ(
            platform::automation::RegisterClass(registration, platform::automation::RegistrationScope::User),
            platform::automation::S_OK);
    }

    // The stand-in, made with its widget, answers a login with the ShowContainer handshake on a fresh
    // eventfd; `handshake`, when given, records whether the container signalled it.
    void HandshakeOnLogin(bool* handshake = nullptr) {
        m_fake->withWidget = true;
        m_fake->onLogin = [this, handshake] {
            const int event = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
            ASSERT_GE(event, 0);
            m_fake->fire(
                static_cast<platform::automation::DISPID>(QuilletEvent::ShowContainer),
                std::vector<platform::automation::Variant>{platform::automation::Variant::I4(event)});
            if (handshake != nullptr) {
                uint64_t value = 0;
                *handshake = ::read(event, &value, sizeof value) == static_cast<ssize_t>(sizeof value);
            }
            ::close(event);
        };
    }

    void SetDword(platform::HKey root, std::string_view key, std::string_view name, uint32_t value) {
        ASSERT_EQ(Reg().SetValue(root, key, name, platform::RegValue::Dword(value)), 0);
    }
    void SetText(platform::HKey root, std::string_view key, std::string_view name, std::string_view value) {
        ASSERT_EQ(Reg().SetValue(root, key, name, platform::RegValue::String(value)), 0);
    }

    FakeQuilletState* m_fake = nullptr;
    platform::RecordingPrompt m_recorder;
    std::unique_ptr<platform::ScopedDefaultPrompt> m_prompt;
    std::vector<std::string> m_log;
};

}  // namespace container::testing
