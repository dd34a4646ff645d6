// The control's page classes: the Connect, Display and Login forms, their class factories and what the
// control's library registers for them. CPPConnect follows the connector: the local connector takes the
// network fields away and its connection fields show the local settings.
#pragma once

#include <memory>
#include <vector>

#include "platform/automation/class_registry.h"
#include "platform/automation/component.h"
#include "suite/qt/property_page.h"
#include "terminal/pages/page_tables.h"

namespace terminal::pages {

using suite::CPropertyPage;

class CPPConnect final : public CPropertyPage {
    Q_OBJECT

  public:
    explicit CPPConnect(PageModel& model, QWidget* parent = nullptr);

  protected:
    void FieldEdited(const PageField& field) override;

  private:
    void EnableNetworkFields();
};

class CPPDisplay final : public CPropertyPage {
    Q_OBJECT

  public:
    explicit CPPDisplay(PageModel& model, QWidget* parent = nullptr) : CPropertyPage(model, parent) {}
};

class CPPLogin final : public CPropertyPage {
    Q_OBJECT

  public:
    explicit CPPLogin(PageModel& model, QWidget* parent = nullptr) : CPropertyPage(model, parent) {}
};

// The widget of the page the model's table describes.
CPropertyPage* CreatePageWidget(PageModel& model, QWidget* parent);

// The class factory of a page class of the control, or null for another class id.
std::shared_ptr<platform::automation::IClassFactory> PageClassFactory(const Guid& clsid);
// What the control's library registers for its pages (the library path is filled in at registration).
std::vector<platform::automation::ClassRegistration> PageRegistrations();

}  // namespace terminal::pages
