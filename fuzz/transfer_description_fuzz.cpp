// Fuzzes the host's file transfer description and the host path it names: any text must be refused with
// a message or give a port, a direction and a path within their bounds, and a path that translates must
// lie inside its drive's folder or the temp folder with no hidden name below it.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "hostlink/file_xfer.h"
#include "hostlink/tests/fake_owner.h"
#include "platform/host_path.h"
#include "platform/known_folders.h"
#include "platform/registry.h"

namespace {

namespace fs = std::filesystem;

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// C: is the home folder: one of the fuzzer's own, never the user's.
struct Setting {
    Setting() {
        root = fs::temp_directory_path() / ("carrowline-xfer-fuzz-" + std::to_string(::getpid()));
        fs::create_directories(root / "home");
        fs::create_directories(root / "tmp");
        ::setenv("HOME", (root / "home").c_str(), 1);
        ::setenv("TMPDIR", (root / "tmp").c_str(), 1);
        registry = std::make_unique<platform::Registry>(
            platform::Registry::Paths{root / "machine.reg", root / "user.reg"});
    }
    fs::path root;
    std::unique_ptr<platform::Registry> registry;
};

bool HiddenBelow(const fs::path& path, const fs::path& folder) {
    const fs::path below = path.lexically_relative(folder);
    if (below.empty() || *below.begin() == "..") {
        return true;  // not below it at all
    }
    for (const fs::path& part : below) {
        if (!part.native().empty() && part.native().front() == '.' && part != ".") {
            return true;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Setting setting;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    hostlink::testing::FakeOwner owner;
    hostlink::CClientFileXfer xfer;
    try {
        xfer.Init(text, owner, hostlink::DialBackTarget{"host", 0x0100007F});
    } catch (const hostlink::FileXferError& error) {
        Check(std::string_view(error.what()).size() > 0);
        return 0;
    }
    Check(xfer.Port() >= 1 && xfer.Port() <= 65535);
    Check(!xfer.Direction().empty() && xfer.Direction().size() <= hostlink::CClientFileXfer::kMaxDirection);
    Check(!xfer.Path().empty() && xfer.Path().size() <= hostlink::CClientFileXfer::kMaxPath);

    platform::HostPath paths(*setting.registry);
    const auto local = paths.Translate(xfer.Path());
    if (!local) {
        return 0;
    }
    const fs::path home = (setting.root / "home").lexically_normal();
    const fs::path temp = platform::TempFolder().lexically_normal();
    Check(!HiddenBelow(*local, home) || !HiddenBelow(*local, temp));
    return 0;
}
