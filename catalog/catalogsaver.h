#pragma once

#include <QMutex>
#include <QObject>
#include <QThreadPool>
#include <QTimer>

#include <optional>

struct sqlite3;

// What the catalog tells the windows by itself, without being asked.
class CatalogNotices : public QObject
{
    Q_OBJECT

public:
    // Sends fileUnavailable through the event loop; before anybody listens (the
    // catalog opens before the windows connect), once the first receiver connects.
    void tellUnavailable(const QString &message);

protected:
    void connectNotify(const QMetaMethod &signal) override;

signals:
    // Items came, changed or went while the installed applications changed.
    void itemsChanged();
    // A save failed for the first time since the last one that worked: the
    // catalog stays in memory and the save is tried again in a moment.
    void saveFailed(const QString &message);
    // data.db could not be read for a passing reason (another program holds it,
    // a permission, a journal): the catalog runs in memory and reaches the file
    // once it can be read again. Sent once, through the event loop.
    void fileUnavailable(const QString &message);
    // A save in the background wrote the file.
    void saved();

private:
    QString untold;
};

// Writes the catalog to its file in the background of the user's work. A change
// starts a countdown of one second (unless one runs); then the catalog is copied
// in memory on the GUI thread, and a worker thread with a connection of its own
// writes the copy to the file as one transaction, so that an interruption leaves
// the old catalog or the new one. One write at a time; a reader of the file is
// waited for a moment, and a write that failed is tried again on a timer.
class CatalogSaver
{
public:
    explicit CatalogSaver(CatalogNotices &notices);
    ~CatalogSaver();
    CatalogSaver(const CatalogSaver &) = delete;
    CatalogSaver &operator=(const CatalogSaver &) = delete;

    // How long after a change the catalog is written, and after a failed write
    // when it is tried again (ms).
    void setCountdown(int ms);
    void setRetryDelay(int ms);

    // What to write: the database of the connection into the file. No file, or
    // no connection, writes nothing.
    void setTarget(sqlite3 *connection, const QString &file);
    // The catalog changed: it is written once the countdown ends.
    void noteChange();
    // Waits for a write under way; true when every change has reached the file.
    bool waitForWrite();
    // Waits for a write under way, then writes what has not been written on
    // this thread. True when every change has reached the file. A failure is
    // reported unless `quietly` (the process is ending).
    bool saveNow(bool quietly = false);
    // The file written to (empty: none), and why the last write failed.
    QString target() const { return file; }
    QString lastError() const { return failureText; }

private:
    void startWrite();
    // Takes the result the worker left, if it is still there: the first of the
    // queued call and a wait for the worker handles it, the other finds nothing.
    void collectWrite();
    void writeFinished(quint64 written, const QString &error);
    void report(const QString &error);
    static constexpr int Countdown = 1000;  // ms
    static constexpr int RetryDelay = 5000; // ms

    CatalogNotices &notices;
    sqlite3 *connection = nullptr;
    QString file;
    QTimer countdown;
    QTimer retry;
    QString failureText;
    QThreadPool worker;
    // Changes noted so far, and how many of them the file holds.
    quint64 changes = 0;
    quint64 savedChanges = 0;
    bool writing = false;
    bool failureReported = false;
    // The outcome of the last write, left by the worker until it is collected.
    struct Outcome
    {
        quint64 written;
        QString error;
    };
    QMutex outcomeLock;
    std::optional<Outcome> outcome;
};
