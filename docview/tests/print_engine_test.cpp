// The real engine printing to raw queues of a private print scheduler, read back as the backend received
// it: both pages of the two-page PDF, a range, a text file and a selection, copies and collation as job
// options on one spooled copy, unknown printers and refused jobs, the host's own printer device, the
// dialogs, and the abort callback reaching the control whose job it is.
#include <cups/cups.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QImage>
#include <QPainter>
#include <QPdfDocument>
#include <QPrinter>
#include <QProgressDialog>
#include <QSpinBox>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <cmath>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "docview/control_strings.h"
#include "docview/engine_binding.h"
#include "docview/fennick_contract.h"
#include "docview/options.h"
#include "docview/qelctrl.h"
#include "docview/tests/doc_fixtures.h"
#include "docview/tests/engine_view.h"
#include "platform/user_prompt.h"
#include "testsupport/cups_daemon.h"
#include "testsupport/test_support.h"

namespace docview {
namespace {

using testsupport::CupsDaemon;

// A page as a small grey picture on white paper, to tell printed pages apart.
QImage Thumbnail(QPdfDocument& pdf, int page) {
    QImage paper(QSize(120, 170), QImage::Format_RGB32);
    paper.fill(Qt::white);
    QPainter(&paper).drawImage(0, 0, pdf.render(page, paper.size()));
    return paper;
}
double Distance(const QImage& a, const QImage& b) {
    double sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x)
            sum += std::abs(qGray(a.pixel(x, y)) - qGray(b.pixel(x, y)));
    }
    return sum / (a.width() * a.height());
}

class EnginePrintTest : public testing::EngineViewTest {
  protected:
    void SetUp() override {
        if (const auto missing = testsupport::CupsdMissing())
            GTEST_SKIP() << *missing;
        m_daemon = std::make_unique<CupsDaemon>(
            std::vector<CupsDaemon::Queue>{{"office"}, {"closed", CupsDaemon::Device::Capture, false, false}},
            "office");
        ASSERT_TRUE(m_daemon->Running());
        // The toolkit's print support and the engine reach the scheduler through the same client library.
        m_env.Set("CUPS_SERVER", m_daemon->Socket());
        cupsSetServer(m_daemon->Socket().c_str());
        ASSERT_NO_FATAL_FAILURE(OpenView(Notified, this));
        m_source.load(QString::fromStdString(Path("two.pdf")));
    }
    static int64_t Notified(void* context, uint32_t id, uint64_t, uint64_t lparam) {
        static_cast<EnginePrintTest*>(context)->m_notified.emplace_back(id, lparam);
        return 0;
    }

    int64_t Request(uint32_t request, uint64_t lparam = 0) {
        return m_api.request(m_view, request, 0, lparam);
    }
    void View(const std::string& name) { ASSERT_EQ(ViewPath(Path(name)), 0) << name; }
    template <typename T>
    void SetOption(uint32_t id, T value) {
        LydvwOptionBlock block{sizeof block, id, LYDVW_OPT_CURRENT, 0, reinterpret_cast<uint64_t>(&value)};
        ASSERT_EQ(Request(LYDVW_R_SET_OPTION, reinterpret_cast<uint64_t>(&block)), 0);
    }
    static LydvwPrint Record(const std::string& printer) {
        LydvwPrint record{};
        record.size = sizeof record;
        CopyBounded(record.printer_name, printer);
        CopyBounded(record.job_name, "Job");
        for (int32_t& margin : record.margins)
            margin = 1440;
        CopyBounded(record.font_face, "DejaVu Sans");
        record.font_half_points = 24;
        record.copies = 1;
        return record;
    }
    int64_t Print(LydvwPrint record) { return Request(LYDVW_R_PRINT, reinterpret_cast<uint64_t>(&record)); }

    // Jobs of a queue in the scheduler, finished or not.
    static std::vector<cups_job_t> Jobs(const char* queue, int which = CUPS_WHICHJOBS_ALL) {
        cups_job_t* jobs = nullptr;
        const int count = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, queue, 0, which);
        std::vector<cups_job_t> out(jobs, jobs + std::max(count, 0));
        cupsFreeJobs(count, jobs);
        return out;
    }
    // Jobs that printed or may still print; a stopped print leaves none.
    static int Live(const char* queue) {
        int live = 0;
        for (const cups_job_t& job : Jobs(queue))
            live += job.state < IPP_JSTATE_CANCELED ? 1 : 0;
        return live;
    }
    // The document as the queue's device received it, once its job completed.
    bool Printed(QPdfDocument& out, const std::string& queue = "office") {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (Jobs(queue.c_str(), CUPS_WHICHJOBS_COMPLETED).empty()) {
            if (std::chrono::steady_clock::now() > deadline) {
                ADD_FAILURE() << "no job completed on " << queue << ":\n" << m_daemon->Log();
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return out.load(QString::fromStdString(m_daemon->Output(queue).string())) ==
               QPdfDocument::Error::None;
    }
    std::vector<std::string> BackendArguments(const std::string& queue = "office") const {
        std::ifstream in(m_daemon->Arguments(queue));
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
    // Which source page each printed page shows.
    std::vector<int> SourcePages(QPdfDocument& out) {
        std::vector<int> pages;
        for (int i = 0; i < out.pageCount(); ++i) {
            const QImage printed = Thumbnail(out, i);
            const double first = Distance(printed, Thumbnail(m_source, 0));
            const double second = Distance(printed, Thumbnail(m_source, 1));
            // Far from both is neither.
            pages.push_back(std::min(first, second) > 8 ? -1 : first < second ? 0 : 1);
        }
        return pages;
    }

    std::unique_ptr<CupsDaemon> m_daemon;
    testsupport::ScopedEnv m_env;
    QPdfDocument m_source;
    std::vector<std::pair<uint32_t, uint64_t>> m_notified;
};

TEST_F(EnginePrintTest, BothPagesOfThePdfArriveOnThePrinterNamedEachOnPaperOfItsOwnSize) {
    View("two.pdf");
    ASSERT_EQ(Print(Record("office")), 0);
    QPdfDocument out;
    ASSERT_TRUE(Printed(out));
    EXPECT_EQ(SourcePages(out), (std::vector<int>{0, 1}));
    const QSizeF source = m_source.pagePointSize(0);
    EXPECT_NEAR(out.pagePointSize(0).width(), source.width(), 2);
    EXPECT_NEAR(out.pagePointSize(0).height(), source.height(), 2);
    // The title is the record's job name; the document went as one copy.
    const std::vector<std::string> args = BackendArguments();
    ASSERT_GE(args.size(), 5u);
    EXPECT_EQ(args[2], "Job");
    EXPECT_EQ(args[3], "1");
}

TEST_F(EnginePrintTest, ARangePrintsOnlyItsPagesAndOneOutsideTheDocumentNone) {
    View("two.pdf");
    SetOption<int16_t>(0x5277C, LYDVW_WHAT_RANGE);
    SetOption<int32_t>(0x5277D, 5);
    SetOption<int32_t>(0x5277E, 9);
    EXPECT_EQ(Print(Record("office")), LYDVW_E_NO_PAGE);
    EXPECT_TRUE(Jobs("office").empty());

    SetOption<int32_t>(0x5277D, 2);
    SetOption<int32_t>(0x5277E, 7);  // cut at the last page
    SetOption(0x5277B, std::array<char, 41>{'L', 'e', 'd', 'g', 'e', 'r'});
    ASSERT_EQ(Print(Record("office")), 0);
    QPdfDocument out;
    ASSERT_TRUE(Printed(out));
    EXPECT_EQ(SourcePages(out), std::vector<int>{1});
    EXPECT_EQ(BackendArguments().at(2), "Ledger");  // the host's title wins over the record's
}

TEST_F(EnginePrintTest, TextPrintsInThePrintFontAndASelectionAloneWhenAsked) {
    View("notes.txt");
    ASSERT_EQ(Print(Record("office")), 0);
    QPdfDocument out;
    ASSERT_TRUE(Printed(out));
    ASSERT_EQ(out.pageCount(), 1);
    const QString text = out.getAllText(0).text();
    EXPECT_TRUE(text.contains("first line")) << text.toStdString();
    EXPECT_TRUE(text.contains("second line")) << text.toStdString();

    // Nothing selected: nothing to print.
    LydvwPrint selection = Record("office");
    selection.selection = 1;
    EXPECT_EQ(Print(selection), LYDVW_E_NOT_FOUND);
}

TEST_F(EnginePrintTest, CopiesAndCollationGoToTheSchedulerAndTheDocumentHoldsOneCopy) {
    View("two.pdf");
    LydvwPrint record = Record("office");
    record.copies = 3;
    record.collate = 1;
    ASSERT_EQ(Print(record), 0);
    QPdfDocument out;
    ASSERT_TRUE(Printed(out));
    EXPECT_EQ(out.pageCount(), 2);
    const std::vector<std::string> args = BackendArguments();
    ASSERT_GE(args.size(), 5u);
    EXPECT_EQ(args[3], "3");
    EXPECT_NE((" " + args[4] + " ").find(" Collate "), std::string::npos) << args[4];
}

TEST_F(EnginePrintTest, AnUnknownPrinterAndARefusedJobAnswerThePrintingError) {
    View("two.pdf");
    EXPECT_EQ(Print(Record("nowhere")), LYDVW_E_PRINT);
    // The queue exists but takes no jobs: the toolkit says nothing, the scheduler has no job.
    EXPECT_EQ(Print(Record("closed")), LYDVW_E_PRINT);
    EXPECT_TRUE(Jobs("office").empty());
    // Nothing open: nothing to print.
    ASSERT_EQ(Request(LYDVW_R_CLOSE), 0);
    EXPECT_EQ(Print(Record("office")), LYDVW_E_NO_FILE);
}

TEST_F(EnginePrintTest, TheHostsOwnPrinterGetsThePagesAlsoWhenItBeganTheDocument) {
    View("two.pdf");
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const std::string file = Path("host.pdf");
    printer.setOutputFileName(QString::fromStdString(file));
    LydvwPrint record = Record("");
    record.flags = LYDVW_PRINT_TO_DEVICE;
    record.printer_device = reinterpret_cast<uint64_t>(&printer);
    ASSERT_EQ(Print(record), 0);
    QPdfDocument out;
    ASSERT_EQ(out.load(QString::fromStdString(file)), QPdfDocument::Error::None);
    EXPECT_EQ(SourcePages(out), (std::vector<int>{0, 1}));

    // The host began painting: the engine's pages follow on, and the host ends the document.
    const std::string second = Path("host2.pdf");
    printer.setOutputFileName(QString::fromStdString(second));
    QPainter host(&printer);
    record.start_doc_done = 1;
    ASSERT_EQ(Print(record), 0);
    EXPECT_TRUE(host.isActive());
    host.end();
    QPdfDocument out2;
    ASSERT_EQ(out2.load(QString::fromStdString(second)), QPdfDocument::Error::None);
    EXPECT_EQ(out2.pageCount(), 2);
    EXPECT_TRUE(Jobs("office").empty());  // never through the scheduler
}

TEST_F(EnginePrintTest, TheAbortCallbackStopsTheJobAndTheProgressDialogCancelsIt) {
    View("two.pdf");
    struct Asked {
        std::vector<uint32_t> dcs;
        int answerAt = 2;  // stop before the second page
    } asked;
    LydvwPrint record = Record("office");
    record.printer_dc = 0x321;
    record.abort = reinterpret_cast<uint64_t>(+[](void* context, uint32_t dc, int32_t error) -> int32_t {
        auto& self = *static_cast<Asked*>(context);
        EXPECT_EQ(error, 0);
        self.dcs.push_back(dc);
        return static_cast<int>(self.dcs.size()) < self.answerAt ? 1 : 0;
    });
    record.abort_context = reinterpret_cast<uint64_t>(&asked);
    EXPECT_EQ(Print(record), LYDVW_E_ABORTED);
    EXPECT_EQ(asked.dcs, (std::vector<uint32_t>{0x321, 0x321}));
    EXPECT_EQ(Live("office"), 0);

    // The user cancels the progress dialog.
    LydvwPrint withDialog = Record("office");
    withDialog.abort_dialog = 1;
    QTimer::singleShot(0, [] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* progress = qobject_cast<QProgressDialog*>(widget))
                progress->cancel();
        }
    });
    EXPECT_EQ(Print(withDialog), LYDVW_E_CANCELLED);
    EXPECT_EQ(Live("office"), 0);
    EXPECT_FALSE(std::filesystem::exists(m_daemon->Output("office")));
}

TEST_F(EnginePrintTest, ThePrintDialogPrintsOnTheChosenPrinterAndTheSetupAndOptionsDialogsAnswer) {
    View("two.pdf");
    const auto closeWith = [](bool accept) {
        QTimer::singleShot(0, [accept] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            accept ? dialog->accept() : dialog->reject();
        });
    };
    closeWith(false);
    EXPECT_EQ(Request(LYDVW_R_PRINT_DIALOG), LYDVW_E_CANCELLED);
    EXPECT_TRUE(Jobs("office").empty());
    closeWith(false);
    EXPECT_EQ(Request(LYDVW_R_PRINTER_SETUP), LYDVW_E_CANCELLED);
    closeWith(true);
    EXPECT_EQ(Request(LYDVW_R_PRINTER_SETUP), 0);

    // The options dialog: the user asks for 4 copies; the host hears of that option alone.
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->findChild<QSpinBox*>("copies")->setValue(4);
        dialog->accept();
    });
    m_notified.clear();
    EXPECT_EQ(Request(LYDVW_R_OPTIONS_DIALOG, LYDVW_DLG_PRINT), 0);
    std::vector<uint64_t> changed;
    for (const auto& [id, lparam] : m_notified) {
        if (id == LYDVW_N_OPTION_CHANGE)
            changed.push_back(lparam);
    }
    EXPECT_EQ(changed, std::vector<uint64_t>{0x52780});
    int16_t copies = 0;
    LydvwOptionBlock block{sizeof block, 0x52780, LYDVW_OPT_CURRENT, 0, reinterpret_cast<uint64_t>(&copies)};
    ASSERT_EQ(Request(LYDVW_R_GET_OPTION, reinterpret_cast<uint64_t>(&block)), 0);
    EXPECT_EQ(copies, 4);

    // Printing through the dialog on the default printer, with the copies the options hold.
    closeWith(true);
    ASSERT_EQ(Request(LYDVW_R_PRINT_DIALOG), 0);
    QPdfDocument out;
    ASSERT_TRUE(Printed(out));
    EXPECT_EQ(out.pageCount(), 2);
    EXPECT_EQ(BackendArguments().at(3), "4");
}

// ---- Through the control: the abort callback asks the control whose job it is ----

class QtWindow final : public ControlWindow {
  public:
    explicit QtWindow(Cqelctrl& control) : m_control(&control) { m_widget.resize(300, 200); }
    ~QtWindow() override {
        if (m_control)
            m_control->OnDestroy();
    }
    void* Widget() override { return &m_widget; }
    void Post(std::function<void()> task) override { QTimer::singleShot(0, std::move(task)); }
    void Update() override {}
    void PlaceView(void*) override {}
    void RefreshView(void*) override {}
    void FocusView(void*) override {}
    void Dispose() override {
        m_control = nullptr;
        delete this;
    }

  private:
    Cqelctrl* m_control;
    QWidget m_widget;
};

class AbortSink : public platform::automation::IDispatch {
  public:
    using HRESULT = platform::automation::HRESULT;
    HRESULT GetIDsOfNames(std::span<const std::string_view>,
                          std::span<platform::automation::DISPID>) override {
        return platform::automation::DISP_E_UNKNOWNNAME;
    }
    HRESULT Invoke(platform::automation::DISPID dispid, platform::automation::InvokeKind,
                   std::span<const platform::automation::Variant> args, platform::automation::Variant*,
                   platform::automation::InvokeError*) override {
        if (dispid != static_cast<platform::automation::DISPID>(fennick::Event::PrinterAbort))
            return platform::automation::S_OK;
        ++aborts;
        for (const auto& arg : args) {
            if (int32_t* proceed = arg.AsRefI4())
                *proceed = 0;
        }
        return platform::automation::S_OK;
    }
    int aborts = 0;
};

TEST_F(EnginePrintTest, PrinterAbortIsRaisedOnThePrintingControlAndContinueZeroStopsTheJob) {
    using platform::automation::InvokeKind;
    using platform::automation::Variant;
    platform::RecordingPrompt prompts;
    platform::ScopedDefaultPrompt prompt(prompts);
    const auto make = [this](const std::shared_ptr<AbortSink>& sink) {
        ControlSite site;
        site.makeWindow = [](Cqelctrl& control) { return new QtWindow(control); };
        site.loadEngine = [](EngineApi& api) { return LoadEngine(CARROWLINE_LYDVW_ENGINE, api); };
        std::shared_ptr<Cqelctrl> control = CreateQelctrl(std::move(site));
        std::shared_ptr<platform::automation::ConnectionPoint> point;
        control->FindConnectionPoint(fennick::kDqelctrlIid, point);
        uint32_t cookie = 0;
        point->Advise(sink, cookie);
        EXPECT_NE(control->Widget(), nullptr);
        EXPECT_TRUE(control->HasView());
        return control;
    };
    const auto call = [](Cqelctrl& control, std::string_view name, InvokeKind kind,
                         std::vector<Variant> args) {
        platform::automation::DISPID id = platform::automation::DISPID_UNKNOWN;
        EXPECT_EQ(control.GetIDOfName(name, id), platform::automation::S_OK) << name;
        Variant result;
        EXPECT_EQ(control.Invoke(id, kind, args, &result, nullptr), platform::automation::S_OK) << name;
        return result;
    };
    auto printingSink = std::make_shared<AbortSink>();
    auto otherSink = std::make_shared<AbortSink>();
    std::shared_ptr<Cqelctrl> printing = make(printingSink);
    std::shared_ptr<Cqelctrl> other = make(otherSink);  // the most recently made
    EXPECT_EQ(call(*printing, "ViewFile", InvokeKind::Method,
                   {Variant::Bool(false), Variant::Bstr(Path("two.pdf"))}),
              Variant::I4(1));
    call(*printing, "PrinterName", InvokeKind::PropertyPut, {Variant::Bstr("office")});
    call(*printing, "PrintOI", InvokeKind::Method,
         {Variant::I4(0), Variant::I4(0x80), Variant::I4(0), Variant::I4(0)});
    EXPECT_EQ(printingSink->aborts, 1);
    EXPECT_EQ(otherSink->aborts, 0);
    EXPECT_EQ(call(*printing, "ErrorCode", InvokeKind::PropertyGet, {}), Variant::I4(LYDVW_E_ABORTED));
    EXPECT_TRUE(Jobs("office").empty());
}

}  // namespace
}  // namespace docview
