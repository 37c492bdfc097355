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

    // What sendToRunningCopy() achieved.
    enum class Delivery { NoCopyRunning, Delivered, NotDelivered };

    // Hands a message to a copy of this program that already runs, before any
    // application object exists: a second start that only asks the running copy to
    // show itself then ends without loading the display's platform plugin, which is
    // most of its cost. NoCopyRunning when this is the first copy.
    static Delivery sendToRunningCopy(const QString &message, int timeout = 5000);

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
