#include "globalshortcut_p.h"

#include <QAbstractNativeEventFilter>
#include <QGuiApplication>

#include <windows.h>

namespace {

UINT virtualKey(int key)
{
    if ((key >= Qt::Key_0 && key <= Qt::Key_9) || (key >= Qt::Key_A && key <= Qt::Key_Z))
        return static_cast<UINT>(key);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return VK_F1 + static_cast<UINT>(key - Qt::Key_F1);
    if (key == Qt::Key_Space)
        return VK_SPACE;
    return 0;
}

// RegisterHotKey for the whole session, seen through a native event filter.
class WinHotKey : public ShortcutBackend, public QAbstractNativeEventFilter
{
public:
    explicit WinHotKey(QObject *parent) : ShortcutBackend(parent) { qApp->installNativeEventFilter(this); }
    ~WinHotKey() override
    {
        unregister();
        qApp->removeNativeEventFilter(this);
    }

    Outcome bind(const QKeySequence &shortcut) override
    {
        unregister();
        Outcome outcome;
        if (shortcut.isEmpty())
            return outcome;
        const QKeyCombination combination = shortcut[0];
        const UINT vk = virtualKey(combination.key());
        if (vk == 0) {
            outcome.error = QStringLiteral("no such key on this keyboard");
            return outcome;
        }
        UINT mods = 0;
        const auto m = combination.keyboardModifiers();
        if (m & Qt::ControlModifier)
            mods |= MOD_CONTROL;
        if (m & Qt::ShiftModifier)
            mods |= MOD_SHIFT;
        if (m & Qt::AltModifier)
            mods |= MOD_ALT;
        if (m & Qt::MetaModifier)
            mods |= MOD_WIN;
        registered = RegisterHotKey(nullptr, id, mods, vk);
        if (!registered) {
            outcome.error = QStringLiteral("held by another program");
            return outcome;
        }
        outcome.status = GlobalShortcut::Status::Active;
        return outcome;
    }

    bool isAvailable() const override { return true; }

private:
    void unregister()
    {
        if (registered)
            UnregisterHotKey(nullptr, id);
        registered = false;
    }

    bool nativeEventFilter(const QByteArray &, void *message, qintptr *) override
    {
        auto msg = static_cast<MSG *>(message);
        if (registered && msg->message == WM_HOTKEY && static_cast<int>(msg->wParam) == id) {
            emit activated(QString());
            return true;
        }
        return false;
    }

    int id = 0x5417;
    bool registered = false;
};

} // namespace

GlobalShortcut::Mechanism ShortcutBackends::automatic()
{
    return GlobalShortcut::Mechanism::KeyGrab;
}

ShortcutBackend *ShortcutBackends::create(GlobalShortcut::Mechanism mechanism, QObject *parent)
{
    if (mechanism == GlobalShortcut::Mechanism::KeyGrab || mechanism == GlobalShortcut::Mechanism::Automatic)
        return new WinHotKey(parent);
    return nullptr;
}

ShortcutBackend *ShortcutBackends::createKeyGrab(QObject *parent)
{
    return new WinHotKey(parent);
}

ShortcutBackend *ShortcutBackends::createPortal(QObject *)
{
    return nullptr;
}

ShortcutBackend *ShortcutBackends::createDesktopShortcut(QObject *)
{
    return nullptr;
}

bool ShortcutBackends::isGnomeSession()
{
    return false;
}
