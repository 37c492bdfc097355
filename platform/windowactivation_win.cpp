#include "windowactivation.h"

#include <QWidget>

namespace WindowActivation {

QString startupToken()
{
    return QString();
}

QString waylandToken(const QString &)
{
    return QString();
}

QString launchToken()
{
    return QString();
}

void activate(QWidget *window, const QString &)
{
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace WindowActivation
