#include "artwork.h"
#include "look.h"

#include <QPainterPath>

#include <functional>

using namespace Look;

namespace {

constexpr int Width = 600;
constexpr int Height = 300;

void page(QPainter &p, QImage &image, const QString &heading, int number)
{
    begin(p, image);
    dialogFrame(p, sizeOf(image), QStringLiteral("How to use Tolvane"),
                QStringLiteral("%1 of 2").arg(number));
    text(p, QRectF(24, 38, 400, 24), heading, Ink, 15, true);
}

void footer(QPainter &p, const QString &hint)
{
    hairline(p, 16, Width - 16, Height - 34);
    text(p, QRectF(16, Height - 32, Width - 36, 30), hint, AccentLo, 12, true,
         Qt::AlignRight | Qt::AlignVCenter);
}

// A numbered step: an accent disc with the number, and one or two lines of text.
void step(QPainter &p, qreal y, int number, const QString &line1, const QString &line2 = QString())
{
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(Accent);
    p.drawEllipse(QRectF(24, y, 22, 22));
    p.restore();
    text(p, QRectF(24, y, 22, 22), QString::number(number), Snow, 12, true, Qt::AlignCenter);
    if (line2.isEmpty()) {
        text(p, QRectF(56, y, 260, 22), line1, Ink, 13);
    } else {
        text(p, QRectF(56, y - 8, 260, 20), line1, Ink, 13);
        text(p, QRectF(56, y + 10, 260, 20), line2, InkSoft, 12);
    }
}

void keyCap(QPainter &p, const QRectF &r, const QString &label)
{
    p.save();
    p.setPen(QPen(QColor(0xa9, 0xb6, 0xc3), 1));
    p.setBrush(Card);
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), Radius, Radius);
    p.setPen(QPen(QColor(0xc9, 0xd2, 0xda), 2));
    p.drawLine(QPointF(r.left() + 3, r.bottom() - 1.5), QPointF(r.right() - 3, r.bottom() - 1.5));
    p.restore();
    text(p, r.adjusted(0, -1, 0, -1), label, Ink, 11, true, Qt::AlignCenter);
}

// A small picture of the search box with a typed text, its inline completion and
// the list under it.
void searchPicture(QPainter &p, const QRectF &at)
{
    const qreal x = at.left(), y = at.top();
    darkPanel(p, QRectF(x, y, 240, 48));
    p.save();
    p.setPen(QPen(QColor(0x4a, 0x5c, 0x6f), 1));
    p.setBrush(QColor(0x10, 0x16, 0x1d));
    p.drawRoundedRect(QRectF(x + 12.5, y + 12.5, 170, 23), Radius, Radius);
    p.restore();
    p.save();
    p.setFont(font(13));
    const QFontMetricsF fm(p.font());
    const QString typed = QStringLiteral("ca");
    const QString rest = QStringLiteral("lculator");
    const qreal tx = x + 20, base = y + 29;
    p.setPen(Snow);
    p.drawText(QPointF(tx, base), typed);
    const qreal w = fm.horizontalAdvance(typed);
    p.fillRect(QRectF(tx + w, y + 15, fm.horizontalAdvance(rest) + 1, 18), Accent);
    p.drawText(QPointF(tx + w, base), rest);
    p.restore();
    // Run button.
    buttonFace(p, QRectF(x + 188, y + 12.5, 42, 23), Face::Primary, State::Normal);
    text(p, QRectF(x + 188, y + 12.5, 42, 23), QStringLiteral("Run"), Snow, 11, true, Qt::AlignCenter);

    // The list under the box, the first row highlighted.
    const QRectF list(x + 12, y + 44, 171, 72);
    p.save();
    p.setPen(QPen(Line, 1));
    p.setBrush(Card);
    p.drawRect(list.adjusted(0.5, 0.5, -0.5, -0.5));
    const QString rows[] = {QStringLiteral("Calculator"), QStringLiteral("Calendar"),
                            QStringLiteral("Camera")};
    for (int i = 0; i < 3; ++i) {
        const QRectF row(list.left() + 1, list.top() + 1 + 23.3 * i, list.width() - 2, 23.3);
        if (i == 0)
            p.fillRect(row, AccentPale);
        p.setPen(Qt::NoPen);
        p.setBrush(i == 0 ? Accent : QColor(0xb4, 0xc0, 0xcc));
        p.drawRoundedRect(QRectF(row.left() + 6, row.top() + 5, 13, 13), 3, 3);
        text(p, QRectF(row.left() + 26, row.top(), 120, row.height()), rows[i], Ink, 12, i == 0);
    }
    p.restore();
}

QImage firstPage()
{
    QImage image = canvas(Width, Height);
    QPainter p;
    page(p, image, QStringLiteral("Find a program and start it"), 1);
    // Step 1 and the hotkey's key cap depend on the desktop (hotkey, tray): the help
    // window draws them.
    step(p, 82, 1, QString());
    step(p, 126, 2, QStringLiteral("Type a few letters of its name"));
    step(p, 164, 3, QStringLiteral("Choose with Up / Down or the mouse"));
    step(p, 202, 4, QStringLiteral("Press Return to start it"));

    searchPicture(p, QRectF(338, 76, 240, 120));
    keyCap(p, QRectF(534, 132, 30, 22), QStringLiteral("\u2191"));
    keyCap(p, QRectF(534, 158, 30, 22), QStringLiteral("\u2193"));
    keyCap(p, QRectF(482, 210, 68, 24), QStringLiteral("Return \u21b5"));
    footer(p, QStringLiteral("Click to go on \u203a"));
    return image;
}

// One row of page 2: a small picture on the left, a title and a line of text (the
// help window draws the lines that depend on the desktop).
void feature(QPainter &p, qreal y, const std::function<void(QPainter &, const QRectF &)> &picture,
             const QString &title, const QString &line)
{
    picture(p, QRectF(24, y, 64, 32));
    text(p, QRectF(104, y - 2, 470, 18), title, Ink, 13, true);
    text(p, QRectF(104, y + 15, 470, 18), line, InkSoft, 12);
}

void darkTile(QPainter &p, const QRectF &r)
{
    p.save();
    p.setPen(QPen(Rim, 1));
    p.setBrush(PanelBottom);
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), Radius, Radius);
    p.restore();
}

QImage secondPage()
{
    QImage image = canvas(Width, Height);
    QPainter p;
    page(p, image, QStringLiteral("More from the window"), 2);

    feature(
        p, 68,
        [](QPainter &q, const QRectF &r) {
            darkTile(q, r);
            for (int i = 0; i < 3; ++i)
                buttonFace(q, QRectF(r.left() + 5 + 18.5 * i, r.top() + 9, 17, 14), Face::Dark,
                           State::Normal);
        },
        QStringLiteral("The three buttons above the box"),
        QStringLiteral("start the programs you use most, with one click."));

    feature(
        p, 107,
        [](QPainter &q, const QRectF &r) {
            darkTile(q, r);
            const QRectF b(r.center().x() - 11, r.top() + 5, 22, 22);
            q.save();
            q.setPen(QPen(QColor(190, 200, 90), 1));
            q.setBrush(QColor(200, 230, 100));
            q.drawRect(b.adjusted(0.5, 0.5, -0.5, -0.5));
            q.restore();
            const QImage pen = [] {
                QImage img = canvas(18, 18);
                QPainter pp;
                begin(pp, img);
                pp.scale(18 / 32.0, 18 / 32.0);
                pp.translate(16, 16);
                pp.rotate(-45);
                pp.setPen(QPen(Ink, 1.6));
                pp.setBrush(AccentLo);
                pp.drawRect(QRectF(-8, -4, 18, 8));
                QPainterPath tip;
                tip.moveTo(-14, 0);
                tip.lineTo(-8, -4);
                tip.lineTo(-8, 4);
                tip.closeSubpath();
                pp.setBrush(QColor(0xf1, 0xd9, 0xa6));
                pp.drawPath(tip);
                return img;
            }();
            q.drawImage(QPointF(b.left() + 2, b.top() + 2), pen);
        },
        QStringLiteral("Rename an entry"),
        QStringLiteral("Click the small pencil beside a row of the list and type a new name."));

    feature(
        p, 146,
        [](QPainter &q, const QRectF &r) {
            darkTile(q, r);
            const QRectF b(r.center().x() - 14, r.top() + 2, 28, 28);
            q.save();
            QPainterPath shape;
            shape.addRoundedRect(b.adjusted(0.5, 0.5, -0.5, -0.5), Radius, Radius);
            q.setPen(Qt::NoPen);
            q.setBrush(QColor(0x12, 0x19, 0x21));
            q.drawPath(shape);
            q.setClipPath(shape);
            q.fillRect(QRectF(b.left(), b.top() + 19, b.width(), 9), AccentLo);
            q.restore();
            text(q, QRectF(b.left(), b.top() + 1, b.width(), 18), QStringLiteral("128"),
                 QColor(250, 250, 200), 11, true, Qt::AlignCenter);
        },
        QStringLiteral("Manage your applications"),
        QStringLiteral("The count button shows how many; click it to add, rename or delete."));

    feature(
        p, 185,
        [](QPainter &q, const QRectF &r) {
            darkTile(q, r);
            // The gear, drawn as on the window's settings button.
            QPainterPath gear;
            gear.addEllipse(QPointF(0, 0), 6.6, 6.6);
            for (int i = 0; i < 8; ++i) {
                QPainterPath tooth;
                tooth.addRect(QRectF(-1.9, -9.6, 3.8, 4.8));
                QTransform t;
                t.rotate(45.0 * i);
                gear = gear.united(t.map(tooth));
            }
            QPainterPath hole;
            hole.addEllipse(QPointF(0, 0), 2.8, 2.8);
            gear = gear.subtracted(hole);
            q.save();
            q.translate(r.center());
            q.setPen(Qt::NoPen);
            q.setBrush(Snow);
            q.drawPath(gear);
            q.restore();
        },
        QStringLiteral("Settings"), QString());

    feature(
        p, 224,
        [](QPainter &q, const QRectF &r) {
            darkTile(q, r);
            q.save();
            q.setPen(QPen(Snow, 2.2, Qt::SolidLine, Qt::RoundCap));
            const QPointF c(r.left() + 18, r.center().y());
            q.drawLine(c + QPointF(-5, -5), c + QPointF(5, 5));
            q.drawLine(c + QPointF(5, -5), c + QPointF(-5, 5));
            q.restore();
            text(q, QRectF(r.left() + 30, r.top(), 30, r.height()), QStringLiteral("Esc"), Mist, 11, true,
                 Qt::AlignCenter);
        },
        QStringLiteral("Hide it"), QString());

    footer(p, QStringLiteral("Click to close"));
    return image;
}

} // namespace

namespace Artwork {

std::vector<Entry> helpPages()
{
    return {{QStringLiteral("HELP1"), firstPage()}, {QStringLiteral("HELP2"), secondPage()}};
}

} // namespace Artwork
