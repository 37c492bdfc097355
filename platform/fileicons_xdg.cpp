// GLib first: its headers clash with Qt's "signals" keyword.
#include <glib.h>

#include "fileicons.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHash>
#include <QImageReader>
#include <QStandardPaths>

namespace {

// The size rows draw at; an icon that gives no picture at this size cannot be drawn.
constexpr int ProbeSize = 32;

void appendMissing(QStringList &list, const QStringList &more)
{
    for (const QString &path : more) {
        if (!path.isEmpty() && !list.contains(path))
            list.append(path);
    }
}

// The freedesktop icon lookup: the session's theme (what Qt's platform theme
// names), then hicolor, in $HOME/.icons and the XDG data folders' "icons", and
// last the plain "pixmaps" folders (the XDG data folders' and /usr/share/pixmaps). Qt fills these in from the
// desktop session, but not on every platform (offscreen, some Wayland sessions name no theme, and the GNOME
// one no pixmaps folder): what is missing is added. Cheap when nothing is.
void completeIconLookup()
{
    const QStringList dataDirs = QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation);

    QStringList themePaths = QIcon::themeSearchPaths();
    QStringList wanted{QDir::homePath() + QStringLiteral("/.icons")};
    for (const QString &dir : std::as_const(dataDirs))
        wanted.append(dir + QStringLiteral("/icons"));
    const qsizetype themeCount = themePaths.size();
    appendMissing(themePaths, wanted);
    if (themePaths.size() != themeCount)
        QIcon::setThemeSearchPaths(themePaths);

    QStringList pixmapPaths = QIcon::fallbackSearchPaths();
    QStringList pixmaps;
    for (const QString &dir : std::as_const(dataDirs))
        pixmaps.append(dir + QStringLiteral("/pixmaps"));
    // The folder the icon theme specification names, whatever XDG_DATA_DIRS says.
    pixmaps.append(QStringLiteral("/usr/share/pixmaps"));
    const qsizetype pixmapCount = pixmapPaths.size();
    appendMissing(pixmapPaths, pixmaps);
    if (pixmapPaths.size() != pixmapCount)
        QIcon::setFallbackSearchPaths(pixmapPaths);

    if (QIcon::themeName().isEmpty())
        QIcon::setThemeName(QStringLiteral("hicolor"));
    if (QIcon::fallbackThemeName().isEmpty())
        QIcon::setFallbackThemeName(QStringLiteral("hicolor"));
}

// Whether the icon gives a picture: an SVG icon without Qt's SVG icon engine,
// or a broken file, gives none, and the row would show an empty square.
bool drawable(const QIcon &icon)
{
    return !icon.isNull() && !icon.pixmap(QSize(ProbeSize, ProbeSize)).isNull();
}

// The icon named by a desktop entry's Icon key: an absolute file, or a name in
// the icon theme (written with or without an image extension). Null when the
// entry names none that exists and can be drawn.
QIcon desktopEntryIcon(const QString &file)
{
    GKeyFile *keyFile = g_key_file_new();
    QString iconKey;
    const QByteArray native = QFile::encodeName(file);
    if (g_key_file_load_from_file(keyFile, native.constData(), G_KEY_FILE_NONE, nullptr)) {
        // The locale-independent value; the icon is not translated in practice.
        if (gchar *value = g_key_file_get_string(keyFile, "Desktop Entry", "Icon", nullptr)) {
            iconKey = QString::fromUtf8(value).trimmed();
            g_free(value);
        }
    }
    g_key_file_free(keyFile);
    if (iconKey.isEmpty())
        return QIcon();

    if (QFileInfo(iconKey).isAbsolute()) {
        if (!QFileInfo(iconKey).isFile() || !QImageReader(iconKey).canRead())
            return QIcon();
        const QIcon icon(iconKey);
        return drawable(icon) ? icon : QIcon();
    }
    QString name = iconKey;
    for (const char *ext : {".png", ".svg", ".svgz", ".xpm"}) {
        if (name.endsWith(QLatin1String(ext), Qt::CaseInsensitive)) {
            name.chop(int(qstrlen(ext)));
            break;
        }
    }
    if (!QIcon::hasThemeIcon(name))
        return QIcon();
    const QIcon icon = QIcon::fromTheme(name);
    return drawable(icon) ? icon : QIcon();
}

// Icons are asked for on every paint of a result row. The icon of a file is
// looked up again only when the file, or the icon theme, changed since; the
// icon itself keeps its rendered pictures, so a repaint renders nothing.
struct CachedIcon
{
    QDateTime modified;
    qint64 size = -1;
    bool exists = false;
    QString theme;
    QIcon icon;
};

} // namespace

QIcon FileIcons::icon(const QFileInfo &info)
{
    static const QFileIconProvider provider;
    const QString path = info.absoluteFilePath();
    if (info.filePath().isEmpty())
        return provider.icon(info);

    static QHash<QString, CachedIcon> cache;
    const bool exists = info.exists();
    const QDateTime modified = info.lastModified();
    const qint64 size = info.size();
    const QString theme = QIcon::themeName();
    const auto found = cache.constFind(path);
    if (found != cache.constEnd() && found->exists == exists && found->modified == modified &&
        found->size == size && found->theme == theme)
        return found->icon;

    completeIconLookup();
    QIcon result;
    if (info.suffix() == QLatin1String("desktop") && info.isFile())
        result = desktopEntryIcon(path);
    if (result.isNull())
        result = provider.icon(info);
    if (cache.size() >= 1024)
        cache.clear();
    // The theme as it is now: the lookup above may have named it.
    cache.insert(path, {modified, size, exists, QIcon::themeName(), result});
    return result;
}
