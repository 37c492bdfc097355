#pragma once

#include "appblock.h"
#include "itemdatabase.h"

#include <QList>
#include <QModelIndex>
#include <QString>
#include <QTextEdit>
#include <QTimer>

class ItemsModel;
class QFocusEvent;
class QHideEvent;
class QItemViewDelegate;
class QInputMethodEvent;
class QKeyEvent;
class QListComp;
class QMimeData;
class QMouseEvent;
class QPushButton;

// The search box of the main window: a one-line text box in which every letter or
// digit typed runs a catalog search. The results show in a popup list under the
// box, the box completes the typed text inline with the first name that starts
// with it, Up and Down move through the list, Return or a click chooses a row into
// `current`. A floating edit button beside the highlighted row opens the alias
// editor. The box owns the process's catalog store.
class SearchLineEdit : public QTextEdit
{
    Q_OBJECT

public:
    explicit SearchLineEdit(QWidget *parent = nullptr);
    ~SearchLineEdit() override;

    // Creates the popup, opens the catalog and loads the top list; once, before use.
    void Setup();
    // Copies the row at `index` into `current` and puts its name, selected, in the box.
    void ChooseIndex(const QModelIndex &index);
    // Puts the edit button right of the popup, level with `currentRow`.
    void PlaceEditButton();
    // Hides the popup and the edit button, and emits HidePop().
    void HidePopup();
    // The row height of the popup: 40 with big rows, else 22.
    int rowHeight() const;

    // The most characters the box holds.
    static constexpr int MaxLength = 66;

    APPBLOCK current;
    ItemDatabase catalog;
    QList<APPBLOCK> results;
    QListComp *popupList = nullptr;
    ItemsModel *model = nullptr;
    QItemViewDelegate *delegate = nullptr;
    bool listHasMouse = false;
    QPushButton *editButton = nullptr;
    int currentRow = 0;
    int maxCount = 5;
    QString completion;

public slots:
    void setCompleter(const QString &text, bool bComp = true);
    void ListIndex(const QModelIndex &i);
    void HideMe();
    void OnFocus(bool bTag);
    void EditIndexSlot();
    void ListViewMouseMoveSlot(QMouseEvent *e);
    void SetMaxCmbCount(int nCount);
    void slotTextChanged();

signals:
    void RefreshTop();
    void dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight);
    void HidePop();

protected:
    void keyPressEvent(QKeyEvent *e) override;
    void focusInEvent(QFocusEvent *e) override;
    void focusOutEvent(QFocusEvent *e) override;
    void hideEvent(QHideEvent *e) override;
    void inputMethodEvent(QInputMethodEvent *e) override;
    void insertFromMimeData(const QMimeData *source) override;

private:
    // After a key has been handled: the query the key asks for, if any.
    void queryAfterKey(QKeyEvent *e, const QString &before, bool bComp);
    // Runs the query of the box's text now, or, while keys come faster than
    // queries run (they waited while one ran: a long paste typed in), once
    // those keys are handled: the list always shows the latest text's result.
    // With `selectAll` the whole text is selected after it; `keyTime` is the
    // window system's time of the key that asks (0: none). True when it ran now.
    bool query(bool bComp, bool selectAll = false, ulong keyTime = 0);
    void runQuery();
    void runPendingQuery();
    QPoint popupOrigin() const;
    void fadeIn(QWidget *widget, qreal from, int msecs);

    // The query waiting for the keys that came meanwhile, and how it was asked for.
    QTimer pendingQuery;
    bool pendingComp = true;
    bool pendingSelectAll = false;
    // The window system's time of the last key that asked for a query, and how
    // long the last query took (ms).
    ulong lastKeyTime = 0;
    qint64 lastQueryMs = 0;
};
