#include "specialfolders.h"

#include <QStandardPaths>

// The XDG counterparts of the shell folders. QStandardPaths honours the XDG
// variables, so the folders follow XDG_DATA_HOME, XDG_CONFIG_HOME and the user's
// desktop folder setting. There is no Windows or system folder here.
namespace SpecialFolders {

QString path(int csidl)
{
    switch (csidl) {
    case 0:  // desktop
    case 16: // desktop directory
        return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    case 2:  // programs
    case 11: // start menu
        return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
               QStringLiteral("/applications");
    case 7: // startup
        return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
               QStringLiteral("/autostart");
    default:
        return QString();
    }
}

} // namespace SpecialFolders
