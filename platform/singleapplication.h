#pragma once

#include <QApplication>

#include <memory>

// The application object, which also makes sure that one copy runs per user and
// executable. The first copy listens on a local socket that only the same user can
// reach; a later copy finds it through a lock file and can send it a message.
class SingleApplication : public QApplication
{
    Q_OBJECT

public:
    SingleApplication(int &argc, char **argv);
    ~SingleApplication() override;

    // True when another copy with the same identity already runs.
    bool isRunning() const;

    // Sends a message to the running copy; false when it could not be delivered in time.
    bool sendMessage(const QString &message, int timeout = 5000);

    // The identity: made from the executable's absolute path and the user.
    QString id() const;

signals:
    void messageReceived(const QString &message);

private:
    class Private;
    std::unique_ptr<Private> d;
};
