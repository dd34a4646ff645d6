// The container's view of the terminal control's contract (ids, member names, events, records, tags).
#pragma once

#include "terminal/quillet/quillet_contract.h"

namespace container {
using namespace quillet;  // NOLINT: the contract is the container's vocabulary
}  // namespace container
