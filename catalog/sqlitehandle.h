#pragma once

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QVariant>

#include <sqlite3.h>

// The QSQLITE driver's own connection handle, or null when the connection has
// none (not open, or another driver). Internal to the catalog.
inline sqlite3 *sqliteHandle(const QSqlDatabase &connection)
{
    const QSqlDriver *driver = connection.driver();
    if (!driver)
        return nullptr;
    const QVariant handle = driver->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3 *const *>(handle.constData());
}
