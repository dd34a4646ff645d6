// Creating and binding the terminal control by name, and the typed wrappers, against the stand-in control.
#include "container/quillet_host.h"

#include <gtest/gtest.h>

#include "container/tests/container_test_support.h"
#include "platform/automation/dispatch_object.h"

namespace container {
namespace {

using namespace platform::automation;
using testing::FakeCall;

class QuilletHostTest : public testing::ContainerTest {
  protected:
    void SetUp() override {
        ContainerTest::SetUp();
        RegisterFake();
    }
    CQuillet::LogFn Logger() {
        return [this](std::string_view line) { m_log.emplace_back(line); };
    }
};

TEST_F(QuilletHostTest, BindsEveryMemberByNameInOrder) {
    CQuillet control(Logger());
    ASSERT_TRUE(control.Attach());
    EXPECT_TRUE(m_recorder.Texts().empty());
    ASSERT_EQ(m_fake->lookups.size(), kMemberCount);
    for (size_t i = 0; i < kMemberCount; ++i) {
        EXPECT_EQ(m_fake->lookups[i], kMemberNames[i]);
    }
    EXPECT_EQ(control.BoundId(Member::Send), 29);
    EXPECT_EQ(control.BoundId(Member::Login), 1005);
    EXPECT_EQ(control.BoundId(Member::DirectChainMode), 1023);
}

TEST_F(QuilletHostTest, NamesBindWhateverTheirCase) {
    m_fake->oddCase = true;
    CQuillet control(Logger());
    ASSERT_TRUE(control.Attach());
    EXPECT_EQ(control.BoundId(Member::ToolBars), 1001);
    control.SetToolBars(true);
    ASSERT_EQ(m_fake->CallsOf("Toolbars").size(), 1u);
}

TEST_F(QuilletHostTest, FirstMissingNameStopsTheBindingWithItsIndex) {
    struct Case {
        std::vector<std::string> missing;
        size_t index;
    };
    // A later gap is never reached when an earlier one stops the binding.
    const Case cases[] = {
        {{"FontName", "DirectChainMode"}, 0}, {{"DirectChainMode"}, 70}, {{"Login", "EditCopy"}, 51}};
    for (const Case& c : cases) {
        m_fake->Reset();
        m_recorder.Clear();
        m_fake->omitted = c.missing;
        CQuillet control(Logger());
        EXPECT_FALSE(control.Attach()) << c.index;
        EXPECT_FALSE(control.IsAttached());
        EXPECT_EQ(m_recorder.Texts(),
                  std::vector<std::string>{"Error late-binding to QUILLET.QuilletCtrl.1 --Function " +
                                           std::to_string(c.index)});
        EXPECT_EQ(m_fake->lookups.size(), c.index + 1);
        EXPECT_EQ(control.BoundId(static_cast<Member>(c.index)), 0);
        // The control is not kept, and nothing reaches it afterwards.
        EXPECT_EQ(m_fake->alive, 0);
        EXPECT_EQ(control.Send("x"), S_FALSE);
    }
}

TEST_F(QuilletHostTest, UnregisteredControlFailsWithoutTheBindingMessage) {
    ASSERT_EQ(UnregisterClass(kQuilletClsid, kQuilletProgId, RegistrationScope::User), S_OK);
    CQuillet control(Logger());
    EXPECT_FALSE(control.Attach());
    EXPECT_TRUE(m_recorder.Texts().empty());
    ASSERT_EQ(m_log.size(), 1u);
    EXPECT_NE(m_log[0].find("could not be created"), std::string::npos);
}

TEST_F(QuilletHostTest, WrappersPassTypedArguments) {
    CQuillet control(Logger());
    ASSERT_TRUE(control.Attach());
    m_fake->loginResult = 0;
    std::string line = "-X 12 -simple";
    EXPECT_EQ(control.Login(1, line), 0);
    EXPECT_EQ(m_fake->loginText, "-X 12 -simple");
    ASSERT_EQ(m_fake->CallsOf("Login").size(), 1u);
    EXPECT_EQ(m_fake->CallsOf("Login")[0].args[0], Variant::I2(1));

    m_fake->loginResult = kLoginUsage;
    EXPECT_EQ(control.Login(3, line), kLoginUsage);

    m_fake->autoLoginResult = true;
    EXPECT_TRUE(control.AutoLogin(33, 4567));
    const FakeCall autoLogin = m_fake->CallsOf("AutoLogin").at(0);
    EXPECT_EQ(autoLogin.args, (std::vector<Variant>{Variant::I4(33), Variant::I4(4567)}));

    EXPECT_EQ(control.Send("/quit\r"), S_OK);
    EXPECT_EQ(m_fake->CallsOf("Send").at(0).args.at(0), Variant::Bstr("/quit\r"));
    EXPECT_EQ(control.SetInVarnel(true), S_OK);
    EXPECT_EQ(m_fake->CallsOf("InVarnel").at(0).args.at(0), Variant::Bool(true));
    EXPECT_EQ(m_fake->CallsOf("InVarnel").at(0).kind, InvokeKind::PropertyPut);
    EXPECT_EQ(control.SetNewWindowChainCommand("/m1\r"), S_OK);
    EXPECT_EQ(m_fake->CallsOf("NewWindowChainCommand").at(0).args.at(0), Variant::Bstr("/m1\r"));
    EXPECT_EQ(control.PopupMenuItem(10003), S_OK);
    EXPECT_EQ(m_fake->CallsOf("PopupMenuItem").at(0).args.at(0), Variant::I2(10003));

    m_fake->chainable = true;
    EXPECT_TRUE(control.IsChainable());
    m_fake->chainable = false;
    EXPECT_FALSE(control.IsChainable());
    EXPECT_TRUE(control.ResizeRequest(600, 400));
    EXPECT_EQ(control.EditCopy(), S_OK);
    EXPECT_EQ(m_fake->CallsOf("EditCopy").size(), 1u);
    EXPECT_TRUE(m_log.empty());
}

TEST_F(QuilletHostTest, EditCommandsNeedTheirNameBound) {
    m_fake->omitted = {"EditPaste"};
    CQuillet control(Logger());
    control.Attach();
    EXPECT_EQ(control.EditPaste(), S_FALSE);
    EXPECT_TRUE(m_fake->CallsOf("EditPaste").empty());
}

TEST_F(QuilletHostTest, FailedCallsAreLoggedAndAnsweredNeverThrown) {
    m_fake->failing = {"Send", "IsChainable", "Login"};
    m_fake->raising = {"Activate", "AutoLogin", "MinWindowWidth"};
    CQuillet control(Logger());
    ASSERT_TRUE(control.Attach());

    HRESULT hr = S_OK;
    EXPECT_NO_THROW(hr = control.Send("x"));
    EXPECT_EQ(hr, DISP_E_EXCEPTION);
    bool chainable = true;
    EXPECT_NO_THROW(chainable = control.IsChainable());
    EXPECT_FALSE(chainable);
    std::string line = "-h";
    int32_t login = 0;
    EXPECT_NO_THROW(login = control.Login(2, line));
    EXPECT_LT(login, 0);
    EXPECT_NO_THROW(hr = control.Activate());
    EXPECT_EQ(hr, DISP_E_EXCEPTION);
    bool autoLogin = true;
    EXPECT_NO_THROW(autoLogin = control.AutoLogin(1, 2));
    EXPECT_FALSE(autoLogin);
    int32_t width = -1;
    EXPECT_NO_THROW(width = control.MinWindowWidth());
    EXPECT_EQ(width, 0);

    ASSERT_EQ(m_log.size(), 6u);
    EXPECT_NE(m_log[0].find("Send"), std::string::npos);
    EXPECT_NE(m_log[0].find("Send failed"), std::string::npos);  // the control's own text
    EXPECT_NE(m_log[3].find("the control broke in Activate"), std::string::npos);
}

TEST_F(QuilletHostTest, CloseReleasesTheControlAndItsSink) {
    CQuillet control(Logger());
    ASSERT_TRUE(control.Attach());
    auto sink = std::make_shared<DispatchObject>();
    ASSERT_EQ(control.Advise(sink), S_OK);
    EXPECT_EQ(control.Advise(sink), E_UNEXPECTED);
    EXPECT_EQ(m_fake->alive, 1);
    control.Close();
    EXPECT_EQ(m_fake->alive, 0);
    EXPECT_FALSE(control.IsAdvised());
    EXPECT_EQ(sink.use_count(), 1);
    control.Close();
}

}  // namespace
}  // namespace container
