// The control's property pages, about box, safety answers and stock font, on the real control: the page
// list and the property verb's frame editing the control through its dispatch interface, the about box of
// each connection's edition, SetFontControl's event, the Font object changed in place and kept in the
// property store, and the page classes written by the library's self-registration.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/automation/class_registry.h"
#include "platform/automation/object_safety.h"
#include "platform/automation/property_pages.h"
#include "platform/automation/stock_font.h"
#include "platform/known_folders.h"
#include "platform/registry.h"
#include "platform/user_prompt.h"
#include "suite/qt/about_box.h"
#include "suite/qt/page_object.h"
#include "suite/qt/property_frame.h"
#include "terminal/control/tests/session_fakes.h"
#include "terminal/pages/page_widgets.h"
#include "terminal/quillet/quillet_ctrl.h"
#include "terminal/quillet/tests/ctrl_test_support.h"
#include "testsupport/fake_dispatch_object.h"
#include "testsupport/map_property_bag.h"
#include "testsupport/test_support.h"

namespace terminal {
namespace {

using namespace platform::automation;
using testing::CallByName;
using testing::RunProgram;
using testsupport::MapBag;

// Runs `open`, which shows a modal dialog, and hands the dialog to `inspect` once it is up; `inspect`
// closes it.
void WithModal(const std::function<void()>& open, const std::function<void(QWidget*)>& inspect) {
    bool seen = false;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || seen) {
            return;
        }
        seen = true;
        inspect(modal);
    });
    poll.start();
    // A dialog that never shows would hang the test: give up after a while.
    QTimer::singleShot(10000, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            static_cast<QDialog*>(modal)->reject();
        }
    });
    open();
    EXPECT_TRUE(seen);
}

class PagesCtrlTest : public testing::CtrlTest {
  protected:
    void SetUp() override {
        CtrlTest::SetUp();
        m_events = std::make_shared<testing::RecordingSink>();
        testing::AdviseEvents(*m_control, m_events);
    }

    // The version line of the about box AboutBox shows.
    QString AboutBoxText() {
        QString text;
        WithModal([&] { Call("AboutBox"); },
                  [&](QWidget* modal) {
                      auto* box = dynamic_cast<suite::CAboutDlg*>(modal);
                      ASSERT_NE(box, nullptr);
                      text = box->VersionLabel()->text();
                      box->accept();
                  });
        return text;
    }

    std::shared_ptr<testing::RecordingSink> m_events;
};

TEST_F(PagesCtrlTest, SafetyAnswersFollowTheControlsInterfaces) {
    auto safety = QueryInterfaceAs<IObjectSafety>(*m_control, IID_IObjectSafety);
    ASSERT_TRUE(safety);
    struct Case {
        Guid iid;
        HRESULT hr;
        uint32_t enabled;
    };
    const Case cases[] = {
        {IID_IDispatch, S_OK, 1},
        {IID_IPersistPropertyBag, S_OK, 2},
        {IID_IPersistStreamInit, E_NOINTERFACE, 0},  // not an interface this control has
        {kQuilletDispatchIid, E_NOINTERFACE, 0},
        {IID_IConnectionPointContainer, E_NOINTERFACE, 0},
    };
    for (const Case& c : cases) {
        uint32_t supported = 0;
        uint32_t enabled = 0;
        EXPECT_EQ(safety->GetInterfaceSafetyOptions(c.iid, &supported, &enabled), c.hr) << c.iid.ToString();
        EXPECT_EQ(supported, c.hr == S_OK ? 3u : 0u) << c.iid.ToString();
        EXPECT_EQ(enabled, c.enabled) << c.iid.ToString();
    }
    uint32_t value = 0;
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &value, nullptr), E_POINTER);
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, 1, 1), S_OK);
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, 3, 3), E_FAIL);
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IPersistPropertyBag, 2, 2), S_OK);
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IPersistStorage, 2, 2), E_FAIL);
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IPersistStorage, 0, 0), S_OK);
    // The interface keeps the control alive.
    std::weak_ptr<CQuilletCtrl> weak = m_control;
    m_control.reset();
    EXPECT_FALSE(weak.expired());
    safety.reset();
    EXPECT_TRUE(weak.expired());
}

TEST_F(PagesCtrlTest, PagesFromTheControlsListEditTheControl) {
    auto list = QueryInterfaceAs<ISpecifyPropertyPages>(*m_control, IID_ISpecifyPropertyPages);
    ASSERT_TRUE(list);
    std::vector<Guid> ids;
    ASSERT_EQ(list->GetPages(ids), S_OK);
    ASSERT_EQ(
        ids, (std::vector<Guid>{pages::kConnectPageClsid, pages::kDisplayPageClsid, pages::kLoginPageClsid}));
    m_control->Properties().m_modified = false;

    QWidget parent;
    std::vector<std::shared_ptr<suite::IPropertyPage>> made;
    for (const Guid& id : ids) {
        std::shared_ptr<IDispatch> object;
        ASSERT_EQ(pages::PageClassFactory(id)->CreateInstance(object), S_OK);
        made.push_back(QueryInterfaceAs<suite::IPropertyPage>(*object, suite::IID_IPropertyPage));
        ASSERT_TRUE(made.back());
        made.back()->SetObjects({m_control});
    }
    QWidget* connect = made[0]->Activate(&parent);
    EXPECT_EQ(connect->findChild<QComboBox*>("field201")->currentText(), "remote");
    EXPECT_EQ(connect->findChild<QLineEdit*>("field207")->text(), "8002");
    EXPECT_EQ(connect->findChild<QLineEdit*>("field205")->text(), "c:\\sorel\\soreldata");
    auto* host = connect->findChild<QLineEdit*>("field204");
    host->selectAll();
    QTest::keyClicks(host, "10.9.8.7");

    QWidget* display = made[1]->Activate(&parent);
    display->findChild<QCheckBox*>("field213")->click();  // Status Bar

    QWidget* login = made[2]->Activate(&parent);
    auto* user = login->findChild<QLineEdit*>("field207");
    user->selectAll();
    QTest::keyClicks(user, "42");

    EXPECT_FALSE(m_control->Properties().m_modified);
    for (const auto& page : made) {
        EXPECT_TRUE(page->IsPageDirty());
        EXPECT_EQ(page->Apply(), S_OK);
    }
    EXPECT_EQ(Get("RemoteHost"), Variant::Bstr("10.9.8.7"));
    EXPECT_EQ(Get("StatusBar"), Variant::Bool(true));
    EXPECT_EQ(Get("AuthSorelUser"), Variant::I4(42));
    EXPECT_EQ(Get("RemotePort"), Variant::I2(8002));
    EXPECT_TRUE(m_control->Properties().m_modified);
    EXPECT_TRUE(m_recorder.Shown().empty());
}

TEST_F(PagesCtrlTest, ThePropertyVerbOpensTheFrameOnTheControl) {
    auto verbs = QueryInterfaceAs<IObjectVerbs>(*m_control, IID_IObjectVerbs);
    ASSERT_TRUE(verbs);
    EXPECT_EQ(verbs->DoVerb(-1), OLEOBJ_S_INVALIDVERB);
    QStringList titles;
    QString caption;
    HRESULT hr = E_FAIL;
    WithModal([&] { hr = verbs->DoVerb(OLEIVERB_PROPERTIES); },
              [&](QWidget* modal) {
                  auto* frame = dynamic_cast<suite::CPropertyFrame*>(modal);
                  ASSERT_NE(frame, nullptr);
                  caption = frame->windowTitle();
                  for (int i = 0; i < frame->Tabs()->count(); ++i) {
                      titles << frame->Tabs()->tabText(i);
                  }
                  auto* connector = frame->Tabs()->widget(0)->findChild<QComboBox*>("field201");
                  connector->setCurrentIndex(0);
                  auto* term = frame->Tabs()->widget(0)->findChild<QLineEdit*>("field215");
                  term->selectAll();
                  QTest::keyClicks(term, "23");
                  frame->accept();
              });
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(caption, "Quillet Control Properties");
    EXPECT_EQ(titles, (QStringList{"Connect", "Display", "Login"}));
    EXPECT_EQ(Get("Connector"), Variant::Bstr("local"));
    EXPECT_EQ(Get("LocalTerm"), Variant::I2(23));
    EXPECT_EQ(Get("RemoteTerm"), Variant::I2(1));
}

TEST_F(PagesCtrlTest, AboutBoxShowsTheEditionOfTheConnection) {
    const std::string version = suite::CVersionInfo().GetFileVersion();
    EXPECT_EQ(AboutBoxText().toStdString(), "Quillet Version " + version);

    Call("Connector", {Variant::Bstr("local")}, InvokeKind::PropertyPut);
    ASSERT_EQ(Call("Connect").AsI4(), 0);
    ASSERT_TRUE(m_control->Session().HasPipe());
    EXPECT_EQ(AboutBoxText().toStdString(), "Ostrel Version " + version);
    m_control->Session().Disconnect(false, false);

    Call("Connector", {Variant::Bstr("remote")}, InvokeKind::PropertyPut);
    ASSERT_EQ(Call("Connect").AsI4(), 0);
    ASSERT_TRUE(m_control->Session().HasPipe());
    EXPECT_EQ(AboutBoxText().toStdString(), "Varnel Version " + version);
}

TEST_F(PagesCtrlTest, SetFontControlAsksTheContainerForTheFontDialog) {
    Call("SetFontControl");
    ASSERT_EQ(m_events->m_calls.size(), 1u);
    EXPECT_EQ(m_events->m_calls[0].dispid, static_cast<DISPID>(QuilletEvent::SetFont));
    EXPECT_EQ(m_events->m_calls[0].args, std::vector<Variant>{Variant::Bstr("fake")});
}

TEST_F(PagesCtrlTest, StockFontIsTheControlsOwnObjectAndIsKept) {
    DISPID id = 0;
    ASSERT_EQ(m_control->GetIDOfName("font", id), S_OK);
    EXPECT_EQ(id, -512);
    const std::shared_ptr<IDispatch> font = Get("Font").AsDispatch();
    ASSERT_TRUE(font);
    EXPECT_EQ(Get("Font").AsDispatch(), font);

    // Changed in place, the control is modified.
    m_control->Properties().m_modified = false;
    CallByName(*font, "Bold", {Variant::Bool(true)}, InvokeKind::PropertyPut);
    EXPECT_TRUE(m_control->Properties().m_modified);

    // A put takes over another font object's description; the control keeps its own object.
    auto other = std::make_shared<testsupport::FakeObject>(std::vector<std::pair<std::string, Variant>>{
        {"Name", Variant::Bstr("Courier New")}, {"Size", Variant::I4(11)}, {"Italic", Variant::Bool(true)}});
    Call("Font", {Variant::Dispatch(other)}, InvokeKind::PropertyPut);
    EXPECT_EQ(Get("Font").AsDispatch(), font);
    EXPECT_EQ(CallByName(*font, "Name", {}, InvokeKind::PropertyGet), Variant::Bstr("Courier New"));
    EXPECT_EQ(CallByName(*font, "Bold", {}, InvokeKind::PropertyGet), Variant::Bool(false));
    auto notFont = std::make_shared<testsupport::FakeObject>(
        std::vector<std::pair<std::string, Variant>>{{"Caption", Variant::Bstr("x")}});
    Call("Font", {Variant::Dispatch(notFont)}, InvokeKind::PropertyPut, DISP_E_TYPEMISMATCH);
    Call("Font", {Variant::Dispatch(nullptr)}, InvokeKind::PropertyPut, E_INVALIDARG);
    EXPECT_EQ(CallByName(*font, "Name", {}, InvokeKind::PropertyGet), Variant::Bstr("Courier New"));

    // Kept in the property store with the other properties, through the persistence interface too.
    auto persist = QueryInterfaceAs<IPersistPropertyBag>(*m_control, IID_IPersistPropertyBag);
    ASSERT_TRUE(persist);
    MapBag bag;
    ASSERT_EQ(persist->Save(bag), S_OK);
    EXPECT_EQ(bag.m_values.at("Font.Name"), PropertyValue{std::string("Courier New")});
    EXPECT_EQ(bag.m_values.at("Connector"), PropertyValue{std::string("remote")});
    auto second = testing::MakeControl(m_shared);
    second->LoadProperties(bag);
    const std::shared_ptr<IDispatch> secondFont =
        CallByName(*second, "Font", {}, InvokeKind::PropertyGet).AsDispatch();
    ASSERT_TRUE(secondFont);
    EXPECT_EQ(CallByName(*secondFont, "Size", {}, InvokeKind::PropertyGet), Variant::I4(11));
    EXPECT_EQ(CallByName(*secondFont, "Italic", {}, InvokeKind::PropertyGet), Variant::Bool(true));
}

TEST_F(PagesCtrlTest, SelfRegistrationWritesThePageClassesEachTime) {
    // The registration tool writes the hives of the environment's folders.
    platform::Registry registry({platform::MachineHivePath(), platform::UserHivePath()});
    platform::Registry::OverrideDefault(&registry);
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(RunProgram({CARROWLINE_REGISTER_COMPONENT, CARROWLINE_QUILLET_LIBRARY}), 0) << round;
    }
    struct Case {
        Guid clsid;
        const char* progId;
        const char* typeName;
    };
    const Case cases[] = {
        {pages::kConnectPageClsid, "Quillet.CPPConnect", "Connect Property Page"},
        {pages::kDisplayPageClsid, "Quillet.CPPDisplay", "Display"},
        {pages::kLoginPageClsid, "Quillet.CPPLogin", "Login Property Page"},
        {kQuilletClsid, "QUILLET.QuilletCtrl.1", "Quillet Control"},
    };
    for (const Case& c : cases) {
        std::string path;
        ASSERT_EQ(InprocServerPath(c.clsid, path), S_OK) << c.progId;
        EXPECT_EQ(std::filesystem::canonical(path), std::filesystem::canonical(CARROWLINE_QUILLET_LIBRARY));
        Guid found;
        ASSERT_EQ(CLSIDFromProgID(c.progId, found), S_OK) << c.progId;
        EXPECT_EQ(found, c.clsid);
        platform::RegValue name;
        ASSERT_EQ(registry.QueryValue(platform::HKey::CurrentUser,
                                      "Software\\Classes\\CLSID\\" + c.clsid.ToString(), "", name),
                  0)
            << c.progId;
        EXPECT_EQ(name.AsString(), std::optional<std::string>(c.typeName));
    }
    ASSERT_EQ(RunProgram({CARROWLINE_REGISTER_COMPONENT, "/u", CARROWLINE_QUILLET_LIBRARY}), 0);
    std::string path;
    EXPECT_EQ(InprocServerPath(pages::kLoginPageClsid, path), REGDB_E_CLASSNOTREG);
    platform::Registry::OverrideDefault(m_registry.get());
}

}  // namespace
}  // namespace terminal
