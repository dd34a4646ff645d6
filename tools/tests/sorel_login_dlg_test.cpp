// The local user login dialog driven through its widgets: the remembered user number per client mode, the
// range and password checks of OK, the write-back, and showing it through the host link's interface.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest/QTest>

#include "suite/version_info.h"
#include "tools/qt_login_ui.h"
#include "tools/sorel_login_dlg.h"
#include "tools/tests/dialog_test_support.h"

namespace tools {
namespace {

using platform::PromptIcon;
using platform::RegValue;
using suite::ClientMode;

class SorelLoginDlgTest : public testing::DialogTest {
  protected:
    static QLineEdit* User(CSorelLoginDlg& d) { return d.findChild<QLineEdit*>("userEdit"); }
    static QLineEdit* Password(CSorelLoginDlg& d) { return d.findChild<QLineEdit*>("passwordEdit"); }
    static void Ok(CSorelLoginDlg& d) {
        QTest::mouseClick(d.findChild<QPushButton*>("okButton"), Qt::LeftButton);
    }
    static void Fill(CSorelLoginDlg& d, const QString& user, const QString& password) {
        User(d)->setText(user);
        Password(d)->clear();
        QTest::keyClicks(Password(d), password);
    }
};

TEST_F(SorelLoginDlgTest, ShowsItsTextsAndStartsOnThePassword) {
    CSorelLoginDlg dialog;
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), "Halvex Carrowline");
    EXPECT_EQ(dialog.findChild<QLabel*>("versionText")->text(),
              QString::fromStdString("Ostrel Version " + suite::CVersionInfo().GetFileVersion()));
    EXPECT_TRUE(Password(dialog)->text().isEmpty());
    EXPECT_EQ(dialog.Password(), "");
    EXPECT_EQ(dialog.focusWidget(), Password(dialog));
}

struct RememberedCase {
    const char* name;
    ClientMode mode;
    std::optional<uint32_t> local;
    std::optional<uint32_t> remote;
    int32_t expected;
};

class SorelLoginRememberedTest : public SorelLoginDlgTest,
                                 public ::testing::WithParamInterface<RememberedCase> {};

TEST_P(SorelLoginRememberedTest, TakesTheUserNumberOfTheClientMode) {
    const RememberedCase& c = GetParam();
    if (c.local) {
        SetUserDword(ClientMode::Local, "UserNumber", *c.local);
    }
    if (c.remote) {
        SetUserDword(ClientMode::Remote, "UserNumber", *c.remote);
    }
    suite::SetClientMode(c.mode);
    CSorelLoginDlg dialog;
    EXPECT_EQ(dialog.UserNumber(), c.expected);
    EXPECT_EQ(User(dialog)->text(), QString::number(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Modes, SorelLoginRememberedTest,
    ::testing::Values(RememberedCase{"LocalReadsOstrel", ClientMode::Local, 12, 34, 12},
                      RememberedCase{"RemoteReadsVarnel", ClientMode::Remote, 12, 34, 34},
                      RememberedCase{"MissingIsOne", ClientMode::Local, std::nullopt, 34, 1}),
    [](const ::testing::TestParamInfo<RememberedCase>& info) { return std::string(info.param.name); });

TEST_F(SorelLoginDlgTest, NumberOfAnotherTypeCountsAsMissing) {
    ASSERT_EQ(Reg().SetValue(platform::HKey::CurrentUser, suite::ServerKey(ClientMode::Local), "UserNumber",
                             RegValue::String("77")),
              0);
    CSorelLoginDlg dialog;
    EXPECT_EQ(User(dialog)->text(), "1");
}

TEST_F(SorelLoginDlgTest, OkSavesTheNumberForTheClientModeAndCloses) {
    suite::SetClientMode(ClientMode::Remote);
    CSorelLoginDlg dialog;
    dialog.show();
    Fill(dialog, "250", "secret");
    Ok(dialog);

    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.UserNumber(), 250);
    EXPECT_EQ(dialog.Password(), "secret");
    EXPECT_EQ(UserValue(ClientMode::Remote, "UserNumber"), RegValue::Dword(250));
    EXPECT_FALSE(UserValue(ClientMode::Local, "UserNumber").has_value());
    EXPECT_TRUE(m_prompt.Shown().empty());
}

TEST_F(SorelLoginDlgTest, EmptyPasswordIsRefusedWithoutIcon) {
    CSorelLoginDlg dialog;
    dialog.show();
    Fill(dialog, "5", "");
    Ok(dialog);

    ASSERT_EQ(m_prompt.Shown().size(), 1u);
    EXPECT_EQ(m_prompt.Shown()[0].text, "A Password Is Required To Login");
    EXPECT_EQ(m_prompt.Shown()[0].icon, PromptIcon::None);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(UserValue(ClientMode::Local, "UserNumber").has_value());
}

TEST_F(SorelLoginDlgTest, FieldRefusesNumbersOutOfRange) {
    CSorelLoginDlg dialog;
    dialog.show();
    User(dialog)->clear();
    QTest::keyClicks(User(dialog), "1000");
    EXPECT_EQ(User(dialog)->text(), "100");
    User(dialog)->clear();
    QTest::keyClicks(User(dialog), "-5");
    EXPECT_EQ(User(dialog)->text(), "5");
}

class SorelLoginRangeTest : public SorelLoginDlgTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(SorelLoginRangeTest, OkDoesNotAcceptANumberOutOfRange) {
    CSorelLoginDlg dialog;
    dialog.show();
    Fill(dialog, GetParam(), "secret");
    Ok(dialog);

    EXPECT_TRUE(dialog.isVisible());
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    ASSERT_EQ(m_prompt.Shown().size(), 1u);
    EXPECT_EQ(m_prompt.Shown()[0].icon, PromptIcon::Exclamation);
    EXPECT_EQ(dialog.focusWidget(), User(dialog));
    EXPECT_FALSE(UserValue(ClientMode::Local, "UserNumber").has_value());
}

INSTANTIATE_TEST_SUITE_P(Numbers, SorelLoginRangeTest, ::testing::Values("0", "1000", "", "abc"));

TEST_F(SorelLoginDlgTest, PasswordHoldsAtMostTenCharacters) {
    CSorelLoginDlg dialog;
    dialog.show();
    Fill(dialog, "3", "abcdefghijkl");
    EXPECT_EQ(Password(dialog)->text(), "abcdefghij");
    Ok(dialog);
    EXPECT_EQ(dialog.Password(), "abcdefghij");
}

TEST_F(SorelLoginDlgTest, NumberThatCannotBeSavedIsReportedAndTheLoginGoesOn) {
    BlockUserHive();
    CSorelLoginDlg dialog;
    dialog.show();
    Fill(dialog, "8", "secret");
    Ok(dialog);

    ASSERT_EQ(m_prompt.Shown().size(), 1u);
    EXPECT_EQ(m_prompt.Shown()[0].text, "Could Not Save User Number");
    EXPECT_EQ(m_prompt.Shown()[0].icon, PromptIcon::Stop);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.UserNumber(), 8);
}

TEST_F(SorelLoginDlgTest, CancelSavesNothing) {
    CSorelLoginDlg dialog;
    dialog.show();
    Fill(dialog, "8", "secret");
    QTest::mouseClick(dialog.findChild<QPushButton*>("cancelButton"), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_FALSE(UserValue(ClientMode::Local, "UserNumber").has_value());
}

TEST_F(SorelLoginDlgTest, FactoryDialogShowsKnownCredentialsAndOutlivesItsAnchor) {
    auto anchor = std::make_unique<QWidget>();
    anchor->show();
    std::unique_ptr<hostlink::LocalLoginUi> ui = QtLocalLoginUi(anchor.get())();
    ui->SetCredentials(17, "known");
    EXPECT_EQ(ui->UserNumber(), 17);
    EXPECT_EQ(ui->Password(), "known");

    testing::WhenShown<CSorelLoginDlg>([](CSorelLoginDlg& dialog) {
        EXPECT_EQ(dialog.parentWidget() != nullptr, true);
        EXPECT_EQ(User(dialog)->text(), "17");
        EXPECT_EQ(Password(dialog)->text(), "known");
        Ok(dialog);
    });
    EXPECT_TRUE(ui->ShowModal());
    EXPECT_EQ(UserValue(ClientMode::Local, "UserNumber"), RegValue::Dword(17));

    testing::WhenShown<CSorelLoginDlg>(
        [](CSorelLoginDlg& dialog) { QTest::keyClick(&dialog, Qt::Key_Escape); });
    EXPECT_FALSE(ui->ShowModal());

    anchor.reset();  // must not take the dialog with it
    EXPECT_EQ(ui->UserNumber(), 17);
    ui.reset();
}

}  // namespace
}  // namespace tools
