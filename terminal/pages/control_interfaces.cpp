// The control's page list.
#include "terminal/pages/control_interfaces.h"

#include "terminal/pages/page_tables.h"

namespace terminal::pages {

namespace automation = platform::automation;

automation::HRESULT CControlPageList::GetPages(std::vector<automation::Guid>& pages) {
    pages.clear();
    for (const PageDefinition* page : ControlPages()) {
        pages.push_back(page->clsid);
    }
    return automation::S_OK;
}

}  // namespace terminal::pages
