// GLib's headers come before Qt's: Qt's "signals" keyword clashes with them.
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include "installedapps.h"

#include <QFileInfo>

#include <algorithm>

namespace InstalledApps {

QList<App> list()
{
    QList<QPair<QString, App>> found; // by desktop id
    GList *all = g_app_info_get_all();
    for (GList *item = all; item; item = item->next) {
        GAppInfo *info = G_APP_INFO(item->data);
        if (!G_IS_DESKTOP_APP_INFO(info) || !g_app_info_should_show(info))
            continue;
        GDesktopAppInfo *entry = G_DESKTOP_APP_INFO(info);
        // An entry without a command line cannot start unless D-Bus starts it.
        const char *commandLine = g_app_info_get_commandline(info);
        const char *file = g_desktop_app_info_get_filename(entry);
        if (!file || (!commandLine && !g_desktop_app_info_get_boolean(entry, "DBusActivatable")))
            continue;
        const char *name = g_app_info_get_name(info);
        const char *id = g_app_info_get_id(info);
        found.append(
            {QString::fromUtf8(id ? id : ""),
             {QFileInfo(QFile::decodeName(file)).absoluteFilePath(), QString::fromUtf8(name ? name : ""),
              QString::fromUtf8(commandLine ? commandLine : "")}});
    }
    g_list_free_full(all, g_object_unref);
    // GIO's order is a hash table's; by desktop id the catalog gets its rows in
    // the same order on every run.
    std::sort(found.begin(), found.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    QList<App> apps;
    for (const auto &[id, app] : std::as_const(found))
        apps.append(app);
    return apps;
}

namespace {

void onChanged(GAppInfoMonitor *, gpointer monitor)
{
    emit static_cast<Monitor *>(monitor)->changed();
}

} // namespace

Monitor::Monitor(QObject *parent) : QObject(parent)
{
    // GIO delivers the signal in the thread-default main context of this thread;
    // Qt's event dispatcher on Linux runs GLib's main loop, so it arrives here.
    GAppInfoMonitor *appMonitor = g_app_info_monitor_get();
    g_signal_connect(appMonitor, "changed", G_CALLBACK(onChanged), this);
    monitor = appMonitor;
}

Monitor::~Monitor()
{
    g_signal_handlers_disconnect_by_data(monitor, this);
    g_object_unref(monitor);
}

} // namespace InstalledApps
