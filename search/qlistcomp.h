#pragma once

#include <QListView>

class QEnterEvent;
class QMouseEvent;

// The result popup's list view. It reports the mouse to the search box, which
// does the hover highlighting, the tool tip and the edit button itself, and says
// whether the mouse is inside it, so the popup survives the focus loss a click
// into it causes.
class QListComp : public QListView
{
    Q_OBJECT

public:
    explicit QListComp(QWidget *parent = nullptr);

    // The search box announces repaints of its rows through the view's own slot.
    using QListView::dataChanged;

signals:
    void listfocus(bool bTag);
    void mouseMoveSignal(QMouseEvent *e);

protected:
    void mouseMoveEvent(QMouseEvent *e) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
};
