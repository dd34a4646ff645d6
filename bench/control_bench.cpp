// The terminal control end to end, in process and offscreen, on the local pipe users run (CLocalPipe on a
// real pipe pair whose host ends the benchmark holds): key-to-wire latency against a bare pipe write and
// read, the local pipe's Read and the host-stream throughput through reader thread, screen and painting
// against a reader that only reads, and the full repaint of a busy 80x25 screen. Prints the figures and
// the ratios the goals name.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>
#include <array>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "hostlink/comm_pipe.h"
#include "hostlink/local_pipe.h"
#include "platform/event_fd.h"
#include "platform/poll_wait.h"
#include "platform/registry.h"
#include "platform/sigpipe_block.h"
#include "platform/unique_fd.h"
#include "platform/write_all.h"
#include "suite/client_mode.h"
#include "terminal/control/quillet_session.h"
#include "terminal/quillet/quillet_ctrl.h"
#include "terminal/widget/terminal_widget.h"

namespace {

using Clock = std::chrono::steady_clock;
using platform::UniqueFd;

constexpr size_t kRead = 1024;  // the reader thread's block
constexpr int kLatencySamples = 20000;

struct PipePair {
    UniqueFd read;
    UniqueFd write;
};

PipePair MakePipe() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        std::perror("pipe2");
        std::exit(1);
    }
    return {UniqueFd(fds[0]), UniqueFd(fds[1])};
}

double CpuMicroseconds(clockid_t clock) {
    timespec now{};
    ::clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
}

bool ReadExactly(int fd, char* buffer, size_t count) {
    while (count > 0) {
        const ssize_t n = ::read(fd, buffer, count);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        buffer += n;
        count -= static_cast<size_t>(n);
    }
    return true;
}

// The local pipe on ends the benchmark made: the host program is the benchmark itself, so there is no
// login step and no child to start.
class AttachedLocalPipe final : public hostlink::CLocalPipe {
  public:
    AttachedLocalPipe(UniqueFd hostInput, UniqueFd hostOutput) {
        AttachEnds(std::move(hostInput), std::move(hostOutput));
    }
    bool Open(hostlink::PipeOwner* owner) override {
        if (owner != nullptr) {
            m_owner = owner;
        }
        return true;
    }
};

// A reference only: a pipe of the benchmark's own that waits before every read, as an earlier version of
// this benchmark read the host's output.
class BenchPipe final : public hostlink::CCommPipe {
  public:
    explicit BenchPipe(UniqueFd hostOutput)
        : CCommPipe(0), m_hostOutput(std::move(hostOutput)), m_wake(platform::MakeEventFd()) {}

    bool Read(void* buffer, uint32_t count, uint32_t& bytesRead) override {
        bytesRead = 0;
        platform::FdWait wait;
        wait.fd = m_hostOutput.Get();
        wait.events = POLLIN;
        wait.cancelEvent = m_wake.Get();
        if (platform::WaitForFd(wait) != platform::WaitResult::Ready) {
            return false;
        }
        const ssize_t n = ::read(m_hostOutput.Get(), buffer, count);
        if (n <= 0) {
            return false;
        }
        bytesRead = static_cast<uint32_t>(n);
        return true;
    }
    bool Open(hostlink::PipeOwner*) override { return true; }
    void Close() override { platform::SignalEvent(m_wake); }
    bool StartNewSession(std::string_view) override { return false; }
    std::string Describe() const override { return "bench"; }
    void SetAppUser(int32_t, std::string_view) override {}
    UniqueFd SaveState(bool) override { return {}; }
    bool LoadState(int, pid_t, std::optional<std::span<const uint8_t>>) override { return false; }
    void ApplyPractice(const practice::CPracticeConn&) override {}
    bool ParseOptions(hostlink::PipeOwner*, std::string_view, bool) override { return true; }
    int32_t GetUnixEscKey() override { return 1; }

  protected:
    bool WriteBytes(const void*, uint32_t) override { return false; }

  private:
    UniqueFd m_hostOutput;
    UniqueFd m_wake;
};

// Hands the control the one local pipe prepared for it.
class BenchFactory final : public terminal::PipeFactory {
  public:
    BenchFactory(UniqueFd hostOutput, UniqueFd hostInput)
        : m_hostOutput(std::move(hostOutput)), m_hostInput(std::move(hostInput)) {}

    std::unique_ptr<hostlink::CCommPipe> MakeEmpty(bool) override { return Make(); }
    std::size_t StateRecordSize(bool) const override { return 0; }
    std::unique_ptr<hostlink::CCommPipe> MakeConfigured(bool, const terminal::QuilletProperties&) override {
        return Make();
    }
    bool LoadRemoteSettings(hostlink::CCommPipe&) override { return false; }
    void ConfigureLocal(hostlink::CCommPipe&, std::string_view, std::string_view) override {}
    void CopyBack(const hostlink::CCommPipe&, terminal::QuilletProperties&) override {}
    void SetHostIsTrans(hostlink::CCommPipe&, bool) override {}
    bool StartNewSession(hostlink::CCommPipe&, std::string_view) override { return false; }
    UniqueFd SaveNewWindowState(hostlink::CCommPipe&, std::string_view) override { return {}; }
    void WakeIo(hostlink::CCommPipe& pipe) override { pipe.Close(); }

  private:
    std::unique_ptr<hostlink::CCommPipe> Make() {
        if (!m_hostOutput) {
            return nullptr;
        }
        return std::make_unique<AttachedLocalPipe>(std::move(m_hostInput), std::move(m_hostOutput));
    }

    UniqueFd m_hostOutput;
    UniqueFd m_hostInput;
};

// A connected control in a shown offscreen window, with the host's ends of its pipes.
struct Session {
    Session() {
        PipePair output = MakePipe();  // host -> control
        PipePair input = MakePipe();   // control -> host
        hostWrite = std::move(output.write);
        hostRead = std::move(input.read);
        terminal::CQuilletCtrl::Options options;
        options.factory = std::make_unique<BenchFactory>(std::move(output.read), std::move(input.write));
        control = std::make_shared<terminal::CQuilletCtrl>(std::move(options));
        control->Window()->resize(820, 600);
        control->Window()->show();
        platform::automation::DISPID id = platform::automation::DISPID_UNKNOWN;
        platform::automation::Variant result;
        const platform::automation::Variant local[] = {platform::automation::Variant::Bstr("local")};
        control->GetIDOfName("Connector", id);
        control->Invoke(id, platform::automation::InvokeKind::PropertyPut, local, &result, nullptr);
        control->GetIDOfName("Connect", id);
        control->Invoke(id, platform::automation::InvokeKind::Method, {}, &result, nullptr);
        connected = control->Session().HasPipe() && result.AsI4() == 0;
        QCoreApplication::processEvents();
    }

    std::shared_ptr<terminal::CQuilletCtrl> control;
    UniqueFd hostWrite;
    UniqueFd hostRead;
    bool connected = false;
};

Session* g_session = nullptr;

// Latency samples in nanoseconds, by benchmark.
std::vector<double> g_keySamples;
std::vector<double> g_bareSamples;       // taken beside the key's, one for each
std::vector<double> g_bareAloneSamples;  // the bare pipe in a run of its own
std::vector<double> g_guardedSamples;
std::vector<double> g_hopSamples;
std::vector<double> g_qtKeySamples;
// Repaint times of one frame in nanoseconds: into the image, and through the widget's paint event.
std::vector<double> g_imageFrames;
std::vector<double> g_widgetFrames;
std::string g_keyBytes;  // what one key press puts on the wire
terminal::CKeySenderThread::Counts g_senderCounts;

void SendKey(QWidget* target, QEvent::Type type) {
    QKeyEvent event(type, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QCoreApplication::sendEvent(target, &event);
}

// The bytes one press of "a" sends, found by sending one; empty when nothing arrived.
std::string LearnKeyBytes(Session& session) {
    SendKey(session.control->Terminal(), QEvent::KeyPress);
    SendKey(session.control->Terminal(), QEvent::KeyRelease);
    std::string bytes;
    pollfd wait{session.hostRead.Get(), POLLIN, 0};
    while (::poll(&wait, 1, bytes.empty() ? 5000 : 50) > 0) {
        char buffer[64];
        const ssize_t n = ::read(session.hostRead.Get(), buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        bytes.append(buffer, static_cast<size_t>(n));
    }
    return bytes;
}

// One bare write and read of the key's bytes, in nanoseconds; with `guarded`, the write holds SIGPIPE off
// as the local pipe's must (on any thread). Negative when the pipe failed.
double BareKeySample(const PipePair& pipe, std::string& got, bool guarded) {
    const Clock::time_point start = Clock::now();
    const bool written =
        guarded ? platform::WriteWithoutSigpipe(pipe.write.Get(), g_keyBytes.data(), g_keyBytes.size()) ==
                      static_cast<ssize_t>(g_keyBytes.size())
                : platform::WriteAll(pipe.write.Get(), g_keyBytes);
    if (!written || !ReadExactly(pipe.read.Get(), got.data(), got.size())) {
        return -1;
    }
    return std::chrono::duration<double, std::nano>(Clock::now() - start).count();
}

// Each key's sample is followed by a bare pipe's: on a shared machine, load that comes and goes falls on
// both alike, where two runs one after the other would each catch their own.
void KeyToWire(benchmark::State& state) {
    Session& session = *g_session;
    if (!session.connected || g_keyBytes.empty()) {
        state.SkipWithError("the control is not connected or sends nothing for a key");
        return;
    }
    QWidget* terminal = session.control->Terminal();
    std::string got(g_keyBytes.size(), '\0');
    const PipePair bare = MakePipe();
    std::string bareGot(g_keyBytes.size(), '\0');
    g_keySamples.clear();
    g_bareSamples.clear();
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        SendKey(terminal, QEvent::KeyPress);
        if (!ReadExactly(session.hostRead.Get(), got.data(), got.size())) {
            state.SkipWithError("the host side's read failed");
            return;
        }
        const double elapsed = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
        state.SetIterationTime(elapsed / 1e9);
        g_keySamples.push_back(elapsed);
        SendKey(terminal, QEvent::KeyRelease);
        QCoreApplication::processEvents();
        const double bareElapsed = BareKeySample(bare, bareGot, false);
        if (bareElapsed < 0) {
            state.SkipWithError("the bare pipe's I/O failed");
            return;
        }
        g_bareSamples.push_back(bareElapsed);
    }
    if (got != g_keyBytes) {
        state.SkipWithError("the key's bytes changed");
    }
}

// The bare pipe write and read of the key's bytes in a run of its own; with `guarded`, SIGPIPE held off:
// the floor for such a write.
void BarePipeKey(benchmark::State& state, bool guarded) {
    if (g_keyBytes.empty()) {
        state.SkipWithError("no key bytes to send");
        return;
    }
    const PipePair pipe = MakePipe();
    std::string got(g_keyBytes.size(), '\0');
    std::vector<double>& samples = guarded ? g_guardedSamples : g_bareAloneSamples;
    samples.clear();
    for (auto _ : state) {
        const double elapsed = BareKeySample(pipe, got, guarded);
        if (elapsed < 0) {
            state.SkipWithError("pipe I/O failed");
            return;
        }
        state.SetIterationTime(elapsed / 1e9);
        samples.push_back(elapsed);
    }
}

// The floor for any Qt control: the key event sent to a widget that does nothing but write the event's
// text into the pipe, then the read.
class BareKeyWidget final : public QWidget {
  public:
    explicit BareKeyWidget(int fd) : m_fd(fd) {}
    bool failed = false;

  protected:
    void keyPressEvent(QKeyEvent* event) override {
        failed |= !platform::WriteAll(m_fd, event->text().toStdString());
        event->accept();
    }

  private:
    int m_fd;
};

void QtKeyEventPipe(benchmark::State& state) {
    PipePair pipe = MakePipe();
    BareKeyWidget widget(pipe.write.Get());
    widget.resize(100, 100);
    widget.show();
    QCoreApplication::processEvents();
    std::string got(1, '\0');
    g_qtKeySamples.clear();
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        SendKey(&widget, QEvent::KeyPress);
        if (widget.failed || !ReadExactly(pipe.read.Get(), got.data(), got.size()) || got != "a") {
            state.SkipWithError("the bare widget's key did not reach the pipe");
            return;
        }
        const double elapsed = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
        state.SetIterationTime(elapsed / 1e9);
        g_qtKeySamples.push_back(elapsed);
        SendKey(&widget, QEvent::KeyRelease);
        QCoreApplication::processEvents();
    }
}

// The floor for any writer thread: the bytes handed through a mutex and condition variable queue to a
// waiting thread that writes them into a pipe the benchmark reads, as the key sender thread is woken.
void ThreadHopPipe(benchmark::State& state) {
    if (g_keyBytes.empty()) {
        state.SkipWithError("no key bytes to send");
        return;
    }
    PipePair pipe = MakePipe();
    std::mutex mutex;
    std::condition_variable ready;
    int pending = 0;
    bool stop = false;
    std::thread writer([&] {
        std::unique_lock lock(mutex);
        for (;;) {
            ready.wait(lock, [&] { return pending > 0 || stop; });
            if (stop) {
                return;
            }
            --pending;
            lock.unlock();
            platform::WriteAll(pipe.write.Get(), g_keyBytes);
            lock.lock();
        }
    });
    std::string got(g_keyBytes.size(), '\0');
    g_hopSamples.clear();
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        {
            std::lock_guard lock(mutex);
            ++pending;
        }
        ready.notify_one();
        if (!ReadExactly(pipe.read.Get(), got.data(), got.size())) {
            state.SkipWithError("pipe I/O failed");
            break;
        }
        const double elapsed = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
        state.SetIterationTime(elapsed / 1e9);
        g_hopSamples.push_back(elapsed);
    }
    {
        std::lock_guard lock(mutex);
        stop = true;
    }
    ready.notify_one();
    writer.join();
}

void ControlStream(benchmark::State& state, int which) {
    Session& session = *g_session;
    if (!session.connected) {
        state.SkipWithError("the control is not connected");
        return;
    }
    const std::string& stream = bench::Stream(which);
    const auto deadline = [] { return Clock::now() + std::chrono::seconds(60); };
    terminal::QtScreenPainter& painter = session.control->Terminal()->Painter();
    painter.ResetStats();
    const terminal::CQuilletSession& control = session.control->Session();
    double otherCpu = 0;  // microseconds of CPU the process spent beside the window and writer threads
    for (auto _ : state) {
        const uint64_t target = control.BytesShown() + stream.size();
        const double processStart = CpuMicroseconds(CLOCK_PROCESS_CPUTIME_ID);
        const double windowStart = CpuMicroseconds(CLOCK_THREAD_CPUTIME_ID);
        double writerCpu = 0;
        std::thread writer([&] {
            const double start = CpuMicroseconds(CLOCK_THREAD_CPUTIME_ID);
            platform::WriteAll(session.hostWrite.Get(), stream);
            writerCpu = CpuMicroseconds(CLOCK_THREAD_CPUTIME_ID) - start;
        });
        const Clock::time_point giveUp = deadline();
        // Done once the screen has been handed the last byte; painting follows at its frame rate.
        while (control.BytesShown() < target) {
            QCoreApplication::processEvents();
            if (Clock::now() > giveUp) {
                break;
            }
        }
        QCoreApplication::processEvents();  // a paint that is due now
        writer.join();
        otherCpu += CpuMicroseconds(CLOCK_PROCESS_CPUTIME_ID) - processStart -
                    (CpuMicroseconds(CLOCK_THREAD_CPUTIME_ID) - windowStart) - writerCpu;
        if (control.BytesShown() < target) {
            state.SkipWithError("the control did not take the stream in time");
            return;
        }
    }
    if (session.control->Terminal()->Screen().CopyCells(0, 80 * 25).find(bench::LastText(which)) ==
        std::string::npos) {
        state.SkipWithError("the stream's last text is not on the control's screen");
        return;
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stream.size()));
    // Where the time goes: how often the screen was painted for each MiB of host output.
    const double mebibytes = static_cast<double>(state.iterations() * stream.size()) / (1 << 20);
    const terminal::QtScreenPainter::Stats& stats = painter.GetStats();
    state.counters["full_repaints_per_MiB"] = benchmark::Counter(stats.fullRepaints / mebibytes);
    state.counters["updates_per_MiB"] = benchmark::Counter(stats.updates / mebibytes);
    state.counters["text_draws_per_MiB"] = benchmark::Counter(stats.textDraws / mebibytes);
    state.counters["renders_per_MiB"] = benchmark::Counter(stats.renders / mebibytes);
    // Mostly the reader thread: with the window thread's CPU (the CPU column) it shows which side bounds.
    state.counters["reader_side_cpu_us_per_MiB"] = benchmark::Counter(otherCpu / mebibytes);
}

void BareReader(benchmark::State& state, int which) {
    const std::string& stream = bench::Stream(which);
    PipePair pipe = MakePipe();
    std::array<char, kRead> block;
    for (auto _ : state) {
        std::thread writer([&] { platform::WriteAll(pipe.write.Get(), stream); });
        size_t total = 0;
        while (total < stream.size()) {
            const ssize_t n = ::read(pipe.read.Get(), block.data(), block.size());
            if (n <= 0) {
                break;
            }
            total += static_cast<size_t>(n);
        }
        writer.join();
        if (total != stream.size()) {
            state.SkipWithError("the bare read did not get the stream");
            return;
        }
        benchmark::DoNotOptimize(block.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stream.size()));
}

// What the control's reader thread costs at least: a pipe's own Read in 1024-byte blocks, discarded.
template <typename MakeReader>
void PipeReadOnly(benchmark::State& state, int which, MakeReader makeReader) {
    const std::string& stream = bench::Stream(which);
    PipePair pipe = MakePipe();
    auto reader = makeReader(std::move(pipe.read));
    std::array<char, kRead> block;
    for (auto _ : state) {
        std::thread writer([&] { platform::WriteAll(pipe.write.Get(), stream); });
        size_t total = 0;
        uint32_t count = 0;
        while (total < stream.size() && reader->Read(block.data(), kRead, count)) {
            total += count;
        }
        writer.join();
        if (total != stream.size()) {
            state.SkipWithError("the pipe's Read did not deliver the stream");
            return;
        }
        benchmark::DoNotOptimize(block.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stream.size()));
}

// The local pipe users run.
void LocalPipeRead(benchmark::State& state, int which) {
    PipePair keys = MakePipe();
    PipeReadOnly(state, which, [&](UniqueFd hostOutput) {
        return std::make_unique<AttachedLocalPipe>(std::move(keys.write), std::move(hostOutput));
    });
}

// The reference pipe that waits before every read.
void BenchPipeRead(benchmark::State& state, int which) {
    PipeReadOnly(state, which,
                 [](UniqueFd hostOutput) { return std::make_unique<BenchPipe>(std::move(hostOutput)); });
}

// The 80 x 25 cells set, the colours changing every four cells. The screen wraps as soon as a line's 80th
// cell is written, which on the last line would scroll: that one cell stays blank.
char BusyCell(int row, int column) {
    return static_cast<char>('!' + (row * 80 + column) % 94);
}

std::string BusyScreen() {
    std::string bytes = "\x1B[2J";
    for (int row = 1; row <= 25; ++row) {
        bytes += "\x1B[" + std::to_string(row) + ";1H";
        for (int column = 0; column < (row == 25 ? 79 : 80); ++column) {
            if (column % 4 == 0) {
                const int n = row * 20 + column / 4;
                bytes +=
                    "\x1B[" + std::to_string(30 + n % 8) + ";" + std::to_string(40 + (n / 8 + 3) % 8) + "m";
            }
            bytes += BusyCell(row, column);
        }
    }
    bytes += "\x1B[0m\x1B[1;1H";
    return bytes;
}

std::string BusyCells() {
    std::string cells;
    for (int row = 1; row <= 25; ++row) {
        for (int column = 0; column < 80; ++column) {
            cells += row == 25 && column == 79 ? ' ' : BusyCell(row, column);
        }
    }
    return cells;
}

struct RepaintWidget {
    RepaintWidget() {
        widget.resize(820, 600);
        widget.show();
        widget.LoadFontFromRegistry();
        widget.Feed(BusyScreen());
        QCoreApplication::processEvents();
        filled = widget.Screen().CopyCells(0, 80 * 25) == BusyCells();
    }
    bool filled = false;
    terminal::CTerminalWidget widget;
};

// The painter drawing the whole screen into its backing image.
void RepaintImage(benchmark::State& state) {
    RepaintWidget screen;
    terminal::QtScreenPainter& painter = screen.widget.Painter();
    if (!painter.HasFont() || !screen.filled) {
        state.SkipWithError("no terminal font, or the busy screen did not fill every cell");
        return;
    }
    painter.ResetStats();
    g_imageFrames.clear();
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        painter.RequestFullRepaint();
        painter.Render();
        g_imageFrames.push_back(std::chrono::duration<double, std::nano>(Clock::now() - start).count());
        state.PauseTiming();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["frames_per_second"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["text_draws_per_frame"] =
        benchmark::Counter(painter.GetStats().textDraws / static_cast<double>(state.iterations()));
}

// The same plus the widget's paint event putting the image on the offscreen window.
void RepaintWidgetFrame(benchmark::State& state) {
    RepaintWidget screen;
    if (!screen.widget.Painter().HasFont() || !screen.filled) {
        state.SkipWithError("no terminal font, or the busy screen did not fill every cell");
        return;
    }
    g_widgetFrames.clear();
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        screen.widget.Painter().RequestFullRepaint();
        screen.widget.repaint();
        g_widgetFrames.push_back(std::chrono::duration<double, std::nano>(Clock::now() - start).count());
        state.PauseTiming();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}

// Registry hives, home and state folders of the run's own, removed at the end.
class ScratchHome {
  public:
    ScratchHome() {
        std::string pattern = (std::filesystem::temp_directory_path() / "control_bench.XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::exit(1);
        }
        m_root = pattern;
        for (const char* name : {"home", "tmp", "config", "state", "root"}) {
            std::filesystem::create_directories(m_root / name);
        }
        // Before any thread starts, and before the platform layer reads them.
        ::setenv("HOME", (m_root / "home").c_str(), 1);
        ::setenv("TMPDIR", (m_root / "tmp").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (m_root / "config").c_str(), 1);
        ::setenv("XDG_STATE_HOME", (m_root / "state").c_str(), 1);
        ::setenv("CARROWLINE_ROOT", (m_root / "root").c_str(), 1);
        m_registry = std::make_unique<platform::Registry>(
            platform::Registry::Paths{m_root / "machine.reg", m_root / "user.reg"});
        platform::Registry::OverrideDefault(m_registry.get());
        suite::SetClientMode(suite::ClientMode::Local);
    }
    ~ScratchHome() {
        platform::Registry::OverrideDefault(nullptr);
        m_registry.reset();
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
    }

  private:
    std::filesystem::path m_root;
    std::unique_ptr<platform::Registry> m_registry;
};

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    ScratchHome home;
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication app(qtArgc, qtArgv);

    bench::RateReporter reporter;
    bool setUp = false;
    {
        Session session;
        g_session = &session;
        if (session.connected) {
            g_keyBytes = LearnKeyBytes(session);
        }
        setUp = session.connected && !g_keyBytes.empty();
        if (!setUp) {
            std::fprintf(stderr, "control_bench: the control did not connect or sent nothing for a key\n");
        }
        benchmark::RegisterBenchmark("KeyToWire/Control", KeyToWire)
            ->Iterations(kLatencySamples)
            ->UseManualTime();
        benchmark::RegisterBenchmark("KeyToWire/BarePipe", BarePipeKey, false)
            ->Iterations(kLatencySamples)
            ->UseManualTime();
        benchmark::RegisterBenchmark("KeyToWire/GuardedBarePipe", BarePipeKey, true)
            ->Iterations(kLatencySamples)
            ->UseManualTime();
        benchmark::RegisterBenchmark("KeyToWire/QtKeyEventPipe", QtKeyEventPipe)
            ->Iterations(kLatencySamples)
            ->UseManualTime();
        benchmark::RegisterBenchmark("KeyToWire/ThreadHopPipe", ThreadHopPipe)
            ->Iterations(kLatencySamples)
            ->UseManualTime();
        for (auto* b : {benchmark::RegisterBenchmark("Plain/Control", ControlStream, 0),
                        benchmark::RegisterBenchmark("Plain/BareReader", BareReader, 0),
                        benchmark::RegisterBenchmark("Plain/LocalPipeRead", LocalPipeRead, 0),
                        benchmark::RegisterBenchmark("Plain/BenchPipeRead", BenchPipeRead, 0),
                        benchmark::RegisterBenchmark("EscapeDense/Control", ControlStream, 1),
                        benchmark::RegisterBenchmark("EscapeDense/BareReader", BareReader, 1),
                        benchmark::RegisterBenchmark("EscapeDense/LocalPipeRead", LocalPipeRead, 1),
                        benchmark::RegisterBenchmark("EscapeDense/BenchPipeRead", BenchPipeRead, 1)}) {
            // Wall time for both sides: the bare reader sleeps in read while the control's window thread
            // polls, so CPU time would flatter the bare reader.
            b->Repetitions(5)->Unit(benchmark::kMillisecond)->UseRealTime();
        }
        benchmark::RegisterBenchmark("Repaint80x25/Image", RepaintImage)->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark("Repaint80x25/WidgetPaint", RepaintWidgetFrame)
            ->Unit(benchmark::kMicrosecond);
        if (!bench::RunBenchmarks(argc, argv, reporter)) {
            return 1;
        }
        g_senderCounts = session.control->Session().SenderCounts();
        g_session = nullptr;
    }

    if (!g_keySamples.empty() && !g_bareSamples.empty()) {
        const double keyMedian = bench::Percentile(g_keySamples, 0.5);
        const double keyP99 = bench::Percentile(g_keySamples, 0.99);
        const double bareMedian = bench::Percentile(g_bareSamples, 0.5);
        const double bareP99 = bench::Percentile(g_bareSamples, 0.99);
        std::printf("\nKey to wire (%zu byte(s) a key, %zu samples each), microseconds:\n", g_keyBytes.size(),
                    g_keySamples.size());
        std::printf("%-10s %10s %10s\n", "", "median", "p99");
        std::printf("%-10s %10.1f %10.1f\n", "control", keyMedian / 1e3, keyP99 / 1e3);
        std::printf("%-10s %10.1f %10.1f  (sampled beside the control's keys)\n", "bare pipe",
                    bareMedian / 1e3, bareP99 / 1e3);
        if (!g_bareAloneSamples.empty()) {
            std::printf("%-10s %10.1f %10.1f  (reference: the bare pipe in a run of its own)\n", "bare alone",
                        bench::Percentile(g_bareAloneSamples, 0.5) / 1e3,
                        bench::Percentile(g_bareAloneSamples, 0.99) / 1e3);
        }
        if (!g_guardedSamples.empty()) {
            std::printf("%-10s %10.1f %10.1f  (reference: the bare pipe with SIGPIPE held off)\n", "guarded",
                        bench::Percentile(g_guardedSamples, 0.5) / 1e3,
                        bench::Percentile(g_guardedSamples, 0.99) / 1e3);
        }
        if (!g_qtKeySamples.empty()) {
            std::printf("%-10s %10.1f %10.1f  (reference: a Qt key event to a widget that only writes it)\n",
                        "qt event", bench::Percentile(g_qtKeySamples, 0.5) / 1e3,
                        bench::Percentile(g_qtKeySamples, 0.99) / 1e3);
        }
        if (!g_hopSamples.empty()) {
            std::printf("%-10s %10.1f %10.1f  (reference: a queue to a writer thread, then the pipe)\n",
                        "thread hop", bench::Percentile(g_hopSamples, 0.5) / 1e3,
                        bench::Percentile(g_hopSamples, 0.99) / 1e3);
        }
        if (!g_guardedSamples.empty()) {
            std::printf(
                "against the guarded write (the floor of a write that must not raise SIGPIPE): median "
                "%.2fx, p99 %.2fx\n",
                keyMedian / bench::Percentile(g_guardedSamples, 0.5),
                keyP99 / bench::Percentile(g_guardedSamples, 0.99));
        }
        if (!g_qtKeySamples.empty()) {
            std::printf(
                "against the key event to a bare widget (the floor of a key that Qt delivers): median %.2fx, "
                "p99 %.2fx\n",
                keyMedian / bench::Percentile(g_qtKeySamples, 0.5),
                keyP99 / bench::Percentile(g_qtKeySamples, 0.99));
            // Each in a run of its own.
            const std::vector<double>& alone =
                g_bareAloneSamples.empty() ? g_bareSamples : g_bareAloneSamples;
            std::printf("the bare widget against the bare pipe: median %.2fx, p99 %.2fx\n",
                        bench::Percentile(g_qtKeySamples, 0.5) / bench::Percentile(alone, 0.5),
                        bench::Percentile(g_qtKeySamples, 0.99) / bench::Percentile(alone, 0.99));
        }
        // Interruptions of the machine's own (10 to 30 us) hit a sample in proportion to its length: where
        // they come to about one sample in a hundred, the p99 of the longer one lands on them first.
        std::printf(
            "tails, us (p98 / p99 / p99.5): control %.1f / %.1f / %.1f, bare pipe %.1f / %.1f / %.1f\n",
            bench::Percentile(g_keySamples, 0.98) / 1e3, keyP99 / 1e3,
            bench::Percentile(g_keySamples, 0.995) / 1e3, bench::Percentile(g_bareSamples, 0.98) / 1e3,
            bareP99 / 1e3, bench::Percentile(g_bareSamples, 0.995) / 1e3);
        const auto counts = g_senderCounts;
        std::printf("written by the window thread: %llu, by the sender thread: %llu\n",
                    static_cast<unsigned long long>(counts.direct),
                    static_cast<unsigned long long>(counts.queued));
        bench::ReportMeasure("key_to_wire_median", keyMedian / 1e3, bareMedian / 1e3, "us",
                             bench::AtMost(1.5));
        bench::ReportMeasure("key_to_wire_p99", keyP99 / 1e3, bareP99 / 1e3, "us", bench::AtMost(2.0));
    } else {
        bench::ReportNotMeasured("key_to_wire_median", "no key reached the wire");
        bench::ReportNotMeasured("key_to_wire_p99", "no key reached the wire");
    }
    // Medians of the runs: a pipe's rate swings with where the scheduler puts its two ends, and a best
    // run of the bare reader is as often such a swing.
    std::printf("\nHost stream, median of each benchmark's runs, MB/s:\n%-12s %12s %12s %12s %12s\n",
                "stream", "control", "local Read", "bench pipe", "bare");
    struct Kind {
        const char* stream;
        const char* measure;
        double goal;
    };
    for (const Kind& kind :
         {Kind{"Plain", "control_plain", 0.7}, Kind{"EscapeDense", "control_dense", 0.6}}) {
        const auto rate = [&](const char* name) {
            return reporter.MedianRate(std::string(kind.stream) + "/" + name).value_or(0) / 1e6;
        };
        const double control = rate("Control");
        const double local = rate("LocalPipeRead");
        const double reference = rate("BenchPipeRead");
        const double bare = rate("BareReader");
        std::printf("%-12s %12.1f %12.1f %12.1f %12.1f  (the bench pipe is a reference only)\n", kind.stream,
                    control, local, reference, bare);
        if (control <= 0 || bare <= 0) {
            bench::ReportNotMeasured(kind.measure, "the control or the bare reader did not take the stream");
        } else {
            bench::ReportMeasure(kind.measure, control, bare, "MB/s", bench::AtLeast(kind.goal));
        }
        if (std::string_view(kind.stream) == "Plain") {
            if (local <= 0 || bare <= 0) {
                bench::ReportNotMeasured("local_pipe_read", "the local pipe or the bare reader did not read");
            } else {
                bench::ReportMeasure("local_pipe_read", local, bare, "MB/s", bench::AtLeast(0.9));
            }
        }
    }
    std::printf("\nFull repaint of a busy 80x25 screen, milliseconds a frame:\n%-14s %8s %8s\n", "", "median",
                "p99");
    for (const auto& [name, frames] :
         {std::pair<const char*, const std::vector<double>*>{"into image", &g_imageFrames},
          {"widget paint", &g_widgetFrames}}) {
        if (!frames->empty()) {
            std::printf("%-14s %8.2f %8.2f\n", name, bench::Percentile(*frames, 0.5) / 1e6,
                        bench::Percentile(*frames, 0.99) / 1e6);
        }
    }
    return setUp ? 0 : 2;
}
