#pragma once

#include "appblock.h"

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

    QSqlDatabase db;
    QStringList scannedFolders;
};
