#include "autostart.h"
#include "programcopy.h"
#include "testmain.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImageReader>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>

// The Debian package a user installs: cpack builds it from the install rules, dpkg -x
// unpacks it into the sandbox, and the copy in there is checked as installed: its
// files, its declared dependencies, its desktop entry and icons, and two starts under
// Xvfb that keep data.db and config.ini in the user's folders and write the installed
// path into the autostart entry, and a start of the command that hands over.
class TestPackage : public QObject
{
    Q_OBJECT

    QString deb;
    QString root; // where the package is unpacked; the installed files are under root/usr

    struct Result
    {
        int code = -1;
        QString out;
    };

    static Result run(const QString &program, const QStringList &args, const QString &dir = QString(),
                      int timeoutMs = 60000)
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        if (!dir.isEmpty())
            p.setWorkingDirectory(dir);
        p.start(program, args);
        if (!p.waitForFinished(timeoutMs)) {
            p.kill();
            p.waitForFinished();
            return {};
        }
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                QString::fromLocal8Bit(p.readAll())};
    }

    QString installed(const QString &relative) const { return root + QStringLiteral("/usr/") + relative; }

    // The program's main window, found the way the other process tests find it
    // (an xdotool that dies of an X error as the splash closes is run again).
    static QStringList visibleMainWindows(qint64 pid) { return X11Windows::visibleMainWindows(pid); }

    // Starts the installed command as a desktop menu would: by its path in bin, from
    // the home folder.
    static QProcess *startInstalled(const QString &command)
    {
        auto *process = new QProcess;
        process->setWorkingDirectory(QDir::homePath());
        process->setProcessChannelMode(QProcess::ForwardedChannels);
        process->start(command, {});
        process->waitForStarted(10000);
        return process;
    }

    static void quit(QProcess *process)
    {
        process->terminate(); // ends the event loop the orderly way, which saves the catalog
        if (!process->waitForFinished(20000)) {
            process->kill();
            process->waitForFinished();
        }
    }

private slots:
    void initTestCase();
    void dependenciesDeclared();
    void fileList();
    void desktopEntryAndIcons();
    void installedCopyKeepsItsFilesWithTheUser();
};

void TestPackage::initTestCase()
{
    const QString build = qEnvironmentVariable("TOLVANE_BUILD_DIR");
    QVERIFY2(QFile::exists(build + QStringLiteral("/CPackConfig.cmake")), "configure the build first");
    const QString out = TestSandbox::path(QStringLiteral("package"));
    const Result made =
        run(QStringLiteral("cpack"), {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("-B"), out},
            build, 600000);
    QVERIFY2(made.code == 0, qPrintable(made.out));
    const QStringList debs = QDir(out).entryList({QStringLiteral("tolvane_*.deb")}, QDir::Files);
    QCOMPARE(debs.size(), 1);
    deb = out + QLatin1Char('/') + debs.first();
    root = TestSandbox::path(QStringLiteral("root"));
    const Result unpacked = run(QStringLiteral("dpkg"), {QStringLiteral("-x"), deb, root});
    QVERIFY2(unpacked.code == 0, qPrintable(unpacked.out));
}

void TestPackage::dependenciesDeclared()
{
    const Result fields =
        run(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), deb, QStringLiteral("Package"),
                                         QStringLiteral("Architecture"), QStringLiteral("Depends")});
    QCOMPARE(fields.code, 0);
    QVERIFY2(fields.out.contains(QStringLiteral("Package: tolvane\n")), qPrintable(fields.out));
    QStringList names;
    for (const QString &item : fields.out.section(QStringLiteral("Depends:"), 1).split(QLatin1Char(',')))
        names << item.trimmed().section(QLatin1Char(' '), 0, 0);
    // What apt must bring onto a fresh machine: the Qt libraries, the plugins Qt loads
    // by itself (SQLite driver, SVG icons, Wayland), GLib, xcb and SQLite.
    for (const char *need :
         {"libqt6core6", "libqt6gui6", "libqt6widgets6", "libqt6sql6", "libqt6network6", "libqt6sql6-sqlite",
          "libqt6svg6", "qt6-wayland", "libglib2.0-0", "libxcb1", "libsqlite3-0"})
        QVERIFY2(names.contains(QLatin1String(need)),
                 qPrintable(need + QStringLiteral(" missing in ") + names.join(',')));
}

void TestPackage::fileList()
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::System | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next().mid(root.size());
    files.sort();
    QStringList expected{
        QStringLiteral("/usr/bin/tolvane"),
        QStringLiteral("/usr/lib/tolvane/config.ini"),
        QStringLiteral("/usr/lib/tolvane/main.ico"),
        QStringLiteral("/usr/lib/tolvane/tolvane"),
        QStringLiteral("/usr/share/applications/org.example.Tolvane.desktop"),
        QStringLiteral("/usr/share/icons/hicolor/scalable/apps/org.example.Tolvane.svg"),
    };
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        expected << QStringLiteral("/usr/share/icons/hicolor/%1x%1/apps/org.example.Tolvane.png").arg(size);
    expected.sort();
    QCOMPARE(files, expected);

    // The command is a small program of its own that loads neither Qt nor GLib (it
    // hands over to the program); both are executable.
    const QFileInfo command(installed(QStringLiteral("bin/tolvane")));
    QVERIFY(!command.isSymLink() && command.isExecutable());
    QVERIFY(QFileInfo(installed(QStringLiteral("lib/tolvane/tolvane"))).isExecutable());
    const Result needed = run(QStringLiteral("readelf"), {QStringLiteral("-d"), command.filePath()});
    QVERIFY2(needed.code == 0 && needed.out.contains(QStringLiteral("(NEEDED)")), qPrintable(needed.out));
    for (const char *library : {"libQt6", "libglib", "libgio", "libxcb", "libwayland"})
        QVERIFY2(!needed.out.contains(QLatin1String(library)), qPrintable(needed.out));
    // The default settings are the project's.
    QFile shipped(installed(QStringLiteral("lib/tolvane/config.ini")));
    QFile source(qEnvironmentVariable("TOLVANE_SOURCE_DIR") + QStringLiteral("/res/config.ini"));
    QVERIFY(shipped.open(QIODevice::ReadOnly) && source.open(QIODevice::ReadOnly));
    QCOMPARE(shipped.readAll(), source.readAll());
}

void TestPackage::desktopEntryAndIcons()
{
    const QString entry = installed(QStringLiteral("share/applications/org.example.Tolvane.desktop"));
    const Result valid = run(QStringLiteral("desktop-file-validate"), {entry});
    QVERIFY2(valid.code == 0 && valid.out.trimmed().isEmpty(), qPrintable(valid.out));
    QSettings desktop(entry, QSettings::IniFormat);
    desktop.beginGroup(QStringLiteral("Desktop Entry"));
    QCOMPARE(desktop.value(QStringLiteral("Type")).toString(), QStringLiteral("Application"));
    QCOMPARE(desktop.value(QStringLiteral("Name")).toString(), QStringLiteral("Tolvane"));
    // Exec names the command the package puts in bin; Icon the theme icon it installs.
    QCOMPARE(desktop.value(QStringLiteral("Exec")).toString(), QStringLiteral("tolvane"));
    QVERIFY(QFileInfo::exists(installed(QStringLiteral("bin/tolvane"))));
    QCOMPARE(desktop.value(QStringLiteral("Icon")).toString(), QStringLiteral("org.example.Tolvane"));

    // Each size's icon has that size; the scalable one draws the same picture.
    QImage icon64;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QImage icon(
            installed(QStringLiteral("share/icons/hicolor/%1x%1/apps/org.example.Tolvane.png").arg(size)));
        QCOMPARE(icon.size(), QSize(size, size));
        if (size == 64)
            icon64 = icon.convertToFormat(QImage::Format_ARGB32);
    }
    QImageReader svg(installed(QStringLiteral("share/icons/hicolor/scalable/apps/org.example.Tolvane.svg")));
    svg.setScaledSize(QSize(64, 64));
    const QImage drawn = svg.read().convertToFormat(QImage::Format_ARGB32);
    QVERIFY2(!drawn.isNull(), qPrintable(svg.errorString()));
    double sum = 0;
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            const QRgb a = drawn.pixel(x, y), b = icon64.pixel(x, y);
            sum += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
                   std::abs(qBlue(a) - qBlue(b)) + std::abs(qAlpha(a) - qAlpha(b));
        }
    }
    QVERIFY2(sum / (64 * 64 * 4) < 6,
             qPrintable(QStringLiteral("SVG and PNG differ by %1").arg(sum / (64 * 64 * 4))));
}

void TestPackage::installedCopyKeepsItsFilesWithTheUser()
{
    const QString command = installed(QStringLiteral("bin/tolvane"));
    const QString appDir = installed(QStringLiteral("lib/tolvane"));
    const QString dataDir =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/tolvane");
    const QString configDir =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/tolvane");
    const QStringList shipped = QDir(appDir).entryList(QDir::Files);

    // First start on a fresh home: the window shows, and config.ini starts as a copy of
    // the shipped one in the user's folder; data.db is there once the program has ended
    // (it saves the catalog on the way out, or sooner after a change).
    QScopedPointer<QProcess> first(startInstalled(command));
    QTRY_COMPARE_WITH_TIMEOUT(visibleMainWindows(first->processId()).size(), 1, 20000);
    // The command became the program.
    QCOMPARE(QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(first->processId())),
             QFileInfo(appDir + QStringLiteral("/tolvane")).canonicalFilePath());
    // Started from the home folder, it still has its window icon (main.ico beside it).
    QVERIFY(
        run(QStringLiteral("xprop"), {QStringLiteral("-id"), visibleMainWindows(first->processId()).value(0),
                                      QStringLiteral("_NET_WM_ICON")})
            .out.startsWith(QStringLiteral("_NET_WM_ICON(CARDINAL) =")));
    QVERIFY(QFileInfo::exists(configDir + QStringLiteral("/config.ini")));
    QCOMPARE(QSettings(configDir + QStringLiteral("/config.ini"), QSettings::IniFormat)
                 .value(QStringLiteral("maxcount"))
                 .toInt(),
             5);
    const QString shotDir = qEnvironmentVariable("TOLVANE_SCREENSHOT_DIR");
    if (!shotDir.isEmpty())
        run(QStringLiteral("import"),
            {QStringLiteral("-window"), QStringLiteral("root"), shotDir + QStringLiteral("/installed.png")});
    quit(first.data());
    QCOMPARE(first->exitStatus(), QProcess::NormalExit);
    QCOMPARE(first->exitCode(), 0);
    QVERIFY(QFileInfo::exists(dataDir + QStringLiteral("/data.db")));
    QVERIFY(!AutoStart::exists());

    // Second start with "start with the system" on (as the settings dialog writes it):
    // the autostart entry starts the installed program.
    QSettings(configDir + QStringLiteral("/config.ini"), QSettings::IniFormat)
        .setValue(QStringLiteral("autorun"), 1);
    QScopedPointer<QProcess> second(startInstalled(command));
    QTRY_COMPARE_WITH_TIMEOUT(visibleMainWindows(second->processId()).size(), 1, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(AutoStart::exists(), 20000);
    QCOMPARE(AutoStart::value().toString(),
             QFileInfo(appDir + QStringLiteral("/tolvane")).canonicalFilePath());
    // The command again, with the window hidden (its close button): it hands over to
    // the running copy, whose window shows, and ends.
    const QString window = visibleMainWindows(second->processId()).value(0);
    X11Windows::xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), window,
                         QStringLiteral("428"), QStringLiteral("12"), QStringLiteral("click"),
                         QStringLiteral("1")});
    QTRY_COMPARE(visibleMainWindows(second->processId()).size(), 0);
    QCOMPARE(run(command, {}, QDir::homePath(), 10000).code, 0);
    QTRY_COMPARE(visibleMainWindows(second->processId()), QStringList{window});
    quit(second.data());

    // Nothing was written beside the program.
    QCOMPARE(QDir(appDir).entryList(QDir::Files), shipped);
}

TOLVANE_TEST_MAIN(TestPackage)

#include "tst_package.moc"
