#include "hotkeymessages.h"

#include <QFileInfo>

namespace {

const char *const Caption = " Hotkey Exhaled: ";
const char *const InForceColour = "#32EC81";
const char *const WaitingColour = "#C8D0D8";
const char *const ProblemColour = "#F5A25D";

QString coloured(const char *colour, const QString &text)
{
    return QStringLiteral("<font color='%1' >").arg(QLatin1String(colour)) + text.toHtmlEscaped() +
           QStringLiteral("</font>");
}

QString commandName(const HotkeyState &state)
{
    return QFileInfo(state.command).fileName();
}

} // namespace

HotkeyState HotkeyState::of(const GlobalShortcut *shortcut, const QString &key, bool tray,
                            const QString &command)
{
    HotkeyState state;
    state.key = key;
    state.tray = tray;
    state.command = command;
    if (!shortcut)
        return state;
    state.mechanism = shortcut->mechanism();
    state.status = shortcut->status();
    state.available = shortcut->isAvailable();
    state.trigger = shortcut->trigger();
    state.error = shortcut->errorString();
    return state;
}

QString HotkeyState::keyInForce() const
{
    if (!inForce())
        return QString();
    return trigger.isEmpty() ? key : trigger;
}

namespace HotkeyMessages {

QString line(const HotkeyState &state)
{
    QString shown;
    if (state.inForce()) {
        shown = coloured(InForceColour, state.keyInForce());
        if (state.mechanism == GlobalShortcut::Mechanism::DesktopShortcut)
            shown += QStringLiteral(" (GNOME shortcut)");
    } else if (state.status == GlobalShortcut::Status::Pending) {
        shown = coloured(WaitingColour, state.key + QStringLiteral(" (asking the desktop)"));
    } else if (!state.canRegister()) {
        shown = coloured(ProblemColour, QStringLiteral("none here; bind a key to ") + commandName(state));
    } else if (state.key.isEmpty()) {
        shown = coloured(ProblemColour, QStringLiteral("none set"));
    } else {
        shown = coloured(ProblemColour, state.key + QStringLiteral(": ") + state.error);
    }
    return QLatin1String(Caption) + shown;
}

QString toolTip(const HotkeyState &state)
{
    const QString key = state.keyInForce();
    if (state.inForce()) {
        switch (state.mechanism) {
        case GlobalShortcut::Mechanism::Portal:
            return QStringLiteral(
                       "%1 shows Tolvane from any program: the desktop binds it through its global "
                       "shortcuts (its keyboard settings can change it). Choose another hotkey in Setting.")
                .arg(key);
        case GlobalShortcut::Mechanism::DesktopShortcut:
            return QStringLiteral(
                       "%1 shows Tolvane from any program: GNOME's custom shortcut \u201cTolvane\u201d "
                       "(Settings \u203a Keyboard \u203a Custom Shortcuts) starts \"%2\". Choose another "
                       "hotkey in Setting.")
                .arg(key, state.command);
        default:
            return QStringLiteral(
                       "Press %1 in any program to show Tolvane. Choose another hotkey in Setting.")
                .arg(key);
        }
    }
    if (state.status == GlobalShortcut::Status::Pending)
        return QStringLiteral("Asking the desktop for %1. Until it answers, %2 to show Tolvane.")
            .arg(state.key, wayBack(state));
    return problem(state);
}

QString problem(const HotkeyState &state)
{
    if (state.inForce() || state.status == GlobalShortcut::Status::Pending)
        return QString();
    if (!state.canRegister()) {
        QString text = QStringLiteral("No system-wide hotkey on this desktop");
        if (!state.error.isEmpty())
            text += QStringLiteral(" (%1)").arg(state.error);
        return text + QStringLiteral(". To show Tolvane with a key, bind one to the command \"%1\" in the "
                                     "desktop's keyboard settings: starting Tolvane again shows its window.")
                          .arg(state.command);
    }
    if (state.key.isEmpty())
        return QStringLiteral("No hotkey is set. Choose one in Setting. Until then, %1 to show Tolvane.")
            .arg(wayBack(state));
    if (state.mechanism == GlobalShortcut::Mechanism::DesktopShortcut)
        return QStringLiteral("The hotkey %1 could not be set as a GNOME shortcut: %2. Choose another one in "
                              "Setting.")
            .arg(state.key, state.error);
    return QStringLiteral("The hotkey %1 could not be registered: %2. Choose another one in Setting.")
        .arg(state.key, state.error);
}

QString wayBack(const HotkeyState &state)
{
    if (state.tray)
        return QStringLiteral("click Tolvane's icon in the tray");
    return QStringLiteral("start Tolvane again (its menu entry or the command \"%1\")")
        .arg(commandName(state));
}

QString refusal(const QString &refused, const QString &reason, const QString &previous, bool previousInForce,
                const HotkeyState &now)
{
    QString text = QStringLiteral("The hotkey %1 cannot be used: %2.").arg(refused, reason);
    if (previousInForce && !previous.isEmpty())
        return text + QStringLiteral(" The previous hotkey %1 stays.").arg(previous);
    // The key before never worked either: no "stays" for a key that was never in force.
    if (!previous.isEmpty())
        text += QStringLiteral(" The previous hotkey %1 is not in force either.").arg(previous);
    return text + QStringLiteral(" No hotkey shows Tolvane now: %1.").arg(wayBack(now));
}

QString bindElsewhere(const HotkeyState &state)
{
    return QStringLiteral(
               "This desktop lets no program take a system-wide key, so Tolvane cannot use %1 by "
               "itself. Bind %1 to the command \"%2\" in the desktop's keyboard settings: starting "
               "Tolvane again shows its window.")
        .arg(state.key, state.command);
}

} // namespace HotkeyMessages
