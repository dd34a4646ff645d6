// Temporary hives that programs a test starts find too: the environment names folders below the test's
// temporary folder, and the process-wide registry is made on the paths that environment gives, so a child
// reads and writes the same hives as the test.
#pragma once

#include <filesystem>
#include <memory>

#include "platform/known_folders.h"
#include "platform/registry.h"
#include "testsupport/test_support.h"

namespace testsupport {

class ChildHives {
  public:
    // `env` must outlive this object.
    ChildHives(const std::filesystem::path& dir, ScopedEnv& env) : m_home(dir / "home") {
        env.Set("CARROWLINE_ROOT", (dir / "root").string());
        env.Set("XDG_CONFIG_HOME", (dir / "config").string());
        env.Set("XDG_STATE_HOME", (dir / "state").string());
        env.Set("HOME", m_home.string());
        env.Set("TMPDIR", dir.string());
        env.Unset("CARROWLINE_REGISTER_SCOPE");
        std::filesystem::create_directories(m_home);
        m_registry = std::make_unique<platform::Registry>(
            platform::Registry::Paths{platform::MachineHivePath(), platform::UserHivePath()});
        platform::Registry::OverrideDefault(m_registry.get());
    }
    ~ChildHives() { platform::Registry::OverrideDefault(nullptr); }
    ChildHives(const ChildHives&) = delete;
    ChildHives& operator=(const ChildHives&) = delete;

    platform::Registry& Reg() { return *m_registry; }
    // The user's home, which drive C: maps to.
    const std::filesystem::path& Home() const { return m_home; }

  private:
    std::filesystem::path m_home;
    std::unique_ptr<platform::Registry> m_registry;
};

}  // namespace testsupport
