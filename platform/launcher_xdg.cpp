// GLib first: its headers use "signals", which Qt defines as a keyword.
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include "launcher.h"
#include "windowactivation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QUrl>

#include <unistd.h>

// A launch context whose startup id is the activation token: GLib hands it to a
// started program in its environment and to a D-Bus activated one in the platform
// data, whose running copy passes it to the compositor when it shows its window.
struct TokenLaunchContext
{
    GAppLaunchContext parent;
    gchar *token;
};

struct TokenLaunchContextClass
{
    GAppLaunchContextClass parent;
};

G_DEFINE_TYPE(TokenLaunchContext, token_launch_context, G_TYPE_APP_LAUNCH_CONTEXT)

static gchar *token_launch_context_get_startup_notify_id(GAppLaunchContext *context, GAppInfo *, GList *)
{
    return g_strdup(reinterpret_cast<TokenLaunchContext *>(context)->token);
}

static void token_launch_context_finalize(GObject *object)
{
    g_free(reinterpret_cast<TokenLaunchContext *>(object)->token);
    G_OBJECT_CLASS(token_launch_context_parent_class)->finalize(object);
}

static void token_launch_context_class_init(TokenLaunchContextClass *klass)
{
    G_OBJECT_CLASS(klass)->finalize = token_launch_context_finalize;
    G_APP_LAUNCH_CONTEXT_CLASS(klass)->get_startup_notify_id = token_launch_context_get_startup_notify_id;
}

static void token_launch_context_init(TokenLaunchContext *context)
{
    context->token = nullptr;
}

namespace {

// The activation token for one launch, split as "NAME=value".
struct Token
{
    QString name;
    QString value;

    static Token request()
    {
        const QString token = WindowActivation::launchToken();
        const int equals = token.indexOf(QLatin1Char('='));
        if (equals <= 0)
            return {};
        return {token.left(equals), token.mid(equals + 1)};
    }
    bool isEmpty() const { return value.isEmpty(); }
};

// A launch context carrying `token`, or null without one (GLib then launches as
// it always did). The caller unrefs it.
GAppLaunchContext *contextFor(const Token &token)
{
    if (token.isEmpty())
        return nullptr;
    auto context = static_cast<TokenLaunchContext *>(g_object_new(token_launch_context_get_type(), nullptr));
    const QByteArray value = token.value.toUtf8();
    context->token = g_strdup(value.constData());
    // Also for entries without StartupNotify=true, for which GLib asks no id.
    g_app_launch_context_setenv(G_APP_LAUNCH_CONTEXT(context), token.name.toUtf8().constData(),
                                value.constData());
    return G_APP_LAUNCH_CONTEXT(context);
}

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

Launcher::Result launchDesktopEntry(const QString &path, const Token &token)
{
    if (!isTrustedEntry(QFileInfo(path)))
        return {false, QStringLiteral("the desktop entry is not installed, nor made executable by you; make "
                                      "it executable to trust it")};
    GDesktopAppInfo *info = g_desktop_app_info_new_from_filename(QFile::encodeName(path).constData());
    if (!info)
        return {false, QStringLiteral("not a valid application entry")};
    GError *error = nullptr;
    GAppLaunchContext *context = contextFor(token);
    const bool ok = g_app_info_launch(G_APP_INFO(info), nullptr, context, &error);
    if (context)
        g_object_unref(context);
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

Launcher::Result startProcess(const QString &path, const Token &token)
{
    // The program gets no arguments and no shell: the exact file is started.
    QProcess process;
    process.setProgram(path);
    if (!token.isEmpty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(token.name, token.value);
        process.setProcessEnvironment(environment);
    }
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
Launcher::Result openWithAssociation(const QString &path, const Token &token)
{
    const QByteArray uri = QUrl::fromLocalFile(path).toEncoded();
    GError *error = nullptr;
    GAppLaunchContext *context = contextFor(token);
    const bool ok = g_app_info_launch_default_for_uri(uri.constData(), context, &error);
    if (context)
        g_object_unref(context);
    if (ok)
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
    // Asked for while this window still has the keyboard and the key press is
    // the latest input.
    const Token token = Token::request();
    if (isDesktopEntry(info))
        return launchDesktopEntry(path, token);
    if (isProgram(info))
        return startProcess(path, token);
    return openWithAssociation(path, token);
}

} // namespace Launcher
