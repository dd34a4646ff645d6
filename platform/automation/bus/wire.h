// The byte form of calls between an automation client and its local server: requests, replies and one-way
// posts, each a flat little-endian record inside one D-Bus byte array. Text travels as bytes, so BSTRs cross
// 8-bit exact. Plain C++; every reader checks lengths, so a damaged or hostile record is refused, never read
// past its end.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/dispatch.h"

namespace platform::automation::bus {

// The D-Bus names both sides use.
inline constexpr const char* kObjectPath = "/com/carrowline/Automation/Object";
inline constexpr const char* kObjectInterface = "com.carrowline.Automation.Object";
inline constexpr const char* kCallbackPath = "/com/carrowline/Automation/Callbacks";
inline constexpr const char* kCallbackInterface = "com.carrowline.Automation.Callback";
// The client's unique bus name, given to the server it starts, so that it answers only its client and ends
// when that client leaves the bus.
inline constexpr const char* kClientVariable = "CARROWLINE_AUTOMATION_CLIENT";

// What a Dispatch value becomes on the wire: a number the sender hands out for the object it keeps.
// Returning nullopt refuses the object (it cannot cross).
using ExportObject = std::function<std::optional<uint32_t>(const std::shared_ptr<IDispatch>&)>;
// And back: the proxy for a number the peer sent (null for 0).
using ImportObject = std::function<std::shared_ptr<IDispatch>(uint32_t id)>;

enum class Op : uint8_t { GetIDsOfNames = 1, Invoke = 2 };

struct Request {
    Op op = Op::Invoke;
    std::vector<std::string> names;  // GetIDsOfNames
    DISPID dispid = DISPID_UNKNOWN;  // Invoke
    InvokeKind kind = InvokeKind::Method;
    std::vector<Variant> args;
};

struct Reply {
    HRESULT hr = S_OK;
    std::vector<DISPID> ids;  // GetIDsOfNames
    Variant result;           // Invoke
    InvokeError error;
};

// A one-way call on an object the receiver keeps, by member name (the sender cannot ask for its id).
struct Post {
    uint32_t object = 0;
    std::string member;
    InvokeKind kind = InvokeKind::Method;
    std::vector<Variant> args;
};

// Encoders fail with DISP_E_TYPEMISMATCH when a value cannot cross (a by-reference kind, an in-process
// pointer, an object the export refuses); `badIndex` then names the argument at fault.
HRESULT EncodeRequest(const Request& request, const ExportObject& exportObject, std::string& out,
                      uint32_t* badIndex = nullptr);
HRESULT EncodeReply(const Reply& reply, std::string& out);
HRESULT EncodePost(const Post& post, std::string& out, uint32_t* badIndex = nullptr);

// Decoders give nullopt for a damaged record.
std::optional<Request> DecodeRequest(std::string_view bytes, const ImportObject& importObject);
std::optional<Reply> DecodeReply(std::string_view bytes);
std::optional<Post> DecodePost(std::string_view bytes);

}  // namespace platform::automation::bus
