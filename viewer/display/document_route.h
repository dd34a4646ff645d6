// Which pane a document goes to, decided from its name as the viewer always has: the extension is taken from
// the last "." of the last path component (either separator), lower-cased, and tested for "xslt", then "xml".
#pragma once

#include <string>
#include <string_view>

namespace display {

enum class DocumentRoute {
    Stylesheet,  // remembered for the next XML document, nothing shown
    Xml,         // the browser pane
    Other,       // the document-view control
};

// From the last "." of the last component to its end, lower-cased; empty when that component has no ".".
std::string ExtensionOf(std::string_view path);
DocumentRoute RouteFor(std::string_view path);

}  // namespace display
