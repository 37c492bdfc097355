#include "fakeportal.h"
#include "globalshortcut.h"
#include "testmain.h"

#include <QGuiApplication>
#include <QSignalSpy>

#include <memory>

// The hotkey through the desktop portal's GlobalShortcuts interface, against a
// stand-in portal on a private session bus: what is asked for, what counts as
// bound, activation, and every way it can fail without blocking.
class TestPortalShortcut : public QObject
{
    Q_OBJECT

    std::unique_ptr<PrivateBus> bus;

    static QKeySequence key(const char *text) { return QKeySequence(QLatin1String(text)); }

private slots:
    void initTestCase()
    {
        bus = std::make_unique<PrivateBus>();
        QVERIFY2(bus->isRunning(), "dbus-daemon did not start");
        // Before the first use of the session bus in this process.
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus->address().toUtf8());
        QGuiApplication::setDesktopFileName(QStringLiteral("org.example.Tolvane"));
    }

    void cleanupTestCase() { bus.reset(); }

    void bindsTheConfiguredKeyAndShowsOnActivation_data()
    {
        QTest::addColumn<bool>("registry");
        QTest::addColumn<QString>("assigned");
        QTest::newRow("no registry") << false << QStringLiteral("Ctrl+Alt+Q");
        QTest::newRow("registry") << true << QStringLiteral("Super+Space");
        QTest::newRow("no description") << false << QString();
    }

    void bindsTheConfiguredKeyAndShowsOnActivation()
    {
        QFETCH(bool, registry);
        QFETCH(QString, assigned);
        FakePortal portal(bus->address());
        QVERIFY(portal.isRegistered());
        portal.offerRegistry = registry;
        portal.assignedTrigger = assigned;

        GlobalShortcut shortcut(nullptr, GlobalShortcut::Mechanism::Portal);
        QSignalSpy changed(&shortcut, &GlobalShortcut::statusChanged);
        QSignalSpy activated(&shortcut, &GlobalShortcut::activated);
        QVERIFY(shortcut.setShortcut(key("CTRL+ALT+Q")));
        QCOMPARE(shortcut.status(), GlobalShortcut::Status::Pending);
        QTRY_COMPARE_WITH_TIMEOUT(shortcut.status(), GlobalShortcut::Status::Active, 10000);
        QVERIFY(changed.count() >= 1);
        // The application id comes first, then the session, then the binding with
        // the configured key as the preferred trigger.
        QCOMPARE(portal.calls,
                 (QStringList{QStringLiteral("Register org.example.Tolvane"), QStringLiteral("CreateSession"),
                              QStringLiteral("BindShortcuts CTRL+ALT+q")}));
        // The trigger that the desktop assigned is the one shown.
        QCOMPARE(shortcut.trigger(), assigned);
        QVERIFY(shortcut.errorString().isEmpty());
        QVERIFY(shortcut.isAvailable());

        portal.activate(QStringLiteral("token-1"));
        QTRY_COMPARE(activated.count(), 1);
        QCOMPARE(activated.at(0).at(0).toString(), QStringLiteral("token-1"));
        portal.activate();
        QTRY_COMPARE(activated.count(), 2);
        QCOMPARE(activated.at(1).at(0).toString(), QString());
    }

    void aNewKeyReplacesTheSession()
    {
        FakePortal portal(bus->address());
        GlobalShortcut shortcut(nullptr, GlobalShortcut::Mechanism::Portal);
        QSignalSpy activated(&shortcut, &GlobalShortcut::activated);
        QVERIFY(shortcut.setShortcut(key("CTRL+ALT+Q")));
        QTRY_COMPARE_WITH_TIMEOUT(shortcut.status(), GlobalShortcut::Status::Active, 10000);
        const QString first = portal.openSessions.value(0);
        QVERIFY(shortcut.setShortcut(key("META+F5")));
        QTRY_COMPARE_WITH_TIMEOUT(shortcut.status(), GlobalShortcut::Status::Active, 10000);
        QVERIFY(portal.calls.contains(QStringLiteral("Close ") + first));
        QCOMPARE(portal.calls.last(), QStringLiteral("BindShortcuts LOGO+F5"));
        QCOMPARE(portal.openSessions.size(), 1);
        // Only the live session's activation counts.
        portal.activate();
        QTRY_COMPARE(activated.count(), 1);

        // A bare key is refused before the desktop is asked, and the session goes.
        const int asked = int(portal.calls.size());
        QVERIFY(!shortcut.setShortcut(key("A")));
        QCOMPARE(shortcut.status(), GlobalShortcut::Status::Failed);
        QCOMPARE(shortcut.errorString(), QStringLiteral("needs Ctrl, Alt or Super"));
        QTRY_COMPARE(portal.openSessions.size(), 0);
        QVERIFY(!portal.calls.mid(asked).contains(QStringLiteral("CreateSession")));
    }

    void failuresFallBackWithoutBlocking_data()
    {
        QTest::addColumn<int>("setup");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no portal") << 0 << QStringLiteral("no desktop portal");
        QTest::newRow("no global shortcuts")
            << 1 << QStringLiteral("the desktop portal has no global shortcuts");
        QTest::newRow("refused") << 2 << QStringLiteral("the desktop refused it");
        QTest::newRow("never answers") << 3 << QStringLiteral("the desktop did not answer");
    }

    void failuresFallBackWithoutBlocking()
    {
        QFETCH(int, setup);
        QFETCH(QString, reason);
        std::unique_ptr<FakePortal> portal;
        if (setup > 0) {
            portal = std::make_unique<FakePortal>(bus->address());
            portal->offerShortcuts = setup != 1;
            portal->answer = setup == 2   ? FakePortal::Answer::Refuse
                             : setup == 3 ? FakePortal::Answer::Silent
                                          : FakePortal::Answer::Accept;
        }
        GlobalShortcut shortcut(nullptr, GlobalShortcut::Mechanism::Portal);
        QSignalSpy changed(&shortcut, &GlobalShortcut::statusChanged);
        // The call itself never waits for the desktop: it returns with the answer pending.
        QVERIFY(shortcut.setShortcut(key("CTRL+ALT+Q")));
        QCOMPARE(shortcut.status(), GlobalShortcut::Status::Pending);
        QTRY_COMPARE_WITH_TIMEOUT(shortcut.status(), GlobalShortcut::Status::Failed, 15000);
        QCOMPARE(shortcut.errorString(), reason);
        // The window then tells the user to bind a key to the program instead.
        QVERIFY(!shortcut.isAvailable());
        QVERIFY(shortcut.trigger().isEmpty());
        QCOMPARE(changed.count(), 1);
    }
};

TOLVANE_TEST_MAIN(TestPortalShortcut)
#include "tst_portalshortcut.moc"
