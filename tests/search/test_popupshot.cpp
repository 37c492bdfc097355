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
#include <QDeadlineTimer>
#include <QDir>
#include <QGraphicsOpacityEffect>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QSignalSpy>
#include <QStyleOptionViewItem>
#include <QTimer>
#include <QtTest>

#include <memory>

using namespace CatalogFixture;

namespace {

// Counts the paint events a widget receives.
class PaintCounter : public QObject
{
public:
    explicit PaintCounter(QWidget *widget) { widget->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++count;
        return false;
    }
};

// The keys released on a widget, in order.
class KeyReleaseCounter : public QObject
{
public:
    explicit KeyReleaseCounter(QWidget *widget) { widget->installEventFilter(this); }
    QList<int> keys;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::KeyRelease)
            keys << static_cast<QKeyEvent *>(event)->key();
        return false;
    }
};

} // namespace

// The popup on a real X server: what it looks like (screenshots, saved as PNG
// files to TOLVANE_SHOT_DIR when that is set), real pointer crossings, and real
// keys typed into the alias editor.
class TestPopupShot : public QObject
{
    Q_OBJECT

    std::unique_ptr<QWidget> host;
    SearchLineEdit *box = nullptr;
    TestIconTheme::RealWorldIcons realWorld;

    void
    open(bool big, const QStringList &names = {"Notepad", "notes", "Banana Notebook", "keynote", "denote"},
         const QStringList &files = {"notepad.txt", "notes", "notebook.sh", "keynote.desktop", "denote.png"})
    {
        removeCatalogFile();
        host = std::make_unique<QWidget>();
        host->setGeometry(100, 100, 450, 126);
        box = new SearchLineEdit(host.get());
        box->setGeometry(17, 70, 280, 23);
        box->Setup();
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

    // The window that has the X server's keyboard focus.
    static quint64 focusedWindow()
    {
        QProcess xdotool;
        xdotool.start(QStringLiteral("xdotool"), {QStringLiteral("getwindowfocus")});
        xdotool.waitForFinished(10000);
        return xdotool.readAllStandardOutput().trimmed().toULongLong();
    }

    void save(const QImage &image, const QString &name) const
    {
        const QString dir = qEnvironmentVariable("TOLVANE_SHOT_DIR");
        if (!dir.isEmpty()) {
            QDir().mkpath(dir);
            QVERIFY(image.save(dir + QLatin1Char('/') + name));
        }
    }

    // Without a compositing manager the popup does not fade at all.
    void waitForTheFade()
    {
        if (auto effect = qobject_cast<QGraphicsOpacityEffect *>(box->popupList->graphicsEffect()))
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

    // As a user sees the list while typing on an X server without a compositing
    // manager: the first frame after each key already has the rows at their final
    // colours, and they stay so; nothing fades over black.
    void popupShowsAtFullContrastAtOnce()
    {
        open(false);
        PaintCounter paints(box->popupList->viewport());
        QStringList seen;
        for (const QString &key : {QStringLiteral("n"), QStringLiteral("o"), QStringLiteral("t")}) {
            const int before = paints.count;
            QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), key});
            QTRY_VERIFY_WITH_TIMEOUT(box->popupList->isVisible() && paints.count > before, 10000);
            seen << box->toPlainText();

            const QImage first = grabPopup();
            const QPoint popup = box->popupList->mapToGlobal(QPoint(0, 0)) - box->mapToGlobal(QPoint(-4, -4));
            const int rows = box->model->rowCount();
            QVERIFY(rows >= 1);
            QCOMPARE(first.pixelColor(popup + QPoint(0, 10)), QColor(65, 65, 79));
            QCOMPARE(first.pixelColor(popup + QPoint(260, 1 + 11)), QColor(107, 148, 183));
            if (rows > 1)
                QCOMPARE(first.pixelColor(popup + QPoint(260, 1 + 22 + 11)), QColor(250, 250, 250));

            // And it stays as it is (a polling loop: nothing may change at all). Only
            // the list: the box above it has a blinking cursor.
            const QRect list(popup, box->popupList->size());
            const QImage listPixels = first.copy(list);
            QDeadlineTimer quiet(400);
            while (!quiet.hasExpired()) {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
                QCOMPARE(grabPopup().copy(list), listPixels);
            }
        }
        QCOMPARE(seen.size(), 3);
    }

    // Letters of other scripts typed on the keyboard, with the X server's layout
    // for them, search; and right-to-left names show in their order with the typed
    // letters highlighted (pictures to look at: popup-cyrillic.png,
    // popup-arabic.png, popup-hebrew.png).
    void otherScriptsTypedOnTheKeyboard_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("layout");
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("picture");
        QTest::newRow("Cyrillic")
            << QStringList({QString::fromUtf8("\xD0\x91\xD0\xBB\xD0\xBE\xD0\xBA\xD0\xBD\xD0\xBE\xD1\x82"),
                            QString::fromUtf8("\xD0\x91\xD0\xBB\xD0\xB5\xD0\xBD\xD0\xB4\xD0\xB5\xD1\x80")})
            << "ru" << QStringList({"Cyrillic_BE", "Cyrillic_el"}) << QString::fromUtf8("\xD0\x91\xD0\xBB")
            << "popup-cyrillic.png";
        // "Hello world", "Muhammad", "photo library"; typed: mim.
        QTest::newRow("Arabic")
            << QStringList(
                   {QString::fromUtf8("\xD9\x85\xD8\xB1\xD8\xAD\xD8\xA8\xD8\xA7 "
                                      "\xD8\xA8\xD8\xA7\xD9\x84\xD8\xB9\xD8\xA7\xD9\x84\xD9\x85"),
                    QString::fromUtf8("\xD9\x85\xD8\xAD\xD9\x85\xD8\xAF"),
                    QString::fromUtf8(
                        "\xD9\x85\xD9\x83\xD8\xAA\xD8\xA8\xD8\xA9 \xD8\xA7\xD9\x84\xD8\xB5\xD9\x88\xD8\xB1")})
            << "ara" << QStringList({"Arabic_meem"}) << QString::fromUtf8("\xD9\x85") << "popup-arabic.png";
        // "text editor", "Hebrew"; typed: ayin.
        QTest::newRow("Hebrew")
            << QStringList(
                   {QString::fromUtf8("\xD7\xA2\xD7\x95\xD7\xA8\xD7\x9A \xD7\x98\xD7\xA7\xD7\xA1\xD7\x98"),
                    QString::fromUtf8("\xD7\xA2\xD7\x91\xD7\xA8\xD7\x99\xD7\xAA")})
            << "il" << QStringList({"hebrew_ayin"}) << QString::fromUtf8("\xD7\xA2") << "popup-hebrew.png";
    }

    void otherScriptsTypedOnTheKeyboard()
    {
        QFETCH(QStringList, names);
        QFETCH(QString, layout);
        QFETCH(QStringList, keys);
        QFETCH(QString, typed);
        QFETCH(QString, picture);
        QStringList files;
        for (int i = 0; i < names.size(); ++i)
            files << QStringLiteral("item%1.txt").arg(i);
        open(false, names, files);
        PaintCounter paints(box->popupList->viewport());
        QProcess::execute(QStringLiteral("setxkbmap"), {QStringLiteral("-layout"), layout});
        const auto latinAgain = qScopeGuard([] {
            QProcess::execute(QStringLiteral("setxkbmap"), {QStringLiteral("-layout"), QStringLiteral("us")});
        });
        QProcess::execute(
            QStringLiteral("xdotool"),
            QStringList{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("30")} + keys);
        QTRY_VERIFY_WITH_TIMEOUT(box->popupList->isVisible() && box->model->rowCount() == names.size(),
                                 10000);
        QTRY_VERIFY(paints.count > 0);
        for (const APPBLOCK &row : box->model->items)
            QCOMPARE(row.key, typed);

        // The rows on the screen are the rows the painter draws.
        const QImage shot = grabPopup();
        save(shot, picture);
        const QPoint popup = box->popupList->mapToGlobal(QPoint(0, 0)) - box->mapToGlobal(QPoint(-4, -4));
        const QPoint viewport = box->popupList->viewport()->mapTo(box->popupList, QPoint(0, 0));
        for (int row = 0; row < box->model->rowCount(); ++row) {
            QImage painted(box->popupList->viewport()->width(), 22, QImage::Format_ARGB32);
            QPainter painter(&painted);
            QStyleOptionViewItem option;
            option.initFrom(box->popupList->viewport());
            option.rect = painted.rect();
            option.state = QStyle::State_Enabled | (row == 0 ? QStyle::State_Selected : QStyle::State_None);
            box->delegate->paint(&painter, option, box->model->index(row, 0));
            painter.end();
            const QImage onScreen = shot.copy(QRect(popup + viewport + QPoint(0, row * 22), painted.size()));
            // The name (and the key's highlight) from its left edge; the icon aside.
            QCOMPARE(onScreen.copy(38, 1, 200, 20).convertToFormat(QImage::Format_RGB32),
                     painted.copy(38, 1, 200, 20).convertToFormat(QImage::Format_RGB32));
        }
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
            // Grabbed again until it matches: on a loaded machine the first grab may
            // still hold the frame before the last paint reached the X server.
            const auto difference = [&] {
                return TestIconTheme::largestDifference(
                    grabPopup().copy(place).convertToFormat(QImage::Format_ARGB32), expected);
            };
            QTRY_VERIFY2_WITH_TIMEOUT(difference() <= 8, qPrintable(item.alias), 5000);
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

    // After the alias editor closes, accepted or cancelled, the keyboard is back in
    // the search box: the X server gives it to the main window, and typing works at
    // once. The editor itself shows at full opacity from its first frame (there is
    // no compositing manager here).
    void keyboardReturnsToTheBoxAfterTheAliasEditor_data()
    {
        QTest::addColumn<QString>("closeKey");
        QTest::addColumn<QString>("alias");
        QTest::newRow("accepted with Return") << "Return"
                                              << "Renamed";
        QTest::newRow("cancelled with Escape") << "Escape"
                                               << "keynote";
    }

    void keyboardReturnsToTheBoxAfterTheAliasEditor()
    {
        QFETCH(QString, closeKey);
        QFETCH(QString, alias);
        open(false);
        QTest::keyClicks(box, QStringLiteral("keyn"));
        QTRY_VERIFY(box->editButton->isVisible());
        const QString rowid = box->model->items.at(0).rowid;

        QImage firstFrame;
        QImage laterFrame;
        bool released = false;
        whenModalShows<QListEdit>([&](QListEdit *editor) {
            // Never leave the run hanging if the keys go elsewhere.
            QTimer::singleShot(15000, editor, &QDialog::reject);
            PaintCounter paints(editor);
            QDeadlineTimer painted(10000);
            while (paints.count == 0 && !painted.hasExpired())
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            const QRect area = editor->frameGeometry();
            const auto grab = [area] {
                return QGuiApplication::primaryScreen()
                    ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
                    .toImage();
            };
            // The field's cursor blinks; the rest must not change at all.
            const auto withoutField = [editor](QImage image) {
                QPainter(&image).fillRect(editor->textField->geometry(), Qt::magenta);
                return image;
            };
            firstFrame = withoutField(grab());
            QDeadlineTimer later(500);
            while (!later.hasExpired())
                QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            laterFrame = withoutField(grab());

            QTRY_VERIFY_WITH_TIMEOUT(editor->textField->hasFocus() && editor->isActiveWindow(), 10000);
            editor->textField->selectAll();
            QProcess::execute(QStringLiteral("xdotool"), {"type", "--delay", "20", "Renamed"});
            // The closing key is held for a moment, as a hand holds it.
            QProcess::execute(QStringLiteral("xdotool"), {"keydown", closeKey});
            QTimer::singleShot(300, this, [closeKey, &released] {
                QProcess::execute(QStringLiteral("xdotool"), {"keyup", closeKey});
                released = true;
            });
        });
        // The key that closes the editor ends there: its release does not reach the
        // box (in the main window the release of Return starts the chosen item).
        KeyReleaseCounter releases(box);
        QCursor::setPos(box->editButton->mapToGlobal(QPoint(12, 12)));
        QTest::mouseClick(box->editButton, Qt::LeftButton);
        QCOMPARE(rows(QStringLiteral("SELECT alias FROM ITEMBOX WHERE rowid = ") + rowid),
                 QStringList({alias}));
        QVERIFY(!firstFrame.isNull());
        QVERIFY2(firstFrame == laterFrame, "the editor changed after its first frame");

        // The X server's keyboard focus is the main window's, and Qt's is the box.
        QTRY_COMPARE_WITH_TIMEOUT(focusedWindow(), quint64(host->winId()), 10000);
        QTRY_VERIFY(box->hasFocus());
        QTRY_VERIFY(released);
        // Typing works at once: the box holds the text it had, all selected, and the
        // typed letters replace it. (The X server delivers these keys after the
        // release of the closing key.)
        QProcess::execute(QStringLiteral("xdotool"), {"type", "--delay", "20", "de"});
        QTRY_COMPARE_WITH_TIMEOUT(box->toPlainText(), QStringLiteral("denote"), 10000);
        QVERIFY(box->popupList->isVisible());
        QVERIFY(!releases.keys.isEmpty());
        QVERIFY2(releases.keys.first() == Qt::Key_D, qPrintable(QString::number(releases.keys.first(), 16)));
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
