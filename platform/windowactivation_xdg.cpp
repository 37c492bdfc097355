#include "windowactivation.h"

#include "popupwindows.h"

#include <QGuiApplication>
#include <QRegularExpression>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

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

} // namespace

namespace WindowActivation {

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
