// Fuzzes the practice.xml reader from memory, and a successful read through a write and a second read,
// which must give the same practices back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "practice/prac_file.h"
#include "practice/practice_log.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool once = [] {
        practice::SetLogSink([](std::string_view) {});
        return true;
    }();
    (void)once;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    (void)practice::CPracFile::DetectFormat("practice.xml", std::span<const uint8_t>(data, size));
    practice::CPracFile file;
    if (!file.ReadXml(text)) {
        return 0;
    }
    std::string written;
    if (!file.WriteXml(written)) {
        std::abort();
    }
    practice::CPracFile again;
    if (!again.ReadXml(written) || again.GetPractices().size() != file.GetPractices().size()) {
        std::abort();
    }
    for (size_t i = 0; i < file.GetPractices().size(); ++i) {
        if (!again.GetPractices()[i].SameFields(file.GetPractices()[i])) {
            std::abort();
        }
    }
    return 0;
}
