// Button art: a few pictures (people, calendar, page, windows, calculator) and short glyphs for the rest,
// in one colour per toolbar so the bars read at a glance.
#include "terminal/bars/bar_art.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <array>
#include <string_view>
#include <utility>

#include "terminal/bars/toolbar_tables.h"

namespace terminal::bars {

namespace {

enum class Picture {
    Glyph,
    Person,
    NewPerson,
    EditPerson,
    Calendar,
    Page,
    Windows,
    Calculator,
    Play,
    TabArrow
};

struct Face {
    int32_t id;
    Picture picture;
    std::string_view glyph;
};

constexpr std::array kFaces = {
    Face{32783, Picture::NewPerson, ""},
    Face{32784, Picture::Person, ""},
    Face{32782, Picture::EditPerson, ""},
    Face{32785, Picture::Calendar, ""},
    Face{32778, Picture::Page, ""},
    Face{32774, Picture::Glyph, "Px"},
    Face{32772, Picture::Glyph, "$"},
    Face{32775, Picture::Glyph, "Ed"},
    Face{32776, Picture::Glyph, "E$"},
    Face{32788, Picture::Glyph, "C$"},
    Face{32786, Picture::Glyph, "EC"},
    Face{32777, Picture::Glyph, "VC"},
    Face{32773, Picture::Glyph, "Hx"},
    Face{32787, Picture::Glyph, "MC"},
    Face{32780, Picture::Glyph, "EMC"},
    Face{32781, Picture::Glyph, "ERS"},
    Face{32789, Picture::Glyph, "NS"},
    Face{106, Picture::Glyph, "Ph"},
    Face{32806, Picture::Glyph, "++"},
    Face{32807, Picture::Glyph, "="},
    Face{32808, Picture::Glyph, "-"},
    Face{32809, Picture::TabArrow, ""},
    Face{32810, Picture::Glyph, "&"},
    Face{32811, Picture::Glyph, "!"},
    Face{32812, Picture::Glyph, "*"},
    Face{32791, Picture::Glyph, "<<"},
    Face{32792, Picture::Glyph, "<"},
    Face{32793, Picture::Glyph, ">"},
    Face{32794, Picture::Glyph, ">>"},
    Face{32795, Picture::Glyph, "G"},
    Face{32796, Picture::NewPerson, ""},
    Face{32803, Picture::Glyph, "TP"},
    Face{32801, Picture::Glyph, "D?"},
    Face{32797, Picture::Glyph, "R?"},
    Face{32798, Picture::Glyph, "M?"},
    Face{32799, Picture::Glyph, "MS"},
    Face{32800, Picture::Glyph, "WL"},
    Face{32790, Picture::Glyph, "+W"},
    Face{32802, Picture::Calendar, ""},
    Face{32804, Picture::Glyph, "S"},
    Face{32805, Picture::Glyph, "S+"},
    Face{32813, Picture::Glyph, "Nv"},
    Face{32814, Picture::Glyph, "PU"},
    Face{32816, Picture::Glyph, "TV"},
    Face{32815, Picture::Glyph, "LV"},
    Face{kNewWindowButton, Picture::Windows, ""},
    Face{kCalculatorButton, Picture::Calculator, ""},
    Face{kProcessButton, Picture::Play, ""},
    Face{kHelpButton, Picture::Glyph, "?"},
    Face{kEscapeButton, Picture::Glyph, "Esc"},
};

QColor BarColour(int32_t id) {
    switch (ToolbarHandlerOf(id).value_or(ToolbarKind::Control)) {
        case ToolbarKind::System:
            return QColor(0, 64, 140);
        case ToolbarKind::MedicalRecords:
            return QColor(128, 0, 64);
        case ToolbarKind::Appointment:
            return QColor(0, 110, 60);
        case ToolbarKind::Mpi:
            return QColor(110, 70, 0);
        case ToolbarKind::Control:
            break;
    }
    return QColor(40, 40, 40);
}

void DrawGlyph(QPainter& p, std::string_view glyph, const QColor& colour) {
    QFont font(QStringLiteral("Sans Serif"));
    font.setPixelSize(glyph.size() >= 3 ? 7 : (glyph.size() == 2 ? 9 : 12));
    font.setBold(true);
    font.setStyleStrategy(QFont::NoAntialias);
    p.setFont(font);
    p.setPen(colour);
    p.drawText(QRect(0, 0, kToolbarImageWidth, kToolbarImageHeight), Qt::AlignCenter,
               QString::fromLatin1(glyph.data(), static_cast<qsizetype>(glyph.size())));
}

void DrawPerson(QPainter& p, const QColor& colour) {
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawEllipse(QRect(4, 1, 6, 6));
    QPainterPath body;
    body.moveTo(1, 14);
    body.cubicTo(1, 8, 13, 8, 13, 14);
    body.closeSubpath();
    p.drawPath(body);
}

void DrawPicture(QPainter& p, const Face& face, const QColor& colour) {
    switch (face.picture) {
        case Picture::Glyph:
            DrawGlyph(p, face.glyph, colour);
            return;
        case Picture::Person:
            DrawPerson(p, colour);
            return;
        case Picture::NewPerson:
            DrawPerson(p, colour);
            p.setPen(QPen(QColor(0, 150, 0), 2));
            p.drawLine(13, 1, 13, 7);
            p.drawLine(10, 4, 16, 4);
            return;
        case Picture::EditPerson:
            DrawPerson(p, colour);
            p.setPen(QPen(QColor(200, 120, 0), 2));
            p.drawLine(15, 1, 9, 9);
            return;
        case Picture::Calendar:
            p.setPen(colour);
            p.setBrush(Qt::white);
            p.drawRect(1, 2, 13, 11);
            p.fillRect(2, 3, 12, 3, colour);
            for (int y = 8; y <= 11; y += 3) {
                for (int x = 3; x <= 12; x += 3) {
                    p.fillRect(x, y, 2, 2, colour);
                }
            }
            return;
        case Picture::Page:
            p.setPen(colour);
            p.setBrush(Qt::white);
            p.drawRect(3, 1, 10, 13);
            for (int y = 4; y <= 11; y += 2) {
                p.drawLine(5, y, 11, y);
            }
            return;
        case Picture::Windows:
            p.setPen(colour);
            p.setBrush(Qt::white);
            p.drawRect(1, 1, 9, 8);
            p.fillRect(2, 2, 8, 2, colour);
            p.drawRect(5, 5, 9, 8);
            p.fillRect(6, 6, 8, 2, colour);
            return;
        case Picture::Calculator:
            p.setPen(colour);
            p.setBrush(QColor(230, 230, 230));
            p.drawRect(2, 0, 11, 14);
            p.fillRect(4, 2, 8, 3, QColor(160, 200, 160));
            for (int y = 7; y <= 11; y += 2) {
                for (int x = 4; x <= 10; x += 3) {
                    p.fillRect(x, y, 2, 1, colour);
                }
            }
            return;
        case Picture::Play: {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0, 140, 0));
            const QPointF points[] = {{4, 2}, {13, 7.5}, {4, 13}};
            p.drawPolygon(points, 3);
            return;
        }
        case Picture::TabArrow:
            p.setPen(QPen(colour, 2));
            p.drawLine(1, 7, 11, 7);
            p.drawLine(8, 4, 11, 7);
            p.drawLine(8, 10, 11, 7);
            p.drawLine(14, 3, 14, 12);
            return;
    }
}

QPixmap Transparent(int width, int height) {
    QPixmap pixmap(width, height);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

void DrawArrow(QPainter& p, qreal tipY, bool up) {
    // A solid triangle 8 wide and 4 high whose tip is at tipY.
    const qreal baseY = up ? tipY + 4 : tipY - 4;
    const QPointF points[] = {{1, baseY}, {5, tipY}, {9, baseY}};
    p.drawPolygon(points, 3);
}

}  // namespace

QPixmap ToolbarImage(int32_t id) {
    QPixmap pixmap = Transparent(kToolbarImageWidth, kToolbarImageHeight);
    QPainter p(&pixmap);
    const QColor colour = BarColour(id);
    for (const Face& face : kFaces) {
        if (face.id == id) {
            DrawPicture(p, face, colour);
            return pixmap;
        }
    }
    DrawGlyph(p, "?", colour);
    return pixmap;
}

QPixmap StatusButtonImage(int32_t id) {
    QPixmap pixmap = Transparent(kStatusImageSize, kStatusImageSize);
    QPainter p(&pixmap);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    switch (id) {
        case 32833:  // previous item
            DrawArrow(p, 2, true);
            break;
        case 32832:  // next item
            DrawArrow(p, 7, false);
            break;
        case 32831:  // previous page
            DrawArrow(p, 0, true);
            DrawArrow(p, 5, true);
            break;
        case 32830:  // next page
            DrawArrow(p, 4, false);
            DrawArrow(p, 9, false);
            break;
        default:
            break;
    }
    return pixmap;
}

}  // namespace terminal::bars
