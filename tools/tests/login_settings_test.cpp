// What the login dialogs keep in the registry: the OS user with its fallback, and the user number per
// client mode with its default.
#include <gtest/gtest.h>

#include "tools/login_settings.h"
#include "tools/tests/dialog_test_support.h"

namespace tools {
namespace {

using platform::RegValue;
using suite::ClientMode;

class LoginSettingsTest : public testing::DialogTest {};

TEST_F(LoginSettingsTest, OsUserRoundTripsUnderTheVarnelServerKey) {
    ASSERT_TRUE(WriteOsUser("alice"));
    EXPECT_EQ(UserValue(ClientMode::Remote, "OsUser"), RegValue::String("alice"));
    EXPECT_EQ(ReadOsUser(), "alice");
}

TEST_F(LoginSettingsTest, OsUserFallsBackToTheLoginName) {
    const std::string login = LoginName();
    EXPECT_FALSE(login.empty());
    EXPECT_EQ(ReadOsUser(), login);
    // A value that is no text counts as missing.
    SetUserDword(ClientMode::Remote, "OsUser", 5);
    EXPECT_EQ(ReadOsUser(), login);
}

TEST_F(LoginSettingsTest, OsUserTooLongForItsBufferCountsAsMissing) {
    ASSERT_TRUE(WriteOsUser(std::string(600, 'x')));
    EXPECT_EQ(ReadOsUser(), LoginName());
}

TEST_F(LoginSettingsTest, UserNumberIsKeptPerClientModeAsDword) {
    EXPECT_EQ(ReadUserNumber(ClientMode::Local), 1);
    ASSERT_TRUE(WriteUserNumber(ClientMode::Local, 12));
    ASSERT_TRUE(WriteUserNumber(ClientMode::Remote, 999));
    EXPECT_EQ(UserValue(ClientMode::Local, "UserNumber"), RegValue::Dword(12));
    EXPECT_EQ(ReadUserNumber(ClientMode::Local), 12);
    EXPECT_EQ(ReadUserNumber(ClientMode::Remote), 999);
}

TEST_F(LoginSettingsTest, WritesReportAnUnwritableHive) {
    BlockUserHive();
    EXPECT_FALSE(WriteOsUser("alice"));
    EXPECT_FALSE(WriteUserNumber(ClientMode::Local, 3));
}

}  // namespace
}  // namespace tools
