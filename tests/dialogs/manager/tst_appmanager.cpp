#include "modalanswer.h"
#include "qaddapp.h"
#include "qappshow.h"
#include "qmodapp.h"
#include "testmain.h"

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
