// GLib first: its headers use "signals", which Qt defines as a keyword.
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include "launcher.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QUrl>

#include <unistd.h>

namespace {

bool isDesktopEntry(const QFileInfo &info)
{
    return info.suffix() == QLatin1String("desktop") && info.isFile();
}

// A program the kernel can run: an executable file that starts with the ELF
// magic or with "#!". Anything else with the execute bit (a document on a FAT
// or NTFS stick, where every file has it) is no program.
bool isProgram(const QFileInfo &info)
{
    if (!info.isFile() || !info.isExecutable())
        return false;
    QFile file(info.filePath());
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(4);
    return head == QByteArrayLiteral("\x7f"
                                     "ELF") ||
           head.startsWith("#!");
}

QString takeMessage(GError *error)
{
    if (!error)
        return QStringLiteral("unknown error");
    const QString message = QString::fromUtf8(error->message);
    g_error_free(error);
    return message;
}

// A desktop entry runs whatever its Exec line says, so, as the desktops do, only
// a trusted one starts: one under a folder of installed applications (the
// user's and the system's applications folders, where GIO lists them), or a
// launcher the user made their own: owned by them, executable and writable by
// nobody else (the execute bit is what "Allow Launching" in the file managers
// sets). A file dropped into the desktop or the downloads folder is neither.
bool isTrustedEntry(const QFileInfo &info)
{
    QStringList folders{QFile::decodeName(g_get_user_data_dir())};
    for (const gchar *const *dir = g_get_system_data_dirs(); *dir; ++dir)
        folders << QFile::decodeName(*dir);
    const QString paths[] = {QDir::cleanPath(info.absoluteFilePath()), info.canonicalFilePath()};
    for (const QString &folder : folders) {
        const QString applications = QDir::cleanPath(folder + QStringLiteral("/applications"));
        for (const QString &prefix : {applications, QFileInfo(applications).canonicalFilePath()}) {
            for (const QString &path : paths) {
                if (!prefix.isEmpty() && path.startsWith(prefix + QLatin1Char('/')))
                    return true;
            }
        }
    }
    const QFile::Permissions mode = info.permissions();
    return info.ownerId() == ::geteuid() && (mode & QFile::ExeOwner) &&
           !(mode & (QFile::WriteGroup | QFile::WriteOther));
}

Launcher::Result launchDesktopEntry(const QString &path)
{
    if (!isTrustedEntry(QFileInfo(path)))
        return {false, QStringLiteral("the desktop entry is not installed, nor made executable by you; make "
                                      "it executable to trust it")};
    GDesktopAppInfo *info = g_desktop_app_info_new_from_filename(QFile::encodeName(path).constData());
    if (!info)
        return {false, QStringLiteral("not a valid application entry")};
    GError *error = nullptr;
    const bool ok = g_app_info_launch(G_APP_INFO(info), nullptr, nullptr, &error);
    g_object_unref(info);
    if (ok)
        return {true, QString()};
    return {false, takeMessage(error)};
}

// The interpreter a "#!" script names, or an empty text.
QString interpreterOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray line = file.readLine(4096);
    if (!line.startsWith("#!"))
        return QString();
    return QString::fromLocal8Bit(line.mid(2).trimmed()).section(QLatin1Char(' '), 0, 0);
}

Launcher::Result startProcess(const QString &path)
{
    // The program gets no arguments and no shell: the exact file is started.
    QProcess process;
    process.setProgram(path);
    if (process.startDetached())
        return {true, QString()};
    // "No such file or directory" about a file that exists: its interpreter is missing.
    const QString interpreter = interpreterOf(path);
    if (!interpreter.isEmpty() && !QFileInfo::exists(interpreter))
        return {false, QStringLiteral("its interpreter %1 does not exist").arg(interpreter)};
    QString error = process.errorString();
    error.remove(QRegularExpression(QStringLiteral("^execv?p?: ")));
    return {false, error};
}

// The desktop's association for the file's type (the freedesktop MIME
// associations, as the file manager uses them); it fails when no application
// handles the type.
Launcher::Result openWithAssociation(const QString &path)
{
    const QByteArray uri = QUrl::fromLocalFile(path).toEncoded();
    GError *error = nullptr;
    if (g_app_info_launch_default_for_uri(uri.constData(), nullptr, &error))
        return {true, QString()};
    return {false, takeMessage(error)};
}

} // namespace

namespace Launcher {

Result start(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return {false, QStringLiteral("No such file or directory")};
    if (isDesktopEntry(info))
        return launchDesktopEntry(path);
    if (isProgram(info))
        return startProcess(path);
    return openWithAssociation(path);
}

} // namespace Launcher
