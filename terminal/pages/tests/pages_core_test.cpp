// The page tables and their exchange with objects by property name: what each field is bound to (the
// connection fields following the connector), initial values for names an object lacks, writes of the
// changed properties only and in their kinds, refused puts; the page list.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "terminal/pages/control_interfaces.h"
#include "terminal/pages/page_tables.h"
#include "testsupport/fake_dispatch_object.h"

namespace terminal::pages {
namespace {

using namespace platform::automation;
using testsupport::FakeObject;

// An object with every property the Connect page binds, as the control types them.
std::shared_ptr<FakeObject> ConnectObject(std::string connector) {
    return std::make_shared<FakeObject>(std::vector<std::pair<std::string, Variant>>{
        {"Connector", Variant::Bstr(std::move(connector))},
        {"RemoteDataSet", Variant::Bstr("/srv/rdata")},
        {"RemoteSorelProgs", Variant::Bstr("/srv/rprogs")},
        {"RemoteHost", Variant::Bstr("10.1.2.3")},
        {"RemoteEnviro", Variant::Bstr("TERM=x")},
        {"RemotePort", Variant::I2(static_cast<int16_t>(40000))},  // above 32767: a negative I2
        {"RemoteTerm", Variant::I2(4)},
        {"RemotePrinter", Variant::I2(5)},
        {"LocalDataSet", Variant::Bstr("/srv/ldata")},
        {"LocalSorelProgs", Variant::Bstr("/srv/lprogs")},
        {"LocalTerm", Variant::I2(6)},
        {"LocalPrinter", Variant::I2(7)},
    });
}

const PageField& Field(const PageDefinition& page, int32_t id) {
    const PageField* field = page.Field(id);
    EXPECT_NE(field, nullptr) << id;
    return *field;
}

TEST(PageTables, ThePagesAreListedWithTheirClassesInTabOrder) {
    struct Case {
        const PageDefinition* page;
        const char* clsid;
        const char* progId;
        const char* caption;
        const char* registration;
    };
    const Case cases[] = {
        {&ConnectPage(), "{3AA4A324-3EE4-431E-A405-7E09FA0D272B}", "Quillet.CPPConnect", "Connect",
         "Connect Property Page"},
        {&DisplayPage(), "{3AA4A327-3EE4-431E-A405-7E09FA0D272B}", "Quillet.CPPDisplay", "Display",
         "Display"},
        {&LoginPage(), "{3AA4A32A-3EE4-431E-A405-7E09FA0D272B}", "Quillet.CPPLogin", "Login",
         "Login Property Page"},
    };
    ASSERT_EQ(ControlPages().size(), 3u);
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        EXPECT_EQ(ControlPages()[i], c.page);
        EXPECT_EQ(c.page->clsid.ToString(), c.clsid);
        EXPECT_EQ(c.page->progId, c.progId);
        EXPECT_EQ(c.page->caption, c.caption);
        EXPECT_EQ(c.page->registrationName, c.registration);
        EXPECT_EQ(FindPage(c.page->clsid), c.page);
    }
    EXPECT_EQ(FindPage(Guid::FromLiteral("{D96DB4F6-64EA-4415-98C5-7AE2BDE10DBF}")), nullptr);
}

TEST(PageModel, ConnectFieldsFollowTheConnector) {
    const PageDefinition& page = ConnectPage();
    struct Case {
        int32_t id;
        const char* remote;
        const char* local;
    };
    const Case cases[] = {
        {205, "RemoteDataSet", "LocalDataSet"}, {202, "RemoteSorelProgs", "LocalSorelProgs"},
        {216, "RemotePrinter", "LocalPrinter"}, {215, "RemoteTerm", "LocalTerm"},
        {204, "RemoteHost", "RemoteHost"},      {207, "RemotePort", "RemotePort"},
        {208, "RemoteEnviro", "RemoteEnviro"},  {201, "Connector", "Connector"},
    };
    for (const char* connector : {"remote", "local", "other"}) {
        PageModel model(page);
        model.SetObjects({ConnectObject(connector)});
        model.Load();
        const bool local = std::string(connector) == "local";
        for (const Case& c : cases) {
            EXPECT_EQ(model.BoundProperty(Field(page, c.id)), local ? c.local : c.remote)
                << connector << " " << c.id;
        }
    }
}

TEST(PageModel, LoadShowsTheObjectsValuesAndKeepsInitialOnesForMissingNames) {
    const PageDefinition& page = ConnectPage();
    PageModel model(page);
    model.SetObjects({ConnectObject("remote")});
    model.Load();
    EXPECT_EQ(model.Value(Field(page, 205)), Variant::Bstr("/srv/rdata"));
    EXPECT_EQ(model.Value(Field(page, 207)), Variant::I4(40000));  // the port's 16 bits, unsigned
    EXPECT_EQ(model.Value(Field(page, 216)), Variant::I4(5));
    EXPECT_EQ(model.PropertyValue("LocalPrinter"), Variant::I4(7));
    EXPECT_FALSE(model.IsDirty());

    // An object with only some of the names: the others keep the page's initial values.
    PageModel partial(page);
    partial.SetObjects({std::make_shared<FakeObject>(std::vector<std::pair<std::string, Variant>>{
        {"RemoteHost", Variant::Bstr("host.example")}, {"RemoteTerm", Variant::Bstr("12")}})});
    partial.Load();
    EXPECT_EQ(partial.Value(Field(page, 204)), Variant::Bstr("host.example"));
    EXPECT_EQ(partial.Value(Field(page, 215)), Variant::I4(12));  // coerced from text
    EXPECT_EQ(partial.Value(Field(page, 205)), Variant::Bstr("c:\\sorel\\soreldata"));
    EXPECT_EQ(partial.Value(Field(page, 202)), Variant::Bstr("c:\\sorel\\sorelprogs"));
    EXPECT_EQ(partial.Value(Field(page, 207)), Variant::I4(8002));
    EXPECT_EQ(partial.Value(Field(page, 216)), Variant::I4(1));
    EXPECT_EQ(partial.Value(Field(page, 208)), Variant::Bstr(""));
    EXPECT_EQ(partial.Value(Field(page, 201)), Variant::Bstr("remote"));

    const std::vector<std::pair<const PageDefinition*, std::map<int32_t, Variant>>> initial = {
        {&DisplayPage(),
         {{212, Variant::Bstr("TarnFont")},
          {214, Variant::I4(9)},
          {215, Variant::Bstr("")},
          {217, Variant::Bool(true)},
          {213, Variant::Bool(false)},
          {216, Variant::Bool(false)},
          {218, Variant::Bool(false)}}},
        {&LoginPage(),
         {{207, Variant::I4(0)},
          {208, Variant::Bstr("")},
          {209, Variant::Bstr("")},
          {210, Variant::Bstr("")},
          {217, Variant::Bstr("")}}},
    };
    for (const auto& [definition, values] : initial) {
        PageModel empty(*definition);
        empty.Load();
        for (const auto& [id, value] : values) {
            EXPECT_EQ(empty.Value(Field(*definition, id)), value) << definition->caption << " " << id;
        }
    }
}

TEST(PageModel, ApplyWritesOnlyChangedPropertiesInTheirKindsToEveryObject) {
    const PageDefinition& page = ConnectPage();
    auto first = ConnectObject("remote");
    auto second = ConnectObject("local");
    PageModel model(page);
    model.SetObjects({first, second});
    model.Load();
    // The last object's values show.
    EXPECT_EQ(model.Value(Field(page, 201)), Variant::Bstr("local"));
    EXPECT_EQ(model.Value(Field(page, 205)), Variant::Bstr("/srv/ldata"));

    ASSERT_TRUE(model.SetValue(Field(page, 216), Variant::I4(9)));      // LocalPrinter
    ASSERT_TRUE(model.SetValue(Field(page, 207), Variant::I4(50000)));  // RemotePort
    ASSERT_TRUE(model.SetValue(Field(page, 201), Variant::Bstr("remote")));
    ASSERT_TRUE(model.SetValue(Field(page, 216), Variant::I4(3)));  // now RemotePrinter
    // Setting a field back to what it shows is no change.
    ASSERT_TRUE(model.SetValue(Field(page, 204), Variant::Bstr("10.1.2.3")));
    EXPECT_TRUE(model.IsDirty());
    EXPECT_TRUE(model.Apply().empty());
    EXPECT_FALSE(model.IsDirty());

    const std::vector<std::pair<std::string, Variant>> expected = {
        {"RemotePort", Variant::I2(static_cast<int16_t>(50000))},
        {"RemotePrinter", Variant::I2(3)},
        {"LocalPrinter", Variant::I2(9)},
        {"Connector", Variant::Bstr("remote")},
    };
    EXPECT_EQ(first->m_puts, expected);
    EXPECT_EQ(second->m_puts, expected);
    // Nothing changed since: a second Apply writes nothing.
    EXPECT_TRUE(model.Apply().empty());
    EXPECT_EQ(first->m_puts.size(), expected.size());
}

TEST(PageModel, ValuesOutsideAFieldsKindOrRangeAreRefused) {
    const PageDefinition& connect = ConnectPage();
    PageModel model(connect);
    struct Case {
        int32_t id;
        Variant value;
        bool taken;
    };
    const Case cases[] = {
        {207, Variant::I4(65535), true},     {207, Variant::I4(65536), false},
        {207, Variant::I4(-1), false},       {215, Variant::I4(32767), true},
        {215, Variant::I4(32768), false},    {215, Variant::I4(-32768), true},
        {204, Variant::I4(5), false},        {215, Variant::Bstr("5"), false},
        {201, Variant::Bstr("local"), true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(model.SetValue(Field(connect, c.id), c.value), c.taken) << c.id << " " << c.value.AsI4();
    }
    PageModel login(LoginPage());
    EXPECT_TRUE(login.SetValue(Field(LoginPage(), 207), Variant::I4(2000000000)));
    PageModel display(DisplayPage());
    EXPECT_FALSE(display.SetValue(Field(DisplayPage(), 217), Variant::I4(1)));
    EXPECT_TRUE(display.SetValue(Field(DisplayPage(), 217), Variant::Bool(false)));
}

TEST(PageModel, ARefusedPutStaysChangedAndIsNamed) {
    const PageDefinition& page = LoginPage();
    auto object = std::make_shared<FakeObject>(std::vector<std::pair<std::string, Variant>>{
        {"AuthSorelUser", Variant::I4(1)}, {"AuthOsUser", Variant::Bstr("")}});
    object->m_refused.insert("AuthOsUser");
    PageModel model(page);
    model.SetObjects({object});
    model.Load();
    ASSERT_TRUE(model.SetValue(Field(page, 207), Variant::I4(77)));
    ASSERT_TRUE(model.SetValue(Field(page, 209), Variant::Bstr("alice")));
    ASSERT_TRUE(model.SetValue(Field(page, 217), Variant::Bstr("menu")));  // a name the object lacks
    EXPECT_EQ(model.Apply(), (std::vector<std::string>{"AuthOsUser", "RunProgram"}));
    EXPECT_EQ(object->m_values["AuthSorelUser"], Variant::I4(77));
    EXPECT_FALSE(model.IsChanged("AuthSorelUser"));
    EXPECT_TRUE(model.IsChanged("AuthOsUser"));
    EXPECT_TRUE(model.IsDirty());
}

TEST(ControlInterfaces, ThePageListNamesThePagesInTabOrder) {
    std::vector<Guid> pages{IID_IDispatch};
    CControlPageList list;
    EXPECT_EQ(list.GetPages(pages), S_OK);
    EXPECT_EQ(pages, (std::vector<Guid>{kConnectPageClsid, kDisplayPageClsid, kLoginPageClsid}));
}

}  // namespace
}  // namespace terminal::pages
