#include "autostart.h"
#include "testmain.h"

#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>

// The XDG autostart entry behind the "start with the system" switch.
class TestAutoStart : public QObject
{
    Q_OBJECT

    QString entry() const
    {
        return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
               QStringLiteral("/autostart/tolvane.desktop");
    }

    QString readEntry() const
    {
        QFile file(entry());
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

private slots:
    void init() { QFile::remove(entry()); }

    void entryLivesInTheSandboxConfigHome() { QVERIFY(entry().startsWith(TestSandbox::root())); }

    void noEntryMeansNoValue()
    {
        QVERIFY(!AutoStart::exists());
        QVERIFY(!AutoStart::value().isValid());
    }

    void pathsRoundTripThroughTheExecLine_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("plain") << QStringLiteral("/opt/tolvane/tolvane");
        QTest::newRow("blanks") << QStringLiteral("/home/me/My Programs/tolvane");
        QTest::newRow("quotes and dollar") << QStringLiteral("/tmp/a\"b$HOME`x`/tolvane");
        QTest::newRow("backslash and percent") << QStringLiteral("/tmp/back\\slash 100%/tolvane");
        QTest::newRow("non-ascii") << QStringLiteral("/home/zoë/Программы/tolvane");
        // A folder name cannot add a line (a second Exec, a group) to the entry.
        QTest::newRow("newline") << QStringLiteral(
            "/tmp/x\nExec=/bin/touch /tmp/owned\n[Desktop Entry]/tolvane");
        QTest::newRow("carriage return and tab") << QStringLiteral("/tmp/a\rExec=/bin/false\tb/tolvane");
    }

    void pathsRoundTripThroughTheExecLine()
    {
        QFETCH(QString, path);
        AutoStart::setValue(path);
        QVERIFY(AutoStart::exists());
        QCOMPARE(AutoStart::value().toString(), path);
        const QString text = readEntry();
        QVERIFY(text.startsWith(QLatin1String("[Desktop Entry]\n")));
        QVERIFY(text.contains(QLatin1String("\nType=Application\n")));
        QVERIFY(!text.contains(QLatin1String("Hidden=true")));
        // One Exec line, one group.
        for (const QString &start : {QStringLiteral("^Exec="), QStringLiteral("^\\[")})
            QCOMPARE(text.count(QRegularExpression(start, QRegularExpression::MultilineOption)), 1);
    }

    void escapingFollowsTheDesktopEntryRules()
    {
        AutoStart::setValue(QStringLiteral("/a b/c\"d\\e%f"));
        // Inside the quotes '"' and '\' take a backslash; then every backslash is
        // doubled and '%' becomes '%%'.
        QVERIFY2(readEntry().contains(QLatin1String("Exec=\"/a b/c\\\\\"d\\\\\\\\e%%f\"\n")),
                 qPrintable(readEntry()));
    }

    void emptyValueKeepsTheEntryButDisablesIt()
    {
        AutoStart::setValue(QStringLiteral("/opt/tolvane/tolvane"));
        AutoStart::setValue(QString());
        QVERIFY(AutoStart::exists());
        QCOMPARE(AutoStart::value().toString(), QString());
        QVERIFY(AutoStart::value().isValid());
        const QString text = readEntry();
        QCOMPARE(text.count(QLatin1String("Hidden=true")), 1);
        QVERIFY(text.contains(QLatin1String("Exec=\"/opt/tolvane/tolvane\"")));

        // Disabling twice leaves one Hidden line; enabling again rewrites the entry.
        AutoStart::setValue(QString());
        QCOMPARE(readEntry().count(QLatin1String("Hidden=true")), 1);
        AutoStart::setValue(QStringLiteral("/usr/bin/tolvane"));
        QCOMPARE(AutoStart::value().toString(), QStringLiteral("/usr/bin/tolvane"));
    }

    void emptyValueWithoutEntryWritesNothing()
    {
        AutoStart::setValue(QString());
        QVERIFY(!AutoStart::exists());
    }

    void entryWrittenByHandIsRead()
    {
        QFile file(entry());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(
            "# comment\n[Desktop Entry]\nName=Tolvane\nExec=/usr/bin/tolvane --flag\n\n[Desktop Action x]\n"
            "Exec=/other\n");
        file.close();
        QCOMPARE(AutoStart::value().toString(), QStringLiteral("/usr/bin/tolvane"));
        AutoStart::setValue(QString());
        const QString text = readEntry();
        // Hidden goes into the main group, the rest of the file stays.
        const int group =
            text.indexOf(QLatin1String("[Desktop Entry]\nName=Tolvane\nExec=/usr/bin/tolvane --flag\n"));
        const int hidden = text.indexOf(QLatin1String("\nHidden=true\n"));
        const int action = text.indexOf(QLatin1String("[Desktop Action x]\nExec=/other"));
        QVERIFY2(text.startsWith(QLatin1String("# comment\n")) && group > 0 && group < hidden &&
                     hidden < action,
                 qPrintable(text));
        QCOMPARE(AutoStart::value().toString(), QString());
    }
};

TOLVANE_TEST_MAIN(TestAutoStart)
#include "tst_autostart.moc"
