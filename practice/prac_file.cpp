// Finding, loading and saving the practice list file in all its layouts.
#include "practice/prac_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>

#include "platform/atomic_file.h"
#include "platform/codepage.h"
#include "platform/known_folders.h"
#include "platform/unique_fd.h"
#include "platform/user_prompt.h"
#include "platform/win32_error.h"
#include "practice/practice_log.h"

namespace practice {

namespace fs = std::filesystem;
using platform::HKey;

namespace {

constexpr std::string_view kReadKey = "Software\\Carrowline Corporation";
constexpr std::string_view kWriteKey = "SOFTWARE\\Carrowline Corporation";
constexpr std::string_view kRegistryValue = "PracticeListFile";
constexpr std::string_view kXmlName = "practice.xml";
constexpr std::string_view kLstName = "practice.lst";
// The registry read takes at most 260 bytes, terminator included.
constexpr size_t kMaxRegistryPathBytes = 260;
constexpr size_t kTextGroupLines = 6;
constexpr size_t kLegacyShortColumns = 9;

constexpr const char* kUnknownFormat = "Unknown practice file format";
constexpr const char* kBetaCorrupt =
    "The practice file is in what appears to be a beta\n format but cannot be read correctly, it may be "
    "corrupt.";

void ShowMessage(std::string text) {
    platform::DefaultPrompt().Message(std::move(text), platform::PromptIcon::Exclamation);
}

bool IsFile(const fs::path& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

bool EndsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// Smallest archive form of a practice record: four empty strings, the int32 fields and an empty count.
size_t MinPracticeBytes(int32_t schema) {
    return 4 + 6 * 4 + (schema >= 4 ? 4 : 0) + 2;
}

// The bytes of a file, read straight into a buffer that is never zeroed first.
struct FileBytes {
    std::unique_ptr<uint8_t[]> data;
    size_t size = 0;
    std::span<const uint8_t> Span() const { return {data.get(), size}; }
};

std::optional<FileBytes> ReadWholeFile(const fs::path& path, std::string& error) {
    const platform::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd) {
        error = "cannot open " + path.string() + ": " + std::strerror(errno);
        return std::nullopt;
    }
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        error = "cannot size " + path.string();
        return std::nullopt;
    }
    if (static_cast<uint64_t>(info.st_size) > kMaxPracticeFileBytes) {
        error =
            path.string() + " is too large for a practice list (" + std::to_string(info.st_size) + " bytes)";
        return std::nullopt;
    }
    FileBytes bytes;
    bytes.size = static_cast<size_t>(info.st_size);
    bytes.data.reset(new uint8_t[bytes.size == 0 ? 1 : bytes.size]);
    size_t done = 0;
    while (done < bytes.size) {
        const ssize_t got = ::read(fd.Get(), bytes.data.get() + done, bytes.size - done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            // A file that shrank while it was read is as unreadable as one that fails.
            error = "cannot read " + path.string();
            return std::nullopt;
        }
        done += static_cast<size_t>(got);
    }
    return bytes;
}

bool WriteFileReplacing(const fs::path& target, std::string_view text) {
    platform::AtomicWriteOptions options;
    struct stat st {};
    options.mode = ::stat(target.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
    platform::AtomicWriteStep step = platform::AtomicWriteStep::None;
    if (const std::error_code ec = platform::WriteFileAtomically(target, text, options, step)) {
        if (step == platform::AtomicWriteStep::Create) {
            Log("cannot create a temporary file beside " + target.string() + ": " + ec.message());
        } else {
            Log("cannot write " + target.string() + ": " + ec.message());
        }
        return false;
    }
    return true;
}

// The header line of the headed and beta layouts: the 14 characters, an optional CR, the LF.
void ReadHeaderLine(ArchiveReader& reader) {
    auto header = reader.ReadBytes(kLegacyHeader.size());
    if (!std::equal(header.begin(), header.end(), kLegacyHeader.begin())) {
        throw ArchiveError("the header line is missing");
    }
    uint8_t c = reader.ReadU8();
    if (c == '\r') {
        c = reader.ReadU8();
    }
    if (c != '\n') {
        throw ArchiveError("the header line is not ended by a line feed");
    }
}

std::vector<CPractice> ReadPracticeRecords(ArchiveReader& reader, int32_t schema) {
    const size_t count = reader.ReadI32Count(MinPracticeBytes(schema));
    std::vector<CPractice> practices;
    practices.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        CPractice temp(schema);
        temp.Serialize(reader);
        CPractice practice;
        practice = temp;
        practices.push_back(practice);
    }
    return practices;
}

bool IsVersion5Magic(ArchiveReader& reader) {
    for (uint16_t word : kVersion5Magic) {
        if (reader.ReadU16() != word) {
            return false;
        }
    }
    return true;
}

// Reads lines until one contains `needle` and returns that line; nullopt at the end or at `stop`.
std::optional<std::string> FindLine(LineReader& reader, std::string_view needle, std::string_view stop = {}) {
    std::string line;
    while (reader.ReadLine(line)) {
        if (line.find(needle) != std::string::npos) {
            return line;
        }
        if (!stop.empty() && line.find(stop) != std::string::npos) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

}  // namespace

fs::path MachinePracticeFolder() {
    return platform::CommonAppDataFolder() / "carrowline";
}
fs::path UserPracticeFolder() {
    return platform::UserAppDataFolder() / "carrowline";
}

bool CPracFile::ReadRegistryPath(std::string& path, HKey root, std::string_view extension) {
    platform::RegValue value;
    if (platform::Registry::Default().QueryValue(root, kReadKey, kRegistryValue, value) !=
        platform::win32::kSuccess) {
        return false;
    }
    if (value.type != platform::RegType::Sz || value.data.size() + 1 > kMaxRegistryPathBytes) {
        return false;
    }
    const std::optional<std::string> text = value.AsString();
    if (!text || text->empty() || text->size() + 1 > kMaxRegistryPathBytes) {
        return false;
    }
    path = platform::Cp1252ToUtf8(*text);
    return EndsWith(*text, extension) && IsFile(path);
}

void CPracFile::WriteRegistryPath(const std::string& path) {
    auto& registry = platform::Registry::Default();
    if (registry.CreateKey(HKey::LocalMachine, kWriteKey) != platform::win32::kSuccess) {
        return;
    }
    registry.SetValue(HKey::LocalMachine, kWriteKey, kRegistryValue,
                      platform::RegValue::String(platform::Utf8ToCp1252(path)));
}

fs::path CPracFile::FindFile() {
    const fs::path user = UserPracticeFolder();
    const fs::path machine = MachinePracticeFolder();
    if (IsFile(user / kXmlName)) {
        return user / kXmlName;
    }
    if (IsFile(machine / kXmlName)) {
        return machine / kXmlName;
    }
    std::string registryPath;
    if (ReadRegistryPath(registryPath, HKey::CurrentUser, ".xml") ||
        ReadRegistryPath(registryPath, HKey::LocalMachine, ".xml")) {
        return registryPath;
    }
    if (IsFile(user / kLstName)) {
        return user / kLstName;
    }
    if (IsFile(machine / kLstName)) {
        return machine / kLstName;
    }
    if (ReadRegistryPath(registryPath, HKey::CurrentUser, ".lst") ||
        ReadRegistryPath(registryPath, HKey::LocalMachine, ".lst")) {
        return registryPath;
    }
    const int32_t created = platform::CreateFolder(machine);
    if (created == platform::win32::kSuccess || created == platform::win32::kAlreadyExists ||
        created == platform::win32::kFileExists) {
        return machine / kXmlName;
    }
    if (created == platform::win32::kAccessDenied) {
        platform::CreateFolder(user);
        return user / kXmlName;
    }
    return {};
}

bool CPracFile::Exists() {
    m_Path = FindFile();
    if (m_Path.empty()) {
        return false;
    }
    std::ifstream in(m_Path, std::ios::binary);
    return in.is_open() && IsFile(m_Path);
}

fs::path CPracFile::GetSavePath() {
    const fs::path machine = MachinePracticeFolder();
    const int32_t created = platform::CreateFolder(machine);
    if (created == platform::win32::kSuccess || created == platform::win32::kFileExists ||
        created == platform::win32::kAlreadyExists) {
        return machine / kXmlName;
    }
    if (created == platform::win32::kAccessDenied) {
        platform::CreateFolder(UserPracticeFolder());
        return UserPracticeFolder() / kXmlName;
    }
    return {};
}

int32_t CPracFile::DetectFormat() {
    std::string error;
    auto bytes = ReadWholeFile(m_Path, error);
    if (!bytes) {
        Log(error);
        return 0;
    }
    return DetectFormat(m_Path, bytes->Span());
}

int32_t CPracFile::DetectFormat(const fs::path& path, std::span<const uint8_t> bytes) {
    if (EndsWith(path.string(), ".xml")) {
        LineReader reader(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
        std::string line;
        for (int skipped = 0; skipped < 2 && reader.ReadLine(line); ++skipped) {
        }
        while (reader.ReadLine(line)) {
            const XmlLine parsed = ParseXmlLine(line);
            if (parsed.name == "SchemaVersion") {
                return static_cast<int16_t>(ParseDecimal(parsed.value));
            }
        }
        return -1;
    }
    try {
        ArchiveReader reader(bytes);
        if (IsVersion5Magic(reader)) {
            return reader.ReadU16();
        }
        ArchiveReader again(bytes);
        return again.ReadNewClass().name == kPracticeClassName ? 4 : 0;
    } catch (const ArchiveError&) {
        return 0;
    }
}

void CPracFile::Commit(std::vector<CPractice> practices, const CPracSelInfo* selInfo) {
    m_Practices = std::move(practices);
    m_HasList = true;
    if (selInfo != nullptr) {
        m_SelInfo = *selInfo;
    }
}

bool CPracFile::LoadText(std::span<const uint8_t> bytes) {
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (text.find('\0') != std::string_view::npos) {
        Log(m_Path.string() + ": not a text practice list (it holds NUL bytes)");
        return false;
    }
    LineReader reader(text);
    std::vector<CPractice> practices;
    std::string lines[kTextGroupLines];
    size_t have = 0;
    bool anyText = false;
    while (reader.ReadLine(lines[have])) {
        anyText = anyText || !lines[have].empty();
        if (++have < kTextGroupLines) {
            continue;
        }
        have = 0;
        CPractice practice;
        practice.m_Name = lines[0];
        practice.m_SorelData = lines[1];
        practice.m_ConnType = ParseDecimal(lines[2]);
        practice.m_Host = lines[3];
        practice.m_SorelProgs = lines[4];
        practice.m_PracticeType = ParseDecimal(lines[5]);
        practices.push_back(practice);
    }
    if (have > 0) {
        Log(m_Path.string() + ": incomplete last practice of " + std::to_string(have) + " lines dropped");
    }
    if (practices.empty() && anyText) {
        // Text that holds not one practice is not a practice list; an empty list here would be a false
        // success.
        Log(m_Path.string() + ": no complete practice in the text practice list");
        return false;
    }
    Commit(std::move(practices), nullptr);
    return true;
}

bool CPracFile::LoadHeaded(std::span<const uint8_t> bytes) {
    try {
        ArchiveReader reader(bytes);
        ReadHeaderLine(reader);
        CPracSelInfo selInfo;
        selInfo.SerializeColumns(reader, kLegacyShortColumns);
        selInfo.GetCustomMenu().Serialize(reader);
        std::vector<CPractice> practices = ReadPracticeRecords(reader, 2);
        reader.ExpectEnd("headed practice list");
        Commit(std::move(practices), &selInfo);
        return true;
    } catch (const ArchiveError& e) {
        Log(m_Path.string() + ": not a headed practice list: " + e.what());
        return false;
    }
}

bool CPracFile::LoadBeta(std::span<const uint8_t> bytes) {
    try {
        ArchiveReader reader(bytes);
        ReadHeaderLine(reader);
        std::vector<CPractice> practices = ReadPracticeRecords(reader, 3);
        CPracSelInfo selInfo;
        selInfo.SerializeColumns(reader, kLegacyShortColumns);
        selInfo.GetCustomMenu().Serialize(reader);
        reader.ExpectEnd("beta practice list");
        Commit(std::move(practices), &selInfo);
        return true;
    } catch (const ArchiveError& e) {
        Log(m_Path.string() + ": not a beta practice list: " + e.what());
        return false;
    }
}

void CPracFile::LoadVersion4(std::span<const uint8_t> bytes) {
    ArchiveReader reader(bytes);
    if (reader.ReadNewClass().name != kPracticeClassName) {
        throw ArchiveError("the class record does not name " + std::string(kPracticeClassName));
    }
    std::vector<CPractice> practices = ReadPracticeRecords(reader, 4);
    CPracSelInfo selInfo;
    selInfo.SerializeColumns(reader, kColumnCount);
    selInfo.GetCustomMenu().Serialize(reader);
    reader.ExpectEnd("class-record practice list");
    Commit(std::move(practices), &selInfo);
}

bool CPracFile::LoadVersion5(std::span<const uint8_t> bytes) {
    ArchiveReader reader(bytes);
    if (reader.Remaining() < 8 || !IsVersion5Magic(reader) || reader.ReadU16() != 5) {
        return false;
    }
    std::vector<CPractice> practices = ReadPracticeRecords(reader, 5);
    CPracSelInfo selInfo;
    selInfo.SerializeColumns(reader, kColumnCount);
    selInfo.GetCustomMenu().Serialize(reader);
    reader.ExpectEnd("version-5 practice list");
    Commit(std::move(practices), &selInfo);
    return true;
}

bool CPracFile::ReadXml(std::string_view text) {
    LineReader reader(text);
    std::string line;
    for (int i = 0; i < 3; ++i) {
        if (!reader.ReadLine(line)) {
            return false;
        }
    }
    const auto countLine = FindLine(reader, "<PracticeCount>");
    if (!countLine) {
        return false;
    }
    const int32_t count = ParseDecimal(ParseXmlLine(*countLine).value);
    if (count < 0) {
        return false;
    }
    std::vector<CPractice> practices;
    // The count is the file's word; no practice takes fewer bytes than its two tag lines.
    constexpr size_t kMinPracticeBytes = sizeof("<Practice>\n</Practice>\n") - 1;
    practices.reserve(std::min(static_cast<size_t>(count), text.size() / kMinPracticeBytes));
    for (int32_t i = 0; i < count; ++i) {
        CPractice temp(kXmlSchemaVersion);
        if (!temp.ReadXml(reader)) {
            return false;
        }
        // Constructed before the move, so the schema version ends as a default practice leaves it.
        practices.emplace_back() = std::move(temp);
    }
    // A practice element after the counted ones means the count is wrong; stop rather than lose it.
    const auto styleLine = FindLine(reader, "<PracSelStyle>", "<Practice>");
    if (!styleLine) {
        return false;
    }
    CPracSelInfo selInfo;
    selInfo.SetStyle(ParseDecimal(ParseXmlLine(*styleLine).value));
    if (!FindLine(reader, "<HeaderOrder>")) {
        return false;
    }
    for (size_t i = 0; i < kColumnCount; ++i) {
        if (!selInfo.ReadColumnPosition(reader, i)) {
            return false;
        }
    }
    if (!FindLine(reader, "<HeaderWidth>", "<Column>")) {
        return false;
    }
    for (size_t i = 0; i < kColumnCount; ++i) {
        if (!selInfo.ReadColumnWidth(reader, i)) {
            return false;
        }
    }
    if (!FindLine(reader, "<CustomMenu>", "<Column>") || !selInfo.ReadCustomMenu(reader)) {
        return false;
    }
    if (!FindLine(reader, "</PracticeFile>")) {
        return false;
    }
    Commit(std::move(practices), &selInfo);
    return true;
}

bool CPracFile::WriteXml(std::string& out) const {
    try {
        std::string text;
        AppendTagLine(text, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
        AppendTagLine(text, "<PracticeFile>");
        AppendValueLine(text, "SchemaVersion", kXmlSchemaVersion);
        AppendValueLine(text, "PracticeCount", static_cast<int32_t>(m_Practices.size()));
        for (const auto& practice : m_Practices) {
            practice.WriteXml(text);
        }
        AppendValueLine(text, "PracSelStyle", m_SelInfo.GetStyle());
        AppendTagLine(text, "<HeaderOrder>");
        for (size_t i = 0; i < kColumnCount; ++i) {
            m_SelInfo.WriteColumnPosition(text, i);
        }
        AppendTagLine(text, "</HeaderOrder>");
        AppendTagLine(text, "<HeaderWidth>");
        for (size_t i = 0; i < kColumnCount; ++i) {
            m_SelInfo.WriteColumnWidth(text, i);
        }
        AppendTagLine(text, "</HeaderWidth>");
        m_SelInfo.GetCustomMenu().WriteXml(text);
        text += "</PracticeFile>";
        out = std::move(text);
        return true;
    } catch (const std::exception& e) {
        Log(std::string("cannot build the practice list: ") + e.what());
        return false;
    }
}

bool CPracFile::LoadDetected(std::span<const uint8_t> bytes) {
    const int32_t format = DetectFormat(m_Path, bytes);
    switch (format) {
        case 0: {
            const bool headed = bytes.size() >= kLegacyHeader.size() &&
                                std::equal(kLegacyHeader.begin(), kLegacyHeader.end(), bytes.begin());
            if (!headed) {
                m_Kind = kKindText;
                return LoadText(bytes);
            }
            m_Kind = kKindHeaded;
            if (LoadHeaded(bytes)) {
                return true;
            }
            m_Kind = kKindBeta;
            if (LoadBeta(bytes)) {
                return true;
            }
            ShowMessage(kBetaCorrupt);
            return false;
        }
        case 4:
            m_Kind = kKindClassRecord;
            try {
                LoadVersion4(bytes);
                return true;
            } catch (const ArchiveError& e) {
                Log(m_Path.string() + ": " + e.what());
                ShowMessage(kUnknownFormat);
                return false;
            }
        case 5:
            return LoadVersion5(bytes);
        case kXmlSchemaVersion:
            if (ReadXml(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()))) {
                m_LoadedXmlPath = m_Path;
                return true;
            }
            Log(m_Path.string() + ": the practice list is damaged or incomplete");
            return false;
        default:
            ShowMessage(kUnknownFormat);
            return false;
    }
}

bool CPracFile::Load() {
    m_LoadedXmlPath.clear();
    m_LoadFailed = false;
    if (!Exists()) {
        return false;
    }
    std::string error;
    const auto bytes = ReadWholeFile(m_Path, error);
    if (!bytes) {
        Log(error);
        m_LoadFailed = true;
        platform::DefaultPrompt().Message("An error occurred while reading " + m_Path.string() + ".",
                                          platform::PromptIcon::Stop);
        return false;
    }
    // Until the file has been read whole, a save would replace data that was never seen.
    m_LoadFailed = true;
    const bool ok = LoadDetected(bytes->Span());
    m_LoadFailed = !ok;
    return ok;
}

bool CPracFile::Save(const std::vector<CPractice>* practices, const CPracSelInfo& selInfo) {
    if (practices == nullptr && !m_HasList) {
        return false;
    }
    if (m_LoadFailed) {
        Log(m_Path.string() + " could not be read; not saving over it");
        return false;
    }
    fs::path target = m_LoadedXmlPath;
    if (target.empty()) {
        // Where the next load will look: an existing practice.xml wins over a new one.
        const fs::path found = FindFile();
        target = EndsWith(found.string(), ".xml") && IsFile(found) ? found : GetSavePath();
    }
    if (target.empty() || EndsWith(target.string(), ".lst")) {
        Log("no place to save the practice list");
        return false;
    }
    if (practices != nullptr) {
        Commit(*practices, &selInfo);
    } else {
        m_SelInfo = selInfo;
    }
    m_Path = target;
    std::string text;
    if (!WriteXml(text) || !WriteFileReplacing(target, text)) {
        return false;
    }
    WriteRegistryPath(target.string());
    m_LoadedXmlPath = target;
    return true;
}

}  // namespace practice
