// Named objects that exist while somebody holds them, as the named semaphores that programs use to see
// each other: one file per name in the user's private runtime folder, held with a shared flock.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/unique_fd.h"

namespace platform {

class NamedObject {
  public:
    // Opens the name, creating it when nobody holds it. Nothing (and `why`) when the name is empty, too
    // long, or the folder cannot be used.
    static std::optional<NamedObject> OpenOrCreate(std::string_view name, std::string* why = nullptr);
    // Whether any holder, in this process or another, holds the name now.
    static bool Exists(std::string_view name);

    NamedObject(NamedObject&&) noexcept = default;
    NamedObject& operator=(NamedObject&&) noexcept = default;

  private:
    explicit NamedObject(UniqueFd fd) : m_fd(std::move(fd)) {}
    UniqueFd m_fd;
};

}  // namespace platform
