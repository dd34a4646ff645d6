// Fuzzes the registry hive reader: any file must read as a tree of keys and values or as damaged, and a
// write into it must either keep every value it had and add the new one, or fail and leave the file as it
// was.
#include <unistd.h>

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "platform/registry.h"
#include "platform/win32_error.h"

namespace {

namespace fs = std::filesystem;
using platform::HKey;
using platform::RegValue;
using Values = std::vector<std::pair<std::string, RegValue>>;

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

const fs::path& Folder() {
    static const fs::path folder = [] {
        fs::path path = fs::temp_directory_path() / ("carrowline-hive-fuzz-" + std::to_string(::getpid()));
        fs::create_directories(path);
        return path;
    }();
    return folder;
}

std::string Contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every key below `key` with its values, depth first; false when the hive does not read.
bool Walk(const platform::Registry& registry, const std::string& key, int depth,
          std::vector<std::pair<std::string, Values>>& out) {
    Values values;
    const int32_t read = registry.EnumValues(HKey::CurrentUser, key, values);
    if (read == platform::win32::kInvalidData) {
        return false;
    }
    out.emplace_back(key, std::move(values));
    std::vector<std::string> keys;
    if (registry.EnumKeys(HKey::CurrentUser, key, keys) == platform::win32::kInvalidData) {
        return false;
    }
    if (depth >= 8) {
        return true;
    }
    for (const std::string& sub : keys) {
        if (!Walk(registry, key.empty() ? sub : key + "\\" + sub, depth + 1, out)) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fs::path user = Folder() / "user.reg";
    const fs::path machine = Folder() / "machine.reg";
    {
        std::ofstream out(user, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    std::error_code ec;
    fs::remove(machine, ec);
    platform::Registry registry({machine, user});

    std::vector<std::pair<std::string, Values>> before;
    const bool readable = Walk(registry, "", 0, before);
    const std::string bytes = Contents(user);

    const RegValue added = RegValue::String("fuzz");
    const int32_t wrote = registry.SetValue(HKey::CurrentUser, "Fuzz\\Added", "v", added);
    if (!readable || wrote != platform::win32::kSuccess) {
        // A damaged hive is never rewritten: what was there stays for the user to mend.
        Check(wrote != platform::win32::kSuccess || readable);
        Check(Contents(user) == bytes);
        return 0;
    }
    RegValue back;
    Check(registry.QueryValue(HKey::CurrentUser, "Fuzz\\Added", "v", back) == platform::win32::kSuccess);
    Check(back == added);
    for (const auto& [key, values] : before) {
        std::string lower = key;
        for (char& ch : lower) {
            ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        }
        if (lower == "fuzz\\added") {
            continue;  // the value written may have replaced one of these
        }
        Values now;
        Check(registry.EnumValues(HKey::CurrentUser, key, now) == platform::win32::kSuccess);
        for (const auto& value : values) {
            bool found = false;
            for (const auto& kept : now) {
                found = found || kept == value;
            }
            Check(found);
        }
    }
    return 0;
}
