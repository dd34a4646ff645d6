// The terminal control's identity as its own code sees it: the contract it shares with its containers.
#pragma once

#include "terminal/quillet/quillet_contract.h"

namespace terminal {
using platform::automation::DISPID;
using platform::automation::Guid;
using namespace quillet;  // NOLINT: the contract is the control's vocabulary too
}  // namespace terminal
