// The custom menu list: defaults, the .cmf archive, its recorded path, and loading and saving that never
// leave a half-read list or a half-written file behind.
#include "tools/custom_menu/custom_file.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/atomic_file.h"
#include "platform/registry.h"
#include "platform/unique_fd.h"
#include "platform/user_prompt.h"
#include "practice/archive.h"
#include "suite/registry_settings.h"

namespace tools {

namespace {

// Paths are kept whole: a Linux path may well be longer than the 260 bytes of a Windows one, and a path cut
// short would silently bring the defaults back.
constexpr uint32_t kPathBufferSize = 4096;

std::string ErrnoText(const std::string& what, int error) {
    return what + ": " + std::strerror(error);
}

// What tells one state of a file from another, for reporting its damage once.
std::string FileIdentity(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return path;
    }
    return path + '\n' + std::to_string(info.st_dev) + ':' + std::to_string(info.st_ino) + ':' +
           std::to_string(info.st_size) + ':' + std::to_string(info.st_mtim.tv_sec) + '.' +
           std::to_string(info.st_mtim.tv_nsec) + ':' + std::to_string(info.st_ctim.tv_sec) + '.' +
           std::to_string(info.st_ctim.tv_nsec);
}

std::string LoginName() {
    std::vector<char> buffer(512);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_name != nullptr && found->pw_name[0] != '\0') {
        return found->pw_name;
    }
    return "sorel";
}

}  // namespace

std::vector<uint8_t> FormatCustomMenuFile(const practice::CCustomMenuItemArray& items) {
    practice::ArchiveWriter archive;
    items.Serialize(archive);
    return archive.Take();
}

practice::CCustomMenuItemArray ParseCustomMenuFile(std::span<const uint8_t> bytes) {
    practice::ArchiveReader archive(bytes);
    practice::CCustomMenuItemArray items;
    items.Serialize(archive);
    archive.ExpectEnd("custom menu file");
    return items;
}

std::filesystem::path DefaultConfigFilePath(const std::filesystem::path& folder, std::string_view user) {
    return folder / (std::string(user) + ".cmf");
}

practice::CCustomMenuItemArray CCustomFile::DefaultItems() {
    static constexpr std::pair<const char*, const char*> kItems[] = {
        {"Appointments", "/app"},
        {"Display Patient", "/dis"},
        {"Edit Patient", "/epat"},
        {"Edit Payment", "/epay"},
        {"Edit Procedure", "/epro"},
        {"Menu", "/m1"},
        {"New Patient", "/pat"},
        {"Payment Entry", "/pay"},
        {"Procedure Entry", "/pro"},
        {practice::kSeparatorTitle, ""},
        {"Clinical Tasks", "/task"},
        {"Imaging", "/img"},
        {"Vellumo", "/ode"},
        {"Phone System", "/phone"},
        {"Prescription System", "/rxw"},
        {"View Patient Chart", "/vpc"},
    };
    practice::CCustomMenuItemArray items;
    for (const auto& [title, action] : kItems) {
        items.Add(practice::CCustomMenuItem(title, action, 0));
    }
    return items;
}

int32_t CCustomFile::GetConfigFilePath(std::string& path) {
    std::vector<char> buffer(kPathBufferSize);
    platform::RegType type = platform::RegType::Sz;
    uint32_t size = kPathBufferSize;
    const int32_t status = suite::RegReadValue(platform::HKey::CurrentUser, kMenuFileKey, kMenuFileValue,
                                               type, buffer.data(), size);
    if (status == 0) {
        path.assign(buffer.data(), ::strnlen(buffer.data(), size));
    }
    return status;
}

int32_t CCustomFile::SetConfigFilePath(const std::string& path) {
    platform::Registry& registry = platform::Registry::Default();
    int32_t status = registry.CreateKey(platform::HKey::CurrentUser, kMenuFileKey);
    if (status != 0) {
        platform::DefaultPrompt().Message("SetConfigFilePath: Could not create MenuFile key in registry.");
        return status;
    }
    status = registry.SetValue(platform::HKey::CurrentUser, kMenuFileKey, kMenuFileValue,
                               platform::RegValue::String(path));
    if (status != 0) {
        platform::DefaultPrompt().Message("SetConfigFilePath: Could not find MenuFile subkey in registry.");
    }
    return status;
}

int32_t CCustomFile::GetDefaultConfigFilePath(std::string& path) {
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::current_path(ec);
    if (ec) {
        return ec.value();
    }
    path = DefaultConfigFilePath(folder, LoginName()).string();
    return 0;
}

CCustomFile::FileStatus CCustomFile::LoadFile(const std::filesystem::path& path, std::string& error) {
    platform::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) {
        error = ErrnoText("cannot open " + path.string(), errno);
        return FileStatus::CannotOpen;
    }
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        error = path.string() + " is not a file";
        return FileStatus::CannotOpen;
    }
    if (static_cast<std::uintmax_t>(info.st_size) > kMaxCustomFileSize) {
        error = path.string() + " is too large for a custom menu file";
        return FileStatus::Damaged;
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(info.st_size));
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(fd.Get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            error = ErrnoText("cannot read " + path.string(), errno);
            return FileStatus::CannotOpen;
        }
        if (n == 0) {
            // Shrunk while being read: what is there is judged below.
            bytes.resize(done);
            break;
        }
        done += static_cast<size_t>(n);
    }
    try {
        m_items = ParseCustomMenuFile(bytes);
        m_hasList = true;
    } catch (const practice::ArchiveError& e) {
        error = e.what();
        return FileStatus::Damaged;
    }
    error.clear();
    return FileStatus::Read;
}

bool CCustomFile::SaveFile(const std::filesystem::path& path, std::string& error) const {
    const std::vector<uint8_t> bytes = FormatCustomMenuFile(m_items);
    platform::AtomicWriteOptions options;
    if (struct stat existing{}; ::stat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
        // The replacement keeps the permissions the user gave the file.
        options.mode = existing.st_mode & 07777;
    }
    platform::AtomicWriteStep step = platform::AtomicWriteStep::None;
    const std::error_code ec = platform::WriteFileAtomically(
        path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), options, step);
    switch (step) {
        case platform::AtomicWriteStep::None:
            error.clear();
            return true;
        case platform::AtomicWriteStep::Create:
            error = ErrnoText("cannot create " + path.string(), ec.value());
            return false;
        case platform::AtomicWriteStep::Write:
            error = ErrnoText("cannot write " + path.string(), ec.value());
            return false;
        case platform::AtomicWriteStep::Target:
        case platform::AtomicWriteStep::Replace:
            break;
    }
    error = ErrnoText("cannot replace " + path.string(), ec.value());
    return false;
}

int32_t CCustomFile::Load() {
    std::string path;
    if (GetConfigFilePath(path) != 0 || path.empty()) {
        SetDefaults();
        m_lastError.clear();
        return 1;
    }
    switch (LoadFile(path, m_lastError)) {
        case FileStatus::Read:
            m_reportedDamage.clear();
            return 1;
        case FileStatus::CannotOpen:
            SetDefaults();
            return 0;
        case FileStatus::Damaged: {
            if (!m_hasList) {
                SetDefaults();
            }
            std::string identity = FileIdentity(path);
            if (identity != m_reportedDamage) {
                m_reportedDamage = std::move(identity);
                platform::DefaultPrompt().Message(
                    "The custom menu file " + path + " is damaged and was not loaded.\n\n" + m_lastError,
                    platform::PromptIcon::Stop);
            }
            return 0;
        }
    }
    return 0;
}

void CCustomFile::Reset() {
    m_items = {};
    m_hasList = false;
    m_lastError.clear();
    m_reportedDamage.clear();
}

int32_t CCustomFile::Save() {
    std::string path;
    if (GetConfigFilePath(path) != 0 || path.empty()) {
        m_lastError = "no custom menu file is recorded";
        return 0;
    }
    return SaveFile(path, m_lastError) ? 1 : 0;
}

}  // namespace tools
