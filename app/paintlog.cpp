#include "paintlog.h"

#include <QDeadlineTimer>
#include <QEvent>
#include <QFile>
#include <QGuiApplication>
#include <QTimer>
#include <QWidget>
#include <QWindow>

void PaintLog::installOn(QWidget *window)
{
    const QString file = qEnvironmentVariable("TOLVANE_BENCH_FIRST_PAINT");
    if (file.isEmpty())
        return;
    auto log = new PaintLog(file, window);
    window->installEventFilter(log);
    // And "<ns> focus" each time the window gets the keyboard.
    QObject::connect(qApp, &QGuiApplication::focusWindowChanged, log, [log, window](QWindow *focus) {
        if (focus && focus == window->windowHandle())
            log->append(" focus");
    });
}

void PaintLog::append(const char *what) const
{
    QFile log(file);
    if (log.open(QIODevice::Append))
        log.write(QByteArray::number(QDeadlineTimer::current(Qt::PreciseTimer).deadlineNSecs()) + what +
                  '\n');
}

PaintLog::PaintLog(const QString &file, QObject *parent) : QObject(parent), file(file) {}

bool PaintLog::eventFilter(QObject *, QEvent *event)
{
    // The paint runs after the filter: the clock is read once it has been drawn.
    if (event->type() == QEvent::Paint) {
        QTimer::singleShot(0, this, [this] { append(""); });
    }
    return false;
}
