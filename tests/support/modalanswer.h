#pragma once

#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>

class QWidget;

// Answers message boxes while a test drives code that shows them modally: every
// QMessageBox that becomes visible is recorded (title and text) and closed with
// its OK (or default) button, so no test is left hanging on a modal box.
class MessageBoxAnswerer : public QObject
{
    Q_OBJECT

public:
    explicit MessageBoxAnswerer(QObject *parent = nullptr);

    QStringList titles;
    QStringList texts;
    // Each box's window flags and the window it belongs to.
    QList<Qt::WindowFlags> flags;
    QList<QWidget *> parents;

private:
    void poll();
    QTimer m_timer;
};

// Runs `action` once the next modal widget of type T shows up, from within its
// nested event loop (for dialogs that the code under test runs with exec()).
// Returns immediately; the action runs later from the event loop.
template <typename T, typename F> void whenModalShows(F action, int timeoutMs = 10000);

#include "modalanswer_impl.h"
