// The local-server records: every kind that crosses comes back as it went, and a damaged record, cut at
// any byte or with a length that overruns it, is refused.
#include "platform/automation/bus/wire.h"

#include <gtest/gtest.h>

#include "platform/automation/dispatch_object.h"

namespace platform::automation::bus {
namespace {

Request SampleInvoke() {
    Request request;
    request.dispid = 4;
    request.kind = InvokeKind::Method | InvokeKind::PropertyGet;
    request.args = {
        Variant::Bstr("\x80\xFF text"),       Variant::I2(-3),    Variant::R4(2.5f), Variant::Missing(),
        Variant::Date(1.5, DateStatus::Null), Variant::Bool(true)};
    return request;
}

TEST(LocalServerWireTest, RecordsRoundTripAndRefuseEveryCut) {
    std::string request;
    ASSERT_EQ(EncodeRequest(SampleInvoke(), {}, request), S_OK);
    Reply sample;
    sample.hr = DISP_E_EXCEPTION;
    sample.ids = {1, 2};
    sample.result = Variant::Bstr("r\0s");
    sample.error = {3, E_INVALIDARG, "Src", "Desc"};
    std::string reply;
    ASSERT_EQ(EncodeReply(sample, reply), S_OK);
    std::string post;
    ASSERT_EQ(EncodePost({9, "PostMessage", InvokeKind::Method, {Variant::I4(3024)}}, post), S_OK);

    const auto decoded = DecodeRequest(request, {});
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->args.size(), 6u);
    for (size_t i = 0; i < decoded->args.size(); ++i) {
        EXPECT_TRUE(decoded->args[i] == SampleInvoke().args[i]) << i;
    }
    const auto back = DecodeReply(reply);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->error.description, "Desc");
    EXPECT_EQ(back->ids, sample.ids);

    for (const std::string* record : {&request, &reply, &post}) {
        for (size_t cut = 0; cut < record->size(); ++cut) {
            const std::string_view part(record->data(), cut);
            EXPECT_FALSE(DecodeRequest(part, {}) && record == &request) << cut;
            EXPECT_FALSE(DecodeReply(part) && record == &reply) << cut;
            EXPECT_FALSE(DecodePost(part) && record == &post) << cut;
        }
        // Trailing bytes are damage too.
        EXPECT_FALSE(DecodeReply(*record + "x") && record == &reply);
    }
}

TEST(LocalServerWireTest, LengthsAndKindsThatLieAreRefused) {
    // A text that claims more bytes than follow, a count beyond any call, an unknown kind, no flags.
    const std::string hugeText =
        std::string("\x00\x00\x00\x00\x00\x00\x00\x00\x08\x00", 10) + "\xFF\xFF\xFF\x7F";
    EXPECT_FALSE(DecodeReply(hugeText));
    const std::string manyIds = std::string("\x00\x00\x00\x00", 4) + "\xFF\xFF\xFF\xFF";
    EXPECT_FALSE(DecodeReply(manyIds));
    std::string request;
    Request bad = SampleInvoke();
    bad.args = {Variant::I4(1)};
    ASSERT_EQ(EncodeRequest(bad, {}, request), S_OK);
    std::string unknownKind = request;
    unknownKind[request.size() - 6] = 0x55;  // the argument's kind
    EXPECT_FALSE(DecodeRequest(unknownKind, {}));
    std::string noFlags = request;
    noFlags[5] = 0;
    noFlags[6] = 0;
    EXPECT_FALSE(DecodeRequest(noFlags, {}));
    // An object argument without an importer is refused, not made up.
    std::string withObject =
        std::string("\x02\x01\x00\x00\x00\x01\x00\x01\x00\x00\x00\x09\x00\x05\x00\x00\x00", 17);
    EXPECT_FALSE(DecodeRequest(withObject, {}));
    EXPECT_TRUE(DecodeRequest(withObject, [](uint32_t) { return std::make_shared<DispatchObject>(); }));
}

}  // namespace
}  // namespace platform::automation::bus
