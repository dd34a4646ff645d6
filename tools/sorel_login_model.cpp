// The local user login's checks and registry write.
#include "tools/sorel_login_model.h"

#include "platform/user_prompt.h"
#include "tools/login_settings.h"

namespace tools {

SorelLoginModel::SorelLoginModel() : m_mode(suite::GetClientMode()), m_user(ReadUserNumber(m_mode)) {}

void SorelLoginModel::SetCredentials(int32_t user, std::string_view password) {
    m_user = user;
    m_password = std::string(password);
}

bool SorelLoginModel::Accept(std::optional<int32_t> user, std::string_view password) {
    if (!user || *user < kMinUser || *user > kMaxUser) {
        platform::DefaultPrompt().Message("Please enter an integer between 1 and 999.",
                                          platform::PromptIcon::Exclamation);
        m_focus = LoginField::User;
        return false;
    }
    if (password.empty()) {
        platform::DefaultPrompt().Message("A Password Is Required To Login");
        m_focus = LoginField::Password;
        return false;
    }
    m_user = *user;
    m_password = std::string(password.substr(0, kPasswordMax));
    // The number goes back to the branch it was read from, whatever the process switched to meanwhile.
    if (!WriteUserNumber(m_mode, m_user)) {
        platform::DefaultPrompt().Message("Could Not Save User Number", platform::PromptIcon::Stop);
    }
    return true;
}

}  // namespace tools
