// The viewing engine behind the contract of lydvw.h: PDF through the PDF module (only pages in view are
// rendered), images through the image readers (every frame a page), text through a text document.
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractScrollArea>
#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDropEvent>
#include <QFile>
#include <QFormLayout>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPdfDocument>
#include <QPdfSelection>
#include <QPointer>
#include <QProxyStyle>
#include <QRegion>
#include <QScreen>
#include <QScrollBar>
#include <QStyleOptionSlider>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>
#include <QWheelEvent>
#include <array>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "docview/engine/annotation_layer.h"
#include "docview/engine/engine_options.h"
#include "docview/engine/page_painter.h"
#include "docview/engine/page_zoom.h"
#include "docview/engine/paper.h"
#include "docview/engine/print_job.h"
#include "docview/engine/redirect_device.h"
#include "docview/engine/search_dialog.h"
#include "docview/engine/text_export.h"
#include "docview/engine/text_search.h"
#include "docview/file_kind.h"
#include "docview/lydvw.h"
#include "docview/options.h"

#define LYDVW_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using docview::FileKind;

constexpr int kPageGap = 8;
// Rendered pages kept for repainting.
constexpr size_t kCachedPages = 16;
constexpr uint32_t kFallbackOption = 0x52779;

// Engine ids of the fallback formats and the text encodings they stand for.
const char* IconvName(uint32_t fileId) {
    switch (fileId) {
        case 4000:
            return "CP437";
        case 4001:
            return "CP850";
        case 4002:
            return "CP1252";
        case 4003:
            return "ISO-8859-1";
        case 4004:
            return "MACINTOSH";
        case 4005:
            return "CP1250";
        case 4007:
            return "CP1251";
        case 4008:
            return "CP1253";
        case 4009:
            return "CP1254";
        case 4010:
            return "CP1255";
        case 4011:
            return "CP1256";
        case 4012:
            return "CP1257";
        case 4013:
            return "SHIFT_JIS";
        case 4014:
            return "GBK";
        case LYDVW_FI_TEXT_UTF8:
            return "UTF-8";
        case LYDVW_FI_TEXT_UTF16:
            return "UTF-16LE";
        default:
            return nullptr;
    }
}

// Undecodable bytes become U+FFFD; the rest goes on.
QString DecodeWithIconv(const QByteArray& bytes, const char* encoding) {
    iconv_t cd = iconv_open("UTF-16LE", encoding);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return QString::fromLatin1(bytes);
    QString out;
    std::vector<char> buffer(4096);
    char* in = const_cast<char*>(bytes.constData());
    size_t inLeft = static_cast<size_t>(bytes.size());
    while (inLeft > 0) {
        char* outPtr = buffer.data();
        size_t outLeft = buffer.size();
        const size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(QString::fromUtf16(reinterpret_cast<const char16_t*>(buffer.data()),
                                      static_cast<qsizetype>((buffer.size() - outLeft) / 2)));
        if (rc == static_cast<size_t>(-1) && errno != E2BIG) {
            out.append(QChar(0xFFFD));
            ++in;
            --inLeft;
        }
    }
    iconv_close(cd);
    return out;
}

QString DecodeText(const QByteArray& bytes, docview::TextEncoding encoding, uint32_t fileId) {
    switch (encoding) {
        case docview::TextEncoding::Utf8:
            return QString::fromUtf8(bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes);
        case docview::TextEncoding::Utf16Le:
            return DecodeWithIconv(bytes.mid(2), "UTF-16LE");
        case docview::TextEncoding::Utf16Be:
            return DecodeWithIconv(bytes.mid(2), "UTF-16BE");
        case docview::TextEncoding::None:
            break;
    }
    const char* name = IconvName(fileId);
    return DecodeWithIconv(bytes, name ? name : "CP1252");
}

class DocumentWidget;

// The scroll bars' style, but for the groove: the style fills it with a gradient as long as the bar, which
// the painter spreads over its thread pool, the dearest part of painting the view. The groove does not
// move with the value, so it is painted once for each size and look and copied after.
class GrooveCachingStyle : public QProxyStyle {
  public:
    // Of the application's kind: the proxy owns its base, so it cannot be the application's own.
    GrooveCachingStyle() : QProxyStyle(QApplication::style()->name()) {}

    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget) const override {
        const auto* bar = qstyleoption_cast<const QStyleOptionSlider*>(option);
        if (control != CC_ScrollBar || !bar || !(bar->subControls & SC_ScrollBarGroove) ||
            option->rect.isEmpty()) {
            QProxyStyle::drawComplexControl(control, option, painter, widget);
            return;
        }
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatio() : 1.0;
        Groove& groove = m_grooves[bar->orientation == Qt::Horizontal ? 1 : 0];
        const Key key{option->rect.size(), static_cast<uint32_t>(option->state),
                      static_cast<uint32_t>(bar->activeSubControls), option->palette.cacheKey(), ratio};
        if (groove.image.isNull() || !(groove.key == key)) {
            groove.key = key;
            groove.image = QImage(option->rect.size() * ratio, QImage::Format_ARGB32_Premultiplied);
            groove.image.setDevicePixelRatio(ratio);
            groove.image.fill(Qt::transparent);
            QStyleOptionSlider alone = *bar;
            alone.subControls = SC_ScrollBarGroove;
            alone.rect.moveTo(0, 0);
            {
                QPainter onImage(&groove.image);
                QProxyStyle::drawComplexControl(control, &alone, &onImage, widget);
            }
            // A groove the style paints opaque is copied, not blended.
            if (Opaque(groove.image))
                groove.image.reinterpretAsFormat(QImage::Format_RGB32);
        }
        painter->drawImage(option->rect.topLeft(), groove.image);
        QStyleOptionSlider rest = *bar;
        rest.subControls &= ~SC_ScrollBarGroove;
        QProxyStyle::drawComplexControl(control, &rest, painter, widget);
    }

  private:
    static bool Opaque(const QImage& image) {
        for (int y = 0; y < image.height(); ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                if (qAlpha(line[x]) != 255)
                    return false;
            }
        }
        return true;
    }
    struct Key {
        QSize size;
        uint32_t state = 0;
        uint32_t active = 0;
        qint64 palette = 0;
        qreal ratio = 0;
        bool operator==(const Key&) const = default;
    };
    struct Groove {
        Key key;
        QImage image;
    };
    mutable std::array<Groove, 2> m_grooves;  // vertical, horizontal
};

// A rendered page made opaque on white paper, so that painting it is a copy.
QImage OnWhitePaper(QImage page) {
    const QImage::Format format = page.format();
    if (page.isNull() || format == QImage::Format_RGB32)
        return page;
    if (format != QImage::Format_ARGB32 && format != QImage::Format_ARGB32_Premultiplied) {
        QImage paper(page.size(), QImage::Format_RGB32);
        paper.fill(Qt::white);
        QPainter(&paper).drawImage(0, 0, page);
        return paper;
    }
    for (int y = 0; y < page.height(); ++y) {
        docview::engine::LayOnWhite(reinterpret_cast<uint32_t*>(page.scanLine(y)),
                                    static_cast<size_t>(page.width()),
                                    format == QImage::Format_ARGB32_Premultiplied);
    }
    page.reinterpretAsFormat(QImage::Format_RGB32);
    return page;
}

// The fallback formats the display-options dialog offers, by engine id.
constexpr std::pair<uint32_t, const char*> kFallbackChoices[] = {
    {4002, "Text (Windows-1252)"}, {4000, "Text (DOS 437)"},      {4001, "Text (DOS 850)"},
    {4003, "Text (ISO 8859-1)"},   {4004, "Text (Macintosh)"},    {4005, "Text (Windows-1250)"},
    {4007, "Text (Windows-1251)"}, {4008, "Text (Windows-1253)"}, {4009, "Text (Windows-1254)"},
    {4010, "Text (Windows-1255)"}, {4011, "Text (Windows-1256)"}, {4012, "Text (Windows-1257)"},
    {4013, "Text (Shift JIS)"},    {4014, "Text (GBK)"},          {1116, "Text (UTF-8)"},
    {1117, "Text (UTF-16)"},       {4006, "Don't View"},
};

}  // namespace

struct LydvwView {
    LydvwNotifyFn notify = nullptr;
    void* context = nullptr;
    LydvwStatFn stat = nullptr;
    // Guarded: a host that deletes its widget tree first must not leave the engine a dangling child.
    QPointer<DocumentWidget> widget;
    std::map<uint32_t, std::string> options;
    docview::engine::PagePainter pages;
    // The open document.
    bool open = false;
    uint32_t type = LYDVW_TYPE_NONE;
    uint32_t lastType = LYDVW_TYPE_NONE;  // of the last document shown, for the display-engine change
    LydvwFileInfo info{};
    docview::engine::TextFinder finder;
    bool deleteOnClose = false;
    std::string path;
    dev_t device = 0;
    ino_t inode = 0;
    docview::EnginePrinter printer;

    int64_t Notify(uint32_t n, uint64_t l) { return notify ? notify(context, n, 0, l) : 0; }
    void Stat() {
        if (stat)
            stat(this);
    }
};

namespace {

int64_t ViewFile(LydvwView* view, const LydvwViewFile* record);
bool DropsEnabled(const LydvwView* view);
int32_t OptionValue(const LydvwView* view, uint32_t id, int32_t fallback);
int64_t ShowDisplayOptions(LydvwView* view);
int64_t ShowClipboardOptions(LydvwView* view);
uint32_t FallbackId(const LydvwView* view);

constexpr uint32_t kBitmapFitOption = 0x52849;   // 16-bit: 0 natural size, else wider images fit the window
constexpr uint32_t kWrapOption = 0x527DF;        // 32-bit: 0 text lines are not wrapped
constexpr uint32_t kScrollBarsOption = 0x52A34;  // the scroll-bar word
constexpr uint32_t kDropsOption = 0x52A35;
constexpr uint32_t kSystemFlagsOption = 0x52A32;

class DocumentWidget : public QAbstractScrollArea,
                       public docview::engine::SearchTarget,
                       private docview::engine::AnnotatedDocument {
  public:
    DocumentWidget(QWidget* parent, LydvwView* owner) : QAbstractScrollArea(parent), m_owner(owner) {
        verticalScrollBar()->setStyle(m_barStyle.get());
        horizontalScrollBar()->setStyle(m_barStyle.get());
        setAcceptDrops(true);
        viewport()->setAcceptDrops(true);
        setFocusPolicy(Qt::StrongFocus);
        Watch(verticalScrollBar(), LYDVW_N_VSCROLL_POS, LYDVW_N_VSCROLL_RANGE, LYDVW_N_VSCROLL_STATE);
        Watch(horizontalScrollBar(), LYDVW_N_HSCROLL_POS, LYDVW_N_HSCROLL_RANGE, LYDVW_N_HSCROLL_STATE);
        setFrameShape(QFrame::NoFrame);
        // The background is painted around the pages only, never under them.
        viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
        QPalette palette = viewport()->palette();
        palette.setColor(QPalette::Window, Qt::gray);
        viewport()->setPalette(palette);
    }

    // The bars go with the base class, after the style they use: they take the application's again.
    ~DocumentWidget() override {
        verticalScrollBar()->setStyle(nullptr);
        horizontalScrollBar()->setStyle(nullptr);
    }

    // Options that change the layout take effect at once.
    void OptionsChanged() {
        const uint32_t bars = static_cast<uint32_t>(OptionValue(m_owner, kScrollBarsOption, 0x24));
        setHorizontalScrollBarPolicy((bars & 4u) ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
        setVerticalScrollBarPolicy((bars & 0x20u) ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
        m_cache.clear();
        Relayout();
    }

    // One scroll operation; false when it does not apply to that direction.
    bool Scroll(bool vertical, uint64_t operation, int64_t position) {
        QScrollBar* bar = vertical ? verticalScrollBar() : horizontalScrollBar();
        switch (operation) {
            case LYDVW_SCROLL_LINE_BACK:
            case LYDVW_SCROLL_LINE_ON:
                if (!vertical)
                    return false;
                bar->triggerAction(operation == LYDVW_SCROLL_LINE_BACK
                                       ? QAbstractSlider::SliderSingleStepSub
                                       : QAbstractSlider::SliderSingleStepAdd);
                return true;
            case LYDVW_SCROLL_PAGE_BACK:
                bar->triggerAction(QAbstractSlider::SliderPageStepSub);
                return true;
            case LYDVW_SCROLL_PAGE_ON:
                bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
                return true;
            case LYDVW_SCROLL_START:
                bar->triggerAction(QAbstractSlider::SliderToMinimum);
                return true;
            case LYDVW_SCROLL_END:
                bar->triggerAction(QAbstractSlider::SliderToMaximum);
                return true;
            case LYDVW_SCROLL_TO:
                bar->setValue(
                    static_cast<int>(std::clamp<int64_t>(position, bar->minimum(), bar->maximum())));
                return true;
            case LYDVW_SCROLL_PREVIOUS_PAGE:
            case LYDVW_SCROLL_NEXT_PAGE:
                if (!vertical)
                    return false;
                bar->setValue(PageTop(CurrentPage() + (operation == LYDVW_SCROLL_NEXT_PAGE ? 1 : -1)));
                return true;
            default:
                return false;
        }
    }

    void ShowPdf(std::unique_ptr<QPdfDocument> pdf) {
        Reset(true);
        m_pdf = std::move(pdf);
        // Asking the PDF module for a page's size parses the page: only the first is asked now, and the
        // others stand at its size until they come into view.
        const QSizeF first = m_pdf->pagePointSize(0);
        m_pageSizes.assign(static_cast<size_t>(m_pdf->pageCount()), first);
        m_sizeKnown.assign(m_pageSizes.size(), false);
        m_sizeKnown[0] = true;
        m_lengths.assign(m_pageSizes.size(), -1);
        Relayout();
    }
    void ShowImages(std::vector<QImage> images) {
        Reset(true);
        m_images = std::move(images);
        for (const QImage& image : m_images)
            m_pageSizes.push_back(QSizeF(image.size()));
        Relayout();
    }
    void ShowText(const QString& text, bool plain) {
        Reset(true);
        m_text = std::make_unique<QTextDocument>();
        if (plain) {
            m_text->setPlainText(text);
        } else {
            m_text->setHtml(text);
        }
        Relayout();
    }
    // With another document following, the layout waits for it: emptied in between, the scroll bars
    // would go and come back and the view be laid out at two widths.
    void Reset(bool anotherFollows = false) {
        // Positions of the document before are no longer valid.
        ++m_document;
        m_selection.reset();
        m_dragging = false;
        m_pdf.reset();
        m_images.clear();
        m_text.reset();
        m_pageSizes.clear();
        m_sizeKnown.clear();
        m_lengths.clear();
        m_pageText = {-1, QString()};
        m_boxes.clear();
        m_cache.clear();
        // Zoom and full screen are the shown document's.
        m_zoom = {};
        SetFullScreen(false);
        m_annotations.Clear();
        if (!anotherFollows)
            Relayout();
    }
    // ---- Positions: a page (the whole text is one) and a character offset in that page's text. ----
    int PositionPages() const { return m_text ? 1 : PageCount(); }
    int PageLength(int page) {
        if (m_text)
            return std::max(0, m_text->characterCount() - 1);
        if (!m_pdf)
            return 0;
        int& length = m_lengths[static_cast<size_t>(page)];
        if (length < 0)
            length = static_cast<int>(m_pdf->getAllText(page).text().size());
        return length;
    }
    bool Valid(const LydvwPosition& at) override {
        return at.change_id == m_document && at.extra_id == 0 && at.page >= 0 && at.page < PositionPages() &&
               at.offset >= 0 && at.offset <= PageLength(at.page);
    }
    LydvwPosition At(int page, int offset) const { return LydvwPosition{m_document, 0, page, offset}; }
    // The characters before a position, and back; false for a count beyond the document.
    int64_t CountOf(const LydvwPosition& at) override {
        int64_t count = at.offset;
        for (int page = 0; page < at.page; ++page)
            count += PageLength(page);
        return count;
    }
    bool PositionOf(int64_t count, LydvwPosition& at) {
        if (count < 0 || PositionPages() == 0)
            return false;
        for (int page = 0; page < PositionPages(); ++page) {
            const int length = PageLength(page);
            if (count <= length) {
                at = At(page, static_cast<int>(count));
                return true;
            }
            count -= length;
        }
        return false;
    }
    const std::optional<std::pair<LydvwPosition, LydvwPosition>>& Selection() const { return m_selection; }
    // From the first character to the last; false when the document has no text (images, nothing shown).
    bool SelectAll() {
        if (!m_text && !m_pdf)
            return false;
        const int last = PositionPages() - 1;
        if (last < 0)
            return false;
        ChangeSelection(At(0, 0), At(last, PageLength(last)));
        return true;
    }
    // ---- Copying ----
    // The selected characters in document order, pages joined by a line break; empty without a selection.
    QString SelectedText() {
        return m_selection ? TextBetween(m_selection->first, m_selection->second) : QString();
    }
    // The characters between two valid positions, either first.
    QString TextBetween(LydvwPosition first, LydvwPosition last) {
        if (!m_text && !m_pdf)
            return {};
        if (std::pair(last.page, last.offset) < std::pair(first.page, first.offset))
            std::swap(first, last);
        if (m_text) {
            QTextCursor cursor(m_text.get());
            cursor.setPosition(first.offset);
            cursor.setPosition(last.offset, QTextCursor::KeepAnchor);
            return cursor.selectedText().replace(QChar::ParagraphSeparator, u'\n');
        }
        QStringList pieces;
        for (int page = first.page; page <= last.page; ++page) {
            const int start = page == first.page ? first.offset : 0;
            const int end = page == last.page ? last.offset : PageLength(page);
            if (end > start)
                pieces << m_pdf->getSelectionAtIndex(page, start, end - start).text();
        }
        return pieces.join(u'\n');
    }
    // Puts the selected text, or the image page in view, on the clipboard in the formats asked; with
    // nothing to offer the clipboard is left alone.
    int64_t CopyToClipboard(uint32_t formats, const LydvwFontRecord& font) {
        const QImage image = m_images.empty() ? QImage() : m_images[static_cast<size_t>(CurrentPage())];
        if (std::unique_ptr<QMimeData> data =
                docview::engine::ClipboardData(SelectedText(), image, formats, font))
            QApplication::clipboard()->setMimeData(data.release());
        return LYDVW_E_OK;
    }
    // The raw-text piece holding the character `count` characters from the start; empty past the end.
    QString RawPiece(int64_t count, int64_t& pieceStart) {
        LydvwPosition at{};
        if (!PositionOf(count, at))
            return {};
        // The boundary after a page's last character is the next page's first.
        while (at.offset == PageLength(at.page) && at.page + 1 < PositionPages())
            at = At(at.page + 1, 0);
        const QString& page = PageText(at.page);
        if (at.offset >= page.size())
            return {};
        const docview::engine::Piece piece = docview::engine::PieceHolding(page, at.offset);
        pieceStart = count - (at.offset - piece.start);
        return page.mid(piece.start, piece.length);
    }
    void Select(const LydvwPosition& anchor, const LydvwPosition& end) {
        m_selection.emplace(anchor, end);
        viewport()->update();
    }
    // Brings a position's page (or, in text, its line) into view.
    void Show(const LydvwPosition& at) {
        if (m_text) {
            QTextCursor cursor(m_text.get());
            cursor.setPosition(at.offset);
            const QTextBlock block = cursor.block();
            const QRectF line = m_text->documentLayout()->blockBoundingRect(block);
            const int y = qFloor(line.top());
            QScrollBar* bar = verticalScrollBar();
            if (y < bar->value() || y + qCeil(line.height()) > bar->value() + viewport()->height())
                bar->setValue(std::clamp(y, bar->minimum(), bar->maximum()));
            return;
        }
        verticalScrollBar()->setValue(
            std::clamp(PageTop(at.page), verticalScrollBar()->minimum(), verticalScrollBar()->maximum()));
    }

    // A page's text, kept for the next piece: a host reads raw text piece after piece.
    const QString& PageText(int page) {
        if (m_pageText.first != page) {
            m_pageText = {page, m_text  ? m_text->toPlainText()
                                : m_pdf ? m_pdf->getAllText(page).text()
                                        : QString()};
        }
        return m_pageText.second;
    }

    docview::engine::PageSource Pages() const {
        return {m_pdf.get(), m_images.empty() ? nullptr : &m_images, m_text.get(), m_document};
    }

    // ---- Zoom and full screen: the bitmap options act on images, the vector options on PDF pages. ----
    void ViewOptionSet(uint32_t option, std::string_view data) {
        const bool vector = option == LYDVW_OPT_VEC_ZOOM || option == LYDVW_OPT_VEC_ZOOM_TYPE ||
                            option == LYDVW_OPT_VEC_FULL_SCREEN;
        const bool ofShown = vector ? m_pdf != nullptr : !m_images.empty();
        if (option == LYDVW_OPT_BMP_FULL_SCREEN || option == LYDVW_OPT_VEC_FULL_SCREEN) {
            int32_t on = 0;
            std::memcpy(&on, data.data(), std::min(data.size(), sizeof on));
            // Returning is right whatever is shown.
            if (on == 0 || ofShown)
                SetFullScreen(on != 0);
            return;
        }
        const std::optional<docview::engine::PageZoom> zoom = docview::engine::ZoomFromOption(option, data);
        if (!ofShown || !zoom)
            return;
        m_zoom = *zoom;
        m_cache.clear();
        Relayout();
    }
    bool FullScreen() const { return m_fullScreen; }

    // ---- Search ----
    int TextPages() override { return m_text || m_pdf ? PositionPages() : 0; }
    QString SearchText(int page) override { return PageText(page); }
    std::optional<std::pair<docview::engine::TextPlace, docview::engine::TextPlace>> SelectedRange()
        override {
        if (!m_selection)
            return std::nullopt;
        docview::engine::TextPlace first{m_selection->first.page, m_selection->first.offset};
        docview::engine::TextPlace last{m_selection->second.page, m_selection->second.offset};
        if (std::pair(last.page, last.offset) < std::pair(first.page, first.offset))
            std::swap(first, last);
        return std::pair(first, last);
    }
    int TopPage() override { return m_text ? 0 : CurrentPage(); }
    void ShowMatch(int page, int offset, int length) override {
        ChangeSelection(At(page, offset), At(page, offset + length));
        if (const std::optional<QRect> area = MatchArea(page, offset, length))
            EnsureVisible(*area);
    }

    docview::PrintSource ForPrinting() {
        docview::PrintSource source;
        source.pdf = m_pdf.get();
        source.images = m_images.empty() ? nullptr : &m_images;
        source.text = m_text.get();
        source.selection = SelectedText();
        return source;
    }

    int64_t Annotations(uint32_t request, uint64_t wparam, uint64_t lparam) {
        return m_annotations.Request(*this, request, wparam, lparam);
    }

    // Pages rendered since the document was shown, for tests of lazy rendering.
    int RenderedPages() const { return static_cast<int>(m_cache.size()); }

  protected:
    void keyPressEvent(QKeyEvent* event) override {
        m_owner->Notify(LYDVW_N_KEYDOWN, static_cast<uint64_t>(event->key()));
        if (m_fullScreen && event->key() == Qt::Key_Escape) {
            SetFullScreen(false);
            return;
        }
        // Shift with an arrow moves the selection's end by a character, across pages.
        if ((event->modifiers() & Qt::ShiftModifier) &&
            (event->key() == Qt::Key_Left || event->key() == Qt::Key_Right)) {
            if (m_selection) {
                LydvwPosition end = m_selection->second;
                if (PositionOf(CountOf(end) + (event->key() == Qt::Key_Right ? 1 : -1), end))
                    ChangeSelection(m_selection->first, end);
            }
            return;
        }
        QAbstractScrollArea::keyPressEvent(event);
    }
    // A press starts a selection at the character under the mouse (Shift: moves the end there); a drag
    // moves the end.
    void mousePressEvent(QMouseEvent* event) override {
        QAbstractScrollArea::mousePressEvent(event);
        if (event->button() != Qt::LeftButton)
            return;
        const std::optional<LydvwPosition> at = PositionAt(event->position());
        if (at) {
            m_dragging = true;
            if ((event->modifiers() & Qt::ShiftModifier) && m_selection)
                ChangeSelection(m_selection->first, *at);
            else
                ChangeSelection(*at, *at);
        }
        // After the selection, so that a host that selects on the event keeps its selection.
        NotifyAnnotationAt(event->position(), LYDVW_ANN_EVENT_CLICK);
    }
    void mouseDoubleClickEvent(QMouseEvent* event) override {
        QAbstractScrollArea::mouseDoubleClickEvent(event);
        if (event->button() == Qt::LeftButton)
            NotifyAnnotationAt(event->position(), LYDVW_ANN_EVENT_DOUBLE_CLICK);
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        QAbstractScrollArea::mouseMoveEvent(event);
        if (!m_dragging || !m_selection)
            return;
        if (const std::optional<LydvwPosition> at = PositionAt(event->position()))
            ChangeSelection(m_selection->first, *at);
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        QAbstractScrollArea::mouseReleaseEvent(event);
        if (event->button() == Qt::LeftButton)
            m_dragging = false;
    }
    void dragEnterEvent(QDragEnterEvent* event) override {
        if (DropsEnabled(m_owner) && event->mimeData()->hasUrls())
            event->acceptProposedAction();
    }
    void dragMoveEvent(QDragMoveEvent* event) override {
        if (DropsEnabled(m_owner) && event->mimeData()->hasUrls())
            event->acceptProposedAction();
    }
    // A dropped file goes to the host first; the view opens it only when the host does not take it over.
    void dropEvent(QDropEvent* event) override {
        if (!DropsEnabled(m_owner))
            return;
        for (const QUrl& url : event->mimeData()->urls()) {
            if (!url.isLocalFile())
                continue;
            const QByteArray path = url.toLocalFile().toUtf8();
            LydvwViewThisFile request{};
            request.size = sizeof request;
            request.kind = 1;
            request.spec = reinterpret_cast<uint64_t>(path.constData());
            event->acceptProposedAction();
            if (m_owner->Notify(LYDVW_N_VIEW_THIS_FILE, reinterpret_cast<uint64_t>(&request)) == 24)
                return;
            LydvwViewFile record{};
            record.size = sizeof record;
            record.spec_type = LYDVW_SPEC_ANSI;
            record.spec = reinterpret_cast<uint64_t>(path.constData());
            const int64_t answer = ViewFile(m_owner, &record);
            if (answer != LYDVW_E_OK)
                m_owner->Notify(LYDVW_N_ERROR, static_cast<uint64_t>(answer));
            return;
        }
    }
    void resizeEvent(QResizeEvent* event) override {
        QAbstractScrollArea::resizeEvent(event);
        m_cache.clear();
        Relayout();
    }
    void scrollContentsBy(int, int) override { viewport()->update(); }

    // The host hears of the menu first; it may show its own and answer 1, and then the view shows none.
    void contextMenuEvent(QContextMenuEvent* event) override {
        const QPoint at = event->pos();
        const uint64_t where =
            (static_cast<uint64_t>(at.y() & 0xFFFF) << 16) | static_cast<uint64_t>(at.x() & 0xFFFF);
        if (m_owner->Notify(LYDVW_N_CONTEXT_MENU, where) == 1)
            return;
        auto* menu = new QMenu(this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->addAction(QStringLiteral("Top of Document"), this,
                        [this] { Scroll(true, LYDVW_SCROLL_START, 0); });
        menu->addAction(QStringLiteral("End of Document"), this,
                        [this] { Scroll(true, LYDVW_SCROLL_END, 0); });
        menu->addSeparator();
        menu->addAction(QStringLiteral("Display Options..."), this, [this] { ShowDisplayOptions(m_owner); });
        menu->popup(event->globalPos());
    }

    void paintEvent(QPaintEvent*) override {
        QPainter painter(viewport());
        int top = verticalScrollBar()->value();
        const int left = horizontalScrollBar()->value();
        const int width = viewport()->width();
        const int height = viewport()->height();
        if (m_text) {
            painter.fillRect(viewport()->rect(), Qt::white);
            painter.translate(-left, -top);
            const QRectF clip(left, top, width, height);
            painter.setClipRect(clip);
            QAbstractTextDocumentLayout::PaintContext context;
            context.clip = clip;
            context.palette.setColor(QPalette::Text, painter.pen().color());
            m_annotations.AddHighlightSelections(*m_text, context.selections);
            if (m_selection) {
                QTextCursor cursor(m_text.get());
                cursor.setPosition(m_selection->first.offset);
                cursor.setPosition(m_selection->second.offset, QTextCursor::KeepAnchor);
                QAbstractTextDocumentLayout::Selection selected;
                selected.cursor = cursor;
                selected.format.setBackground(palette().highlight());
                selected.format.setForeground(palette().highlightedText());
                context.selections.append(selected);
            }
            m_annotations.AddHiddenSelections(*m_text, context.selections);
            m_text->documentLayout()->draw(&painter, context);
            m_annotations.PaintOverText(painter, *m_text, font());
            return;
        }
        // A page in view that is not the size it stood at: lay out again and paint with the true sizes.
        if (m_pdf && LearnSizesInView(top, width, height))
            Relayout();
        top = verticalScrollBar()->value();
        QRegion background(viewport()->rect());
        int y = 0;
        for (int page = 0; page < PageCount(); ++page) {
            const QSize size = PageSize(page, width);
            if (y + size.height() >= top && y <= top + height) {
                const QRect at(QPoint(std::max(0, (width - size.width()) / 2) - left, y - top), size);
                painter.drawImage(at.topLeft(), Rendered(page, size));
                if (m_pdf)
                    m_annotations.PaintOverPdfPage(painter, *m_pdf, page, at,
                                                   m_pageSizes[static_cast<size_t>(page)], font());
                PaintSelection(painter, page, at);
                background -= at;
            }
            y += size.height() + kPageGap;
            if (y > top + height)
                break;
        }
        for (const QRect& rect : background)
            painter.fillRect(rect, viewport()->palette().window());
    }

  private:
    // Where characters of a page stand in the whole view, before scrolling; none when that is not known.
    std::optional<QRect> MatchArea(int page, int offset, int length) {
        if (m_text) {
            const QTextBlock block = m_text->findBlock(offset);
            QTextLayout* layout = block.isValid() ? block.layout() : nullptr;
            if (!layout)
                return std::nullopt;
            const int inBlock = offset - block.position();
            const QTextLine line = layout->lineForTextPosition(inBlock);
            if (!line.isValid())
                return std::nullopt;
            const QRectF blockArea = m_text->documentLayout()->blockBoundingRect(block);
            const qreal left = line.cursorToX(inBlock);
            const qreal right =
                line.cursorToX(std::min(inBlock + length, line.textStart() + line.textLength()));
            return QRectF(blockArea.left() + left, blockArea.top() + line.y(),
                          std::max<qreal>(1, right - left), line.height())
                .toAlignedRect();
        }
        if (!m_pdf || page < 0 || page >= PageCount())
            return std::nullopt;
        // The pages above are asked their true size, so that the match is where the view will put it.
        if (LearnSizesThrough(page))
            Relayout();
        const int width = viewport()->width();
        const QSize size = PageSize(page, width);
        const QSizeF points = m_pageSizes[static_cast<size_t>(page)];
        if (points.isEmpty())
            return std::nullopt;
        const QRectF bounds = m_pdf->getSelectionAtIndex(page, offset, length).boundingRectangle();
        const double sx = size.width() / points.width();
        const double sy = size.height() / points.height();
        const QPointF origin(std::max(0, (width - size.width()) / 2), PageTop(page));
        return QRectF(origin.x() + bounds.left() * sx, origin.y() + bounds.top() * sy,
                      std::max(1.0, bounds.width() * sx), std::max(1.0, bounds.height() * sy))
            .toAlignedRect();
    }
    // Scrolls as little as brings `area` (in the whole view's terms) into the viewport, centring it on an
    // axis where it was out.
    void EnsureVisible(const QRect& area) {
        const auto bring = [](QScrollBar* bar, int from, int to, int span) {
            if (from >= bar->value() && to <= bar->value() + span)
                return;
            bar->setValue(std::clamp((from + to - span) / 2, bar->minimum(), bar->maximum()));
        };
        bring(verticalScrollBar(), area.top(), area.bottom() + 1, viewport()->height());
        bring(horizontalScrollBar(), area.left(), area.right() + 1, viewport()->width());
    }
    bool LearnSizesThrough(int last) {
        bool changed = false;
        for (int page = 0; page <= last; ++page) {
            const size_t index = static_cast<size_t>(page);
            if (m_sizeKnown[index])
                continue;
            m_sizeKnown[index] = true;
            const QSizeF real = m_pdf->pagePointSize(page);
            if (real != m_pageSizes[index]) {
                m_pageSizes[index] = real;
                changed = true;
            }
        }
        return changed;
    }
    // Full screen, the view is a window of its own over the whole screen; back, it fills its host again.
    void SetFullScreen(bool on) {
        if (on == m_fullScreen)
            return;
        m_fullScreen = on;
        if (on) {
            // The screen the host is on, taken before the view leaves it.
            const QRect screen = (parentWidget() ? parentWidget()->screen() : this->screen())->geometry();
            setWindowFlag(Qt::Window, true);
            setGeometry(screen);
            showFullScreen();
            activateWindow();
            setFocus();
            return;
        }
        setWindowFlag(Qt::Window, false);
        setWindowState(Qt::WindowNoState);
        if (parentWidget())
            setGeometry(parentWidget()->rect());
        show();
    }
    // ---- Annotations ----
    int64_t CanAnnotate() const override {
        if (m_text || m_pdf)
            return LYDVW_E_OK;
        return m_images.empty() ? int64_t{LYDVW_E_NO_FILE} : int64_t{LYDVW_E_UNSUPPORTED};
    }
    std::optional<std::pair<LydvwPosition, LydvwPosition>> CurrentSelection() const override {
        return m_selection;
    }
    void SelectAndShow(const LydvwPosition& anchor, const LydvwPosition& end) override {
        Select(anchor, end);
        Show(anchor);
        m_owner->Notify(LYDVW_N_SEL_CHANGE, 0);
    }
    void Repaint() override { viewport()->update(); }
    // The host hears of an annotation under the mouse that reports this event.
    void NotifyAnnotationAt(QPointF point, uint32_t event) {
        const docview::engine::Annotation* hit = nullptr;
        const int top = verticalScrollBar()->value();
        const int left = horizontalScrollBar()->value();
        if (m_text) {
            hit = m_annotations.HitInText(*m_text, point + QPointF(left, top), font(), event);
        } else if (m_pdf) {
            const int width = viewport()->width();
            int y = 0;
            for (int page = 0; page < PageCount() && !hit; ++page) {
                const QSize size = PageSize(page, width);
                const QRect at(QPoint(std::max(0, (width - size.width()) / 2) - left, y - top), size);
                if (at.top() <= point.y() + kPageGap && point.y() < at.bottom() + kPageGap)
                    hit = m_annotations.HitInPdfPage(*m_pdf, page, at, m_pageSizes[static_cast<size_t>(page)],
                                                     point, font(), event);
                y += size.height() + kPageGap;
            }
        }
        if (!hit)
            return;
        LydvwAnnotationEvent record{sizeof record, event, hit->id};
        m_owner->Notify(LYDVW_N_ANNOTATION, reinterpret_cast<uint64_t>(&record));
    }

    void ChangeSelection(const LydvwPosition& anchor, const LydvwPosition& end) {
        if (m_selection && m_selection->first.page == anchor.page &&
            m_selection->first.offset == anchor.offset && m_selection->second.page == end.page &&
            m_selection->second.offset == end.offset)
            return;
        Select(anchor, end);
        m_owner->Notify(LYDVW_N_SEL_CHANGE, 0);
    }
    // The position of the character at a point of the viewport; none off the text.
    std::optional<LydvwPosition> PositionAt(QPointF point) {
        const int top = verticalScrollBar()->value();
        const int left = horizontalScrollBar()->value();
        if (m_text) {
            const int offset = m_text->documentLayout()->hitTest(point + QPointF(left, top), Qt::FuzzyHit);
            if (offset < 0)
                return std::nullopt;
            return At(0, std::min(offset, PageLength(0)));
        }
        if (!m_pdf)
            return std::nullopt;
        const int width = viewport()->width();
        int y = 0;
        for (int page = 0; page < PageCount(); ++page) {
            const QSize size = PageSize(page, width);
            if (point.y() + top < y + size.height() + kPageGap) {
                const QSizeF points = m_pageSizes[static_cast<size_t>(page)];
                // A custom zoom may stretch a page more one way than the other.
                const QPointF local((point.x() + left - std::max(0, (width - size.width()) / 2)) *
                                        points.width() / size.width(),
                                    (point.y() + top - y) * points.height() / size.height());
                return NearestBoundary(page, local);
            }
            y += size.height() + kPageGap;
        }
        return std::nullopt;
    }
    // The boundary between characters of a PDF page nearest a point (in points): before the nearest
    // character, or after it when the point is past its middle. None on a page without text.
    std::optional<LydvwPosition> NearestBoundary(int page, QPointF point) {
        std::vector<QRectF>& boxes = m_boxes[page];
        if (boxes.empty()) {
            const int length = PageLength(page);
            boxes.reserve(static_cast<size_t>(length));
            for (int i = 0; i < length; ++i) {
                QRectF box;
                for (const QPolygonF& bound : m_pdf->getSelectionAtIndex(page, i, 1).bounds())
                    box |= bound.boundingRect();
                boxes.push_back(box);
            }
        }
        int nearest = -1;
        double best = 0;
        for (size_t i = 0; i < boxes.size(); ++i) {
            const QRectF& box = boxes[i];
            if (box.isNull())
                continue;
            const double dx = std::max({box.left() - point.x(), 0.0, point.x() - box.right()});
            const double dy = std::max({box.top() - point.y(), 0.0, point.y() - box.bottom()});
            // Lines first: a character on the point's line beats a nearer one above or below.
            const double distance = dy * 1000 + dx;
            if (nearest < 0 || distance < best) {
                nearest = static_cast<int>(i);
                best = distance;
            }
        }
        if (nearest < 0)
            return std::nullopt;
        const QRectF& box = boxes[static_cast<size_t>(nearest)];
        return At(page, nearest + (point.x() > box.center().x() ? 1 : 0));
    }
    // The selected characters of a PDF page, over the page drawn at `at`.
    void PaintSelection(QPainter& painter, int page, const QRect& at) {
        if (!m_pdf || !m_selection)
            return;
        LydvwPosition first = m_selection->first;
        LydvwPosition last = m_selection->second;
        if (std::pair(last.page, last.offset) < std::pair(first.page, first.offset))
            std::swap(first, last);
        if (page < first.page || page > last.page)
            return;
        const int start = page == first.page ? first.offset : 0;
        const int end = page == last.page ? last.offset : PageLength(page);
        if (end <= start)
            return;
        const QPdfSelection selection = m_pdf->getSelectionAtIndex(page, start, end - start);
        const QSizeF points = m_pageSizes[static_cast<size_t>(page)];
        if (points.isEmpty())
            return;
        QColor highlight = palette().highlight().color();
        highlight.setAlpha(96);
        painter.save();
        painter.translate(at.topLeft());
        painter.scale(at.width() / points.width(), at.height() / points.height());
        for (const QPolygonF& bound : selection.bounds()) {
            QPainterPath path;
            path.addPolygon(bound);
            painter.fillPath(path, highlight);
        }
        painter.restore();
    }
    // Position, range and whether there is anything to scroll, for the host.
    void Watch(QScrollBar* bar, uint32_t position, uint32_t range, uint32_t state) {
        connect(bar, &QScrollBar::valueChanged, this,
                [this, position](int value) { m_owner->Notify(position, static_cast<uint64_t>(value)); });
        connect(bar, &QScrollBar::rangeChanged, this, [this, bar, range, state](int low, int high) {
            m_owner->Notify(range, (static_cast<uint64_t>(high & 0xFFFF) << 16) | (low & 0xFFFF));
            const bool enabled = high > low;
            if (enabled != bar->property("lydvwEnabled").toBool()) {
                bar->setProperty("lydvwEnabled", enabled);
                m_owner->Notify(state, enabled ? 1u : 0u);
            }
        });
    }
    // The page at the top of the view, and where a page begins.
    int CurrentPage() const {
        const int top = verticalScrollBar()->value();
        int y = 0;
        for (int page = 0; page < PageCount(); ++page) {
            y += PageSize(page, viewport()->width()).height() + kPageGap;
            if (y > top)
                return page;
        }
        return std::max(0, PageCount() - 1);
    }
    int PageTop(int wanted) const {
        int y = 0;
        for (int page = 0; page < std::min(wanted, PageCount() - 1); ++page)
            y += PageSize(page, viewport()->width()).height() + kPageGap;
        return y;
    }
    int PageCount() const { return static_cast<int>(m_pageSizes.size()); }
    // Asks the true size of the pages in view whose size is not known yet; true when one differed.
    bool LearnSizesInView(int top, int width, int height) {
        bool changed = false;
        int y = 0;
        for (int page = 0; page < PageCount() && y <= top + height; ++page) {
            const size_t index = static_cast<size_t>(page);
            if (y + PageSize(page, width).height() >= top && !m_sizeKnown[index]) {
                m_sizeKnown[index] = true;
                const QSizeF real = m_pdf->pagePointSize(page);
                if (real != m_pageSizes[index]) {
                    m_pageSizes[index] = real;
                    changed = true;
                }
            }
            y += PageSize(page, width).height() + kPageGap;
        }
        return changed;
    }
    QSize PageSize(int page, int width) const {
        const QSizeF natural = m_pageSizes[static_cast<size_t>(page)];
        if (natural.isEmpty() || width <= 0)
            return QSize(1, 1);
        if (m_zoom.kind != docview::engine::PageZoom::Kind::FitMode) {
            // A PDF page's natural size is its points at the screen's resolution.
            const double pixels = m_pdf ? logicalDpiX() / 72.0 : 1.0;
            return docview::engine::ZoomedSize(natural * pixels, m_zoom, QSize(width, viewport()->height()));
        }
        // PDF pages fit the width; images are shown at their size unless wider than the view and fitted.
        const bool fit = m_pdf || (natural.width() > width && OptionValue(m_owner, kBitmapFitOption, 1) != 0);
        const double scale = fit ? width / natural.width() : 1.0;
        return QSize(std::max(1, qRound(natural.width() * scale)),
                     std::max(1, qRound(natural.height() * scale)));
    }
    const QImage& Rendered(int page, QSize size) {
        // Only pages near the one drawn stay: zoomed pages are large.
        while (m_cache.size() >= kCachedPages && !m_cache.count(page)) {
            auto farthest =
                std::max_element(m_cache.begin(), m_cache.end(), [page](const auto& a, const auto& b) {
                    return std::abs(a.first - page) < std::abs(b.first - page);
                });
            m_cache.erase(farthest);
        }
        QImage& image = m_cache[page];
        if (image.size() != size) {
            if (m_pdf) {
                image = OnWhitePaper(m_pdf->render(page, size));
                if (image.isNull()) {
                    image = QImage(size, QImage::Format_RGB32);
                    image.fill(Qt::white);
                }
            } else {
                // Transparent parts of an image show the paper, not what was drawn there before.
                image = OnWhitePaper(m_images[static_cast<size_t>(page)].scaled(size, Qt::IgnoreAspectRatio,
                                                                                Qt::SmoothTransformation));
            }
        }
        return image;
    }
    void Relayout() {
        const int width = viewport()->width();
        int total = 0;
        int widest = 0;
        if (m_text) {
            // Unwrapped, each line is as long as it is and the view scrolls sideways.
            const bool wrap = OptionValue(m_owner, kWrapOption, 1) != 0;
            m_text->setTextWidth(wrap ? width : -1);
            total = qCeil(m_text->size().height());
            widest = qCeil(m_text->size().width());
        } else {
            for (int page = 0; page < PageCount(); ++page) {
                const QSize size = PageSize(page, width);
                total += size.height() + kPageGap;
                widest = std::max(widest, size.width());
            }
        }
        horizontalScrollBar()->setRange(0, std::max(0, widest - width));
        if (horizontalScrollBar()->pageStep() != width) {
            horizontalScrollBar()->setPageStep(width);
            m_owner->Notify(LYDVW_N_HSCROLL_PAGE, static_cast<uint64_t>(width));
        }
        horizontalScrollBar()->setSingleStep(20);
        verticalScrollBar()->setRange(0, std::max(0, total - viewport()->height()));
        if (verticalScrollBar()->pageStep() != viewport()->height()) {
            verticalScrollBar()->setPageStep(viewport()->height());
            m_owner->Notify(LYDVW_N_VSCROLL_PAGE, static_cast<uint64_t>(viewport()->height()));
        }
        verticalScrollBar()->setSingleStep(20);
        viewport()->update();
    }

    std::unique_ptr<GrooveCachingStyle> m_barStyle = std::make_unique<GrooveCachingStyle>();
    std::unique_ptr<QPdfDocument> m_pdf;
    LydvwView* m_owner;
    std::vector<QImage> m_images;
    std::vector<QSizeF> m_pageSizes;
    std::vector<bool> m_sizeKnown;  // PDF pages whose size was asked
    std::unique_ptr<QTextDocument> m_text;
    std::map<int, QImage> m_cache;
    std::vector<int> m_lengths;                  // characters of each PDF page, -1 until asked
    std::pair<int, QString> m_pageText{-1, {}};  // the page last asked for its text
    std::map<int, std::vector<QRectF>> m_boxes;  // each character's box on a PDF page, once a point is asked
    int32_t m_document = 0;
    std::optional<std::pair<LydvwPosition, LydvwPosition>> m_selection;
    docview::engine::PageZoom m_zoom;
    bool m_fullScreen = false;
    bool m_dragging = false;
    docview::engine::AnnotationLayer m_annotations;
};

// What the printer reads of a view.
class ViewPrintHost final : public docview::PrintHost {
  public:
    explicit ViewPrintHost(LydvwView* view) : m_view(view) {}
    docview::PrintSource Source() override {
        return m_view->open && m_view->widget ? m_view->widget->ForPrinting() : docview::PrintSource{};
    }
    std::map<uint32_t, std::string>& Options() override { return m_view->options; }
    int64_t Notify(uint32_t notification, uint64_t lparam) override {
        return m_view->Notify(notification, lparam);
    }
    QWidget* DialogParent() override { return m_view->widget; }

  private:
    LydvwView* m_view;
};

void CloseDocument(LydvwView* view, bool anotherFollows) {
    if (!view->open)
        return;
    view->widget->Reset(anotherFollows);
    view->pages.End();
    if (view->deleteOnClose) {
        // Only the regular file that was opened, never through a link put in its place.
        struct stat st {};
        if (lstat(view->path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_dev == view->device &&
            st.st_ino == view->inode) {
            unlink(view->path.c_str());
        }
    }
    view->open = false;
    view->type = LYDVW_TYPE_NONE;
    view->info = LydvwFileInfo{};
    view->deleteOnClose = false;
    view->path.clear();
    view->Notify(LYDVW_N_FILE_CHANGE, anotherFollows ? 5u : 1u);
}

bool DropsEnabled(const LydvwView* view) {
    return OptionValue(view, kDropsOption, 0) != 0;
}

// A plain option's value as the control last set it (16 or 32 bits), or `fallback`.
int32_t OptionValue(const LydvwView* view, uint32_t id, int32_t fallback) {
    return docview::PlainOptionValue(view->options, id, fallback);
}

// The display-options dialog: what the user changes is stored as if the control had set it, and the
// control hears of each changed option.
int64_t ShowDisplayOptions(LydvwView* view) {
    QDialog dialog(view->widget);
    dialog.setWindowTitle(QStringLiteral("Display Options"));
    auto* fallback = new QComboBox(&dialog);
    fallback->setObjectName(QStringLiteral("fallback"));
    for (const auto& [id, name] : kFallbackChoices)
        fallback->addItem(QString::fromLatin1(name), id);
    fallback->setCurrentIndex(std::max(0, fallback->findData(FallbackId(view))));
    auto* fit = new QCheckBox(QStringLiteral("Fit wide images to the window"), &dialog);
    fit->setObjectName(QStringLiteral("fit"));
    fit->setChecked(OptionValue(view, kBitmapFitOption, 1) != 0);
    auto* wrap = new QCheckBox(QStringLiteral("Wrap text to the window"), &dialog);
    wrap->setObjectName(QStringLiteral("wrap"));
    wrap->setChecked(OptionValue(view, kWrapOption, 1) != 0);
    const uint32_t bars = static_cast<uint32_t>(OptionValue(view, kScrollBarsOption, 0x24));
    auto* horizontal = new QCheckBox(QStringLiteral("Horizontal scroll bar"), &dialog);
    horizontal->setObjectName(QStringLiteral("hscroll"));
    horizontal->setChecked(bars & 4u);
    auto* vertical = new QCheckBox(QStringLiteral("Vertical scroll bar"), &dialog);
    vertical->setObjectName(QStringLiteral("vscroll"));
    vertical->setChecked(bars & 0x20u);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* form = new QFormLayout(&dialog);
    form->addRow(QStringLiteral("Show other files as"), fallback);
    form->addRow(fit);
    form->addRow(wrap);
    form->addRow(horizontal);
    form->addRow(vertical);
    form->addRow(buttons);
    // The host's own windows wait while the dialog is up.
    view->Notify(LYDVW_N_ENABLE_APP, 0);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    view->Notify(LYDVW_N_ENABLE_APP, 1);
    if (!accepted)
        return LYDVW_E_CANCELLED;

    // Only what differs from what the dialog showed is stored and reported.
    std::vector<uint32_t> changed;
    const auto store = [&](uint32_t id, bool differs, const void* data, size_t size) {
        if (!differs)
            return;
        view->options[id].assign(static_cast<const char*>(data), size);
        changed.push_back(id);
    };
    const uint32_t fallbackId = fallback->currentData().toUInt();
    store(kFallbackOption, fallbackId != FallbackId(view), &fallbackId, sizeof fallbackId);
    const int16_t fitValue = fit->isChecked() ? 1 : 0;
    store(kBitmapFitOption, fit->isChecked() != (OptionValue(view, kBitmapFitOption, 1) != 0), &fitValue,
          sizeof fitValue);
    const int32_t wrapValue = wrap->isChecked() ? 1 : 0;
    store(kWrapOption, wrap->isChecked() != (OptionValue(view, kWrapOption, 1) != 0), &wrapValue,
          sizeof wrapValue);
    const uint32_t barsValue = (horizontal->isChecked() ? 4u : 1u) | (vertical->isChecked() ? 0x20u : 8u);
    store(kScrollBarsOption, barsValue != ((bars & 4u ? 4u : 1u) | (bars & 0x20u ? 0x20u : 8u)), &barsValue,
          sizeof barsValue);
    if (view->widget)
        view->widget->OptionsChanged();
    for (uint32_t id : changed)
        view->Notify(LYDVW_N_OPTION_CHANGE, id);
    return LYDVW_E_OK;
}

uint32_t FallbackId(const LydvwView* view) {
    auto it = view->options.find(kFallbackOption);
    if (it == view->options.end() || it->second.size() < 4)
        return LYDVW_FI_TEXT_1252;
    uint32_t id = 0;
    std::memcpy(&id, it->second.data(), 4);
    return id;
}

std::string SpecPath(const LydvwViewFile& record) {
    if (record.spec == 0)
        return {};
    if (record.spec_type == LYDVW_SPEC_WIDE) {
        const char16_t* wide = reinterpret_cast<const char16_t*>(record.spec);
        return QString::fromUtf16(wide).toStdString();
    }
    return std::string(reinterpret_cast<const char*>(record.spec));
}

// The document on `file`, opened. `served` is the same device when the host serves the document: it then
// stays with a PDF that reads it on demand, and is closed with it.
int64_t ShowDocument(LydvwView* view, const LydvwViewFile* record, QIODevice& file,
                     std::unique_ptr<docview::RedirectDevice> served, const std::string& path,
                     const struct stat& st);

int64_t ViewRedirected(LydvwView* view, const LydvwViewFile* record) {
    auto* redirect = reinterpret_cast<LydvwRedirect*>(record->spec);
    if (!redirect || redirect->size < sizeof(LydvwRedirect))
        return LYDVW_E_ARGUMENT;
    // Closes the record once, on every way out.
    auto served = std::make_unique<docview::RedirectDevice>(redirect);
    if (!served->open(QIODevice::ReadOnly))
        return LYDVW_E_MISSING;
    if (served->size() == 0)
        return LYDVW_E_EMPTY;
    // The host may name the document; a path it is not.
    const std::string name = served->InfoText(LYDVW_INFO_TEXT).toStdString();
    docview::RedirectDevice& device = *served;
    return ShowDocument(view, record, device, std::move(served), name, {});
}

int64_t ViewFile(LydvwView* view, const LydvwViewFile* record) {
    if (!record || record->size < sizeof(LydvwViewFile))
        return LYDVW_E_ARGUMENT;
    if (record->spec_type == LYDVW_SPEC_REDIRECT)
        return ViewRedirected(view, record);
    if (record->spec_type != LYDVW_SPEC_ANSI && record->spec_type != LYDVW_SPEC_WIDE)
        return LYDVW_E_UNSUPPORTED;
    const std::string path = SpecPath(*record);
    struct stat st {};
    if (path.empty() || stat(path.c_str(), &st) != 0)
        return LYDVW_E_MISSING;
    if (!S_ISREG(st.st_mode))
        return LYDVW_E_KIND;
    if (st.st_size == 0)
        return LYDVW_E_EMPTY;
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return LYDVW_E_MISSING;
    return ShowDocument(view, record, file, nullptr, path, st);
}

int64_t ShowDocument(LydvwView* view, const LydvwViewFile* record, QIODevice& file,
                     std::unique_ptr<docview::RedirectDevice> served, const std::string& path,
                     const struct stat& st) {
    const bool onDisk = served == nullptr;
    view->Stat();
    // Read and stepped back over, not peeked: a served document is unbuffered.
    const QByteArray head = file.read(static_cast<qint64>(docview::kRecognitionHead));
    // Nothing to be read of a document that is not empty: it cannot be opened.
    if (head.isEmpty())
        return LYDVW_E_MISSING;
    if (!file.seek(0))
        return LYDVW_E_DAMAGED;
    docview::Recognition kind = docview::RecognizeContent(
        {reinterpret_cast<const uint8_t*>(head.constData()), static_cast<size_t>(head.size())});
    uint32_t textId = 0;
    if (record->view_as >= LYDVW_FI_TEXT_FIRST && record->view_as <= 4012 &&
        record->view_as != LYDVW_FI_DONT_VIEW) {
        kind = docview::Recognition{FileKind::Text, record->view_as, "Text", docview::TextEncoding::None};
        textId = record->view_as;
    }
    if (kind.kind == FileKind::Unknown) {
        const uint32_t fallback = FallbackId(view);
        if (fallback == LYDVW_FI_DONT_VIEW)
            return LYDVW_E_DONT_VIEW;
        kind = docview::Recognition{FileKind::Text, fallback, "Text", docview::TextEncoding::None};
        textId = fallback;
    }
    if (kind.kind == FileKind::Unsupported)
        return LYDVW_E_KIND;

    uint32_t type = LYDVW_TYPE_TEXT;
    const QString name = QString::fromStdString(path).section('/', -1);
    switch (kind.kind) {
        case FileKind::Pdf: {
            auto pdf = std::make_unique<QPdfDocument>();
            QPdfDocument::Error error = QPdfDocument::Error::None;
            if (served) {
                // Read on demand for as long as the document is shown; it goes (and is closed) with it.
                served.release()->setParent(pdf.get());
                pdf->load(&file);
                error = pdf->status() == QPdfDocument::Status::Ready ? pdf->error()
                                                                     : QPdfDocument::Error::DataNotYetAvailable;
                if (error == QPdfDocument::Error::None && pdf->pageCount() <= 0)
                    error = QPdfDocument::Error::InvalidFileFormat;
            } else {
                error = pdf->load(QString::fromStdString(path));
            }
            if (error == QPdfDocument::Error::IncorrectPassword)
                return LYDVW_E_ENCRYPTED;
            if (error != QPdfDocument::Error::None || pdf->pageCount() <= 0)
                return LYDVW_E_DAMAGED;
            CloseDocument(view, true);
            view->widget->ShowPdf(std::move(pdf));
            type = LYDVW_TYPE_PDF;
            break;
        }
        case FileKind::Image: {
            QImageReader reader(&file);
            std::vector<QImage> frames;
            const int count = std::max(1, reader.imageCount());
            for (int i = 0; i < count; ++i) {
                QImage image = reader.read();
                if (image.isNull())
                    break;
                frames.push_back(std::move(image));
                view->Stat();
                if (!reader.jumpToNextImage())
                    break;
            }
            if (frames.empty())
                return LYDVW_E_DAMAGED;
            CloseDocument(view, true);
            view->widget->ShowImages(std::move(frames));
            type = LYDVW_TYPE_IMAGE;
            break;
        }
        case FileKind::WordProcessor:
            CloseDocument(view, true);
            view->widget->ShowText(
                QStringLiteral("<h2>%1</h2><p>%2</p>")
                    .arg(QString::fromUtf8(kind.typeName.data(), static_cast<qsizetype>(kind.typeName.size()))
                             .toHtmlEscaped(),
                         name.toHtmlEscaped()),
                false);
            type = LYDVW_TYPE_WORDPROC;
            break;
        default: {
            const QByteArray bytes = file.readAll();
            const QString text = DecodeText(bytes, kind.encoding, textId);
            CloseDocument(view, true);
            view->widget->ShowText(text, true);
            type = LYDVW_TYPE_TEXT;
            break;
        }
    }
    const uint32_t previousType = view->lastType;
    view->lastType = type;
    view->open = true;
    view->type = type;
    // A served document's name is the host's word, never a file to delete.
    view->path = onDisk ? path : std::string();
    view->device = st.st_dev;
    view->inode = st.st_ino;
    view->deleteOnClose = onDisk && record->delete_on_close != 0;
    view->info = LydvwFileInfo{};
    view->info.size = sizeof(LydvwFileInfo);
    const std::string display = record->use_display_name ? docview::ReadBounded(record->display_name) : path;
    docview::CopyBounded(view->info.display_name, display);
    view->info.file_id = kind.fileId;
    docview::CopyBounded(view->info.file_id_name, kind.typeName);
    docview::CopyBounded(view->info.file_name, path);
    view->Notify(LYDVW_N_FILE_CHANGE, 0);
    if (type != previousType)
        view->Notify(LYDVW_N_ENGINE_CHANGE, 0);
    // The whole file is read by now; with read-ahead on (system flag bit 3 clear) the host hears so.
    if ((static_cast<uint32_t>(OptionValue(view, kSystemFlagsOption, 0)) & 8u) == 0)
        view->Notify(LYDVW_N_READ_AHEAD_DONE, 0);
    return LYDVW_E_OK;
}

int64_t Option(LydvwView* view, uint32_t request, const LydvwOptionBlock* block) {
    if (!block || block->size < sizeof(LydvwOptionBlock) || block->data == 0)
        return LYDVW_E_ARGUMENT;
    size_t size = docview::OptionDataSize(block->option);
    if (block->option == 0x52A33 && request == LYDVW_R_SET_OPTION) {
        uint32_t leading = 0;
        std::memcpy(&leading, reinterpret_cast<const void*>(block->data), 4);
        size = leading == sizeof(LydvwIntlRecord) ? sizeof(LydvwIntlRecord) : sizeof(LydvwIntlFlag);
    }
    if (size == 0)
        return LYDVW_E_UNSUPPORTED;
    if (request == LYDVW_R_SET_OPTION) {
        view->options[block->option].assign(reinterpret_cast<const char*>(block->data), size);
        if ((block->option >= LYDVW_OPT_BMP_ZOOM && block->option <= LYDVW_OPT_BMP_ZOOM_TYPE) ||
            (block->option >= LYDVW_OPT_VEC_ZOOM && block->option <= LYDVW_OPT_VEC_ZOOM_TYPE))
            view->widget->ViewOptionSet(block->option, view->options[block->option]);
        if (block->option == kBitmapFitOption || block->option == kWrapOption ||
            block->option == kScrollBarsOption)
            view->widget->OptionsChanged();
        return LYDVW_E_OK;
    }
    auto it = view->options.find(block->option);
    if (it == view->options.end())
        return LYDVW_E_UNSUPPORTED;
    std::memcpy(reinterpret_cast<void*>(block->data), it->second.data(), std::min(size, it->second.size()));
    return LYDVW_E_OK;
}

}  // namespace

LYDVW_EXPORT uint32_t LydvwAbiVersion(void) {
    return LYDVW_ABI_VERSION;
}

LYDVW_EXPORT LydvwView* LydvwCreateView(void* parent, LydvwNotifyFn notify, void* context) {
    if (!parent)
        return nullptr;
    auto* view = new LydvwView;
    view->notify = notify;
    view->context = context;
    view->widget = new DocumentWidget(static_cast<QWidget*>(parent), view);
    view->widget->show();
    return view;
}

namespace {

// The search dialog over the view; the host's windows wait while it is up.
int64_t ShowSearchDialog(LydvwView* view, const docview::engine::SearchQuery& first) {
    return docview::engine::RunSearchDialog(
        view->widget, view->finder, *view->widget, first,
        [view](bool enable) { view->Notify(LYDVW_N_ENABLE_APP, enable ? 1u : 0u); });
}

// Position requests. Positions of another document, page or offset are refused with LYDVW_E_ARGUMENT.
int64_t PositionRequest(LydvwView* view, uint32_t request, uint64_t lparam) {
    DocumentWidget& widget = *view->widget;
    if (lparam == 0)
        return request == LYDVW_R_COMPARE_POSITIONS ? 0 : int64_t{LYDVW_E_ARGUMENT};
    switch (request) {
        case LYDVW_R_GET_POSITION: {
            auto* record = reinterpret_cast<LydvwGetPosition*>(lparam);
            if (record->size < sizeof *record)
                return LYDVW_E_ARGUMENT;
            const auto& selection = widget.Selection();
            if (!selection)
                return LYDVW_E_NOT_FOUND;
            const auto key = [](const LydvwPosition& p) { return std::pair(p.page, p.offset); };
            const bool forward = key(selection->first) <= key(selection->second);
            switch (record->method) {
                case LYDVW_POS_SELECTION_ANCHOR:
                    record->result = selection->first;
                    return LYDVW_E_OK;
                case LYDVW_POS_SELECTION_END:
                    record->result = selection->second;
                    return LYDVW_E_OK;
                case LYDVW_POS_SELECTION_FIRST:
                    record->result = forward ? selection->first : selection->second;
                    return LYDVW_E_OK;
                case LYDVW_POS_SELECTION_LAST:
                    record->result = forward ? selection->second : selection->first;
                    return LYDVW_E_OK;
                default:
                    return LYDVW_E_NOT_FOUND;
            }
        }
        case LYDVW_R_POSITION_COUNT: {
            auto* record = reinterpret_cast<LydvwPositionCount*>(lparam);
            if (record->size < sizeof *record)
                return LYDVW_E_ARGUMENT;
            if (record->kind == LYDVW_COUNT_TO_POSITION)
                return widget.PositionOf(record->count, record->position) ? LYDVW_E_OK : LYDVW_E_ARGUMENT;
            if (record->kind != LYDVW_POSITION_TO_COUNT || !widget.Valid(record->position))
                return LYDVW_E_ARGUMENT;
            const int64_t count = widget.CountOf(record->position);
            if (count > INT32_MAX)
                return LYDVW_E_ARGUMENT;
            record->count = static_cast<int32_t>(count);
            return LYDVW_E_OK;
        }
        case LYDVW_R_SET_SELECTION: {
            const auto* record = reinterpret_cast<const LydvwSelection*>(lparam);
            if (record->size < sizeof *record || !widget.Valid(record->anchor) || !widget.Valid(record->end))
                return LYDVW_E_ARGUMENT;
            widget.Select(record->anchor, record->end);
            view->Notify(LYDVW_N_SEL_CHANGE, 0);
            return LYDVW_E_OK;
        }
        case LYDVW_R_SHOW_POSITION: {
            const auto* record = reinterpret_cast<const LydvwShowPosition*>(lparam);
            if (record->size < sizeof *record || !widget.Valid(record->position))
                return LYDVW_E_ARGUMENT;
            widget.Show(record->position);
            return LYDVW_E_OK;
        }
        default: {
            // The answer is the comparison itself: positions that cannot be compared are equal.
            const auto* addresses = reinterpret_cast<const uint64_t*>(lparam);
            if (addresses[0] == 0 || addresses[1] == 0)
                return 0;
            const auto& a = *reinterpret_cast<const LydvwPosition*>(addresses[0]);
            const auto& b = *reinterpret_cast<const LydvwPosition*>(addresses[1]);
            if (!widget.Valid(a) || !widget.Valid(b))
                return 0;
            const int64_t ca = widget.CountOf(a);
            const int64_t cb = widget.CountOf(b);
            return ca < cb ? -1 : ca > cb ? 1 : 0;
        }
    }
}

constexpr uint32_t kToClipboardOption = 0x529CD;
constexpr uint32_t kClipFontOption = 0x529CE;
constexpr uint32_t kUnmappableOption = 0x43B60;

LydvwFontRecord ClipFont(const LydvwView* view) {
    LydvwFontRecord font{};
    auto it = view->options.find(kClipFontOption);
    if (it != view->options.end() && it->second.size() >= sizeof font)
        std::memcpy(&font, it->second.data(), sizeof font);
    return font;
}

char Unmappable(const LydvwView* view) {
    const int32_t ch = OptionValue(view, kUnmappableOption, '*');
    return ch > 0 && ch < 256 ? static_cast<char>(ch) : '*';
}

int64_t CopyRange(LydvwView* view, LydvwCopyRange* record) {
    if (!record || record->size < sizeof *record)
        return LYDVW_E_ARGUMENT;
    record->block = 0;
    record->block_size = 0;
    if (!view->open)
        return LYDVW_E_NO_FILE;
    DocumentWidget& widget = *view->widget;
    if ((record->format != LYDVW_COPY_TEXT && record->format != LYDVW_COPY_RICH_TEXT) ||
        !widget.Valid(record->start) || !widget.Valid(record->end))
        return LYDVW_E_ARGUMENT;
    // A zero in the document would end the host's copy of the text early.
    const QString text = widget.TextBetween(record->start, record->end).replace(QChar(0), u' ');
    const QByteArray bytes = record->format == LYDVW_COPY_TEXT
                                 ? docview::engine::ToWindows1252(text, Unmappable(view))
                                 : docview::engine::RichText(text, ClipFont(view));
    void* block = docview::engine::NewBlock(bytes, 1);
    if (!block)
        return LYDVW_E_NO_MEMORY;
    record->block = reinterpret_cast<uint64_t>(block);
    record->block_size = static_cast<uint32_t>(bytes.size());
    return LYDVW_E_OK;
}

// The clipboard-options dialog: the formats a copy to the clipboard offers. Bits it does not show are kept;
// a change is stored as if the control had set it, and the control hears of it.
int64_t ShowClipboardOptions(LydvwView* view) {
    struct Choice {
        uint32_t bit;
        const char* name;
        const char* label;
    };
    static constexpr Choice kChoices[] = {{LYDVW_CLIP_TEXT, "text", "Text"},
                                          {LYDVW_CLIP_RICH_TEXT, "rtf", "RTF"},
                                          {LYDVW_CLIP_BMP, "bmp", "BMP"},
                                          {LYDVW_CLIP_DIB, "dib", "DIB"}};
    const auto formats = static_cast<uint32_t>(OptionValue(view, kToClipboardOption, LYDVW_CLIP_TEXT));
    QDialog dialog(view->widget);
    dialog.setWindowTitle(QStringLiteral("Clipboard Options"));
    auto* form = new QFormLayout(&dialog);
    form->addRow(new QLabel(QStringLiteral("Copy to the clipboard as"), &dialog));
    std::vector<std::pair<uint32_t, QCheckBox*>> boxes;
    for (const Choice& choice : kChoices) {
        auto* box = new QCheckBox(QString::fromLatin1(choice.label), &dialog);
        box->setObjectName(QString::fromLatin1(choice.name));
        box->setChecked(formats & choice.bit);
        form->addRow(box);
        boxes.emplace_back(choice.bit, box);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(buttons);
    view->Notify(LYDVW_N_ENABLE_APP, 0);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    view->Notify(LYDVW_N_ENABLE_APP, 1);
    if (!accepted)
        return LYDVW_E_CANCELLED;
    uint32_t chosen = formats;
    for (const auto& [bit, box] : boxes)
        chosen = box->isChecked() ? chosen | bit : chosen & ~bit;
    if (chosen != formats) {
        view->options[kToClipboardOption].assign(reinterpret_cast<const char*>(&chosen), sizeof chosen);
        view->Notify(LYDVW_N_OPTION_CHANGE, kToClipboardOption);
    }
    return LYDVW_E_OK;
}

int64_t RawText(LydvwView* view, LydvwRawText* record) {
    if (!record || record->size < sizeof *record)
        return LYDVW_E_ARGUMENT;
    const uint32_t offset = record->offset;
    *record = LydvwRawText{};
    record->size = sizeof *record;
    record->offset = offset;
    const auto flags = static_cast<uint32_t>(OptionValue(view, kSystemFlagsOption, 0));
    if (!(flags & 1u))
        return LYDVW_E_RAW_TEXT_OFF;
    if (!view->open)
        return LYDVW_E_NO_FILE;
    int64_t start = 0;
    const QString piece = view->widget->RawPiece(offset, start);
    if (piece.isEmpty())
        return LYDVW_E_NOT_FOUND;
    const bool wide = flags & 16u;
    QByteArray bytes;
    if (wide) {
        bytes.reserve(piece.size() * 2);
        for (QChar unit : piece) {
            bytes += static_cast<char>(unit.unicode() & 0xFF);
            bytes += static_cast<char>(unit.unicode() >> 8);
        }
    } else {
        bytes = docview::engine::ToWindows1252(piece, Unmappable(view));
    }
    void* block = docview::engine::NewBlock(bytes, wide ? 2 : 1);
    if (!block)
        return LYDVW_E_NO_MEMORY;
    record->block = reinterpret_cast<uint64_t>(block);
    record->length = static_cast<uint32_t>(wide ? piece.size() : bytes.size());
    record->byte_length = static_cast<uint32_t>(bytes.size());
    record->char_set = wide ? LYDVW_CHARSET_UTF16LE : LYDVW_CHARSET_1252;
    record->piece_offset = static_cast<uint32_t>(start);
    record->unit_width = wide ? 2 : 1;
    return LYDVW_E_OK;
}

}  // namespace

LYDVW_EXPORT int64_t LydvwRequest(LydvwView* view, uint32_t request, uint64_t wparam, uint64_t lparam) {
    if (!view)
        return LYDVW_E_ARGUMENT;
    if (!view->widget)
        return LYDVW_E_NO_WINDOW;
    switch (request) {
        case LYDVW_R_CLOSE:
            CloseDocument(view, false);
            return LYDVW_E_OK;
        case LYDVW_R_VIEW_FILE:
            return ViewFile(view, reinterpret_cast<const LydvwViewFile*>(lparam));
        case LYDVW_R_FILE_INFO: {
            auto* info = reinterpret_cast<LydvwFileInfo*>(lparam);
            if (!info || info->size < sizeof(LydvwFileInfo))
                return LYDVW_E_ARGUMENT;
            *info = view->info;
            info->size = sizeof(LydvwFileInfo);
            return LYDVW_E_OK;
        }
        case LYDVW_R_ENGINE_NAME: {
            auto* name = reinterpret_cast<LydvwEngineName*>(lparam);
            if (!name || name->size < sizeof(LydvwEngineName))
                return LYDVW_E_ARGUMENT;
            static constexpr const char* kNames[] = {"", "No document", "Text",     "",   "", "",
                                                     "", "Image",       "Document", "PDF"};
            docview::CopyBounded(name->name, view->type < std::size(kNames) ? kNames[view->type] : "");
            name->type = view->type;
            return LYDVW_E_OK;
        }
        case LYDVW_R_SET_OPTION:
        case LYDVW_R_GET_OPTION:
            return Option(view, request, reinterpret_cast<const LydvwOptionBlock*>(lparam));
        case LYDVW_R_IDLE:
            return LYDVW_E_OK;
        case LYDVW_R_OPTIONS_DIALOG: {
            ViewPrintHost host(view);
            if (lparam == LYDVW_DLG_PRINT)
                return view->printer.PrintOptionsDialog(host);
            if (lparam == LYDVW_DLG_CLIPBOARD)
                return ShowClipboardOptions(view);
            return lparam == LYDVW_DLG_DISPLAY ? ShowDisplayOptions(view) : int64_t{LYDVW_E_UNSUPPORTED};
        }
        case LYDVW_R_PRINT: {
            ViewPrintHost host(view);
            const auto* record = reinterpret_cast<const LydvwPrint*>(lparam);
            return record ? view->printer.Print(host, *record) : int64_t{LYDVW_E_ARGUMENT};
        }
        case LYDVW_R_PRINT_DIALOG: {
            ViewPrintHost host(view);
            return view->printer.PrintWithDialog(host);
        }
        case LYDVW_R_PRINTER_SETUP: {
            ViewPrintHost host(view);
            return view->printer.PageSetup(host);
        }
        case LYDVW_R_GET_POSITION:
        case LYDVW_R_POSITION_COUNT:
        case LYDVW_R_SET_SELECTION:
        case LYDVW_R_SHOW_POSITION:
        case LYDVW_R_COMPARE_POSITIONS:
            return PositionRequest(view, request, lparam);
        case LYDVW_R_COPY:
            return view->widget->CopyToClipboard(
                static_cast<uint32_t>(OptionValue(view, kToClipboardOption, LYDVW_CLIP_TEXT)),
                ClipFont(view));
        case LYDVW_R_COPY_RANGE:
            return CopyRange(view, reinterpret_cast<LydvwCopyRange*>(lparam));
        case LYDVW_R_RAW_TEXT:
            return RawText(view, reinterpret_cast<LydvwRawText*>(lparam));
        case LYDVW_R_CLIP_INFO:
            return view->widget->SelectedText().isEmpty() ? 0 : 1;
        case LYDVW_R_SELECT_ALL:
            return view->widget->SelectAll() ? int64_t{LYDVW_E_OK} : int64_t{LYDVW_E_NOT_FOUND};
        case LYDVW_R_INIT_DRAW:
            return view->pages.Begin(view->widget->Pages());
        case LYDVW_R_END_DRAW:
            view->pages.End();
            return LYDVW_E_OK;
        case LYDVW_R_DRAW_PAGE:
            return view->pages.Draw(view->widget->Pages(), reinterpret_cast<LydvwDrawPage*>(lparam));
        case LYDVW_R_DRAW_INFO:
            return view->pages.Info(view->widget->Pages(), reinterpret_cast<LydvwDrawInfo*>(lparam));
        case LYDVW_R_SEARCH:
        case LYDVW_R_SEARCH_DIALOG: {
            const auto query = docview::engine::ReadSearchRecord(lparam, request == LYDVW_R_SEARCH);
            if (!query)
                return LYDVW_E_ARGUMENT;
            if (!view->open)
                return LYDVW_E_NO_FILE;
            if (request == LYDVW_R_SEARCH_DIALOG)
                return ShowSearchDialog(view, *query);
            return view->finder.Search(*view->widget, *query);
        }
        case LYDVW_R_SEARCH_NEXT:
            if (wparam > LYDVW_SEARCH_BACKWARD)
                return LYDVW_E_ARGUMENT;
            if (!view->open)
                return LYDVW_E_NO_FILE;
            return view->finder.Next(*view->widget, wparam);
        case LYDVW_R_ADD_ANNOTATION:
        case LYDVW_R_CLEAR_ANNOTATIONS:
        case LYDVW_R_GOTO_ANNOTATION:
        case LYDVW_R_FIND_ANNOTATION:
        case LYDVW_R_HIGHLIGHT_STYLE:
        case LYDVW_R_ANNOTATION_DATA:
            return view->widget->Annotations(request, wparam, lparam);
        case LYDVW_R_HSCROLL:
        case LYDVW_R_VSCROLL:
            return view->widget->Scroll(request == LYDVW_R_VSCROLL, wparam, static_cast<int64_t>(lparam))
                       ? int64_t{LYDVW_E_OK}
                       : int64_t{LYDVW_E_ARGUMENT};
        default:
            return LYDVW_E_UNSUPPORTED;
    }
}

LYDVW_EXPORT void* LydvwViewWidget(LydvwView* view) {
    return view ? static_cast<QWidget*>(view->widget) : nullptr;
}

LYDVW_EXPORT void LydvwDestroyView(LydvwView* view) {
    if (!view)
        return;
    if (view->widget)
        CloseDocument(view, false);
    view->notify = nullptr;
    delete view->widget.data();
    delete view;
}

LYDVW_EXPORT void LydvwFree(void* block) {
    std::free(block);
}

LYDVW_EXPORT void VWSetStatCallback(LydvwStatFn fn, LydvwView* view, int32_t) {
    if (view)
        view->stat = fn;
}
