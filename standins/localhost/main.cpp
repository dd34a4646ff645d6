// Stand-in for the local host programs (sorel, billsrv, dload): records what it was started with and every
// byte it receives, answers the download tool's login exchange as strictly as the real tool, and plays
// either a scripted session or a plain greeting and echo. A test and demo tool, not product code.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/write_all.h"
#include "standins/escapes.h"

extern char** environ;

namespace {

constexpr char kEsc = 0x1B;
constexpr std::size_t kMaxLine = 511;
// The client's fixed fields hold this many characters.
constexpr std::size_t kMaxField = 79;

// Exit codes, so a test can tell why the stand-in ended.
constexpr int kExitLoginRefused = 2;
constexpr int kExitEndOfInput = 3;
constexpr int kExitUnexpectedInput = 4;
constexpr int kExitWriteFailed = 5;
constexpr int kExitBadScript = 64;

constexpr const char* kUsage =
    "usage: standin-sorel [host program arguments...]  (env CARROWLINE_STANDIN_RECORD=file records argv, "
    "environment, folder and input; CARROWLINE_STANDIN_SCRIPT=file plays a scripted session)\n";

// One line per event, "<pid> <key> <escaped value>", each written at once so the record is complete
// whenever the process ends.
class Record {
  public:
    Record() {
        if (const char* path = std::getenv("CARROWLINE_STANDIN_RECORD"); path != nullptr && *path != '\0') {
            m_fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
        }
        m_prefix = std::to_string(::getpid()) + " ";
    }
    ~Record() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    Record(const Record&) = delete;
    Record& operator=(const Record&) = delete;

    int Fd() const { return m_fd; }
    void Line(std::string_view key, std::string_view value) const {
        if (m_fd >= 0) {
            platform::WriteAll(m_fd,
                               m_prefix + std::string(key) + " " + standins::EncodeEscapes(value) + "\n");
        }
    }

  private:
    int m_fd = -1;
    std::string m_prefix;
};

Record* g_record = nullptr;

[[noreturn]] void Exit(int code) {
    g_record->Line("exit", std::to_string(code));
    std::exit(code);
}

void Send(std::string_view bytes, int fd = 1) {
    if (!platform::WriteAll(fd, bytes)) {
        g_record->Line("write-failed", std::strerror(errno));
        Exit(kExitWriteFailed);
    }
}

// The host error report the client understands: ESC '[' '%' text 0x01 'P'.
[[noreturn]] void Refuse(int code, std::string_view text) {
    g_record->Line("refused", text);
    Send(std::string{kEsc, '[', '%'} + std::string(text) + "\x01P");
    Exit(code);
}

// Standard input, with every block read recorded as it arrives.
class Input {
  public:
    // False at end of input.
    bool Fill() {
        char buffer[1024];
        for (;;) {
            const ssize_t n = ::read(0, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return false;
            }
            g_record->Line("recv", std::string_view(buffer, static_cast<std::size_t>(n)));
            m_pending.append(buffer, static_cast<std::size_t>(n));
            return true;
        }
    }
    // Whatever is buffered, or one further block; false at end of input.
    bool Take(std::string& out) {
        if (m_pending.empty() && !Fill()) {
            return false;
        }
        out = std::move(m_pending);
        m_pending.clear();
        return true;
    }
    bool TakeExactly(std::size_t count, std::string& out) {
        while (m_pending.size() < count) {
            if (!Fill()) {
                return false;
            }
        }
        out = m_pending.substr(0, count);
        m_pending.erase(0, count);
        return true;
    }
    // One line without its '\n'; false at end of input before the '\n' or past `max` bytes.
    bool Line(std::size_t max, std::string& out, bool& tooLong) {
        tooLong = false;
        for (;;) {
            const std::size_t end = m_pending.find('\n');
            if (end != std::string::npos) {
                out = m_pending.substr(0, end);
                m_pending.erase(0, end + 1);
                tooLong = out.size() > max;
                return !tooLong;
            }
            if (m_pending.size() > max) {
                tooLong = true;
                return false;
            }
            if (!Fill()) {
                return false;
            }
        }
    }

  private:
    std::string m_pending;
};

bool IsDecimal(std::string_view text) {
    if (text.empty() || text.size() > 9) {
        return false;
    }
    for (const char ch : text) {
        if (ch < '0' || ch > '9') {
            return false;
        }
    }
    return true;
}

bool IsPlainText(std::string_view text) {
    for (const char ch : text) {
        if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F) {
            return false;
        }
    }
    return true;
}

std::string BaseName(std::string_view path) {
    const std::size_t slash = path.find_last_of("/\\");
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

// The "-pipelogin..." argument, empty when there is none.
std::string PipeLoginArgument(int argc, char** argv) {
    for (int n = 1; n < argc; ++n) {
        if (std::string_view(argv[n]).starts_with("-pipelogin")) {
            return argv[n];
        }
    }
    return {};
}

// The download tool's side: the sync byte, then for "-pipelogin2" the lines mode, user, password,
// terminal id and run text. Anything a real tool could not use is refused with an error report.
void AnswerLogin(Input& input, std::string_view variant) {
    Send("~");
    if (variant != "-pipelogin2") {
        g_record->Line("login", "sync only");
        return;
    }
    struct Field {
        const char* name;
        bool number;
        std::size_t minChars;
        int low;
        int high;
    };
    const Field fields[] = {
        {"mode", true, 1, 0, 3},         {"user", true, 1, 1, 999},    {"password", false, 1, 0, 0},
        {"terminal id", false, 0, 0, 0}, {"run text", false, 0, 0, 0},
    };
    // All five lines first, as the tool reads its login, then each one judged.
    std::string lines[std::size(fields)];
    for (std::size_t n = 0; n < std::size(fields); ++n) {
        bool tooLong = false;
        if (!input.Line(kMaxLine, lines[n], tooLong)) {
            Refuse(kExitLoginRefused, std::string("Login refused: the ") + fields[n].name +
                                          (tooLong ? " line is too long" : " line is missing"));
        }
    }
    for (std::size_t n = 0; n < std::size(fields); ++n) {
        const Field& field = fields[n];
        const std::string& line = lines[n];
        bool good = false;
        if (field.number) {
            const int value = IsDecimal(line) ? std::atoi(line.c_str()) : -1;
            good = value >= field.low && value <= field.high;
        } else {
            good = line.size() >= field.minChars && line.size() <= kMaxField && IsPlainText(line);
        }
        if (!good) {
            Refuse(kExitLoginRefused, std::string("Login refused: bad ") + field.name + " line");
        }
        g_record->Line(std::string("login-") + (field.number ? field.name : "text"), line);
    }
    g_record->Line("login", "accepted");
}

// Echoes what it reads until "/quit\r" or the end of input.
[[noreturn]] void Echo(Input& input) {
    static constexpr std::string_view kQuit = "/quit\r";
    std::string tail;
    std::string block;
    while (input.Take(block)) {
        Send(block);
        tail += block;
        if (tail.find(kQuit) != std::string::npos) {
            Exit(0);
        }
        if (tail.size() > kQuit.size()) {
            tail.erase(0, tail.size() - kQuit.size());
        }
    }
    Exit(0);
}

[[noreturn]] void Greet(Input& input, std::string_view program) {
    // A host screen as the terminal expects it: cleared, homed and titled.
    Send("\x1b[2J\x1b[H\x1b[%Carrowline stand-in host\x01O");
    Send("Carrowline stand-in host program\r\n");
    Send("Started as " + std::string(program) + "\r\n");
    Send("Type /quit to end the session.\r\n");
    Echo(input);
}

// A script holds one directive per line ('#' starts a comment); TEXT takes the escapes of DecodeEscapes:
//   send TEXT      write TEXT to standard output        senderr TEXT   write TEXT to standard error
//   expect TEXT    the next bytes read must be TEXT, else an error report and exit 4 (3 at end of input)
//   report TEXT    the host error report ESC [ % TEXT 0x01 P
//   login          the download tool's login exchange    echo           echo until "/quit\r"
//   drain          read until end of input                closein        close standard input
//   sleep MS       pause                                  exit CODE      end with CODE
// The end of the script ends the program with 0.
[[noreturn]] void PlayScript(const char* path, Input& input, int argc, char** argv) {
    std::ifstream file(path);
    if (!file) {
        std::fprintf(stderr, "standin-sorel: cannot open script %s\n", path);
        Exit(kExitBadScript);
    }
    int lineNumber = 0;
    auto bad = [&](const std::string& why) {
        std::fprintf(stderr, "standin-sorel: %s line %d: %s\n", path, lineNumber, why.c_str());
        Exit(kExitBadScript);
    };
    for (std::string line; std::getline(file, line);) {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty() || line.front() == '#') {
            continue;
        }
        const std::size_t blank = line.find(' ');
        const std::string verb = line.substr(0, blank);
        std::string text;
        if (blank != std::string::npos) {
            std::string why;
            std::optional<std::string> decoded =
                standins::DecodeEscapes(std::string_view(line).substr(blank + 1), &why);
            if (!decoded) {
                bad("bad escape: " + why);
            }
            text = std::move(*decoded);
        }
        if (verb == "send") {
            Send(text);
        } else if (verb == "senderr") {
            Send(text, 2);
        } else if (verb == "expect") {
            std::string got;
            if (!input.TakeExactly(text.size(), got)) {
                g_record->Line("eof", "before " + text);
                Exit(kExitEndOfInput);
            }
            if (got != text) {
                Refuse(kExitUnexpectedInput, "Unexpected input");
            }
        } else if (verb == "report") {
            Send(std::string{kEsc, '[', '%'} + text + "\x01P");
        } else if (verb == "login") {
            const std::string variant = PipeLoginArgument(argc, argv);
            if (variant.empty()) {
                bad("login without a -pipelogin argument");
            }
            AnswerLogin(input, variant);
        } else if (verb == "echo") {
            Echo(input);
        } else if (verb == "drain") {
            std::string block;
            while (input.Take(block)) {
            }
        } else if (verb == "closein") {
            ::close(0);
        } else if (verb == "sleep") {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(text.c_str())));
        } else if (verb == "exit") {
            Exit(std::atoi(text.c_str()));
        } else {
            bad("unknown directive " + verb);
        }
    }
    Exit(0);
}

void RecordStart(int argc, char** argv) {
    for (int n = 0; n < argc; ++n) {
        g_record->Line("argv", argv[n]);
    }
    char folder[4096];
    g_record->Line("cwd", ::getcwd(folder, sizeof folder) != nullptr ? folder : "?");
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        g_record->Line("env", *entry);
    }
    // Inherited descriptors beyond standard I/O (a hand-over mapping, or a leak).
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        const int own = ::dirfd(dir);
        while (const dirent* entry = ::readdir(dir)) {
            const int fd = std::atoi(entry->d_name);
            if (entry->d_name[0] != '.' && fd > 2 && fd != own && fd != g_record->Fd()) {
                g_record->Line("fd", entry->d_name);
            }
        }
        ::closedir(dir);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string_view(argv[1]) == "--help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    // A client that went away ends the session through a failed write, not a signal.
    ::signal(SIGPIPE, SIG_IGN);
    Record record;
    g_record = &record;
    RecordStart(argc, argv);

    Input input;
    if (const char* script = std::getenv("CARROWLINE_STANDIN_SCRIPT"); script != nullptr && *script != '\0') {
        PlayScript(script, input, argc, argv);
    }
    const std::string program = BaseName(argc > 0 ? argv[0] : "standin-sorel");
    const std::string variant = PipeLoginArgument(argc, argv);
    if (program == "dload" && !variant.empty()) {
        AnswerLogin(input, variant);
    }
    Greet(input, program);
}
