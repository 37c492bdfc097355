// The main window's ways in from outside: tray icon and menu, global hotkey,
// start with the system, and the links handed to the desktop.

#include "autostart.h"
#include "dialog.h"
#include "globalshortcut.h"
#include "searchlineedit.h"

#include <QAction>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
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

    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return;
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

void Dialog::SetShortcut(QString strShotCut)
{
    lblHotkey->setText(QStringLiteral(" Hotkey Exhaled: <font color='#32EC81' >") +
                       strShotCut.toHtmlEscaped() + QStringLiteral("</font>"));
    bool registered = false;
    if (!globalHotkey) {
        globalHotkey = new GlobalShortcut(this);
        connect(globalHotkey, &GlobalShortcut::activated, this, &Dialog::ShowWnd);
    }
    registered = globalHotkey->setShortcut(QKeySequence(strShotCut));
    if (!registered)
        QMessageBox::information(this, QStringLiteral("title"), QStringLiteral("Hotkey registration failed"),
                                 QMessageBox::Ok);
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
