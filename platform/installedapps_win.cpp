#include "installedapps.h"

// Windows lists installed software through the registry's Uninstall key instead.
namespace InstalledApps {

QList<App> list()
{
    return {};
}

Monitor::Monitor(QObject *parent) : QObject(parent) {}

Monitor::~Monitor() = default;

} // namespace InstalledApps
