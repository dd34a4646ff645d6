// Recognising what a file holds from its bytes, never from its name: the engine decides from this whether
// it shows a document, refuses it, or shows the bytes as text.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace docview {

enum class FileKind : uint8_t {
    Pdf,
    Image,
    WordProcessor,  // accepted and shown as a page naming the document
    Text,           // text the engine recognised (BOM or valid UTF-8)
    Unsupported,    // known but not shown: archives and the like
    Unknown,        // no known format: shown as text in the fallback encoding
};

enum class TextEncoding : uint8_t { None, Utf8, Utf16Le, Utf16Be };

struct Recognition {
    FileKind kind = FileKind::Unknown;
    uint32_t fileId = 0;        // LYDVW_FI_*
    std::string_view typeName;  // the file type's name for the file information
    TextEncoding encoding = TextEncoding::None;
};

inline constexpr size_t kRecognitionHead = 4096;

// `head` is the file's beginning: kRecognitionHead bytes, or the whole file when it is shorter.
Recognition RecognizeContent(std::span<const uint8_t> head);

}  // namespace docview
