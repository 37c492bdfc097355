#include "gnomeshell.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

namespace {

const QString Shell = QStringLiteral("org.gnome.Shell");
const QString Mutter = QStringLiteral("org.gnome.Mutter.RemoteDesktop");
const QString SessionInterface = QStringLiteral("org.gnome.Mutter.RemoteDesktop.Session");

quint32 keysymOf(const QString &name)
{
    static const QHash<QString, quint32> named{
        {QStringLiteral("Control_L"), 0xffe3}, {QStringLiteral("Alt_L"), 0xffe9},
        {QStringLiteral("Shift_L"), 0xffe1},   {QStringLiteral("Super_L"), 0xffeb},
        {QStringLiteral("Return"), 0xff0d},    {QStringLiteral("Escape"), 0xff1b},
        {QStringLiteral("space"), 0x20},       {QStringLiteral("Down"), 0xff54},
        {QStringLiteral("Tab"), 0xff09},
    };
    if (named.contains(name))
        return named.value(name);
    // Latin-1 letters and digits are their own keysyms.
    return name.size() == 1 ? name.at(0).unicode() : 0;
}

} // namespace

GnomeShell::GnomeShell() : bus(QDBusConnection::sessionBus()) {}

GnomeShell::~GnomeShell()
{
    if (!session.isEmpty())
        bus.call(QDBusMessage::createMethodCall(Mutter, session, SessionInterface, QStringLiteral("Stop")));
}

bool GnomeShell::isRunning()
{
    return !qEnvironmentVariableIsEmpty("TOLVANE_GNOME_RUNTIME");
}

QProcessEnvironment GnomeShell::sessionEnvironment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QString home = qEnvironmentVariable("TOLVANE_GNOME_HOME");
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/.cache"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"),
                       qEnvironmentVariable("TOLVANE_GNOME_XDG_RUNTIME_DIR"));
    environment.insert(QStringLiteral("XDG_DATA_DIRS"), QStringLiteral("/usr/local/share:/usr/share"));
    environment.insert(QStringLiteral("XDG_CONFIG_DIRS"), QStringLiteral("/etc/xdg"));
    environment.remove(QStringLiteral("TMPDIR"));
    environment.remove(QStringLiteral("TOLVANE_REGISTRY_DIR"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
    environment.insert(QStringLiteral("GDK_BACKEND"), QStringLiteral("wayland"));
    // No GPU here: GTK draws with cairo.
    environment.insert(QStringLiteral("GSK_RENDERER"), QStringLiteral("cairo"));
    return environment;
}

QStringList GnomeShell::writeMarkerApp(const QString &dir)
{
    QDir().mkpath(dir);
    const QString script = dir + QStringLiteral("/marker.py");
    QFile file(script);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    const QByteArray folder = QFile::encodeName(dir);
    file.write("import time\nimport gi\ngi.require_version('Gtk', '4.0')\nfrom gi.repository import Gtk\n"
               "app = Gtk.Application(application_id='org.example.TolvaneMarker')\n"
               "def focused(w, _):\n"
               "    if w.is_active():\n"
               "        with open('" +
               folder +
               "/focus.log', 'a') as log:\n"
               "            log.write('%d focus\\n' % time.monotonic_ns())\n"
               "def activate(a):\n"
               "    w = a.get_active_window()\n"
               "    if w is None:\n"
               "        w = Gtk.ApplicationWindow(application=a, title='Marker Pad')\n"
               "        w.set_default_size(360, 240)\n"
               "        w.connect('notify::is-active', focused)\n"
               "    with open('" +
               folder +
               "/activations.log', 'a') as log:\n"
               "        log.write('activate\\n')\n"
               "    w.present()\n"
               "app.connect('activate', activate)\napp.run(None)\n");
    file.close();
    const QString apps =
        sessionEnvironment().value(QStringLiteral("XDG_DATA_HOME")) + QStringLiteral("/applications");
    QDir().mkpath(apps);
    QFile entry(apps + QStringLiteral("/org.example.TolvaneMarker.desktop"));
    if (!entry.open(QIODevice::WriteOnly))
        return {};
    entry.write("[Desktop Entry]\nType=Application\nName=Marker Pad\nExec=/usr/bin/python3 " +
                QFile::encodeName(script) + "\nStartupNotify=true\n");
    return {QStringLiteral("/usr/bin/python3"), script};
}

QString GnomeShell::eval(const QString &script) const
{
    QDBusMessage call = QDBusMessage::createMethodCall(Shell, QStringLiteral("/org/gnome/Shell"), Shell,
                                                       QStringLiteral("Eval"));
    call << script;
    const QDBusMessage reply = bus.call(call, QDBus::Block, 10000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() < 2)
        return QStringLiteral("!") + reply.errorMessage();
    if (!reply.arguments().at(0).toBool())
        return QStringLiteral("!") + reply.arguments().at(1).toString();
    return reply.arguments().at(1).toString();
}

QString GnomeShell::focusedTitle() const
{
    const QString json =
        eval(QStringLiteral("global.display.focus_window ? global.display.focus_window.title : ''"));
    return QJsonDocument::fromJson("[" + json.toUtf8() + "]").array().at(0).toString();
}

QRect GnomeShell::focusedFrame() const
{
    const QString json = eval(QStringLiteral(
        "(() => { const w = global.display.focus_window; if (!w) return {}; "
        "const r = w.get_frame_rect(); return {x: r.x, y: r.y, w: r.width, h: r.height}; })()"));
    const QJsonObject frame = QJsonDocument::fromJson(json.toUtf8()).object();
    return QRect(frame.value(QStringLiteral("x")).toInt(), frame.value(QStringLiteral("y")).toInt(),
                 frame.value(QStringLiteral("w")).toInt(), frame.value(QStringLiteral("h")).toInt());
}

void GnomeShell::activate(const QString &title) const
{
    eval(QStringLiteral("global.get_window_actors().map(a => a.meta_window).filter(w => w.title === %1)"
                        ".forEach(w => w.activate(global.get_current_time()))")
             .arg(QString::fromUtf8(QJsonDocument(QJsonArray{title}).toJson(QJsonDocument::Compact))
                      .mid(1)
                      .chopped(1)));
}

QString GnomeShell::notificationTitles() const
{
    return eval(QStringLiteral("Main.messageTray.getSources().map(s => s.title).join('|')"));
}

bool GnomeShell::screenshot(const QString &file, const QRect &area) const
{
    QDBusMessage call;
    const QString path = QStringLiteral("/org/gnome/Shell/Screenshot");
    const QString interface = QStringLiteral("org.gnome.Shell.Screenshot");
    if (area.isNull()) {
        call = QDBusMessage::createMethodCall(Shell + QStringLiteral(".Screenshot"), path, interface,
                                              QStringLiteral("Screenshot"));
        call << false << false << file;
    } else {
        call = QDBusMessage::createMethodCall(Shell + QStringLiteral(".Screenshot"), path, interface,
                                              QStringLiteral("ScreenshotArea"));
        call << area.x() << area.y() << area.width() << area.height() << false << file;
    }
    const QDBusMessage reply = bus.call(call, QDBus::Block, 10000);
    return reply.type() == QDBusMessage::ReplyMessage && reply.arguments().value(0).toBool();
}

bool GnomeShell::startInput()
{
    const QDBusReply<QDBusObjectPath> created = bus.call(QDBusMessage::createMethodCall(
        Mutter, QStringLiteral("/org/gnome/Mutter/RemoteDesktop"), Mutter, QStringLiteral("CreateSession")));
    if (!created.isValid())
        return false;
    session = created.value().path();
    const QDBusMessage started =
        bus.call(QDBusMessage::createMethodCall(Mutter, session, SessionInterface, QStringLiteral("Start")));
    if (started.type() != QDBusMessage::ReplyMessage)
        return false;
    // The pointer starts in the top-left corner, where the shell opens its
    // overview: move it away before anything else.
    QDBusMessage move = QDBusMessage::createMethodCall(Mutter, session, SessionInterface,
                                                       QStringLiteral("NotifyPointerMotionRelative"));
    move << 900.0 << 700.0;
    bus.call(move);
    return true;
}

void GnomeShell::keysym(quint32 sym, bool down) const
{
    QDBusMessage call = QDBusMessage::createMethodCall(Mutter, session, SessionInterface,
                                                       QStringLiteral("NotifyKeyboardKeysym"));
    call << sym << down;
    bus.call(call);
}

void GnomeShell::press(const QString &keys) const
{
    QList<quint32> syms;
    for (const QString &name : keys.split(QLatin1Char('+')))
        syms << keysymOf(name);
    for (quint32 sym : std::as_const(syms))
        keysym(sym, true);
    for (auto it = syms.crbegin(); it != syms.crend(); ++it)
        keysym(*it, false);
}

void GnomeShell::type(const QString &text) const
{
    for (const QChar c : text)
        press(c == QLatin1Char(' ') ? QStringLiteral("space") : QString(c));
}
