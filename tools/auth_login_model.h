// The login wizard without its widgets: the primary (OS user) page and the application page, the checks
// behind Next and Finish, what is remembered in the registry and what is handed to the remote pipe.
// CAuthLogin shows this state and forwards its buttons here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "hostlink/login_ui.h"
#include "tools/login_settings.h"

namespace tools {

class AuthLoginModel {
  public:
    static constexpr size_t kUserMax = 20;
    static constexpr size_t kPasswordMax = 20;
    // The pipe's flag for a billing or MSO session that already carries its OS credentials.
    static constexpr int32_t kFlagKnownOsUser = 0x20;

    // `mode` is the connection mode: 2 asks only the primary page, 4 only the application page, 6 both.
    AuthLoginModel(hostlink::RemoteLoginTarget& target, int32_t mode);

    // Dialog start: mode 4 opens on the application page with Back disabled.
    void Start();
    // Next or Finish with the fields as typed. True when the wizard is done and the target filled; false
    // when it stays (a warning was shown, or it moved to the application page).
    bool Next(std::string_view userText, std::string_view password);
    // Back from the application page to the primary page.
    void Back(std::string_view userText, std::string_view password);

    int Page() const { return m_page; }
    int32_t Mode() const { return m_mode; }
    std::string_view Title() const;
    std::string_view UserLabel() const;
    std::string_view NextText() const;
    bool BackEnabled() const { return m_backEnabled; }
    const std::string& UserText() const { return m_userText; }
    const std::string& PasswordText() const { return m_password; }
    LoginField Focus() const { return m_focus; }

  private:
    // False, with a warning and Focus() on the empty field, when either field is empty.
    bool FieldsFilled(std::string_view userWarning);
    bool NextOnPrimaryPage();
    bool NextOnApplicationPage();
    void EnterApplicationPage(bool direct);

    hostlink::RemoteLoginTarget& m_target;
    int32_t m_mode;
    int m_page = 0;
    bool m_backEnabled = false;
    LoginField m_focus = LoginField::Password;
    // The fields as shown.
    std::string m_userText;
    std::string m_password;
    std::string m_osUser;
    std::string m_osPassword;
    // What was typed on the application page before Back, shown again when the user returns there.
    std::optional<std::string> m_appUserText;
    std::string m_appPassword;
};

}  // namespace tools
