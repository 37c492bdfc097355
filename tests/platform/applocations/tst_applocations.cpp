#include "applocations.h"
#include "testmain.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>

// Where the program keeps data.db and config.ini: beside a writable executable
// (build tree, portable copy), in the user's folders for an installed copy, which is
// a read-only folder (also for root, who may write anywhere) or the layout the
// install rules make.
class TestAppLocations : public QObject
{
    Q_OBJECT

    static QString binDir() { return TestSandbox::path(QStringLiteral("bin")); }

    static void writeShippedConfig(const QString &dir)
    {
        QFile::remove(dir + QStringLiteral("/config.ini"));
        QSettings shipped(dir + QStringLiteral("/config.ini"), QSettings::IniFormat);
        shipped.setValue(QStringLiteral("maxcount"), 7);
    }

    static QString userConfig()
    {
        return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) +
               QStringLiteral("/config.ini");
    }

    // How <prefix>/bin/tolvane is laid out.
    enum class Command { None, Link, SmallProgram };

    // Runs this test executable as <prefix>/lib/tolvane/tolvane, with the function
    // `childTest` (which checks the locations from inside); returns its exit code.
    static int runLaidOut(const QString &prefix, Command kind, const QString &childTest)
    {
        const QString lib = prefix + QStringLiteral("/lib/tolvane");
        QDir().mkpath(lib);
        QDir().mkpath(prefix + QStringLiteral("/bin"));
        const QString executable = lib + QStringLiteral("/tolvane");
        QFile::remove(executable);
        if (!QFile::copy(QCoreApplication::applicationFilePath(), executable))
            return -2;
        writeShippedConfig(lib);
        const QString command = prefix + QStringLiteral("/bin/tolvane");
        QFile::remove(command);
        const bool linkCommand = kind == Command::Link;
        if (linkCommand)
            QFile::link(QStringLiteral("../lib/tolvane/tolvane"), command);
        // The command that hands over to the program: an executable file of its own.
        if (kind == Command::SmallProgram &&
            !QFile::copy(TestSandbox::buildBinDir() + QStringLiteral("/tolvane-summon"), command))
            return -3;
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        // Started through the link when there is one, as the menu starts it.
        child.start(linkCommand ? command : executable, {childTest});
        if (!child.waitForFinished(60000))
            return -1;
        return child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
    }

    static bool inChild()
    {
        return QFileInfo(QCoreApplication::applicationFilePath()).fileName() == "tolvane";
    }

private slots:
    void cleanup()
    {
        QFile::setPermissions(binDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                            QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                            QFile::ExeOther);
        QFile::remove(userConfig());
    }

    void writableFolderKeepsTheFilesBesideTheProgram()
    {
        if (inChild())
            QSKIP("run by the parent");
        QCOMPARE(AppLocations::applicationDir(), binDir());
        QCOMPARE(AppLocations::dataDir(), binDir());
        QCOMPARE(AppLocations::configFile(), binDir() + QStringLiteral("/config.ini"));
    }

    void readOnlyFolderSendsTheFilesToTheUser()
    {
        if (inChild())
            QSKIP("run by the parent");
        writeShippedConfig(binDir());
        // r-x for everybody: the owner made the folder read-only. Root could still write
        // into it; the program must not.
        QVERIFY(QFile::setPermissions(binDir(), QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup |
                                                    QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther));
        const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        QCOMPARE(AppLocations::dataDir(), data);
        QVERIFY(QFileInfo(data).isDir());
        QCOMPARE(AppLocations::configFile(), userConfig());
        // The user's file starts as a copy of the shipped one, readable by the user only.
        QCOMPARE(QSettings(userConfig(), QSettings::IniFormat).value(QStringLiteral("maxcount")).toInt(), 7);
        const QFileDevice::Permissions everybody(0x7077); // owner, group, others
        QCOMPARE(QFile::permissions(userConfig()) & everybody, QFile::ReadOwner | QFile::WriteOwner);
        // Later starts keep what the user changed.
        QSettings(userConfig(), QSettings::IniFormat).setValue(QStringLiteral("maxcount"), 3);
        QCOMPARE(AppLocations::configFile(), userConfig());
        QCOMPARE(QSettings(userConfig(), QSettings::IniFormat).value(QStringLiteral("maxcount")).toInt(), 3);
        QVERIFY(!QFile::exists(binDir() + QStringLiteral("/data.db")));
    }

    void unwritableConfigFolderReadsTheShippedDefaults()
    {
        if (inChild())
            QSKIP("run by the parent");
        writeShippedConfig(binDir());
        QVERIFY(QFile::setPermissions(binDir(), QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup |
                                                    QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther));
        // A config folder below a plain file cannot be made, whoever asks.
        const QByteArray home = qgetenv("XDG_CONFIG_HOME");
        const QString blocker = TestSandbox::path(QStringLiteral("not-a-folder"));
        QFile file(blocker);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(blocker + QStringLiteral("/config")));
        const QString config = AppLocations::configFile();
        qputenv("XDG_CONFIG_HOME", home);
        // The settings are the shipped ones, not none at all (an empty hotkey, a list of 0).
        QCOMPARE(config, binDir() + QStringLiteral("/config.ini"));
        QCOMPARE(QSettings(config, QSettings::IniFormat).value(QStringLiteral("maxcount")).toInt(), 7);
    }

    void installedLayoutSendsTheFilesToTheUser()
    {
        if (inChild())
            QSKIP("run by the parent");
        // <prefix>/lib/tolvane/tolvane with <prefix>/bin/tolvane linking to it, in a
        // folder everybody (and surely root) may write to.
        QCOMPARE(runLaidOut(TestSandbox::path(QStringLiteral("usr")), Command::Link, "childSeesUserFolders"),
                 0);
        // The command as the install lays it out now: the small program in bin.
        QCOMPARE(runLaidOut(TestSandbox::path(QStringLiteral("usr2")), Command::SmallProgram,
                            "childSeesUserFolders"),
                 0);
        // The same folder without the command is a portable copy.
        QCOMPARE(
            runLaidOut(TestSandbox::path(QStringLiteral("other")), Command::None, "childSeesItsOwnFolder"),
            0);
    }

    // Run only in a laid-out copy (see runLaidOut).
    void childSeesUserFolders()
    {
        if (!inChild())
            QSKIP("run in a laid-out copy");
        QVERIFY(QFileInfo(AppLocations::applicationDir()).isWritable());
        QCOMPARE(AppLocations::dataDir(), QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
        QCOMPARE(AppLocations::configFile(), userConfig());
        QCOMPARE(QSettings(userConfig(), QSettings::IniFormat).value(QStringLiteral("maxcount")).toInt(), 7);
        // The command a desktop binds is the one in bin.
        QCOMPARE(AppLocations::command(),
                 QDir::cleanPath(AppLocations::applicationDir() + QStringLiteral("/../../bin/tolvane")));
    }

    void childSeesItsOwnFolder()
    {
        if (!inChild())
            QSKIP("run in a laid-out copy");
        QCOMPARE(AppLocations::dataDir(), AppLocations::applicationDir());
        QCOMPARE(AppLocations::configFile(), AppLocations::applicationDir() + QStringLiteral("/config.ini"));
        QCOMPARE(AppLocations::command(), QCoreApplication::applicationFilePath());
    }
};

TOLVANE_TEST_MAIN(TestAppLocations)

#include "tst_applocations.moc"
