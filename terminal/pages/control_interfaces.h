// The control's property-page list, in tab order: Connect, Display, Login.
#pragma once

#include <vector>

#include "platform/automation/property_pages.h"

namespace terminal::pages {

class CControlPageList final : public platform::automation::ISpecifyPropertyPages {
  public:
    platform::automation::HRESULT GetPages(std::vector<platform::automation::Guid>& pages) override;
};

}  // namespace terminal::pages
