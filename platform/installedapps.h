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

// What a row shows for an item's path. For a desktop entry, what it starts: its
// program and arguments as its Exec line reads, without field codes (%U, %f...),
// or the application id of a D-Bus activated entry without Exec. For any other
// path, and for an entry that cannot be read, the path itself. Remembered per
// file while the file stays the same, so painting may ask on every paint.
QString shownPath(const QString &path);

} // namespace InstalledApps
