// GLib first: its headers clash with Qt's "signals" keyword.
#include <gio/gio.h>

#include "catalogfixture.h"
#include "itemsmodel.h"
#include "modalanswer.h"
#include "qlistcomp.h"
#include "qlistedit.h"
#include "searchlineedit.h"
#include "testmain.h"
#include "windowblending.h"

#include <QApplication>
#include <QCursor>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QtTest>

#include <memory>

using namespace CatalogFixture;

// The fades as a user sees them on an X server with a compositing manager: the
// popup and the alias editor fade in over the desktop (not over black) when they
// appear, and the popup does not fade again while it stays up and only its rows
// change.
class TestPopupFade : public QObject
{
    Q_OBJECT

    QProcess compositor;
    std::unique_ptr<QWidget> desktop;
    std::unique_ptr<QWidget> host;
    SearchLineEdit *box = nullptr;

    static QColor screenPixel(const QPoint &global)
    {
        return QGuiApplication::primaryScreen()
            ->grabWindow(0, global.x(), global.y(), 1, 1)
            .toImage()
            .pixelColor(0, 0);
    }

    // A row colour (light grey) blended with the desktop's green: both show. Over
    // black, or before the popup is drawn at all, one of them is missing.
    static bool blendedWithGreen(const QColor &c) { return c.red() > 15 && c.green() > c.red() + 30; }
    static bool showsGreen(const QColor &c) { return c.green() > c.red() + 30; }

private slots:
    void initTestCase()
    {
        removeCatalogFile();
        // Its messages must not fill a pipe nobody reads, or it stops compositing.
        compositor.setStandardOutputFile(QProcess::nullDevice());
        compositor.setStandardErrorFile(QProcess::nullDevice());
        compositor.start(QStringLiteral("xcompmgr"), {QStringLiteral("-n")});
        QVERIFY2(compositor.waitForStarted(10000), "xcompmgr (tools/install-deps.sh --test)");
        QTRY_VERIFY_WITH_TIMEOUT(WindowBlending::available(), 10000);

        // A green desktop under the place of the popup and the editor.
        desktop = std::make_unique<QWidget>(nullptr, Qt::FramelessWindowHint);
        desktop->setAutoFillBackground(true);
        QPalette green;
        green.setColor(QPalette::Window, QColor(0, 200, 0));
        desktop->setPalette(green);
        desktop->setGeometry(0, 0, 800, 600);
        desktop->show();
        QVERIFY(QTest::qWaitForWindowExposed(desktop.get()));

        // The main window's stand-in ends at the box's bottom, so the popup lies
        // over the green desktop only.
        host = std::make_unique<QWidget>(nullptr, Qt::FramelessWindowHint);
        host->setGeometry(100, 100, 450, 93);
        box = new SearchLineEdit(host.get());
        box->setGeometry(17, 70, 280, 23);
        box->Setup();
        for (const char *name : {"Notepad", "notes", "nothing", "nano", "calc"})
            addNamedItem(box->catalog, QString::fromLatin1(name));
        host->show();
        QVERIFY(QTest::qWaitForWindowExposed(host.get()));
        host->activateWindow();
        box->setFocus();
        QTRY_VERIFY(box->hasFocus());
    }

    void cleanupTestCase()
    {
        host.reset();
        desktop.reset();
        compositor.terminate();
        compositor.waitForFinished(10000);
    }

    void popupFadesInOverTheDesktopOnlyWhenItAppears()
    {
        // A point of the second row, away from its text.
        const auto rowPoint = [this] { return box->popupList->mapToGlobal(QPoint(260, 1 + 22 + 11)); };
        const auto key = [](const char *name) {
            QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), QLatin1String(name)});
        };
        key("n");
        QTRY_VERIFY_WITH_TIMEOUT(box->popupList->isVisible() && box->model->rowCount() == 4, 10000);
        // While it fades in, the desktop shows through the rows...
        QTRY_VERIFY_WITH_TIMEOUT(blendedWithGreen(screenPixel(rowPoint())), 10000);
        // ...until they reach their own colour.
        QTRY_COMPARE_WITH_TIMEOUT(screenPixel(rowPoint()), QColor(250, 250, 250), 10000);

        // Typing on changes the rows (four, three, then two), and they stay at
        // full colour all along.
        QSignalSpy queries(box->model, &QAbstractItemModel::modelReset);
        for (const char *next : {"o", "t", "e"}) {
            const qsizetype before = queries.count();
            key(next);
            QTRY_VERIFY_WITH_TIMEOUT(queries.count() > before, 10000);
            QVERIFY(box->popupList->isVisible());
            QDeadlineTimer watch(400);
            while (!watch.hasExpired()) {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
                QCOMPARE(screenPixel(rowPoint()), QColor(250, 250, 250));
            }
        }
        QCOMPARE(box->model->rowCount(), 2);

        // Closed and opened again, it fades in again.
        key("Escape");
        QTRY_VERIFY(!box->popupList->isVisible());
        key("BackSpace"); // the completed tail
        key("BackSpace");
        key("e");
        QTRY_VERIFY_WITH_TIMEOUT(box->popupList->isVisible() && box->model->rowCount() == 2, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(blendedWithGreen(screenPixel(rowPoint())), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(screenPixel(rowPoint()), QColor(250, 250, 250), 10000);
    }

    void aliasEditorFadesInOverTheDesktop()
    {
        if (!box->popupList->isVisible())
            box->setCompleter(QStringLiteral("note"));
        QVERIFY(box->popupList->isVisible());
        bool blended = false;
        QColor last;
        whenModalShows<QListEdit>([&](QListEdit *editor) {
            // A point of the editor's background image right of the popup, below the
            // edit button: the desktop lies under it.
            const QPoint inside = editor->mapToGlobal(QPoint(250, 30));
            QDeadlineTimer deadline(10000);
            while (!deadline.hasExpired() && !blended) {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
                blended = blendedWithGreen(screenPixel(inside));
            }
            QDeadlineTimer settle(10000);
            while (!settle.hasExpired() && showsGreen(last = screenPixel(inside)))
                QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            editor->reject();
        });
        QCursor::setPos(box->editButton->mapToGlobal(QPoint(12, 12)));
        QTest::mouseClick(box->editButton, Qt::LeftButton);
        QVERIFY(blended);
        QVERIFY2(!showsGreen(last), qPrintable(last.name()));
    }

    // Where the desktop turns animations off, the popup shows its rows at full
    // colour in its first frame (GSettings runs on its memory backend here).
    void popupAppearsAtOnceWithAnimationsOff_data()
    {
        QTest::addColumn<QString>("desktop");
        QTest::newRow("KDE, AnimationDurationFactor 0") << QStringLiteral("kde");
        QTest::newRow("GNOME, enable-animations false") << QStringLiteral("gnome");
    }

    void popupAppearsAtOnceWithAnimationsOff()
    {
        QFETCH(QString, desktop);
        const QString kdeglobals = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                                   QStringLiteral("/kdeglobals");
        GSettings *gnome = g_settings_new("org.gnome.desktop.interface");
        const auto restore = qScopeGuard([&] {
            QFile::remove(kdeglobals);
            g_settings_reset(gnome, "enable-animations");
            g_object_unref(gnome);
        });
        if (desktop == QLatin1String("kde")) {
            QVERIFY(QDir().mkpath(QFileInfo(kdeglobals).path()));
            QFile file(kdeglobals);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("[KDE]\nAnimationDurationFactor=0\n");
        } else {
            QVERIFY(g_settings_set_boolean(gnome, "enable-animations", FALSE));
        }

        box->HidePopup();
        box->clear();
        QTRY_VERIFY(!box->popupList->isVisible());
        QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("n")});
        QTRY_VERIFY_WITH_TIMEOUT(box->popupList->isVisible(), 10000);
        const QPoint rowPoint = box->popupList->mapToGlobal(QPoint(260, 1 + 22 + 11));
        // The first frame that covers the desktop is the row's own colour, and it stays.
        QTRY_VERIFY_WITH_TIMEOUT(screenPixel(rowPoint) != QColor(0, 200, 0), 10000);
        QDeadlineTimer watch(300);
        do {
            QCOMPARE(screenPixel(rowPoint), QColor(250, 250, 250));
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        } while (!watch.hasExpired());
    }
};

TOLVANE_TEST_MAIN(TestPopupFade)
#include "test_popupfade.moc"
