// The terminal font: created from the registry's font description with a free monospace face standing in
// for the system's own, the cell measured from it, and the fitting that sizes it to the window.
#pragma once

#include <QFont>
#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/user_prompt.h"
#include "suite/registry_settings.h"
#include "terminal/core/screen.h"

class QPaintDevice;

namespace terminal {

// The face drawn for every terminal face the system does not have (TarnFont, Terminal, Lucida Console...):
// DejaVu Sans Mono, which carries the box-drawing and block glyphs of code page 437; failing it, the
// system's fixed-pitch font.
inline constexpr std::string_view kStandInFamily = "DejaVu Sans Mono";
// The stand-in for proportional faces (the screen print's title).
inline constexpr std::string_view kStandInSansFamily = "DejaVu Sans";
// A size beyond this is not rendered for measuring: it could only be measured as too large anyway.
inline constexpr int32_t kMaxFontPixels = 1000;

// The family a face name is drawn with here.
QString FamilyFor(std::string_view face, bool fixedPitch = true);
// A Qt font for `font`: a positive height is the cell height (ascent plus descent), a negative one the
// character height, 0 the default size; a width other than 0 is the average character width.
QFont CreateLogFont(const suite::LogFont& font, bool fixedPitch, QPaintDevice* device = nullptr);
inline QFont CreateTerminalFont(const suite::LogFont& font, QPaintDevice* device = nullptr) {
    return CreateLogFont(font, true, device);
}
// The screen's cell: width of the 26 small letters / 26, height of "gMgMgMgMgMgMg".
CellSize MeasureCell(const QFont& font, QPaintDevice* device = nullptr);
// The extent of one screen byte in `font`.
CellSize MeasureCharacter(const QFont& font, uint8_t byte, QPaintDevice* device = nullptr);
// `font` with its glyph advances set to `cellWidth`, so that a run drawn at once lands on the cell grid.
QFont GridFont(const QFont& font, int32_t cellWidth, QPaintDevice* device = nullptr);

// What fitting needs of the font machinery: create a font and measure the box-drawing cross (0xC5).
class FontMeasurer {
  public:
    virtual ~FontMeasurer() = default;
    // nullopt when the font cannot be created.
    virtual std::optional<CellSize> MeasureCross(const suite::LogFont& font) = 0;
};

class QtFontMeasurer final : public FontMeasurer {
  public:
    explicit QtFontMeasurer(QPaintDevice* device = nullptr) : m_device(device) {}
    std::optional<CellSize> MeasureCross(const suite::LogFont& font) override;

  private:
    QPaintDevice* m_device;
};

struct FontFit {
    // 1 when the font fits the target cell, 0 when it had to be given up or taken at the measured size.
    int32_t result = 0;
    // False when a font could not be created: nothing else is to be used then.
    bool created = false;
    suite::LogFont font;
    CellSize measured;
    // The damaged-face substitution happened: the fitted font is not to be saved.
    bool substituted = false;
};

// The largest cell of a face that is still read as that face's proper size.
int32_t FaceLimit(std::string_view face);

// Fits `start` (the registry's font) to 80 x 25 cells in a cx by cy area, shrinking it step by step until
// the measured cross fits the target cell. Messages go to `prompt`.
FontFit FitTerminalFont(const suite::LogFont& start, int32_t cx, int32_t cy, FontMeasurer& measurer,
                        platform::UserPrompt& prompt);

}  // namespace terminal
