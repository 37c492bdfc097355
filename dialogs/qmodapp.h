#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

// Asks for a new name of an item. Built with the old name; after an accepted run
// the caller reads newName().
class qModapp : public QDialog
{
    Q_OBJECT

public:
    explicit qModapp(const QString &oldName, QWidget *parent = nullptr);

    QString newName() const { return strNewName; }
    QString oldName() const { return strOldName; }

public slots:
    void acc();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QLineEdit *edtNew = nullptr;
    QPushButton *btnCancel = nullptr;
    QLineEdit *edtName = nullptr;
    QLabel *label_2 = nullptr;
    QPushButton *btnOK = nullptr;
    QLabel *label = nullptr;

    int nDragX = 0;
    int nDragY = 0;
    QString strOldName;
    QString strNewName;
};
