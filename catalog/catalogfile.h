#pragma once

#include <QString>

struct sqlite3;

// Reading data.db into a connection, and setting aside a file that holds no
// catalog. Internal to the catalog.
namespace CatalogFile {

enum class Read {
    Loaded,      // the connection holds the file's catalog
    NotACatalog, // not an SQLite database, or not the catalog's tables
    Unavailable, // held by another program, not readable, or its journal cannot be rolled back now
};

// How long a read or a write waits for another program that holds the file (ms).
constexpr int BusyTimeout = 3000;

// Copies the catalog in `file` into the main database of `into`, which it
// replaces, and tells what it found; `error` gets SQLite's text. A program
// that holds the file is waited for `waitMs` (the load at the start waits;
// attempts while the program runs do not, so they never hold up the window).
Read read(sqlite3 *into, const QString &file, QString &error, int waitMs = BusyTimeout);
// The same from a private copy of the file and its journal: the copy's journal
// is rolled back there, which gives the catalog as it was before the write that
// was cut short, when the file itself cannot be rolled back (a folder that
// cannot be written).
Read readCopy(sqlite3 *into, const QString &file);
// True when the database of `db` holds the catalog's tables in a sound state.
bool usable(sqlite3 *db);
// Moves the file (with its journal) to the first free name of "data.db.bad",
// "data.db.bad-2", "data.db.bad-3"...: no copy set aside earlier is replaced.
// Returns the new path, or an empty text when it could not be moved.
QString setAside(const QString &file);

} // namespace CatalogFile
