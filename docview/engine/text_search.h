// The viewing engine's text search: the search records read and checked, matches found page by page from
// where a search starts, and what search next goes on with. The view it runs over is behind SearchTarget.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <utility>

#include "docview/lydvw.h"

namespace docview::engine {

struct SearchQuery {
    QString text;
    bool matchCase = false;
    uint16_t from = LYDVW_SEARCH_FROM_TOP;
    bool forward = true;
};

// The record at `lparam`, told apart by its size (the wide form only when `wideAllowed`); nullopt for one
// the engine cannot take: a wrong size, an unterminated or empty text, an unknown type, start or direction.
std::optional<SearchQuery> ReadSearchRecord(uint64_t lparam, bool wideAllowed);

// A place between characters: the page and the offset in that page's text.
struct TextPlace {
    int page = 0;
    int offset = 0;
};

// The shown document as a search sees it.
class SearchTarget {
  public:
    virtual ~SearchTarget() = default;
    // Pages with text; 0 when the document has none (an image).
    virtual int TextPages() = 0;
    virtual QString SearchText(int page) = 0;
    // The selection's first and last place in document order; nullopt without a selection.
    virtual std::optional<std::pair<TextPlace, TextPlace>> SelectedRange() = 0;
    // The page at the top of the view.
    virtual int TopPage() = 0;
    // Selects the match and brings it into view.
    virtual void ShowMatch(int page, int offset, int length) = 0;
};

// Forward: the first match that starts at or after `at`; backward: the last that ends at or before it. An
// offset past a page's text stands for its end.
std::optional<TextPlace> FindText(SearchTarget& target, const QString& text, bool matchCase, bool forward,
                                  TextPlace at);

class TextFinder {
  public:
    // The answers of lydvw.h: 0 found, LYDVW_E_NOT_FOUND, LYDVW_E_ARGUMENT.
    int64_t Search(SearchTarget& target, const SearchQuery& query);
    // Goes on from the selection with the last search's text; `direction` is LYDVW_SEARCH_SAME, _FORWARD or
    // _BACKWARD. Without a search before, nothing is found.
    int64_t Next(SearchTarget& target, uint64_t direction);
    const std::optional<SearchQuery>& Last() const { return m_last; }

  private:
    std::optional<SearchQuery> m_last;
};

}  // namespace docview::engine
