#include "framelessdialog.h"

#include "frameless.h"
#include "scaledimages.h"

FramelessDialog::FramelessDialog(const QString &background, QWidget *parent)
    : QDialog(parent), background(background)
{
    Frameless::setup(this, ScaledImages::pixmap(background, ScaledImages::applicationRatio()));
}

bool FramelessDialog::eventFilter(QObject *watched, QEvent *event)
{
    Frameless::filterChildPress(event, nDragX);
    return QDialog::eventFilter(watched, event);
}

void FramelessDialog::mousePressEvent(QMouseEvent *event)
{
    Frameless::press(this, event, nDragX, nDragY);
}

void FramelessDialog::mouseMoveEvent(QMouseEvent *event)
{
    Frameless::move(this, event, nDragX, nDragY);
}

void FramelessDialog::paintEvent(QPaintEvent *)
{
    Frameless::paintBackground(this, background);
}
