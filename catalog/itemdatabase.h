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
    // The statement that creates the item table.
    static const char ItemTableStatement[];

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

    // SearchItems' full-text step answered from memory, for typed texts whose
    // match is a plain conjunction of one-character terms (letters, digits and
    // other characters of the basic plane): the rowids of the matching rows,
    // ascending, and their aliases. Returns false when the statement must run.
    bool matchFromMemory(const QString &text, QList<qint64> &rowids, QList<QStringView> &aliases);
    // True when the rows in memory still show the item table as it is.
    bool searchRowsCurrent() const;
    // Reads the rows into memory again; false when they cannot stand for the table.
    bool loadSearchRows();
    // Called after a write of this store that leaves the item table alone, with
    // what searchRowsCurrent() said and the change count just before it.
    void noteOtherTableWritten(bool current, qint64 changesBefore);
    void forgetSearchRows();
    // Both schema versions of the connection in one number, -1 on failure.
    qint64 schemaStamp() const;

    // One row of the item table: its rowid, the one-byte tokens of its index
    // text as bits (digits, then ASCII letters folded to lower case), the end of
    // its alias in searchAliases (it starts where the previous one ends) and
    // its other tokens in searchOtherTokens (-1 when it has none).
    struct SearchRow
    {
        qint64 rowid;
        quint64 tokens;
        quint32 aliasEnd;
        qint32 otherTokens;
    };

    QSqlDatabase db;
    QStringList scannedFolders;
    // Stored path -> its row, or -1 when several rows hold it (or it is not known).
    QHash<QByteArray, qint64> knownPaths;
    const void *knownPathsHandle = nullptr;
    qint64 knownPathsChanges = -1;
    QList<SearchRow> searchRows;
    QString searchAliases;
    // Each one " token token ... token " (UTF-8 bytes as the index holds them).
    QList<QByteArray> searchOtherTokens;
    const void *searchRowsHandle = nullptr;
    qint64 searchRowsChanges = -1;
    // The schema versions (main and temp) when the rows were read.
    qint64 searchRowsSchema = -1;
    // False when the table was read but cannot be answered from memory.
    bool searchRowsUsable = false;
    // Set when a data.db that failed to load could not be moved aside: then it is
    // never written over.
    bool keepFile = false;
};
