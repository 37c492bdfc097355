#include "popupwindows.h"

#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

namespace PopupWindows {

bool isWayland()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

void attach(QWidget *popup, QWidget *owner)
{
    if (!popup || !owner)
        return;
    QWidget *top = owner->window();
    // The native windows must exist to be linked; neither is shown by this.
    top->winId();
    popup->winId();
    QWindow *window = popup->windowHandle();
    if (window && top->windowHandle() && window != top->windowHandle() &&
        window->transientParent() != top->windowHandle())
        window->setTransientParent(top->windowHandle());
}

void move(QWidget *popup, const QPoint &globalPos)
{
    if (!popup)
        return;
    if (popup->pos() == globalPos)
        return;
    if (isWayland() && popup->isVisible()) {
        popup->hide();
        popup->move(globalPos);
        popup->show();
        return;
    }
    popup->move(globalPos);
}

Qt::WindowFlags keyboardPopupFlags()
{
    if (isWayland())
        return Qt::Popup | Qt::FramelessWindowHint;
    return Qt::ToolTip | Qt::FramelessWindowHint;
}

} // namespace PopupWindows
