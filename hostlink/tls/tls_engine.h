// What the host link needs of the TLS library, behind a table that a library of its own fills: that
// library (and with it libssl and libcrypto) is loaded at the first TLS connection or file digest, so a
// local session never loads them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace hostlink::tls {

// The library's error classes, with the library's own numbers.
enum class Error : int {
    None = 0,
    Ssl = 1,
    WantRead = 2,
    WantWrite = 3,
    WantX509Lookup = 4,
    Syscall = 5,
    ZeroReturn = 6,
    WantConnect = 7,
    WantAccept = 8,
};

// One client connection over a socket it does not own. Each call is one library call; the caller
// serialises them.
class Connection {
  public:
    virtual ~Connection() = default;
    virtual int Handshake() = 0;
    // Lets the library read past the record it needs.
    virtual void SetReadAhead() = 0;
    virtual int Read(void* buffer, int count) = 0;
    virtual int Write(const void* bytes, int count) = 0;
    // The class of the last call's result.
    virtual Error ErrorOf(int result) = 0;
    // Bytes the transport has read and written so far.
    virtual uint64_t BytesMoved() = 0;
};

class Md5 {
  public:
    static constexpr std::size_t kSize = 16;
    virtual ~Md5() = default;
    virtual bool Update(const void* bytes, std::size_t count) = 0;
    virtual bool Final(unsigned char (&digest)[kSize]) = 0;
};

class Engine {
  public:
    enum class Failure { None, NoContext, NoConnection, NoAlgorithm, NoMemory, NoInit };

    // A client over `socket` (switched to nothing here); null with the step that failed.
    virtual std::unique_ptr<Connection> NewClient(int socket, Failure& failure) const = 0;
    virtual std::unique_ptr<Md5> NewMd5(Failure& failure) const = 0;

    // The calling thread's error queue.
    virtual void ClearErrors() const = 0;
    // The oldest queued error's text, taken off the queue; nullopt when none waits.
    virtual std::optional<std::string> TakeError() const = 0;
    // Whether the oldest queued error is the host closing the connection without a close-notify.
    virtual bool ErrorIsUnexpectedEof() const = 0;

  protected:
    ~Engine() = default;
};

// The library's one entry, by this name, C linkage.
inline constexpr const char* kEntryName = "CarrowlineTlsEngine";
using EntryFunction = const Engine* (*)();
inline constexpr const char* kLibraryName = "libcarrowline_tls.so";

// The engine of `library` (a path, or a name the loader looks up), loaded now, uncached; null with the
// reason in `why`.
const Engine* OpenEngine(const std::string& library, std::string* why = nullptr);
// The engine, loading its library at the first call (thread-safe, never unloaded); null with the reason in
// `why` when the library or its entry cannot be found.
const Engine* LoadEngine(std::string* why = nullptr);

}  // namespace hostlink::tls
