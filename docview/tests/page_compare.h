// Checks of drawn pages against the PDF module's own render of the same page.
#pragma once

#include <QImage>
#include <QPainter>
#include <QPdfDocument>
#include <cstdlib>
#include <string>

namespace docview::testing {

// The page as the PDF module renders it at `size`, laid on white.
inline QImage PdfRender(const std::string& path, int page, QSize size) {
    QPdfDocument pdf;
    pdf.load(QString::fromStdString(path));
    QImage paper(size, QImage::Format_RGB32);
    paper.fill(Qt::white);
    QPainter(&paper).drawImage(0, 0, pdf.render(page, size));
    return paper;
}

// The share of pixels of two images of one size whose colours differ by more than `tolerance` in a channel;
// 1 for images of different sizes.
inline double DifferingShare(const QImage& a, const QImage& b, int tolerance = 32) {
    if (a.size() != b.size() || a.isNull())
        return 1.0;
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    qint64 differing = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col) {
            if (std::abs(qRed(p[col]) - qRed(q[col])) > tolerance ||
                std::abs(qGreen(p[col]) - qGreen(q[col])) > tolerance ||
                std::abs(qBlue(p[col]) - qBlue(q[col])) > tolerance)
                ++differing;
        }
    }
    return static_cast<double>(differing) / (static_cast<double>(x.width()) * x.height());
}

// Pixels that are not white in `rect` of the image: ink.
inline int InkIn(const QImage& image, QRect rect) {
    int ink = 0;
    rect &= image.rect();
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            if (image.pixel(x, y) != qRgb(255, 255, 255))
                ++ink;
        }
    }
    return ink;
}

}  // namespace docview::testing
