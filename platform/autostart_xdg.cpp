// GLib first: its headers use "signals", which Qt defines as a keyword.
#include <glib.h>

#include "autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <memory>

// The XDG autostart entry, read and written with GLib's key-file functions: they
// escape every value (a newline in a path becomes "\n"), so no path can add a
// line to the entry. The Exec value quotes the program path as the desktop entry
// format requires, so paths with blanks, quotes or backslashes round-trip.

namespace {

constexpr const char *group = "Desktop Entry";

using KeyFile = std::unique_ptr<GKeyFile, decltype(&g_key_file_free)>;

QString entryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/tolvane.desktop");
}

// Quotes one Exec argument: inside double quotes, `"`, `` ` ``, `$` and `\` take a
// backslash, and "%" becomes "%%". GLib adds the string-value escapes.
QString quoteExecArgument(const QString &argument)
{
    QString quoted;
    for (QChar c : argument) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    quoted.replace(QLatin1Char('%'), QStringLiteral("%%"));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

// The reverse of quoteExecArgument for the first argument of an Exec value.
QString firstExecArgument(QString value)
{
    value.replace(QStringLiteral("%%"), QStringLiteral("%"));
    const QString trimmed = value.trimmed();
    if (!trimmed.startsWith(QLatin1Char('"')))
        return trimmed.section(QLatin1Char(' '), 0, 0);
    QString argument;
    for (int i = 1; i < trimmed.size(); ++i) {
        const QChar c = trimmed[i];
        if (c == QLatin1Char('\\') && i + 1 < trimmed.size()) {
            argument += trimmed[++i];
        } else if (c == QLatin1Char('"')) {
            break;
        } else {
            argument += c;
        }
    }
    return argument;
}

// The entry as it is on disk, comments and translations kept; empty when it is
// missing or no key file.
KeyFile load()
{
    KeyFile keyFile(g_key_file_new(), &g_key_file_free);
    g_key_file_load_from_file(keyFile.get(), QFile::encodeName(entryPath()).constData(),
                              GKeyFileFlags(G_KEY_FILE_KEEP_COMMENTS | G_KEY_FILE_KEEP_TRANSLATIONS),
                              nullptr);
    return keyFile;
}

QString stringValue(GKeyFile *keyFile, const char *key)
{
    gchar *value = g_key_file_get_string(keyFile, group, key, nullptr);
    const QString text = QString::fromUtf8(value);
    g_free(value);
    return text;
}

// Replaces the file in one step (GLib writes a temporary file and renames it).
bool save(GKeyFile *keyFile)
{
    QDir().mkpath(QFileInfo(entryPath()).absolutePath());
    return g_key_file_save_to_file(keyFile, QFile::encodeName(entryPath()).constData(), nullptr);
}

void setString(GKeyFile *keyFile, const char *key, const QString &value)
{
    g_key_file_set_string(keyFile, group, key, value.toUtf8().constData());
}

} // namespace

namespace AutoStart {

bool exists()
{
    return QFileInfo::exists(entryPath());
}

QVariant value()
{
    if (!exists())
        return {};
    const KeyFile keyFile = load();
    if (g_key_file_get_boolean(keyFile.get(), group, "Hidden", nullptr))
        return QString();
    return firstExecArgument(stringValue(keyFile.get(), "Exec"));
}

void setValue(const QString &programPath)
{
    if (programPath.isEmpty()) {
        // Disabled: the entry stays, with every other key, and gets Hidden=true.
        if (exists()) {
            const KeyFile keyFile = load();
            g_key_file_set_boolean(keyFile.get(), group, "Hidden", true);
            save(keyFile.get());
        }
        return;
    }
    const KeyFile keyFile(g_key_file_new(), &g_key_file_free);
    setString(keyFile.get(), "Type", QStringLiteral("Application"));
    setString(keyFile.get(), "Name", QStringLiteral("Tolvane"));
    setString(keyFile.get(), "Comment", QStringLiteral("Keyboard launcher"));
    setString(keyFile.get(), "Exec", quoteExecArgument(programPath));
    g_key_file_set_boolean(keyFile.get(), group, "Terminal", false);
    g_key_file_set_boolean(keyFile.get(), group, "X-GNOME-Autostart-enabled", true);
    save(keyFile.get());
}

} // namespace AutoStart
