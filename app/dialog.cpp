#include "dialog.h"

#include "appblock.h"
#include "frameless.h"
#include "launcher.h"
#include "messagebox.h"
#include "qaboutdlg.h"
#include "qappshow.h"
#include "qitemviewdelegate.h"
#include "qsettingdlg.h"
#include "scaledimages.h"
#include "searchlineedit.h"
#include "spritestyle.h"
#include "tooltipcolours.h"
#include "windowactivation.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSignalMapper>
#include <QTimer>
#include <QToolTip>
#include <QUrl>
#include <QWindow>

namespace {

const char *const Background = ":/images/BK";

// Tray menu entries that need the finished window; greyed out while it is built.
const char *const ActionsAfterStartup[] = {"actionShowHide", "actionSetting", "actionAbout", "actionManage"};

} // namespace

Dialog::Dialog(QWidget *parent) : QDialog(parent), helpDlg(nullptr)
{
    setMouseTracking(true);
    setObjectName(QStringLiteral("Dialog"));
    // A desktop whose tool-tip colours do not contrast would make every tip unreadable.
    QToolTip::setPalette(ToolTipColours::readable(QToolTip::palette()));

    // The top buttons, mapped to their index.
    const QString topStyle = Sprites::buttonStyle(Sprites::BtnBar, QStringLiteral("color:white;"));
    topMapper = new QSignalMapper(this);
    for (int i = 0; i < 3; ++i) {
        btnTop[i] = makeButton("btnTop", QRect(17 + 97 * i, 26, 95, 25), topStyle);
        btnTop[i]->setObjectName(QStringLiteral("btnTop%1").arg(i));
        btnTop[i]->setMouseTracking(false);
        connect(btnTop[i], &QPushButton::clicked, topMapper, qOverload<>(&QSignalMapper::map));
        topMapper->setMapping(btnTop[i], i);
    }
    connect(topMapper, &QSignalMapper::mappedInt, this, &Dialog::TopEventSlot);

    btnCount = makeButton("btnCount", QRect(385, 26, 43, 41), Sprites::buttonStyle(Sprites::CountTip));
    btnCount->setToolTip(QStringLiteral("The number of applications and tools. Click to manage."));
    btnCount->setCursor(Qt::PointingHandCursor);
    btnClose = makeButton("btnClose", QRect(420, 4, 16, 16), Sprites::buttonStyle(Sprites::Close));
    btnRun = makeButton("btnRun", QRect(300, 70, 66, 23), Sprites::buttonStyle(Sprites::Go));

    edtSearch = new SearchLineEdit(this);
    edtSearch->setObjectName(QStringLiteral("edtSearch"));
    edtSearch->setGeometry(17, 70, 280, 23);
    edtSearch->installEventFilter(this);
    edtSearch->setMouseTracking(true);
    edtSearch->setStyleSheet(
        QStringLiteral("QTextEdit {border-image: url(:/images/SEARCHBAR); color:white;}"));
    edtSearch->setFocus();

    lblHotkey = new QLabel(this);
    lblHotkey->setObjectName(QStringLiteral("lblHotkey"));
    // Wide enough to say why a hotkey is not in force (the small buttons start at 400).
    lblHotkey->setGeometry(20, 98, 370, 20);
    // Only the label itself: its tool tip takes the label's style sheet, and white
    // there would be white text on the tool tip's pale background.
    lblHotkey->setStyleSheet(QStringLiteral("QLabel#lblHotkey { color:white; }"));

    btnFeedback = makeButton("btnFeedback", QRect(400, 102, 16, 16), Sprites::buttonStyle(Sprites::Feedback));
    btnFeedback->setMouseTracking(false);
    btnFeedback->setToolTip(QStringLiteral("FeedBack"));
    btnFeedback->setCursor(Qt::PointingHandCursor);
    btnDonate = makeButton("btnDonate", QRect(420, 102, 16, 16), Sprites::buttonStyle(Sprites::Donate));
    btnDonate->setMouseTracking(false);
    btnDonate->setToolTip(QStringLiteral("Donate"));
    btnDonate->setCursor(Qt::PointingHandCursor);
    btnSetting = makeButton("btnSetting", QRect(400, 4, 16, 16), Sprites::buttonStyle(Sprites::SettingBtn));
    btnSetting->setToolTip(QStringLiteral("Setting"));

    // Frameless, always on top, drawn from the background image.
    const QPixmap background =
        ScaledImages::pixmap(QString::fromLatin1(Background), ScaledImages::applicationRatio());
    QPalette pal = palette();
    pal.setBrush(QPalette::All, backgroundRole(), QBrush(background));
    setPalette(pal);
    setWindowFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_NoSystemBackground);
    setWindowTitle(QStringLiteral("Tolvane"));

    createTray();
    setStartupActionsEnabled(false);
    // Without a tray the window's own context menu (contextMenuEvent) offers the
    // same entries, Quit among them.

    // The top list is filled while the search box sets itself up, so the
    // connection to RefreshTop must exist first.
    connect(this, &Dialog::MoveDlg, edtSearch, &SearchLineEdit::HideMe);
    connect(btnClose, &QPushButton::clicked, this, &QWidget::hide);
    connect(edtSearch, &SearchLineEdit::RefreshTop, this, &Dialog::RefreshTop);
    connect(btnRun, &QPushButton::clicked, this, &Dialog::RunExeSlot);
    edtSearch->Setup();

    settingDlg = new QSettingDlg(nullptr);
    settingDlg->setWindowFlags(settingDlg->windowFlags() | Qt::WindowStaysOnTopHint);
    aboutDlg = new QAboutDlg(nullptr);
    aboutDlg->setWindowFlags(aboutDlg->windowFlags() | Qt::WindowStaysOnTopHint);

    connect(settingDlg, &QSettingDlg::ChangeOpacity, this, &Dialog::ChangeOpacitySlot);
    connect(settingDlg, &QSettingDlg::ChangeMaxCount, this, &Dialog::ChangeMaxCountSlot);
    connect(settingDlg, &QSettingDlg::AutoHide, this, &Dialog::AutoHideSlot);
    connect(settingDlg, &QSettingDlg::ShowBigIcon, this, &Dialog::ShowBigIconSlot);
    connect(settingDlg, &QSettingDlg::SetShotCut, this, &Dialog::SetShortcut);
    connect(settingDlg, &QSettingDlg::AutoRun, this, &Dialog::AutoRun);
    connect(settingDlg, &QSettingDlg::QuitApp, this, &Dialog::CloseSlot);
    connect(btnFeedback, &QPushButton::clicked, this, &Dialog::FeedBackClot);
    connect(btnDonate, &QPushButton::clicked, this, &Dialog::DonateClot);
    connect(btnSetting, &QPushButton::clicked, this, &Dialog::ShowSettingSlot);
    connect(btnCount, &QPushButton::clicked, this, &Dialog::ShowAppManage);

    QPalette countPalette = btnCount->palette();
    countPalette.setColor(QPalette::ButtonText, QColor(250, 250, 200));
    btnCount->setPalette(countPalette);
    QFont countFont(QStringLiteral("Arial Black"), 12);
    countFont.setStyleStrategy(QFont::PreferAntialias);
    btnCount->setFont(countFont);
    btnCount->setStyleSheet(btnCount->styleSheet() +
                            QStringLiteral("QPushButton {color: rgb(250, 250, 200); text-align: top;}"));
    btnCount->setText(edtSearch->catalog.GetItemCount());
    // The catalog follows the installed applications by itself, and saves by itself.
    connect(&edtSearch->catalog.notices, &CatalogNotices::itemsChanged, this, [this] {
        btnCount->setText(edtSearch->catalog.GetItemCount());
        edtSearch->catalog.GetTopItems(topItems);
        RefreshTop();
    });
    connect(&edtSearch->catalog.notices, &CatalogNotices::saveFailed, this, &Dialog::reportSaveFailure);
    connect(&edtSearch->catalog.notices, &CatalogNotices::fileUnavailable, this, &Dialog::reportSaveFailure);

    setFixedSize(background.deviceIndependentSize().toSize());

    // Quit chosen while the catalog opened: no hotkey, no balloon for a program
    // that is about to end.
    if (!quitRequested)
        settingDlg->ApplySettings();
    startupDone = true;
    setStartupActionsEnabled(true);
    if (quitRequested)
        return;
    // A hotkey that failed at start says so in the balloon instead of the greeting.
    if (problemBalloonPending)
        reportHotkeyProblem();
    else
        showStartBalloon();
}

Dialog::~Dialog()
{
    delete settingDlg;
    delete aboutDlg;
}

void Dialog::setStartupActionsEnabled(bool enabled)
{
    for (const char *name : ActionsAfterStartup) {
        if (auto action = findChild<QAction *>(QLatin1String(name)))
            action->setEnabled(enabled);
    }
}

QPushButton *Dialog::makeButton(const char *name, const QRect &geometry, const QString &style)
{
    auto button = new QPushButton(this);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(geometry);
    button->setStyleSheet(style);
    button->setFocusPolicy(Qt::NoFocus);
    button->setMouseTracking(true);
    button->installEventFilter(this);
    return button;
}

void Dialog::TopEventSlot(int index)
{
    if (index >= topItems.size())
        return;
    const APPBLOCK item = topItems.at(index);
    if (!QFileInfo::exists(item.path))
        return;
    // Started as the search box starts it: a document on a top button opens.
    if (!launch(item.path))
        return;
    if (bAutoHide)
        hide();
}

void Dialog::RefreshTop()
{
    const int n = qMin(3, int(topItems.size()));
    for (int i = 0; i < n; ++i) {
        QPushButton *button = btnTop[i];
        const APPBLOCK &item = topItems.at(i);
        button->setIcon(item.icon);
        const int width = button->contentsRect().width() - 20;
        // A "&" in a name is text, not a mnemonic marker.
        QString text = item.alias;
        text.replace(QLatin1Char('&'), QStringLiteral("&&"));
        button->setText(button->fontMetrics().elidedText(text, Qt::ElideRight, width, Qt::TextShowMnemonic));
        button->setToolTip(item.alias);
    }
}

void Dialog::RunExeSlot()
{
    const APPBLOCK item = edtSearch->current;
    if (item.alias.isEmpty())
        return;
    const QString text = edtSearch->toPlainText();
    if (text.isEmpty())
        return;
    if (!QFileInfo::exists(item.path)) {
        MessageBoxes::information(this, QStringLiteral("error"), QStringLiteral("the file is not exist."));
        return;
    }
    // Only a launch that happened is learned.
    if (!launch(item.path))
        return;
    edtSearch->catalog.AddQuick(item.rowid, text);
    edtSearch->catalog.AddTop(item.rowid);
    edtSearch->catalog.GetTopItems(topItems);
    RefreshTop();
    if (bAutoHide)
        hide();
}

bool Dialog::launch(const QString &path)
{
    const Launcher::Result result = Launcher::start(path);
    if (!result.started)
        MessageBoxes::information(this, QStringLiteral("error"),
                                  QStringLiteral("the file can not be opened.\n") + result.error);
    return result.started;
}

void Dialog::ChangeStateSlot()
{
    if (!startupDone)
        return;
    if (isVisible())
        hide();
    else
        ShowWnd();
}

void Dialog::ShowSettingSlot()
{
    if (!startupDone)
        return;
    if (settingDlg->isVisible())
        settingDlg->activateWindow();
    else
        settingDlg->show();
}

void Dialog::ChangeOpacitySlot(int nPos)
{
    // An invisible window cannot be brought back by looking at it: keep 15 to 100 %.
    setWindowOpacity(qBound(15, nPos, 100) / 100.0);
}

void Dialog::ChangeMaxCountSlot(int nCount)
{
    // A list of 0 or 1 rows is no list: keep 2 to 10.
    edtSearch->SetMaxCmbCount(qBound(2, nCount, 10));
}

void Dialog::AutoHideSlot(bool bHide)
{
    bAutoHide = bHide;
}

void Dialog::ShowBigIconSlot(bool bBig)
{
    edtSearch->delegate->setBigIcon(bBig);
}

void Dialog::ShowActiveSlot()
{
    if (!startupDone)
        return;
    showNormal();
    edtSearch->setFocus();
    edtSearch->selectAll();
}

void Dialog::ShowAboutDlgSlot()
{
    if (!startupDone)
        return;
    aboutDlg->showNormal();
}

void Dialog::CloseSlot()
{
    // During start-up the event loop has not started, so quit() alone would be
    // lost: start-up reads the flag and ends the program once the window is built.
    quitRequested = true;
    if (settingDlg)
        settingDlg->close();
    if (aboutDlg)
        aboutDlg->close();
    helpDlg.close();
    close();
    // With every window hidden (the usual case for a tray program) closing them
    // does not end the event loop by itself.
    QCoreApplication::quit();
}

void Dialog::RefReshExecCount()
{
    // Not inside the first-run scan of start-up.
    if (!startupDone)
        return;
    edtSearch->catalog.ScanAll();
    btnCount->setText(edtSearch->catalog.GetItemCount());
}

void Dialog::ShowAppManage()
{
    if (!startupDone)
        return;
    QAppshow manager(nullptr);
    QList<APPBLOCK> items;
    edtSearch->catalog.GetAllItems(items);
    manager.SetItems(items);
    if (manager.exec() != QDialog::Accepted)
        return;
    if (manager.pendingChanges.isEmpty())
        return;
    for (const APPBLOCK &change : std::as_const(manager.pendingChanges)) {
        QString path = change.path;
        if (change.alias.isEmpty())
            edtSearch->catalog.DeleteItem(path);
        else
            edtSearch->catalog.AddItem(path, change.alias, QStringLiteral("APP"), QString());
    }
    btnCount->setText(edtSearch->catalog.GetItemCount());
}

void Dialog::reportSaveFailure(const QString &message)
{
    // Once, out of the user's way: the program goes on with the catalog in memory.
    if (trayIcon && trayIcon->isVisible()) {
        trayIcon->showMessage(QStringLiteral("Tolvane"), message, QSystemTrayIcon::Warning, 15000);
        return;
    }
    MessageBoxes::open(this, QStringLiteral("error"), message);
}

void Dialog::TabEventSlot()
{
    QTextCursor cursor = edtSearch->textCursor();
    cursor.movePosition(QTextCursor::End);
    edtSearch->setTextCursor(cursor);
}

void Dialog::handleMessage(QString message)
{
    // A second start of the program: "raies", then the activation token that the
    // desktop gave it, if any. The user asked for the window: it comes with the
    // keyboard.
    showActivated(message.section(QLatin1Char('\n'), 1, 1));
}

void Dialog::ShowHelp()
{
    helpDlg.setVisible(true);
}

void Dialog::ShowWnd()
{
    showActivated(QString());
}

void Dialog::showActivated(const QString &token)
{
    // A half-built window is not shown: start-up shows it when it is done.
    if (!startupDone)
        return;
    // The hotkey and a second start are the user's own request for the window:
    // bring it forward with the keyboard focus, or typing would go elsewhere.
    WindowActivation::activate(this, token);
    setFocus(Qt::OtherFocusReason);
    edtSearch->setFocus(Qt::OtherFocusReason);
}

bool Dialog::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        nDragX = Frameless::NoDrag;
        break;
    case QEvent::KeyPress: {
        auto key = static_cast<QKeyEvent *>(event);
        if (ReturnLatch::isReturn(key->key()))
            returnLatch.press(key);
        break;
    }
    case QEvent::KeyRelease: {
        auto key = static_cast<QKeyEvent *>(event);
        // Only the release of a Return pressed here launches: the press that
        // answered a message box (or the alias editor) ended in that window, and
        // its release must not start the item again. Held-down Return repeats its
        // release: one launch per press.
        if (returnLatch.release(key))
            RunExeSlot();
        break;
    }
    case QEvent::FocusOut:
        returnLatch.reset();
        break;
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

void Dialog::contextMenuEvent(QContextMenuEvent *event)
{
    event->accept();
    // From the mouse the menu opens on the right button's release
    // (mouseReleaseEvent): opened on the press, a menu that comes up under the
    // pointer (at a screen's edge, or where the compositor puts it) would take the
    // release as the choice of its item. From the keyboard it opens at once.
    if (event->reason() != QContextMenuEvent::Mouse)
        trayMenu->popup(event->globalPos());
}

void Dialog::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton && rect().contains(event->position().toPoint())) {
        event->accept();
        trayMenu->popup(event->globalPosition().toPoint());
        return;
    }
    QDialog::mouseReleaseEvent(event);
}

void Dialog::showEvent(QShowEvent *event)
{
    if (!event->spontaneous())
        placeForShow();
    QDialog::showEvent(event);
}

void Dialog::hideEvent(QHideEvent *event)
{
    if (!event->spontaneous() && userPlaced)
        userPosition = pos();
    QDialog::hideEvent(event);
}

void Dialog::placeForShow()
{
    // The same place at every summon (a window manager would place each new
    // mapping anew): where the user dragged the window in this run, else centred
    // on the screen with the pointer. Where the window system places windows
    // itself (Wayland) the move is ignored.
    if (userPlaced) {
        move(userPosition);
        return;
    }
    QScreen *screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}

void Dialog::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    // A press on the background may drag the window: from now on it stays where
    // the user leaves it.
    userPlaced = true;
    // Where the window system moves windows itself (a Wayland compositor, where
    // move() is ignored, and X11 window managers), it does the drag; the popup
    // closes as on any move.
    if (windowHandle() && windowHandle()->startSystemMove()) {
        nDragX = Frameless::NoDrag;
        emit MoveDlg();
        event->accept();
        return;
    }
    const QPoint offset = event->globalPosition().toPoint() - frameGeometry().topLeft();
    nDragX = offset.x();
    nDragY = offset.y();
    event->accept();
}

void Dialog::mouseMoveEvent(QMouseEvent *event)
{
    Frameless::move(this, event, nDragX, nDragY);
}

void Dialog::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        if (!edtSearch->toPlainText().isEmpty())
            edtSearch->setText(QString());
        else
            hide();
    }
    event->accept();
}

void Dialog::paintEvent(QPaintEvent *)
{
    Frameless::paintBackground(this, QString::fromLatin1(Background));
}

void Dialog::moveEvent(QMoveEvent *event)
{
    QDialog::moveEvent(event);
    emit MoveDlg();
}
