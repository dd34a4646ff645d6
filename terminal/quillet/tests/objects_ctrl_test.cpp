// Host objects through the whole control: escapes from the host on a scripted line create, call and release
// fake objects registered in a temporary class registry, and the answers and an object's notification come
// back on the same line in order, by way of the control's event loop.
#include <gtest/gtest.h>

#include <QTest>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/automation/class_registry.h"
#include "platform/user_prompt.h"
#include "terminal/quillet/quillet_ctrl.h"
#include "terminal/quillet/tests/ctrl_test_support.h"

namespace terminal {
namespace {

using namespace platform::automation;

constexpr int kSafetyNetMs = 10000;

class ObjectsCtrlTest : public testing::CtrlTest {
  protected:
    void SetUp() override {
        testsupport::RegistryTest::SetUp();
        const std::string library = std::filesystem::canonical(CARROWLINE_OBJECTS_TEST_COMPONENT).string();
        ClassRegistration registration{Guid::FromLiteral("{7C4D2E10-5A3B-4C6D-8E9F-0A1B2C3D4E51}"),
                                       "ObjectsTest.Fake",
                                       "ObjectsTest.Fake",
                                       library,
                                       "Apartment",
                                       {}};
        ASSERT_EQ(RegisterClass(registration, RegistrationScope::User), S_OK);
        StartControl();
        Put("Connector", Variant::Bstr("local"));
        ASSERT_EQ(Call("Connect").AsI4(), 0);
        m_line = LastLine();
        ASSERT_TRUE(m_line);
    }

    // Waits until the line holds `expected` after what it held before.
    bool HostGets(const std::string& expected) {
        const std::string wanted = m_seen + expected;
        const bool ok =
            QTest::qWaitFor([&] { return m_line->Written().size() >= wanted.size(); }, kSafetyNetMs);
        const std::string written = m_line->Written();
        EXPECT_EQ(written, wanted);
        m_seen = written;
        return ok && written == wanted;
    }

    std::shared_ptr<testing::FakeLine> m_line;
    std::string m_seen;
};

TEST_F(ObjectsCtrlTest, HostEscapesDriveObjectsAndTheirNotificationsComeBack) {
    m_line->Feed(
        "\x1b[%ObjectsTest.Fake\x01"
        "c");
    ASSERT_TRUE(HostGets("\x1b\\0\x01"));

    // The object learned the pipe's description and got a window to post to.
    m_line->Feed(
        "\x1b[%0\x02"
        "Describe\x01"
        "i");
    const std::string describe =
        "\x1b\\0\x01" + std::to_string(m_control->WindowHandle()) + " 0 fake client\x01";
    ASSERT_TRUE(HostGets(describe));

    // A text queued by the object reaches the host after the call's answer.
    m_line->Feed(
        "\x1b[%0\x02"
        "Queue\x02"
        "accept\x01"
        "i");
    ASSERT_TRUE(
        HostGets("\x1b\\0\x01"
                 "0\x01"
                 "\x1b[*0 accept\n"));

    m_line->Feed("\x1b[0d");
    ASSERT_TRUE(HostGets("\x1b\\1\x01"));
    m_line->Feed(
        "\x1b[%0\x02"
        "Describe\x01"
        "i");
    ASSERT_TRUE(HostGets("\x1b\\2\x01"));
    EXPECT_TRUE(m_recorder.Shown().empty());
}

TEST_F(ObjectsCtrlTest, AnObjectThatClosesItselfIsReleasedQuietly) {
    m_line->Feed(
        "\x1b[%ObjectsTest.Fake\x01"
        "c");
    ASSERT_TRUE(HostGets("\x1b\\0\x01"));
    m_line->Feed(
        "\x1b[%0\x02"
        "Close\x01"
        "i");
    ASSERT_TRUE(
        HostGets("\x1b\\0\x01"
                 "0\x01"));
    // The slot is free again: the next object takes it, and nothing else was said.
    m_line->Feed(
        "\x1b[%ObjectsTest.Fake\x01"
        "c");
    ASSERT_TRUE(HostGets("\x1b\\0\x01"));
}

}  // namespace
}  // namespace terminal
