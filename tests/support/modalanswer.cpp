#include "modalanswer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

MessageBoxAnswerer::MessageBoxAnswerer(QObject *parent) : QObject(parent)
{
    connect(&m_timer, &QTimer::timeout, this, &MessageBoxAnswerer::poll);
    m_timer.start(5);
}

void MessageBoxAnswerer::poll()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        auto box = qobject_cast<QMessageBox *>(w);
        if (!box || !box->isVisible() || box->property("tolvaneAnswered").toBool())
            continue;
        box->setProperty("tolvaneAnswered", true);
        titles << box->windowTitle();
        texts << box->text();
        flags << box->windowFlags();
        parents << box->parentWidget();
        QAbstractButton *button = box->button(QMessageBox::Ok);
        if (!button)
            button = box->defaultButton();
        if (button)
            button->click();
        else
            box->reject();
    }
}
