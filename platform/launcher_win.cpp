#include "launcher.h"

#include <QDesktopServices>
#include <QProcess>
#include <QUrl>

namespace Launcher {

Result start(const QString &path)
{
    if (path.endsWith(QLatin1String(".exe"), Qt::CaseInsensitive)) {
        QProcess process;
        process.setProgram(path);
        if (process.startDetached())
            return {true, QString()};
        return {false, process.errorString()};
    }
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        return {true, QString()};
    return {false, QStringLiteral("No application is registered as handling this file")};
}

} // namespace Launcher
