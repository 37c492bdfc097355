#include "catalogfixture.h"
#include "fakeportal.h"
#include "programcopy.h"
#include "testmain.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <csignal>
#include <memory>

// The whole program on a real Wayland compositor (headless sway), as a user meets
// it: the window shows focused with nothing before it, typing shows the result
// list under the box, Return starts the item and the launch is learned, Escape
// hides, the key that sway binds to the program brings the window back with the
// keyboard, and the desktop portal's shortcut shows it; a missing or refusing
// portal leaves a hint, never a box. Keys through wtype, pictures through grim.
//
// As root, sway runs in a user namespace, and so do the programs it starts: both
// copies of the program (the first and the second start) are started by sway, so
// that they run as the same user.
class TestWayland : public QObject
{
    Q_OBJECT

    QString marker;
    std::unique_ptr<PrivateBus> bus;

    static QString run(const QString &program, const QStringList &args)
    {
        QProcess p;
        p.start(program, args);
        p.waitForFinished(20000);
        return QString::fromLocal8Bit(p.readAllStandardOutput());
    }

    static void swaymsg(const QString &command) { run(QStringLiteral("swaymsg"), {command}); }

    // Presses keys through a virtual keyboard. Qt misses the first key of a new
    // keyboard unless wtype waits for the keymap; the keyboard goes away (and the
    // window loses the focus) when wtype ends, so `hold` keeps it a while.
    static QProcess *wtype(const QStringList &keys, int holdMs = 0)
    {
        auto p = new QProcess;
        QStringList args{QStringLiteral("-s"), QStringLiteral("150")};
        args << keys;
        if (holdMs > 0)
            args << QStringLiteral("-s") << QString::number(holdMs);
        QObject::connect(p, &QProcess::finished, p, &QObject::deleteLater);
        p->start(QStringLiteral("wtype"), args);
        return p;
    }

    static void wtypeAndWait(const QStringList &keys)
    {
        QProcess p;
        QStringList args{QStringLiteral("-s"), QStringLiteral("150")};
        p.start(QStringLiteral("wtype"), args + keys);
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitCode(), 0);
    }

    static void pressBoundKey()
    {
        wtypeAndWait({QStringLiteral("-M"), QStringLiteral("ctrl"), QStringLiteral("-M"),
                      QStringLiteral("alt"), QStringLiteral("-k"), QStringLiteral("q"), QStringLiteral("-m"),
                      QStringLiteral("alt"), QStringLiteral("-m"), QStringLiteral("ctrl")});
    }

    // The views (windows) that sway shows, with the process that owns each.
    static QList<QJsonObject> views()
    {
        QList<QJsonObject> found;
        const QJsonObject root = QJsonDocument::fromJson(run(QStringLiteral("swaymsg"),
                                                             {QStringLiteral("-r"), QStringLiteral("-t"),
                                                              QStringLiteral("get_tree")})
                                                             .toUtf8())
                                     .object();
        QList<QJsonObject> stack{root};
        while (!stack.isEmpty()) {
            const QJsonObject node = stack.takeLast();
            if (node.contains(QStringLiteral("pid")))
                found << node;
            for (const char *key : {"nodes", "floating_nodes"})
                for (const QJsonValue &child : node.value(QLatin1String(key)).toArray())
                    stack << child.toObject();
        }
        return found;
    }

    static QJsonObject mainWindow()
    {
        for (const QJsonObject &view : views()) {
            if (view.value(QStringLiteral("app_id")).toString() == QLatin1String("org.example.Tolvane") &&
                view.value(QStringLiteral("name")).toString() == QLatin1String("Tolvane"))
                return view;
        }
        return QJsonObject();
    }

    static bool mainWindowFocused() { return mainWindow().value(QStringLiteral("focused")).toBool(); }

    static QRect rectOf(const QJsonObject &view)
    {
        const QJsonObject r = view.value(QStringLiteral("rect")).toObject();
        return QRect(r.value(QStringLiteral("x")).toInt(), r.value(QStringLiteral("y")).toInt(),
                     r.value(QStringLiteral("width")).toInt(), r.value(QStringLiteral("height")).toInt());
    }

    // A picture of the whole output; kept when TOLVANE_SCREENSHOT_DIR names a folder.
    static QImage screenshot(const QString &name)
    {
        const QString file = TestSandbox::path(name + QStringLiteral(".png"));
        QFile::remove(file);
        run(QStringLiteral("grim"), {file});
        const QString dir = qEnvironmentVariable("TOLVANE_SCREENSHOT_DIR");
        if (!dir.isEmpty()) {
            QFile::remove(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
            QFile::copy(file, dir + QLatin1Char('/') + name + QStringLiteral(".png"));
        }
        return QImage(file);
    }

    // The share of pixels that differ between two pictures inside `area`.
    static double changed(const QImage &a, const QImage &b, const QRect &area)
    {
        if (a.isNull() || b.isNull())
            return 0;
        int differ = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                differ += a.pixel(x, y) != b.pixel(x, y);
        return double(differ) / (area.width() * area.height());
    }

    // The list is under the box and has not changed for longer than its fade
    // (1 s): the picture shows what the user reads.
    struct Settling
    {
        QImage last;
        QElapsedTimer unchanged;
    };
    static bool listShown(const QImage &before, const QRect &rows, const QString &name, Settling &state)
    {
        const QImage shot = screenshot(name);
        if (state.last.isNull() || changed(state.last, shot, rows) > 0)
            state.unchanged.start();
        state.last = shot;
        return state.unchanged.elapsed() > 1200 && changed(before, shot, rows) > 0.3;
    }

    // Pixels of the hint's colour (a hotkey not in force) on the hotkey line.
    static int hintPixels(const QImage &shot, const QRect &window)
    {
        int count = 0;
        const QRect line = QRect(window.topLeft() + QPoint(20, 98), QSize(370, 20)).intersected(shot.rect());
        for (int y = line.top(); y <= line.bottom(); ++y)
            for (int x = line.left(); x <= line.right(); ++x) {
                const QColor c = shot.pixelColor(x, y);
                count += c.red() > 180 && c.green() > 110 && c.green() < 190 && c.blue() < 130;
            }
        return count;
    }

    // A script that starts the copy through `command` (a file of its folder) with the
    // sandbox's environment; sway runs it.
    static QString launcher(const ProgramCopy &copy, const QString &busAddress,
                            const QString &command = QStringLiteral("tolvane"))
    {
        const QString script = copy.dir() + QStringLiteral("/launch-%1.sh").arg(command);
        QFile file(script);
        if (!file.open(QIODevice::WriteOnly))
            return QString();
        QByteArray text = "#!/bin/sh\ncd '" + QFile::encodeName(copy.dir()) + "' || exit 1\n";
        for (const char *name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME",
                                 "XDG_RUNTIME_DIR", "XDG_DATA_DIRS", "XDG_CONFIG_DIRS",
                                 "TOLVANE_REGISTRY_DIR", "TMPDIR", "WAYLAND_DISPLAY", "LANG", "LC_ALL"})
            text += "export " + QByteArray(name) + "='" + qgetenv(name) + "'\n";
        text += "export QT_QPA_PLATFORM=wayland DBUS_SESSION_BUS_ADDRESS='" + busAddress.toUtf8() + "'\n";
        text += "exec ./" + QFile::encodeName(command) + "\n";
        file.write(text);
        file.close();
        QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return script;
    }

    static qint64 pidOf(const QJsonObject &view) { return view.value(QStringLiteral("pid")).toInteger(); }

    static bool running(qint64 pid) { return pid > 0 && ::kill(pid_t(pid), 0) == 0; }

    // Starts the copy through sway with the bound key set; its window's pid. The key
    // runs the small command users bind, as installed (bin/tolvane).
    void startThroughSway(const ProgramCopy &copy, const QString &busAddress, qint64 &pid)
    {
        const QString script = launcher(copy, busAddress);
        swaymsg(QStringLiteral("bindsym Ctrl+Alt+q exec ") +
                launcher(copy, busAddress, QStringLiteral("tolvane-summon")));
        swaymsg(QStringLiteral("exec ") + script);
        QTRY_VERIFY_WITH_TIMEOUT(!mainWindow().isEmpty(), 20000);
        pid = pidOf(mainWindow());
    }

    static void endOrderly(qint64 pid)
    {
        ::kill(pid_t(pid), SIGTERM);
        QTRY_VERIFY_WITH_TIMEOUT(!running(pid), 20000);
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(QFile::exists(TestSandbox::buildBinDir() + QStringLiteral("/tolvane")),
                 "build tolvane first");
        QVERIFY2(!qEnvironmentVariableIsEmpty("SWAYSOCK"), "run under tests/support/run-sway.sh");
        bus = std::make_unique<PrivateBus>();
        QVERIFY2(bus->isRunning(), "dbus-daemon did not start");
        CatalogFixture::resetSandbox();
        marker = ProgramCopy::writeMarkerApp(QStringLiteral("Markerapp"),
                                             TestSandbox::path(QStringLiteral("marker")));
    }

    void cleanupTestCase() { bus.reset(); }

    void aDayWithTheLauncherOnWayland()
    {
        QFile::remove(marker);
        ProgramCopy copy(QStringLiteral("tolvane"));
        // A session bus without a portal: the second start is the way back.
        qint64 pid = 0;
        startThroughSway(copy, bus->address(), pid);
        QVERIFY(pid > 0);

        // The main window has the keyboard, and nothing stands before it: no splash,
        // no box, no other window of the program.
        QTRY_VERIFY_WITH_TIMEOUT(mainWindowFocused(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(views().size(), 1, 10000);
        const QRect window = rectOf(mainWindow());
        QCOMPARE(window.size(), QSize(450, 126));
        // No hotkey can be had here: the line says so in the hint's colour.
        QImage before;
        QTRY_VERIFY_WITH_TIMEOUT(
            hintPixels(before = screenshot(QStringLiteral("wayland-main-window")), window) > 20, 10000);

        // Typing a name shows the result list under the box, as a popup of the window.
        wtype({QStringLiteral("Mark")}, 5000);
        const QRect rows(window.topLeft() + QPoint(17, 93), QSize(280, 24));
        Settling list;
        QTRY_VERIFY_WITH_TIMEOUT(listShown(before, rows, QStringLiteral("wayland-result-list"), list), 10000);
        QCOMPARE(views().size(), 1);

        // Return starts it; the shipped settings hide the window after a launch.
        wtypeAndWait({QStringLiteral("-k"), QStringLiteral("Return")});
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(mainWindow().isEmpty(), 10000);

        // The key bound to the program shows the running copy's window with the keyboard.
        pressBoundKey();
        QTRY_VERIFY_WITH_TIMEOUT(!mainWindow().isEmpty(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(mainWindowFocused(), 10000);
        QCOMPARE(pidOf(mainWindow()), pid);
        const QImage shown = screenshot(QStringLiteral("wayland-shown-again"));
        // Typing goes into the box: the list comes up again.
        wtype({QStringLiteral("Mark")}, 5000);
        Settling again;
        QTRY_VERIFY_WITH_TIMEOUT(listShown(shown, rows, QStringLiteral("wayland-typed-again"), again), 10000);

        // Escape closes the list, then clears the box, then hides the window.
        wtypeAndWait({QStringLiteral("-k"), QStringLiteral("Escape"), QStringLiteral("-s"),
                      QStringLiteral("100"), QStringLiteral("-k"), QStringLiteral("Escape"),
                      QStringLiteral("-s"), QStringLiteral("100"), QStringLiteral("-k"),
                      QStringLiteral("Escape")});
        QTRY_VERIFY_WITH_TIMEOUT(mainWindow().isEmpty(), 10000);
        QVERIFY(running(pid));
        pressBoundKey();
        QTRY_VERIFY_WITH_TIMEOUT(mainWindowFocused(), 10000);
        // Only one copy runs: the second start ended.
        QCOMPARE(views().size(), 1);

        // An orderly end saves what was learned: the launch, chosen by its name.
        endOrderly(pid);
        const QStringList items = ProgramCopy::rowsOf(
            copy.dataFile(),
            QStringLiteral("SELECT rowid FROM ITEMBOX WHERE path LIKE '%markerapp.desktop'"));
        QCOMPARE(items.size(), 1);
        QCOMPARE(ProgramCopy::rowsOf(copy.dataFile(), QStringLiteral("SELECT key, exec, hot FROM QUICK")),
                 QStringList{QStringLiteral("Markerapp|") + items.first() + QStringLiteral("|1")});
    }

    void thePortalsShortcutShowsTheWindow()
    {
        FakePortal portal(bus->address());
        QVERIFY(portal.isRegistered());
        portal.offerRegistry = true;
        ProgramCopy copy(QStringLiteral("portal"));
        qint64 pid = 0;
        startThroughSway(copy, bus->address(), pid);
        QTRY_VERIFY_WITH_TIMEOUT(mainWindowFocused(), 10000);
        // Bound at start with the configured hotkey in the session's options, the
        // application id registered first; nothing more asked (Plasma 5.27 would
        // open System Settings at BindShortcuts).
        QTRY_VERIFY_WITH_TIMEOUT(portal.calls.contains(QStringLiteral(
                                     "CreateSession tolvane_org_example_Tolvane_CTRL_ALT_q CTRL+ALT+q")),
                                 10000);
        QCOMPARE(portal.calls.first(), QStringLiteral("Register org.example.Tolvane"));
        QVERIFY(!portal.calls.join(QLatin1Char('\n')).contains(QStringLiteral("BindShortcuts")));
        // The desktop's trigger is shown in force: no hint.
        const QRect window = rectOf(mainWindow());
        QTRY_COMPARE_WITH_TIMEOUT(hintPixels(screenshot(QStringLiteral("wayland-portal")), window), 0, 10000);

        wtypeAndWait({QStringLiteral("-k"), QStringLiteral("Escape")});
        QTRY_VERIFY_WITH_TIMEOUT(mainWindow().isEmpty(), 10000);
        portal.activate(QStringLiteral("portal-token"));
        QTRY_VERIFY_WITH_TIMEOUT(!mainWindow().isEmpty(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(mainWindowFocused(), 10000);
        endOrderly(pid);
    }

    void withoutAPortalTheHintNeverABox_data()
    {
        QTest::addColumn<int>("setup");
        QTest::newRow("portal refuses") << 0;
        QTest::newRow("portal without global shortcuts") << 1;
        QTest::newRow("no session bus") << 2;
    }

    void withoutAPortalTheHintNeverABox()
    {
        QFETCH(int, setup);
        std::unique_ptr<FakePortal> portal;
        QString address = bus->address();
        if (setup == 2) {
            address = QStringLiteral("unix:path=") + TestSandbox::path(QStringLiteral("no-bus-here"));
        } else {
            portal = std::make_unique<FakePortal>(bus->address());
            portal->answer = FakePortal::Answer::Refuse;
            portal->offerShortcuts = setup != 1;
        }
        ProgramCopy copy(QStringLiteral("refused%1").arg(setup));
        qint64 pid = 0;
        startThroughSway(copy, address, pid);
        QTRY_VERIFY_WITH_TIMEOUT(mainWindowFocused(), 10000);
        const QRect window = rectOf(mainWindow());
        // Once the hint shows, the refusal has been taken: and no box came with it.
        QTRY_VERIFY_WITH_TIMEOUT(hintPixels(screenshot(QStringLiteral("wayland-hint")), window) > 20, 15000);
        QCOMPARE(views().size(), 1);
        QVERIFY(mainWindowFocused());
        endOrderly(pid);
    }
};

TOLVANE_TEST_MAIN(TestWayland)
#include "tst_wayland.moc"
