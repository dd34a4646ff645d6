// Redirected file input: the record the control hands the engine for a document the host serves itself, and
// the host's IQelIORedir. Each engine call on the record goes to the host's object when it gave one, else to
// one of the events Open to GenSecond.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "docview/lydvw.h"
#include "platform/automation/dispatch.h"

namespace docview {

class Cqelctrl;

inline constexpr platform::automation::Guid kIQelIORedirIid =
    platform::automation::Guid::FromLiteral("{C597DE30-B4F5-44A5-A6D4-721830D7EA5B}");

// What a host implements to serve a document's reads, writes, seeks and tells. Offsets are 32-bit, as hosts
// have always served them; `data` holds at least `size` bytes.
class IQelIORedir {
  public:
    using Variant = platform::automation::Variant;
    using HRESULT = platform::automation::HRESULT;
    virtual ~IQelIORedir() = default;
    virtual HRESULT Open(const Variant& fileSpec, Variant& file) = 0;
    virtual HRESULT Close(const Variant& fileSpec, const Variant& file) = 0;
    virtual HRESULT Read(const Variant& fileSpec, const Variant& file, uint8_t* data, uint32_t size,
                         uint32_t& count) = 0;
    virtual HRESULT Write(const Variant& fileSpec, const Variant& file, const uint8_t* data, uint32_t size,
                          uint32_t& count) = 0;
    virtual HRESULT Seek(const Variant& fileSpec, const Variant& file, int16_t from, int32_t offset) = 0;
    virtual HRESULT Tell(const Variant& fileSpec, const Variant& file, uint32_t& offset) = 0;
    // `info` is the engine's get-info block (LydvwRedirectInfo).
    virtual HRESULT GetInfo(const Variant& fileSpec, const Variant& file, uint32_t infoId, void* info) = 0;
    // Names a second file of the document: a path (spec_type 1 to 6) or a further served file (13, with
    // the object that serves it).
    virtual HRESULT GenSecond(const Variant& fileSpec, const Variant& file, const std::string& fileName,
                              Variant& newSpec, int32_t& specType, std::shared_ptr<IQelIORedir>& redir) = 0;
};

// One served file. Its first member is what the engine sees; the control owns it, and the engine's close
// frees it.
class RedirectRecord {
  public:
    using Variant = platform::automation::Variant;

    RedirectRecord(Cqelctrl& owner, Variant fileSpec, Variant data, std::shared_ptr<IQelIORedir> object);
    RedirectRecord(const RedirectRecord&) = delete;
    RedirectRecord& operator=(const RedirectRecord&) = delete;

    LydvwRedirect* Engine() { return &m_engine; }
    static RedirectRecord* Of(LydvwRedirect* engine);

    // The host's Open: 0, or the failure to report (the object's, 7; the handler's own result).
    int32_t Open();

    int32_t Close();
    int32_t Read(void* buffer, uint32_t size, uint32_t* count);
    int32_t Write(const void* buffer, uint32_t size, uint32_t* count);
    int32_t Seek(int32_t from, int32_t offset);
    int32_t Tell(uint32_t* offset);
    int32_t GetInfo(uint32_t id, void* info);

  private:
    int32_t SecondFile(LydvwRedirectInfo& info);
    void Fire(int32_t event, std::initializer_list<Variant> args);

    LydvwRedirect m_engine{};
    Cqelctrl& m_owner;
    Variant m_fileSpec;
    Variant m_data;
    Variant m_file;
    std::shared_ptr<IQelIORedir> m_object;
};

// The host's object behind a Redirect argument (by reference unwrapped), or null.
std::shared_ptr<IQelIORedir> RedirectObjectOf(const platform::automation::Variant& value);

}  // namespace docview
