// The property frame: a tabbed dialog that shows the pages of a list of page classes for a set of objects,
// with OK, Cancel and Apply. Apply is offered while a page holds changes; OK applies and closes, and stays
// open when a page could not apply.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <vector>

#include "platform/automation/component.h"
#include "suite/qt/page_object.h"

class QPushButton;
class QTabWidget;

namespace suite {

// Finds the factory of a page class; null when there is none.
using PageFactoryResolver = std::function<std::shared_ptr<platform::automation::IClassFactory>(const Guid&)>;

class CPropertyFrame final : public QDialog {
  public:
    CPropertyFrame(const QString& caption, std::vector<std::shared_ptr<IDispatch>> objects,
                   const std::vector<Guid>& pages, const PageFactoryResolver& resolver,
                   QWidget* parent = nullptr);
    ~CPropertyFrame() override;

    QTabWidget* Tabs() const { return m_tabs; }
    QPushButton* ApplyButton() const { return m_apply; }
    const std::vector<std::shared_ptr<IPropertyPage>>& Pages() const { return m_pages; }
    // Applies every dirty page in tab order; stops at the first that fails and shows it. True when all
    // applied.
    bool ApplyAll();

    void accept() override;

  private:
    void UpdateApply();

    QTabWidget* m_tabs = nullptr;
    QPushButton* m_apply = nullptr;
    std::vector<std::shared_ptr<IPropertyPage>> m_pages;
};

// Shows the frame modal over `parent`; QDialog::Accepted when the user closed it with OK.
int RunPropertyFrame(QWidget* parent, const QString& caption, std::vector<std::shared_ptr<IDispatch>> objects,
                     const std::vector<Guid>& pages, const PageFactoryResolver& resolver);

}  // namespace suite
