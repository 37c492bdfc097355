#pragma once

#include <QLineEdit>

// The hotkey field of the settings dialog. A key press does not edit the text: it
// replaces it with the pressed combination written as "CTRL+", "SHIFT+", "ALT+"
// (in that order, each only when held) and the character of the key. The Control
// and Alt keys on their own are ignored; Tab and Shift+Tab still move the focus.
// Nothing else changes the text: no paste, no drop, no input method.
class QHotKeyEdit : public QLineEdit
{
    Q_OBJECT

public:
    explicit QHotKeyEdit(QWidget *parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
};
