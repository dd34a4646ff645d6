// The window half of the process-control library: every top-level X11 window with its caption and, when it
// runs on this host, its process id. Read through XCB, whose errors are replies, so a window that vanishes
// while it is listed costs nothing.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace dorvik {

struct WindowInfo {
    uint32_t id = 0;
    std::string caption;  // UTF-8
    pid_t pid = 0;        // 0 when unknown or on another host
};

// Converts Latin-1 bytes to UTF-8.
std::string Latin1ToUtf8(std::string_view text);

class Display {
  public:
    // Connects to $DISPLAY; on failure `Error()` says why.
    Display();
    ~Display();
    Display(const Display&) = delete;
    Display& operator=(const Display&) = delete;

    bool Connected() const { return m_connection != nullptr; }
    const std::string& Error() const { return m_error; }

    // The client list's windows and the root's direct children, each once, hidden ones too. Their process
    // ids are read only when asked for.
    std::vector<WindowInfo> TopLevelWindows(bool withPids = true);
    // Asks the window to close (WM_DELETE_WINDOW) and waits up to `ms` for it to go; true when gone.
    bool CloseAndWait(uint32_t window, int ms);

  private:
    struct Impl;
    void* m_connection = nullptr;
    Impl* m_impl = nullptr;
    std::string m_error;
};

}  // namespace dorvik
