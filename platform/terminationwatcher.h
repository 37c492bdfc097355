#pragma once

#include <QObject>

// Reports a request from outside to end the program the orderly way: SIGTERM,
// SIGINT and SIGHUP on Unix, console close and log-off events on Windows. The
// request arrives as a signal on the GUI thread.
class TerminationWatcher : public QObject
{
    Q_OBJECT

public:
    explicit TerminationWatcher(QObject *parent = nullptr);
    ~TerminationWatcher() override;

signals:
    void terminationRequested();
};
