#include "frameless.h"

#include "scaledimages.h"

#include <QDialog>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QWindow>

namespace Frameless {

void setup(QDialog *dialog, const QPixmap &background)
{
    QPalette palette = dialog->palette();
    palette.setBrush(QPalette::All, dialog->backgroundRole(), QBrush(background));
    dialog->setPalette(palette);
    dialog->setWindowFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    dialog->setAttribute(Qt::WA_TranslucentBackground);
    dialog->setAttribute(Qt::WA_NoSystemBackground);
    dialog->setFixedSize(background.deviceIndependentSize().toSize());
}

void paintBackground(QWidget *widget, const QString &resource)
{
    QPainter painter(widget);
    ScaledImages::drawBackground(painter, resource, widget->devicePixelRatioF());
}

void press(QWidget *window, QMouseEvent *event, int &nDragX, int &nDragY)
{
    if (event->button() != Qt::LeftButton)
        return;
    if (event->position().y() < DragBand) {
        // Where the window system moves windows itself (Wayland, where a window
        // cannot place itself, and X11 window managers), it does the drag.
        if (window->windowHandle() && window->windowHandle()->startSystemMove()) {
            nDragX = NoDrag;
            event->accept();
            return;
        }
        const QPoint global = event->globalPosition().toPoint();
        nDragX = global.x() - window->frameGeometry().x();
        nDragY = global.y() - window->frameGeometry().y();
        event->accept();
    } else {
        nDragX = NoDrag;
    }
}

void move(QWidget *window, QMouseEvent *event, int nDragX, int nDragY)
{
    if (event->buttons() == Qt::NoButton || nDragX == NoDrag)
        return;
    window->move(event->globalPosition().toPoint() - QPoint(nDragX, nDragY));
    event->accept();
}

void filterChildPress(QEvent *event, int &nDragX)
{
    if (event->type() == QEvent::MouseButtonPress)
        nDragX = NoDrag;
}

} // namespace Frameless
