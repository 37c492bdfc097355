#include "namedsprites.h"
#include "scaledimages.h"
#include "spritestyle.h"
#include "testmain.h"

#include <QApplication>
#include <QDir>
#include <QImageReader>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>

#include <algorithm>
#include <array>
#include <cmath>

// The compiled-in images: their names and sizes, the strips every button sprite
// holds, and the style sheets that pick a strip.
class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sizeOfEveryResource_data();
    void sizeOfEveryResource();
    void twiceThePixelsSameDesign_data();
    void twiceThePixelsSameDesign();
    void noResourceBeyondTheTable();
    void helpPagesEndAfterTwo();
    void spriteStripsDiffer_data();
    void spriteStripsDiffer();
    void sliceSheetsDiffer();
    void buttonStyleRules();
    void scaledPicksTheImage();
    void buttonShowsStripOfItsState_data();
    void buttonShowsStripOfItsState();
    void windowIconFile();
};

namespace {

struct Resource
{
    const char *name;
    int width, height;
};

const Resource Table[] = {
    {"BK", 450, 126},           {"SEARCHBAR", 282, 26}, {"GO", 66, 69},
    {"BTNBAR", 97, 75},         {"CLOSE", 16, 48},      {"FEEDBACK1", 16, 48},
    {"SETTINGBTN", 16, 48},     {"DONATE", 16, 48},     {"COUNTTIP", 43, 123},
    {"SPLASHSCREEN", 400, 250}, {"MAIN", 100, 100},     {"EDIT", 32, 32},
    {"EDITMAIN", 264, 46},      {"R", 48, 48},          {"W", 48, 48},
    {"SETTINGBK", 475, 297},    {"SLIDER1", 111, 15},   {"SLIDER2", 19, 19},
    {"SLIDER3", 20, 15},        {"SPIN1", 63, 30},      {"SPIN2", 19, 69},
    {"SETDLGBTN", 145, 99},     {"ATMAN", 480, 400},    {"ATBTN", 360, 99},
    {"VSHAND", 45, 70},         {"SBTN", 15, 45},       {"ADDAPP", 427, 161},
    {"MODAPP", 427, 161},       {"PATHBTN", 72, 69},    {"ABOUT", 376, 188},
    {"HELP1", 600, 300},        {"HELP2", 600, 300},
};

// The part of an image that border-image offsets "top right bottom left 0" leave.
QRect slice(const QSize &size, const char *offsets)
{
    const QStringList parts = QString::fromLatin1(offsets).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (parts.size() != 5)
        return {};
    const int top = parts[0].toInt(), right = parts[1].toInt(), bottom = parts[2].toInt(),
              left = parts[3].toInt();
    return QRect(QPoint(left, top), QPoint(size.width() - right - 1, size.height() - bottom - 1));
}

// Share of the pixels whose colour or opacity differs clearly (by more than 24 of
// 255 in some channel) between two equally sized images.
double visibleDifference(const QImage &a, const QImage &b)
{
    if (a.size() != b.size() || a.isNull())
        return 0;
    const QImage x = a.convertToFormat(QImage::Format_ARGB32);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32);
    int differing = 0;
    for (int j = 0; j < x.height(); ++j) {
        for (int i = 0; i < x.width(); ++i) {
            const QRgb p = x.pixel(i, j), q = y.pixel(i, j);
            const int d = std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                    std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
            if (d > 24)
                ++differing;
        }
    }
    return double(differing) / (x.width() * x.height());
}

// Mean colour distance of two equally sized opaque renderings.
double distance(const QImage &a, const QImage &b)
{
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int j = 0; j < x.height(); ++j) {
        for (int i = 0; i < x.width(); ++i) {
            const QRgb p = x.pixel(i, j), q = y.pixel(i, j);
            sum +=
                std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    }
    return sum / (x.width() * x.height());
}

// Requires every pair of the given parts of an image to differ visibly.
void requireDistinct(const QImage &image, const std::vector<QRect> &parts, const char *what)
{
    for (std::size_t i = 0; i < parts.size(); ++i) {
        for (std::size_t j = i + 1; j < parts.size(); ++j) {
            const double share = visibleDifference(image.copy(parts[i]), image.copy(parts[j]));
            QVERIFY2(share > 0.03, qPrintable(QStringLiteral("%1: parts %2 and %3 differ in %4 % of pixels")
                                                  .arg(QLatin1String(what))
                                                  .arg(i)
                                                  .arg(j)
                                                  .arg(share * 100, 0, 'f', 1)));
        }
    }
}

} // namespace

void TestResources::initTestCase()
{
    // tolvane_res links its images as objects, so they are registered already;
    // the explicit call is what code outside that arrangement would need.
    Q_INIT_RESOURCE(tolvane_images);
}

void TestResources::sizeOfEveryResource_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    for (const Resource &r : Table)
        QTest::newRow(r.name) << QStringLiteral(":/images/") + QLatin1String(r.name)
                              << QSize(r.width, r.height);
}

void TestResources::sizeOfEveryResource()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    const QPixmap pixmap(path);
    QVERIFY2(!pixmap.isNull(), qPrintable(path));
    QCOMPARE(pixmap.size(), size);
    // Every image is a PNG, loaded as such whatever the resource name says.
    QImageReader reader(path);
    QCOMPARE(reader.format(), QByteArray("png"));
}

void TestResources::twiceThePixelsSameDesign_data()
{
    sizeOfEveryResource_data();
}

void TestResources::twiceThePixelsSameDesign()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    const QString sharpPath = path + QStringLiteral("@2x");
    const QImage sharp = QImage(sharpPath).convertToFormat(QImage::Format_ARGB32);
    QVERIFY2(!sharp.isNull(), qPrintable(sharpPath));
    QCOMPARE(sharp.size(), size * 2);
    QCOMPARE(QImageReader(sharpPath).format(), QByteArray("png"));

    // Brought down to 1x, the 2x image is the 1x one: the same design in the same
    // places (so every strip and slice lies where the style sheets expect it). Text
    // and curves are drawn anew at 2x, so their edges differ a little.
    const QImage plain = QImage(path).convertToFormat(QImage::Format_ARGB32);
    const QImage down = sharp.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    double sum = 0;
    int far = 0;
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const QRgb p = plain.pixel(x, y), q = down.pixel(x, y);
            const int d = std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                    std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
            sum += d;
            if (d > 96)
                ++far;
        }
    }
    const double mean = sum / (size.width() * size.height());
    // Measured here: at most 7.5 on average (the browse button's text) and 1.6 % of the
    // pixels far apart (the item count's label). Where each strip lies is checked
    // strip by strip in spriteStripsDiffer.
    QVERIFY2(mean < 10 && far < size.width() * size.height() * 3 / 100,
             qPrintable(QStringLiteral("mean difference %1, %2 pixels far apart").arg(mean).arg(far)));
}

void TestResources::noResourceBeyondTheTable()
{
    QStringList expected;
    for (const Resource &r : Table)
        expected << QLatin1String(r.name) << QLatin1String(r.name) + QStringLiteral("@2x");
    QStringList present = QDir(QStringLiteral(":/images")).entryList(QDir::Files);
    expected.sort();
    present.sort();
    QCOMPARE(present, expected);
}

void TestResources::helpPagesEndAfterTwo()
{
    // The help window builds its page path from the page number.
    for (int page = 1; page <= 2; ++page)
        QVERIFY(!QPixmap(QStringLiteral(":/images/HELP%1").arg(page)).isNull());
    QVERIFY(QPixmap(QStringLiteral(":/images/HELP%1").arg(3)).isNull());
    QVERIFY(QPixmap(QStringLiteral(":/images/HELP%1").arg(0)).isNull());
}

void TestResources::spriteStripsDiffer_data()
{
    QTest::addColumn<int>("index");
    for (int i = 0; i < int(std::size(AllSprites)); ++i)
        QTest::newRow(AllSprites[i].name) << i;
}

void TestResources::spriteStripsDiffer()
{
    QFETCH(int, index);
    const Sprite &sprite = *AllSprites[index].sprite;
    const QImage image(QString::fromLatin1(sprite.url));
    QVERIFY(!image.isNull());
    const QRect normal = slice(image.size(), sprite.normal);
    const QRect hovered = slice(image.size(), sprite.hovered);
    const QRect pressed = slice(image.size(), sprite.pressed);
    // Each state is one strip of a third of the height, inside the image, of the same size.
    for (const QRect &r : {normal, hovered, pressed}) {
        QVERIFY(image.rect().contains(r));
        QCOMPARE(r.height(), image.height() / 3);
    }
    QCOMPARE(hovered.size(), normal.size());
    QCOMPARE(pressed.size(), normal.size());
    requireDistinct(image, {normal, hovered, pressed}, AllSprites[index].name);

    // The 2x sprite holds the same strips at the same (doubled) offsets: each strip of
    // it, brought down to 1x, is nearest the same strip of the 1x sprite.
    const QImage sharp(QString::fromLatin1(sprite.url) + QStringLiteral("@2x"));
    QCOMPARE(sharp.size(), image.size() * 2);
    const QRect strips[] = {normal, hovered, pressed};
    for (int s = 0; s < 3; ++s) {
        const QRect doubled(strips[s].topLeft() * 2, strips[s].size() * 2);
        const QImage down =
            sharp.copy(doubled).scaled(strips[s].size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const double own = distance(down, image.copy(strips[s]));
        for (int other = 0; other < 3; ++other) {
            if (other != s)
                QVERIFY2(own < distance(down, image.copy(strips[other])),
                         qPrintable(QStringLiteral("2x strip %1 looks like 1x strip %2").arg(s).arg(other)));
        }
    }
}

void TestResources::sliceSheetsDiffer()
{
    // The spin box buttons: up and down, each in three states.
    const QImage spin(QStringLiteral(":/images/SPIN2"));
    const auto at = [&](const char *offsets) { return slice(spin.size(), offsets); };
    requireDistinct(spin, {at("0 0 58 0 0"), at("23 0 35 0 0"), at("45 0 12 0 0").adjusted(0, 0, 0, -1)},
                    "SPIN2 up");
    requireDistinct(spin, {at("11 0 47 0 0"), at("34 0 24 0 0"), at("56 0 0 0 0").adjusted(0, 0, 0, -2)},
                    "SPIN2 down");
    // Up and down look different at rest, or the two buttons could not be told apart.
    requireDistinct(spin, {at("0 0 58 0 0"), at("11 0 47 0 0")}, "SPIN2 up/down");

    const QImage handle(QStringLiteral(":/images/VSHAND"));
    requireDistinct(handle, {slice(handle.size(), "0 30 0 0 0"), slice(handle.size(), "0 15 0 15 0")},
                    "VSHAND");

    const QImage arrows(QStringLiteral(":/images/SBTN"));
    requireDistinct(arrows, {QRect(0, 0, 15, 15), QRect(0, 15, 15, 15), QRect(0, 30, 15, 15)}, "SBTN");
    // The arrow square carries a mark: its centre stands out from its corner.
    const QColor centre = arrows.pixelColor(7, 7), corner = arrows.pixelColor(1, 1);
    QVERIFY(std::abs(centre.lightness() - corner.lightness()) > 40 ||
            std::abs(centre.alpha() - corner.alpha()) > 40);
}

void TestResources::buttonStyleRules()
{
    QCOMPARE(Sprites::buttonStyle(Sprites::Go),
             QStringLiteral("QPushButton {border-image: url(:/images/GO) 23 0 23 0 0;}"
                            "QPushButton:hover:!pressed {border-image: url(:/images/GO) 0 0 46 0 0;}"
                            "QPushButton:hover:pressed {border-image: url(:/images/GO) 46 0 0 0 0;}"));
    QCOMPARE(Sprites::buttonStyle(Sprites::BtnBar, QStringLiteral("color:white;")),
             QStringLiteral(
                 "QPushButton {border-image: url(:/images/BTNBAR) 0 0 50 0 0;color:white;}"
                 "QPushButton:hover:!pressed {border-image: url(:/images/BTNBAR) 25 0 25 0 0;color:white;}"
                 "QPushButton:hover:pressed {border-image: url(:/images/BTNBAR) 50 0 0 0 0;color:white;}"));
    const QString cancel = Sprites::buttonStyle(Sprites::ManagerCancel);
    QVERIFY(
        cancel.contains(QStringLiteral("QPushButton {border-image: url(:/images/ATBTN) 0 216 66 72 0;}")));
    QVERIFY(cancel.contains(
        QStringLiteral("QPushButton:hover:!pressed {border-image: url(:/images/ATBTN) 66 216 0 72 0;}")));
    QVERIFY(cancel.contains(
        QStringLiteral("QPushButton:hover:pressed {border-image: url(:/images/ATBTN) 33 216 33 72 0;}")));
}

void TestResources::scaledPicksTheImage()
{
    // The 1x image at ratio 1, the 2x one above it, both at the same device-independent size.
    for (qreal ratio : {1.0, 1.25, 1.5, 2.0, 3.0}) {
        const QPixmap pixmap = ScaledImages::pixmap(QStringLiteral(":/images/GO"), ratio);
        QCOMPARE(pixmap.deviceIndependentSize(), QSizeF(66, 69));
        QCOMPARE(pixmap.size(), ratio > 1 ? QSize(132, 138) : QSize(66, 69));
        const QImage image = ScaledImages::image(QStringLiteral(":/images/SPLASHSCREEN"), ratio);
        QCOMPARE(image.deviceIndependentSize(), QSizeF(400, 250));
        QCOMPARE(image.devicePixelRatio(), ratio > 1 ? 2.0 : 1.0);
    }
    // The help window counts on an empty image beyond the last page, at every ratio.
    QVERIFY(ScaledImages::pixmap(QStringLiteral(":/images/HELP3"), 2).isNull());
}

void TestResources::buttonShowsStripOfItsState_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("hover");
    QTest::addColumn<bool>("down");
    QTest::addColumn<int>("expected"); // 0 normal, 1 hovered, 2 pressed
    const int go = 6, ok = 8, path = 7;
    QTest::newRow("GO at rest: middle strip") << go << QSize(66, 23) << false << false << 0;
    QTest::newRow("GO hovered: top strip") << go << QSize(66, 23) << true << false << 1;
    QTest::newRow("GO hovered and pressed") << go << QSize(66, 23) << true << true << 2;
    QTest::newRow("GO pressed by keyboard stays normal") << go << QSize(66, 23) << false << true << 0;
    QTest::newRow("dialog OK hovered") << ok << QSize(72, 33) << true << false << 1;
    QTest::newRow("dialog OK pressed") << ok << QSize(72, 33) << true << true << 2;
    QTest::newRow("browse hovered: bottom strip") << path << QSize(72, 23) << true << false << 1;
    QTest::newRow("browse pressed: middle strip") << path << QSize(72, 23) << true << true << 2;
}

void TestResources::buttonShowsStripOfItsState()
{
    QFETCH(int, index);
    QFETCH(QSize, size);
    QFETCH(bool, hover);
    QFETCH(bool, down);
    QFETCH(int, expected);
    const Sprite &sprite = *AllSprites[index].sprite;

    QWidget window;
    window.setStyleSheet(QStringLiteral("QWidget {background: rgb(128, 128, 128);}"));
    window.resize(200, 100);
    QPushButton button(&window);
    button.setGeometry(QRect(QPoint(10, 10), size));
    button.setStyleSheet(Sprites::buttonStyle(sprite));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // The pointer goes onto the button (or stays beside it) as a user moves it.
    QTest::mouseMove(&window, QPoint(150, 80));
    if (hover) {
        QTest::mouseMove(&button, button.rect().center());
        QTRY_VERIFY(button.underMouse());
    }
    QVERIFY(!hover || button.underMouse());
    if (down && hover)
        QTest::mousePress(&button, Qt::LeftButton, Qt::NoModifier, button.rect().center());
    else if (down)
        button.setDown(true); // as the space bar holds it down
    QCOMPARE(button.isDown(), down);
    const QImage shot = button.grab().toImage();
    if (down && hover)
        QTest::mouseRelease(&button, Qt::LeftButton, Qt::NoModifier, button.rect().center());

    // The rendering is nearest to the strip of the expected state, each strip
    // scaled to the button and laid on the same grey.
    const QImage image(QString::fromLatin1(sprite.url));
    std::array<double, 3> d{};
    const char *offsets[] = {sprite.normal, sprite.hovered, sprite.pressed};
    for (int s = 0; s < 3; ++s) {
        QImage strip(shot.size(), QImage::Format_RGB32);
        strip.fill(QColor(128, 128, 128));
        QPainter p(&strip);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(QRect(QPoint(0, 0), shot.size()), image, slice(image.size(), offsets[s]));
        p.end();
        d[s] = distance(shot, strip);
    }
    const int nearest = int(std::min_element(d.begin(), d.end()) - d.begin());
    QVERIFY2(nearest == expected,
             qPrintable(QStringLiteral("distances %1 %2 %3").arg(d[0]).arg(d[1]).arg(d[2])));
}

void TestResources::windowIconFile()
{
    // The icon file shipped beside the executable holds the icon at several sizes.
    QImageReader reader(TestSandbox::buildBinDir() + QStringLiteral("/main.ico"), "ico");
    QVERIFY2(reader.canRead(), qPrintable(reader.errorString()));
    QList<int> sizes;
    for (int i = 0; i < reader.imageCount(); ++i) {
        QVERIFY(reader.jumpToImage(i));
        const QImage image = reader.read();
        QVERIFY(!image.isNull());
        QCOMPARE(image.width(), image.height());
        // The mark fills the middle of every size.
        QVERIFY(image.pixelColor(image.width() / 2, image.height() / 4).alpha() == 255);
        sizes << image.width();
    }
    for (int want : {16, 32, 48, 256})
        QVERIFY2(sizes.contains(want), qPrintable(QStringLiteral("missing size %1").arg(want)));
}

TOLVANE_TEST_MAIN(TestResources)

#include "tst_resources.moc"
