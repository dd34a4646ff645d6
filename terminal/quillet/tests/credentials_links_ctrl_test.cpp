// The control's credentials dialog without a connection, and the named links a web page uses to see that
// the control lives.
#include <gtest/gtest.h>

#include <QTest>
#include <memory>
#include <string>

#include "hostlink/login_ui.h"
#include "platform/automation/dispatch_object.h"
#include "platform/named_object.h"
#include "platform/user_prompt.h"
#include "terminal/control/tests/session_fakes.h"
#include "terminal/quillet/quillet_ctrl.h"
#include "terminal/quillet/tests/ctrl_test_support.h"
#include "testsupport/test_support.h"

namespace terminal {
namespace {

using namespace platform::automation;

// The wizard as a script: what it "typed" into the pipe, or a cancel.
class ScriptedRemoteUi : public hostlink::RemoteLoginUi {
  public:
    bool RunAuthLogin(hostlink::RemoteLoginTarget& target, int32_t mode) override {
        m_modes.push_back(mode);
        if (!m_accept) {
            return false;
        }
        target.SetOsCredentials("osuser", "ospass");
        target.SetAppUserNumber(42);
        target.SetAppPassword("apppass");
        return true;
    }
    bool RunAutoLogin(hostlink::RemoteLoginTarget&) override { return false; }
    bool m_accept = true;
    std::vector<int32_t> m_modes;
};

class ScriptedLocalUi : public hostlink::LocalLoginUi {
  public:
    explicit ScriptedLocalUi(bool accept) : m_accept(accept) {}
    int32_t UserNumber() const override { return 17; }
    std::string Password() const override { return "secret"; }
    void SetCredentials(int32_t, std::string_view) override {}
    bool ShowModal() override { return m_accept; }
    bool m_accept;
};

class CredentialsLinksTest : public testing::CtrlTest {
  protected:
    void SetUp() override {
        testsupport::RegistryTest::SetUp();
        m_env.Set("XDG_RUNTIME_DIR", "");  // the private folder in the test's temp folder
        CQuilletCtrl::Options options;
        auto remote = std::make_unique<ScriptedRemoteUi>();
        m_remote = remote.get();
        options.remoteLoginUi = std::move(remote);
        options.localLoginUi = [this] { return std::make_unique<ScriptedLocalUi>(m_localAccepts); };
        StartControl(std::move(options));
    }

    ScriptedRemoteUi* m_remote = nullptr;
    bool m_localAccepts = true;
};

// The debug flag lives under the container's key; the company key's value is not it.
TEST_F(CredentialsLinksTest, DebugIsReadFromTheContainersKey) {
    EXPECT_FALSE(m_control->Debug());
    Reg().SetValue(platform::HKey::LocalMachine, suite::kCompanyKey, "Debug", platform::RegValue::Dword(1));
    StartControl();
    EXPECT_FALSE(m_control->Debug());
    Reg().SetValue(platform::HKey::LocalMachine, suite::kBrantorKey, "Debug", platform::RegValue::Dword(1));
    StartControl();
    EXPECT_TRUE(m_control->Debug());
}

TEST_F(CredentialsLinksTest, RemoteCredentialsComeFromTheWizardInModeSix) {
    QuilletProperties& props = m_control->Properties();
    props.m_Connector = "remote";
    EXPECT_EQ(Call("AuthDialog").AsI4(), 0);
    EXPECT_EQ(m_remote->m_modes, std::vector<int32_t>{6});
    EXPECT_EQ(props.m_AuthOsUser, "osuser");
    EXPECT_EQ(props.m_AuthOsPassword, "ospass");
    EXPECT_EQ(props.m_AuthSorelUser, 42);
    EXPECT_EQ(props.m_AuthSorelPassword, "apppass");
    EXPECT_TRUE(props.m_modified);
    EXPECT_FALSE(m_control->Session().HasPipe()) << "the dialog connects nothing";

    props.m_AuthOsUser = "kept";
    m_remote->m_accept = false;
    EXPECT_EQ(Call("AuthDialog").AsI4(), 1);
    EXPECT_EQ(props.m_AuthOsUser, "kept");
}

TEST_F(CredentialsLinksTest, LocalCredentialsAndAnUnknownConnector) {
    QuilletProperties& props = m_control->Properties();
    props.m_Connector = "local";
    EXPECT_EQ(Call("AuthDialog").AsI4(), 0);
    EXPECT_EQ(props.m_AuthSorelUser, 17);
    EXPECT_EQ(props.m_AuthSorelPassword, "secret");

    m_localAccepts = false;
    props.m_AuthSorelUser = 3;
    EXPECT_EQ(Call("AuthDialog").AsI4(), 1);
    EXPECT_EQ(props.m_AuthSorelUser, 3);

    props.m_Connector = "modem";
    EXPECT_EQ(Call("AuthDialog").AsI4(), 0);
    EXPECT_EQ(m_recorder.Texts(), std::vector<std::string>{"Invalid Connector Specified"});
}

TEST_F(CredentialsLinksTest, PersistLinkClearsOnlyWhenNobodyElseHoldsIt) {
    EXPECT_EQ(Call("WebSetPersist", {Variant::Bstr("PracticePage")}).AsI4(), 1);
    EXPECT_TRUE(platform::NamedObject::Exists("PracticePage"));
    EXPECT_EQ(Call("WebClearPersist", {Variant::Bstr("PracticePage")}).AsI4(), 1);
    EXPECT_FALSE(platform::NamedObject::Exists("PracticePage"));

    std::optional<platform::NamedObject> other = platform::NamedObject::OpenOrCreate("PracticePage");
    ASSERT_TRUE(other);
    EXPECT_EQ(Call("WebSetPersist", {Variant::Bstr("PracticePage")}).AsI4(), 1);
    EXPECT_EQ(Call("WebClearPersist", {Variant::Bstr("PracticePage")}).AsI4(), 0);
}

TEST_F(CredentialsLinksTest, TheWindowLinkLivesUntilRemoved) {
    Call("WebAddWndLink", {Variant::Bstr("PageLink")});
    EXPECT_TRUE(platform::NamedObject::Exists("PageLink"));
    Call("WebRemoveWndLink", {Variant::Bstr("ignored")});
    EXPECT_FALSE(platform::NamedObject::Exists("PageLink"));

    Call("WebAddWndLink", {Variant::Bstr("PageLink")});
    m_control.reset();
    EXPECT_FALSE(platform::NamedObject::Exists("PageLink")) << "a control that goes lets go of its link";
}

}  // namespace
}  // namespace terminal
