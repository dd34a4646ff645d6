// The login wizard's pages and checks.
#include "tools/auth_login_model.h"

#include "hostlink/comm_pipe.h"
#include "platform/user_prompt.h"
#include "tools/login_settings.h"

namespace tools {

namespace {

std::string Clip(std::string_view text, size_t limit) {
    return std::string(text.substr(0, limit));
}

void Warn(std::string text) {
    platform::DefaultPrompt().Message(std::move(text), platform::PromptIcon::Exclamation);
}

}  // namespace

AuthLoginModel::AuthLoginModel(hostlink::RemoteLoginTarget& target, int32_t mode)
    : m_target(target), m_mode(mode), m_userText(Clip(ReadOsUser(), kUserMax)) {}

void AuthLoginModel::Start() {
    m_focus = LoginField::Password;
    if (m_mode == 4) {
        EnterApplicationPage(true);
    }
}

std::string_view AuthLoginModel::Title() const {
    return m_page == 0 ? "Primary Login" : "Sorel Login";
}

std::string_view AuthLoginModel::UserLabel() const {
    return m_page == 0 ? "User Name" : "User Number";
}

std::string_view AuthLoginModel::NextText() const {
    return m_page == 0 && m_mode != 2 ? "&Next>" : "&Finish";
}

bool AuthLoginModel::Next(std::string_view userText, std::string_view password) {
    m_userText = Clip(userText, kUserMax);
    m_password = Clip(password, kPasswordMax);
    return m_page == 0 ? NextOnPrimaryPage() : NextOnApplicationPage();
}

bool AuthLoginModel::FieldsFilled(std::string_view userWarning) {
    if (m_userText.empty()) {
        Warn(std::string(userWarning));
        m_focus = LoginField::User;
        return false;
    }
    if (m_password.empty()) {
        Warn("Please Enter a Password");
        m_focus = LoginField::Password;
        return false;
    }
    return true;
}

bool AuthLoginModel::NextOnPrimaryPage() {
    if (!FieldsFilled("Please Enter a User Name")) {
        return false;
    }
    m_osUser = m_userText;
    m_osPassword = m_password;
    if (!WriteOsUser(m_osUser)) {
        platform::DefaultPrompt().Message("Could Not Save Primary User Name", platform::PromptIcon::Stop);
    }
    if (m_mode == 2) {
        m_target.SetOsCredentials(m_osUser, m_osPassword);
        return true;
    }
    EnterApplicationPage(false);
    return false;
}

bool AuthLoginModel::NextOnApplicationPage() {
    if (!FieldsFilled("Please Enter a User Number")) {
        return false;
    }
    const int32_t user = hostlink::options::DecimalPrefix(m_userText);
    m_appPassword = m_password;
    if (!WriteUserNumber(suite::ClientMode::Remote, user)) {
        platform::DefaultPrompt().Message("Could Not Save User Number", platform::PromptIcon::Stop);
    }
    if ((m_target.Flags() & kFlagKnownOsUser) != 0) {
        m_target.SetAppPassword(m_appPassword);
    } else {
        m_target.SetOsCredentials(m_osUser, m_osPassword);
        m_target.SetAppPassword(m_appPassword);
    }
    m_target.SetAppUserNumber(user);
    return true;
}

void AuthLoginModel::Back(std::string_view userText, std::string_view password) {
    if (m_page != 1 || !m_backEnabled) {
        return;
    }
    m_appUserText = Clip(userText, kUserMax);
    m_appPassword = Clip(password, kPasswordMax);
    m_page = 0;
    m_backEnabled = false;
    m_userText = m_osUser;
    m_password = m_osPassword;
    m_focus = LoginField::Password;
}

void AuthLoginModel::EnterApplicationPage(bool direct) {
    m_page = 1;
    m_backEnabled = !direct;
    m_password = m_appPassword;
    if (m_appUserText) {
        m_userText = *m_appUserText;
    } else {
        // Entered directly, the wizard serves whichever client the process runs as.
        const suite::ClientMode mode = direct ? suite::GetClientMode() : suite::ClientMode::Remote;
        m_userText = std::to_string(ReadUserNumber(mode));
    }
    m_focus = LoginField::Password;
}

}  // namespace tools
