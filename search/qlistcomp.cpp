#include "qlistcomp.h"

#include <QMouseEvent>

QListComp::QListComp(QWidget *parent) : QListView(parent)
{
    // Moves must arrive without a pressed button (the scroll area passes this on
    // to its viewport).
    setAttribute(Qt::WA_MouseTracking);
}

void QListComp::mouseMoveEvent(QMouseEvent *e)
{
    // Hover is the search box's business; the list view's own drag selection and
    // hover tracking stay out of it.
    emit mouseMoveSignal(e);
}

void QListComp::enterEvent(QEnterEvent *)
{
    emit listfocus(true);
}

void QListComp::leaveEvent(QEvent *)
{
    emit listfocus(false);
}
