// The notifier's command-file protocol: its settings, the line grammar, the reader that follows the
// command file as the upgrade program appends to it, and the answer file. Text is 8-bit Windows-1252;
// conversion happens at the Qt edge.
#pragma once

#include <sys/types.h>

#include <array>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace notifier {

inline constexpr std::string_view kIpcReadPathValue = "Sorel Notifier - IPC Read Path";
inline constexpr std::string_view kIpcWritePathValue = "Sorel Notifier - IPC Write Path";
inline constexpr std::string_view kLauncherPathValue = "Sorel Notifier - Launcher Program Path";
inline constexpr std::string_view kCopyFromPathValue = "Sorel Notifier - Program CopyFrom Path";
inline constexpr std::string_view kExecutePathValue = "Sorel Notifier - Program Execute Path";

inline constexpr std::string_view kInitialText = "Initializing Halvex Notifier.";
inline constexpr size_t kMaxLine = 4096;
inline constexpr size_t kMaxSetting = 2048;

// The value from the first of the four places that has it; empty when none does.
std::string ReadNotifierSetting(std::string_view valueName);

// At most six fields at '|'; fields past the end of the line are absent.
using Fields = std::array<std::optional<std::string_view>, 6>;
Fields SplitFields(std::string_view line);

// Leading decimal number as the C library reads it; a negative or unreadable delay is 0.
// The number a text begins with (blanks, a sign, digits), saturated at INT_MAX either way; 0 without digits.
int LeadingNumber(std::string_view text);
int ParseDelayMs(std::string_view text);

// What the command lines drive. The Qt side implements it; tests record the calls.
class NotifierUi {
  public:
    virtual ~NotifierUi() = default;
    virtual void ShowTray() = 0;
    virtual void HideTray() = 0;
    virtual void SetPopupTexts(std::string_view text1, std::string_view text2) = 0;
    virtual void SetProgressPercent(std::string_view text) = 0;
    // 0 hides at once.
    virtual void HidePopupAfter(int milliseconds) = 0;
    virtual void ShowPromptDialog(std::string_view buttons, std::string_view caption,
                                  std::string_view text) = 0;
    // Ends the open prompt without an answer.
    virtual void DismissDialog() = 0;
    virtual void ChangeProduct(std::string_view text, std::string_view product, std::string_view title) = 0;
    virtual void Restart(std::string_view argument) = 0;
    virtual void Close() = 0;
};

enum class DispatchResult { Done, Close };

DispatchResult DispatchIpcLine(std::string_view line, NotifierUi& ui);
DispatchResult RunInstruction(std::string_view verb, std::optional<std::string_view> a4,
                              std::optional<std::string_view> a2, std::optional<std::string_view> a3,
                              NotifierUi& ui);

// Follows the command file on a POSIX fd. Positions always sit just after a CR LF (or at 0).
class IpcReader {
  public:
    IpcReader() = default;
    ~IpcReader();
    IpcReader(const IpcReader&) = delete;
    IpcReader& operator=(const IpcReader&) = delete;

    // Opens (creating when missing) and moves after the last complete line. False when it cannot.
    bool Open(const std::filesystem::path& path);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }

    // A file that shrank, was rewritten under our position or was replaced at the path is followed at
    // its new end. Call before reading a pass.
    void CheckFile();
    // The pending prompt from complete lines before the start position, once; empty when none.
    std::optional<std::string> ReplayPendingPrompt();
    // The next complete line without its CR LF; nullopt while none is complete. The text stays valid until
    // the next call on the reader.
    std::optional<std::string_view> ReadNextIpcLine();
    // Steps back over the line just read, so the next read returns it again.
    void Unread();

    uint64_t Position() const { return m_pos; }

  private:
    bool ReadAt(uint64_t offset, size_t count, std::string& out) const;
    uint64_t LastCompleteLineEnd(uint64_t size) const;
    bool LineBoundaryHolds() const;
    // Reads on from the end of the last complete line in the first `size` bytes, with nothing held.
    void FollowFromLastLine(uint64_t size);
    // Up to kMaxLine bytes from the position, as far as the buffer holds them.
    std::string_view Buffered() const;
    // Keeps what is held from the position and reads on after it, in one large read.
    void Refill();
    void DropBuffer();
    static constexpr size_t kReadChunk = 65536;

    std::filesystem::path m_path;
    int m_fd = -1;
    dev_t m_dev = 0;
    ino_t m_ino = 0;
    uint64_t m_pos = 0;
    uint64_t m_lastLineStart = 0;
    // Just after the last CR LF taken; the bytes before it must stay a CR LF while the file only grows.
    uint64_t m_boundary = 0;
    uint64_t m_size = 0;
    // Inside an over-long line: everything up to its CR LF is dropped.
    bool m_skipping = false;
    std::unique_ptr<char[]> m_buffer;
    size_t m_bufferLen = 0;
    uint64_t m_bufferAt = 0;
};

// Appends text + CR LF: opened for appending, created, closed again. False on any failure.
bool AppendIpcLine(std::string_view text, const std::filesystem::path& file);

// Answers waiting for the answer file, written in order; a failed one is kept for the next try.
class AnswerQueue {
  public:
    void WriteAnswer(std::string_view word, const std::filesystem::path& file);
    // Writes what waits; true when nothing is left.
    bool Flush(const std::filesystem::path& file);
    size_t Pending() const { return m_pending.size(); }

  private:
    std::deque<std::string> m_pending;
    bool m_reported = false;
};

// The launcher's words: at most five, split at blanks; absent past the end.
using LauncherWords = std::array<std::optional<std::string>, 5>;
LauncherWords SplitLauncherArgs(std::string_view text);

// Starts argv detached; false when the start failed.
bool RunCommandLine(const std::vector<std::string>& argv);

}  // namespace notifier
