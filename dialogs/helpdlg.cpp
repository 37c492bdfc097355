#include "helpdlg.h"

#include "frameless.h"

#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QPixmap>

namespace {

// The artwork's look: its text colours, card colour and font.
const QColor Ink(0x23, 0x2e, 0x3a);
const QColor InkSoft(0x5d, 0x6b, 0x7a);
const QColor Card(0xff, 0xff, 0xff);

QFont artworkFont(int pixelSize, bool bold = false)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

// Where the images leave room for the lines of the desktop at hand.
const QRect SummonRect(56, 74, 276, 20);
const QRect SummonMoreRect(56, 92, 276, 20);
const QRect KeyCapArea(340, 210, 134, 24);
const QRect SettingsRect(104, 200, 470, 18);
const QRect HideRect(104, 239, 470, 18);

// "CTRL+ALT+Q" as a key cap shows it: "Ctrl + Alt + Q".
QString capLabel(const QString &key)
{
    QStringList parts = key.split(QLatin1Char('+'));
    for (QString &part : parts) {
        if (part.size() > 1 && part == part.toUpper())
            part = part.at(0) + part.mid(1).toLower();
    }
    return parts.join(QStringLiteral(" + "));
}

// Draws a line in the largest of a few sizes at which it fits its rectangle.
void drawFitted(QPainter &painter, const QRect &rect, const QString &text, const QColor &colour, int pixels)
{
    QFont font = artworkFont(pixels);
    for (; pixels >= 9; --pixels) {
        font.setPixelSize(pixels);
        if (QFontMetrics(font).horizontalAdvance(text) <= rect.width())
            break;
    }
    painter.setFont(font);
    painter.setPen(colour);
    painter.drawText(rect, Qt::AlignLeft | Qt::AlignVCenter,
                     QFontMetrics(font).elidedText(text, Qt::ElideRight, rect.width()));
}

} // namespace

HelpDlg::HelpDlg(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("HelpDlg"));
    // The title names the window in the desktop's window switcher.
    setWindowTitle(QStringLiteral("Tolvane Help"));
    // The pages are drawn from the resources when the window paints; the window
    // is built at start but rarely shown, so only the first page's size is read here.
    Frameless::setup(this, QPixmap());
    setFixedSize(QImageReader(QStringLiteral(":/images/HELP1")).size());
}

void HelpDlg::setReach(const QString &hotkeyInForce, bool hasTray, const QString &programCommand)
{
    hotkey = hotkeyInForce;
    tray = hasTray;
    command = programCommand;
    update();
}

QList<HelpDlg::Line> HelpDlg::lines() const
{
    const QString name = QFileInfo(command).fileName();
    if (page == 1) {
        QString first = hotkey.isEmpty() ? QStringLiteral("Start Tolvane again (its menu entry)")
                                         : QStringLiteral("Press the hotkey (%1)").arg(capLabel(hotkey));
        QString more;
        if (tray)
            more = QStringLiteral("or click Tolvane\u2019s icon in the tray");
        else if (hotkey.isEmpty())
            more = QStringLiteral("or a key bound to the command \u201c%1\u201d").arg(name);
        else
            more = QStringLiteral("or start Tolvane again (its menu entry)");
        return {{SummonRect, first}, {SummonMoreRect, more}};
    }
    // Without a tray the window's own menu has Setting and Quit.
    const QString settings =
        tray ? QStringLiteral("The gear at the top right, or right-click the tray icon and choose Setting.")
             : QStringLiteral("The gear at the top right, or right-click the window (Setting, Quit).");
    QString hide;
    if (tray)
        hide = QStringLiteral(
            "The \u00d7 at the top right, or Escape in an empty box. Tolvane stays in the tray.");
    else if (!hotkey.isEmpty())
        hide =
            QStringLiteral("The \u00d7 or Escape in an empty box; %1 brings it back.").arg(capLabel(hotkey));
    else
        hide = QStringLiteral("The \u00d7 or Escape in an empty box; start Tolvane again to bring it back.");
    return {{SettingsRect, settings}, {HideRect, hide}};
}

QString HelpDlg::keyCap() const
{
    return page == 1 && !hotkey.isEmpty() ? capLabel(hotkey) : QString();
}

QList<QRect> HelpDlg::drawnAreas() const
{
    QList<QRect> areas;
    for (const Line &line : lines())
        areas << line.rect;
    if (!keyCap().isEmpty())
        areas << KeyCapArea;
    return areas;
}

void HelpDlg::mouseReleaseEvent(QMouseEvent *)
{
    ++page;
    if (page > PageCount) {
        hide();
        page = 1;
    }
    update();
}

void HelpDlg::paintEvent(QPaintEvent *)
{
    Frameless::paintBackground(this, QStringLiteral(":/images/HELP%1").arg(page));
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QList<Line> shown = lines();
    for (int i = 0; i < shown.size(); ++i) {
        // The first line of a step is the main one, the second the softer remark.
        const bool main = page == 1 && i == 0;
        drawFitted(painter, shown.at(i).rect, shown.at(i).text, main ? Ink : InkSoft, main ? 13 : 12);
    }
    paintKeyCap(painter);
}

void HelpDlg::paintKeyCap(QPainter &painter) const
{
    const QString label = keyCap();
    if (label.isEmpty())
        return;
    // As wide as the label, right-aligned against the Return cap, within its area.
    const QFont font = artworkFont(11, true);
    const QFontMetrics metrics(font);
    const int width = qBound(60, metrics.horizontalAdvance(label) + 20, KeyCapArea.width());
    const QRectF cap(KeyCapArea.right() + 1 - 4 - width, KeyCapArea.top(), width, KeyCapArea.height());
    painter.save();
    painter.setPen(QPen(QColor(0xa9, 0xb6, 0xc3), 1));
    painter.setBrush(Card);
    painter.drawRoundedRect(cap.adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);
    painter.setPen(QPen(QColor(0xc9, 0xd2, 0xda), 2));
    painter.drawLine(QPointF(cap.left() + 3, cap.bottom() - 1.5),
                     QPointF(cap.right() - 3, cap.bottom() - 1.5));
    painter.setFont(font);
    painter.setPen(Ink);
    painter.drawText(cap.adjusted(4, -1, -4, -1), Qt::AlignCenter,
                     metrics.elidedText(label, Qt::ElideRight, int(cap.width()) - 8));
    painter.restore();
}
