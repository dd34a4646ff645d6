// The pipe base: serialised writes, the channel prefixes, the text framing of the login sequences and the
// pieces both pipes share (option tokens, version numbers, hand-over mappings, new container windows).
#include "hostlink/comm_pipe.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

#include "carrowline/version.h"
#include "platform/shared_mapping.h"
#include "platform/spawn.h"
#include "platform/user_prompt.h"
#include "platform/win32_error.h"
#include "suite/debug_log.h"

namespace hostlink {
namespace {

thread_local int32_t t_lastError = 0;

constexpr uint8_t kEsc = 0x1B;
constexpr uint8_t kSync = '~';

}  // namespace

std::string CCommErr::UserText() const {
    if (m_remote != 0) {
        return m_remoteText;
    }
    if (m_error != 0) {
        return "Error During Login\n\nError Number: " + std::to_string(m_error) + "\n\nFrom: " + m_source;
    }
    return "Error During Login\n\nUnable to Authenticate\n";
}

int32_t CCommPipe::LastError() const {
    return t_lastError;
}

void CCommPipe::SetLastError(int32_t code) {
    t_lastError = code;
}

void CCommPipe::WakeReader() {
    Close();
}

void CCommPipe::LogLine(std::string_view text) const {
    std::string line(text);
    line += "\n";
    if (DebugOn()) {
        suite::DebugLog(line);
    } else {
        std::fwrite(line.data(), 1, line.size(), stderr);
    }
}

namespace {

// Marks a Write under way for as long as the write lock is held.
class WritingScope {
  public:
    WritingScope(std::mutex& mutex, std::atomic<bool>& writing) : m_lock(mutex), m_writing(writing) {
        m_writing.store(true, std::memory_order_release);
    }
    ~WritingScope() { m_writing.store(false, std::memory_order_release); }
    WritingScope(const WritingScope&) = delete;
    WritingScope& operator=(const WritingScope&) = delete;

  private:
    std::lock_guard<std::mutex> m_lock;
    std::atomic<bool>& m_writing;
};

}  // namespace

bool CCommPipe::FinishStarted() {
    if (!m_started) {
        return true;
    }
    m_started = false;
    return FinishBytes();
}

bool CCommPipe::Write(const void* bytes, uint32_t count) {
    WritingScope writing(m_writeMutex, m_writing);
    if (!FinishStarted()) {
        return false;
    }
    return WriteBytes(bytes, count);
}

TryWriteResult CCommPipe::TryWrite(const void* bytes, uint32_t count) {
    std::unique_lock lock(m_writeMutex, std::try_to_lock);
    if (!lock.owns_lock() || m_started) {
        return TryWriteResult::NotWritten;  // another write is ahead of this one
    }
    const TryWriteResult result = TryWriteBytes(bytes, count);
    m_started = result == TryWriteResult::Started;
    return result;
}

bool CCommPipe::FinishWrite() {
    WritingScope writing(m_writeMutex, m_writing);
    return FinishStarted();
}

bool CCommPipe::WriteWithPrefix(const uint8_t (&prefix)[7], const void* bytes, uint32_t count) {
    WritingScope writing(m_writeMutex, m_writing);
    if (!FinishStarted()) {
        return false;
    }
    if (m_channelPrefix != 0) {
        WriteBytes(prefix, sizeof prefix);  // as ever, only the block's own write decides
    }
    return WriteBytes(bytes, count);
}

bool CCommPipe::WriteChannel0(const void* bytes, uint32_t count) {
    return WriteWithPrefix(kChannel0Prefix, bytes, count);
}

bool CCommPipe::WriteChannel1(const void* bytes, uint32_t count) {
    return WriteWithPrefix(kChannel1Prefix, bytes, count);
}

void CCommPipe::XmitString(std::optional<std::string_view> text) {
    if (text && !text->empty() && !Write(text->data(), static_cast<uint32_t>(text->size()))) {
        throw CCommErr(LastError(), 0, {}, "XmitString(): Write Error");
    }
    if (!Write("\n", 1)) {
        throw CCommErr(LastError(), 0, {}, "XmitString(): Write Terminator Error");
    }
}

void CCommPipe::XmitInteger(int32_t value) {
    char text[kFormatBufferSize];
    const int length = std::snprintf(text, sizeof text, "%d\n", value);
    if (!Write(text, static_cast<uint32_t>(length))) {
        throw CCommErr(LastError(), 0, {}, "XmitInteger(): Write Error");
    }
}

void CCommPipe::XmitFormat(const char* format, ...) {
    char text[kFormatBufferSize];
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    // A cut login line would log in with the wrong values; refuse it instead.
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof text) {
        LogLine("XmitFormat(): text longer than 511 bytes refused");
        throw CCommErr(platform::win32::kInsufficientBuffer, 0, {}, "XmitFormat(): Write Error");
    }
    if (!Write(text, static_cast<uint32_t>(length))) {
        throw CCommErr(LastError(), 0, {}, "XmitFormat(): Write Error");
    }
}

uint8_t CCommPipe::ReadOneByte(const char* source) {
    uint8_t byte = 0;
    uint32_t got = 0;
    if (!Read(&byte, 1, got) || got != 1) {
        throw CCommErr(LastError(), 0, {}, source);
    }
    return byte;
}

void CCommPipe::RecvSync() {
    for (;;) {
        const uint8_t byte = ReadOneByte("RecvSync(): Read Error");
        if (byte == kSync) {
            return;
        }
        if (byte == kEsc) {
            ParseRemoteError();
        }
    }
}

void CCommPipe::AppendHostText(std::string& text, uint8_t byte, bool& cut, std::string_view what) const {
    if (text.size() < kMaxHostText) {
        text.push_back(static_cast<char>(byte));
        return;
    }
    if (!cut) {
        cut = true;
        LogLine(std::string(what) + ": host text longer than " + std::to_string(kMaxHostText) +
                " characters, cut");
    }
}

void CCommPipe::ParseRemoteError() {
    constexpr const char* kReadError = "ParseRemoteError(): Read Error";
    if (ReadOneByte(kReadError) != '[') {
        return;
    }
    if (ReadOneByte(kReadError) != '%') {
        return;
    }
    std::string text;
    bool cut = false;
    for (uint8_t byte = ReadOneByte(kReadError); byte != 0x01; byte = ReadOneByte(kReadError)) {
        AppendHostText(text, byte, cut, "ParseRemoteError()");
    }
    const uint8_t kind = ReadOneByte(kReadError);
    if (kind == 'I' || kind == 'P') {
        throw CCommErr(0, 1, std::move(text), "ParseRemoteError(): Remote System Error");
    }
}

namespace options {

std::vector<std::string> SplitTokens(std::string_view text) {
    std::string source;
    if (text.empty()) {
        // The process's own arguments, without the program name, which is no option.
        std::ifstream in("/proc/self/cmdline", std::ios::binary);
        std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::vector<std::string> argv;
        for (std::size_t start = 0; start < all.size();) {
            const std::size_t end = all.find('\0', start);
            argv.push_back(all.substr(start, end == std::string::npos ? std::string::npos : end - start));
            start = end == std::string::npos ? all.size() : end + 1;
        }
        for (std::size_t n = 1; n < argv.size(); ++n) {
            source += (n > 1 ? " " : "") + argv[n];
        }
    } else {
        source.assign(text);
    }
    if (source.size() > CCommPipe::kFormatBufferSize - 1) {
        source.resize(CCommPipe::kFormatBufferSize - 1);
    }
    std::vector<std::string> tokens;
    std::size_t pos = 0;
    while (pos < source.size()) {
        pos = source.find_first_not_of(" \t", pos);
        if (pos == std::string::npos) {
            break;
        }
        const std::size_t end = source.find_first_of(" \t", pos);
        tokens.push_back(source.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
        pos = end == std::string::npos ? source.size() : end;
    }
    return tokens;
}

int32_t DecimalPrefix(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) {
        ++pos;
    }
    bool negative = false;
    if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) {
        negative = text[pos] == '-';
        ++pos;
    }
    int64_t value = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        value = value * 10 + (text[pos] - '0');
        if (value > static_cast<int64_t>(INT32_MAX) + 1) {
            value = static_cast<int64_t>(INT32_MAX) + 1;
        }
    }
    value = negative ? -value : value;
    if (value > INT32_MAX) {
        return INT32_MAX;
    }
    return static_cast<int32_t>(value);
}

}  // namespace options

int32_t VarnelVersionNumber() {
    return carrowline::kVersionMajor * 1000 + (carrowline::kVersionBuild & 0xFF);
}

int32_t LoginVersionNumber() {
    char text[32];
    std::snprintf(text, sizeof text, "%.2d%.2d%.2d%.3d", carrowline::kVersionMajor & 0xFFFF,
                  carrowline::kVersionMinor & 0xFFFF, carrowline::kVersionPatch & 0xFFFF,
                  carrowline::kVersionBuild & 0xFFFF);
    return static_cast<int32_t>(std::strtol(text, nullptr, 10));
}

platform::UniqueFd CreateStateMapping(std::string_view header, std::span<const uint8_t> record,
                                      bool withHeader) {
    auto mapping = platform::SharedMapping::Create(kStateHeaderSize + record.size());
    if (!mapping) {
        platform::DefaultPrompt().Message("Error Creating File Mapping");
        return {};
    }
    uint8_t* out = mapping->Data();
    if (withHeader) {
        std::memcpy(out, header.data(), std::min(header.size(), kStateHeaderSize - 1));
        out += kStateHeaderSize;
    }
    std::memcpy(out, record.data(), record.size());
    platform::UniqueFd handle(::fcntl(mapping->Fd(), F_DUPFD_CLOEXEC, 3));
    if (!handle) {
        platform::DefaultPrompt().Message("Error Mapping View");
    }
    return handle;
}

std::optional<std::vector<uint8_t>> ReadStateMapping(int handle, pid_t processId, std::size_t recordSize) {
    std::optional<platform::SharedMapping> mapping;
    if (handle > 2 && ::fcntl(handle, F_GETFD) >= 0) {
        mapping = platform::SharedMapping::OpenFd(handle, recordSize, false);
        if (mapping) {
            ::close(handle);
        }
    }
    if (!mapping) {
        // Not ours: the handle lives in the process that wrote the record.
        if (processId <= 0 || ::kill(processId, 0) != 0) {
            platform::DefaultPrompt().Message("Error opening source process", platform::PromptIcon::Stop);
            return std::nullopt;
        }
        std::string why;
        mapping = platform::SharedMapping::OpenFromProcess(processId, handle, recordSize, &why);
        if (!mapping) {
            platform::DefaultPrompt().Message("Error duplicating memory handle", platform::PromptIcon::Stop);
            return std::nullopt;
        }
    }
    return std::vector<uint8_t>(mapping->Data(), mapping->Data() + recordSize);
}

bool StartContainerWindow(const std::vector<std::string>& args, int handle) {
    platform::SpawnOptions spawn;
    spawn.program = "brantor";
    spawn.argv = {"brantor"};
    spawn.argv.insert(spawn.argv.end(), args.begin(), args.end());
    spawn.inheritFds = {handle};
    auto child = platform::Spawn(spawn);
    if (!child) {
        platform::DefaultPrompt().Message("Error Creating Child", platform::PromptIcon::Stop);
        return false;
    }
    // The window lives on its own; reap it when it ends so no zombie stays behind.
    std::thread([pid = child->pid] { platform::WaitForExit(pid); }).detach();
    return true;
}

}  // namespace hostlink
