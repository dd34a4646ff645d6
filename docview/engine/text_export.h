// Text as the engine hands it to the host: 8-bit text, rich text and HTML of a piece of a document, the
// blocks the control frees with LydvwFree, the clipboard's formats and the pieces of raw text.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QMimeData>
#include <QString>
#include <cstdint>
#include <memory>

#include "docview/lydvw.h"

namespace docview::engine {

// Characters per raw-text piece at most.
inline constexpr qsizetype kRawPieceMax = 4096;

// Windows-1252; a character it lacks becomes `unmappable`, one for each character (not each UTF-16 unit).
QByteArray ToWindows1252(const QString& text, char unmappable);
// RTF in 7-bit: characters beyond ASCII as \uN, lines as paragraphs, in the given font.
QByteArray RichText(const QString& text, const LydvwFontRecord& font);
// An HTML fragment keeping the text's lines and spaces, in the given font.
QString HtmlText(const QString& text, const LydvwFontRecord& font);

// A block for the control: `bytes` and a terminator of `unitWidth` zero bytes; null when it cannot be had.
void* NewBlock(const QByteArray& bytes, int unitWidth);

// The selected text, or the shown image, in the clipboard formats asked (LYDVW_CLIP_*); null when there is
// nothing to offer.
std::unique_ptr<QMimeData> ClipboardData(const QString& text, const QImage& image, uint32_t formats,
                                         const LydvwFontRecord& font);

// The piece of a page's text that holds `at` (0 <= at < text.size()): pieces of kRawPieceMax units from the
// page's start, one unit shorter where a surrogate pair would be cut.
struct Piece {
    qsizetype start = 0;
    qsizetype length = 0;
};
Piece PieceHolding(const QString& text, qsizetype at);

}  // namespace docview::engine
