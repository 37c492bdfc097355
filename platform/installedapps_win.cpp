#include "installedapps.h"

// Windows lists installed software through the registry's Uninstall key instead.
namespace InstalledApps {

QList<App> list()
{
    return {};
}

Monitor::Monitor(QObject *parent) : QObject(parent) {}

Monitor::~Monitor() = default;

QString shownPath(const QString &path)
{
    return path;
}

} // namespace InstalledApps
