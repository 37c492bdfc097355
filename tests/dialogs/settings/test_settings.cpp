// The settings dialog: reading config.ini, live controls, OK and Cancel, the hotkey
// field's capture rule, and dragging by the top band.
#include "applocations.h"
#include "modalanswer.h"
#include "qaboutdlg.h"
#include "qaddapp.h"
#include "qappshow.h"
#include "qhotkeyedit.h"
#include "qmodapp.h"
#include "qsettingdlg.h"
#include "testmain.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QInputMethodEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QStyleOptionSlider>

#include <algorithm>
#include <memory>

namespace {

QString configPath()
{
    return AppLocations::configFile();
}

void writeConfig(const QByteArray &body)
{
    QFile file(configPath());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[General]\n" + body);
}

QByteArray readConfig()
{
    QFile file(configPath());
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

// key=value lines of the file's general section, as the file holds them.
QMap<QString, QString> configLines()
{
    QMap<QString, QString> lines;
    const QList<QByteArray> raw = readConfig().split('\n');
    for (const QByteArray &line : raw) {
        const int eq = line.indexOf('=');
        if (eq > 0)
            lines.insert(QString::fromUtf8(line.left(eq)), QString::fromUtf8(line.mid(eq + 1)));
    }
    return lines;
}

QString boolText(bool b)
{
    return b ? QStringLiteral("true") : QStringLiteral("false");
}

// Every signal of the dialog, in the order they went out.
class Recorder : public QObject
{
public:
    explicit Recorder(QSettingDlg *dlg)
    {
        const auto add = [this](const QString &entry) { events << entry; };
        connect(dlg, &QSettingDlg::ChangeMaxCount, this,
                [add](int n) { add(QStringLiteral("ChangeMaxCount:%1").arg(n)); });
        connect(dlg, &QSettingDlg::ChangeOpacity, this,
                [add](int n) { add(QStringLiteral("ChangeOpacity:%1").arg(n)); });
        connect(dlg, &QSettingDlg::SetShotCut, this,
                [add](const QString &s) { add(QStringLiteral("SetShotCut:") + s); });
        connect(dlg, &QSettingDlg::AutoHide, this,
                [add](bool b) { add(QStringLiteral("AutoHide:") + boolText(b)); });
        connect(dlg, &QSettingDlg::ShowBigIcon, this,
                [add](bool b) { add(QStringLiteral("ShowBigIcon:") + boolText(b)); });
        connect(dlg, &QSettingDlg::AutoRun, this,
                [add](bool b) { add(QStringLiteral("AutoRun:") + boolText(b)); });
    }
    QStringList events;
};

struct Controls
{
    explicit Controls(QSettingDlg *d)
        : dlg(d), sliderMaxCount(find<QSlider>("sliderMaxCount")),
          sliderOpacity(find<QSlider>("sliderOpacity")), spinMaxCount(find<QSpinBox>("spinMaxCount")),
          spinOpacity(find<QSpinBox>("spinOpacity")), chkAutoHide(find<QCheckBox>("chkAutoHide")),
          chkBigIcon(find<QCheckBox>("chkBigIcon")), chkAutoRun(find<QCheckBox>("chkAutoRun")),
          edtHotkey(find<QHotKeyEdit>("edtHotkey")), btnOk(find<QPushButton>("btnOk")),
          btnCancel(find<QPushButton>("btnCancel"))
    {}

    template <typename T> T *find(const char *name) const
    {
        T *w = dlg->findChild<T *>(QLatin1String(name));
        if (!w)
            qWarning("missing child %s", name);
        return w;
    }

    bool complete() const
    {
        return sliderMaxCount && sliderOpacity && spinMaxCount && spinOpacity && chkAutoHide && chkBigIcon &&
               chkAutoRun && edtHotkey && btnOk && btnCancel;
    }

    QSettingDlg *dlg;
    QSlider *sliderMaxCount;
    QSlider *sliderOpacity;
    QSpinBox *spinMaxCount;
    QSpinBox *spinOpacity;
    QCheckBox *chkAutoHide;
    QCheckBox *chkBigIcon;
    QCheckBox *chkAutoRun;
    QHotKeyEdit *edtHotkey;
    QPushButton *btnOk;
    QPushButton *btnCancel;
};

// Clicks a check box on its indicator, where every box reacts whatever its text.
void clickBox(QCheckBox *box)
{
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
}

QRect handleRect(QSlider *slider)
{
    QStyleOptionSlider opt;
    opt.initFrom(slider);
    opt.orientation = slider->orientation();
    opt.state |= QStyle::State_Horizontal;
    opt.minimum = slider->minimum();
    opt.maximum = slider->maximum();
    opt.sliderPosition = slider->sliderPosition();
    opt.sliderValue = slider->value();
    opt.singleStep = slider->singleStep();
    opt.pageStep = slider->pageStep();
    opt.subControls = QStyle::SC_All;
    return slider->style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, slider);
}

void sendMove(QWidget *target, const QPoint &pos, Qt::MouseButtons buttons)
{
    QMouseEvent move(QEvent::MouseMove, QPointF(pos), QPointF(target->mapToGlobal(pos)), Qt::NoButton,
                     buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
}

// Shown and holding the keyboard focus (also on an X server without a window manager).
bool showActive(QWidget *w)
{
    w->show();
    w->activateWindow();
    return QTest::qWaitForWindowActive(w);
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void noConfigSendsZerosAndWritesNothing();
    void switchOnlyForExactOne_data();
    void switchOnlyForExactOne();
    void numbersReadAsDecimal_data();
    void numbersReadAsDecimal();
    void outOfRangeSentAsReadWidgetsClamp();
    void hotkeyWithCommaReadsWhole();

    void spinBoxTypingMovesSliderLive();
    void sliderDragSendsOpacityContinuously();
    void boxesSendAtOnceCancelRestores();
    void okWritesAllKeysAndSends();
    void okWithAutoRunAlreadyOnWritesOne();
    void hotkeyRoundTripsThroughFile();

    void hotkeyCapture_data();
    void hotkeyCapture();
    void hotkeyTypedCombinations();
    void hotkeyControlKeysReplaceText();
    void tabOrderAndHotkeyTab();
    void textsAndFixedSize();
    void noWidgetOverAnotherOrOverPaintedText_data();
    void noWidgetOverAnotherOrOverPaintedText();

    void dragOnlyFromTopBand();
    void pressOnChildNeverDrags();
    void escapeOutsideHotkeyCancels();
    void returnConfirms();
    void okWritesEveryKeyBeforeItsSignals();
    void hotkeyFieldChangesOnlyByCapture();

private:
    std::unique_ptr<QSettingDlg> dlg;
};

void TestSettings::init()
{
    QFile::remove(configPath());
    QVERIFY(!QFile::exists(configPath()));
}

void TestSettings::cleanup()
{
    dlg.reset();
    QFile::remove(configPath());
}

void TestSettings::noConfigSendsZerosAndWritesNothing()
{
    QCOMPARE(configPath(), TestSandbox::path(QStringLiteral("bin/config.ini")));
    dlg = std::make_unique<QSettingDlg>();
    Controls c(dlg.get());
    QVERIFY(c.complete());

    QSignalSpy maxCount(dlg.get(), &QSettingDlg::ChangeMaxCount);
    QSignalSpy opacity(dlg.get(), &QSettingDlg::ChangeOpacity);
    QSignalSpy shortcut(dlg.get(), &QSettingDlg::SetShotCut);
    QSignalSpy autoHide(dlg.get(), &QSettingDlg::AutoHide);
    QSignalSpy bigIcon(dlg.get(), &QSettingDlg::ShowBigIcon);
    QSignalSpy autoRun(dlg.get(), &QSettingDlg::AutoRun);
    Recorder rec(dlg.get());

    dlg->ApplySettings();

    QCOMPARE(maxCount.count(), 1);
    QCOMPARE(maxCount.at(0).at(0).toInt(), 0);
    QCOMPARE(opacity.count(), 1);
    QCOMPARE(opacity.at(0).at(0).toInt(), 0);
    QCOMPARE(shortcut.count(), 1);
    QCOMPARE(shortcut.at(0).at(0).toString(), QString());
    QCOMPARE(autoHide.count(), 1);
    QCOMPARE(autoHide.at(0).at(0).toBool(), false);
    QCOMPARE(bigIcon.count(), 1);
    QCOMPARE(bigIcon.at(0).at(0).toBool(), false);
    QCOMPARE(autoRun.count(), 1);
    QCOMPARE(autoRun.at(0).at(0).toBool(), false);
    QCOMPARE(rec.events, (QStringList{"ChangeMaxCount:0", "ChangeOpacity:0", "SetShotCut:", "AutoHide:false",
                                      "ShowBigIcon:false", "AutoRun:false"}));

    QCOMPARE(c.sliderMaxCount->value(), 2);
    QCOMPARE(c.sliderOpacity->value(), 15);
    QCOMPARE(c.spinMaxCount->value(), 2);
    QCOMPARE(c.spinOpacity->value(), 15);
    QVERIFY(!dlg->isVisible());

    // Nothing is written, not even when the store goes away with the dialog.
    QCoreApplication::processEvents();
    dlg.reset();
    QVERIFY(!QFile::exists(configPath()));
}

void TestSettings::switchOnlyForExactOne_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<bool>("on");
    QTest::newRow("1") << QByteArray("1") << true;
    QTest::newRow("0") << QByteArray("0") << false;
    QTest::newRow("true") << QByteArray("true") << false;
    QTest::newRow("01") << QByteArray("01") << false;
    QTest::newRow("2") << QByteArray("2") << false;
    QTest::newRow("empty") << QByteArray("") << false;
}

void TestSettings::switchOnlyForExactOne()
{
    QFETCH(QByteArray, stored);
    QFETCH(bool, on);
    writeConfig("autohide=" + stored + "\nshowbigicon=" + stored + "\nautorun=" + stored + "\n");
    dlg = std::make_unique<QSettingDlg>();
    Controls c(dlg.get());
    Recorder rec(dlg.get());
    dlg->ApplySettings();

    const QString state = on ? QStringLiteral("true") : QStringLiteral("false");
    QCOMPARE(rec.events.mid(3),
             (QStringList{"AutoHide:" + state, "ShowBigIcon:" + state, "AutoRun:" + state}));
    QCOMPARE(c.chkAutoHide->isChecked(), on);
    QCOMPARE(c.chkBigIcon->isChecked(), on);
    QCOMPARE(c.chkAutoRun->isChecked(), on);
}

void TestSettings::numbersReadAsDecimal_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<int>("value");
    QTest::newRow("decimal") << QByteArray("7") << 7;
    QTest::newRow("words") << QByteArray("abc") << 0;
    QTest::newRow("trailing garbage") << QByteArray("12abc") << 0;
    QTest::newRow("hex") << QByteArray("0x10") << 0;
    QTest::newRow("fraction") << QByteArray("5.5") << 0;
    QTest::newRow("list") << QByteArray("5,6") << 0;
    QTest::newRow("overflow") << QByteArray("99999999999") << 0;
}

void TestSettings::numbersReadAsDecimal()
{
    QFETCH(QByteArray, stored);
    QFETCH(int, value);
    writeConfig("maxcount=" + stored + "\ntransparency=" + stored + "\n");
    dlg = std::make_unique<QSettingDlg>();
    QSignalSpy maxCount(dlg.get(), &QSettingDlg::ChangeMaxCount);
    QSignalSpy opacity(dlg.get(), &QSettingDlg::ChangeOpacity);
    dlg->ApplySettings();

    // The explicit signal comes last and carries the value as read.
    QVERIFY(!maxCount.isEmpty());
    QCOMPARE(maxCount.last().at(0).toInt(), value);
    QVERIFY(!opacity.isEmpty());
    QCOMPARE(opacity.last().at(0).toInt(), value);
}

void TestSettings::outOfRangeSentAsReadWidgetsClamp()
{
    writeConfig("maxcount=50\ntransparency=5\n");
    dlg = std::make_unique<QSettingDlg>();
    Controls c(dlg.get());
    QSignalSpy maxCount(dlg.get(), &QSettingDlg::ChangeMaxCount);
    QSignalSpy opacity(dlg.get(), &QSettingDlg::ChangeOpacity);
    dlg->ApplySettings();

    // The slider moves to its clamped 10 (a live signal), then the value as read.
    QCOMPARE(maxCount.count(), 2);
    QCOMPARE(maxCount.at(0).at(0).toInt(), 10);
    QCOMPARE(maxCount.at(1).at(0).toInt(), 50);
    QCOMPARE(c.sliderMaxCount->value(), 10);
    QCOMPARE(c.spinMaxCount->value(), 10);
    // 5 clamps to 15, where the slider already stands: only the value as read.
    QCOMPARE(opacity.count(), 1);
    QCOMPARE(opacity.at(0).at(0).toInt(), 5);
    QCOMPARE(c.sliderOpacity->value(), 15);
    QCOMPARE(c.spinOpacity->value(), 15);

    // Cancel sends the stored values the same way.
    maxCount.clear();
    opacity.clear();
    QTest::mouseClick(c.btnCancel, Qt::LeftButton);
    QCOMPARE(maxCount.last().at(0).toInt(), 50);
    QCOMPARE(opacity.last().at(0).toInt(), 5);
}

void TestSettings::hotkeyWithCommaReadsWhole()
{
    writeConfig("hotkey=CTRL+,\n");
    dlg = std::make_unique<QSettingDlg>();
    Controls c(dlg.get());
    QSignalSpy shortcut(dlg.get(), &QSettingDlg::SetShotCut);
    dlg->ApplySettings();
    QCOMPARE(shortcut.count(), 1);
    QCOMPARE(shortcut.at(0).at(0).toString(), QStringLiteral("CTRL+,"));
    QCOMPARE(c.edtHotkey->text(), QStringLiteral("CTRL+,"));
}

void TestSettings::spinBoxTypingMovesSliderLive()
{
    dlg = std::make_unique<QSettingDlg>();
    Controls c(dlg.get());
    dlg->ApplySettings();
    QVERIFY(showActive(dlg.get()));
    QSignalSpy opacity(dlg.get(), &QSettingDlg::ChangeOpacity);
    QSignalSpy maxCount(dlg.get(), &QSettingDlg::ChangeMaxCount);

    c.spinOpacity->setFocus();
    QTest::keyClick(c.spinOpacity, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(c.spinOpacity, QStringLiteral("50"));
    QCOMPARE(c.sliderOpacity->value(), 50);
    QVERIFY(!opacity.isEmpty());
    QCOMPARE(opacity.last().at(0).toInt(), 50);

    // The list-length slider from the keyboard: the spin box follows, the signal goes out.
    c.sliderMaxCount->setFocus();
    QTest::keyClick(c.sliderMaxCount, Qt::Key_Right);
    QTest::keyClick(c.sliderMaxCount, Qt::Key_Right);
    QCOMPARE(c.spinMaxCount->value(), 4);
    QCOMPARE(maxCount.count(), 2);
    QCOMPARE(maxCount.last().at(0).toInt(), 4);
    QVERIFY(!QFile::exists(configPath()));
}

void TestSettings::sliderDragSendsOpacityContinuously()
{
    dlg = std::make_unique<QSettingDlg>();
    Controls c(dlg.get());
    dlg->ApplySettings();
    dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
    QWindow *window = dlg->windowHandle();
    QSignalSpy opacity(dlg.get(), &QSettingDlg::ChangeOpacity);

    const QPoint start = c.sliderOpacity->mapTo(dlg.get(), handleRect(c.sliderOpacity).center());
    QTest::mousePress(window, Qt::LeftButton, {}, start);
    QList<int> seen;
    for (int dx = 30; dx <= 120; dx += 30) {
        QTest::mouseMove(window, start + QPoint(dx, 0));
        QVERIFY(!opacity.isEmpty());
        seen << opacity.last().at(0).toInt();
    }
    QTest::mouseRelease(window, Qt::LeftButton, {}, start + QPoint(120, 0));

    // Each step of the drag went out while the button was still held.
    for (int i = 1; i < seen.size(); ++i)
        QVERIFY2(seen.at(i) > seen.at(i - 1), qPrintable(QStringLiteral("values %1").arg(seen.size())));
    QCOMPARE(c.sliderOpacity->value(), seen.last());
    QCOMPARE(c.spinOpacity->value(), seen.last());
}

void TestSettings::boxesSendAtOnceCancelRestores()
{
    writeConfig("autohide=1\nshowbigicon=0\nmaxcount=4\ntransparency=60\nhotkey=ALT+Z\nautorun=1\n");
    const QByteArray before = readConfig();
    dlg = std::make_unique<QSettingDlg>();
    Controls c(dlg.get());
    dlg->ApplySettings();
    QVERIFY(showActive(dlg.get()));

    Recorder rec(dlg.get());
    clickBox(c.chkBigIcon);
    QCOMPARE(rec.events, QStringList{"ShowBigIcon:true"});
    clickBox(c.chkAutoHide);
    QCOMPARE(rec.events, (QStringList{"ShowBigIcon:true", "AutoHide:false"}));
    // Start with the system and the hotkey have no live effect.
    clickBox(c.chkAutoRun);
    QVERIFY(!c.chkAutoRun->isChecked());
    QTest::keyClick(c.edtHotkey, Qt::Key_K, Qt::ControlModifier);
    QCOMPARE(c.edtHotkey->text(), QStringLiteral("CTRL+K"));
    QCOMPARE(rec.events.size(), 2);
    c.sliderMaxCount->setValue(9);
    c.spinOpacity->setValue(90);

    rec.events.clear();
    QTest::mouseClick(c.btnCancel, Qt::LeftButton);

    QCOMPARE(rec.events,
             (QStringList{"AutoHide:true", "ShowBigIcon:false", "ChangeMaxCount:4", "ChangeMaxCount:4",
                          "ChangeOpacity:60", "ChangeOpacity:60", "SetShotCut:ALT+Z"}));
    QVERIFY(c.chkAutoHide->isChecked());
    QVERIFY(!c.chkBigIcon->isChecked());
    QVERIFY(c.chkAutoRun->isChecked());
    QCOMPARE(c.sliderMaxCount->value(), 4);
    QCOMPARE(c.spinMaxCount->value(), 4);
    QCOMPARE(c.sliderOpacity->value(), 60);
    QCOMPARE(c.spinOpacity->value(), 60);
    QCOMPARE(c.edtHotkey->text(), QStringLiteral("ALT+Z"));
    QVERIFY(!dlg->isVisible());

    dlg.reset();
    QCOMPARE(readConfig(), before);
}

void TestSettings::okWritesAllKeysAndSends()
{
    dlg = std::make_unique<QSettingDlg>();
    Controls c(dlg.get());
    dlg->ApplySettings();
    QVERIFY(showActive(dlg.get()));

    clickBox(c.chkAutoHide);
    c.spinMaxCount->setValue(7);
    c.sliderOpacity->setValue(85);
    QTest::keyClick(c.edtHotkey, Qt::Key_Q, Qt::ControlModifier | Qt::AltModifier);
    Recorder rec(dlg.get());
    QTest::mouseClick(c.btnOk, Qt::LeftButton);

    QCOMPARE(rec.events,
             (QStringList{"AutoHide:true", "ShowBigIcon:false", "SetShotCut:CTRL+ALT+Q", "AutoRun:false"}));
    QVERIFY(!dlg->isVisible());

    // The settings layer writes the file by itself, without a forced flush.
    QTRY_COMPARE(configLines().size(), 6);
    const QMap<QString, QString> lines = configLines();
    QVERIFY(readConfig().startsWith("[General]"));
    QCOMPARE(lines.value("autohide"), QStringLiteral("1"));
    QCOMPARE(lines.value("showbigicon"), QStringLiteral("0"));
    QCOMPARE(lines.value("maxcount"), QStringLiteral("7"));
    QCOMPARE(lines.value("transparency"), QStringLiteral("85"));
    QCOMPARE(lines.value("hotkey"), QStringLiteral("CTRL+ALT+Q"));
    QCOMPARE(lines.value("autorun"), QStringLiteral("0"));

    // Showing it again keeps the widgets as they were left.
    dlg->show();
    QCOMPARE(c.spinMaxCount->value(), 7);
    QVERIFY(c.chkAutoHide->isChecked());
}

void TestSettings::okWithAutoRunAlreadyOnWritesOne()
{
    writeConfig("autorun=1\n");
    dlg = std::make_unique<QSettingDlg>();
    Controls c(dlg.get());
    dlg->ApplySettings();
    QVERIFY(c.chkAutoRun->isChecked());
    QSignalSpy autoRun(dlg.get(), &QSettingDlg::AutoRun);
    QTest::mouseClick(c.btnOk, Qt::LeftButton);
    QCOMPARE(autoRun.count(), 1);
    QCOMPARE(autoRun.at(0).at(0).toBool(), true);
    QTRY_COMPARE(configLines().size(), 6);
    QCOMPARE(configLines().value("autorun"), QStringLiteral("1"));
}

void TestSettings::hotkeyRoundTripsThroughFile()
{
    // Texts the INI layer has to quote or escape come back unchanged.
    const QStringList texts{QStringLiteral("CTRL+,"), QStringLiteral("ALT+ "), QStringLiteral("SHIFT+;"),
                            QStringLiteral("CTRL+") + QChar(0), QStringLiteral("@")};
    for (const QString &text : texts) {
        dlg = std::make_unique<QSettingDlg>();
        Controls c(dlg.get());
        dlg->ApplySettings();
        c.edtHotkey->setText(text);
        QTest::mouseClick(c.btnOk, Qt::LeftButton);
        dlg.reset();

        dlg = std::make_unique<QSettingDlg>();
        QSignalSpy shortcut(dlg.get(), &QSettingDlg::SetShotCut);
        dlg->ApplySettings();
        QCOMPARE(shortcut.count(), 1);
        QCOMPARE(shortcut.at(0).at(0).toString(), text);
    }
}

void TestSettings::hotkeyCapture_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("keyText");
    QTest::addColumn<QString>("text");
    const QString unchanged = QStringLiteral("OLD");
    QTest::newRow("Ctrl+Alt+Q") << int(Qt::Key_Q) << int(Qt::ControlModifier | Qt::AltModifier) << QString()
                                << QStringLiteral("CTRL+ALT+Q");
    QTest::newRow("all three") << int(Qt::Key_W)
                               << int(Qt::AltModifier | Qt::ShiftModifier | Qt::ControlModifier) << QString()
                               << QStringLiteral("CTRL+SHIFT+ALT+W");
    QTest::newRow("Shift+Q") << int(Qt::Key_Q) << int(Qt::ShiftModifier) << QStringLiteral("Q")
                             << QStringLiteral("SHIFT+Q");
    QTest::newRow("Q") << int(Qt::Key_Q) << 0 << QStringLiteral("q") << QStringLiteral("Q");
    QTest::newRow("space") << int(Qt::Key_Space) << int(Qt::AltModifier) << QString()
                           << QStringLiteral("ALT+ ");
    QTest::newRow("F1") << int(Qt::Key_F1) << int(Qt::ControlModifier) << QString()
                        << QStringLiteral("CTRL+0");
    QTest::newRow("Ctrl alone") << int(Qt::Key_Control) << int(Qt::ControlModifier) << QString() << unchanged;
    QTest::newRow("Alt alone") << int(Qt::Key_Alt) << int(Qt::AltModifier) << QString() << unchanged;
    QTest::newRow("Shift+1 as !") << int(Qt::Key_Exclam) << int(Qt::ShiftModifier) << QStringLiteral("!")
                                  << unchanged;
    QTest::newRow("#") << int(Qt::Key_NumberSign) << 0 << QStringLiteral("#") << unchanged;
    // Qt reports the Shift key's own press without the Shift modifier.
    QTest::newRow("Shift alone") << int(Qt::Key_Shift) << int(Qt::ShiftModifier) << QString()
                                 << QStringLiteral(" ");
    QTest::newRow("Ctrl+Tab") << int(Qt::Key_Tab) << int(Qt::ControlModifier) << QString()
                              << QStringLiteral("CTRL+\x01");
}

// One key press as the window system delivers it, each key on its own.
void TestSettings::hotkeyCapture()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, keyText);
    QFETCH(QString, text);
    dlg = std::make_unique<QSettingDlg>();
    Controls c(dlg.get());
    QVERIFY(showActive(dlg.get()));
    c.edtHotkey->setFocus();
    c.edtHotkey->setText(QStringLiteral("OLD"));
    QKeyEvent press(QEvent::KeyPress, key, Qt::KeyboardModifiers(modifiers), keyText);
    QApplication::sendEvent(c.edtHotkey, &press);
    QCOMPARE(c.edtHotkey->text(), text);
    QVERIFY(dlg->isVisible());
    QVERIFY(c.edtHotkey->hasFocus());
}

// The whole press sequence of a user: modifiers go down first, then the key.
void TestSettings::hotkeyTypedCombinations()
{
    dlg = std::make_unique<QSettingDlg>();
    Controls c(dlg.get());
    QVERIFY(showActive(dlg.get()));
    c.edtHotkey->setFocus();

    QTest::keyClick(c.edtHotkey, Qt::Key_Q, Qt::ControlModifier | Qt::AltModifier);
    QCOMPARE(c.edtHotkey->text(), QStringLiteral("CTRL+ALT+Q"));
    // Control and Alt on their own leave the combination standing.
    QTest::keyClick(c.edtHotkey, Qt::Key_Control, Qt::ControlModifier);
    QTest::keyClick(c.edtHotkey, Qt::Key_Alt, Qt::AltModifier);
    QCOMPARE(c.edtHotkey->text(), QStringLiteral("CTRL+ALT+Q"));
    QTest::keyClick(c.edtHotkey, Qt::Key_Q, Qt::ShiftModifier);
    QCOMPARE(c.edtHotkey->text(), QStringLiteral("SHIFT+Q"));
    QTest::keyClick(c.edtHotkey, Qt::Key_Q);
    QCOMPARE(c.edtHotkey->text(), QStringLiteral("Q"));
    // Typing does not append: each press replaces the text.
    QTest::keyClicks(c.edtHotkey, QStringLiteral("ab"));
    QCOMPARE(c.edtHotkey->text(), QStringLiteral("B"));
}

void TestSettings::hotkeyControlKeysReplaceText()
{
    dlg = std::make_unique<QSettingDlg>();
    Controls c(dlg.get());
    QVERIFY(showActive(dlg.get()));
    c.edtHotkey->setFocus();
    QSignalSpy rejected(dlg.get(), &QDialog::rejected);
    QSignalSpy accepted(dlg.get(), &QDialog::accepted);

    struct Case
    {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        QString text;
    };
    const QList<Case> cases{{Qt::Key_Escape, {}, QString(QChar(0x00))},
                            {Qt::Key_Return, {}, QString(QChar(0x04))},
                            {Qt::Key_Enter, Qt::KeypadModifier, QString(QChar(0x05))},
                            {Qt::Key_Backspace, {}, QString(QChar(0x03))},
                            {Qt::Key_Backspace, Qt::ControlModifier, QStringLiteral("CTRL+") + QChar(0x03)},
                            {Qt::Key_Delete, {}, QString(QChar(0x07))},
                            {Qt::Key_Left, {}, QString(QChar(0x12))}};
    for (const Case &k : cases) {
        c.edtHotkey->setText(QStringLiteral("CTRL+ALT+Q"));
        c.edtHotkey->setCursorPosition(5);
        QTest::keyClick(c.edtHotkey, k.key, k.modifiers);
        QCOMPARE(c.edtHotkey->text(), k.text);
        QVERIFY(c.edtHotkey->text().back().category() == QChar::Other_Control);
        QVERIFY(dlg->isVisible());
    }
    QCOMPARE(rejected.count(), 0);
    QCOMPARE(accepted.count(), 0);
}

void TestSettings::tabOrderAndHotkeyTab()
{
    dlg = std::make_unique<QSettingDlg>();
    Controls c(dlg.get());
    QVERIFY(showActive(dlg.get()));

    // Creation order, labels and the two buttons skipped, start with the system last.
    const QList<QWidget *> order{c.sliderMaxCount, c.chkAutoHide, c.chkBigIcon,
                                 c.sliderOpacity,  c.spinOpacity, c.spinMaxCount,
                                 c.edtHotkey,      c.chkAutoRun,  c.sliderMaxCount};
    order.first()->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), order.first());
    for (int i = 1; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), order.at(i));
    }

    // Tab and Shift+Tab leave the hotkey field without touching its text.
    c.edtHotkey->setFocus();
    c.edtHotkey->setText(QStringLiteral("ALT+X"));
    // (Sent alone: the Shift key's own press before it goes through the capture rule.)
    QKeyEvent backtab(QEvent::KeyPress, Qt::Key_Backtab, Qt::ShiftModifier);
    QApplication::sendEvent(c.edtHotkey, &backtab);
    QCOMPARE(QApplication::focusWidget(), c.spinMaxCount);
    c.edtHotkey->setFocus();
    QTest::keyClick(c.edtHotkey, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), c.chkAutoRun);
    QCOMPARE(c.edtHotkey->text(), QStringLiteral("ALT+X"));
    QCOMPARE(c.btnOk->focusPolicy(), Qt::NoFocus);
    QCOMPARE(c.btnCancel->focusPolicy(), Qt::NoFocus);
}

void TestSettings::textsAndFixedSize()
{
    dlg = std::make_unique<QSettingDlg>();
    Controls c(dlg.get());
    QCOMPARE(c.chkAutoHide->text(), QStringLiteral("Automatically hide after running the application"));
    QCOMPARE(c.chkBigIcon->text(), QStringLiteral("Display Big Images"));
    QCOMPARE(c.chkAutoRun->text(), QStringLiteral("Boot automatically run"));
    QStringList labels;
    for (const char *name : {"lblOpacity", "lblMaxCount", "lblHotkey"}) {
        QLabel *label = c.find<QLabel>(name);
        QVERIFY(label);
        labels << label->text();
    }
    QCOMPARE(labels, (QStringList{"Transparency settings", "Set maximum number of item in List",
                                  "Hotkey settings:"}));
    QVERIFY(c.btnOk->text().isEmpty());
    QVERIFY(c.btnCancel->text().isEmpty());
    QCOMPARE(dlg->minimumSize(), QSize(475, 297));
    QCOMPARE(dlg->maximumSize(), QSize(475, 297));
    QCOMPARE(dlg->windowFlags() & (Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
             Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    QVERIFY(dlg->testAttribute(Qt::WA_TranslucentBackground));

    // Captions are not cut off by their fixed rectangles.
    for (QWidget *w : dlg->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (qobject_cast<QLabel *>(w) || qobject_cast<QCheckBox *>(w))
            QVERIFY2(w->sizeHint().width() <= w->width(), qPrintable(w->objectName()));
    }

    // Every control lies inside the window.
    for (QWidget *w : dlg->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        QVERIFY2(dlg->rect().contains(w->geometry()), qPrintable(w->objectName()));
}

void TestSettings::noWidgetOverAnotherOrOverPaintedText_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("background");
    QTest::newRow("settings") << QStringLiteral("settings") << QStringLiteral(":/images/SETTINGBK");
    QTest::newRow("about") << QStringLiteral("about") << QStringLiteral(":/images/ABOUT");
    QTest::newRow("manager") << QStringLiteral("manager") << QStringLiteral(":/images/ATMAN");
    QTest::newRow("add") << QStringLiteral("add") << QStringLiteral(":/images/ADDAPP");
    QTest::newRow("modify") << QStringLiteral("modify") << QStringLiteral(":/images/MODAPP");
}

// The frameless dialogs paint hints in their background images: no control may
// cover one, nor another control.
void TestSettings::noWidgetOverAnotherOrOverPaintedText()
{
    QFETCH(QString, window);
    QFETCH(QString, background);
    std::unique_ptr<QWidget> w;
    if (window == QLatin1String("settings"))
        w = std::make_unique<QSettingDlg>();
    else if (window == QLatin1String("about"))
        w = std::make_unique<QAboutDlg>();
    else if (window == QLatin1String("manager"))
        w = std::make_unique<QAppshow>();
    else if (window == QLatin1String("add"))
        w = std::make_unique<qAddApp>();
    else
        w = std::make_unique<qModapp>(QStringLiteral("Old name"));

    // The painted text: dark pixels on the light body, below the title bar.
    const QImage image = QImage(background).convertToFormat(QImage::Format_ARGB32);
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), w->size());
    QList<QPoint> ink;
    for (int y = 34; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() == 255 && c.lightnessF() < 0.55)
                ink << QPoint(x, y);
        }
    }
    QList<QWidget *> controls;
    for (QWidget *child : w->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (!child->isHidden() && !child->isWindow())
            controls << child;
    }
    QVERIFY(!controls.isEmpty());
    for (QWidget *control : controls) {
        for (const QPoint &p : std::as_const(ink))
            QVERIFY2(!control->geometry().contains(p),
                     qPrintable(QStringLiteral("%1 covers painted text at %2,%3")
                                    .arg(control->objectName())
                                    .arg(p.x())
                                    .arg(p.y())));
        for (QWidget *other : controls) {
            if (other != control)
                QVERIFY2(!control->geometry().intersects(other->geometry()),
                         qPrintable(control->objectName() + QStringLiteral(" over ") + other->objectName()));
        }
    }
    if (window == QLatin1String("settings")) {
        // The hint under the controls is there to be kept clear.
        QVERIFY(std::any_of(ink.begin(), ink.end(), [](const QPoint &p) { return p.y() > 245; }));
    }
}

void TestSettings::dragOnlyFromTopBand()
{
    dlg = std::make_unique<QSettingDlg>();
    dlg->move(100, 100);
    dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
    QWindow *window = dlg->windowHandle();
    const QPoint origin = dlg->pos();

    // y = 29 is still in the band: the window follows the mouse.
    QTest::mousePress(window, Qt::LeftButton, {}, QPoint(60, 29));
    QTest::mouseMove(window, QPoint(90, 49));
    QTRY_COMPARE(dlg->pos(), origin + QPoint(30, 20));
    QTest::mouseRelease(window, Qt::LeftButton, {}, QPoint(60, 29));

    // y = 30 is below it: nothing moves.
    const QPoint moved = dlg->pos();
    QTest::mousePress(window, Qt::LeftButton, {}, QPoint(60, 30));
    QTest::mouseMove(window, QPoint(120, 80));
    QCoreApplication::processEvents();
    QCOMPARE(dlg->pos(), moved);
    QTest::mouseRelease(window, Qt::LeftButton, {}, QPoint(120, 80));

    // Only the left button starts a drag.
    QTest::mousePress(window, Qt::RightButton, {}, QPoint(60, 10));
    QTest::mouseMove(window, QPoint(100, 40));
    QCoreApplication::processEvents();
    QCOMPARE(dlg->pos(), moved);
    QTest::mouseRelease(window, Qt::RightButton, {}, QPoint(100, 40));
}

void TestSettings::pressOnChildNeverDrags()
{
    dlg = std::make_unique<QSettingDlg>();
    Controls c(dlg.get());
    dlg->move(100, 100);
    dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
    QWindow *window = dlg->windowHandle();

    QList<QWidget *> children{c.chkAutoHide, c.chkAutoRun, c.edtHotkey, c.spinOpacity, c.btnOk};
    children << c.find<QLabel>("lblMaxCount");
    for (QWidget *child : children) {
        // A press in the band first leaves a valid drag offset behind...
        QTest::mousePress(window, Qt::LeftButton, {}, QPoint(200, 10));
        QTest::mouseRelease(window, Qt::LeftButton, {}, QPoint(200, 10));
        const QPoint before = dlg->pos();

        // ...which a press on a child cancels, whatever moves reach the dialog afterwards.
        const QPoint onChild = child->mapTo(dlg.get(), QPoint(5, child->height() / 2));
        QTest::mousePress(window, Qt::LeftButton, {}, onChild);
        sendMove(dlg.get(), onChild + QPoint(40, 30), Qt::LeftButton);
        QTest::mouseMove(window, onChild + QPoint(40, 30));
        QCoreApplication::processEvents();
        QCOMPARE(dlg->pos(), before);
        QTest::mouseRelease(window, Qt::LeftButton, {}, onChild + QPoint(40, 30));
    }
}

// Escape, pressed where the hotkey field does not have the focus, cancels like the
// Cancel button: the controls and the live settings go back to what the file holds.
void TestSettings::escapeOutsideHotkeyCancels()
{
    writeConfig("autohide=0\nmaxcount=3\ntransparency=40\nhotkey=ALT+Z\n");
    const QByteArray before = readConfig();
    dlg = std::make_unique<QSettingDlg>();
    Controls c(dlg.get());
    dlg->ApplySettings();
    QVERIFY(showActive(dlg.get()));

    clickBox(c.chkAutoHide);
    c.sliderOpacity->setValue(70);
    QTest::keyClick(c.edtHotkey, Qt::Key_M, Qt::AltModifier);
    Recorder rec(dlg.get());
    c.chkBigIcon->setFocus();
    QTest::keyClick(c.chkBigIcon, Qt::Key_Escape);

    QVERIFY(!dlg->isVisible());
    QCOMPARE(rec.events, (QStringList{"AutoHide:false", "ShowBigIcon:false", "ChangeMaxCount:3",
                                      "ChangeOpacity:40", "ChangeOpacity:40", "SetShotCut:ALT+Z"}));
    QVERIFY(!c.chkAutoHide->isChecked());
    QCOMPARE(c.sliderOpacity->value(), 40);
    QCOMPARE(c.edtHotkey->text(), QStringLiteral("ALT+Z"));
    dlg.reset();
    QCOMPARE(readConfig(), before);
}

// From the keyboard: Return confirms like OK, wherever the focus is but in the
// hotkey field (where Return is a key to capture).
void TestSettings::returnConfirms()
{
    writeConfig("autohide=0\nshowbigicon=0\nmaxcount=3\ntransparency=40\nhotkey=ALT+Z\nautorun=0\n");
    dlg = std::make_unique<QSettingDlg>();
    Controls c(dlg.get());
    dlg->ApplySettings();
    QVERIFY(showActive(dlg.get()));

    // Return in the hotkey field is captured, as every key there.
    c.edtHotkey->setFocus();
    QTest::keyClick(c.edtHotkey, Qt::Key_Return);
    QVERIFY(dlg->isVisible());
    QTest::keyClick(c.edtHotkey, Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);

    c.chkAutoHide->setFocus();
    QTest::keyClick(c.chkAutoHide, Qt::Key_Space);
    QVERIFY(c.chkAutoHide->isChecked());
    c.spinMaxCount->setFocus();
    QTest::keyClick(c.spinMaxCount, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(c.spinMaxCount, QStringLiteral("7"));
    Recorder rec(dlg.get());
    // Return in the spin box takes the typed value and confirms, on its release (the
    // release must not reach the window that gets the keyboard next).
    QTest::keyPress(c.spinMaxCount, Qt::Key_Return);
    QVERIFY(dlg->isVisible());
    QTest::keyRelease(c.spinMaxCount, Qt::Key_Return);
    QVERIFY(!dlg->isVisible());
    QCOMPARE(rec.events.mid(rec.events.size() - 4),
             (QStringList{"AutoHide:true", "ShowBigIcon:false", "SetShotCut:CTRL+ALT+K", "AutoRun:false"}));
    QTRY_COMPARE(configLines().value("maxcount"), QStringLiteral("7"));
    QCOMPARE(configLines().value("autohide"), QStringLiteral("1"));
    QCOMPARE(configLines().value("hotkey"), QStringLiteral("CTRL+ALT+K"));

    // And from a check box (Enter on the keypad too).
    QVERIFY(showActive(dlg.get()));
    c.chkBigIcon->setFocus();
    QTest::keyClick(c.chkBigIcon, Qt::Key_Space);
    QTest::keyClick(c.chkBigIcon, Qt::Key_Enter, Qt::KeypadModifier);
    QVERIFY(!dlg->isVisible());
    QTRY_COMPARE(configLines().value("showbigicon"), QStringLiteral("1"));
}

// OK stores every key before it sends a signal: a receiver that stops the
// program (or runs a message box, in whose loop it could be killed) finds the
// whole new configuration on disk, never half of it.
void TestSettings::okWritesEveryKeyBeforeItsSignals()
{
    writeConfig("autohide=0\nshowbigicon=0\nmaxcount=3\ntransparency=40\nhotkey=ALT+Z\nautorun=0\n");
    dlg = std::make_unique<QSettingDlg>();
    Controls c(dlg.get());
    dlg->ApplySettings();
    QVERIFY(showActive(dlg.get()));
    clickBox(c.chkAutoHide);
    clickBox(c.chkBigIcon);
    clickBox(c.chkAutoRun);
    c.sliderMaxCount->setValue(8);
    c.sliderOpacity->setValue(77);
    QTest::keyClick(c.edtHotkey, Qt::Key_W, Qt::ControlModifier | Qt::ShiftModifier);

    const QMap<QString, QString> wanted{{"autohide", "1"},      {"showbigicon", "1"},       {"maxcount", "8"},
                                        {"transparency", "77"}, {"hotkey", "CTRL+SHIFT+W"}, {"autorun", "1"}};
    QStringList seenAt;
    const auto check = [&](const QString &signal) {
        // As on disk at that moment, read by another program.
        QMap<QString, QString> lines = configLines();
        for (auto it = wanted.cbegin(); it != wanted.cend(); ++it) {
            if (lines.value(it.key()) != it.value())
                seenAt << signal + QLatin1Char(':') + it.key() + QLatin1Char('=') + lines.value(it.key());
        }
    };
    connect(dlg.get(), &QSettingDlg::AutoHide, this, [&] { check(QStringLiteral("AutoHide")); });
    connect(dlg.get(), &QSettingDlg::ShowBigIcon, this, [&] { check(QStringLiteral("ShowBigIcon")); });
    connect(dlg.get(), &QSettingDlg::SetShotCut, this, [&] { check(QStringLiteral("SetShotCut")); });
    connect(dlg.get(), &QSettingDlg::AutoRun, this, [&] {
        // A message box's loop here must not change what is on disk either.
        MessageBoxAnswerer boxes;
        QMessageBox::information(dlg.get(), QStringLiteral("title"), QStringLiteral("text"));
        check(QStringLiteral("AutoRun"));
    });
    QTest::mouseClick(c.btnOk, Qt::LeftButton);
    QCOMPARE(seenAt, QStringList());
    QVERIFY(!dlg->isVisible());
}

// Only the capture rule changes the hotkey field: not a paste or a delete from
// its menu, not a drop, not an input method; OK then stores the captured key.
void TestSettings::hotkeyFieldChangesOnlyByCapture()
{
    dlg = std::make_unique<QSettingDlg>();
    Controls c(dlg.get());
    dlg->ApplySettings();
    QVERIFY(showActive(dlg.get()));
    c.edtHotkey->setFocus();
    QTest::keyClick(c.edtHotkey, Qt::Key_Q, Qt::ControlModifier | Qt::AltModifier);
    QCOMPARE(c.edtHotkey->text(), QStringLiteral("CTRL+ALT+Q"));
    QGuiApplication::clipboard()->setText(QStringLiteral("garbage"));

    // The context menu: whatever it offers that edits the text is used.
    for (int round = 0; round < 2; ++round) {
        QStringList used;
        bool shown = false;
        whenModalShows<QMenu>([&used, &shown, round](QMenu *menu) {
            shown = true;
            for (QAction *action : menu->actions()) {
                const QString text = action->text().remove(QLatin1Char('&')).section(QLatin1Char('\t'), 0, 0);
                const bool edits = text == QLatin1String("Paste") || text == QLatin1String("Delete") ||
                                   text == QLatin1String("Cut") || text == QLatin1String("Undo");
                if (edits && action->isEnabled() && used.isEmpty()) {
                    used << text;
                    action->trigger();
                }
                if (round == 1 && text == QLatin1String("Select All"))
                    action->trigger();
            }
            menu->close();
        });
        QContextMenuEvent menuEvent(QContextMenuEvent::Keyboard, QPoint(5, 5),
                                    c.edtHotkey->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(c.edtHotkey, &menuEvent);
        QTRY_VERIFY(shown);
        QCoreApplication::processEvents();
        QCOMPARE(c.edtHotkey->text(), QStringLiteral("CTRL+ALT+Q"));
    }

    // A drop.
    QMimeData data;
    data.setText(QStringLiteral("dropped"));
    const QPoint at(5, 5);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(c.edtHotkey, &enter);
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(c.edtHotkey, &drop);
    QCOMPARE(c.edtHotkey->text(), QStringLiteral("CTRL+ALT+Q"));

    // An input method's commit.
    QInputMethodEvent commit(QString(), {});
    commit.setCommitString(QStringLiteral("x"));
    QApplication::sendEvent(c.edtHotkey, &commit);
    QCOMPARE(c.edtHotkey->text(), QStringLiteral("CTRL+ALT+Q"));

    QTest::mouseClick(c.btnOk, Qt::LeftButton);
    QTRY_COMPARE(configLines().value("hotkey"), QStringLiteral("CTRL+ALT+Q"));
}

TOLVANE_TEST_MAIN(TestSettings)
#include "test_settings.moc"
