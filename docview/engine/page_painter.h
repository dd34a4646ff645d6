// The engine's page drawing: one page of the open document (a PDF page, an image, a page of text laid out on
// the host's format) onto a paint device the host gives, and the page's own format.
#pragma once

#include <QSizeF>
#include <cstdint>
#include <memory>
#include <vector>

#include "docview/lydvw.h"

class QImage;
class QPdfDocument;
class QTextDocument;

namespace docview::engine {

// The open document as page drawing sees it; all null when none is open.
struct PageSource {
    QPdfDocument* pdf = nullptr;
    const std::vector<QImage>* images = nullptr;
    const QTextDocument* text = nullptr;
    // Changes with every document shown.
    int32_t document = 0;
};

class PagePainter {
  public:
    PagePainter();
    ~PagePainter();
    // 2078 and 2081: the text laid out for drawing is dropped.
    int64_t Begin(const PageSource& source);
    void End();
    // 2077 and 2104, with the answers lydvw.h gives.
    int64_t Draw(const PageSource& source, LydvwDrawPage* record);
    int64_t Info(const PageSource& source, LydvwDrawInfo* record);

  private:
    // The text laid out on pages of `inches`, kept while the document and the size stay.
    QTextDocument& TextPages(const PageSource& source, QSizeF inches);
    // A PDF page's or an image's own size in inches.
    static QSizeF NaturalInches(const PageSource& source, int page);
    static int FixedPages(const PageSource& source);

    struct Layout;
    std::unique_ptr<Layout> m_layout;
};

}  // namespace docview::engine
