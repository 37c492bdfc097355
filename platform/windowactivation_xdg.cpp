#include "windowactivation.h"

#include "popupwindows.h"

#include <QApplication>
#include <QAtomicInt>
#include <QGuiApplication>
#include <QHostInfo>
#include <QRegularExpression>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <qpa/qplatformnativeinterface.h>

#include <wayland-client.h>
#include <xcb/xcb.h>

#include "xdg-activation-v1-client-protocol.h"

#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

const QString WaylandName = QStringLiteral("XDG_ACTIVATION_TOKEN");
const QString X11Name = QStringLiteral("DESKTOP_STARTUP_ID");

QString valueOf(const QString &token, const QString &name)
{
    const QString prefix = name + QLatin1Char('=');
    return token.startsWith(prefix) ? token.mid(prefix.size()) : QString();
}

xcb_atom_t atom(xcb_connection_t *connection, const char *name)
{
    auto cookie = xcb_intern_atom(connection, 0, uint16_t(strlen(name)), name);
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return result;
}

// The startup-notification "remove" message, which ends the launcher's busy
// feedback: broadcast on the root window in 20-byte pieces.
void sendStartupRemove(xcb_connection_t *connection, xcb_window_t root, xcb_window_t window,
                       const QByteArray &id)
{
    QByteArray quoted = id;
    quoted.replace('\\', "\\\\").replace('"', "\\\"");
    QByteArray message = "remove: ID=\"" + quoted + "\"";
    message.append('\0');
    const xcb_atom_t begin = atom(connection, "_NET_STARTUP_INFO_BEGIN");
    const xcb_atom_t more = atom(connection, "_NET_STARTUP_INFO");
    for (int offset = 0; offset < message.size(); offset += 20) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 8;
        event.window = window;
        event.type = offset == 0 ? begin : more;
        memcpy(event.data.data8, message.constData() + offset,
               size_t(qMin(20, int(message.size()) - offset)));
        xcb_send_event(connection, 0, root, XCB_EVENT_MASK_PROPERTY_CHANGE,
                       reinterpret_cast<const char *>(&event));
    }
}

// X11: the window carries the startup id, and the window manager is asked to
// activate it with the time of the user's request that the id holds.
void activateX11(QWidget *window, const QString &startupId)
{
    auto x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t *connection = x11 ? x11->connection() : nullptr;
    if (!connection || startupId.isEmpty())
        return;
    const QByteArray id = startupId.toUtf8();
    const auto xwindow = static_cast<xcb_window_t>(window->winId());
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, xwindow, atom(connection, "_NET_STARTUP_ID"),
                        atom(connection, "UTF8_STRING"), 8, uint32_t(id.size()), id.constData());

    const QRegularExpressionMatch time = QRegularExpression(QStringLiteral("_TIME(\\d+)$")).match(startupId);
    if (time.hasMatch()) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = xwindow;
        event.type = atom(connection, "_NET_ACTIVE_WINDOW");
        event.data.data32[0] = 1; // from an application
        event.data.data32[1] = time.captured(1).toUInt();
        xcb_send_event(connection, 0, root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char *>(&event));
    }
    sendStartupRemove(connection, root, xwindow, id);
    xcb_flush(connection);
}

// The window that has the keyboard, which the compositor checks the request against.
QWindow *focusedWindow()
{
    if (QWindow *window = QGuiApplication::focusWindow())
        return window;
    const QWidget *active = QApplication::activeWindow();
    return active ? active->windowHandle() : nullptr;
}

// One request for an xdg-activation token, on an event queue of its own so that
// Qt's dispatching of the display is not disturbed.
struct TokenRequest
{
    xdg_activation_v1 *activation = nullptr;
    QByteArray token;
    bool done = false;

    static void global(void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t)
    {
        auto request = static_cast<TokenRequest *>(data);
        if (!request->activation && strcmp(interface, xdg_activation_v1_interface.name) == 0)
            request->activation = static_cast<xdg_activation_v1 *>(
                wl_registry_bind(registry, name, &xdg_activation_v1_interface, 1));
    }
    static void globalRemove(void *, wl_registry *, uint32_t) {}
    static void tokenDone(void *data, xdg_activation_token_v1 *, const char *token)
    {
        auto request = static_cast<TokenRequest *>(data);
        request->token = token;
        request->done = true;
    }
};

// Asks the compositor for a token bound to the focused surface and the serial of
// the user's latest input on the seat; mutter and KWin give the new window the
// keyboard only with such a token.
QString waylandLaunchToken()
{
    QPlatformNativeInterface *native = QGuiApplication::platformNativeInterface();
    QWindow *window = focusedWindow();
    if (!native || !window)
        return QString();
    auto display = static_cast<wl_display *>(native->nativeResourceForIntegration("wl_display"));
    auto seat = static_cast<wl_seat *>(native->nativeResourceForIntegration("wl_seat"));
    const auto serial = uint32_t(quintptr(native->nativeResourceForIntegration("serial")));
    auto surface = static_cast<wl_surface *>(native->nativeResourceForWindow("surface", window));
    if (!display || !surface)
        return QString();

    wl_event_queue *queue = wl_display_create_queue(display);
    auto wrapper = static_cast<wl_display *>(wl_proxy_create_wrapper(display));
    wl_proxy_set_queue(reinterpret_cast<wl_proxy *>(wrapper), queue);
    wl_registry *registry = wl_display_get_registry(wrapper);
    static const wl_registry_listener registryListener{&TokenRequest::global, &TokenRequest::globalRemove};
    TokenRequest request;
    wl_registry_add_listener(registry, &registryListener, &request);
    wl_display_roundtrip_queue(display, queue);
    if (request.activation) {
        xdg_activation_token_v1 *token = xdg_activation_v1_get_activation_token(request.activation);
        static const xdg_activation_token_v1_listener tokenListener{&TokenRequest::tokenDone};
        xdg_activation_token_v1_add_listener(token, &tokenListener, &request);
        if (seat && serial)
            xdg_activation_token_v1_set_serial(token, serial, seat);
        xdg_activation_token_v1_set_surface(token, surface);
        xdg_activation_token_v1_commit(token);
        // The compositor answers the commit at once; a few round trips at most.
        for (int round = 0; round < 4 && !request.done; ++round) {
            if (wl_display_roundtrip_queue(display, queue) < 0)
                break;
        }
        xdg_activation_token_v1_destroy(token);
        xdg_activation_v1_destroy(request.activation);
    }
    wl_registry_destroy(registry);
    wl_proxy_wrapper_destroy(wrapper);
    wl_event_queue_destroy(queue);
    return request.done ? QString::fromUtf8(request.token) : QString();
}

// A startup-notification id with the X server time of the user's latest input,
// which window managers compare with the time of the focused window's last input.
QString x11LaunchToken()
{
    QPlatformNativeInterface *native = QGuiApplication::platformNativeInterface();
    QScreen *screen = QGuiApplication::primaryScreen();
    if (!native || !screen)
        return QString();
    quint32 time = quint32(quintptr(native->nativeResourceForScreen("appusertime", screen)));
    if (!time)
        time = quint32(quintptr(native->nativeResourceForScreen("apptime", screen)));
    if (!time)
        return QString();
    static QAtomicInt sequence;
    return QStringLiteral("%1-%2-%3-%4_TIME%5")
        .arg(QCoreApplication::applicationName())
        .arg(getpid())
        .arg(sequence.fetchAndAddRelaxed(1))
        .arg(QHostInfo::localHostName())
        .arg(time);
}

} // namespace

namespace WindowActivation {

QString launchToken()
{
    if (PopupWindows::isWayland()) {
        const QString token = waylandLaunchToken();
        return token.isEmpty() ? QString() : WaylandName + QLatin1Char('=') + token;
    }
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        const QString id = x11LaunchToken();
        return id.isEmpty() ? QString() : X11Name + QLatin1Char('=') + id;
    }
    return QString();
}

QString startupToken()
{
    for (const QString &name : {WaylandName, X11Name}) {
        const QString value = qEnvironmentVariable(name.toLatin1().constData());
        if (!value.isEmpty())
            return name + QLatin1Char('=') + value;
    }
    return QString();
}

QString waylandToken(const QString &value)
{
    return value.isEmpty() ? QString() : WaylandName + QLatin1Char('=') + value;
}

void activate(QWidget *window, const QString &token)
{
    if (PopupWindows::isWayland()) {
        const QString value = valueOf(token, WaylandName);
        // Without a token a shown, inactive window stays where it is (at best it is
        // marked urgent); a window that appears anew gets the keyboard.
        if (value.isEmpty() && window->isVisible() && !window->isActiveWindow())
            window->hide();
        window->show();
        window->raise();
        // Qt's Wayland plugin hands this variable to the compositor's activation
        // when the window asks for the keyboard, and removes it.
        if (!value.isEmpty())
            qputenv("XDG_ACTIVATION_TOKEN", value.toUtf8());
        window->activateWindow();
        // Without the activation protocol it stays: programs started later must not
        // inherit it.
        qunsetenv("XDG_ACTIVATION_TOKEN");
        return;
    }
    window->show();
    window->raise();
    window->activateWindow();
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        activateX11(window, valueOf(token, X11Name));
}

} // namespace WindowActivation
