// Composes the compiled-in backgrounds with stand-in widgets at the windows' widget
// positions and writes screenshots, to check alignment and readability by eye:
//
//   cmake --build <build> --target tolvane_artwork_preview
//   QT_QPA_PLATFORM=offscreen <build>/bin/tolvane_artwork_preview /tmp/preview
//
// The stand-ins carry the sprite style sheets of res/spritestyle.h; other style
// sheets here only approximate the real windows'.

#include "spritestyle.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTableWidget>
#include <QTextEdit>

#include <cstdio>

namespace {

// A window that paints a resource image at its top-left corner, as the program's do.
class Backdrop : public QWidget
{
public:
    explicit Backdrop(const QString &image) : background(image)
    {
        setAttribute(Qt::WA_TranslucentBackground);
        setWindowFlags(Qt::FramelessWindowHint);
        setFixedSize(background.size());
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.drawPixmap(0, 0, background);
    }

private:
    QPixmap background;
};

QPushButton *button(QWidget *parent, const QRect &r, const Sprite &sprite, const QString &extra = QString())
{
    auto *b = new QPushButton(parent);
    b->setGeometry(r);
    b->setStyleSheet(Sprites::buttonStyle(sprite, extra));
    return b;
}

template <typename T> T *place(QWidget *parent, const QRect &r)
{
    auto *w = new T(parent);
    w->setGeometry(r);
    return w;
}

const char *FieldStyle = "QLineEdit {border: 1px solid rgb(165, 165, 165); border-radius: 3px;"
                         "background-color: qlineargradient(spread:pad, x1:1, y1:0, x2:0.762, y2:1,"
                         "stop:0 rgba(250, 248, 248, 255), stop:0.0222222 rgba(220, 220, 220, 255),"
                         "stop:0.483471 rgba(240, 240, 240, 255), stop:0.982716 rgba(253, 253, 253, 255),"
                         "stop:1 rgba(250, 249, 249, 255));}";

const char *LabelStyle = "QLabel {color: #0f5c9f; font-weight: bold; font-size: 9pt;}";

std::unique_ptr<QWidget> mainWindow()
{
    auto w = std::make_unique<Backdrop>(QStringLiteral(":/images/BK"));
    const QString names[] = {QStringLiteral("Terminal"), QStringLiteral("Firefox Web Browser"),
                             QStringLiteral("Files")};
    for (int i = 0; i < 3; ++i) {
        QPushButton *b =
            button(w.get(), QRect(17 + 97 * i, 26, 95, 25), Sprites::BtnBar, QStringLiteral("color:white;"));
        b->setIcon(QIcon(QStringLiteral(":/images/MAIN")));
        b->setText(b->fontMetrics().elidedText(names[i], Qt::ElideRight, b->contentsRect().width() - 20));
    }
    auto *search = place<QTextEdit>(w.get(), QRect(17, 70, 280, 23));
    search->setStyleSheet(QStringLiteral("QTextEdit {border-image: url(:/images/SEARCHBAR); color:white;}"));
    search->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    search->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    search->setPlainText(QStringLiteral("calculator"));
    button(w.get(), QRect(300, 70, 66, 23), Sprites::Go);
    QPushButton *count = button(w.get(), QRect(385, 26, 43, 41), Sprites::CountTip,
                                QStringLiteral("color: rgb(250, 250, 200); text-align: top;"));
    QFont f(QStringLiteral("Arial Black"));
    f.setPointSize(12);
    f.setBold(true);
    count->setFont(f);
    count->setText(QStringLiteral("1284"));
    button(w.get(), QRect(400, 4, 16, 16), Sprites::SettingBtn);
    button(w.get(), QRect(420, 4, 16, 16), Sprites::Close);
    button(w.get(), QRect(400, 102, 16, 16), Sprites::Feedback);
    button(w.get(), QRect(420, 102, 16, 16), Sprites::Donate);
    auto *hotkey = place<QLabel>(w.get(), QRect(20, 98, 200, 20));
    hotkey->setStyleSheet(QStringLiteral("color:white;"));
    hotkey->setText(QStringLiteral(" Hotkey Exhaled: <font color='#32EC81' >CTRL+ALT+Q</font>"));
    return w;
}

std::unique_ptr<QWidget> settingsWindow()
{
    auto w = std::make_unique<Backdrop>(QStringLiteral(":/images/SETTINGBK"));
    place<QCheckBox>(w.get(), QRect(20, 40, 260, 20))->setText(QStringLiteral("Boot automatically run"));
    auto *hide = place<QCheckBox>(w.get(), QRect(20, 65, 300, 20));
    hide->setText(QStringLiteral("Automatically hide after running the application"));
    hide->setChecked(true);
    place<QCheckBox>(w.get(), QRect(20, 90, 250, 20))->setText(QStringLiteral("Display Big Images"));
    place<QLabel>(w.get(), QRect(20, 115, 180, 20))
        ->setText(QStringLiteral("Set maximum number of item in List"));
    place<QLabel>(w.get(), QRect(20, 140, 120, 20))->setText(QStringLiteral("Transparency settings"));
    place<QLabel>(w.get(), QRect(20, 165, 120, 20))->setText(QStringLiteral("Hotkey settings:"));
    const QString slider = QStringLiteral(
        "QSlider::groove:horizontal {border-image: url(:/images/SLIDER1); margin: 0 6px;}"
        "QSlider::handle:horizontal {image: url(:/images/SLIDER2); width: 18px;}"
        "QSlider::sub-page:horizontal {border-image: url(:/images/SLIDER3); margin: 0 0 0 6px;}");
    const QString spin =
        QStringLiteral("QSpinBox {border-image: url(:/images/SPIN1) 1; border-width: 1;}"
                       "QSpinBox::up-button {width: 16px; border-image: url(:/images/SPIN2) 0 0 58 0 0;}"
                       "QSpinBox::down-button {width: 16px; border-image: url(:/images/SPIN2) 11 0 47 0 0;}");
    const int ranges[2][3] = {{2, 10, 5}, {15, 100, 80}};
    for (int i = 0; i < 2; ++i) {
        auto *s = place<QSlider>(w.get(), QRect(205, 115 + 25 * i, 210, 20));
        s->setOrientation(Qt::Horizontal);
        s->setRange(ranges[i][0], ranges[i][1]);
        s->setValue(ranges[i][2]);
        s->setStyleSheet(slider);
        auto *box = place<QSpinBox>(w.get(), QRect(420, 112 + 25 * i, 40, 25));
        box->setRange(ranges[i][0], ranges[i][1]);
        box->setValue(ranges[i][2]);
        box->setStyleSheet(spin);
    }
    auto *hotkey = place<QLineEdit>(w.get(), QRect(190, 165, 150, 20));
    hotkey->setStyleSheet(QStringLiteral("QLineEdit {border: 1px solid rgb(165, 165, 165);}"));
    hotkey->setText(QStringLiteral("CTRL+ALT+Q"));
    button(w.get(), QRect(310, 250, 72, 33), Sprites::DialogOk);
    button(w.get(), QRect(385, 250, 72, 33), Sprites::DialogCancel);
    return w;
}

std::unique_ptr<QWidget> managerWindow()
{
    auto w = std::make_unique<Backdrop>(QStringLiteral(":/images/ATMAN"));
    auto *table = place<QTableWidget>(w.get(), QRect(10, 40, 461, 301));
    table->setColumnCount(2);
    table->setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("Path")});
    table->setColumnWidth(0, 180);
    table->setColumnWidth(1, 260);
    table->verticalHeader()->hide();
    table->setAlternatingRowColors(true);
    table->setFrameShape(QFrame::Box);
    table->setFrameShadow(QFrame::Raised);
    table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    table->setStyleSheet(QStringLiteral(
        "QScrollBar:vertical {width: 15px; padding: 15px 0 15px 0;}"
        "QScrollBar::handle:vertical {min-height: 70px; border-image: url(:/images/VSHAND) 0 30 0 0 0;}"
        "QScrollBar::add-line:vertical {height: 15px; subcontrol-position: bottom;"
        " border-image: url(:/images/SBTN) 0 0 30 0 0;}"
        "QScrollBar::sub-line:vertical {height: 15px; subcontrol-position: top;"
        " border-image: url(:/images/SBTN) 0 0 30 0 0;}"));
    table->setRowCount(30);
    for (int i = 0; i < 30; ++i) {
        table->setItem(i, 0, new QTableWidgetItem(QStringLiteral("Application %1").arg(i + 1)));
        table->setItem(
            i, 1, new QTableWidgetItem(QStringLiteral("/usr/share/applications/app%1.desktop").arg(i + 1)));
    }
    table->selectRow(0);
    button(w.get(), QRect(78, 356, 72, 33), Sprites::ManagerAdd);
    button(w.get(), QRect(158, 356, 72, 33), Sprites::ManagerDelete);
    button(w.get(), QRect(238, 356, 72, 33), Sprites::ManagerModify);
    button(w.get(), QRect(318, 356, 72, 33), Sprites::ManagerOk);
    button(w.get(), QRect(398, 356, 72, 33), Sprites::ManagerCancel);
    return w;
}

std::unique_ptr<QWidget> nameWindow(bool add)
{
    auto w = std::make_unique<Backdrop>(add ? QStringLiteral(":/images/ADDAPP")
                                            : QStringLiteral(":/images/MODAPP"));
    const QString colon = QStringLiteral("<span style='font-size:12pt'>:</span>");
    auto label = [&](const QRect &r, const QString &s) {
        auto *l = place<QLabel>(w.get(), r);
        l->setStyleSheet(QString::fromLatin1(LabelStyle));
        l->setText(s + colon);
    };
    auto field = [&](const QRect &r, const QString &s) {
        auto *e = place<QLineEdit>(w.get(), r);
        e->setStyleSheet(QString::fromLatin1(FieldStyle));
        e->setText(s);
    };
    if (add) {
        label(QRect(12, 40, 41, 16), QStringLiteral("NAME"));
        field(QRect(55, 41, 281, 21), QStringLiteral("gedit"));
        label(QRect(12, 67, 41, 16), QStringLiteral("PATH"));
        field(QRect(55, 69, 281, 20), QStringLiteral("/usr/bin/gedit"));
        button(w.get(), QRect(342, 68, 72, 23), Sprites::PathBtn);
        button(w.get(), QRect(250, 110, 72, 30), Sprites::DialogOk);
        button(w.get(), QRect(330, 110, 72, 30), Sprites::DialogCancel);
    } else {
        label(QRect(10, 40, 41, 16), QStringLiteral("NAME"));
        field(QRect(86, 40, 281, 21), QStringLiteral("Calculator"));
        label(QRect(10, 69, 71, 16), QStringLiteral("NEW NAME"));
        field(QRect(86, 70, 281, 20), QStringLiteral("Calc"));
        button(w.get(), QRect(254, 112, 72, 33), Sprites::DialogOk);
        button(w.get(), QRect(334, 112, 72, 33), Sprites::DialogCancel);
    }
    return w;
}

std::unique_ptr<QWidget> aboutWindow()
{
    auto w = std::make_unique<Backdrop>(QStringLiteral(":/images/ABOUT"));
    auto *t = place<QLabel>(w.get(), QRect(20, 45, 260, 40));
    t->setWordWrap(true);
    t->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    t->setText(
        QStringLiteral("Thank you for use and support. \r\nIf you have any questions please do not hesitate "
                       "to contact me."));
    place<QLabel>(w.get(), QRect(20, 100, 300, 20))->setText(QStringLiteral("VERSION: 1.0"));
    place<QLabel>(w.get(), QRect(20, 130, 300, 20))
        ->setText(QStringLiteral(
            "Home Page: <a href='https://example.org/tolvane'>https://example.org/tolvane</a>"));
    place<QLabel>(w.get(), QRect(20, 150, 300, 20))
        ->setText(QStringLiteral("Support Email: <a href='mailto:help@example.org'>help@example.org</a>"));
    button(w.get(), QRect(295, 145, 72, 33), Sprites::DialogOk);
    return w;
}

std::unique_ptr<QWidget> aliasEditor()
{
    auto w = std::make_unique<Backdrop>(QStringLiteral(":/images/EDITMAIN"));
    w->setFixedSize(270, 50);
    auto *e = place<QLineEdit>(w.get(), QRect(15, 10, 200, 20));
    e->setStyleSheet(QString::fromLatin1(FieldStyle));
    e->setText(QStringLiteral("calc"));
    const QString style = QStringLiteral(
        "QPushButton {border: 1px solid rgb(250, 250, 250); border-radius: 3px; background-color: "
        "qlineargradient(spread:pad, x1:1, y1:1, x2:1, y2:0, stop:0 rgba(215, 215, 215, 255), stop:1 "
        "rgba(236, "
        "236, 236, 255));}");
    auto *ok = place<QPushButton>(w.get(), QRect(218, 14, 22, 22));
    ok->setIcon(QIcon(QStringLiteral(":/images/R")));
    ok->setStyleSheet(style);
    auto *cancel = place<QPushButton>(w.get(), QRect(242, 2, 16, 16));
    cancel->setIcon(QIcon(QStringLiteral(":/images/W")));
    cancel->setStyleSheet(style);
    return w;
}

// The floating edit button beside a result row, on a light stand-in for the list.
std::unique_ptr<QWidget> editButton()
{
    auto w = std::make_unique<QWidget>();
    w->setFixedSize(40, 40);
    w->setStyleSheet(QStringLiteral("QWidget {background: white;}"));
    auto *edit = place<QPushButton>(w.get(), QRect(8, 8, 24, 24));
    edit->setStyleSheet(QStringLiteral("QPushButton {border: 1px solid rgb(190, 200, 90);"
                                       "background-color: rgb(200, 230, 100);image: url(:/images/EDIT);}"));
    return w;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Q_INIT_RESOURCE(tolvane_images);
    if (argc < 2) {
        std::fprintf(stderr, "usage: tolvane_artwork_preview <folder>\n");
        return 2;
    }
    QDir dir(QString::fromLocal8Bit(argv[1]));
    dir.mkpath(QStringLiteral("."));
    const struct
    {
        const char *name;
        std::unique_ptr<QWidget> (*make)();
    } windows[] = {{"main", mainWindow},
                   {"settings", settingsWindow},
                   {"manager", managerWindow},
                   {"add", [] { return nameWindow(true); }},
                   {"modify", [] { return nameWindow(false); }},
                   {"about", aboutWindow},
                   {"alias", aliasEditor},
                   {"editbutton", editButton}};
    for (const auto &entry : windows) {
        std::unique_ptr<QWidget> w = entry.make();
        w->show();
        QApplication::processEvents();
        // Composited on a mid grey, as a desktop behind the translucent corners.
        QImage shot(w->size(), QImage::Format_ARGB32_Premultiplied);
        shot.fill(QColor(0x80, 0x80, 0x80));
        QPainter p(&shot);
        p.drawPixmap(0, 0, w->grab());
        p.end();
        shot.save(dir.filePath(QString::fromLatin1(entry.name) + QStringLiteral(".png")));
    }
    return 0;
}
