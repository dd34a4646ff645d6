// Redirected file input: the engine's calls on a served file's record, answered by the host's IQelIORedir
// or by the events Open to GenSecond, and the second files a document names.
#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "docview/control_strings.h"
#include "docview/qelctrl.h"
#include "platform/codepage.h"

namespace docview {

namespace automation = platform::automation;
using automation::Variant;
using fennick::Event;

namespace {

// What a failed Open of the host's object reports; 0 would read as no error at all.
constexpr int32_t kOpenFailed = 7;
constexpr int32_t kFailed = -1;
// A name the engine hands over is terminated; one that is not is cut here, never overrun.
constexpr size_t kNameMax = 4096;

Variant Unwrapped(const Variant& value) {
    Variant out;
    return automation::Succeeded(value.Dereference(out)) ? out : Variant();
}

// `text` into the engine's buffer of `size` bytes, terminated, cut at a character boundary.
void CopyText(const LydvwRedirectInfo& info, std::string_view text) {
    if (info.buffer == 0 || info.buffer_size == 0)
        return;
    size_t n = std::min<size_t>(text.size(), info.buffer_size - 1);
    while (n > 0 && n < text.size() && (static_cast<unsigned char>(text[n]) & 0xC0u) == 0x80u)
        --n;
    auto* buffer = reinterpret_cast<char*>(info.buffer);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

template <auto Method, typename... Args>
int32_t Entry(LydvwRedirect* engine, Args... args) {
    RedirectRecord* record = RedirectRecord::Of(engine);
    if (!record)
        return kFailed;
    // The engine is C: nothing a host throws may unwind through it.
    try {
        return (record->*Method)(args...);
    } catch (...) {
        return kFailed;
    }
}

int32_t Seek64(LydvwRedirect* engine, int32_t from, int64_t offset) {
    // The host takes a 32-bit offset; a cut one would land somewhere else.
    if (offset < std::numeric_limits<int32_t>::min() || offset > std::numeric_limits<int32_t>::max())
        return kFailed;
    return Entry<&RedirectRecord::Seek>(engine, from, static_cast<int32_t>(offset));
}

int32_t Tell64(LydvwRedirect* engine, int64_t* offset) {
    if (!offset)
        return kFailed;
    uint32_t value = 0;
    const int32_t result = Entry<&RedirectRecord::Tell>(engine, &value);
    if (result == 0)
        *offset = value;
    return result;
}

}  // namespace

RedirectRecord::RedirectRecord(Cqelctrl& owner, Variant fileSpec, Variant data,
                               std::shared_ptr<IQelIORedir> object)
    : m_owner(owner),
      m_fileSpec(Unwrapped(fileSpec)),
      m_data(Unwrapped(data)),
      m_file(Variant::UI1(0)),
      m_object(std::move(object)) {
    m_engine.size = sizeof m_engine;
    m_engine.close = &Entry<&RedirectRecord::Close>;
    m_engine.read = &Entry<&RedirectRecord::Read, void*, uint32_t, uint32_t*>;
    m_engine.write = &Entry<&RedirectRecord::Write, const void*, uint32_t, uint32_t*>;
    m_engine.seek = &Entry<&RedirectRecord::Seek, int32_t, int32_t>;
    m_engine.tell = &Entry<&RedirectRecord::Tell, uint32_t*>;
    m_engine.get_info = &Entry<&RedirectRecord::GetInfo, uint32_t, void*>;
    m_engine.seek64 = &Seek64;
    m_engine.tell64 = &Tell64;
    m_engine.context = this;
}

RedirectRecord* RedirectRecord::Of(LydvwRedirect* engine) {
    return engine ? static_cast<RedirectRecord*>(engine->context) : nullptr;
}

void RedirectRecord::Fire(int32_t event, std::initializer_list<Variant> args) {
    m_owner.Fire(static_cast<Event>(event), std::vector<Variant>(args));
}

int32_t RedirectRecord::Open() {
    Variant file = Variant::UI1(0);
    if (m_object) {
        if (m_object->Open(m_fileSpec, file) != automation::S_OK)
            return kOpenFailed;
    } else {
        int32_t result = 0;
        Fire(static_cast<int32_t>(Event::Open),
             {m_fileSpec, m_data, Variant::RefVariant(&file), Variant::RefI4(&result)});
        if (result != 0)
            return result;
    }
    m_file = Unwrapped(file);
    return 0;
}

int32_t RedirectRecord::Close() {
    int32_t result = 0;
    try {
        if (m_object) {
            result = m_object->Close(m_fileSpec, m_file) == automation::S_OK ? 0 : kFailed;
            m_object.reset();
        } else {
            Fire(static_cast<int32_t>(Event::Close),
                 {m_fileSpec, m_data, m_file, Variant::RefI4(&result)});
        }
    } catch (...) {
        result = kFailed;
    }
    // Frees this record: nothing of it may be touched afterwards.
    m_owner.DropRedirect(this);
    return result;
}

int32_t RedirectRecord::Read(void* buffer, uint32_t size, uint32_t* count) {
    if (!buffer || !count)
        return kFailed;
    size = std::min<uint32_t>(size, std::numeric_limits<int32_t>::max());
    if (m_object) {
        uint32_t got = 0;
        const int32_t hr = m_object->Read(m_fileSpec, m_file, static_cast<uint8_t*>(buffer), size, got);
        *count = std::min(got, size);
        return hr;
    }
    Variant data;
    int32_t got = 0;
    int32_t result = 0;
    Fire(static_cast<int32_t>(Event::Read),
         {m_fileSpec, m_data, m_file, Variant::RefVariant(&data), Variant::I4(static_cast<int32_t>(size)),
          Variant::RefI4(&got), Variant::RefI4(&result)});
    if (result != 0) {
        // Nothing was copied, whatever count the handler set.
        *count = 0;
        return result;
    }
    // An empty array is a read of nothing, as at the end of the document, not a failure.
    const std::vector<uint8_t>& bytes = data.AsBytes();
    if (data.Type() != automation::VarType::UI1Array || bytes.size() > size)
        return kFailed;
    // The engine learns what it got: no more than the array holds, nor than the handler counted.
    const uint32_t copied = std::min(static_cast<uint32_t>(bytes.size()), static_cast<uint32_t>(got));
    if (copied > 0)
        std::memcpy(buffer, bytes.data(), copied);
    *count = copied;
    return 0;
}

int32_t RedirectRecord::Write(const void* buffer, uint32_t size, uint32_t* count) {
    if (!count || (!buffer && size > 0))
        return kFailed;
    size = std::min<uint32_t>(size, std::numeric_limits<int32_t>::max());
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    if (m_object) {
        uint32_t put = 0;
        const int32_t hr = m_object->Write(m_fileSpec, m_file, bytes, size, put);
        *count = std::min(put, size);
        return hr;
    }
    Variant data;
    try {
        data = Variant::Bytes(std::vector<uint8_t>(bytes, bytes + size));
    } catch (const std::bad_alloc&) {
        return kFailed;
    }
    int32_t put = 0;
    int32_t result = 0;
    Fire(static_cast<int32_t>(Event::Write),
         {m_fileSpec, m_data, m_file, Variant::RefVariant(&data), Variant::I4(static_cast<int32_t>(size)),
          Variant::RefI4(&put), Variant::RefI4(&result)});
    if (result == 0)
        *count = std::min(static_cast<uint32_t>(put), size);
    return result;
}

int32_t RedirectRecord::Seek(int32_t from, int32_t offset) {
    if (m_object)
        return m_object->Seek(m_fileSpec, m_file, static_cast<int16_t>(from), offset);
    int32_t result = 0;
    Fire(static_cast<int32_t>(Event::Seek),
         {m_fileSpec, m_data, m_file, Variant::I2(static_cast<int16_t>(from)), Variant::I4(offset),
          Variant::RefI4(&result)});
    return result;
}

int32_t RedirectRecord::Tell(uint32_t* offset) {
    if (!offset)
        return kFailed;
    if (m_object)
        return m_object->Tell(m_fileSpec, m_file, *offset);
    int32_t value = 0;
    // An unhandled Tell fails.
    int32_t result = 1;
    Fire(static_cast<int32_t>(Event::Tell),
         {m_fileSpec, m_data, m_file, Variant::RefI4(&value), Variant::RefI4(&result)});
    if (result != 0)
        return result;
    *offset = static_cast<uint32_t>(value);
    return 0;
}

int32_t RedirectRecord::GetInfo(uint32_t id, void* block) {
    const bool second = id == LYDVW_INFO_SECOND || id == LYDVW_INFO_SECOND2;
    if (m_object && !second)
        return m_object->GetInfo(m_fileSpec, m_file, id, block);
    auto* info = static_cast<LydvwRedirectInfo*>(block);
    if (!info || info->size < sizeof *info)
        return kFailed;
    if (second)
        return SecondFile(*info);
    if (id == LYDVW_INFO_NUMBER) {
        info->number = 2;
        return 0;
    }
    Variant answer;
    int32_t result = 0;
    Fire(static_cast<int32_t>(Event::GetInfo),
         {m_fileSpec, m_data, m_file, Variant::I4(static_cast<int32_t>(id)), Variant::RefVariant(&answer),
          Variant::RefI4(&result)});
    if (result != 0)
        return result;
    const Variant text = Unwrapped(answer);
    if ((id == LYDVW_INFO_TEXT || id == LYDVW_INFO_TEXT2) && text.Type() == automation::VarType::Bstr)
        CopyText(*info, platform::Cp1252ToUtf8(text.AsBstr()));
    return 0;
}

int32_t RedirectRecord::SecondFile(LydvwRedirectInfo& info) {
    std::string name;
    if (info.name != 0) {
        const auto* text = reinterpret_cast<const char*>(info.name);
        name = platform::Utf8ToCp1252(std::string_view(text, strnlen(text, kNameMax)));
    }
    Variant spec;
    Variant data;
    int32_t type = 0;
    std::shared_ptr<IQelIORedir> object;
    if (m_object) {
        // Any failure fails, not only E_FAIL: the answers are not to be trusted then.
        if (automation::Failed(m_object->GenSecond(m_fileSpec, m_file, name, spec, type, object)))
            return kFailed;
    } else {
        int32_t result = 0;
        Fire(static_cast<int32_t>(Event::GenSecond),
             {m_fileSpec, m_data, m_file, Variant::Bstr(name), Variant::RefVariant(&spec),
              Variant::RefI4(&type), Variant::RefVariant(&data), Variant::RefI4(&result)});
        if (result != 0)
            return kFailed;
        object = RedirectObjectOf(data);
    }
    if (type >= 1 && type <= 6) {
        Variant text;
        if (automation::Failed(automation::ChangeType(spec, automation::VarType::Bstr, text)))
            return kFailed;
        const std::string path = platform::Cp1252ToUtf8(text.AsBstr());
        // A path cut to the buffer would name another file.
        if (info.buffer == 0 || path.size() >= info.buffer_size)
            return kFailed;
        CopyText(info, path);
        info.spec_type = LYDVW_SPEC_ANSI;
        return 0;
    }
    if (type != LYDVW_SPEC_REDIRECT)
        return kFailed;
    if (m_object && !object)
        return kFailed;
    RedirectRecord* record = m_owner.NewRedirect(spec, m_object ? Variant() : data, object);
    if (!record)
        return kFailed;
    if (const int32_t failed = record->Open()) {
        m_owner.DropRedirect(record);
        return m_object ? kFailed : failed;
    }
    info.spec = reinterpret_cast<uint64_t>(record->Engine());
    info.spec_type = LYDVW_SPEC_REDIRECT;
    return 0;
}

std::shared_ptr<IQelIORedir> RedirectObjectOf(const Variant& value) {
    return automation::QueryObjectAs<IQelIORedir>(value, kIQelIORedirIid);
}

RedirectRecord* Cqelctrl::NewRedirect(Variant fileSpec, Variant data, std::shared_ptr<IQelIORedir> object) {
    try {
        m_redirects.push_back(
            std::make_unique<RedirectRecord>(*this, std::move(fileSpec), std::move(data), std::move(object)));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return m_redirects.back().get();
}

void Cqelctrl::DropRedirect(RedirectRecord* record) {
    // Moved out first: the record's destructor may release host objects that call back.
    std::unique_ptr<RedirectRecord> dropped;
    for (auto& held : m_redirects) {
        if (held.get() == record) {
            dropped = std::move(held);
            break;
        }
    }
    std::erase(m_redirects, nullptr);
}

RedirectRecord* Cqelctrl::OpenRedirect(const Variant& fileSpec, const Variant& redirect) {
    const Variant data = Unwrapped(redirect);
    RedirectRecord* record = NewRedirect(fileSpec, data, RedirectObjectOf(data));
    if (!record) {
        ReportError(2, kErrNoObject);
        return nullptr;
    }
    if (const int32_t failed = record->Open()) {
        DropRedirect(record);
        ReportError(2, failed);
        return nullptr;
    }
    return record;
}

}  // namespace docview
