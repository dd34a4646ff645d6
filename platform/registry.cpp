// The registry store: REGEDIT-format hive files shared between processes. Each hive is parsed into a tree
// whose names and text keep the file's Unicode spelling; the 8-bit Windows-1252 view exists only at the API.
// Writers serialise through an flock beside the hive and replace the file atomically.
#include "platform/registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <functional>
#include <mutex>
#include <unordered_map>

#include "platform/atomic_file.h"
#include "platform/codepage.h"
#include "platform/hex_digit.h"
#include "platform/known_folders.h"
#include "platform/unique_fd.h"
#include "platform/win32_error.h"
#include "platform/write_all.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

constexpr size_t kMaxHiveBytes = size_t{64} << 20;
constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kLegacyHeader = "REGEDIT4";
constexpr std::string_view kMachineRoot = "HKEY_LOCAL_MACHINE";
constexpr std::string_view kUserRoot = "HKEY_CURRENT_USER";

std::string Fold(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

bool IsTextType(RegType type) {
    return type == RegType::Sz || type == RegType::ExpandSz || type == RegType::MultiSz;
}

bool IsTerminatedText(RegType type) {
    return type == RegType::Sz || type == RegType::ExpandSz;
}

// A value as the hive holds it: text types as UTF-16LE with their terminator, exactly as Windows keeps them,
// so text that the 1252 view cannot show survives a rewrite.
struct StoredValue {
    std::string name;  // UTF-8
    RegType type = RegType::None;
    std::vector<uint8_t> data;
};

struct Key {
    std::string name;  // UTF-8, stored spelling
    std::vector<StoredValue> values;
    std::vector<Key> subkeys;
    std::unordered_map<std::string, size_t> valueIndex;  // folded name -> position
    std::unordered_map<std::string, size_t> keyIndex;

    const StoredValue* FindValue(std::string_view valueName) const {
        auto it = valueIndex.find(Fold(valueName));
        return it == valueIndex.end() ? nullptr : &values[it->second];
    }
    const Key* FindSub(std::string_view keyName) const {
        auto it = keyIndex.find(Fold(keyName));
        return it == keyIndex.end() ? nullptr : &subkeys[it->second];
    }
    Key* FindSub(std::string_view keyName) {
        auto it = keyIndex.find(Fold(keyName));
        return it == keyIndex.end() ? nullptr : &subkeys[it->second];
    }
    Key& Sub(std::string_view keyName, bool* created = nullptr) {
        if (Key* found = FindSub(keyName)) {
            return *found;
        }
        keyIndex.emplace(Fold(keyName), subkeys.size());
        subkeys.push_back(Key{std::string(keyName), {}, {}, {}, {}});
        if (created) {
            *created = true;
        }
        return subkeys.back();
    }
    // An existing value keeps its stored spelling.
    void Set(std::string_view valueName, RegType type, std::vector<uint8_t> data) {
        auto it = valueIndex.find(Fold(valueName));
        if (it != valueIndex.end()) {
            values[it->second].type = type;
            values[it->second].data = std::move(data);
            return;
        }
        valueIndex.emplace(Fold(valueName), values.size());
        values.push_back(StoredValue{std::string(valueName), type, std::move(data)});
    }
    bool EraseValue(std::string_view valueName) {
        auto it = valueIndex.find(Fold(valueName));
        if (it == valueIndex.end()) {
            return false;
        }
        values.erase(values.begin() + static_cast<std::ptrdiff_t>(it->second));
        valueIndex.clear();
        for (size_t i = 0; i < values.size(); ++i) {
            valueIndex.emplace(Fold(values[i].name), i);
        }
        return true;
    }
    bool EraseSub(std::string_view keyName) {
        auto it = keyIndex.find(Fold(keyName));
        if (it == keyIndex.end()) {
            return false;
        }
        subkeys.erase(subkeys.begin() + static_cast<std::ptrdiff_t>(it->second));
        keyIndex.clear();
        for (size_t i = 0; i < subkeys.size(); ++i) {
            keyIndex.emplace(Fold(subkeys[i].name), i);
        }
        return true;
    }
    void Clear() {
        values.clear();
        subkeys.clear();
        valueIndex.clear();
        keyIndex.clear();
    }
};

// A hive file may carry sections of other roots (hand edits, a merged export); they are kept as found.
struct HiveFile {
    std::vector<Key> roots;  // Key::name is the long root name

    const Key* Find(std::string_view root) const {
        for (const Key& key : roots) {
            if (key.name == root) {
                return &key;
            }
        }
        return nullptr;
    }
    Key& Get(std::string_view root) {
        for (Key& key : roots) {
            if (key.name == root) {
                return key;
            }
        }
        roots.push_back(Key{std::string(root), {}, {}, {}, {}});
        return roots.back();
    }
};

std::optional<std::string_view> CanonicalRoot(std::string_view name) {
    static constexpr std::pair<std::string_view, std::string_view> kRoots[] = {
        {"HKEY_LOCAL_MACHINE", "HKEY_LOCAL_MACHINE"},
        {"HKLM", "HKEY_LOCAL_MACHINE"},
        {"HKEY_CURRENT_USER", "HKEY_CURRENT_USER"},
        {"HKCU", "HKEY_CURRENT_USER"},
        {"HKEY_CLASSES_ROOT", "HKEY_CLASSES_ROOT"},
        {"HKCR", "HKEY_CLASSES_ROOT"},
        {"HKEY_USERS", "HKEY_USERS"},
        {"HKU", "HKEY_USERS"},
        {"HKEY_CURRENT_CONFIG", "HKEY_CURRENT_CONFIG"},
        {"HKCC", "HKEY_CURRENT_CONFIG"},
    };
    for (const auto& [alias, canonical] : kRoots) {
        if (EqualsNoCase(alias, name)) {
            return canonical;
        }
    }
    return std::nullopt;
}

// --- text <-> stored form ---------------------------------------------------------------------------------

std::vector<uint8_t> Utf16Bytes(std::u16string_view units) {
    std::vector<uint8_t> out;
    out.reserve(units.size() * 2);
    for (char16_t unit : units) {
        out.push_back(static_cast<uint8_t>(unit & 0xFF));
        out.push_back(static_cast<uint8_t>(unit >> 8));
    }
    return out;
}

std::u16string Utf16Units(const std::vector<uint8_t>& bytes) {
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        units.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
    }
    return units;
}

std::vector<uint8_t> ToStored(const RegValue& value) {
    if (!IsTextType(value.type)) {
        return value.data;
    }
    std::u16string units;
    units.reserve(value.data.size() + 1);
    for (uint8_t byte : value.data) {
        units.push_back(static_cast<char16_t>(Cp1252ToUnicode(byte)));
    }
    if (IsTerminatedText(value.type)) {
        units.push_back(u'\0');
    }
    return Utf16Bytes(units);
}

RegValue FromStored(const StoredValue& stored) {
    RegValue value;
    value.type = stored.type;
    if (!IsTextType(stored.type)) {
        value.data = stored.data;
        return value;
    }
    std::string text = Utf16LeToCp1252(Utf16Units(stored.data));
    if (IsTerminatedText(stored.type) && !text.empty() && text.back() == '\0') {
        text.pop_back();
    }
    value.data.assign(text.begin(), text.end());
    return value;
}

// --- parsing --------------------------------------------------------------------------------------------

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view TrimLeft(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    return text;
}

std::string_view TrimRight(std::string_view text) {
    while (!text.empty() && (IsBlank(text.back()) || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

std::string_view Trim(std::string_view text) {
    return TrimRight(TrimLeft(text));
}

std::optional<uint32_t> ParseHexNumber(std::string_view text, size_t maxDigits) {
    if (text.empty() || text.size() > maxDigits) {
        return std::nullopt;
    }
    uint32_t value = 0;
    for (char c : text) {
        const int digit = HexDigitValue(c);
        if (digit < 0) {
            return std::nullopt;
        }
        value = (value << 4) | static_cast<uint32_t>(digit);
    }
    return value;
}

// A quoted string with \\ and \" escapes. Other backslashes stay literal: hand-written paths such as
// "C:\Temp" keep their obvious meaning.
std::optional<std::string> ParseQuoted(std::string_view text, size_t& pos) {
    std::string out;
    ++pos;  // opening quote
    while (pos < text.size()) {
        const char c = text[pos];
        if (c == '"') {
            ++pos;
            return out;
        }
        if (c == '\\' && pos + 1 < text.size() && (text[pos + 1] == '\\' || text[pos + 1] == '"')) {
            out.push_back(text[pos + 1]);
            pos += 2;
            continue;
        }
        out.push_back(c);
        ++pos;
    }
    return std::nullopt;
}

std::optional<std::vector<uint8_t>> ParseHexBytes(std::string_view list) {
    std::vector<uint8_t> bytes;
    list = Trim(list);
    while (!list.empty()) {
        const size_t comma = list.find(',');
        std::string_view item = Trim(list.substr(0, comma));
        auto byte = ParseHexNumber(item, 2);
        if (!byte) {
            return std::nullopt;
        }
        bytes.push_back(static_cast<uint8_t>(*byte));
        if (comma == std::string_view::npos) {
            break;
        }
        list = Trim(list.substr(comma + 1));  // a trailing comma is tolerated
    }
    return bytes;
}

class HiveParser {
  public:
    HiveParser(std::string_view text, bool legacy) : m_text(text), m_legacy(legacy) {}

    std::optional<HiveFile> Parse() {
        HiveFile file;
        Key* current = nullptr;
        bool headerSeen = false;
        std::string_view line;
        while (NextLine(line)) {
            std::string_view content = Trim(line);
            if (!headerSeen) {
                if (content.empty()) {
                    continue;
                }
                if (content != kHeader && content != kLegacyHeader) {
                    return std::nullopt;
                }
                headerSeen = true;
                continue;
            }
            if (content.empty() || content.front() == ';') {
                continue;
            }
            if (content.front() == '[') {
                current = ParseSection(file, content);
                if (!current) {
                    return std::nullopt;
                }
                continue;
            }
            if (!current || (content.front() != '"' && content.front() != '@')) {
                return std::nullopt;
            }
            if (!ParseValue(*current, TrimLeft(line))) {
                return std::nullopt;
            }
        }
        return file;
    }

  private:
    bool NextLine(std::string_view& line) {
        if (m_pos >= m_text.size()) {
            return false;
        }
        size_t end = m_text.find('\n', m_pos);
        if (end == std::string_view::npos) {
            end = m_text.size();
        }
        line = m_text.substr(m_pos, end - m_pos);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        m_pos = end + 1;
        return true;
    }

    // "]" may occur inside key names, so the section runs to the last one on the line.
    static Key* ParseSection(HiveFile& file, std::string_view content) {
        if (content.size() < 2 || content.back() != ']') {
            return nullptr;
        }
        std::string_view inner = content.substr(1, content.size() - 2);
        if (!inner.empty() && inner.front() == '-') {
            return nullptr;  // a deletion belongs in an import script, not in a hive
        }
        size_t sep = inner.find('\\');
        auto root = CanonicalRoot(inner.substr(0, sep));
        if (!root) {
            return nullptr;
        }
        Key* key = &file.Get(*root);
        while (sep != std::string_view::npos) {
            inner.remove_prefix(sep + 1);
            sep = inner.find('\\');
            std::string_view part = inner.substr(0, sep);
            if (!part.empty()) {
                key = &key->Sub(part);
            }
        }
        return key;
    }

    bool ParseValue(Key& key, std::string_view line) {
        std::string name;
        size_t pos = 0;
        if (line.front() == '@') {
            pos = 1;
        } else {
            auto quoted = ParseQuoted(line, pos);
            if (!quoted) {
                return false;
            }
            name = std::move(*quoted);
        }
        std::string_view rest = TrimLeft(line.substr(pos));
        if (rest.empty() || rest.front() != '=') {
            return false;
        }
        rest = TrimLeft(rest.substr(1));
        if (!rest.empty() && rest.front() == '"') {
            size_t end = 0;
            auto text = ParseQuoted(rest, end);
            if (!text || !Trim(rest.substr(end)).empty()) {
                return false;
            }
            std::u16string units = Utf8ToUtf16(*text);
            units.push_back(u'\0');
            key.Set(name, RegType::Sz, Utf16Bytes(units));
            return true;
        }
        const std::string lower = Fold(rest.substr(0, std::min<size_t>(rest.size(), 6)));
        if (lower.starts_with("dword:")) {
            auto number = ParseHexNumber(Trim(rest.substr(6)), 8);
            if (!number) {
                return false;
            }
            const uint32_t v = *number;
            key.Set(name, RegType::Dword,
                    {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                     static_cast<uint8_t>(v >> 24)});
            return true;
        }
        if (!lower.starts_with("hex")) {
            return false;
        }
        rest.remove_prefix(3);
        RegType type = RegType::Binary;
        if (!rest.empty() && rest.front() == '(') {
            const size_t close = rest.find(')');
            if (close == std::string_view::npos) {
                return false;
            }
            auto number = ParseHexNumber(rest.substr(1, close - 1), 8);
            if (!number) {
                return false;
            }
            type = static_cast<RegType>(*number);
            rest.remove_prefix(close + 1);
        }
        if (rest.empty() || rest.front() != ':') {
            return false;
        }
        rest.remove_prefix(1);
        // Long byte lists continue on the next line after a trailing backslash.
        std::string list;
        std::string_view piece = TrimRight(rest);
        while (!piece.empty() && piece.back() == '\\') {
            piece.remove_suffix(1);
            list.append(piece);
            std::string_view next;
            if (!NextLine(next)) {
                return false;  // cut off in the middle of a value
            }
            piece = Trim(next);
        }
        list.append(piece);
        auto bytes = ParseHexBytes(list);
        if (!bytes) {
            return false;
        }
        if (IsTextType(type)) {
            if (m_legacy) {
                // The old format keeps these as 8-bit text; hold them as UTF-16 like the rest.
                std::u16string units;
                for (uint8_t byte : *bytes) {
                    units.push_back(static_cast<char16_t>(Cp1252ToUnicode(byte)));
                }
                *bytes = Utf16Bytes(units);
            } else if (bytes->size() % 2 != 0) {
                return false;
            }
        }
        key.Set(name, type, std::move(*bytes));
        return true;
    }

    std::string_view m_text;
    bool m_legacy;
    size_t m_pos = 0;
};

std::optional<HiveFile> ParseHive(const std::string& bytes) {
    std::string text;
    if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFF &&
        static_cast<uint8_t>(bytes[1]) == 0xFE) {
        if (bytes.size() % 2 != 0) {
            return std::nullopt;
        }
        std::u16string units;
        units.reserve(bytes.size() / 2);
        for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
            units.push_back(static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) |
                                                  (static_cast<uint8_t>(bytes[i + 1]) << 8)));
        }
        text = Utf16ToUtf8(units);
    } else if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        text = bytes.substr(3);
    } else {
        text = bytes;
    }
    const std::string_view first = Trim(std::string_view(text).substr(0, text.find('\n')));
    const bool legacy = first == kLegacyHeader;
    if (!IsValidUtf8(text)) {
        // The old format is 8-bit text; the current one is UTF-8, where a stray bad byte only costs itself.
        text = legacy ? Cp1252ToUtf8(text) : Utf16ToUtf8(Utf8ToUtf16(text));
    }
    return HiveParser(text, legacy).Parse();
}

// --- writing --------------------------------------------------------------------------------------------

std::string Escape(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out.push_back('"');
    for (char c : text) {
        if (c == '\\' || c == '"') {
            out.push_back('\\');
        }
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

// The quoted form holds one line of text; anything else (line breaks, NULs, unpaired surrogates, a missing
// terminator) is written as hex(1) so it comes back byte for byte.
std::optional<std::string> QuotedForm(const std::vector<uint8_t>& data) {
    if (data.size() < 2 || data.size() % 2 != 0) {
        return std::nullopt;
    }
    std::u16string units = Utf16Units(data);
    if (units.back() != u'\0') {
        return std::nullopt;
    }
    units.pop_back();
    for (char16_t unit : units) {
        if (unit == u'\0' || unit == u'\r' || unit == u'\n') {
            return std::nullopt;
        }
    }
    std::string utf8 = Utf16ToUtf8(units);
    if (Utf8ToUtf16(utf8) != units) {
        return std::nullopt;
    }
    return utf8;
}

void WriteHex(std::string& out, std::string line, const std::vector<uint8_t>& data) {
    static constexpr char kDigits[] = "0123456789abcdef";
    bool lineHasBytes = false;
    for (size_t i = 0; i < data.size(); ++i) {
        std::string piece{kDigits[data[i] >> 4], kDigits[data[i] & 0xF]};
        if (i + 1 < data.size()) {
            piece.push_back(',');
        }
        if (lineHasBytes && line.size() + piece.size() > 78) {
            out.append(line).append("\\\n");
            line = "  ";
        }
        line.append(piece);
        lineHasBytes = true;
    }
    out.append(line).push_back('\n');
}

void WriteValue(std::string& out, const StoredValue& value) {
    std::string line = value.name.empty() ? std::string("@") : Escape(value.name);
    line.push_back('=');
    if (value.type == RegType::Sz) {
        if (auto text = QuotedForm(value.data)) {
            out.append(line).append(Escape(*text)).push_back('\n');
            return;
        }
    }
    if (value.type == RegType::Dword && value.data.size() == 4) {
        const uint32_t v = value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                           (static_cast<uint32_t>(value.data[3]) << 24);
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "dword:%08x", v);
        out.append(line).append(buffer).push_back('\n');
        return;
    }
    if (value.type == RegType::Binary) {
        line.append("hex:");
    } else {
        char buffer[24];
        std::snprintf(buffer, sizeof buffer, "hex(%x):", static_cast<uint32_t>(value.type));
        line.append(buffer);
    }
    WriteHex(out, std::move(line), value.data);
}

void WriteKey(std::string& out, const std::string& path, const Key& key, bool isRoot) {
    if (!isRoot || !key.values.empty()) {
        out.append("[").append(path).append("]\n");
        for (const StoredValue& value : key.values) {
            WriteValue(out, value);
        }
        out.push_back('\n');
    }
    for (const Key& sub : key.subkeys) {
        WriteKey(out, path + "\\" + sub.name, sub, false);
    }
}

std::string SerializeHive(const HiveFile& file) {
    std::string out(kHeader);
    out.append("\n\n");
    for (const Key& root : file.roots) {
        WriteKey(out, root.name, root, true);
    }
    return out;
}

// --- one hive file --------------------------------------------------------------------------------------

class Hive {
  public:
    // mutate(root, changed) edits the hive's root key; returning anything but kSuccess, or leaving changed
    // false, leaves the file alone.
    using Reader = std::function<int32_t(const Key*)>;
    using Mutator = std::function<int32_t(Key&, bool&)>;

    Hive(fs::path path, std::string_view root) : m_path(std::move(path)), m_root(root) {}

    int32_t Read(const Reader& read) const {
        std::lock_guard lock(m_mutex);
        if (const int32_t rc = Refresh(); rc != win32::kSuccess) {
            return rc;
        }
        static const Key kEmpty;
        const Key* root = m_model->Find(m_root);
        return read(root ? root : &kEmpty);
    }

    int32_t Write(const Mutator& mutate) {
        std::lock_guard lock(m_mutex);
        fs::path folder = m_path.parent_path();
        if (folder.empty()) {
            folder = ".";
        }
        const int32_t made = CreateFolder(folder);
        if (made != win32::kSuccess && made != win32::kAlreadyExists) {
            return win32::kAccessDenied;
        }
        fs::path lockPath = m_path;
        lockPath += ".lock";
        UniqueFd lockFd(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
        if (!lockFd) {
            return win32::kAccessDenied;
        }
        while (::flock(lockFd.Get(), LOCK_EX) != 0) {
            if (errno != EINTR) {
                return win32::kAccessDenied;
            }
        }
        if (::access(m_path.c_str(), W_OK) != 0 && errno != ENOENT) {
            return win32::kAccessDenied;
        }
        // Under the lock the file on disk is the truth; a damaged one is never replaced.
        if (const int32_t rc = Refresh(); rc != win32::kSuccess) {
            return rc;
        }
        auto updated = std::make_shared<HiveFile>(*m_model);
        bool changed = true;
        if (const int32_t rc = mutate(updated->Get(m_root), changed); rc != win32::kSuccess || !changed) {
            return rc;
        }
        return Replace(std::move(updated));
    }

  private:
    int32_t Replace(std::shared_ptr<HiveFile> updated) {
        const std::string text = SerializeHive(*updated);
        AtomicWriteOptions options;
        struct stat old {};
        options.mode = ::stat(m_path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
        if (WriteFileAtomically(m_path, text, options)) {
            return win32::kAccessDenied;
        }
        // Writers hold the lock, so the file there now is the one just written.
        UniqueFd written(::open(m_path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
        struct stat st {};
        if (written && ::fstat(written.Get(), &st) == 0) {
            Remember(st, std::move(written), std::move(updated));
        } else {
            Forget();
        }
        return win32::kSuccess;
    }

    bool Unchanged(const struct stat& st) const {
        return m_model && m_file && st.st_dev == m_stat.st_dev && st.st_ino == m_stat.st_ino &&
               st.st_size == m_stat.st_size && st.st_mtim.tv_sec == m_stat.st_mtim.tv_sec &&
               st.st_mtim.tv_nsec == m_stat.st_mtim.tv_nsec && st.st_ctim.tv_sec == m_stat.st_ctim.tv_sec &&
               st.st_ctim.tv_nsec == m_stat.st_ctim.tv_nsec;
    }

    // The parsed file stays open with its tree, so its inode cannot be reused by a later file and an equal
    // identity means an equal file.
    void Remember(const struct stat& st, UniqueFd file, std::shared_ptr<HiveFile> model) const {
        m_stat = st;
        m_file = std::move(file);
        m_model = std::move(model);
    }

    void Forget() const {
        m_file.Reset();
        m_model.reset();
    }

    int32_t Missing() const {
        Forget();
        m_model = std::make_shared<HiveFile>();
        return win32::kSuccess;
    }

    int32_t Refresh() const {
        struct stat st {};
        if (::stat(m_path.c_str(), &st) != 0) {
            if (errno == ENOENT || errno == ENOTDIR) {
                return Missing();
            }
            Forget();
            return win32::kAccessDenied;
        }
        if (Unchanged(st)) {
            return win32::kSuccess;
        }
        Forget();
        UniqueFd fd(::open(m_path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        if (!fd) {
            return errno == ENOENT ? Missing() : win32::kAccessDenied;
        }
        if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
            return win32::kAccessDenied;
        }
        if (static_cast<uint64_t>(st.st_size) > kMaxHiveBytes) {
            return win32::kInvalidData;
        }
        std::string bytes;
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
            if (n < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return win32::kAccessDenied;
            }
            if (n == 0) {
                break;
            }
            bytes.append(buffer, static_cast<size_t>(n));
            if (bytes.size() > kMaxHiveBytes) {
                return win32::kInvalidData;
            }
        }
        auto parsed = ParseHive(bytes);
        if (!parsed) {
            return win32::kInvalidData;
        }
        Remember(st, std::move(fd), std::make_shared<HiveFile>(std::move(*parsed)));
        return win32::kSuccess;
    }

    fs::path m_path;
    std::string m_root;
    mutable std::mutex m_mutex;
    mutable struct stat m_stat {};
    mutable UniqueFd m_file;
    mutable std::shared_ptr<HiveFile> m_model;
};

// --- addressing ------------------------------------------------------------------------------------------

// API names are 1252; a name that no hive line can hold (NUL, CR, LF) is refused.
std::optional<std::string> NameToUtf8(std::string_view name) {
    if (name.find_first_of(std::string_view("\0\r\n", 3)) != std::string_view::npos) {
        return std::nullopt;
    }
    return Cp1252ToUtf8(name);
}

std::optional<std::vector<std::string>> SplitPath(std::string_view subkey) {
    std::vector<std::string> parts;
    while (!subkey.empty()) {
        const size_t sep = subkey.find('\\');
        std::string_view part = subkey.substr(0, sep);
        if (!part.empty()) {
            auto utf8 = NameToUtf8(part);
            if (!utf8) {
                return std::nullopt;
            }
            parts.push_back(std::move(*utf8));
        }
        if (sep == std::string_view::npos) {
            break;
        }
        subkey.remove_prefix(sep + 1);
    }
    return parts;
}

const Key* Walk(const Key* key, const std::vector<std::string>& parts) {
    for (const std::string& part : parts) {
        if (!key) {
            return nullptr;
        }
        key = key->FindSub(part);
    }
    return key;
}

Key* WalkMutable(Key& root, const std::vector<std::string>& parts) {
    Key* key = &root;
    for (const std::string& part : parts) {
        key = key->FindSub(part);
        if (!key) {
            return nullptr;
        }
    }
    return key;
}

struct Target {
    Hive* hive;
    std::vector<std::string> parts;
};

std::atomic<Registry*> g_override{nullptr};

}  // namespace

// --- RegValue ------------------------------------------------------------------------------------------

RegValue RegValue::String(std::string_view text, RegType type) {
    return RegValue{type, std::vector<uint8_t>(text.begin(), text.end())};
}

RegValue RegValue::Dword(uint32_t value) {
    return RegValue{RegType::Dword,
                    {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                     static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)}};
}

RegValue RegValue::Binary(std::vector<uint8_t> bytes) {
    return RegValue{RegType::Binary, std::move(bytes)};
}

std::optional<std::string> RegValue::AsString() const {
    if (type != RegType::Sz && type != RegType::ExpandSz) {
        return std::nullopt;
    }
    std::string text(data.begin(), data.end());
    if (const size_t nul = text.find('\0'); nul != std::string::npos) {
        text.resize(nul);
    }
    return text;
}

std::optional<uint32_t> RegValue::AsDword() const {
    if (type != RegType::Dword || data.size() != 4) {
        return std::nullopt;
    }
    return data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<uint32_t>(data[3]) << 24);
}

// --- Registry --------------------------------------------------------------------------------------------

struct Registry::Impl {
    explicit Impl(const Paths& paths) : machine(paths.machine, kMachineRoot), user(paths.user, kUserRoot) {}

    Hive machine;
    Hive user;

    // HKEY_CLASSES_ROOT lives under these keys of the two hives.
    static std::vector<std::string> Classes(bool userSide, const std::vector<std::string>& parts) {
        std::vector<std::string> full{userSide ? "Software" : "SOFTWARE", "Classes"};
        full.insert(full.end(), parts.begin(), parts.end());
        return full;
    }

    // The hives a read consults, the preferred one first.
    std::vector<Target> ReadTargets(HKey root, const std::vector<std::string>& parts) {
        switch (root) {
            case HKey::LocalMachine:
                return {{&machine, parts}};
            case HKey::CurrentUser:
                return {{&user, parts}};
            case HKey::ClassesRoot:
                break;
        }
        return {{&user, Classes(true, parts)}, {&machine, Classes(false, parts)}};
    }

    Target WriteTarget(HKey root, const std::vector<std::string>& parts) {
        switch (root) {
            case HKey::LocalMachine:
                return {&machine, parts};
            case HKey::CurrentUser:
                return {&user, parts};
            case HKey::ClassesRoot:
                break;
        }
        return {&user, Classes(true, parts)};
    }

    // Removal from the merged view must take the item out of both hives, or it would show through; the
    // machine hive is written only when it holds the item, so a user can still delete their own registration.
    int32_t RemoveEverywhere(HKey root, const std::vector<std::string>& parts,
                             const std::function<bool(const Key*)>& present, const Hive::Mutator& remove) {
        bool removed = false;
        auto targets = ReadTargets(root, parts);
        for (auto it = targets.rbegin(); it != targets.rend(); ++it) {
            const std::vector<std::string>& path = it->parts;
            bool there = false;
            if (const int32_t rc = it->hive->Read([&](const Key* r) {
                    there = present(Walk(r, path));
                    return win32::kSuccess;
                });
                rc != win32::kSuccess) {
                return rc;
            }
            if (!there) {
                continue;
            }
            const int32_t rc = it->hive->Write([&](Key& r, bool& changed) {
                Key* key = WalkMutable(r, path);
                return key ? remove(*key, changed) : win32::kFileNotFound;  // gone meanwhile
            });
            if (rc == win32::kSuccess) {
                removed = true;
            } else if (rc != win32::kFileNotFound) {
                return rc;
            }
        }
        return removed ? win32::kSuccess : win32::kFileNotFound;
    }
};

Registry::Registry(Paths paths) : m_paths(std::move(paths)), m_impl(std::make_unique<Impl>(m_paths)) {}

Registry::~Registry() = default;

Registry& Registry::Default() {
    if (Registry* chosen = g_override.load()) {
        return *chosen;
    }
    static Registry standard(Paths{MachineHivePath(), UserHivePath()});
    return standard;
}

void Registry::OverrideDefault(Registry* registry) {
    g_override.store(registry);
}

int32_t Registry::QueryValue(HKey root, std::string_view subkey, std::string_view name, RegValue& out) const {
    auto parts = SplitPath(subkey);
    auto valueName = NameToUtf8(name);
    if (!parts || !valueName) {
        return win32::kFileNotFound;
    }
    for (const Target& target : m_impl->ReadTargets(root, *parts)) {
        const int32_t rc = target.hive->Read([&](const Key* r) {
            const Key* key = Walk(r, target.parts);
            const StoredValue* value = key ? key->FindValue(*valueName) : nullptr;
            if (!value) {
                return win32::kFileNotFound;
            }
            out = FromStored(*value);
            return win32::kSuccess;
        });
        if (rc != win32::kFileNotFound) {
            return rc;
        }
    }
    return win32::kFileNotFound;
}

int32_t Registry::SetValue(HKey root, std::string_view subkey, std::string_view name, const RegValue& value) {
    auto parts = SplitPath(subkey);
    auto valueName = NameToUtf8(name);
    if (!parts || !valueName) {
        return win32::kInvalidParameter;
    }
    Target target = m_impl->WriteTarget(root, *parts);
    std::vector<uint8_t> data = ToStored(value);
    return target.hive->Write([&](Key& r, bool& changed) {
        bool created = false;
        Key* key = &r;
        for (const std::string& part : target.parts) {
            key = &key->Sub(part, &created);
        }
        // Settings are saved whole at every close: a value that already holds these bytes leaves the file
        // alone, as each write is a locked, synced rewrite of the hive.
        if (const StoredValue* stored = created ? nullptr : key->FindValue(*valueName);
            stored != nullptr && stored->type == value.type && stored->data == data) {
            changed = false;
            return win32::kSuccess;
        }
        key->Set(*valueName, value.type, std::move(data));
        return win32::kSuccess;
    });
}

int32_t Registry::CreateKey(HKey root, std::string_view subkey) {
    auto parts = SplitPath(subkey);
    if (!parts) {
        return win32::kInvalidParameter;
    }
    if (KeyExists(root, subkey)) {
        return win32::kSuccess;
    }
    Target target = m_impl->WriteTarget(root, *parts);
    return target.hive->Write([&](Key& r, bool& changed) {
        changed = false;
        Key* key = &r;
        for (const std::string& part : target.parts) {
            key = &key->Sub(part, &changed);
        }
        return win32::kSuccess;
    });
}

bool Registry::KeyExists(HKey root, std::string_view subkey) const {
    auto parts = SplitPath(subkey);
    if (!parts) {
        return false;
    }
    if (parts->empty()) {
        return true;  // the predefined roots always exist
    }
    for (const Target& target : m_impl->ReadTargets(root, *parts)) {
        bool found = false;
        target.hive->Read([&](const Key* r) {
            found = Walk(r, target.parts) != nullptr;
            return win32::kSuccess;
        });
        if (found) {
            return true;
        }
    }
    return false;
}

int32_t Registry::DeleteValue(HKey root, std::string_view subkey, std::string_view name) {
    auto parts = SplitPath(subkey);
    auto valueName = NameToUtf8(name);
    if (!parts || !valueName) {
        return win32::kFileNotFound;
    }
    return m_impl->RemoveEverywhere(
        root, *parts, [&](const Key* key) { return key && key->FindValue(*valueName); },
        [&](Key& key, bool&) { return key.EraseValue(*valueName) ? win32::kSuccess : win32::kFileNotFound; });
}

int32_t Registry::DeleteTree(HKey root, std::string_view subkey) {
    auto parts = SplitPath(subkey);
    if (!parts) {
        return win32::kFileNotFound;
    }
    if (parts->empty()) {
        // The root itself stays; everything in it goes.
        return m_impl->RemoveEverywhere(
            root, *parts,
            [](const Key* key) { return key && (!key->values.empty() || !key->subkeys.empty()); },
            [](Key& key, bool&) {
                key.Clear();
                return win32::kSuccess;
            });
    }
    const std::string leaf = parts->back();
    parts->pop_back();
    return m_impl->RemoveEverywhere(
        root, *parts, [&](const Key* key) { return key && key->FindSub(leaf); },
        [&](Key& key, bool&) { return key.EraseSub(leaf) ? win32::kSuccess : win32::kFileNotFound; });
}

int32_t Registry::EnumKeys(HKey root, std::string_view subkey, std::vector<std::string>& out) const {
    auto parts = SplitPath(subkey);
    if (!parts) {
        return win32::kFileNotFound;
    }
    std::vector<std::string> names;
    std::unordered_map<std::string, bool> seen;
    bool anyKey = false;
    for (const Target& target : m_impl->ReadTargets(root, *parts)) {
        const int32_t rc = target.hive->Read([&](const Key* r) {
            const Key* key = Walk(r, target.parts);
            if (!key) {
                return win32::kFileNotFound;
            }
            anyKey = true;
            for (const Key& sub : key->subkeys) {
                if (seen.emplace(Fold(sub.name), true).second) {
                    names.push_back(Utf8ToCp1252(sub.name));
                }
            }
            return win32::kSuccess;
        });
        if (rc != win32::kSuccess && rc != win32::kFileNotFound) {
            return rc;
        }
    }
    if (!anyKey && !parts->empty()) {
        return win32::kFileNotFound;
    }
    out = std::move(names);
    return win32::kSuccess;
}

int32_t Registry::EnumValues(HKey root, std::string_view subkey,
                             std::vector<std::pair<std::string, RegValue>>& out) const {
    auto parts = SplitPath(subkey);
    if (!parts) {
        return win32::kFileNotFound;
    }
    std::vector<std::pair<std::string, RegValue>> values;
    std::unordered_map<std::string, bool> seen;
    bool anyKey = false;
    for (const Target& target : m_impl->ReadTargets(root, *parts)) {
        const int32_t rc = target.hive->Read([&](const Key* r) {
            const Key* key = Walk(r, target.parts);
            if (!key) {
                return win32::kFileNotFound;
            }
            anyKey = true;
            for (const StoredValue& value : key->values) {
                if (seen.emplace(Fold(value.name), true).second) {
                    values.emplace_back(Utf8ToCp1252(value.name), FromStored(value));
                }
            }
            return win32::kSuccess;
        });
        if (rc != win32::kSuccess && rc != win32::kFileNotFound) {
            return rc;
        }
    }
    if (!anyKey && !parts->empty()) {
        return win32::kFileNotFound;
    }
    out = std::move(values);
    return win32::kSuccess;
}

}  // namespace platform
