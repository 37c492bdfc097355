#include "catalogfixture.h"
#include "keygrabs.h"
#include "programcopy.h"
#include "testmain.h"

#include <QDir>
#include <QFile>
#include <QRect>

#include <csignal>
#include <sys/stat.h>

// The catalog of the real program, as a user meets it on an X server: what a
// launch teaches it, an alias edit and a change in the application manager each
// reach data.db while the program runs, so a kill -9 loses none of them; programs
// installed and removed while it runs come and go by themselves.
class TestCatalogProcess : public QObject
{
    Q_OBJECT

    static QString xdotool(const QStringList &args) { return X11Windows::xdotool(args); }
    static void key(const QString &keys) { xdotool({QStringLiteral("key"), keys}); }
    static void type(const QString &text)
    {
        xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("40"), text});
    }

    static void mouseTo(const QPoint &point)
    {
        xdotool({QStringLiteral("mousemove"), QString::number(point.x()), QString::number(point.y())});
    }
    static void clickAt(const QPoint &point)
    {
        mouseTo(point);
        xdotool({QStringLiteral("click"), QStringLiteral("1")});
    }

    static QStringList rows(const ProgramCopy &copy, const QString &sql)
    {
        return ProgramCopy::rowsOf(copy.dataFile(), sql);
    }

    // Starts the copy and waits for its window, with the keyboard focus in it.
    static void startAndFocus(ProgramCopy &copy, QString &window)
    {
        QProcess *process = copy.start();
        QTRY_COMPARE_WITH_TIMEOUT(X11Windows::visibleMainWindows(process->processId()).size(), 1, 20000);
        window = X11Windows::visibleMainWindows(process->processId()).value(0);
        xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window});
    }

    static void killHard(ProgramCopy &copy)
    {
        ::kill(static_cast<pid_t>(copy.process()->processId()), SIGKILL);
        QVERIFY(copy.process()->waitForFinished(10000));
        QCOMPARE(rows(copy, QStringLiteral("PRAGMA integrity_check")), QStringList{QStringLiteral("ok")});
        // The X server lets go of the hotkey once it has seen the connection end.
        QTRY_COMPARE_WITH_TIMEOUT(KeyGrabs::heldElsewhere(KeyGrabs::Control | KeyGrabs::Alt), 0, 10000);
    }

    // A desktop entry whose program leaves a marker file; returns the marker.
    static QString programEntry(const QString &name)
    {
        return ProgramCopy::writeMarkerApp(name, TestSandbox::path(QStringLiteral("markers/") + name));
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(QFile::exists(TestSandbox::buildBinDir() + QStringLiteral("/tolvane")),
                 "build tolvane first");
    }

    void init() { CatalogFixture::resetSandbox(); }

    void learningSurvivesAKill()
    {
        const QString marker = programEntry(QStringLiteral("Markerapp"));
        ProgramCopy copy(QStringLiteral("learn"));
        QString window;
        startAndFocus(copy, window);
        type(QStringLiteral("Mark"));
        key(QStringLiteral("Return"));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 10000);
        // Within seconds the learning is in data.db, while the program runs.
        QTRY_COMPARE_WITH_TIMEOUT(rows(copy, QStringLiteral("SELECT key, hot FROM QUICK")),
                                  QStringList{QStringLiteral("Markerapp|1")}, 10000);
        killHard(copy);
        const QString rowid =
            rows(copy, QStringLiteral("SELECT rowid FROM ITEMBOX WHERE alias = 'Markerapp'")).value(0);
        QCOMPARE(rows(copy, QStringLiteral("SELECT key, exec, hot FROM QUICK")),
                 QStringList{QStringLiteral("Markerapp|") + rowid + QStringLiteral("|1")});
        QCOMPARE(rows(copy, QStringLiteral("SELECT ITEMBOX_ID, topnum FROM TOP")),
                 QStringList{rowid + QStringLiteral("|1")});
    }

    void aliasEditAndManagerChangeSurviveAKill()
    {
        programEntry(QStringLiteral("Stampapp"));
        programEntry(QStringLiteral("Otherapp"));
        ProgramCopy copy(QStringLiteral("edit"));

        // The alias editor, from the edit button beside the popup's first row.
        QString window;
        startAndFocus(copy, window);
        const QRect main = X11Windows::geometry(window);
        type(QStringLiteral("Stamp"));
        const QPoint row = main.topLeft() + QPoint(17 + 60, 93 + 11);
        mouseTo(row);
        mouseTo(row + QPoint(3, 1));
        QString editor;
        const QPoint editButton = main.topLeft() + QPoint(17 + 280 + 12, 93 + 2 + 12);
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                clickAt(editButton);
                return !(editor = X11Windows::windowOfSize(copy.process()->processId(), QSize(270, 50)))
                            .isEmpty();
            }(),
            10000);
        key(QStringLiteral("ctrl+a"));
        type(QStringLiteral("Stamp Pad"));
        key(QStringLiteral("Return"));
        QTRY_COMPARE_WITH_TIMEOUT(
            rows(copy, QStringLiteral("SELECT alias FROM ITEMBOX WHERE path LIKE '%stampapp.desktop'")),
            QStringList{QStringLiteral("Stamp Pad")}, 10000);
        killHard(copy);
        QCOMPARE(rows(copy, QStringLiteral("SELECT alias FROM ITEMBOX ORDER BY alias")),
                 (QStringList{QStringLiteral("Otherapp"), QStringLiteral("Stamp Pad")}));

        // The application manager: delete the first item, OK.
        startAndFocus(copy, window);
        const QRect again = X11Windows::geometry(window);
        clickAt(again.topLeft() + QPoint(385 + 21, 26 + 20));
        QString manager;
        QTRY_VERIFY_WITH_TIMEOUT(
            !(manager = X11Windows::windowOfSize(copy.process()->processId(), QSize(480, 400))).isEmpty(),
            10000);
        const QRect dialog = X11Windows::geometry(manager);
        clickAt(dialog.topLeft() + QPoint(100, 77));            // the first row
        clickAt(dialog.topLeft() + QPoint(158 + 36, 356 + 16)); // Delete
        clickAt(dialog.topLeft() + QPoint(318 + 36, 356 + 16)); // OK
        QTRY_COMPARE_WITH_TIMEOUT(rows(copy, QStringLiteral("SELECT count(*) FROM ITEMBOX")),
                                  QStringList{QStringLiteral("1")}, 10000);
        killHard(copy);
        QCOMPARE(rows(copy, QStringLiteral("SELECT count(*) FROM ITEMBOX")),
                 QStringList{QStringLiteral("1")});
    }

    // A FIFO named like a desktop entry, there at the start or made while the
    // program runs, is passed over: the window comes, programs installed later
    // are still found, and SIGTERM ends the program the orderly way.
    void aFifoNamedLikeAnEntryHangsNothing()
    {
        const QString apps = CatalogFixture::applicationsDir();
        QCOMPARE(::mkfifo(QFile::encodeName(apps + QStringLiteral("/at-start.desktop")).constData(), 0644),
                 0);
        programEntry(QStringLiteral("Firstapp"));
        ProgramCopy copy(QStringLiteral("fifo"));
        QString window;
        startAndFocus(copy, window);
        QTRY_COMPARE_WITH_TIMEOUT(rows(copy, QStringLiteral("SELECT alias FROM ITEMBOX")),
                                  QStringList{QStringLiteral("Firstapp")}, 15000);

        QCOMPARE(::mkfifo(QFile::encodeName(apps + QStringLiteral("/later.desktop")).constData(), 0644), 0);
        programEntry(QStringLiteral("Laterapp"));
        QTRY_COMPARE_WITH_TIMEOUT(rows(copy, QStringLiteral("SELECT alias FROM ITEMBOX ORDER BY alias")),
                                  (QStringList{QStringLiteral("Firstapp"), QStringLiteral("Laterapp")}),
                                  15000);
        type(QStringLiteral("Late"));
        key(QStringLiteral("Return"));
        QTRY_COMPARE_WITH_TIMEOUT(rows(copy, QStringLiteral("SELECT key FROM QUICK")),
                                  QStringList{QStringLiteral("Laterapp")}, 10000);
        ::kill(static_cast<pid_t>(copy.process()->processId()), SIGTERM);
        QVERIFY(copy.process()->waitForFinished(10000));
        QCOMPARE(copy.process()->exitStatus(), QProcess::NormalExit);
        QCOMPARE(copy.process()->exitCode(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(KeyGrabs::heldElsewhere(KeyGrabs::Control | KeyGrabs::Alt), 0, 10000);
    }

    void installedAndRemovedProgramsComeAndGo()
    {
        ProgramCopy copy(QStringLiteral("live"));
        QString window;
        startAndFocus(copy, window);
        const qint64 pid = copy.process()->processId();
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(copy.dataFile()), 10000);

        // Installed while the program runs: typing its name finds it, Return starts it.
        const QString marker = programEntry(QStringLiteral("Freshapp"));
        QTRY_COMPARE_WITH_TIMEOUT(
            rows(copy, QStringLiteral("SELECT alias FROM ITEMBOX WHERE path LIKE '%freshapp.desktop'")),
            QStringList{QStringLiteral("Freshapp")}, 15000);
        key(QStringLiteral("ctrl+alt+q")); // the hotkey: the window is visible already, it stays
        QTRY_COMPARE(X11Windows::visibleMainWindows(pid).size(), 1);
        xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"),
                 X11Windows::visibleMainWindows(pid).value(0)});
        type(QStringLiteral("Fresh"));
        key(QStringLiteral("Return"));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(rows(copy, QStringLiteral("SELECT count(*) FROM QUICK")),
                                  QStringList{QStringLiteral("1")}, 10000);

        // Removed: its item goes, with what was learned of it.
        QVERIFY(QFile::remove(CatalogFixture::applicationsDir() + QStringLiteral("/freshapp.desktop")));
        QTRY_COMPARE_WITH_TIMEOUT(
            rows(copy, QStringLiteral("SELECT count(*) FROM ITEMBOX WHERE path LIKE '%freshapp.desktop'")),
            QStringList{QStringLiteral("0")}, 15000);
        QCOMPARE(rows(copy, QStringLiteral("SELECT count(*) FROM QUICK")), QStringList{QStringLiteral("0")});
        QCOMPARE(rows(copy, QStringLiteral("SELECT count(*) FROM TOP")), QStringList{QStringLiteral("0")});
        ::kill(static_cast<pid_t>(pid), SIGTERM);
        QVERIFY(copy.process()->waitForFinished(10000));
        QTRY_COMPARE_WITH_TIMEOUT(KeyGrabs::heldElsewhere(KeyGrabs::Control | KeyGrabs::Alt), 0, 10000);
    }
};

TOLVANE_TEST_MAIN(TestCatalogProcess)
#include "tst_catalogprocess.moc"
