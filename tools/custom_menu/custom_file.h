// The terminal control's custom menu list and its .cmf file: the archive form of one item array, the file's
// path in the user's registry, and the sixteen items used when there is no file. Plain C++: the editor and
// the control's menus sit on top of it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "practice/custom_menu.h"

namespace tools {

// Where the path of the .cmf file is kept (HKEY_CURRENT_USER), whatever the client mode.
inline constexpr std::string_view kMenuFileKey = "SOFTWARE\\Carrowline Corporation\\Varnel\\1.0\\Screen";
inline constexpr std::string_view kMenuFileValue = "MenuFile";
// Files beyond this size are not custom menus; they are refused before anything is read into memory.
inline constexpr std::uintmax_t kMaxCustomFileSize = 4 * 1024 * 1024;

// The archive bytes of a .cmf file: the count, then title, action and flag per item. Nothing else.
std::vector<uint8_t> FormatCustomMenuFile(const practice::CCustomMenuItemArray& items);
// Reads the bytes of a .cmf file; practice::ArchiveError when they are damaged, truncated or followed by
// anything.
practice::CCustomMenuItemArray ParseCustomMenuFile(std::span<const uint8_t> bytes);

// "<folder>/<user>.cmf", the file a user would be offered first.
std::filesystem::path DefaultConfigFilePath(const std::filesystem::path& folder, std::string_view user);

class CCustomFile {
  public:
    // The sixteen items of a control without a menu file.
    static practice::CCustomMenuItemArray DefaultItems();

    // The recorded path; 0 when found (`path` is then set), else the registry's status.
    static int32_t GetConfigFilePath(std::string& path);
    // Records the path, creating the key when missing; the registry's status. Failures are also shown.
    static int32_t SetConfigFilePath(const std::string& path);
    // The current folder and the user's login name (or "sorel"), with the ".cmf" extension.
    static int32_t GetDefaultConfigFilePath(std::string& path);

    // 1 when the recorded file was read, or when none is recorded (the defaults are then in place); 0 when
    // the recorded file cannot be opened (defaults in place) or is damaged (the list stays as it was, the
    // defaults when there was none yet, and the user is told why once for that file as it stands).
    int32_t Load();
    // 1 when the list was stored in the recorded file; 0 when no path is recorded or the file cannot be
    // written. An existing file is replaced only once the new one is complete.
    int32_t Save();

    enum class FileStatus { Read, CannotOpen, Damaged };
    // The file operations on a given path. A failed read leaves the list as it was; `error` says why.
    FileStatus LoadFile(const std::filesystem::path& path, std::string& error);
    bool SaveFile(const std::filesystem::path& path, std::string& error) const;

    void SetDefaults() { SetItems(DefaultItems()); }
    const practice::CCustomMenuItemArray& GetItems() const { return m_items; }
    void SetItems(const practice::CCustomMenuItemArray& items) {
        m_items = items;
        m_hasList = true;
    }
    // Back to the state of a module just loaded: no list yet, no damaged file reported.
    void Reset();
    size_t GetSize() const { return m_items.GetSize(); }
    // Why the last Load or Save failed; empty after a success.
    const std::string& LastError() const { return m_lastError; }

  private:
    practice::CCustomMenuItemArray m_items;
    bool m_hasList = false;
    std::string m_lastError;
    // The damaged file the user was last told about, as path, inode, size and change time: the menus are
    // merged again and again, and the same damage is reported only once.
    std::string m_reportedDamage;
};

}  // namespace tools
