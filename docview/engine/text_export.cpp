// Text for the host in the forms it asks for.
#include "docview/engine/text_export.h"

#include <cstdlib>
#include <cstring>

#include "docview/options.h"
#include "platform/codepage.h"

namespace docview::engine {

namespace {

QString FaceOf(const LydvwFontRecord& font) {
    const std::string face = docview::ReadBounded(font.face);
    return face.empty() ? QStringLiteral("Arial") : QString::fromStdString(platform::Cp1252ToUtf8(face));
}

int HalfPointsOf(const LydvwFontRecord& font) {
    return font.half_points > 0 ? font.half_points : 20;
}

// One RTF character: 7-bit as it stands (the three specials escaped), others as signed 16-bit \uN with a
// '?' for readers that do not know it.
void AppendRtf(QByteArray& out, char16_t unit) {
    if (unit == u'\\' || unit == u'{' || unit == u'}') {
        out += '\\';
        out += static_cast<char>(unit);
    } else if (unit == u'\t') {
        out += "\\tab ";
    } else if (unit >= 0x20 && unit < 0x80) {
        out += static_cast<char>(unit);
    } else if (unit >= 0x80) {
        out += "\\u" + QByteArray::number(static_cast<int16_t>(unit)) + '?';
    }
}

}  // namespace

QByteArray ToWindows1252(const QString& text, char unmappable) {
    QByteArray out;
    out.reserve(text.size());
    const std::u32string characters = text.toStdU32String();
    for (char32_t ch : characters) {
        const std::optional<uint8_t> byte = platform::UnicodeToCp1252(ch);
        out += byte ? static_cast<char>(*byte) : unmappable;
    }
    return out;
}

QByteArray RichText(const QString& text, const LydvwFontRecord& font) {
    QByteArray out = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0 ";
    for (QChar ch : FaceOf(font))
        AppendRtf(out, ch.unicode());
    out += ";}}\\uc1\\pard\\plain\\f0\\fs" + QByteArray::number(HalfPointsOf(font));
    if (font.attributes & LYDVW_FONT_BOLD)
        out += "\\b";
    if (font.attributes & LYDVW_FONT_ITALIC)
        out += "\\i";
    if (font.attributes & LYDVW_FONT_UNDERLINE)
        out += "\\ul";
    if (font.attributes & LYDVW_FONT_STRIKE)
        out += "\\strike";
    out += ' ';
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        if (unit == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            continue;
        if (unit == u'\n' || unit == u'\r' || unit == 0x2029)
            out += "\\par\n";
        else
            AppendRtf(out, unit);
    }
    out += '}';
    return out;
}

QString HtmlText(const QString& text, const LydvwFontRecord& font) {
    QString style = QStringLiteral("font-family:'%1';font-size:%2pt;white-space:pre-wrap")
                        .arg(FaceOf(font).toHtmlEscaped().replace(u'\'', QStringLiteral("&#39;")))
                        .arg(HalfPointsOf(font) / 2.0);
    if (font.attributes & LYDVW_FONT_BOLD)
        style += QStringLiteral(";font-weight:bold");
    if (font.attributes & LYDVW_FONT_ITALIC)
        style += QStringLiteral(";font-style:italic");
    const bool underline = font.attributes & LYDVW_FONT_UNDERLINE;
    const bool strike = font.attributes & LYDVW_FONT_STRIKE;
    if (underline || strike) {
        style += QStringLiteral(";text-decoration:%1")
                     .arg(underline && strike ? QStringLiteral("underline line-through")
                          : underline         ? QStringLiteral("underline")
                                              : QStringLiteral("line-through"));
    }
    return QStringLiteral("<html><body><div style=\"%1\">%2</div></body></html>")
        .arg(style, text.toHtmlEscaped());
}

void* NewBlock(const QByteArray& bytes, int unitWidth) {
    const size_t size = static_cast<size_t>(bytes.size());
    auto* block = static_cast<char*>(std::malloc(size + static_cast<size_t>(unitWidth)));
    if (!block)
        return nullptr;
    std::memcpy(block, bytes.constData(), size);
    std::memset(block + size, 0, static_cast<size_t>(unitWidth));
    return block;
}

std::unique_ptr<QMimeData> ClipboardData(const QString& text, const QImage& image, uint32_t formats,
                                         const LydvwFontRecord& font) {
    const bool offersText = !text.isEmpty() && (formats & (LYDVW_CLIP_TEXT | LYDVW_CLIP_RICH_TEXT));
    const bool offersImage = !image.isNull() && (formats & (LYDVW_CLIP_BMP | LYDVW_CLIP_DIB));
    if (!offersText && !offersImage)
        return nullptr;
    auto data = std::make_unique<QMimeData>();
    if (offersText && (formats & LYDVW_CLIP_TEXT))
        data->setText(text);
    if (offersText && (formats & LYDVW_CLIP_RICH_TEXT)) {
        data->setData(QStringLiteral("text/rtf"), RichText(text, font));
        data->setHtml(HtmlText(text, font));
    }
    if (offersImage)
        data->setImageData(image);
    return data;
}

Piece PieceHolding(const QString& text, qsizetype at) {
    Piece piece;
    for (;;) {
        qsizetype length = std::min(kRawPieceMax, text.size() - piece.start);
        const qsizetype end = piece.start + length;
        if (length > 1 && end < text.size() && text[end - 1].isHighSurrogate() && text[end].isLowSurrogate())
            --length;
        piece.length = length;
        if (at < piece.start + length || length == 0)
            return piece;
        piece.start += length;
    }
}

}  // namespace docview::engine
