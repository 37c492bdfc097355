#include "globalshortcut.h"
#include "globalshortcut_p.h"

namespace {

const char *const NotAllowed = "needs Ctrl, Alt or Super";
const char *const NoHotkey = "no hotkey set";
const char *const NoMechanism = "this desktop offers no system-wide keys";

} // namespace

GlobalShortcut::GlobalShortcut(QObject *parent, Mechanism mechanism) : QObject(parent)
{
    chosen = mechanism == Mechanism::Automatic ? ShortcutBackends::automatic() : mechanism;
    backend.reset(ShortcutBackends::create(chosen, nullptr));
    if (!backend) {
        chosen = Mechanism::None;
        return;
    }
    connect(backend.get(), &ShortcutBackend::activated, this, &GlobalShortcut::activated);
    connect(backend.get(), &ShortcutBackend::changed, this,
            [this](Status status, const QString &trigger, const QString &error) {
                apply(status, trigger, error);
                emit statusChanged();
            });
}

GlobalShortcut::~GlobalShortcut() = default;

bool GlobalShortcut::isAllowed(const QKeySequence &shortcut)
{
    if (shortcut.isEmpty())
        return false;
    const QKeyCombination combination = shortcut[0];
    const int key = combination.key();
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return true;
    // A modifier pressed on its own is no combination.
    if (key == Qt::Key_Control || key == Qt::Key_Alt || key == Qt::Key_Meta || key == Qt::Key_Shift ||
        key == Qt::Key_Super_L || key == Qt::Key_Super_R || key == Qt::Key_unknown)
        return false;
    return bool(combination.keyboardModifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
}

bool GlobalShortcut::setShortcut(const QKeySequence &shortcut)
{
    requested = shortcut;
    if (shortcut.isEmpty() || !isAllowed(shortcut)) {
        // The old combination goes all the same: the caller asked for another one.
        if (backend)
            backend->bind(QKeySequence());
        apply(Status::Failed, QString(), QString::fromLatin1(shortcut.isEmpty() ? NoHotkey : NotAllowed));
        return false;
    }
    if (!backend) {
        apply(Status::Failed, QString(), QString::fromLatin1(NoMechanism));
        return false;
    }
    const ShortcutBackend::Outcome outcome = backend->bind(shortcut);
    apply(outcome.status, outcome.trigger, outcome.error);
    return outcome.status != Status::Failed;
}

void GlobalShortcut::apply(Status status, const QString &trigger, const QString &error)
{
    current = status;
    currentTrigger = status == Status::Active ? trigger : QString();
    currentError = status == Status::Failed ? error : QString();
}

QKeySequence GlobalShortcut::shortcut() const
{
    return requested;
}

GlobalShortcut::Status GlobalShortcut::status() const
{
    return current;
}

QString GlobalShortcut::trigger() const
{
    return currentTrigger;
}

QString GlobalShortcut::errorString() const
{
    return currentError;
}

bool GlobalShortcut::isAvailable() const
{
    return backend && backend->isAvailable();
}

GlobalShortcut::Mechanism GlobalShortcut::mechanism() const
{
    return chosen;
}
