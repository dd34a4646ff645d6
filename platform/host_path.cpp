// Host-given Windows paths to local ones. Every path is checked twice: lexically (no ".." above the drive's
// folder) and against the file system (no existing or dangling symbolic link that leads out of it).
// Host text is Windows-1252 and so are registry values; the local path is UTF-8.
#include "platform/host_path.h"

#include <cctype>
#include <system_error>
#include <vector>

#include "platform/codepage.h"
#include "platform/known_folders.h"
#include "platform/registry.h"
#include "platform/win32_error.h"

namespace platform {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kDrivesKey = "SOFTWARE\\Carrowline Corporation\\Drives";
// Deeper chains of dangling links than this are refused rather than followed.
constexpr int kMaxLinkHops = 40;

bool IsSeparator(char ch) {
    return ch == '\\' || ch == '/';
}

void SetWhy(std::string* why, std::string text) {
    if (why != nullptr) {
        *why = std::move(text);
    }
}

// A usable drive folder: non-empty text naming an absolute folder.
std::optional<fs::path> FolderFromValue(const RegValue& value) {
    if (value.type != RegType::Sz) {
        return std::nullopt;
    }
    std::optional<std::string> text = value.AsString();
    if (!text || text->empty() || text->front() != '/') {
        return std::nullopt;
    }
    return fs::path(Cp1252ToUtf8(*text)).lexically_normal();
}

// Windows opens these names as devices in any folder and with any extension ("nul.txt", "COM1 .log").
bool IsDeviceName(std::string_view component) {
    size_t end = component.find_first_of(".:");
    std::string_view base = component.substr(0, end);
    while (!base.empty() && base.back() == ' ') {
        base.remove_suffix(1);
    }
    for (std::string_view device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
        if (EqualsNoCase(base, device)) {
            return true;
        }
    }
    if (base.size() == 4 &&
        (EqualsNoCase(base.substr(0, 3), "COM") || EqualsNoCase(base.substr(0, 3), "LPT"))) {
        unsigned char digit = static_cast<unsigned char>(base[3]);
        // '1'..'9' and the superscripts one, two and three of Windows-1252.
        return (digit >= '1' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
    }
    return false;
}

// Dot files below a mapped folder are the user's settings and keys (".ssh", ".bashrc"), never the host's.
bool HasHiddenComponent(const fs::path& below) {
    for (const fs::path& part : below) {
        const std::string& text = part.native();
        if (!text.empty() && text.front() == '.') {
            return true;
        }
    }
    return false;
}

void SetHiddenWhy(std::string* why) {
    SetWhy(why, "The path names a hidden file or folder (a name that begins with \".\").");
}

bool IsWithin(const fs::path& path, const fs::path& folder) {
    fs::path rel = path.lexically_normal().lexically_relative(folder.lexically_normal());
    return !rel.empty() && *rel.begin() != "..";
}

// Follows the file system from `path`: every existing link is resolved by weakly_canonical; a dangling link
// (which weakly_canonical leaves as a plain name) is followed by hand, since creating the file would
// follow it too.
bool StaysInside(const fs::path& path, const fs::path& folder) {
    std::error_code ec;
    fs::path canonicalFolder = fs::weakly_canonical(folder, ec);
    if (ec) {
        return false;
    }
    fs::path current = path;
    for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
        fs::path resolved = fs::weakly_canonical(current, ec);
        if (ec || !IsWithin(resolved, canonicalFolder)) {
            return false;
        }
        fs::path prefix;
        fs::path redirected;
        for (auto it = resolved.begin(); it != resolved.end(); ++it) {
            prefix /= *it;
            if (fs::exists(fs::status(prefix, ec))) {
                continue;
            }
            if (fs::is_symlink(fs::symlink_status(prefix, ec))) {
                fs::path target = fs::read_symlink(prefix, ec);
                if (ec) {
                    return false;
                }
                redirected = target.is_absolute() ? target : prefix.parent_path() / target;
                for (++it; it != resolved.end(); ++it) {
                    redirected /= *it;
                }
            }
            break;
        }
        if (redirected.empty()) {
            return true;
        }
        current = redirected;
    }
    return false;
}

struct Parsed {
    std::vector<std::string> components;  // UTF-8, normalised
};

// Splits at both separators, drops "." and empty parts, applies "..". Nullopt with the reason when the
// path climbs above its start or names a device.
std::optional<Parsed> Normalise(std::string_view rest, std::string_view start, std::string* why) {
    Parsed parsed;
    size_t pos = 0;
    while (pos <= rest.size()) {
        size_t end = pos;
        while (end < rest.size() && !IsSeparator(rest[end])) {
            ++end;
        }
        std::string_view part = rest.substr(pos, end - pos);
        pos = end + 1;
        if (part.empty() || part == ".") {
            continue;
        }
        if (part == "..") {
            if (parsed.components.empty()) {
                SetWhy(why, "The path leads above " + std::string(start) + ".");
                return std::nullopt;
            }
            parsed.components.pop_back();
            continue;
        }
        if (IsDeviceName(part)) {
            SetWhy(why, "\"" + std::string(part) + "\" is a device name, not a file.");
            return std::nullopt;
        }
        parsed.components.push_back(Cp1252ToUtf8(part));
    }
    return parsed;
}

fs::path Join(const fs::path& folder, const Parsed& parsed) {
    fs::path out = folder;
    for (const std::string& part : parsed.components) {
        out /= part;
    }
    return out;
}

}  // namespace

HostPath::HostPath(const Registry& registry) : m_registry(registry) {}

std::optional<fs::path> HostPath::DriveFolder(char letter) const {
    char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    if (upper < 'A' || upper > 'Z') {
        return std::nullopt;
    }
    const std::string name(1, upper);
    for (HKey root : {HKey::CurrentUser, HKey::LocalMachine}) {
        RegValue value;
        if (m_registry.QueryValue(root, kDrivesKey, name, value) == win32::kSuccess) {
            if (std::optional<fs::path> folder = FolderFromValue(value)) {
                return folder;
            }
        }
    }
    if (upper == 'C') {
        return HomeFolder().lexically_normal();
    }
    return std::nullopt;
}

std::optional<fs::path> HostPath::Translate(std::string_view hostPath, std::string* why) const {
    if (hostPath.find('\0') != std::string_view::npos) {
        SetWhy(why, "The path contains a NUL character.");
        return std::nullopt;
    }
    if (hostPath.empty()) {
        SetWhy(why, "The path is empty.");
        return std::nullopt;
    }
    if (hostPath.size() >= 2 && IsSeparator(hostPath[0]) && IsSeparator(hostPath[1])) {
        SetWhy(why, "Network paths such as \"\\\\server\\share\" are not supported.");
        return std::nullopt;
    }

    // A local absolute path (what "%TEMP%\..." expands to) is taken as it stands when it lies in the temp
    // folder or in a drive's folder; otherwise a leading "/" is the root of C:, as on Windows.
    if (hostPath.front() == '/') {
        std::optional<Parsed> local = Normalise(hostPath, "the root folder", why);
        if (!local) {
            return std::nullopt;
        }
        fs::path candidate = Join("/", *local);
        std::vector<fs::path> folders{TempFolder().lexically_normal()};
        for (char letter = 'A'; letter <= 'Z'; ++letter) {
            if (std::optional<fs::path> folder = DriveFolder(letter)) {
                folders.push_back(*folder);
            }
        }
        for (const fs::path& folder : folders) {
            std::error_code ec;
            fs::path canonicalFolder = fs::weakly_canonical(folder, ec);
            const fs::path* root = &folder;
            if (!IsWithin(candidate, folder)) {
                if (ec || !IsWithin(candidate, canonicalFolder)) {
                    continue;
                }
                root = &canonicalFolder;
            }
            if (HasHiddenComponent(candidate.lexically_relative(root->lexically_normal()))) {
                SetHiddenWhy(why);
                return std::nullopt;
            }
            if (!StaysInside(candidate, folder)) {
                SetWhy(why, "The path leads outside \"" + folder.string() + "\" through a symbolic link.");
                return std::nullopt;
            }
            return candidate;
        }
    }

    char letter = 'C';
    std::string_view rest = hostPath;
    if (hostPath.size() >= 2 && hostPath[1] == ':' && std::isalpha(static_cast<unsigned char>(hostPath[0]))) {
        letter = static_cast<char>(std::toupper(static_cast<unsigned char>(hostPath[0])));
        rest = hostPath.substr(2);  // "C:dir" is relative to the drive's folder as well
    }
    const std::string drive{letter, ':'};
    std::optional<fs::path> folder = DriveFolder(letter);
    if (!folder) {
        SetWhy(why, "Drive " + drive + " is not mapped to a folder.");
        return std::nullopt;
    }
    std::optional<Parsed> parsed = Normalise(rest, "the folder of drive " + drive, why);
    if (!parsed) {
        return std::nullopt;
    }
    for (const std::string& part : parsed->components) {
        if (part.front() == '.') {
            SetHiddenWhy(why);
            return std::nullopt;
        }
    }
    fs::path result = Join(*folder, *parsed);
    if (!StaysInside(result, *folder)) {
        SetWhy(why, "The path leads outside the folder of drive " + drive + " through a symbolic link.");
        return std::nullopt;
    }
    return result;
}

}  // namespace platform
