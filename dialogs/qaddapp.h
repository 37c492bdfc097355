#pragma once

#include <QDialog>
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
class qAddApp : public QDialog
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
    bool eventFilter(QObject *watched, QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QLineEdit *edtName = nullptr;
    QLineEdit *edtPath = nullptr;
    QPushButton *btnPath = nullptr;
    QLabel *label = nullptr;
    QLabel *label_2 = nullptr;
    QPushButton *btnOK = nullptr;
    QPushButton *btnCancel = nullptr;

    int nDragX = 0;
    int nDragY = 0;
    QString strPath;
    QString strName;
};
