// The main window's ways in from outside: tray icon and menu, global hotkey,
// start with the system, and the links handed to the desktop.

#include "autostart.h"
#include "dialog.h"
#include "globalshortcut.h"
#include "qsettingdlg.h"
#include "searchlineedit.h"
#include "traywatcher.h"

#include <QAction>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QUrl>

void Dialog::createTray()
{
    trayMenu = new QMenu(this);
    trayMenu->setObjectName(QStringLiteral("trayMenu"));
    const auto addAction = [this](const char *text, const char *name, void (Dialog::*slot)()) {
        auto action = new QAction(QString::fromLatin1(text), this);
        action->setObjectName(QLatin1String(name));
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    trayMenu->addAction(addAction("Help(&H)", "actionHelp", &Dialog::ShowHelp));
    trayMenu->addAction(addAction("Show/Hide(&C)", "actionShowHide", &Dialog::ChangeStateSlot));
    trayMenu->addAction(addAction("Check Update(&U)", "actionCheckUpdate", &Dialog::CheckSlot));
    trayMenu->addAction(addAction("Setting(&S)", "actionSetting", &Dialog::ShowSettingSlot));
    trayMenu->addAction(addAction("About(&A)", "actionAbout", &Dialog::ShowAboutDlgSlot));
    trayMenu->addSeparator();
    trayMenu->addAction(addAction("Quit(&Q)", "actionQuit", &Dialog::CloseSlot));
    // Created with the others; the manager is reached through the count button.
    addAction("App/Tool Manage(&T)", "actionManage", &Dialog::ShowAppManage);

    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        createTrayIcon();
        return;
    }
    // A panel that starts after the program (later at login) still gets the icon.
    trayWatcher = new TrayWatcher(this);
    // Queued: Qt's own tray tracking sees the tray's announcement first, so the
    // new icon asks the tray to take it once.
    connect(
        trayWatcher, &TrayWatcher::trayAppeared, this,
        [this] {
            if (!trayIcon && QSystemTrayIcon::isSystemTrayAvailable()) {
                createTrayIcon();
                trayWatcher->deleteLater();
                trayWatcher = nullptr;
            }
        },
        Qt::QueuedConnection);
}

void Dialog::createTrayIcon()
{
    trayIcon = new QSystemTrayIcon(this);
    trayIcon->setObjectName(QStringLiteral("trayIcon"));
    const QIcon icon(QStringLiteral(":/images/MAIN"));
    trayIcon->setIcon(icon);
    setWindowIcon(icon);
    trayIcon->setContextMenu(trayMenu);
    connect(trayIcon, &QSystemTrayIcon::activated, this, &Dialog::iconActivated);
    trayIcon->setToolTip(QStringLiteral("Tolvane 1.1   Forgot your desktop!"));
    trayIcon->setVisible(true);
}

void Dialog::showStartBalloon()
{
    if (!trayIcon)
        return;
    trayIcon->showMessage(QStringLiteral("Tolvane"),
                          QStringLiteral("More settings right-click on me, Wish you Happy Working days!"),
                          QSystemTrayIcon::Information, 3000);
}

void Dialog::iconActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
        ChangeStateSlot();
}

namespace {

const char *const HotkeyCaption = " Hotkey Exhaled: ";
const char *const InForceColour = "#32EC81";
const char *const WaitingColour = "#C8D0D8";
const char *const ProblemColour = "#F5A25D";

QString coloured(const char *colour, const QString &text)
{
    return QStringLiteral("<font color='%1' >").arg(QLatin1String(colour)) + text.toHtmlEscaped() +
           QStringLiteral("</font>");
}

// The command a desktop binds a key to: the program's own file, which shows the
// running copy's window when started again.
QString programCommand()
{
    return QCoreApplication::applicationFilePath();
}

} // namespace

QString Dialog::hotkeyProblem() const
{
    if (!globalHotkey || globalHotkey->status() != GlobalShortcut::Status::Failed)
        return QString();
    if (!globalHotkey->isAvailable())
        return QStringLiteral(
                   "No system-wide hotkey on this desktop (%1). To show Tolvane with a key, bind one "
                   "to the command \"%2\" in the desktop's keyboard settings: starting Tolvane again "
                   "shows its window.")
            .arg(globalHotkey->errorString(), programCommand());
    if (hotkeyText.isEmpty())
        return QStringLiteral("No hotkey is set. Choose one in Setting.");
    return QStringLiteral("The hotkey %1 could not be registered: %2. Choose another one in Setting.")
        .arg(hotkeyText, globalHotkey->errorString());
}

void Dialog::updateHotkeyLine()
{
    QString state;
    switch (globalHotkey->status()) {
    case GlobalShortcut::Status::Active:
        state =
            coloured(InForceColour, globalHotkey->trigger().isEmpty() ? hotkeyText : globalHotkey->trigger());
        break;
    case GlobalShortcut::Status::Pending:
        state = coloured(WaitingColour, hotkeyText + QStringLiteral(" (asking the desktop)"));
        break;
    case GlobalShortcut::Status::Inactive:
    case GlobalShortcut::Status::Failed:
        if (!globalHotkey->isAvailable())
            state = coloured(ProblemColour, QStringLiteral("none here; bind a key to ") +
                                                QFileInfo(programCommand()).fileName());
        else if (hotkeyText.isEmpty())
            state = coloured(ProblemColour, QStringLiteral("none set"));
        else
            state = coloured(ProblemColour, hotkeyText + QStringLiteral(": ") + globalHotkey->errorString());
        break;
    }
    lblHotkey->setText(QLatin1String(HotkeyCaption) + state);
    lblHotkey->setToolTip(hotkeyProblem());
}

void Dialog::reportHotkeyProblem()
{
    // Once per failure, never blocking: the line says it all along, the balloon
    // tells it where a tray exists.
    const QString problem = hotkeyProblem();
    if (problem.isEmpty() || hotkeyProblemReported)
        return;
    if (!startupDone) {
        problemBalloonPending = true;
        return;
    }
    problemBalloonPending = false;
    hotkeyProblemReported = true;
    if (trayIcon)
        trayIcon->showMessage(QStringLiteral("Tolvane"), problem, QSystemTrayIcon::Warning, 10000);
}

void Dialog::hotkeyStatusChanged()
{
    const GlobalShortcut::Status status = globalHotkey->status();
    if (status == GlobalShortcut::Status::Active)
        hotkeyProblemReported = false;
    if (!settingsHotkeyPending.isEmpty() && status != GlobalShortcut::Status::Pending) {
        const QString refused = settingsHotkeyPending;
        settingsHotkeyPending.clear();
        if (status == GlobalShortcut::Status::Failed) {
            refuseSettingsHotkey(
                QStringLiteral("The hotkey %1 cannot be used: %2.").arg(refused, globalHotkey->errorString()),
                hotkeyBeforeSettings, true);
            return;
        }
    }
    updateHotkeyLine();
    if (status == GlobalShortcut::Status::Failed)
        reportHotkeyProblem();
}

void Dialog::refuseSettingsHotkey(const QString &reason, const QString &previous, bool registerAgain)
{
    hotkeyText = previous;
    settingDlg->RestoreHotkey(previous);
    if (registerAgain)
        globalHotkey->setShortcut(QKeySequence(previous));
    updateHotkeyLine();
    QString text = reason;
    if (!previous.isEmpty())
        text += QStringLiteral(" The previous hotkey %1 stays.").arg(previous);
    QMessageBox::information(this, QStringLiteral("Tolvane"), text, QMessageBox::Ok);
}

void Dialog::SetShortcut(QString strShotCut)
{
    if (!globalHotkey) {
        globalHotkey = new GlobalShortcut(this);
        connect(globalHotkey, &GlobalShortcut::activated, this,
                [this](const QString &token) { showActivated(token); });
        connect(globalHotkey, &GlobalShortcut::statusChanged, this, &Dialog::hotkeyStatusChanged);
    } else if (strShotCut == hotkeyText && globalHotkey->status() != GlobalShortcut::Status::Failed) {
        // The same hotkey again (Cancel sends the stored one): it stays as it is.
        return;
    }

    // After start-up the only sender is the settings window's OK or Cancel: the
    // user just asked for this key and hears at once when it cannot be had.
    const bool fromSettings = startupDone && strShotCut != hotkeyText;
    const QString previous = hotkeyText;
    const QKeySequence sequence(strShotCut);
    if (fromSettings && !strShotCut.isEmpty() && !GlobalShortcut::isAllowed(sequence)) {
        // Refused before the old key is let go.
        refuseSettingsHotkey(
            QStringLiteral("The hotkey %1 cannot be used: a hotkey must hold Ctrl, Alt or the "
                           "Super key (function keys F1 to F24 may stand alone), or it takes "
                           "that key away from every program.")
                .arg(strShotCut),
            previous, false);
        return;
    }

    hotkeyText = strShotCut;
    settingsHotkeyPending.clear();
    const bool accepted = globalHotkey->setShortcut(sequence);
    if (fromSettings && !accepted && globalHotkey->isAvailable()) {
        refuseSettingsHotkey(
            QStringLiteral("The hotkey %1 cannot be used: %2.").arg(strShotCut, globalHotkey->errorString()),
            previous, true);
        return;
    }
    if (fromSettings && globalHotkey->status() == GlobalShortcut::Status::Pending) {
        settingsHotkeyPending = strShotCut;
        hotkeyBeforeSettings = previous;
    }
    if (globalHotkey->status() == GlobalShortcut::Status::Active)
        hotkeyProblemReported = false;
    updateHotkeyLine();
    reportHotkeyProblem();
}

void Dialog::AutoRun(bool isAutoRun)
{
    const QString path = QDir::toNativeSeparators(QCoreApplication::applicationFilePath());
    const bool exists = AutoStart::exists();
    const QVariant value = AutoStart::value();
    if (exists && value.typeId() == QMetaType::QString && value.toString() == path && isAutoRun)
        return;
    if (exists)
        AutoStart::setValue(isAutoRun ? path : QString());
    else if (isAutoRun)
        AutoStart::setValue(path);
}

void Dialog::FeedBackClot()
{
    QDesktopServices::openUrl(QUrl(QStringLiteral("mailto:") + QLatin1String(TolvaneLinks::SupportMail) +
                                   QStringLiteral("?subject=About Tolvane&body=Hello Author,")));
}

void Dialog::CheckSlot()
{
    QDesktopServices::openUrl(QUrl(QLatin1String(TolvaneLinks::ReleaseHistory)));
}

void Dialog::DonateClot()
{
    QDesktopServices::openUrl(QUrl(QLatin1String(TolvaneLinks::Donation)));
}
