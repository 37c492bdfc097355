#pragma once

#include "helpdlg.h"
#include "returnlatch.h"

#include <QDialog>
#include <QSystemTrayIcon>

class GlobalShortcut;
struct HotkeyState;
class TrayWatcher;
class QAboutDlg;
class QLabel;
class QMenu;
class QPushButton;
class QSettingDlg;
class QSignalMapper;
class SearchLineEdit;

// The launcher's main window: a small frameless, always-on-top panel with the
// search box, the run button, three buttons for the most launched items, the item
// counter and the small settings, feedback, donate and hide buttons. It owns the
// search box (and through it the catalog), the settings, about and help windows,
// the tray icon with its menu and the global hotkey, and receives every setting.
class Dialog : public QDialog
{
    Q_OBJECT

public:
    explicit Dialog(QWidget *parent = nullptr);
    ~Dialog() override;

    // The widgets and windows, public so that tests can drive them.
    SearchLineEdit *edtSearch = nullptr;
    QPushButton *btnRun = nullptr;
    QPushButton *btnTop[3] = {nullptr, nullptr, nullptr};
    QPushButton *btnClose = nullptr;
    QPushButton *btnCount = nullptr;
    QPushButton *btnFeedback = nullptr;
    QPushButton *btnDonate = nullptr;
    QPushButton *btnSetting = nullptr;
    QLabel *lblHotkey = nullptr;
    QSignalMapper *topMapper = nullptr;
    qint32 nDragX = 0;
    qint32 nDragY = 0;
    QSettingDlg *settingDlg = nullptr;
    QAboutDlg *aboutDlg = nullptr;
    bool bAutoHide = false;
    HelpDlg helpDlg;
    QSystemTrayIcon *trayIcon = nullptr;
    QMenu *trayMenu = nullptr;
    GlobalShortcut *globalHotkey = nullptr;
    // False while the constructor runs. The tray menu and the tray icon are live
    // from the start and discovery lets events run, so what needs the finished
    // window waits for this (the slots below check it).
    bool startupDone = false;
    // Quit was chosen. Set also during start-up, when there is no event loop yet
    // to end: start-up then ends the program instead of entering the loop.
    bool quitRequested = false;
    // The hotkey text asked for last (from config.ini or the settings), in force or not.
    QString hotkeyText;
    // Watches for a tray that appears after start-up, while there is none.
    TrayWatcher *trayWatcher = nullptr;

    // What the hotkey line says about a hotkey that is not in force, in full: which
    // key, why, and what to do. Empty while one is in force or being bound.
    QString hotkeyProblem() const;

signals:
    void MoveDlg();

public slots:
    void TopEventSlot(int index);
    void RefreshTop();
    void RunExeSlot();
    void ChangeStateSlot();
    void ShowSettingSlot();
    void ChangeOpacitySlot(int nPos);
    void ChangeMaxCountSlot(int nCount);
    void AutoHideSlot(bool bHide);
    void ShowBigIconSlot(bool bBig);
    void SetShortcut(QString strShotCut);
    void ShowActiveSlot();
    void ShowAboutDlgSlot();
    void CloseSlot();
    void RefReshExecCount();
    void ShowAppManage();
    void TabEventSlot();
    void AutoRun(bool isAutoRun);
    void FeedBackClot();
    void DonateClot();
    void iconActivated(QSystemTrayIcon::ActivationReason reason);
    void CheckSlot();
    void handleMessage(QString);
    void ShowHelp();
    void ShowWnd();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    // A Return or Enter pressed in a filtered child and not yet released.
    ReturnLatch returnLatch;
    // The user pressed on the background (a drag) in this run: the window keeps
    // the place it was left at, `userPosition`, instead of coming up centred.
    bool userPlaced = false;
    QPoint userPosition;

    void placeForShow();

    // Starts the item at `path`; a start that fails is told in an "error" box.
    bool launch(const QString &path);
    void createTray();
    void createTrayIcon();
    // Tells the user that the catalog could not be saved.
    void reportSaveFailure(const QString &message);
    void showStartBalloon();
    void setStartupActionsEnabled(bool enabled);
    // Shows the window raised with the keyboard in the search box; `token` proves
    // the user's request to the window system (a second start's, the portal's).
    void showActivated(const QString &token);
    // The hotkey line and, once per failure, the tray balloon, from the hotkey's state.
    void updateHotkeyLine();
    void reportHotkeyProblem();
    void hotkeyStatusChanged();
    // A hotkey asked for in the settings was refused: say why (`reason`) and what
    // holds, and keep the previous one, registering it again when the refused one
    // replaced it.
    void refuseSettingsHotkey(const QString &refused, const QString &reason, const QString &previous,
                              bool previousInForce, bool registerAgain);
    HotkeyState hotkeyState() const;
    QPushButton *makeButton(const char *name, const QRect &geometry, const QString &style);

    bool hotkeyProblemReported = false;
    bool problemBalloonPending = false;
    // A hotkey from the settings being bound by the desktop, and the one before it.
    QString settingsHotkeyPending;
    QString hotkeyBeforeSettings;
    bool hotkeyBeforeSettingsInForce = false;
};

// Links handed to the desktop by the main window and the about window.
namespace TolvaneLinks {
inline constexpr char HomePage[] = "https://tolvane.example.org/";
inline constexpr char SupportMail[] = "support@tolvane.example.org";
inline constexpr char ReleaseHistory[] = "https://tolvane.example.org/releases.html";
inline constexpr char Donation[] = "https://tolvane.example.org/cart.php?action=donate&pid=8";
} // namespace TolvaneLinks
