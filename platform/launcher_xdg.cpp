// GLib first: its headers use "signals", which Qt defines as a keyword.
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include "launcher.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

namespace {

bool isDesktopEntry(const QString &path)
{
    return path.endsWith(QLatin1String(".desktop"));
}

bool launchDesktopEntry(const QString &path)
{
    GDesktopAppInfo *info = g_desktop_app_info_new_from_filename(QFile::encodeName(path).constData());
    if (!info)
        return false;
    GError *error = nullptr;
    const gboolean ok = g_app_info_launch(G_APP_INFO(info), nullptr, nullptr, &error);
    if (error)
        g_error_free(error);
    g_object_unref(info);
    return ok;
}

} // namespace

namespace Launcher {

bool startDetached(const QString &path)
{
    if (isDesktopEntry(path))
        return launchDesktopEntry(path);
    // The program gets no arguments and no shell: the exact file is started.
    return QProcess::startDetached(path, {});
}

bool openUrl(const QUrl &url)
{
    if (url.isLocalFile()) {
        const QString path = url.toLocalFile();
        if (isDesktopEntry(path))
            return launchDesktopEntry(path);
        const QFileInfo info(path);
        if (info.isFile() && info.isExecutable())
            return QProcess::startDetached(path, {});
    }
    return QDesktopServices::openUrl(url);
}

} // namespace Launcher
