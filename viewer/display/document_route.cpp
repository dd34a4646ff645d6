// The extension rule of the viewer's routing.
#include "viewer/display/document_route.h"

#include "platform/codepage.h"

namespace display {

std::string ExtensionOf(std::string_view path) {
    // Host paths use "\", local ones "/": a dotted folder must never lend its extension to the file.
    const size_t separator = path.find_last_of("/\\");
    const std::string_view name = separator == std::string_view::npos ? path : path.substr(separator + 1);
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) {
        return {};
    }
    return platform::LowerAscii(name.substr(dot));
}

DocumentRoute RouteFor(std::string_view path) {
    const std::string extension = ExtensionOf(path);
    if (extension.find("xslt") != std::string::npos) {
        return DocumentRoute::Stylesheet;
    }
    if (extension.find("xml") != std::string::npos) {
        return DocumentRoute::Xml;
    }
    return DocumentRoute::Other;
}

}  // namespace display
