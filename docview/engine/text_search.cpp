// Text search over the shown document's pages: records, matching and the search that search next goes on
// with.
#include "docview/engine/text_search.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "platform/codepage.h"

namespace docview::engine {

namespace {

constexpr size_t kTextChars = 80;

template <typename Record>
std::optional<SearchQuery> Checked(const Record& record, QString text) {
    // The length field may name fewer characters than the terminated text holds, never more.
    text.truncate(std::min<qsizetype>(text.size(), record.length));
    if (text.isEmpty())
        return std::nullopt;
    if (record.type != LYDVW_SEARCH_ANY_CASE && record.type != LYDVW_SEARCH_MATCH_CASE)
        return std::nullopt;
    if (record.from != LYDVW_SEARCH_FROM_TOP && record.from != LYDVW_SEARCH_FROM_SELECTION &&
        record.from != LYDVW_SEARCH_FROM_PAGE)
        return std::nullopt;
    if (record.direction != LYDVW_SEARCH_FORWARD && record.direction != LYDVW_SEARCH_BACKWARD)
        return std::nullopt;
    return SearchQuery{std::move(text), record.type == LYDVW_SEARCH_MATCH_CASE, record.from,
                       record.direction == LYDVW_SEARCH_FORWARD};
}

}  // namespace

std::optional<SearchQuery> ReadSearchRecord(uint64_t lparam, bool wideAllowed) {
    if (lparam == 0)
        return std::nullopt;
    uint32_t size = 0;
    std::memcpy(&size, reinterpret_cast<const void*>(lparam), sizeof size);
    if (size == sizeof(LydvwSearch)) {
        LydvwSearch record;
        std::memcpy(&record, reinterpret_cast<const void*>(lparam), sizeof record);
        const char* end = static_cast<const char*>(std::memchr(record.text, '\0', kTextChars));
        if (!end)
            return std::nullopt;
        const std::string utf8 = platform::Cp1252ToUtf8(std::string_view(record.text, end - record.text));
        return Checked(record, QString::fromStdString(utf8));
    }
    if (size == sizeof(LydvwSearchWide) && wideAllowed) {
        LydvwSearchWide record;
        std::memcpy(&record, reinterpret_cast<const void*>(lparam), sizeof record);
        const uint16_t* end = std::find(record.text, record.text + kTextChars, uint16_t{0});
        if (end == record.text + kTextChars)
            return std::nullopt;
        return Checked(record,
                       QString::fromUtf16(reinterpret_cast<const char16_t*>(record.text), end - record.text));
    }
    return std::nullopt;
}

std::optional<TextPlace> FindText(SearchTarget& target, const QString& text, bool matchCase, bool forward,
                                  TextPlace at) {
    const Qt::CaseSensitivity sensitivity = matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive;
    const int pages = target.TextPages();
    if (text.isEmpty() || pages <= 0)
        return std::nullopt;
    at.page = std::clamp(at.page, 0, pages - 1);
    if (forward) {
        for (int page = at.page; page < pages; ++page) {
            const QString pageText = target.SearchText(page);
            const qsizetype start = page == at.page ? std::max(0, at.offset) : 0;
            if (start > pageText.size())
                continue;
            const qsizetype found = pageText.indexOf(text, start, sensitivity);
            if (found >= 0)
                return TextPlace{page, static_cast<int>(found)};
        }
        return std::nullopt;
    }
    for (int page = at.page; page >= 0; --page) {
        const QString pageText = target.SearchText(page);
        const qsizetype limit =
            page == at.page ? std::min<qsizetype>(at.offset, pageText.size()) : pageText.size();
        const qsizetype last = limit - text.size();
        if (last < 0)
            continue;
        const qsizetype found = pageText.lastIndexOf(text, last, sensitivity);
        if (found >= 0)
            return TextPlace{page, static_cast<int>(found)};
    }
    return std::nullopt;
}

int64_t TextFinder::Search(SearchTarget& target, const SearchQuery& query) {
    if (query.text.isEmpty())
        return LYDVW_E_ARGUMENT;
    m_last = query;
    const int pages = target.TextPages();
    TextPlace at = query.forward ? TextPlace{0, 0} : TextPlace{pages - 1, INT_MAX};
    if (query.from == LYDVW_SEARCH_FROM_SELECTION) {
        if (const auto range = target.SelectedRange())
            at = query.forward ? range->second : range->first;
    } else if (query.from == LYDVW_SEARCH_FROM_PAGE) {
        at = TextPlace{target.TopPage(), query.forward ? 0 : INT_MAX};
    }
    const std::optional<TextPlace> found = FindText(target, query.text, query.matchCase, query.forward, at);
    if (!found)
        return LYDVW_E_NOT_FOUND;
    target.ShowMatch(found->page, found->offset, static_cast<int>(query.text.size()));
    return LYDVW_E_OK;
}

int64_t TextFinder::Next(SearchTarget& target, uint64_t direction) {
    if (direction != LYDVW_SEARCH_SAME && direction != LYDVW_SEARCH_FORWARD &&
        direction != LYDVW_SEARCH_BACKWARD)
        return LYDVW_E_ARGUMENT;
    if (!m_last)
        return LYDVW_E_NOT_FOUND;
    SearchQuery query = *m_last;
    if (direction != LYDVW_SEARCH_SAME)
        query.forward = direction == LYDVW_SEARCH_FORWARD;
    query.from = LYDVW_SEARCH_FROM_SELECTION;
    return Search(target, query);
}

}  // namespace docview::engine
