#pragma once

#include <QObject>

class QWidget;

// For the start-up benchmark: with TOLVANE_BENCH_FIRST_PAINT naming a file, the
// monotonic clock (ns) is appended to it after each paint of the watched window,
// and with " focus" each time the window gets the keyboard.
// Installed only when the variable is set.
class PaintLog : public QObject
{
    Q_OBJECT

public:
    // Watches `window` when the variable names a file; does nothing otherwise.
    static void installOn(QWidget *window);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    PaintLog(const QString &file, QObject *parent);
    void append(const char *what) const;
    QString file;
};
