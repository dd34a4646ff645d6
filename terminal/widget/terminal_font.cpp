// Creating and measuring the terminal font with Qt, and the fitting loop that sizes it to the window.
#include "terminal/widget/terminal_font.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/codepage.h"

namespace terminal {
namespace {

constexpr const char* kAlphabet = "abcdefghijklmnopqrstuvwxyz";
// What a height of 0 asks for: the face's ordinary size.
constexpr int kDefaultPixels = 12;
constexpr uint8_t kCross = 0xC5;
constexpr std::string_view kTerminalFace = "Terminal";
constexpr const char* kSubstitutionNotice =
    "The system detected a problem with The Carrowline font file. Another font file was substituted "
    "temporarily. This substitution might cause fonts to appear different on screen. To correct the "
    "problem, restart the system at the next opportunity. ";

QFontMetrics Metrics(const QFont& font, QPaintDevice* device) {
    return device != nullptr ? QFontMetrics(font, device) : QFontMetrics(font);
}

QFontMetricsF MetricsF(const QFont& font, QPaintDevice* device) {
    return device != nullptr ? QFontMetricsF(font, device) : QFontMetricsF(font);
}

int CellHeightAt(QFont font, int pixels, QPaintDevice* device) {
    font.setPixelSize(pixels);
    return Metrics(font, device).height();
}

std::string LoadErrorText(std::string_view face) {
    return "Error Loading Font\"" + std::string(face) + "\"";
}

bool InRange(int32_t v) {
    return v >= 1 && v <= 99;
}

}  // namespace

QString FamilyFor(std::string_view face, bool fixedPitch) {
    const QString wanted = QString::fromUtf8(face.data(), static_cast<qsizetype>(face.size()));
    if (!wanted.isEmpty() && QFontDatabase::hasFamily(wanted)) {
        return wanted;
    }
    const std::string_view standIn = fixedPitch ? kStandInFamily : kStandInSansFamily;
    const QString family = QString::fromUtf8(standIn.data(), static_cast<qsizetype>(standIn.size()));
    if (QFontDatabase::hasFamily(family)) {
        return family;
    }
    return QFontDatabase::systemFont(fixedPitch ? QFontDatabase::FixedFont : QFontDatabase::GeneralFont)
        .family();
}

QFont CreateLogFont(const suite::LogFont& font, bool fixedPitch, QPaintDevice* device) {
    QFont f(FamilyFor(font.faceName, fixedPitch));
    f.setStyleHint(fixedPitch ? QFont::TypeWriter : QFont::SansSerif);
    f.setFixedPitch(fixedPitch);
    f.setKerning(false);
    f.setWeight(font.weight <= 0 ? QFont::Normal
                                 : static_cast<QFont::Weight>(std::clamp(font.weight, 1, 1000)));
    f.setItalic(font.italic != 0);
    f.setUnderline(font.underline != 0);
    f.setStrikeOut(font.strikeOut != 0);

    const int height = std::min(std::abs(font.height), kMaxFontPixels);
    if (font.height == 0) {
        f.setPixelSize(kDefaultPixels);
    } else if (font.height < 0) {
        f.setPixelSize(std::max(height, 1));
    } else {
        // A positive height is the whole cell: the largest size whose ascent plus descent stays within it.
        const int full = CellHeightAt(f, height, device);
        int pixels = full > 0 ? std::max(1, height * height / full) : height;
        while (pixels < height && CellHeightAt(f, pixels + 1, device) <= height) {
            ++pixels;
        }
        while (pixels > 1 && CellHeightAt(f, pixels, device) > height) {
            --pixels;
        }
        f.setPixelSize(pixels);
    }
    if (font.width > 0) {
        const double natural = MetricsF(f, device).horizontalAdvance(QString::fromLatin1(kAlphabet)) / 26.0;
        if (natural > 0) {
            const double wanted = std::min(font.width, kMaxFontPixels);
            f.setStretch(static_cast<int>(std::clamp(std::lround(100.0 * wanted / natural), 1L, 4000L)));
        }
    }
    return f;
}

CellSize MeasureCell(const QFont& font, QPaintDevice* device) {
    const QFontMetrics fm = Metrics(font, device);
    // One line of "gMgMgMgMgMgMg" is as high as the face's ascent plus descent, whatever its glyphs.
    return {fm.horizontalAdvance(QString::fromLatin1(kAlphabet)) / 26, fm.height()};
}

CellSize MeasureCharacter(const QFont& font, uint8_t byte, QPaintDevice* device) {
    const QFontMetrics fm = Metrics(font, device);
    const QString text(QChar(static_cast<char16_t>(platform::Cp437ToUnicode(byte))));
    return {fm.horizontalAdvance(text), fm.height()};
}

QFont GridFont(const QFont& font, int32_t cellWidth, QPaintDevice* device) {
    QFont grid = font;
    const qreal advance = MetricsF(font, device).horizontalAdvance(QChar(u'M'));
    grid.setLetterSpacing(QFont::AbsoluteSpacing, cellWidth - advance);
    return grid;
}

std::optional<CellSize> QtFontMeasurer::MeasureCross(const suite::LogFont& font) {
    if (std::abs(font.height) > kMaxFontPixels || font.width > kMaxFontPixels) {
        // Too large to be worth rendering: report it as the oversized cell it would be.
        return CellSize{std::clamp(font.width, 1, kMaxFontPixels),
                        std::clamp(std::abs(font.height), 1, kMaxFontPixels)};
    }
    return MeasureCharacter(CreateTerminalFont(font, m_device), kCross, m_device);
}

int32_t FaceLimit(std::string_view face) {
    struct Limit {
        std::string_view face;
        int32_t limit;
    };
    static constexpr Limit kLimits[] = {
        {"Terminal", 16}, {"TarnFont", 16},    {"Lucida Console", 13}, {"Letter Gothic CP437", 13},
        {"Fixedsys", 10}, {"Courier New", 13}, {"Courier", 16},
    };
    for (const Limit& l : kLimits) {
        if (platform::EqualsNoCase(face, l.face)) {
            return l.limit;
        }
    }
    return 13;
}

FontFit FitTerminalFont(const suite::LogFont& start, int32_t cx, int32_t cy, FontMeasurer& measurer,
                        platform::UserPrompt& prompt) {
    FontFit fit;
    fit.font = start;
    if (!measurer.MeasureCross(fit.font)) {
        prompt.Message(LoadErrorText(fit.font.faceName), platform::PromptIcon::Stop);
        return fit;
    }
    const int32_t targetWidth = cx / 80;
    const int32_t targetHeight = cy / 25;
    suite::LogFont& lf = fit.font;
    lf.width = targetWidth;
    lf.height = targetHeight;
    for (;;) {
        const std::optional<CellSize> m = measurer.MeasureCross(lf);
        if (!m) {
            prompt.Message(LoadErrorText(lf.faceName), platform::PromptIcon::Stop);
            return fit;
        }
        fit.measured = *m;
        if (!InRange(m->width) || !InRange(m->height)) {
            if (!platform::EqualsNoCase(lf.faceName, suite::kDefaultFontFace)) {
                fit.result = 1;
                break;
            }
            prompt.Message(kSubstitutionNotice);
            lf.faceName = std::string(kTerminalFace);
            lf.width = targetWidth;
            lf.height = targetHeight;
            fit.substituted = true;
            continue;
        }
        if (targetWidth >= m->width && targetHeight >= m->height) {
            fit.result = 1;
            break;
        }
        // Shrink one step, keeping the face's proportions near three high to one wide.
        bool stepped = false;
        if (targetWidth < lf.width || targetWidth < m->width || lf.height < 3 * lf.width) {
            if (lf.width < 5) {
                --lf.height;
            } else {
                --lf.width;
            }
            stepped = true;
        }
        if (targetHeight >= lf.height && targetHeight >= m->height && 3 * lf.width >= lf.height) {
            if (!stepped) {
                --lf.width;
                --lf.height;
            }
        } else if (lf.height > 4) {
            --lf.height;
        } else {
            --lf.width;
        }
        if (lf.height < 1 || lf.width < 1) {
            fit.result = 0;
            break;
        }
    }
    fit.created = true;
    const bool proper = lf.height > 10 && lf.width > 5 &&
                        (platform::EqualsNoCase(lf.faceName, suite::kDefaultFontFace) ||
                         lf.height >= FaceLimit(lf.faceName) - 2);
    if (!proper) {
        lf.width = fit.measured.width;
        lf.height = fit.measured.height;
        fit.result = 0;
    }
    return fit;
}

}  // namespace terminal
