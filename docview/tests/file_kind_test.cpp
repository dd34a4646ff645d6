// Content recognition: each signature, the word-processor containers, archives, text and binary data.
#include "docview/file_kind.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "docview/lydvw.h"

namespace docview {
namespace {

Recognition Of(std::string_view bytes) {
    return RecognizeContent({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
}

std::string ZipWithFirstEntry(std::string_view name, std::string_view body) {
    std::string zip("PK\x03\x04", 4);
    zip.append(22, '\0');
    zip.push_back(static_cast<char>(name.size()));
    zip.append(3, '\0');
    zip.append(name);
    zip.append(body);
    return zip;
}

TEST(RecognizeContent, SignaturesGiveKindAndFileId) {
    using namespace std::string_literals;
    struct Row {
        std::string bytes;
        FileKind kind;
        uint32_t fileId;
    };
    const Row rows[] = {
        {"%PDF-1.7\n%\xE2\xE3\n1 0 obj", FileKind::Pdf, LYDVW_FI_PDF},
        {"\r\n\r\n%PDF-1.4 junk before", FileKind::Pdf, LYDVW_FI_PDF},
        {"\x89PNG\r\n\x1A\n\0\0\0\rIHDR"s, FileKind::Image, LYDVW_FI_PNG},
        {"\xFF\xD8\xFF\xE0\0\x10JFIF"s, FileKind::Image, LYDVW_FI_JPEG},
        {"GIF89a\x01\0\x01\0"s, FileKind::Image, LYDVW_FI_GIF},
        {"II*\0\x08\0\0\0"s, FileKind::Image, LYDVW_FI_TIFF},
        {"MM\0*\0\0\0\x08"s, FileKind::Image, LYDVW_FI_TIFF},
        {"BM\x46\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0\x01\0\0\0\x01\0\0\0"s, FileKind::Image, LYDVW_FI_BMP},
        {"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1\0\0"s, FileKind::WordProcessor, LYDVW_FI_OLE_DOC},
        {"{\\rtf1\\ansi hello}", FileKind::WordProcessor, LYDVW_FI_RTF},
        {ZipWithFirstEntry("mimetype", "application/vnd.oasis.opendocument.text"), FileKind::WordProcessor,
         LYDVW_FI_ODF_DOC},
        {ZipWithFirstEntry("[Content_Types].xml", "<Types/>word/document.xml"), FileKind::WordProcessor,
         LYDVW_FI_OOXML_DOC},
        {ZipWithFirstEntry("notes.txt", "hello"), FileKind::Unsupported, LYDVW_FI_ZIP},
        {"\x1F\x8B\x08\0"s, FileKind::Unsupported, LYDVW_FI_GZIP},
        {std::string(257, 'a') + "ustar\0"s, FileKind::Unsupported, LYDVW_FI_TAR},
        {"\xEF\xBB\xBFhello", FileKind::Text, LYDVW_FI_TEXT_UTF8},
        {"\xFF\xFEh\0i\0"s, FileKind::Text, LYDVW_FI_TEXT_UTF16},
        {"\xFE\xFF\0h\0i"s, FileKind::Text, LYDVW_FI_TEXT_UTF16},
        {"plain words\r\nand a second line\n", FileKind::Text, LYDVW_FI_TEXT_UTF8},
        {"gr\xC3\xBC\xC3\x9F dich", FileKind::Text, LYDVW_FI_TEXT_UTF8},
        {"caf\xE9 cr\xE8me \x80 price", FileKind::Text, LYDVW_FI_TEXT_1252},
        {"\xC3", FileKind::Text, LYDVW_FI_TEXT_1252},  // a cut sequence in a whole (short) file is no UTF-8
        {"\x01\x02\x03\0\x04\x05"s, FileKind::Unknown, 0},
    };
    for (const Row& row : rows) {
        const Recognition r = Of(row.bytes);
        EXPECT_EQ(r.kind, row.kind) << testing::PrintToString(row.bytes);
        EXPECT_EQ(r.fileId, row.fileId) << testing::PrintToString(row.bytes);
        if (row.kind != FileKind::Unknown) {
            EXPECT_FALSE(r.typeName.empty());
        }
    }
}

TEST(RecognizeContent, RandomBytesAreNoKnownFormat) {
    std::mt19937 random(15);
    std::string bytes(kRecognitionHead, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    EXPECT_EQ(Of(bytes).kind, FileKind::Unknown);
}

TEST(RecognizeContent, Utf8CutAtTheEndOfTheHeadIsStillText) {
    std::string bytes(kRecognitionHead - 1, 'a');
    bytes += "\xE2";  // first byte of a three-byte sequence
    EXPECT_EQ(Of(bytes).encoding, TextEncoding::Utf8);
}

}  // namespace
}  // namespace docview
