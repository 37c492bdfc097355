#pragma once

#include "framelessdialog.h"
#include "returnlatch.h"

class QCheckBox;
class QHotKeyEdit;
class QKeyEvent;
class QLabel;
class QPushButton;
class QSettings;
class QSlider;
class QSpinBox;

// The settings window: list length, transparency, auto-hide, big icons, hotkey and
// start with the system, kept in config.ini. The main window connects the six
// signals and calls ApplySettings() once; list length, transparency, auto-hide and
// big icons then follow the controls live, OK sends and stores everything, Cancel
// goes back to what the file holds; from the keyboard, Return is OK and Escape is
// Cancel. Frameless; dragged by its top band.
class QSettingDlg : public FramelessDialog
{
    Q_OBJECT

public:
    explicit QSettingDlg(QWidget *parent = nullptr);

    // Reads config.ini, sets the controls and sends every value as read (numbers
    // unclamped). Writes nothing; the dialog stays as it is.
    void ApplySettings();
    // Puts back a hotkey that stays in force after the one sent by OK was refused:
    // in the field and in config.ini.
    void RestoreHotkey(const QString &text);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;

signals:
    void ChangeOpacity(int nPos);
    void ChangeMaxCount(int nCount);
    void AutoHide(bool bHide);
    void ShowBigIcon(bool bBig);
    void SetShotCut(QString strShotCut);
    void AutoRun(bool isAutoRun);
    // The Quit button: ends the program (reachable without a tray).
    void QuitApp();

public slots:
    void SetEnsure();
    void SetCancel();

private:
    // On the release of the Return that was pressed in the dialog: OK. Whether it was.
    bool confirmOnRelease(QEvent *event);
    bool readSwitch(const QString &key) const;
    int readNumber(const QString &key) const;
    QString readText(const QString &key) const;

    QSlider *sliderMaxCount = nullptr;
    QCheckBox *chkAutoHide = nullptr;
    QCheckBox *chkBigIcon = nullptr;
    QCheckBox *chkAutoRun = nullptr;
    QSlider *sliderOpacity = nullptr;
    QSettings *settings = nullptr;
    QSpinBox *spinOpacity = nullptr;
    QSpinBox *spinMaxCount = nullptr;
    QLabel *lblOpacity = nullptr;
    QLabel *lblMaxCount = nullptr;
    QLabel *lblHotkey = nullptr;
    QHotKeyEdit *edtHotkey = nullptr;
    QPushButton *btnOk = nullptr;
    QPushButton *btnCancel = nullptr;
    QPushButton *btnQuit = nullptr;
    // Return or Enter pressed in the dialog and not yet released.
    ReturnLatch returnLatch;
};
