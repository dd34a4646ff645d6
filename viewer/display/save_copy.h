// Save As of the browser pane's document: the document goes to the chosen file and its stylesheet beside
// it under the stylesheet's own name, so the copy shows as the original did.
#pragma once

#include <filesystem>
#include <system_error>

namespace display {

// Copies `document` to `target` and, when `stylesheet` is not empty, the stylesheet into `target`'s folder,
// both overwriting. Whole or not at all: each file is replaced whole, and when the document cannot be
// written the stylesheet's target is put back as it was. On failure `failedPath` (when given) names the
// file that could not be read or written.
std::error_code SaveDocumentCopy(const std::filesystem::path& document,
                                 const std::filesystem::path& stylesheet, const std::filesystem::path& target,
                                 std::filesystem::path* failedPath = nullptr);

}  // namespace display
