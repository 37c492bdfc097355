#pragma once

#include <QImage>
#include <QPixmap>
#include <QString>

// Every image under ":/images/" exists twice: NAME drawn at 1x and NAME@2x drawn at
// twice the pixels with the same design and strip layout. These helpers pick the one
// that suits a device pixel ratio and keep every size and offset in device-independent
// pixels, so code that paints or slices an image never deals with the 2x pixels.
namespace ScaledImages {

// The artwork scale used for a device pixel ratio: 2 for any ratio above 1 (a 2x
// image scaled down to 1.25 or 1.5 stays sharper than a 1x image scaled up), else 1.
int artworkScale(qreal devicePixelRatio);

// The highest device pixel ratio of the application's screens (1 without a GUI);
// the ratio for images chosen before a window is shown, as QIcon chooses.
qreal applicationRatio();

// The path of the image at an artwork scale: ":/images/BK" gives ":/images/BK@2x"
// at scale 2 when that resource exists, else the path unchanged ("@2x" goes before an
// extension: "a/b.png" gives "a/b@2x.png", as Qt names them).
QString path(const QString &resource, int scale);

// The image for drawing at a device pixel ratio. Its devicePixelRatio() is set to its
// artwork scale, so its deviceIndependentSize() is the 1x size whichever file it is.
QImage image(const QString &resource, qreal devicePixelRatio);
QPixmap pixmap(const QString &resource, qreal devicePixelRatio);

// Draws the image whole at the top-left corner at its device-independent size, as the
// frameless windows draw their backgrounds; smooth where the ratio is fractional.
void drawBackground(QPainter &painter, const QString &resource, qreal devicePixelRatio);

// A style sheet whose sliced border images suit a device pixel ratio. Slice offsets
// in a style sheet count the image's own pixels, so for a 2x image they must double:
// at a ratio above 1, every "border-image: url(:/images/NAME) T R B L ..." whose image
// has a 2x file becomes "border-image: url(":/images/NAME@2x") 2T 2R 2B 2L ...",
// which Qt loads as it is.
// Without that, Qt would load NAME@2x by itself and cut it at the 1x offsets, showing
// parts of the neighbouring strips. Border images without offsets (drawn whole) and
// all other properties stay as written; at a ratio of 1 the sheet is returned unchanged.
QString styleSheet(const QString &sheet, qreal devicePixelRatio);

} // namespace ScaledImages
