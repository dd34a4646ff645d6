// The install helpers against the bare work they stand on, each pair in one run:
// - CountMatchingCaptions over 500 managed windows (private Xvfb and window manager) against a bare
//   pipelined XCB read of the client list's names; both connect per call, as a one-shot caller does.
// - The installer's round trip for an empty message against a bare Unix-socket echo in another process.
// - The installer running /bin/true against the echo plus a direct Spawn and wait of /bin/true, and against
//   the echo plus /bin/sh -c /bin/true started directly (the interpreter's own start is most of the gap).
// The socket pairs run with the benchmark, the echo and the installer on one processor: left to the
// scheduler, a run often put the echo beside the benchmark and the installer elsewhere, and a peer on
// another processor pays a wake-up on it in every round trip (about 10 us against 60 us in such a run;
// on one processor about 9 us against 11 us).
#include <benchmark/benchmark.h>
#include <sched.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "installsupport/dorvik.h"
#include "platform/spawn.h"
#include "platform/unique_fd.h"
#include "platform/write_all.h"
#include "testsupport/xvfb_server.h"

namespace {

using Clock = std::chrono::steady_clock;
using platform::UniqueFd;

constexpr int kWindows = 500;
constexpr auto kSafetyNet = std::chrono::seconds(30);
// Untimed pairs before the timed ones: the first calls of a run pay for cold caches and first allocations.
constexpr int kWarmUpPairs = 50;

std::map<std::string, std::vector<double>> g_samples;  // microseconds per call, by benchmark

// The address of a socket at `path` (shorter than sun_path, as the benchmark's are).
sockaddr_un SocketAddress(const std::filesystem::path& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    return addr;
}

double Micros(Clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

// Runs the bare call and ours in turn, each timed on its own, so that a machine whose load changes during
// the run weighs on both alike; a call answering false fails the benchmark.
template <typename Bare, typename Ours>
void Alternating(benchmark::State& state, const std::string& bareName, Bare bare, const std::string& ourName,
                 Ours ours) {
    for (int i = 0; i < kWarmUpPairs; ++i) {
        if (!bare() || !ours()) {
            state.SkipWithError(("the warm-up of " + bareName + " and " + ourName + " failed").c_str());
            return;
        }
    }
    for (auto _ : state) {
        const auto start = Clock::now();
        if (!bare()) {
            state.SkipWithError(("the call of " + bareName + " failed").c_str());
            return;
        }
        const auto middle = Clock::now();
        if (!ours()) {
            state.SkipWithError(("the call of " + ourName + " failed").c_str());
            return;
        }
        const auto end = Clock::now();
        g_samples[bareName].push_back(Micros(middle - start));
        g_samples[ourName].push_back(Micros(end - middle));
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
}

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
    auto* reply = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : 0;
    std::free(reply);
    return atom;
}

// The X side: a private server, the window manager and 500 captioned windows of one connection.
class Desktop {
  public:
    ~Desktop() {
        if (m_windows) {
            xcb_disconnect(m_windows);
        }
        if (m_wm > 0) {
            ::kill(m_wm, SIGTERM);
            platform::WaitForExit(m_wm);
        }
    }

    bool Start(std::string& why) {
        if (const auto missing = testsupport::XvfbMissing()) {
            why = *missing;
            return false;
        }
        if (!m_xvfb.Start(why)) {
            return false;
        }
        ::setenv("DISPLAY", m_xvfb.Display().c_str(), 1);
        platform::SpawnOptions options;
        options.program = "matchbox-window-manager";
        options.argv = {"matchbox-window-manager", "-use_titlebar", "no"};
        options.nullStdio = true;
        std::string message;
        auto wm = platform::Spawn(options, nullptr, &message);
        if (!wm) {
            why = message;
            return false;
        }
        m_wm = wm->pid;
        m_windows = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(m_windows)) {
            why = "cannot connect to the private X server";
            return false;
        }
        if (!WaitFor("_NET_SUPPORTING_WM_CHECK", XCB_ATOM_WINDOW, 1)) {
            why = "the window manager did not start";
            return false;
        }
        MakeWindows();
        if (!WaitFor("_NET_CLIENT_LIST", XCB_ATOM_WINDOW, kWindows)) {
            why = "the window manager did not list the windows";
            return false;
        }
        return true;
    }

  private:
    void MakeWindows() {
        xcb_connection_t* c = m_windows;
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        const xcb_atom_t netName = Atom(c, "_NET_WM_NAME");
        const xcb_atom_t utf8 = Atom(c, "UTF8_STRING");
        const xcb_atom_t netPid = Atom(c, "_NET_WM_PID");
        char host[256] = {};
        ::gethostname(host, sizeof host - 1);
        const uint32_t pid = static_cast<uint32_t>(::getpid());
        for (int i = 0; i < kWindows; ++i) {
            const xcb_window_t w = xcb_generate_id(c);
            xcb_create_window(c, XCB_COPY_FROM_PARENT, w, screen->root, 0, 0, 200, 100, 0,
                              XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
            const std::string caption = "Setup step " + std::to_string(i) + " - Carrowline";
            const auto set = [&](xcb_atom_t property, xcb_atom_t type, int format, const void* data,
                                 size_t n) {
                xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, property, type, static_cast<uint8_t>(format),
                                    static_cast<uint32_t>(n), data);
            };
            set(netName, utf8, 8, caption.data(), caption.size());
            set(XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, caption.data(), caption.size());
            set(XCB_ATOM_WM_CLIENT_MACHINE, XCB_ATOM_STRING, 8, host, std::strlen(host));
            set(netPid, XCB_ATOM_CARDINAL, 32, &pid, 1);
            xcb_map_window(c, w);
        }
        xcb_flush(c);
    }

    // Waits until the root's `name` property holds at least `count` values.
    bool WaitFor(const char* name, xcb_atom_t type, int count) {
        xcb_connection_t* c = m_windows;
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
        const xcb_atom_t atom = Atom(c, name);
        const auto deadline = Clock::now() + kSafetyNet;
        while (Clock::now() < deadline) {
            auto* reply = xcb_get_property_reply(
                c, xcb_get_property(c, 0, root, atom, type, 0, static_cast<uint32_t>(count) + 16), nullptr);
            const int have = reply ? xcb_get_property_value_length(reply) / 4 : 0;
            std::free(reply);
            // Events for the windows' connection are of no use here; drop them so they do not pile up.
            while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
                std::free(event);
            }
            if (have >= count) {
                return true;
            }
            ::usleep(5000);
        }
        return false;
    }

    testsupport::XvfbServer m_xvfb;
    pid_t m_wm = -1;
    xcb_connection_t* m_windows = nullptr;
};

// What any caller needs at least: connect, the client list, and every client's _NET_WM_NAME, pipelined.
bool BareClientNames() {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return false;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const auto listCookie = xcb_intern_atom(c, 0, 16, "_NET_CLIENT_LIST");
    const auto nameCookie = xcb_intern_atom(c, 0, 12, "_NET_WM_NAME");
    const auto utf8Cookie = xcb_intern_atom(c, 0, 11, "UTF8_STRING");
    xcb_atom_t atoms[3] = {};
    const xcb_intern_atom_cookie_t cookies[3] = {listCookie, nameCookie, utf8Cookie};
    for (int i = 0; i < 3; ++i) {
        auto* reply = xcb_intern_atom_reply(c, cookies[i], nullptr);
        atoms[i] = reply ? reply->atom : 0;
        std::free(reply);
    }
    auto* list =
        xcb_get_property_reply(c, xcb_get_property(c, 0, root, atoms[0], XCB_ATOM_WINDOW, 0, 4096), nullptr);
    size_t named = 0;
    if (list) {
        const auto* ids = static_cast<const xcb_window_t*>(xcb_get_property_value(list));
        const int count = xcb_get_property_value_length(list) / 4;
        std::vector<xcb_get_property_cookie_t> pending;
        pending.reserve(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i) {
            pending.push_back(xcb_get_property(c, 0, ids[i], atoms[1], atoms[2], 0, 1024));
        }
        for (const auto cookie : pending) {
            if (auto* reply = xcb_get_property_reply(c, cookie, nullptr)) {
                const std::string name(static_cast<const char*>(xcb_get_property_value(reply)),
                                       static_cast<size_t>(xcb_get_property_value_length(reply)));
                named += !name.empty();
                std::free(reply);
            }
        }
        std::free(list);
    }
    xcb_disconnect(c);
    return named >= kWindows;
}

// The socket side: a client's message in, its reply line out.
std::string RoundTrip(const std::filesystem::path& socketPath, std::string_view message) {
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_un addr = SocketAddress(socketPath);
    if (::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        return "(no connection)";
    }
    if (!platform::WriteAll(fd.Get(), message) || ::shutdown(fd.Get(), SHUT_WR) != 0) {
        return "(send failed)";
    }
    std::string reply;
    char buffer[256];
    ssize_t n;
    while ((n = ::read(fd.Get(), buffer, sizeof buffer)) > 0) {
        reply.append(buffer, static_cast<size_t>(n));
    }
    return reply;
}

bool WaitForSocket(const std::filesystem::path& socketPath) {
    const auto deadline = Clock::now() + kSafetyNet;
    while (Clock::now() < deadline) {
        UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        const sockaddr_un addr = SocketAddress(socketPath);
        if (::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) {
            return true;
        }
        ::usleep(2000);
    }
    return false;
}

// The bare peer of the service: one client at a time, read to end of file, one reply line. A process of
// its own, as the service is.
pid_t StartEcho(const std::filesystem::path& socketPath) {
    UniqueFd listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_un addr = SocketAddress(socketPath);
    if (::bind(listener.Get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listener.Get(), 8) != 0) {
        return -1;
    }
    const pid_t pid = ::fork();
    if (pid != 0) {
        return pid;
    }
    for (;;) {
        UniqueFd client(::accept4(listener.Get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (!client) {
            continue;
        }
        char buffer[4096];
        while (::read(client.Get(), buffer, sizeof buffer) > 0) {
        }
        (void)platform::WriteAll(client.Get(), "0\n");
    }
}

// Puts the calling thread and `peers` on the processor the thread runs on now, so that every round trip
// between them sees the same placement; false, with a message on stderr, when one of them cannot be moved.
bool PinTogether(std::initializer_list<pid_t> peers) {
    const int cpu = ::sched_getcpu();
    if (cpu < 0) {
        std::perror("installsupport_bench: sched_getcpu");
        return false;
    }
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(cpu, &one);
    bool pinned = true;
    for (const pid_t pid : peers) {
        if (::sched_setaffinity(pid, sizeof one, &one) != 0) {
            std::fprintf(stderr, "installsupport_bench: cannot pin process %d: %s\n", static_cast<int>(pid),
                         std::strerror(errno));
            pinned = false;
        }
    }
    if (::sched_setaffinity(0, sizeof one, &one) != 0) {
        std::perror("installsupport_bench: cannot pin the benchmark");
        pinned = false;
    }
    return pinned;
}

// /bin/true started directly, or as the service starts every command: through the command interpreter.
bool SpawnTrue(bool throughShell) {
    platform::SpawnOptions options;
    options.program = throughShell ? "/bin/sh" : "/bin/true";
    if (throughShell) {
        options.argv = {"/bin/sh", "-c", "/bin/true"};
    }
    options.nullStdio = true;
    const auto child = platform::Spawn(options);
    return child && platform::WaitForExit(child->pid) == 0;
}

void Report(const char* measure, const char* what, const std::string& ours, const std::string& bare,
            double goal) {
    const auto o = g_samples.find(ours);
    const auto b = g_samples.find(bare);
    if (o == g_samples.end() || b == g_samples.end()) {
        bench::ReportNotMeasured(measure, "the benchmark or its baseline did not run");
        return;
    }
    const double om = bench::Percentile(o->second, 0.5);
    const double bm = bench::Percentile(b->second, 0.5);
    std::printf("  %-44s %9.1f us against %9.1f us: %.2fx (goal at most %.1fx)\n", what, om, bm,
                bm > 0 ? om / bm : 0.0, goal);
    bench::ReportMeasure(measure, om, bm, "us", bench::AtMost(goal));
}

}  // namespace

int main(int argc, char** argv) {
    char folder[] = "/tmp/installsupport-bench-XXXXXX";
    if (::mkdtemp(folder) == nullptr) {
        std::perror("installsupport_bench: mkdtemp");
        return 1;
    }
    const std::filesystem::path root(folder);
    // The library's logs and the installer's state stay in the bench's own folder.
    ::setenv("TMPDIR", folder, 1);
    ::setenv("CARROWLINE_ROOT", (root / "root").c_str(), 1);

    const auto echoPath = root / "echo";
    const pid_t echo = StartEcho(echoPath);
    const auto installerPath = root / "installer";
    platform::SpawnOptions options;
    options.program = CARROWLINE_INSTALLER;
    options.argv = {CARROWLINE_INSTALLER, "/debug", "/socket:" + installerPath.string()};
    options.workingFolder = root;
    options.nullStdio = true;
    const auto installer = platform::Spawn(options);
    if (echo < 0 || !installer || !WaitForSocket(installerPath)) {
        std::fprintf(stderr, "installsupport_bench: the echo or the installer did not start\n");
        return 1;
    }

    Desktop desktop;
    std::string why;
    const bool windows = desktop.Start(why);
    if (!windows) {
        std::fprintf(stderr, "installsupport_bench: no windows benchmark: %s\n", why.c_str());
    } else {
        benchmark::RegisterBenchmark("Windows/BareNamesThenCountMatchingCaptions",
                                     [](benchmark::State& s) {
                                         // A caption nothing has: every window is read.
                                         Alternating(s, "bare", BareClientNames, "count", [] {
                                             return CountMatchingCaptions("No such caption") != 0;
                                         });
                                     })
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(200);
    }
    const auto pinTogether = [&](benchmark::State& s) {
        if (PinTogether({echo, installer->pid})) {
            return true;
        }
        s.SkipWithError("the benchmark, the echo and the installer cannot share a processor");
        return false;
    };
    benchmark::RegisterBenchmark("Installer/EchoThenEmptyMessage",
                                 [&](benchmark::State& s) {
                                     if (!pinTogether(s)) {
                                         return;
                                     }
                                     Alternating(
                                         s, "echo", [&] { return RoundTrip(echoPath, "") == "0\n"; }, "empty",
                                         [&] { return RoundTrip(installerPath, "") == "ERROR empty\n"; });
                                 })
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond)
        ->Iterations(3000);
    benchmark::RegisterBenchmark(
        "Installer/EchoAndSpawnThenRunTrue",
        [&](benchmark::State& s) {
            if (!pinTogether(s)) {
                return;
            }
            Alternating(
                s, "echo+spawn",
                [&] { return RoundTrip(echoPath, "/bin/true") == "0\n" && SpawnTrue(false); }, "true",
                [&] { return RoundTrip(installerPath, "/bin/true") == "0\n"; });
        })
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond)
        ->Iterations(500);
    // What of that is the interpreter's own start: the echo plus /bin/sh -c /bin/true, started directly.
    benchmark::RegisterBenchmark(
        "Installer/EchoAndSpawnShellThenRunTrue",
        [&](benchmark::State& s) {
            if (!pinTogether(s)) {
                return;
            }
            Alternating(
                s, "echo+spawn sh",
                [&] { return RoundTrip(echoPath, "/bin/true") == "0\n" && SpawnTrue(true); }, "true again",
                [&] { return RoundTrip(installerPath, "/bin/true") == "0\n"; });
        })
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond)
        ->Iterations(500);

    bench::RateReporter reporter;
    const bool ran = bench::RunBenchmarks(argc, argv, reporter);
    ::kill(installer->pid, SIGTERM);
    platform::WaitForExit(installer->pid);
    ::kill(echo, SIGKILL);
    platform::WaitForExit(echo);
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
    if (!ran) {
        return 1;
    }
    std::printf("\nMedians, this run (each pair alternating):\n");
    Report("dorvik_count_captions", "CountMatchingCaptions, 500 windows", "count", "bare", 3.0);
    Report("installer_empty_message", "installer, empty message", "empty", "echo", 2.0);
    Report("installer_bin_true", "installer, /bin/true", "true", "echo+spawn", 1.5);
    Report("installer_bin_true_sh", "installer, /bin/true against /bin/sh -c", "true again", "echo+spawn sh",
           1.5);
    return 0;
}
