#pragma once

#include "appblock.h"

#include <QSet>
#include <QSqlDatabase>
#include <QStringList>

#include <functional>

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
    // Stores discovery findings as AddItem would, one after the other, in one go.
    void StoreRecords(const QList<APPBLOCK> &list, const QString &type);
    // The desktop's installed applications (GIO desktop entries on Linux).
    void ScanInstalledApps(QList<APPBLOCK> &list);
    // One level of a folder walk; entered holds the canonical paths of the
    // folders this walk has entered, so a folder link loop ends.
    void WalkDir(const QString &folder, QList<APPBLOCK> &list, QSet<QString> &entered);

    // Calls visit(rowid, alias) for each item, in rowid order, that the full-text
    // statement lists for the text and whose alias contains it in any case.
    void forEachMatch(const QString &text, const std::function<void(qint64, QStringView)> &visit);
    // Reads every item into the search rows; leaves them empty when they cannot
    // stand for the statement.
    void readSearchRows();

    QSqlDatabase db;
    QStringList scannedFolders;
    // The items as the full-text step sees them, in rowid order, read at the
    // first search after the store last wrote the item table: each one's rowid,
    // the ASCII letters and digits that its index holds as tokens (bits), and
    // where its alias ends in searchAliases, which holds the aliases one after
    // the other; searchFolded holds them case-folded, character by character.
    struct SearchRow
    {
        qint64 rowid;
        quint64 tokens;
        qsizetype end;
    };
    QList<SearchRow> searchRows;
    QString searchAliases;
    QString searchFolded;
    bool searchRowsRead = false;
    bool searchRowsUsable = false;
    // Set when a data.db that failed to load could not be moved aside: then it is
    // never written over.
    bool keepFile = false;
};
