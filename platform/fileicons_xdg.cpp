// GLib first: its headers clash with Qt's "signals" keyword.
#include <glib.h>

#include "fileicons.h"

#include <QDateTime>
#include <QFile>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHash>
#include <QImageReader>

namespace {

// The icon named by a desktop entry's Icon key: an absolute file, or a name in
// the icon theme (written with or without an image extension). Null when the
// entry names none that exists.
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
        return QIcon(iconKey);
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
    return QIcon::fromTheme(name);
}

// Icons are asked for on every paint of a result row. A desktop entry's icon is
// read again only when the entry, or the icon theme, changed since; other files
// go straight to the provider.
struct CachedIcon
{
    QDateTime modified;
    qint64 size = -1;
    QString theme;
    QIcon icon;
};

} // namespace

QIcon FileIcons::icon(const QFileInfo &info)
{
    static const QFileIconProvider provider;
    if (info.suffix() != QLatin1String("desktop") || !info.isFile())
        return provider.icon(info);

    static QHash<QString, CachedIcon> cache;
    const QString path = info.absoluteFilePath();
    const QDateTime modified = info.lastModified();
    const qint64 size = info.size();
    const QString theme = QIcon::themeName();
    const auto found = cache.constFind(path);
    if (found != cache.constEnd() && found->modified == modified && found->size == size &&
        found->theme == theme)
        return found->icon;

    QIcon result = desktopEntryIcon(path);
    if (result.isNull())
        result = provider.icon(info);
    if (cache.size() >= 1024)
        cache.clear();
    cache.insert(path, {modified, size, theme, result});
    return result;
}
