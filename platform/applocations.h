#pragma once

#include <QString>

// Where Tolvane keeps its files. A build tree or a portable copy keeps data.db and
// config.ini beside the executable; an installed copy keeps them in the user's data
// and config folders. Installed means: the executable's folder is read-only (for root,
// whom the system lets write anywhere: no write permission in the folder's mode), or
// it is laid out as the install rules lay it out, <prefix>/lib/tolvane/tolvane with
// the command <prefix>/bin/tolvane (a link to it, or the small command that hands
// over to it).
namespace AppLocations {

// The folder of the executable, with forward slashes.
QString applicationDir();

// Folder that holds data.db; created when it lives in the user's data folder.
QString dataDir();

// Full path of config.ini. A missing per-user file starts as a copy of the one
// shipped beside the executable; when that copy cannot be made, the shipped file.
QString configFile();

// The command a desktop binds a key to, which shows the running copy's window: the
// installed <prefix>/bin/tolvane, otherwise the executable itself.
QString command();

} // namespace AppLocations
