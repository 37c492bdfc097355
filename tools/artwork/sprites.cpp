#include "artwork.h"
#include "look.h"

#include <QPainterPath>

#include <cmath>
#include <functional>

using namespace Look;

namespace {

using Painter = std::function<void(QPainter &, const QRectF &, State)>;

// Stacks one cell per state vertically, in the strip order the style sheets expect.
QImage stack(int width, const std::vector<int> &heights, const std::vector<State> &order, const Painter &draw)
{
    int total = 0;
    for (int h : heights)
        total += h;
    QImage image = canvas(width, total);
    QPainter p;
    begin(p, image);
    int y = 0;
    for (std::size_t i = 0; i < order.size(); ++i) {
        p.save();
        p.setClipRect(QRect(0, y, width, heights[i]));
        draw(p, QRectF(0, y, width, heights[i]), order[i]);
        p.restore();
        y += heights[i];
    }
    return image;
}

QImage stripes(int width, int strip, const std::vector<State> &order, const Painter &draw)
{
    return stack(width, std::vector<int>(order.size(), strip), order, draw);
}

const std::vector<State> TopMiddleBottom{State::Normal, State::Hovered, State::Pressed};
// Sheets whose bottom strip is the hovered one and whose middle strip is pressed.
const std::vector<State> NormalPressedHovered{State::Normal, State::Pressed, State::Hovered};

// --- the 16 px glyph buttons of the main window ---------------------------------

void glyphGround(QPainter &p, const QRectF &r, State state, bool danger)
{
    if (state == State::Normal)
        return;
    QColor c;
    if (state == State::Hovered)
        c = danger ? Bad : QColor(0x3f, 0x52, 0x66);
    else
        c = danger ? Bad.darker(135) : Accent;
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawRoundedRect(r.adjusted(0, 0, 0, 0), 4, 4);
    p.restore();
}

QColor glyphColour(State state)
{
    return state == State::Normal ? Mist : Snow;
}

void closeGlyph(QPainter &p, const QRectF &r, State state)
{
    glyphGround(p, r, state, true);
    p.save();
    p.setPen(QPen(glyphColour(state), 1.7, Qt::SolidLine, Qt::RoundCap));
    const QPointF c = r.center();
    p.drawLine(c + QPointF(-3.5, -3.5), c + QPointF(3.5, 3.5));
    p.drawLine(c + QPointF(3.5, -3.5), c + QPointF(-3.5, 3.5));
    p.restore();
}

void gearGlyph(QPainter &p, const QRectF &r, State state)
{
    glyphGround(p, r, state, false);
    QPainterPath gear;
    gear.addEllipse(QPointF(0, 0), 4.4, 4.4);
    for (int i = 0; i < 8; ++i) {
        QPainterPath tooth;
        tooth.addRect(QRectF(-1.25, -6.4, 2.5, 3.2));
        QTransform t;
        t.rotate(45.0 * i);
        gear = gear.united(t.map(tooth));
    }
    QPainterPath hole;
    hole.addEllipse(QPointF(0, 0), 1.9, 1.9);
    gear = gear.subtracted(hole);
    p.save();
    p.translate(r.center());
    p.setPen(Qt::NoPen);
    p.setBrush(glyphColour(state));
    p.drawPath(gear);
    p.restore();
}

void bubbleGlyph(QPainter &p, const QRectF &r, State state)
{
    glyphGround(p, r, state, false);
    QPainterPath bubble;
    bubble.addRoundedRect(QRectF(r.left() + 2.5, r.top() + 3, 11, 8), 2.5, 2.5);
    QPainterPath tail;
    tail.moveTo(r.left() + 4.5, r.top() + 10);
    tail.lineTo(r.left() + 4.5, r.top() + 13.5);
    tail.lineTo(r.left() + 8.5, r.top() + 10);
    tail.closeSubpath();
    bubble = bubble.united(tail);
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(glyphColour(state));
    p.drawPath(bubble);
    // Three dots cut into the bubble read as "a message".
    p.setBrush(state == State::Normal ? PanelBottom
                                      : (state == State::Hovered ? QColor(0x3f, 0x52, 0x66) : Accent));
    for (int i = 0; i < 3; ++i)
        p.drawEllipse(QPointF(r.left() + 5 + 3 * i, r.top() + 7), 0.95, 0.95);
    p.restore();
}

void heartGlyph(QPainter &p, const QRectF &r, State state)
{
    glyphGround(p, r, state, false);
    const qreal x = r.left(), y = r.top();
    QPainterPath heart;
    heart.moveTo(x + 8, y + 13.2);
    heart.cubicTo(x + 2.5, y + 9.4, x + 1.6, y + 7, x + 2.4, y + 5.1);
    heart.cubicTo(x + 3.4, y + 2.8, x + 6.6, y + 2.4, x + 8, y + 5.0);
    heart.cubicTo(x + 9.4, y + 2.4, x + 12.6, y + 2.8, x + 13.6, y + 5.1);
    heart.cubicTo(x + 14.4, y + 7, x + 13.5, y + 9.4, x + 8, y + 13.2);
    p.save();
    p.setPen(Qt::NoPen);
    // The heart keeps a warm tint at rest so the donate button is told apart from feedback.
    p.setBrush(state == State::Normal ? QColor(0xd9, 0x8a, 0x8e) : Snow);
    p.drawPath(heart);
    p.restore();
}

// --- larger sprites ---------------------------------------------------------------

void arrowRight(QPainter &p, const QPointF &tip, qreal size, const QColor &c)
{
    QPainterPath tri;
    tri.moveTo(tip);
    tri.lineTo(tip + QPointF(-size, -size * 0.85));
    tri.lineTo(tip + QPointF(-size, size * 0.85));
    tri.closeSubpath();
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPath(tri);
    p.restore();
}

void runButton(QPainter &p, const QRectF &r, State state)
{
    buttonFace(p, r, Face::Primary, state);
    const qreal dy = state == State::Pressed ? 1 : 0;
    p.save();
    p.setFont(font(12, true));
    const QFontMetricsF fm(p.font());
    const qreal textWidth = fm.horizontalAdvance(QStringLiteral("Run"));
    const qreal arrow = 6, gap = 5;
    const qreal left = r.center().x() - (textWidth + gap + arrow) / 2.0;
    text(p, QRectF(left, r.top() + dy, textWidth + 2, r.height()), QStringLiteral("Run"), Snow, 12, true);
    arrowRight(p, QPointF(left + textWidth + gap + arrow, r.center().y() + dy), arrow, Snow);
    p.restore();
}

void countBadge(QPainter &p, const QRectF &r, State state)
{
    const QRectF inner = r.adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath shape;
    shape.addRoundedRect(inner, Radius, Radius);
    QColor ground, band, rim;
    if (state == State::Normal)
        ground = QColor(0x12, 0x19, 0x21), band = AccentLo, rim = QColor(0x46, 0x56, 0x68);
    else if (state == State::Hovered)
        ground = QColor(0x1a, 0x25, 0x31), band = Accent, rim = AccentHi;
    else
        ground = QColor(0x0c, 0x11, 0x17), band = QColor(0x1f, 0x55, 0x71), rim = Accent;
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(ground);
    p.drawPath(shape);
    // The number is written by the program at the top; the band below names it.
    p.setClipPath(shape);
    p.fillRect(QRectF(r.left(), r.top() + 26, r.width(), r.height() - 26), band);
    p.setClipping(false);
    p.setPen(QPen(rim, 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(shape);
    p.restore();
    text(p, QRectF(r.left(), r.top() + 26, r.width(), r.height() - 27.5), QStringLiteral("items"), Snow, 11,
         false, Qt::AlignCenter);
}

// SETDLGBTN: two columns that share pixel column 72, so each face leaves it clear.
QImage dialogButtons()
{
    return stripes(145, 33, NormalPressedHovered, [](QPainter &p, const QRectF &r, State s) {
        const QRectF ok(1, r.top() + 1, 71, r.height() - 2);
        const QRectF cancel(73, r.top() + 1, 71, r.height() - 2);
        buttonFace(p, ok, Face::Primary, s);
        buttonLabel(p, ok, QStringLiteral("OK"), Face::Primary, s);
        buttonFace(p, cancel, Face::Light, s);
        buttonLabel(p, cancel, QStringLiteral("Cancel"), Face::Light, s);
    });
}

QImage managerButtons()
{
    return stripes(360, 33, NormalPressedHovered, [](QPainter &p, const QRectF &r, State s) {
        const struct
        {
            const char *label;
            Face face;
        } columns[] = {{"OK", Face::Primary},
                       {"Cancel", Face::Light},
                       {"Add", Face::Light},
                       {"Modify", Face::Light},
                       {"Delete", Face::Light}};
        for (int i = 0; i < 5; ++i) {
            const QRectF cell(72 * i + 1, r.top() + 1, 70, r.height() - 2);
            buttonFace(p, cell, columns[i].face, s);
            if (i == 4) {
                // Delete keeps a red word so it is not pressed by mistake for Modify.
                const QRectF at = s == State::Pressed ? cell.translated(0, 1) : cell;
                text(p, at, QString::fromLatin1(columns[i].label), Bad.darker(115), 12, true,
                     Qt::AlignCenter);
            } else {
                buttonLabel(p, cell, QString::fromLatin1(columns[i].label), columns[i].face, s);
            }
        }
    });
}

// SPIN2: six slices of 11-13 px rows for the spin box's up and down buttons.
QImage spinButtons()
{
    QImage image = canvas(19, 69);
    QPainter p;
    begin(p, image);
    struct Slice
    {
        int top, height;
        bool up;
        State state;
    };
    const Slice slices[] = {{0, 11, true, State::Normal},   {11, 11, false, State::Normal},
                            {23, 11, true, State::Hovered}, {34, 11, false, State::Hovered},
                            {45, 11, true, State::Pressed}, {56, 13, false, State::Pressed}};
    // Row 22 belongs to no slice; the pressed slices share row 56, drawn pressed for both.
    for (const Slice &s : slices) {
        const QRectF r(0, s.top, 19, s.height);
        QColor ground = s.state == State::Normal    ? QColor(0xee, 0xf2, 0xf6)
                        : s.state == State::Hovered ? AccentPale
                                                    : Accent;
        QColor arrow = s.state == State::Normal ? InkSoft : s.state == State::Hovered ? AccentLo : Snow;
        p.fillRect(r, ground);
        p.fillRect(QRectF(0, s.top, 1, s.height), QColor(0xc3, 0xcd, 0xd7));
        const QPointF c(10, s.top + s.height / 2.0);
        QPainterPath tri;
        if (s.up) {
            tri.moveTo(c + QPointF(0, -2.5));
            tri.lineTo(c + QPointF(4, 2.5));
            tri.lineTo(c + QPointF(-4, 2.5));
        } else {
            tri.moveTo(c + QPointF(0, 2.5));
            tri.lineTo(c + QPointF(4, -2.5));
            tri.lineTo(c + QPointF(-4, -2.5));
        }
        tri.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(arrow);
        p.drawPath(tri);
    }
    p.fillRect(QRectF(0, 56, 19, 1), Accent);
    return image;
}

QImage spinFrame()
{
    // Sliced with a 1 px border: a hairline rim round a flat white middle. The rim is
    // filled, not stroked, so it covers exactly the outer unit at every scale.
    QImage image = canvas(63, 30);
    image.fill(Card);
    QPainter p;
    begin(p, image);
    const QColor rim(0xa9, 0xb6, 0xc3);
    p.fillRect(QRectF(0, 0, 63, 1), rim);
    p.fillRect(QRectF(0, 29, 63, 1), rim);
    p.fillRect(QRectF(0, 0, 1, 30), rim);
    p.fillRect(QRectF(62, 0, 1, 30), rim);
    return image;
}

QImage sliderTrack(int width, const QColor &fill, const QColor &edge)
{
    QImage image = canvas(width, 15);
    QPainter p;
    begin(p, image);
    p.setPen(QPen(edge, 1));
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(0.5, 5, width - 1.0, 5), 1.5, 1.5);
    return image;
}

QImage sliderHandle()
{
    QImage image = canvas(19, 19);
    QPainter p;
    begin(p, image);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 40));
    p.drawEllipse(QRectF(1.5, 2.5, 16, 16));
    QLinearGradient g(0, 1, 0, 17);
    g.setColorAt(0, Card);
    g.setColorAt(1, QColor(0xe6, 0xeb, 0xf0));
    p.setPen(QPen(Accent, 2));
    p.setBrush(g);
    p.drawEllipse(QRectF(2, 1.5, 15, 15));
    p.setPen(Qt::NoPen);
    p.setBrush(Accent);
    p.drawEllipse(QPointF(9.5, 9), 2.2, 2.2);
    return image;
}

// VSHAND: one 15 px column per state, a rounded bar down the middle of each.
QImage scrollHandle()
{
    QImage image = canvas(45, 70);
    QPainter p;
    begin(p, image);
    const QColor bars[] = {QColor(0xb4, 0xc0, 0xcc), Accent, AccentLo};
    for (int i = 0; i < 3; ++i) {
        p.setPen(Qt::NoPen);
        p.setBrush(bars[i]);
        p.drawRoundedRect(QRectF(15 * i + 3.5, 2, 8, 66), 4, 4);
    }
    return image;
}

// SBTN: its top square serves as both the up and the down arrow, so it carries a
// direction-free mark (a small diamond); the strips below are its brighter states.
QImage scrollArrow()
{
    return stripes(15, 15, TopMiddleBottom, [](QPainter &p, const QRectF &r, State s) {
        const QColor ground = s == State::Normal    ? QColor(0xe9, 0xee, 0xf3)
                              : s == State::Hovered ? AccentPale
                                                    : Accent;
        const QColor mark = s == State::Pressed ? Snow : s == State::Hovered ? AccentLo : InkSoft;
        p.fillRect(r, ground);
        const QPointF c = r.center();
        QPainterPath d;
        d.moveTo(c + QPointF(0, -3));
        d.lineTo(c + QPointF(3, 0));
        d.lineTo(c + QPointF(0, 3));
        d.lineTo(c + QPointF(-3, 0));
        d.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(mark);
        p.drawPath(d);
    });
}

} // namespace

namespace Artwork {

std::vector<Entry> sprites()
{
    std::vector<Entry> out;
    out.push_back({QStringLiteral("BTNBAR"),
                   stripes(97, 25, TopMiddleBottom, [](QPainter &p, const QRectF &r, State s) {
                       buttonFace(p, r.adjusted(1, 0, -1, 0), Face::Dark, s);
                   })});
    out.push_back({QStringLiteral("CLOSE"), stripes(16, 16, TopMiddleBottom, closeGlyph)});
    out.push_back({QStringLiteral("SETTINGBTN"), stripes(16, 16, TopMiddleBottom, gearGlyph)});
    out.push_back({QStringLiteral("FEEDBACK1"), stripes(16, 16, TopMiddleBottom, bubbleGlyph)});
    out.push_back({QStringLiteral("DONATE"), stripes(16, 16, TopMiddleBottom, heartGlyph)});
    out.push_back({QStringLiteral("COUNTTIP"), stripes(43, 41, TopMiddleBottom, countBadge)});
    // The run button rests on its middle strip; the top strip is its hovered face.
    out.push_back(
        {QStringLiteral("GO"), stripes(66, 23, {State::Hovered, State::Normal, State::Pressed}, runButton)});
    out.push_back({QStringLiteral("PATHBTN"),
                   stripes(72, 23, NormalPressedHovered, [](QPainter &p, const QRectF &r, State s) {
                       buttonFace(p, r.adjusted(0, 0, 0, 0), Face::Light, s);
                       const QRectF at = s == State::Pressed ? r.translated(0, 1) : r;
                       text(p, at, QStringLiteral("Browse\u2026"), faceText(Face::Light, s), 12, false,
                            Qt::AlignCenter);
                   })});
    out.push_back({QStringLiteral("SETDLGBTN"), dialogButtons()});
    out.push_back({QStringLiteral("ATBTN"), managerButtons()});
    out.push_back({QStringLiteral("SPIN1"), spinFrame()});
    out.push_back({QStringLiteral("SPIN2"), spinButtons()});
    out.push_back(
        {QStringLiteral("SLIDER1"), sliderTrack(111, QColor(0xd9, 0xe0, 0xe7), QColor(0xc3, 0xcd, 0xd7))});
    out.push_back({QStringLiteral("SLIDER3"), sliderTrack(20, Accent, AccentLo)});
    out.push_back({QStringLiteral("SLIDER2"), sliderHandle()});
    out.push_back({QStringLiteral("VSHAND"), scrollHandle()});
    out.push_back({QStringLiteral("SBTN"), scrollArrow()});
    return out;
}

} // namespace Artwork
