// GLib first: its headers use "signals", which Qt defines as a keyword.
#include <gio/gio.h>

#include "fakeportal.h"
#include "globalshortcut.h"
#include "testmain.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>

#include <memory>

// The hotkey as a custom shortcut in GNOME's keyboard settings, against the real
// GSettings schemas and a real dconf service on a private bus: what the program
// writes, what it leaves alone, and what it says when GNOME already uses the key.
class TestGnomeShortcut : public QObject
{
    Q_OBJECT

    std::unique_ptr<PrivateBus> bus;
    QProcess dconf;

    static constexpr const char *MediaKeys = "org.gnome.settings-daemon.plugins.media-keys";
    static constexpr const char *Custom = "org.gnome.settings-daemon.plugins.media-keys.custom-keybinding";
    static QString base()
    {
        return QStringLiteral("/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/");
    }

    static QStringList customList()
    {
        GSettings *settings = g_settings_new(MediaKeys);
        gchar **values = g_settings_get_strv(settings, "custom-keybindings");
        QStringList result;
        for (gchar **value = values; *value; ++value)
            result << QString::fromUtf8(*value);
        g_strfreev(values);
        g_object_unref(settings);
        return result;
    }

    static void setList(const QStringList &paths)
    {
        QList<QByteArray> bytes;
        std::vector<const gchar *> pointers;
        for (const QString &path : paths)
            bytes << path.toUtf8();
        for (const QByteArray &path : std::as_const(bytes))
            pointers.push_back(path.constData());
        pointers.push_back(nullptr);
        GSettings *settings = g_settings_new(MediaKeys);
        g_settings_set_strv(settings, "custom-keybindings", pointers.data());
        g_settings_sync();
        g_object_unref(settings);
    }

    // An entry as "name|command|binding".
    static QString entry(const QString &path)
    {
        GSettings *settings = g_settings_new_with_path(Custom, path.toUtf8().constData());
        QStringList parts;
        for (const char *key : {"name", "command", "binding"}) {
            gchar *value = g_settings_get_string(settings, key);
            parts << QString::fromUtf8(value);
            g_free(value);
        }
        g_object_unref(settings);
        return parts.join(QLatin1Char('|'));
    }

    static void setEntry(const QString &path, const QString &value)
    {
        GSettings *settings = g_settings_new_with_path(Custom, path.toUtf8().constData());
        const QStringList parts = value.split(QLatin1Char('|'));
        int i = 0;
        for (const char *key : {"name", "command", "binding"})
            g_settings_set_string(settings, key, parts.value(i++).toUtf8().constData());
        g_settings_sync();
        g_object_unref(settings);
    }

    // Entries of other programs (and broken ones) as the user's settings hold them.
    struct Given
    {
        QStringList list;
        QMap<QString, QString> entries;
    };

    static void give(const Given &given)
    {
        for (auto it = given.entries.begin(); it != given.entries.end(); ++it)
            setEntry(it.key(), it.value());
        setList(given.list);
    }

    static QString self() { return QCoreApplication::applicationFilePath(); }

    // The entries that run this program.
    static QStringList own()
    {
        QStringList paths;
        for (const QString &path : customList())
            if (path.startsWith(QLatin1Char('/')) && path.endsWith(QLatin1Char('/')) &&
                entry(path).section(QLatin1Char('|'), 1, 1).remove(QLatin1Char('\'')) == self())
                paths << path;
        return paths;
    }

private slots:
    // The second run plays a machine without GNOME: no schemas where GSettings looks.
    static bool withoutGnome() { return qEnvironmentVariableIsSet("TOLVANE_TEST_NO_GNOME_SCHEMAS"); }

    void initTestCase()
    {
        // GSettings reads the installed schemas; dconf-service writes the sandbox's
        // settings file, on a bus of the test's own.
        if (withoutGnome())
            return;
        qputenv("XDG_DATA_DIRS", qgetenv("XDG_DATA_DIRS") + ":/usr/local/share:/usr/share");
        qputenv("GSETTINGS_BACKEND", "dconf");
        bus = std::make_unique<PrivateBus>();
        QVERIFY(bus->isRunning());
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus->address().toUtf8());
        dconf.start(QStringLiteral("/usr/libexec/dconf-service"), {});
        QVERIFY(dconf.waitForStarted());
        QDBusConnection connection = QDBusConnection::connectToBus(bus->address(), QStringLiteral("probe"));
        QTRY_VERIFY(connection.interface()->isServiceRegistered(QStringLiteral("ca.desrt.dconf")));
        QDBusConnection::disconnectFromBus(QStringLiteral("probe"));
        GSettingsSchemaSource *source = g_settings_schema_source_get_default();
        GSettingsSchema *schema = g_settings_schema_source_lookup(source, Custom, TRUE);
        QVERIFY2(schema, "gnome-settings-daemon's schemas are not installed");
        g_settings_schema_unref(schema);
    }

    void cleanupTestCase()
    {
        if (withoutGnome())
            return;
        dconf.terminate();
        dconf.waitForFinished();
        bus.reset();
    }

    void init()
    {
        const bool onlyWithout = QByteArray(QTest::currentTestFunction()) == "withoutGnomeNothingIsWritten";
        if (withoutGnome() != onlyWithout)
            QSKIP(withoutGnome() ? "a run with GNOME's schemas" : "a run without GNOME's schemas");
        if (!withoutGnome())
            give({{}, {}});
    }

    // Not GNOME: the session does not choose this mechanism, and asked for anyway it
    // says why and writes nothing, without waiting for anything.
    void withoutGnomeNothingIsWritten()
    {
        qputenv("XDG_CURRENT_DESKTOP", "GNOME");
        GlobalShortcut shortcut(nullptr, GlobalShortcut::Mechanism::DesktopShortcut);
        QVERIFY(!shortcut.isAvailable());
        QVERIFY(!shortcut.setShortcut(QKeySequence(QStringLiteral("Ctrl+Alt+Q"))));
        QCOMPARE(shortcut.status(), GlobalShortcut::Status::Failed);
        QCOMPARE(shortcut.errorString(), QStringLiteral("GNOME's keyboard settings are not installed"));
        QVERIFY(!shortcut.setShortcut(QKeySequence()));
    }

    void theKeyBecomesOneCustomShortcut_data()
    {
        QTest::addColumn<QStringList>("list");
        QTest::addColumn<QStringList>("entries"); // path, name|command|binding, ...
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("binding"); // written; empty when nothing is taken
        QTest::addColumn<QString>("error");
        const QString other = base() + QStringLiteral("custom0/");
        const QString terminal = QStringLiteral("Terminal|/usr/bin/other-terminal|<Super>t");
        QTest::newRow("fresh") << QStringList{} << QStringList{} << "Ctrl+Alt+Q"
                               << "<Control><Alt>q"
                               << "";
        QTest::newRow("beside another program's")
            << QStringList{other} << QStringList{other, terminal} << "Ctrl+Alt+Q"
            << "<Control><Alt>q"
            << "";
        QTest::newRow("broken entries stay")
            << QStringList{QStringLiteral("no-path"), base() + "custom7/", other}
            << QStringList{other, terminal} << "Ctrl+Alt+K"
            << "<Control><Alt>k"
            << "";
        QTest::newRow("old entries of ours become one")
            << QStringList{base() + "a/", other, base() + "b/"}
            << QStringList{base() + "a/", "Tolvane|" + self() + "|<Alt>F2",  other, terminal,
                           base() + "b/", "Tolvane|'" + self() + "'|<Alt>F3"}
            << "Ctrl+Shift+F5"
            << "<Control><Shift>F5"
            << "";
        QTest::newRow("held by the window manager") << QStringList{} << QStringList{} << "Alt+Tab"
                                                    << ""
                                                    << "GNOME's shortcut \"Switch applications\" uses it";
        QTest::newRow("held by media keys") << QStringList{} << QStringList{} << "Ctrl+Alt+Delete"
                                            << ""
                                            << "GNOME's shortcut \"Log out\" uses it";
        QTest::newRow("held by the shell's keyboard layouts")
            << QStringList{} << QStringList{} << "Meta+Space"
            << ""
            << "GNOME's shortcut \"Switch input source\" uses it";
        QTest::newRow("held by another custom shortcut")
            << QStringList{other} << QStringList{other, terminal} << "Meta+T"
            << ""
            << "GNOME's shortcut \"Terminal\" uses it";
        QTest::newRow("held by a copy in another folder")
            << QStringList{other} << QStringList{other, "Tolvane|/opt/tolvane/tolvane|<Primary><Alt>Q"}
            << "Ctrl+Alt+Q"
            << ""
            << "GNOME's shortcut \"Tolvane\" uses it";
    }

    void theKeyBecomesOneCustomShortcut()
    {
        QFETCH(QStringList, list);
        QFETCH(QStringList, entries);
        QFETCH(QString, key);
        QFETCH(QString, binding);
        QFETCH(QString, error);
        Given given{list, {}};
        for (int i = 0; i + 1 < entries.size(); i += 2)
            given.entries.insert(entries.at(i), entries.at(i + 1));
        give(given);
        const QStringList oursBefore = own();
        QMap<QString, QString> before;
        for (const QString &path : list)
            if (path.startsWith(QLatin1Char('/')) && !oursBefore.contains(path))
                before.insert(path, entry(path));

        GlobalShortcut shortcut(nullptr, GlobalShortcut::Mechanism::DesktopShortcut);
        QCOMPARE(shortcut.mechanism(), GlobalShortcut::Mechanism::DesktopShortcut);
        QVERIFY(shortcut.isAvailable());
        const bool taken = shortcut.setShortcut(QKeySequence(key));
        QCOMPARE(taken, !binding.isEmpty());
        QCOMPARE(shortcut.errorString(), error);
        const QStringList ours = own();
        if (binding.isEmpty()) {
            QVERIFY(ours.isEmpty());
        } else {
            QCOMPARE(shortcut.status(), GlobalShortcut::Status::Active);
            QCOMPARE(shortcut.trigger(),
                     QKeySequence(key).toString(QKeySequence::NativeText).replace("Meta", "Super"));
            QCOMPARE(ours.size(), 1);
            QCOMPARE(entry(ours.first()), "Tolvane|" + self() + "|" + binding);
            QVERIFY(oursBefore.isEmpty() || oursBefore.contains(ours.first()));
        }
        // Every other entry, broken or not, is where and as it was.
        QStringList others = customList();
        for (const QString &path : ours)
            others.removeAll(path);
        QStringList expected = list;
        for (const QString &path : oursBefore)
            expected.removeAll(path);
        QCOMPARE(others, expected);
        for (auto it = before.begin(); it != before.end(); ++it)
            QCOMPARE(entry(it.key()), it.value());
    }

    void aNewKeyMovesTheShortcutAndClearingRemovesIt()
    {
        const QString other = base() + QStringLiteral("custom0/");
        give({{other}, {{other, QStringLiteral("Terminal|/usr/bin/other-terminal|<Super>t")}}});
        GlobalShortcut shortcut(nullptr, GlobalShortcut::Mechanism::DesktopShortcut);
        QVERIFY(shortcut.setShortcut(QKeySequence(QStringLiteral("Ctrl+Alt+Q"))));
        const QStringList first = own();
        QCOMPARE(first.size(), 1);
        // A later start (a new object) finds its entry again instead of adding one.
        GlobalShortcut again(nullptr, GlobalShortcut::Mechanism::DesktopShortcut);
        QVERIFY(again.setShortcut(QKeySequence(QStringLiteral("Ctrl+Alt+W"))));
        QCOMPARE(own(), first);
        QCOMPARE(entry(first.first()), "Tolvane|" + self() + "|<Control><Alt>w");
        QCOMPARE(again.trigger(), QStringLiteral("Ctrl+Alt+W"));
        QCOMPARE(customList(), (QStringList{other, first.first()}));
        QVERIFY(!again.setShortcut(QKeySequence()));
        QCOMPARE(again.status(), GlobalShortcut::Status::Failed);
        QCOMPARE(customList(), QStringList{other});
        QCOMPARE(entry(other), QStringLiteral("Terminal|/usr/bin/other-terminal|<Super>t"));
        QCOMPARE(entry(first.first()), QStringLiteral("||"));
    }

    // The user gives the shortcut another key in GNOME's settings: the trigger follows.
    void anEditInGnomesSettingsIsFollowed()
    {
        GlobalShortcut shortcut(nullptr, GlobalShortcut::Mechanism::DesktopShortcut);
        QSignalSpy changed(&shortcut, &GlobalShortcut::statusChanged);
        QVERIFY(shortcut.setShortcut(QKeySequence(QStringLiteral("Ctrl+Alt+Q"))));
        setEntry(own().value(0), "Tolvane|" + self() + "|<Super>F7");
        QTRY_COMPARE(shortcut.trigger(), QStringLiteral("Super+F7"));
        QCOMPARE(shortcut.status(), GlobalShortcut::Status::Active);
    }

    // Last: the settings file can no longer be written (its folder is a file).
    void aDatabaseThatCannotBeWrittenIsReported()
    {
        const QString other = base() + QStringLiteral("custom0/");
        give({{other}, {{other, QStringLiteral("Terminal|/usr/bin/other-terminal|<Super>t")}}});
        const QString folder = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/dconf");
        QVERIFY(QFile::exists(folder + QStringLiteral("/user")));
        // The settings written so far stay readable where the service keeps them open.
        QVERIFY(QDir().rename(folder, folder + QStringLiteral(".moved")));
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();

        GlobalShortcut shortcut(nullptr, GlobalShortcut::Mechanism::DesktopShortcut);
        QSignalSpy changed(&shortcut, &GlobalShortcut::statusChanged);
        shortcut.setShortcut(QKeySequence(QStringLiteral("Ctrl+Alt+Q")));
        QTRY_COMPARE_WITH_TIMEOUT(shortcut.status(), GlobalShortcut::Status::Failed, 10000);
        QCOMPARE(shortcut.errorString(), QStringLiteral("GNOME's keyboard settings could not be saved"));
        QVERIFY(own().isEmpty());
        // The user's settings are as they were on disk (nothing was written).
        QFile moved(folder + QStringLiteral(".moved/user"));
        QVERIFY(moved.open(QIODevice::ReadOnly));
        QVERIFY(moved.readAll().contains("/usr/bin/other-terminal"));
    }
};

TOLVANE_TEST_MAIN(TestGnomeShortcut)
#include "tst_gnomeshortcut.moc"
