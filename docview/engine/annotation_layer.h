// The engine's annotations over the shown document: the host's highlights, hidden ranges, inserted text and
// pictures, kept with the document they were added to, answered to the annotation requests, drawn over
// text and PDF pages, and found under the mouse for the host's annotation events.
#pragma once

#include <QAbstractTextDocumentLayout>
#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPdfDocument>
#include <QString>
#include <QTextDocument>
#include <cstdint>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "docview/lydvw.h"

namespace docview::engine {

// What the layer needs of the view it lies over.
class AnnotatedDocument {
  public:
    virtual ~AnnotatedDocument() = default;
    // 0 when annotations can be added, else the answer: no document, or one without text positions.
    virtual int64_t CanAnnotate() const = 0;
    virtual bool Valid(const LydvwPosition& at) = 0;
    // The characters before a position: the order of the document.
    virtual int64_t CountOf(const LydvwPosition& at) = 0;
    virtual std::optional<std::pair<LydvwPosition, LydvwPosition>> CurrentSelection() const = 0;
    virtual void SelectAndShow(const LydvwPosition& anchor, const LydvwPosition& end) = 0;
    virtual void Repaint() = 0;
};

struct Annotation {
    uint32_t kind = 0;
    uint32_t id = 0;
    uint32_t token = 0;
    uint32_t events = 0;
    LydvwPosition start{};
    LydvwPosition end{};  // the start again for inserted text and pictures
    uint32_t style = 0;   // the style word of a highlight
    QString text;         // inserted text
    QImage image;         // a picture, the engine's own copy
};

class AnnotationLayer {
  public:
    // Requests 2066, 2067, 2068, 2086, 2092 and 2101.
    int64_t Request(AnnotatedDocument& document, uint32_t request, uint64_t wparam, uint64_t lparam);
    // The document went: its annotations go with it. Defined styles stay with the view.
    void Clear() { m_annotations.clear(); }
    bool Empty() const { return m_annotations.empty(); }

    // A text document: highlights as selections of its layout under the user's selection, hidden ranges
    // over it (so selecting never shows them), then what stands at a position (document coordinates).
    void AddHighlightSelections(QTextDocument& text,
                                QList<QAbstractTextDocumentLayout::Selection>& selections) const;
    void AddHiddenSelections(QTextDocument& text,
                             QList<QAbstractTextDocumentLayout::Selection>& selections) const;
    void PaintOverText(QPainter& painter, QTextDocument& text, const QFont& font) const;
    // A PDF page drawn at `at` (the painter's coordinates), whose size in points is `points`.
    void PaintOverPdfPage(QPainter& painter, QPdfDocument& pdf, int page, const QRect& at, QSizeF points,
                          const QFont& font) const;

    // The topmost annotation at a point that reports `event`; null when there is none.
    const Annotation* HitInText(QTextDocument& text, QPointF point, const QFont& font, uint32_t event) const;
    const Annotation* HitInPdfPage(QPdfDocument& pdf, int page, const QRect& at, QSizeF points, QPointF point,
                                   const QFont& font, uint32_t event) const;

  private:
    struct Style {
        QColor foreground;
        QColor background;
        uint16_t attributes = 0;
    };
    // Where an annotation lies: the rectangles of its range, and the box of what is drawn at its position.
    struct Placed {
        const Annotation* annotation;
        std::vector<QRectF> ranges;
        QRectF box;
    };
    std::vector<Placed> PlaceInText(QTextDocument& text, const QFont& font) const;
    std::vector<Placed> PlaceOnPdfPage(QPdfDocument& pdf, int page, const QRect& at, QSizeF points,
                                       const QFont& font) const;
    void Paint(QPainter& painter, const std::vector<Placed>& placed, const QFont& font) const;
    static const Annotation* Hit(const std::vector<Placed>& placed, QPointF point, uint32_t event);
    // The colours and attributes a highlight's style word stands for.
    Style StyleOf(uint32_t word) const;

    int64_t Add(AnnotatedDocument& document, uint32_t kind, uint64_t lparam);
    int64_t Find(AnnotatedDocument& document, uint32_t findType, uint32_t criterion, uint32_t match,
                 const std::optional<LydvwPosition>& from, const Annotation*& found);

    std::vector<Annotation> m_annotations;  // in the order added
    std::map<int32_t, Style> m_styles;
};

}  // namespace docview::engine
