// Opening a 100-page PDF in the document view until page 1 shows at 800x1000, against loading it with the
// PDF module and rendering page 1 at that size directly; both in one run, with their ratio.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPdfDocument>
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

namespace {

const QSize kViewSize(800, 1000);

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

docview::EngineApi& Engine() {
    static docview::EngineApi api = [] {
        docview::EngineApi loaded;
        std::string message;
        if (docview::LoadEngine(CARROWLINE_LYDVW_ENGINE, loaded, &message) != 0) {
            std::fprintf(stderr, "%s\n", message.c_str());
            std::exit(1);
        }
        return loaded;
    }();
    return api;
}

void ViewOnce(QWidget& parent, LydvwView* view) {
    const std::string path = FixturePath();
    LydvwViewFile record{};
    record.size = sizeof record;
    record.spec_type = LYDVW_SPEC_ANSI;
    record.spec = reinterpret_cast<uint64_t>(path.c_str());
    if (Engine().request(view, LYDVW_R_VIEW_FILE, 0, reinterpret_cast<uint64_t>(&record)) != 0)
        std::abort();
    QImage shown = static_cast<QWidget*>(Engine().viewWidget(view))->grab().toImage();
    benchmark::DoNotOptimize(shown);
    (void)parent;
}

void DirectOnce() {
    QPdfDocument pdf;
    if (pdf.load(QString::fromStdString(FixturePath())) != QPdfDocument::Error::None)
        std::abort();
    const QSizeF points = pdf.pagePointSize(0);
    const QSize size(kViewSize.width(), qRound(points.height() * kViewSize.width() / points.width()));
    QImage image = pdf.render(0, size);
    benchmark::DoNotOptimize(image);
}

struct ViewHost {
    ViewHost() {
        parent.resize(kViewSize);
        view = Engine().createView(&parent, nullptr, nullptr);
        static_cast<QWidget*>(Engine().viewWidget(view))->setGeometry(QRect(QPoint(0, 0), kViewSize));
    }
    ~ViewHost() { Engine().destroyView(view); }
    QWidget parent;
    LydvwView* view = nullptr;
};

void BM_ViewFilePage1(benchmark::State& state) {
    ViewHost host;
    for (auto _ : state)
        ViewOnce(host.parent, host.view);
}
BENCHMARK(BM_ViewFilePage1)->Unit(benchmark::kMillisecond);

void BM_PdfLoadRenderPage1(benchmark::State& state) {
    for (auto _ : state)
        DirectOnce();
}
BENCHMARK(BM_PdfLoadRenderPage1)->Unit(benchmark::kMillisecond);

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
    ViewHost host;
    const double view = MedianMs([&] { ViewOnce(host.parent, host.view); }, 15);
    const double direct = MedianMs(DirectOnce, 15);
    std::printf("view file to page 1: %.2f ms, load and render page 1: %.2f ms, ratio %.3f\n", view, direct,
                view / direct);
    benchmark::Shutdown();
    std::remove(FixturePath().c_str());
    return 0;
}
