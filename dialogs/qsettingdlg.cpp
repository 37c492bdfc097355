#include "qsettingdlg.h"

#include "applocations.h"
#include "qhotkeyedit.h"
#include "scaledimages.h"
#include "spritestyle.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QSpinBox>

namespace {

const QString Background = QStringLiteral(":/images/SETTINGBK");

const QString KeyAutoHide = QStringLiteral("autohide");
const QString KeyBigIcon = QStringLiteral("showbigicon");
const QString KeyMaxCount = QStringLiteral("maxcount");
const QString KeyOpacity = QStringLiteral("transparency");
const QString KeyHotkey = QStringLiteral("hotkey");
const QString KeyAutoRun = QStringLiteral("autorun");

// Groove from SLIDER1 with its 6-pixel ends kept, an 18-pixel handle from SLIDER2,
// the part left of the handle from SLIDER3.
const char *const SliderStyle = "QSlider { background: transparent; }"
                                "QSlider::groove:horizontal { background: transparent;"
                                " border-image: url(:/images/SLIDER1) 0 6 0 6 stretch stretch;"
                                " border-width: 0 6px; height: 15px; }"
                                "QSlider::sub-page:horizontal { border-image: url(:/images/SLIDER3) 0 6 0 6"
                                " stretch stretch; border-width: 0 6px; height: 15px; }"
                                "QSlider::handle:horizontal { border-image: url(:/images/SLIDER2);"
                                " width: 18px; margin: -2px -6px; }";

// Frame from SPIN1, the arrow buttons are 16-pixel slices of SPIN2 (the arrows are
// part of the image).
const char *const SpinStyle =
    "QSpinBox { border-image: url(:/images/SPIN1) 1; border-width: 1px; }"
    "QSpinBox::up-button { subcontrol-origin: border; subcontrol-position: top right; width: 16px;"
    " margin: 1px 1px 0 0;"
    " border-image: url(:/images/SPIN2) 0 0 58 0 0; }"
    "QSpinBox::up-button:hover { border-image: url(:/images/SPIN2) 23 0 35 0 0; }"
    "QSpinBox::up-button:pressed { border-image: url(:/images/SPIN2) 45 0 12 0 0; }"
    "QSpinBox::down-button { subcontrol-origin: border; subcontrol-position: bottom right; width: 16px;"
    " margin: 0 1px 1px 0;"
    " border-image: url(:/images/SPIN2) 11 0 47 0 0; }"
    "QSpinBox::down-button:hover { border-image: url(:/images/SPIN2) 34 0 24 0 0; }"
    "QSpinBox::down-button:pressed { border-image: url(:/images/SPIN2) 56 0 0 0 0; }"
    "QSpinBox::up-arrow, QSpinBox::down-arrow { image: none; width: 0; height: 0; }";

// The field shows no text cursor (only the capture rule edits it), so its frame
// shows the keyboard focus.
const char *const HotkeyStyle = "QLineEdit { border: 1px solid rgb(165, 165, 165); }"
                                "QLineEdit:focus { border: 1px solid rgb(97, 141, 175); }"
                                "QLineEdit:hover { border: 1px solid rgb(97, 141, 175);"
                                " background: qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1,"
                                " stop: 0 #FEFEFF, stop: 1 #f6f7fa); }"
                                "QLineEdit:hover:pressed { border: 2px solid rgb(97, 141, 175);"
                                " background: qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1,"
                                " stop: 0 #dadbde, stop: 1 #f6f7fa); }";

const char *const TextStyle = "color: rgb(40, 52, 66);";

const char *const QuitStyle = "QPushButton { color: rgb(40, 52, 66); background: transparent;"
                              " border: 1px solid rgb(165, 165, 165); border-radius: 3px; }"
                              "QPushButton:hover { border-color: rgb(97, 141, 175); }"
                              "QPushButton:pressed { background: rgba(97, 141, 175, 60); }";

// The captions must fit the fixed rectangles whatever fonts the desktop has: the
// largest of a few sizes and widths at which every one of them fits.
QFont fittingFont(const QFont &base, const QList<QWidget *> &widgets)
{
    QFont font = base;
    for (int pixels : {12, 11, 10}) {
        for (int stretch : {100, 95, 90, 87, 85}) {
            font.setPixelSize(pixels);
            font.setStretch(stretch);
            bool fits = true;
            for (QWidget *w : widgets) {
                w->setFont(font);
                fits = fits && w->sizeHint().width() <= w->width();
            }
            if (fits)
                return font;
        }
    }
    return font;
}

} // namespace

QSettingDlg::QSettingDlg(QWidget *parent) : FramelessDialog(Background, parent)
{
    // The title names the window in the desktop's window switcher.
    setWindowTitle(QStringLiteral("Tolvane Settings"));

    // Creation order is the Tab order; the start-with-system box comes last.
    sliderMaxCount = new QSlider(Qt::Horizontal, this);
    chkAutoHide = new QCheckBox(QStringLiteral("Automatically hide after running the application"), this);
    chkBigIcon = new QCheckBox(QStringLiteral("Display Big Images"), this);
    sliderOpacity = new QSlider(Qt::Horizontal, this);
    spinOpacity = new QSpinBox(this);
    spinMaxCount = new QSpinBox(this);
    lblOpacity = new QLabel(QStringLiteral("Transparency settings"), this);
    lblMaxCount = new QLabel(QStringLiteral("Set maximum number of item in List"), this);
    lblHotkey = new QLabel(QStringLiteral("Hotkey settings:"), this);
    edtHotkey = new QHotKeyEdit(this);
    btnOk = new QPushButton(this);
    btnCancel = new QPushButton(this);
    chkAutoRun = new QCheckBox(QStringLiteral("Boot automatically run"), this);
    // A desktop without a tray has no tray menu: Quit is here too.
    btnQuit = new QPushButton(QStringLiteral("Quit Tolvane"), this);

    sliderMaxCount->setObjectName(QStringLiteral("sliderMaxCount"));
    chkAutoHide->setObjectName(QStringLiteral("chkAutoHide"));
    chkBigIcon->setObjectName(QStringLiteral("chkBigIcon"));
    sliderOpacity->setObjectName(QStringLiteral("sliderOpacity"));
    spinOpacity->setObjectName(QStringLiteral("spinOpacity"));
    spinMaxCount->setObjectName(QStringLiteral("spinMaxCount"));
    lblOpacity->setObjectName(QStringLiteral("lblOpacity"));
    lblMaxCount->setObjectName(QStringLiteral("lblMaxCount"));
    lblHotkey->setObjectName(QStringLiteral("lblHotkey"));
    edtHotkey->setObjectName(QStringLiteral("edtHotkey"));
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    chkAutoRun->setObjectName(QStringLiteral("chkAutoRun"));
    btnQuit->setObjectName(QStringLiteral("btnQuit"));
    btnQuit->setAutoDefault(false);
    btnQuit->setFocusPolicy(Qt::NoFocus);
    btnQuit->setCursor(Qt::PointingHandCursor);

    btnOk->setFocusPolicy(Qt::NoFocus);
    btnCancel->setFocusPolicy(Qt::NoFocus);

    // A press on any child (including the spin boxes' own line edits) must never
    // start a drag of the window.
    for (QWidget *child : findChildren<QWidget *>())
        child->installEventFilter(this);

    // Slices of the 2x images on scaled screens.
    const qreal ratio = ScaledImages::applicationRatio();
    sliderMaxCount->setStyleSheet(ScaledImages::styleSheet(QLatin1String(SliderStyle), ratio));
    sliderOpacity->setStyleSheet(ScaledImages::styleSheet(QLatin1String(SliderStyle), ratio));
    spinMaxCount->setStyleSheet(ScaledImages::styleSheet(QLatin1String(SpinStyle), ratio));
    spinOpacity->setStyleSheet(ScaledImages::styleSheet(QLatin1String(SpinStyle), ratio));
    edtHotkey->setStyleSheet(QLatin1String(HotkeyStyle));
    btnOk->setStyleSheet(Sprites::buttonStyle(Sprites::DialogOk));
    btnCancel->setStyleSheet(Sprites::buttonStyle(Sprites::DialogCancel));

    chkAutoRun->setGeometry(20, 40, 260, 20);
    chkAutoHide->setGeometry(20, 65, 300, 20);
    chkBigIcon->setGeometry(20, 90, 250, 20);
    lblMaxCount->setGeometry(20, 115, 180, 20);
    sliderMaxCount->setGeometry(205, 115, 210, 20);
    spinMaxCount->setGeometry(420, 112, 40, 25);
    lblOpacity->setGeometry(20, 140, 120, 20);
    sliderOpacity->setGeometry(205, 140, 210, 20);
    spinOpacity->setGeometry(420, 137, 40, 25);
    lblHotkey->setGeometry(20, 165, 120, 20);
    edtHotkey->setGeometry(190, 165, 150, 20);
    btnOk->setGeometry(310, 250, 72, 33);
    btnCancel->setGeometry(385, 250, 72, 33);
    // Below the card and above the footer, whose hint is painted in the background.
    btnQuit->setGeometry(20, 205, 110, 24);

    const QList<QWidget *> captions{chkAutoRun, chkAutoHide, chkBigIcon, lblMaxCount, lblOpacity, lblHotkey};
    for (QWidget *caption : captions)
        caption->setStyleSheet(QLatin1String(TextStyle));
    const QFont font = fittingFont(this->font(), captions);
    for (QWidget *w : std::initializer_list<QWidget *>{spinMaxCount, spinOpacity, edtHotkey, btnQuit})
        w->setFont(font);
    btnQuit->setStyleSheet(QLatin1String(QuitStyle));
    spinMaxCount->setAlignment(Qt::AlignCenter);
    spinOpacity->setAlignment(Qt::AlignCenter);

    spinMaxCount->setRange(2, 10);
    spinOpacity->setRange(15, 100);
    sliderMaxCount->setRange(2, 10);
    sliderOpacity->setRange(15, 100);

    settings = new QSettings(AppLocations::configFile(), QSettings::IniFormat, this);

    connect(sliderMaxCount, &QSlider::valueChanged, this, &QSettingDlg::ChangeMaxCount);
    connect(sliderOpacity, &QSlider::valueChanged, this, &QSettingDlg::ChangeOpacity);
    connect(sliderMaxCount, &QSlider::valueChanged, spinMaxCount, &QSpinBox::setValue);
    connect(sliderOpacity, &QSlider::valueChanged, spinOpacity, &QSpinBox::setValue);
    connect(spinMaxCount, &QSpinBox::valueChanged, sliderMaxCount, &QSlider::setValue);
    connect(spinOpacity, &QSpinBox::valueChanged, sliderOpacity, &QSlider::setValue);
    connect(chkAutoHide, &QCheckBox::clicked, this, &QSettingDlg::AutoHide);
    connect(chkBigIcon, &QCheckBox::clicked, this, &QSettingDlg::ShowBigIcon);
    connect(btnOk, &QPushButton::clicked, this, &QSettingDlg::SetEnsure);
    connect(btnCancel, &QPushButton::clicked, this, &QSettingDlg::SetCancel);
    connect(btnQuit, &QPushButton::clicked, this, &QSettingDlg::QuitApp);
}

void QSettingDlg::RestoreHotkey(const QString &text)
{
    edtHotkey->setText(text);
    settings->setValue(KeyHotkey, text);
}

bool QSettingDlg::readSwitch(const QString &key) const
{
    // On only for exactly "1": "true", "01" and a missing key are off.
    return settings->value(key).toString() == QLatin1String("1");
}

int QSettingDlg::readNumber(const QString &key) const
{
    bool ok = false;
    const int value = settings->value(key).toString().toInt(&ok, 10);
    return ok ? value : 0;
}

QString QSettingDlg::readText(const QString &key) const
{
    // The INI layer splits an unquoted value at commas; a hand-written "CTRL+,"
    // is still one hotkey text.
    const QVariant value = settings->value(key);
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(','));
    return value.toString();
}

void QSettingDlg::ApplySettings()
{
    // Setting a slider fires the live connections with the clamped value first;
    // the explicit signal after it leaves the receiver with the value as read.
    const int maxCount = readNumber(KeyMaxCount);
    sliderMaxCount->setValue(maxCount);
    emit ChangeMaxCount(maxCount);

    const int opacity = readNumber(KeyOpacity);
    sliderOpacity->setValue(opacity);
    emit ChangeOpacity(opacity);

    const QString hotkey = readText(KeyHotkey);
    edtHotkey->setText(hotkey);
    emit SetShotCut(hotkey);

    const bool autoHide = readSwitch(KeyAutoHide);
    emit AutoHide(autoHide);
    chkAutoHide->setChecked(autoHide);

    const bool bigIcon = readSwitch(KeyBigIcon);
    chkBigIcon->setChecked(bigIcon);
    emit ShowBigIcon(bigIcon);

    const bool autoRun = readSwitch(KeyAutoRun);
    chkAutoRun->setChecked(autoRun);
    emit AutoRun(autoRun);
}

void QSettingDlg::SetEnsure()
{
    const bool autoHide = chkAutoHide->isChecked();
    const bool bigIcon = chkBigIcon->isChecked();
    const QString hotkey = edtHotkey->text();
    const bool autoRun = chkAutoRun->isChecked();

    // Every key is written, and the file is on disk, before the first signal: a
    // receiver may run a message box (a nested event loop) or fail, and the program
    // may be killed meanwhile; the file must never hold half of the new settings.
    settings->setValue(KeyAutoHide, autoHide ? 1 : 0);
    settings->setValue(KeyBigIcon, bigIcon ? 1 : 0);
    settings->setValue(KeyMaxCount, sliderMaxCount->value());
    settings->setValue(KeyOpacity, sliderOpacity->value());
    settings->setValue(KeyHotkey, hotkey);
    settings->setValue(KeyAutoRun, autoRun ? 1 : 0);
    settings->sync();

    emit AutoHide(autoHide);
    emit ShowBigIcon(bigIcon);
    emit SetShotCut(hotkey);
    emit AutoRun(autoRun);

    hide();
}

void QSettingDlg::SetCancel()
{
    // Auto-hide followed the box live, so the main window gets the stored state
    // back as well.
    const bool autoHide = readSwitch(KeyAutoHide);
    chkAutoHide->setChecked(autoHide);
    emit AutoHide(autoHide);

    const bool bigIcon = readSwitch(KeyBigIcon);
    chkBigIcon->setChecked(bigIcon);
    emit ShowBigIcon(bigIcon);

    const int maxCount = readNumber(KeyMaxCount);
    sliderMaxCount->setValue(maxCount);
    emit ChangeMaxCount(maxCount);

    const int opacity = readNumber(KeyOpacity);
    sliderOpacity->setValue(opacity);
    emit ChangeOpacity(opacity);

    const QString hotkey = readText(KeyHotkey);
    edtHotkey->setText(hotkey);
    emit SetShotCut(hotkey);

    // Start with the system never went out live: only the box is put back.
    chkAutoRun->setChecked(readSwitch(KeyAutoRun));

    hide();
}

void QSettingDlg::keyPressEvent(QKeyEvent *event)
{
    // From the keyboard: Return confirms like OK, Escape cancels like Cancel. (The
    // hotkey field takes both keys for itself; the other controls pass them on.)
    // Return confirms on its release, so that the release does not reach the window
    // that gets the keyboard next (the main window starts an item on it).
    if (ReturnLatch::isPlainReturn(event)) {
        returnLatch.press(event);
        return;
    }
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (plain && event->key() == Qt::Key_Escape) {
        SetCancel();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool QSettingDlg::confirmOnRelease(QEvent *event)
{
    if (event->type() != QEvent::KeyRelease || !returnLatch.release(static_cast<QKeyEvent *>(event)))
        return false;
    SetEnsure();
    return true;
}

void QSettingDlg::keyReleaseEvent(QKeyEvent *event)
{
    if (!confirmOnRelease(event))
        QDialog::keyReleaseEvent(event);
}

bool QSettingDlg::eventFilter(QObject *watched, QEvent *event)
{
    // A control may keep the release of a Return whose press it passed on (a spin
    // box does): the dialog takes it first.
    if (confirmOnRelease(event))
        return true;
    return FramelessDialog::eventFilter(watched, event);
}
