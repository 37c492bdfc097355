// A small program that uses the catalog the way Tolvane does, for tests that end
// a process at awkward moments. Its data.db lives beside it.
//   catalog_worker exit      one change, then exit() without destroying the store
//   catalog_worker saves     change and save in the background, over and over,
//                            printing "saved N" after each save of state N
#include "itemdatabase.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTextStream>

#include <cstdio>
#include <cstdlib>

namespace {

// Enough items that a save writes many pages.
void fillOnce(ItemDatabase &store)
{
    if (store.GetItemCount() != QStringLiteral("0"))
        return;
    QSqlDatabase db = QSqlDatabase::database();
    db.transaction();
    QSqlQuery insert;
    insert.prepare(QStringLiteral("INSERT INTO ITEMBOX (path,alias,type,info,ind) values(?,?,?,?,?)"));
    for (int i = 0; i < 2000; ++i) {
        const QString alias = QStringLiteral("Filler Application %1").arg(i);
        insert.addBindValue(QStringLiteral("/opt/filler/%1.exe").arg(i));
        insert.addBindValue(alias);
        insert.addBindValue(QStringLiteral("APP"));
        insert.addBindValue(QString());
        insert.addBindValue(ItemDatabase::SpaceText(alias));
        insert.exec();
    }
    db.commit();
    QString path = QStringLiteral("/opt/state/state.exe");
    store.AddItem(path, QStringLiteral("state 0"), QStringLiteral("APP"), QString());
}

// One change of state: the state item's learned count and its alias name the
// same number, so a file that mixed two states would show it.
int nextState(ItemDatabase &store)
{
    QSqlQuery query(QStringLiteral("SELECT rowid FROM ITEMBOX WHERE path = '/opt/state/state.exe'"));
    query.next();
    const QString rowid = query.value(0).toString();
    store.AddQuick(rowid, QStringLiteral("state"));
    QSqlQuery hot(QStringLiteral("SELECT hot FROM QUICK WHERE key = 'state'"));
    hot.next();
    const int state = hot.value(0).toInt();
    APPBLOCK item;
    item.rowid = rowid;
    item.alias = QStringLiteral("state %1").arg(state);
    store.UpdateAlias(item);
    return state;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    auto store = new ItemDatabase; // the exit mode leaves it alive, as a lost display does
    store->OpenCatalog();
    if (mode == QLatin1String("exit")) {
        QString path = QStringLiteral("/opt/exit/kept.exe");
        store->AddItem(path, QStringLiteral("Kept"), QStringLiteral("APP"), QString());
        store->AddQuick(QStringLiteral("1"), QStringLiteral("ke"));
        std::exit(3);
    }
    if (mode != QLatin1String("saves"))
        return 2;
    fillOnce(*store);
    store->SetSaveDelay(5);
    QTextStream out(stdout);
    for (;;) {
        const int state = nextState(*store);
        QEventLoop loop;
        QObject::connect(&store->notices, &CatalogNotices::saved, &loop, &QEventLoop::quit);
        loop.exec();
        out << "saved " << state << Qt::endl;
    }
}
