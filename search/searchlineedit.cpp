#include "searchlineedit.h"

#include "itemsmodel.h"
#include "popupwindows.h"
#include "qitemviewdelegate.h"
#include "qlistcomp.h"
#include "qlistedit.h"

#include <QApplication>
#include <QCursor>
#include <QDebug>
#include <QFocusEvent>
#include <QGraphicsOpacityEffect>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QTextCursor>
#include <QToolTip>

namespace {

const char *const PopupStyle = "QListView {"
                               "border: 1px solid rgb(65, 65, 79);}";
const char *const EditButtonStyle = "QPushButton {"
                                    "border: 1px solid rgb(190, 200, 90);"
                                    "background-color: rgb(200, 230, 100);"
                                    "image: url(:/images/EDIT);}";

// The keys that start a query: letters and digits, whatever modifiers are held
// (so Ctrl+V pastes and then searches).
bool startsQuery(int key)
{
    return (key >= Qt::Key_0 && key <= Qt::Key_9) || (key >= Qt::Key_A && key <= Qt::Key_Z);
}

APPBLOCK recordOf(const QVariant &value)
{
    if (value.metaType().id() == appblockMetaType())
        return value.value<APPBLOCK>();
    return APPBLOCK();
}

} // namespace

SearchLineEdit::SearchLineEdit(QWidget *parent) : QTextEdit(parent)
{
    setObjectName(QStringLiteral("searchLineEdit"));
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // One line of plain text: a long name scrolls sideways instead of wrapping out
    // of sight, and pasted rich text (images, tables) arrives as its plain text.
    setLineWrapMode(QTextEdit::NoWrap);
    setAcceptRichText(false);
    appblockMetaType();
}

SearchLineEdit::~SearchLineEdit()
{
    // The text edit's teardown must not call back into this half-destroyed object.
    disconnect(this, &QTextEdit::textChanged, this, &SearchLineEdit::slotTextChanged);
    delete popupList;
    delete editButton;
    delete delegate;
    delete model;
}

void SearchLineEdit::Setup()
{
    if (popupList)
        return;
    maxCount = 5;
    listHasMouse = false;

    popupList = new QListComp;
    popupList->setObjectName(QStringLiteral("popupList"));
    model = new ItemsModel;
    delegate = new QItemViewDelegate;
    popupList->setWindowFlags(Qt::ToolTip);

    editButton = new QPushButton;
    editButton->setObjectName(QStringLiteral("editButton"));
    editButton->setWindowFlags(Qt::ToolTip);
    editButton->setGeometry(0, 0, 24, 24);
    editButton->hide();
    editButton->setStyleSheet(QString::fromLatin1(EditButtonStyle));

    popupList->setModel(model);
    popupList->setItemDelegate(delegate);
    popupList->setStyleSheet(QString::fromLatin1(PopupStyle));
    // The popup is sized to its rows; scroll bars would only hide one of them.
    popupList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    popupList->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    connect(popupList, &QListComp::mouseMoveSignal, this, &SearchLineEdit::ListViewMouseMoveSlot);
    connect(popupList, &QListComp::clicked, this, &SearchLineEdit::ListIndex);
    connect(this, &SearchLineEdit::dataChanged, popupList,
            [list = popupList](const QModelIndex &topLeft, const QModelIndex &bottomRight) {
                list->dataChanged(topLeft, bottomRight);
            });
    connect(popupList, &QListComp::listfocus, this, &SearchLineEdit::OnFocus);
    connect(editButton, &QPushButton::clicked, this, &SearchLineEdit::EditIndexSlot);
    connect(this, &QTextEdit::textChanged, this, &SearchLineEdit::slotTextChanged);

    catalog.OpenCatalog();
    catalog.GetTopItems(topItems);
    emit RefreshTop();
}

int SearchLineEdit::rowHeight() const
{
    return delegate && delegate->bigIcon ? 40 : 22;
}

QPoint SearchLineEdit::popupOrigin() const
{
    return mapToGlobal(QPoint(0, height()));
}

void SearchLineEdit::fadeIn(QWidget *widget, qreal from, int msecs)
{
    // The new effect replaces (and deletes) the previous one together with its
    // animation, which is the effect's child.
    auto effect = new QGraphicsOpacityEffect(widget);
    widget->setGraphicsEffect(effect);
    auto animation = new QPropertyAnimation(effect, "opacity", effect);
    animation->setStartValue(from);
    animation->setEndValue(1.0);
    animation->setDuration(msecs);
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void SearchLineEdit::setCompleter(const QString &text, bool bComp)
{
    current.alias.clear();
    if (!model)
        return;
    if (text.isEmpty()) {
        HidePopup();
        return;
    }

    results.clear();
    catalog.SearchItems(text, results, maxCount);
    model->setItems(results);

    const int n = model->rowCount();
    const int h = rowHeight();
    if (n == 0) {
        HidePopup();
        return;
    }
    popupList->setMinimumSize(width(), n * h + 4);
    popupList->setMaximumSize(width(), n * h + 4);

    if (bComp) {
        completion.clear();
        for (const APPBLOCK &row : std::as_const(results)) {
            if (row.alias.left(text.size()) == text) {
                completion = row.alias;
                current = row;
                break;
            }
        }
        if (!completion.isEmpty()) {
            setPlainText(completion);
            // The box may have cut a long name; keep the cursor inside what it holds.
            const int end = int(toPlainText().size());
            QTextCursor cursor = textCursor();
            cursor.setPosition(qMin(int(completion.size()), end));
            cursor.setPosition(qMin(int(text.size()), end), QTextCursor::KeepAnchor);
            setTextCursor(cursor);
        }
    }

    PopupWindows::attach(popupList, this);
    PopupWindows::move(popupList, popupOrigin());
    emit dataChanged(model->index(0, 0), model->index(n - 1, 0));
    fadeIn(popupList, 0.1, 1000);
    popupList->show();
    currentRow = 0;
    PlaceEditButton();
    popupList->setCurrentIndex(model->index(0, 0));
}

void SearchLineEdit::PlaceEditButton()
{
    if (!editButton)
        return;
    const QPoint origin = popupOrigin();
    PopupWindows::attach(editButton, this);
    PopupWindows::move(editButton, QPoint(origin.x() + width(), origin.y() + 2 + currentRow * rowHeight()));
    editButton->show();
}

void SearchLineEdit::HidePopup()
{
    if (popupList)
        popupList->hide();
    if (editButton)
        editButton->hide();
    emit HidePop();
}

void SearchLineEdit::ChooseIndex(const QModelIndex &index)
{
    current = model ? recordOf(model->data(index, Qt::DisplayRole)) : APPBLOCK();
    setPlainText(current.alias);
    selectAll();
}

void SearchLineEdit::ListIndex(const QModelIndex &i)
{
    ChooseIndex(i);
    HidePopup();
}

void SearchLineEdit::HideMe()
{
    HidePopup();
}

void SearchLineEdit::OnFocus(bool bTag)
{
    listHasMouse = bTag;
}

void SearchLineEdit::SetMaxCmbCount(int nCount)
{
    maxCount = nCount;
}

void SearchLineEdit::ListViewMouseMoveSlot(QMouseEvent *e)
{
    if (!model || !e)
        return;
    const int h = rowHeight();
    const int ey = e->position().toPoint().y();
    if (ey < 0)
        return;
    const QModelIndex index = model->index(ey / h, 0);
    if (!index.isValid())
        return;
    popupList->setCurrentIndex(index);
    currentRow = index.row();

    const APPBLOCK record = recordOf(model->data(index, Qt::DisplayRole));
    const QPoint global = e->globalPosition().toPoint();
    QToolTip::showText(QPoint(global.x(), global.y() - ey % h + h / 2),
                       record.alias + QStringLiteral("\r\n") + record.path);
    PlaceEditButton();
}

void SearchLineEdit::EditIndexSlot()
{
    if (!model)
        return;
    const int row = popupList->currentIndex().row();
    if (row < 0)
        return;
    APPBLOCK record = recordOf(model->data(model->index(row, 0), Qt::DisplayRole));

    QListEdit editor(nullptr, record.alias);
    const QPoint origin = popupOrigin();
    PopupWindows::attach(&editor, this);
    editor.move(origin.x() + 35, origin.y() + 20 + row * rowHeight());
    // Whatever hides the popup also cancels the editor.
    connect(this, &SearchLineEdit::HidePop, &editor, &QDialog::reject);
    fadeIn(&editor, 0.3, 400);

    if (editor.exec() != QDialog::Accepted)
        return;

    record.alias = editor.newText;
    // The list may have been refilled while the editor ran; only the same item's
    // row takes the new name.
    if (row < model->items.size() && model->items.at(row).rowid == record.rowid)
        model->items[row] = record;
    if (!catalog.UpdateAlias(record))
        qDebug() << "ChangeAlias false" << record.alias;
    emit dataChanged(model->index(row, 0), model->index(row, 0));
}

void SearchLineEdit::slotTextChanged()
{
    const QString text = toPlainText();
    const int length = int(text.size());
    if (length <= MaxLength)
        return;

    // Remove the overflow that ends at the cursor: what was just typed or pasted.
    const int cursorPos = textCursor().position();
    int start = cursorPos - (length - MaxLength);
    int end = cursorPos;
    if (start < 0) {
        // Text set as a whole with the cursor before its end keeps its beginning.
        start = MaxLength;
        end = length;
    }
    // Never keep half of a character outside the basic plane.
    if (start > 0 && start < length && text.at(start).isLowSurrogate() &&
        text.at(start - 1).isHighSurrogate())
        --start;

    QTextCursor cut(document());
    cut.setPosition(start);
    cut.setPosition(end, QTextCursor::KeepAnchor);
    cut.removeSelectedText();

    QTextCursor cursor = textCursor();
    cursor.setPosition(qMin(start, int(toPlainText().size())));
    setTextCursor(cursor);
}

void SearchLineEdit::keyPressEvent(QKeyEvent *e)
{
    const int key = e->key();
    const bool isReturn = key == Qt::Key_Return || key == Qt::Key_Enter;

    if (!popupList || !popupList->isVisible()) {
        if (isReturn || key == Qt::Key_Tab) {
            // Return and Enter act on release, in the main window; Tab does nothing.
            e->accept();
            return;
        }
        QTextEdit::keyPressEvent(e);
        if (startsQuery(key))
            setCompleter(toPlainText(), true);
        return;
    }

    const int n = model->rowCount();
    const int r = popupList->currentIndex().row();
    if (isReturn) {
        if (r >= 0)
            ChooseIndex(model->index(r, 0));
        HidePopup();
        e->accept();
        return;
    }

    if (startsQuery(key)) {
        QTextEdit::keyPressEvent(e);
        setCompleter(toPlainText(), true);
    } else if (key == Qt::Key_Backspace) {
        QTextEdit::keyPressEvent(e);
        setCompleter(toPlainText(), false);
    } else if (key == Qt::Key_Up) {
        const int row = r - 1 < 0 ? n - 1 : r - 1;
        popupList->setCurrentIndex(model->index(row, 0));
        e->accept();
    } else if (key == Qt::Key_Down) {
        const int row = r + 1 >= n ? 0 : r + 1;
        popupList->setCurrentIndex(model->index(row, 0));
        e->accept();
    } else if (key == Qt::Key_Escape) {
        HidePopup();
        e->accept();
    } else if (key == Qt::Key_Tab) {
        e->accept();
    } else {
        QTextEdit::keyPressEvent(e);
    }

    if (popupList->isVisible()) {
        currentRow = popupList->currentIndex().row();
        PlaceEditButton();
    }
}

void SearchLineEdit::focusInEvent(QFocusEvent *e)
{
    selectAll();
    QTextEdit::focusInEvent(e);
}

void SearchLineEdit::focusOutEvent(QFocusEvent *e)
{
    // A click into the popup or onto the edit button takes the focus away but
    // must not close the popup; nor does the alias editor, which on Wayland takes
    // the keyboard as a popup of its own while it opens (closing the popup there
    // would cancel it before it runs).
    const bool toEditor = qobject_cast<QListEdit *>(QApplication::activePopupWidget()) != nullptr;
    if (!listHasMouse && !toEditor && (!editButton || QApplication::widgetAt(QCursor::pos()) != editButton))
        HidePopup();
    QTextEdit::focusOutEvent(e);
}

void SearchLineEdit::hideEvent(QHideEvent *e)
{
    // The popup is a window of its own: it must not stay on screen when the box
    // goes away with its window (a hotkey press while the pointer rests on the list).
    if (popupList && popupList->isVisible())
        HidePopup();
    QTextEdit::hideEvent(e);
}
