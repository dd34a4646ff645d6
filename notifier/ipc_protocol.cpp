// The notifier's command-file protocol: settings, line grammar, the command-file reader and the answer file.
#include "notifier/ipc_protocol.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "platform/registry.h"
#include "platform/spawn.h"

namespace notifier {

std::string ReadNotifierSetting(std::string_view valueName) {
    using platform::HKey;
    struct Place {
        HKey root;
        std::string_view key;
    };
    static constexpr Place kPlaces[] = {
        {HKey::CurrentUser, "Software\\PSC\\Progress\\LocalV10\\Pellory"},
        {HKey::LocalMachine, "Software\\PSC\\Progress\\LocalV10\\Pellory"},
        {HKey::CurrentUser, "SOFTWARE\\Carrowline Corporation\\Pipwell"},
        {HKey::LocalMachine, "SOFTWARE\\Carrowline Corporation\\Pipwell"},
    };
    auto& registry = platform::Registry::Default();
    for (const auto& place : kPlaces) {
        platform::RegValue value;
        if (registry.QueryValue(place.root, place.key, valueName, value) != 0)
            continue;
        auto text = value.AsString();
        if (!text)
            continue;
        // A setting is read into a 2048-byte buffer, terminator included.
        if (text->size() >= kMaxSetting)
            text->resize(kMaxSetting - 1);
        return *text;
    }
    return {};
}

Fields SplitFields(std::string_view line) {
    Fields fields;
    size_t start = 0;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (start >= line.size())
            break;
        const size_t bar = line.find('|', start);
        if (bar == std::string_view::npos) {
            fields[i] = line.substr(start);
            break;
        }
        fields[i] = line.substr(start, bar - start);
        start = bar + 1;
    }
    return fields;
}

int LeadingNumber(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = std::min<long long>(value * 10 + (text[i] - '0'), INT_MAX);
    return static_cast<int>(negative ? -value : value);
}

int ParseDelayMs(std::string_view text) {
    return std::max(0, LeadingNumber(text));
}

static std::string_view Str(std::optional<std::string_view> field, std::string_view fallback = {}) {
    return field ? *field : fallback;
}

DispatchResult RunInstruction(std::string_view verb, std::optional<std::string_view> a4,
                              std::optional<std::string_view> a2, std::optional<std::string_view> a3,
                              NotifierUi& ui) {
    if (verb == "close") {
        ui.Close();
        return DispatchResult::Close;
    }
    if (verb == "dismisspopup") {
        ui.HidePopupAfter(a2 ? ParseDelayMs(*a2) : 0);
    } else if (verb == "dismissdialog") {
        ui.DismissDialog();
    } else if (verb == "showtray") {
        ui.ShowTray();
    } else if (verb == "hidetray") {
        ui.HideTray();
        ui.HidePopupAfter(a2 ? ParseDelayMs(*a2) : 0);
    } else if (verb == "restart") {
        ui.Restart(Str(a2));
    } else if (verb == "changeproduct") {
        ui.ChangeProduct(Str(a4), Str(a2), Str(a3));
    }
    return DispatchResult::Done;
}

DispatchResult DispatchIpcLine(std::string_view line, NotifierUi& ui) {
    const Fields f = SplitFields(line);
    if (!f[0])
        return DispatchResult::Done;
    if (*f[0] == "message") {
        if (!f[1] || !f[2])
            return DispatchResult::Done;
        ui.ShowTray();
        ui.SetPopupTexts(Str(f[1]), Str(f[2]));
        if (f[3] && !f[3]->empty())
            ui.SetProgressPercent(Str(f[3]));
    } else if (*f[0] == "prompt") {
        ui.ShowTray();
        ui.HidePopupAfter(0);
        ui.ShowPromptDialog(Str(f[3], "MB_OK"), Str(f[1]), Str(f[2]));
    } else if (*f[0] == "instruction") {
        if (!f[1])
            return DispatchResult::Done;
        return RunInstruction(*f[1], f[4], f[2], f[3], ui);
    }
    return DispatchResult::Done;
}

IpcReader::~IpcReader() {
    Close();
}

void IpcReader::Close() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool IpcReader::Open(const std::filesystem::path& path) {
    Close();
    m_path = path;
    m_fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
    if (m_fd < 0)
        return false;
    struct stat st {};
    if (::fstat(m_fd, &st) != 0) {
        Close();
        return false;
    }
    m_dev = st.st_dev;
    m_ino = st.st_ino;
    m_size = static_cast<uint64_t>(st.st_size);
    FollowFromLastLine(m_size);
    return true;
}

void IpcReader::FollowFromLastLine(uint64_t size) {
    m_pos = m_lastLineStart = m_boundary = LastCompleteLineEnd(size);
    m_skipping = false;
    DropBuffer();
}

bool IpcReader::ReadAt(uint64_t offset, size_t count, std::string& out) const {
    out.resize(count);
    size_t got = 0;
    while (got < count) {
        const ssize_t n = ::pread(m_fd, out.data() + got, count - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<size_t>(n);
    }
    out.resize(got);
    return got > 0;
}

uint64_t IpcReader::LastCompleteLineEnd(uint64_t size) const {
    // Backwards in blocks until a CR LF turns up; none at all means the start.
    std::string block;
    uint64_t end = size;
    while (end > 0) {
        const uint64_t begin = end > 65536 ? end - 65536 : 0;
        if (!ReadAt(begin, static_cast<size_t>(end - begin), block))
            return 0;
        // Overlap one byte so a CR LF across blocks is seen.
        const size_t at = block.rfind("\r\n");
        if (at != std::string::npos)
            return begin + at + 2;
        if (begin == 0)
            return 0;
        end = begin + 1;
    }
    return 0;
}

bool IpcReader::LineBoundaryHolds() const {
    if (m_boundary == 0)
        return true;
    std::string two;
    return ReadAt(m_boundary - 2, 2, two) && two == "\r\n";
}

void IpcReader::CheckFile() {
    if (m_fd < 0)
        return;
    // Bytes held from an earlier pass may have been rewritten since; each pass reads them afresh.
    DropBuffer();
    struct stat atPath {};
    if (::stat(m_path.c_str(), &atPath) == 0 && (atPath.st_dev != m_dev || atPath.st_ino != m_ino)) {
        // Another file stands at the path now: follow it from its end.
        const int fd = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            ::close(m_fd);
            m_fd = fd;
            m_dev = atPath.st_dev;
            m_ino = atPath.st_ino;
            m_size = static_cast<uint64_t>(atPath.st_size);
            FollowFromLastLine(m_size);
            return;
        }
    }
    struct stat st {};
    if (::fstat(m_fd, &st) != 0)
        return;
    const auto size = static_cast<uint64_t>(st.st_size);
    if (size < m_size || size < m_pos || !LineBoundaryHolds())
        FollowFromLastLine(size);
    m_size = size;
}

std::optional<std::string> IpcReader::ReplayPendingPrompt() {
    if (m_fd < 0 || m_pos == 0)
        return std::nullopt;
    // One byte before the window tells whether the window opens at a line start.
    const uint64_t begin = m_pos > kMaxLine ? m_pos - kMaxLine : 0;
    const uint64_t readFrom = begin > 0 ? begin - 1 : 0;
    std::string text;
    if (!ReadAt(readFrom, static_cast<size_t>(m_pos - readFrom), text))
        return std::nullopt;
    const size_t offset = static_cast<size_t>(begin - readFrom);
    std::string_view window(text);
    size_t found = std::string_view::npos;
    for (size_t at = window.rfind("prompt|"); at != std::string_view::npos && at >= offset;
         at = at == 0 ? std::string_view::npos : window.rfind("prompt|", at - 1)) {
        const bool lineStart = at == 0 ? readFrom == 0 : window[at - 1] == '\n';
        if (lineStart) {
            found = at;
            break;
        }
    }
    if (found == std::string_view::npos)
        return std::nullopt;
    const size_t end = window.find("\r\n", found);
    if (end == std::string_view::npos)
        return std::nullopt;
    if (window.find("PROMPT_ACK", end + 2) != std::string_view::npos)
        return std::nullopt;
    return std::string(window.substr(found, end - found));
}

std::string_view IpcReader::Buffered() const {
    if (m_pos < m_bufferAt || m_pos > m_bufferAt + m_bufferLen)
        return {};
    const auto offset = static_cast<size_t>(m_pos - m_bufferAt);
    return std::string_view(m_buffer.get() + offset, std::min(kMaxLine, m_bufferLen - offset));
}

void IpcReader::DropBuffer() {
    m_bufferAt = m_pos;
    m_bufferLen = 0;
}

void IpcReader::Refill() {
    if (!m_buffer)
        m_buffer = std::make_unique<char[]>(kReadChunk);
    if (m_pos < m_bufferAt || m_pos > m_bufferAt + m_bufferLen)
        DropBuffer();
    // What is left from the position is less than a line's limit, so the rest of the buffer is free.
    const auto offset = static_cast<size_t>(m_pos - m_bufferAt);
    std::memmove(m_buffer.get(), m_buffer.get() + offset, m_bufferLen - offset);
    m_bufferLen -= offset;
    m_bufferAt = m_pos;
    // One read: a short one means the end of what is written so far.
    ssize_t n;
    do {
        n = ::pread(m_fd, m_buffer.get() + m_bufferLen, kReadChunk - m_bufferLen,
                    static_cast<off_t>(m_bufferAt + m_bufferLen));
    } while (n < 0 && errno == EINTR);
    if (n > 0)
        m_bufferLen += static_cast<size_t>(n);
}

std::optional<std::string_view> IpcReader::ReadNextIpcLine() {
    if (m_fd < 0)
        return std::nullopt;
    for (;;) {
        std::string_view block = Buffered();
        size_t end = block.find("\r\n");
        // The file is read again only when what is held cannot decide the next line.
        if (end == std::string_view::npos && block.size() < kMaxLine) {
            Refill();
            block = Buffered();
            end = block.find("\r\n");
        }
        if (block.empty())
            return std::nullopt;
        if (m_skipping) {
            if (end == std::string_view::npos) {
                // Keep a trailing CR: its LF may come next.
                const size_t keep = block.back() == '\r' ? 1 : 0;
                m_pos += block.size() - keep;
                if (block.size() < kMaxLine)
                    return std::nullopt;
                continue;
            }
            m_pos += end + 2;
            m_boundary = m_pos;
            m_skipping = false;
            continue;
        }
        if (end == std::string_view::npos) {
            if (block.size() < kMaxLine)
                return std::nullopt;  // a tail still being written
            std::fprintf(stderr, "pipwell: command line longer than %zu bytes skipped\n", kMaxLine);
            m_skipping = true;
            continue;
        }
        m_lastLineStart = m_pos;
        m_pos += end + 2;
        m_boundary = m_pos;
        return block.substr(0, end);
    }
}

void IpcReader::Unread() {
    m_pos = m_boundary = m_lastLineStart;
}

bool AppendIpcLine(std::string_view text, const std::filesystem::path& file) {
    if (file.empty())
        return false;
    const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    std::string line(text);
    line += "\r\n";
    size_t done = 0;
    bool ok = true;
    while (done < line.size()) {
        const ssize_t n = ::write(fd, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        done += static_cast<size_t>(n);
    }
    if (::close(fd) != 0)
        ok = false;
    return ok;
}

void AnswerQueue::WriteAnswer(std::string_view word, const std::filesystem::path& file) {
    if (file.empty())
        return;
    m_pending.emplace_back(word);
    Flush(file);
}

bool AnswerQueue::Flush(const std::filesystem::path& file) {
    while (!m_pending.empty()) {
        if (!AppendIpcLine(m_pending.front(), file)) {
            if (!m_reported)
                std::fprintf(stderr, "pipwell: cannot write the answer file %s: %s; will retry\n",
                             file.c_str(), std::strerror(errno));
            m_reported = true;
            return false;
        }
        m_pending.pop_front();
        m_reported = false;
    }
    return true;
}

LauncherWords SplitLauncherArgs(std::string_view text) {
    LauncherWords words;
    size_t start = 0;
    for (size_t i = 0; i < words.size(); ++i) {
        if (start >= text.size())
            break;
        const size_t blank = text.find(' ', start);
        if (blank == std::string_view::npos) {
            words[i] = std::string(text.substr(start));
            break;
        }
        words[i] = std::string(text.substr(start, blank - start));
        start = blank + 1;
    }
    return words;
}

bool RunCommandLine(const std::vector<std::string>& argv) {
    if (argv.empty() || argv[0].empty())
        return false;
    platform::SpawnOptions options;
    options.program = argv[0];
    options.argv = argv;
    options.detached = true;
    return platform::Spawn(options).has_value();
}

}  // namespace notifier
