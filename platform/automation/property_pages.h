// How a control names its property pages and how a container asks it to show them: the page list
// (the class ids of the page objects, in tab order) and the verb that opens the control's property frame.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/automation/guid.h"
#include "platform/automation/hresult.h"

namespace platform::automation {

inline constexpr Guid IID_ISpecifyPropertyPages = Guid::FromLiteral("{B196B28B-BAB4-101A-B69C-00AA00341D07}");

class ISpecifyPropertyPages {
  public:
    virtual ~ISpecifyPropertyPages() = default;
    virtual HRESULT GetPages(std::vector<Guid>& pages) = 0;
};

// The verbs a container sends an embedded object; only the property frame's is offered through this
// interface, the in-place ones go through the frame site.
inline constexpr int32_t OLEIVERB_PROPERTIES = -7;
inline constexpr HRESULT OLEOBJ_S_INVALIDVERB = 0x00040180;

inline constexpr Guid IID_IObjectVerbs = Guid::FromLiteral("{F2A26D36-E6DC-41EA-866C-CE17EC70A309}");

class IObjectVerbs {
  public:
    virtual ~IObjectVerbs() = default;
    // Runs the verb; a verb the object does not know answers OLEOBJ_S_INVALIDVERB.
    virtual HRESULT DoVerb(int32_t verb) = 0;
};

}  // namespace platform::automation
