#include "launcher.h"

#include <QDesktopServices>
#include <QProcess>
#include <QUrl>

namespace Launcher {

bool startDetached(const QString &path)
{
    return QProcess::startDetached(path, {});
}

bool openUrl(const QUrl &url)
{
    return QDesktopServices::openUrl(url);
}

} // namespace Launcher
