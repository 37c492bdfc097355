// The main window's ways in from outside: tray icon and menu, global hotkey,
// start with the system, and the links handed to the desktop.

#include "applocations.h"
#include "autostart.h"
#include "dialog.h"
#include "globalshortcut.h"
#include "hotkeymessages.h"
#include "messagebox.h"
#include "qsettingdlg.h"
#include "searchlineedit.h"
#include "traywatcher.h"

#include <QAction>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QMenu>
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
    // The hotkey's tool tip and the help speak of the tray now.
    updateHotkeyLine();
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

// As rich text, so that a long tool tip wraps instead of running off the screen.
QString wrapping(const QString &text)
{
    if (text.isEmpty())
        return text;
    QString escaped = text;
    escaped.replace(QLatin1Char('&'), QLatin1String("&amp;"))
        .replace(QLatin1Char('<'), QLatin1String("&lt;"))
        .replace(QLatin1Char('>'), QLatin1String("&gt;"));
    return QStringLiteral("<qt>") + escaped + QStringLiteral("</qt>");
}

} // namespace

HotkeyState Dialog::hotkeyState() const
{
    return HotkeyState::of(globalHotkey, hotkeyText, trayIcon != nullptr, AppLocations::command());
}

QString Dialog::hotkeyProblem() const
{
    if (!globalHotkey)
        return QString();
    return HotkeyMessages::problem(hotkeyState());
}

void Dialog::updateHotkeyLine()
{
    const HotkeyState state = hotkeyState();
    if (globalHotkey) {
        lblHotkey->setText(HotkeyMessages::line(state));
        lblHotkey->setToolTip(wrapping(HotkeyMessages::toolTip(state)));
    }
    // The help tells the same: the key in force, the tray or a second start.
    helpDlg.setReach(state.keyInForce(), state.tray, state.command);
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
            refuseSettingsHotkey(refused, globalHotkey->errorString(), hotkeyBeforeSettings,
                                 hotkeyBeforeSettingsInForce, true);
            return;
        }
    }
    updateHotkeyLine();
    if (status == GlobalShortcut::Status::Failed)
        reportHotkeyProblem();
}

void Dialog::refuseSettingsHotkey(const QString &refused, const QString &reason, const QString &previous,
                                  bool previousInForce, bool registerAgain)
{
    hotkeyText = previous;
    settingDlg->RestoreHotkey(previous);
    if (registerAgain)
        globalHotkey->setShortcut(QKeySequence(previous));
    updateHotkeyLine();
    MessageBoxes::information(
        this, QStringLiteral("Tolvane"),
        HotkeyMessages::refusal(refused, reason, previous, previousInForce, hotkeyState()));
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
    const bool previousInForce = globalHotkey->isActive();
    const QKeySequence sequence(strShotCut);
    if (fromSettings && !strShotCut.isEmpty() && !GlobalShortcut::isAllowed(sequence)) {
        // Refused before the old key is let go.
        refuseSettingsHotkey(strShotCut,
                             QStringLiteral("a hotkey must hold Ctrl, Alt or the Super key (function keys F1 "
                                            "to F24 may stand alone), or it takes that key away from every "
                                            "program"),
                             previous, previousInForce, false);
        return;
    }

    hotkeyText = strShotCut;
    settingsHotkeyPending.clear();
    const bool accepted = globalHotkey->setShortcut(sequence);
    if (fromSettings && !accepted && globalHotkey->isAvailable()) {
        refuseSettingsHotkey(strShotCut, globalHotkey->errorString(), previous, previousInForce, true);
        return;
    }
    if (fromSettings && globalHotkey->status() == GlobalShortcut::Status::Pending) {
        settingsHotkeyPending = strShotCut;
        hotkeyBeforeSettings = previous;
        hotkeyBeforeSettingsInForce = previousInForce;
    }
    if (globalHotkey->status() == GlobalShortcut::Status::Active)
        hotkeyProblemReported = false;
    updateHotkeyLine();
    if (fromSettings && !strShotCut.isEmpty() && !accepted && !hotkeyState().canRegister()) {
        // The key is kept (a desktop may offer system-wide keys later); the user
        // hears where to bind it instead.
        hotkeyProblemReported = true;
        MessageBoxes::information(this, QStringLiteral("Tolvane"),
                                  HotkeyMessages::bindElsewhere(hotkeyState()));
        return;
    }
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
