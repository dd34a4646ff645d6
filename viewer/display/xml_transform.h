// The browser pane's XML: a document is shown through the XSLT stylesheet its xml-stylesheet instruction
// names, else through the viewer's remembered stylesheet, else as its own source text. Nothing is fetched
// from the network, no external entity is read, and every file read lies beside the document (or beside
// the remembered stylesheet, which the host named itself).
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace display {

enum class TransformStatus {
    Html,           // `content` is the transform's HTML
    Text,           // `content` is plain text: the source itself, or a transform whose output is text
    Unreadable,     // the document cannot be read
    BadXml,         // the document is not well-formed
    BadStylesheet,  // the stylesheet cannot be read, is not XSLT, lies outside the folder, or fails
};

struct TransformResult {
    TransformStatus status = TransformStatus::Unreadable;
    std::string content;               // UTF-8
    std::filesystem::path stylesheet;  // the stylesheet applied; empty when none
    std::string message;               // why nothing is shown, for the log
    bool Shown() const { return status == TransformStatus::Html || status == TransformStatus::Text; }
};

struct TransformOptions {
    // The stylesheet used when the document names none (the viewer's StylesheetPath); empty for none.
    std::filesystem::path fallbackStylesheet;
    // A document or stylesheet larger than this is refused rather than read into memory.
    size_t maxFileBytes = size_t{64} << 20;
};

// For the pane's own loads (pictures, style sheets the HTML names): the file `reference` names, relative to
// the document, when it is a regular file directly in `folder` after links are resolved; nothing for
// another scheme, another folder or a missing file.
std::optional<std::filesystem::path> ResourceBeside(const std::filesystem::path& folder,
                                                    std::string_view reference);

TransformResult TransformXmlDocument(const std::filesystem::path& document,
                                     const TransformOptions& options = {});

}  // namespace display
