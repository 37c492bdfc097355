#include "association.h"
#include "catalogfixture.h"
#include "dialog.h"
#include "helpdlg.h"
#include "hotkeymessages.h"
#include "itemsmodel.h"
#include "modalanswer.h"
#include "qaboutdlg.h"
#include "qappshow.h"
#include "qitemviewdelegate.h"
#include "qlistcomp.h"
#include "qsettingdlg.h"
#include "searchlineedit.h"
#include "testmain.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

#include <memory>

// Catches what the program hands to the desktop.
class UrlCatcher : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> urls;

public slots:
    void open(const QUrl &url) { urls << url; }
};

// The main window's logic on the offscreen platform: launching from the search
// box and the top buttons, learning, dragging, keys, settings it receives, start
// with the system, the application manager's changes and Quit.
class TestMainWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<MessageBoxAnswerer> boxes;
    UrlCatcher catcher;

    static QString configFile()
    {
        return QCoreApplication::applicationDirPath() + QStringLiteral("/config.ini");
    }

    static void writeConfig(const QMap<QString, QString> &values)
    {
        QFile::remove(configFile());
        QSettings settings(configFile(), QSettings::IniFormat);
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            settings.setValue(it.key(), it.value());
    }

    static QMap<QString, QString> defaults()
    {
        return {{QStringLiteral("maxcount"), QStringLiteral("5")},
                {QStringLiteral("transparency"), QStringLiteral("100")},
                {QStringLiteral("hotkey"), QStringLiteral("CTRL+ALT+Q")},
                {QStringLiteral("autohide"), QStringLiteral("0")},
                {QStringLiteral("showbigicon"), QStringLiteral("0")},
                {QStringLiteral("autorun"), QStringLiteral("0")}};
    }

    // A script that adds a line to the marker file "<path>.ran" each time it runs.
    static QString script(const QString &name)
    {
        const QString path = CatalogFixture::itemPath(name);
        // A marker left by an earlier test with the same name would count.
        QFile::remove(path + QStringLiteral(".ran"));
        CatalogFixture::createFile(path, "#!/bin/sh\necho ran >> \"$0.ran\"\n");
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }

    // Writes data.db with the items (alias, path), as a previous run would have;
    // returns their rowids.
    static QStringList prepareCatalog(const QList<QPair<QString, QString>> &items)
    {
        auto db = CatalogFixture::openFreshCatalog();
        QStringList rowids;
        for (const auto &item : items)
            rowids << CatalogFixture::addItem(*db, item.first, item.second);
        return rowids;
    }

    static std::unique_ptr<Dialog> makeWindow()
    {
        auto window = std::make_unique<Dialog>();
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            return nullptr;
        return window;
    }

    static void type(Dialog &w, const QString &text) { QTest::keyClicks(w.edtSearch, text); }
    static void pressReturn(Dialog &w) { QTest::keyClick(w.edtSearch, Qt::Key_Return); }

    // How often the script at `path` has run.
    static int runs(const QString &path)
    {
        QFile file(path + QStringLiteral(".ran"));
        return file.open(QIODevice::ReadOnly) ? int(file.readAll().count('\n')) : 0;
    }

    // The tray menu's entries and the manager's action, all named "action...".
    static QList<QAction *> trayActions(Dialog *w)
    {
        QList<QAction *> actions;
        for (QAction *action : w->findChildren<QAction *>()) {
            if (action->objectName().startsWith(QLatin1String("action")))
                actions << action;
        }
        return actions;
    }

    static QStringList quickRows()
    {
        return CatalogFixture::rows(QStringLiteral("SELECT key,exec,hot FROM QUICK"));
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(TestAssociation::install({QStringLiteral("text/plain"), QStringLiteral("application/pdf")}),
                 "the MIME database (shared-mime-info) is needed");
    }

    void init()
    {
        CatalogFixture::resetSandbox();
        writeConfig(defaults());
        topItems.clear();
        boxes = std::make_unique<MessageBoxAnswerer>();
        catcher.urls.clear();
        for (const char *scheme : {"https", "mailto"})
            QDesktopServices::setUrlHandler(QLatin1String(scheme), &catcher, "open");
    }

    void cleanup()
    {
        for (const char *scheme : {"https", "mailto"})
            QDesktopServices::unsetUrlHandler(QLatin1String(scheme));
        boxes.reset();
    }

    void settingsFromTheFileReachTheWindow()
    {
        writeConfig({{QStringLiteral("maxcount"), QStringLiteral("7")},
                     {QStringLiteral("transparency"), QStringLiteral("60")},
                     {QStringLiteral("hotkey"), QStringLiteral("CTRL+ALT+Q")},
                     {QStringLiteral("autohide"), QStringLiteral("1")},
                     {QStringLiteral("showbigicon"), QStringLiteral("1")}});
        auto w = makeWindow();
        QVERIFY(w);
        QCOMPARE(w->edtSearch->maxCount, 7);
        QVERIFY(qAbs(w->windowOpacity() - 0.6) < 0.005);
        QVERIFY(w->bAutoHide);
        QVERIFY(w->edtSearch->delegate->bigIcon);
        // Offscreen no hotkey can be registered: the line says so, not in green,
        // and tells what to bind instead; no box stops the start.
        QVERIFY(w->lblHotkey->text().startsWith(QLatin1String(" Hotkey Exhaled: ")));
        QVERIFY(!w->lblHotkey->text().contains(QLatin1String("#32EC81")));
        QVERIFY(w->lblHotkey->text().contains(QLatin1String("bind a key to")));
        QVERIFY(w->lblHotkey->toolTip().contains(QCoreApplication::applicationFilePath()));
        QCOMPARE(w->size(), QSize(450, 126));
        QCOMPARE(w->windowTitle(), QStringLiteral("Tolvane"));
        QVERIFY(w->windowFlags() & Qt::FramelessWindowHint);
        QVERIFY(w->windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(boxes->texts, QStringList());
        QCOMPARE(w->btnCount->text(), QStringLiteral("0"));
    }

    void brokenConfigStillStarts_data()
    {
        QTest::addColumn<QString>("contents");
        QTest::newRow("missing") << QString();
        QTest::newRow("garbage") << QStringLiteral(
            "[General]\nmaxcount=lots\ntransparency=-4\nhotkey=\nautohide=yes\n");
        QTest::newRow("out of range") << QStringLiteral("[General]\nmaxcount=999\ntransparency=0\n");
        QTest::newRow("not ini") << QStringLiteral("\x01\x02 binary = = [[[\n");
    }

    void brokenConfigStillStarts()
    {
        QFETCH(QString, contents);
        QFile::remove(configFile());
        if (!contents.isNull()) {
            QFile file(configFile());
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(contents.toUtf8());
        }
        auto w = makeWindow();
        QVERIFY(w);
        QVERIFY(w->isVisible());
        // The window stays visible and the list usable whatever the file says.
        // (The platform stores opacity in 8 bits.)
        QVERIFY(w->windowOpacity() >= 0.145 && w->windowOpacity() <= 1.0);
        QVERIFY(w->edtSearch->maxCount >= 2 && w->edtSearch->maxCount <= 10);
        QCOMPARE(boxes->texts, QStringList());
    }

    // A catalog that another program holds at the start is said once, in a box
    // where there is no tray; the learning in it stays and comes back.
    void aCatalogHeldElsewhereIsToldOnce()
    {
        prepareCatalog({{QStringLiteral("Held"), script(QStringLiteral("Held"))}});
        {
            QSqlDatabase other =
                QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
            other.setDatabaseName(ItemDatabase::databaseFile());
            QVERIFY(other.open());
            QVERIFY(QSqlQuery(other).exec(QStringLiteral("BEGIN EXCLUSIVE")));
            auto w = makeWindow();
            QVERIFY(w);
            w->edtSearch->catalog.SetSaveDelay(10, 50);
            QTRY_COMPARE(boxes->texts.size(), 1);
            QVERIFY2(boxes->texts.first().contains(ItemDatabase::databaseFile()),
                     qPrintable(boxes->texts.first()));
            QCOMPARE(w->btnCount->text(), QStringLiteral("0"));
            QVERIFY(QSqlQuery(other).exec(QStringLiteral("COMMIT")));
            other.close();
            QTRY_COMPARE(w->btnCount->text(), QStringLiteral("1"));
            QCOMPARE(boxes->texts.size(), 1);
        }
        QSqlDatabase::removeDatabase(QStringLiteral("other"));
    }

    // Keys that waited while a query ran (stamped closer together than it took)
    // share one query, and the list ends on the last text's result.
    void keysThatWaitedShareOneQuery()
    {
        prepareCatalog({{QStringLiteral("Paste Board"), script(QStringLiteral("Paste Board"))},
                        {QStringLiteral("Pastel"), script(QStringLiteral("Pastel"))}});
        auto w = makeWindow();
        QVERIFY(w);
        int lists = 0;
        connect(w->edtSearch->model, &QAbstractItemModel::modelReset, this, [&] { ++lists; });
        for (const QChar c : QStringLiteral("Paste B")) {
            for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
                auto key = new QKeyEvent(type, c.toUpper().unicode(), Qt::NoModifier, QString(c));
                key->setTimestamp(1000);
                QCoreApplication::postEvent(w->edtSearch, key);
            }
        }
        QTRY_COMPARE(w->edtSearch->toPlainText(), QStringLiteral("Paste Board"));
        QCOMPARE(w->edtSearch->model->items.size(), 1);
        QCOMPARE(w->edtSearch->model->items.first().alias, QStringLiteral("Paste Board"));
        QCOMPARE(lists, 2); // the first key's, and the one of all the keys behind it
    }

    void opacityAndListLengthStayInRange()
    {
        auto w = makeWindow();
        QVERIFY(w);
        // The platform keeps opacity in 8 bits: compare to within one step.
        const auto opacityIs = [&](double expected) { return qAbs(w->windowOpacity() - expected) < 0.005; };
        w->ChangeOpacitySlot(15);
        QVERIFY(opacityIs(0.15));
        w->ChangeOpacitySlot(100);
        QVERIFY(opacityIs(1.0));
        w->ChangeOpacitySlot(0);
        QVERIFY(opacityIs(0.15));
        w->ChangeOpacitySlot(400);
        QVERIFY(opacityIs(1.0));
        w->ChangeOpacitySlot(50);
        QVERIFY(opacityIs(0.5));
        w->ChangeMaxCountSlot(0);
        QCOMPARE(w->edtSearch->maxCount, 2);
        w->ChangeMaxCountSlot(50);
        QCOMPARE(w->edtSearch->maxCount, 10);
        w->ChangeMaxCountSlot(4);
        QCOMPARE(w->edtSearch->maxCount, 4);
    }

    void returnWithNothingChosenDoesNothing()
    {
        prepareCatalog({{QStringLiteral("prog.EXE"), script(QStringLiteral("prog.EXE"))}});
        auto w = makeWindow();
        QVERIFY(w);
        const QStringList before = CatalogFixture::snapshot();
        // Empty box.
        pressReturn(*w);
        // A text that finds nothing.
        type(*w, QStringLiteral("zq"));
        QVERIFY(!w->edtSearch->popupList->isVisible());
        pressReturn(*w);
        // The run button with nothing chosen.
        w->btnRun->click();
        QCOMPARE(CatalogFixture::snapshot(), before);
        QCOMPARE(boxes->texts.count(QStringLiteral("the file is not exist.")), 0);
        QCOMPARE(runs(CatalogFixture::itemPath(QStringLiteral("prog.EXE"))), 0);
    }

    void missingFileShowsAnErrorAndRecordsNothing()
    {
        prepareCatalog({{QStringLiteral("ghost"), CatalogFixture::itemPath(QStringLiteral("ghost"))}});
        auto w = makeWindow();
        QVERIFY(w);
        const QStringList before = CatalogFixture::snapshot();
        type(*w, QStringLiteral("gh"));
        QCOMPARE(w->edtSearch->current.alias, QStringLiteral("ghost"));
        pressReturn(*w);
        QTRY_COMPARE(boxes->texts.count(QStringLiteral("the file is not exist.")), 1);
        QCOMPARE(boxes->titles.last(), QStringLiteral("error"));
        QCOMPARE(CatalogFixture::snapshot(), before);
    }

    // The Return that answers the box is pressed in the box; its release then
    // reaches the search box. That release starts nothing: no second box.
    void releaseOfAReturnPressedElsewhereDoesNothing()
    {
        const QString prog = script(QStringLiteral("prog.EXE"));
        prepareCatalog({{QStringLiteral("ghost"), CatalogFixture::itemPath(QStringLiteral("ghost"))},
                        {QStringLiteral("prog.EXE"), prog}});
        auto w = makeWindow();
        QVERIFY(w);
        type(*w, QStringLiteral("gh"));
        pressReturn(*w);
        QTRY_COMPARE(boxes->texts.count(QStringLiteral("the file is not exist.")), 1);
        QTest::keyRelease(w->edtSearch, Qt::Key_Return);
        QTest::keyRelease(w->edtSearch, Qt::Key_Enter);
        QCOMPARE(boxes->texts.count(QStringLiteral("the file is not exist.")), 1);

        // The same for an item that exists: a lone release launches nothing.
        w->edtSearch->setText(QString());
        type(*w, QStringLiteral("pr"));
        QTest::keyClick(w->edtSearch, Qt::Key_Escape);
        QTest::keyRelease(w->edtSearch, Qt::Key_Return);
        QVERIFY(quickRows().isEmpty());
        // A press that lost the focus before its release does not count either.
        QTest::keyPress(w->edtSearch, Qt::Key_Return);
        QFocusEvent focusOut(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
        QCoreApplication::sendEvent(w->edtSearch, &focusOut);
        QTest::keyRelease(w->edtSearch, Qt::Key_Return);
        QVERIFY(quickRows().isEmpty());
        // A whole press and release does.
        pressReturn(*w);
        QTRY_COMPARE(runs(prog), 1);
        QCOMPARE(quickRows().size(), 1);
    }

    void exeStartsAProcessAndIsLearned()
    {
        const QString prog = script(QStringLiteral("prog.EXE"));
        const QString rowid = prepareCatalog({{QStringLiteral("prog.EXE"), prog}}).first();
        QVERIFY(!rowid.isEmpty());
        QMap<QString, QString> config = defaults();
        config.insert(QStringLiteral("autohide"), QStringLiteral("1"));
        writeConfig(config);
        auto w = makeWindow();
        QVERIFY(w);
        type(*w, QStringLiteral("pr"));
        QCOMPARE(w->edtSearch->toPlainText(), QStringLiteral("prog.EXE"));
        // Escape closes the popup; Return then runs the completed item.
        QTest::keyClick(w->edtSearch, Qt::Key_Escape);
        QVERIFY(!w->edtSearch->popupList->isVisible());
        QVERIFY(w->isVisible());
        pressReturn(*w);
        QTRY_COMPARE(runs(prog), 1);
        QCOMPARE(quickRows(), QStringList{QStringLiteral("prog.EXE|") + rowid + QStringLiteral("|1")});
        QCOMPARE(CatalogFixture::rows(QStringLiteral("SELECT ITEMBOX_ID,topnum FROM TOP")),
                 QStringList{rowid + QStringLiteral("|1")});
        QCOMPARE(w->btnTop[0]->toolTip(), QStringLiteral("prog.EXE"));
        QCOMPARE(w->btnTop[0]->text(), QStringLiteral("prog.EXE"));
        // Auto-hide is on.
        QVERIFY(!w->isVisible());
        QVERIFY(catcher.urls.isEmpty());
    }

    void heldReturnLaunchesOnce()
    {
        const QString prog = script(QStringLiteral("prog.EXE"));
        prepareCatalog({{QStringLiteral("prog.EXE"), prog}});
        auto w = makeWindow();
        QVERIFY(w);
        type(*w, QStringLiteral("pr"));
        QTest::keyPress(w->edtSearch, Qt::Key_Return);
        // The auto-repeated releases of a held key.
        for (int i = 0; i < 3; ++i) {
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier, QString(), true);
            QCoreApplication::sendEvent(w->edtSearch, &release);
        }
        QTest::keyRelease(w->edtSearch, Qt::Key_Return);
        QCOMPARE(CatalogFixture::rows(QStringLiteral("SELECT topnum FROM TOP")),
                 QStringList{QStringLiteral("1")});
    }

    void pathsWithShellCharactersStartThatExactFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("blanks") << QStringLiteral("my prog.EXE");
        QTest::newRow("quotes") << QStringLiteral("it's \"quoted\".EXE");
        QTest::newRow("shell") << QStringLiteral("a;b&c|d$(touch pwned)`x`.EXE");
        QTest::newRow("no .exe") << QStringLiteral("run me; now");
    }

    void pathsWithShellCharactersStartThatExactFile()
    {
        QFETCH(QString, name);
        const QString prog = script(name);
        prepareCatalog({{name, prog}});
        auto w = makeWindow();
        QVERIFY(w);
        type(*w, name.left(1));
        QCOMPARE(w->edtSearch->current.path, prog);
        pressReturn(*w);
        QTRY_COMPARE(runs(prog), 1);
        // No shell took the name apart.
        QVERIFY(!QFile::exists(QDir::current().filePath(QStringLiteral("pwned"))));
        QVERIFY(!QFile::exists(CatalogFixture::itemPath(QStringLiteral("pwned"))));
        QVERIFY(catcher.urls.isEmpty());
    }

    void otherFilesGoToTheDesktop()
    {
        const QString notes =
            CatalogFixture::createFile(CatalogFixture::itemPath(QStringLiteral("notes.txt")));
        prepareCatalog({{QStringLiteral("notes.txt"), notes}});
        auto w = makeWindow();
        QVERIFY(w);
        type(*w, QStringLiteral("no"));
        pressReturn(*w);
        QTRY_COMPARE(TestAssociation::opened(), QStringList{notes});
        // Auto-hide is off.
        QVERIFY(w->isVisible());
        QCOMPARE(quickRows().size(), 1);
    }

    // A document with the execute bit (as every file on a FAT stick has it) is
    // not run: it opens with its association, and is learned like any launch.
    void documentWithTheExecuteBitOpens()
    {
        const QString pdf =
            CatalogFixture::createFile(CatalogFixture::itemPath(QStringLiteral("report.pdf")), "%PDF-1.4\n");
        QFile::setPermissions(pdf, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QString rowid = prepareCatalog({{QStringLiteral("report.pdf"), pdf}}).first();
        auto w = makeWindow();
        QVERIFY(w);
        type(*w, QStringLiteral("rep"));
        pressReturn(*w);
        QTRY_VERIFY(TestAssociation::opened().contains(pdf));
        QCOMPARE(quickRows(), QStringList{QStringLiteral("report.pdf|") + rowid + QStringLiteral("|1")});
        QVERIFY(!boxes->titles.contains(QStringLiteral("error")));
    }

    // A start that fails (here a script whose interpreter is missing) is told in
    // an "error" box and is not learned, from the search box and a top button.
    void failedStartIsToldAndNotLearned()
    {
        const QString broken = CatalogFixture::createFile(CatalogFixture::itemPath(QStringLiteral("broken")),
                                                          "#!/nonexistent/sh\n");
        QFile::setPermissions(broken, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QString rowid = prepareCatalog({{QStringLiteral("broken"), broken}}).first();
        auto w = makeWindow();
        QVERIFY(w);
        w->AutoHideSlot(true);
        const QStringList before = CatalogFixture::snapshot();
        const qsizetype shown = boxes->titles.size();
        type(*w, QStringLiteral("bro"));
        pressReturn(*w);
        QTRY_COMPARE(boxes->titles.size(), shown + 1);
        QCOMPARE(boxes->titles.last(), QStringLiteral("error"));
        QVERIFY2(boxes->texts.last().startsWith(QLatin1String("the file can not be opened.\n")),
                 qPrintable(boxes->texts.last()));
        QVERIFY(
            boxes->texts.last().endsWith(QLatin1String("its interpreter /nonexistent/sh does not exist")));
        QCOMPARE(CatalogFixture::snapshot(), before);
        QVERIFY(w->isVisible());

        topItems = {APPBLOCK{broken, QStringLiteral("broken"), {}, {}, rowid, {}, {}}};
        w->RefreshTop();
        QTest::mouseClick(w->btnTop[0], Qt::LeftButton);
        QTRY_COMPARE(boxes->titles.size(), shown + 2);
        QCOMPARE(boxes->titles.last(), QStringLiteral("error"));
        QCOMPARE(CatalogFixture::snapshot(), before);
        QVERIFY(w->isVisible());
    }

    void runButtonLaunchesTheChosenItem()
    {
        const QString prog = script(QStringLiteral("tool.exe"));
        prepareCatalog({{QStringLiteral("tool.exe"), prog}});
        auto w = makeWindow();
        QVERIFY(w);
        type(*w, QStringLiteral("to"));
        QTest::mouseClick(w->btnRun, Qt::LeftButton);
        QTRY_COMPARE(runs(prog), 1);
        QCOMPARE(quickRows().size(), 1);
    }

    void topButtonsFollowTheLaunchCounts()
    {
        const QString a = script(QStringLiteral("alpha.exe"));
        const QString b = script(QStringLiteral("beta.exe"));
        prepareCatalog({{QStringLiteral("alpha.exe"), a}, {QStringLiteral("beta.exe"), b}});
        auto w = makeWindow();
        QVERIFY(w);
        w->btnTop[2]->setText(QStringLiteral("earlier"));
        w->btnTop[2]->setToolTip(QStringLiteral("earlier tip"));
        for (const QString &text : {QStringLiteral("al"), QStringLiteral("be"), QStringLiteral("be")}) {
            w->edtSearch->setText(QString());
            type(*w, text);
            pressReturn(*w);
        }
        QCOMPARE(w->btnTop[0]->text(), QStringLiteral("beta.exe"));
        QCOMPARE(w->btnTop[1]->text(), QStringLiteral("alpha.exe"));
        // Two records: the third button keeps what it had, and does nothing.
        QCOMPARE(w->btnTop[2]->text(), QStringLiteral("earlier"));
        QCOMPARE(w->btnTop[2]->toolTip(), QStringLiteral("earlier tip"));
        QTRY_COMPARE(runs(a), 1);
        QTRY_COMPARE(runs(b), 2);
        const QStringList before = CatalogFixture::snapshot();
        QTest::mouseClick(w->btnTop[2], Qt::LeftButton);

        // A top button starts its item but records nothing.
        QTest::mouseClick(w->btnTop[1], Qt::LeftButton);
        QTRY_COMPARE(runs(a), 2);
        QCOMPARE(CatalogFixture::snapshot(), before);
        QCOMPARE(runs(b), 2);

        // A name with "&" shows as it is, and long names are elided to fit.
        topItems[0].alias = QStringLiteral("Tom & Jerry and a very long name indeed");
        w->RefreshTop();
        QVERIFY2(w->btnTop[0]->text().startsWith(QLatin1String("Tom && J")),
                 qPrintable(w->btnTop[0]->text()));
        QVERIFY(w->btnTop[0]->text().endsWith(QChar(0x2026)));
        QCOMPARE(w->btnTop[0]->toolTip(), QStringLiteral("Tom & Jerry and a very long name indeed"));

        // The file of a top item is gone: its button does nothing.
        QFile::remove(a);
        QTest::mouseClick(w->btnTop[1], Qt::LeftButton);
        QCOMPARE(CatalogFixture::snapshot(), before);
    }

    void dragsFromTheBackgroundOnly()
    {
        prepareCatalog({{QStringLiteral("notepad"),
                         CatalogFixture::createFile(CatalogFixture::itemPath(QStringLiteral("notepad")))}});
        auto w = makeWindow();
        QVERIFY(w);
        w->move(100, 100);
        const QPoint start = w->pos();

        // Pressing on a top button and dragging does not move the window.
        QTest::mousePress(w->btnTop[0], Qt::LeftButton, {}, QPoint(10, 10));
        QMouseEvent moveOnButton(QEvent::MouseMove, QPointF(60, 60), w->mapToGlobal(QPointF(60, 60)),
                                 Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(w.get(), &moveOnButton);
        QTest::mouseRelease(w->btnTop[0], Qt::LeftButton, {}, QPoint(10, 10));
        QCOMPARE(w->pos(), start);

        // The popup is open, then the window is dragged by its background.
        type(*w, QStringLiteral("no"));
        QVERIFY(w->edtSearch->popupList->isVisible());
        QTest::mousePress(w.get(), Qt::LeftButton, {}, QPoint(250, 10));
        const QPoint grab = w->mapToGlobal(QPoint(250, 10));
        QMouseEvent drag(QEvent::MouseMove, QPointF(250, 10), QPointF(grab + QPoint(30, 40)), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(w.get(), &drag);
        QTRY_COMPARE(w->pos(), start + QPoint(30, 40));
        QVERIFY(!w->edtSearch->popupList->isVisible());
    }

    void escapeClearsThenHides()
    {
        auto w = makeWindow();
        QVERIFY(w);
        type(*w, QStringLiteral("abc"));
        QTest::keyClick(w->edtSearch, Qt::Key_Escape);
        QCOMPARE(w->edtSearch->toPlainText(), QString());
        QVERIFY(w->isVisible());
        QTest::keyClick(w->edtSearch, Qt::Key_Escape);
        QVERIFY(!w->isVisible());
        // The hotkey's slot brings it back with the focus in the search box.
        w->ShowWnd();
        QVERIFY(w->isVisible());
        QCOMPARE(w->focusWidget(), w->edtSearch);
        // Hiding never ends the program: the tray and the hotkey still reach it.
        w->ChangeStateSlot();
        QVERIFY(!w->isVisible());
        w->ChangeStateSlot();
        QVERIFY(w->isVisible());
    }

    void autoRunFollowsTheSetting()
    {
        const QString entry = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                              QStringLiteral("/autostart/tolvane.desktop");
        const QString self = QCoreApplication::applicationFilePath();
        QFile::remove(entry);
        auto w = makeWindow();
        QVERIFY(w);
        // Off with no entry writes nothing.
        w->AutoRun(false);
        QVERIFY(!QFile::exists(entry));
        // On writes the entry for this executable.
        w->AutoRun(true);
        QVERIFY(QFile::exists(entry));
        QFile read(entry);
        QVERIFY(read.open(QIODevice::ReadOnly));
        const QByteArray written = read.readAll();
        read.close();
        QVERIFY(written.contains("Exec=\"" + QFile::encodeName(self) + "\""));
        // The same path again is left alone (not even rewritten).
        QFile::setPermissions(entry, QFile::ReadOwner);
        w->AutoRun(true);
        QFile::setPermissions(entry, QFile::ReadOwner | QFile::WriteOwner);
        QVERIFY(read.open(QIODevice::ReadOnly));
        QCOMPARE(read.readAll(), written);
        read.close();
        // Another path (the program was moved) is replaced.
        QVERIFY(read.open(QIODevice::WriteOnly));
        read.write("[Desktop Entry]\nType=Application\nExec=/old/place/tolvane\n");
        read.close();
        w->AutoRun(true);
        QVERIFY(read.open(QIODevice::ReadOnly));
        QCOMPARE(read.readAll(), written);
        read.close();
        // Off with an entry keeps it, disabled.
        w->AutoRun(false);
        QVERIFY(read.open(QIODevice::ReadOnly));
        const QByteArray disabled = read.readAll();
        read.close();
        QVERIFY(disabled.contains("Hidden=true"));
        QVERIFY(disabled.contains("Exec=\"" + QFile::encodeName(self) + "\""));
    }

    void startWithAutorunOffDisablesAnExistingEntry()
    {
        const QString entry = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                              QStringLiteral("/autostart/tolvane.desktop");
        CatalogFixture::createFile(entry, "[Desktop Entry]\nType=Application\nExec=/somewhere/tolvane\n");
        auto w = makeWindow();
        QVERIFY(w);
        QFile read(entry);
        QVERIFY(read.open(QIODevice::ReadOnly));
        QVERIFY(read.readAll().contains("Hidden=true"));
    }

    void managerChangesApplyOnOkOnly()
    {
        const QString keep = CatalogFixture::createFile(CatalogFixture::itemPath(QStringLiteral("keep")));
        const QString gone = CatalogFixture::createFile(CatalogFixture::itemPath(QStringLiteral("gone")));
        prepareCatalog({{QStringLiteral("keep"), keep}, {QStringLiteral("gone"), gone}});
        auto w = makeWindow();
        QVERIFY(w);
        QCOMPARE(w->btnCount->text(), QStringLiteral("2"));
        const QStringList before = CatalogFixture::snapshot();

        const auto queueChanges = [&](QAppshow *manager) {
            manager->pendingChanges = {
                APPBLOCK{QStringLiteral("/new/program"), QStringLiteral("New one"), {}, {}, {}, {}, {}},
                APPBLOCK{keep, QStringLiteral("Kept, renamed"), {}, {}, {}, {}, {}},
                APPBLOCK{gone, QString(), {}, {}, {}, {}, {}}};
        };
        // Cancel drops everything.
        whenModalShows<QAppshow>([&](QAppshow *manager) {
            queueChanges(manager);
            manager->reject();
        });
        QTest::mouseClick(w->btnCount, Qt::LeftButton);
        QCOMPARE(CatalogFixture::snapshot(), before);
        QCOMPARE(w->btnCount->text(), QStringLiteral("2"));

        // OK applies them in order, and the count follows.
        whenModalShows<QAppshow>([&](QAppshow *manager) {
            queueChanges(manager);
            manager->accept();
        });
        QTest::mouseClick(w->btnCount, Qt::LeftButton);
        QStringList items;
        QList<APPBLOCK> all;
        w->edtSearch->catalog.GetAllItems(all);
        for (const APPBLOCK &item : all)
            items << item.alias + QLatin1Char('|') + item.path;
        items.sort();
        QCOMPARE(items, (QStringList{QStringLiteral("Kept, renamed|") + keep,
                                     QStringLiteral("New one|/new/program")}));
        QCOMPARE(w->btnCount->text(), QStringLiteral("2"));
    }

    void trayMenuOffersItsEntries()
    {
        auto w = makeWindow();
        QVERIFY(w);
        QStringList texts;
        for (QAction *action : w->trayMenu->actions())
            texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
        QCOMPARE(texts,
                 (QStringList{QStringLiteral("Help(&H)"), QStringLiteral("Show/Hide(&C)"),
                              QStringLiteral("Check Update(&U)"), QStringLiteral("Setting(&S)"),
                              QStringLiteral("About(&A)"), QStringLiteral("-"), QStringLiteral("Quit(&Q)")}));
        // No tray offscreen: no icon, but the window works.
        QVERIFY(!w->trayIcon);
    }

    void linksGoToTheDesktopOnce()
    {
        auto w = makeWindow();
        QVERIFY(w);
        QTest::mouseClick(w->btnFeedback, Qt::LeftButton);
        QTest::mouseClick(w->btnDonate, Qt::LeftButton);
        w->CheckSlot();
        QCOMPARE(catcher.urls.size(), 3);
        QCOMPARE(catcher.urls[0].scheme(), QStringLiteral("mailto"));
        QCOMPARE(catcher.urls[0].path(), QLatin1String(TolvaneLinks::SupportMail));
        QCOMPARE(catcher.urls[0].query(QUrl::FullyDecoded),
                 QStringLiteral("subject=About Tolvane&body=Hello Author,"));
        QCOMPARE(catcher.urls[1].toString(), QLatin1String(TolvaneLinks::Donation));
        QVERIFY(catcher.urls[1].toString().endsWith(QLatin1String("cart.php?action=donate&pid=8")));
        QCOMPARE(catcher.urls[2].toString(), QLatin1String(TolvaneLinks::ReleaseHistory));
    }

    void settingsButtonShowsTheSettingsWindow()
    {
        auto w = makeWindow();
        QVERIFY(w);
        QVERIFY(!w->settingDlg->isVisible());
        QTest::mouseClick(w->btnSetting, Qt::LeftButton);
        QVERIFY(w->settingDlg->isVisible());
        QVERIFY(w->settingDlg->windowFlags() & Qt::WindowStaysOnTopHint);
        // A second click keeps the one window.
        QTest::mouseClick(w->btnSetting, Qt::LeftButton);
        QVERIFY(w->settingDlg->isVisible());
        w->ShowAboutDlgSlot();
        QVERIFY(w->aboutDlg->isVisible());
        w->ShowHelp();
        QVERIFY(w->helpDlg.isVisible());
    }

    // The tray menu is live while the first run scans (discovery lets events run):
    // every entry chosen then is safe, and nothing shows a half-built window.
    void trayEntriesDuringTheFirstRunScan()
    {
        bool ran = false;
        bool builtAtThatTime = true;
        QStringList enabledThen;
        bool shownThen = true;
        QTimer::singleShot(0, qApp, [&] {
            Dialog *building = nullptr;
            for (QWidget *w : QApplication::topLevelWidgets())
                building = building ? building : qobject_cast<Dialog *>(w);
            if (!building)
                return;
            ran = true;
            builtAtThatTime = building->startupDone;
            for (QAction *action : trayActions(building)) {
                if (action->isEnabled())
                    enabledThen << action->objectName();
                if (action->objectName() != QLatin1String("actionQuit"))
                    action->trigger();
            }
            // The hotkey and a second start's message reach the same slots.
            building->ShowWnd();
            building->handleMessage(QStringLiteral("raies"));
            building->ShowAppManage();
            building->RefReshExecCount();
            shownThen = building->isVisible();
        });
        auto w = std::make_unique<Dialog>();
        QVERIFY(ran);
        QVERIFY(!builtAtThatTime);
        enabledThen.sort();
        QCOMPARE(enabledThen, (QStringList{QStringLiteral("actionCheckUpdate"), QStringLiteral("actionHelp"),
                                           QStringLiteral("actionQuit")}));
        QVERIFY(!shownThen);
        QVERIFY(w->startupDone);
        QVERIFY(!w->quitRequested);
        // What was asked for during start-up did not happen later either.
        QVERIFY(!w->settingDlg->isVisible());
        QVERIFY(!w->aboutDlg->isVisible());
        QVERIFY(!w->isVisible());
        // Help and the links need nothing of the window: they worked.
        QVERIFY(w->helpDlg.isVisible());
        QCOMPARE(catcher.urls.size(), 1);
        // Afterwards every entry is offered and works.
        for (QAction *action : trayActions(w.get()))
            QVERIFY2(action->isEnabled(), qPrintable(action->objectName()));
        w->findChild<QAction *>(QStringLiteral("actionSetting"))->trigger();
        QVERIFY(w->settingDlg->isVisible());
        w->findChild<QAction *>(QStringLiteral("actionShowHide"))->trigger();
        QVERIFY(w->isVisible());
    }

    // Quit chosen during the first-run scan is kept: the window, once built, takes
    // no hotkey and shows nothing more, and says the program is to end.
    void quitDuringTheFirstRunScan()
    {
        bool ran = false;
        QTimer::singleShot(0, qApp, [&] {
            for (QWidget *w : QApplication::topLevelWidgets()) {
                if (auto building = qobject_cast<Dialog *>(w)) {
                    ran = !building->startupDone;
                    building->findChild<QAction *>(QStringLiteral("actionQuit"))->trigger();
                }
            }
        });
        auto w = std::make_unique<Dialog>();
        QVERIFY(ran);
        QVERIFY(w->quitRequested);
        QVERIFY(!w->isVisible());
        QVERIFY(!w->globalHotkey);
        QVERIFY(boxes->texts.isEmpty());
        // The catalog was built all the same, and is saved when the window goes.
        w.reset();
        QVERIFY(QFile::exists(ItemDatabase::databaseFile()));
    }

    // What the hotkey line and its tool tip say, for each way a desktop offers the
    // hotkey: an X11 grab, the portal (its own trigger), a GNOME custom shortcut, none.
    void hotkeyTextsTellTheTruth_data()
    {
        using M = GlobalShortcut::Mechanism;
        using S = GlobalShortcut::Status;
        QTest::addColumn<int>("mechanism");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("available");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("trigger");
        QTest::addColumn<QString>("error");
        QTest::addColumn<bool>("tray");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("tip");
        const QString q = QStringLiteral("CTRL+ALT+Q");
        const QString caption = QStringLiteral(" Hotkey Exhaled: ");
        QTest::newRow("X11 grab in force")
            << int(M::KeyGrab) << int(S::Active) << true << q << QString() << QString() << true
            << caption + QStringLiteral("<font color='#32EC81' >CTRL+ALT+Q</font>")
            << QStringLiteral("Press CTRL+ALT+Q in any program to show Tolvane.");
        QTest::newRow("portal names its trigger")
            << int(M::Portal) << int(S::Active) << true << q << QStringLiteral("Meta+Space") << QString()
            << false << caption + QStringLiteral("<font color='#32EC81' >Meta+Space</font>")
            << QStringLiteral("Meta+Space shows Tolvane from any program: the desktop binds it");
        QTest::newRow("GNOME shortcut set")
            << int(M::DesktopShortcut) << int(S::Active) << true << q << QString() << QString() << false
            << caption + QStringLiteral("<font color='#32EC81' >CTRL+ALT+Q</font> (GNOME shortcut)")
            << QStringLiteral(
                   "GNOME's custom shortcut \u201cTolvane\u201d (Settings \u203a Keyboard \u203a Custom "
                   "Shortcuts) starts \"/opt/t/tolvane\"");
        QTest::newRow("portal asked, tray")
            << int(M::Portal) << int(S::Pending) << true << q << QString() << QString() << true
            << caption + QStringLiteral("<font color='#C8D0D8' >CTRL+ALT+Q (asking the desktop)</font>")
            << QStringLiteral("Until it answers, click Tolvane's icon in the tray to show Tolvane.");
        QTest::newRow("none on this desktop")
            << int(M::None) << int(S::Failed) << false << q << QString()
            << QStringLiteral("this desktop offers no system-wide keys") << false
            << caption + QStringLiteral("<font color='#F5A25D' >none here; bind a key to tolvane</font>")
            << QStringLiteral(
                   "bind one to the command \"/opt/t/tolvane\" in the desktop's keyboard settings");
        QTest::newRow("GNOME 43: no portal shortcuts")
            << int(M::Portal) << int(S::Failed) << false << q << QString()
            << QStringLiteral("the desktop portal has no global shortcuts") << false
            << caption + QStringLiteral("<font color='#F5A25D' >none here; bind a key to tolvane</font>")
            << QStringLiteral(
                   "No system-wide hotkey on this desktop (the desktop portal has no global shortcuts)");
        QTest::newRow("X11 key held elsewhere")
            << int(M::KeyGrab) << int(S::Failed) << true << q << QString()
            << QStringLiteral("held by another program") << true
            << caption + QStringLiteral("<font color='#F5A25D' >CTRL+ALT+Q: held by another program</font>")
            << QStringLiteral("The hotkey CTRL+ALT+Q could not be registered: held by another program.");
        QTest::newRow("GNOME key taken")
            << int(M::DesktopShortcut) << int(S::Failed) << true << q << QString()
            << QStringLiteral("GNOME's \u201cLock screen\u201d uses it") << false
            << caption +
                   QStringLiteral(
                       "<font color='#F5A25D' >CTRL+ALT+Q: GNOME's \u201cLock screen\u201d uses it</font>")
            << QStringLiteral(
                   "could not be set as a GNOME shortcut: GNOME's \u201cLock screen\u201d uses it.");
        QTest::newRow("none set, no tray")
            << int(M::KeyGrab) << int(S::Failed) << true << QString() << QString()
            << QStringLiteral("no hotkey set") << false
            << caption + QStringLiteral("<font color='#F5A25D' >none set</font>")
            << QStringLiteral("Until then, start Tolvane again (its menu entry or the command \"tolvane\")");
    }

    void hotkeyTextsTellTheTruth()
    {
        QFETCH(int, mechanism);
        QFETCH(int, status);
        QFETCH(bool, available);
        QFETCH(QString, key);
        QFETCH(QString, trigger);
        QFETCH(QString, error);
        QFETCH(bool, tray);
        QFETCH(QString, line);
        QFETCH(QString, tip);
        HotkeyState state;
        state.mechanism = GlobalShortcut::Mechanism(mechanism);
        state.status = GlobalShortcut::Status(status);
        state.available = available;
        state.key = key;
        state.trigger = trigger;
        state.error = error;
        state.tray = tray;
        state.command = QStringLiteral("/opt/t/tolvane");
        QCOMPARE(HotkeyMessages::line(state), line);
        QVERIFY2(HotkeyMessages::toolTip(state).contains(tip), qPrintable(HotkeyMessages::toolTip(state)));
        // A hotkey in force is green and has no problem to tell; one that is not has.
        QCOMPARE(line.contains(QLatin1String("#32EC81")), state.inForce());
        QCOMPARE(HotkeyMessages::problem(state).isEmpty(),
                 state.inForce() || state.status == GlobalShortcut::Status::Pending);
        // The help names the key in force, else nothing.
        QCOMPARE(state.keyInForce().isEmpty(), !state.inForce());
    }

    // The settings' answer to a refused key says what holds: the previous key only
    // "stays" when it was in force.
    void refusedKeySaysWhatHolds_data()
    {
        QTest::addColumn<QString>("previous");
        QTest::addColumn<bool>("previousInForce");
        QTest::addColumn<bool>("tray");
        QTest::addColumn<QString>("answer");
        const QString refused =
            QStringLiteral("The hotkey CTRL+ALT+W cannot be used: the desktop refused it.");
        QTest::newRow("previous in force")
            << QStringLiteral("CTRL+ALT+Q") << true << true
            << refused + QStringLiteral(" The previous hotkey CTRL+ALT+Q stays.");
        QTest::newRow("previous never worked, tray")
            << QStringLiteral("CTRL+ALT+Q") << false << true
            << refused + QStringLiteral(" The previous hotkey CTRL+ALT+Q is not in force either. No hotkey "
                                        "shows Tolvane now: click Tolvane's icon in the tray.");
        QTest::newRow("no previous, no tray")
            << QString() << false << false
            << refused +
                   QStringLiteral(" No hotkey shows Tolvane now: start Tolvane again (its menu entry or "
                                  "the command \"tolvane\").");
    }

    void refusedKeySaysWhatHolds()
    {
        QFETCH(QString, previous);
        QFETCH(bool, previousInForce);
        QFETCH(bool, tray);
        QFETCH(QString, answer);
        HotkeyState now;
        now.mechanism = GlobalShortcut::Mechanism::Portal;
        now.available = true;
        now.tray = tray;
        now.command = QStringLiteral("/usr/lib/tolvane/tolvane");
        QCOMPARE(HotkeyMessages::refusal(QStringLiteral("CTRL+ALT+W"),
                                         QStringLiteral("the desktop refused it"), previous, previousInForce,
                                         now),
                 answer);
    }

    // Offscreen there are no system-wide keys and no tray: the window, its help and
    // the settings say so and say how the window comes back and how to quit.
    void withoutHotkeyOrTrayEveryTextSaysHowToComeBack()
    {
        auto w = makeWindow();
        QVERIFY(w);
        const QString command = QCoreApplication::applicationFilePath();
        QVERIFY(!w->trayIcon);
        QVERIFY(w->lblHotkey->text().contains(QLatin1String("none here; bind a key to ") +
                                              QFileInfo(command).fileName()));
        QVERIFY(
            w->lblHotkey->toolTip().contains(QStringLiteral("bind one to the command \"%1\"").arg(command)));

        QStringList help;
        for (const HelpDlg::Line &line : w->helpDlg.lines())
            help << line.text;
        QVERIFY2(help.join(QLatin1Char('\n')).contains(QLatin1String("Start Tolvane again")),
                 qPrintable(help.join('|')));
        QVERIFY(!help.join(QLatin1Char('\n')).contains(QLatin1String("tray")));
        QVERIFY(w->helpDlg.keyCap().isEmpty());
        w->ShowHelp();
        QTest::mouseClick(&w->helpDlg, Qt::LeftButton);
        help.clear();
        for (const HelpDlg::Line &line : w->helpDlg.lines())
            help << line.text;
        QVERIFY(
            help.join(QLatin1Char('\n')).contains(QLatin1String("right-click the window (Setting, Quit)")));
        QVERIFY(help.join(QLatin1Char('\n')).contains(QLatin1String("start Tolvane again to bring it back")));
        QVERIFY(!help.join(QLatin1Char('\n')).contains(QLatin1String("tray")));

        // A new key from the settings: it cannot be had here; the answer says where
        // to bind it, never that the desktop refused it or that an old key stays.
        w->ShowSettingSlot();
        auto field = w->settingDlg->findChild<QLineEdit *>(QStringLiteral("edtHotkey"));
        QVERIFY(field);
        QTest::keyClick(field, Qt::Key_W, Qt::ControlModifier | Qt::AltModifier);
        QTest::mouseClick(w->settingDlg->findChild<QPushButton *>(QStringLiteral("btnOk")), Qt::LeftButton);
        QTRY_COMPARE(boxes->texts.size(), 1);
        QCOMPARE(
            boxes->texts.first(),
            QStringLiteral("This desktop lets no program take a system-wide key, so Tolvane cannot use "
                           "CTRL+ALT+W by itself. Bind CTRL+ALT+W to the command \"%1\" in the desktop's "
                           "keyboard settings: starting Tolvane again shows its window.")
                .arg(command));
        // A dialog of the main window with no minimise or maximise button.
        QCOMPARE(boxes->parents.first(), w.get());
        const Qt::WindowFlags flags = boxes->flags.first();
        QCOMPARE(flags & Qt::WindowType_Mask, Qt::Dialog);
        QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QVERIFY(flags & Qt::CustomizeWindowHint);
        QCOMPARE(QSettings(configFile(), QSettings::IniFormat).value(QStringLiteral("hotkey")).toString(),
                 QStringLiteral("CTRL+ALT+W"));
    }

    // Every window is named after its purpose in the desktop's window switcher.
    void everyWindowHasAReadableTitle_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("title");
        QTest::newRow("main") << QStringLiteral("Dialog") << QStringLiteral("Tolvane");
        QTest::newRow("settings") << QStringLiteral("settings") << QStringLiteral("Tolvane Settings");
        QTest::newRow("about") << QStringLiteral("about") << QStringLiteral("About Tolvane");
        QTest::newRow("help") << QStringLiteral("help") << QStringLiteral("Tolvane Help");
        QTest::newRow("manager") << QStringLiteral("manager")
                                 << QStringLiteral("Tolvane Application Manager");
    }

    void everyWindowHasAReadableTitle()
    {
        QFETCH(QString, window);
        QFETCH(QString, title);
        auto w = makeWindow();
        QVERIFY(w);
        QAppshow manager(nullptr);
        const QMap<QString, QWidget *> windows{{QStringLiteral("Dialog"), w.get()},
                                               {QStringLiteral("settings"), w->settingDlg},
                                               {QStringLiteral("about"), w->aboutDlg},
                                               {QStringLiteral("help"), &w->helpDlg},
                                               {QStringLiteral("manager"), &manager}};
        QCOMPARE(windows.value(window)->windowTitle(), title);
    }

    // The menu opens on the right button's release, never on its press, so that
    // the release cannot choose an item; from the keyboard it opens at once.
    void contextMenuOpensOnTheRelease()
    {
        auto w = makeWindow();
        QVERIFY(w);
        const QPoint at(300, 60);
        QTest::mousePress(w.get(), Qt::RightButton, {}, at);
        QContextMenuEvent fromMouse(QContextMenuEvent::Mouse, at, w->mapToGlobal(at));
        QCoreApplication::sendEvent(w.get(), &fromMouse);
        QVERIFY(!w->trayMenu->isVisible());
        QTest::mouseRelease(w.get(), Qt::RightButton, {}, at);
        QTRY_VERIFY(w->trayMenu->isVisible());
        QVERIFY(!w->helpDlg.isVisible());
        w->trayMenu->hide();

        QContextMenuEvent fromKeyboard(QContextMenuEvent::Keyboard, at, w->mapToGlobal(at));
        QCoreApplication::sendEvent(w.get(), &fromKeyboard);
        QTRY_VERIFY(w->trayMenu->isVisible());
        w->trayMenu->hide();
    }

    void quitClosesEveryWindowAndEndsTheLoop()
    {
        auto w = makeWindow();
        QVERIFY(w);
        w->ShowSettingSlot();
        w->ShowAboutDlgSlot();
        w->ShowHelp();
        w->hide();
        // Quit while every window is hidden, as from the tray: the event loop ends.
        QTimer::singleShot(0, w.get(), &Dialog::CloseSlot);
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, qApp, [] { QCoreApplication::exit(1); });
        guard.start(10000);
        QCOMPARE(QCoreApplication::exec(), 0);
        QVERIFY(!w->settingDlg->isVisible());
        QVERIFY(!w->aboutDlg->isVisible());
        QVERIFY(!w->helpDlg.isVisible());
        QVERIFY(!w->isVisible());
    }
};

TOLVANE_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
