// Keystroke to painted list: words are typed into the search box one letter at a
// time, and each letter is timed from its key press reaching the box until the
// popup has painted every row of its result. Catalogs of 1,000 and 10,000 items,
// 500 of them installed applications with generic names and keywords, small and
// big rows. Keystroke to list at full contrast (1,000 items, X11): the
// same keys, timed until the popup's pixels on the X server stop changing (a fade
// shows as pixels that go on changing after the rows are painted). Beside it, per
// keystroke, SearchItems alone and `fzf --filter` over the same names (the figure
// a user would compare with).
// Runs on the X server of $DISPLAY (tools/bench.sh starts a private Xvfb), or,
// with QT_QPA_PLATFORM=wayland, on a Wayland compositor (tools/bench.sh runs it
// again under a headless sway for the Wayland figures; a Wayland client cannot
// read the screen, so the full-contrast figure is taken on X11 only).
#include "benchcatalog.h"
#include "benchtable.h"
#include "fileicons.h"
#include "installedapps.h"
#include "itemdatabase.h"
#include "itemsmodel.h"
#include "qitemviewdelegate.h"
#include "qlistcomp.h"
#include "searchlineedit.h"
#include "testmain.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QProcess>
#include <QScreen>
#include <QSet>
#include <QStandardPaths>
#include <QTest>
#include <QTextStream>
#include <QWidget>

#include <map>
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

// The installed applications' folder, $XDG_DATA_HOME/applications.
QString applicationsFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/applications");
}

// Removes the installed applications, and waits until GIO no longer lists them.
void removeInstalledApps()
{
    QDir(applicationsFolder()).removeRecursively();
    QDir(applicationsFolder() + QStringLiteral("-bin")).removeRecursively();
    if (!QTest::qWaitFor([] { return InstalledApps::list().isEmpty(); }, 10000))
        qFatal("GIO still lists the removed applications");
}

// The catalog follows the installed applications a second after it opened.
void waitForInstalledApps()
{
    QTest::qWait(1500);
}

// The first KeywordApps items of a catalog are installed applications with
// generic names, keywords and commands of their own.
constexpr int KeywordApps = 500;

QString itemFile(int i)
{
    return (i < KeywordApps ? applicationsFolder() : entriesFolder()) +
           QStringLiteral("/app%1.desktop").arg(i);
}

// Builds data.db with `items` items whose files are desktop entries.
void buildCatalog(int items)
{
    QFile::remove(ItemDatabase::databaseFile());
    QDir(entriesFolder()).removeRecursively();
    removeInstalledApps();
    BenchCatalog::writeDesktopEntries(entriesFolder(), items);
    auto db = std::make_unique<ItemDatabase>();
    db->OpenCatalog(); // a first run over an empty sandbox: an empty catalog
    BenchCatalog::fill(items, itemFile);
    BenchCatalog::writeKeywordEntries(applicationsFolder(), BenchCatalog::names(items), KeywordApps);
    if (!QTest::qWaitFor([] { return InstalledApps::list().size() == KeywordApps; }, 10000))
        qFatal("GIO does not list the installed applications");
    for (int i = 1; i <= 20; ++i)
        db->AddQuick(QString::number(i * 7), BenchCatalog::Typed[i % BenchCatalog::Typed.size()].left(2));
    db.reset(); // writes data.db
}

Qt::Key keyOf(QChar c)
{
    return Qt::Key(c.toUpper().unicode());
}

// Icons of `count` applications as installed ones ship them, each a picture of
// its own: "bench-svg-<i>" in hicolor/scalable/apps and "bench-png-<i>" in
// hicolor/48x48/apps of the sandbox's data folder, where the icon lookup finds
// them. Written before the first lookup: Qt reads a theme's folders once.
void writeIcons(int count)
{
    const QString hicolor =
        QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation).constLast() +
        QStringLiteral("/icons/hicolor");
    QDir().mkpath(hicolor + QStringLiteral("/scalable/apps"));
    QDir().mkpath(hicolor + QStringLiteral("/48x48/apps"));
    QFile index(hicolor + QStringLiteral("/index.theme"));
    if (index.open(QIODevice::WriteOnly | QIODevice::Truncate))
        index.write("[Icon Theme]\nName=Hicolor\nDirectories=48x48/apps,scalable/apps\n\n"
                    "[48x48/apps]\nSize=48\nType=Threshold\n\n"
                    "[scalable/apps]\nSize=48\nMinSize=16\nMaxSize=512\nType=Scalable\n");
    index.close();
    for (int i = 0; i < count; ++i) {
        const QColor colour = QColor::fromHsv(i * 37 % 360, 180, 200);
        {
            QFile file(hicolor + QStringLiteral("/scalable/apps/bench-svg-%1.svg").arg(i));
            if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
                file.write(
                    QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"48\" height=\"48\">"
                                   "<rect width=\"48\" height=\"48\" rx=\"9\" fill=\"%1\"/>"
                                   "<circle cx=\"24\" cy=\"22\" r=\"12\" fill=\"#ffffff\"/>"
                                   "<path d=\"M10 40 L38 40 L24 30 Z\" fill=\"#202020\"/></svg>")
                        .arg(colour.name())
                        .toUtf8());
        }
        {
            QImage image(48, 48, QImage::Format_ARGB32);
            image.fill(Qt::transparent);
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setBrush(colour);
            painter.drawRoundedRect(0, 0, 48, 48, 9, 9);
            painter.setBrush(Qt::white);
            painter.drawEllipse(QPoint(24, 22), 12, 12);
            painter.end();
            image.save(hicolor + QStringLiteral("/48x48/apps/bench-png-%1.png").arg(i));
        }
    }
}

// A catalog of `items` desktop entries whose icons are the SVG (or the PNG) ones.
void buildIconCatalog(int items, bool svg)
{
    const QString kind = svg ? QStringLiteral("svg") : QStringLiteral("png");
    QFile::remove(ItemDatabase::databaseFile());
    QDir(entriesFolder()).removeRecursively();
    removeInstalledApps();
    QDir().mkpath(entriesFolder());
    const QStringList names = BenchCatalog::names(items);
    for (int i = 0; i < items; ++i) {
        QFile entry(entriesFolder() + QStringLiteral("/app%1.desktop").arg(i));
        if (entry.open(QIODevice::WriteOnly))
            QTextStream(&entry) << "[Desktop Entry]\nType=Application\nName=" << names[i]
                                << "\nExec=/usr/bin/true %U\nIcon=bench-" << kind << '-' << i << '\n';
    }
    auto db = std::make_unique<ItemDatabase>();
    db->OpenCatalog();
    BenchCatalog::fill(items,
                       [](int i) { return entriesFolder() + QStringLiteral("/app%1.desktop").arg(i); });
    db.reset();
}

// The popup's pixels as the X server has them.
QImage popupPixels(const QWidget *popup)
{
    const QRect area = popup->geometry();
    return QGuiApplication::primaryScreen()
        ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
        .toImage();
}

// After a key: when the popup's pixels reached what they then keep for `quietMs`,
// on the clock of nowNs(). That is when the grab that first showed them was asked
// for: the X server handles a client's requests in order, so the popup's last
// drawing, sent before, was on the screen when the grab read it.
qint64 fullContrastNs(const QWidget *popup, int quietMs)
{
    qint64 settledAt = BenchTable::nowNs();
    QImage settled = popupPixels(popup);
    qint64 lastChange = settledAt;
    QElapsedTimer guard;
    guard.start();
    while ((BenchTable::nowNs() - lastChange) / 1000000 < quietMs && guard.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        const qint64 asked = BenchTable::nowNs();
        const QImage now = popupPixels(popup);
        if (now != settled) {
            settled = now;
            settledAt = asked;
            lastChange = BenchTable::nowNs();
        }
    }
    return settledAt;
}

// One window with the search box, as the main window holds it; times every letter.
// The first `warmUp` rounds are not counted (every row's icon has been drawn once after them).
// With `fullContrast`, each letter is also timed until the popup's pixels stop
// changing (200 ms without a change: far longer than a frame of an animation).
std::vector<double> typeWords(bool bigRows, int rounds, int maxCount = 5, int warmUp = 0,
                              std::vector<double> *fullContrast = nullptr)
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
    edit->SetMaxCmbCount(maxCount);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        qFatal("the window did not show");
    edit->setFocus();
    waitForInstalledApps();

    std::vector<double> times;
    for (int round = 0; round < warmUp + rounds; ++round) {
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
                qint64 contrastEnd = end;
                if (rows > 0 && edit->popupList->isVisible()) {
                    QElapsedTimer guard;
                    guard.start();
                    while (noting->painted.size() < rows && guard.elapsed() < 2000)
                        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
                    end = noting->lastPaintNs;
                    if (fullContrast)
                        contrastEnd = fullContrastNs(edit->popupList, 200);
                }
                if (round >= warmUp) {
                    times.push_back((end - start) / 1e6);
                    if (fullContrast)
                        fullContrast->push_back((contrastEnd - start) / 1e6);
                }
            }
        }
    }
    edit->HidePopup();
    return times;
}

// Repaints of a popup of 10 big rows, after its first paint: the rows' icons
// are looked up and rendered once, then only drawn.
std::vector<double> repaintTimes(int repaints)
{
    QWidget window;
    window.setGeometry(100, 100, 460, 130);
    auto edit = new SearchLineEdit(&window);
    edit->setGeometry(17, 70, 280, 23);
    edit->Setup();
    edit->delegate->setBigIcon(true);
    edit->SetMaxCmbCount(10);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        qFatal("the window did not show");
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_O);
    if (edit->model->rowCount() != 10)
        qFatal("the popup does not hold 10 rows");
    if (!QTest::qWaitForWindowExposed(edit->popupList))
        qFatal("the popup did not show");
    // The rows must show the applications' own icons, or nothing is measured.
    for (const APPBLOCK &row : std::as_const(edit->model->items)) {
        if (!FileIcons::icon(QFileInfo(row.path)).name().startsWith(QLatin1String("bench-")))
            qFatal("a row shows no icon of its own: %s", qPrintable(row.path));
    }
    QWidget *viewport = edit->popupList->viewport();
    viewport->repaint(); // the first paint
    std::vector<double> times;
    for (int i = 0; i < repaints; ++i) {
        const qint64 start = BenchTable::nowNs();
        viewport->repaint();
        times.push_back((BenchTable::nowNs() - start) / 1e6);
    }
    edit->HidePopup();
    return times;
}

// A 600-character text that reaches the box as keys all at once, a millisecond
// apart (a paste that a tool types in, or keys that waited while the program was busy): from the first
// key handled until the list shows the result of the whole text, the keys and
// the queries all done. Paths are plain files (no desktop entries to read).
std::vector<double> pasteTimes(int items, int runs)
{
    QFile::remove(ItemDatabase::databaseFile());
    {
        ItemDatabase db;
        db.OpenCatalog();
        BenchCatalog::fill(items, [](int i) { return QStringLiteral("/opt/bench/app%1.exe").arg(i); });
    }
    QString text;
    for (const QString &name : BenchCatalog::names(200)) {
        if (text.size() >= 600)
            break;
        text += name + QLatin1Char(' ');
    }
    text.truncate(600);

    QWidget window;
    window.setGeometry(100, 100, 460, 130);
    auto edit = new SearchLineEdit(&window);
    edit->setGeometry(17, 70, 280, 23);
    edit->Setup();
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        qFatal("the window did not show");
    edit->setFocus();
    qint64 lastList = 0;
    QString listedFor;
    QObject::connect(edit->model, &QAbstractItemModel::modelReset, edit, [&] {
        lastList = BenchTable::nowNs();
        listedFor = edit->toPlainText();
    });
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        edit->HidePopup();
        edit->clear();
        QTest::qWait(100);
        // Stamped a millisecond apart, as the window system stamps keys a tool types.
        ulong stamp = ulong(QDateTime::currentMSecsSinceEpoch() & 0x7fffffff);
        for (const QChar c : text) {
            const Qt::KeyboardModifiers shift = c.isUpper() ? Qt::ShiftModifier : Qt::NoModifier;
            for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
                auto key = new QKeyEvent(type, keyOf(c), shift, QString(c));
                key->setTimestamp(++stamp);
                QCoreApplication::postEvent(edit, key);
            }
        }
        const qint64 start = BenchTable::nowNs();
        lastList = 0;
        // Until nothing has happened for a while: every key and query is done.
        qint64 idleSince = start;
        while ((BenchTable::nowNs() - idleSince) / 1000000 < 300) {
            const qint64 before = lastList;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            if (lastList != before)
                idleSince = lastList;
        }
        // Typed text beyond the box's length is cut; the list must be the whole text's.
        if (listedFor != edit->toPlainText() || edit->toPlainText().size() != SearchLineEdit::MaxLength)
            qFatal("the list does not show the last text");
        times.push_back((lastList - start) / 1e6);
    }
    edit->HidePopup();
    return times;
}

// SearchItems alone, on the same texts.
std::vector<double> searchTimes(int rounds)
{
    ItemDatabase db;
    db.OpenCatalog();
    waitForInstalledApps();
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
    writeIcons(1000);
    const bool haveFzf = !QStandardPaths::findExecutable(QStringLiteral("fzf")).isEmpty();
    // Under a Wayland compositor only the window figures are taken again (the
    // search alone does not depend on the window system).
    const bool wayland = QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
    for (int items : {1000, 10000}) {
        buildCatalog(items);
        const double target = items <= 1000 ? 8 : 16;
        for (bool big : {false, true}) {
            const QString rows = big ? QStringLiteral("big") : QStringLiteral("small");
            BenchTable::row(
                QStringLiteral("keystroke to painted list, %1 items, %2 rows%3")
                    .arg(thousands(items), rows, wayland ? QStringLiteral(", Wayland") : QString()),
                typeWords(big, 2), QStringLiteral("ms"), target);
            // One round more, waiting for the pixels after each key (that takes a while).
            if (items <= 1000 && !wayland) {
                std::vector<double> fullContrast;
                typeWords(big, 1, 5, 0, &fullContrast);
                BenchTable::row(QStringLiteral("keystroke to list at full contrast, %1 items, %2 rows")
                                    .arg(thousands(items), rows),
                                fullContrast, QStringLiteral("ms"), target);
            }
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

    if (!wayland) {
        BenchTable::row(QStringLiteral("600 characters typed in at once, 100,000 items, to the last list"),
                        pasteTimes(100000, 5), QStringLiteral("ms"), 100);
    }

    // Applications' own icons: SVG ones (rendered by Qt's SVG icon engine) against
    // PNG ones, in big rows once every row has been drawn once.
    std::map<bool, std::vector<double>> repaints;
    for (bool svg : {false, true}) {
        const QString kind = svg ? QStringLiteral("SVG") : QStringLiteral("PNG");
        buildIconCatalog(1000, svg);
        BenchTable::row(
            QStringLiteral("keystroke to painted list, 1,000 items, 10 big rows, %1 icons").arg(kind),
            typeWords(true, 2, 10, 1), QStringLiteral("ms"), 8);
        repaints[svg] = repaintTimes(300);
        BenchTable::row(QStringLiteral("repaint of 10 big rows, %1 icons").arg(kind), repaints[svg],
                        QStringLiteral("ms"), 0);
    }
    const double png = BenchTable::median(repaints[false]);
    std::vector<double> extra;
    for (double t : repaints[true])
        extra.push_back(t - png);
    BenchTable::comparedRow(QStringLiteral("SVG icons over PNG icons, repaint of 10 big rows"), extra,
                            QStringLiteral("ms"), QStringLiteral("<= 1 ms"),
                            BenchTable::median(extra) <= 1.0);
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
