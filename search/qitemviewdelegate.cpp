#include "qitemviewdelegate.h"

#include "fileicons.h"
#include "installedapps.h"
#include "itemsmodel.h"

#include <QApplication>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>

int QItemViewDelegate::lastSelectedRow = -1;

namespace {

const QColor RowBackground(250, 250, 250);
const QColor SelectedBackground(107, 148, 183);
const QColor SelectedText(255, 255, 255);
const QColor PathText(80, 80, 80);
const QColor TopLine(255, 255, 255);
const QColor BottomLine(200, 200, 200);

constexpr int NameLeft = 38;
constexpr int TextTop = 3;
constexpr int TextBoxHeight = 26;
constexpr int PathTop = 21;
constexpr int PathWidth = 250;

bool isLowSurrogateAt(const QString &s, qsizetype i)
{
    return i > 0 && i < s.size() && s.at(i).isLowSurrogate() && s.at(i - 1).isHighSurrogate();
}

QFontMetrics metricsFor(const QFont &font, QPaintDevice *device)
{
    return device ? QFontMetrics(font, device) : QFontMetrics(font);
}

} // namespace

QItemViewDelegate::QItemViewDelegate(QObject *parent) : QItemDelegate(parent)
{
    appblockMetaType();
}

QItemViewDelegate::~QItemViewDelegate() = default;

void QItemViewDelegate::setBigIcon(bool bBig)
{
    bigIcon = bBig;
}

int QItemViewDelegate::rowHeight() const
{
    return bigIcon ? 40 : 22;
}

QSize QItemViewDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const
{
    return QSize(option.rect.width(), rowHeight());
}

QFont QItemViewDelegate::rowFont()
{
    // The family is looked up once; the font database does not change during a run
    // in a way that matters here.
    static const QString family = [] {
        const QString yahei = QStringLiteral("微软雅黑");
        if (QFontDatabase::hasFamily(yahei))
            return yahei;
        if (QFontDatabase::hasFamily(QStringLiteral("Microsoft YaHei")))
            return QStringLiteral("Microsoft YaHei");
        return QApplication::font().family();
    }();
    QFont font(family);
    font.setPointSize(9);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

QList<QItemViewDelegate::Piece> QItemViewDelegate::namePieces(const QString &alias, const QString &key,
                                                              const QFont &font, QPaintDevice *device)
{
    QFont normal = font;
    normal.setWeight(QFont::Normal);
    normal.setUnderline(false);
    QFont bold = font;
    bold.setWeight(QFont::Bold);
    bold.setUnderline(true);
    const QFontMetrics normalMetrics = metricsFor(normal, device);
    const QFontMetrics boldMetrics = metricsFor(bold, device);

    QList<Piece> pieces;
    int pen = NameLeft;
    qsizetype pos = 0;
    if (!key.isEmpty()) {
        qsizetype m = alias.indexOf(key, 0, Qt::CaseInsensitive);
        while (m >= 0) {
            // A match that would cut a character outside the basic plane in half is
            // not one: the halves cannot be drawn on their own.
            if (isLowSurrogateAt(alias, m) || isLowSurrogateAt(alias, m + key.size())) {
                m = alias.indexOf(key, m + 1, Qt::CaseInsensitive);
                continue;
            }
            const QString piece = alias.mid(pos, m - pos);
            const int w1 = normalMetrics.horizontalAdvance(piece);
            pieces.append({piece, false, pen, w1});
            const QString hit = alias.mid(m, key.size());
            const int w2 = boldMetrics.horizontalAdvance(hit);
            pieces.append({hit, true, pen + w1, w2});
            pen += w1 + w2;
            pos = m + key.size();
            m = alias.indexOf(key, pos, Qt::CaseInsensitive);
        }
    }
    if (pos < alias.size()) {
        const QString rest = alias.mid(pos);
        pieces.append({rest, false, pen, normalMetrics.horizontalAdvance(rest)});
    }
    return pieces;
}

QItemViewDelegate::RowLayout QItemViewDelegate::layoutRow(const APPBLOCK &record, QPaintDevice *device,
                                                          int rowWidth) const
{
    RowLayout layout;
    if (bigIcon) {
        layout.iconSize = 32;
        layout.iconRect = QRect(2, 3, 32, 32);
    } else {
        layout.iconSize = 16;
        layout.iconRect = QRect(4, 3, 16, 16);
    }
    const QFont font = rowFont();
    layout.pieces = namePieces(record.alias, record.key, font, device);
    if (bigIcon) {
        // At most 250 px, and never so wide that the row's edge cuts off the ellipsis.
        const int width = qMax(0, qMin(PathWidth, rowWidth - NameLeft - 2));
        // What the item starts (a desktop entry's command), not the entry's file.
        layout.pathText =
            metricsFor(font, device).elidedText(InstalledApps::shownPath(record.path), Qt::ElideRight, width);
        layout.pathRect = QRect(NameLeft, PathTop, PathWidth, TextBoxHeight);
    }
    return layout;
}

void QItemViewDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const
{
    painter->save();

    // Where things go.
    APPBLOCK record;
    const QVariant value = index.model() ? index.model()->data(index, Qt::DisplayRole) : QVariant();
    if (value.metaType().id() == appblockMetaType())
        record = value.value<APPBLOCK>();
    const QRect &r = option.rect;
    const RowLayout layout = layoutRow(record, painter->device(), r.width());
    const bool selected = option.state & QStyle::State_Selected;

    // Background and selection.
    painter->fillRect(r, RowBackground);
    if (selected) {
        if (index.row() != lastSelectedRow) {
            lastSelectedRow = index.row();
            if (auto items = qobject_cast<ItemsModel *>(const_cast<QAbstractItemModel *>(index.model())))
                items->RefreshLayout();
        }
        painter->fillRect(r, QBrush(SelectedBackground, Qt::SolidPattern));
        painter->setPen(SelectedText);
    } else {
        painter->setPen(option.palette.brush(QPalette::Text).color());
    }

    // Icon: looked up from the file system on every paint, so it follows the file.
    // A record without a path (one that could not be read) is an empty row.
    const QIcon icon = record.path.isEmpty() ? QIcon() : FileIcons::icon(QFileInfo(record.path));
    if (!icon.isNull()) {
        const QPixmap pixmap = icon.pixmap(QSize(layout.iconSize, layout.iconSize),
                                           painter->device()->devicePixelRatioF(), QIcon::Normal, QIcon::Off);
        painter->drawPixmap(layout.iconRect.translated(r.topLeft()), pixmap);
    }

    // Name, piece by piece; the boxes never clip a piece.
    QFont normal = rowFont();
    QFont bold = normal;
    bold.setWeight(QFont::Bold);
    bold.setUnderline(true);
    for (const Piece &piece : layout.pieces) {
        if (piece.text.isEmpty())
            continue;
        painter->setFont(piece.bold ? bold : normal);
        painter->drawText(QRect(r.x() + piece.x, r.y() + TextTop, piece.width, TextBoxHeight),
                          Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip | Qt::TextSingleLine, piece.text);
    }
    painter->setFont(normal);

    // Path line of big rows.
    if (bigIcon) {
        painter->setPen(PathText);
        painter->drawText(layout.pathRect.translated(r.topLeft()),
                          Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, layout.pathText);
    }

    // Separators on top of everything.
    painter->setPen(TopLine);
    painter->drawLine(r.left(), r.top(), r.right(), r.top());
    painter->setPen(BottomLine);
    painter->drawLine(r.left(), r.bottom(), r.right(), r.bottom());

    painter->restore();
}
