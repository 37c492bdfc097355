#include "qhotkeyedit.h"

#include <QInputMethodEvent>
#include <QKeyEvent>

QHotKeyEdit::QHotKeyEdit(QWidget *parent) : QLineEdit(parent)
{
    // Only the capture rule below changes the text: read-only, the line edit takes
    // no paste (keys, menu or middle button), no deletion from its menu, no drop and
    // no input-method text, so OK can only store a combination that was pressed.
    setReadOnly(true);
}

void QHotKeyEdit::inputMethodEvent(QInputMethodEvent *event)
{
    // A read-only line edit still takes text an input method commits.
    event->ignore();
}

void QHotKeyEdit::keyPressEvent(QKeyEvent *event)
{
    // Plain Tab and Shift+Tab keep moving the focus through the dialog.
    const bool focusKey = event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab;
    if (focusKey && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        QLineEdit::keyPressEvent(event);
        return;
    }

    // The low 16 bits of the key code are the character written after the prefixes.
    // 0x21 and 0x23 are the low bits of Control and Alt pressed on their own, which
    // must not replace the text while the user builds up a combination.
    const char16_t code = char16_t(event->key() & 0xFFFF);
    if (code == 0x21 || code == 0x23) {
        event->ignore();
        return;
    }

    QString text;
    if (event->modifiers() & Qt::ControlModifier)
        text += QStringLiteral("CTRL+");
    if (event->modifiers() & Qt::ShiftModifier)
        text += QStringLiteral("SHIFT+");
    if (event->modifiers() & Qt::AltModifier)
        text += QStringLiteral("ALT+");
    text += QChar(code);

    // Consumed here: the line edit never edits the text itself, and Escape or
    // Return typed into this field never reach the dialog.
    event->accept();
    setText(text);
}
