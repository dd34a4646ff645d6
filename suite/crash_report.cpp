// Fatal-signal handler. Everything it calls after the fault is async-signal-safe apart from backtrace()
// and dladdr(), which are warmed up at installation so that they no longer allocate or load anything.
#include "suite/crash_report.h"

#include <dlfcn.h>
#include <execinfo.h>
#include <fcntl.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/known_folders.h"
#include "suite/debug_log.h"

namespace suite {

namespace {

constexpr size_t kAltStackSize = 128 * 1024;
constexpr int kMaxFrames = 64;
constexpr int kAddressDigits = static_cast<int>(sizeof(uintptr_t) * 2);

alignas(16) char g_altStack[kAltStackSize];
std::atomic<CCrashReport*> g_active{nullptr};
std::atomic<bool> g_reporting{false};

const char* SignalName(int signal) {
    switch (signal) {
        case SIGSEGV:
            return "SIGSEGV";
        case SIGBUS:
            return "SIGBUS";
        case SIGILL:
            return "SIGILL";
        case SIGFPE:
            return "SIGFPE";
        case SIGABRT:
            return "SIGABRT";
        default:
            return "UNKNOWN";
    }
}

// A line built in a fixed buffer; what does not fit is dropped.
class Line {
  public:
    Line& Text(const char* text) {
        while (*text != '\0' && m_length < sizeof(m_buffer)) {
            m_buffer[m_length++] = *text++;
        }
        return *this;
    }
    Line& Hex(uintptr_t value, int digits) {
        char digitsOut[2 * sizeof(uintptr_t) + 1];
        int n = 0;
        do {
            digitsOut[n++] = "0123456789ABCDEF"[value & 0xF];
            value >>= 4;
        } while (value != 0 && n < static_cast<int>(sizeof(digitsOut)) - 1);
        for (int pad = digits - n; pad > 0; --pad) {
            Text("0");
        }
        while (n > 0 && m_length < sizeof(m_buffer)) {
            m_buffer[m_length++] = digitsOut[--n];
        }
        return *this;
    }
    void Send(int reportFd, int logFd) const {
        WriteAll(reportFd);
        WriteAll(logFd);
    }

  private:
    void WriteAll(int fd) const {
        if (fd < 0) {
            return;
        }
        size_t done = 0;
        while (done < m_length) {
            const ssize_t n = ::write(fd, m_buffer + done, m_length - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return;
            }
            done += static_cast<size_t>(n);
        }
    }

    char m_buffer[768];
    size_t m_length = 0;
};

void SendText(const char* text, int reportFd, int logFd) {
    Line().Text(text).Send(reportFd, logFd);
}

uintptr_t InstructionPointer(const siginfo_t* info, const void* context) {
#if defined(__x86_64__)
    if (context != nullptr) {
        return static_cast<uintptr_t>(static_cast<const ucontext_t*>(context)->uc_mcontext.gregs[REG_RIP]);
    }
#elif defined(__aarch64__)
    if (context != nullptr) {
        return static_cast<uintptr_t>(static_cast<const ucontext_t*>(context)->uc_mcontext.pc);
    }
#else
    (void)context;
#endif
    return reinterpret_cast<uintptr_t>(info != nullptr ? info->si_addr : nullptr);
}

// "<module>+<offset>" of an address, or "?" when no loaded object holds it.
Line& AppendModule(Line& line, uintptr_t address, bool withSymbol) {
    Dl_info where{};
    if (dladdr(reinterpret_cast<void*>(address), &where) == 0 || where.dli_fname == nullptr) {
        return line.Text("?");
    }
    const auto base = reinterpret_cast<uintptr_t>(where.dli_fbase);
    line.Text(where.dli_fname[0] != '\0' ? where.dli_fname : "?").Text("+").Hex(address - base, 8);
    if (withSymbol && where.dli_sname != nullptr) {
        line.Text("  ")
            .Text(where.dli_sname)
            .Text("+")
            .Hex(address - reinterpret_cast<uintptr_t>(where.dli_saddr), 1);
    }
    return line;
}

void WriteRegisters(const void* context, int reportFd, int logFd) {
    SendText("\nRegisters:\n", reportFd, logFd);
#if defined(__x86_64__)
    if (context == nullptr) {
        SendText("(no register context)\n", reportFd, logFd);
        return;
    }
    const greg_t* regs = static_cast<const ucontext_t*>(context)->uc_mcontext.gregs;
    struct Named {
        const char* name;
        int index;
    };
    static constexpr Named kGeneral[] = {
        {"RAX:", REG_RAX}, {"RBX:", REG_RBX}, {"RCX:", REG_RCX}, {"RDX:", REG_RDX}, {"RSI:", REG_RSI},
        {"RDI:", REG_RDI}, {"R8:", REG_R8},   {"R9:", REG_R9},   {"R10:", REG_R10}, {"R11:", REG_R11},
        {"R12:", REG_R12}, {"R13:", REG_R13}, {"R14:", REG_R14}, {"R15:", REG_R15},
    };
    for (const Named& reg : kGeneral) {
        Line()
            .Text(reg.name)
            .Hex(static_cast<uintptr_t>(regs[reg.index]), 16)
            .Text("\n")
            .Send(reportFd, logFd);
    }
    const auto segments = static_cast<uintptr_t>(regs[REG_CSGSFS]);
    Line()
        .Text("CS:RIP:")
        .Hex(segments & 0xFFFF, 4)
        .Text(":")
        .Hex(static_cast<uintptr_t>(regs[REG_RIP]), 16)
        .Text("\n")
        .Send(reportFd, logFd);
    Line()
        .Text("RSP:")
        .Hex(static_cast<uintptr_t>(regs[REG_RSP]), 16)
        .Text("  RBP:")
        .Hex(static_cast<uintptr_t>(regs[REG_RBP]), 16)
        .Text("\n")
        .Send(reportFd, logFd);
    Line()
        .Text("FS:")
        .Hex((segments >> 32) & 0xFFFF, 4)
        .Text("  GS:")
        .Hex((segments >> 16) & 0xFFFF, 4)
        .Text("\n")
        .Send(reportFd, logFd);
    Line()
        .Text("EFLAGS:")
        .Hex(static_cast<uintptr_t>(regs[REG_EFL]) & 0xFFFFFFFFu, 8)
        .Text("\n")
        .Send(reportFd, logFd);
#else
    (void)context;
    SendText("(registers are not reported on this machine)\n", reportFd, logFd);
#endif
}

// The stack from the faulting instruction on; the handler's own frames are left out when the fault
// address is among the frames.
void WriteCallStack(uintptr_t faultAddress, int reportFd, int logFd) {
    void* frames[kMaxFrames];
    const int count = backtrace(frames, kMaxFrames);
    int first = 0;
    while (first < count && reinterpret_cast<uintptr_t>(frames[first]) != faultAddress) {
        ++first;
    }
    if (first == count) {
        first = 0;
    }
    SendText("\nCall stack:\n", reportFd, logFd);
    SendText("Address           Module+offset  Symbol+displacement\n", reportFd, logFd);
    for (int i = first; i < count; ++i) {
        const auto address = reinterpret_cast<uintptr_t>(frames[i]);
        Line line;
        line.Hex(address, kAddressDigits).Text("  ");
        AppendModule(line, address, true).Text("\n").Send(reportFd, logFd);
    }
    SendText("\n", reportFd, logFd);
}

}  // namespace

std::string CCrashReport::ReportFileName(std::string_view programFile) {
    const size_t dot = programFile.rfind('.');
    if (dot != std::string_view::npos && dot > 0 && programFile.size() - dot - 1 > 2) {
        return std::string(programFile.substr(0, dot)) + ".RPT";
    }
    return std::string(programFile) + ".RPT";
}

CCrashReport::CCrashReport() {
    const std::filesystem::path folder = platform::UserStateFolder() / "carrowline";
    platform::CreateFolder(folder);
    m_reportPath = folder / ReportFileName(platform::ProgramFileName());
    const std::string& text = m_reportPath.native();
    if (text.size() < sizeof(m_path)) {
        std::memcpy(m_path, text.c_str(), text.size() + 1);
    }

    // The first backtrace() loads the unwinder and the first dladdr() takes its locks' first allocations;
    // neither may happen in the handler.
    void* warm[2];
    backtrace(warm, 2);
    Dl_info where{};
    dladdr(reinterpret_cast<void*>(&CCrashReport::Handler), &where);

    stack_t stack{};
    stack.ss_sp = g_altStack;
    stack.ss_size = sizeof(g_altStack);
    m_stackInstalled = sigaltstack(&stack, &m_previousStack) == 0;

    struct sigaction action {};
    action.sa_sigaction = &CCrashReport::Handler;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int signal : kSignals) {
        sigaddset(&action.sa_mask, signal);
    }
    m_outer = g_active.exchange(this);
    for (int i = 0; i < kSignalCount; ++i) {
        sigaction(kSignals[i], &action, &m_previous[i]);
    }
}

CCrashReport::~CCrashReport() {
    for (int i = 0; i < kSignalCount; ++i) {
        sigaction(kSignals[i], &m_previous[i], nullptr);
    }
    g_active.store(m_outer);
    if (m_stackInstalled) {
        stack_t current{};
        if (sigaltstack(nullptr, &current) == 0 && current.ss_sp == g_altStack &&
            (current.ss_flags & SS_ONSTACK) == 0) {
            stack_t previous = m_previousStack;
            if (previous.ss_sp == nullptr) {
                previous.ss_flags = SS_DISABLE;
            }
            sigaltstack(&previous, nullptr);
        }
    }
}

void CCrashReport::RestorePrevious(int signal) const {
    for (int i = 0; i < kSignalCount; ++i) {
        if (kSignals[i] == signal) {
            sigaction(signal, &m_previous[i], nullptr);
            return;
        }
    }
}

void CCrashReport::WriteReport(int signal, const siginfo_t* info, const void* context) const {
    const int reportFd =
        m_path[0] != '\0' ? ::open(m_path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_SYNC, 0644) : -1;
    const int logFd = ProcessDebugLogFd();

    SendText("//=====================================================\n", reportFd, logFd);
    Line()
        .Text("Exception code: ")
        .Hex(static_cast<uintptr_t>(signal), 8)
        .Text(" ")
        .Text(SignalName(signal))
        .Text("\n")
        .Send(reportFd, logFd);
    const uintptr_t address = InstructionPointer(info, context);
    Line line;
    line.Text("Fault address:  ").Hex(address, kAddressDigits).Text(" ");
    AppendModule(line, address, false).Text("\n").Send(reportFd, logFd);
    WriteRegisters(context, reportFd, logFd);
    WriteCallStack(address, reportFd, logFd);

    if (reportFd >= 0) {
        ::close(reportFd);
    }
}

void CCrashReport::Handler(int signal, siginfo_t* info, void* context) {
    const int savedErrno = errno;
    // A second thread that faults while the first one reports waits for the process to end.
    if (g_reporting.exchange(true)) {
        for (;;) {
            pause();
        }
    }
    const CCrashReport* self = g_active.load();
    if (self != nullptr) {
        self->WriteReport(signal, info, context);
        self->RestorePrevious(signal);
    } else {
        struct sigaction fallback {};
        fallback.sa_handler = SIG_DFL;
        sigaction(signal, &fallback, nullptr);
    }
    g_reporting.store(false);
    errno = savedErrno;
    // A fault repeats when the instruction runs again and now meets the previous handler; a signal that
    // was sent (abort, kill) has to be sent again.
    if (info == nullptr || info->si_code <= 0) {
        raise(signal);
    }
}

}  // namespace suite
