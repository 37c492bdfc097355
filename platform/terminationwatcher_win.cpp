#include "terminationwatcher.h"

#include <QMetaObject>

#include <windows.h>

namespace {

TerminationWatcher *watcher = nullptr;

BOOL WINAPI onConsoleEvent(DWORD)
{
    if (watcher)
        QMetaObject::invokeMethod(watcher, &TerminationWatcher::terminationRequested, Qt::QueuedConnection);
    return TRUE;
}

} // namespace

TerminationWatcher::TerminationWatcher(QObject *parent) : QObject(parent)
{
    watcher = this;
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

TerminationWatcher::~TerminationWatcher()
{
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    watcher = nullptr;
}
