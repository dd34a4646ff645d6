#include "viewer/display/save_copy.h"

#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "platform/atomic_file.h"

namespace display {
namespace {

namespace fs = std::filesystem;

std::error_code ReadWhole(const fs::path& path, std::string& bytes) {
    std::error_code error;
    if (!fs::is_regular_file(path, error)) {
        return error ? error : std::make_error_code(std::errc::invalid_argument);
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::make_error_code(std::errc::permission_denied);
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        return std::make_error_code(std::errc::io_error);
    }
    return {};
}

bool SameFile(const fs::path& a, const fs::path& b) {
    std::error_code error;
    return fs::equivalent(a, b, error) && !error;
}

std::error_code Fail(std::error_code error, const fs::path& path, fs::path* failedPath) {
    if (failedPath) {
        *failedPath = path;
    }
    return error;
}

}  // namespace

std::error_code SaveDocumentCopy(const fs::path& document, const fs::path& stylesheet, const fs::path& target,
                                 fs::path* failedPath) {
    if (document.empty() || target.empty() || !target.has_filename()) {
        return Fail(std::make_error_code(std::errc::invalid_argument), target, failedPath);
    }
    std::string documentBytes;
    if (auto error = ReadWhole(document, documentBytes)) {
        return Fail(error, document, failedPath);
    }
    const bool writeDocument = !SameFile(document, target);

    std::string sheetBytes;
    fs::path sheetTarget;
    std::optional<std::string> sheetBefore;  // null: there was no file to put back
    if (!stylesheet.empty()) {
        const fs::path name = stylesheet.filename();
        if (name.empty() || name == "." || name == "..") {
            return Fail(std::make_error_code(std::errc::invalid_argument), stylesheet, failedPath);
        }
        sheetTarget = target.parent_path() / name;
        if (sheetTarget.lexically_normal() == target.lexically_normal() || SameFile(sheetTarget, target)) {
            // One of the two would overwrite the other.
            return Fail(std::make_error_code(std::errc::file_exists), target, failedPath);
        }
        if (auto error = ReadWhole(stylesheet, sheetBytes)) {
            return Fail(error, stylesheet, failedPath);
        }
        if (SameFile(stylesheet, sheetTarget)) {
            sheetTarget.clear();  // saved into the stylesheet's own folder: it is there already
        } else {
            std::error_code error;
            const auto status = fs::symlink_status(sheetTarget, error);
            if (fs::is_regular_file(status)) {
                std::string before;
                if (auto readError = ReadWhole(sheetTarget, before)) {
                    return Fail(readError, sheetTarget, failedPath);
                }
                sheetBefore = std::move(before);
            } else if (fs::exists(status)) {
                // A link or anything else there would not come back as it was.
                return Fail(std::make_error_code(std::errc::file_exists), sheetTarget, failedPath);
            }
        }
    }

    if (!sheetTarget.empty()) {
        if (auto error = platform::WriteFileAtomically(sheetTarget, sheetBytes)) {
            return Fail(error, sheetTarget, failedPath);
        }
    }
    if (writeDocument) {
        if (auto error = platform::WriteFileAtomically(target, documentBytes)) {
            if (!sheetTarget.empty()) {
                std::error_code ignored;
                if (sheetBefore) {
                    platform::WriteFileAtomically(sheetTarget, *sheetBefore);
                } else {
                    fs::remove(sheetTarget, ignored);
                }
            }
            return Fail(error, target, failedPath);
        }
    }
    return {};
}

}  // namespace display
