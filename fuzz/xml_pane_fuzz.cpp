// Fuzzes the browser pane's XML transform: the input up to its first NUL byte is the document, the rest its
// stylesheet, both written beside each other. Whatever they say, a file outside their folder is never read,
// and a result either shows something or says why not.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "viewer/display/xml_transform.h"

namespace {

namespace fs = std::filesystem;

struct Folders {
    fs::path root;
    fs::path docs;
    fs::path secret;
    ~Folders() {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
};

const Folders& Setup() {
    static const Folders folders = [] {
        std::string pattern = (fs::temp_directory_path() / "xml-pane-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        const fs::path root(pattern);
        fs::create_directories(root / "docs");
        std::ofstream(root / "secret.txt") << "OUTSIDE-SECRET";
        return Folders{root, root / "docs", root / "secret.txt"};  // never a copy: its destructor clears up
    }();
    return folders;
}

void Write(const fs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Folders& folders = Setup();
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t split = input.find('\0');
    Write(folders.docs / "doc.xml", input.substr(0, split));
    Write(folders.docs / "style.xslt",
          split == std::string_view::npos ? std::string_view() : input.substr(split + 1));
    const auto result = display::TransformXmlDocument(folders.docs / "doc.xml",
                                                      {.fallbackStylesheet = folders.docs / "style.xslt"});
    if (result.Shown() != result.message.empty() ||
        result.content.find("OUTSIDE-SECRET") != std::string::npos) {
        std::abort();
    }
    if (fs::exists(folders.docs / "written")) {
        std::abort();
    }
    return 0;
}
