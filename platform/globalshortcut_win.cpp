#include "globalshortcut.h"

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

} // namespace

class GlobalShortcut::Private : public QAbstractNativeEventFilter
{
public:
    explicit Private(GlobalShortcut *owner) : q(owner) { qApp->installNativeEventFilter(this); }
    ~Private() override
    {
        unregister();
        qApp->removeNativeEventFilter(this);
    }

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
            emit q->activated();
            return true;
        }
        return false;
    }

    GlobalShortcut *q;
    int id = 0x5417;
    bool registered = false;
    QKeySequence shortcut;
};

GlobalShortcut::GlobalShortcut(QObject *parent) : QObject(parent), d(new Private(this)) {}

GlobalShortcut::~GlobalShortcut() = default;

bool GlobalShortcut::setShortcut(const QKeySequence &shortcut)
{
    d->unregister();
    d->shortcut = shortcut;
    if (shortcut.isEmpty())
        return false;
    const QKeyCombination combination = shortcut[0];
    const UINT vk = virtualKey(combination.key());
    if (vk == 0)
        return false;
    UINT mods = 0;
    const auto m = combination.keyboardModifiers();
    if (m & Qt::ControlModifier)
        mods |= MOD_CONTROL;
    if (m & Qt::ShiftModifier)
        mods |= MOD_SHIFT;
    if (m & Qt::AltModifier)
        mods |= MOD_ALT;
    d->registered = RegisterHotKey(nullptr, d->id, mods, vk);
    return d->registered;
}

QKeySequence GlobalShortcut::shortcut() const
{
    return d->shortcut;
}
