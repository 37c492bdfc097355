#pragma once

#include <QList>
#include <QString>

// The applications that the desktop's menu shows (Linux: GIO's desktop entries).
namespace InstalledApps {

struct App
{
    QString desktopFile; // full path of the desktop entry
    QString name;        // its display name
};

// Every installed application that should be shown; broken, hidden and
// non-application entries are left out. Empty on platforms without such a list.
QList<App> list();

} // namespace InstalledApps
