#pragma once

#include <QString>

// Where Tolvane keeps its files. A build tree or a portable copy keeps data.db and
// config.ini beside the executable; an installed copy (read-only application
// directory) keeps them in the user's data and config folders.
namespace AppLocations {

// The folder of the executable, with forward slashes.
QString applicationDir();

// Folder that holds data.db; created when it lives in the user's data folder.
QString dataDir();

// Full path of config.ini. A missing per-user file starts as a copy of the one
// shipped beside the executable.
QString configFile();

} // namespace AppLocations
