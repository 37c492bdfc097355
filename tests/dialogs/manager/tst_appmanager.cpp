#include "modalanswer.h"
#include "qaddapp.h"
#include "qappshow.h"
#include "qmodapp.h"
#include "testmain.h"

#include "fileicons.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QListView>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

#include <memory>

namespace {

APPBLOCK record(const QString &alias, const QString &path)
{
    APPBLOCK r;
    r.alias = alias;
    r.path = path;
    r.rowid = QStringLiteral("1");
    return r;
}

// Three catalog items, deliberately not in name order.
QList<APPBLOCK> catalog()
{
    return {record(QStringLiteral("Gamma"), QStringLiteral("/opt/gamma/gamma")),
            record(QStringLiteral("Alpha"), QStringLiteral("/opt/alpha/alpha.sh")),
            record(QStringLiteral("Beta"), QStringLiteral("/opt/beta/beta"))};
}

QStringList changes(const QAppshow &dlg)
{
    QStringList out;
    for (const APPBLOCK &c : dlg.pendingChanges)
        out << c.path + QLatin1Char('=') + c.alias;
    return out;
}

QTableWidget *table(QAppshow &dlg)
{
    return dlg.findChild<QTableWidget *>(QStringLiteral("listShow"));
}

QPushButton *button(QWidget *dlg, const char *name)
{
    return dlg->findChild<QPushButton *>(QLatin1String(name));
}

void click(QWidget *dlg, const char *name)
{
    QPushButton *b = button(dlg, name);
    QVERIFY2(b, name);
    QTest::mouseClick(b, Qt::LeftButton);
}

// The rows as "name|path", top to bottom.
QStringList rows(QAppshow &dlg)
{
    QStringList out;
    QTableWidget *t = table(dlg);
    for (int r = 0; r < t->rowCount(); ++r)
        out << t->item(r, 0)->text() + QLatin1Char('|') + t->item(r, 1)->text();
    return out;
}

int rowOfPath(QAppshow &dlg, const QString &path)
{
    QTableWidget *t = table(dlg);
    for (int r = 0; r < t->rowCount(); ++r) {
        if (t->item(r, 1)->text() == path)
            return r;
    }
    return -1;
}

void clickRow(QAppshow &dlg, int row)
{
    QTableWidget *t = table(dlg);
    QTest::mouseClick(t->viewport(), Qt::LeftButton, {}, t->visualItemRect(t->item(row, 1)).center());
}

void clickHeader(QAppshow &dlg, int section)
{
    QHeaderView *h = table(dlg)->horizontalHeader();
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {},
                      QPoint(h->sectionViewportPosition(section) + 30, h->height() / 2));
}

// Answers the next add dialog: optionally browses to `file`, then types `name`
// (when not null) and clicks OK.
void answerAdd(const QString &name, const QString &file = QString())
{
    whenModalShows<qAddApp>([name, file](qAddApp *add) {
        if (!file.isEmpty()) {
            whenModalShows<QFileDialog>([file](QFileDialog *fd) {
                fd->selectFile(file);
                static_cast<QDialog *>(fd)->accept();
            });
            click(add, "btnPath");
        }
        if (!name.isNull()) {
            auto edit = add->findChild<QLineEdit *>(QStringLiteral("edtName"));
            edit->clear();
            QTest::keyClicks(edit, name);
        }
        click(add, "btnOK");
    });
}

// Answers the next rename dialog with `name`, typed over the selected old name.
void answerRename(const QString &name)
{
    whenModalShows<qModapp>([name](qModapp *mod) {
        auto edit = mod->findChild<QLineEdit *>(QStringLiteral("edtNew"));
        if (name.isEmpty())
            edit->clear();
        else
            QTest::keyClicks(edit, name);
        click(mod, "btnOK");
    });
}

void renameRow(QAppshow &dlg, int row, const QString &name)
{
    clickRow(dlg, row);
    answerRename(name);
    click(&dlg, "btnModify");
}

// Shown and holding the keyboard focus.
bool showActive(QWidget *w)
{
    w->show();
    w->activateWindow();
    return QTest::qWaitForWindowActive(w);
}

QString makeFile(const QString &relative)
{
    const QString path = TestSandbox::path(relative);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write("#!/bin/sh\n");
    return path;
}

} // namespace

class TestAppManager : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        dlg = std::make_unique<QAppshow>(nullptr);
        dlg->SetItems(catalog());
    }
    void cleanup()
    {
        dlg.reset();
        // An answer left armed by a failed check must not answer the next test's dialog.
        const QList<QTimer *> pending = qApp->findChildren<QTimer *>(QString(), Qt::FindDirectChildrenOnly);
        qDeleteAll(pending);
    }

    void formAndTable()
    {
        QCOMPARE(dlg->objectName(), QStringLiteral("appshow"));
        QCOMPARE(dlg->windowModality(), Qt::WindowModal);
        QVERIFY(dlg->windowFlags() & Qt::FramelessWindowHint);
        QTableWidget *t = table(*dlg);
        QVERIFY(t);
        for (const char *name : {"btnAdd", "btnDelete", "btnModify", "btnEnsure", "btnCancel"}) {
            QVERIFY2(button(dlg.get(), name), name);
            QVERIFY(button(dlg.get(), name)->text().isEmpty());
        }
        QCOMPARE(t->geometry(), QRect(10, 40, 461, 301));
        QCOMPARE(t->horizontalHeaderItem(0)->text(), QStringLiteral("Name"));
        QCOMPARE(t->horizontalHeaderItem(1)->text(), QStringLiteral("Path"));
        QCOMPARE(t->columnWidth(0), 180);
        QCOMPARE(t->columnWidth(1), 260);
        QCOMPARE(t->horizontalHeader()->sectionResizeMode(0), QHeaderView::Fixed);
        QVERIFY(!t->verticalHeader()->isVisible());
        QCOMPARE(t->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(t->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(t->selectionMode(), QAbstractItemView::SingleSelection);
        // Catalog order, row 0 current, every cell's tooltip its own text.
        QCOMPARE(rows(*dlg),
                 QStringList({"Gamma|/opt/gamma/gamma", "Alpha|/opt/alpha/alpha.sh", "Beta|/opt/beta/beta"}));
        QCOMPARE(t->currentRow(), 0);
        for (int r = 0; r < t->rowCount(); ++r) {
            for (int c = 0; c < 2; ++c)
                QCOMPARE(t->item(r, c)->toolTip(), t->item(r, c)->text());
        }
        QVERIFY(dlg->pendingChanges.isEmpty());
    }

    // A desktop entry's path cell shows what it starts; every change still names
    // the entry's file, which is the item.
    void desktopEntriesShowWhatTheyStart()
    {
        const QString editor = makeFile(QStringLiteral("entries/org.example.Editor.desktop"));
        QFile editorFile(editor);
        QVERIFY(editorFile.open(QIODevice::WriteOnly | QIODevice::Truncate));
        editorFile.write(
            "[Desktop Entry]\nType=Application\nName=Editor\nExec=\"/opt/My Editor/edit\" -n %U\n");
        editorFile.close();
        const QString calc = makeFile(QStringLiteral("entries/org.example.Calc.desktop"));
        QFile calcFile(calc);
        QVERIFY(calcFile.open(QIODevice::WriteOnly | QIODevice::Truncate));
        calcFile.write("[Desktop Entry]\nType=Application\nName=Calc\nDBusActivatable=true\n");
        calcFile.close();
        dlg->SetItems({record(QStringLiteral("Editor"), editor), record(QStringLiteral("Calc"), calc),
                       record(QStringLiteral("Beta"), QStringLiteral("/opt/beta/beta"))});
        QCOMPARE(rows(*dlg), QStringList({"Editor|\"/opt/My Editor/edit\" -n", "Calc|org.example.Calc",
                                          "Beta|/opt/beta/beta"}));
        QCOMPARE(table(*dlg)->item(0, 1)->toolTip(), QStringLiteral("\"/opt/My Editor/edit\" -n"));
        dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));

        renameRow(*dlg, 0, QStringLiteral("Editor Two"));
        clickRow(*dlg, 1);
        click(dlg.get(), "btnDelete");
        QCOMPARE(changes(*dlg), QStringList({editor + "=Editor Two", calc + "="}));

        // The entry's file is known, though its row shows a command.
        MessageBoxAnswerer boxes;
        answerAdd(QStringLiteral("Again"), editor);
        click(dlg.get(), "btnAdd");
        QTRY_COMPARE(boxes.texts, QStringList{QStringLiteral("the application already exists.")});
        QCOMPARE(table(*dlg)->rowCount(), 2);
        QCOMPARE(changes(*dlg), QStringList({editor + "=Editor Two", calc + "="}));
    }

    void headerSortsAscendingThenDescending()
    {
        dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
        clickHeader(*dlg, 0);
        QCOMPARE(rows(*dlg),
                 QStringList({"Alpha|/opt/alpha/alpha.sh", "Beta|/opt/beta/beta", "Gamma|/opt/gamma/gamma"}));
        clickHeader(*dlg, 0);
        QCOMPARE(rows(*dlg),
                 QStringList({"Gamma|/opt/gamma/gamma", "Beta|/opt/beta/beta", "Alpha|/opt/alpha/alpha.sh"}));
    }

    void cancelLeavesChangesUnapplied()
    {
        whenModalShows<QAppshow>([](QAppshow *d) {
            answerAdd(QStringLiteral("Delta"));
            click(d, "btnAdd");
            renameRow(*d, 0, QStringLiteral("Gamma Two"));
            clickRow(*d, 1);
            click(d, "btnDelete");
            click(d, "btnCancel");
        });
        QCOMPARE(dlg->exec(), int(QDialog::Rejected));
        // The caller applies pendingChanges only after an accepted run.
        QCOMPARE(changes(*dlg),
                 QStringList({"=Delta", "/opt/gamma/gamma=Gamma Two", "/opt/alpha/alpha.sh="}));
    }

    void okAcceptsWithChanges()
    {
        whenModalShows<QAppshow>([](QAppshow *d) {
            clickRow(*d, 2);
            click(d, "btnDelete");
            click(d, "btnEnsure");
        });
        QCOMPARE(dlg->exec(), int(QDialog::Accepted));
        QCOMPARE(changes(*dlg), QStringList({"/opt/beta/beta="}));
        QCOMPARE(rows(*dlg), QStringList({"Gamma|/opt/gamma/gamma", "Alpha|/opt/alpha/alpha.sh"}));
    }

    void addThenDeleteQueuesNothing()
    {
        const QString file = makeFile(QStringLiteral("home/tools/delta.sh"));
        dlg->show();
        answerAdd(QString(), file);
        click(dlg.get(), "btnAdd");
        QCOMPARE(changes(*dlg), QStringList({file + "=delta.sh"}));
        const int row = rowOfPath(*dlg, file);
        QCOMPARE(row, 3);
        clickRow(*dlg, row);
        click(dlg.get(), "btnDelete");
        QCOMPARE(rowOfPath(*dlg, file), -1);
        QVERIFY(dlg->pendingChanges.isEmpty());
    }

    void renameTwiceKeepsLastName()
    {
        dlg->show();
        renameRow(*dlg, 1, QStringLiteral("First"));
        renameRow(*dlg, 1, QStringLiteral("Second"));
        QCOMPARE(changes(*dlg), QStringList({"/opt/alpha/alpha.sh=Second"}));
        QTableWidgetItem *cell = table(*dlg)->item(1, 0);
        QCOMPARE(cell->text(), QStringLiteral("Second"));
        QCOMPARE(cell->toolTip(), QStringLiteral("Second"));
        QCOMPARE(table(*dlg)->item(1, 1)->text(), QStringLiteral("/opt/alpha/alpha.sh"));
        for (const APPBLOCK &c : dlg->pendingChanges)
            QVERIFY(c.rowid.isEmpty() && c.info.isEmpty() && c.key.isEmpty());
    }

    void renameByDoubleClick()
    {
        dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
        QTableWidget *t = table(*dlg);
        answerRename(QStringLiteral("Bee"));
        QTest::mouseClick(t->viewport(), Qt::LeftButton, {}, t->visualItemRect(t->item(2, 0)).center());
        QTest::mouseDClick(t->viewport(), Qt::LeftButton, {}, t->visualItemRect(t->item(2, 0)).center());
        QCOMPARE(changes(*dlg), QStringList({"/opt/beta/beta=Bee"}));
        QCOMPARE(t->item(2, 0)->text(), QStringLiteral("Bee"));
    }

    void renameToSameNameChangesNothing()
    {
        dlg->show();
        QTableWidgetItem *before = table(*dlg)->item(0, 0);
        clickRow(*dlg, 0);
        whenModalShows<qModapp>([](qModapp *mod) {
            QCOMPARE(mod->findChild<QLineEdit *>(QStringLiteral("edtName"))->text(), QStringLiteral("Gamma"));
            QCOMPARE(mod->findChild<QLineEdit *>(QStringLiteral("edtNew"))->selectedText(),
                     QStringLiteral("Gamma"));
            click(mod, "btnOK");
        });
        click(dlg.get(), "btnModify");
        QVERIFY(dlg->pendingChanges.isEmpty());
        QCOMPARE(table(*dlg)->item(0, 0), before);

        // Cancelling the rename changes nothing either.
        whenModalShows<qModapp>([](qModapp *mod) {
            QTest::keyClicks(mod->findChild<QLineEdit *>(QStringLiteral("edtNew")), QStringLiteral("X"));
            click(mod, "btnCancel");
        });
        click(dlg.get(), "btnModify");
        QVERIFY(dlg->pendingChanges.isEmpty());
        QCOMPARE(table(*dlg)->item(0, 0)->text(), QStringLiteral("Gamma"));
    }

    void deleteRenamedCatalogItemQueuesDeletion()
    {
        dlg->show();
        renameRow(*dlg, 0, QStringLiteral("Renamed"));
        clickRow(*dlg, 0);
        click(dlg.get(), "btnDelete");
        QCOMPARE(changes(*dlg), QStringList({"/opt/gamma/gamma="}));
        QCOMPARE(rowOfPath(*dlg, QStringLiteral("/opt/gamma/gamma")), -1);
    }

    void addedRenamedThenDeletedQueuesNothing()
    {
        dlg->show();
        answerAdd(QStringLiteral("Mine"));
        click(dlg.get(), "btnAdd");
        const int row = rowOfPath(*dlg, QString());
        renameRow(*dlg, row, QStringLiteral("Mine Too"));
        QCOMPARE(changes(*dlg), QStringList({"=Mine Too"}));
        clickRow(*dlg, row);
        click(dlg.get(), "btnDelete");
        QVERIFY(dlg->pendingChanges.isEmpty());
    }

    void deleteThenAddSamePathKeepsOneEntry()
    {
        // A catalog item deleted and then added again from its file: one entry,
        // the addition; deleting it again asks for the deletion once more.
        const QString file = makeFile(QStringLiteral("home/tools/again.sh"));
        QList<APPBLOCK> items = catalog();
        items << record(QStringLiteral("Again"), file);
        dlg->SetItems(items);
        dlg->show();
        clickRow(*dlg, 3);
        click(dlg.get(), "btnDelete");
        QCOMPARE(changes(*dlg), QStringList({file + "="}));
        answerAdd(QStringLiteral("Again Two"), file);
        click(dlg.get(), "btnAdd");
        QCOMPARE(changes(*dlg), QStringList({file + "=Again Two"}));
        clickRow(*dlg, rowOfPath(*dlg, file));
        click(dlg.get(), "btnDelete");
        QCOMPARE(changes(*dlg), QStringList({file + "="}));
    }

    void existingPathIsRefused()
    {
        const QString file = makeFile(QStringLiteral("home/tools/known.sh"));
        QList<APPBLOCK> items = catalog();
        items << record(QStringLiteral("Known"), file);
        dlg->SetItems(items);
        dlg->show();
        MessageBoxAnswerer boxes;
        answerAdd(QStringLiteral("Known again"), file);
        click(dlg.get(), "btnAdd");
        QCOMPARE(boxes.titles, QStringList({"Title"}));
        QCOMPARE(boxes.texts, QStringList({"the application already exists."}));
        QCOMPARE(table(*dlg)->rowCount(), 4);
        QVERIFY(dlg->pendingChanges.isEmpty());
    }

    void pathCheckIsExactText()
    {
        // The same file written with other letter case is not caught.
        const QString lower = makeFile(QStringLiteral("home/tools/case.sh"));
        const QString upper = makeFile(QStringLiteral("home/tools/CASE.sh"));
        QList<APPBLOCK> items = catalog();
        items << record(QStringLiteral("Case"), lower);
        dlg->SetItems(items);
        dlg->show();
        MessageBoxAnswerer boxes;
        answerAdd(QString(), upper);
        click(dlg.get(), "btnAdd");
        QVERIFY(boxes.texts.isEmpty());
        QCOMPARE(changes(*dlg), QStringList({upper + "=CASE.sh"}));
    }

    void addAfterSortingKeepsItsPath()
    {
        dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
        clickHeader(*dlg, 0);
        const QString file = makeFile(QStringLiteral("home/tools/bravo.sh"));
        answerAdd(QStringLiteral("Bravo"), file);
        click(dlg.get(), "btnAdd");
        QCOMPARE(rows(*dlg), QStringList({"Alpha|/opt/alpha/alpha.sh", "Beta|/opt/beta/beta", "Bravo|" + file,
                                          "Gamma|/opt/gamma/gamma"}));
        // A rename under the active sort moves the whole row.
        renameRow(*dlg, 3, QStringLiteral("Aaron"));
        QCOMPARE(rows(*dlg), QStringList({"Aaron|/opt/gamma/gamma", "Alpha|/opt/alpha/alpha.sh",
                                          "Beta|/opt/beta/beta", "Bravo|" + file}));
        QCOMPARE(changes(*dlg), QStringList({file + "=Bravo", "/opt/gamma/gamma=Aaron"}));
    }

    void deleteKey()
    {
        dlg->show();
        QTableWidget *t = table(*dlg);
        clickRow(*dlg, 1);
        QTest::keyClick(t, Qt::Key_Delete);
        QCOMPARE(rows(*dlg), QStringList({"Gamma|/opt/gamma/gamma", "Beta|/opt/beta/beta"}));
        QCOMPARE(changes(*dlg), QStringList({"/opt/alpha/alpha.sh="}));

        // Other keys do nothing.
        QTest::keyClick(t, Qt::Key_Backspace);
        QCOMPARE(t->rowCount(), 2);

        // Without a current row the key does nothing.
        t->setCurrentIndex(QModelIndex());
        QCOMPARE(t->currentRow(), -1);
        QTest::keyClick(t, Qt::Key_Delete);
        QCOMPARE(t->rowCount(), 2);
        QCOMPARE(changes(*dlg), QStringList({"/opt/alpha/alpha.sh="}));
        click(dlg.get(), "btnDelete");
        QCOMPARE(t->rowCount(), 2);
        click(dlg.get(), "btnModify"); // no row: no rename dialog (nothing answers one)
        QCOMPARE(changes(*dlg), QStringList({"/opt/alpha/alpha.sh="}));
    }

    void okWithoutBrowsingAddsEmptyPath()
    {
        dlg->show();
        answerAdd(QStringLiteral("No Path"));
        click(dlg.get(), "btnAdd");
        QCOMPARE(changes(*dlg), QStringList({"=No Path"}));
        QCOMPARE(table(*dlg)->rowCount(), 4);
        QCOMPARE(table(*dlg)->item(3, 0)->text(), QStringLiteral("No Path"));
        QCOMPARE(table(*dlg)->item(3, 1)->text(), QString());
    }

    void cancelledAddAddsNothing()
    {
        dlg->show();
        whenModalShows<qAddApp>([](qAddApp *add) {
            QTest::keyClicks(add->findChild<QLineEdit *>(QStringLiteral("edtName")), QStringLiteral("Nope"));
            click(add, "btnCancel");
        });
        click(dlg.get(), "btnAdd");
        QCOMPARE(table(*dlg)->rowCount(), 3);
        QVERIFY(dlg->pendingChanges.isEmpty());
    }

    void browseFillsNameAndPath()
    {
        const QString file = makeFile(QStringLiteral("home/my tools/run me.sh"));
        qAddApp add;
        add.show();
        whenModalShows<QFileDialog>([](QFileDialog *fd) {
            QCOMPARE(fd->windowTitle(), QStringLiteral("Open Document"));
            QCOMPARE(fd->directory().absolutePath(), QDir::currentPath());
            QCOMPARE(fd->nameFilters(), QStringList({"All files(*)"}));
            fd->reject();
        });
        click(&add, "btnPath");
        auto name = add.findChild<QLineEdit *>(QStringLiteral("edtName"));
        auto path = add.findChild<QLineEdit *>(QStringLiteral("edtPath"));
        // A cancelled browse changes nothing.
        QVERIFY(name->text().isEmpty());
        QVERIFY(add.chosenPath().isEmpty());

        whenModalShows<QFileDialog>([file](QFileDialog *fd) {
            fd->selectFile(file);
            static_cast<QDialog *>(fd)->accept();
        });
        click(&add, "btnPath");
        QCOMPARE(name->text(), QStringLiteral("run me.sh"));
        QCOMPARE(path->text(), file);
        QVERIFY(path->isReadOnly());
        QCOMPARE(add.chosenPath(), file);
        QCOMPARE(add.chosenName(), QStringLiteral("run me.sh"));

        // The typed name wins over the file's name.
        name->clear();
        QTest::keyClicks(name, QStringLiteral("Runner"));
        click(&add, "btnOK");
        QCOMPARE(add.result(), int(QDialog::Accepted));
        QCOMPARE(add.chosenName(), QStringLiteral("Runner"));
        QCOMPARE(add.chosenPath(), file);
    }

    void browsePicksProgramWithoutExtension()
    {
        const QString program = makeFile(QStringLiteral("home/bin/myprogram"));
        qAddApp add;
        add.show();
        whenModalShows<QFileDialog>([program](QFileDialog *fd) {
            fd->selectFile(program);
            static_cast<QDialog *>(fd)->accept();
        });
        click(&add, "btnPath");
        QCOMPARE(add.chosenPath(), program);
        QCOMPARE(add.chosenName(), QStringLiteral("myprogram"));
    }

    void emptyNameKeepsAddDialogOpen()
    {
        qAddApp add;
        add.show();
        QVERIFY(QTest::qWaitForWindowExposed(&add));
        MessageBoxAnswerer boxes;
        click(&add, "btnOK");
        QCOMPARE(boxes.titles, QStringList({"Title"}));
        QCOMPARE(boxes.texts, QStringList({"Name can not be empty"}));
        QVERIFY(add.isVisible());
        QCOMPARE(add.result(), 0);
        // Return in the name field presses OK, the default button.
        QTest::keyClicks(add.findChild<QLineEdit *>(QStringLiteral("edtName")), QStringLiteral("Ok now"));
        QTest::keyClick(add.findChild<QLineEdit *>(QStringLiteral("edtName")), Qt::Key_Return);
        QVERIFY(!add.isVisible());
        QCOMPARE(add.result(), int(QDialog::Accepted));
        QCOMPARE(add.chosenName(), QStringLiteral("Ok now"));
        QCOMPARE(add.chosenPath(), QString());
    }

    void emptyNameKeepsRenameDialogOpen()
    {
        qModapp mod(QStringLiteral("Old"));
        mod.show();
        QVERIFY(QTest::qWaitForWindowExposed(&mod));
        auto edtName = mod.findChild<QLineEdit *>(QStringLiteral("edtName"));
        auto edtNew = mod.findChild<QLineEdit *>(QStringLiteral("edtNew"));
        QCOMPARE(edtName->text(), QStringLiteral("Old"));
        QVERIFY(edtName->isReadOnly());
        QCOMPARE(edtNew->selectedText(), QStringLiteral("Old"));
        edtNew->clear();
        MessageBoxAnswerer boxes;
        click(&mod, "btnOK");
        QCOMPARE(boxes.titles, QStringList({"Title"}));
        QCOMPARE(boxes.texts, QStringList({"Name can not be empty"}));
        QVERIFY(mod.isVisible());
        QVERIFY(mod.newName().isEmpty());
        QTest::keyClicks(edtNew, QStringLiteral("New"));
        click(&mod, "btnOK");
        QVERIFY(!mod.isVisible());
        QCOMPARE(mod.result(), int(QDialog::Accepted));
        QCOMPARE(mod.newName(), QStringLiteral("New"));
    }

    void iconsArriveAfterShow()
    {
        const QString a = makeFile(QStringLiteral("home/apps/a.sh"));
        const QString b = makeFile(QStringLiteral("home/apps/b.sh"));
        const QString gone = TestSandbox::path("home/apps/missing.sh");
        // The missing file first: it gets whatever the icon provider gives, maybe none.
        dlg->SetItems({record(QStringLiteral("Gone"), gone), record(QStringLiteral("A"), a),
                       record(QStringLiteral("B"), b)});
        QTableWidget *t = table(*dlg);
        const auto hasIcon = [t](int row) { return !t->item(row, 0)->icon().isNull(); };
        QVERIFY(!hasIcon(1) && !hasIcon(2));
        dlg->show();
        // The fill waits for its timer after the first show.
        QVERIFY(!hasIcon(1) && !hasIcon(2));
        QTRY_VERIFY(hasIcon(2));
        QVERIFY(hasIcon(1));
        QCOMPARE(rows(*dlg), QStringList({"Gone|" + gone, "A|" + a, "B|" + b}));
        for (int r = 0; r < t->rowCount(); ++r)
            QCOMPARE(t->item(r, 0)->toolTip(), t->item(r, 0)->text());
        // An added row gets its icon at once.
        answerAdd(QStringLiteral("C"), makeFile(QStringLiteral("home/apps/c.sh")));
        click(dlg.get(), "btnAdd");
        QVERIFY(hasIcon(3));
    }

    void okDuringIconFillIsServed()
    {
        const QString file = makeFile(QStringLiteral("home/apps/many.sh"));
        QList<APPBLOCK> many;
        for (int i = 0; i < 3000; ++i)
            many << record(QStringLiteral("Item %1").arg(i), file);
        dlg->SetItems(many);
        QTableWidget *t = table(*dlg);
        bool clickedMidFill = false;
        whenModalShows<QAppshow>([t, &clickedMidFill](QAppshow *d) {
            auto poll = new QTimer(d);
            QObject::connect(poll, &QTimer::timeout, d, [=, &clickedMidFill] {
                if (t->item(0, 0)->icon().isNull())
                    return;
                poll->stop();
                clickedMidFill = t->item(t->rowCount() - 1, 0)->icon().isNull();
                click(d, "btnEnsure");
            });
            poll->start(0);
        });
        QCOMPARE(dlg->exec(), int(QDialog::Accepted));
        QVERIFY(clickedMidFill);
        // The fill stopped with the dialog; events after it touch nothing.
        QVERIFY(t->item(t->rowCount() - 1, 0)->icon().isNull());
        QCoreApplication::processEvents();
        dlg.reset();
        QCoreApplication::processEvents();
    }

    void destroyedDuringIconFill()
    {
        const QString file = makeFile(QStringLiteral("home/apps/many.sh"));
        QList<APPBLOCK> many;
        for (int i = 0; i < 3000; ++i)
            many << record(QStringLiteral("Item %1").arg(i), file);
        auto doomed = new QAppshow(nullptr);
        QPointer<QAppshow> guard(doomed);
        doomed->SetItems(many);
        QTableWidget *t = table(*doomed);
        doomed->show();
        bool deletedMidFill = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (!guard || t->item(0, 0)->icon().isNull())
                return;
            poll.stop();
            deletedMidFill = t->item(t->rowCount() - 1, 0)->icon().isNull();
            delete guard.data();
        });
        poll.start(0);
        QTRY_VERIFY(guard.isNull());
        QVERIFY(deletedMidFill);
        // More event processing after the fill loop returned: nothing left to crash on.
        QCoreApplication::processEvents();
        QVERIFY(!poll.isActive());
    }

    void deleteDuringIconFill()
    {
        // Rows deleted while the icons come in: the fill follows the shrinking table.
        const QString file = TestSandbox::path(QStringLiteral("home/apps/file"));
        QList<APPBLOCK> many;
        for (int i = 0; i < 400; ++i) {
            makeFile(QStringLiteral("home/apps/file") + QString::number(i));
            many << record(QStringLiteral("Item %1").arg(i), file + QString::number(i));
        }
        dlg->SetItems(many);
        QTableWidget *t = table(*dlg);
        dlg->show();
        int deletions = 0;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (t->item(0, 0)->icon().isNull() || t->rowCount() <= 10)
                return;
            t->setCurrentCell(t->rowCount() - 1, 0);
            click(dlg.get(), "btnDelete");
            ++deletions;
        });
        poll.start(0);
        QTRY_VERIFY(t->rowCount() <= 10 || !t->item(t->rowCount() - 1, 0)->icon().isNull());
        poll.stop();
        QVERIFY(deletions > 0);
        QCOMPARE(dlg->pendingChanges.size(), deletions);
        QCOMPARE(t->rowCount(), 400 - deletions);
        QTRY_VERIFY(!t->item(t->rowCount() - 1, 0)->icon().isNull());
        for (int r = 0; r < t->rowCount(); ++r)
            QCOMPARE(t->item(r, 1)->text(), file + QString::number(r));
    }

    // The manager from the keyboard alone: the table has the focus first; Up and
    // Down choose a row, F2 or Return renames it, Delete deletes it; Tab goes on
    // through the five buttons and back to the table; Return or Space presses the
    // button that has the focus.
    void keyboardOnly()
    {
        QVERIFY(showActive(dlg.get()));
        QTableWidget *t = table(*dlg);
        QTRY_COMPARE(QApplication::focusWidget(), t);
        QCOMPARE(t->currentRow(), 0);
        // A key for the widget with the keyboard focus, once the manager has it back
        // after a dialog of its own closed.
        const auto press = [this](int key) {
            QTRY_VERIFY(QApplication::focusWidget() && QApplication::focusWidget()->window() == dlg.get());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
        };

        // F2 and Return rename the current row; the rename dialog answers to keys too.
        const auto renameWithKeys = [](const QString &name) {
            whenModalShows<qModapp>([name](qModapp *mod) {
                QTest::keyClicks(mod->focusWidget(), name);
                QTest::keyClick(mod->focusWidget(), Qt::Key_Return);
            });
        };
        press(Qt::Key_Down);
        QCOMPARE(t->currentRow(), 1);
        renameWithKeys(QStringLiteral("Alpha Two"));
        press(Qt::Key_F2);
        QCOMPARE(t->item(1, 0)->text(), QStringLiteral("Alpha Two"));
        press(Qt::Key_Down);
        renameWithKeys(QStringLiteral("Beta Two"));
        press(Qt::Key_Return);
        QCOMPARE(t->item(2, 0)->text(), QStringLiteral("Beta Two"));
        QCOMPARE(changes(*dlg), QStringList({"/opt/alpha/alpha.sh=Alpha Two", "/opt/beta/beta=Beta Two"}));
        // Escape in the rename dialog cancels it, not the manager.
        whenModalShows<qModapp>([](qModapp *mod) { QTest::keyClick(mod->focusWidget(), Qt::Key_Escape); });
        press(Qt::Key_F2);
        QVERIFY(dlg->isVisible());
        QCOMPARE(t->item(2, 0)->text(), QStringLiteral("Beta Two"));

        // Delete deletes the current row.
        press(Qt::Key_Up);
        press(Qt::Key_Up);
        QCOMPARE(t->currentRow(), 0);
        press(Qt::Key_Delete);
        QCOMPARE(rows(*dlg), QStringList({"Alpha Two|/opt/alpha/alpha.sh", "Beta Two|/opt/beta/beta"}));

        // Tab leaves the table and walks through the buttons, Shift+Tab back.
        QStringList order;
        for (int i = 0; i < 6; ++i) {
            press(Qt::Key_Tab);
            order << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(order,
                 QStringList({"btnAdd", "btnDelete", "btnModify", "btnEnsure", "btnCancel", "listShow"}));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab,
                        Qt::ShiftModifier); // (the focus is here)
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("btnCancel"));

        // Return on Add opens the add dialog; Space on Modify renames.
        press(Qt::Key_Tab);
        press(Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("btnAdd"));
        whenModalShows<qAddApp>([](qAddApp *add) {
            QTest::keyClicks(add->focusWidget(), QStringLiteral("Typed"));
            QTest::keyClick(add->focusWidget(), Qt::Key_Return);
        });
        press(Qt::Key_Return);
        QCOMPARE(t->rowCount(), 3);
        QCOMPARE(t->item(2, 0)->text(), QStringLiteral("Typed"));
        // Space on Modify renames the current row, still the first one.
        press(Qt::Key_Tab);
        press(Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("btnModify"));
        QCOMPARE(t->currentRow(), 0);
        renameWithKeys(QStringLiteral("Alpha Three"));
        press(Qt::Key_Space);
        QCOMPARE(t->item(0, 0)->text(), QStringLiteral("Alpha Three"));

        // Return on OK ends the run, accepted, when it is released.
        press(Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("btnEnsure"));
        QTest::keyPress(QApplication::focusWidget(), Qt::Key_Return);
        QVERIFY(dlg->isVisible());
        QTest::keyRelease(QApplication::focusWidget(), Qt::Key_Return);
        QVERIFY(!dlg->isVisible());
        QCOMPARE(dlg->result(), int(QDialog::Accepted));
        QCOMPARE(changes(*dlg), QStringList({"/opt/beta/beta=Beta Two", "/opt/gamma/gamma=", "=Typed",
                                             "/opt/alpha/alpha.sh=Alpha Three"}));
    }

    // A button with the keyboard focus shows it.
    void buttonsShowTheFocus()
    {
        QVERIFY(showActive(dlg.get()));
        for (const char *name : {"btnAdd", "btnDelete", "btnModify", "btnEnsure", "btnCancel"}) {
            QPushButton *b = button(dlg.get(), name);
            QVERIFY2(b->focusPolicy() & Qt::TabFocus, name);
            table(*dlg)->setFocus(Qt::TabFocusReason);
            QTRY_VERIFY(!b->hasFocus());
            const QImage without = b->grab().toImage();
            b->setFocus(Qt::TabFocusReason);
            QTRY_VERIFY(b->hasFocus());
            const QImage with = b->grab().toImage();
            QVERIFY2(with != without, name);
        }
        // The add and rename dialogs' buttons too.
        qAddApp add;
        qModapp mod(QStringLiteral("Old"));
        for (QDialog *d : {static_cast<QDialog *>(&add), static_cast<QDialog *>(&mod)}) {
            QVERIFY(showActive(d));
            QWidget *field = d->findChild<QLineEdit *>();
            for (QPushButton *b : d->findChildren<QPushButton *>()) {
                field->setFocus(Qt::TabFocusReason);
                QTRY_VERIFY(field->hasFocus());
                const QImage without = b->grab().toImage();
                b->setFocus(Qt::TabFocusReason);
                QTRY_VERIFY(b->hasFocus());
                const QImage with = b->grab().toImage();
                QVERIFY2(with != without, qPrintable(b->objectName()));
            }
            d->hide();
        }
    }

    // In the add and rename dialogs Return presses the button that has the focus:
    // on Cancel it cancels (it used to reach the dialog and press OK).
    void returnPressesTheButtonWithTheFocus()
    {
        qModapp mod(QStringLiteral("Old"));
        QVERIFY(showActive(&mod));
        QTest::keyClicks(mod.focusWidget(), QStringLiteral("New"));
        QTest::keyClick(mod.focusWidget(), Qt::Key_Tab);
        QCOMPARE(mod.focusWidget()->objectName(), QStringLiteral("btnOK"));
        QTest::keyClick(mod.focusWidget(), Qt::Key_Tab);
        QCOMPARE(mod.focusWidget()->objectName(), QStringLiteral("btnCancel"));
        QTest::keyClick(mod.focusWidget(), Qt::Key_Return);
        QVERIFY(!mod.isVisible());
        QCOMPARE(mod.result(), int(QDialog::Rejected));
        QVERIFY(mod.newName().isEmpty());

        qAddApp add;
        QVERIFY(showActive(&add));
        QTest::keyClicks(add.focusWidget(), QStringLiteral("Name"));
        QStringList order;
        for (int i = 0; i < 4; ++i) {
            QTest::keyClick(add.focusWidget(), Qt::Key_Tab);
            order << add.focusWidget()->objectName();
        }
        QCOMPARE(order, QStringList({"edtPath", "btnPath", "btnOK", "btnCancel"}));
        QTest::keyClick(add.focusWidget(), Qt::Key_Return);
        QVERIFY(!add.isVisible());
        QCOMPARE(add.result(), int(QDialog::Rejected));
    }

    // Names and paths sort as people read them: letter case aside, accented letters
    // with their base letter, numbers by their value.
    void sortsAsPeopleRead()
    {
        QList<APPBLOCK> items;
        const QStringList unsorted{"Blender",
                                   "Zoom",
                                   "alacritty",
                                   "btop",
                                   "firefox",
                                   "item 10",
                                   "item 9",
                                   QString::fromUtf8("\xC3\x89"
                                                     "clair"),
                                   "Item 2"};
        for (const QString &name : unsorted)
            items << record(name, QStringLiteral("/opt/") + name);
        dlg->SetItems(items);
        QVERIFY(showActive(dlg.get()));
        const auto names = [this] {
            QStringList out;
            for (int r = 0; r < table(*dlg)->rowCount(); ++r)
                out << table(*dlg)->item(r, 0)->text();
            return out;
        };
        const QStringList ascending({"alacritty", "Blender", "btop",
                                     QString::fromUtf8("\xC3\x89"
                                                       "clair"),
                                     "firefox", "Item 2", "item 9", "item 10", "Zoom"});
        clickHeader(*dlg, 0);
        QCOMPARE(names(), ascending);
        clickHeader(*dlg, 0);
        QStringList descending = ascending;
        std::reverse(descending.begin(), descending.end());
        QCOMPARE(names(), descending);

        // The path column the same way; each row keeps its name.
        clickHeader(*dlg, 1);
        QCOMPARE(names(), ascending);
        for (int r = 0; r < table(*dlg)->rowCount(); ++r)
            QCOMPARE(table(*dlg)->item(r, 1)->text(),
                     QStringLiteral("/opt/") + table(*dlg)->item(r, 0)->text());
        // A row added or renamed takes its place in that order.
        answerAdd(QStringLiteral("item 3"), makeFile(QStringLiteral("home/tools/item 3")));
        click(dlg.get(), "btnAdd");
        clickHeader(*dlg, 0);
        QCOMPARE(names().mid(5, 4), QStringList({"Item 2", "item 3", "item 9", "item 10"}));
    }

    // A name of blanks only is refused like an empty one; the ends of a name are trimmed.
    void blankNamesRefusedAndNamesTrimmed_data()
    {
        QTest::addColumn<QString>("dialog");
        QTest::newRow("add") << "add";
        QTest::newRow("rename") << "rename";
    }

    void blankNamesRefusedAndNamesTrimmed()
    {
        QFETCH(QString, dialog);
        std::unique_ptr<QDialog> d;
        if (dialog == QLatin1String("add"))
            d = std::make_unique<qAddApp>();
        else
            d = std::make_unique<qModapp>(QStringLiteral("Old"));
        QVERIFY(showActive(d.get()));
        auto field = d->findChild<QLineEdit *>(dialog == QLatin1String("add") ? QStringLiteral("edtName")
                                                                              : QStringLiteral("edtNew"));
        MessageBoxAnswerer boxes;
        for (const QString &blank : {QStringLiteral("   "), QStringLiteral("\t \t"), QString(QChar(0xA0))}) {
            field->setText(blank);
            QTest::keyClick(field, Qt::Key_Return);
            QVERIFY(d->isVisible());
            QCOMPARE(d->result(), 0);
        }
        QCOMPARE(boxes.texts, QStringList(3, QStringLiteral("Name can not be empty")));
        QCOMPARE(boxes.titles, QStringList(3, QStringLiteral("Title")));

        field->setText(QStringLiteral("  New   name \t"));
        QTest::keyClick(field, Qt::Key_Return);
        QVERIFY(!d->isVisible());
        QCOMPARE(d->result(), int(QDialog::Accepted));
        if (auto add = qobject_cast<qAddApp *>(d.get()))
            QCOMPARE(add->chosenName(), QStringLiteral("New   name"));
        else
            QCOMPARE(static_cast<qModapp *>(d.get())->newName(), QStringLiteral("New   name"));
    }

    // A rename that differs only in blanks at the ends changes nothing.
    void renameToTheSameNameWithBlanksChangesNothing()
    {
        dlg->show();
        renameRow(*dlg, 0, QStringLiteral(" Gamma  "));
        QVERIFY(dlg->pendingChanges.isEmpty());
        QCOMPARE(table(*dlg)->item(0, 0)->text(), QStringLiteral("Gamma"));
    }

    // Rows deleted and the table sorted while the icons come in: every row still
    // ends with the icon of its own file.
    void iconFillSurvivesDeletingAndSorting()
    {
        QList<APPBLOCK> many;
        for (int i = 0; i < 300; ++i) {
            const QString file =
                makeFile(QStringLiteral("home/fill/file%1.%2").arg(i).arg(i % 2 ? "txt" : "sh"));
            many << record(QStringLiteral("Item %1").arg(299 - i, 3, 10, QLatin1Char('0')), file);
        }
        dlg->SetItems(many);
        QTableWidget *t = table(*dlg);
        dlg->show();
        int step = 0;
        bool started = false;
        connect(t, &QTableWidget::itemChanged, this, [&started] { started = true; });
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            // Wait until the fill has started and is not done yet.
            if (!started || !t->item(t->rowCount() - 1, 0)->icon().isNull())
                return;
            if (step < 3) {
                t->setCurrentCell(0, 0);
                click(dlg.get(), "btnDelete");
            } else if (step == 3) {
                clickHeader(*dlg, 0);
            } else {
                poll.stop();
            }
            ++step;
        });
        poll.start(0);
        QTRY_VERIFY_WITH_TIMEOUT(step > 3, 20000);
        QCOMPARE(t->rowCount(), 297);
        const auto allHaveIcons = [t] {
            for (int r = 0; r < t->rowCount(); ++r) {
                if (t->item(r, 0)->icon().isNull())
                    return false;
            }
            return true;
        };
        QTRY_VERIFY_WITH_TIMEOUT(allHaveIcons(), 20000);
        for (int r = 0; r < t->rowCount(); ++r) {
            const QString path = t->item(r, 1)->text();
            QCOMPARE(t->item(r, 0)->icon().pixmap(16).toImage(),
                     FileIcons::icon(QFileInfo(path)).pixmap(16).toImage());
        }
    }

    void dragByTopBandOnly()
    {
        dlg->move(100, 100);
        dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
        const QPoint start = dlg->pos();
        // A press in the top band drags the window.
        QTest::mousePress(dlg.get(), Qt::LeftButton, {}, QPoint(200, 10));
        QTest::mouseMove(dlg.get(), QPoint(230, 25));
        QTest::mouseRelease(dlg.get(), Qt::LeftButton, {}, QPoint(230, 25));
        QTRY_COMPARE(dlg->pos(), start + QPoint(30, 15));
        // A press on a child marks "no drag": the next move leaves the window alone.
        const QPoint moved = dlg->pos();
        QPushButton *add = button(dlg.get(), "btnAdd");
        QTest::mousePress(add, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseMove(dlg.get(), QPoint(250, 20));
        QTest::mouseRelease(dlg.get(), Qt::LeftButton, {}, QPoint(250, 20));
        QCoreApplication::processEvents();
        QCOMPARE(dlg->pos(), moved);
    }

private:
    std::unique_ptr<QAppshow> dlg;
};

TOLVANE_TEST_MAIN(TestAppManager)
#include "tst_appmanager.moc"
