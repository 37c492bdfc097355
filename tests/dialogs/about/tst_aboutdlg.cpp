#include "helpdlg.h"
#include "qaboutdlg.h"
#include "testmain.h"

#include <QApplication>
#include <QDesktopServices>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QtTest>

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

// Whether the window shows the given help page image at its top-left corner.
bool showsImage(QWidget *w, const QString &resource)
{
    const QImage expected = QImage(resource).convertToFormat(QImage::Format_ARGB32);
    const QImage shown = w->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    if (expected.isNull() || shown.size() != expected.size())
        return false;
    // Compare a grid of pixels: the two pages differ in their artwork.
    for (int y = 5; y < expected.height(); y += 23) {
        for (int x = 5; x < expected.width(); x += 29) {
            if (qAlpha(expected.pixel(x, y)) == 255 && shown.pixel(x, y) != expected.pixel(x, y))
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
        QCOMPARE(help.windowTitle(), QStringLiteral("Dialog"));
        QCOMPARE(help.size(), QSize(600, 300));
        QVERIFY(help.windowFlags() & Qt::FramelessWindowHint);
        QVERIFY(help.windowFlags() & Qt::WindowStaysOnTopHint);

        help.show();
        QVERIFY(QTest::qWaitForWindowExposed(&help));
        QCOMPARE(help.currentPage(), 1);
        QVERIFY(showsImage(&help, ":/images/HELP1"));

        QTest::mouseClick(&help, Qt::LeftButton, {}, QPoint(300, 150));
        QVERIFY(help.isVisible());
        QCOMPARE(help.currentPage(), 2);
        QVERIFY(showsImage(&help, ":/images/HELP2"));
        QVERIFY(!showsImage(&help, ":/images/HELP1"));

        QTest::mouseClick(&help, Qt::LeftButton, {}, QPoint(300, 150));
        QVERIFY(!help.isVisible());
        QCOMPARE(help.currentPage(), 1);

        help.show();
        QVERIFY(QTest::qWaitForWindowExposed(&help));
        QVERIFY(showsImage(&help, ":/images/HELP1"));
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
        QVERIFY(showsImage(&help, ":/images/HELP2"));
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
        QCOMPARE(label("labelVersion")->geometry(), QRect(20, 100, 300, 20));
        QVERIFY(label("labelHome")->openExternalLinks());
        QVERIFY(label("labelEmail")->openExternalLinks());
        auto close = about.findChild<QPushButton *>(QStringLiteral("btnClose"));
        QVERIFY(close);
        QVERIFY(close->text().isEmpty());
        QCOMPARE(close->focusPolicy(), Qt::NoFocus);
        QCOMPARE(close->geometry(), QRect(295, 145, 72, 33));
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
