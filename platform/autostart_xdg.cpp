#include "autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

// The XDG autostart entry. Its Exec line quotes the program path as the desktop
// entry format requires, so paths with blanks, quotes or backslashes round-trip.

namespace {

QString entryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/tolvane.desktop");
}

// Quotes one Exec argument: inside double quotes, `"`, `` ` ``, `$` and `\` take a
// backslash; then the string-value escape doubles every backslash and "%" becomes "%%".
QString quoteExecArgument(const QString &argument)
{
    QString quoted;
    for (QChar c : argument) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    quoted = QLatin1Char('"') + quoted + QLatin1Char('"');
    quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    quoted.replace(QLatin1Char('%'), QStringLiteral("%%"));
    return quoted;
}

// The reverse of quoteExecArgument for the first argument of an Exec value.
QString firstExecArgument(const QString &exec)
{
    // String-value escapes first.
    QString value;
    for (int i = 0; i < exec.size(); ++i) {
        if (exec[i] == QLatin1Char('\\') && i + 1 < exec.size()) {
            const QChar next = exec[++i];
            if (next == QLatin1Char('s'))
                value += QLatin1Char(' ');
            else if (next == QLatin1Char('n'))
                value += QLatin1Char('\n');
            else if (next == QLatin1Char('t'))
                value += QLatin1Char('\t');
            else if (next == QLatin1Char('r'))
                value += QLatin1Char('\r');
            else
                value += next;
        } else {
            value += exec[i];
        }
    }
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

QStringList readLines()
{
    QFile file(entryPath());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
}

// The value of a key in the [Desktop Entry] group.
QString entryValue(const QStringList &lines, const QString &key)
{
    bool inEntry = false;
    for (const QString &raw : lines) {
        const QString line = raw.trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inEntry = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inEntry)
            continue;
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq > 0 && line.left(eq).trimmed() == key)
            return line.mid(eq + 1).trimmed();
    }
    return {};
}

bool writeLines(const QStringList &lines)
{
    QDir().mkpath(QFileInfo(entryPath()).absolutePath());
    QSaveFile file(entryPath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    file.write(lines.join(QLatin1Char('\n')).toUtf8());
    return file.commit();
}

// Sets Hidden=true in the [Desktop Entry] group, keeping every other line.
QStringList hidden(QStringList lines)
{
    bool inEntry = false;
    int entryEnd = -1;
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            if (inEntry)
                break;
            inEntry = line == QLatin1String("[Desktop Entry]");
            entryEnd = inEntry ? i + 1 : entryEnd;
            continue;
        }
        if (!inEntry)
            continue;
        if (line.section(QLatin1Char('='), 0, 0).trimmed() == QLatin1String("Hidden")) {
            lines[i] = QStringLiteral("Hidden=true");
            return lines;
        }
        if (!line.isEmpty())
            entryEnd = i + 1;
    }
    if (entryEnd < 0) {
        lines.prepend(QStringLiteral("[Desktop Entry]"));
        entryEnd = 1;
    }
    lines.insert(entryEnd, QStringLiteral("Hidden=true"));
    return lines;
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
    const QStringList lines = readLines();
    if (entryValue(lines, QStringLiteral("Hidden")) == QLatin1String("true"))
        return QString();
    return firstExecArgument(entryValue(lines, QStringLiteral("Exec")));
}

void setValue(const QString &programPath)
{
    if (programPath.isEmpty()) {
        if (exists())
            writeLines(hidden(readLines()));
        return;
    }
    writeLines({QStringLiteral("[Desktop Entry]"), QStringLiteral("Type=Application"),
                QStringLiteral("Name=Tolvane"), QStringLiteral("Comment=Keyboard launcher"),
                QStringLiteral("Exec=") + quoteExecArgument(programPath), QStringLiteral("Terminal=false"),
                QStringLiteral("X-GNOME-Autostart-enabled=true"), QString()});
}

} // namespace AutoStart
