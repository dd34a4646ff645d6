// The login wizard driven through its widgets: pages per connection mode, the checks of Next, Back, the
// registry names it remembers and what reaches the remote pipe.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest/QTest>

#include "suite/version_info.h"
#include "tools/auth_login.h"
#include "tools/login_settings.h"
#include "tools/qt_login_ui.h"
#include "tools/tests/dialog_test_support.h"
#include "tools/tests/fake_login_target.h"

namespace tools {
namespace {

using platform::PromptIcon;
using platform::RegValue;
using suite::ClientMode;
using testing::FakeLoginTarget;

class AuthLoginTest : public testing::DialogTest {
  protected:
    std::unique_ptr<CAuthLogin> Open(int32_t mode) {
        auto dialog = std::make_unique<CAuthLogin>(m_target, mode);
        dialog->show();
        return dialog;
    }
    static QLineEdit* User(CAuthLogin& d) { return d.findChild<QLineEdit*>("userEdit"); }
    static QLineEdit* Password(CAuthLogin& d) { return d.findChild<QLineEdit*>("passwordEdit"); }
    static QPushButton* NextButton(CAuthLogin& d) { return d.findChild<QPushButton*>("nextButton"); }
    static QPushButton* BackButton(CAuthLogin& d) { return d.findChild<QPushButton*>("backButton"); }
    static QString Text(CAuthLogin& d, const char* name) { return d.findChild<QLabel*>(name)->text(); }

    static void Type(QLineEdit* edit, const QString& text) {
        edit->clear();
        QTest::keyClicks(edit, text);
    }
    static void Next(CAuthLogin& d) { QTest::mouseClick(NextButton(d), Qt::LeftButton); }

    // Fills the primary page and moves on.
    static void PassPrimaryPage(CAuthLogin& d, const QString& user, const QString& password) {
        Type(User(d), user);
        Type(Password(d), password);
        Next(d);
    }

    FakeLoginTarget m_target;
};

TEST_F(AuthLoginTest, OpensOnThePrimaryPageWithTheSavedOsUser) {
    ASSERT_EQ(Reg().SetValue(platform::HKey::CurrentUser, suite::ServerKey(ClientMode::Remote), "OsUser",
                             RegValue::String("operator")),
              0);
    auto dialog = Open(6);
    EXPECT_EQ(dialog->windowTitle(), "Authenticate Login to Server");
    EXPECT_EQ(Text(*dialog, "pageTitle"), "Primary Login");
    EXPECT_EQ(Text(*dialog, "userLabel"), "User Name");
    EXPECT_EQ(Text(*dialog, "passwordLabel"), "Password");
    EXPECT_EQ(Text(*dialog, "versionText"),
              QString::fromStdString("Varnel Version " + suite::CVersionInfo().GetFileVersion()));
    EXPECT_EQ(NextButton(*dialog)->text(), "&Next>");
    EXPECT_EQ(BackButton(*dialog)->text(), "<&Back");
    EXPECT_FALSE(BackButton(*dialog)->isEnabled());
    EXPECT_EQ(User(*dialog)->text(), "operator");
    EXPECT_TRUE(Password(*dialog)->text().isEmpty());
    EXPECT_EQ(dialog->focusWidget(), Password(*dialog));
}

TEST_F(AuthLoginTest, WithoutSavedOsUserOffersTheLoginName) {
    auto dialog = Open(6);
    const std::string expected = LoginName().empty() ? "sorel" : LoginName();
    EXPECT_EQ(User(*dialog)->text().toStdString(), expected.substr(0, AuthLoginModel::kUserMax));
}

TEST_F(AuthLoginTest, FieldsHoldAtMostTwentyCharacters) {
    const std::string longName(30, 'u');
    ASSERT_EQ(Reg().SetValue(platform::HKey::CurrentUser, suite::ServerKey(ClientMode::Remote), "OsUser",
                             RegValue::String(longName)),
              0);
    auto dialog = Open(6);
    EXPECT_EQ(User(*dialog)->text(), QString(20, 'u'));
    Type(Password(*dialog), QString(25, 'p'));
    EXPECT_EQ(Password(*dialog)->text(), QString(20, 'p'));
}

TEST_F(AuthLoginTest, ModeTwoEndsAfterThePrimaryPage) {
    auto dialog = Open(2);
    EXPECT_EQ(NextButton(*dialog)->text(), "&Finish");
    User(*dialog)->setText(QString::fromUtf8("rené"));  // typed keys must be ASCII under QTest
    Type(Password(*dialog), "secret");
    Next(*dialog);

    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(m_target.m_osUser, "ren\xE9");
    EXPECT_EQ(m_target.m_osPassword, "secret");
    EXPECT_FALSE(m_target.m_appUser.has_value());
    EXPECT_FALSE(m_target.m_appPassword.has_value());
    EXPECT_EQ(UserValue(ClientMode::Remote, "OsUser"), RegValue::String("ren\xE9"));
    EXPECT_TRUE(m_prompt.Shown().empty());
}

TEST_F(AuthLoginTest, ModeSixAsksBothPagesAndHandsEverythingOver) {
    auto dialog = Open(6);
    PassPrimaryPage(*dialog, "alice", "ospw");

    EXPECT_NE(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(Text(*dialog, "pageTitle"), "Sorel Login");
    EXPECT_EQ(Text(*dialog, "userLabel"), "User Number");
    EXPECT_EQ(NextButton(*dialog)->text(), "&Finish");
    EXPECT_TRUE(BackButton(*dialog)->isEnabled());
    EXPECT_EQ(User(*dialog)->text(), "1");  // no UserNumber saved yet
    EXPECT_TRUE(Password(*dialog)->text().isEmpty());
    EXPECT_EQ(UserValue(ClientMode::Remote, "OsUser"), RegValue::String("alice"));
    EXPECT_FALSE(m_target.m_osUser.has_value());

    Type(User(*dialog), "42x");
    Type(Password(*dialog), "apppw");
    Next(*dialog);

    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(m_target.m_osUser, "alice");
    EXPECT_EQ(m_target.m_osPassword, "ospw");
    EXPECT_EQ(m_target.m_appUser, 42);
    EXPECT_EQ(m_target.m_appPassword, "apppw");
    EXPECT_EQ(UserValue(ClientMode::Remote, "UserNumber"), RegValue::Dword(42));
}

TEST_F(AuthLoginTest, ApplicationPageShowsTheSavedUserNumber) {
    SetUserDword(ClientMode::Remote, "UserNumber", 314);
    auto dialog = Open(6);
    PassPrimaryPage(*dialog, "alice", "ospw");
    EXPECT_EQ(User(*dialog)->text(), "314");
}

TEST_F(AuthLoginTest, KnownOsUserFlagHandsOverOnlyTheApplicationCredentials) {
    FakeLoginTarget target(AuthLoginModel::kFlagKnownOsUser);
    CAuthLogin dialog(target, 6);
    dialog.show();
    PassPrimaryPage(dialog, "alice", "ospw");
    Type(User(dialog), "7");
    Type(Password(dialog), "apppw");
    Next(dialog);

    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(target.m_osUser.has_value());
    EXPECT_FALSE(target.m_osPassword.has_value());
    EXPECT_EQ(target.m_appUser, 7);
    EXPECT_EQ(target.m_appPassword, "apppw");
}

TEST_F(AuthLoginTest, ModeFourOpensOnTheApplicationPageOfTheCurrentClientMode) {
    SetUserDword(ClientMode::Local, "UserNumber", 7);
    SetUserDword(ClientMode::Remote, "UserNumber", 9);
    suite::SetClientMode(ClientMode::Local);
    FakeLoginTarget target(AuthLoginModel::kFlagKnownOsUser);
    CAuthLogin dialog(target, 4);
    dialog.show();

    EXPECT_EQ(Text(dialog, "pageTitle"), "Sorel Login");
    EXPECT_EQ(Text(dialog, "userLabel"), "User Number");
    EXPECT_EQ(NextButton(dialog)->text(), "&Finish");
    EXPECT_FALSE(BackButton(dialog)->isEnabled());
    EXPECT_EQ(User(dialog)->text(), "7");
    EXPECT_EQ(dialog.focusWidget(), Password(dialog));

    Type(Password(dialog), "apppw");
    Next(dialog);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(target.m_appUser, 7);
    EXPECT_EQ(target.m_appPassword, "apppw");
    EXPECT_FALSE(target.m_osUser.has_value());
    // Saved where the remote client reads it next time.
    EXPECT_EQ(UserValue(ClientMode::Remote, "UserNumber"), RegValue::Dword(7));
}

TEST_F(AuthLoginTest, ModeFourWithoutSavedNumberShowsOne) {
    suite::SetClientMode(ClientMode::Remote);
    auto dialog = Open(4);
    EXPECT_EQ(User(*dialog)->text(), "1");
}

TEST_F(AuthLoginTest, BackKeepsWhatWasTypedOnBothPages) {
    auto dialog = Open(6);
    PassPrimaryPage(*dialog, "bob", "pw1");
    Type(User(*dialog), "55");
    Type(Password(*dialog), "apw");
    QTest::mouseClick(BackButton(*dialog), Qt::LeftButton);

    EXPECT_EQ(Text(*dialog, "pageTitle"), "Primary Login");
    EXPECT_EQ(Text(*dialog, "userLabel"), "User Name");
    EXPECT_EQ(NextButton(*dialog)->text(), "&Next>");
    EXPECT_FALSE(BackButton(*dialog)->isEnabled());
    EXPECT_EQ(User(*dialog)->text(), "bob");
    EXPECT_EQ(Password(*dialog)->text(), "pw1");
    EXPECT_EQ(dialog->focusWidget(), Password(*dialog));

    Next(*dialog);
    EXPECT_EQ(Text(*dialog, "pageTitle"), "Sorel Login");
    EXPECT_EQ(User(*dialog)->text(), "55");
    EXPECT_EQ(Password(*dialog)->text(), "apw");
    Next(*dialog);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(m_target.m_appUser, 55);
    EXPECT_EQ(m_target.m_osUser, "bob");
}

struct EmptyFieldCase {
    const char* name;
    bool onApplicationPage;
    const char* user;
    const char* password;
    const char* warning;
    const char* focused;
};

class AuthLoginEmptyFieldTest : public AuthLoginTest, public ::testing::WithParamInterface<EmptyFieldCase> {};

TEST_P(AuthLoginEmptyFieldTest, WarnsAndStays) {
    const EmptyFieldCase& c = GetParam();
    auto dialog = Open(6);
    if (c.onApplicationPage) {
        PassPrimaryPage(*dialog, "alice", "ospw");
    }
    m_prompt.Clear();
    Type(User(*dialog), c.user);
    Type(Password(*dialog), c.password);
    Next(*dialog);

    ASSERT_EQ(m_prompt.Shown().size(), 1u);
    EXPECT_EQ(m_prompt.Shown()[0].text, c.warning);
    EXPECT_EQ(m_prompt.Shown()[0].icon, PromptIcon::Exclamation);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_NE(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(dialog->focusWidget()->objectName(), c.focused);
    EXPECT_EQ(Text(*dialog, "pageTitle"), c.onApplicationPage ? "Sorel Login" : "Primary Login");
    EXPECT_FALSE(m_target.m_osUser.has_value());
    EXPECT_FALSE(m_target.m_appUser.has_value());
}

INSTANTIATE_TEST_SUITE_P(
    Pages, AuthLoginEmptyFieldTest,
    ::testing::Values(
        EmptyFieldCase{"NoUserName", false, "", "pw", "Please Enter a User Name", "userEdit"},
        EmptyFieldCase{"NoOsPassword", false, "alice", "", "Please Enter a Password", "passwordEdit"},
        EmptyFieldCase{"NoUserNumber", true, "", "pw", "Please Enter a User Number", "userEdit"},
        EmptyFieldCase{"NoAppPassword", true, "5", "", "Please Enter a Password", "passwordEdit"}),
    [](const ::testing::TestParamInfo<EmptyFieldCase>& info) { return std::string(info.param.name); });

TEST_F(AuthLoginTest, PrimaryNameThatCannotBeSavedIsReportedAndTheLoginGoesOn) {
    BlockUserHive();
    auto dialog = Open(2);
    PassPrimaryPage(*dialog, "alice", "pw");

    ASSERT_EQ(m_prompt.Shown().size(), 1u);
    EXPECT_EQ(m_prompt.Shown()[0].text, "Could Not Save Primary User Name");
    EXPECT_EQ(m_prompt.Shown()[0].icon, PromptIcon::Stop);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(m_target.m_osUser, "alice");
}

TEST_F(AuthLoginTest, UserNumberThatCannotBeSavedIsReportedAndTheLoginGoesOn) {
    auto dialog = Open(6);
    PassPrimaryPage(*dialog, "alice", "pw");
    BlockUserHive();
    Type(User(*dialog), "12");
    Type(Password(*dialog), "apppw");
    Next(*dialog);

    ASSERT_EQ(m_prompt.Shown().size(), 1u);
    EXPECT_EQ(m_prompt.Shown()[0].text, "Could Not Save User Number");
    EXPECT_EQ(m_prompt.Shown()[0].icon, PromptIcon::Stop);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(m_target.m_appUser, 12);
}

TEST_F(AuthLoginTest, CancelLeavesThePipeAlone) {
    auto dialog = Open(6);
    QTest::mouseClick(dialog->findChild<QPushButton*>("cancelButton"), Qt::LeftButton);
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_FALSE(m_target.m_osUser.has_value());
    EXPECT_FALSE(UserValue(ClientMode::Remote, "OsUser").has_value());
}

TEST_F(AuthLoginTest, RemoteLoginUiRunsTheWizardModally) {
    QtRemoteLoginUi ui;
    testing::WhenShown<CAuthLogin>([](CAuthLogin& dialog) { PassPrimaryPage(dialog, "carol", "pw"); });
    EXPECT_TRUE(ui.RunAuthLogin(m_target, 2));
    EXPECT_EQ(m_target.m_osUser, "carol");

    testing::WhenShown<CAuthLogin>([](CAuthLogin& dialog) { QTest::keyClick(&dialog, Qt::Key_Escape); });
    EXPECT_FALSE(ui.RunAuthLogin(m_target, 6));
}

}  // namespace
}  // namespace tools
