#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

// The applications that the desktop's menus show (Linux: GIO's desktop entries).
namespace InstalledApps {

struct App
{
    QString desktopFile; // full path of the desktop entry
    QString name;        // its Name, as menus show it
    QString exec;        // its command line, which stays when an upgrade renames the entry
    // What the application is for, in the user's language: its GenericName and
    // its Keywords; and its command's name (the Exec program's file name).
    QString genericName;
    QStringList keywords;
    QString command;
};

// Every installed application that menus would show, by desktop id, as GIO lists
// them: masked, hidden, TryExec-failing and non-application entries are left out,
// and OnlyShowIn and NotShowIn follow the current desktop. Empty on platforms
// without such a list.
QList<App> list();

// Tells when the list may have changed (GIO's GAppInfoMonitor). The notice comes
// through the event loop of the thread that made the monitor; GIO watches the
// folders from the first list() on, and again after each notice once list() has
// read them anew.
class Monitor : public QObject
{
    Q_OBJECT

public:
    explicit Monitor(QObject *parent = nullptr);
    ~Monitor() override;

signals:
    void changed();

private:
    void *monitor = nullptr;
};

// What a row shows for an item's path. For a desktop entry, what it starts: its
// program and arguments as its Exec line reads, without field codes (%U, %f...),
// or the application id of a D-Bus activated entry without Exec. For any other
// path, and for an entry that cannot be read, the path itself. Remembered per
// file while the file stays the same, so painting may ask on every paint.
QString shownPath(const QString &path);

} // namespace InstalledApps
