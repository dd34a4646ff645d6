// A private print scheduler for one test: its own configuration, spool and logs in a fresh folder, a Unix
// socket there, and raw queues whose device copies each job into a file. Runs as the current user; as root
// the scheduler drops to its usual account for everything but the test's own backend.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/spawn.h"

namespace testsupport {

inline constexpr const char* kCupsd = "/usr/sbin/cupsd";
inline constexpr const char* kCupsDaemonFolder = "/usr/lib/cups/daemon";

// Why the scheduler cannot run here, or nullopt when it can.
inline std::optional<std::string> CupsdMissing() {
    if (::access(kCupsd, X_OK) != 0) {
        return std::string("cupsd is not installed (") + kCupsd + "; Debian package cups-daemon)";
    }
    return std::nullopt;
}

class CupsDaemon {
  public:
    enum class Device { Capture, SlowCapture, Unwritable };
    struct Queue {
        std::string name;
        Device device = Device::Capture;
        bool stopped = false;
        bool accepting = true;
        std::string errorPolicy = "abort-job";
    };

    CupsDaemon(const std::vector<Queue>& queues, const std::string& defaultQueue) {
        // Socket paths are short (108 bytes), so the folder goes straight under /tmp.
        std::string pattern = "/tmp/carrowline-cups-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            ADD_FAILURE() << "mkdtemp failed";
            return;
        }
        m_root = pattern;
        namespace fs = std::filesystem;
        for (const char* sub : {"etc", "spool", "spool/tmp", "cache", "state", "log", "bin/backend", "out"}) {
            fs::create_directories(m_root / sub);
        }
        fs::create_symlink(kCupsDaemonFolder, m_root / "bin" / "daemon");
        WriteBackend();

        Write("etc/cups-files.conf", "ServerRoot " + Path("etc") + "\nRequestRoot " + Path("spool") +
                                         "\nTempDir " + Path("spool/tmp") + "\nCacheDir " + Path("cache") +
                                         "\nStateDir " + Path("state") + "\nServerBin " + Path("bin") +
                                         "\nErrorLog " + Path("log/error_log") + "\nAccessLog " +
                                         Path("log/access_log") + "\nPageLog " + Path("log/page_log") + "\n");
        Write("etc/cupsd.conf", "Listen " + Socket() +
                                    "\nBrowsing No\nWebInterface No\nLogLevel debug\nJobRetryInterval 300\n"
                                    "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n");
        std::string printers;
        for (const Queue& queue : queues) {
            const std::string device = queue.device == Device::Unwritable ? Path("missing/" + queue.name)
                                       : queue.device == Device::SlowCapture
                                           ? Output(queue.name).string() + "?slow"
                                           : Output(queue.name).string();
            printers += (queue.name == defaultQueue ? "<DefaultPrinter " : "<Printer ") + queue.name + ">\n";
            printers += "DeviceURI capture:" + device + "\n";
            printers += std::string("State ") + (queue.stopped ? "Stopped" : "Idle") + "\n";
            printers += std::string("Accepting ") + (queue.accepting ? "Yes" : "No") + "\n";
            printers += "ErrorPolicy " + queue.errorPolicy + "\n</Printer>\n";
        }
        Write("etc/printers.conf", printers);
        ::chmod(Path("etc/printers.conf").c_str(), 0600);
        Start();
    }

    ~CupsDaemon() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            platform::WaitForExit(m_pid);
        }
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
    }

    CupsDaemon(const CupsDaemon&) = delete;
    CupsDaemon& operator=(const CupsDaemon&) = delete;

    bool Running() const { return m_ready; }
    std::string Socket() const { return Path("cups.sock"); }
    std::filesystem::path Output(const std::string& queue) const { return m_root / "out" / (queue + ".out"); }
    // The backend's arguments for the queue's last job, a line each: job id, user, title, copies, options.
    std::filesystem::path Arguments(const std::string& queue) const {
        return m_root / "out" / (queue + ".out.args");
    }
    std::string Log() const {
        std::ifstream in(m_root / "log" / "error_log");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

  private:
    std::string Path(const std::string& sub) const { return (m_root / sub).string(); }

    void Write(const std::string& sub, const std::string& text) const {
        std::ofstream(m_root / sub, std::ios::binary) << text;
    }

    // The device: copies the job into the file its URI names; "?slow" waits a while first, so that a job
    // stays in the queue for a moment. Mode 0700 keeps it the current user's, root included.
    void WriteBackend() const {
        const auto backend = m_root / "bin" / "backend" / "capture";
        Write("bin/backend/capture",
              "#!/bin/sh\n"
              "if [ $# -eq 0 ]; then echo 'direct capture \"Unknown\" \"Test capture\"'; exit 0; fi\n"
              "out=\"${DEVICE_URI#capture:}\"\n"
              "case \"$out\" in *'?slow') out=\"${out%\\?slow}\"; sleep 3;; esac\n"
              "printf '%s\\n' \"$1\" \"$2\" \"$3\" \"$4\" \"$5\" > \"$out.args\"\n"
              "if [ $# -ge 6 ]; then cat \"$6\" > \"$out\" || exit 1; else cat > \"$out\" || exit 1; fi\n"
              "exit 0\n");
        ::chmod(backend.c_str(), 0700);
    }

    void Start() {
        platform::SpawnOptions options;
        options.program = kCupsd;
        options.argv = {kCupsd, "-f", "-c", Path("etc/cupsd.conf"), "-s", Path("etc/cups-files.conf")};
        options.nullStdio = true;
        std::string message;
        auto child = platform::Spawn(options, nullptr, &message);
        if (!child) {
            ADD_FAILURE() << "cannot start cupsd: " << message;
            return;
        }
        m_pid = child->pid;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            if (platform::PollExit(m_pid)) {
                m_pid = -1;
                ADD_FAILURE() << "cupsd ended at start-up:\n" << Log();
                return;
            }
            if (Connectable()) {
                m_ready = true;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ADD_FAILURE() << "cupsd did not listen on " << Socket() << ":\n" << Log();
    }

    bool Connectable() const {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string path = Socket();
        path.copy(address.sun_path, sizeof(address.sun_path) - 1);
        const bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
        ::close(fd);
        return ok;
    }

    std::filesystem::path m_root;
    pid_t m_pid = -1;
    bool m_ready = false;
};

}  // namespace testsupport
