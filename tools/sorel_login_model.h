// The local user login without its widgets: the user number remembered for the client mode, the checks of
// OK and the write-back. CSorelLoginDlg shows this state and forwards OK here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "suite/client_mode.h"
#include "tools/login_settings.h"

namespace tools {

class SorelLoginModel {
  public:
    static constexpr int32_t kMinUser = 1;
    static constexpr int32_t kMaxUser = 999;
    static constexpr size_t kPasswordMax = 10;

    // Takes the client mode and the user number it remembers (1 when none); the password starts empty.
    SorelLoginModel();

    int32_t UserNumber() const { return m_user; }
    const std::string& Password() const { return m_password; }
    void SetCredentials(int32_t user, std::string_view password);

    // OK with the fields as typed; `user` is empty when the field holds no number. True when the dialog
    // may close (the number was saved, or its failure reported); false when it stays, with Focus() on the
    // field to correct.
    bool Accept(std::optional<int32_t> user, std::string_view password);
    LoginField Focus() const { return m_focus; }

  private:
    suite::ClientMode m_mode;
    int32_t m_user;
    std::string m_password;
    LoginField m_focus = LoginField::Password;
};

}  // namespace tools
