// Printing the screen: the largest print face whose 80-character sample fits the page width, a dated title
// and the 25 rows of characters, without colours.
#pragma once

#include <QDate>
#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/user_prompt.h"
#include "terminal/core/screen.h"

class QPaintDevice;

namespace terminal {

inline constexpr std::string_view kPrintFace = "Lucida Console";
inline constexpr std::string_view kPrintTitleFace = "Arial";
inline constexpr int32_t kMaxPrintHeight = 1999;
inline constexpr std::string_view kPrintSample =
    "aAbBcCdDeEfFgGhHiIjJkKlLmMnNoOpPqQrRsStTuUvVwWxXyYzZaAbBcCdDeEfFgGhHiIjJkKlLmMnN";

// Measures the print sample in the print face at a font height.
class PrintMeasurer {
  public:
    virtual ~PrintMeasurer() = default;
    // nullopt when the font cannot be created.
    virtual std::optional<int32_t> SampleWidth(int32_t height) = 0;
};

class QtPrintMeasurer final : public PrintMeasurer {
  public:
    explicit QtPrintMeasurer(QPaintDevice& device) : m_device(device) {}
    std::optional<int32_t> SampleWidth(int32_t height) override;

  private:
    QPaintDevice& m_device;
};

struct PrintHeight {
    bool fontFailed = false;
    // The print face's height, or none when nothing is to be printed.
    std::optional<int32_t> height;
};

// Tries heights 0, 1, 2 ... up to kMaxPrintHeight and takes the last whose sample fits `pageWidth`. A page
// on which even the largest height fits gets none, as does a font that cannot be created.
PrintHeight FindPrintHeight(int32_t pageWidth, PrintMeasurer& measurer);

// Prints the screen on `device` (a printer or PDF writer the caller has set up; one page). False when
// nothing was printed; a font that cannot be created shows "Error Loading Lucida Console Font".
bool PrintScreen(QPaintDevice& device, const CTerminalScreen& screen, const QDate& date,
                 platform::UserPrompt& prompt);
bool PrintScreen(QPaintDevice& device, const CTerminalScreen& screen, const QDate& date,
                 PrintMeasurer& measurer, platform::UserPrompt& prompt);

// "Screen Print on Thursday, December 10, 2026".
QString PrintTitle(const QDate& date);

}  // namespace terminal
