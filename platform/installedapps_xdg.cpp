// GLib's headers come before Qt's: Qt's "signals" keyword clashes with them.
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include "installedapps.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace InstalledApps {

namespace {

// Larger files are no desktop entries.
constexpr qint64 MaxEntrySize = 1 << 20;

// The applications folders, the one that wins first: the user's, then the
// system's, in XDG order.
QStringList applicationFolders()
{
    QStringList folders{QFile::decodeName(g_get_user_data_dir()) + QStringLiteral("/applications")};
    for (const gchar *const *dir = g_get_system_data_dirs(); *dir; ++dir)
        folders.append(QFile::decodeName(*dir) + QStringLiteral("/applications"));
    return folders;
}

// The contents of a desktop entry, read only when it is a regular file: a FIFO,
// device or socket named like an entry is never waited on (the open does not
// block, and the file's type is checked on what was opened).
std::optional<QByteArray> readRegularFile(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat status;
    std::optional<QByteArray> contents;
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size <= MaxEntrySize) {
        QFile file;
        if (file.open(fd, QIODevice::ReadOnly))
            contents = file.read(MaxEntrySize);
    }
    ::close(fd);
    return contents;
}

// Every desktop entry file of one applications folder and its subfolders, by
// desktop id (the path below the folder, '/' read as '-').
void collectEntries(const QString &folder, const QString &prefix, int depth,
                    QList<QPair<QString, QString>> &found)
{
    const QFileInfoList entries = QDir(folder).entryInfoList(
        QDir::Files | QDir::Dirs | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &entry : entries) {
        if (entry.isDir()) {
            if (depth < 8)
                collectEntries(entry.filePath(), prefix + entry.fileName() + QLatin1Char('-'), depth + 1,
                               found);
        } else if (entry.fileName().endsWith(QLatin1String(".desktop"))) {
            found.append({prefix + entry.fileName(), entry.absoluteFilePath()});
        }
    }
}

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

// The application a desktop entry describes, when menus would show it and it
// can start: GIO's reading of the entry (hidden, NoDisplay, OnlyShowIn,
// NotShowIn and TryExec are its).
std::optional<App> appOf(const QByteArray &contents, const QString &path)
{
    GKeyFile *keyFile = g_key_file_new();
    std::optional<App> app;
    if (g_key_file_load_from_data(keyFile, contents.constData(), gsize(contents.size()), G_KEY_FILE_NONE,
                                  nullptr)) {
        if (GDesktopAppInfo *entry = g_desktop_app_info_new_from_keyfile(keyFile)) {
            GAppInfo *info = G_APP_INFO(entry);
            // An entry without a command line cannot start unless D-Bus starts it.
            const char *commandLine = g_app_info_get_commandline(info);
            if (!g_desktop_app_info_get_is_hidden(entry) && g_app_info_should_show(info) &&
                (commandLine || g_desktop_app_info_get_boolean(entry, "DBusActivatable"))) {
                const char *name = g_app_info_get_name(info);
                app = App{path,
                          QString::fromUtf8(name ? name : ""),
                          QString::fromUtf8(commandLine ? commandLine : ""),
                          {},
                          {},
                          {}};
                describe(*app, entry);
            }
            g_object_unref(entry);
        }
    }
    g_key_file_free(keyFile);
    return app;
}

} // namespace

QList<App> list()
{
    // GIO watches the folders (GAppInfoMonitor) once it has looked them up, and
    // again after each notice. Looking up an id that no file can have does that
    // without opening a single entry (g_app_info_get_all opens every one, and
    // waits for ever on a FIFO named like one).
    if (GDesktopAppInfo *none = g_desktop_app_info_new("no/such.desktop"))
        g_object_unref(none);
    // The entries as GIO lists them: an id found in an earlier folder hides the
    // same id in later ones, whatever that entry holds.
    QSet<QString> seen;
    QList<QPair<QString, App>> found; // by desktop id
    for (const QString &folder : applicationFolders()) {
        QList<QPair<QString, QString>> entries;
        collectEntries(folder, QString(), 0, entries);
        for (const auto &[id, path] : std::as_const(entries)) {
            if (seen.contains(id))
                continue;
            seen.insert(id);
            // Only regular files are read; anything else is no application.
            if (!QFileInfo(path).isFile())
                continue;
            const std::optional<QByteArray> contents = readRegularFile(path);
            if (!contents)
                continue;
            if (std::optional<App> app = appOf(*contents, path))
                found.append({id, *app});
        }
    }
    // By desktop id the catalog gets its rows in the same order on every run.
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
