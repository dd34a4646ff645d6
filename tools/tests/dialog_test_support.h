// Scaffolding of the dialog tests: a registry on temporary hives, a recording process prompt, a way to make
// the user hive unwritable, and waiting on the event loop with a generous safety limit.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QTimer>
#include <QtTest/QTest>
#include <memory>
#include <string>

#include "platform/registry.h"
#include "platform/user_prompt.h"
#include "suite/registry_settings.h"
#include "testsupport/test_support.h"

namespace tools::testing {

inline constexpr int kSafetyMs = 20000;

class DialogTest : public testsupport::RegistryTest {
  protected:
    // Later writes to HKCU fail with access denied; reads find nothing.
    void BlockUserHive() {
        testsupport::WriteFile(m_temp.Path() / "blocker", "not a folder");
        m_registry = std::make_unique<platform::Registry>(
            platform::Registry::Paths{m_temp.Path() / "machine.reg", m_temp.Path() / "blocker" / "user.reg"});
        platform::Registry::OverrideDefault(m_registry.get());
    }

    void SetUserDword(suite::ClientMode mode, const std::string& name, uint32_t value) {
        ASSERT_EQ(Reg().SetValue(platform::HKey::CurrentUser, suite::ServerKey(mode), name,
                                 platform::RegValue::Dword(value)),
                  0);
    }
    std::optional<platform::RegValue> UserValue(suite::ClientMode mode, const std::string& name) {
        platform::RegValue value;
        if (Reg().QueryValue(platform::HKey::CurrentUser, suite::ServerKey(mode), name, value) != 0) {
            return std::nullopt;
        }
        return value;
    }

    platform::RecordingPrompt m_prompt;
    platform::ScopedDefaultPrompt m_scopedPrompt{m_prompt};
};

// Runs `action` on the first visible window of type Window once the event loop shows one (typically inside
// a modal exec()). When none comes, the test fails and every window is closed, so exec() cannot hang.
template <typename Window, typename Action>
void WhenShown(Action action) {
    auto* timer = new QTimer(qApp);  // deletes itself below; qApp owns it until then
    timer->setInterval(5);
    const QDeadlineTimer deadline(kSafetyMs);
    QObject::connect(timer, &QTimer::timeout, [timer, deadline, action] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* window = qobject_cast<Window*>(widget); window != nullptr && window->isVisible()) {
                timer->stop();
                timer->deleteLater();
                action(*window);
                return;
            }
        }
        if (deadline.hasExpired()) {
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << "the expected window was never shown";
            QApplication::closeAllWindows();
        }
    });
    timer->start();
}

template <typename Predicate>
bool WaitFor(Predicate predicate) {
    return QTest::qWaitFor(predicate, kSafetyMs);
}

}  // namespace tools::testing
