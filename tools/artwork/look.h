#pragma once

#include <QByteArray>
#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QRectF>
#include <QString>

// The one look every Tolvane image shares: palette, corner radius, type face and
// the few shapes (panels, button faces, glyphs) the images are built from.
namespace Look {

// Dark panel (main window, title bands, popups).
inline const QColor PanelTop(0x2a, 0x36, 0x44);
inline const QColor PanelBottom(0x1d, 0x26, 0x31);
inline const QColor PanelDeep(0x16, 0x1d, 0x26);
inline const QColor Rim(0x40, 0x4f, 0x60);
inline const QColor Sheen(0x3a, 0x48, 0x58);
// Light body of the dialogs.
inline const QColor Paper(0xf2, 0xf4, 0xf7);
inline const QColor Card(0xff, 0xff, 0xff);
inline const QColor Line(0xd5, 0xdc, 0xe4);
// Text.
inline const QColor Snow(0xf4, 0xf7, 0xfa);
inline const QColor Mist(0xa9, 0xb8, 0xc7);
inline const QColor Ink(0x23, 0x2e, 0x3a);
inline const QColor InkSoft(0x5d, 0x6b, 0x7a);
// Accent and signal colours.
inline const QColor Accent(0x38, 0x8c, 0xb6);
inline const QColor AccentHi(0x55, 0xa9, 0xd1);
inline const QColor AccentLo(0x27, 0x6a, 0x8c);
inline const QColor AccentPale(0xe2, 0xef, 0xf6);
inline const QColor Good(0x3c, 0xa8, 0x74);
inline const QColor Bad(0xcc, 0x55, 0x5a);

// The corner radius of every window, card and button.
constexpr qreal Radius = 5.0;
// Height of the title band of a dialog (also the band that drags it).
constexpr int TitleBand = 30;

enum class State { Normal, Hovered, Pressed };

// Button faces: Dark sits on a dark panel, Light on a dialog body, Primary is the
// accented main action.
enum class Face { Dark, Light, Primary };

QFont font(int pixelSize, bool bold = false);

// The scale every image is drawn at: 1, or 2 for the @2x files. All coordinates stay
// those of the 1x image; a canvas has this many pixels per unit (its device pixel
// ratio), so the same drawing code gives the same design with twice the pixels.
void setScale(int scale);
int scale();

// An empty ARGB image of the given size in 1x pixels, fully transparent, with
// scale() pixels per unit.
QImage canvas(int width, int height);
// A canvas's size in 1x pixels.
QSize sizeOf(const QImage &canvas);
// Antialiased painter on an image.
void begin(QPainter &p, QImage &image);

// A whole dark panel: rounded, vertical gradient, 1 px rim and a faint top sheen.
void darkPanel(QPainter &p, const QRectF &r);
// A dialog: light body, dark title band with the logo and the title, 1 px rim.
void dialogFrame(QPainter &p, const QSize &size, const QString &title, const QString &note = QString());
// A white card with a hairline border, the calm ground behind a group of widgets.
void card(QPainter &p, const QRectF &r);
// A horizontal hairline on the dialog body.
void hairline(QPainter &p, qreal x1, qreal x2, qreal y);

// A button face in one state, filling r (content shifts down 1 px when pressed).
void buttonFace(QPainter &p, const QRectF &r, Face face, State state);
// The text colour that goes on a face in a state.
QColor faceText(Face face, State state);
// Button text centred in r, shifted down 1 px when pressed.
void buttonLabel(QPainter &p, const QRectF &r, const QString &text, Face face, State state, int px = 12);

// The Tolvane mark: a rounded accent square with a prompt chevron and cursor bar.
void logo(QPainter &p, const QRectF &r);
// The same mark as an SVG document (the scalable application icon).
QByteArray logoSvg();

// Text helpers.
void text(QPainter &p, const QRectF &r, const QString &s, const QColor &c, int px, bool bold = false,
          int flags = Qt::AlignLeft | Qt::AlignVCenter);

} // namespace Look
