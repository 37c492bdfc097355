#include "helpdlg.h"
#include "qaboutdlg.h"
#include "testmain.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QtTest>

#include <algorithm>

// Stands in for the browser and the mail program.
class UrlCatcher : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl &url) { opened << url; }
};

namespace {

// Whether the window shows the given help page image at its top-left corner
// (outside the rectangles where it draws lines of its own).
bool showsImage(QWidget *w, const QString &resource, const QList<QRect> &skip = {})
{
    const QImage expected = QImage(resource).convertToFormat(QImage::Format_ARGB32);
    const QImage shown = w->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    if (expected.isNull() || shown.size() != expected.size())
        return false;
    // Compare a grid of pixels: the two pages differ in their artwork.
    for (int y = 5; y < expected.height(); y += 23) {
        for (int x = 5; x < expected.width(); x += 29) {
            const bool drawn =
                std::any_of(skip.begin(), skip.end(), [&](const QRect &r) { return r.contains(x, y); });
            if (!drawn && qAlpha(expected.pixel(x, y)) == 255 && shown.pixel(x, y) != expected.pixel(x, y))
                return false;
        }
    }
    return true;
}

void clickLink(QLabel *label)
{
    // The whole visible text is the link; a click on its first words hits it.
    QTest::mouseClick(label, Qt::LeftButton, {}, QPoint(20, label->height() / 2));
}

} // namespace

class TestAboutHelp : public QObject
{
    Q_OBJECT

private slots:
    void helpPagesOnAndStartsOver()
    {
        HelpDlg help;
        QCOMPARE(help.objectName(), QStringLiteral("HelpDlg"));
        QCOMPARE(help.windowTitle(), QStringLiteral("Tolvane Help"));
        QCOMPARE(help.size(), QSize(600, 300));
        QVERIFY(help.windowFlags() & Qt::FramelessWindowHint);
        QVERIFY(help.windowFlags() & Qt::WindowStaysOnTopHint);

        help.show();
        QVERIFY(QTest::qWaitForWindowExposed(&help));
        QCOMPARE(help.currentPage(), 1);
        QVERIFY(showsImage(&help, ":/images/HELP1", help.drawnAreas()));

        QTest::mouseClick(&help, Qt::LeftButton, {}, QPoint(300, 150));
        QVERIFY(help.isVisible());
        QCOMPARE(help.currentPage(), 2);
        QVERIFY(showsImage(&help, ":/images/HELP2", help.drawnAreas()));
        QVERIFY(!showsImage(&help, ":/images/HELP1", help.drawnAreas()));

        QTest::mouseClick(&help, Qt::LeftButton, {}, QPoint(300, 150));
        QVERIFY(!help.isVisible());
        QCOMPARE(help.currentPage(), 1);

        help.show();
        QVERIFY(QTest::qWaitForWindowExposed(&help));
        QVERIFY(showsImage(&help, ":/images/HELP1", help.drawnAreas()));
    }

    // The help says how the window comes back on the desktop at hand: the hotkey in
    // force, the tray, or a second start; and where there is no tray, how to quit.
    void helpSaysHowTheWindowComesBack_data()
    {
        QTest::addColumn<QString>("hotkey");
        QTest::addColumn<bool>("tray");
        QTest::addColumn<QStringList>("firstPage");
        QTest::addColumn<QString>("keyCap");
        QTest::addColumn<QString>("hideLine");
        QTest::newRow("hotkey and tray")
            << QStringLiteral("CTRL+ALT+Q") << true
            << QStringList{"Press the hotkey (Ctrl + Alt + Q)", "or click Tolvane\u2019s icon in the tray"}
            << QStringLiteral("Ctrl + Alt + Q")
            << QStringLiteral(
                   "The \u00d7 at the top right, or Escape in an empty box. Tolvane stays in the tray.");
        QTest::newRow("desktop's trigger, no tray")
            << QStringLiteral("Meta+Space") << false
            << QStringList{"Press the hotkey (Meta + Space)", "or start Tolvane again (its menu entry)"}
            << QStringLiteral("Meta + Space")
            << QStringLiteral("The \u00d7 or Escape in an empty box; Meta + Space brings it back.");
        QTest::newRow("tray, no hotkey")
            << QString() << true
            << QStringList{"Start Tolvane again (its menu entry)", "or click Tolvane\u2019s icon in the tray"}
            << QString()
            << QStringLiteral(
                   "The \u00d7 at the top right, or Escape in an empty box. Tolvane stays in the tray.");
        QTest::newRow("neither")
            << QString() << false
            << QStringList{"Start Tolvane again (its menu entry)",
                           "or a key bound to the command \u201ctolvane\u201d"}
            << QString()
            << QStringLiteral("The \u00d7 or Escape in an empty box; start Tolvane again to bring it back.");
    }

    void helpSaysHowTheWindowComesBack()
    {
        QFETCH(QString, hotkey);
        QFETCH(bool, tray);
        QFETCH(QStringList, firstPage);
        QFETCH(QString, keyCap);
        QFETCH(QString, hideLine);
        HelpDlg help;
        help.setReach(hotkey, tray, QStringLiteral("/usr/lib/tolvane/tolvane"));
        help.show();
        QVERIFY(QTest::qWaitForWindowExposed(&help));
        for (int page = 1; page <= 2; ++page) {
            const QImage image =
                QImage(QStringLiteral(":/images/HELP%1").arg(page)).convertToFormat(QImage::Format_RGB32);
            const QImage shown = help.grab().toImage().convertToFormat(QImage::Format_RGB32);
            QStringList texts;
            for (const HelpDlg::Line &line : help.lines()) {
                texts << line.text;
                // Drawn where the page image has nothing of its own (one flat colour),
                // inside the window, at a size where it needs no eliding.
                QVERIFY(help.rect().contains(line.rect));
                const QRgb flat = image.pixel(line.rect.topLeft());
                for (int y = line.rect.top(); y <= line.rect.bottom(); ++y)
                    for (int x = line.rect.left(); x <= line.rect.right(); ++x)
                        QVERIFY2(image.pixel(x, y) == flat,
                                 qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
                QFont small(QStringLiteral("DejaVu Sans"));
                small.setPixelSize(9);
                QVERIFY2(QFontMetrics(small).horizontalAdvance(line.text) <= line.rect.width(),
                         qPrintable(line.text));
                // And drawn: the window differs from the image there.
                QVERIFY(shown.copy(line.rect) != image.copy(line.rect));
            }
            if (page == 1) {
                QCOMPARE(texts, firstPage);
                QCOMPARE(help.keyCap(), keyCap);
            } else {
                QCOMPARE(texts.last(), hideLine);
                QCOMPARE(texts.first().contains(QLatin1String("tray")), tray);
                // Without a tray, the way to quit.
                QCOMPARE(texts.first().contains(QLatin1String("(Setting, Quit)")), !tray);
                QVERIFY(help.keyCap().isEmpty());
            }
            QTest::mouseClick(&help, Qt::LeftButton, {}, QPoint(300, 150));
        }
    }

    void helpRightAndMiddleClicksPageToo()
    {
        HelpDlg help;
        help.show();
        QVERIFY(QTest::qWaitForWindowExposed(&help));
        QTest::mouseClick(&help, Qt::RightButton, {}, QPoint(10, 10));
        QCOMPARE(help.currentPage(), 2);
        QTest::mouseClick(&help, Qt::MiddleButton, {}, QPoint(10, 10));
        QVERIFY(!help.isVisible());
        QCOMPARE(help.currentPage(), 1);
    }

    void helpEscapeKeepsPage()
    {
        HelpDlg help;
        help.show();
        QVERIFY(QTest::qWaitForWindowExposed(&help));
        QTest::mouseClick(&help, Qt::LeftButton);
        QCOMPARE(help.currentPage(), 2);
        QTest::keyClick(&help, Qt::Key_Escape);
        QVERIFY(!help.isVisible());
        help.show();
        QVERIFY(QTest::qWaitForWindowExposed(&help));
        QCOMPARE(help.currentPage(), 2);
        QVERIFY(showsImage(&help, ":/images/HELP2", help.drawnAreas()));
    }

    void aboutForm()
    {
        QAboutDlg about(nullptr);
        QCOMPARE(about.size(), QSize(376, 188));
        QVERIFY(about.windowFlags() & Qt::FramelessWindowHint);
        const auto label = [&](const char *name) { return about.findChild<QLabel *>(QLatin1String(name)); };
        QVERIFY(label("labelText")->text().startsWith(QStringLiteral("Thank you for use and support.")));
        QVERIFY(label("labelText")->wordWrap());
        QCOMPARE(label("labelVersion")->text(), QStringLiteral("VERSION: 1.0"));
        // Left of the logo's painted name and of the close button; the texts still fit.
        QCOMPARE(label("labelVersion")->geometry(), QRect(20, 100, 265, 20));
        for (const char *name : {"labelVersion", "labelHome", "labelEmail"})
            QVERIFY2(label(name)->sizeHint().width() <= label(name)->width(), name);
        QCOMPARE(about.windowTitle(), QStringLiteral("About Tolvane"));
        QVERIFY(label("labelHome")->openExternalLinks());
        QVERIFY(label("labelEmail")->openExternalLinks());
        auto close = about.findChild<QPushButton *>(QStringLiteral("btnClose"));
        QVERIFY(close);
        QVERIFY(close->text().isEmpty());
        QCOMPARE(close->focusPolicy(), Qt::NoFocus);
        QCOMPARE(close->geometry(), QRect(295, 145, 72, 33));
        const QString shots = qEnvironmentVariable("TOLVANE_SHOT_DIR");
        if (!shots.isEmpty())
            about.grab().save(shots + QStringLiteral("/about.png"));
    }

    void aboutCloseHidesSameWindow()
    {
        QAboutDlg about(nullptr);
        QPointer<QAboutDlg> guard(&about);
        about.showNormal();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        QTest::mouseClick(about.findChild<QPushButton *>(QStringLiteral("btnClose")), Qt::LeftButton);
        QVERIFY(!about.isVisible());
        QCoreApplication::processEvents();
        QVERIFY(guard);
        about.showNormal();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        QVERIFY(about.findChild<QLabel *>(QStringLiteral("labelVersion")));
    }

    void aboutLinksOpenOnce()
    {
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "open");
        QDesktopServices::setUrlHandler(QStringLiteral("mailto"), &catcher, "open");
        QAboutDlg about(nullptr);
        about.showNormal();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        auto home = about.findChild<QLabel *>(QStringLiteral("labelHome"));
        auto mail = about.findChild<QLabel *>(QStringLiteral("labelEmail"));
        QCOMPARE(home->text().contains(QStringLiteral("Home Page: https://tolvane.example.org/")), true);

        clickLink(home);
        QTRY_COMPARE(catcher.opened.size(), 1);
        QCOMPARE(catcher.opened.at(0), QUrl(QStringLiteral("https://tolvane.example.org/")));

        clickLink(mail);
        QTRY_COMPARE(catcher.opened.size(), 2);
        QCOMPARE(catcher.opened.at(1), QUrl(QStringLiteral("mailto:support@tolvane.example.org")));

        // Nothing opens a second time later on (a queued or doubled open).
        QCoreApplication::processEvents();
        QCOMPARE(catcher.opened.size(), 2);

        // The slots open what they are given, once each.
        about.OpenHomePage(QStringLiteral("https://tolvane.example.org/news"));
        about.OpenEmail(QStringLiteral("mailto:other@tolvane.example.org"));
        QCOMPARE(catcher.opened.size(), 4);
        QCOMPARE(catcher.opened.at(2), QUrl(QStringLiteral("https://tolvane.example.org/news")));

        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));
    }
};

TOLVANE_TEST_MAIN(TestAboutHelp)
#include "tst_aboutdlg.moc"
