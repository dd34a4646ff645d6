// The page objects, their factories and registrations.
#include "suite/qt/page_object.h"

#include <QLineEdit>

#include "platform/user_prompt.h"
#include "suite/qt/qt_text.h"

namespace suite {

namespace automation = platform::automation;
using automation::PageField;

CPropertyPageObject::CPropertyPageObject(const PageDefinition& definition, WidgetFactory widgets)
    : m_model(definition), m_widgets(std::move(widgets)) {}

CPropertyPageObject::~CPropertyPageObject() {
    // The widget edits this object's model: it must not outlive it.
    delete m_widget.data();
}

HRESULT CPropertyPageObject::QueryInterface(const Guid& iid, std::shared_ptr<void>& out) {
    if (iid == IID_IPropertyPage) {
        out = std::shared_ptr<void>(shared_from_this(), static_cast<IPropertyPage*>(this));
        return automation::S_OK;
    }
    return DispatchObject::QueryInterface(iid, out);
}

HRESULT CPropertyPageObject::SetObjects(std::vector<std::shared_ptr<IDispatch>> objects) {
    m_model.SetObjects(std::move(objects));
    return automation::S_OK;
}

QWidget* CPropertyPageObject::Activate(QWidget* parent) {
    if (m_widget) {
        return m_widget;
    }
    m_model.Load();
    m_widget = m_widgets ? m_widgets(m_model, parent) : new CPropertyPage(m_model, parent);
    QObject::connect(m_widget, &CPropertyPage::changed, m_widget, [this] {
        if (m_changed) {
            m_changed();
        }
    });
    return m_widget;
}

bool CPropertyPageObject::IsPageDirty() const {
    return m_model.IsDirty() || (m_widget && m_widget->HasInvalidText());
}

HRESULT CPropertyPageObject::Apply() {
    if (m_widget) {
        QString message;
        if (const PageField* field = m_widget->InvalidField(&message)) {
            platform::DefaultPrompt().Message(ToCp1252(message), platform::PromptIcon::Exclamation);
            if (QWidget* widget = m_widget->FieldWidget(field->id)) {
                widget->setFocus(Qt::OtherFocusReason);
                if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
                    edit->selectAll();
                }
            }
            return automation::E_INVALIDARG;
        }
    }
    const std::vector<std::string> refused = m_model.Apply();
    if (refused.empty()) {
        return automation::S_OK;
    }
    std::string names;
    for (const std::string& name : refused) {
        names += (names.empty() ? "" : ", ") + name;
    }
    platform::DefaultPrompt().Message("These properties could not be set: " + names + ".",
                                      platform::PromptIcon::Exclamation);
    return automation::E_FAIL;
}

std::shared_ptr<automation::IClassFactory> PageClassFactoryOf(std::span<const PageDefinition* const> pages,
                                                              const Guid& clsid,
                                                              CPropertyPageObject::WidgetFactory widgets) {
    for (const PageDefinition* page : pages) {
        if (page->clsid == clsid) {
            return std::make_shared<automation::ClassFactory>([page, widgets = std::move(widgets)] {
                return std::make_shared<CPropertyPageObject>(*page, widgets);
            });
        }
    }
    return nullptr;
}

std::vector<automation::ClassRegistration> PageRegistrationsOf(std::span<const PageDefinition* const> pages) {
    std::vector<automation::ClassRegistration> classes;
    for (const PageDefinition* page : pages) {
        automation::ClassRegistration registration;
        registration.clsid = page->clsid;
        registration.progId = page->progId;
        registration.typeName = page->registrationName;
        classes.push_back(std::move(registration));
    }
    return classes;
}

}  // namespace suite
