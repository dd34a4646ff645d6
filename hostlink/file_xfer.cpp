// The dial-back file transfer on its worker thread: connect, TLS, then one received file, or one or several
// sent files, with progress reports to the control. A received file only replaces the target once every
// announced byte has arrived.
#include "hostlink/file_xfer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <optional>
#include <random>
#include <system_error>
#include <vector>

#include "hostlink/remote_log.h"
#include "platform/atomic_file.h"
#include "platform/codepage.h"
#include "platform/event_fd.h"
#include "platform/expand_environment.h"
#include "platform/host_path.h"
#include "platform/known_folders.h"
#include "platform/poll_wait.h"
#include "platform/registry.h"
#include "platform/user_prompt.h"
#include "platform/win32_error.h"

namespace hostlink {

namespace fs = std::filesystem;

struct CClientFileXfer::CancelLink {
    std::mutex mutex;
    CClientFileXfer* xfer = nullptr;  // null once the transfer has been deleted
};

namespace {

constexpr std::string_view kParseError = "Error Parsing DialBack Info";

// Socket errors as the host's users have always seen them; a TLS failure is no socket error.
int32_t SocketErrorCode(int err) {
    return err == EPROTO ? 0 : SocketErrorFromErrno(err);
}

// The causes the file error texts are keyed by.
enum class FileCause {
    Generic = 1,
    FileNotFound,
    BadPath,
    TooManyOpenFiles,
    AccessDenied,
    InvalidFile,
    RemoveCurrentDir,
    DirectoryFull,
    BadSeek,
    HardIO,
    SharingViolation,
    LockViolation,
    DiskFull,
    EndOfFile,
};

FileCause CauseFromErrno(int err) {
    switch (err) {
        case ENOENT:
            return FileCause::FileNotFound;
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
            return FileCause::BadPath;
        case EMFILE:
        case ENFILE:
            return FileCause::TooManyOpenFiles;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
        case EEXIST:
            return FileCause::AccessDenied;
        case EBADF:
            return FileCause::InvalidFile;
        case ESPIPE:
            return FileCause::BadSeek;
        case EIO:
            return FileCause::HardIO;
        case ETXTBSY:
        case EBUSY:
            return FileCause::SharingViolation;
        case EDEADLK:
        case ENOLCK:
            return FileCause::LockViolation;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return FileCause::DiskFull;
        default:
            return FileCause::Generic;
    }
}

std::string FileErrorText(FileCause cause, const std::string& path) {
    switch (cause) {
        case FileCause::Generic:
            return "Unspecified error opening file '" + path + "'";
        case FileCause::FileNotFound:
            return "File '" + path + "' could not be located";
        case FileCause::BadPath:
            return "All or part of the path '" + path + "' is invalid";
        case FileCause::TooManyOpenFiles:
            return "The permitted number of open files was exceeded";
        case FileCause::AccessDenied:
            return "The file '" + path + "' could not be accessed";
        case FileCause::InvalidFile:
            return "There was an attempt to use an invalid file handle";
        case FileCause::RemoveCurrentDir:
            return "The current working directory cannot be removed";
        case FileCause::DirectoryFull:
            return "There are no more directory entries";
        case FileCause::BadSeek:
            return "There was an error trying to set the file pointer";
        case FileCause::HardIO:
            return "There was a hardware error";
        case FileCause::SharingViolation:
            return "A shared region was locked";
        case FileCause::LockViolation:
            return "There was an attempt to lock a regionthat was already locked";
        case FileCause::DiskFull:
            return "The disk is full";
        case FileCause::EndOfFile:
            return "The end of file was reached";
    }
    return "Unknown File Error";
}

[[noreturn]] void ThrowFileError(int err, const std::string& path) {
    throw FileXferError(FileErrorText(CauseFromErrno(err), path));
}

// "%d" in a system text replaced by the number.
std::string WithCode(std::string_view format, int64_t code) {
    std::string text(format);
    if (const size_t at = text.find("%d"); at != std::string::npos) {
        text.replace(at, 2, std::to_string(code));
    }
    return text;
}

std::string BaseName(std::string_view path) {
    const size_t cut = path.find_last_of("\\/:");
    return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

// Host bytes shown in a message: control bytes as \xNN so the text stays readable.
std::string Printable(std::string_view bytes) {
    std::string out;
    for (const char ch : bytes) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte < 0x20 || byte == 0x7f) {
            std::array<char, 5> hex{};
            std::snprintf(hex.data(), hex.size(), "\\x%02X", byte);
            out += hex.data();
        } else {
            out += ch;
        }
    }
    return out;
}

bool IsBlank(char ch) {
    return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\v' || ch == '\f' || ch == '\r';
}

[[noreturn]] void ThrowAborted() {
    throw FileXferError(std::string(CClientFileXfer::kAbortedText));
}

void ShowError(const std::string& text) {
    platform::PromptRequest request;
    request.text = text;
    request.icon = platform::PromptIcon::Stop;
    request.systemModal = true;  // topmost, in front
    platform::DefaultPrompt().Show(request);
}

std::optional<fs::path> TranslateHostPath(std::string_view hostPath, std::string* why) {
    return platform::HostPath(platform::Registry::Default()).Translate(hostPath, why);
}

// A received file under construction: a temporary file beside the target that replaces it only on
// Commit(). Anything short of that removes the temporary file and leaves the target as it was.
class PartialFile {
  public:
    PartialFile(fs::path target, std::string shown) : m_target(std::move(target)), m_shown(std::move(shown)) {
        std::error_code ec;
        // Replacing a link would cut it; the file it leads to is what the user means.
        if (fs::is_symlink(fs::symlink_status(m_target, ec))) {
            if (fs::path real = fs::canonical(m_target, ec); !ec) {
                m_target = real;
            }
        }
        std::optional<mode_t> keepMode;
        struct stat info {};
        if (::stat(m_target.c_str(), &info) == 0) {
            if (S_ISDIR(info.st_mode)) {
                ThrowFileError(EISDIR, m_shown);
            }
            if (!S_ISREG(info.st_mode)) {
                ThrowFileError(EACCES, m_shown);
            }
            if (::access(m_target.c_str(), W_OK) != 0) {
                ThrowFileError(errno, m_shown);
            }
            keepMode = info.st_mode & 07777;  // as truncating the file in place would keep it
        }

        fs::path folder = m_target.parent_path();
        if (folder.empty()) {
            folder = ".";
        }
        const std::string base = m_target.filename().string().substr(0, 100);
        thread_local std::mt19937_64 random{std::random_device{}()};
        for (int attempt = 0;; ++attempt) {
            std::array<char, 17> suffix{};
            std::snprintf(suffix.data(), suffix.size(), "%016llx", static_cast<unsigned long long>(random()));
            m_temp = folder / ("." + base + "." + suffix.data() + ".part");
            m_fd = platform::UniqueFd(
                ::open(m_temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666));
            if (m_fd) {
                break;
            }
            const int err = errno;
            if (err != EEXIST || attempt >= 100) {
                m_temp.clear();
                // A missing folder is a bad path when creating, as on Windows.
                if (err == ENOENT) {
                    throw FileXferError(FileErrorText(FileCause::BadPath, m_shown));
                }
                ThrowFileError(err, m_shown);
            }
        }
        if (keepMode) {
            ::fchmod(m_fd.Get(), *keepMode);
        }
    }
    ~PartialFile() {
        if (!m_committed && !m_temp.empty()) {
            m_fd.Reset();
            ::unlink(m_temp.c_str());
        }
    }
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;

    void Write(const char* bytes, size_t count) {
        while (count > 0) {
            const ssize_t written = ::write(m_fd.Get(), bytes, count);
            if (written < 0) {
                if (errno == EINTR) {
                    continue;
                }
                ThrowFileError(errno, m_shown);
            }
            bytes += written;
            count -= static_cast<size_t>(written);
        }
    }

    void Commit() {
        if (::fdatasync(m_fd.Get()) != 0) {
            ThrowFileError(errno, m_shown);
        }
        const int fd = m_fd.Release();
        if (::close(fd) != 0 && errno != EINTR) {
            ThrowFileError(errno, m_shown);
        }
        if (::rename(m_temp.c_str(), m_target.c_str()) != 0) {
            ThrowFileError(errno, m_shown);
        }
        m_committed = true;
    }

    const fs::path& Target() const { return m_target; }

  private:
    fs::path m_target;
    std::string m_shown;
    fs::path m_temp;
    platform::UniqueFd m_fd;
    bool m_committed = false;
};

// Moves a file as the Windows move does, across volumes too: an existing file at the target stays and the
// move fails, so the host can never overwrite a file the user already has.
bool MoveFile(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    if (fs::equivalent(from, to, ec)) {
        return true;
    }
    platform::AtomicWriteOptions options;
    options.replaceExisting = false;
    return !platform::MoveFileAtomically(from, to, options);
}

}  // namespace

CClientFileXfer::CClientFileXfer()
    : m_cancelEvent(platform::MakeEventFd()), m_link(std::make_shared<CancelLink>()) {
    m_link->xfer = this;
}

CClientFileXfer::~CClientFileXfer() {
    {
        std::lock_guard lock(m_link->mutex);
        m_link->xfer = nullptr;
    }
    CloseSocket();
}

void CClientFileXfer::Init(std::string_view text, PipeOwner& owner, const DialBackTarget& target) {
    m_owner = &owner;
    m_hostText.Assign(target.hostText);
    m_address = target.address;

    // "%*s %d %s %s", with the two words bounded by their fields; the text ends at a NUL, as a C string.
    if (const size_t nul = text.find('\0'); nul != std::string_view::npos) {
        text = text.substr(0, nul);
    }
    size_t pos = 0;
    const auto skipBlanks = [&] {
        while (pos < text.size() && IsBlank(text[pos])) {
            ++pos;
        }
    };
    const auto word = [&] {
        skipBlanks();
        const size_t start = pos;
        while (pos < text.size() && !IsBlank(text[pos])) {
            ++pos;
        }
        return text.substr(start, pos - start);
    };
    if (word().empty()) {
        throw FileXferError(std::string(kParseError));
    }
    skipBlanks();
    const size_t numberStart = pos;
    if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) {
        ++pos;
    }
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        ++pos;
    }
    std::string_view number = text.substr(numberStart, pos - numberStart);
    if (!number.empty() && number.front() == '+') {
        number.remove_prefix(1);
    }
    int64_t port = 0;
    const auto parsed = std::from_chars(number.data(), number.data() + number.size(), port);
    if (number.empty() || parsed.ec != std::errc() || parsed.ptr != number.data() + number.size()) {
        throw FileXferError(std::string(kParseError));
    }
    const std::string_view direction = word();
    const std::string_view path = word();
    if (direction.empty() || path.empty() || direction.size() > kMaxDirection || path.size() > kMaxPath ||
        port < 1 || port > 65535) {
        throw FileXferError(std::string(kParseError));
    }
    m_port = static_cast<int32_t>(port);
    m_direction = std::string(direction);

    // The host cannot put blanks in a word; it sends 0x02 in their place.
    std::string unblanked(path);
    std::replace(unblanked.begin(), unblanked.end(), '\x02', ' ');
    std::string expanded = platform::ExpandEnvironment(unblanked);
    if (expanded.size() > kMaxPath) {
        throw FileXferError("Failed (" + std::to_string(platform::win32::kInsufficientBuffer) +
                            ") to expand path '" + unblanked + "'");
    }
    m_path = std::move(expanded);
}

void CClientFileXfer::Status(std::string_view text) {
    m_status = std::string(text);
    m_owner->ReportTransfer(TransferProgress::StatusText, 0, m_status);
}

void CClientFileXfer::Report(TransferProgress code, int64_t value) {
    m_owner->ReportTransfer(code, value, {});
}

void CClientFileXfer::ThrowSocketError(const char* format, int32_t result) {
    const int err = errno;
    if (Cancelled()) {
        ThrowAborted();
    }
    throw FileXferError(WithCode(format, result == 0 ? 0 : SocketErrorCode(err)));
}

void CClientFileXfer::WriteAll(std::string_view bytes, const char* errorFormat) {
    const int32_t written = m_tls->Write(bytes.data(), static_cast<int32_t>(bytes.size()));
    if (written != static_cast<int32_t>(bytes.size())) {
        ThrowSocketError(errorFormat, written < 0 ? written : -1);
    }
}

void CClientFileXfer::Cancel() {
    m_cancelled.store(true, std::memory_order_release);
    platform::SignalEvent(m_cancelEvent);
    std::lock_guard lock(m_tlsMutex);
    if (m_tls) {
        m_tls->Cancel();
    }
}

void CClientFileXfer::CloseSocket() {
    {
        std::lock_guard lock(m_tlsMutex);
        m_tls.reset();
    }
    m_socket.Reset();
}

void CClientFileXfer::Connect() {
    const std::string host = m_hostText.Str();
    const std::string where = host + ":" + std::to_string(m_port);
    Status("Connecting to " + where);
    if (Cancelled()) {
        ThrowAborted();
    }
    const auto connectError = [&](int err) {
        return FileXferError("Error " + std::to_string(SocketErrorCode(err)) +
                             " Occurred While Connecting to " + where);
    };

    platform::UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd) {
        throw FileXferError(WithCode("Error Creating DialBack Socket: %d", SocketErrorCode(errno)));
    }
    if (m_address == 0) {
        throw connectError(EADDRNOTAVAIL);  // the host's address was never resolved
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(m_port));
    address.sin_addr.s_addr = m_address;
    // Cancel ends a connect to a host that does not answer.
    const int err =
        platform::ConnectNonBlocking(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address,
                                     {.cancelled = &m_cancelled, .cancelEvent = m_cancelEvent.Get()});
    if (err == ECANCELED) {
        ThrowAborted();
    }
    if (err != 0) {
        throw connectError(err);
    }
    // Name, size and data go out as separate small records; without this each waits for an acknowledgement.
    const int on = 1;
    ::setsockopt(fd.Get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    m_socket = std::move(fd);

    {
        std::lock_guard lock(m_tlsMutex);
        m_tls = std::make_unique<CSslSocket>();
        if (Cancelled()) {
            m_tls->Cancel();
        }
    }
    errno = 0;
    if (!m_tls->Connect(m_socket.Get())) {
        const int err = errno;
        if (Cancelled()) {
            ThrowAborted();
        }
        throw FileXferError("Error " + std::to_string(SocketErrorCode(err)) +
                            " Occurred While Creating SSL Connection to " + where);
    }
}

fs::path CClientFileXfer::LocalPath(const std::string& hostPath) const {
    std::string why;
    if (std::optional<fs::path> local = TranslateHostPath(hostPath, &why)) {
        return *local;
    }
    throw FileXferError("The path '" + hostPath + "' cannot be used: " + why);
}

std::string CClientFileXfer::DialogFolder() const {
    const std::string rest = m_path.substr(1);
    if (rest.empty()) {
        return {};
    }
    // Only a starting point for the user: a folder that cannot be used opens the dialog's default.
    const std::optional<fs::path> folder = TranslateHostPath(rest, nullptr);
    return folder ? folder->string() : std::string();
}

std::string CClientFileXfer::ChooseOne(FileDialogKind kind, std::string_view title) {
    const auto chosen = m_owner->ChooseFiles(kind, title, DialogFolder());
    if (!chosen || chosen->empty() || chosen->front().empty() || Cancelled()) {
        ThrowAborted();
    }
    return chosen->front();
}

void CClientFileXfer::ReceiveFile() {
    Status("Copying file from remote network host");
    fs::path local;
    std::string shown;
    if (DialogPath()) {
        const std::string chosen = ChooseOne(FileDialogKind::Save, "Save File As");
        local = chosen;
        shown = platform::Utf8ToCp1252(chosen);
    } else {
        shown = m_path;
        local = LocalPath(m_path);
    }
    PartialFile file(local, shown);
    WriteAll(BaseName(shown), "Error transmitting file name: %d");

    // The size: decimal digits up to a blank. Anything else is refused before a byte is stored.
    std::string sizeText;
    for (;;) {
        char ch = 0;
        const int32_t got = m_tls->Read(&ch, 1);
        if (got <= 0) {
            ThrowSocketError("Error getting remote file size: %d", got);
        }
        if (ch == ' ') {
            break;
        }
        sizeText.push_back(ch);
        if (sizeText.size() > 20) {
            throw FileXferError("Invalid remote file size: '" + Printable(sizeText) + "...'");
        }
    }
    uint64_t size = 0;
    const auto parsed = std::from_chars(sizeText.data(), sizeText.data() + sizeText.size(), size);
    const bool digitsOnly = !sizeText.empty() && std::all_of(sizeText.begin(), sizeText.end(),
                                                             [](char ch) { return ch >= '0' && ch <= '9'; });
    if (!digitsOnly) {
        throw FileXferError("Invalid remote file size: '" + Printable(sizeText) + "'");
    }
    if (parsed.ec != std::errc() || size > kMaxFileSize) {
        throw FileXferError("Remote file size " + sizeText + " exceeds the limit of " +
                            std::to_string(kMaxFileSize) + " bytes");
    }

    Report(TransferProgress::FileBegins, 0);
    Report(TransferProgress::Range, static_cast<int64_t>(size));
    std::array<char, kChunkSize> chunk{};
    uint64_t received = 0;
    uint64_t chunks = 0;
    while (received < size) {
        // Whole chunks whatever the host's record sizes; never a byte past the announced size.
        const size_t want = static_cast<size_t>(std::min<uint64_t>(kChunkSize, size - received));
        size_t filled = 0;
        while (filled < want) {
            const int32_t got = m_tls->Read(chunk.data() + filled, static_cast<int32_t>(want - filled));
            if (got <= 0) {
                if (Cancelled()) {
                    ThrowAborted();
                }
                throw FileXferError("Error reading file socket");
            }
            filled += static_cast<size_t>(got);
        }
        file.Write(chunk.data(), filled);
        received += filled;
        if (++chunks % 7 == 0) {
            Report(TransferProgress::Position, static_cast<int64_t>(received));
        }
    }
    Report(TransferProgress::Position, static_cast<int64_t>(size));
    file.Commit();

    CloseSocket();
    RenameForClient(file.Target());
}

void CClientFileXfer::RenameForClient(const fs::path& received) {
    const std::string name = m_owner->ClientFileName();
    if (name.empty()) {
        return;
    }
    std::optional<fs::path> target;
    if (name.find_first_of(":\\") != std::string::npos) {
        target = TranslateHostPath(name, nullptr);
    } else if (name.find('/') == std::string::npos && name.find('\0') == std::string::npos && name != "." &&
               name != "..") {
        target = platform::TempFolder() / platform::Cp1252ToUtf8(name);
    }
    if (!target || !MoveFile(received, *target)) {
        platform::DefaultPrompt().Message("Error renaming client file", platform::PromptIcon::None, "Error");
    }
}

void CClientFileXfer::SendFile(const fs::path& local, const std::string& shown) {
    platform::UniqueFd fd(::open(local.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd) {
        const int err = errno;
        std::error_code ec;
        // A missing folder is a bad path; a missing file in an existing one is not found.
        if (err == ENOENT && !fs::is_directory(local.parent_path(), ec)) {
            throw FileXferError(FileErrorText(FileCause::BadPath, shown));
        }
        ThrowFileError(err, shown);
    }
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0) {
        ThrowFileError(errno, shown);
    }
    if (!S_ISREG(info.st_mode)) {
        ThrowFileError(S_ISDIR(info.st_mode) ? EISDIR : EACCES, shown);
    }
    const uint64_t size = static_cast<uint64_t>(info.st_size);

    WriteAll(BaseName(shown), "Error transmitting file name: %d");
    WriteAll(std::to_string(size) + " ", "Error send file length: %d");
    Report(TransferProgress::FileBegins, 0);
    Report(TransferProgress::Range, static_cast<int64_t>(size));

    std::array<char, kChunkSize> chunk{};
    uint64_t sent = 0;
    uint64_t chunks = 0;
    while (sent < size) {
        if (Cancelled()) {
            ThrowAborted();
        }
        const size_t want = static_cast<size_t>(std::min<uint64_t>(kChunkSize, size - sent));
        size_t filled = 0;
        while (filled < want) {
            const ssize_t got = ::read(fd.Get(), chunk.data() + filled, want - filled);
            if (got < 0) {
                if (errno == EINTR) {
                    continue;
                }
                ThrowFileError(errno, shown);
            }
            if (got == 0) {
                // The file shrank after its size went out: the host cannot get what it was promised.
                throw FileXferError(FileErrorText(FileCause::EndOfFile, shown));
            }
            filled += static_cast<size_t>(got);
        }
        WriteAll(std::string_view(chunk.data(), filled), "Error transmitting file: %d");
        sent += filled;
        if (++chunks % 7 == 0) {
            Report(TransferProgress::Position, static_cast<int64_t>(sent));
        }
    }
    Report(TransferProgress::Position, static_cast<int64_t>(size));
}

void CClientFileXfer::SendSingle() {
    Status("Copying file to remote network host");
    if (DialogPath()) {
        const std::string chosen = ChooseOne(FileDialogKind::Open, "Open File");
        SendFile(chosen, platform::Utf8ToCp1252(chosen));
    } else {
        SendFile(LocalPath(m_path), m_path);
    }
}

void CClientFileXfer::SendMultiple() {
    Status("Copying file(s) to remote network host");
    auto chosen = m_owner->ChooseFiles(FileDialogKind::OpenMultiple, "Open File", DialogFolder());
    if (!chosen || chosen->empty() || Cancelled()) {
        ThrowAborted();
    }
    std::erase_if(*chosen, [](const std::string& path) { return path.empty(); });
    if (chosen->empty()) {
        ThrowAborted();
    }
    WriteAll(std::to_string(chosen->size()) + " ", "Error Sending Number of Files");
    for (const std::string& path : *chosen) {
        Status("Copying file to remote network host");
        SendFile(path, platform::Utf8ToCp1252(path));
    }
}

void CClientFileXfer::EndHandshake() {
    char byte = 0;
    // The host answers one byte, or just closes; only a failed read is worth telling the user.
    const int32_t got = m_tls->Read(&byte, 1);
    if (got < 0) {
        ThrowSocketError("Error Receiving End Handshake: %d", got);
    }
    CloseSocket();
}

void CClientFileXfer::Fail(const std::string& text) {
    CloseSocket();
    Status("Aborted");
    Report(TransferProgress::Ended, 0);
    if (Cancelled() || text == kAbortedText) {
        return;
    }
    ShowError("File Transfer Error:\n\n" + text);
    if (!m_owner->PostCloseOnSorelExit()) {
        m_owner->SorelExit();
    }
}

void CClientFileXfer::Run() {
    if (m_owner == nullptr) {
        return;  // never initialised: nobody to report to
    }
    try {
        Connect();
        const bool send = platform::EqualsNoCase(m_direction, "send");
        const bool recv = platform::EqualsNoCase(m_direction, "recv");
        const bool multi = platform::EqualsNoCase(m_direction, "multirecv");
        if (send) {
            ReceiveFile();
        } else if (recv || (multi && !DialogPath())) {
            SendSingle();
            EndHandshake();
        } else if (multi) {
            SendMultiple();
            EndHandshake();
        } else {
            ShowError("Invalid File Transfer Command");
            // Nothing was moved: the transfer did not happen, whatever the host thinks.
            CloseSocket();
            Status("Aborted");
            Report(TransferProgress::Ended, 0);
            return;
        }
        Status("Done");
        Report(TransferProgress::Ended, 0);
    } catch (const std::exception& error) {
        Fail(error.what());
    }
}

void CClientFileXfer::FileXferThreadProc(std::unique_ptr<CClientFileXfer> xfer) {
    if (xfer) {
        xfer->Run();
    }
}

FileXferThread CClientFileXfer::Start(std::unique_ptr<CClientFileXfer> xfer) {
    FileXferThread handle;
    if (!xfer) {
        return handle;
    }
    handle.m_link = xfer->m_link;
    handle.m_thread = std::thread(&CClientFileXfer::FileXferThreadProc, std::move(xfer));
    return handle;
}

FileXferThread& FileXferThread::operator=(FileXferThread&& other) noexcept {
    if (this != &other) {
        Cancel();
        Join();
        m_link = std::move(other.m_link);
        m_thread = std::move(other.m_thread);
    }
    return *this;
}

FileXferThread::~FileXferThread() {
    Cancel();
    Join();
}

void FileXferThread::Cancel() {
    if (m_link) {
        std::lock_guard lock(m_link->mutex);
        if (m_link->xfer != nullptr) {
            m_link->xfer->Cancel();
        }
    }
}

void FileXferThread::Join() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

bool FileXferThread::Finished() const {
    if (!m_link) {
        return true;
    }
    std::lock_guard lock(m_link->mutex);
    return m_link->xfer == nullptr;
}

}  // namespace hostlink
