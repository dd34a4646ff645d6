// The screen print lays out in the device's own pixels, so a 1200 dpi printer gets a proportionally larger
// face than a screen-resolution image of the same width would.
#include "terminal/widget/screen_print.h"

#include <QFontMetrics>
#include <QLocale>
#include <QPaintDevice>
#include <QPainter>

#include "suite/registry_settings.h"
#include "terminal/widget/qt_screen_painter.h"
#include "terminal/widget/terminal_font.h"

namespace terminal {
namespace {

suite::LogFont PrintFont(std::string_view face, int32_t height, int32_t weight) {
    suite::LogFont font;
    font.height = height;
    font.weight = weight;
    font.charSet = 255;
    font.pitchAndFamily = 48;
    font.faceName = std::string(face);
    return font;
}

}  // namespace

std::optional<int32_t> QtPrintMeasurer::SampleWidth(int32_t height) {
    const QFont font = CreateTerminalFont(PrintFont(kPrintFace, height, 400), &m_device);
    return QFontMetrics(font, &m_device)
        .horizontalAdvance(
            QString::fromLatin1(kPrintSample.data(), static_cast<qsizetype>(kPrintSample.size())));
}

PrintHeight FindPrintHeight(int32_t pageWidth, PrintMeasurer& measurer) {
    PrintHeight found;
    for (int32_t height = 0; height <= kMaxPrintHeight; ++height) {
        const std::optional<int32_t> width = measurer.SampleWidth(height);
        if (!width) {
            found.fontFailed = true;
            found.height.reset();
            return found;
        }
        if (*width <= pageWidth) {
            found.height = height;
        } else if (height > 0) {
            // Height 0 is the face's default size, not the start of the scale; a page too narrow for it
            // may still take the smaller heights.
            return found;
        }
    }
    // Even the largest height fits: such a page is not printed on.
    found.height.reset();
    return found;
}

QString PrintTitle(const QDate& date) {
    return QStringLiteral("Screen Print on ") +
           QLocale::c().toString(date, QStringLiteral("dddd, MMMM dd, yyyy"));
}

bool PrintScreen(QPaintDevice& device, const CTerminalScreen& screen, const QDate& date,
                 platform::UserPrompt& prompt) {
    QtPrintMeasurer measurer(device);
    return PrintScreen(device, screen, date, measurer, prompt);
}

bool PrintScreen(QPaintDevice& device, const CTerminalScreen& screen, const QDate& date,
                 PrintMeasurer& measurer, platform::UserPrompt& prompt) {
    const PrintHeight found = FindPrintHeight(device.width(), measurer);
    if (found.fontFailed) {
        prompt.Message("Error Loading Lucida Console Font", platform::PromptIcon::Stop);
        return false;
    }
    if (!found.height) {
        return false;
    }
    const QFont face = CreateTerminalFont(PrintFont(kPrintFace, *found.height, 400), &device);
    const QFont title = CreateLogFont(PrintFont(kPrintTitleFace, *found.height, 700), false, &device);
    const QFontMetrics faceMetrics(face, &device);
    const QFontMetrics titleMetrics(title, &device);

    QPainter p;
    if (!p.begin(&device)) {
        return false;
    }
    p.setPen(Qt::black);
    const QString heading = PrintTitle(date);
    p.setFont(title);
    const int titleHeight = titleMetrics.height();
    const int titleX = (device.width() - titleMetrics.horizontalAdvance(heading)) / 2;
    p.drawText(QPoint(titleX, titleHeight + titleMetrics.ascent()), heading);

    p.setFont(face);
    for (int32_t row = 0; row < kScreenRows; ++row) {
        const std::string cells = screen.CopyCells(row * kScreenColumns, kScreenColumns);
        const int y = row * faceMetrics.height() + 3 * titleHeight;
        p.drawText(QPoint(0, y + faceMetrics.ascent()), ScreenText(cells));
    }
    return p.end();
}

}  // namespace terminal
