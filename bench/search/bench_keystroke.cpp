// Keystroke to painted list: words are typed into the search box one letter at a
// time, and each letter is timed from its key press reaching the box until the
// popup has painted every row of its result. Catalogs of 1,000 and 10,000 items,
// small and big rows. Beside it, per keystroke, SearchItems alone and
// `fzf --filter` over the same names (the figure a user would compare with).
// Runs on the X server of $DISPLAY (tools/bench.sh starts a private Xvfb), or,
// with QT_QPA_PLATFORM=wayland, on a Wayland compositor (tools/bench.sh runs it
// again under a headless sway for the Wayland figures).
#include "benchcatalog.h"
#include "benchtable.h"
#include "itemdatabase.h"
#include "itemsmodel.h"
#include "qitemviewdelegate.h"
#include "qlistcomp.h"
#include "searchlineedit.h"
#include "testmain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QTest>
#include <QWidget>

#include <memory>

namespace {

// The row painter of the popup, noting which rows were painted and when.
class NotingDelegate : public QItemViewDelegate
{
public:
    using QItemViewDelegate::QItemViewDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QItemViewDelegate::paint(painter, option, index);
        painted.insert(index.row());
        lastPaintNs = BenchTable::nowNs();
    }

    mutable QSet<int> painted;
    mutable qint64 lastPaintNs = 0;
};

QString entriesFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/bench-apps");
}

// Builds data.db with `items` items whose files are desktop entries.
void buildCatalog(int items)
{
    QFile::remove(ItemDatabase::databaseFile());
    QDir(entriesFolder()).removeRecursively();
    BenchCatalog::writeDesktopEntries(entriesFolder(), items);
    auto db = std::make_unique<ItemDatabase>();
    db->OpenCatalog(); // a first run over an empty sandbox: an empty catalog
    BenchCatalog::fill(items,
                       [](int i) { return entriesFolder() + QStringLiteral("/app%1.desktop").arg(i); });
    for (int i = 1; i <= 20; ++i)
        db->AddQuick(QString::number(i * 7), BenchCatalog::Typed[i % BenchCatalog::Typed.size()].left(2));
    db.reset(); // writes data.db
}

Qt::Key keyOf(QChar c)
{
    return Qt::Key(c.toUpper().unicode());
}

// One window with the search box, as the main window holds it; times every letter.
std::vector<double> typeWords(bool bigRows, int rounds)
{
    QWidget window;
    window.setGeometry(100, 100, 460, 130);
    auto edit = new SearchLineEdit(&window);
    edit->setGeometry(17, 70, 280, 23);
    edit->Setup();
    // The same painter with a note of each painted row.
    auto noting = new NotingDelegate;
    noting->setBigIcon(bigRows);
    edit->popupList->setItemDelegate(noting);
    delete edit->delegate;
    edit->delegate = noting;
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        qFatal("the window did not show");
    edit->setFocus();

    std::vector<double> times;
    for (int round = 0; round < rounds; ++round) {
        for (const QString &word : BenchCatalog::Typed) {
            edit->HidePopup();
            edit->clear();
            QCoreApplication::processEvents();
            for (const QChar c : word) {
                noting->painted.clear();
                const qint64 start = BenchTable::nowNs();
                QTest::keyClick(edit, keyOf(c), c.isUpper() ? Qt::ShiftModifier : Qt::NoModifier);
                const int rows = edit->model->rowCount();
                qint64 end = BenchTable::nowNs();
                if (rows > 0 && edit->popupList->isVisible()) {
                    QElapsedTimer guard;
                    guard.start();
                    while (noting->painted.size() < rows && guard.elapsed() < 2000)
                        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
                    end = noting->lastPaintNs;
                }
                times.push_back((end - start) / 1e6);
            }
        }
    }
    edit->HidePopup();
    return times;
}

// SearchItems alone, on the same texts.
std::vector<double> searchTimes(int rounds)
{
    ItemDatabase db;
    db.OpenCatalog();
    std::vector<double> times;
    for (int round = 0; round < rounds; ++round) {
        for (const QString &word : BenchCatalog::Typed) {
            for (int n = 1; n <= word.size(); ++n) {
                QList<APPBLOCK> found;
                const qint64 start = BenchTable::nowNs();
                db.SearchItems(word.left(n), found, 5);
                times.push_back((BenchTable::nowNs() - start) / 1e6);
            }
        }
    }
    return times;
}

// `fzf --filter` over the catalog's names, one process per typed text, as a user
// running it for each letter would.
std::vector<double> fzfTimes(int items)
{
    const QByteArray input = BenchCatalog::names(items).join(QLatin1Char('\n')).toUtf8() + '\n';
    std::vector<double> times;
    for (const QString &word : BenchCatalog::Typed) {
        for (int n = 1; n <= word.size(); ++n) {
            QProcess fzf;
            const qint64 start = BenchTable::nowNs();
            fzf.start(QStringLiteral("fzf"), {QStringLiteral("--filter=") + word.left(n)});
            fzf.write(input);
            fzf.closeWriteChannel();
            if (!fzf.waitForFinished(10000))
                qFatal("fzf did not finish");
            fzf.readAllStandardOutput();
            times.push_back((BenchTable::nowNs() - start) / 1e6);
        }
    }
    return times;
}

QString thousands(int n)
{
    return QLocale(QLocale::English).toString(n);
}

int runBenchmark()
{
    const bool haveFzf = !QStandardPaths::findExecutable(QStringLiteral("fzf")).isEmpty();
    // Under a Wayland compositor only the window figures are taken again (the
    // search alone does not depend on the window system).
    const bool wayland = QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
    for (int items : {1000, 10000}) {
        buildCatalog(items);
        const double target = items <= 1000 ? 8 : 16;
        for (bool big : {false, true}) {
            BenchTable::row(QStringLiteral("keystroke to painted list, %1 items, %2 rows%3")
                                .arg(thousands(items), big ? QStringLiteral("big") : QStringLiteral("small"),
                                     wayland ? QStringLiteral(", Wayland") : QString()),
                            typeWords(big, 2), QStringLiteral("ms"), target);
        }
        if (wayland)
            continue;
        const std::vector<double> search = searchTimes(3);
        if (haveFzf) {
            const std::vector<double> fzf = fzfTimes(items);
            BenchTable::comparedRow(
                QStringLiteral("SearchItems per keystroke, %1 items").arg(thousands(items)), search,
                QStringLiteral("ms"), QStringLiteral("<= fzf median"),
                BenchTable::median(search) <= BenchTable::median(fzf));
            BenchTable::row(QStringLiteral("fzf --filter per keystroke, %1 names").arg(thousands(items)), fzf,
                            QStringLiteral("ms"), 0, QStringLiteral("(compared)"));
        } else {
            BenchTable::row(QStringLiteral("SearchItems per keystroke, %1 items").arg(thousands(items)),
                            search, QStringLiteral("ms"), 0, QStringLiteral("(no fzf)"));
        }
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    return TestSandbox::run(argc, argv, [](int c, char **v) {
        QApplication app(c, v);
        BenchTable::quietMessages();
        return runBenchmark();
    });
}
