// The registry store: one REGEDIT-format text file per hive, shared by every process of the suite.
// Key and value names compare without case. Every write locks the hive (flock), re-reads it, writes a
// temporary file and renames it into place, so concurrent writers never lose a value or tear the file;
// every read sees the newest file on disk.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

enum class HKey { LocalMachine, CurrentUser, ClassesRoot };

enum class RegType : uint32_t {
    None = 0,
    Sz = 1,
    ExpandSz = 2,
    Binary = 3,
    Dword = 4,
    MultiSz = 7,
    Qword = 11,
};

// A value as the registry returns it. Text values hold 8-bit Windows-1252 bytes without a terminator
// (the store converts to UTF-8 on disk).
struct RegValue {
    RegType type = RegType::None;
    std::vector<uint8_t> data;

    static RegValue String(std::string_view text, RegType type = RegType::Sz);
    static RegValue Dword(uint32_t value);
    static RegValue Binary(std::vector<uint8_t> bytes);
    // The text of an Sz/ExpandSz value (stops at an embedded NUL), nullopt for other types.
    std::optional<std::string> AsString() const;
    // The value of a Dword (4 data bytes), nullopt otherwise.
    std::optional<uint32_t> AsDword() const;
    bool operator==(const RegValue&) const = default;
};

class Registry {
public:
    struct Paths {
        std::filesystem::path machine;
        std::filesystem::path user;
    };

    explicit Registry(Paths paths);
    ~Registry();
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;

    // The process-wide store on MachineHivePath() and UserHivePath(), taken at first use.
    static Registry& Default();
    // Tests point the process-wide store elsewhere; null restores the default.
    static void OverrideDefault(Registry* registry);

    // Subkeys use "\" as separator; leading and trailing separators are ignored. An empty value name is the
    // key's default value. ClassesRoot reads HKCU\Software\Classes over HKLM\SOFTWARE\Classes and writes to
    // HKCU\Software\Classes. Every call returns a Win32 code: kSuccess, kFileNotFound (no key or value),
    // kAccessDenied (the hive file cannot be written), kInvalidData (the hive file is damaged).
    int32_t QueryValue(HKey root, std::string_view subkey, std::string_view name, RegValue& out) const;
    int32_t SetValue(HKey root, std::string_view subkey, std::string_view name, const RegValue& value);
    // Creates the key and its missing parents; kSuccess when it existed already.
    int32_t CreateKey(HKey root, std::string_view subkey);
    bool KeyExists(HKey root, std::string_view subkey) const;
    int32_t DeleteValue(HKey root, std::string_view subkey, std::string_view name);
    // Removes the key with everything below it.
    int32_t DeleteTree(HKey root, std::string_view subkey);
    // Names of the direct subkeys, in the order stored.
    int32_t EnumKeys(HKey root, std::string_view subkey, std::vector<std::string>& out) const;
    int32_t EnumValues(HKey root, std::string_view subkey,
                       std::vector<std::pair<std::string, RegValue>>& out) const;

    const Paths& HivePaths() const { return m_paths; }

private:
    struct Impl;
    Paths m_paths;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace platform
