// Fuzzes the custom menu file reader: any input must give an item list that writes back to the same bytes,
// or ArchiveError, never a crash or a runaway allocation.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "practice/archive.h"
#include "tools/custom_menu/custom_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    try {
        const practice::CCustomMenuItemArray items = tools::ParseCustomMenuFile(bytes);
        const practice::CCustomMenuItemArray again =
            tools::ParseCustomMenuFile(tools::FormatCustomMenuFile(items));
        if (!(again == items)) {
            std::abort();
        }
    } catch (const practice::ArchiveError&) {
    }
    return 0;
}
