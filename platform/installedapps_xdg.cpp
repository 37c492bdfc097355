// GLib's headers come before Qt's: Qt's "signals" keyword clashes with them.
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include "installedapps.h"

#include <QDateTime>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <optional>

namespace InstalledApps {

namespace {

// What an entry says the application is for, as GIO reads it in the user's
// language, and the file name of the program its Exec line starts.
void describe(App &app, GDesktopAppInfo *entry)
{
    if (const char *generic = g_desktop_app_info_get_generic_name(entry))
        app.genericName = QString::fromUtf8(generic).trimmed();
    if (const char *const *keywords = g_desktop_app_info_get_keywords(entry)) {
        for (; *keywords; ++keywords) {
            const QString keyword = QString::fromUtf8(*keywords).trimmed();
            if (!keyword.isEmpty() && !app.keywords.contains(keyword))
                app.keywords.append(keyword);
        }
    }
    if (const char *program = g_app_info_get_executable(G_APP_INFO(entry)))
        app.command = QFileInfo(QFile::decodeName(program)).fileName();
}

} // namespace

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
        App app{QFileInfo(QFile::decodeName(file)).absoluteFilePath(),
                QString::fromUtf8(name ? name : ""),
                QString::fromUtf8(commandLine ? commandLine : ""),
                {},
                {},
                {}};
        describe(app, entry);
        found.append({QString::fromUtf8(id ? id : ""), app});
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

// The arguments of an Exec value (its key-file escapes already undone), by the
// desktop entry rules: blanks separate arguments, and a double-quoted argument
// may hold blanks, with a backslash before ", `, $ or \ inside the quotes.
// Nothing when a quote is left open.
std::optional<QStringList> splitExec(const QString &exec)
{
    QStringList args;
    QString current;
    bool inArgument = false;
    bool inQuotes = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        if (inQuotes) {
            if (c == QLatin1Char('\\') && i + 1 < exec.size())
                current += exec.at(++i);
            else if (c == QLatin1Char('"'))
                inQuotes = false;
            else
                current += c;
        } else if (c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n')) {
            if (inArgument)
                args.append(current);
            current.clear();
            inArgument = false;
        } else {
            inArgument = true;
            if (c == QLatin1Char('"'))
                inQuotes = true;
            else
                current += c;
        }
    }
    if (inQuotes)
        return std::nullopt;
    if (inArgument)
        args.append(current);
    return args;
}

// One argument without its field codes (%f, %U, %i...: what a launch fills in);
// "%%" is a percent sign.
QString withoutFieldCodes(const QString &argument)
{
    QString out;
    for (qsizetype i = 0; i < argument.size(); ++i) {
        if (argument.at(i) == QLatin1Char('%') && i + 1 < argument.size()) {
            if (argument.at(++i) == QLatin1Char('%'))
                out += QLatin1Char('%');
            continue;
        }
        out += argument.at(i);
    }
    return out;
}

// An argument as a command line writes it: in double quotes when it holds a
// blank or a character a shell would read.
QString quoted(const QString &argument)
{
    static const QString special = QStringLiteral(" \t\n\"'\\<>~|&;$*?#()`");
    bool plain = !argument.isEmpty();
    for (const QChar c : argument)
        plain = plain && !special.contains(c);
    if (plain)
        return argument;
    QString out = QStringLiteral("\"");
    for (const QChar c : argument) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            out += QLatin1Char('\\');
        out += c;
    }
    return out + QLatin1Char('"');
}

// The program and arguments of an Exec value, without field codes.
QString commandOf(const QString &exec)
{
    const std::optional<QStringList> split = splitExec(exec);
    // Broken quoting: the words of the line as they stand.
    const QStringList arguments = split ? *split : exec.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QStringList shown;
    for (const QString &argument : arguments) {
        const QString rest = withoutFieldCodes(argument);
        // An argument that was only field codes stands for nothing.
        if (rest.isEmpty() && !argument.isEmpty())
            continue;
        shown.append(split ? quoted(rest) : rest);
    }
    return shown.join(QLatin1Char(' '));
}

// What a desktop entry starts, or an empty text when it cannot be read or
// starts nothing that can be named.
QString startedBy(const QString &file)
{
    GKeyFile *keyFile = g_key_file_new();
    QString shown;
    if (g_key_file_load_from_file(keyFile, QFile::encodeName(file).constData(), G_KEY_FILE_NONE, nullptr)) {
        if (gchar *exec = g_key_file_get_string(keyFile, "Desktop Entry", "Exec", nullptr)) {
            shown = commandOf(QString::fromUtf8(exec).trimmed());
            g_free(exec);
        } else if (g_key_file_get_boolean(keyFile, "Desktop Entry", "DBusActivatable", nullptr)) {
            // Its application id names the entry's file.
            shown = QFileInfo(file).completeBaseName();
        }
    }
    g_key_file_free(keyFile);
    return shown;
}

struct ShownEntry
{
    QDateTime modified;
    qint64 size = -1;
    QString shown;
};

} // namespace

QString shownPath(const QString &path)
{
    const QFileInfo info(path);
    if (info.suffix() != QLatin1String("desktop") || !info.isFile())
        return path;
    // Rows are painted often; an entry is read again only when it changed.
    static QHash<QString, ShownEntry> cache;
    const QDateTime modified = info.lastModified();
    const qint64 size = info.size();
    const auto found = cache.constFind(path);
    if (found != cache.constEnd() && found->modified == modified && found->size == size)
        return found->shown.isEmpty() ? path : found->shown;
    const QString shown = startedBy(path);
    if (cache.size() >= 1024)
        cache.clear();
    cache.insert(path, {modified, size, shown});
    return shown.isEmpty() ? path : shown;
}

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
