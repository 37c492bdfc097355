#include "catalogfixture.h"
#include "dialog.h"
#include "helpdlg.h"
#include "modalanswer.h"
#include "namedsprites.h"
#include "qaboutdlg.h"
#include "qaddapp.h"
#include "qappshow.h"
#include "qlistedit.h"
#include "qmodapp.h"
#include "qsettingdlg.h"
#include "scaledimages.h"
#include "spritestyle.h"
#include "testmain.h"

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QStyleOptionSpinBox>
#include <QTableWidget>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>

// The windows on a screen scaled by QT_SCALE_FACTOR (CTest runs this executable at
// 1.25, 1.5 and 2): every button face shows exactly its own strip of the 2x sprite,
// nothing of the strip beside it, and every frameless window paints its background
// from the 2x image at the window's unscaled size.
class TestHighDensity : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void slicesNeverBleed_data();
    void slicesNeverBleed();
    void buttonShowsItsStrip_data();
    void buttonShowsItsStrip();
    void styleSheetSlicesShowTheirPart();
    void backgroundFromTheSharpImage_data();
    void backgroundFromTheSharpImage();
};

namespace {

const QColor Ground(128, 128, 128);

qreal ratio()
{
    return qApp->devicePixelRatio();
}

// The part of a 1x image that border-image offsets "top right bottom left 0" leave.
QRect slice(const QSize &size, const char *offsets)
{
    const QStringList parts = QString::fromLatin1(offsets).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const int top = parts[0].toInt(), right = parts[1].toInt(), bottom = parts[2].toInt(),
              left = parts[3].toInt();
    return QRect(QPoint(left, top), QPoint(size.width() - right - 1, size.height() - bottom - 1));
}

// A part of an image (in its own pixels) stretched to a size, as a face with that
// part should look; transparent where the image is.
QImage expectedFace(const QImage &image, const QRect &part, const QSize &size)
{
    QImage face(size, QImage::Format_ARGB32);
    face.fill(Qt::transparent);
    QPainter p(&face);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(QRect(QPoint(0, 0), size), image, part);
    p.end();
    return face;
}

// Mean colour distance per channel of one row of a rendering and its expected face,
// over the pixels the face covers fully (elsewhere the widget's ground shows).
double rowDistance(const QImage &shown, const QImage &expected, int y)
{
    double sum = 0;
    int counted = 0;
    for (int x = 0; x < shown.width(); ++x) {
        const QRgb p = shown.pixel(x, y), q = expected.pixel(x, y);
        if (qAlpha(q) != 255)
            continue;
        sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        ++counted;
    }
    return counted ? sum / (3.0 * counted) : 0.0;
}

// The worst row of a rendering against the expected face. A face that shows part of
// the neighbouring strip has whole rows of the wrong state's colours.
double worstRow(const QImage &shown, const QImage &expected)
{
    double worst = 0;
    for (int y = 0; y < shown.height(); ++y)
        worst = std::max(worst, rowDistance(shown, expected, y));
    return worst;
}

// On a fractional scale the widget's edges fall inside device pixels, so its first
// and last device rows and columns are blends: they are left out of the comparison.
QImage inner(const QImage &image)
{
    const int cut = qFuzzyCompare(ratio(), std::round(ratio())) ? 0 : 1;
    return image.copy(image.rect().adjusted(cut, cut, -cut, -cut));
}

// A widget's rendering in device pixels, laid on the ground colour.
QImage shot(QWidget *widget, const QRect &logical, const QColor &ground = Ground)
{
    QImage grabbed = widget->grab(logical).toImage();
    grabbed.setDevicePixelRatio(1); // compared pixel for pixel
    QImage image(grabbed.size(), QImage::Format_RGB32);
    image.fill(ground);
    QPainter p(&image);
    p.drawImage(0, 0, grabbed);
    p.end();
    return image;
}

// Mean colour distance per channel of two equally sized images.
double meanDistance(const QImage &a, const QImage &b)
{
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        sum += rowDistance(a, b, y);
    return sum / a.height();
}

// Requires the rendering of a sliced image to show the part `part1x` (in 1x pixels)
// of the resource's 2x image. On a scale of 2 the device pixels map one to one, so
// every row must match; on a fractional scale the filtering and the rounding of the
// edges make it differ a little, so the part must be nearer than any other part.
void requireSlice(const QImage &shown, const QString &resource, const QRect &part1x,
                  const QList<QRect> &others1x, const char *what)
{
    const QImage sharp(resource + QStringLiteral("@2x"));
    QVERIFY(!sharp.isNull());
    const auto expected = [&](const QRect &part) {
        return inner(expectedFace(sharp, QRect(part.topLeft() * 2, part.size() * 2), shown.size()));
    };
    const QImage want = expected(part1x);
    const QString where = QStringLiteral("%1 at %2").arg(QLatin1String(what)).arg(ratio());
    if (ratio() == 2.0) {
        const double worst = worstRow(inner(shown), want);
        QVERIFY2(worst < 3, qPrintable(QStringLiteral("%1: worst row differs by %2").arg(where).arg(worst)));
        return;
    }
    const double own = meanDistance(inner(shown), want);
    QVERIFY2(own < 12, qPrintable(QStringLiteral("%1: differs by %2").arg(where).arg(own)));
    for (const QRect &other : others1x) {
        const double d = meanDistance(inner(shown), expected(other));
        QVERIFY2(
            own < d,
            qPrintable(QStringLiteral("%1: %2 from its part, %3 from another").arg(where).arg(own).arg(d)));
    }
}

// Three strips of pure red, green and blue (12 px each at 1x), stacked vertically or
// side by side, written as NAME.png and NAME@2x.png (the same colours at twice the
// pixels) into the sandbox.
QString writeStrips(const QString &name, bool vertical)
{
    const QColor colours[] = {Qt::red, Qt::green, Qt::blue};
    const QString dir = TestSandbox::path(QStringLiteral("strips"));
    QDir().mkpath(dir);
    for (int scale : {1, 2}) {
        const int strip = 12 * scale, across = 20 * scale;
        QImage image(vertical ? QSize(across, 3 * strip) : QSize(3 * strip, across), QImage::Format_RGB32);
        for (int i = 0; i < 3; ++i) {
            const QRect part =
                vertical ? QRect(0, i * strip, across, strip) : QRect(i * strip, 0, strip, across);
            QPainter p(&image);
            p.fillRect(part, colours[i]);
        }
        const QString file = dir + QLatin1Char('/') + name +
                             (scale == 2 ? QStringLiteral("@2x") : QString()) + QStringLiteral(".png");
        if (!image.save(file))
            return QString();
    }
    return dir + QLatin1Char('/') + name + QStringLiteral(".png");
}

} // namespace

void TestHighDensity::initTestCase()
{
    Q_INIT_RESOURCE(tolvane_images);
    QVERIFY2(ratio() > 1, "run with QT_SCALE_FACTOR above 1");
}

void TestHighDensity::slicesNeverBleed_data()
{
    QTest::addColumn<bool>("vertical");
    QTest::addColumn<int>("strip");
    QTest::addColumn<QRect>("geometry");
    for (bool vertical : {true, false}) {
        for (int strip = 0; strip < 3; ++strip) {
            // Odd sizes and positions, so the edges fall inside device pixels at 1.25 and 1.5.
            for (const QRect &r : {QRect(7, 9, 40, 13), QRect(10, 5, 31, 17), QRect(3, 3, 16, 16)})
                QTest::addRow("%s strip %d, %dx%d at %d,%d", vertical ? "stacked" : "side by side", strip,
                              r.width(), r.height(), r.x(), r.y())
                    << vertical << strip << r;
        }
    }
}

void TestHighDensity::slicesNeverBleed()
{
    QFETCH(bool, vertical);
    QFETCH(int, strip);
    QFETCH(QRect, geometry);
    const QString file =
        writeStrips(vertical ? QStringLiteral("stacked") : QStringLiteral("sidebyside"), vertical);
    QVERIFY(!file.isEmpty());
    // The slice offsets of strip `strip`, as the sprite sheets give them: 1x pixels.
    const int before = 12 * strip, after = 12 * (2 - strip);
    const QString offsets = vertical ? QStringLiteral("%1 0 %2 0 0").arg(before).arg(after)
                                     : QStringLiteral("0 %1 0 %2 0").arg(after).arg(before);
    const QString sheet = QStringLiteral("QPushButton {border-image: url(%1) %2;}").arg(file, offsets);

    // On black, so everything that is neither the strip's colour nor a blend of it
    // with black shows in another channel.
    QWidget window;
    window.setStyleSheet(QStringLiteral("QWidget {background: black;}"));
    window.resize(60, 40);
    QPushButton button(&window);
    button.setGeometry(geometry);
    button.setStyleSheet(ScaledImages::styleSheet(sheet, ratio()));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QImage shown = shot(&window, window.rect(), Qt::black);

    // The button's device pixels and one more all round.
    const QRect device(
        QPoint(int(std::floor(geometry.left() * ratio())) - 1, int(std::floor(geometry.top() * ratio())) - 1),
        QPoint(int(std::ceil((geometry.right() + 1) * ratio())),
               int(std::ceil((geometry.bottom() + 1) * ratio()))));
    const auto channel = [](QRgb p, int c) { return c == 0 ? qRed(p) : c == 1 ? qGreen(p) : qBlue(p); };
    int filled = 0, strayed = 0;
    for (int y = device.top(); y <= device.bottom(); ++y) {
        for (int x = device.left(); x <= device.right(); ++x) {
            const QRgb p = shown.pixel(x, y);
            for (int c = 0; c < 3; ++c) {
                if (c != strip && channel(p, c) > 6)
                    ++strayed;
            }
            if (channel(p, strip) > 240)
                ++filled;
        }
    }
    // The face is there (most of it in the pure colour) and nothing of the other strips.
    const int area = int(geometry.width() * ratio()) * int(geometry.height() * ratio());
    QVERIFY2(filled > area * 6 / 10,
             qPrintable(QStringLiteral("%1 of %2 pixels show the strip").arg(filled).arg(area)));
    QVERIFY2(strayed == 0, qPrintable(QStringLiteral("%1 pixels show another strip").arg(strayed)));
}

void TestHighDensity::buttonShowsItsStrip_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("state"); // 0 normal, 1 hovered, 2 pressed
    const QSize sizes[] = {{95, 25}, {16, 16}, {16, 16}, {16, 16}, {16, 16}, {43, 41}, {66, 23}, {72, 23},
                           {72, 33}, {72, 33}, {72, 33}, {72, 33}, {72, 33}, {72, 33}, {72, 33}};
    for (int i = 0; i < int(std::size(AllSprites)); ++i)
        QTest::newRow(AllSprites[i].name) << i << sizes[i] << 0;
    QTest::newRow("Go hovered") << 6 << QSize(66, 23) << 1;
    QTest::newRow("Go pressed") << 6 << QSize(66, 23) << 2;
    QTest::newRow("PathBtn hovered") << 7 << QSize(72, 23) << 1;
    QTest::newRow("DialogOk pressed") << 8 << QSize(72, 33) << 2;
    QTest::newRow("ManagerDelete hovered") << 14 << QSize(72, 33) << 1;
}

void TestHighDensity::buttonShowsItsStrip()
{
    QFETCH(int, index);
    QFETCH(QSize, size);
    QFETCH(int, state);
    const Sprite &sprite = *AllSprites[index].sprite;

    QWidget window;
    window.setStyleSheet(QStringLiteral("QWidget {background: rgb(128, 128, 128);}"));
    window.resize(200, 100);
    QPushButton button(&window);
    button.setGeometry(QRect(QPoint(11, 13), size));
    button.setStyleSheet(Sprites::buttonStyle(sprite));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::mouseMove(&window, QPoint(190, 90));
    if (state > 0) {
        QTest::mouseMove(&button, button.rect().center());
        QTRY_VERIFY(button.underMouse());
    }
    if (state == 2)
        QTest::mousePress(&button, Qt::LeftButton, Qt::NoModifier, button.rect().center());
    const QImage shown = shot(&button, button.rect());
    if (state == 2)
        QTest::mouseRelease(&button, Qt::LeftButton, Qt::NoModifier, button.rect().center());

    const char *offsets[] = {sprite.normal, sprite.hovered, sprite.pressed};
    const QSize size1x = QImage(QString::fromLatin1(sprite.url)).size();
    QList<QRect> others;
    for (int s = 0; s < 3; ++s) {
        if (s != state)
            others << slice(size1x, offsets[s]);
    }
    requireSlice(shown, QString::fromLatin1(sprite.url), slice(size1x, offsets[state]), others,
                 AllSprites[index].name);
}

void TestHighDensity::styleSheetSlicesShowTheirPart()
{
    // The settings dialog's spin box buttons are slices of SPIN2 (11 rows each at 1x).
    QSettingDlg settings;
    settings.show();
    QVERIFY(QTest::qWaitForWindowExposed(&settings));
    auto spin = settings.findChild<QSpinBox *>(QStringLiteral("spinOpacity"));
    QVERIFY(spin);
    QTest::mouseMove(&settings, QPoint(5, settings.height() - 5));
    QStyleOptionSpinBox option;
    option.initFrom(spin);
    option.subControls = QStyle::SC_SpinBoxUp | QStyle::SC_SpinBoxDown;
    option.buttonSymbols = spin->buttonSymbols();
    option.frame = spin->hasFrame();
    option.stepEnabled = QAbstractSpinBox::StepUpEnabled | QAbstractSpinBox::StepDownEnabled;
    // The style sheet gives the buttons a 1 px margin (top and right, bottom and right)
    // that the style's rectangles leave out.
    const QRect up = spin->style()
                         ->subControlRect(QStyle::CC_SpinBox, &option, QStyle::SC_SpinBoxUp, spin)
                         .adjusted(0, 1, -1, 0);
    const QRect down = spin->style()
                           ->subControlRect(QStyle::CC_SpinBox, &option, QStyle::SC_SpinBoxDown, spin)
                           .adjusted(0, 0, -1, -1);
    QVERIFY(up.height() >= 8 && down.height() >= 8);
    const QSize spinSize(19, 69);
    const QRect upNormal = slice(spinSize, "0 0 58 0 0"), downNormal = slice(spinSize, "11 0 47 0 0");
    const QRect upPressed = slice(spinSize, "45 0 12 0 0"), downHovered = slice(spinSize, "34 0 24 0 0");
    requireSlice(shot(spin, up), QStringLiteral(":/images/SPIN2"), upNormal, {downNormal, upPressed},
                 "spin up");
    if (QTest::currentTestFailed())
        return;
    requireSlice(shot(spin, down), QStringLiteral(":/images/SPIN2"), downNormal, {upNormal, downHovered},
                 "spin down");
    if (QTest::currentTestFailed())
        return;

    // The manager's scroll-bar handle is the left column of VSHAND.
    QAppshow manager;
    QList<APPBLOCK> items;
    for (int i = 0; i < 40; ++i) {
        APPBLOCK item;
        item.alias = QStringLiteral("Item %1").arg(i);
        item.path = QStringLiteral("/nonexistent/item%1").arg(i);
        items << item;
    }
    manager.SetItems(items);
    manager.show();
    QVERIFY(QTest::qWaitForWindowExposed(&manager));
    auto table = manager.findChild<QTableWidget *>(QStringLiteral("listShow"));
    QVERIFY(table);
    QScrollBar *bar = table->verticalScrollBar();
    QTRY_VERIFY(bar->isVisible() && bar->maximum() > 0);
    QStyleOptionSlider barOption;
    barOption.initFrom(bar);
    barOption.orientation = Qt::Vertical;
    barOption.minimum = bar->minimum();
    barOption.maximum = bar->maximum();
    barOption.sliderPosition = bar->sliderPosition();
    barOption.sliderValue = bar->value();
    barOption.pageStep = bar->pageStep();
    barOption.singleStep = bar->singleStep();
    barOption.subControls = QStyle::SC_All;
    const QRect handle =
        bar->style()->subControlRect(QStyle::CC_ScrollBar, &barOption, QStyle::SC_ScrollBarSlider, bar);
    QVERIFY(handle.height() >= 20);
    const QSize handleSize(45, 70);
    requireSlice(shot(bar, handle), QStringLiteral(":/images/VSHAND"), slice(handleSize, "0 30 0 0 0"),
                 {slice(handleSize, "0 15 0 15 0"), slice(handleSize, "0 0 0 30 0")}, "scroll-bar handle");
}

void TestHighDensity::backgroundFromTheSharpImage_data()
{
    QTest::addColumn<QString>("window");
    for (const char *name : {"main", "settings", "manager", "add", "modify", "about", "help", "alias"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestHighDensity::backgroundFromTheSharpImage()
{
    QFETCH(QString, window);
    CatalogFixture::resetSandbox();
    std::unique_ptr<QWidget> w;
    QString resource;
    // The offscreen platform has no hotkey: the main window says so in a message box.
    MessageBoxAnswerer boxes;
    if (window == QLatin1String("main")) {
        w = std::make_unique<Dialog>();
        resource = QStringLiteral(":/images/BK");
    } else if (window == QLatin1String("settings")) {
        w = std::make_unique<QSettingDlg>();
        resource = QStringLiteral(":/images/SETTINGBK");
    } else if (window == QLatin1String("manager")) {
        w = std::make_unique<QAppshow>();
        resource = QStringLiteral(":/images/ATMAN");
    } else if (window == QLatin1String("add")) {
        w = std::make_unique<qAddApp>();
        resource = QStringLiteral(":/images/ADDAPP");
    } else if (window == QLatin1String("modify")) {
        w = std::make_unique<qModapp>(QStringLiteral("Terminal"));
        resource = QStringLiteral(":/images/MODAPP");
    } else if (window == QLatin1String("about")) {
        w = std::make_unique<QAboutDlg>();
        resource = QStringLiteral(":/images/ABOUT");
    } else if (window == QLatin1String("help")) {
        w = std::make_unique<HelpDlg>();
        resource = QStringLiteral(":/images/HELP1");
    } else {
        w = std::make_unique<QListEdit>(nullptr, QStringLiteral("calc"));
        resource = QStringLiteral(":/images/EDITMAIN");
    }
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));

    // The window keeps its unscaled size; the screen scales it.
    const QImage plain = QImage(resource).convertToFormat(QImage::Format_ARGB32);
    const QImage sharp = QImage(resource + QStringLiteral("@2x")).convertToFormat(QImage::Format_ARGB32);
    QVERIFY(!plain.isNull() && !sharp.isNull());
    if (window != QLatin1String("alias"))
        QCOMPARE(w->size(), plain.size());

    // The help window draws a few lines of its own over its page image.
    QList<QRect> drawn;
    if (auto help = qobject_cast<HelpDlg *>(w.get()))
        drawn = help->drawnAreas();

    // The background alone: the children are hidden, so all of it shows.
    for (QWidget *child : w->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        child->hide();
    const QImage shown = shot(w.get(), w->rect());

    // The rendering against the 2x image and against the 1x image scaled up (filtered,
    // and pixel by pixel), each brought to the device pixels.
    const auto scaled = [&](const QImage &full, bool smooth) {
        // Only the part the image covers (the alias editor is larger than its image).
        QImage target(shown.size(), QImage::Format_RGB32);
        target.fill(Ground);
        QPainter p(&target);
        p.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
        p.drawImage(QRectF(QPointF(0, 0), QSizeF(plain.size()) * ratio()), full);
        p.end();
        return target;
    };
    const QImage wantSharp = scaled(sharp, true);
    const QImage plainSmooth = scaled(plain, true);
    const QImage plainBlocky = scaled(plain, false);

    const auto distance = [](QRgb p, QRgb q) {
        return std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
    };
    // Where the images differ (the edges of text, glyphs and curves), the rendering must
    // be the 2x one; everywhere else it must match as well.
    double toSharp = 0;
    int compared = 0, detail = 0, sharpDetail = 0;
    for (int y = 0; y + 1 < shown.height(); ++y) {
        for (int x = 0; x + 1 < shown.width(); ++x) {
            const QPoint logical(int(x / ratio()), int(y / ratio()));
            if (logical.x() >= plain.width() || logical.y() >= plain.height() ||
                qAlpha(plain.pixel(logical)) != 255)
                continue; // beside the image, or in its translucent corners
            if (std::any_of(drawn.begin(), drawn.end(), [&](const QRect &r) { return r.contains(logical); }))
                continue;
            const QRgb s = shown.pixel(x, y), a = wantSharp.pixel(x, y);
            const QRgb b = plainSmooth.pixel(x, y), c = plainBlocky.pixel(x, y);
            toSharp += distance(s, a);
            ++compared;
            if (distance(a, b) > 30 && distance(a, c) > 30) {
                ++detail;
                if (distance(s, a) < std::min(distance(s, b), distance(s, c)))
                    ++sharpDetail;
            }
        }
    }
    QVERIFY(compared > 1000);
    toSharp /= 3.0 * compared;
    const QString figures =
        QStringLiteral(
            "%1 at %2: mean distance to the 2x image %3; nearer the 2x image at %4 of %5 edge pixels")
            .arg(window)
            .arg(ratio())
            .arg(toSharp, 0, 'f', 2)
            .arg(sharpDetail)
            .arg(detail);
    qInfo("%s", qPrintable(figures));
    // The 2x image as the painter draws it (the same pixels, or at 1.25 and 1.5 the same
    // filtering), not the 1x one scaled up. The alias editor's background is so plain
    // that only the first figure tells them apart there; every other window has
    // hundreds of edge pixels that do.
    QVERIFY2(toSharp < 0.05 && sharpDetail >= detail * 9 / 10, qPrintable(figures));
    if (window != QLatin1String("alias"))
        QVERIFY2(detail > 200, qPrintable(figures));
}

TOLVANE_TEST_MAIN(TestHighDensity)

#include "tst_hidpi.moc"
