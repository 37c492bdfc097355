#include "installedapps.h"
#include "testmain.h"

#include <QDir>
#include <QFile>
#include <QtTest>

// What rows show for an item's path: for a desktop entry, the program and
// arguments it starts, as its Exec line reads, without field codes.
class TestInstalledApps : public QObject
{
    Q_OBJECT

    static QString write(const QString &name, const QByteArray &contents)
    {
        const QString path = TestSandbox::path(QStringLiteral("entries/") + name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return QString();
        file.write(contents);
        return path;
    }

    static QByteArray entry(const QByteArray &lines)
    {
        return "[Desktop Entry]\nType=Application\nName=Some App\n" + lines + "\n";
    }

private slots:
    void desktopEntryShowsWhatItStarts_data()
    {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<QString>("shown");
        QTest::newRow("program and a file list")
            << QByteArray("Exec=gnome-terminal --window %U") << QStringLiteral("gnome-terminal --window");
        QTest::newRow("quoted program, quoted field code")
            << QByteArray("Exec=\"/opt/My App/bin/app\" --new-window \"%f\"")
            << QStringLiteral("\"/opt/My App/bin/app\" --new-window");
        QTest::newRow("escapes inside quotes")
            << QByteArray("Exec=sh -c \"echo \\\\\"hi\\\\\" \\\\$HOME\" %F")
            << QStringLiteral("sh -c \"echo \\\"hi\\\" \\$HOME\"");
        QTest::newRow("codes inside an argument, and a percent sign")
            << QByteArray("Exec=app --icon=%i --name=%c --ratio=50%% %k")
            << QStringLiteral("app --icon= --name= --ratio=50%");
        QTest::newRow("deprecated and every code")
            << QByteArray("Exec=viewer %d %D %n %N %v %m %u %F") << QStringLiteral("viewer");
        QTest::newRow("key file escape for a blank")
            << QByteArray("Exec=\"/opt/with\\sblank/run\"") << QStringLiteral("\"/opt/with blank/run\"");
        QTest::newRow("env and arguments")
            << QByteArray("Exec=env LANG=C xterm -e top") << QStringLiteral("env LANG=C xterm -e top");
        QTest::newRow("a quote left open")
            << QByteArray("Exec=\"/opt/broken app %U") << QStringLiteral("\"/opt/broken app");
        QTest::newRow("D-Bus activated, no Exec") << QByteArray("DBusActivatable=true") << QString();
    }

    void desktopEntryShowsWhatItStarts()
    {
        QFETCH(QByteArray, lines);
        QFETCH(QString, shown);
        const QString path = write(QStringLiteral("org.example.Some.desktop"), entry(lines));
        // A D-Bus activated entry is named by its application id.
        QCOMPARE(InstalledApps::shownPath(path),
                 shown.isEmpty() ? QStringLiteral("org.example.Some") : shown);
    }

    // Everything else shows its path.
    void otherPathsShowThemselves_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("program") << write(QStringLiteral("tool.sh"), "#!/bin/sh\n");
        QTest::newRow("missing entry") << TestSandbox::path(QStringLiteral("entries/gone.desktop"));
        QTest::newRow("entry without Exec") << write(QStringLiteral("noexec.desktop"), entry("Icon=x"));
        QTest::newRow("not a key file") << write(QStringLiteral("junk.desktop"), "\x01\x02 [[[ = ]\n");
        QTest::newRow("Exec of field codes only") << write(QStringLiteral("codes.desktop"), entry("Exec=%U"));
        QTest::newRow("folder named like an entry") << [] {
            const QString dir = TestSandbox::path(QStringLiteral("entries/folder.desktop"));
            QDir().mkpath(dir);
            return dir;
        }();
        QTest::newRow("empty") << QString();
    }

    void otherPathsShowThemselves()
    {
        QFETCH(QString, path);
        QCOMPARE(InstalledApps::shownPath(path), path);
    }

    // Remembered, but a changed entry is read again.
    void changedEntryIsReadAgain()
    {
        const QString path = write(QStringLiteral("changing.desktop"), entry("Exec=first %U"));
        QCOMPARE(InstalledApps::shownPath(path), QStringLiteral("first"));
        write(QStringLiteral("changing.desktop"), entry("Exec=second-program --flag %f"));
        QCOMPARE(InstalledApps::shownPath(path), QStringLiteral("second-program --flag"));
        QVERIFY(QFile::remove(path));
        QCOMPARE(InstalledApps::shownPath(path), path);
    }
};

TOLVANE_TEST_MAIN(TestInstalledApps)
#include "tst_installedapps.moc"
