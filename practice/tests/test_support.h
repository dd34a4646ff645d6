// Shared helpers of the practice tests: a temporary root with relocated folders and registry, file helpers
// and builders for legacy fixtures.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/user_prompt.h"
#include "practice/archive.h"
#include "practice/practice.h"
#include "practice/practice_log.h"

namespace practice::testing {

inline std::vector<uint8_t> ToBytes(std::string_view text) {
    return {text.begin(), text.end()};
}

inline void WriteFile(const std::filesystem::path& path, std::span<const uint8_t> bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline void WriteFile(const std::filesystem::path& path, std::string_view text) {
    WriteFile(path, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Environment and registry pointed at a fresh temporary tree; restores everything afterwards.
class TempRoot : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/practice-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_root = pattern;
        for (const char* name : {"XDG_CONFIG_HOME", "XDG_STATE_HOME", "CARROWLINE_ROOT", "TMPDIR", "HOME"}) {
            const char* old = std::getenv(name);
            m_saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        }
        std::filesystem::create_directories(m_root / "config");
        std::filesystem::create_directories(m_root / "state");
        std::filesystem::create_directories(m_root / "machine");
        std::filesystem::create_directories(m_root / "tmp");
        ::setenv("XDG_CONFIG_HOME", (m_root / "config").c_str(), 1);
        ::setenv("XDG_STATE_HOME", (m_root / "state").c_str(), 1);
        ::setenv("CARROWLINE_ROOT", (m_root / "machine").c_str(), 1);
        ::setenv("TMPDIR", (m_root / "tmp").c_str(), 1);
        ::setenv("HOME", m_root.c_str(), 1);
        m_registry = std::make_unique<platform::Registry>(
            platform::Registry::Paths{m_root / "hives" / "machine.reg", m_root / "hives" / "user.reg"});
        platform::Registry::OverrideDefault(m_registry.get());
        m_prompt = std::make_unique<platform::ScopedDefaultPrompt>(m_recording);
        SetLogSink([this](std::string_view line) { m_log.emplace_back(line); });
    }

    void TearDown() override {
        SetLogSink({});
        m_prompt.reset();
        platform::Registry::OverrideDefault(nullptr);
        m_registry.reset();
        for (const auto& [name, value] : m_saved) {
            if (value) {
                ::setenv(name.c_str(), value->c_str(), 1);
            } else {
                ::unsetenv(name.c_str());
            }
        }
        std::error_code ec;
        std::filesystem::permissions(MachineFolder(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::permissions(m_root / "machine" / "var" / "lib", std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(m_root, ec);
    }

    std::filesystem::path UserFolder() const { return m_root / "config" / "carrowline"; }
    std::filesystem::path MachineFolder() const { return m_root / "machine" / "var" / "lib" / "carrowline"; }

    std::filesystem::path m_root;
    std::unique_ptr<platform::Registry> m_registry;
    platform::RecordingPrompt m_recording;
    std::unique_ptr<platform::ScopedDefaultPrompt> m_prompt;
    std::vector<std::string> m_log;

  private:
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

// A practice record as layouts below schema 4 stored it: no BillServID.
inline void WriteOldPractice(ArchiveWriter& writer, const CPractice& practice) {
    writer.WriteString(practice.m_Name);
    writer.WriteString(practice.m_Host);
    writer.WriteString(practice.m_SorelData);
    writer.WriteString(practice.m_SorelProgs);
    writer.WriteI32(practice.m_PortNumber);
    writer.WriteI32(practice.m_PrinterNumber);
    writer.WriteI32(practice.m_TerminalNumber);
    writer.WriteI32(practice.m_ConnType);
    writer.WriteI32(practice.m_PracticeType);
    writer.WriteI32(practice.m_WanMode);
    practice.m_Environment.Serialize(writer);
}

}  // namespace practice::testing
