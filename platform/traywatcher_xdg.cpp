#include "traywatcher.h"

#include <QAbstractNativeEventFilter>
#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

xcb_atom_t atom(xcb_connection_t *connection, const QByteArray &name)
{
    auto cookie = xcb_intern_atom(connection, 0, uint16_t(name.size()), name.constData());
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return result;
}

} // namespace

class TrayWatcher::Private : public QAbstractNativeEventFilter
{
public:
    explicit Private(TrayWatcher *owner) : q(owner)
    {
        auto x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
        xcb_connection_t *connection = x11 ? x11->connection() : nullptr;
        if (!connection)
            return;
        xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
        const xcb_window_t root = screens.data->root;
        manager = atom(connection, "MANAGER");
        // The tray of the default screen (the one Qt's tray icon docks on).
        selection = atom(connection, "_NET_SYSTEM_TRAY_S0");
        // The MANAGER message goes to clients that listen for structure changes
        // of the root window; add that to what this connection listens for.
        auto cookie = xcb_get_window_attributes(connection, root);
        std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&free)> attributes(
            xcb_get_window_attributes_reply(connection, cookie, nullptr), &free);
        const uint32_t mask =
            (attributes ? attributes->your_event_mask : 0) | uint32_t(XCB_EVENT_MASK_STRUCTURE_NOTIFY);
        xcb_change_window_attributes(connection, root, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(connection);
        qApp->installNativeEventFilter(this);
        installed = true;
    }

    ~Private() override
    {
        if (installed && qApp)
            qApp->removeNativeEventFilter(this);
    }

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) override
    {
        if (eventType != "xcb_generic_event_t")
            return false;
        auto event = static_cast<xcb_generic_event_t *>(message);
        if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE)
            return false;
        auto client = reinterpret_cast<xcb_client_message_event_t *>(event);
        if (client->type == manager && client->format == 32 && client->data.data32[1] == selection)
            emit q->trayAppeared();
        return false;
    }

    TrayWatcher *q;
    xcb_atom_t manager = XCB_ATOM_NONE;
    xcb_atom_t selection = XCB_ATOM_NONE;
    bool installed = false;
};

TrayWatcher::TrayWatcher(QObject *parent) : QObject(parent), d(new Private(this)) {}

TrayWatcher::~TrayWatcher() = default;
