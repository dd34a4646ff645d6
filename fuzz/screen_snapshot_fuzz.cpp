// Fuzzes the screen snapshot a new window adopts: any image must be refused or give a screen whose cursor,
// tokens and buffered bytes are in range, that draws only on the screen and keeps reading the host.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "fuzz/screen_checks.h"
#include "terminal/core/screen.h"
#include "terminal/core/screen_snapshot.h"

using fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Short inputs are spread over a blank image so that the fuzzer reaches the fields at its end too.
    std::vector<uint8_t> image(data, data + size);
    if (size < terminal::snapshot::kSize && size > 0) {
        std::vector<uint8_t> spread = terminal::CTerminalScreen().SnapshotImage();
        const size_t offset = data[0] * (terminal::snapshot::kSize / 256);
        for (size_t i = 1; i < size && offset + i < spread.size(); ++i) {
            spread[offset + i] = data[i];
        }
        image = std::move(spread);
    }
    terminal::CTerminalScreen screen;
    fuzz::CheckingPainter painter;
    screen.SetPainter(&painter);
    screen.SetCellSize(8, 16);
    if (!screen.AdoptSnapshotImage(image)) {
        return 0;
    }
    fuzz::CheckInvariants(screen);
    screen.Repaint(true);
    static const uint8_t kMore[] = "\x1b[2;3Hmore text\x1b[0m\r\n";
    screen.Feed(std::span<const uint8_t>(kMore, sizeof kMore - 1));
    screen.Repaint(true);

    terminal::CTerminalScreen again;
    Check(again.AdoptSnapshotImage(screen.SnapshotImage()));
    Check(again.SnapshotImage() == screen.SnapshotImage());
    return 0;
}
