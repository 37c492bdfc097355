#include "catalogfixture.h"
#include "programcopy.h"
#include "testmain.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QScreen>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>

// The real program on an X server at the scales 1, 1.5 and 2 (QT_SCALE_FACTOR): the
// main window with the result list, the settings dialog and the application manager,
// photographed from the screen. The titles drawn into their background images must
// be as sharp as the scale allows: their share of hard edges is measured and compared
// with the picture at scale 1 scaled up. With TOLVANE_SCREENSHOT_DIR set, the pictures
// are saved there.
class TestSharpness : public QObject
{
    Q_OBJECT

    struct Shots
    {
        QImage main, settings, manager;
    };
    std::map<QString, Shots> shots; // by scale, "1", "1.5", "2"

    static QString xdotool(const QStringList &args) { return X11Windows::xdotool(args); }

    static QImage grab(const QRect &r)
    {
        return QGuiApplication::primaryScreen()
            ->grabWindow(0, r.x(), r.y(), r.width(), r.height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    }

    // Clicks at a point given in the window's unscaled pixels.
    static void clickAt(const QRect &window, qreal scale, const QPointF &logical)
    {
        const QPoint at = window.topLeft() + (logical * scale).toPoint();
        xdotool({QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y()),
                 QStringLiteral("click"), QStringLiteral("1")});
    }

    static void save(const QImage &image, const QString &name)
    {
        const QString dir = qEnvironmentVariable("TOLVANE_SCREENSHOT_DIR");
        if (!dir.isEmpty())
            QVERIFY(image.save(QDir(dir).filePath(name + QStringLiteral(".png"))));
    }

    static int luminance(QRgb p) { return (qRed(p) * 11 + qGreen(p) * 16 + qBlue(p) * 5) / 32; }

    // The share of hard edges in a picture of light text on a dark band: along every
    // row and column, each step from the band's level to the text's level (below 20 %
    // and above 80 % of the contrast) is an edge; it is hard when at most one pixel
    // lies between the two. Text drawn for the screen's pixels has mostly hard edges;
    // text scaled up from fewer pixels spreads each edge over two or more.
    static double hardEdgeShare(const QImage &image, int *edgeCount = nullptr)
    {
        std::vector<int> levels;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                levels.push_back(luminance(image.pixel(x, y)));
        std::sort(levels.begin(), levels.end());
        const int dark = levels[levels.size() / 20], light = levels[levels.size() - 1 - levels.size() / 200];
        const int low = dark + (light - dark) / 5, high = light - (light - dark) / 5;
        int edges = 0, hard = 0;
        const auto scan = [&](int count, int length, const std::function<int(int, int)> &level) {
            for (int line = 0; line < count; ++line) {
                int lastSide = 0, lastAt = 0; // -1 dark, 1 light
                for (int i = 0; i < length; ++i) {
                    const int v = level(line, i);
                    const int side = v <= low ? -1 : v >= high ? 1 : 0;
                    if (side == 0)
                        continue;
                    if (lastSide != 0 && side != lastSide) {
                        ++edges;
                        if (i - lastAt - 1 <= 1)
                            ++hard;
                    }
                    lastSide = side;
                    lastAt = i;
                }
            }
        };
        scan(image.height(), image.width(), [&](int y, int x) { return luminance(image.pixel(x, y)); });
        scan(image.width(), image.height(), [&](int x, int y) { return luminance(image.pixel(x, y)); });
        if (edgeCount)
            *edgeCount = edges;
        return edges ? double(hard) / edges : 0.0;
    }

    // The part of a window's picture (device pixels) that holds its title, given in
    // unscaled pixels.
    static QImage part(const QImage &shot, qreal scale, const QRectF &logical)
    {
        const QRectF r(logical.topLeft() * scale, logical.size() * scale);
        return shot.copy(r.toAlignedRect());
    }

private slots:
    void initTestCase();
    void photographAtScale_data();
    void photographAtScale();
    void titlesAsSharpAsTheScaleAllows_data();
    void titlesAsSharpAsTheScaleAllows();
};

void TestSharpness::initTestCase()
{
    QVERIFY2(QFile::exists(TestSandbox::buildBinDir() + QStringLiteral("/tolvane")), "build tolvane first");
    CatalogFixture::resetSandbox();
    for (const char *name : {"Text Editor", "Terminal", "Tetris", "Telescope", "Web Browser"}) {
        const QString file = QString::fromLatin1(name).toLower().replace(QLatin1Char(' '), QLatin1Char('-')) +
                             QStringLiteral(".desktop");
        CatalogFixture::writeDesktopEntry(file, QString::fromLatin1(name), {}, QString(),
                                          QStringLiteral("true"));
    }
}

void TestSharpness::photographAtScale_data()
{
    QTest::addColumn<QString>("scale");
    // Scale 1 first: the others are compared with it.
    for (const char *scale : {"1", "1.5", "2"})
        QTest::newRow(scale) << QString::fromLatin1(scale);
}

void TestSharpness::photographAtScale()
{
    QFETCH(QString, scale);
    const qreal s = scale.toDouble();
    ProgramCopy copy(QStringLiteral("scale-") + scale);
    copy.setEnvironment(QStringLiteral("QT_SCALE_FACTOR"), scale);
    QProcess *process = copy.start();
    const qint64 pid = process->processId();
    QTRY_COMPARE_WITH_TIMEOUT(X11Windows::visibleMainWindows(pid).size(), 1, 20000);
    const QRect main = X11Windows::geometry(X11Windows::visibleMainWindows(pid).first());
    // The window keeps its unscaled size; the screen scales it.
    QCOMPARE(main.size(), (QSizeF(450, 126) * s).toSize());

    // Type "te" with the pointer resting on the window (without a window manager the
    // keyboard follows the pointer), then move the pointer to the window's bottom band,
    // off the list, and wait until the list has faded in: a strip of its first row is
    // light and the same in three pictures taken 150 ms apart.
    clickAt(main, s, QPointF(250, 110));
    xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("100"), QStringLiteral("te")});
    const QPoint pointer = main.topLeft() + (QPointF(370, 115) * s).toPoint();
    xdotool({QStringLiteral("mousemove"), QString::number(pointer.x()), QString::number(pointer.y())});
    const QRect firstRow(main.topLeft() + (QPointF(150, 105) * s).toPoint(), QSize(int(60 * s), 1));
    QStringList seen;
    int same = 0;
    QImage last;
    for (QDeadlineTimer deadline(20000); same < 2 && !deadline.hasExpired();) {
        QTest::qWait(150);
        const QImage now = grab(firstRow);
        const bool light = luminance(now.pixel(now.width() / 2, 0)) > 120;
        same = light && now == last ? same + 1 : 0;
        last = now;
        seen << QString::number(luminance(now.pixel(now.width() / 2, 0)));
    }
    QVERIFY2(same == 2,
             qPrintable(QStringLiteral("the list did not settle: ") + seen.join(QLatin1Char(' '))));
    const QImage mainShot = grab(QRect(main.topLeft(), QSize(main.width(), main.height() * 2)));
    save(mainShot, QStringLiteral("main-") + scale);

    // The gear opens the settings dialog.
    clickAt(main, s, QPointF(408, 12));
    const QSize settingsSize = (QSizeF(475, 297) * s).toSize();
    QTRY_VERIFY_WITH_TIMEOUT(!X11Windows::windowOfSize(pid, settingsSize).isEmpty(), 20000);
    const QRect settings = X11Windows::geometry(X11Windows::windowOfSize(pid, settingsSize));
    const QImage settingsShot = grab(settings);
    save(settingsShot, QStringLiteral("settings-") + scale);
    clickAt(settings, s, QPointF(385 + 36, 250 + 16)); // Cancel
    QTRY_VERIFY_WITH_TIMEOUT(X11Windows::windowOfSize(pid, settingsSize).isEmpty(), 20000);

    // The item count opens the application manager, which the test closes again.
    clickAt(main, s, QPointF(406, 46));
    const QSize managerSize = (QSizeF(480, 400) * s).toSize();
    QTRY_VERIFY_WITH_TIMEOUT(!X11Windows::windowOfSize(pid, managerSize).isEmpty(), 20000);
    const QRect manager = X11Windows::geometry(X11Windows::windowOfSize(pid, managerSize));
    const QImage managerShot = grab(manager);
    save(managerShot, QStringLiteral("manager-") + scale);
    clickAt(manager, s, QPointF(398 + 36, 356 + 16)); // Cancel
    QTRY_VERIFY_WITH_TIMEOUT(X11Windows::windowOfSize(pid, managerSize).isEmpty(), 20000);

    process->terminate();
    QVERIFY(process->waitForFinished(20000));
    shots[scale] = {mainShot, settingsShot, managerShot};
}

void TestSharpness::titlesAsSharpAsTheScaleAllows_data()
{
    QTest::addColumn<QString>("scale");
    QTest::addColumn<QString>("window");
    for (const char *scale : {"1.5", "2"}) {
        for (const char *window : {"main", "settings", "manager"})
            QTest::addRow("%s at %s", window, scale)
                << QString::fromLatin1(scale) << QString::fromLatin1(window);
    }
}

void TestSharpness::titlesAsSharpAsTheScaleAllows()
{
    QFETCH(QString, scale);
    QFETCH(QString, window);
    QVERIFY2(shots.count(QStringLiteral("1")) && shots.count(scale), "the photographs were not taken");
    const qreal s = scale.toDouble();
    // Where each window's title is drawn ("Tolvane", "Settings", "Application Manager").
    const Shots &plain = shots.at(QStringLiteral("1")), &scaled = shots.at(scale);
    const QImage *one = nullptr, *many = nullptr;
    QRectF title;
    if (window == QLatin1String("main")) {
        one = &plain.main, many = &scaled.main, title = QRectF(35, 4, 58, 17);
    } else if (window == QLatin1String("settings")) {
        one = &plain.settings, many = &scaled.settings, title = QRectF(31, 5, 64, 19);
    } else {
        one = &plain.manager, many = &scaled.manager, title = QRectF(31, 5, 150, 19);
    }
    const QImage reference = part(*one, 1, title);
    const QImage upscaled = reference.scaled((QSizeF(reference.size()) * s).toSize(), Qt::IgnoreAspectRatio,
                                             Qt::SmoothTransformation);
    int edges = 0;
    const double atOne = hardEdgeShare(reference);
    const double shown = hardEdgeShare(part(*many, s, title), &edges);
    const double blurred = hardEdgeShare(upscaled);
    const QString figures =
        QStringLiteral("%1 at %2: hard edges %3 % (%4 edges); at 1: %5 %; 1x scaled up: %6 %")
            .arg(window, scale)
            .arg(shown * 100, 0, 'f', 1)
            .arg(edges)
            .arg(atOne * 100, 0, 'f', 1)
            .arg(blurred * 100, 0, 'f', 1);
    qInfo("%s", qPrintable(figures));
    QVERIFY2(edges > 40, qPrintable(figures));
    // Sharper than the 1x picture scaled up, and about as sharp as at scale 1.
    QVERIFY2(shown > blurred + 0.15 && shown > atOne * 0.8, qPrintable(figures));
}

TOLVANE_TEST_MAIN(TestSharpness)

#include "tst_sharpness.moc"
