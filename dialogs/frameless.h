#pragma once

class QDialog;
class QEvent;
class QMouseEvent;
class QPixmap;
class QString;
class QWidget;

// The look and the drag rule shared by the frameless dialogs: no frame, always on
// top, translucent, fixed to the size of a background image drawn whole at the
// top-left corner. A left press in the top 30-pixel band starts a drag; any other
// left press, or a press on a child widget, marks "no drag" (nDragX = -1111).
namespace Frameless {

inline constexpr int NoDrag = -1111;
inline constexpr int DragBand = 30;

// Flags, attributes, fixed size (the image's device-independent size) and background
// brush from the image.
void setup(QDialog *dialog, const QPixmap &background);

// Draws the image at the resource path whole at the widget's top-left corner, from
// its 2x file on a scaled screen (see ScaledImages).
void paintBackground(QWidget *widget, const QString &resource);

// Mouse press on the dialog itself; updates the drag offset.
void press(QWidget *window, QMouseEvent *event, int &nDragX, int &nDragY);

// Mouse move on the dialog: moves the window while a drag is allowed.
void move(QWidget *window, QMouseEvent *event, int nDragX, int nDragY);

// For event filters on child widgets: a mouse-button press marks "no drag".
// Never consumes the event.
void filterChildPress(QEvent *event, int &nDragX);

} // namespace Frameless
