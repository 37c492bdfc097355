#pragma once

#include "itemdatabase.h"

#include <QFile>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>

// Helpers for tests that need a catalog, desktop entries or registry entries.
// Everything is written inside the test sandbox (see testmain.h).
namespace CatalogFixture {

// Removes data.db, its journal and the copies set aside from the catalog's folder.
void removeCatalogFile();

// Makes the sandbox as discovery first sees it: removes the catalog files, the
// desktop entries in applicationsDir(), the autostart folder, everything on the
// desktop folder and every registry fixture.
void resetSandbox();

// Opens `db` as on a first run: data.db is removed first, so OpenCatalog builds
// the schema and runs discovery, which in an untouched sandbox finds nothing.
void openFresh(ItemDatabase &db);
// The same on a new store. Destroy it (which writes data.db) before making another.
std::unique_ptr<ItemDatabase> openFreshCatalog();

// Creates a small file (and its folders) at `path`; returns the absolute path.
QString createFile(const QString &path, const QByteArray &contents = "x");
// A path inside the sandbox's "items" folder, e.g. itemPath("Paint.exe").
QString itemPath(const QString &fileName);

// Adds an item through AddItem and returns its rowid (empty on failure). With
// createTarget the file at `path` is created first.
QString addItem(ItemDatabase &db, const QString &alias, const QString &path, bool createTarget = false,
                const QString &type = QStringLiteral("APP"), const QString &info = QString());
// Adds an item named `alias` at itemPath(alias + ".exe") and returns its rowid.
QString addNamedItem(ItemDatabase &db, const QString &alias, bool createTarget = false);
// The rowid of the item with this path, empty when there is none.
QString rowidOf(const QString &path);

// Launch records as the main window makes them: AddQuick(rowid, text) and AddTop(rowid), `times` times.
void launch(ItemDatabase &db, const QString &rowid, const QString &text, int times = 1);

// The aliases of a record list, in order.
QStringList aliases(const QList<APPBLOCK> &records);
// SearchItems(text, ..., maxCount) and the aliases it gave.
QStringList search(ItemDatabase &db, const QString &text, int maxCount = 5);
// The rows of a query on the catalog's connection, each row's columns joined with '|'.
QStringList rows(const QString &sql);
// Every ITEMBOX row (rowid|path|alias|type|info|ind), QUICK row and TOP row:
// compare two snapshots to show the catalog did not change.
QStringList snapshot();

// $XDG_DATA_HOME/applications (created).
QString applicationsDir();
// Writes an application desktop entry `fileName` into `folder` (default:
// applicationsDir()) with Name=name, Exec=exec and the extra lines; returns its path.
QString writeDesktopEntry(const QString &fileName, const QString &name,
                          const QStringList &extraLines = QStringList(), const QString &folder = QString(),
                          const QString &exec = QStringLiteral("true"));
// Writes a desktop entry file with exactly these contents; returns its path.
QString writeRawDesktopEntry(const QString &fileName, const QByteArray &contents,
                             const QString &folder = QString());

// Registry fixtures (through RegistryKey, so in TOLVANE_REGISTRY_DIR).
// Sets the values of the key at the full path (e.g. "HKEY_LOCAL_MACHINE\\SOFTWARE\\...").
void setRegistryValues(const QString &keyPath, const QList<QPair<QString, QVariant>> &values);
// An Uninstall subkey with the given values (e.g. {{"DisplayName","Foo"},{"DisplayIcon",path}}).
void addUninstallEntry(const QString &subkey, const QList<QPair<QString, QVariant>> &values);
// An App Paths subkey with the given values (the usual one: {{"Default", path}}).
void addAppPath(const QString &subkey, const QList<QPair<QString, QVariant>> &values);
// Removes every registry fixture.
void clearRegistry();

// Texts a keyboard or the clipboard may put into the search box that could upset
// a full-text query or the SQL around it: operators and quotes, SQL fragments,
// backslashes, characters outside the basic plane and halves of them,
// right-to-left text, the length limit and beyond.
QStringList badTexts();

// A folder anybody may read and enter, and nobody write.
constexpr auto ReadOnlyFolder = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup |
                                QFile::ReadOther | QFile::ExeOther;

// For its lifetime the process acts without root's rights (which no file mode
// stops), as the user "nobody" (still in root's group), who may enter and read
// the folders down to the catalog's and write in the temporary folder. An
// ordinary user stays who they are.
class AsOrdinaryUser
{
public:
    AsOrdinaryUser();
    ~AsOrdinaryUser();
    AsOrdinaryUser(const AsOrdinaryUser &) = delete;
    AsOrdinaryUser &operator=(const AsOrdinaryUser &) = delete;

private:
    const bool root;
};

extern const QString UninstallKey; // HKEY_LOCAL_MACHINE\...\CurrentVersion\Uninstall
extern const QString AppPathsKey;  // HKEY_LOCAL_MACHINE\...\CurrentVersion\App Paths

// Waits (up to 15 s) until GIO lists each of these desktop entry files. After an
// earlier listing in the process, GIO learns of new files from its own folder
// monitors, a moment after they are written. True when it lists them all.
bool waitUntilInstalled(const QStringList &files);

} // namespace CatalogFixture
