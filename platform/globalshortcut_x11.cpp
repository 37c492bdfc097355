#include "globalshortcut_p.h"

#include <QAbstractNativeEventFilter>
#include <QGuiApplication>

#include <xcb/xcb.h>

#include <memory>

namespace {

// The X keysym of a Qt key: Latin-1 characters are their own keysym, the rest
// come from a short table of the keys a hotkey plausibly uses.
xcb_keysym_t keysymForKey(int key)
{
    if ((key >= 0x20 && key <= 0x7e) || (key >= 0xa0 && key <= 0xff)) {
        if (key >= 'A' && key <= 'Z')
            return static_cast<xcb_keysym_t>(key - 'A' + 'a');
        return static_cast<xcb_keysym_t>(key);
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F35)
        return static_cast<xcb_keysym_t>(0xffbe + (key - Qt::Key_F1));
    switch (key) {
    case Qt::Key_Escape:
        return 0xff1b;
    case Qt::Key_Tab:
        return 0xff09;
    case Qt::Key_Backspace:
        return 0xff08;
    case Qt::Key_Return:
        return 0xff0d;
    case Qt::Key_Enter:
        return 0xff8d;
    case Qt::Key_Insert:
        return 0xff63;
    case Qt::Key_Delete:
        return 0xffff;
    case Qt::Key_Pause:
        return 0xff13;
    case Qt::Key_Print:
        return 0xff61;
    case Qt::Key_Home:
        return 0xff50;
    case Qt::Key_End:
        return 0xff57;
    case Qt::Key_Left:
        return 0xff51;
    case Qt::Key_Up:
        return 0xff52;
    case Qt::Key_Right:
        return 0xff53;
    case Qt::Key_Down:
        return 0xff54;
    case Qt::Key_PageUp:
        return 0xff55;
    case Qt::Key_PageDown:
        return 0xff56;
    default:
        return 0;
    }
}

uint16_t modifierMask(Qt::KeyboardModifiers modifiers)
{
    uint16_t mask = 0;
    if (modifiers & Qt::ShiftModifier)
        mask |= XCB_MOD_MASK_SHIFT;
    if (modifiers & Qt::ControlModifier)
        mask |= XCB_MOD_MASK_CONTROL;
    if (modifiers & Qt::AltModifier)
        mask |= XCB_MOD_MASK_1;
    if (modifiers & Qt::MetaModifier)
        mask |= XCB_MOD_MASK_4;
    return mask;
}

// Caps Lock and Num Lock must not stop the hotkey: grab it with each of them.
constexpr uint16_t LockVariants[] = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2,
                                     XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};
constexpr uint16_t RelevantModifiers =
    XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;

} // namespace

// The grab of one key combination on the root window of the X server that Qt
// talks to, seen through a native event filter.
class X11KeyGrab : public ShortcutBackend, public QAbstractNativeEventFilter
{
public:
    explicit X11KeyGrab(QObject *parent) : ShortcutBackend(parent)
    {
        if (auto x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr)
            connection = x11->connection();
        if (connection) {
            root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
            qApp->installNativeEventFilter(this);
        }
    }

    ~X11KeyGrab() override
    {
        ungrab();
        if (connection && qApp)
            qApp->removeNativeEventFilter(this);
    }

    Outcome bind(const QKeySequence &shortcut) override
    {
        ungrab();
        Outcome outcome;
        if (shortcut.isEmpty())
            return outcome;
        if (!connection) {
            outcome.error = QStringLiteral("no X server");
            return outcome;
        }
        const QKeyCombination combination = shortcut[0];
        const xcb_keysym_t keysym = keysymForKey(combination.key());
        const xcb_keycode_t code = keysym ? keycodeFor(keysym) : 0;
        if (code == 0) {
            outcome.error = QStringLiteral("no such key on this keyboard");
            return outcome;
        }
        if (!grab(code, modifierMask(combination.keyboardModifiers()))) {
            // BadAccess: another client grabbed the same key and modifiers first.
            outcome.error = QStringLiteral("held by another program");
            return outcome;
        }
        outcome.status = GlobalShortcut::Status::Active;
        return outcome;
    }

    bool isAvailable() const override { return connection != nullptr; }

private:
    xcb_keycode_t keycodeFor(xcb_keysym_t keysym) const
    {
        const xcb_setup_t *setup = xcb_get_setup(connection);
        const int count = setup->max_keycode - setup->min_keycode + 1;
        auto cookie = xcb_get_keyboard_mapping(connection, setup->min_keycode, static_cast<uint8_t>(count));
        std::unique_ptr<xcb_get_keyboard_mapping_reply_t, decltype(&free)> reply(
            xcb_get_keyboard_mapping_reply(connection, cookie, nullptr), &free);
        if (!reply)
            return 0;
        const xcb_keysym_t *syms = xcb_get_keyboard_mapping_keysyms(reply.get());
        const int perCode = reply->keysyms_per_keycode;
        const xcb_keysym_t upper = (keysym >= 'a' && keysym <= 'z') ? keysym - 'a' + 'A' : keysym;
        for (int code = 0; code < count; ++code) {
            for (int i = 0; i < perCode && i < 2; ++i) {
                const xcb_keysym_t sym = syms[code * perCode + i];
                if (sym == keysym || sym == upper)
                    return static_cast<xcb_keycode_t>(setup->min_keycode + code);
            }
        }
        return 0;
    }

    bool grab(xcb_keycode_t code, uint16_t mask)
    {
        bool ok = true;
        for (uint16_t variant : LockVariants) {
            auto cookie = xcb_grab_key_checked(connection, 1, root, mask | variant, code, XCB_GRAB_MODE_ASYNC,
                                               XCB_GRAB_MODE_ASYNC);
            if (xcb_generic_error_t *error = xcb_request_check(connection, cookie)) {
                free(error);
                ok = false;
            }
        }
        if (!ok) {
            for (uint16_t variant : LockVariants)
                xcb_ungrab_key(connection, code, root, mask | variant);
            xcb_flush(connection);
            return false;
        }
        keycode = code;
        modifiers = mask;
        return true;
    }

    void ungrab()
    {
        if (!connection || keycode == 0)
            return;
        for (uint16_t variant : LockVariants)
            xcb_ungrab_key(connection, keycode, root, modifiers | variant);
        xcb_flush(connection);
        keycode = 0;
        modifiers = 0;
    }

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) override
    {
        if (keycode == 0 || eventType != "xcb_generic_event_t")
            return false;
        auto event = static_cast<xcb_generic_event_t *>(message);
        if ((event->response_type & 0x7f) != XCB_KEY_PRESS)
            return false;
        auto press = reinterpret_cast<xcb_key_press_event_t *>(event);
        if (press->detail != keycode || (press->state & RelevantModifiers) != modifiers)
            return false;
        emit activated(QString());
        return true;
    }

    xcb_connection_t *connection = nullptr;
    xcb_window_t root = 0;
    xcb_keycode_t keycode = 0;
    uint16_t modifiers = 0;
};

ShortcutBackend *ShortcutBackends::createKeyGrab(QObject *parent)
{
    return new X11KeyGrab(parent);
}
