#include "association.h"
#include "launcher.h"
#include "testmain.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QWidget>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

// Which items start as processes and which open with the desktop's association,
// and that a start that fails says so. Real files in the sandbox: a real ELF
// program, scripts, documents with and without the execute bit; the association
// is a stand-in application that logs what it is given.
class TestLauncher : public QObject
{
    Q_OBJECT

    static QString item(const QString &name) { return TestSandbox::path(QStringLiteral("items/") + name); }

    static QString write(const QString &name, const QByteArray &contents, bool executable)
    {
        const QString path = item(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return QString();
        file.write(contents);
        file.close();
        QFile::Permissions mode = QFile::ReadOwner | QFile::WriteOwner;
        if (executable)
            mode |= QFile::ExeOwner;
        file.setPermissions(mode);
        return path;
    }

    // A script that adds a line to "<its path>.ran" when it runs.
    static QString script(const QString &name, bool executable = true)
    {
        return write(name, "#!/bin/sh\necho ran >> \"$0.ran\"\n", executable);
    }

    // A copy of the marker program (an ELF file) that adds a line to "<its path>.ran".
    static QString program(const QString &name, bool executable = true)
    {
        QFile marker(QStringLiteral(TOLVANE_MARKER_PROGRAM));
        if (!marker.open(QIODevice::ReadOnly))
            return QString();
        return write(name, marker.readAll(), executable);
    }

    static bool ran(const QString &path) { return QFile::exists(path + QStringLiteral(".ran")); }

private slots:
    void initTestCase()
    {
        QVERIFY2(TestAssociation::install(
                     {QStringLiteral("application/pdf"), QStringLiteral("text/plain"),
                      QStringLiteral("application/x-shellscript"), QStringLiteral("application/x-executable"),
                      QStringLiteral("application/x-sharedlib"), QStringLiteral("inode/directory")}),
                 "the MIME database (shared-mime-info) is needed");
    }

    void programsStartAsProcesses_data()
    {
        QTest::addColumn<bool>("elf");
        QTest::newRow("ELF program") << true;
        QTest::newRow("#! script") << false;
    }

    void programsStartAsProcesses()
    {
        QFETCH(bool, elf);
        const QString path = elf ? program(QStringLiteral("prog")) : script(QStringLiteral("prog.sh"));
        const Launcher::Result result = Launcher::start(path);
        QVERIFY2(result.started, qPrintable(result.error));
        QTRY_VERIFY_WITH_TIMEOUT(ran(path), 10000);
        QVERIFY(!TestAssociation::opened().contains(path));
    }

    // Everything else opens with its association, whatever its mode: nothing is
    // executed, and the association gets the file.
    void otherFilesOpenWithTheirAssociation_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("document with the execute bit (FAT stick)")
            << write(QStringLiteral("report.pdf"), "%PDF-1.4\n%\xe2\xe3\xcf\xd3\n", true);
        QTest::newRow("document") << write(QStringLiteral("notes.txt"), "some notes\n", false);
        QTest::newRow("script without #! but with the execute bit")
            << write(QStringLiteral("plain.sh"), "echo ran >> \"$0.ran\"\n", true);
        QTest::newRow("script without the execute bit") << script(QStringLiteral("noexec.sh"), false);
        QTest::newRow("program without the execute bit") << program(QStringLiteral("noexec-prog"), false);
        QTest::newRow("folder") << TestSandbox::path(QStringLiteral("home"));
    }

    void otherFilesOpenWithTheirAssociation()
    {
        QFETCH(QString, path);
        QVERIFY(QFileInfo::exists(path));
        const Launcher::Result result = Launcher::start(path);
        QVERIFY2(result.started, qPrintable(result.error));
        QTRY_VERIFY_WITH_TIMEOUT(TestAssociation::opened().contains(path), 10000);
        QVERIFY(!ran(path));
    }

    // A desktop entry starts its application when it is trusted: installed (in an
    // applications folder), or made executable by its owner, the user; any other
    // entry (one saved from a mail, a shared folder) is refused, and nothing runs.
    void desktopEntryStartsItsApplicationWhenTrusted_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<int>("mode");
        QTest::addColumn<uint>("owner");
        QTest::addColumn<bool>("starts");
        const QString applications = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                                     QStringLiteral("/applications");
        const uint me = ::geteuid();
        QTest::newRow("installed") << applications << 0600 << me << true;
        QTest::newRow("elsewhere, executable")
            << TestSandbox::path(QStringLiteral("items")) << 0700 << me << true;
        QTest::newRow("elsewhere, not executable")
            << TestSandbox::path(QStringLiteral("items")) << 0644 << me << false;
        QTest::newRow("elsewhere, executable, writable by all")
            << TestSandbox::path(QStringLiteral("items")) << 0777 << me << false;
        // Only root can give a file to another user.
        if (me == 0)
            QTest::newRow("elsewhere, executable, another user's")
                << TestSandbox::path(QStringLiteral("items")) << 0755 << 65534u << false;
    }

    void desktopEntryStartsItsApplicationWhenTrusted()
    {
        QFETCH(QString, folder);
        QFETCH(int, mode);
        QFETCH(uint, owner);
        QFETCH(bool, starts);
        const QString target = program(QStringLiteral("entry-prog-") + QTest::currentDataTag());
        const QString entry = folder + QStringLiteral("/tolvane-test-app.desktop");
        QDir().mkpath(folder);
        QFile file(entry);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("[Desktop Entry]\nType=Application\nName=App\nExec=\"" + QFile::encodeName(target) +
                   "\" %U\n");
        file.close();
        QCOMPARE(::chmod(QFile::encodeName(entry).constData(), mode_t(mode)), 0);
        QCOMPARE(::chown(QFile::encodeName(entry).constData(), owner, gid_t(-1)), 0);

        const Launcher::Result result = Launcher::start(entry);
        QCOMPARE(result.started, starts);
        if (starts)
            QTRY_VERIFY_WITH_TIMEOUT(ran(target), 10000);
        else
            QVERIFY(result.error.contains(QLatin1String("not installed")));
        QFile::remove(entry);
    }

    // Every kind of start hands the started program the desktop's proof of the
    // user's request, so that its window may take the keyboard: on X11 a startup
    // id holding the server time; where there is none (offscreen) nothing.
    void launchesCarryTheDesktopsToken_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("logged");
        const QByteArray log =
            "#!/bin/sh\necho \"$DESKTOP_STARTUP_ID|$XDG_ACTIVATION_TOKEN\" >> \"$0.env\"\n";
        const QString direct = write(QStringLiteral("env.sh"), log, true);
        QTest::newRow("program") << direct << direct;
        for (const char *notify : {"true", "false"}) {
            const QString target = write(QStringLiteral("env-%1.sh").arg(QLatin1String(notify)), log, true);
            const QString entry =
                write(QStringLiteral("env-%1.desktop").arg(QLatin1String(notify)),
                      "[Desktop Entry]\nType=Application\nName=Env\nStartupNotify=" + QByteArray(notify) +
                          "\nExec=\"" + QFile::encodeName(target) + "\"\n",
                      true); // made executable by its owner: trusted
            QTest::newRow(qPrintable(QStringLiteral("desktop entry, StartupNotify=") + QLatin1String(notify)))
                << entry << target;
        }
    }

    void launchesCarryTheDesktopsToken()
    {
        QFETCH(QString, path);
        QFETCH(QString, logged);
        // The window the user typed in, as when Return launches.
        QWidget window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.activateWindow();
        QFile::remove(logged + QStringLiteral(".env"));
        const Launcher::Result result = Launcher::start(path);
        QVERIFY2(result.started, qPrintable(result.error));
        // The whole line: the file exists before the script has written it.
        const auto written = [&logged] {
            QFile env(logged + QStringLiteral(".env"));
            return env.open(QIODevice::ReadOnly) ? QString::fromUtf8(env.readAll()) : QString();
        };
        QTRY_VERIFY_WITH_TIMEOUT(written().endsWith(QLatin1Char('\n')), 10000);
        const QString line = written().trimmed();
        if (QGuiApplication::platformName() == QLatin1String("xcb"))
            QVERIFY2(QRegularExpression(QStringLiteral("^[\\w-]+-\\d+-\\d+-.+_TIME[1-9]\\d*\\|$"))
                         .match(line)
                         .hasMatch(),
                     qPrintable(line));
        else
            QCOMPARE(line, QStringLiteral("|"));
    }

    // A start that cannot happen says so, with the system's reason.
    void failuresAreReported_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("missing interpreter")
            << write(QStringLiteral("broken.sh"), "#!/nonexistent/sh\n", true);
        QTest::newRow("no association (image)")
            << write(QStringLiteral("picture.png"), QByteArray::fromHex("89504e470d0a1a0a"), false);
        QTest::newRow("desktop entry with a missing program")
            << write(QStringLiteral("gone.desktop"),
                     "[Desktop Entry]\nType=Application\nName=Gone\nExec=/nonexistent/program\n", true);
        QTest::newRow("broken desktop entry")
            << write(QStringLiteral("junk.desktop"), "not a key file\n", true);
        QTest::newRow("missing file") << item(QStringLiteral("nothing-here"));
    }

    void failuresAreReported()
    {
        QFETCH(QString, path);
        const Launcher::Result result = Launcher::start(path);
        QVERIFY(!result.started);
        QVERIFY(!result.error.isEmpty());
        QVERIFY(!TestAssociation::opened().contains(path));
    }

    // The reason names what is missing.
    void reasonsSayWhatIsWrong()
    {
        QCOMPARE(Launcher::start(write(QStringLiteral("noshell.sh"), "#!/nonexistent/sh -e\n", true)).error,
                 QStringLiteral("its interpreter /nonexistent/sh does not exist"));
        QCOMPARE(Launcher::start(
                     write(QStringLiteral("picture2.png"), QByteArray::fromHex("89504e470d0a1a0a"), false))
                     .error,
                 QStringLiteral("No application is registered as handling this file"));
    }
};

TOLVANE_TEST_MAIN(TestLauncher)
#include "tst_launcher.moc"
