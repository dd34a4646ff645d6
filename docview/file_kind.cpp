// Content signatures of the formats the engine knows.
#include "docview/file_kind.h"

#include <algorithm>
#include <cstring>

#include "docview/lydvw.h"

namespace docview {

namespace {

bool StartsWith(std::span<const uint8_t> data, std::string_view magic, size_t at = 0) {
    return data.size() >= at + magic.size() && std::memcmp(data.data() + at, magic.data(), magic.size()) == 0;
}

bool Contains(std::span<const uint8_t> data, std::string_view needle) {
    return std::search(data.begin(), data.end(), needle.begin(), needle.end()) != data.end();
}

bool IsUtf8Text(std::span<const uint8_t> data) {
    size_t i = 0;
    while (i < data.size()) {
        const uint8_t c = data[i];
        if (c < 0x80) {
            if (c == 0 || (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != 0x1A)) {
                return false;
            }
            ++i;
            continue;
        }
        size_t extra = 0;
        if ((c & 0xE0) == 0xC0 && c >= 0xC2) {
            extra = 1;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
        } else if ((c & 0xF8) == 0xF0 && c <= 0xF4) {
            extra = 3;
        } else {
            return false;
        }
        // A sequence cut by the end of a file's head is no evidence against text.
        if (i + extra >= data.size())
            return data.size() >= kRecognitionHead;
        for (size_t k = 1; k <= extra; ++k) {
            if ((data[i + k] & 0xC0) != 0x80)
                return false;
        }
        i += extra + 1;
    }
    return true;
}

// Mostly printable 8-bit text: no NUL, few control characters.
bool IsEightBitText(std::span<const uint8_t> data) {
    size_t control = 0;
    for (uint8_t c : data) {
        if (c == 0)
            return false;
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f')
            ++control;
    }
    return control * 100 <= data.size();
}

Recognition Make(FileKind kind, uint32_t id, std::string_view name,
                 TextEncoding encoding = TextEncoding::None) {
    return Recognition{kind, id, name, encoding};
}

Recognition Zip(std::span<const uint8_t> head) {
    // An OpenDocument file stores "mimetype" first, uncompressed, right after its 30-byte local header.
    if (StartsWith(head, "mimetype", 30) && StartsWith(head, "application/vnd.oasis.opendocument", 38)) {
        return Make(FileKind::WordProcessor, LYDVW_FI_ODF_DOC, "OpenDocument");
    }
    if (Contains(head, "[Content_Types].xml") && (Contains(head, "word/") || Contains(head, "_rels/"))) {
        return Make(FileKind::WordProcessor, LYDVW_FI_OOXML_DOC, "Office Open XML document");
    }
    return Make(FileKind::Unsupported, LYDVW_FI_ZIP, "ZIP archive");
}

}  // namespace

Recognition RecognizeContent(std::span<const uint8_t> head) {
    // A PDF may carry a little junk before its header.
    const std::span<const uint8_t> lead = head.first(std::min<size_t>(head.size(), 1024));
    if (Contains(lead, "%PDF-"))
        return Make(FileKind::Pdf, LYDVW_FI_PDF, "PDF document");
    if (StartsWith(head, "\x89PNG\r\n\x1A\n"))
        return Make(FileKind::Image, LYDVW_FI_PNG, "PNG image");
    if (StartsWith(head, "\xFF\xD8\xFF"))
        return Make(FileKind::Image, LYDVW_FI_JPEG, "JPEG image");
    if (StartsWith(head, "GIF87a") || StartsWith(head, "GIF89a")) {
        return Make(FileKind::Image, LYDVW_FI_GIF, "GIF image");
    }
    if (StartsWith(head, std::string_view("II*\0", 4)) || StartsWith(head, std::string_view("MM\0*", 4))) {
        return Make(FileKind::Image, LYDVW_FI_TIFF, "TIFF image");
    }
    if (StartsWith(head, "BM") && head.size() >= 26 && head[14] >= 12 && head[15] == 0 && head[16] == 0) {
        return Make(FileKind::Image, LYDVW_FI_BMP, "BMP image");
    }
    if (StartsWith(head, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1")) {
        return Make(FileKind::WordProcessor, LYDVW_FI_OLE_DOC, "OLE compound document");
    }
    if (StartsWith(head, "{\\rtf"))
        return Make(FileKind::WordProcessor, LYDVW_FI_RTF, "Rich Text Format");
    if (StartsWith(head, "PK\x03\x04"))
        return Zip(head);
    if (StartsWith(head, "\x1F\x8B"))
        return Make(FileKind::Unsupported, LYDVW_FI_GZIP, "gzip archive");
    if (StartsWith(head, "ustar", 257))
        return Make(FileKind::Unsupported, LYDVW_FI_TAR, "tar archive");
    if (StartsWith(head, "7z\xBC\xAF\x27\x1C") || StartsWith(head, "Rar!\x1A\x07")) {
        return Make(FileKind::Unsupported, LYDVW_FI_ZIP, "archive");
    }
    if (StartsWith(head, "\xEF\xBB\xBF")) {
        return Make(FileKind::Text, LYDVW_FI_TEXT_UTF8, "Unicode text (UTF-8)", TextEncoding::Utf8);
    }
    if (StartsWith(head, "\xFF\xFE")) {
        return Make(FileKind::Text, LYDVW_FI_TEXT_UTF16, "Unicode text (UTF-16)", TextEncoding::Utf16Le);
    }
    if (StartsWith(head, "\xFE\xFF")) {
        return Make(FileKind::Text, LYDVW_FI_TEXT_UTF16, "Unicode text (UTF-16)", TextEncoding::Utf16Be);
    }
    if (IsUtf8Text(head)) {
        return Make(FileKind::Text, LYDVW_FI_TEXT_UTF8, "Unicode text (UTF-8)", TextEncoding::Utf8);
    }
    if (IsEightBitText(head))
        return Make(FileKind::Text, LYDVW_FI_TEXT_1252, "Text (Windows-1252)");
    return Make(FileKind::Unknown, 0, "Unknown format");
}

}  // namespace docview
