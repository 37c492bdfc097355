#include "windowblending.h"

#include <QByteArray>
#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace {

// The screen number of the display name ("host:display.screen"), 0 when it names none.
int screenOfDisplay(const QByteArray &display)
{
    const int colon = display.lastIndexOf(':');
    const int dot = display.indexOf('.', colon < 0 ? 0 : colon);
    if (dot < 0)
        return 0;
    bool ok = false;
    const int screen = display.mid(dot + 1).toInt(&ok);
    return ok && screen >= 0 ? screen : 0;
}

bool compositingManagerRuns(xcb_connection_t *connection)
{
    const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(screenOfDisplay(qgetenv("DISPLAY")));
    const auto atomCookie = xcb_intern_atom(connection, 1, uint16_t(name.size()), name.constData());
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&free)> atom(
        xcb_intern_atom_reply(connection, atomCookie, nullptr), &free);
    // With only_if_exists, no atom means no client ever took the selection.
    if (!atom || atom->atom == XCB_ATOM_NONE)
        return false;
    const auto ownerCookie = xcb_get_selection_owner(connection, atom->atom);
    const std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&free)> owner(
        xcb_get_selection_owner_reply(connection, ownerCookie, nullptr), &free);
    return owner && owner->owner != XCB_WINDOW_NONE;
}

} // namespace

namespace WindowBlending {

bool available()
{
    if (!qGuiApp)
        return false;
    const QString platform = QGuiApplication::platformName();
    if (platform.startsWith(QLatin1String("wayland")))
        return true;
    if (platform != QLatin1String("xcb"))
        return false;
    auto x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 && x11->connection() && compositingManagerRuns(x11->connection());
}

} // namespace WindowBlending
