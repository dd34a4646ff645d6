// Pages onto the host's devices. The format stands for the target rectangle; PDF pages are rendered at the
// resolution the device gives them, up to a bound, so that no target, however large, asks for more memory
// than a page needs.
#include "docview/engine/page_painter.h"

#include <QAbstractTextDocumentLayout>
#include <QImage>
#include <QPagedPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QPdfDocument>
#include <QTextDocument>
#include <QTextFrame>
#include <algorithm>
#include <cmath>
#include <optional>

namespace docview::engine {

namespace {

// Text is laid out as on a screen of this resolution, whatever the device: the same format gives the same
// pages everywhere.
constexpr double kLayoutDpi = 96.0;
// A format smaller than this (in inches, either way) is laid out at this size and drawn smaller.
constexpr double kSmallestLayoutInches = 1.0;
constexpr double kLargestLayoutInches = 1000.0;
constexpr double kTextMarginInches = 0.5;
constexpr double kLetterWidthInches = 8.5;
constexpr double kLetterHeightInches = 11.0;
constexpr double kPointsPerInch = 72.0;
// PDF pages are rendered at no more than this resolution, and no larger than this many pixels.
constexpr double kMostRenderDpi = 300.0;
constexpr double kMostRenderPixels = 16e6;
constexpr int kMostRenderSide = 16384;

// The layout's paint device: fonts measured at kLayoutDpi.
const QImage& LayoutDevice() {
    static const QImage device = [] {
        QImage image(1, 1, QImage::Format_RGB32);
        const int perMetre = static_cast<int>(std::lround(kLayoutDpi / 0.0254));
        image.setDotsPerMeterX(perMetre);
        image.setDotsPerMeterY(perMetre);
        return image;
    }();
    return device;
}

int32_t Clamped(double value) {
    if (!(value > INT32_MIN))
        return INT32_MIN;
    return static_cast<int32_t>(std::min<double>(std::round(value), INT32_MAX));
}

// The painter of the device: the one already active on it (a host in the middle of a print job), kept as the
// host left it, or one of ours.
class DevicePainter {
  public:
    explicit DevicePainter(QPaintDevice* device) {
        QPaintEngine* engine = device->paintingActive() ? device->paintEngine() : nullptr;
        if (engine && engine->painter()) {
            m_painter = engine->painter();
            m_painter->save();
        } else if (!device->paintingActive() && m_own.begin(device)) {
            m_painter = &m_own;
        }
    }
    ~DevicePainter() {
        if (m_painter == &m_own)
            m_own.end();
        else if (m_painter)
            m_painter->restore();
    }
    DevicePainter(const DevicePainter&) = delete;
    DevicePainter& operator=(const DevicePainter&) = delete;
    QPainter* get() const { return m_painter; }

  private:
    QPainter m_own;
    QPainter* m_painter = nullptr;
};

// Pixels to render a page drawn over `drawn` (painter coordinates) with: the device's pixels, at most
// kMostRenderDpi, within the bounds.
QSize RenderSize(const QPainter& painter, const QRectF& drawn) {
    QSizeF pixels = painter.deviceTransform().mapRect(drawn).size();
    const QPaintDevice* device = painter.device();
    const int dpi = device ? std::max(device->logicalDpiX(), device->logicalDpiY()) : 0;
    if (dpi > kMostRenderDpi)
        pixels *= kMostRenderDpi / dpi;
    const double area = pixels.width() * pixels.height();
    if (area > kMostRenderPixels)
        pixels *= std::sqrt(kMostRenderPixels / area);
    const double side = std::max(pixels.width(), pixels.height());
    if (side > kMostRenderSide)
        pixels *= kMostRenderSide / side;
    return QSize(std::max(1, static_cast<int>(std::ceil(pixels.width()))),
                 std::max(1, static_cast<int>(std::ceil(pixels.height()))));
}

}  // namespace

struct PagePainter::Layout {
    int32_t document = -1;
    QSizeF inches;
    std::unique_ptr<QTextDocument> pages;
};

PagePainter::PagePainter() = default;
PagePainter::~PagePainter() = default;

int64_t PagePainter::Begin(const PageSource& source) {
    m_layout.reset();
    if (!source.pdf && !source.images && !source.text)
        return LYDVW_E_NO_FILE;
    return LYDVW_E_OK;
}

void PagePainter::End() {
    m_layout.reset();
}

QTextDocument& PagePainter::TextPages(const PageSource& source, QSizeF inches) {
    inches = QSizeF(std::clamp(inches.width(), kSmallestLayoutInches, kLargestLayoutInches),
                    std::clamp(inches.height(), kSmallestLayoutInches, kLargestLayoutInches));
    if (m_layout && m_layout->document == source.document && m_layout->inches == inches)
        return *m_layout->pages;
    auto layout = std::make_unique<Layout>();
    layout->document = source.document;
    layout->inches = inches;
    layout->pages.reset(source.text->clone());
    QTextDocument& pages = *layout->pages;
    pages.documentLayout()->setPaintDevice(const_cast<QImage*>(&LayoutDevice()));
    const QSizeF size = inches * kLayoutDpi;
    pages.setPageSize(size);
    // The margin is the paper's, on every page; a small page keeps most of itself for the text.
    QTextFrameFormat frame = pages.rootFrame()->frameFormat();
    frame.setMargin(std::min(kTextMarginInches * kLayoutDpi, std::min(size.width(), size.height()) / 10));
    pages.rootFrame()->setFrameFormat(frame);
    m_layout = std::move(layout);
    return *m_layout->pages;
}

int PagePainter::FixedPages(const PageSource& source) {
    if (source.pdf)
        return source.pdf->pageCount();
    return source.images ? static_cast<int>(source.images->size()) : 0;
}

QSizeF PagePainter::NaturalInches(const PageSource& source, int page) {
    if (source.pdf)
        return source.pdf->pagePointSize(page) / kPointsPerInch;
    const QImage& image = (*source.images)[static_cast<size_t>(page)];
    const double across = image.dotsPerMeterX() > 0 ? image.dotsPerMeterX() * 0.0254 : kLayoutDpi;
    const double down = image.dotsPerMeterY() > 0 ? image.dotsPerMeterY() * 0.0254 : kLayoutDpi;
    return QSizeF(image.width() / across, image.height() / down);
}

int64_t PagePainter::Draw(const PageSource& source, LydvwDrawPage* record) {
    if (!record || record->size < sizeof(LydvwDrawPage) || record->output == 0 ||
        record->units_per_inch <= 0 || record->format_width <= 0 || record->format_height <= 0)
        return LYDVW_E_ARGUMENT;
    if (!source.pdf && !source.images && !source.text)
        return LYDVW_E_NO_FILE;
    const double unitsPerInch = record->units_per_inch;
    const QSizeF format(record->format_width / unitsPerInch, record->format_height / unitsPerInch);
    QTextDocument* text = source.text ? &TextPages(source, format) : nullptr;
    const int count = text ? text->pageCount() : FixedPages(source);
    const int page = record->page;
    if (page < 0 || page >= count)
        return LYDVW_E_NO_PAGE;

    // Where the page lies on the format, in inches: text fills it; a fixed page keeps its size, or is made
    // smaller to fit.
    QSizeF onFormat = format;
    if (!text) {
        const QSizeF natural = NaturalInches(source, page);
        if (natural.isEmpty())
            return LYDVW_E_DAMAGED;
        const double fit =
            std::min({1.0, format.width() / natural.width(), format.height() / natural.height()});
        onFormat = natural * fit;
    }
    const LydvwRect& t = record->target;
    const QRectF target = QRectF(QPointF(t.left, t.top), QPointF(t.right, t.bottom)).normalized();
    const QRectF drawn(target.topLeft(), QSizeF(onFormat.width() / format.width() * target.width(),
                                                onFormat.height() / format.height() * target.height()));

    // A page only laid out on the way to another is not drawn: its picture is thrown away.
    std::optional<DevicePainter> devicePainter;
    QPainter* painter = nullptr;
    if (!record->layout_only) {
        devicePainter.emplace(reinterpret_cast<QPaintDevice*>(record->output));
        painter = devicePainter->get();
        if (!painter)
            return LYDVW_E_ARGUMENT;
    }
    if (painter && !drawn.isEmpty()) {
        painter->setRenderHint(QPainter::SmoothPixmapTransform);
        painter->fillRect(drawn, Qt::white);
        if (source.pdf) {
            const QImage rendered = source.pdf->render(page, RenderSize(*painter, drawn));
            painter->drawImage(drawn, rendered);
        } else if (source.images) {
            painter->drawImage(drawn, (*source.images)[static_cast<size_t>(page)]);
        } else {
            // As a printed page: the page's slice of the layout, scaled onto the drawn rectangle.
            const QSizeF pageSize = text->pageSize();
            painter->setClipRect(drawn, Qt::IntersectClip);
            painter->translate(drawn.topLeft());
            painter->scale(drawn.width() / pageSize.width(), drawn.height() / pageSize.height());
            painter->translate(0, -page * pageSize.height());
            QAbstractTextDocumentLayout::PaintContext context;
            context.clip = QRectF(QPointF(0, page * pageSize.height()), pageSize);
            context.palette.setColor(QPalette::Text, Qt::black);
            painter->setClipRect(context.clip, Qt::IntersectClip);
            text->documentLayout()->draw(painter, context);
        }
    }
    record->result = LydvwRect{Clamped(drawn.top()), Clamped(drawn.left()), Clamped(drawn.bottom()),
                               Clamped(drawn.right())};
    // There are no palettes.
    record->palette = 0;
    return page == count - 1 ? LYDVW_E_LAST_PAGE : LYDVW_E_OK;
}

int64_t PagePainter::Info(const PageSource& source, LydvwDrawInfo* record) {
    if (!record || record->size < sizeof(LydvwDrawInfo) || record->units_per_inch <= 0)
        return LYDVW_E_ARGUMENT;
    if (!source.pdf && !source.images && !source.text)
        return LYDVW_E_NO_FILE;
    const int page = record->page;
    QSizeF inches;
    if (source.text) {
        inches = QSizeF(kLetterWidthInches, kLetterHeightInches);
        // A printer's paper, when the host lays out for one.
        if (auto* paged = dynamic_cast<QPagedPaintDevice*>(reinterpret_cast<QPaintDevice*>(record->format))) {
            const QSizeF paper = QSizeF(paged->pageLayout().fullRectPoints().size()) / kPointsPerInch;
            if (!paper.isEmpty())
                inches = paper;
        }
        if (page < 0 || page >= TextPages(source, inches).pageCount())
            return LYDVW_E_NO_PAGE;
    } else {
        if (page < 0 || page >= FixedPages(source))
            return LYDVW_E_NO_PAGE;
        inches = NaturalInches(source, page);
    }
    record->format_width = Clamped(inches.width() * record->units_per_inch);
    record->format_height = Clamped(inches.height() * record->units_per_inch);
    return LYDVW_E_OK;
}

}  // namespace docview::engine
