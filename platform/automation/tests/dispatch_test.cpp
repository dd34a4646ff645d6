// Dispatch by name over a member table: lookup in any letter case, argument count and kind checks with their
// DISP_E codes, optional and by-reference arguments, handler failures, and interface queries.
#include "platform/automation/dispatch.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/automation/dispatch_object.h"

namespace platform::automation {
namespace {

constexpr Guid kPrimaryIid = Guid::FromLiteral("{0D7A4E10-1111-4A2B-8C3D-4E5F60718293}");

// A small control-like object: properties of several kinds and methods with the argument shapes the suite
// uses (I2, I4 pairs, text, by-reference, in-process pointers, optional arguments).
class Sample : public DispatchObject {
  public:
    struct Record {
        int32_t value = 0;
    };

    Sample() : DispatchObject({}, {kPrimaryIid}) {
        Table()
            .Property(
                "FontSize", 2, VarType::I2, [this] { return Variant::I2(m_fontSize); },
                [this](const Variant& v) { m_fontSize = v.AsI2(); })
            .Property(
                "Connector", 10, VarType::Bstr, [this] { return Variant::Bstr(m_connector); },
                [this](const Variant& v) { m_connector = v.AsBstr(); })
            .Property(
                "Border", 11, VarType::Bool, [this] { return Variant::Bool(m_border); },
                [this](const Variant& v) { m_border = v.AsBool(); })
            .Property(
                "MinWindowWidth", 1021, VarType::I4, [] { return Variant::I4(640); }, nullptr)
            .Method("Send", 29, {{VarType::Bstr}}, VarType::Empty,
                    [this](std::span<const Variant> args) {
                        m_sent.push_back(args[0].AsBstr());
                        return Variant();
                    })
            .Method("ResizeRequest", 1018, {{VarType::I4}, {VarType::I4}}, VarType::Bool,
                    [](std::span<const Variant> args) { return Variant::Bool(args[0].AsI4() > 0); })
            .Method("PopupMenuItem", 1008, {{VarType::I2}}, VarType::Empty,
                    [](std::span<const Variant> args) -> Variant {
                        if (args[0].AsI2() < 10000 || args[0].AsI2() > 10019) {
                            throw DispatchError(E_INVALIDARG, "menu item out of range");
                        }
                        return Variant();
                    })
            .Method("Print", 1006, {{ByRef(VarType::I2)}}, VarType::Empty,
                    [](std::span<const Variant> args) {
                        *args[0].AsRefI2() += 1;
                        return Variant();
                    })
            .Method("Login", 1005, {{VarType::I2}, {VarType::Pointer, false, std::nullopt, "Record"}},
                    VarType::I4,
                    [](std::span<const Variant> args) {
                        auto* record = args[1].AsPointer<Record>("Record");
                        return Variant::I4(record ? record->value + args[0].AsI2() : -1);
                    })
            .Method("Optional", 60,
                    {{VarType::I4}, {VarType::I4, true, Variant::I4(5)}, {VarType::Bstr, true}},
                    VarType::Bstr,
                    [](std::span<const Variant> args) {
                        return Variant::Bstr(std::to_string(args[0].AsI4() + args[1].AsI4()) +
                                             (args[2].IsMissing() ? "/missing" : "/" + args[2].AsBstr()));
                    })
            .Method("Throws", 61, {}, VarType::Empty,
                    [](std::span<const Variant>) -> Variant { throw std::runtime_error("host pipe broke"); })
            .Method("ThrowsOddly", 62, {}, VarType::Empty,
                    [](std::span<const Variant>) -> Variant { throw 42; })
            .Method("ThrowsSuccess", 64, {}, VarType::I4,
                    [](std::span<const Variant>) -> Variant { throw DispatchError(S_FALSE, "odd"); })
            .Method("BadResult", 63, {}, VarType::I4,
                    [](std::span<const Variant>) { return Variant::Bstr("not a number"); });
    }

    int16_t m_fontSize = 9;
    std::string m_connector = "remote";
    bool m_border = true;
    std::vector<std::string> m_sent;
};

class DispatchTest : public ::testing::Test {
  protected:
    DISPID Id(std::string_view name) {
        DISPID id = DISPID_UNKNOWN;
        EXPECT_EQ(m_object->GetIDOfName(name, id), S_OK) << name;
        return id;
    }
    HRESULT Call(std::string_view name, InvokeKind kind, std::vector<Variant> args, Variant* result = nullptr,
                 InvokeError* error = nullptr) {
        return m_object->Invoke(Id(name), kind, args, result, error);
    }

    std::shared_ptr<Sample> m_object = std::make_shared<Sample>();
};

TEST_F(DispatchTest, NamesMatchInAnyLetterCase) {
    for (const char* name : {"FontSize", "fontsize", "FONTSIZE", "fOnTsIzE"}) {
        EXPECT_EQ(Id(name), 2) << name;
    }
    EXPECT_EQ(Id("minwindowwidth"), 1021);
}

TEST_F(DispatchTest, UnknownNamesAndNamedArgumentsAreRefused) {
    DISPID id = 99;
    EXPECT_EQ(m_object->GetIDOfName("DirectChainMode", id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, DISPID_UNKNOWN);
    EXPECT_EQ(m_object->GetIDOfName("FontSiz", id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(m_object->GetIDOfName("", id), DISP_E_UNKNOWNNAME);

    const std::string_view names[] = {"ResizeRequest", "cx"};
    DISPID ids[] = {0, 0};
    EXPECT_EQ(m_object->GetIDsOfNames(names, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], 1018);
    EXPECT_EQ(ids[1], DISPID_UNKNOWN);

    DISPID tooFew[1] = {0};
    EXPECT_EQ(m_object->GetIDsOfNames(names, tooFew), E_INVALIDARG);
}

TEST_F(DispatchTest, PropertiesGetAndPutWithCoercion) {
    Variant result;
    ASSERT_EQ(Call("FontSize", InvokeKind::PropertyGet, {}, &result), S_OK);
    EXPECT_EQ(result, Variant::I2(9));
    EXPECT_EQ(Call("FontSize", InvokeKind::PropertyPut, {Variant::I4(12)}), S_OK);
    EXPECT_EQ(m_object->m_fontSize, 12);
    EXPECT_EQ(Call("FontSize", InvokeKind::PropertyPut, {Variant::Bstr("14")}), S_OK);
    EXPECT_EQ(m_object->m_fontSize, 14);
    EXPECT_EQ(Call("Border", InvokeKind::PropertyPut, {Variant::I4(0)}), S_OK);
    EXPECT_FALSE(m_object->m_border);
    EXPECT_EQ(Call("Connector", InvokeKind::PropertyPut, {Variant::Bstr("local")}), S_OK);
    // A script caller asks for method-or-get.
    ASSERT_EQ(Call("connector", InvokeKind::Method | InvokeKind::PropertyGet, {}, &result), S_OK);
    EXPECT_EQ(result, Variant::Bstr("local"));
}

TEST_F(DispatchTest, MethodsRunAndResultsTakeTheDeclaredKind) {
    Variant result;
    ASSERT_EQ(Call("ResizeRequest", InvokeKind::Method, {Variant::I4(640), Variant::I2(480)}, &result), S_OK);
    EXPECT_EQ(result, Variant::Bool(true));
    ASSERT_EQ(Call("Send", InvokeKind::Method, {Variant::Bstr("/pat\r")}, &result), S_OK);
    EXPECT_TRUE(result.IsEmpty());
    EXPECT_EQ(m_object->m_sent, std::vector<std::string>{"/pat\r"});
    EXPECT_EQ(Call("Send", InvokeKind::Method, {Variant::Bstr("x")}, nullptr), S_OK);
}

struct Misuse {
    const char* name;
    const char* member;
    InvokeKind kind;
    std::vector<Variant> args;
    HRESULT hr;
    uint32_t argument;
};

class DispatchMisuseTest : public DispatchTest, public ::testing::WithParamInterface<Misuse> {};

TEST_P(DispatchMisuseTest, GivesTheDispatchCodeAndLeavesTheObjectAlone) {
    const Misuse& m = GetParam();
    InvokeError error;
    Variant result = Variant::Bstr("untouched");
    EXPECT_EQ(Call(m.member, m.kind, m.args, &result, &error), m.hr) << FormatHResult(m.hr);
    EXPECT_EQ(error.argument, m.argument);
    EXPECT_EQ(result, Variant::Bstr("untouched"));
    EXPECT_EQ(m_object->m_fontSize, 9);
    EXPECT_TRUE(m_object->m_sent.empty());
}

int16_t g_printDc = 0;

INSTANTIATE_TEST_SUITE_P(
    Table, DispatchMisuseTest,
    ::testing::Values(
        Misuse{"TooManyArguments",
               "Send",
               InvokeKind::Method,
               {Variant::Bstr("a"), Variant::Bstr("b")},
               DISP_E_BADPARAMCOUNT,
               0},
        Misuse{"TooFewArguments",
               "ResizeRequest",
               InvokeKind::Method,
               {Variant::I4(1)},
               DISP_E_BADPARAMCOUNT,
               1},
        Misuse{"NoArguments", "Send", InvokeKind::Method, {}, DISP_E_BADPARAMCOUNT, 0},
        Misuse{"MissingRequired",
               "ResizeRequest",
               InvokeKind::Method,
               {Variant::Missing(), Variant::I4(1)},
               DISP_E_PARAMNOTOPTIONAL,
               0},
        Misuse{"TextForNumber",
               "ResizeRequest",
               InvokeKind::Method,
               {Variant::I4(1), Variant::Bstr("wide")},
               DISP_E_TYPEMISMATCH,
               1},
        Misuse{"ObjectForText",
               "Send",
               InvokeKind::Method,
               {Variant::Dispatch(nullptr)},
               DISP_E_TYPEMISMATCH,
               0},
        Misuse{
            "PutOverflows", "FontSize", InvokeKind::PropertyPut, {Variant::I4(1 << 20)}, DISP_E_OVERFLOW, 0},
        Misuse{"PutWithoutValue", "FontSize", InvokeKind::PropertyPut, {}, DISP_E_BADPARAMCOUNT, 0},
        Misuse{"GetWithArgument",
               "FontSize",
               InvokeKind::PropertyGet,
               {Variant::I2(1)},
               DISP_E_BADPARAMCOUNT,
               0},
        Misuse{"PutReadOnly",
               "MinWindowWidth",
               InvokeKind::PropertyPut,
               {Variant::I4(1)},
               DISP_E_MEMBERNOTFOUND,
               0},
        Misuse{"MethodAsProperty", "Send", InvokeKind::PropertyGet, {}, DISP_E_MEMBERNOTFOUND, 0},
        Misuse{"PropertyAsMethod", "FontSize", InvokeKind::Method, {}, DISP_E_MEMBERNOTFOUND, 0},
        Misuse{"ValueForByRef", "Print", InvokeKind::Method, {Variant::I2(1)}, DISP_E_TYPEMISMATCH, 0},
        Misuse{
            "WrongByRefKind", "Print", InvokeKind::Method, {Variant::RefI4(nullptr)}, DISP_E_TYPEMISMATCH, 0},
        Misuse{"NullByRef", "Print", InvokeKind::Method, {Variant::RefI2(nullptr)}, E_POINTER, 0},
        Misuse{"NumberForPointer",
               "Login",
               InvokeKind::Method,
               {Variant::I2(1), Variant::I4(0x1000)},
               DISP_E_TYPEMISMATCH,
               1},
        Misuse{"PointerOfAnotherType",
               "Login",
               InvokeKind::Method,
               {Variant::I2(1), Variant::Pointer(&g_printDc, "PopupMenuData")},
               DISP_E_TYPEMISMATCH,
               1},
        Misuse{"HandlerRefusesArgument",
               "PopupMenuItem",
               InvokeKind::Method,
               {Variant::I2(9999)},
               E_INVALIDARG,
               0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DispatchTest, UnknownDispidIsMemberNotFound) {
    EXPECT_EQ(m_object->Invoke(4242, InvokeKind::Method, {}, nullptr, nullptr), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(m_object->Invoke(DISPID_UNKNOWN, InvokeKind::PropertyGet, {}, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
}

TEST_F(DispatchTest, OptionalArgumentsTakeDefaultsOrMissing) {
    Variant result;
    ASSERT_EQ(Call("Optional", InvokeKind::Method, {Variant::I4(1)}, &result), S_OK);
    EXPECT_EQ(result, Variant::Bstr("6/missing"));
    ASSERT_EQ(Call("Optional", InvokeKind::Method, {Variant::I4(1), Variant::Missing(), Variant::Bstr("x")},
                   &result),
              S_OK);
    EXPECT_EQ(result, Variant::Bstr("6/x"));
    ASSERT_EQ(Call("Optional", InvokeKind::Method, {Variant::I4(1), Variant::Bstr("2")}, &result), S_OK);
    EXPECT_EQ(result, Variant::Bstr("3/missing"));
}

TEST_F(DispatchTest, ByReferenceAndPointerArgumentsReachTheCaller) {
    int16_t dc = 40;
    ASSERT_EQ(Call("Print", InvokeKind::Method, {Variant::RefI2(&dc)}), S_OK);
    EXPECT_EQ(dc, 41);

    Sample::Record record{100};
    Variant result;
    ASSERT_EQ(
        Call("Login", InvokeKind::Method, {Variant::I4(2), Variant::Pointer(&record, "Record")}, &result),
        S_OK);
    EXPECT_EQ(result, Variant::I4(102));
}

TEST_F(DispatchTest, HandlerExceptionsBecomeExceptionResults) {
    InvokeError error;
    EXPECT_EQ(Call("Throws", InvokeKind::Method, {}, nullptr, &error), DISP_E_EXCEPTION);
    EXPECT_EQ(error.scode, E_FAIL);
    EXPECT_EQ(error.source, "Throws");
    EXPECT_EQ(error.description, "host pipe broke");
    EXPECT_EQ(Call("ThrowsOddly", InvokeKind::Method, {}, nullptr, &error), DISP_E_EXCEPTION);
    EXPECT_EQ(Call("Throws", InvokeKind::Method, {}, nullptr, nullptr), DISP_E_EXCEPTION);

    EXPECT_EQ(Call("PopupMenuItem", InvokeKind::Method, {Variant::I2(10020)}, nullptr, &error), E_INVALIDARG);
    EXPECT_EQ(error.description, "menu item out of range");

    Variant result;
    EXPECT_EQ(Call("ThrowsSuccess", InvokeKind::Method, {}, &result, &error), DISP_E_EXCEPTION);
    EXPECT_EQ(Call("BadResult", InvokeKind::Method, {}, &result, nullptr), DISP_E_TYPEMISMATCH);
}

TEST(DispatchTableTest, RefusesTablesThatCannotDispatch) {
    auto none = [](std::span<const Variant>) { return Variant(); };
    DispatchTable table;
    table.Method("Send", 29, {}, VarType::Empty, none);
    EXPECT_THROW(table.Method("send", 30, {}, VarType::Empty, none), std::invalid_argument);
    EXPECT_THROW(table.Method("Other", 29, {}, VarType::Empty, none), std::invalid_argument);
    EXPECT_THROW(table.Method("SEND", 29, {}, VarType::Empty, none), std::invalid_argument);
    EXPECT_THROW(table.Method("NoHandler", 31, {}, VarType::Empty, nullptr), std::invalid_argument);
    // A get and a put of one member share the name and id.
    EXPECT_NO_THROW(table.Property(
        "Border", 11, VarType::Bool, [] { return Variant(); }, [](const Variant&) {}));
    EXPECT_EQ(table.Entries().size(), 3u);
}

TEST(DispatchObjectTest, AnswersItsInterfaces) {
    auto object = std::make_shared<Sample>();
    std::shared_ptr<void> out;
    EXPECT_EQ(object->QueryInterface(IID_IDispatch, out), S_OK);
    EXPECT_EQ(out.get(), static_cast<IDispatch*>(object.get()));
    EXPECT_EQ(object->QueryInterface(kPrimaryIid, out), S_OK);
    EXPECT_EQ(object->QueryInterface(IID_IUnknown, out), S_OK);
    EXPECT_EQ(object->QueryInterface(IID_IConnectionPointContainer, out), E_NOINTERFACE);  // no events
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(object->QueryInterface(Guid::Generate(), out), E_NOINTERFACE);
    EXPECT_EQ(QueryInterfaceAs<IDispatch>(*object, IID_IDispatch).get(), object.get());

    // The returned reference keeps the object alive.
    std::weak_ptr<Sample> watch = object;
    auto held = QueryInterfaceAs<IDispatch>(*object, IID_IDispatch);
    object.reset();
    EXPECT_FALSE(watch.expired());
    held.reset();
    EXPECT_TRUE(watch.expired());

    // An object on the stack cannot hand out a reference to itself.
    Sample local;
    EXPECT_EQ(local.QueryInterface(IID_IDispatch, out), E_UNEXPECTED);
}

}  // namespace
}  // namespace platform::automation

namespace platform::automation {
namespace {

// A control's members: a pass-through VARIANT argument, a call that succeeds with its own code, a put by
// reference beside the plain put, and an error naming its source.
TEST(DispatchTableTest, PassThroughStatusPutByReferenceAndErrorSource) {
    Variant seen;
    std::shared_ptr<IDispatch> kept;
    DispatchTable table;
    table.Add({"View",
               1,
               InvokeKind::Method,
               {ParamSpec(VarType::Variant, true)},
               VarType::I4,
               [&](std::span<const Variant> args) {
                   seen = args[0];
                   return Variant::I4(1);
               }});
    table.Add({"Options",
               2,
               InvokeKind::Method,
               {},
               VarType::I4,
               nullptr,
               [](std::span<const Variant>, Variant& result) {
                   result = Variant::I4(0);
                   return S_FALSE;
               }});
    table.Add(
        {"Fails", 3, InvokeKind::Method, {}, VarType::Empty, nullptr, [](std::span<const Variant>, Variant&) {
             return E_ACCESSDENIED;
         }});
    table.Add({"Font",
               4,
               InvokeKind::PropertyPutRef,
               {VarType::Dispatch},
               VarType::Empty,
               [&](std::span<const Variant> args) {
                   kept = args[0].AsDispatch();
                   return Variant();
               }});
    table.Add(
        {"Font", 4, InvokeKind::PropertyPut, {VarType::I4}, VarType::Empty, [](std::span<const Variant>) {
             return Variant();
         }});
    table.Add({"Margin",
               5,
               InvokeKind::PropertyPut,
               {VarType::R4},
               VarType::Empty,
               [&](std::span<const Variant> args) {
                   seen = args[0];
                   return Variant();
               }});
    table.Add({"Bad", 6, InvokeKind::Method, {}, VarType::Empty, [](std::span<const Variant>) -> Variant {
                   throw DispatchError(MakeHResult(0x800A4106u), "Attempt", "{CLSID}");
               }});

    Variant result;
    int16_t byRef = 7;
    const struct {
        std::vector<Variant> args;
        Variant expected;
    } views[] = {{{}, Variant::Missing()},
                 {{Variant::Missing()}, Variant::Missing()},
                 {{Variant::RefI2(&byRef)}, Variant::RefI2(&byRef)},
                 {{Variant::Bstr("x")}, Variant::Bstr("x")}};
    for (const auto& row : views) {
        ASSERT_EQ(table.Invoke(1, InvokeKind::Method, row.args, &result, nullptr), S_OK);
        EXPECT_EQ(seen, row.expected);
    }
    EXPECT_EQ(table.Invoke(2, InvokeKind::Method, {}, &result, nullptr), S_FALSE);
    EXPECT_EQ(result, Variant::I4(0));
    EXPECT_EQ(table.Invoke(3, InvokeKind::Method, {}, &result, nullptr), E_ACCESSDENIED);

    auto object = std::make_shared<DispatchObject>();
    const Variant objectArg[] = {Variant::Dispatch(object)};
    ASSERT_EQ(table.Invoke(4, InvokeKind::PropertyPutRef, objectArg, nullptr, nullptr), S_OK);
    EXPECT_EQ(kept, object);
    kept.reset();
    const Variant plain[] = {Variant::I4(3)};
    ASSERT_EQ(table.Invoke(4, InvokeKind::PropertyPut, plain, nullptr, nullptr), S_OK);
    EXPECT_FALSE(kept);

    const Variant text[] = {Variant::Bstr("1.25")};
    ASSERT_EQ(table.Invoke(5, InvokeKind::PropertyPut, text, nullptr, nullptr), S_OK);
    EXPECT_EQ(seen, Variant::R4(1.25f));

    InvokeError error;
    EXPECT_EQ(table.Invoke(6, InvokeKind::Method, {}, nullptr, &error), MakeHResult(0x800A4106u));
    EXPECT_EQ(error.source, "{CLSID}");
    EXPECT_EQ(error.description, "Attempt");
}

}  // namespace
}  // namespace platform::automation
