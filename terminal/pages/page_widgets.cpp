// The control's page widgets and page classes.
#include "terminal/pages/page_widgets.h"

#include <QComboBox>

#include "suite/qt/page_object.h"

namespace terminal::pages {

CPPConnect::CPPConnect(PageModel& model, QWidget* parent) : CPropertyPage(model, parent) {
    EnableNetworkFields();
}

void CPPConnect::FieldEdited(const PageField& field) {
    if (field.kind == FieldKind::Choice) {
        // The connection fields now edit the other connection's settings.
        Refresh();
        EnableNetworkFields();
    }
}

void CPPConnect::EnableNetworkFields() {
    const auto* list = qobject_cast<QComboBox*>(FieldWidget(201));
    const bool network = list == nullptr || list->currentIndex() != 0;
    for (int32_t id : {204, 207, 208}) {
        if (QWidget* widget = FieldWidget(id)) {
            widget->setEnabled(network);
        }
    }
}

CPropertyPage* CreatePageWidget(PageModel& model, QWidget* parent) {
    const std::string& name = model.Definition().className;
    if (name == "CPPConnect") {
        return new CPPConnect(model, parent);
    }
    if (name == "CPPDisplay") {
        return new CPPDisplay(model, parent);
    }
    if (name == "CPPLogin") {
        return new CPPLogin(model, parent);
    }
    return new CPropertyPage(model, parent);
}

std::shared_ptr<platform::automation::IClassFactory> PageClassFactory(const Guid& clsid) {
    return suite::PageClassFactoryOf(ControlPages(), clsid, CreatePageWidget);
}

std::vector<platform::automation::ClassRegistration> PageRegistrations() {
    return suite::PageRegistrationsOf(ControlPages());
}

}  // namespace terminal::pages
