#pragma once

#include "framelessdialog.h"

#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

// The look the add and the rename dialogs share.
namespace AppDialogLook {

// Rich text of a form label: the word in bold 9 pt, the colon in 12 pt.
QString labelText(const QString &word);

// Style sheet of the line edits: a light grey gradient that brightens, with a
// green border, under the mouse.
QString lineEditStyle();

} // namespace AppDialogLook

// Chooses a program file and a name for it. After an accepted run the caller reads
// chosenPath() (empty when the user did not browse) and chosenName().
class qAddApp : public FramelessDialog
{
    Q_OBJECT

public:
    explicit qAddApp(QWidget *parent = nullptr);

    QString chosenPath() const { return strPath; }
    QString chosenName() const { return strName; }

public slots:
    void ChangePath();
    void Ensure();

protected:
private:
    QLineEdit *edtName = nullptr;
    QLineEdit *edtPath = nullptr;
    QPushButton *btnPath = nullptr;
    QLabel *label = nullptr;
    QLabel *label_2 = nullptr;
    QPushButton *btnOK = nullptr;
    QPushButton *btnCancel = nullptr;

    QString strPath;
    QString strName;
};
