#include "returnlatch.h"

#include <QKeyEvent>

bool ReturnLatch::isReturn(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

bool ReturnLatch::isPlainReturn(const QKeyEvent *event)
{
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    return plain && isReturn(event->key());
}

void ReturnLatch::press(const QKeyEvent *event)
{
    if (!event->isAutoRepeat())
        armed = event->key();
}

bool ReturnLatch::release(const QKeyEvent *event)
{
    if (armed == 0 || event->isAutoRepeat() || event->key() != armed)
        return false;
    armed = 0;
    return true;
}
