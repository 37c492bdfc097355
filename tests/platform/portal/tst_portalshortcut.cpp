#include "fakeportal.h"
#include "globalshortcut.h"
#include "testmain.h"

#include <QFile>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QStandardPaths>

#include <memory>

// The hotkey through the desktop portal's GlobalShortcuts interface, against a
// stand-in portal on a private session bus that answers as Plasma 5.27's and the
// newer portals do: what is asked for, what counts as bound, what the next start
// and a new key ask, activation, and every way it can fail without blocking (what
// the real portal cannot be made to do). The real Plasma is in test_kwin.
class TestPortalShortcut : public QObject
{
    Q_OBJECT

    std::unique_ptr<PrivateBus> bus;

    static QKeySequence key(const char *text) { return QKeySequence(QLatin1String(text)); }

    // The session token for Ctrl+Alt+Q: the same at every start.
    const QString Token = QStringLiteral("tolvane_org_example_Tolvane_CTRL_ALT_q");

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

    void init()
    {
        // Keys the desktop did not bind in an earlier test are not this test's.
        QFile::remove(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                      QStringLiteral("/tolvane/desktop-shortcuts.ini"));
    }

    // Plasma 5.27 binds the shortcut given in CreateSession's options and names it
    // in the answer: nothing more is asked, so System Settings never opens. A newer
    // portal binds it through its dialog, once.
    void bindsTheConfiguredKeyAndShowsOnActivation_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("assigned");
        QTest::addColumn<bool>("describe");
        QTest::addColumn<QStringList>("expectedCalls");
        QTest::addColumn<QString>("trigger");
        const QString create = QStringLiteral("CreateSession ") + Token + QStringLiteral(" CTRL+ALT+q");
        const QString registry = QStringLiteral("Register org.example.Tolvane");
        QTest::newRow("plasma 5.27") << int(FakePortal::Kind::Plasma527) << QString() << true
                                     << QStringList{registry, create} << QStringLiteral("Ctrl+Alt+Q");
        QTest::newRow("plasma 5.27, another trigger")
            << int(FakePortal::Kind::Plasma527) << QStringLiteral("Meta+Space") << true
            << QStringList{registry, create} << QStringLiteral("Meta+Space");
        QTest::newRow("no trigger named") << int(FakePortal::Kind::Plasma527) << QString() << false
                                          << QStringList{registry, create} << QString();
        QTest::newRow("newer portal") << int(FakePortal::Kind::Newer) << QString() << true
                                      << QStringList{registry, create, QStringLiteral("ListShortcuts"),
                                                     QStringLiteral("BindShortcuts CTRL+ALT+q")}
                                      << QStringLiteral("Ctrl+Alt+Q");
    }

    void bindsTheConfiguredKeyAndShowsOnActivation()
    {
        QFETCH(int, kind);
        QFETCH(QString, assigned);
        QFETCH(bool, describe);
        QFETCH(QStringList, expectedCalls);
        QFETCH(QString, trigger);
        FakePortal portal(bus->address());
        QVERIFY(portal.isRegistered());
        portal.kind = FakePortal::Kind(kind);
        portal.offerRegistry = portal.kind == FakePortal::Kind::Newer;
        portal.assignedTrigger = assigned;
        portal.describeTrigger = describe;

        GlobalShortcut shortcut(nullptr, GlobalShortcut::Mechanism::Portal);
        QSignalSpy changed(&shortcut, &GlobalShortcut::statusChanged);
        QSignalSpy activated(&shortcut, &GlobalShortcut::activated);
        QVERIFY(shortcut.setShortcut(key("CTRL+ALT+Q")));
        QCOMPARE(shortcut.status(), GlobalShortcut::Status::Pending);
        QTRY_COMPARE_WITH_TIMEOUT(shortcut.status(), GlobalShortcut::Status::Active, 10000);
        QVERIFY(changed.count() >= 1);
        // The application id comes first, then the session with the shortcut in
        // its options and the configured key as the preferred trigger.
        QCOMPARE(portal.calls, expectedCalls);
        // The trigger that the desktop assigned is the one shown.
        QCOMPARE(shortcut.trigger(), trigger);
        QVERIFY(shortcut.errorString().isEmpty());
        QVERIFY(shortcut.isAvailable());

        portal.activate(QStringLiteral("token-1"));
        QTRY_COMPARE(activated.count(), 1);
        QCOMPARE(activated.at(0).at(0).toString(), QStringLiteral("token-1"));
        // Another program's shortcut id is not ours; Plasma sends no token.
        portal.activate(QStringLiteral("token-2"), QStringLiteral("other"));
        portal.activate();
        QTRY_COMPARE(activated.count(), 2);
        QCOMPARE(activated.at(1).at(0).toString(), QString());
    }

    // The next start uses the same session token, finds the shortcut bound (with
    // the key the user may have set in the desktop's settings meanwhile) and asks
    // nothing: no System Settings, no dialog.
    void theNextStartFindsItsBinding_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("plasma 5.27") << int(FakePortal::Kind::Plasma527);
        QTest::newRow("newer portal") << int(FakePortal::Kind::Newer);
    }

    void theNextStartFindsItsBinding()
    {
        QFETCH(int, kind);
        FakePortal portal(bus->address());
        portal.kind = FakePortal::Kind(kind);
        portal.offerRegistry = portal.kind == FakePortal::Kind::Newer;
        {
            GlobalShortcut first(nullptr, GlobalShortcut::Mechanism::Portal);
            QVERIFY(first.setShortcut(key("CTRL+ALT+Q")));
            QTRY_COMPARE_WITH_TIMEOUT(first.status(), GlobalShortcut::Status::Active, 10000);
        }
        QTRY_VERIFY(portal.openSessions.isEmpty());
        // The user sets another key in the desktop's shortcut settings.
        QCOMPARE(portal.stored.size(), 1);
        portal.stored[portal.stored.firstKey()] = QStringLiteral("Meta+Space");
        const qsizetype asked = portal.calls.size();

        GlobalShortcut second(nullptr, GlobalShortcut::Mechanism::Portal);
        QSignalSpy activated(&second, &GlobalShortcut::activated);
        QVERIFY(second.setShortcut(key("CTRL+ALT+Q")));
        QTRY_COMPARE_WITH_TIMEOUT(second.status(), GlobalShortcut::Status::Active, 10000);
        QCOMPARE(second.trigger(), QStringLiteral("Meta+Space"));
        const QStringList calls = portal.calls.mid(asked);
        QVERIFY2(!calls.join(QLatin1Char('\n')).contains(QStringLiteral("BindShortcuts")),
                 qPrintable(calls.join(QLatin1Char('\n'))));
        QVERIFY(calls.contains(QStringLiteral("CreateSession ") + Token + QStringLiteral(" CTRL+ALT+q")));
        QCOMPARE(portal.stored.size(), 1);
        portal.activate();
        QTRY_COMPARE(activated.count(), 1);
    }

    // A new key from the settings: on Plasma 5.27 a session of its own, with the
    // new key in its options, replaces the old one; a newer portal asks the user
    // about the new key (the user's own request, once).
    void aNewKeyReplacesTheSession_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QStringList>("asked");
        const QString create =
            QStringLiteral("CreateSession tolvane_org_example_Tolvane_CTRL_ALT_w CTRL+ALT+w");
        QTest::newRow("plasma 5.27") << int(FakePortal::Kind::Plasma527) << QStringList{create};
        QTest::newRow("newer portal") << int(FakePortal::Kind::Newer)
                                      << QStringList{create, QStringLiteral("ListShortcuts"),
                                                     QStringLiteral("BindShortcuts CTRL+ALT+w")};
    }

    void aNewKeyReplacesTheSession()
    {
        QFETCH(int, kind);
        QFETCH(QStringList, asked);
        FakePortal portal(bus->address());
        portal.kind = FakePortal::Kind(kind);
        portal.offerRegistry = portal.kind == FakePortal::Kind::Newer;
        GlobalShortcut shortcut(nullptr, GlobalShortcut::Mechanism::Portal);
        QSignalSpy activated(&shortcut, &GlobalShortcut::activated);
        QVERIFY(shortcut.setShortcut(key("CTRL+ALT+Q")));
        QTRY_COMPARE_WITH_TIMEOUT(shortcut.status(), GlobalShortcut::Status::Active, 10000);
        const QString first = portal.openSessions.value(0);
        const qsizetype before = portal.calls.size();
        QVERIFY(shortcut.setShortcut(key("CTRL+ALT+W")));
        QTRY_COMPARE_WITH_TIMEOUT(shortcut.status(), GlobalShortcut::Status::Active, 10000);
        QCOMPARE(shortcut.trigger(), QStringLiteral("Ctrl+Alt+W"));
        QTRY_VERIFY(portal.calls.contains(QStringLiteral("Close ") + first));
        QStringList calls = portal.calls.mid(before);
        calls.removeAll(QStringLiteral("Close ") + first);
        QCOMPARE(calls, asked);
        QTRY_COMPARE(portal.openSessions.size(), 1);
        // Only the live session's activation counts.
        portal.activate();
        QTRY_COMPARE(activated.count(), 1);

        // A bare key is refused before the desktop is asked, and the session goes.
        const qsizetype beforeBare = portal.calls.size();
        QVERIFY(!shortcut.setShortcut(key("A")));
        QCOMPARE(shortcut.status(), GlobalShortcut::Status::Failed);
        QCOMPARE(shortcut.errorString(), QStringLiteral("needs Ctrl, Alt or Super"));
        QTRY_COMPARE(portal.openSessions.size(), 0);
        QVERIFY(
            !portal.calls.mid(beforeBare).join(QLatin1Char('\n')).contains(QStringLiteral("CreateSession")));
    }

    // A new key the desktop refuses leaves the old one in force; the settings
    // going back to it ask the session that holds it, not a new one.
    void aRefusedNewKeyKeepsTheOld()
    {
        FakePortal portal(bus->address());
        GlobalShortcut shortcut(nullptr, GlobalShortcut::Mechanism::Portal);
        QSignalSpy activated(&shortcut, &GlobalShortcut::activated);
        QVERIFY(shortcut.setShortcut(key("CTRL+ALT+Q")));
        QTRY_COMPARE_WITH_TIMEOUT(shortcut.status(), GlobalShortcut::Status::Active, 10000);
        portal.answer = FakePortal::Answer::Refuse;
        QVERIFY(shortcut.setShortcut(key("CTRL+ALT+W")));
        QTRY_COMPARE_WITH_TIMEOUT(shortcut.status(), GlobalShortcut::Status::Failed, 10000);
        QCOMPARE(shortcut.errorString(), QStringLiteral("the desktop refused it"));
        portal.answer = FakePortal::Answer::Accept;
        const qsizetype before = portal.calls.size();
        QVERIFY(shortcut.setShortcut(key("CTRL+ALT+Q")));
        QTRY_COMPARE_WITH_TIMEOUT(shortcut.status(), GlobalShortcut::Status::Active, 10000);
        QCOMPARE(shortcut.trigger(), QStringLiteral("Ctrl+Alt+Q"));
        QCOMPARE(portal.calls.mid(before), QStringList{QStringLiteral("ListShortcuts")});
        QCOMPARE(portal.openSessions.size(), 1);
        portal.activate();
        QTRY_COMPARE(activated.count(), 1);
    }

    void failuresFallBackWithoutBlocking_data()
    {
        QTest::addColumn<int>("setup");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<bool>("available");
        const int newer = 4;
        QTest::newRow("no portal") << 0 << 0 << QStringLiteral("no desktop portal") << false;
        QTest::newRow("no global shortcuts")
            << 1 << 0 << QStringLiteral("the desktop portal has no global shortcuts") << false;
        QTest::newRow("refused") << 2 << int(FakePortal::Answer::Refuse)
                                 << QStringLiteral("the desktop refused it") << true;
        QTest::newRow("never answers")
            << 2 << int(FakePortal::Answer::Silent) << QStringLiteral("the desktop did not answer") << false;
        QTest::newRow("binding fails")
            << newer << int(FakePortal::Answer::FailBind) << QStringLiteral("the desktop refused it") << true;
        QTest::newRow("user declines") << newer << int(FakePortal::Answer::Decline)
                                       << QStringLiteral("declined in the desktop's dialog") << true;
        QTest::newRow("binds nothing") << newer << int(FakePortal::Answer::BindNothing)
                                       << QStringLiteral("the desktop bound no key") << true;
    }

    void failuresFallBackWithoutBlocking()
    {
        QFETCH(int, setup);
        QFETCH(int, answer);
        QFETCH(QString, reason);
        QFETCH(bool, available);
        std::unique_ptr<FakePortal> portal;
        if (setup > 0) {
            portal = std::make_unique<FakePortal>(bus->address());
            portal->offerShortcuts = setup != 1;
            portal->answer = FakePortal::Answer(answer);
            portal->kind = setup == 4 ? FakePortal::Kind::Newer : FakePortal::Kind::Plasma527;
            portal->offerRegistry = setup == 4;
        }
        GlobalShortcut shortcut(nullptr, GlobalShortcut::Mechanism::Portal);
        QSignalSpy changed(&shortcut, &GlobalShortcut::statusChanged);
        // The call itself never waits for the desktop: it returns with the answer pending.
        QVERIFY(shortcut.setShortcut(key("CTRL+ALT+Q")));
        QCOMPARE(shortcut.status(), GlobalShortcut::Status::Pending);
        QTRY_COMPARE_WITH_TIMEOUT(shortcut.status(), GlobalShortcut::Status::Failed, 15000);
        QCOMPARE(shortcut.errorString(), reason);
        // Without a portal the window tells the user to bind a key to the program
        // instead; with one, why the key is not in force.
        QCOMPARE(shortcut.isAvailable(), available);
        QVERIFY(shortcut.trigger().isEmpty());
        QCOMPARE(changed.count(), 1);
        if (!portal)
            return;
        // A session that may still get a key from the desktop stays open.
        const bool asked =
            answer == int(FakePortal::Answer::Decline) || answer == int(FakePortal::Answer::BindNothing);
        if (asked || answer == int(FakePortal::Answer::FailBind))
            QCOMPARE(portal->openSessions.size(), 1);
        if (!asked)
            return;
        // The user is asked once, not at every start. (The first start ends: its
        // session goes, as when the process ends.)
        shortcut.setShortcut(QKeySequence());
        QTRY_VERIFY(portal->openSessions.isEmpty());
        const qsizetype before = portal->calls.size();
        GlobalShortcut next(nullptr, GlobalShortcut::Mechanism::Portal);
        QVERIFY(next.setShortcut(key("CTRL+ALT+Q")));
        QTRY_COMPARE_WITH_TIMEOUT(next.status(), GlobalShortcut::Status::Failed, 10000);
        QCOMPARE(next.errorString(), reason);
        QVERIFY(portal->calls.mid(before).contains(QStringLiteral("ListShortcuts")));
        QVERIFY(!portal->calls.mid(before).join(QLatin1Char('\n')).contains(QStringLiteral("BindShortcuts")));
    }

    // The portal service restarts while the program runs: the line says so while
    // it is away, and the binding comes back without asking.
    void thePortalComesBack()
    {
        FakePortal portal(bus->address());
        GlobalShortcut shortcut(nullptr, GlobalShortcut::Mechanism::Portal);
        QSignalSpy activated(&shortcut, &GlobalShortcut::activated);
        QVERIFY(shortcut.setShortcut(key("CTRL+ALT+Q")));
        QTRY_COMPARE_WITH_TIMEOUT(shortcut.status(), GlobalShortcut::Status::Active, 10000);
        portal.vanish();
        QTRY_COMPARE_WITH_TIMEOUT(shortcut.status(), GlobalShortcut::Status::Failed, 10000);
        QCOMPARE(shortcut.errorString(), QStringLiteral("the desktop portal stopped"));
        const qsizetype asked = portal.calls.size();
        QVERIFY(portal.comeBack());
        QTRY_COMPARE_WITH_TIMEOUT(shortcut.status(), GlobalShortcut::Status::Active, 10000);
        QCOMPARE(shortcut.trigger(), QStringLiteral("Ctrl+Alt+Q"));
        QVERIFY(!portal.calls.mid(asked).join(QLatin1Char('\n')).contains(QStringLiteral("BindShortcuts")));
        portal.activate();
        QTRY_COMPARE(activated.count(), 1);
    }
};

TOLVANE_TEST_MAIN(TestPortalShortcut)
#include "tst_portalshortcut.moc"
