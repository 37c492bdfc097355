#include "catalogfixture.h"
#include "itemsmodel.h"
#include "modalanswer.h"
#include "qitemviewdelegate.h"
#include "qlistcomp.h"
#include "qlistedit.h"
#include "searchlineedit.h"
#include "testicontheme.h"
#include "testmain.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QGraphicsOpacityEffect>
#include <QLineEdit>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <memory>

using namespace CatalogFixture;

// The popup on a real X server: what it looks like (screenshots, saved as PNG
// files to TOLVANE_SHOT_DIR when that is set), real pointer crossings, and real
// keys typed into the alias editor.
class TestPopupShot : public QObject
{
    Q_OBJECT

    std::unique_ptr<QWidget> host;
    SearchLineEdit *box = nullptr;
    TestIconTheme::RealWorldIcons realWorld;

    void open(bool big)
    {
        removeCatalogFile();
        host = std::make_unique<QWidget>();
        host->setGeometry(100, 100, 450, 126);
        box = new SearchLineEdit(host.get());
        box->setGeometry(17, 70, 280, 23);
        box->Setup();
        const QStringList names = {"Notepad", "notes", "Banana Notebook", "keynote", "denote"};
        const QStringList files = {"notepad.txt", "notes", "notebook.sh", "keynote.desktop", "denote.png"};
        for (int i = 0; i < names.size(); ++i)
            addItem(box->catalog, names.at(i), itemPath(files.at(i)), true);
        box->delegate->setBigIcon(big);
        host->show();
        QVERIFY(QTest::qWaitForWindowExposed(host.get()));
        host->activateWindow();
        box->setFocus();
        QTRY_VERIFY(box->hasFocus());
    }

    // The screen under the box, the popup and the edit button.
    QImage grabPopup() const
    {
        const QPoint at = box->mapToGlobal(QPoint(-4, -4));
        const QSize size(box->width() + 34, box->height() + box->popupList->height() + 12);
        return QGuiApplication::primaryScreen()
            ->grabWindow(0, at.x(), at.y(), size.width(), size.height())
            .toImage();
    }

    void save(const QImage &image, const QString &name) const
    {
        const QString dir = qEnvironmentVariable("TOLVANE_SHOT_DIR");
        if (!dir.isEmpty()) {
            QDir().mkpath(dir);
            QVERIFY(image.save(dir + QLatin1Char('/') + name));
        }
    }

    void waitForTheFade()
    {
        auto effect = qobject_cast<QGraphicsOpacityEffect *>(box->popupList->graphicsEffect());
        QVERIFY(effect);
        QTRY_COMPARE(effect->opacity(), 1.0);
        QApplication::processEvents();
    }

private slots:
    void initTestCase()
    {
        qRegisterMetaType<QMouseEvent *>();
        // The system's icons, so the picture shows real ones.
        QIcon::setThemeSearchPaths({QStringLiteral("/usr/share/icons")});
        QIcon::setThemeName(QStringLiteral("Adwaita"));
        realWorld = TestIconTheme::RealWorldIcons::install();
    }

    void cleanup() { host.reset(); }

    void popupWithFiveRows_data()
    {
        QTest::addColumn<bool>("big");
        QTest::newRow("small") << false;
        QTest::newRow("big") << true;
    }

    void popupWithFiveRows()
    {
        QFETCH(bool, big);
        open(big);
        const int h = big ? 40 : 22;
        QTest::keyClicks(box, QStringLiteral("note"));
        QCOMPARE(box->model->rowCount(), 5);
        QTest::keyClick(box, Qt::Key_Down);
        waitForTheFade();
        QTRY_VERIFY(box->popupList->isVisible() && box->editButton->isVisible());

        const QImage shot = grabPopup();
        save(shot, big ? QStringLiteral("popup-big.png") : QStringLiteral("popup-small.png"));

        // In the picture: popup frame, row 1 selected, the others in the row colour,
        // the edit button right of the popup level with row 1.
        const QPoint popup = box->popupList->mapToGlobal(QPoint(0, 0)) - box->mapToGlobal(QPoint(-4, -4));
        QCOMPARE(shot.pixelColor(popup + QPoint(0, 10)), QColor(65, 65, 79));
        QCOMPARE(shot.pixelColor(popup + QPoint(260, 1 + h + h / 2)), QColor(107, 148, 183));
        QCOMPARE(shot.pixelColor(popup + QPoint(260, 1 + h / 2)), QColor(250, 250, 250));
        QCOMPARE(shot.pixelColor(popup + QPoint(260, 1 + 4 * h + h / 2)), QColor(250, 250, 250));
        const QPoint button = box->editButton->mapToGlobal(QPoint(0, 0)) - box->mapToGlobal(QPoint(-4, -4));
        QCOMPARE(button, popup + QPoint(280, 2 + h));
        QCOMPARE(shot.pixelColor(button + QPoint(1, 1)), QColor(200, 230, 100));
    }

    // Big rows of applications as they are installed: each shows the icon its
    // entry names (compared on the screen with the icon drawn directly) and, on
    // its second line, the command it starts.
    void bigRowsWithApplicationIcons()
    {
        removeCatalogFile();
        host = std::make_unique<QWidget>();
        host->setGeometry(100, 100, 450, 126);
        box = new SearchLineEdit(host.get());
        box->setGeometry(17, 70, 280, 23);
        box->Setup();
        box->SetMaxCmbCount(6);
        box->delegate->setBigIcon(true);
        struct App
        {
            const char *name;
            QString icon;
            QString file; // drawn directly for the comparison; empty: not compared
            const char *exec;
        };
        const QList<App> apps = {
            {"Demo Vector Editor", realWorld.svg, realWorld.svgFile, "vector-editor --new-window %U"},
            {"Demo Photo Viewer", realWorld.png, realWorld.pngFile, "\"/opt/Photo Viewer/bin/viewer\" %F"},
            {"Demo Old Tool", realWorld.pixmap, realWorld.pixmapFile, "oldtool -geometry 80x24"},
            {"Demo Opt Suite", realWorld.absoluteFile, realWorld.absoluteFile, "/opt/suite/run.sh %u"},
            {"Demo Terminal", QStringLiteral("utilities-terminal"), QString(), "x-terminal-emulator"},
            {"Demo Missing Icon", realWorld.missing, QString(), "missing-icon-app %f"}};
        QMap<QString, QString> fileOf;
        for (const App &app : apps) {
            const QString entry = writeRawDesktopEntry(
                QString::fromLatin1(app.name).toLower().replace(' ', '-') + QStringLiteral(".desktop"),
                "[Desktop Entry]\nType=Application\nName=" + QByteArray(app.name) + "\nExec=" + app.exec +
                    "\nIcon=" + app.icon.toUtf8() + "\n",
                TestSandbox::path(QStringLiteral("entries")));
            addItem(box->catalog, QString::fromLatin1(app.name), entry);
            fileOf.insert(QString::fromLatin1(app.name), app.file);
        }
        host->show();
        QVERIFY(QTest::qWaitForWindowExposed(host.get()));
        host->activateWindow();
        box->setFocus();
        QTRY_VERIFY(box->hasFocus());
        QTest::keyClicks(box, QStringLiteral("demo"));
        QCOMPARE(box->model->rowCount(), 6);
        waitForTheFade();
        const QImage shot = grabPopup();
        save(shot, QStringLiteral("popup-big-applications.png"));

        const QPoint popup = box->popupList->mapToGlobal(QPoint(0, 0)) - box->mapToGlobal(QPoint(-4, -4));
        int compared = 0;
        for (int row = 1; row < box->model->rowCount(); ++row) {
            const APPBLOCK item = box->model->items.at(row);
            const QString file = fileOf.value(item.alias);
            if (file.isEmpty())
                continue;
            // The row's icon place, 2 px right and 3 px down of the row inside the frame.
            const QRect place(popup + QPoint(1 + 2, 1 + row * 40 + 3), QSize(32, 32));
            QImage expected(32, 32, QImage::Format_ARGB32);
            expected.fill(QColor(250, 250, 250));
            QPainter painter(&expected);
            painter.drawPixmap(QRect(0, 0, 32, 32), QIcon(file).pixmap(QSize(32, 32)));
            painter.end();
            QVERIFY2(TestIconTheme::largestDifference(shot.copy(place).convertToFormat(QImage::Format_ARGB32),
                                                      expected) <= 8,
                     qPrintable(item.alias));
            ++compared;
        }
        QVERIFY(compared >= 3);
    }

    // With a real pointer the list reports each crossing once.
    void realPointerCrossings()
    {
        open(false);
        QTest::keyClicks(box, QStringLiteral("note"));
        QListComp *list = box->popupList;
        QTRY_VERIFY(list->isVisible());
        QSignalSpy focus(list, &QListComp::listfocus);
        QSignalSpy moves(list, &QListComp::mouseMoveSignal);
        QCursor::setPos(box->mapToGlobal(QPoint(40, -30)));
        QTRY_COMPARE(QCursor::pos(), box->mapToGlobal(QPoint(40, -30)));
        focus.clear();
        QCursor::setPos(list->viewport()->mapToGlobal(QPoint(40, 3 * 22 + 5)));
        QTRY_COMPARE(focus.count(), 1);
        QCOMPARE(focus.at(0).at(0).toBool(), true);
        QTRY_COMPARE(list->currentIndex().row(), 3);
        // Upwards, away from the tool tip, which shows below the pointer.
        QCursor::setPos(list->viewport()->mapToGlobal(QPoint(50, 5)));
        QTRY_VERIFY(moves.count() >= 2);
        QTRY_COMPARE(list->currentIndex().row(), 0);
        QCOMPARE(focus.count(), 1);
        QCursor::setPos(box->mapToGlobal(QPoint(40, -30)));
        QTRY_COMPARE(focus.count(), 2);
        QCOMPARE(focus.at(1).at(0).toBool(), false);
        QVERIFY(!box->listHasMouse);
    }

    // Keys typed on the keyboard reach the alias editor's field.
    void realKeysReachTheAliasEditor()
    {
        open(false);
        QTest::keyClicks(box, QStringLiteral("keyn"));
        QTRY_VERIFY(box->editButton->isVisible());
        const QString rowid = box->model->items.at(0).rowid;
        QString typed;
        QImage shot;
        bool accepted = false;
        whenModalShows<QListEdit>([&](QListEdit *editor) {
            // Never leave the run hanging if the keys go elsewhere.
            QTimer::singleShot(8000, editor, &QDialog::reject);
            QTimer::singleShot(600, editor, [&typed, &shot, editor] {
                const QRect area = editor->frameGeometry().adjusted(-6, -6, 6, 6);
                shot = QGuiApplication::primaryScreen()
                           ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
                           .toImage();
                editor->textField->selectAll();
                QProcess::execute(QStringLiteral("xdotool"), {"type", "--delay", "20", "Tolvane"});
                QProcess::execute(QStringLiteral("xdotool"), {"key", "Return"});
                QTimer::singleShot(500, editor, [&typed, editor] { typed = editor->textField->text(); });
            });
        });
        QCursor::setPos(box->editButton->mapToGlobal(QPoint(12, 12)));
        QTest::mouseClick(box->editButton, Qt::LeftButton);
        accepted = rows(QStringLiteral("SELECT alias FROM ITEMBOX WHERE rowid = ") + rowid) ==
                   QStringList({"Tolvane"});
        QVERIFY2(accepted, qPrintable(typed));
        save(shot, QStringLiteral("editor.png"));
        // The editor's background image is drawn, the corners outside it stay clear.
        QVERIFY(!shot.isNull());
        QVERIFY(shot.pixelColor(6 + 100, 6 + 40) != shot.pixelColor(6 + 268, 6 + 48));
    }
};

TOLVANE_TEST_MAIN(TestPopupShot)
#include "test_popupshot.moc"
