// The engine's own search dialog: the user searches the shown document as often as wanted, then closes it.
#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>

#include "docview/engine/text_search.h"

namespace docview::engine {

// Modal over `parent`, starting with `first`'s text and choices; `enableHost(false)` before it shows and
// `enableHost(true)` after it closes. The answer of the last search made, or LYDVW_E_CANCELLED when the user
// closed it without searching.
int64_t RunSearchDialog(QWidget* parent, TextFinder& finder, SearchTarget& target, const SearchQuery& first,
                        const std::function<void(bool)>& enableHost);

}  // namespace docview::engine
