// GLib's headers come before Qt's: Qt's "signals" keyword clashes with them.
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include "installedapps.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QSet>
#include <QStandardPaths>

#include <algorithm>

// The desktop entries are read from the XDG data folders on every call rather
// than through g_app_info_get_all(): GIO keeps a per-process index that only
// follows changes when its file monitors have run, so a second scan in the same
// process could miss entries written since the first. Each entry is still judged
// by GDesktopAppInfo, in the order and with the masking rules GIO uses: the
// first folder that holds a desktop id decides it, hidden or not.
namespace InstalledApps {

namespace {

// The desktop entry files of one applications folder with their desktop ids
// ("sub/app.desktop" is "sub-app.desktop"), sorted by id.
QList<QPair<QString, QString>> entriesOf(const QString &folder)
{
    QList<QPair<QString, QString>> entries;
    QDirIterator it(folder, {QStringLiteral("*.desktop")}, QDir::Files | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    const qsizetype prefix = folder.size() + 1;
    while (it.hasNext()) {
        const QString file = it.next();
        QString id = file.mid(prefix);
        id.replace(QLatin1Char('/'), QLatin1Char('-'));
        entries.append({id, file});
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

} // namespace

QList<App> list()
{
    QList<App> apps;
    QSet<QString> seenIds;
    const QStringList dataDirs = QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation);
    for (const QString &dataDir : dataDirs) {
        for (const auto &[id, file] : entriesOf(dataDir + QStringLiteral("/applications"))) {
            if (seenIds.contains(id))
                continue;
            seenIds.insert(id);
            // Null for an unreadable, malformed or non-application entry.
            GDesktopAppInfo *info = g_desktop_app_info_new_from_filename(QFile::encodeName(file).constData());
            if (!info)
                continue;
            // An entry without a command line cannot start unless D-Bus starts it.
            const bool startable = g_app_info_get_commandline(G_APP_INFO(info)) ||
                                   g_desktop_app_info_get_boolean(info, "DBusActivatable");
            if (startable && !g_desktop_app_info_get_is_hidden(info) &&
                g_app_info_should_show(G_APP_INFO(info))) {
                const char *name = g_app_info_get_display_name(G_APP_INFO(info));
                apps.append({QFileInfo(file).absoluteFilePath(), QString::fromUtf8(name ? name : "")});
            }
            g_object_unref(info);
        }
    }
    return apps;
}

} // namespace InstalledApps
