// The page widgets, the page objects and the property frame over objects that only have names, and the
// about boxes: fields show the objects' values, the connector switches the connection fields and takes the
// network fields away, typed edits reach the objects on Apply, a bad number keeps the frame open with a
// message, and each about box shows its edition's version line and opens the maker's addresses.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "platform/user_prompt.h"
#include "suite/qt/page_object.h"
#include "suite/qt/property_frame.h"
#include "terminal/pages/about_boxes.h"
#include "terminal/pages/page_widgets.h"
#include "testsupport/fake_dispatch_object.h"

namespace terminal::pages {
namespace {

using namespace platform::automation;
using suite::CPropertyFrame;
using suite::IID_IPropertyPage;
using suite::IPropertyPage;
using suite::SetUrlOpener;
using testsupport::FakeObject;

std::shared_ptr<FakeObject> ControlLikeObject() {
    return std::make_shared<FakeObject>(std::vector<std::pair<std::string, Variant>>{
        {"Connector", Variant::Bstr("remote")},
        {"RemoteDataSet", Variant::Bstr("/srv/rdata")},
        {"RemoteSorelProgs", Variant::Bstr("/srv/rprogs")},
        {"RemoteHost", Variant::Bstr("10.1.2.3")},
        {"RemoteEnviro", Variant::Bstr("TERM=x")},
        {"RemotePort", Variant::I2(8003)},
        {"RemoteTerm", Variant::I2(4)},
        {"RemotePrinter", Variant::I2(5)},
        {"LocalDataSet", Variant::Bstr("/srv/ldata")},
        {"LocalSorelProgs", Variant::Bstr("/srv/lprogs")},
        {"LocalTerm", Variant::I2(6)},
        {"LocalPrinter", Variant::I2(7)},
        {"FontName", Variant::Bstr("TarnFont")},
        {"FontSize", Variant::I2(9)},
        {"BackgroundColor", Variant::Bstr("ffffff")},
        {"Border", Variant::Bool(true)},
        {"StatusBar", Variant::Bool(false)},
        {"Simple", Variant::Bool(false)},
        {"PostCloseOnSorelExit", Variant::Bool(false)},
        {"AuthSorelUser", Variant::I4(7)},
        {"AuthSorelPassword", Variant::Bstr("pw")},
        {"AuthOsUser", Variant::Bstr("alice")},
        {"AuthOsPassword", Variant::Bstr("secret")},
        {"RunProgram", Variant::Bstr("")},
    });
}

class PagesUiTest : public ::testing::Test {
  protected:
    PagesUiTest() : m_prompt(m_recorder) {}

    std::shared_ptr<IPropertyPage> MakePage(const Guid& clsid) {
        auto factory = PageClassFactory(clsid);
        EXPECT_TRUE(factory);
        std::shared_ptr<IDispatch> object;
        EXPECT_EQ(factory->CreateInstance(object), S_OK);
        auto page = QueryInterfaceAs<IPropertyPage>(*object, IID_IPropertyPage);
        EXPECT_TRUE(page);
        return page;
    }

    template <typename T>
    static T* Find(QWidget* page, int32_t id) {
        auto* widget = page->findChild<T*>(QStringLiteral("field%1").arg(id));
        EXPECT_NE(widget, nullptr) << id;
        return widget;
    }

    static void Type(QLineEdit* edit, const QString& text) {
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }

    platform::RecordingPrompt m_recorder;
    platform::ScopedDefaultPrompt m_prompt;
    QWidget m_parent;
};

TEST_F(PagesUiTest, ConnectPageFollowsTheConnectorAndAppliesTypedEdits) {
    auto object = ControlLikeObject();
    auto page = MakePage(kConnectPageClsid);
    EXPECT_EQ(page->Title(), "Connect");
    page->SetObjects({object});
    int status = 0;
    page->SetStatusHandler([&status] { ++status; });
    QWidget* widget = page->Activate(&m_parent);
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget->objectName(), "CPPConnect");

    auto* connector = Find<QComboBox>(widget, 201);
    ASSERT_EQ(connector->count(), 2);
    EXPECT_EQ(connector->currentText(), "remote");
    EXPECT_EQ(Find<QLineEdit>(widget, 205)->text(), "/srv/rdata");
    EXPECT_EQ(Find<QLineEdit>(widget, 207)->text(), "8003");
    EXPECT_EQ(Find<QLineEdit>(widget, 216)->text(), "5");
    for (int32_t id : {204, 207, 208}) {
        EXPECT_TRUE(Find<QLineEdit>(widget, id)->isEnabled()) << id;
    }

    Type(Find<QLineEdit>(widget, 205), "/new/rdata");
    connector->setCurrentIndex(0);  // "local"
    EXPECT_EQ(Find<QLineEdit>(widget, 205)->text(), "/srv/ldata");
    EXPECT_EQ(Find<QLineEdit>(widget, 216)->text(), "7");
    EXPECT_EQ(Find<QLineEdit>(widget, 215)->text(), "6");
    for (int32_t id : {204, 207, 208}) {
        EXPECT_FALSE(Find<QLineEdit>(widget, id)->isEnabled()) << id;
    }
    Type(Find<QLineEdit>(widget, 215), "12");
    EXPECT_GT(status, 0);
    EXPECT_TRUE(page->IsPageDirty());
    EXPECT_TRUE(object->m_puts.empty());

    EXPECT_EQ(page->Apply(), S_OK);
    EXPECT_FALSE(page->IsPageDirty());
    EXPECT_EQ(object->m_values["RemoteDataSet"], Variant::Bstr("/new/rdata"));
    EXPECT_EQ(object->m_values["LocalTerm"], Variant::I2(12));
    EXPECT_EQ(object->m_values["Connector"], Variant::Bstr("local"));
    EXPECT_EQ(object->m_values["RemoteTerm"], Variant::I2(4));
    EXPECT_EQ(object->m_puts.size(), 3u);
    EXPECT_TRUE(m_recorder.Shown().empty());
}

TEST_F(PagesUiTest, APageOpeningOnALocalConnectorTakesTheNetworkFieldsAway) {
    auto object = ControlLikeObject();
    object->m_values["Connector"] = Variant::Bstr("local");
    auto page = MakePage(kConnectPageClsid);
    page->SetObjects({object});
    QWidget* widget = page->Activate(&m_parent);
    EXPECT_EQ(Find<QComboBox>(widget, 201)->currentIndex(), 0);
    EXPECT_EQ(Find<QLineEdit>(widget, 202)->text(), "/srv/lprogs");
    for (int32_t id : {204, 207, 208}) {
        EXPECT_FALSE(Find<QLineEdit>(widget, id)->isEnabled()) << id;
    }
}

TEST_F(PagesUiTest, ANumberFieldWithoutANumberFailsApplyAndSaysWhy) {
    auto object = ControlLikeObject();
    auto page = MakePage(kConnectPageClsid);
    page->SetObjects({object});
    QWidget* widget = page->Activate(&m_parent);
    struct Case {
        int32_t id;
        QString text;
        const char* message;
    };
    const Case cases[] = {
        {207, "80o2", "Port: please enter a whole number from 0 to 65535."},
        {207, "65536", "Port: please enter a whole number from 0 to 65535."},
        {215, "", "Term: please enter a whole number from -32768 to 32767."},
    };
    for (const Case& c : cases) {
        m_recorder.Clear();
        Type(Find<QLineEdit>(widget, c.id), c.text);
        EXPECT_TRUE(page->IsPageDirty());
        EXPECT_EQ(page->Apply(), E_INVALIDARG) << c.text.toStdString();
        EXPECT_EQ(m_recorder.Texts(), std::vector<std::string>{c.message});
        EXPECT_TRUE(object->m_puts.empty());
        Type(Find<QLineEdit>(widget, c.id), QStringLiteral("9"));
    }
    EXPECT_EQ(page->Apply(), S_OK);
    EXPECT_EQ(object->m_values["RemotePort"], Variant::I2(9));
    EXPECT_EQ(object->m_values["RemoteTerm"], Variant::I2(9));

    // A bad number in a field that then shows the other connection's setting is dropped, not reported.
    Type(Find<QLineEdit>(widget, 215), "x");
    Find<QComboBox>(widget, 201)->setCurrentIndex(0);
    EXPECT_EQ(Find<QLineEdit>(widget, 215)->text(), "6");
    m_recorder.Clear();
    EXPECT_EQ(page->Apply(), S_OK);
    EXPECT_TRUE(m_recorder.Shown().empty());
    EXPECT_EQ(object->m_values["RemoteTerm"], Variant::I2(9));
    EXPECT_EQ(object->m_values["Connector"], Variant::Bstr("local"));
}

TEST_F(PagesUiTest, DisplayAndLoginPagesBindTheirFields) {
    auto object = ControlLikeObject();
    auto display = MakePage(kDisplayPageClsid);
    display->SetObjects({object});
    QWidget* displayWidget = display->Activate(&m_parent);
    EXPECT_TRUE(Find<QCheckBox>(displayWidget, 217)->isChecked());
    EXPECT_EQ(Find<QCheckBox>(displayWidget, 218)->text(), "Post Close On Sorel Exit");
    Find<QCheckBox>(displayWidget, 213)->click();
    Type(Find<QLineEdit>(displayWidget, 215), "0000ff");
    EXPECT_EQ(display->Apply(), S_OK);
    EXPECT_EQ(object->m_values["StatusBar"], Variant::Bool(true));
    EXPECT_EQ(object->m_values["BackgroundColor"], Variant::Bstr("0000ff"));

    auto login = MakePage(kLoginPageClsid);
    login->SetObjects({object});
    QWidget* loginWidget = login->Activate(&m_parent);
    EXPECT_EQ(Find<QLineEdit>(loginWidget, 207)->text(), "7");
    EXPECT_EQ(Find<QLineEdit>(loginWidget, 209)->text(), "alice");
    for (int32_t id : {208, 210}) {
        EXPECT_EQ(Find<QLineEdit>(loginWidget, id)->echoMode(), QLineEdit::Password) << id;
    }
    Type(Find<QLineEdit>(loginWidget, 217), "/m1");
    EXPECT_EQ(login->Apply(), S_OK);
    EXPECT_EQ(object->m_values["RunProgram"], Variant::Bstr("/m1"));
}

TEST_F(PagesUiTest, FrameShowsThePagesInOrderAndAppliesOnOkOnly) {
    auto object = ControlLikeObject();
    const std::vector<Guid> pages = {kConnectPageClsid, kDisplayPageClsid, kLoginPageClsid};
    {
        CPropertyFrame frame("Quillet Control Properties", {object}, pages, PageClassFactory);
        ASSERT_EQ(frame.Tabs()->count(), 3);
        EXPECT_EQ(frame.Tabs()->tabText(0), "Connect");
        EXPECT_EQ(frame.Tabs()->tabText(1), "Display");
        EXPECT_EQ(frame.Tabs()->tabText(2), "Login");
        EXPECT_FALSE(frame.ApplyButton()->isEnabled());
        Type(Find<QLineEdit>(frame.Tabs()->widget(2), 209), "bob");
        EXPECT_TRUE(frame.ApplyButton()->isEnabled());
        frame.reject();
    }
    EXPECT_TRUE(object->m_puts.empty());

    CPropertyFrame frame("Quillet Control Properties", {object}, pages, PageClassFactory);
    Type(Find<QLineEdit>(frame.Tabs()->widget(2), 209), "bob");
    // A bad number on the first page keeps the frame open there, and nothing is written.
    Type(Find<QLineEdit>(frame.Tabs()->widget(0), 215), "x");
    frame.Tabs()->setCurrentIndex(2);
    frame.accept();
    EXPECT_EQ(frame.result(), QDialog::Rejected);
    EXPECT_EQ(frame.Tabs()->currentIndex(), 0);
    EXPECT_TRUE(object->m_puts.empty());
    Type(Find<QLineEdit>(frame.Tabs()->widget(0), 215), "3");
    frame.accept();
    EXPECT_EQ(frame.result(), QDialog::Accepted);
    EXPECT_EQ(object->m_values["AuthOsUser"], Variant::Bstr("bob"));
    EXPECT_EQ(object->m_values["RemoteTerm"], Variant::I2(3));
    EXPECT_FALSE(frame.ApplyButton()->isEnabled());
}

TEST_F(PagesUiTest, APageThatCannotBeMadeIsReportedAndLeftOut) {
    const Guid unknown = Guid::FromLiteral("{00000000-1111-2222-3333-444444444444}");
    CPropertyFrame frame("Properties", {ControlLikeObject()}, {unknown, kLoginPageClsid}, PageClassFactory);
    EXPECT_EQ(frame.Tabs()->count(), 1);
    EXPECT_EQ(m_recorder.Texts(), std::vector<std::string>{"The property page {00000000-1111-2222-3333-"
                                                           "444444444444} could not be created."});
}

TEST_F(PagesUiTest, PageClassesRegisterUnderTheirNames) {
    const auto classes = PageRegistrations();
    ASSERT_EQ(classes.size(), 3u);
    EXPECT_EQ(classes[0].clsid, kConnectPageClsid);
    EXPECT_EQ(classes[0].progId, "Quillet.CPPConnect");
    EXPECT_EQ(classes[0].typeName, "Connect Property Page");
    EXPECT_EQ(classes[1].typeName, "Display");
    EXPECT_EQ(classes[2].progId, "Quillet.CPPLogin");
    EXPECT_EQ(classes[2].typeName, "Login Property Page");
    EXPECT_FALSE(PageClassFactory(Guid::FromLiteral("{D96DB4F6-64EA-4415-98C5-7AE2BDE10DBF}")));
}

TEST_F(PagesUiTest, AboutBoxesShowTheirEditionsVersionAndOpenTheMakersPages) {
    std::vector<QUrl> opened;
    SetUrlOpener([&opened](const QUrl& url) { opened.push_back(url); });
    const suite::FileVersion version{4, 2, 1, 57};
    CAboutVarnel varnel(nullptr, suite::CVersionInfo(version));
    CAboutQuillet quillet(nullptr, suite::CVersionInfo(version));
    CAboutOstrel ostrel(nullptr, suite::CVersionInfo(version));
    EXPECT_EQ(varnel.VersionLabel()->text(), "Varnel Version 04.02.01 Build 57");
    EXPECT_EQ(quillet.VersionLabel()->text(), "Quillet Version 04.02.01 Build 57");
    EXPECT_EQ(ostrel.VersionLabel()->text(), "Ostrel Version 04.02.01 Build 57");
    CAboutVarnel none(nullptr, suite::CVersionInfo(std::nullopt));
    EXPECT_EQ(none.VersionLabel()->text(), "Varnel Version <no version info found>");

    EXPECT_EQ(varnel.ContactUsButton()->text(), "Contact Us");
    EXPECT_EQ(varnel.SupportButton()->text(), "Support");
    varnel.ContactUsButton()->click();
    ostrel.SupportButton()->click();
    SetUrlOpener(nullptr);
    EXPECT_EQ(opened, (std::vector<QUrl>{QUrl("https://www.carrowline.com/"),
                                         QUrl("https://www.carrowline.com/customer-login")}));
}

}  // namespace
}  // namespace terminal::pages
