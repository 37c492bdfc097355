#include "catalogfixture.h"
#include "dialog.h"
#include "itemdatabase.h"
#include "itemsmodel.h"
#include "modalanswer.h"
#include "qlistcomp.h"
#include "qlistedit.h"
#include "searchlineedit.h"
#include "testmain.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTimer>
#include <QWindow>

#include <memory>

// The main window in this process on a real Wayland compositor (headless sway):
// the result list, the edit button and the alias editor are popups of the main
// window (placed relative to it, no windows of their own in the compositor's
// tree), the editor takes the keyboard, and a drag asks the compositor to move
// the window.
class TestWaylandWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<MessageBoxAnswerer> boxes;

    static QString configFile()
    {
        return QCoreApplication::applicationDirPath() + QStringLiteral("/config.ini");
    }

    // The compositor's windows of this process.
    static int ownWindows()
    {
        QProcess p;
        p.start(QStringLiteral("swaymsg"),
                {QStringLiteral("-r"), QStringLiteral("-t"), QStringLiteral("get_tree")});
        p.waitForFinished(10000);
        QList<QJsonObject> stack{QJsonDocument::fromJson(p.readAllStandardOutput()).object()};
        int count = 0;
        while (!stack.isEmpty()) {
            const QJsonObject node = stack.takeLast();
            count += node.value(QStringLiteral("pid")).toInteger() == QCoreApplication::applicationPid();
            for (const char *key : {"nodes", "floating_nodes"})
                for (const QJsonValue &child : node.value(QLatin1String(key)).toArray())
                    stack << child.toObject();
        }
        return count;
    }

    static std::unique_ptr<Dialog> makeWindow()
    {
        auto window = std::make_unique<Dialog>();
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            return nullptr;
        return window;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(QGuiApplication::platformName().startsWith(QLatin1String("wayland")));
        // No desktop portal for this process's hotkey.
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/tolvane-test-bus");
    }

    void init()
    {
        CatalogFixture::resetSandbox();
        {
            auto db = CatalogFixture::openFreshCatalog();
            CatalogFixture::addItem(*db, QStringLiteral("calc"),
                                    CatalogFixture::itemPath(QStringLiteral("calc")));
            CatalogFixture::addItem(*db, QStringLiteral("calendar"),
                                    CatalogFixture::itemPath(QStringLiteral("calendar")));
        }
        QSettings config(configFile(), QSettings::IniFormat);
        config.setValue(QStringLiteral("maxcount"), 5);
        config.setValue(QStringLiteral("transparency"), 100);
        config.setValue(QStringLiteral("hotkey"), QStringLiteral("CTRL+ALT+Q"));
        boxes = std::make_unique<MessageBoxAnswerer>();
    }

    void cleanup() { boxes.reset(); }

    void theListAndTheEditButtonArePopupsOfTheWindow()
    {
        auto w = makeWindow();
        QVERIFY(w);
        QCOMPARE(boxes->texts, QStringList());
        w->edtSearch->setFocus();
        QTest::keyClicks(w->edtSearch, QStringLiteral("ca"));
        SearchLineEdit *box = w->edtSearch;
        QTRY_VERIFY(box->popupList->isVisible());
        QVERIFY(box->editButton->isVisible());
        QCOMPARE(box->popupList->windowHandle()->transientParent(), w->windowHandle());
        QCOMPARE(box->editButton->windowHandle()->transientParent(), w->windowHandle());
        // Under the box, relative to the window.
        const QPoint origin = box->mapToGlobal(QPoint(0, box->height()));
        QCOMPARE(box->popupList->pos(), origin);
        QCOMPARE(box->editButton->pos(), origin + QPoint(box->width(), 2));
        QTRY_VERIFY(box->popupList->windowHandle()->isExposed());
        // Popups are no windows of their own: the compositor lists only the main window.
        QTRY_COMPARE(ownWindows(), 1);

        // The edit button follows the highlighted row (a popup shown anew there).
        QTest::keyClick(box, Qt::Key_Down);
        QCOMPARE(box->currentRow, 1);
        QCOMPARE(box->editButton->pos(), origin + QPoint(box->width(), 2 + box->rowHeight()));
        QVERIFY(box->editButton->isVisible());
        QTRY_VERIFY(box->editButton->windowHandle()->isExposed());
        QCOMPARE(ownWindows(), 1);
    }

    void theAliasEditorOpensAsAPopupAndRuns()
    {
        auto w = makeWindow();
        QVERIFY(w);
        SearchLineEdit *box = w->edtSearch;
        // Real keys: a grabbing popup needs the serial of a real input event (a
        // user clicks the edit button); the keyboard stays while the editor runs.
        QProcess typing;
        typing.start(QStringLiteral("wtype"),
                     {QStringLiteral("-s"), QStringLiteral("150"), QStringLiteral("calc"),
                      QStringLiteral("-s"), QStringLiteral("20000")});
        QTRY_VERIFY_WITH_TIMEOUT(box->popupList->isVisible(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(box->toPlainText(), QStringLiteral("calc"), 10000);

        bool shown = false;
        whenModalShows<QListEdit>([&](QListEdit *editor) {
            // Never left hanging, whatever happens below.
            QTimer::singleShot(15000, editor, &QDialog::reject);
            QCOMPARE(editor->windowHandle()->transientParent(), w->windowHandle());
            QTRY_VERIFY(editor->windowHandle()->isExposed());
            // Taking the keyboard as it opens does not close the list, which would
            // cancel the editor before it runs.
            QVERIFY(editor->isVisible());
            QVERIFY(box->popupList->isVisible());
            QCOMPARE(ownWindows(), 1);
            shown = true;
            editor->textField->setFocus();
            QTest::keyClicks(editor->textField, QStringLiteral("X"));
            QTest::keyClick(editor->textField, Qt::Key_Return);
        });
        const int row = box->popupList->currentIndex().row();
        box->EditIndexSlot();
        typing.kill();
        typing.waitForFinished(5000);
        QVERIFY(shown);
        QCOMPARE(box->model->items.at(row).alias, QStringLiteral("calcX"));
    }

    void aDragAsksTheCompositorAndNothingBreaks()
    {
        auto w = makeWindow();
        QVERIFY(w);
        w->edtSearch->setFocus();
        QTest::keyClicks(w->edtSearch, QStringLiteral("ca"));
        QTRY_VERIFY(w->edtSearch->popupList->isVisible());
        QTRY_COMPARE(ownWindows(), 1);
        QSignalSpy moved(w.get(), &Dialog::MoveDlg);
        // A press on the background: the compositor's interactive move.
        QTest::mousePress(w.get(), Qt::LeftButton, Qt::NoModifier, QPoint(200, 10));
        QTest::mouseMove(w.get(), QPoint(260, 40));
        QTest::mouseRelease(w.get(), Qt::LeftButton, Qt::NoModifier, QPoint(260, 40));
        QCOMPARE(moved.count(), 1);
        // As on any move, the list closes; the window is still there and works.
        QVERIFY(!w->edtSearch->popupList->isVisible());
        QVERIFY(w->isVisible());
        QTest::keyClicks(w->edtSearch, QStringLiteral("l"));
        QTRY_VERIFY(w->edtSearch->popupList->isVisible());
        QCOMPARE(ownWindows(), 1);
    }
};

TOLVANE_TEST_MAIN(TestWaylandWindow)
#include "tst_waylandwindow.moc"
