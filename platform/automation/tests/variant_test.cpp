// Values at the dispatch boundary: GUID text forms, status code texts, the variant kinds and the argument
// coercions as a table of cases.
#include "platform/automation/variant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <set>
#include <vector>

#include "platform/automation/dispatch_object.h"
#include "platform/automation/guid.h"

namespace platform::automation {
namespace {

static_assert(Guid::FromLiteral("{00020400-0000-0000-C000-000000000046}").data1 == 0x00020400);
static_assert(Guid::Parse("{00020400-0000-0000-C000-00000000004}") == std::nullopt);

TEST(GuidTest, ParsesAndFormatsTheRegistryForm) {
    auto guid = Guid::Parse("{d96db4f6-64ea-4415-98c5-7ae2bde10dbf}");
    ASSERT_TRUE(guid);
    EXPECT_EQ(guid->data1, 0xD96DB4F6u);
    EXPECT_EQ(guid->data2, 0x64EA);
    EXPECT_EQ(guid->data3, 0x4415);
    EXPECT_EQ(guid->data4[0], 0x98);
    EXPECT_EQ(guid->data4[7], 0xBF);
    EXPECT_EQ(guid->ToString(), "{D96DB4F6-64EA-4415-98C5-7AE2BDE10DBF}");
    EXPECT_EQ(Guid::Parse(guid->ToString()), guid);
    EXPECT_TRUE(Guid{}.IsNull());
    EXPECT_EQ(Guid{}.ToString(), "{00000000-0000-0000-0000-000000000000}");
}

TEST(GuidTest, RefusesMalformedText) {
    for (const char* text :
         {"", "D96DB4F6-64EA-4415-98C5-7AE2BDE10DBF", "{D96DB4F6-64EA-4415-98C5-7AE2BDE10DBF",
          "{D96DB4F6-64EA-4415-98C5-7AE2BDE10DB}", "{D96DB4F6-64EA-4415-98C5-7AE2BDE10DBFF}",
          "{D96DB4F6+64EA-4415-98C5-7AE2BDE10DBF}", "{D96DB4F664EA-4415-98C5-7AE2BDE10DBF-}",
          "{G96DB4F6-64EA-4415-98C5-7AE2BDE10DBF}", "(D96DB4F6-64EA-4415-98C5-7AE2BDE10DBF)"}) {
        EXPECT_EQ(Guid::Parse(text), std::nullopt) << text;
    }
}

TEST(GuidTest, GeneratesDistinctRandomIdentifiers) {
    std::set<Guid> seen;
    for (int i = 0; i < 100; ++i) {
        const Guid guid = Guid::Generate();
        EXPECT_EQ(guid.data3 >> 12, 4) << guid.ToString();  // a random (version 4) UUID
        EXPECT_TRUE(seen.insert(guid).second);
    }
}

TEST(HResultTest, FormatsCodeAndMeaning) {
    EXPECT_EQ(FormatHResult(REGDB_E_CLASSNOTREG), "0x80040154 (class not registered)");
    EXPECT_EQ(FormatHResult(E_INVALIDARG), "0x80070057 (invalid argument)");
    EXPECT_EQ(FormatHResult(MakeHResult(0x80041234u)), "0x80041234");
    EXPECT_EQ(HResultFromWin32(5), E_ACCESSDENIED);
    EXPECT_EQ(HResultFromWin32(0), S_OK);
    EXPECT_TRUE(Failed(E_FAIL));
    EXPECT_TRUE(Succeeded(S_FALSE));
}

TEST(VariantTest, KindsKeepTheirValues) {
    EXPECT_TRUE(Variant().IsEmpty());
    EXPECT_EQ(Variant::Bool(true).AsI2(), VARIANT_TRUE);
    EXPECT_EQ(Variant::Bool(false).AsI2(), VARIANT_FALSE);
    EXPECT_TRUE(Variant::Missing().IsMissing());
    EXPECT_FALSE(Variant::Error(E_FAIL).IsMissing());
    EXPECT_EQ(Variant::I4(7).AsBstr(), "");   // another kind reads as empty, never as garbage
    EXPECT_EQ(Variant::I4(70000).AsI2(), 0);  // never a silently truncated number
    EXPECT_EQ(Variant::I2(-2).AsI4(), -2);

    EXPECT_EQ(Variant::Date(45000.25).DateState(), DateStatus::Valid);
    EXPECT_EQ(Variant::Date(kMaxDate).DateState(), DateStatus::Invalid);
    EXPECT_EQ(Variant::Date(std::nan("")).DateState(), DateStatus::Invalid);
    EXPECT_EQ(Variant::Date(0, DateStatus::Null).DateState(), DateStatus::Null);

    int marker = 0;
    const Variant pointer = Variant::Pointer(&marker, "Marker");
    EXPECT_EQ(pointer.AsPointer<int>("Marker"), &marker);
    EXPECT_EQ(pointer.AsPointer<int>("PopupMenuData"), nullptr);
    EXPECT_EQ(Variant::I4(1).AsPointer<int>("Marker"), nullptr);

    int16_t cell = 3;
    const Variant ref = Variant::RefI2(&cell);
    EXPECT_EQ(ref.Type(), ByRef(VarType::I2));
    EXPECT_EQ(ref.AsRefI2(), &cell);
    EXPECT_EQ(ref.AsRefBool(), nullptr);
    EXPECT_EQ(VarTypeName(ref.Type()), "BYREF I2");

    auto object = std::make_shared<DispatchObject>();
    EXPECT_EQ(Variant::Dispatch(object).AsDispatch(), object);
    EXPECT_EQ(Variant::Dispatch(object), Variant::Dispatch(object));
    EXPECT_NE(Variant::I2(1), Variant::I4(1));
}

struct Coercion {
    const char* name;
    Variant in;
    VarType to;
    HRESULT hr;
    Variant out;
};

int16_t g_refI2 = -12;
uint8_t g_refUI1 = 200;
std::vector<uint8_t> g_refBytes = {1, 2, 3};
Variant g_heldText = Variant::Bstr("9");
Variant g_heldRef = Variant::RefI2(&g_refI2);
Variant g_heldRefVariant = Variant::RefVariant(&g_heldText);
std::string g_refText = "77";
int16_t g_refBool = VARIANT_TRUE;
float g_refR4 = 2.25f;

class ChangeTypeTest : public ::testing::TestWithParam<Coercion> {};

TEST_P(ChangeTypeTest, CoercesAsInvokeDoes) {
    const Coercion& c = GetParam();
    Variant out = Variant::Bstr("untouched");
    EXPECT_EQ(ChangeType(c.in, c.to, out), c.hr) << FormatHResult(ChangeType(c.in, c.to, out));
    if (Succeeded(c.hr)) {
        EXPECT_EQ(out, c.out) << VarTypeName(out.Type()) << " " << out.AsI4() << " '" << out.AsBstr() << "'";
    } else {
        EXPECT_EQ(out, Variant::Bstr("untouched"));
    }
}

const Coercion kCoercions[] = {
    {"I4ToI2", Variant::I4(5), VarType::I2, S_OK, Variant::I2(5)},
    {"I4ToI2Overflow", Variant::I4(70000), VarType::I2, DISP_E_OVERFLOW, {}},
    {"I2ToI4", Variant::I2(-3), VarType::I4, S_OK, Variant::I4(-3)},
    {"I4Same", Variant::I4(INT32_MIN), VarType::I4, S_OK, Variant::I4(INT32_MIN)},
    {"BoolToI4", Variant::Bool(true), VarType::I4, S_OK, Variant::I4(-1)},
    {"I4ToBoolTrue", Variant::I4(2), VarType::Bool, S_OK, Variant::Bool(true)},
    {"I2ToBoolFalse", Variant::I2(0), VarType::Bool, S_OK, Variant::Bool(false)},
    {"TextToI4", Variant::Bstr(" 42\t"), VarType::I4, S_OK, Variant::I4(42)},
    {"SignedTextToI2", Variant::Bstr("-32768"), VarType::I2, S_OK, Variant::I2(-32768)},
    {"PlusTextToI4", Variant::Bstr("+8002"), VarType::I4, S_OK, Variant::I4(8002)},
    {"HalfRoundsToEvenDown", Variant::Bstr("2.5"), VarType::I4, S_OK, Variant::I4(2)},
    {"HalfRoundsToEvenUp", Variant::Bstr("3.5"), VarType::I4, S_OK, Variant::I4(4)},
    {"ExponentText", Variant::Bstr("1e3"), VarType::I4, S_OK, Variant::I4(1000)},
    {"TextOverflowsI2", Variant::Bstr("40000"), VarType::I2, DISP_E_OVERFLOW, {}},
    {"TextOverflowsI4", Variant::Bstr("2147483648"), VarType::I4, DISP_E_OVERFLOW, {}},
    {"HugeExponent", Variant::Bstr("1e999"), VarType::I4, DISP_E_OVERFLOW, {}},
    {"WordsAreNoNumber", Variant::Bstr("abc"), VarType::I4, DISP_E_TYPEMISMATCH, {}},
    {"EmptyTextIsNoNumber", Variant::Bstr(""), VarType::I2, DISP_E_TYPEMISMATCH, {}},
    {"HexIsNoNumber", Variant::Bstr("0x10"), VarType::I4, DISP_E_TYPEMISMATCH, {}},
    {"InfIsNoNumber", Variant::Bstr("inf"), VarType::I4, DISP_E_TYPEMISMATCH, {}},
    {"TrailingGarbage", Variant::Bstr("12abc"), VarType::I4, DISP_E_TYPEMISMATCH, {}},
    {"TextTrue", Variant::Bstr("true"), VarType::Bool, S_OK, Variant::Bool(true)},
    {"TextFalse", Variant::Bstr("FALSE"), VarType::Bool, S_OK, Variant::Bool(false)},
    {"NumericTextToBool", Variant::Bstr("0"), VarType::Bool, S_OK, Variant::Bool(false)},
    {"YesIsNoBool", Variant::Bstr("yes"), VarType::Bool, DISP_E_TYPEMISMATCH, {}},
    {"I4ToText", Variant::I4(-12), VarType::Bstr, S_OK, Variant::Bstr("-12")},
    {"BoolToText", Variant::Bool(true), VarType::Bstr, S_OK, Variant::Bstr("-1")},
    {"EmptyToI4", Variant(), VarType::I4, S_OK, Variant::I4(0)},
    {"EmptyToText", Variant(), VarType::Bstr, S_OK, Variant::Bstr("")},
    {"EmptyToBool", Variant(), VarType::Bool, S_OK, Variant::Bool(false)},
    {"DateToI4", Variant::Date(2.5), VarType::I4, S_OK, Variant::I4(2)},
    {"I4ToDate", Variant::I4(36526), VarType::Date, S_OK, Variant::Date(36526)},
    {"I4OutOfDateRange", Variant::I4(3000000), VarType::Date, DISP_E_OVERFLOW, {}},
    {"InvalidDateToI4", Variant::Date(0, DateStatus::Invalid), VarType::I4, DISP_E_TYPEMISMATCH, {}},
    {"TextToDate", Variant::Bstr("1"), VarType::Date, DISP_E_TYPEMISMATCH, {}},
    {"DateToText", Variant::Date(1), VarType::Bstr, DISP_E_TYPEMISMATCH, {}},
    {"DispatchToI4", Variant::Dispatch(nullptr), VarType::I4, DISP_E_TYPEMISMATCH, {}},
    {"PointerToI4", Variant::Pointer(nullptr, "X"), VarType::I4, DISP_E_TYPEMISMATCH, {}},
    {"MissingToI2", Variant::Missing(), VarType::I2, DISP_E_TYPEMISMATCH, {}},
    {"I4ToDispatch", Variant::I4(1), VarType::Dispatch, DISP_E_TYPEMISMATCH, {}},
    {"I4ToPointer", Variant::I4(1), VarType::Pointer, DISP_E_TYPEMISMATCH, {}},
    {"ToByRef", Variant::I4(1), ByRef(VarType::I4), DISP_E_BADVARTYPE, {}},
    {"RefI2IsRead", Variant::RefI2(&g_refI2), VarType::I4, S_OK, Variant::I4(-12)},
    {"RefTextIsRead", Variant::RefBstr(&g_refText), VarType::I2, S_OK, Variant::I2(77)},
    {"RefBoolIsRead", Variant::RefBool(&g_refBool), VarType::Bool, S_OK, Variant::Bool(true)},
    {"NullRef", Variant::RefI4(nullptr), VarType::I4, E_POINTER, {}},
    {"I4ToR4", Variant::I4(-3), VarType::R4, S_OK, Variant::R4(-3.0f)},
    {"TextToR4", Variant::Bstr("1.5"), VarType::R4, S_OK, Variant::R4(1.5f)},
    {"R4ToI4RoundsHalfToEven", Variant::R4(2.5f), VarType::I4, S_OK, Variant::I4(2)},
    {"R4ToText", Variant::R4(0.25f), VarType::Bstr, S_OK, Variant::Bstr("0.25")},
    {"R4ToBool", Variant::R4(0.5f), VarType::Bool, S_OK, Variant::Bool(true)},
    {"TextOverflowsR4", Variant::Bstr("1e39"), VarType::R4, DISP_E_OVERFLOW, {}},
    {"RefR4IsRead", Variant::RefR4(&g_refR4), VarType::R4, S_OK, Variant::R4(2.25f)},
    {"EmptyToR4", Variant(), VarType::R4, S_OK, Variant::R4(0)},
    {"VariantPassesMissingOn", Variant::Missing(), VarType::Variant, S_OK, Variant::Missing()},
    {"VariantKeepsTheReference", Variant::RefI2(&g_refI2), VarType::Variant, S_OK, Variant::RefI2(&g_refI2)},
    {"I4ToUI1", Variant::I4(255), VarType::UI1, S_OK, Variant::UI1(255)},
    {"I4OverflowsUI1", Variant::I4(256), VarType::UI1, DISP_E_OVERFLOW, {}},
    {"NegativeOverflowsUI1", Variant::I2(-1), VarType::UI1, DISP_E_OVERFLOW, {}},
    {"TextToUI1", Variant::Bstr("17"), VarType::UI1, S_OK, Variant::UI1(17)},
    {"UI1ToI2", Variant::UI1(200), VarType::I2, S_OK, Variant::I2(200)},
    {"UI1ToText", Variant::UI1(7), VarType::Bstr, S_OK, Variant::Bstr("7")},
    {"UI1ToBool", Variant::UI1(1), VarType::Bool, S_OK, Variant::Bool(true)},
    {"EmptyToUI1", Variant(), VarType::UI1, S_OK, Variant::UI1(0)},
    {"RefUI1IsRead", Variant::RefUI1(&g_refUI1), VarType::I4, S_OK, Variant::I4(200)},
    {"BytesStayBytes", Variant::Bytes({1, 2}), VarType::UI1Array, S_OK, Variant::Bytes({1, 2})},
    {"RefBytesAreRead", Variant::RefBytes(&g_refBytes), VarType::UI1Array, S_OK, Variant::Bytes({1, 2, 3})},
    {"BytesAreNoNumber", Variant::Bytes({1}), VarType::UI1, DISP_E_TYPEMISMATCH, {}},
    {"NumberIsNoBytes", Variant::UI1(1), VarType::UI1Array, DISP_E_TYPEMISMATCH, {}},
    {"RefVariantIsRead", Variant::RefVariant(&g_heldText), VarType::I4, S_OK, Variant::I4(9)},
    {"RefVariantReadsThroughItsReference", Variant::RefVariant(&g_heldRef), VarType::I4, S_OK,
     Variant::I4(-12)},
    {"NestedRefVariantIsRefused", Variant::RefVariant(&g_heldRefVariant), VarType::I4, E_INVALIDARG, {}},
    {"NullRefVariant", Variant::RefVariant(nullptr), VarType::I4, E_POINTER, {}},
    {"NullUnknownToDispatch", Variant::Unknown(nullptr), VarType::Dispatch, S_OK, Variant::Dispatch(nullptr)},
    {"I4ToUnknown", Variant::I4(1), VarType::Unknown, DISP_E_TYPEMISMATCH, {}},
};

// An object that a host hands over for a custom interface only: it has no dispatch interface.
class CustomOnly : public IUnknown, public std::enable_shared_from_this<CustomOnly> {
  public:
    static constexpr Guid kIid = Guid::FromLiteral("{C0C0C0C0-0000-4000-8000-000000000001}");
    HRESULT QueryInterface(const Guid& iid, std::shared_ptr<void>& out) override {
        if (iid != kIid && iid != IID_IUnknown) {
            out.reset();
            return E_NOINTERFACE;
        }
        out = std::shared_ptr<void>(shared_from_this(), static_cast<IUnknown*>(this));
        return S_OK;
    }
};

TEST(VariantTest, ObjectsConvertBetweenUnknownAndDispatch) {
    auto dispatch = std::make_shared<DispatchObject>();
    Variant out;
    ASSERT_EQ(ChangeType(Variant::Dispatch(dispatch), VarType::Unknown, out), S_OK);
    EXPECT_EQ(out.Type(), VarType::Unknown);
    EXPECT_EQ(out.AsUnknown().get(), static_cast<IUnknown*>(dispatch.get()));
    Variant back;
    ASSERT_EQ(ChangeType(out, VarType::Dispatch, back), S_OK);
    EXPECT_EQ(back.AsDispatch(), dispatch);

    auto custom = std::make_shared<CustomOnly>();
    out = Variant::Bstr("untouched");
    EXPECT_EQ(ChangeType(Variant::Unknown(custom), VarType::Dispatch, out), E_NOINTERFACE);
    EXPECT_EQ(out, Variant::Bstr("untouched"));
}

TEST(VariantTest, ByReferenceVariantAndBytesReachTheCallersStorage) {
    Variant slot;
    const Variant ref = Variant::RefVariant(&slot);
    EXPECT_EQ(ref.Type(), ByRef(VarType::Variant));
    EXPECT_EQ(VarTypeName(ref.Type()), "BYREF VARIANT");
    *ref.AsRefVariant() = Variant::Bytes({0, 0xFF, 0});
    EXPECT_EQ(slot.Type(), VarType::UI1Array);
    EXPECT_EQ(VarTypeName(slot.Type()), "ARRAY UI1");
    EXPECT_EQ(slot.AsBytes(), (std::vector<uint8_t>{0, 0xFF, 0}));  // zeros are bytes like any other
    EXPECT_TRUE(Variant::I4(1).AsBytes().empty());
    EXPECT_EQ(ref.AsRefI4(), nullptr);

    std::vector<uint8_t> bytes;
    *Variant::RefBytes(&bytes).AsRefBytes() = {5};
    EXPECT_EQ(bytes, std::vector<uint8_t>{5});
    EXPECT_NE(Variant::Bytes({1}), Variant::Bytes({1, 0}));
    EXPECT_EQ(Variant::UI1(9).AsI4(), 9);
}

struct ObjectQuery {
    const char* name;
    std::function<Variant(std::shared_ptr<IDispatch>&, std::shared_ptr<IUnknown>&, Variant&)> argument;
    Guid iid;
    HRESULT hr;
};

const ObjectQuery kObjectQueries[] = {
    {"Dispatch", [](auto& d, auto&, auto&) { return Variant::Dispatch(d); }, IID_IDispatch, S_OK},
    {"DispatchForUnknown", [](auto& d, auto&, auto&) { return Variant::Dispatch(d); }, IID_IUnknown, S_OK},
    {"DispatchByReference", [](auto& d, auto&, auto&) { return Variant::RefDispatch(&d); }, IID_IDispatch,
     S_OK},
    {"UnknownForCustom", [](auto&, auto& u, auto&) { return Variant::Unknown(u); }, CustomOnly::kIid, S_OK},
    {"UnknownByReference", [](auto&, auto& u, auto&) { return Variant::RefUnknown(&u); }, CustomOnly::kIid,
     S_OK},
    {"VariantByReference",
     [](auto&, auto& u, auto& slot) {
         slot = Variant::Unknown(u);
         return Variant::RefVariant(&slot);
     },
     CustomOnly::kIid, S_OK},
    {"CustomHasNoDispatch", [](auto&, auto& u, auto&) { return Variant::Unknown(u); }, IID_IDispatch,
     E_NOINTERFACE},
    {"NullObject", [](auto&, auto&, auto&) { return Variant::Unknown(nullptr); }, IID_IUnknown,
     E_NOINTERFACE},
    {"NotAnObject", [](auto&, auto&, auto&) { return Variant::I4(5); }, IID_IUnknown, DISP_E_TYPEMISMATCH},
    {"NullReference", [](auto&, auto&, auto&) { return Variant::RefUnknown(nullptr); }, IID_IUnknown,
     E_POINTER},
};

class QueryObjectTest : public ::testing::TestWithParam<ObjectQuery> {};

TEST_P(QueryObjectTest, AsksTheArgumentsObject) {
    const ObjectQuery& q = GetParam();
    std::shared_ptr<IDispatch> dispatch = std::make_shared<DispatchObject>();
    std::shared_ptr<IUnknown> custom = std::make_shared<CustomOnly>();
    Variant slot;
    const Variant argument = q.argument(dispatch, custom, slot);
    std::shared_ptr<void> out = std::make_shared<int>(0);
    EXPECT_EQ(QueryObject(argument, q.iid, out), q.hr);
    EXPECT_EQ(out != nullptr, Succeeded(q.hr));
    if (Succeeded(q.hr)) {
        const void* expected = q.iid == CustomOnly::kIid ? static_cast<const void*>(custom.get())
                                                         : static_cast<const void*>(dispatch.get());
        EXPECT_EQ(out.get(), expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, QueryObjectTest, ::testing::ValuesIn(kObjectQueries),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(QueryObjectTest, KeepsTheObjectAliveAfterTheArgumentGoes) {
    std::shared_ptr<CustomOnly> held;
    {
        auto custom = std::make_shared<CustomOnly>();
        held = QueryObjectAs<CustomOnly>(Variant::Unknown(custom), CustomOnly::kIid);
    }
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(held.use_count(), 1);
}

INSTANTIATE_TEST_SUITE_P(Table, ChangeTypeTest, ::testing::ValuesIn(kCoercions),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace platform::automation
