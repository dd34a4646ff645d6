// Property pages as component classes: each page is an object of its own class, made by its class factory
// and registered with its control's library, that a property frame gives the objects to edit and asks for
// its widget, its dirty state and Apply.
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/automation/class_registry.h"
#include "platform/automation/component.h"
#include "platform/automation/dispatch_object.h"
#include "platform/automation/page_model.h"
#include "suite/qt/property_page.h"

namespace suite {

using platform::automation::Guid;
using platform::automation::HRESULT;
using platform::automation::IDispatch;
using platform::automation::PageDefinition;

inline constexpr Guid IID_IPropertyPage = Guid::FromLiteral("{B196B28D-BAB4-101A-B69C-00AA00341D07}");

class IPropertyPage {
  public:
    virtual ~IPropertyPage() = default;
    virtual HRESULT SetObjects(std::vector<std::shared_ptr<IDispatch>> objects) = 0;
    virtual std::string Title() const = 0;
    // Loads the objects' values and makes the page's widget inside `parent` (on the user-interface
    // thread). The widget belongs to `parent`; a second call hands out the same widget.
    virtual QWidget* Activate(QWidget* parent) = 0;
    // Runs whenever the user edits a field (the page site's status change).
    virtual void SetStatusHandler(std::function<void()> changed) = 0;
    virtual bool IsPageDirty() const = 0;
    // Writes what the user changed. A number field that holds no valid number, or a property an object
    // refuses, is shown to the user and fails the call; the page stays dirty then.
    virtual HRESULT Apply() = 0;
};

class CPropertyPageObject final : public platform::automation::DispatchObject, public IPropertyPage {
  public:
    // The widget a page's model gets; null: the plain form of its table.
    using WidgetFactory = std::function<CPropertyPage*(PageModel& model, QWidget* parent)>;

    explicit CPropertyPageObject(const PageDefinition& definition, WidgetFactory widgets = nullptr);
    ~CPropertyPageObject() override;

    HRESULT QueryInterface(const Guid& iid, std::shared_ptr<void>& out) override;

    HRESULT SetObjects(std::vector<std::shared_ptr<IDispatch>> objects) override;
    std::string Title() const override { return m_model.Definition().caption; }
    QWidget* Activate(QWidget* parent) override;
    void SetStatusHandler(std::function<void()> changed) override { m_changed = std::move(changed); }
    bool IsPageDirty() const override;
    HRESULT Apply() override;

    PageModel& Model() { return m_model; }
    CPropertyPage* Widget() const { return m_widget; }

  private:
    PageModel m_model;
    QPointer<CPropertyPage> m_widget;
    std::function<void()> m_changed;
    WidgetFactory m_widgets;
};

// The class factory of the page class `clsid` among `pages`, or null when none of them has it.
std::shared_ptr<platform::automation::IClassFactory> PageClassFactoryOf(
    std::span<const PageDefinition* const> pages, const Guid& clsid,
    CPropertyPageObject::WidgetFactory widgets = nullptr);
// What a control's library registers for its pages (the library path is filled in at registration).
std::vector<platform::automation::ClassRegistration> PageRegistrationsOf(
    std::span<const PageDefinition* const> pages);

}  // namespace suite
