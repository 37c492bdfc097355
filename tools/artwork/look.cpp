#include "look.h"

#include <QLinearGradient>
#include <QPainterPath>

namespace Look {

QFont font(int pixelSize, bool bold)
{
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    f.setStyleStrategy(QFont::PreferAntialias);
    f.setHintingPreference(QFont::PreferVerticalHinting);
    return f;
}

static int currentScale = 1;

void setScale(int scale)
{
    currentScale = scale;
}

int scale()
{
    return currentScale;
}

QImage canvas(int width, int height)
{
    QImage image(width * currentScale, height * currentScale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(currentScale);
    image.fill(Qt::transparent);
    return image;
}

QSize sizeOf(const QImage &canvas)
{
    return canvas.deviceIndependentSize().toSize();
}

void begin(QPainter &p, QImage &image)
{
    p.begin(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
}

static QPainterPath rounded(const QRectF &r, qreal radius = Radius)
{
    QPainterPath path;
    path.addRoundedRect(r, radius, radius);
    return path;
}

void darkPanel(QPainter &p, const QRectF &r)
{
    p.save();
    const QRectF inner = r.adjusted(0.5, 0.5, -0.5, -0.5);
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, PanelTop);
    g.setColorAt(1, PanelBottom);
    p.setPen(QPen(Rim, 1));
    p.setBrush(g);
    p.drawPath(rounded(inner));
    // A faint light edge under the top rim gives the panel some depth.
    p.setClipPath(rounded(inner));
    p.setPen(QPen(Sheen, 1));
    p.drawLine(QPointF(r.left() + Radius, r.top() + 1.5), QPointF(r.right() - Radius, r.top() + 1.5));
    p.restore();
}

void dialogFrame(QPainter &p, const QSize &size, const QString &title, const QString &note)
{
    p.save();
    const QRectF outer(0.5, 0.5, size.width() - 1.0, size.height() - 1.0);
    const QPainterPath shape = rounded(outer);
    p.setPen(Qt::NoPen);
    p.setBrush(Paper);
    p.drawPath(shape);

    p.setClipPath(shape);
    QLinearGradient g(0, 0, 0, TitleBand);
    g.setColorAt(0, PanelTop);
    g.setColorAt(1, PanelBottom);
    p.fillRect(QRectF(0, 0, size.width(), TitleBand), g);
    p.fillRect(QRectF(0, TitleBand - 2, size.width(), 2), Accent);
    p.setClipping(false);

    logo(p, QRectF(9, 6, 16, 16));
    text(p, QRectF(32, 0, size.width() - 40, TitleBand - 2), title, Snow, 13, true);
    if (!note.isEmpty())
        text(p, QRectF(32, 0, size.width() - 44, TitleBand - 2), note, Mist, 11, false,
             Qt::AlignRight | Qt::AlignVCenter);

    p.setPen(QPen(Rim, 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(shape);
    p.restore();
}

void card(QPainter &p, const QRectF &r)
{
    p.save();
    p.setPen(QPen(Line, 1));
    p.setBrush(Card);
    p.drawPath(rounded(r.adjusted(0.5, 0.5, -0.5, -0.5)));
    p.restore();
}

void hairline(QPainter &p, qreal x1, qreal x2, qreal y)
{
    p.save();
    p.setPen(QPen(Line, 1));
    p.drawLine(QPointF(x1, y + 0.5), QPointF(x2, y + 0.5));
    p.restore();
}

void buttonFace(QPainter &p, const QRectF &r, Face face, State state)
{
    QColor top, bottom, border;
    switch (face) {
    case Face::Dark:
        if (state == State::Normal) {
            top = QColor(0x33, 0x41, 0x51), bottom = QColor(0x2a, 0x36, 0x44),
            border = QColor(0x46, 0x56, 0x68);
        } else if (state == State::Hovered) {
            top = QColor(0x3b, 0x50, 0x65), bottom = QColor(0x31, 0x44, 0x57), border = AccentHi;
        } else {
            top = QColor(0x19, 0x21, 0x2a), bottom = QColor(0x20, 0x2a, 0x35), border = Accent;
        }
        break;
    case Face::Light:
        if (state == State::Normal) {
            top = QColor(0xfd, 0xfe, 0xff), bottom = QColor(0xe6, 0xeb, 0xf0),
            border = QColor(0xb3, 0xbf, 0xcb);
        } else if (state == State::Hovered) {
            top = QColor(0xff, 0xff, 0xff), bottom = AccentPale, border = Accent;
        } else {
            top = QColor(0xd3, 0xdc, 0xe5), bottom = QColor(0xe4, 0xea, 0xf0), border = AccentLo;
        }
        break;
    case Face::Primary:
        if (state == State::Normal) {
            top = AccentHi, bottom = Accent, border = AccentLo;
        } else if (state == State::Hovered) {
            top = QColor(0x6f, 0xbd, 0xe0), bottom = QColor(0x4a, 0xa0, 0xc9), border = AccentLo;
        } else {
            top = AccentLo, bottom = QColor(0x2f, 0x79, 0x9f), border = QColor(0x1d, 0x52, 0x6d);
        }
        break;
    }
    p.save();
    const QRectF inner = r.adjusted(0.5, 0.5, -0.5, -0.5);
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    p.setPen(QPen(border, 1));
    p.setBrush(g);
    p.drawPath(rounded(inner));
    p.restore();
}

QColor faceText(Face face, State state)
{
    if (face == Face::Light)
        return state == State::Hovered ? AccentLo : Ink;
    return Snow;
}

void buttonLabel(QPainter &p, const QRectF &r, const QString &s, Face face, State state, int px)
{
    const QRectF at = state == State::Pressed ? r.translated(0, 1) : r;
    text(p, at, s, faceText(face, state), px, true, Qt::AlignCenter);
}

// The mark on a 100-unit square, shared by the painted and the SVG form.
namespace Mark {
const QRectF Square(2, 2, 96, 96);
constexpr qreal Corner = 22;
constexpr qreal Stroke = 11;
const QPointF Chevron[] = {{27, 30}, {49, 50}, {27, 70}};
const QPointF Bar[] = {{57, 70}, {75, 70}};
} // namespace Mark

void logo(QPainter &p, const QRectF &r)
{
    p.save();
    p.translate(r.topLeft());
    p.scale(r.width() / 100.0, r.height() / 100.0);
    QLinearGradient g(0, 0, 0, 100);
    g.setColorAt(0, AccentHi);
    g.setColorAt(1, AccentLo);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(Mark::Square, Mark::Corner, Mark::Corner);
    QPen pen(Snow, Mark::Stroke, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(Mark::Chevron, 3);
    p.drawLine(Mark::Bar[0], Mark::Bar[1]);
    p.restore();
}

QByteArray logoSvg()
{
    const auto n = [](qreal v) { return QByteArray::number(v, 'g', 6); };
    const auto point = [&](const QPointF &p) { return n(p.x()) + ' ' + n(p.y()); };
    QByteArray svg;
    svg +=
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"100\" height=\"100\" viewBox=\"0 0 100 100\">\n";
    svg += "  <defs>\n    <linearGradient id=\"face\" x1=\"0\" y1=\"0\" x2=\"0\" y2=\"100\" "
           "gradientUnits=\"userSpaceOnUse\">\n";
    svg += "      <stop offset=\"0\" stop-color=\"" + AccentHi.name().toLatin1() + "\"/>\n";
    svg += "      <stop offset=\"1\" stop-color=\"" + AccentLo.name().toLatin1() + "\"/>\n";
    svg += "    </linearGradient>\n  </defs>\n";
    svg += "  <rect x=\"" + n(Mark::Square.x()) + "\" y=\"" + n(Mark::Square.y()) + "\" width=\"" +
           n(Mark::Square.width()) + "\" height=\"" + n(Mark::Square.height()) + "\" rx=\"" +
           n(Mark::Corner) + "\" ry=\"" + n(Mark::Corner) + "\" fill=\"url(#face)\"/>\n";
    svg += "  <path d=\"M" + point(Mark::Chevron[0]) + " L" + point(Mark::Chevron[1]) + " L" +
           point(Mark::Chevron[2]) + " M" + point(Mark::Bar[0]) + " L" + point(Mark::Bar[1]) +
           "\" fill=\"none\" stroke=\"" + Snow.name().toLatin1() + "\" stroke-width=\"" + n(Mark::Stroke) +
           "\" stroke-linecap=\"round\" stroke-linejoin=\"round\"/>\n";
    svg += "</svg>\n";
    return svg;
}

void text(QPainter &p, const QRectF &r, const QString &s, const QColor &c, int px, bool bold, int flags)
{
    p.save();
    p.setFont(font(px, bold));
    p.setPen(c);
    p.drawText(r, flags, s);
    p.restore();
}

} // namespace Look
