// Fixtures of the document-view tests: the documents they open (a two-page PDF with a known word per page,
// a red PNG, a short text file) and the check that a document was drawn in a widget.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QWidget>
#include <filesystem>
#include <string>

#include "testsupport/test_support.h"

namespace docview::testing {

// "alpha" on page 1, "beta" on page 2, "red.png" 40x30, "notes.txt" two lines; into `folder`.
inline void WriteDocuments(const std::filesystem::path& folder) {
    {
        QPdfWriter writer(QString::fromStdString((folder / "two.pdf").string()));
        QPainter painter(&writer);
        QFont font = painter.font();
        font.setPointSize(40);
        painter.setFont(font);
        painter.drawText(200, 800, "alpha");
        writer.newPage();
        painter.drawText(200, 800, "beta");
    }
    QImage png(40, 30, QImage::Format_RGB32);
    png.fill(Qt::red);
    png.save(QString::fromStdString((folder / "red.png").string()), "PNG");
    testsupport::WriteFile(folder / "notes.txt", "first line\nsecond line\n");
}

// Pixels of the widget that are neither the view's grey background nor white paper: something was drawn.
inline int InkPixels(QWidget& widget) {
    const QImage image = widget.grab().toImage();
    int ink = 0;
    for (int y = 0; y < image.height(); y += 2) {
        for (int x = 0; x < image.width(); x += 2) {
            const QColor c = image.pixelColor(x, y);
            if (c != QColor(Qt::white) && c != QColor(Qt::gray))
                ++ink;
        }
    }
    return ink;
}

}  // namespace docview::testing
