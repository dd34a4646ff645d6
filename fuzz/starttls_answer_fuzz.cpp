// Fuzzes the check of the host's answer to STARTTLS: any bytes give a verdict that fits them, and judging
// a longer run of the same bytes never moves the verdict back, since the caller judges as bytes arrive.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "hostlink/remote_pipe.h"

namespace {

using hostlink::StartTlsVerdict;

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

constexpr std::string_view kWord = "READYFORTLS";

void CheckFits(std::string_view seen, const hostlink::StartTlsAnswer& answer) {
    const std::size_t found = seen.substr(0, hostlink::kStartTlsAnswerLimit).find(kWord);
    switch (answer.verdict) {
        case StartTlsVerdict::Waiting:
            Check(found == std::string_view::npos && seen.size() < hostlink::kStartTlsAnswerLimit);
            break;
        case StartTlsVerdict::ReadyIfQuiet:
            Check(seen.ends_with(kWord) || seen.ends_with("READYFORTLS\r"));
            break;
        case StartTlsVerdict::Ready:
            Check(found != std::string_view::npos &&
                  (seen.size() - found == kWord.size() + 1 || seen.size() - found == kWord.size() + 2));
            Check(seen.ends_with("\n"));
            break;
        case StartTlsVerdict::Refused:
            Check(!answer.why.empty());
            break;
    }
    Check(answer.verdict == StartTlsVerdict::Refused || answer.why.empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view seen(reinterpret_cast<const char*>(data), size);
    const hostlink::StartTlsAnswer whole = hostlink::JudgeStartTlsAnswer(seen);
    CheckFits(seen, whole);
    // The answers to a few shorter runs, as the reads brought them: never further on than the whole.
    const std::array<std::size_t, 5> cuts = {size / 4, size / 2, size - std::min<std::size_t>(size, 13),
                                             size - std::min<std::size_t>(size, 2),
                                             size - std::min<std::size_t>(size, 1)};
    for (const std::size_t cut : cuts) {
        const hostlink::StartTlsAnswer part = hostlink::JudgeStartTlsAnswer(seen.substr(0, cut));
        CheckFits(seen.substr(0, cut), part);
        Check(part.verdict <= whole.verdict);
    }
    return 0;
}
