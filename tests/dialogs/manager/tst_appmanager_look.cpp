#include "focusbutton.h"
#include "helpdlg.h"
#include "qaboutdlg.h"
#include "qaddapp.h"
#include "qappshow.h"
#include "qmodapp.h"
#include "testmain.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QtTest>

#include <algorithm>

// The dialogs on a real X server: the window shows its background image where no
// child covers it, at the image's size. With TOLVANE_SHOT_DIR set, each window is
// also saved there as a PNG to look at.
class TestAppManagerLook : public QObject
{
    Q_OBJECT

private:
    // Where the help window draws lines of its own over the page image.
    static bool drawnOver(QWidget *w, const QPoint &at)
    {
        auto help = qobject_cast<HelpDlg *>(w);
        if (!help)
            return false;
        const QList<QRect> areas = help->drawnAreas();
        return std::any_of(areas.begin(), areas.end(), [&](const QRect &r) { return r.contains(at); });
    }

    static void check(QWidget *w, const QString &background, const QString &shotName)
    {
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        const QImage expected = QImage(background).convertToFormat(QImage::Format_ARGB32);
        QVERIFY(!expected.isNull());
        QCOMPARE(w->size(), expected.size());
        const QImage shown = w->grab().toImage().convertToFormat(QImage::Format_ARGB32);
        const QString dir = qEnvironmentVariable("TOLVANE_SHOT_DIR");
        if (!dir.isEmpty())
            QVERIFY(shown.save(QDir(dir).filePath(shotName + QStringLiteral(".png"))));
        int compared = 0;
        for (int y = 2; y < expected.height(); y += 7) {
            for (int x = 2; x < expected.width(); x += 7) {
                if (w->childAt(x, y) || qAlpha(expected.pixel(x, y)) != 255 || drawnOver(w, QPoint(x, y)))
                    continue;
                QCOMPARE(shown.pixel(x, y), expected.pixel(x, y));
                ++compared;
            }
        }
        QVERIFY(compared > 50);
        // Every label's text fits its rectangle (nothing clipped).
        for (QLabel *label : w->findChildren<QLabel *>()) {
            const QSize need =
                label->wordWrap() ? QSize(0, label->heightForWidth(label->width())) : label->sizeHint();
            QVERIFY2(need.width() <= label->width() && need.height() <= label->height(),
                     qPrintable(QStringLiteral("%1 needs %2x%3, has %4x%5")
                                    .arg(label->objectName())
                                    .arg(need.width())
                                    .arg(need.height())
                                    .arg(label->width())
                                    .arg(label->height())));
        }
    }

private slots:
    void manager()
    {
        QList<APPBLOCK> items;
        const QStringList names = {"Text Editor",     "Terminal",  "Calculator",   "Image Viewer", "Files",
                                   "Web Browser",     "Mail",      "Music Player", "Video Player", "Settings",
                                   "Archive Manager", "Screenshot"};
        for (const QString &name : names) {
            APPBLOCK r;
            r.alias = name;
            r.path = TestSandbox::path(QStringLiteral("home/apps/") + QString(name).remove(' ').toLower() +
                                       QStringLiteral(".sh"));
            QDir().mkpath(QFileInfo(r.path).absolutePath());
            QFile f(r.path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            items << r;
        }
        QAppshow dlg(nullptr);
        dlg.SetItems(items);
        dlg.show();
        auto table = dlg.findChild<QTableWidget *>(QStringLiteral("listShow"));
        QTRY_VERIFY(!table->item(table->rowCount() - 1, 0)->icon().isNull());
        check(&dlg, QStringLiteral(":/images/ATMAN"), QStringLiteral("manager"));
    }

    // The keyboard focus on a button shows on the screen: an amber ring inside the
    // button's edge, on the white faces and on the blue OK alike.
    void managerWithTheFocusOnAButton()
    {
        QList<APPBLOCK> items;
        for (const QString &name : {QStringLiteral("Text Editor"), QStringLiteral("Terminal")}) {
            APPBLOCK r;
            r.alias = name;
            r.path = QStringLiteral("/usr/bin/") + QString(name).remove(' ').toLower();
            items << r;
        }
        QAppshow dlg(nullptr);
        dlg.SetItems(items);
        dlg.move(40, 40);
        dlg.show();
        dlg.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        auto table = dlg.findChild<QTableWidget *>(QStringLiteral("listShow"));
        QTRY_COMPARE(QApplication::focusWidget(), table);
        const QColor ring = FocusButton::ringColour();
        const auto near = [](const QColor &a, const QColor &b) {
            return qAbs(a.red() - b.red()) + qAbs(a.green() - b.green()) + qAbs(a.blue() - b.blue()) < 60;
        };
        for (const char *name : {"btnAdd", "btnDelete", "btnModify", "btnEnsure", "btnCancel"}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            auto button = dlg.findChild<QPushButton *>(QLatin1String(name));
            QTRY_VERIFY(button->hasFocus());
            QApplication::processEvents();
            const QPoint at = dlg.mapToGlobal(QPoint(0, 0));
            const QImage screen = QGuiApplication::primaryScreen()
                                      ->grabWindow(0, at.x(), at.y(), dlg.width(), dlg.height())
                                      .toImage();
            const QRect b = button->geometry();
            // The ring's left and right sides, halfway down; the other buttons have none.
            QVERIFY2(near(screen.pixelColor(b.left() + 2, b.center().y()), ring), name);
            QVERIFY2(near(screen.pixelColor(b.right() - 2, b.center().y()), ring), name);
            for (QPushButton *other : dlg.findChildren<QPushButton *>()) {
                if (other != button)
                    QVERIFY2(
                        !near(screen.pixelColor(other->geometry().left() + 2, other->geometry().center().y()),
                              ring),
                        qPrintable(other->objectName()));
            }
            const QString dir = qEnvironmentVariable("TOLVANE_SHOT_DIR");
            if (!dir.isEmpty())
                QVERIFY(screen.save(
                    QDir(dir).filePath(QStringLiteral("manager-focus-%1.png").arg(QLatin1String(name)))));
        }
    }

    void addAndRename()
    {
        qAddApp add;
        add.findChild<QLineEdit *>(QStringLiteral("edtName"))->setText(QStringLiteral("Terminal"));
        add.findChild<QLineEdit *>(QStringLiteral("edtPath"))->setText(QStringLiteral("/usr/bin/xterm"));
        check(&add, QStringLiteral(":/images/ADDAPP"), QStringLiteral("add"));
        qModapp mod(QStringLiteral("Terminal"));
        check(&mod, QStringLiteral(":/images/MODAPP"), QStringLiteral("rename"));
    }

    void aboutAndHelp()
    {
        QAboutDlg about(nullptr);
        check(&about, QStringLiteral(":/images/ABOUT"), QStringLiteral("about"));
        HelpDlg help;
        check(&help, QStringLiteral(":/images/HELP1"), QStringLiteral("help1"));
        QTest::mouseClick(&help, Qt::LeftButton);
        check(&help, QStringLiteral(":/images/HELP2"), QStringLiteral("help2"));
    }
};

TOLVANE_TEST_MAIN(TestAppManagerLook)
#include "tst_appmanager_look.moc"
