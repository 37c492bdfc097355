#include "focusbutton.h"

#include <QKeyEvent>
#include <QStyleOptionButton>
#include <QStylePainter>

FocusButton::FocusButton(QWidget *parent) : QPushButton(parent) {}

QColor FocusButton::ringColour()
{
    return QColor(240, 150, 30);
}

void FocusButton::keyPressEvent(QKeyEvent *event)
{
    if (!ReturnLatch::isPlainReturn(event)) {
        QPushButton::keyPressEvent(event);
        return;
    }
    returnLatch.press(event);
    event->accept();
}

void FocusButton::keyReleaseEvent(QKeyEvent *event)
{
    if (!ReturnLatch::isPlainReturn(event)) {
        QPushButton::keyReleaseEvent(event);
        return;
    }
    event->accept();
    if (returnLatch.release(event))
        click();
}

void FocusButton::paintEvent(QPaintEvent *)
{
    // The face as without the focus (the style's own focus look would shift the
    // sprite inside a frame), then the ring over it.
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.state &= ~QStyle::State_HasFocus;
    painter.drawControl(QStyle::CE_PushButton, option);
    if (!hasFocus())
        return;
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(ringColour(), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(rect()).adjusted(2, 2, -2, -2), 3, 3);
}
