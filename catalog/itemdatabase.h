#pragma once

#include "appblock.h"
#include "appfinder.h"
#include "catalogsaver.h"
#include "installedapps.h"

#include <QHash>
#include <QSet>
#include <QSqlDatabase>
#include <QStringList>

#include <functional>
#include <memory>

// The catalog store: an in-memory SQLite database with a full-text index, loaded
// whole from data.db at start and written whole back within a second or two of
// every change, and when the store is destroyed. Holds the queries, the learning
// records and application discovery, and follows the installed applications.
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
    // Writes what has changed now, after a save under way (a session manager's
    // save). True when the file holds every change.
    bool SaveNow();
    // How long after a change the catalog is written: a second; tests and
    // benchmarks take less. And how often a save that failed, or a data.db
    // that could not be read, is tried again: every five seconds.
    void SetSaveDelay(int ms, int retryMs = 5000);
    // What the store tells the windows by itself.
    CatalogNotices notices;

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
    // Saves the open store when the process ends through exit().
    static void saveAtExit();
    // data.db could not be read for a passing reason: the catalog runs in
    // memory, writes nothing to it, and notes what the user does (heldChanges),
    // to do it again on the file's catalog once that can be read.
    void holdFile(const QString &file, const QString &error, bool readSome);
    // Tries to read the held file again; true when the catalog writes to it
    // again. While `ending`, the windows are not told.
    bool tryReload(bool ending);
    void replayHeldChanges();
    // Notes a change the user made while the file is held; `rowid` or the item's path.
    enum class HeldKind { Quick, Top, Alias, Add, Delete };
    void noteHeld(HeldKind kind, const QString &rowid, const QString &path = QString(),
                  const QString &text = QString());
    // Tells on the standard error output that the changes of this run did not
    // reach the file (the process is ending, no window can say it).
    static void reportUnsaved(const QString &file, const QString &error);
    // Stores discovery findings as AddItem would, one after the other, in one go,
    // except for aliases the user gave. With `apps` (the installed applications
    // just listed), items of desktop entries that went are deleted and those
    // renamed follow their entry.
    void StoreRecords(const QList<APPBLOCK> &list, const QString &type,
                      const QList<InstalledApps::App> *apps = nullptr);
    // Brings the catalog up to date with the installed applications.
    void followInstalledApps();
    // The catalog changed: it is saved soon.
    void changed();
    // Notes on items, in a table of their own: "ENTRY" for an item that came
    // from a desktop entry (with the entry's command line and name), "ALIAS" for
    // an item whose alias the user gave, "DELETED" for a desktop entry whose item
    // the user deleted. A note of an item counts only while the item has the
    // path noted with it. writeNote runs a statement on the table, made
    // first if need be; readNotes gives rowid -> path, command line, name.
    bool writeNote(const QString &statement, const QVariantList &values);
    QHash<qint64, QStringList> readNotes(const QString &kind);
    // One level of a folder walk, `depth` folders below its root, with the
    // number of entries it may still look at.
    void WalkDir(const QString &folder, QList<APPBLOCK> &list, int depth, int &entriesLeft);
    static constexpr int WalkEntries = 50000;
    static constexpr int WalkDepth = 32;

    // Calls visit(rowid, alias) for each item, in rowid order, that the full-text
    // statement lists for the text and whose alias contains it in any case.
    void forEachMatch(const QString &text, const std::function<void(qint64, QStringView)> &visit);
    // Reads every item into the search rows; leaves them empty when they cannot
    // stand for the statement.
    void readSearchRows();
    // After the rules' own results, while the list has room: installed
    // applications found by what they are for, each with the text that matched
    // in `extra`.
    void addAppsFoundByUse(const QString &text, QList<APPBLOCK> &list, int maxCount);

    QSqlDatabase db;
    QStringList scannedFolders;
    CatalogSaver saver{notices};
    // GIO's notice of changed applications, and the pause after it, in which
    // more changes (a package being installed) come together.
    std::unique_ptr<InstalledApps::Monitor> appsMonitor;
    QTimer appsSettle;
    bool scanning = false;
    // The items as the full-text step sees them, in rowid order, read at the
    // first search after the store last wrote the item table: each one's rowid
    // and where its alias ends in searchAliases, which holds the aliases one after
    // the other (searchFolded: the same, case-folded), and the ASCII letters and
    // digits of its folded alias (asciiBits).
    struct SearchRow
    {
        qint64 rowid;
        qsizetype end;
        quint64 letters;
    };
    QList<SearchRow> searchRows;
    QString searchAliases;
    QString searchFolded;
    bool searchRowsRead = false;
    bool searchRowsUsable = false;
    // The installed applications as last listed, and the rowid of each one's item,
    // read with the search rows.
    AppFinder appFinder;
    QHash<QString, qint64> listedRows;
    // Set when a data.db that failed to load could not be moved aside: then it is
    // never written over.
    bool keepFile = false;
    // The data.db that could not be read yet, what the user did meanwhile, and
    // the timer that tries again.
    struct HeldChange
    {
        HeldKind kind;
        APPBLOCK item; // path, alias, info (and the type in `extra`)
        QString text;
    };
    QString heldFile;
    QString heldError;
    QList<HeldChange> heldChanges;
    QTimer reloadTimer;
    bool replaying = false;
    bool storingFindings = false;
};
