#pragma once

#include "appblock.h"

#include <QItemDelegate>
#include <QList>
#include <QRect>

class QPaintDevice;

// Paints the rows of the result popup by hand: background, file icon, the name
// with every occurrence of the typed text in bold and underlined, the path in big
// rows, and the separator lines. Small rows are 22 px high, big rows 40 px.
class QItemViewDelegate : public QItemDelegate
{
    Q_OBJECT

public:
    // One run of the name as it is drawn: its text, whether it is a highlighted
    // (bold, underlined) piece, its left offset from the row's left edge and its width.
    struct Piece
    {
        QString text;
        bool bold = false;
        int x = 0;
        int width = 0;
    };

    // Where everything of one row goes, relative to the row's top-left corner.
    struct RowLayout
    {
        QRect iconRect;
        int iconSize = 16;
        QList<Piece> pieces;
        QString pathText; // empty in small rows
        QRect pathRect;
    };

    explicit QItemViewDelegate(QObject *parent = nullptr);
    ~QItemViewDelegate() override;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    void setBigIcon(bool bBig);
    // 40 for big rows, 22 for small ones.
    int rowHeight() const;

    // The pieces of `alias` with every case-insensitive occurrence of `key`
    // highlighted, measured with `font` (normal and bold) on `device`.
    static QList<Piece> namePieces(const QString &alias, const QString &key, const QFont &font,
                                   QPaintDevice *device = nullptr);
    // What paint() draws for `record` in a row `rowWidth` pixels wide, measured on `device`.
    RowLayout layoutRow(const APPBLOCK &record, QPaintDevice *device = nullptr, int rowWidth = 1 << 20) const;
    // The row font: "微软雅黑" 9 pt where installed, the platform default otherwise.
    static QFont rowFont();

    // false: small rows (name only); true: big rows (name and path).
    bool bigIcon = false;

    // The row last painted selected; a selection painted on another row makes the
    // model announce a relayout.
    static int lastSelectedRow;
};
