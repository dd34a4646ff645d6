// The stand-in for a missing word processor.
#include "viewer/word_processor.h"

namespace viewer {

namespace {
constexpr const char* kNone = "no word processor is installed";
}

bool NoWordProcessor::Probe(std::string& why) {
    why = kNone;
    return false;
}

std::unique_ptr<WordApplication> NoWordProcessor::Start(std::string& why) {
    why = kNone;
    return nullptr;
}

bool NoWordProcessor::Print(const std::filesystem::path&, std::string& why) {
    why = kNone;
    return false;
}

}  // namespace viewer
