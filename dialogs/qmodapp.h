#pragma once

#include "framelessdialog.h"

#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

// Asks for a new name of an item. Built with the old name; after an accepted run
// the caller reads newName().
class qModapp : public FramelessDialog
{
    Q_OBJECT

public:
    explicit qModapp(const QString &oldName, QWidget *parent = nullptr);

    QString newName() const { return strNewName; }
    QString oldName() const { return strOldName; }

public slots:
    void acc();

protected:
private:
    QLineEdit *edtNew = nullptr;
    QPushButton *btnCancel = nullptr;
    QLineEdit *edtName = nullptr;
    QLabel *label_2 = nullptr;
    QPushButton *btnOK = nullptr;
    QLabel *label = nullptr;

    QString strOldName;
    QString strNewName;
};
