// The remote connection's error log and the socket error table.
#include "hostlink/remote_log.h"

#include <fcntl.h>
#include <locale.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <ctime>
#include <mutex>
#include <utility>

#include "platform/known_folders.h"
#include "platform/user_prompt.h"

namespace hostlink {
namespace {

constexpr std::pair<int32_t, std::string_view> kSocketErrors[] = {
    {0, "No error"},
    {10004, "Interrupted system call"},
    {10009, "Bad file number"},
    {10013, "Permission denied"},
    {10014, "Bad address"},
    {10022, "Invalid argument"},
    {10024, "Too many open sockets"},
    {10035, "Operation would block"},
    {10036, "Operation now in progress"},
    {10037, "Operation already in progress"},
    {10038, "Socket operation on non-socket"},
    {10039, "Destination address required"},
    {10040, "Message too long"},
    {10041, "Protocol wrong type for socket"},
    {10042, "Bad protocol option"},
    {10043, "Protocol not supported"},
    {10044, "Socket type not supported"},
    {10045, "Operation not supported on socket"},
    {10046, "Protocol family not supported"},
    {10047, "Address family not supported"},
    {10048, "Address already in use"},
    {10049, "Can't assign requested address"},
    {10050, "Network is down"},
    {10051, "Network is unreachable"},
    {10052, "Net connection reset"},
    {10053, "Software caused connection abort"},
    {10054, "Connection reset by peer"},
    {10055, "No buffer space available"},
    {10056, "Socket is already connected"},
    {10057, "Socket is not connected"},
    {10058, "Can't send after socket shutdown"},
    {10059, "Too many references, can't splice"},
    {10060, "Connection timed out"},
    {10061, "Connection refused"},
    {10062, "Too many levels of symbolic links"},
    {10063, "File name too long"},
    {10064, "Host is down"},
    {10065, "No route to host"},
    {10066, "Directory not empty"},
    {10067, "Too many processes"},
    {10068, "Too many users"},
    {10069, "Disc quota exceeded"},
    {10070, "Stale NFS file handle"},
    {10071, "Too many levels of remote in path"},
    {10091, "Network system is unavailable"},
    {10092, "Winsock version out of range"},
    {10093, "WSAStartup not yet called"},
    {10101, "Graceful shutdown in progress"},
};

std::mutex g_logMutex;

}  // namespace

std::string_view SocketErrorText(int32_t code) {
    for (const auto& [value, text] : kSocketErrors) {
        if (value == code) {
            return text;
        }
    }
    return "unknown error";
}

int32_t SocketErrorFromErrno(int err) {
    switch (err) {
        case 0:
            return 0;
        case EINTR:
        case ECANCELED:
            return 10004;
        case EBADF:
            return 10009;
        case EACCES:
        case EPERM:
            return 10013;
        case EFAULT:
            return 10014;
        case EINVAL:
            return 10022;
        case EMFILE:
        case ENFILE:
            return 10024;
        case EAGAIN:
            return 10035;
        case EINPROGRESS:
            return 10036;
        case EALREADY:
            return 10037;
        case ENOTSOCK:
            return 10038;
        case EDESTADDRREQ:
            return 10039;
        case EMSGSIZE:
            return 10040;
        case EPROTOTYPE:
            return 10041;
        case ENOPROTOOPT:
            return 10042;
        case EPROTONOSUPPORT:
            return 10043;
        case ESOCKTNOSUPPORT:
            return 10044;
        case EOPNOTSUPP:
            return 10045;
        case EPFNOSUPPORT:
            return 10046;
        case EAFNOSUPPORT:
            return 10047;
        case EADDRINUSE:
            return 10048;
        case EADDRNOTAVAIL:
            return 10049;
        case ENETDOWN:
            return 10050;
        case ENETUNREACH:
            return 10051;
        case ENETRESET:
            return 10052;
        case ECONNABORTED:
        case EPROTO:
        case EIO:
            return 10053;
        case ECONNRESET:
            return 10054;
        case ENOBUFS:
        case ENOMEM:
            return 10055;
        case EISCONN:
            return 10056;
        case ENOTCONN:
            return 10057;
        case ESHUTDOWN:
        case EPIPE:
            return 10058;
        case ETOOMANYREFS:
            return 10059;
        case ETIMEDOUT:
            return 10060;
        case ECONNREFUSED:
            return 10061;
        case ELOOP:
            return 10062;
        case ENAMETOOLONG:
            return 10063;
        case EHOSTDOWN:
            return 10064;
        case EHOSTUNREACH:
            return 10065;
        case ENOTEMPTY:
            return 10066;
        case EUSERS:
            return 10068;
        case EDQUOT:
            return 10069;
        case ESTALE:
            return 10070;
        case EREMOTE:
            return 10071;
        default:
            return err;
    }
}

std::string SocketErrorLine(std::string_view operation, int32_t code) {
    std::string line(operation);
    line += " (" + std::to_string(code) + "): ";
    line += SocketErrorText(code);
    return line;
}

std::filesystem::path RemoteLogPath() {
    return platform::TempFolder() / "varnel.log";
}

void WriteRemoteLog(std::string_view text) {
    const std::filesystem::path path = RemoteLogPath();
    // The C locale's form, whatever locale the program's user interface set.
    static const locale_t cLocale = ::newlocale(LC_ALL_MASK, "C", locale_t{});
    std::array<char, 128> stamp{};
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (::localtime_r(&now, &local) == nullptr ||
        (cLocale != locale_t{} ? ::strftime_l(stamp.data(), stamp.size(), "%c", &local, cLocale)
                               : std::strftime(stamp.data(), stamp.size(), "%c", &local)) == 0) {
        stamp[0] = '\0';
    }
    std::string line(stamp.data());
    line += ": ";
    line += text;
    line += "\n";

    std::unique_lock lock(g_logMutex);
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        lock.unlock();
        platform::DefaultPrompt().Message("Can't open error logging file: " + path.string());
        return;
    }
    // One write per line keeps lines of several processes whole.
    std::size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(fd, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
}

}  // namespace hostlink
