// Printing a view's document: PDF pages rendered at up to 300 dots per inch (the PDF module draws only into
// images), images at their own size and smaller when the paper is, text laid out again at the printer's
// resolution in the print font. A job that leaves for the scheduler is looked up there afterwards.
#include "docview/engine/print_job.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QImage>
#include <QPageSetupDialog>
#include <QPaintEngine>
#include <QPainter>
#include <QPdfDocument>
#include <QPrintDialog>
#include <QPrintEngine>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProgressDialog>
#include <QSpinBox>
#include <QTextDocument>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <optional>

#include "docview/engine/engine_options.h"
#include "docview/options.h"
#include "platform/codepage.h"
#include "platform/print/cups_library.h"

namespace docview {

namespace {

constexpr uint32_t kMarginsOption = 0x52776;
constexpr uint32_t kPrintFontOption = 0x52777;
constexpr uint32_t kJobNameOption = 0x5277B;
constexpr uint32_t kWhatOption = 0x5277C;
constexpr uint32_t kStartOption = 0x5277D;
constexpr uint32_t kEndOption = 0x5277E;
constexpr uint32_t kCollateOption = 0x5277F;
constexpr uint32_t kCopiesOption = 0x52780;
constexpr uint32_t kDocPageOption = 0x52782;
constexpr uint32_t kIntlOption = 0x52A33;
constexpr int kTwipsPerInch = 1440;
constexpr double kTwipsPerCm = 566.0;
constexpr int kMaxMarginTwips = 6090;
constexpr int kMaxRenderDpi = 300;

using Options = EngineOptions;

int32_t Value(const Options& options, uint32_t id, int32_t fallback) {
    return PlainOptionValue(options, id, fallback);
}

template <typename T>
void Store(Options& options, uint32_t id, const T& value) {
    options[id].assign(reinterpret_cast<const char*>(&value), sizeof value);
}

std::array<int32_t, 4> MarginsOf(const Options& options) {
    std::array<int32_t, 4> margins{kTwipsPerInch, kTwipsPerInch, kTwipsPerInch, kTwipsPerInch};
    auto it = options.find(kMarginsOption);
    if (it != options.end() && it->second.size() >= sizeof margins)
        std::memcpy(margins.data(), it->second.data(), sizeof margins);
    return margins;
}

QFont FontOf(std::string_view face, uint16_t halfPoints) {
    QFont font(QString::fromStdString(platform::Cp1252ToUtf8(face.empty() ? "Arial" : face)));
    font.setPointSizeF(halfPoints ? halfPoints / 2.0 : 10.0);
    return font;
}

QFont PrintFontOf(const Options& options) {
    auto it = options.find(kPrintFontOption);
    if (it == options.end() || it->second.size() < sizeof(LydvwFontRecord))
        return FontOf("Arial", 20);
    LydvwFontRecord record{};
    std::memcpy(&record, it->second.data(), sizeof record);
    QFont font = FontOf(ReadBounded(record.face), record.half_points);
    font.setBold(record.attributes & LYDVW_FONT_BOLD);
    font.setItalic(record.attributes & LYDVW_FONT_ITALIC);
    font.setUnderline(record.attributes & LYDVW_FONT_UNDERLINE);
    font.setStrikeOut(record.attributes & LYDVW_FONT_STRIKE);
    return font;
}

QString JobTitleOf(const Options& options, const std::string& fallback) {
    auto it = options.find(kJobNameOption);
    const std::string title = it == options.end() ? std::string() : ReadBounded(it->second);
    return QString::fromStdString(platform::Cp1252ToUtf8(title.empty() ? fallback : title));
}

// How one print goes: what of the document, on what page area, asked of whom between pages.
struct Job {
    QString title;
    bool selection = false;
    bool range = false;
    int from = 1;
    int to = 1;
    std::array<int32_t, 4> margins{};  // twips: top, bottom, left, right
    QFont font;
    bool docPages = true;  // PDF pages on paper of their own size, whole
    LydvwAbortFn abort = nullptr;
    void* abortContext = nullptr;
    uint32_t dc = 0;
    bool progress = false;
};

Job JobOf(const Options& options) {
    Job job;
    const int32_t what = Value(options, kWhatOption, LYDVW_WHAT_ALL);
    job.selection = what == LYDVW_WHAT_SELECTION;
    job.range = what == LYDVW_WHAT_RANGE;
    job.from = Value(options, kStartOption, 1);
    job.to = Value(options, kEndOption, 1);
    job.margins = MarginsOf(options);
    job.font = PrintFontOf(options);
    job.docPages = Value(options, kDocPageOption, 1) != 0;
    return job;
}

// What the print dialog asks first, and afterwards what the user chose in it.
void OfferInDialog(QPrinter& printer, QPrintDialog& dialog, const Job& job, bool hasSelection) {
    dialog.setOption(QAbstractPrintDialog::PrintSelection, hasSelection);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
    dialog.setOption(QAbstractPrintDialog::PrintCollateCopies, true);
    if (job.selection && hasSelection) {
        printer.setPrintRange(QPrinter::Selection);
    } else if (job.range && job.from >= 1 && job.to >= job.from) {
        printer.setPrintRange(QPrinter::PageRange);
        printer.setFromTo(job.from, job.to);
    } else {
        printer.setPrintRange(QPrinter::AllPages);
    }
}
void TakeFromDialog(const QPrinter& printer, Job& job) {
    job.selection = printer.printRange() == QPrinter::Selection;
    job.range = printer.printRange() == QPrinter::PageRange;
    job.from = printer.fromPage();
    job.to = printer.toPage();
}

// A modal dialog of the view, with the host's windows held while it is up.
bool RunDialog(PrintHost& host, QDialog& dialog) {
    host.Notify(LYDVW_N_ENABLE_APP, 0);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    host.Notify(LYDVW_N_ENABLE_APP, 1);
    return accepted;
}

// The pages of one print, laid out for one printer.
class Layout {
  public:
    Layout(const PrintSource& source, const Job& job, QPrinter& printer) : m_job(job), m_printer(printer) {
        if (job.selection) {
            m_text = std::make_unique<QTextDocument>();
            m_text->setPlainText(source.selection);
        } else if (source.text) {
            m_text.reset(source.text->clone());
        } else {
            m_pdf = source.pdf;
            m_images = source.images;
        }
        if (m_text) {
            m_text->documentLayout()->setPaintDevice(&m_printer);
            m_text->setDefaultFont(job.font);
            m_text->setDocumentMargin(0);
            m_text->setPageSize(Content().size());
        }
    }

    int Count() const {
        if (m_text)
            return m_text->pageCount();
        if (m_pdf)
            return m_pdf->pageCount();
        return m_images ? static_cast<int>(m_images->size()) : 0;
    }

    // A PDF page on paper of its own: set before the painter begins or before the new page.
    void Prepare(int page) {
        if (!m_pdf || !m_job.docPages)
            return;
        const QSizeF points = m_pdf->pagePointSize(page);
        if (points.isEmpty())
            return;
        const bool landscape = points.width() > points.height();
        const QSizeF portrait(std::min(points.width(), points.height()),
                              std::max(points.width(), points.height()));
        m_printer.setPageLayout(
            QPageLayout(QPageSize(portrait, QPageSize::Point, QString(), QPageSize::FuzzyOrientationMatch),
                        landscape ? QPageLayout::Landscape : QPageLayout::Portrait, QMarginsF()));
    }

    void Draw(int page, QPainter& painter) {
        if (m_text) {
            const QRectF content = Content();
            const double height = m_text->pageSize().height();
            const QRectF clip(0, page * height, content.width(), height);
            painter.save();
            painter.translate(content.left(), content.top() - page * height);
            painter.setClipRect(clip);
            QAbstractTextDocumentLayout::PaintContext context;
            context.clip = clip;
            context.palette.setColor(QPalette::Text, Qt::black);
            m_text->documentLayout()->draw(&painter, context);
            painter.restore();
        } else if (m_pdf) {
            const QSizeF points = m_pdf->pagePointSize(page);
            const QRectF area = m_job.docPages ? Paper() : Content();
            const QRectF target = Fitted(points, area, true);
            const double scale = std::min(1.0, double(kMaxRenderDpi) / m_printer.resolution());
            const QSize pixels = (target.size() * scale).toSize().expandedTo(QSize(1, 1));
            painter.drawImage(target, OnWhite(m_pdf->render(page, pixels)));
        } else if (m_images) {
            const QImage& image = (*m_images)[static_cast<size_t>(page)];
            const double dpiX = image.dotsPerMeterX() > 0 ? image.dotsPerMeterX() * 0.0254 : 96.0;
            const double dpiY = image.dotsPerMeterY() > 0 ? image.dotsPerMeterY() * 0.0254 : 96.0;
            const QSizeF natural(image.width() * m_printer.resolution() / dpiX,
                                 image.height() * m_printer.resolution() / dpiY);
            painter.drawImage(Fitted(natural, Content(), false), OnWhite(image));
        }
    }

  private:
    QRectF Paper() const { return m_printer.paperRect(QPrinter::DevicePixel); }
    // The paper less the margins; the whole paper when the margins leave nothing.
    QRectF Content() const {
        const QRectF paper = Paper();
        const double toPixels = m_printer.resolution() / double(kTwipsPerInch);
        const auto& m = m_job.margins;
        const QRectF content(paper.left() + m[2] * toPixels, paper.top() + m[0] * toPixels,
                             paper.width() - (m[2] + m[3]) * toPixels,
                             paper.height() - (m[0] + m[1]) * toPixels);
        return content.width() > 0 && content.height() > 0 ? content : paper;
    }
    // `size` within `area`, centred, its proportions kept; never enlarged unless `grow`.
    static QRectF Fitted(QSizeF size, const QRectF& area, bool grow) {
        if (size.isEmpty())
            return area;
        double scale = std::min(area.width() / size.width(), area.height() / size.height());
        if (!grow)
            scale = std::min(scale, 1.0);
        const QSizeF fitted = size * scale;
        return QRectF(area.left() + (area.width() - fitted.width()) / 2,
                      area.top() + (area.height() - fitted.height()) / 2, fitted.width(), fitted.height());
    }
    // Transparent parts print as the paper.
    static QImage OnWhite(const QImage& image) {
        QImage paper(image.size(), QImage::Format_RGB32);
        paper.fill(Qt::white);
        QPainter painter(&paper);
        painter.drawImage(0, 0, image);
        return paper;
    }

    const Job& m_job;
    QPrinter& m_printer;
    std::unique_ptr<QTextDocument> m_text;
    QPdfDocument* m_pdf = nullptr;
    const std::vector<QImage>* m_images = nullptr;
};

// The job the toolkit hands the scheduler, which the toolkit neither names nor can take back once a page
// is begun: it goes held, is found afterwards as the newest of the user's jobs with the print's title, and
// is released when the print ended well or cancelled when it was stopped.
class SchedulerJob {
  public:
    explicit SchedulerJob(QPrinter& printer)
        : m_printer(printer.printerName().toStdString()), m_engine(printer.printEngine()) {
        if (!Cups().Loaded())
            return;
        m_before = Newest(nullptr, nullptr);
        // The job options the print dialog chose stay; a hold the user chose there is the user's.
        m_options = m_engine->property(kJobOptionsKey).toStringList();
        if (m_options.contains(QStringLiteral("job-hold-until")))
            return;
        const QStringList held =
            m_options + QStringList{QStringLiteral("job-hold-until"), QStringLiteral("indefinite")};
        m_engine->setProperty(kJobOptionsKey, held);
        m_held = m_engine->property(kJobOptionsKey).toStringList() == held;
    }
    ~SchedulerJob() {
        if (m_held)
            m_engine->setProperty(kJobOptionsKey, m_options);
    }
    SchedulerJob(const SchedulerJob&) = delete;
    SchedulerJob& operator=(const SchedulerJob&) = delete;

    // After the painter ended: 0, or LYDVW_E_PRINT when the scheduler has no job or ended it.
    int64_t Release(const QString& title) {
        if (!Cups().Loaded())
            return LYDVW_E_OK;  // nothing to ask; the toolkit printed without the library's help
        ipp_jstate_t state = IPP_JSTATE_PENDING;
        const int job = Newest(&title, &state);
        if (job <= m_before || state >= IPP_JSTATE_CANCELED)
            return LYDVW_E_PRINT;
        if (m_held && !Send(IPP_OP_RELEASE_JOB, job))
            return LYDVW_E_PRINT;
        return LYDVW_E_OK;
    }
    // After a stopped print: its job, if the toolkit sent one, never prints.
    void Cancel(const QString& title) {
        if (!Cups().Loaded())
            return;
        const int job = Newest(&title, nullptr);
        if (job > m_before)
            Send(IPP_OP_CANCEL_JOB, job);
    }

  private:
    // The toolkit's own key for the job options it passes to the scheduler.
    static constexpr auto kJobOptionsKey = QPrintEngine::PrintEnginePropertyKey(0xfe00);

    static const platform::CupsLibrary& Cups() { return platform::CupsLibrary::Get(); }

    // The newest of the user's job ids on the printer (with `title` when given); 0 when there is none.
    int Newest(const QString* title, ipp_jstate_t* state) const {
        cups_job_t* jobs = nullptr;
        const int count =
            Cups().cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, m_printer.c_str(), 1, CUPS_WHICHJOBS_ALL);
        const std::string wanted = title ? title->toStdString() : std::string();
        int newest = 0;
        for (int i = 0; i < count; ++i) {
            if (jobs[i].id > newest && (!title || (jobs[i].title && wanted == jobs[i].title))) {
                newest = jobs[i].id;
                if (state)
                    *state = jobs[i].state;
            }
        }
        Cups().cupsFreeJobs(count, jobs);
        return newest;
    }
    bool Send(ipp_op_t operation, int job) const {
        const platform::CupsLibrary& cups = Cups();
        ipp_t* request = cups.ippNewRequest(operation);
        char uri[HTTP_MAX_URI];
        cups.httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost",
                              cups.ippPort(), "/jobs/%d", job);
        cups.ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri);
        cups.ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                          cups.cupsUser());
        // The request is consumed by the call.
        if (ipp_t* response = cups.cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/jobs/"))
            cups.ippDelete(response);
        return cups.cupsLastError() <= IPP_STATUS_OK_EVENTS_COMPLETE;
    }

    std::string m_printer;
    QPrintEngine* m_engine;
    QStringList m_options;
    int m_before = 0;
    bool m_held = false;
};

// Prints `job` on `printer`; on `hostPainter` when the host has begun painting there itself.
int64_t Run(PrintHost& host, QPrinter& printer, QPainter* hostPainter, const Job& job) {
    const PrintSource source = host.Source();
    if (!source.pdf && !source.images && !source.text)
        return LYDVW_E_NO_FILE;
    if (job.selection && source.selection.isEmpty())
        return LYDVW_E_NOT_FOUND;
    if (!hostPainter) {
        printer.setFullPage(true);
        printer.setDocName(job.title);
    }
    Layout layout(source, job, printer);
    const int count = layout.Count();
    int first = 0;
    int last = count - 1;
    if (job.range && !job.selection) {
        first = std::max(job.from, 1) - 1;
        last = std::min(job.to, count) - 1;
    }
    if (first > last)
        return LYDVW_E_NO_PAGE;

    std::optional<SchedulerJob> scheduler;
    if (!hostPainter && printer.outputFormat() == QPrinter::NativeFormat)
        scheduler.emplace(printer);
    std::unique_ptr<QProgressDialog> progress;
    if (job.progress) {
        progress = std::make_unique<QProgressDialog>(QStringLiteral("Printing %1").arg(job.title),
                                                     QStringLiteral("Cancel"), 0, last - first + 1,
                                                     host.DialogParent());
        progress->setWindowTitle(QStringLiteral("Printing"));
        progress->setWindowModality(Qt::WindowModal);
        progress->setMinimumDuration(0);
        progress->setValue(0);
    }

    QPainter own;
    QPainter* painter = hostPainter;
    int64_t stopped = LYDVW_E_OK;
    for (int page = first; page <= last && stopped == LYDVW_E_OK; ++page) {
        if (job.abort && job.abort(job.abortContext, job.dc, 0) == 0) {
            stopped = LYDVW_E_ABORTED;
            break;
        }
        if (progress) {
            progress->setValue(page - first);
            QCoreApplication::processEvents();
            if (progress->wasCanceled()) {
                stopped = LYDVW_E_CANCELLED;
                break;
            }
        }
        // The host's own painting keeps the paper it began with.
        if (!hostPainter)
            layout.Prepare(page);
        if (!painter) {
            if (!own.begin(&printer))
                return LYDVW_E_PRINT;
            painter = &own;
        } else if (page != first) {
            printer.newPage();
        }
        layout.Draw(page, *painter);
    }
    if (stopped != LYDVW_E_OK) {
        // The toolkit cannot abort a print to the scheduler: what it sends on ending is cancelled.
        printer.abort();
        if (own.isActive())
            own.end();
        if (scheduler)
            scheduler->Cancel(job.title);
        return stopped;
    }
    if (progress)
        progress->setValue(last - first + 1);
    if (own.isActive() && !own.end())
        return LYDVW_E_PRINT;
    if (printer.printerState() == QPrinter::Error)
        return LYDVW_E_PRINT;
    return scheduler ? scheduler->Release(job.title) : int64_t{LYDVW_E_OK};
}

}  // namespace

EnginePrinter::EnginePrinter() = default;
EnginePrinter::~EnginePrinter() = default;

QPrinter& EnginePrinter::SetupPrinter() {
    if (!m_setup)
        m_setup = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *m_setup;
}

int64_t EnginePrinter::Print(PrintHost& host, const LydvwPrint& record) {
    if (record.size < sizeof record)
        return LYDVW_E_ARGUMENT;
    if (m_busy)
        return LYDVW_E_PRINT_BUSY;
    const Options& options = host.Options();
    Job job = JobOf(options);
    job.selection = record.selection != 0;
    std::copy(std::begin(record.margins), std::end(record.margins), job.margins.begin());
    job.font = FontOf(ReadBounded(record.font_face), record.font_half_points);
    job.title = JobTitleOf(options, ReadBounded(record.job_name));
    if (record.abort) {
        job.abort = reinterpret_cast<LydvwAbortFn>(record.abort);
        job.abortContext = reinterpret_cast<void*>(record.abort_context);
    }
    job.dc = record.printer_dc;
    job.progress = record.abort_dialog != 0;

    QPrinter* printer = nullptr;
    std::unique_ptr<QPrinter> named;
    if (record.flags & LYDVW_PRINT_TO_DEVICE) {
        // The host's device keeps its own paper, copies and collation.
        printer = reinterpret_cast<QPrinter*>(record.printer_device);
        if (!printer)
            return LYDVW_E_ARGUMENT;
    } else {
        // The toolkit would quietly print an unknown name on the default printer.
        const QString name = QString::fromStdString(platform::Cp1252ToUtf8(ReadBounded(record.printer_name)));
        const QPrinterInfo info =
            name.isEmpty() ? QPrinterInfo::defaultPrinter() : QPrinterInfo::printerInfo(name);
        if (info.isNull())
            return LYDVW_E_PRINT;
        named = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
        if (m_setUp)
            named->setPageLayout(SetupPrinter().pageLayout());
        named->setCopyCount(std::max(1, record.copies));
        named->setCollateCopies(record.collate != 0);
        printer = named.get();
    }
    QPainter* hostPainter = nullptr;
    if (record.start_doc_done && printer->paintingActive())
        hostPainter = printer->paintEngine()->painter();
    m_busy = true;
    int64_t answer = LYDVW_E_OK;
    if (record.setup_dialog && !hostPainter) {
        QPrintDialog dialog(printer, host.DialogParent());
        OfferInDialog(*printer, dialog, job, !host.Source().selection.isEmpty());
        if (RunDialog(host, dialog))
            TakeFromDialog(*printer, job);
        else
            answer = LYDVW_E_CANCELLED;
    }
    if (answer == LYDVW_E_OK)
        answer = Run(host, *printer, hostPainter, job);
    m_busy = false;
    return answer;
}

int64_t EnginePrinter::PrintWithDialog(PrintHost& host) {
    if (m_busy)
        return LYDVW_E_PRINT_BUSY;
    const PrintSource source = host.Source();
    if (!source.pdf && !source.images && !source.text)
        return LYDVW_E_NO_FILE;
    const Options& options = host.Options();
    Job job = JobOf(options);
    job.title = JobTitleOf(options, "Job");
    job.progress = true;
    QPrinter& printer = SetupPrinter();
    printer.setCopyCount(std::max(1, Value(options, kCopiesOption, 1)));
    printer.setCollateCopies(Value(options, kCollateOption, 0) != 0);
    m_busy = true;
    int64_t answer = LYDVW_E_CANCELLED;
    QPrintDialog dialog(&printer, host.DialogParent());
    OfferInDialog(printer, dialog, job, !source.selection.isEmpty());
    if (RunDialog(host, dialog)) {
        TakeFromDialog(printer, job);
        answer = Run(host, printer, nullptr, job);
    }
    m_busy = false;
    return answer;
}

int64_t EnginePrinter::PageSetup(PrintHost& host) {
    QPageSetupDialog dialog(&SetupPrinter(), host.DialogParent());
    if (!RunDialog(host, dialog))
        return LYDVW_E_CANCELLED;
    m_setUp = true;
    return LYDVW_E_OK;
}

int64_t EnginePrinter::PrintOptionsDialog(PrintHost& host) {
    Options& options = host.Options();
    // Margins in the unit of the international flag, as the control's margin properties take them.
    const auto intl = options.find(kIntlOption);
    uint32_t intlFlag = 1;
    if (intl != options.end() && intl->second.size() >= 8)
        std::memcpy(&intlFlag, intl->second.data() + 4, 4);
    const double twipsPerUnit = intlFlag ? kTwipsPerInch : kTwipsPerCm;
    const QString unit = intlFlag ? QStringLiteral(" in") : QStringLiteral(" cm");

    QDialog dialog(host.DialogParent());
    dialog.setWindowTitle(QStringLiteral("Print Options"));
    auto* form = new QFormLayout(&dialog);
    const std::array<int32_t, 4> margins = MarginsOf(options);
    static constexpr const char* kMarginNames[] = {"top", "bottom", "left", "right"};
    static constexpr const char* kMarginLabels[] = {"Top margin", "Bottom margin", "Left margin",
                                                    "Right margin"};
    std::array<QDoubleSpinBox*, 4> boxes{};
    for (size_t i = 0; i < boxes.size(); ++i) {
        boxes[i] = new QDoubleSpinBox(&dialog);
        boxes[i]->setObjectName(QString::fromLatin1(kMarginNames[i]));
        boxes[i]->setDecimals(2);
        boxes[i]->setSuffix(unit);
        boxes[i]->setRange(0, kMaxMarginTwips / twipsPerUnit);
        boxes[i]->setValue(margins[i] / twipsPerUnit);
        form->addRow(QString::fromLatin1(kMarginLabels[i]), boxes[i]);
    }
    auto* docPages = new QCheckBox(QStringLiteral("Use the document's page settings"), &dialog);
    docPages->setObjectName(QStringLiteral("docpages"));
    docPages->setChecked(Value(options, kDocPageOption, 1) != 0);
    form->addRow(docPages);
    auto* copies = new QSpinBox(&dialog);
    copies->setObjectName(QStringLiteral("copies"));
    copies->setRange(1, 999);
    copies->setValue(std::max(1, Value(options, kCopiesOption, 1)));
    form->addRow(QStringLiteral("Copies"), copies);
    auto* collate = new QCheckBox(QStringLiteral("Collate copies"), &dialog);
    collate->setObjectName(QStringLiteral("collate"));
    collate->setChecked(Value(options, kCollateOption, 0) != 0);
    form->addRow(collate);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(buttons);
    if (!RunDialog(host, dialog))
        return LYDVW_E_CANCELLED;

    // Only what the user changed is stored, and the control hears of each.
    std::vector<uint32_t> changed;
    std::array<int32_t, 4> chosen{};
    for (size_t i = 0; i < boxes.size(); ++i) {
        // A margin left as shown keeps its twips: the box holds it rounded.
        const bool same =
            qFuzzyCompare(1.0 + boxes[i]->value(), 1.0 + std::round(margins[i] / twipsPerUnit * 100) / 100);
        chosen[i] = same ? margins[i] : static_cast<int32_t>(std::lround(boxes[i]->value() * twipsPerUnit));
    }
    if (chosen != margins) {
        Store(options, kMarginsOption, chosen);
        changed.push_back(kMarginsOption);
    }
    if (docPages->isChecked() != (Value(options, kDocPageOption, 1) != 0)) {
        Store(options, kDocPageOption, int32_t{docPages->isChecked() ? 1 : 0});
        changed.push_back(kDocPageOption);
    }
    if (copies->value() != std::max(1, Value(options, kCopiesOption, 1))) {
        Store(options, kCopiesOption, static_cast<int16_t>(copies->value()));
        changed.push_back(kCopiesOption);
    }
    if (collate->isChecked() != (Value(options, kCollateOption, 0) != 0)) {
        Store(options, kCollateOption, int32_t{collate->isChecked() ? 1 : 0});
        changed.push_back(kCollateOption);
    }
    for (uint32_t id : changed)
        host.Notify(LYDVW_N_OPTION_CHANGE, id);
    return LYDVW_E_OK;
}

}  // namespace docview
