// What the control's tests share: a control whose pipes are scripted lines, its members called by name, an
// event sink that keeps what the control fired, and a helper program run to its exit status.
#pragma once

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTest>
#include <algorithm>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/user_prompt.h"
#include "terminal/control/tests/session_fakes.h"
#include "terminal/quillet/quillet_ctrl.h"
#include "terminal/widget/field_edit.h"
#include "terminal/widget/terminal_widget.h"
#include "testsupport/test_support.h"

namespace terminal::testing {

// How long a control test waits for what the event loop brings before it gives up.
inline constexpr int kCtrlWaitMs = 10000;

// Runs a program and returns its exit status (-1 when it could not run or ended by a signal).
inline int RunProgram(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) {
        return -1;
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

// An event sink that keeps every call with its arguments exactly as they arrived.
class RecordingSink : public platform::automation::IDispatch {
  public:
    struct Call {
        platform::automation::DISPID dispid;
        std::vector<platform::automation::Variant> args;
    };
    platform::automation::HRESULT GetIDsOfNames(std::span<const std::string_view>,
                                                std::span<platform::automation::DISPID>) override {
        return platform::automation::E_NOTIMPL;
    }
    platform::automation::HRESULT Invoke(platform::automation::DISPID dispid,
                                         platform::automation::InvokeKind,
                                         std::span<const platform::automation::Variant> args,
                                         platform::automation::Variant*,
                                         platform::automation::InvokeError*) override {
        m_calls.push_back({dispid, std::vector<platform::automation::Variant>(args.begin(), args.end())});
        return platform::automation::S_OK;
    }
    int Count(QuilletEvent event) const {
        return static_cast<int>(std::count_if(m_calls.begin(), m_calls.end(), [event](const Call& c) {
            return c.dispid == static_cast<platform::automation::DISPID>(event);
        }));
    }
    std::vector<Call> m_calls;
};

// Looks `name` up on `object` and invokes it, expecting `expected`; the result it gave.
inline platform::automation::Variant CallByName(
    platform::automation::IDispatch& object, std::string_view name,
    std::vector<platform::automation::Variant> args = {},
    platform::automation::InvokeKind kind = platform::automation::InvokeKind::Method,
    platform::automation::HRESULT expected = platform::automation::S_OK) {
    platform::automation::DISPID id = platform::automation::DISPID_UNKNOWN;
    EXPECT_EQ(object.GetIDOfName(name, id), platform::automation::S_OK) << name;
    platform::automation::Variant result;
    EXPECT_EQ(object.Invoke(id, kind, args, &result, nullptr), expected) << name;
    return result;
}

// Hands the control's events to `sink`.
inline void AdviseEvents(CQuilletCtrl& control, std::shared_ptr<platform::automation::IDispatch> sink) {
    std::shared_ptr<platform::automation::ConnectionPoint> point;
    ASSERT_EQ(control.FindConnectionPoint(kQuilletEventsIid, point), platform::automation::S_OK);
    uint32_t cookie = 0;
    ASSERT_EQ(point->Advise(std::move(sink), cookie), platform::automation::S_OK);
}

// A control whose connections run on scripted lines kept in `shared`.
inline std::shared_ptr<CQuilletCtrl> MakeControl(std::shared_ptr<FakeFactory::Shared> shared,
                                                 CQuilletCtrl::Options options = {}) {
    options.factory = std::make_unique<FakeFactory>(std::move(shared));
    return std::make_shared<CQuilletCtrl>(std::move(options));
}

// A control on scripted lines in a registry and home of the test's own; prompts are recorded, not shown.
class CtrlTest : public testsupport::RegistryTest {
  protected:
    void SetUp() override {
        testsupport::RegistryTest::SetUp();
        StartControl();
    }
    void TearDown() override {
        m_control.reset();
        testsupport::RegistryTest::TearDown();
    }

    void StartControl(CQuilletCtrl::Options options = {}) {
        m_shared = std::make_shared<FakeFactory::Shared>();
        m_control = MakeControl(m_shared, std::move(options));
    }
    void ShowControl() {
        m_control->Window()->resize(820, 600);
        m_control->Window()->show();
    }

    platform::automation::Variant Call(
        std::string_view name, std::vector<platform::automation::Variant> args = {},
        platform::automation::InvokeKind kind = platform::automation::InvokeKind::Method,
        platform::automation::HRESULT expected = platform::automation::S_OK) {
        return CallByName(*m_control, name, std::move(args), kind, expected);
    }
    platform::automation::Variant Get(std::string_view name) {
        return Call(name, {}, platform::automation::InvokeKind::PropertyGet);
    }
    void Put(std::string_view name, platform::automation::Variant value) {
        Call(name, {std::move(value)}, platform::automation::InvokeKind::PropertyPut);
    }

    // A local session on a scripted line, opened past the dispatch interface; null when no line came.
    std::shared_ptr<FakeLine> Connect() {
        m_control->Properties().m_Connector = "local";
        EXPECT_EQ(m_control->Session().Connect(), 0);
        return LastLine();
    }
    std::shared_ptr<FakeLine> LastLine() const {
        return m_shared->lines.empty() ? nullptr : m_shared->lines.back();
    }
    // The host opens an eight-character field at column 5, row 10 holding `text`; null when none opened.
    CFieldEdit* OpenField(FakeLine& line, const std::string& text = "init") {
        line.Feed(std::string("\x1B[%") + text + "\x02" + "5\x02" + "10\x02" + "8\x02" + "0\x02" + "0\x02" +
                  "1\x02" + "1\x02" + "N\x01" + "a");
        auto* field = m_control->Terminal()->findChild<CFieldEdit*>();
        if (field == nullptr || !QTest::qWaitFor([&] { return field->Model().IsOpen(); }, kCtrlWaitMs)) {
            return nullptr;
        }
        return field;
    }

    platform::RecordingPrompt m_recorder;
    platform::ScopedDefaultPrompt m_prompt{m_recorder};
    std::shared_ptr<FakeFactory::Shared> m_shared;
    std::shared_ptr<CQuilletCtrl> m_control;
};

}  // namespace terminal::testing
