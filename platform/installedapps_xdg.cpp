// GLib's headers come before Qt's: Qt's "signals" keyword clashes with them.
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include "installedapps.h"

#include <QDateTime>
#include <QDirIterator>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QStandardPaths>

#include <algorithm>
#include <optional>

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
