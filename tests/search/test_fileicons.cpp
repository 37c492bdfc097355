#include "fileicons.h"
#include "testicontheme.h"
#include "testmain.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QtTest>

namespace {

QString writeFile(const QString &name, const QByteArray &contents)
{
    const QString path = TestSandbox::path(QStringLiteral("files/") + name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return QString();
    file.write(contents);
    return path;
}

QByteArray entry(const QByteArray &iconLine, const QByteArray &more = QByteArray())
{
    return "[Desktop Entry]\nType=Application\nName=Test\nExec=true\n" + iconLine + "\n" + more;
}

QColor providerColour(const QString &path)
{
    return TestIconTheme::centreColour(QFileIconProvider().icon(QFileInfo(path)));
}

QColor iconColour(const QString &path)
{
    return TestIconTheme::centreColour(FileIcons::icon(QFileInfo(path)));
}

const QColor Magenta(200, 0, 200);
const QColor Cyan(0, 170, 170);

} // namespace

class TestFileIcons : public QObject
{
    Q_OBJECT

    TestIconTheme::RealWorldIcons realWorld;

    // The icon's picture at 32 px (or `scale` times that in device pixels).
    static QImage picture(const QIcon &icon, qreal scale = 1)
    {
        return icon.pixmap(QSize(32, 32), scale).toImage().convertToFormat(QImage::Format_ARGB32);
    }

private slots:
    void initTestCase()
    {
        TestIconTheme::install();
        realWorld = TestIconTheme::RealWorldIcons::install();
    }

    // What the row tests do not show: an icon named with its file's extension is
    // found all the same, and one that exists but gives no picture (here an SVG
    // that is not one; also an SVG without Qt's SVG engine) gets the generic icon.
    // The installed-shaped icons themselves are compared in test_rowpainting.
    void applicationIconsFollowTheIconLookup_data()
    {
        QTest::addColumn<QString>("icon");
        QTest::addColumn<QString>("expected"); // the file drawn; empty: the generic icon
        QTest::newRow("SVG named with its extension")
            << realWorld.svg + QStringLiteral(".svg") << realWorld.svgFile;
        QTest::newRow("SVG that is no picture") << realWorld.broken << QString();
    }

    void applicationIconsFollowTheIconLookup()
    {
        QFETCH(QString, icon);
        QFETCH(QString, expected);
        const QString path =
            writeFile(QStringLiteral("%1.desktop").arg(QTest::currentDataTag()).replace(' ', '-'),
                      entry("Icon=" + icon.toUtf8()));
        const QIcon shown = FileIcons::icon(QFileInfo(path));
        const QIcon wanted = expected.isEmpty() ? QFileIconProvider().icon(QFileInfo(path)) : QIcon(expected);
        const QImage got = picture(shown);
        QVERIFY(!got.isNull());
        QVERIFY2(TestIconTheme::largestDifference(got, picture(wanted)) <= 8,
                 qPrintable(QStringLiteral("differs from %1").arg(expected)));
        if (!expected.isEmpty())
            QVERIFY(TestIconTheme::largestDifference(got,
                                                     picture(QFileIconProvider().icon(QFileInfo(path)))) > 8);
    }

    // The session's theme comes first; what it lacks comes from hicolor, which it
    // need not inherit.
    void sessionThemeFirstThenHicolor()
    {
        const QString before = QIcon::themeName();
        const QString themed =
            writeFile(QStringLiteral("themed.desktop"), entry("Icon=" + realWorld.themed.toUtf8()));
        const QString svg = writeFile(QStringLiteral("svg.desktop"), entry("Icon=" + realWorld.svg.toUtf8()));
        QIcon::setThemeName(QStringLiteral("tolvanesession"));
        const QImage sessionPicture = picture(FileIcons::icon(QFileInfo(themed)));
        const QImage svgPicture = picture(FileIcons::icon(QFileInfo(svg)));
        QIcon::setThemeName(before);
        QVERIFY(TestIconTheme::largestDifference(sessionPicture, picture(QIcon(realWorld.themedFile))) <= 8);
        QVERIFY(TestIconTheme::largestDifference(svgPicture, picture(QIcon(realWorld.svgFile))) <= 8);
        // The test theme lacks that icon: hicolor's own picture.
        QVERIFY(TestIconTheme::largestDifference(picture(FileIcons::icon(QFileInfo(themed))),
                                                 picture(QIcon(realWorld.themedHicolor))) <= 8);
    }

    void desktopEntryShowsItsApplicationsIcon_data()
    {
        QTest::addColumn<QByteArray>("iconLine");
        QTest::newRow("theme name") << QByteArray("Icon=tolvane-test-app");
        QTest::newRow("name with extension") << QByteArray("Icon=tolvane-test-app.png");
        QTest::newRow("blanks around") << QByteArray("Icon = tolvane-test-app  ");
    }

    void desktopEntryShowsItsApplicationsIcon()
    {
        QFETCH(QByteArray, iconLine);
        const QString path = writeFile(QStringLiteral("app.desktop"), entry(iconLine));
        QCOMPARE(iconColour(path), Magenta);
        // Without the exception the entry would show the provider's icon for a file.
        QCOMPARE(providerColour(path), Cyan);
    }

    void desktopEntryWithAnAbsoluteIconPath()
    {
        QImage image(24, 24, QImage::Format_ARGB32);
        image.fill(QColor(250, 140, 0));
        const QString png = TestSandbox::path(QStringLiteral("files/orange.png"));
        QDir().mkpath(QFileInfo(png).absolutePath());
        QVERIFY(image.save(png));
        const QString path = writeFile(QStringLiteral("abs.desktop"), entry("Icon=" + png.toUtf8()));
        QCOMPARE(iconColour(path), QColor(250, 140, 0));
    }

    // An entry whose program is missing still shows its icon: the key is read from
    // the file, not from what the desktop would list.
    void desktopEntryWithMissingTryExec()
    {
        const QString path = writeFile(QStringLiteral("tryexec.desktop"),
                                       entry("Icon=tolvane-test-app", "TryExec=/nonexistent/program\n"));
        QCOMPARE(iconColour(path), Magenta);
    }

    void desktopEntryWithoutUsableIconFallsBackToTheProvider_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::newRow("no icon key") << entry("");
        QTest::newRow("empty icon key") << entry("Icon=");
        QTest::newRow("unknown theme icon") << entry("Icon=no-such-icon-anywhere");
        QTest::newRow("missing file") << entry("Icon=/nonexistent/icon.png");
        QTest::newRow("icon is not an image") << entry("Icon=/etc/hostname");
        QTest::newRow("not a key file") << QByteArray("\x00\x01\x02 garbage [[[ = \n\xff\xfe", 16);
        QTest::newRow("empty file") << QByteArray();
        QTest::newRow("huge line") << entry("Icon=" + QByteArray(200000, 'x'));
    }

    void desktopEntryWithoutUsableIconFallsBackToTheProvider()
    {
        QFETCH(QByteArray, contents);
        const QString path = writeFile(QStringLiteral("fallback.desktop"), contents);
        QCOMPARE(iconColour(path), providerColour(path));
        QVERIFY(iconColour(path).isValid());
    }

    void otherFilesGetTheProvidersIcon()
    {
        const QString text = writeFile(QStringLiteral("readme.txt"), "hello");
        QCOMPARE(iconColour(text), Cyan);
        QCOMPARE(providerColour(text), Cyan);

        const QString gone = TestSandbox::path(QStringLiteral("files/gone/readme.txt"));
        QVERIFY(!QFile::exists(gone));
        QCOMPARE(iconColour(gone), providerColour(gone));

        // A desktop entry that no longer exists is just a missing file.
        const QString goneEntry = TestSandbox::path(QStringLiteral("files/gone/app.desktop"));
        QCOMPARE(iconColour(goneEntry), providerColour(goneEntry));

        const QString dir = TestSandbox::path(QStringLiteral("files"));
        QCOMPARE(FileIcons::icon(QFileInfo(dir)).isNull(), QFileIconProvider().icon(QFileInfo(dir)).isNull());
        QCOMPARE(FileIcons::icon(QFileInfo(QString())).isNull(),
                 QFileIconProvider().icon(QFileInfo(QString())).isNull());
    }

    // Icons are remembered per file, but a change to the file is seen at once.
    void changedEntryIsReadAgain()
    {
        const QString path = writeFile(QStringLiteral("changing.desktop"), entry("Icon=tolvane-test-app"));
        QCOMPARE(iconColour(path), Magenta);
        writeFile(QStringLiteral("changing.desktop"), entry("Icon=text-plain"));
        QCOMPARE(iconColour(path), QColor(220, 0, 0));
        QVERIFY(QFile::remove(path));
        QCOMPARE(iconColour(path), providerColour(path));
        writeFile(QStringLiteral("changing.desktop"), entry("Icon=tolvane-test-app"));
        QCOMPARE(iconColour(path), Magenta);
    }
};

TOLVANE_TEST_MAIN(TestFileIcons)
#include "test_fileicons.moc"
