#include "qitemviewdelegate.h"

#include "appfinder.h"
#include "fileicons.h"
#include "installedapps.h"
#include "itemsmodel.h"

#include <QApplication>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <QTextBoundaryFinder>
#include <QTextLayout>

#include <cmath>

int QItemViewDelegate::lastSelectedRow = -1;

namespace {

const QColor RowBackground(250, 250, 250);
const QColor SelectedBackground(107, 148, 183);
const QColor SelectedText(255, 255, 255);
const QColor PathText(80, 80, 80);
const QColor ReasonText(115, 115, 115);
const QColor SelectedReasonText(222, 232, 242);
const QColor TopLine(255, 255, 255);
const QColor BottomLine(200, 200, 200);

constexpr int NameLeft = 38;
constexpr int TextTop = 3;
constexpr int TextBoxHeight = 26;
constexpr int PathTop = 21;
constexpr int PathWidth = 250;
// The gap between the name and the text saying why the row is there, and the
// least room worth showing that text in.
constexpr int ReasonGap = 10;
constexpr int ReasonMinWidth = 24;

bool isLowSurrogateAt(const QString &s, qsizetype i)
{
    return i > 0 && i < s.size() && s.at(i).isLowSurrogate() && s.at(i - 1).isHighSurrogate();
}

QFontMetrics metricsFor(const QFont &font, QPaintDevice *device)
{
    return device ? QFontMetrics(font, device) : QFontMetrics(font);
}

constexpr QChar ZeroWidthJoiner(0x200D);

// A highlighted range of the name: [start, end) in the name's characters.
struct Range
{
    qsizetype start;
    qsizetype end;
};

// Appends [start, end) widened to whole characters as the reader sees them, and
// clipped so that it does not overlap the range before it; returns the widened end.
qsizetype appendWidened(QList<Range> &ranges, QTextBoundaryFinder &graphemes, qsizetype start, qsizetype end)
{
    graphemes.setPosition(start);
    if (!graphemes.isAtBoundary())
        start = graphemes.toPreviousBoundary();
    graphemes.setPosition(end);
    if (!graphemes.isAtBoundary())
        end = graphemes.toNextBoundary();
    if (!ranges.isEmpty() && start < ranges.last().end)
        start = ranges.last().end;
    if (start < end)
        ranges.append({start, end});
    return end;
}

// Every case-insensitive occurrence of `key` in `alias`, without overlaps, each
// widened to whole characters as the reader sees them (a base letter with its
// marks). A match that would cut a character outside the basic plane in half is
// not one: the halves cannot be drawn on their own.
QList<Range> keyRanges(const QString &alias, const QString &key)
{
    QList<Range> ranges;
    if (key.isEmpty())
        return ranges;
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, alias);
    qsizetype m = alias.indexOf(key, 0, Qt::CaseInsensitive);
    while (m >= 0) {
        if (isLowSurrogateAt(alias, m) || isLowSurrogateAt(alias, m + key.size())) {
            m = alias.indexOf(key, m + 1, Qt::CaseInsensitive);
            continue;
        }
        const qsizetype end = appendWidened(ranges, graphemes, m, m + key.size());
        m = alias.indexOf(key, end, Qt::CaseInsensitive);
    }
    return ranges;
}

// Every occurrence of `key` in `reason`, case and accents aside (as the catalog
// found it), each widened to whole characters as the reader sees them.
QList<Range> reasonRanges(const QString &reason, const QString &key)
{
    QList<Range> ranges;
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, reason);
    for (const auto &[start, end] : AppFinder::occurrences(reason, key))
        appendWidened(ranges, graphemes, start, end);
    return ranges;
}

// The letter next to position `from` in `direction` (-1 back, +1 forward),
// passing over marks, which take their joining from their base letter.
QChar::JoiningType joiningNeighbour(const QString &text, qsizetype from, int direction)
{
    for (qsizetype i = from; i >= 0 && i < text.size(); i += direction) {
        const QChar::JoiningType type = text.at(i).joiningType();
        if (type != QChar::Joining_Transparent)
            return type;
    }
    return QChar::Joining_None;
}

// Whether the letters either side of position `at` join (Arabic, Syriac, N'Ko...).
bool joinsAcross(const QString &text, qsizetype at)
{
    const QChar::JoiningType before = joiningNeighbour(text, at - 1, -1);
    const QChar::JoiningType after = joiningNeighbour(text, at, +1);
    const bool beforeJoinsOn =
        before == QChar::Joining_Dual || before == QChar::Joining_Left || before == QChar::Joining_Causing;
    const bool afterJoinsBack =
        after == QChar::Joining_Dual || after == QChar::Joining_Right || after == QChar::Joining_Causing;
    return beforeJoinsOn && afterJoinsBack;
}

// The name as the layout gets it. A change of font ends one shaping run and
// starts the next, and a letter at the edge of a run would take its unjoined
// form; a zero-width joiner on each side of such a boundary keeps the joining
// forms the letters have in the whole name.
struct NameText
{
    QString text;
    QList<QTextLayout::FormatRange> highlights;
    // Each piece, in reading order: where it lies in the name and in `text`.
    QList<Range> inName;
    QList<Range> pieces;
    QList<bool> bold;
};

NameText nameText(const QString &alias, const QList<Range> &hits)
{
    // The pieces in reading order: normal, highlighted, normal, ... (a normal piece
    // between two adjacent highlights is empty).
    QList<Range> pieces;
    QList<bool> bold;
    qsizetype pos = 0;
    for (const Range &hit : hits) {
        pieces.append({pos, hit.start});
        bold.append(false);
        pieces.append(hit);
        bold.append(true);
        pos = hit.end;
    }
    if (pos < alias.size()) {
        pieces.append({pos, alias.size()});
        bold.append(false);
    }

    // Where the font changes (pieces alternate, so between two pieces that are not
    // empty) between two letters that join, each side gets a joiner.
    QList<bool> joinerAt(alias.size() + 1, false);
    const auto isEmpty = [&](int i) { return pieces.at(i).start == pieces.at(i).end; };
    for (int i = 0; i + 1 < pieces.size(); ++i) {
        const qsizetype at = pieces.at(i).end;
        if (!isEmpty(i) && !isEmpty(i + 1) && joinsAcross(alias, at))
            joinerAt[at] = true;
    }

    NameText name;
    QList<qsizetype> textPos(alias.size() + 1);
    for (qsizetype i = 0; i <= alias.size(); ++i) {
        if (joinerAt.at(i)) {
            name.text += ZeroWidthJoiner;
            name.text += ZeroWidthJoiner;
        }
        textPos[i] = name.text.size();
        if (i < alias.size())
            name.text += alias.at(i);
    }
    // A piece ends with the first joiner of its boundary and starts with the second.
    const auto textStart = [&](qsizetype i) { return textPos.at(i) - (joinerAt.at(i) ? 1 : 0); };

    QTextCharFormat highlight;
    highlight.setFontWeight(QFont::Bold);
    highlight.setFontUnderline(true);
    for (int i = 0; i < pieces.size(); ++i) {
        const qsizetype start = textStart(pieces.at(i).start);
        const qsizetype end =
            pieces.at(i).end == alias.size() ? name.text.size() : textStart(pieces.at(i).end);
        name.inName.append(pieces.at(i));
        name.pieces.append({start, end});
        name.bold.append(bold.at(i));
        if (!bold.at(i))
            continue;
        // Adjacent highlights are one run, so they shape as one.
        if (!name.highlights.isEmpty() &&
            name.highlights.last().start + name.highlights.last().length == start)
            name.highlights.last().length += int(end - start);
        else
            name.highlights.append({int(start), int(end - start), highlight});
    }
    return name;
}

void layoutText(QTextLayout &layout, const NameText &name)
{
    layout.setText(name.text);
    QTextOption option(Qt::AlignLeft | Qt::AlignAbsolute);
    option.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(option);
    layout.setFormats(name.highlights);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (line.isValid()) {
        line.setLineWidth(1 << 20);
        line.setPosition(QPointF(0, 0));
    }
    layout.endLayout();
}

// The pieces of a laid-out text, placed from `left`.
QList<QItemViewDelegate::Piece> piecesOf(const QString &source, const NameText &name, const QFont &font,
                                         QPaintDevice *device, qreal left)
{
    QFont normal = font;
    normal.setWeight(QFont::Normal);
    normal.setUnderline(false);
    QTextLayout layout(QString(), normal, device);
    layoutText(layout, name);
    const QTextLine line = layout.lineAt(0);

    QList<QItemViewDelegate::Piece> pieces;
    for (int i = 0; i < name.pieces.size(); ++i) {
        const Range &range = name.pieces.at(i);
        // The piece covers the cursor positions from its start to its end; in text
        // of one direction the outermost of them are its edges.
        qreal from = line.cursorToX(int(range.start));
        qreal to = from;
        for (qsizetype c = range.start + 1; c <= range.end; ++c) {
            const qreal x = line.cursorToX(int(c));
            from = qMin(from, x);
            to = qMax(to, x);
        }
        const Range &inSource = name.inName.at(i);
        pieces.append({source.mid(inSource.start, inSource.end - inSource.start), name.bold.at(i),
                       left + from, to - from});
    }
    return pieces;
}

// The reason text cut at the right to `width` pixels, with an ellipsis, and the
// highlights that stay whole in what is left of it.
NameText reasonFitting(const QString &reason, const QString &key, const QFont &font, QPaintDevice *device,
                       qreal width, QString &shown)
{
    QFont bold = font;
    bold.setWeight(QFont::Bold);
    // Measured in bold, so that highlighted letters fit too.
    shown = metricsFor(bold, device).elidedText(reason, Qt::ElideRight, int(width));
    QList<Range> ranges = reasonRanges(reason, key);
    if (shown != reason) {
        // What stays of the reason is the part before the ellipsis.
        const qsizetype kept = qMax<qsizetype>(0, shown.size() - 1);
        ranges.removeIf([kept](const Range &range) { return range.end > kept; });
    }
    return nameText(shown, ranges);
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

void QItemViewDelegate::layoutName(QTextLayout &layout, const QString &alias, const QString &key)
{
    layoutText(layout, nameText(alias, keyRanges(alias, key)));
}

void QItemViewDelegate::layoutReason(QTextLayout &layout, const QString &reason, const QString &key)
{
    layoutText(layout, nameText(reason, reasonRanges(reason, key)));
}

QList<QItemViewDelegate::Piece> QItemViewDelegate::namePieces(const QString &alias, const QString &key,
                                                              const QFont &font, QPaintDevice *device)
{
    return piecesOf(alias, nameText(alias, keyRanges(alias, key)), font, device, NameLeft);
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
    if (!record.extra.isEmpty()) {
        qreal nameRight = NameLeft;
        for (const Piece &piece : std::as_const(layout.pieces))
            nameRight = qMax(nameRight, piece.x + piece.width);
        const qreal left = std::ceil(nameRight) + ReasonGap;
        const qreal room = rowWidth - left - 4;
        if (room >= ReasonMinWidth) {
            const NameText reason =
                reasonFitting(record.extra, record.key, font, device, room, layout.reasonText);
            layout.reasonLeft = left;
            layout.reasonPieces = piecesOf(layout.reasonText, reason, font, device, left);
        }
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

    // Name: one text, so that right-to-left names read in their order and joined
    // letters stay joined; the highlight is a format over the key's characters.
    const QFont normal = rowFont();
    painter->setFont(normal);
    QTextLayout name(QString(), normal, painter->device());
    layoutName(name, record.alias, record.key);
    name.draw(painter, QPointF(r.x() + NameLeft, r.y() + TextTop));

    // Why the row is there, after the name, in grey with the typed text marked.
    if (!layout.reasonText.isEmpty()) {
        painter->setPen(selected ? SelectedReasonText : ReasonText);
        QTextLayout reason(QString(), normal, painter->device());
        layoutReason(reason, layout.reasonText, record.key);
        reason.draw(painter, QPointF(r.x() + layout.reasonLeft, r.y() + TextTop));
    }

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
