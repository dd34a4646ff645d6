// Annotations over text and PDF pages: the requests that add, clear, find and go to them, and where they
// lie on the page, which painting and the mouse share.
#include "docview/engine/annotation_layer.h"

#include <QFontMetricsF>
#include <QPdfSelection>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>
#include <algorithm>
#include <cstring>

namespace docview::engine {

namespace {

constexpr uint32_t kStyleIdMask = 0x3FFFFFFFu;
constexpr int kHighlightAlpha = 110;
constexpr qreal kLabelPadding = 3;

// The sixteen colours of a highlight's colour indexes.
constexpr QRgb kPalette[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                               0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
                               0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};

QColor FromColorRef(uint32_t bgr) {
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF));
}

bool IsZero(const LydvwPosition& at) {
    return at.change_id == 0 && at.extra_id == 0 && at.page == 0 && at.offset == 0;
}

bool Matches(const Annotation& annotation, uint32_t criterion, uint32_t match) {
    if (match & LYDVW_MATCH_EXACT)
        return annotation.id == criterion;
    return (annotation.id & criterion) == criterion;
}

// The place between characters before `offset` in a text document's layout.
QRectF TextCursorRect(QTextDocument& text, int offset) {
    offset = std::clamp(offset, 0, std::max(0, text.characterCount() - 1));
    QTextBlock block = text.findBlock(offset);
    if (!block.isValid())
        block = text.lastBlock();
    const QTextLayout* layout = block.layout();
    const int relative = std::clamp(offset - block.position(), 0, std::max(0, block.length() - 1));
    if (!layout || layout->lineCount() == 0)
        return QRectF(layout ? layout->position() : QPointF(), QSizeF(1, 12));
    QTextLine line = layout->lineForTextPosition(relative);
    if (!line.isValid())
        line = layout->lineAt(layout->lineCount() - 1);
    return QRectF(layout->position().x() + line.cursorToX(relative), layout->position().y() + line.y(), 1,
                  line.height());
}

// The rectangles of the characters from `first` to `last` (offsets) of a text document, line by line.
std::vector<QRectF> TextRangeRects(QTextDocument& text, int first, int last) {
    std::vector<QRectF> rects;
    for (QTextBlock block = text.findBlock(first); block.isValid() && block.position() <= last;
         block = block.next()) {
        const QTextLayout* layout = block.layout();
        if (!layout)
            continue;
        const QPointF origin = layout->position();
        for (int i = 0; i < layout->lineCount(); ++i) {
            const QTextLine line = layout->lineAt(i);
            const int lineStart = block.position() + line.textStart();
            const int from = std::max(first, lineStart);
            const int to = std::min(last, lineStart + line.textLength());
            if (from >= to)
                continue;
            const qreal x1 = line.cursorToX(from - block.position());
            const qreal x2 = line.cursorToX(to - block.position());
            rects.emplace_back(origin.x() + std::min(x1, x2), origin.y() + line.y(), std::abs(x2 - x1),
                               line.height());
        }
    }
    return rects;
}

// Points of a PDF page to the painter's coordinates of the page drawn at `at`.
QRectF OnPage(const QRectF& points, const QRect& at, double scale) {
    return QRectF(at.x() + points.x() * scale, at.y() + points.y() * scale, points.width() * scale,
                  points.height() * scale);
}

// The box of the character at `offset` of a PDF page, in points; after the last one, its right edge.
QRectF PdfCharBox(QPdfDocument& pdf, int page, int offset) {
    QRectF box;
    for (const QPolygonF& bound : pdf.getSelectionAtIndex(page, offset, 1).bounds())
        box |= bound.boundingRect();
    if (box.isEmpty() && offset > 0) {
        for (const QPolygonF& bound : pdf.getSelectionAtIndex(page, offset - 1, 1).bounds())
            box |= bound.boundingRect();
        if (!box.isEmpty())
            box = QRectF(box.right(), box.top(), 1, box.height());
    }
    return box;
}

QSizeF LabelSize(const QString& text, const QFont& font) {
    const QFontMetricsF metrics(font);
    return QSizeF(metrics.horizontalAdvance(text) + 2 * kLabelPadding, metrics.height() + 2 * kLabelPadding);
}

}  // namespace

AnnotationLayer::Style AnnotationLayer::StyleOf(uint32_t word) const {
    Style style;
    if (word & LYDVW_STYLE_DEFINED) {
        auto it = m_styles.find(static_cast<int32_t>(word & kStyleIdMask));
        if (it != m_styles.end())
            return it->second;
        // A style never defined still marks its range.
        style.background = QColor(kPalette[11]);
        return style;
    }
    if (!(word & LYDVW_STYLE_NO_FOREGROUND))
        style.foreground = QColor(kPalette[(word >> 4) & 0xF]);
    if (!(word & LYDVW_STYLE_NO_BACKGROUND))
        style.background = QColor(kPalette[word & 0xF]);
    return style;
}

// ---- Requests ----

int64_t AnnotationLayer::Request(AnnotatedDocument& document, uint32_t request, uint64_t wparam,
                                 uint64_t lparam) {
    switch (request) {
        case LYDVW_R_ADD_ANNOTATION:
            return Add(document, static_cast<uint32_t>(wparam), lparam);
        case LYDVW_R_CLEAR_ANNOTATIONS: {
            const auto id = static_cast<uint32_t>(lparam);
            if (wparam == 0)
                m_annotations.clear();
            else if (wparam == LYDVW_MATCH_MASK || wparam == LYDVW_MATCH_EXACT)
                std::erase_if(m_annotations, [&](const Annotation& a) {
                    return Matches(a, id, static_cast<uint32_t>(wparam));
                });
            else
                return LYDVW_E_ARGUMENT;
            document.Repaint();
            return LYDVW_E_OK;
        }
        case LYDVW_R_FIND_ANNOTATION: {
            auto* record = reinterpret_cast<LydvwFindAnnotation*>(lparam);
            if (!record || record->size < sizeof *record)
                return LYDVW_E_ARGUMENT;
            std::optional<LydvwPosition> from;
            if (!IsZero(record->search)) {
                if (!document.Valid(record->search))
                    return LYDVW_E_ARGUMENT;
                from = record->search;
            }
            const Annotation* found = nullptr;
            const int64_t answer =
                Find(document, record->find_type, record->criterion, record->match, from, found);
            if (answer != LYDVW_E_OK)
                return answer;
            record->id = found->id;
            record->start = found->start;
            record->end = found->end;
            record->token = found->token;
            return LYDVW_E_OK;
        }
        case LYDVW_R_GOTO_ANNOTATION: {
            // From the selection's start, so that going to the next one steps through them.
            std::optional<LydvwPosition> from;
            if (const auto selection = document.CurrentSelection()) {
                from = document.CountOf(selection->second) < document.CountOf(selection->first)
                           ? selection->second
                           : selection->first;
            }
            const Annotation* found = nullptr;
            const int64_t answer =
                Find(document, static_cast<uint32_t>(wparam & 0xFFF), static_cast<uint32_t>(lparam),
                     static_cast<uint32_t>(wparam & (LYDVW_MATCH_MASK | LYDVW_MATCH_EXACT)), from, found);
            if (answer != LYDVW_E_OK)
                return answer;
            document.SelectAndShow(found->start, found->end);
            return LYDVW_E_OK;
        }
        case LYDVW_R_HIGHLIGHT_STYLE: {
            const auto* record = reinterpret_cast<const LydvwHighlightStyle*>(lparam);
            if (!record || record->size < sizeof *record || record->style <= 0)
                return LYDVW_E_ARGUMENT;
            m_styles[record->style] =
                Style{FromColorRef(record->foreground), FromColorRef(record->background), record->attributes};
            document.Repaint();
            return LYDVW_E_OK;
        }
        case LYDVW_R_ANNOTATION_DATA: {
            const auto* record = reinterpret_cast<const LydvwAnnotationData*>(lparam);
            if (!record || record->size < sizeof *record || record->buffer == 0 || record->buffer_size == 0)
                return LYDVW_E_ARGUMENT;
            // This engine has no annotations of its own kinds: all of them are the host's.
            return LYDVW_E_NOT_FOUND;
        }
        default:
            return LYDVW_E_UNSUPPORTED;
    }
}

int64_t AnnotationLayer::Add(AnnotatedDocument& document, uint32_t kind, uint64_t lparam) {
    if (lparam == 0)
        return LYDVW_E_ARGUMENT;
    uint32_t size = 0;
    std::memcpy(&size, reinterpret_cast<const void*>(lparam), sizeof size);
    Annotation added;
    added.kind = kind;
    switch (kind) {
        case LYDVW_ANN_HIGHLIGHT: {
            const auto* record = reinterpret_cast<const LydvwAddHighlight*>(lparam);
            if (size < sizeof *record ||
                ((record->style & LYDVW_STYLE_DEFINED) && (record->style & kStyleIdMask) == 0))
                return LYDVW_E_ARGUMENT;
            added.id = record->id;
            added.token = record->token;
            added.events = record->events;
            added.start = record->start;
            added.end = record->end;
            added.style = record->style;
            break;
        }
        case LYDVW_ANN_HIDE: {
            const auto* record = reinterpret_cast<const LydvwAddHidden*>(lparam);
            if (size < sizeof *record)
                return LYDVW_E_ARGUMENT;
            added.id = record->id;
            added.token = record->token;
            added.start = record->start;
            added.end = record->end;
            break;
        }
        case LYDVW_ANN_INSERT: {
            const auto* record = reinterpret_cast<const LydvwAddInsertText*>(lparam);
            if (size < sizeof *record || record->length > LYDVW_INSERT_TEXT_MAX ||
                (record->length > 0 && record->text == 0))
                return LYDVW_E_ARGUMENT;
            added.id = record->id;
            added.token = record->token;
            added.start = added.end = record->position;
            added.text = QString::fromUtf16(reinterpret_cast<const char16_t*>(record->text),
                                            static_cast<qsizetype>(record->length));
            break;
        }
        case LYDVW_ANN_ICON:
        case LYDVW_ANN_BITMAP: {
            const auto* record = reinterpret_cast<const LydvwAddPicture*>(lparam);
            if (size < sizeof *record || record->width == 0 || record->height == 0 ||
                record->width > LYDVW_PICTURE_SIDE_MAX || record->height > LYDVW_PICTURE_SIDE_MAX ||
                record->pixels == 0)
                return LYDVW_E_ARGUMENT;
            added.id = record->id;
            added.token = record->token;
            added.events = record->events;
            added.start = added.end = record->position;
            // The engine's own copy: the host's pixels are only lent for the request.
            QImage image(static_cast<int>(record->width), static_cast<int>(record->height),
                         QImage::Format_ARGB32);
            if (image.isNull())
                return LYDVW_E_ARGUMENT;
            const auto* source = reinterpret_cast<const uint32_t*>(record->pixels);
            for (uint32_t y = 0; y < record->height; ++y)
                std::memcpy(image.scanLine(static_cast<int>(y)), source + size_t{y} * record->width,
                            size_t{record->width} * 4);
            added.image = std::move(image);
            break;
        }
        default:
            return LYDVW_E_ARGUMENT;
    }
    if (const int64_t answer = document.CanAnnotate())
        return answer;
    if (!document.Valid(added.start) || !document.Valid(added.end))
        return LYDVW_E_ARGUMENT;
    if (document.CountOf(added.end) < document.CountOf(added.start))
        std::swap(added.start, added.end);
    m_annotations.push_back(std::move(added));
    document.Repaint();
    return LYDVW_E_OK;
}

int64_t AnnotationLayer::Find(AnnotatedDocument& document, uint32_t findType, uint32_t criterion,
                              uint32_t match, const std::optional<LydvwPosition>& from,
                              const Annotation*& found) {
    if (findType < LYDVW_FIND_FIRST || findType > LYDVW_FIND_LAST)
        return LYDVW_E_ARGUMENT;
    // Matching annotations in the document's order, those at one place in the order added.
    std::vector<std::pair<int64_t, size_t>> order;
    for (size_t i = 0; i < m_annotations.size(); ++i) {
        if (Matches(m_annotations[i], criterion, match))
            order.emplace_back(document.CountOf(m_annotations[i].start), i);
    }
    std::sort(order.begin(), order.end());
    if (order.empty())
        return LYDVW_E_NOT_FOUND;
    std::optional<size_t> index;
    const int64_t at = from ? document.CountOf(*from) : 0;
    switch (findType) {
        case LYDVW_FIND_FIRST:
            index = order.front().second;
            break;
        case LYDVW_FIND_LAST:
            index = order.back().second;
            break;
        case LYDVW_FIND_NEXT:
            for (const auto& [count, i] : order) {
                if (!from || count > at) {
                    index = i;
                    break;
                }
            }
            break;
        default:
            for (auto it = order.rbegin(); it != order.rend(); ++it) {
                if (!from || it->first < at) {
                    index = it->second;
                    break;
                }
            }
            break;
    }
    if (!index)
        return LYDVW_E_NOT_FOUND;
    found = &m_annotations[*index];
    return LYDVW_E_OK;
}

// ---- Where they lie ----

std::vector<AnnotationLayer::Placed> AnnotationLayer::PlaceInText(QTextDocument& text,
                                                                  const QFont& font) const {
    std::vector<Placed> placed;
    for (const Annotation& a : m_annotations) {
        Placed place{&a, {}, {}};
        if (a.kind == LYDVW_ANN_HIGHLIGHT || a.kind == LYDVW_ANN_HIDE) {
            place.ranges = TextRangeRects(text, a.start.offset, a.end.offset);
        } else {
            const QPointF corner = TextCursorRect(text, a.start.offset).topLeft();
            place.box =
                QRectF(corner, a.kind == LYDVW_ANN_INSERT ? LabelSize(a.text, font) : QSizeF(a.image.size()));
        }
        placed.push_back(std::move(place));
    }
    return placed;
}

std::vector<AnnotationLayer::Placed> AnnotationLayer::PlaceOnPdfPage(QPdfDocument& pdf, int page,
                                                                     const QRect& at, QSizeF points,
                                                                     const QFont& font) const {
    std::vector<Placed> placed;
    if (points.width() <= 0)
        return placed;
    const double scale = at.width() / points.width();
    for (const Annotation& a : m_annotations) {
        if (page < a.start.page || page > a.end.page)
            continue;
        Placed place{&a, {}, {}};
        if (a.kind == LYDVW_ANN_HIGHLIGHT || a.kind == LYDVW_ANN_HIDE) {
            const int from = page == a.start.page ? a.start.offset : 0;
            const int to =
                page == a.end.page ? a.end.offset : static_cast<int>(pdf.getAllText(page).text().size());
            if (to <= from)
                continue;
            for (const QPolygonF& bound : pdf.getSelectionAtIndex(page, from, to - from).bounds())
                place.ranges.push_back(OnPage(bound.boundingRect(), at, scale));
        } else {
            const QRectF box = OnPage(PdfCharBox(pdf, page, a.start.offset), at, scale);
            const QPointF corner = box.isNull() ? QPointF(at.topLeft()) : box.topLeft();
            place.box =
                QRectF(corner, a.kind == LYDVW_ANN_INSERT ? LabelSize(a.text, font) : QSizeF(a.image.size()));
        }
        placed.push_back(std::move(place));
    }
    return placed;
}

// ---- Drawing ----

void AnnotationLayer::AddHighlightSelections(
    QTextDocument& text, QList<QAbstractTextDocumentLayout::Selection>& selections) const {
    const int last = std::max(0, text.characterCount() - 1);
    for (const Annotation& a : m_annotations) {
        if (a.kind != LYDVW_ANN_HIGHLIGHT)
            continue;
        const Style style = StyleOf(a.style);
        QAbstractTextDocumentLayout::Selection selection;
        selection.cursor = QTextCursor(&text);
        selection.cursor.setPosition(std::clamp(a.start.offset, 0, last));
        selection.cursor.setPosition(std::clamp(a.end.offset, 0, last), QTextCursor::KeepAnchor);
        if (style.background.isValid())
            selection.format.setBackground(style.background);
        if (style.foreground.isValid())
            selection.format.setForeground(style.foreground);
        if (style.attributes & LYDVW_FONT_UNDERLINE)
            selection.format.setFontUnderline(true);
        if (style.attributes & LYDVW_FONT_ITALIC)
            selection.format.setFontItalic(true);
        if (style.attributes & LYDVW_FONT_BOLD)
            selection.format.setFontWeight(QFont::Bold);
        if (style.attributes & LYDVW_FONT_STRIKE)
            selection.format.setFontStrikeOut(true);
        selections.append(selection);
    }
}

void AnnotationLayer::AddHiddenSelections(QTextDocument& text,
                                          QList<QAbstractTextDocumentLayout::Selection>& selections) const {
    const int last = std::max(0, text.characterCount() - 1);
    for (const Annotation& a : m_annotations) {
        if (a.kind != LYDVW_ANN_HIDE)
            continue;
        QAbstractTextDocumentLayout::Selection selection;
        selection.cursor = QTextCursor(&text);
        selection.cursor.setPosition(std::clamp(a.start.offset, 0, last));
        selection.cursor.setPosition(std::clamp(a.end.offset, 0, last), QTextCursor::KeepAnchor);
        selection.format.setForeground(QColor(Qt::transparent));
        selection.format.setBackground(QColor(Qt::white));
        selections.append(selection);
    }
}

void AnnotationLayer::PaintOverText(QPainter& painter, QTextDocument& text, const QFont& font) const {
    // Ranges are drawn by the layout; what stands at a position is drawn here.
    std::vector<Placed> placed = PlaceInText(text, font);
    std::erase_if(placed, [](const Placed& p) { return !p.ranges.empty() || p.box.isNull(); });
    Paint(painter, placed, font);
}

void AnnotationLayer::PaintOverPdfPage(QPainter& painter, QPdfDocument& pdf, int page, const QRect& at,
                                       QSizeF points, const QFont& font) const {
    if (!m_annotations.empty())
        Paint(painter, PlaceOnPdfPage(pdf, page, at, points, font), font);
}

void AnnotationLayer::Paint(QPainter& painter, const std::vector<Placed>& placed, const QFont& font) const {
    painter.save();
    for (const Placed& p : placed) {
        const Annotation& a = *p.annotation;
        switch (a.kind) {
            case LYDVW_ANN_HIGHLIGHT: {
                const Style style = StyleOf(a.style);
                QColor back = style.background;
                if (back.isValid())
                    back.setAlpha(kHighlightAlpha);
                // Printed text keeps its colour: the foreground marks the range with a line instead.
                const QColor line = style.foreground.isValid() ? style.foreground : QColor(Qt::black);
                const bool underline = (style.attributes & LYDVW_FONT_UNDERLINE) ||
                                       (!style.background.isValid() && style.foreground.isValid());
                for (const QRectF& rect : p.ranges) {
                    if (back.isValid())
                        painter.fillRect(rect, back);
                    if (underline)
                        painter.fillRect(QRectF(rect.left(), rect.bottom() - 2, rect.width(), 2), line);
                    if (style.attributes & LYDVW_FONT_STRIKE)
                        painter.fillRect(QRectF(rect.left(), rect.center().y() - 1, rect.width(), 2), line);
                }
                break;
            }
            case LYDVW_ANN_HIDE:
                for (const QRectF& rect : p.ranges)
                    painter.fillRect(rect.adjusted(-2, -2, 2, 2), Qt::white);  // anti-aliased edges too
                break;
            case LYDVW_ANN_INSERT:
                painter.fillRect(p.box, QColor(255, 255, 225));
                painter.setPen(QColor(Qt::darkGray));
                painter.drawRect(p.box.adjusted(0, 0, -1, -1));
                painter.setPen(QColor(Qt::black));
                painter.setFont(font);
                painter.drawText(p.box.adjusted(kLabelPadding, kLabelPadding, -kLabelPadding, -kLabelPadding),
                                 Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, a.text);
                break;
            default:
                painter.drawImage(p.box.topLeft(), a.image);
                break;
        }
    }
    painter.restore();
}

// ---- The mouse ----

const Annotation* AnnotationLayer::Hit(const std::vector<Placed>& placed, QPointF point, uint32_t event) {
    // Drawn last is on top.
    for (auto it = placed.rbegin(); it != placed.rend(); ++it) {
        if (!(it->annotation->events & event))
            continue;
        if (it->box.contains(point))
            return it->annotation;
        for (const QRectF& rect : it->ranges) {
            if (rect.adjusted(-1, -1, 1, 1).contains(point))
                return it->annotation;
        }
    }
    return nullptr;
}

const Annotation* AnnotationLayer::HitInText(QTextDocument& text, QPointF point, const QFont& font,
                                             uint32_t event) const {
    return m_annotations.empty() ? nullptr : Hit(PlaceInText(text, font), point, event);
}

const Annotation* AnnotationLayer::HitInPdfPage(QPdfDocument& pdf, int page, const QRect& at, QSizeF points,
                                                QPointF point, const QFont& font, uint32_t event) const {
    return m_annotations.empty() ? nullptr : Hit(PlaceOnPdfPage(pdf, page, at, points, font), point, event);
}

}  // namespace docview::engine
