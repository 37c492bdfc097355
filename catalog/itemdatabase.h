#pragma once

#include "appblock.h"

#include <QHash>
#include <QSet>
#include <QSqlDatabase>
#include <QStringList>

// The catalog store: an in-memory SQLite database with a full-text index, loaded
// whole from data.db at start and written whole back when the store is destroyed.
// Holds the queries, the learning records and application discovery.
class ItemDatabase
{
public:
    ItemDatabase();
    ~ItemDatabase();
    ItemDatabase(const ItemDatabase &) = delete;
    ItemDatabase &operator=(const ItemDatabase &) = delete;

    // Store and persistence.
    void OpenCatalog();
    bool CopyDatabase(QSqlDatabase &connection, const QString &file, bool save);
    bool CreateTables(const QString &databaseName);
    QString GetItemCount();
    // Full path of the catalog file.
    static QString databaseFile();

    // Queries and learning.
    void SearchItems(const QString &text, QList<APPBLOCK> &list, int maxCount);
    bool GetTopItems(QList<APPBLOCK> &list);
    bool AddQuick(const QString &rowid, const QString &text);
    bool AddTop(const QString &rowid);
    bool UpdateAlias(const APPBLOCK &item);
    bool AddItem(QString &path, const QString &alias, const QString &type, const QString &info);
    bool DeleteItem(const QString &path);
    void GetAllItems(QList<APPBLOCK> &list);
    static QString SpaceText(const QString &text);

    // Application discovery.
    void ScanAll();
    void AddTools();
    void ScanSpecialFolder(int folder, QList<APPBLOCK> &list);
    bool ScanDir(const QString &folder, QList<APPBLOCK> &list);
    void ScanUninstall(QList<APPBLOCK> &list);
    void ScanAppPaths(QList<APPBLOCK> &list);
    QString GetSpecialFolder(int folder);

private:
    void SaveAndClose();
    // True when the loaded database holds the catalog's tables in a sound state.
    bool catalogUsable();
    // Stores discovery findings with AddItem, type "APP".
    void StoreRecords(const QList<APPBLOCK> &list);
    // The desktop's installed applications (GIO desktop entries on Linux).
    void ScanInstalledApps(QList<APPBLOCK> &list);
    // One level of a folder walk; entered holds the canonical paths of the
    // folders this walk has entered, so a folder link loop ends.
    void WalkDir(const QString &folder, QList<APPBLOCK> &list, QSet<QString> &entered);

    // AddItem's path lookup answered from memory: the paths of the item table as
    // the table stores them (UTF-8 text), valid while no other statement has
    // changed the connection since. Sets `known` and returns true when it can
    // answer exactly as the statement would; false when the statement must.
    // `rowid` is the one row holding the path, or -1 when that is not known.
    bool lookUpPath(const QString &path, bool &known, qint64 &rowid);
    // Called after AddItem's own write, once lookUpPath answered for it.
    void notePathWritten(const QString &path, bool inserted, bool succeeded);
    // Drops the lookup (the connection was opened, loaded or closed).
    void forgetPaths();

    QSqlDatabase db;
    QStringList scannedFolders;
    // Stored path -> its row, or -1 when several rows hold it (or it is not known).
    QHash<QByteArray, qint64> knownPaths;
    const void *knownPathsHandle = nullptr;
    qint64 knownPathsChanges = -1;
    // Set when a data.db that failed to load could not be moved aside: then it is
    // never written over.
    bool keepFile = false;
};
