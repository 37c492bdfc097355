#pragma once

#include <QString>
#include <Qt>

class QMessageBox;
class QWidget;

// The program's message boxes: information boxes with an OK button, each a dialog
// of its parent's window (the window system keeps it with that window and lists it
// under it), with a title bar that has only the close button: no minimise or
// maximise, which mean nothing for a box.
namespace MessageBoxes {

// The window flags every box gets.
Qt::WindowFlags flags();

// Shows the box modally and returns when it is answered.
void information(QWidget *parent, const QString &title, const QString &text);

// Opens the box without waiting; it deletes itself when closed.
QMessageBox *open(QWidget *parent, const QString &title, const QString &text);

} // namespace MessageBoxes
