#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>

#include <memory>

template <typename T, typename F> void whenModalShows(F action, int timeoutMs)
{
    auto timer = new QTimer(qApp);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(timer, &QTimer::timeout, timer, [timer, clock, action, timeoutMs]() mutable {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto target = qobject_cast<T *>(w); target && target->isVisible()) {
                timer->stop();
                timer->deleteLater();
                action(target);
                return;
            }
        }
        if (clock->elapsed() > timeoutMs) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(5);
}
