#include "focusbutton.h"

#include <QPainter>

FocusButton::FocusButton(QWidget *parent) : QPushButton(parent) {}

QColor FocusButton::ringColour()
{
    return QColor(240, 150, 30);
}

void FocusButton::paintEvent(QPaintEvent *event)
{
    QPushButton::paintEvent(event);
    if (!hasFocus())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(ringColour(), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(rect()).adjusted(2, 2, -2, -2), 3, 3);
}
