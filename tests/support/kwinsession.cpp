#include "kwinsession.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString ProbeService = QStringLiteral("org.tolvane.KWinProbe");

// Reports the active window at once and at every change, and every window mapped.
const char *const Script = R"(
function describe(w) {
    return w ? (w.desktopFileName || w.resourceClass) + "|" + w.caption + "|" + w.pid
                 + "|" + (w.popupWindow ? "popup" : "") : "";
}
function report() {
    callDBus("org.tolvane.KWinProbe", "/", "org.tolvane.KWinProbe", "active", describe(workspace.activeClient));
}
workspace.clientActivated.connect(report);
workspace.clientAdded.connect(function (w) {
    callDBus("org.tolvane.KWinProbe", "/", "org.tolvane.KWinProbe", "added", describe(w));
});
report();
)";

QDBusMessage kwinCall(const QString &path, const QString &interface, const QString &method,
                      const QVariantList &args = {})
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(QStringLiteral("org.kde.KWin"), path, interface, method);
    call.setArguments(args);
    return QDBusConnection::sessionBus().call(call, QDBus::Block, 10000);
}

} // namespace

KWinSession::KWinSession(QObject *parent) : QObject(parent)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerService(ProbeService) ||
        !bus.registerObject(QStringLiteral("/"), this, QDBusConnection::ExportScriptableSlots)) {
        m_error = QStringLiteral("cannot register the probe on the session bus");
        return;
    }
    m_scriptName = QStringLiteral("tolvaneprobe%1").arg(QCoreApplication::applicationPid());
    const QString file = runtime() + QLatin1Char('/') + m_scriptName + QStringLiteral(".js");
    QFile script(file);
    if (!script.open(QIODevice::WriteOnly) || script.write(Script) < 0) {
        m_error = QStringLiteral("cannot write the KWin script");
        return;
    }
    script.close();
    const QDBusMessage loaded =
        kwinCall(QStringLiteral("/Scripting"), QStringLiteral("org.kde.kwin.Scripting"),
                 QStringLiteral("loadScript"), {file, m_scriptName});
    if (loaded.type() != QDBusMessage::ReplyMessage || loaded.arguments().value(0).toInt() < 0) {
        m_error = QStringLiteral("KWin did not load the script: ") + loaded.errorMessage();
        return;
    }
    kwinCall(QStringLiteral("/Scripting"), QStringLiteral("org.kde.kwin.Scripting"), QStringLiteral("start"));
    // The script's first report tells that it runs.
    m_ready = QTest::qWaitFor([this] { return m_reported; }, 10000);
    if (!m_ready)
        m_error = QStringLiteral("the KWin script never reported");
}

KWinSession::~KWinSession()
{
    if (!m_scriptName.isEmpty())
        kwinCall(QStringLiteral("/Scripting"), QStringLiteral("org.kde.kwin.Scripting"),
                 QStringLiteral("unloadScript"), {m_scriptName});
    QDBusConnection::sessionBus().unregisterObject(QStringLiteral("/"));
    QDBusConnection::sessionBus().unregisterService(ProbeService);
}

void KWinSession::active(const QString &window)
{
    m_reported = true;
    m_active = window;
    emit activeChanged(window);
}

void KWinSession::added(const QString &window)
{
    m_added << window;
    emit windowAdded(window);
}

bool KWinSession::press(const QStringList &combinations)
{
    QProcess keys;
    keys.start(QStringLiteral(TOLVANE_KWINKEYS), combinations);
    return keys.waitForFinished(20000) && keys.exitStatus() == QProcess::NormalExit && keys.exitCode() == 0;
}

QString KWinSession::runtime()
{
    return qEnvironmentVariable("TOLVANE_KWIN_RUNTIME");
}

QString KWinSession::shortcutSettings()
{
    return runtime() + QStringLiteral("/home/.config/kglobalshortcutsrc");
}
