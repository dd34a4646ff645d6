// Encoding and checked decoding of the local-server records.
#include "platform/automation/bus/wire.h"

#include <bit>
#include <cstring>

namespace platform::automation::bus {
namespace {

// No record is allowed to claim more items than this, whatever its length field says.
constexpr uint32_t kMaxItems = 4096;

class Writer {
  public:
    explicit Writer(std::string& out) : m_out(out) { m_out.clear(); }
    void U8(uint8_t v) { m_out.push_back(static_cast<char>(v)); }
    void U16(uint16_t v) {
        U8(static_cast<uint8_t>(v));
        U8(static_cast<uint8_t>(v >> 8));
    }
    void U32(uint32_t v) {
        U16(static_cast<uint16_t>(v));
        U16(static_cast<uint16_t>(v >> 16));
    }
    void U64(uint64_t v) {
        U32(static_cast<uint32_t>(v));
        U32(static_cast<uint32_t>(v >> 32));
    }
    void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
    void Text(std::string_view text) {
        U32(static_cast<uint32_t>(text.size()));
        m_out.append(text);
    }

  private:
    std::string& m_out;
};

class Reader {
  public:
    explicit Reader(std::string_view bytes) : m_bytes(bytes) {}
    bool U8(uint8_t& v) {
        if (m_pos >= m_bytes.size()) {
            return false;
        }
        v = static_cast<uint8_t>(m_bytes[m_pos++]);
        return true;
    }
    bool U16(uint16_t& v) {
        uint8_t lo = 0;
        uint8_t hi = 0;
        if (!U8(lo) || !U8(hi)) {
            return false;
        }
        v = static_cast<uint16_t>(lo | (hi << 8));
        return true;
    }
    bool U32(uint32_t& v) {
        uint16_t lo = 0;
        uint16_t hi = 0;
        if (!U16(lo) || !U16(hi)) {
            return false;
        }
        v = static_cast<uint32_t>(lo) | (static_cast<uint32_t>(hi) << 16);
        return true;
    }
    bool U64(uint64_t& v) {
        uint32_t lo = 0;
        uint32_t hi = 0;
        if (!U32(lo) || !U32(hi)) {
            return false;
        }
        v = static_cast<uint64_t>(lo) | (static_cast<uint64_t>(hi) << 32);
        return true;
    }
    bool I32(int32_t& v) {
        uint32_t raw = 0;
        if (!U32(raw)) {
            return false;
        }
        v = static_cast<int32_t>(raw);
        return true;
    }
    bool Text(std::string& text) {
        uint32_t size = 0;
        if (!U32(size) || size > m_bytes.size() - m_pos) {
            return false;
        }
        text.assign(m_bytes.substr(m_pos, size));
        m_pos += size;
        return true;
    }
    bool Count(uint32_t& count) { return U32(count) && count <= kMaxItems; }
    bool AtEnd() const { return m_pos == m_bytes.size(); }

  private:
    std::string_view m_bytes;
    size_t m_pos = 0;
};

bool WriteVariant(Writer& w, const Variant& v, const ExportObject* exportObject) {
    const VarType type = v.Type();
    switch (type) {
        case VarType::Empty:
            w.U16(static_cast<uint16_t>(type));
            return true;
        case VarType::I2:
        case VarType::I4:
        case VarType::Bool:
            w.U16(static_cast<uint16_t>(type));
            w.I32(v.AsI4());
            return true;
        case VarType::Error:
            w.U16(static_cast<uint16_t>(type));
            w.I32(v.AsError());
            return true;
        case VarType::R4:
            w.U16(static_cast<uint16_t>(type));
            w.U32(std::bit_cast<uint32_t>(v.AsR4()));
            return true;
        case VarType::Date:
            w.U16(static_cast<uint16_t>(type));
            w.U64(std::bit_cast<uint64_t>(v.AsDate()));
            w.U8(static_cast<uint8_t>(v.DateState()));
            return true;
        case VarType::Bstr:
            w.U16(static_cast<uint16_t>(type));
            w.Text(v.AsBstr());
            return true;
        case VarType::Dispatch: {
            uint32_t id = 0;
            if (v.AsDispatch()) {
                if (exportObject == nullptr || !*exportObject) {
                    return false;
                }
                auto exported = (*exportObject)(v.AsDispatch());
                if (!exported || *exported == 0) {
                    return false;
                }
                id = *exported;
            }
            w.U16(static_cast<uint16_t>(type));
            w.U32(id);
            return true;
        }
        default:
            return false;  // by reference, in-process pointers: nothing the peer could point at
    }
}

bool ReadVariant(Reader& r, Variant& v, const ImportObject* importObject) {
    uint16_t raw = 0;
    if (!r.U16(raw)) {
        return false;
    }
    int32_t i = 0;
    switch (static_cast<VarType>(raw)) {
        case VarType::Empty:
            v = Variant();
            return true;
        case VarType::I2:
            if (!r.I32(i) || i < INT16_MIN || i > INT16_MAX) {
                return false;
            }
            v = Variant::I2(static_cast<int16_t>(i));
            return true;
        case VarType::I4:
            if (!r.I32(i)) {
                return false;
            }
            v = Variant::I4(i);
            return true;
        case VarType::Bool:
            if (!r.I32(i)) {
                return false;
            }
            v = Variant::Bool(i != 0);
            return true;
        case VarType::Error:
            if (!r.I32(i)) {
                return false;
            }
            v = Variant::Error(i);
            return true;
        case VarType::R4: {
            uint32_t bits = 0;
            if (!r.U32(bits)) {
                return false;
            }
            v = Variant::R4(std::bit_cast<float>(bits));
            return true;
        }
        case VarType::Date: {
            uint64_t bits = 0;
            uint8_t status = 0;
            if (!r.U64(bits) || !r.U8(status) || status > static_cast<uint8_t>(DateStatus::Null)) {
                return false;
            }
            v = Variant::Date(std::bit_cast<double>(bits), static_cast<DateStatus>(status));
            return true;
        }
        case VarType::Bstr: {
            std::string text;
            if (!r.Text(text)) {
                return false;
            }
            v = Variant::Bstr(std::move(text));
            return true;
        }
        case VarType::Dispatch: {
            uint32_t id = 0;
            if (!r.U32(id)) {
                return false;
            }
            if (id == 0) {
                v = Variant::Dispatch(nullptr);
                return true;
            }
            if (importObject == nullptr || !*importObject) {
                return false;
            }
            auto object = (*importObject)(id);
            if (!object) {
                return false;
            }
            v = Variant::Dispatch(std::move(object));
            return true;
        }
        default:
            return false;
    }
}

HRESULT WriteArgs(Writer& w, const std::vector<Variant>& args, const ExportObject* exportObject,
                  uint32_t* badIndex) {
    w.U32(static_cast<uint32_t>(args.size()));
    for (size_t i = 0; i < args.size(); ++i) {
        if (!WriteVariant(w, args[i], exportObject)) {
            if (badIndex) {
                *badIndex = static_cast<uint32_t>(i);
            }
            return DISP_E_TYPEMISMATCH;
        }
    }
    return S_OK;
}

bool ReadArgs(Reader& r, std::vector<Variant>& args, const ImportObject* importObject) {
    uint32_t count = 0;
    if (!r.Count(count)) {
        return false;
    }
    args.resize(count);
    for (Variant& arg : args) {
        if (!ReadVariant(r, arg, importObject)) {
            return false;
        }
    }
    return true;
}

bool ReadKind(Reader& r, InvokeKind& kind) {
    uint16_t raw = 0;
    // At least one of the four flags and nothing else.
    if (!r.U16(raw) || raw == 0 || (raw & ~0xFu) != 0) {
        return false;
    }
    kind = static_cast<InvokeKind>(raw);
    return true;
}

}  // namespace

HRESULT EncodeRequest(const Request& request, const ExportObject& exportObject, std::string& out,
                      uint32_t* badIndex) {
    Writer w(out);
    w.U8(static_cast<uint8_t>(request.op));
    if (request.op == Op::GetIDsOfNames) {
        w.U32(static_cast<uint32_t>(request.names.size()));
        for (const std::string& name : request.names) {
            w.Text(name);
        }
        return S_OK;
    }
    w.I32(request.dispid);
    w.U16(static_cast<uint16_t>(request.kind));
    return WriteArgs(w, request.args, &exportObject, badIndex);
}

std::optional<Request> DecodeRequest(std::string_view bytes, const ImportObject& importObject) {
    Reader r(bytes);
    Request request;
    uint8_t op = 0;
    if (!r.U8(op)) {
        return std::nullopt;
    }
    if (op == static_cast<uint8_t>(Op::GetIDsOfNames)) {
        request.op = Op::GetIDsOfNames;
        uint32_t count = 0;
        if (!r.Count(count) || count == 0) {
            return std::nullopt;
        }
        request.names.resize(count);
        for (std::string& name : request.names) {
            if (!r.Text(name)) {
                return std::nullopt;
            }
        }
    } else if (op == static_cast<uint8_t>(Op::Invoke)) {
        request.op = Op::Invoke;
        if (!r.I32(request.dispid) || !ReadKind(r, request.kind) ||
            !ReadArgs(r, request.args, &importObject)) {
            return std::nullopt;
        }
    } else {
        return std::nullopt;
    }
    if (!r.AtEnd()) {
        return std::nullopt;
    }
    return request;
}

HRESULT EncodeReply(const Reply& reply, std::string& out) {
    Writer w(out);
    w.I32(reply.hr);
    w.U32(static_cast<uint32_t>(reply.ids.size()));
    for (const DISPID id : reply.ids) {
        w.I32(id);
    }
    if (!WriteVariant(w, reply.result, nullptr)) {
        return DISP_E_TYPEMISMATCH;
    }
    w.U32(reply.error.argument);
    w.I32(reply.error.scode);
    w.Text(reply.error.source);
    w.Text(reply.error.description);
    return S_OK;
}

std::optional<Reply> DecodeReply(std::string_view bytes) {
    Reader r(bytes);
    Reply reply;
    uint32_t count = 0;
    if (!r.I32(reply.hr) || !r.Count(count)) {
        return std::nullopt;
    }
    reply.ids.resize(count);
    for (DISPID& id : reply.ids) {
        if (!r.I32(id)) {
            return std::nullopt;
        }
    }
    if (!ReadVariant(r, reply.result, nullptr) || !r.U32(reply.error.argument) || !r.I32(reply.error.scode) ||
        !r.Text(reply.error.source) || !r.Text(reply.error.description) || !r.AtEnd()) {
        return std::nullopt;
    }
    return reply;
}

HRESULT EncodePost(const Post& post, std::string& out, uint32_t* badIndex) {
    Writer w(out);
    w.U32(post.object);
    w.Text(post.member);
    w.U16(static_cast<uint16_t>(post.kind));
    return WriteArgs(w, post.args, nullptr, badIndex);
}

std::optional<Post> DecodePost(std::string_view bytes) {
    Reader r(bytes);
    Post post;
    if (!r.U32(post.object) || !r.Text(post.member) || !ReadKind(r, post.kind) ||
        !ReadArgs(r, post.args, nullptr) || !r.AtEnd()) {
        return std::nullopt;
    }
    return post;
}

}  // namespace platform::automation::bus
