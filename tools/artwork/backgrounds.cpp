#include "artwork.h"
#include "look.h"

#include <QPainterPath>

using namespace Look;

namespace {

// The main window: a dark panel with a darker status strip at the bottom, where the
// hotkey line and the feedback and donate buttons sit.
QImage mainBackground()
{
    QImage image = canvas(450, 126);
    QPainter p;
    begin(p, image);
    darkPanel(p, QRectF(0, 0, 450, 126));

    QPainterPath shape;
    shape.addRoundedRect(QRectF(1, 1, 448, 124), Radius - 1, Radius - 1);
    p.save();
    p.setClipPath(shape);
    p.fillRect(QRectF(0, 97, 450, 29), PanelDeep);
    p.fillRect(QRectF(0, 97, 450, 1), QColor(0x33, 0x40, 0x4f));
    p.restore();

    logo(p, QRectF(17, 6, 14, 14));
    text(p, QRectF(36, 3, 200, 20), QStringLiteral("Tolvane"), QColor(0xdc, 0xe5, 0xee), 12, true);
    return image;
}

QImage searchBar()
{
    QImage image = canvas(282, 26);
    QPainter p;
    begin(p, image);
    const QRectF r(0.5, 0.5, 281, 25);
    p.setPen(QPen(QColor(0x4a, 0x5c, 0x6f), 1));
    p.setBrush(QColor(0x10, 0x16, 0x1d));
    p.drawRoundedRect(r, Radius, Radius);
    // Inner shadow along the top edge makes the field read as sunk into the panel.
    p.setPen(QPen(QColor(0x0a, 0x0e, 0x12), 1));
    p.drawLine(QPointF(Radius, 1.5), QPointF(282 - Radius, 1.5));
    return image;
}

QImage splash()
{
    QImage image = canvas(400, 250);
    QPainter p;
    begin(p, image);
    darkPanel(p, QRectF(0, 0, 400, 250));
    logo(p, QRectF(40, 70, 80, 80));
    text(p, QRectF(140, 68, 240, 50), QStringLiteral("Tolvane"), Snow, 40, true);
    text(p, QRectF(142, 118, 240, 20), QStringLiteral("Type a few letters,"), Mist, 14);
    text(p, QRectF(142, 136, 240, 20), QStringLiteral("press Return, and it runs."), Mist, 14);
    p.fillRect(QRectF(40, 196, 320, 1), QColor(0x3a, 0x48, 0x58));
    text(p, QRectF(40, 204, 320, 18), QStringLiteral("Starting\u2026"), Mist, 11);
    return image;
}

QImage pencil(int size)
{
    QImage image = canvas(size, size);
    QPainter p;
    begin(p, image);
    p.scale(size / 32.0, size / 32.0);
    p.translate(16, 16);
    p.rotate(-45);
    const QPen outline(Ink, 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    // Tip pointing to the lower left: graphite, wood, body, ferrule, eraser.
    QPainterPath wood;
    wood.moveTo(-14, 0);
    wood.lineTo(-8, -4);
    wood.lineTo(-8, 4);
    wood.closeSubpath();
    p.setPen(outline);
    p.setBrush(QColor(0xf1, 0xd9, 0xa6));
    p.drawPath(wood);
    QPainterPath lead;
    lead.moveTo(-14, 0);
    lead.lineTo(-11.2, -1.9);
    lead.lineTo(-11.2, 1.9);
    lead.closeSubpath();
    p.setBrush(Ink);
    p.drawPath(lead);
    p.setBrush(AccentLo);
    p.drawRect(QRectF(-8, -4, 13, 8));
    p.setBrush(QColor(0xc9, 0xd2, 0xda));
    p.drawRect(QRectF(5, -4, 3, 8));
    p.setBrush(Bad);
    p.drawRoundedRect(QRectF(8, -4, 4.5, 8), 1.5, 1.5);
    return image;
}

QImage mark(bool ok)
{
    QImage image = canvas(48, 48);
    QPainter p;
    begin(p, image);
    p.setPen(QPen(ok ? Good : Bad, 7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    if (ok) {
        const QPointF check[] = {{9, 25}, {19, 35}, {39, 13}};
        p.drawPolyline(check, 3);
    } else {
        p.drawLine(QPointF(12, 12), QPointF(36, 36));
        p.drawLine(QPointF(36, 12), QPointF(12, 36));
    }
    return image;
}

// The alias editor: a small dark panel holding the text field and two buttons.
QImage editorBackground()
{
    QImage image = canvas(264, 46);
    QPainter p;
    begin(p, image);
    darkPanel(p, QRectF(0, 0, 264, 46));
    // Well behind the OK button so it sits on a defined spot.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x12, 0x19, 0x21));
    p.drawRoundedRect(QRectF(216.5, 12.5, 25, 25), Radius, Radius);
    return image;
}

QImage settingsBackground()
{
    QImage image = canvas(475, 297);
    QPainter p;
    begin(p, image);
    dialogFrame(p, sizeOf(image), QStringLiteral("Settings"));
    card(p, QRectF(10, 35, 455, 158));
    hairline(p, 20, 410, 111);
    hairline(p, 10, 465, 240);
    text(p, QRectF(20, 250, 280, 33), QStringLiteral("List length and transparency apply at once."), InkSoft,
         11);
    return image;
}

QImage managerBackground()
{
    QImage image = canvas(480, 400);
    QPainter p;
    begin(p, image);
    dialogFrame(p, sizeOf(image), QStringLiteral("Application Manager"),
                QStringLiteral("Double-click a row to rename it"));
    card(p, QRectF(7, 37, 467, 307));
    hairline(p, 10, 470, 349);
    return image;
}

QImage nameDialog(const QString &title, const QRectF &fields, qreal footerY, const QString &hint)
{
    QImage image = canvas(427, 161);
    QPainter p;
    begin(p, image);
    dialogFrame(p, sizeOf(image), title);
    card(p, fields);
    hairline(p, 6, 421, footerY);
    text(p, QRectF(14, footerY + 6, 230, 34), hint, InkSoft, 11);
    return image;
}

QImage aboutBackground()
{
    QImage image = canvas(376, 188);
    QPainter p;
    begin(p, image);
    dialogFrame(p, sizeOf(image), QStringLiteral("About Tolvane"));
    logo(p, QRectF(303, 44, 56, 56));
    text(p, QRectF(290, 104, 82, 18), QStringLiteral("Tolvane"), Ink, 12, true, Qt::AlignCenter);
    hairline(p, 12, 280, 92);
    return image;
}

} // namespace

namespace Artwork {

QImage appIcon(int size)
{
    QImage image = canvas(size, size);
    QPainter p;
    begin(p, image);
    Look::logo(p, QRectF(0, 0, size, size));
    return image;
}

std::vector<Entry> backgrounds()
{
    std::vector<Entry> out;
    out.push_back({QStringLiteral("BK"), mainBackground()});
    out.push_back({QStringLiteral("SEARCHBAR"), searchBar()});
    out.push_back({QStringLiteral("SPLASHSCREEN"), splash()});
    out.push_back({QStringLiteral("MAIN"), appIcon(100)});
    out.push_back({QStringLiteral("EDIT"), pencil(32)});
    out.push_back({QStringLiteral("EDITMAIN"), editorBackground()});
    out.push_back({QStringLiteral("R"), mark(true)});
    out.push_back({QStringLiteral("W"), mark(false)});
    out.push_back({QStringLiteral("SETTINGBK"), settingsBackground()});
    out.push_back({QStringLiteral("ATMAN"), managerBackground()});
    out.push_back(
        {QStringLiteral("ADDAPP"), nameDialog(QStringLiteral("Add Application"), QRectF(6, 34, 415, 64), 102,
                                              QStringLiteral("Choose a program with Browse\u2026"))});
    out.push_back(
        {QStringLiteral("MODAPP"), nameDialog(QStringLiteral("Modify Application"), QRectF(4, 34, 419, 64),
                                              104, QStringLiteral("Type the new name, then OK."))});
    out.push_back({QStringLiteral("ABOUT"), aboutBackground()});
    return out;
}

} // namespace Artwork
