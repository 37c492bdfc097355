#include "paintlog.h"

#include <QDeadlineTimer>
#include <QEvent>
#include <QFile>
#include <QTimer>
#include <QWidget>

void PaintLog::installOn(QWidget *window)
{
    const QString file = qEnvironmentVariable("TOLVANE_BENCH_FIRST_PAINT");
    if (!file.isEmpty())
        window->installEventFilter(new PaintLog(file, window));
}

PaintLog::PaintLog(const QString &file, QObject *parent) : QObject(parent), file(file) {}

bool PaintLog::eventFilter(QObject *, QEvent *event)
{
    // The paint runs after the filter: the clock is read once it has been drawn.
    if (event->type() == QEvent::Paint) {
        QTimer::singleShot(0, this, [this] {
            QFile log(file);
            if (log.open(QIODevice::Append))
                log.write(QByteArray::number(QDeadlineTimer::current(Qt::PreciseTimer).deadlineNSecs()) +
                          '\n');
        });
    }
    return false;
}
