#include "searchlineedit.h"

#include "installedapps.h"
#include "itemsmodel.h"
#include "motionpreference.h"
#include "popupwindows.h"
#include "qitemviewdelegate.h"
#include "qlistcomp.h"
#include "qlistedit.h"
#include "windowblending.h"

#include <QApplication>
#include <QCursor>
#include <QDebug>
#include <QElapsedTimer>
#include <QFocusEvent>
#include <QGraphicsOpacityEffect>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QTextCursor>
#include <QToolTip>

#include <algorithm>

namespace {

const char *const PopupStyle = "QListView {"
                               "border: 1px solid rgb(65, 65, 79);}";
const char *const EditButtonStyle = "QPushButton {"
                                    "border: 1px solid rgb(190, 200, 90);"
                                    "background-color: rgb(200, 230, 100);"
                                    "image: url(:/images/EDIT);}";

// The keys A-Z and 0-9 start a query whatever modifiers are held (so Ctrl+V pastes
// and then searches).
bool isLatinLetterOrDigitKey(int key)
{
    return (key >= Qt::Key_0 && key <= Qt::Key_9) || (key >= Qt::Key_A && key <= Qt::Key_Z);
}

// Whether the text holds a letter or a digit of any script.
bool hasLetterOrDigit(const QString &text)
{
    for (const char32_t c : text.toUcs4()) {
        if (QChar::isLetterOrNumber(c))
            return true;
    }
    return false;
}

bool isLineBreakOrTab(QChar c)
{
    switch (c.unicode()) {
    case '\t':
    case '\n':
    case '\v':
    case '\f':
    case '\r':
    case 0x85:
    case 0x2028:
    case 0x2029:
        return true;
    default:
        return false;
    }
}

// The box holds one line: line breaks and tabs become blanks, those at the end go.
QString oneLine(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    qsizetype end = text.size();
    while (end > 0 && isLineBreakOrTab(text.at(end - 1)))
        --end;
    text.truncate(end);
    for (QChar &c : text) {
        if (isLineBreakOrTab(c))
            c = QLatin1Char(' ');
    }
    return text;
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
    pendingQuery.setSingleShot(true);
    pendingQuery.setInterval(0);
    // A box that went away meanwhile shows no list.
    connect(&pendingQuery, &QTimer::timeout, this, [this] {
        if (isVisible())
            runQuery();
    });
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
    // Where the window system blends windows, the popup gets an alpha channel, so
    // that its fade shows the desktop through the rows, not black; the rows
    // themselves are opaque. Elsewhere it stays an ordinary window.
    if (WindowBlending::available())
        popupList->setAttribute(Qt::WA_TranslucentBackground);

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
    // Only a window with an alpha channel, on a window system that blends it over
    // the desktop, can show a fade; any other would show its content over black
    // until the fade ends. It appears at full opacity at once instead, and so it
    // does where the user turned the desktop's animations off.
    if (!widget->testAttribute(Qt::WA_TranslucentBackground) || !WindowBlending::available() ||
        !MotionPreference::animationsEnabled()) {
        widget->setGraphicsEffect(nullptr);
        return;
    }
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
    // The popup fades in when it appears, not again while it stays up and only its
    // rows change.
    if (!popupList->isVisible())
        fadeIn(popupList, 0.1, 1000);
    popupList->show();
    currentRow = 0;
    PlaceEditButton();
    popupList->setCurrentIndex(model->index(0, 0));
}

bool SearchLineEdit::query(bool bComp, bool selectAll, ulong keyTime)
{
    // A key that the window system stamped no later after the previous key than
    // the previous query took came while that query ran: it waited, and so may
    // others behind it. Its query runs once the keys waiting in the event loop
    // are handled, and they share it.
    const bool waited = keyTime != 0 && lastKeyTime != 0 && keyTime >= lastKeyTime &&
                        keyTime - lastKeyTime <= ulong(lastQueryMs);
    if (keyTime != 0)
        lastKeyTime = keyTime;
    pendingComp = bComp;
    pendingSelectAll = selectAll;
    if (waited || pendingQuery.isActive()) {
        pendingQuery.start();
        return false;
    }
    runQuery();
    return true;
}

void SearchLineEdit::runQuery()
{
    pendingQuery.stop();
    QElapsedTimer took;
    took.start();
    setCompleter(toPlainText(), pendingComp);
    if (pendingSelectAll)
        selectAll();
    lastQueryMs = took.elapsed();
}

void SearchLineEdit::runPendingQuery()
{
    if (pendingQuery.isActive())
        runQuery();
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
                       record.alias + QStringLiteral("\r\n") + InstalledApps::shownPath(record.path));
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

    const int result = editor.exec();
    // The editor had the keyboard. Give it back to the box, or no window would have
    // it: on X11 nothing hands it back from a tool-tip window. Not to a window that
    // went away meanwhile (the editor is cancelled when the popup hides).
    if (window()->isVisible()) {
        window()->activateWindow();
        setFocus(Qt::ActiveWindowFocusReason);
    }
    if (result != QDialog::Accepted)
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

void SearchLineEdit::queryAfterKey(QKeyEvent *e, const QString &before, bool bComp)
{
    const QString text = toPlainText();
    const bool typed = text != before;
    // A letter or digit of any script typed (a layout's key reports the character,
    // not a Latin key code), or one of the keys A-Z and 0-9 with any modifiers.
    if (!isLatinLetterOrDigitKey(e->key()) && !(typed && hasLetterOrDigit(e->text())))
        return;

    const QTextCursor kept = textCursor();
    const int anchor = kept.anchor();
    const int position = kept.position();
    // The completion places the cursor for typing on; Ctrl+A asks for all.
    if (!query(bComp, e->matches(QKeySequence::SelectAll), e->timestamp()))
        return;
    if (!typed && toPlainText() == text && !e->matches(QKeySequence::SelectAll)) {
        // A shortcut that typed nothing (Ctrl+C, say) keeps the user's selection.
        QTextCursor cursor = textCursor();
        cursor.setPosition(anchor);
        cursor.setPosition(position, QTextCursor::KeepAnchor);
        setTextCursor(cursor);
    }
}

void SearchLineEdit::keyPressEvent(QKeyEvent *e)
{
    const int key = e->key();
    const bool isReturn = key == Qt::Key_Return || key == Qt::Key_Enter;
    // A key that acts on the list acts on the latest text's list.
    if (isReturn || key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_Tab || key == Qt::Key_Escape)
        runPendingQuery();
    const QString before = toPlainText();

    if (!popupList || !popupList->isVisible()) {
        if (isReturn || key == Qt::Key_Tab) {
            // Return and Enter act on release, in the main window; Tab does nothing.
            e->accept();
            return;
        }
        QTextEdit::keyPressEvent(e);
        queryAfterKey(e, before, true);
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

    if (key == Qt::Key_Backspace) {
        QTextEdit::keyPressEvent(e);
        query(false, false, e->timestamp());
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
        queryAfterKey(e, before, true);
    }

    if (popupList->isVisible()) {
        currentRow = popupList->currentIndex().row();
        PlaceEditButton();
    }
}

void SearchLineEdit::inputMethodEvent(QInputMethodEvent *e)
{
    if (std::any_of(e->commitString().cbegin(), e->commitString().cend(), isLineBreakOrTab))
        e->setCommitString(oneLine(e->commitString()), e->replacementStart(), e->replacementLength());
    const QString before = toPlainText();
    QTextEdit::inputMethodEvent(e);
    if (toPlainText() == before || !hasLetterOrDigit(e->commitString()))
        return;
    // While the next character is still being composed the text must stay as it
    // is: list without completing.
    query(e->preeditString().isEmpty());
}

void SearchLineEdit::insertFromMimeData(const QMimeData *source)
{
    // Pasted and dropped text arrives as one line of plain text.
    if (source && source->hasText())
        insertPlainText(oneLine(source->text()));
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
