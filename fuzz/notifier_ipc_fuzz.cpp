// Fuzzes the notifier's command-file reader and line dispatch: the input, written in two pieces, must give
// only lines without CR LF and below the line limit, and dispatch must take any line without a crash.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "notifier/ipc_protocol.h"

namespace {

class NullUi : public notifier::NotifierUi {
  public:
    void ShowTray() override {}
    void HideTray() override {}
    void SetPopupTexts(std::string_view, std::string_view) override {}
    void SetProgressPercent(std::string_view) override {}
    void HidePopupAfter(int ms) override {
        if (ms < 0)
            std::abort();
    }
    void ShowPromptDialog(std::string_view, std::string_view, std::string_view) override {}
    void DismissDialog() override {}
    void ChangeProduct(std::string_view, std::string_view, std::string_view) override {}
    void Restart(std::string_view) override {}
    void Close() override {}
};

void CheckLine(std::string_view line, NullUi& ui) {
    if (line.find("\r\n") != std::string_view::npos || line.size() >= notifier::kMaxLine)
        std::abort();
    notifier::DispatchIpcLine(line, ui);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = [] {
        char name[] = "/tmp/notifier_ipc_fuzz.XXXXXX";
        const int fd = ::mkstemp(name);
        if (fd >= 0)
            ::close(fd);
        return std::string(name);
    }();
    if (size == 0)
        return 0;
    const size_t cut = data[0] % size;
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    const size_t first = cut < text.size() ? cut : text.size();

    const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC);
    if (fd < 0)
        return 0;
    if (::write(fd, text.data(), first) != static_cast<ssize_t>(first))
        std::abort();
    notifier::IpcReader reader;
    NullUi ui;
    if (!reader.Open(path))
        std::abort();
    if (auto line = reader.ReplayPendingPrompt())
        CheckLine(*line, ui);
    const std::string_view rest = text.substr(first);
    if (::write(fd, rest.data(), rest.size()) != static_cast<ssize_t>(rest.size()))
        std::abort();
    ::close(fd);
    reader.CheckFile();
    while (auto line = reader.ReadNextIpcLine())
        CheckLine(*line, ui);
    return 0;
}
