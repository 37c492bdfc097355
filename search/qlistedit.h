#pragma once

#include "returnlatch.h"

#include <QDialog>
#include <QString>

class QLineEdit;
class QPaintEvent;
class QPushButton;

// The alias editor: a small frameless popup with a text field, an OK and a Cancel
// button. The search box runs it modally over the highlighted row and reads
// `newText` after an accepted run. Return, Enter and Escape act when they are
// released, so that the key ends here and its release does not reach the search
// box, which has the keyboard again once the editor closes.
class QListEdit : public QDialog
{
    Q_OBJECT

public:
    QListEdit(QWidget *parent, const QString &text);

    QPushButton *okButton = nullptr;
    QPushButton *cancelButton = nullptr;
    QLineEdit *textField = nullptr;
    // The confirmed name; empty until ReplaceOver runs.
    QString newText;

    static const char *const FieldStyle;
    static const char *const ButtonStyle;

public slots:
    void ReplaceOver();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    // Return, Enter or Escape pressed in the editor and not yet released.
    ReturnLatch closingKey;
};
