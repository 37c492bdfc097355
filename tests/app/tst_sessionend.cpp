#include "catalogfixture.h"
#include "keygrabs.h"
#include "programcopy.h"
#include "testmain.h"

#include <QDir>
#include <QFile>
#include <QSocketNotifier>

#include <X11/ICE/ICElib.h>
#include <X11/SM/SMlib.h>

#include <csignal>

namespace {

// A session manager of the smallest kind (X session management over ICE): it
// takes one client, asks it to save, with or without the session's end, and
// tells it to die.
class SessionManager : public QObject
{
public:
    SessionManager()
    {
        IceSetIOErrorHandler([](IceConn) {}); // the default one exits
        char error[256] = "";
        if (!SmsInitialize("tolvane-test", "1.0", &SessionManager::newClient, this, &SessionManager::anyHost,
                           sizeof error, error))
            return;
        if (!IceListenForConnections(&listenerCount, &listeners, sizeof error, error))
            return;
        for (int i = 0; i < listenerCount; ++i) {
            IceSetHostBasedAuthProc(listeners[i], &SessionManager::anyHost);
            auto notifier =
                new QSocketNotifier(IceGetListenConnectionNumber(listeners[i]), QSocketNotifier::Read, this);
            connect(notifier, &QSocketNotifier::activated, this, [this, i] { accept(listeners[i]); });
        }
        char *ids = IceComposeNetworkIdList(listenerCount, listeners);
        address = QByteArray(ids);
        free(ids);
    }
    ~SessionManager() override
    {
        if (listeners)
            IceFreeListenObjs(listenerCount, listeners);
    }

    QByteArray address;
    SmsConn client = nullptr;
    bool registered = false;
    int savesDone = 0;
    bool closed = false;

    void saveYourself(bool shutdown)
    {
        SmsSaveYourself(client, SmSaveBoth, shutdown, SmInteractStyleNone, False);
        IceFlush(SmsGetIceConnection(client));
    }
    void die()
    {
        SmsDie(client);
        IceFlush(SmsGetIceConnection(client));
    }

private:
    static Bool anyHost(char *) { return True; }

    void accept(IceListenObj listener)
    {
        IceAcceptStatus status;
        IceConn connection = IceAcceptConnection(listener, &status);
        if (!connection)
            return;
        auto notifier = new QSocketNotifier(IceConnectionNumber(connection), QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [connection, notifier] {
            if (IceProcessMessages(connection, nullptr, nullptr) == IceProcessMessagesIOError) {
                notifier->setEnabled(false);
                IceCloseConnection(connection);
            }
        });
    }

    static Status newClient(SmsConn connection, SmPointer data, unsigned long *mask, SmsCallbacks *callbacks,
                            char **)
    {
        auto self = static_cast<SessionManager *>(data);
        self->client = connection;
        *mask = SmsRegisterClientProcMask | SmsSaveYourselfDoneProcMask | SmsCloseConnectionProcMask |
                SmsSetPropertiesProcMask | SmsDeletePropertiesProcMask | SmsGetPropertiesProcMask |
                SmsInteractRequestProcMask | SmsInteractDoneProcMask | SmsSaveYourselfRequestProcMask |
                SmsSaveYourselfP2RequestProcMask;
        callbacks->register_client.callback = [](SmsConn conn, SmPointer data, char *) -> Status {
            static_cast<SessionManager *>(data)->registered = true;
            return SmsRegisterClientReply(conn, SmsGenerateClientID(conn));
        };
        callbacks->register_client.manager_data = self;
        callbacks->save_yourself_done.callback = [](SmsConn, SmPointer data, Bool) {
            ++static_cast<SessionManager *>(data)->savesDone;
        };
        callbacks->save_yourself_done.manager_data = self;
        callbacks->close_connection.callback = [](SmsConn conn, SmPointer data, int count, char **reasons) {
            static_cast<SessionManager *>(data)->closed = true;
            SmFreeReasons(count, reasons);
            SmsCleanUp(conn);
        };
        callbacks->close_connection.manager_data = self;
        callbacks->set_properties.callback = [](SmsConn, SmPointer, int count, SmProp **properties) {
            for (int i = 0; i < count; ++i)
                SmFreeProperty(properties[i]);
            free(properties);
        };
        callbacks->delete_properties.callback = [](SmsConn, SmPointer, int count, char **names) {
            for (int i = 0; i < count; ++i)
                free(names[i]);
            free(names);
        };
        callbacks->get_properties.callback = [](SmsConn conn, SmPointer) {
            SmsReturnProperties(conn, 0, nullptr);
        };
        callbacks->interact_request.callback = [](SmsConn conn, SmPointer, int) { SmsInteract(conn); };
        callbacks->interact_done.callback = [](SmsConn, SmPointer, Bool) {};
        callbacks->save_yourself_request.callback = [](SmsConn, SmPointer, int, Bool, int, Bool, Bool) {};
        callbacks->save_yourself_phase2_request.callback = [](SmsConn conn, SmPointer) {
            SmsSaveYourselfPhase2(conn);
        };
        return 1;
    }

    int listenerCount = 0;
    IceListenObj *listeners = nullptr;
};

} // namespace

// How the real program ends with the desktop session: termination signals from
// its very start, a session manager's save and the session's end, the loss of
// the display server. Each saves what the run learned.
class TestSessionEnd : public QObject
{
    Q_OBJECT

    QString marker;

    static QString xdotool(const QStringList &args) { return X11Windows::xdotool(args); }

    // Whether the process shows its splash (400 x 250).
    static bool splashShown(qint64 pid)
    {
        const QString list =
            xdotool({QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--onlyvisible"),
                     QStringLiteral("--pid"), QString::number(pid), QStringLiteral(".*")});
        for (const QString &id : list.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            if (xdotool({QStringLiteral("getwindowgeometry"), id})
                    .contains(QStringLiteral("Geometry: 400x250")))
                return true;
        }
        return false;
    }

    static QStringList rows(const ProgramCopy &copy, const QString &sql)
    {
        return ProgramCopy::rowsOf(copy.dataFile(), sql);
    }

    // Starts the copy, waits for its window, types the marker program's name and
    // Return, and waits until it ran.
    void launchMarker(ProgramCopy &copy)
    {
        QProcess *process = copy.start();
        QTRY_COMPARE_WITH_TIMEOUT(X11Windows::visibleMainWindows(process->processId()).size(), 1, 20000);
        xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"),
                 X11Windows::visibleMainWindows(process->processId()).value(0)});
        xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("40"),
                 QStringLiteral("Mark")});
        xdotool({QStringLiteral("key"), QStringLiteral("Return")});
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 10000);
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(QFile::exists(TestSandbox::buildBinDir() + QStringLiteral("/tolvane")),
                 "build tolvane first");
        CatalogFixture::resetSandbox();
        marker = ProgramCopy::writeMarkerApp(QStringLiteral("Markerapp"),
                                             TestSandbox::path(QStringLiteral("marker")));
    }

    void init() { QFile::remove(marker); }

    void cleanup()
    {
        // The next copy needs the hotkey: the X server lets go once it saw the end.
        QTRY_COMPARE_WITH_TIMEOUT(KeyGrabs::heldElsewhere(KeyGrabs::Control | KeyGrabs::Alt), 0, 10000);
    }

    // SIGTERM while the first run's scan is still under way, before the window
    // shows: the program ends the orderly way and saves what it found.
    void terminationDuringTheFirstScanSaves()
    {
        // A desktop folder that takes the scan a while.
        const QString tree =
            QStandardPaths::writableLocation(QStandardPaths::DesktopLocation) + QStringLiteral("/tree");
        for (int d = 0; d < 90; ++d) {
            const QString folder = tree + QStringLiteral("/folder%1").arg(d);
            QDir().mkpath(folder);
            for (int f = 0; f < 500; ++f) {
                QFile file(folder + QStringLiteral("/file%1.%2").arg(f).arg(f == 0 ? "exe" : "dat"));
                QVERIFY(file.open(QIODevice::WriteOnly));
            }
        }
        ProgramCopy copy(QStringLiteral("scan"));
        QProcess *process = copy.start();
        // The splash is up: construction, and with it the scan, runs.
        QTRY_VERIFY_WITH_TIMEOUT(splashShown(process->processId()), 20000);
        const bool windowShown = !X11Windows::visibleMainWindows(process->processId()).isEmpty();
        ::kill(static_cast<pid_t>(process->processId()), SIGTERM);
        QVERIFY(process->waitForFinished(30000));
        QDir(tree).removeRecursively();
        QVERIFY2(!windowShown, "the scan ended before the signal could come during it");
        QCOMPARE(process->exitStatus(), QProcess::NormalExit);
        QCOMPARE(process->exitCode(), 0);
        QCOMPARE(rows(copy, QStringLiteral("SELECT count(*) FROM ITEMBOX WHERE alias = 'file0.exe'")),
                 QStringList{QStringLiteral("90")});
        QCOMPARE(rows(copy, QStringLiteral("SELECT count(*) FROM ITEMBOX WHERE alias = 'Markerapp'")),
                 QStringList{QStringLiteral("1")});
    }

    // A session manager's save (not a logout) saves and the program goes on; the
    // session's end saves and ends it.
    void sessionSaveKeepsRunningSessionEndEnds()
    {
        SessionManager manager;
        QVERIFY2(!manager.address.isEmpty(), "no ICE listener");
        qputenv("SESSION_MANAGER", manager.address);
        ProgramCopy copy(QStringLiteral("session"));
        launchMarker(copy);
        qunsetenv("SESSION_MANAGER");
        QTRY_VERIFY_WITH_TIMEOUT(manager.registered, 10000);

        manager.saveYourself(false);
        QTRY_COMPARE_WITH_TIMEOUT(manager.savesDone, 1, 10000);
        QCOMPARE(rows(copy, QStringLiteral("SELECT key, hot FROM QUICK")),
                 QStringList{QStringLiteral("Markerapp|1")});
        QCOMPARE(copy.process()->state(), QProcess::Running);
        QCOMPARE(X11Windows::mainWindows(copy.process()->processId()).size(), 1);

        manager.saveYourself(true);
        QTRY_COMPARE_WITH_TIMEOUT(manager.savesDone, 2, 10000);
        manager.die();
        QVERIFY(copy.process()->waitForFinished(10000));
        QCOMPARE(copy.process()->exitStatus(), QProcess::NormalExit);
        QCOMPARE(copy.process()->exitCode(), 0);
        QCOMPARE(rows(copy, QStringLiteral("SELECT key, hot FROM QUICK")),
                 QStringList{QStringLiteral("Markerapp|1")});
    }

    // The display server goes away (Qt then ends the process through exit()):
    // what the run learned is saved all the same.
    void lostDisplaySaves()
    {
        QProcess xvfb;
        xvfb.setStandardErrorFile(QProcess::nullDevice()); // it tries displays in use first
        xvfb.start(QStringLiteral("Xvfb"),
                   {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                    QStringLiteral("0"), QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                    QStringLiteral("tcp")});
        QString display;
        QTRY_VERIFY_WITH_TIMEOUT(
            !(display += QString::fromLatin1(xvfb.readAllStandardOutput()).trimmed()).isEmpty(), 20000);
        // The server takes clients once a probe connects (it names its display a
        // moment before that under load).
        const QString name = QLatin1Char(':') + display;
        const auto serverAnswers = [&name] {
            QProcess probe;
            probe.setStandardOutputFile(QProcess::nullDevice());
            probe.setStandardErrorFile(QProcess::nullDevice());
            probe.start(QStringLiteral("xdpyinfo"), {QStringLiteral("-display"), name});
            return probe.waitForFinished(5000) && probe.exitStatus() == QProcess::NormalExit &&
                   probe.exitCode() == 0;
        };
        QTRY_VERIFY_WITH_TIMEOUT(serverAnswers(), 20000);
        const QByteArray ownDisplay = qgetenv("DISPLAY");
        qputenv("DISPLAY", name.toLatin1());
        ProgramCopy copy(QStringLiteral("display"));
        launchMarker(copy);
        ::kill(static_cast<pid_t>(xvfb.processId()), SIGKILL);
        const bool ended = copy.process()->waitForFinished(20000);
        qputenv("DISPLAY", ownDisplay);
        xvfb.waitForFinished(5000);
        QVERIFY(ended);
        QCOMPARE(copy.process()->exitStatus(), QProcess::NormalExit);
        QCOMPARE(rows(copy, QStringLiteral("SELECT key, hot FROM QUICK")),
                 QStringList{QStringLiteral("Markerapp|1")});
    }
};

TOLVANE_TEST_MAIN(TestSessionEnd)
#include "tst_sessionend.moc"
