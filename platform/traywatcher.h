#pragma once

#include <QObject>

#include <memory>

// Tells when a system tray appears after the program started (a panel that starts
// later at login), so that the tray icon can be made then. Under X11 a tray
// announces itself with a MANAGER message on the root window; elsewhere nothing
// is announced and trayAppeared() never comes.
class TrayWatcher : public QObject
{
    Q_OBJECT

public:
    explicit TrayWatcher(QObject *parent = nullptr);
    ~TrayWatcher() override;

signals:
    void trayAppeared();

private:
    class Private;
    std::unique_ptr<Private> d;
};
