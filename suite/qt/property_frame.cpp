// The tabbed property frame over page objects.
#include "suite/qt/property_frame.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "platform/user_prompt.h"
#include "suite/qt/qt_text.h"

namespace suite {

namespace automation = platform::automation;

CPropertyFrame::CPropertyFrame(const QString& caption, std::vector<std::shared_ptr<IDispatch>> objects,
                               const std::vector<Guid>& pages, const PageFactoryResolver& resolver,
                               QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(caption);
    auto* layout = new QVBoxLayout(this);
    m_tabs = new QTabWidget(this);
    layout->addWidget(m_tabs);
    auto* buttons =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, this);
    layout->addWidget(buttons);
    m_apply = buttons->button(QDialogButtonBox::Apply);
    connect(buttons, &QDialogButtonBox::accepted, this, &CPropertyFrame::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CPropertyFrame::reject);
    connect(m_apply, &QPushButton::clicked, this, [this] { ApplyAll(); });

    for (const Guid& clsid : pages) {
        std::shared_ptr<automation::IClassFactory> factory = resolver ? resolver(clsid) : nullptr;
        std::shared_ptr<IDispatch> object;
        std::shared_ptr<IPropertyPage> page;
        if (factory && automation::Succeeded(factory->CreateInstance(object))) {
            page = automation::QueryInterfaceAs<IPropertyPage>(*object, IID_IPropertyPage);
        }
        if (!page) {
            platform::DefaultPrompt().Message(
                "The property page " + clsid.ToString() + " could not be created.",
                platform::PromptIcon::Exclamation);
            continue;
        }
        page->SetObjects(objects);
        page->SetStatusHandler([this] { UpdateApply(); });
        m_tabs->addTab(page->Activate(m_tabs), FromCp1252(page->Title()));
        m_pages.push_back(std::move(page));
    }
    UpdateApply();
}

CPropertyFrame::~CPropertyFrame() {
    // The page widgets go with the tabs; the pages must not call back into a frame being destroyed.
    for (const auto& page : m_pages) {
        page->SetStatusHandler(nullptr);
    }
}

bool CPropertyFrame::ApplyAll() {
    for (size_t i = 0; i < m_pages.size(); ++i) {
        if (!m_pages[i]->IsPageDirty()) {
            continue;
        }
        if (automation::Failed(m_pages[i]->Apply())) {
            m_tabs->setCurrentIndex(static_cast<int>(i));
            UpdateApply();
            return false;
        }
    }
    UpdateApply();
    return true;
}

void CPropertyFrame::accept() {
    if (ApplyAll()) {
        QDialog::accept();
    }
}

void CPropertyFrame::UpdateApply() {
    bool dirty = false;
    for (const auto& page : m_pages) {
        dirty = dirty || page->IsPageDirty();
    }
    m_apply->setEnabled(dirty);
}

int RunPropertyFrame(QWidget* parent, const QString& caption, std::vector<std::shared_ptr<IDispatch>> objects,
                     const std::vector<Guid>& pages, const PageFactoryResolver& resolver) {
    CPropertyFrame frame(caption, std::move(objects), pages, resolver, parent);
    return frame.exec();
}

}  // namespace suite
