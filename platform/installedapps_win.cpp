#include "installedapps.h"

// Windows lists installed software through the registry's Uninstall key instead.
namespace InstalledApps {

QList<App> list()
{
    return {};
}

} // namespace InstalledApps
