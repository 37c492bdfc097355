#include "itemsmodel.h"
#include "qitemviewdelegate.h"
#include "testicontheme.h"
#include "testmain.h"

#include "fileicons.h"

#include <QApplication>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QListView>
#include <QPainter>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTextLayout>
#include <QtTest>

namespace {

APPBLOCK record(const QString &alias, const QString &key = QString(), const QString &path = QString())
{
    APPBLOCK r;
    r.alias = alias;
    r.key = key;
    r.path = path;
    r.rowid = QString::number(qHash(alias) % 1000);
    return r;
}

QList<APPBLOCK> records(int n)
{
    QList<APPBLOCK> list;
    for (int i = 0; i < n; ++i)
        list.append(record(QStringLiteral("item %1").arg(i), QStringLiteral("item")));
    return list;
}

const QColor Background(250, 250, 250);
const QColor Selected(107, 148, 183);

// Paints one row of `delegate` for `rec` into an image of `width` pixels.
QImage paintRow(const QItemViewDelegate &delegate, const APPBLOCK &rec, bool selected = false,
                int width = 280)
{
    ItemsModel model;
    model.setItems({rec});
    const int h = delegate.rowHeight();
    QImage image(width, h, QImage::Format_ARGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    QStyleOptionViewItem option;
    option.rect = QRect(0, 0, width, h);
    option.palette = QApplication::palette();
    option.state = QStyle::State_Enabled | (selected ? QStyle::State_Selected : QStyle::State_None);
    delegate.paint(&painter, option, model.index(0, 0));
    return image;
}

// The same, on an image with a device pixel ratio (a 2x screen).
QImage paintRowAt(const QItemViewDelegate &delegate, const APPBLOCK &rec, qreal scale, int width = 280)
{
    ItemsModel model;
    model.setItems({rec});
    const int h = delegate.rowHeight();
    QImage image(QSize(width, h) * scale, QImage::Format_ARGB32);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::black);
    QPainter painter(&image);
    QStyleOptionViewItem option;
    option.rect = QRect(0, 0, width, h);
    option.palette = QApplication::palette();
    option.state = QStyle::State_Enabled;
    delegate.paint(&painter, option, model.index(0, 0));
    return image;
}

QStringList texts(const QList<QItemViewDelegate::Piece> &pieces)
{
    QStringList list;
    for (const auto &p : pieces)
        list.append(p.text);
    return list;
}

QList<bool> bolds(const QList<QItemViewDelegate::Piece> &pieces)
{
    QList<bool> list;
    for (const auto &p : pieces)
        list.append(p.bold);
    return list;
}

bool sameRegion(const QImage &a, const QImage &b, const QRect &region)
{
    for (int y = region.top(); y <= region.bottom(); ++y)
        for (int x = region.left(); x <= region.right(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                return false;
    return true;
}

int countPixels(const QImage &image, const QRect &region, const std::function<bool(QColor)> &test)
{
    int n = 0;
    for (int y = region.top(); y <= region.bottom(); ++y)
        for (int x = region.left(); x <= region.right(); ++x)
            n += test(image.pixelColor(x, y)) ? 1 : 0;
    return n;
}

} // namespace

class TestRowPainting : public QObject
{
    Q_OBJECT

    TestIconTheme::RealWorldIcons realWorld;

private slots:
    void initTestCase()
    {
        TestIconTheme::install();
        realWorld = TestIconTheme::RealWorldIcons::install();
    }

    void modelHandsOutRecordsUnderTheDisplayRoleOnly()
    {
        ItemsModel model;
        QCOMPARE(model.rowCount(), 0);
        APPBLOCK a =
            record(QStringLiteral("Notepad"), QStringLiteral("no"), QStringLiteral("/usr/bin/notepad"));
        a.info = QStringLiteral("1.0");
        model.setItems({a, record(QStringLiteral("nothing"))});
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.rowCount(model.index(0, 0)), 0);

        const QVariant value = model.data(model.index(0, 0), Qt::DisplayRole);
        QCOMPARE(value.metaType().name(), "APPBLOCK");
        const APPBLOCK back = value.value<APPBLOCK>();
        QCOMPARE(back.alias, a.alias);
        QCOMPARE(back.path, a.path);
        QCOMPARE(back.key, a.key);
        QCOMPARE(back.rowid, a.rowid);
        QCOMPARE(back.info, a.info);

        for (int role : {int(Qt::DecorationRole), int(Qt::ToolTipRole), int(Qt::SizeHintRole),
                         int(Qt::EditRole), int(Qt::FontRole), int(Qt::UserRole)})
            QVERIFY2(!model.data(model.index(1, 0), role).isValid(), qPrintable(QString::number(role)));
        QVERIFY(!model.data(model.index(5, 0), Qt::DisplayRole).isValid());

        const Qt::ItemFlags flags = model.flags(model.index(0, 0));
        QVERIFY(flags & Qt::ItemIsSelectable);
        QVERIFY(flags & Qt::ItemIsEnabled);
        QVERIFY(!(flags & Qt::ItemIsEditable));
    }

    void refreshLayoutOnlyAnnouncesALayoutChange()
    {
        ItemsModel model;
        model.setItems(records(3));
        QSignalSpy layout(&model, &QAbstractItemModel::layoutChanged);
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        model.RefreshLayout();
        QCOMPARE(layout.count(), 1);
        QCOMPARE(reset.count(), 0);
        QCOMPARE(changed.count(), 0);
        QCOMPARE(model.rowCount(), 3);
    }

    // After every refill a view shows exactly the rows of the new list.
    void viewFollowsEveryRefill()
    {
        ItemsModel model;
        QItemViewDelegate delegate;
        QListView view;
        view.setModel(&model);
        view.setItemDelegate(&delegate);
        view.resize(280, 5 * 22 + 4);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));

        for (int n : {5, 2, 4, 0, 1}) {
            model.setItems(records(n));
            QTRY_COMPARE(view.model()->rowCount(), n);
            QApplication::processEvents();
            const QImage shot = view.viewport()->grab().toImage();
            for (int row = 0; row < 5; ++row) {
                const QPoint inside(200, row * 22 + 10);
                QCOMPARE(view.indexAt(inside).isValid(), row < n);
                // Painted rows have the row background; the rest is the view's base.
                const bool painted = shot.pixelColor(inside) == Background;
                QVERIFY2(painted == (row < n), qPrintable(QStringLiteral("n=%1 row=%2").arg(n).arg(row)));
            }
        }
    }

    void rowHeightsAndSizeHint()
    {
        QItemViewDelegate delegate;
        ItemsModel model;
        model.setItems({record(QStringLiteral("short")), record(QString(200, QLatin1Char('W')))});
        QStyleOptionViewItem option;
        option.rect = QRect(0, 0, 280, 10);
        QCOMPARE(delegate.bigIcon, false);
        QCOMPARE(delegate.sizeHint(option, model.index(0, 0)), QSize(280, 22));
        QCOMPARE(delegate.sizeHint(option, model.index(1, 0)), QSize(280, 22));
        delegate.setBigIcon(true);
        QCOMPARE(delegate.sizeHint(option, model.index(1, 0)), QSize(280, 40));
        option.rect = QRect(0, 0, 77, 10);
        QCOMPARE(delegate.sizeHint(option, model.index(0, 0)), QSize(77, 40));
        delegate.setBigIcon(false);
        QCOMPARE(delegate.sizeHint(option, model.index(0, 0)), QSize(77, 22));
    }

    void highlightPieces_data()
    {
        QTest::addColumn<QString>("alias");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QList<bool>>("bolds");
        QTest::newRow("Notepad/note")
            << "Notepad"
            << "note" << QStringList({"", "Note", "pad"}) << QList<bool>({false, true, false});
        QTest::newRow("banana/an") << "banana"
                                   << "an" << QStringList({"b", "an", "", "an", "a"})
                                   << QList<bool>({false, true, false, true, false});
        QTest::newRow("key in capitals")
            << "notepad"
            << "NOTE" << QStringList({"", "note", "pad"}) << QList<bool>({false, true, false});
        QTest::newRow("key absent") << "Notepad"
                                    << "xyz" << QStringList({"Notepad"}) << QList<bool>({false});
        QTest::newRow("key longer than name") << "Note"
                                              << "Notepad" << QStringList({"Note"}) << QList<bool>({false});
        QTest::newRow("empty key") << "Notepad"
                                   << "" << QStringList({"Notepad"}) << QList<bool>({false});
        QTest::newRow("whole name") << "calc"
                                    << "calc" << QStringList({"", "calc"}) << QList<bool>({false, true});
        QTest::newRow("empty name") << ""
                                    << "a" << QStringList() << QList<bool>();
        QTest::newRow("overlapping hits")
            << "aaa"
            << "aa" << QStringList({"", "aa", "a"}) << QList<bool>({false, true, false});
        // A key that is half of a character outside the basic plane matches nothing.
        QTest::newRow("half a character") << QString::fromUtf8("a\xF0\x9F\x98\x80"
                                                               "b")
                                          << QString(QChar(0xDE00))
                                          << QStringList({QString::fromUtf8("a\xF0\x9F\x98\x80"
                                                                            "b")})
                                          << QList<bool>({false});
        // Pieces are in reading order; a right-to-left name shows them from right to left.
        QTest::newRow("right to left")
            << QString::fromUtf8("\xD7\xA2\xD7\x91\xD7\xA8\xD7\x99\xD7\xAA")
            << QString::fromUtf8("\xD7\x91\xD7\xA8")
            << QStringList({QString::fromUtf8("\xD7\xA2"), QString::fromUtf8("\xD7\x91\xD7\xA8"),
                            QString::fromUtf8("\xD7\x99\xD7\xAA")})
            << QList<bool>({false, true, false});
        // A mark stays with its letter: the highlight takes the whole character.
        QTest::newRow("letter with a mark") << QString::fromUtf8("cafe\xCC\x81 bar") << "e"
                                            << QStringList({"caf", QString::fromUtf8("e\xCC\x81"), " bar"})
                                            << QList<bool>({false, true, false});
    }

    // The pieces the row draws, and where: each starts where the previous one ends,
    // normal pieces measured in the normal font, highlighted ones in bold.
    void highlightPieces()
    {
        QFETCH(QString, alias);
        QFETCH(QString, key);
        QFETCH(QStringList, texts);
        QFETCH(QList<bool>, bolds);

        QItemViewDelegate delegate;
        QImage device(10, 10, QImage::Format_ARGB32);
        const auto layout = delegate.layoutRow(record(alias, key), &device);
        QCOMPARE(::texts(layout.pieces), texts);
        QCOMPARE(::bolds(layout.pieces), bolds);

        QFont normal = QItemViewDelegate::rowFont();
        QFont bold = normal;
        bold.setBold(true);
        bold.setUnderline(true);
        // Side by side from the name's left edge at 38, in reading order: from the
        // left for a left-to-right name, from the right for a right-to-left one.
        QList<QItemViewDelegate::Piece> pieces = layout.pieces;
        if (alias.isRightToLeft())
            std::reverse(pieces.begin(), pieces.end());
        qreal x = 38;
        for (const auto &piece : pieces) {
            const qreal width =
                QFontMetricsF(piece.bold ? bold : normal, &device).horizontalAdvance(piece.text);
            QVERIFY2(qAbs(piece.x - x) < 0.05,
                     qPrintable(QStringLiteral("%1 at %2, not %3").arg(piece.text).arg(piece.x).arg(x)));
            QVERIFY2(
                qAbs(piece.width - width) < 0.05,
                qPrintable(QStringLiteral("%1 %2 wide, not %3").arg(piece.text).arg(piece.width).arg(width)));
            x += width;
        }
    }

    // A row found by what the program is for says why after its name, in grey: the
    // generic name or keyword with the typed text marked (case and accents aside),
    // cut at the row's right edge, left out where there is no room.
    void reasonFollowsTheName_data()
    {
        QTest::addColumn<QString>("alias");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<int>("width");
        QTest::addColumn<QStringList>("texts"); // before the ellipsis, when cut
        QTest::addColumn<QList<bool>>("bolds");
        QTest::newRow("keyword") << "Archive Manager"
                                 << "zip"
                                 << "zip" << 280 << QStringList({"", "zip"}) << QList<bool>({false, true});
        QTest::newRow("inside a word")
            << "Firefox ESR"
            << "rowser"
            << "Web Browser" << 280 << QStringList({"Web B", "rowser"}) << QList<bool>({false, true});
        QTest::newRow("accents aside") << "GIMP"
                                       << "Editeur"
                                       << QString::fromUtf8("\xC3\xA9"
                                                            "diteur d'images")
                                       << 280
                                       << QStringList({"",
                                                       QString::fromUtf8("\xC3\xA9"
                                                                         "diteur"),
                                                       " d'images"})
                                       << QList<bool>({false, true, false});
        QTest::newRow("cut at the edge") << "Firefox ESR"
                                         << "web"
                                         << "Web Browser for the whole wide world" << 200
                                         << QStringList({"", "Web"}) << QList<bool>({false, true});
        QTest::newRow("no room") << "Firefox Extended Support Release"
                                 << "web"
                                 << "Web Browser" << 200 << QStringList() << QList<bool>();
        QTest::newRow("none") << "Notepad"
                              << "note"
                              << "" << 280 << QStringList() << QList<bool>();
    }

    void reasonFollowsTheName()
    {
        QFETCH(QString, alias);
        QFETCH(QString, key);
        QFETCH(QString, reason);
        QFETCH(int, width);
        QFETCH(QStringList, texts);
        QFETCH(QList<bool>, bolds);

        QItemViewDelegate delegate;
        APPBLOCK rec = record(alias, key);
        rec.extra = reason;
        QImage device(10, 10, QImage::Format_ARGB32);
        const auto layout = delegate.layoutRow(rec, &device, width);
        QList<QItemViewDelegate::Piece> pieces = layout.reasonPieces;
        if (!pieces.isEmpty() && layout.reasonText != reason) {
            QVERIFY(layout.reasonText.endsWith(QChar(0x2026)));
            pieces.removeLast();
        }
        QCOMPARE(::texts(pieces), texts);
        QCOMPARE(::bolds(pieces), bolds);
        // Right of the name, inside the row.
        const auto &name = layout.pieces.constLast();
        for (const auto &piece : layout.reasonPieces) {
            QVERIFY(piece.x >= name.x + name.width + 10);
            QVERIFY(piece.x + piece.width <= width - 4 + 0.5);
        }
        // Painted there in grey, beside the name as it was.
        const QImage plain = paintRow(delegate, record(alias, key), false, width);
        const QImage painted = paintRow(delegate, rec, false, width);
        const int left = int(std::ceil(name.x + name.width)) + 10;
        QVERIFY(sameRegion(painted, plain, QRect(0, 0, left, 22)));
        const QRect reasonArea(left, 1, width - left, 20);
        const int grey = countPixels(painted, reasonArea, [](QColor c) {
            return c.red() == c.green() && c.green() == c.blue() && c.red() < 200;
        });
        QCOMPARE(grey > 0, !layout.reasonPieces.isEmpty());
        QCOMPARE(sameRegion(painted, plain, reasonArea), layout.reasonPieces.isEmpty());
    }

    // What paint() puts on the screen is exactly those pieces at those places, in
    // the normal or the bold underlined font.
    void paintDrawsThePieces_data()
    {
        QTest::addColumn<QString>("alias");
        QTest::addColumn<QString>("key");
        QTest::newRow("Notepad/note") << "Notepad"
                                      << "note";
        QTest::newRow("banana/an") << "banana"
                                   << "an";
        QTest::newRow("absent") << "Notepad"
                                << "zz";
    }

    void paintDrawsThePieces()
    {
        QFETCH(QString, alias);
        QFETCH(QString, key);
        QItemViewDelegate delegate;
        const QImage painted = paintRow(delegate, record(alias, key));

        QImage expected(painted.size(), QImage::Format_ARGB32);
        expected.fill(Background);
        {
            QPainter p(&expected);
            p.setPen(QApplication::palette().color(QPalette::Text));
            QFont normal = QItemViewDelegate::rowFont();
            QFont bold = normal;
            bold.setWeight(QFont::Bold);
            bold.setUnderline(true);
            for (const auto &piece : delegate.layoutRow(record(alias, key), &expected).pieces) {
                p.setFont(piece.bold ? bold : normal);
                p.drawText(QPointF(piece.x, 3 + p.fontMetrics().ascent()), piece.text);
            }
        }
        const QRect textArea(38, 1, painted.width() - 38, 20);
        QVERIFY(sameRegion(painted, expected, textArea));
        // And it differs from the name drawn without highlight, so bold shows.
        if (alias.contains(key, Qt::CaseInsensitive))
            QVERIFY(!sameRegion(painted, paintRow(delegate, record(alias)), textArea));
    }

    // A right-to-left name reads in its order with the key highlighted where it is,
    // and joined letters stay joined across the highlight. The part of the name
    // left of the key (its logical end) shows exactly as in the name drawn whole.
    void rightToLeftNamesReadInOrderAndStayJoined_data()
    {
        QTest::addColumn<QString>("alias");
        QTest::addColumn<QString>("key");
        QTest::newRow("Hebrew") << QString::fromUtf8("\xD7\xA2\xD7\x91\xD7\xA8\xD7\x99\xD7\xAA")
                                << QString::fromUtf8("\xD7\x91\xD7\xA8");
        // Muhammad, key ha: the mim after it keeps its middle form.
        QTest::newRow("Arabic, key in the middle")
            << QString::fromUtf8("\xD9\x85\xD8\xAD\xD9\x85\xD8\xAF") << QString::fromUtf8("\xD8\xAD");
        // Marhaba, key at the start: the ra after it keeps its final form.
        QTest::newRow("Arabic, key at the start")
            << QString::fromUtf8("\xD9\x85\xD8\xB1\xD8\xAD\xD8\xA8\xD8\xA7") << QString::fromUtf8("\xD9\x85");
        QTest::newRow("Arabic, two keys")
            << QString::fromUtf8("\xD8\xA8\xD9\x86\xD8\xA8\xD9\x86\xD8\xB3") << QString::fromUtf8("\xD8\xA8");
    }

    void rightToLeftNamesReadInOrderAndStayJoined()
    {
        QFETCH(QString, alias);
        QFETCH(QString, key);
        QItemViewDelegate delegate;
        const QImage whole = paintRow(delegate, record(alias));
        const QImage highlighted = paintRow(delegate, record(alias, key));

        // Where the end of the name after the last key shows in the name drawn whole.
        const qsizetype lastKeyEnd = alias.lastIndexOf(key) + key.size();
        QTextLayout reference(alias, QItemViewDelegate::rowFont(), const_cast<QImage *>(&whole));
        reference.beginLayout();
        QTextLine line = reference.createLine();
        line.setLineWidth(1000);
        reference.endLayout();
        QVERIFY(alias.isRightToLeft());
        const qreal tailRight = line.cursorToX(int(lastKeyEnd)) - line.cursorToX(int(alias.size()));
        QVERIFY(tailRight > 4);
        // (A pixel off the key's side, which antialiasing may touch.)
        const QRect tail(30, 1, 38 + int(tailRight) - 1 - 30, 20);
        QVERIFY(countPixels(whole, tail, [](QColor c) { return c.lightness() < 128; }) > 3);
        QVERIFY(sameRegion(highlighted, whole, tail));
        // The key is drawn differently (bold, underlined), right of that part.
        QVERIFY(
            !sameRegion(highlighted, whole, QRect(38 + int(tailRight) + 1, 1, 242 - int(tailRight) - 1, 20)));
    }

    void coloursAndSeparators()
    {
        QItemViewDelegate delegate;
        const QImage plain = paintRow(delegate, record(QStringLiteral("calc")));
        QCOMPARE(plain.pixelColor(250, 10), Background);
        QCOMPARE(plain.pixelColor(250, 0), QColor(255, 255, 255));
        QCOMPARE(plain.pixelColor(250, 21), QColor(200, 200, 200));

        const QImage selected = paintRow(delegate, record(QString(6, QLatin1Char('W'))), true);
        QCOMPARE(selected.pixelColor(250, 10), Selected);
        QCOMPARE(selected.pixelColor(5, 10), Selected);
        QCOMPARE(selected.pixelColor(250, 0), QColor(255, 255, 255));
        QCOMPARE(selected.pixelColor(250, 21), QColor(200, 200, 200));
        // The name on the selected row is white.
        const QRect name(38, 3, 60, 16);
        QVERIFY(countPixels(selected, name, [](QColor c) { return c == QColor(255, 255, 255); }) > 10);
        QCOMPARE(countPixels(selected, name, [](QColor c) { return c.lightness() < 100; }), 0);
        const QImage unselected = paintRow(delegate, record(QString(6, QLatin1Char('W'))), false);
        QVERIFY(countPixels(unselected, name, [](QColor c) { return c.lightness() < 60; }) > 10);
    }

    // Big rows of applications shaped like installed ones: each row draws the icon
    // its entry names (SVG only in hicolor, PNG in a size folder, XPM only in
    // pixmaps, a file path), the same pixels as that icon drawn directly; a name
    // that exists nowhere draws the generic icon. At 2x, from the source.
    void bigRowsDrawEachApplicationsOwnIcon_data()
    {
        QTest::addColumn<QString>("icon");
        QTest::addColumn<QString>("file"); // empty: the generic icon
        QTest::addColumn<qreal>("scale");
        for (qreal scale : {1.0, 2.0}) {
            const QString at = scale > 1 ? QStringLiteral(" at 2x") : QString();
            QTest::newRow(qPrintable(QStringLiteral("SVG only") + at))
                << realWorld.svg << realWorld.svgFile << scale;
            QTest::newRow(qPrintable(QStringLiteral("PNG 48x48") + at))
                << realWorld.png << realWorld.pngFile << scale;
            QTest::newRow(qPrintable(QStringLiteral("XPM in pixmaps") + at))
                << realWorld.pixmap << realWorld.pixmapFile << scale;
            QTest::newRow(qPrintable(QStringLiteral("absolute path") + at))
                << realWorld.absoluteFile << realWorld.absoluteFile << scale;
            QTest::newRow(qPrintable(QStringLiteral("nowhere") + at))
                << realWorld.missing << QString() << scale;
        }
    }

    void bigRowsDrawEachApplicationsOwnIcon()
    {
        QFETCH(QString, icon);
        QFETCH(QString, file);
        QFETCH(qreal, scale);
        const QString entry =
            TestSandbox::path(QStringLiteral("entries/%1.desktop").arg(icon.section('/', -1)));
        QDir().mkpath(QFileInfo(entry).absolutePath());
        QFile f(entry);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("[Desktop Entry]\nType=Application\nName=App\nExec=app %U\nIcon=" + icon.toUtf8() + "\n");
        f.close();

        QItemViewDelegate delegate;
        delegate.setBigIcon(true);
        const QImage row = paintRowAt(delegate, record(QStringLiteral("App"), QString(), entry), scale);
        // The same icon drawn directly where the row draws it.
        const QIcon direct = file.isEmpty() ? QFileIconProvider().icon(QFileInfo(entry)) : QIcon(file);
        QImage expected(row.size(), QImage::Format_ARGB32);
        expected.setDevicePixelRatio(scale);
        expected.fill(Background);
        QPainter painter(&expected);
        painter.drawPixmap(QRect(2, 3, 32, 32), direct.pixmap(QSize(32, 32), scale));
        painter.end();
        const QRect iconArea(QPoint(2, 3) * scale, QSize(32, 32) * scale);
        QVERIFY2(TestIconTheme::largestDifference(row.copy(iconArea), expected.copy(iconArea)) <= 8,
                 qPrintable(file));
        if (!file.isEmpty()) {
            // Not the generic icon.
            QImage generic(expected.size(), QImage::Format_ARGB32);
            generic.setDevicePixelRatio(scale);
            generic.fill(Background);
            QPainter p(&generic);
            p.drawPixmap(QRect(2, 3, 32, 32),
                         QFileIconProvider().icon(QFileInfo(entry)).pixmap(QSize(32, 32), scale));
            p.end();
            QVERIFY(TestIconTheme::largestDifference(row.copy(iconArea), generic.copy(iconArea)) > 8);
        }
    }

    // The second line of a big row shows what a desktop entry starts, without
    // field codes; the catalog's path is the entry's file all the same.
    void bigRowShowsWhatAnEntryStarts()
    {
        const QString entry = TestSandbox::path(QStringLiteral("entries/org.example.Editor.desktop"));
        QDir().mkpath(QFileInfo(entry).absolutePath());
        QFile f(entry);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("[Desktop Entry]\nType=Application\nName=Editor\n"
                "Exec=\"/opt/My Editor/edit\" -n %U\n");
        f.close();
        QItemViewDelegate delegate;
        delegate.setBigIcon(true);
        QImage device(10, 10, QImage::Format_ARGB32);
        const APPBLOCK rec = record(QStringLiteral("Editor"), QString(), entry);
        QCOMPARE(delegate.layoutRow(rec, &device).pathText, QStringLiteral("\"/opt/My Editor/edit\" -n"));
        QCOMPARE(rec.path, entry);
    }

    void iconsComeFromTheFile()
    {
        const QString file = TestSandbox::path(QStringLiteral("items/readme.txt"));
        QDir().mkpath(QFileInfo(file).absolutePath());
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("x");
        f.close();
        const QColor cyan(0, 170, 170);

        QItemViewDelegate delegate;
        const QImage small = paintRow(delegate, record(QStringLiteral("readme"), QString(), file));
        QCOMPARE(small.pixelColor(4, 3), cyan);
        QCOMPARE(small.pixelColor(19, 18), cyan);
        QCOMPARE(small.pixelColor(3, 10), Background);
        QCOMPARE(small.pixelColor(20, 10), Background);

        delegate.setBigIcon(true);
        const QImage big = paintRow(delegate, record(QStringLiteral("readme"), QString(), file));
        QCOMPARE(big.height(), 40);
        QCOMPARE(big.pixelColor(2, 3), cyan);
        QCOMPARE(big.pixelColor(33, 34), cyan);
        QCOMPARE(big.pixelColor(1, 20), Background);
        QCOMPARE(big.pixelColor(34, 20), Background);
    }

    // A row whose file is gone gets whatever the provider gives for a missing file
    // and still shows the stored path.
    void missingPathPaintsTheProvidersIconAndItsPath()
    {
        const QString gone = TestSandbox::path(QStringLiteral("items/gone/readme.txt"));
        QVERIFY(!QFileInfo::exists(gone));
        const QIcon provider = QFileIconProvider().icon(QFileInfo(gone));
        QCOMPARE(FileIcons::icon(QFileInfo(gone)).isNull(), provider.isNull());
        QCOMPARE(TestIconTheme::centreColour(FileIcons::icon(QFileInfo(gone))),
                 TestIconTheme::centreColour(provider));

        QItemViewDelegate delegate;
        delegate.setBigIcon(true);
        QImage device(10, 10, QImage::Format_ARGB32);
        const auto layout = delegate.layoutRow(record(QStringLiteral("readme"), QString(), gone), &device);
        QCOMPARE(layout.pathText,
                 QFontMetrics(QItemViewDelegate::rowFont(), &device).elidedText(gone, Qt::ElideRight, 250));
        QCOMPARE(layout.pathRect, QRect(38, 21, 250, 26));

        const QImage image = paintRow(delegate, record(QStringLiteral("readme"), QString(), gone));
        if (provider.isNull())
            QCOMPARE(countPixels(image, QRect(2, 3, 32, 32), [](QColor c) { return c != Background; }), 0);
        // The path line is drawn in grey below the name.
        QVERIFY(countPixels(image, QRect(38, 22, 240, 16), [](QColor c) { return c.lightness() < 160; }) >
                10);
    }

    void pathLineOnlyInBigRowsAndElided()
    {
        QItemViewDelegate delegate;
        QImage device(10, 10, QImage::Format_ARGB32);
        const QString longPath = QStringLiteral("/very/long/").repeated(40) + QStringLiteral("program");
        QVERIFY(
            delegate.layoutRow(record(QStringLiteral("x"), QString(), longPath), &device).pathText.isEmpty());

        delegate.setBigIcon(true);
        const auto layout = delegate.layoutRow(record(QStringLiteral("x"), QString(), longPath), &device);
        QVERIFY(layout.pathText != longPath);
        QVERIFY(layout.pathText.endsWith(QChar(0x2026)));
        QVERIFY(QFontMetrics(QItemViewDelegate::rowFont(), &device).horizontalAdvance(layout.pathText) <=
                250);
        const auto shortLayout =
            delegate.layoutRow(record(QStringLiteral("x"), QString(), "/bin/ls"), &device);
        QCOMPARE(shortLayout.pathText, QStringLiteral("/bin/ls"));
        // In a row narrower than the path box, the ellipsis stays inside the row.
        const auto narrow =
            delegate.layoutRow(record(QStringLiteral("x"), QString(), longPath), &device, 278);
        QVERIFY(narrow.pathText.endsWith(QChar(0x2026)));
        QVERIFY(38 + QFontMetrics(QItemViewDelegate::rowFont(), &device).horizontalAdvance(narrow.pathText) <=
                278);

        // Nothing of the path is drawn right of the 250 px box.
        const QImage image = paintRow(delegate, record(QStringLiteral("x"), QString(), longPath), false, 400);
        QCOMPARE(countPixels(image, QRect(290, 22, 110, 16), [](QColor c) { return c != Background; }), 0);
    }

    // A name far wider than the row, in either writing direction, never reaches
    // into the icon's place.
    void wideNamesLeaveTheIconAlone_data()
    {
        QTest::addColumn<QString>("alias");
        QTest::addColumn<QString>("key");
        QTest::newRow("wide latin") << QString(300, QLatin1Char('W')) << "WW";
        QTest::newRow("right to left")
            << QString::fromUtf8("\xD9\x85\xD8\xB1\xD8\xAD\xD8\xA8\xD8\xA7 ").repeated(40)
            << QString::fromUtf8("\xD8\xAD");
        QTest::newRow("mixed")
            << QString::fromUtf8("abc \xD7\xA2\xD7\x91\xD7\xA8\xD7\x99\xD7\xAA 123 ").repeated(30) << "b";
        QTest::newRow("marks") << QString::fromUtf8("\xE2\x80\x8F\xE2\x80\xAE"
                                                    "abc")
                                      .repeated(50)
                               << "c";
        QTest::newRow("outside the basic plane")
            << QString::fromUtf8("\xF0\x9F\x98\x80").repeated(100) << QString::fromUtf8("\xF0\x9F\x98\x80");
    }

    void wideNamesLeaveTheIconAlone()
    {
        QFETCH(QString, alias);
        QFETCH(QString, key);
        for (bool big : {false, true}) {
            QItemViewDelegate delegate;
            delegate.setBigIcon(big);
            const QString path = QStringLiteral("/bin/sh");
            const QImage wide = paintRow(delegate, record(alias, key, path), false, 280);
            const QImage empty = paintRow(delegate, record(QString(), QString(), path), false, 280);
            // The icon and the gap after it (a glyph may overhang its origin by a pixel).
            QVERIFY(sameRegion(wide, empty, QRect(0, 0, 36, wide.height())));
            QVERIFY(countPixels(wide, QRect(38, 3, 242, 16), [](QColor c) { return c != Background; }) > 0);
        }
    }

    void unreadableRecordPaintsAnEmptyRow()
    {
        QStandardItemModel model;
        model.appendRow(new QStandardItem(QStringLiteral("not a record")));
        QItemViewDelegate delegate;
        QImage image(280, 22, QImage::Format_ARGB32);
        QPainter painter(&image);
        QStyleOptionViewItem option;
        option.rect = image.rect();
        delegate.paint(&painter, option, model.index(0, 0));
        painter.end();
        QCOMPARE(countPixels(image, QRect(0, 1, 280, 20), [](QColor c) { return c != Background; }), 0);
        QCOMPARE(image.pixelColor(100, 0), QColor(255, 255, 255));
        QCOMPARE(image.pixelColor(100, 21), QColor(200, 200, 200));
    }

    // The delegate announces a relayout when the selection is painted on another
    // row than before, and only then.
    void relayoutOnlyWhenTheSelectedRowChanges()
    {
        ItemsModel model;
        model.setItems(records(3));
        QItemViewDelegate delegate;
        QSignalSpy layout(&model, &QAbstractItemModel::layoutChanged);
        QImage image(280, 22, QImage::Format_ARGB32);

        auto paint = [&](int row, bool selected) {
            QPainter painter(&image);
            QStyleOptionViewItem option;
            option.rect = image.rect();
            option.state = selected ? QStyle::State_Selected : QStyle::State_None;
            delegate.paint(&painter, option, model.index(row, 0));
        };
        paint(0, true);
        const int start = int(layout.count());
        QVERIFY(start <= 1);
        paint(0, true);
        paint(1, false);
        paint(2, false);
        QCOMPARE(layout.count(), start);
        paint(1, true);
        QCOMPARE(layout.count(), start + 1);
        paint(1, true);
        QCOMPARE(layout.count(), start + 1);
        paint(0, true);
        QCOMPARE(layout.count(), start + 2);
        QCOMPARE(QItemViewDelegate::lastSelectedRow, 0);
    }

    // The same through a view: moving the selection from row 0 to 1 and back
    // announces twice; painting again announces nothing.
    void relayoutThroughAView()
    {
        ItemsModel model;
        model.setItems(records(3));
        QItemViewDelegate delegate;
        QListView view;
        view.setModel(&model);
        view.setItemDelegate(&delegate);
        view.resize(280, 3 * 22 + 4);
        view.setCurrentIndex(model.index(0, 0));
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QTRY_COMPARE(QItemViewDelegate::lastSelectedRow, 0);
        QSignalSpy layout(&model, &QAbstractItemModel::layoutChanged);

        view.setCurrentIndex(model.index(1, 0));
        QTRY_COMPARE(layout.count(), 1);
        view.setCurrentIndex(model.index(0, 0));
        QTRY_COMPARE(layout.count(), 2);
        view.viewport()->repaint();
        view.viewport()->repaint();
        QApplication::processEvents();
        QCOMPARE(layout.count(), 2);
        QCOMPARE(view.currentIndex().row(), 0);
    }
};

TOLVANE_TEST_MAIN(TestRowPainting)
#include "test_rowpainting.moc"
