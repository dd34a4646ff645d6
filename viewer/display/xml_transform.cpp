// XML to the browser pane through libxml2 and libxslt, locked down: the parser never substitutes or loads
// external entities or DTDs and never touches the network; libxslt's document loader and its security
// preferences only let files beside the document (or the named stylesheet) be read, and forbid all writes.
#include "viewer/display/xml_transform.h"

#include <fcntl.h>
#include <iconv.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>
#include <libxml/uri.h>
#include <libxml/xmlerror.h>
#include <libxslt/documents.h>
#include <libxslt/imports.h>
#include <libxslt/security.h>
#include <libxslt/transform.h>
#include <libxslt/xslt.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/codepage.h"
#include "platform/unique_fd.h"

namespace display {
namespace {

namespace fs = std::filesystem;

// No XML_PARSE_NOENT, XML_PARSE_DTDLOAD, XML_PARSE_DTDVALID or XML_PARSE_XINCLUDE: entities stay references,
// no DTD is fetched. Errors are collected from the context instead of going to standard error.
constexpr int kDocumentOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
constexpr int kStylesheetOptions = kDocumentOptions | XML_PARSE_NOCDATA;
constexpr int kUnsafeOptions = XML_PARSE_NOENT | XML_PARSE_DTDLOAD | XML_PARSE_DTDATTR | XML_PARSE_DTDVALID |
                               XML_PARSE_XINCLUDE | XML_PARSE_HUGE;

// What the loaders of the transform running on this thread may read.
struct ReadScope {
    std::vector<fs::path> folders;  // canonical
    size_t maxBytes = 0;
    std::string errors;  // libxslt's messages, for the result
};
thread_local ReadScope* t_scope = nullptr;

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

// Reads `path` when it is a regular file, after links are resolved, directly inside one of `folders`.
std::optional<std::string> ReadBeside(const fs::path& path, const std::vector<fs::path>& folders,
                                      size_t maxBytes, std::string& why) {
    std::error_code error;
    const fs::path real = fs::canonical(path, error);
    if (error) {
        why = "\"" + path.string() + "\" cannot be read: " + error.message() + ".";
        return std::nullopt;
    }
    if (std::find(folders.begin(), folders.end(), real.parent_path()) == folders.end()) {
        why = "\"" + path.string() + "\" lies outside the document's folder and is not read.";
        return std::nullopt;
    }
    platform::UniqueFd fd(::open(real.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    struct stat info {};
    if (!fd || ::fstat(fd.Get(), &info) != 0) {
        why = "\"" + path.string() + "\" cannot be read: " + std::strerror(errno) + ".";
        return std::nullopt;
    }
    if (!S_ISREG(info.st_mode)) {
        why = "\"" + path.string() + "\" is not a regular file.";
        return std::nullopt;
    }
    if (static_cast<uint64_t>(info.st_size) > maxBytes) {
        why = "\"" + path.string() + "\" is too large to show.";
        return std::nullopt;
    }
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd.Get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            why = "\"" + path.string() + "\" cannot be read: " + std::strerror(errno) + ".";
            return std::nullopt;
        }
        if (got == 0) {
            break;
        }
        bytes.append(buffer, static_cast<size_t>(got));
        if (bytes.size() > maxBytes) {
            why = "\"" + path.string() + "\" is too large to show.";
            return std::nullopt;
        }
    }
    return bytes;
}

// A reference from a stylesheet instruction, an import or document() as a local path; nothing for another
// scheme (no network) or a Windows drive path, which cannot be read beside the document.
std::optional<fs::path> LocalPathOf(std::string_view reference, const fs::path& base, std::string& why) {
    std::string text(reference);
    size_t colon = text.find(':');
    const bool hasScheme =
        colon != std::string::npos && colon > 0 &&
        std::all_of(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(colon), [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
        });
    if (hasScheme) {
        if (!platform::EqualsNoCase(std::string_view(text).substr(0, colon), "file")) {
            why = "\"" + text + "\" is not a file beside the document; nothing is fetched.";
            return std::nullopt;
        }
        text.erase(0, colon + 1);
        if (text.starts_with("//localhost/")) {
            text.erase(0, 11);
        } else if (text.starts_with("//")) {
            if (text.size() > 2 && text[2] != '/') {
                why = "\"" + std::string(reference) + "\" names another host; nothing is fetched.";
                return std::nullopt;
            }
            text.erase(0, 2);
        }
    }
    if (const size_t fragment = text.find_first_of("#?"); fragment != std::string::npos) {
        text.erase(fragment);
    }
    if (text.empty()) {
        why = "\"" + std::string(reference) + "\" names no file.";
        return std::nullopt;
    }
    char* unescaped = xmlURIUnescapeString(text.c_str(), 0, nullptr);
    if (unescaped != nullptr) {
        text = unescaped;
        xmlFree(unescaped);
    }
    std::replace(text.begin(), text.end(), '\\', '/');
    fs::path path(text);
    return path.is_absolute() ? path : base / path;
}

xmlDocPtr ParseBytes(const std::string& bytes, const fs::path& url, int options, xmlDictPtr dict,
                     std::string& why) {
    xmlParserCtxtPtr parser = xmlNewParserCtxt();
    if (parser == nullptr) {
        why = "Out of memory.";
        return nullptr;
    }
    if (dict != nullptr) {
        // Stylesheet parts must share the stylesheet's dictionary, as libxslt's own loader arranges.
        if (parser->dict != nullptr) {
            xmlDictFree(parser->dict);
        }
        parser->dict = dict;
        xmlDictReference(dict);
    }
    if (bytes.size() > static_cast<size_t>(INT32_MAX)) {
        xmlFreeParserCtxt(parser);
        why = "\"" + url.string() + "\" is too large to show.";
        return nullptr;
    }
    xmlDocPtr doc = xmlCtxtReadMemory(parser, bytes.data(), static_cast<int>(bytes.size()), url.c_str(),
                                      nullptr, options);
    if (doc == nullptr || !parser->wellFormed) {
        const xmlError* error = xmlCtxtGetLastError(parser);
        why = "\"" + url.string() + "\" is not well-formed XML";
        if (error != nullptr && error->message != nullptr) {
            why += " (line " + std::to_string(error->line) + ": " + Trimmed(error->message) + ")";
        }
        why += ".";
        if (doc != nullptr) {
            xmlFreeDoc(doc);
            doc = nullptr;
        }
    }
    xmlFreeParserCtxt(parser);
    return doc;
}

// libxslt's loader for imports, includes and document(): the same safe options and the same folders.
xmlDocPtr ScopedLoader(const xmlChar* uri, xmlDictPtr dict, int options, void*, xsltLoadType) {
    if (t_scope == nullptr || uri == nullptr) {
        return nullptr;
    }
    std::string why;
    const auto path = LocalPathOf(reinterpret_cast<const char*>(uri), t_scope->folders.front(), why);
    std::optional<std::string> bytes;
    if (path) {
        bytes = ReadBeside(*path, t_scope->folders, t_scope->maxBytes, why);
    }
    if (!bytes) {
        t_scope->errors += why + "\n";
        return nullptr;
    }
    const int safe = (options & ~kUnsafeOptions) | kDocumentOptions;
    xmlDocPtr doc = ParseBytes(*bytes, *path, safe, dict, why);
    if (doc == nullptr) {
        t_scope->errors += why + "\n";
    }
    return doc;
}

int ForbidAccess(xsltSecurityPrefsPtr, xsltTransformContextPtr, const char* value) {
    if (t_scope != nullptr) {
        t_scope->errors += std::string("Access to \"") + (value ? value : "") + "\" is not allowed.\n";
    }
    return 0;
}

int CheckRead(xsltSecurityPrefsPtr, xsltTransformContextPtr, const char* value) {
    if (t_scope == nullptr || value == nullptr) {
        return 0;
    }
    std::string why;
    const auto path = LocalPathOf(value, t_scope->folders.front(), why);
    std::error_code error;
    const fs::path real = path ? fs::weakly_canonical(*path, error) : fs::path();
    if (path && !error &&
        std::find(t_scope->folders.begin(), t_scope->folders.end(), real.parent_path()) !=
            t_scope->folders.end()) {
        return 1;
    }
    t_scope->errors +=
        (why.empty() ? "\"" + std::string(value) + "\" lies outside the document's folder." : why) + "\n";
    return 0;
}

void CollectXsltError(void*, const char* format, ...) {
    if (t_scope == nullptr || format == nullptr) {
        return;
    }
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    t_scope->errors += text;
}

xmlParserInputPtr RefuseExternalEntity(const char* url, const char*, xmlParserCtxtPtr) {
    if (t_scope != nullptr) {
        t_scope->errors += std::string("External entity \"") + (url ? url : "") + "\" is not read.\n";
    }
    return nullptr;
}

xsltSecurityPrefsPtr NewSecurityPrefs() {
    xsltSecurityPrefsPtr prefs = xsltNewSecurityPrefs();
    if (prefs != nullptr) {
        xsltSetSecurityPrefs(prefs, XSLT_SECPREF_READ_FILE, CheckRead);
        xsltSetSecurityPrefs(prefs, XSLT_SECPREF_WRITE_FILE, ForbidAccess);
        xsltSetSecurityPrefs(prefs, XSLT_SECPREF_CREATE_DIRECTORY, ForbidAccess);
        xsltSetSecurityPrefs(prefs, XSLT_SECPREF_READ_NETWORK, ForbidAccess);
        xsltSetSecurityPrefs(prefs, XSLT_SECPREF_WRITE_NETWORK, ForbidAccess);
    }
    return prefs;
}

// The loader, the entity loader, the error sink and the default preferences are process-wide in libxml2 and
// libxslt; they are set once and consult the calling thread's scope.
void InitialiseOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        xmlInitParser();
        xmlSetExternalEntityLoader(RefuseExternalEntity);
        xsltSetLoaderFunc(ScopedLoader);
        xsltSetGenericErrorFunc(nullptr, CollectXsltError);
        // Kept for the life of the process: imports are checked against the defaults while a stylesheet is
        // parsed, before any transform context exists.
        xsltSetDefaultSecurityPrefs(NewSecurityPrefs());
    });
}

struct ScopeGuard {
    explicit ScopeGuard(ReadScope& scope) : m_previous(t_scope) { t_scope = &scope; }
    ~ScopeGuard() { t_scope = m_previous; }
    ReadScope* m_previous;
};

struct PseudoAttributes {
    std::string href;
    std::string type;
    std::string alternate;
};

// The pseudo-attributes of an xml-stylesheet instruction: name="value" or name='value' pairs.
PseudoAttributes ParsePseudoAttributes(std::string_view text) {
    PseudoAttributes result;
    size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) {
            ++at;
        }
        const size_t nameStart = at;
        while (at < text.size() && text[at] != '=' && !std::isspace(static_cast<unsigned char>(text[at]))) {
            ++at;
        }
        const std::string_view name = text.substr(nameStart, at - nameStart);
        while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) {
            ++at;
        }
        if (at >= text.size() || text[at] != '=') {
            break;
        }
        ++at;
        while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) {
            ++at;
        }
        if (at >= text.size() || (text[at] != '"' && text[at] != '\'')) {
            break;
        }
        const char quote = text[at++];
        const size_t end = text.find(quote, at);
        if (end == std::string_view::npos) {
            break;
        }
        std::string value(text.substr(at, end - at));
        at = end + 1;
        // The predefined entities are the only ones a pseudo-attribute may carry.
        for (auto [entity, character] :
             {std::pair{"&quot;", "\""}, {"&apos;", "'"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&amp;", "&"}}) {
            for (size_t found = value.find(entity); found != std::string::npos;
                 found = value.find(entity, found + 1)) {
                value.replace(found, std::strlen(entity), character);
            }
        }
        if (name == "href") {
            result.href = value;
        } else if (name == "type") {
            result.type = value;
        } else if (name == "alternate") {
            result.alternate = value;
        }
    }
    return result;
}

// The href of the document's first XSLT xml-stylesheet instruction (a CSS one does not apply here).
std::optional<std::string> NamedStylesheet(xmlDocPtr doc) {
    for (xmlNodePtr node = doc->children; node != nullptr && node->type != XML_ELEMENT_NODE;
         node = node->next) {
        if (node->type != XML_PI_NODE || node->name == nullptr ||
            std::strcmp(reinterpret_cast<const char*>(node->name), "xml-stylesheet") != 0) {
            continue;
        }
        const auto attributes =
            ParsePseudoAttributes(node->content ? reinterpret_cast<const char*>(node->content) : "");
        const std::string type = platform::LowerAscii(attributes.type);
        const bool xslt = type.empty() || type == "text/xsl" || type == "text/xml" ||
                          type == "application/xml" || type == "application/xslt+xml";
        if (xslt && attributes.alternate != "yes" && !attributes.href.empty()) {
            return attributes.href;
        }
    }
    return std::nullopt;
}

// The source as UTF-8 text from the encoding the parser found; bytes it cannot convert are kept as they are.
std::string SourceAsUtf8(const std::string& bytes, const xmlChar* declared) {
    std::string encoding = declared ? reinterpret_cast<const char*>(declared) : "";
    std::transform(encoding.begin(), encoding.end(), encoding.begin(),
                   [](unsigned char c) { return std::toupper(c); });
    if (encoding.empty() || encoding == "UTF-8" || encoding == "UTF8" || encoding == "US-ASCII" ||
        encoding == "ASCII") {
        return bytes.starts_with("\xEF\xBB\xBF") ? bytes.substr(3) : bytes;
    }
    iconv_t converter = iconv_open("UTF-8", encoding.c_str());
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        return bytes;
    }
    std::string out(bytes.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    char* to = out.data();
    size_t outLeft = out.size();
    const size_t converted = iconv(converter, &in, &inLeft, &to, &outLeft);
    iconv_close(converter);
    if (converted == static_cast<size_t>(-1)) {
        return bytes;
    }
    out.resize(out.size() - outLeft);
    return out.starts_with("\xEF\xBB\xBF") ? out.substr(3) : out;
}

struct DocFree {
    void operator()(xmlDocPtr doc) const { xmlFreeDoc(doc); }
};
using DocPtr = std::unique_ptr<xmlDoc, DocFree>;

TransformResult Failure(TransformStatus status, std::string message) {
    TransformResult result;
    result.status = status;
    result.message = std::move(message);
    return result;
}

TransformResult Apply(xmlDocPtr doc, const fs::path& stylesheetPath, ReadScope& scope) {
    std::string why;
    const auto bytes = ReadBeside(stylesheetPath, scope.folders, scope.maxBytes, why);
    if (!bytes) {
        return Failure(TransformStatus::BadStylesheet, "The stylesheet " + why);
    }
    xmlDocPtr styleDoc = ParseBytes(*bytes, stylesheetPath, kStylesheetOptions, nullptr, why);
    if (styleDoc == nullptr) {
        return Failure(TransformStatus::BadStylesheet, "The stylesheet " + why);
    }
    scope.errors.clear();
    xsltStylesheetPtr style = xsltParseStylesheetDoc(styleDoc);
    if (style == nullptr || style->errors != 0) {
        // A stylesheet that failed to parse does not own its document.
        if (style != nullptr) {
            xsltFreeStylesheet(style);
        } else {
            xmlFreeDoc(styleDoc);
        }
        return Failure(TransformStatus::BadStylesheet,
                       "\"" + stylesheetPath.string() + "\" is not a usable XSLT stylesheet" +
                           (scope.errors.empty() ? "." : ": " + Trimmed(scope.errors)));
    }
    // The pane takes UTF-8 whatever the stylesheet asks for; the result's own charset says so too.
    if (style->encoding != nullptr) {
        xmlFree(style->encoding);
    }
    style->encoding = xmlStrdup(reinterpret_cast<const xmlChar*>("UTF-8"));

    TransformResult result;
    xsltTransformContextPtr context = xsltNewTransformContext(style, doc);
    xsltSecurityPrefsPtr prefs = NewSecurityPrefs();
    if (context == nullptr || prefs == nullptr || xsltSetCtxtSecurityPrefs(prefs, context) != 0) {
        result = Failure(TransformStatus::BadStylesheet, "Out of memory.");
    } else {
        DocPtr output(xsltApplyStylesheetUser(style, doc, nullptr, nullptr, nullptr, context));
        if (!output || context->state != XSLT_STATE_OK) {
            result = Failure(TransformStatus::BadStylesheet,
                             "The stylesheet \"" + stylesheetPath.string() + "\" failed" +
                                 (scope.errors.empty() ? "." : ": " + Trimmed(scope.errors)));
        } else {
            xmlChar* text = nullptr;
            int length = 0;
            if (xsltSaveResultToString(&text, &length, output.get(), style) != 0) {
                result =
                    Failure(TransformStatus::BadStylesheet, "The stylesheet's result cannot be written out.");
            } else {
                const xmlChar* method = nullptr;
                XSLT_GET_IMPORT_PTR(method, style, method)
                result.status =
                    method != nullptr && xmlStrEqual(method, reinterpret_cast<const xmlChar*>("text"))
                        ? TransformStatus::Text
                        : TransformStatus::Html;
                result.content.assign(text ? reinterpret_cast<const char*>(text) : "",
                                      static_cast<size_t>(length));
                result.stylesheet = stylesheetPath;
            }
            xmlFree(text);
        }
    }
    if (context != nullptr) {
        xsltFreeTransformContext(context);
    }
    if (prefs != nullptr) {
        xsltFreeSecurityPrefs(prefs);
    }
    xsltFreeStylesheet(style);
    return result;
}

}  // namespace

std::optional<fs::path> ResourceBeside(const fs::path& folder, std::string_view reference) {
    std::string why;
    std::error_code error;
    const fs::path realFolder = fs::canonical(folder, error);
    const auto path = error ? std::nullopt : LocalPathOf(reference, realFolder, why);
    if (!path) {
        return std::nullopt;
    }
    const fs::path real = fs::canonical(*path, error);
    if (error || real.parent_path() != realFolder || !fs::is_regular_file(real, error)) {
        return std::nullopt;
    }
    return real;
}

TransformResult TransformXmlDocument(const fs::path& document, const TransformOptions& options) {
    InitialiseOnce();
    std::error_code error;
    const fs::path real = fs::canonical(document, error);
    if (error) {
        return Failure(TransformStatus::Unreadable,
                       "\"" + document.string() + "\" cannot be read: " + error.message() + ".");
    }
    ReadScope scope;
    scope.folders.push_back(real.parent_path());
    scope.maxBytes = options.maxFileBytes;
    ScopeGuard guard(scope);

    std::string why;
    const auto bytes = ReadBeside(real, scope.folders, scope.maxBytes, why);
    if (!bytes) {
        return Failure(TransformStatus::Unreadable, "The document " + why);
    }
    DocPtr doc(ParseBytes(*bytes, real, kDocumentOptions, nullptr, why));
    if (!doc) {
        return Failure(TransformStatus::BadXml, why);
    }
    if (const auto href = NamedStylesheet(doc.get())) {
        const auto path = LocalPathOf(*href, real.parent_path(), why);
        if (!path) {
            return Failure(TransformStatus::BadStylesheet, "The document's stylesheet " + why);
        }
        return Apply(doc.get(), *path, scope);
    }
    if (!options.fallbackStylesheet.empty()) {
        const fs::path stylesheet = fs::canonical(options.fallbackStylesheet, error);
        if (error) {
            return Failure(TransformStatus::BadStylesheet, "The stylesheet \"" +
                                                               options.fallbackStylesheet.string() +
                                                               "\" cannot be read: " + error.message() + ".");
        }
        // The host named this stylesheet itself, so its own folder may be read as well.
        if (std::find(scope.folders.begin(), scope.folders.end(), stylesheet.parent_path()) ==
            scope.folders.end()) {
            scope.folders.push_back(stylesheet.parent_path());
        }
        return Apply(doc.get(), stylesheet, scope);
    }
    TransformResult result;
    result.status = TransformStatus::Text;
    result.content = SourceAsUtf8(*bytes, doc->encoding);
    return result;
}

}  // namespace display
