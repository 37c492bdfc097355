#include "messagebox.h"

#include <QMessageBox>

namespace MessageBoxes {

Qt::WindowFlags flags()
{
    // CustomizeWindowHint: exactly these buttons, none added by the toolkit. On top,
    // as the windows it belongs to are.
    return Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
           Qt::WindowStaysOnTopHint;
}

namespace {

QMessageBox *make(QWidget *parent, const QString &title, const QString &text)
{
    // The box belongs to the window of its parent, never to a child widget of it.
    QWidget *owner = parent ? parent->window() : nullptr;
    auto box = new QMessageBox(QMessageBox::Information, title, text, QMessageBox::Ok, owner);
    box->setWindowFlags(flags());
    return box;
}

} // namespace

void information(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox *box = make(parent, title, text);
    box->exec();
    delete box;
}

QMessageBox *open(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox *box = make(parent, title, text);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    return box;
}

} // namespace MessageBoxes
