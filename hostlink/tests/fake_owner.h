// A pipe owner that records what the pipes and the transfer tell the control, for the host-link tests.
#pragma once

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "hostlink/pipe_owner.h"

namespace hostlink::testing {

class FakeOwner : public PipeOwner {
  public:
    struct Report {
        TransferProgress code;
        int64_t value;
        std::string text;
        bool operator==(const Report&) const = default;
    };

    void SetAppUser(int32_t user, std::string_view password) override {
        std::lock_guard lock(m_mutex);
        m_appUser = user;
        m_appPassword = std::string(password);
    }
    bool Debug() const override { return m_debug.load(); }
    void SetSimple(bool noMenu) override {
        std::lock_guard lock(m_mutex);
        m_simple = true;
        m_noMenu = m_noMenu || noMenu;
    }
    std::string ClientFileName() const override {
        std::lock_guard lock(m_mutex);
        return m_clientFileName;
    }
    bool PostCloseOnSorelExit() const override { return m_postClose.load(); }
    void SorelExit() override { ++m_sorelExits; }
    void ReportTransfer(TransferProgress code, int64_t value, std::string_view text) override {
        std::lock_guard lock(m_mutex);
        m_reports.push_back({code, value, std::string(text)});
    }
    std::optional<std::vector<std::string>> ChooseFiles(FileDialogKind kind, std::string_view title,
                                                        std::string_view folder) override {
        std::lock_guard lock(m_mutex);
        m_dialogs.push_back({kind, std::string(title), std::string(folder)});
        return m_chosen;
    }

    std::vector<Report> Reports() const {
        std::lock_guard lock(m_mutex);
        return m_reports;
    }

    struct Dialog {
        FileDialogKind kind;
        std::string title;
        std::string folder;
    };

    mutable std::mutex m_mutex;
    std::atomic<bool> m_debug{false};
    std::atomic<bool> m_postClose{false};
    std::atomic<int> m_sorelExits{0};
    int32_t m_appUser = -1;
    std::string m_appPassword;
    bool m_simple = false;
    bool m_noMenu = false;
    std::string m_clientFileName;
    std::vector<Report> m_reports;
    std::vector<Dialog> m_dialogs;
    // What the file dialogs answer; nullopt is Cancel.
    std::optional<std::vector<std::string>> m_chosen;
};

}  // namespace hostlink::testing
