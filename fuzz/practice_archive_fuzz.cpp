// Fuzzes the binary readers of the practice model: every legacy practice.lst layout, format detection and
// the hand-over block. Any input must end in success or ArchiveError, never a crash or a runaway allocation.
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/user_prompt.h"
#include "practice/memory_mapped_file.h"
#include "practice/prac_file.h"
#include "practice/practice_log.h"

namespace {
class SilentPrompt : public platform::UserPrompt {
  public:
    platform::PromptResult Show(const platform::PromptRequest&) override {
        return platform::PromptResult::Ok;
    }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SilentPrompt prompt;
    static bool once = [] {
        platform::SetDefaultPrompt(&prompt);
        practice::SetLogSink([](std::string_view) {});
        return true;
    }();
    (void)once;
    const std::span<const uint8_t> bytes(data, size);

    practice::CPracFile file;
    (void)practice::CPracFile::DetectFormat("practice.lst", bytes);
    (void)file.LoadHeaded(bytes);
    (void)file.LoadBeta(bytes);
    (void)file.LoadText(bytes);
    try {
        file.LoadVersion4(bytes);
    } catch (const practice::ArchiveError&) {
    }
    try {
        (void)file.LoadVersion5(bytes);
    } catch (const practice::ArchiveError&) {
    }
    try {
        (void)practice::DecodePracticeConnBlock(bytes);
    } catch (const practice::ArchiveError&) {
    }
    return 0;
}
