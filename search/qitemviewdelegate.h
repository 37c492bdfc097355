#pragma once

#include "appblock.h"

#include <QItemDelegate>
#include <QList>
#include <QRect>

class QPaintDevice;
class QTextLayout;

// Paints the rows of the result popup by hand: background, file icon, the name
// with every occurrence of the typed text in bold and underlined (and, for a
// program found by what it is for, what matched, in grey after the name), the
// path in big rows, and the separator lines. Small rows are 22 px high, big rows 40 px.
class QItemViewDelegate : public QItemDelegate
{
    Q_OBJECT

public:
    // One run of the name in reading (storage) order: its text, whether it is a
    // highlighted (bold, underlined) piece, and where it shows: its left edge from
    // the row's left edge and its width. The name is laid out as one text, so a
    // right-to-left piece may well lie left of the piece before it.
    struct Piece
    {
        QString text;
        bool bold = false;
        qreal x = 0;
        qreal width = 0;
    };

    // Where everything of one row goes, relative to the row's top-left corner.
    struct RowLayout
    {
        QRect iconRect;
        int iconSize = 16;
        QList<Piece> pieces;
        QString pathText; // empty in small rows
        QRect pathRect;
        // Why a row found by what the program is for is there (the record's
        // `extra`): after the name, in grey, with the typed text marked, cut at
        // the right to the row; empty when there is none or no room for it.
        QList<Piece> reasonPieces;
        QString reasonText;
        qreal reasonLeft = 0;
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
    // highlighted, laid out with `font` (normal and bold) on `device`.
    static QList<Piece> namePieces(const QString &alias, const QString &key, const QFont &font,
                                   QPaintDevice *device = nullptr);
    // Lays out `alias` as one line of text in `font` with every case-insensitive
    // occurrence of `key` bold and underlined, so that writing direction and letter
    // shaping run over the whole name. The line starts at x 0.
    static void layoutName(QTextLayout &layout, const QString &alias, const QString &key);
    // Lays out the text that says why a row is there (the generic name or keyword
    // that matched) with every occurrence of `key`, case and accents aside, bold
    // and underlined.
    static void layoutReason(QTextLayout &layout, const QString &reason, const QString &key);
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
