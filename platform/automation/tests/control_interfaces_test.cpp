// A control's safety answers follow the interfaces it has; the property verb and persistence reach it.
#include "platform/automation/control_interfaces.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "testsupport/map_property_bag.h"

namespace platform::automation {
namespace {

using testsupport::MapBag;

TEST(ControlSafety, AnswersFollowTheInterfacesTheControlHas) {
    CControlSafety safety([](const Guid& iid) {
        return iid == IID_IDispatch || iid == IID_IUnknown || iid == IID_IPersistPropertyBag ||
               iid == IID_IConnectionPointContainer;
    });
    struct GetCase {
        Guid iid;
        HRESULT hr;
        uint32_t supported;
        uint32_t enabled;
    };
    const GetCase gets[] = {
        {IID_IDispatch, S_OK, 3, 1},
        {IID_IPersistPropertyBag, S_OK, 3, 2},
        {IID_IPersistStreamInit, E_NOINTERFACE, 0, 0},  // a persistence interface it does not have
        {IID_IConnectionPointContainer, E_NOINTERFACE, 0, 0},
        {IID_IUnknown, E_NOINTERFACE, 0, 0},
    };
    for (const GetCase& c : gets) {
        uint32_t supported = 99;
        uint32_t enabled = 99;
        EXPECT_EQ(safety.GetInterfaceSafetyOptions(c.iid, &supported, &enabled), c.hr) << c.iid.ToString();
        EXPECT_EQ(supported, c.supported) << c.iid.ToString();
        EXPECT_EQ(enabled, c.enabled) << c.iid.ToString();
    }
    uint32_t value = 0;
    EXPECT_EQ(safety.GetInterfaceSafetyOptions(IID_IDispatch, nullptr, &value), E_POINTER);
    EXPECT_EQ(safety.GetInterfaceSafetyOptions(IID_IDispatch, &value, nullptr), E_POINTER);

    struct SetCase {
        Guid iid;
        uint32_t mask;
        uint32_t enabled;
        HRESULT hr;
    };
    const SetCase sets[] = {
        {IID_IDispatch, 1, 1, S_OK},
        {IID_IDispatch, 3, 3, E_FAIL},
        {IID_IDispatch, 2, 2, E_FAIL},
        {IID_IDispatch, 1, 0, E_FAIL},
        {IID_IPersistPropertyBag, 2, 2, S_OK},
        {IID_IPersistPropertyBag, 1, 1, E_FAIL},
        {IID_IPersistStorage, 2, 2, E_FAIL},
        {IID_IPersistStorage, 0, 0, S_OK},
        {IID_IConnectionPointContainer, 1, 1, E_FAIL},
    };
    for (const SetCase& c : sets) {
        EXPECT_EQ(safety.SetInterfaceSafetyOptions(c.iid, c.mask, c.enabled), c.hr)
            << c.iid.ToString() << " " << c.mask << " " << c.enabled;
    }
}

TEST(ControlInterfaces, VerbsAndPersistenceReachTheControl) {
    int shown = 0;
    CControlVerbs verbs([&shown] { ++shown; });
    EXPECT_EQ(verbs.DoVerb(OLEIVERB_PROPERTIES), S_OK);
    EXPECT_EQ(verbs.DoVerb(-1), OLEOBJ_S_INVALIDVERB);
    EXPECT_EQ(verbs.DoVerb(0), OLEOBJ_S_INVALIDVERB);
    EXPECT_EQ(shown, 1);

    std::vector<std::string> exchanged;
    MapBag bag;
    CControlPersistence persistence([&](PropertyBag& b) { exchanged.push_back(&b == &bag ? "load" : "?"); },
                                    [&](PropertyBag& b) { exchanged.push_back(&b == &bag ? "save" : "?"); });
    EXPECT_EQ(persistence.Save(bag), S_OK);
    EXPECT_EQ(persistence.Load(bag), S_OK);
    EXPECT_EQ(exchanged, (std::vector<std::string>{"save", "load"}));
    CControlPersistence none({}, {});
    EXPECT_EQ(none.Load(bag), E_NOTIMPL);
    EXPECT_EQ(none.Save(bag), E_NOTIMPL);
}

}  // namespace
}  // namespace platform::automation
