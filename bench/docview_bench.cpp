// The document-view control's ViewFile of a 100-page PDF until its widget shows page 1 at 800x1000,
// against loading the file with the PDF module and rendering page 1 at that size directly; both in one run,
// with their ratio. A third figure adds laying the directly rendered page on a widget-sized image, which
// is what showing it costs beyond rendering. Then the control's Search from the top for a word that only
// the last page holds, against the PDF module's search model reaching that match. Page drawing is timed on
// its own.
#include <benchmark/benchmark.h>

#include "bench/bench_support.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPdfDocument>
#include <QPdfSearchModel>
#include <QPdfWriter>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "docview/engine_binding.h"
#include "docview/fennick/fennick_window.h"
#include "docview/qel_pos.h"
#include "platform/automation/handle_table.h"
#include "suite/qt/paint_handles.h"

namespace {

namespace automation = platform::automation;

const QSize kViewSize(800, 1000);
// Only the last page says "page 100".
const char* const kLastPageWord = "100";
constexpr int kLastPage = 99;

std::string FixturePath() {
    static const std::string path = [] {
        const std::string file = (std::filesystem::temp_directory_path() / "docview-bench-100.pdf").string();
        QPdfWriter writer(QString::fromStdString(file));
        QPainter painter(&writer);
        for (int page = 0; page < 100; ++page) {
            if (page)
                writer.newPage();
            painter.drawText(300, 600, QString("page %1").arg(page + 1));
            for (int line = 0; line < 40; ++line)
                painter.drawText(300, 1200 + line * 280, "The quick brown fox");
        }
        return file;
    }();
    return path;
}

// The control on the real engine, its widget at the view size in a host that is never shown.
struct ControlHost {
    ControlHost() {
        docview::ControlSite site;
        site.loadEngine = [](docview::EngineApi& api) {
            return docview::LoadEngine(CARROWLINE_LYDVW_ENGINE, api);
        };
        control = fennick::CreateFennickControl(std::move(site));
        widget = static_cast<QWidget*>(control->Widget());
        if (!widget || !control->HasView()) {
            std::fprintf(stderr, "the control has no engine view\n");
            std::exit(1);
        }
        widget->setParent(&host);
        widget->setGeometry(QRect(QPoint(0, 0), kViewSize));
        control->GetIDOfName("ViewFile", viewFile);
        control->GetIDOfName("Search", search);
        control->GetIDOfName("SelectionAnchor", anchor);
    }
    ~ControlHost() {
        widget->setParent(nullptr);
        control.reset();
    }
    void ViewOnce() {
        const automation::Variant args[] = {automation::Variant::Bool(false),
                                            automation::Variant::Bstr(FixturePath())};
        automation::Variant result;
        control->Invoke(viewFile, automation::InvokeKind::Method, args, &result, nullptr);
        if (result.AsI4() != 1)
            std::abort();
        widget->render(&shown);
        benchmark::DoNotOptimize(shown);
    }
    // Search from the top, forward, any case; true when the match on the last page is the selection.
    bool SearchOnce() {
        const automation::Variant args[] = {
            automation::Variant::I4(0), automation::Variant::Bstr(kLastPageWord), automation::Variant::I2(1),
            automation::Variant::I2(1), automation::Variant::I2(1)};
        automation::Variant result;
        control->Invoke(search, automation::InvokeKind::Method, args, &result, nullptr);
        return result.AsI2() == 0;
    }
    int SelectedPage() {
        automation::Variant position;
        control->Invoke(anchor, automation::InvokeKind::PropertyGet, {}, &position, nullptr);
        const std::shared_ptr<docview::IQelPos> object = docview::PositionObjectOf(position);
        return object ? object->Read().page : -1;
    }
    QWidget host;
    std::shared_ptr<docview::Cqelctrl> control;
    QWidget* widget = nullptr;
    automation::DISPID viewFile = automation::DISPID_UNKNOWN;
    automation::DISPID search = automation::DISPID_UNKNOWN;
    automation::DISPID anchor = automation::DISPID_UNKNOWN;
    QImage shown{kViewSize, QImage::Format_ARGB32_Premultiplied};
};

QImage DirectOnce() {
    QPdfDocument pdf;
    if (pdf.load(QString::fromStdString(FixturePath())) != QPdfDocument::Error::None)
        std::abort();
    const QSizeF points = pdf.pagePointSize(0);
    const QSize size(kViewSize.width(), qRound(points.height() * kViewSize.width() / points.width()));
    QImage image = pdf.render(0, size);
    benchmark::DoNotOptimize(image);
    return image;
}

void DirectAndDrawOnce() {
    static QImage target(kViewSize, QImage::Format_ARGB32_Premultiplied);
    const QImage page = DirectOnce();
    QPainter painter(&target);
    painter.fillRect(target.rect(), Qt::white);
    painter.drawImage(0, 0, page);
}

// The module's own search, taken the quickest way to a match: asking for the first result searches the pages
// in order at once, where the model left alone searches one page per timer tick.
int ModelSearchOnce(QPdfDocument& pdf) {
    QPdfSearchModel model;
    model.setDocument(&pdf);
    model.setSearchString(QString::fromLatin1(kLastPageWord));
    return model.resultAtIndex(0).page();
}

QPdfDocument& SearchedPdf() {
    static QPdfDocument pdf;
    if (pdf.status() != QPdfDocument::Status::Ready &&
        pdf.load(QString::fromStdString(FixturePath())) != QPdfDocument::Error::None)
        std::abort();
    return pdf;
}

void BM_ControlSearchLastPage(benchmark::State& state) {
    ControlHost host;
    host.ViewOnce();
    for (auto _ : state) {
        if (!host.SearchOnce())
            std::abort();
    }
}
BENCHMARK(BM_ControlSearchLastPage)->Unit(benchmark::kMillisecond);

void BM_PdfSearchModelLastPage(benchmark::State& state) {
    QPdfDocument& pdf = SearchedPdf();
    for (auto _ : state) {
        if (ModelSearchOnce(pdf) != kLastPage)
            std::abort();
    }
}
BENCHMARK(BM_PdfSearchModelLastPage)->Unit(benchmark::kMillisecond);

void BM_ControlViewFilePage1(benchmark::State& state) {
    ControlHost host;
    for (auto _ : state)
        host.ViewOnce();
}
BENCHMARK(BM_ControlViewFilePage1)->Unit(benchmark::kMillisecond);

void BM_PdfLoadRenderPage1(benchmark::State& state) {
    for (auto _ : state)
        DirectOnce();
}
BENCHMARK(BM_PdfLoadRenderPage1)->Unit(benchmark::kMillisecond);

// Page drawing on the shown document: page 1 onto a host's image of the view size, and page 50 into a
// picture right after InitDrawPage, which lays out the 49 pages before it on pictures that go.
automation::Variant CallControl(docview::Cqelctrl& control, std::string_view name,
                                std::vector<automation::Variant> args) {
    automation::DISPID id = automation::DISPID_UNKNOWN;
    control.GetIDOfName(name, id);
    automation::Variant result;
    control.Invoke(id, automation::InvokeKind::Method, args, &result, nullptr);
    return result;
}

void BM_ControlDrawPageExPage1(benchmark::State& state) {
    using automation::Variant;
    ControlHost host;
    host.ViewOnce();
    auto image = std::make_shared<QImage>(kViewSize, QImage::Format_RGB32);
    auto format = std::make_shared<QImage>(1, 1, QImage::Format_RGB32);
    const auto output = static_cast<int32_t>(suite::AddImageHandle(image));
    const auto formatDc = static_cast<int32_t>(suite::AddImageHandle(format));
    const std::vector<Variant> args = {Variant::I4(0),
                                       Variant::I4(0),
                                       Variant::I4(0),
                                       Variant::I4(0),
                                       Variant::I4(kViewSize.height()),
                                       Variant::I4(kViewSize.width()),
                                       Variant::I4(15840),
                                       Variant::I4(12240),
                                       Variant::I2(1440),
                                       Variant::I4(output),
                                       Variant::I4(formatDc),
                                       Variant::I4(0)};
    for (auto _ : state) {
        if (CallControl(*host.control, "DrawPageEx", args).AsI4() != 1)
            std::abort();
    }
    platform::automation::HandleTable::Process().Remove(output);
    platform::automation::HandleTable::Process().Remove(formatDc);
}
BENCHMARK(BM_ControlDrawPageExPage1)->Unit(benchmark::kMillisecond);

void BM_ControlDrawPage50AfterInit(benchmark::State& state) {
    using automation::Variant;
    ControlHost host;
    host.ViewOnce();
    const std::vector<Variant> args = {Variant::I4(49),    Variant::I4(0),    Variant::I4(0),
                                       Variant::I4(1100),  Variant::I4(850),  Variant::I4(12240),
                                       Variant::I4(15840), Variant::I2(1440), Variant::I2(1)};
    for (auto _ : state) {
        CallControl(*host.control, "InitDrawPage", {});
        if (CallControl(*host.control, "ExtDrawPage", args).AsI4() != 1)
            std::abort();
    }
}
BENCHMARK(BM_ControlDrawPage50AfterInit)->Unit(benchmark::kMillisecond);

template <typename Fn>
double MedianMs(Fn fn, int runs) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        fn();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    {
        ControlHost host;
        const double view = MedianMs([&] { host.ViewOnce(); }, 31);
        const double direct = MedianMs(DirectOnce, 31);
        const double drawn = MedianMs(DirectAndDrawOnce, 31);
        std::printf(
            "control ViewFile to page 1: %.2f ms, load and render page 1: %.2f ms, ratio %.3f; "
            "with the page drawn: %.2f ms, ratio %.3f\n",
            view, direct, view / direct, drawn, view / drawn);
        bench::ReportMeasure("docview_view_file", view, direct, "ms", bench::AtMost(1.2));
    }
    {
        ControlHost host;
        host.ViewOnce();
        QPdfDocument& pdf = SearchedPdf();
        // Both must really reach the match on the last page before a figure means anything.
        if (!host.SearchOnce() || host.SelectedPage() != kLastPage || ModelSearchOnce(pdf) != kLastPage) {
            bench::ReportNotMeasured("docview_search", "the word of the last page was not found");
        } else {
            // Taken in turns, so that a load that comes and goes on the machine falls on both alike.
            std::vector<double> oursTimes;
            std::vector<double> modelTimes;
            for (int i = 0; i < 21; ++i) {
                oursTimes.push_back(MedianMs([&] { host.SearchOnce(); }, 1));
                modelTimes.push_back(MedianMs([&] { ModelSearchOnce(pdf); }, 1));
            }
            const double ours = bench::Percentile(oursTimes, 0.5);
            const double model = bench::Percentile(modelTimes, 0.5);
            std::printf(
                "control Search to the last page: %.2f ms, search model to its match: %.2f ms, ratio %.3f\n",
                ours, model, ours / model);
            bench::ReportMeasure("docview_search", ours, model, "ms", bench::AtMost(1.2));
        }
    }
    benchmark::Shutdown();
    std::remove(FixturePath().c_str());
    return 0;
}
