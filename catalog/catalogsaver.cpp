#include "catalogsaver.h"

#include "catalogfile.h"

#include <QDir>
#include <QFile>
#include <QMetaMethod>

#include <utility>

#include <sqlite3.h>

namespace {

// Writes the main database of `from` into the file as one transaction: SQLite's
// rollback journal beside the file keeps the old catalog until the new one is
// whole. Returns an error text, empty on success. Plain SQLite calls only, so
// that it also runs while the process ends.
QString writeCatalog(sqlite3 *from, const QByteArray &file)
{
    sqlite3 *disk = nullptr;
    int rc = sqlite3_open_v2(file.constData(), &disk, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc == SQLITE_OK) {
        // A reader of the file (another program) holds it only for a moment.
        sqlite3_busy_timeout(disk, CatalogFile::BusyTimeout);
        if (sqlite3_backup *backup = sqlite3_backup_init(disk, "main", from, "main")) {
            sqlite3_backup_step(backup, -1);
            sqlite3_backup_finish(backup);
        }
        rc = sqlite3_errcode(disk);
    }
    const QString error =
        rc == SQLITE_OK ? QString() : QString::fromUtf8(disk ? sqlite3_errmsg(disk) : sqlite3_errstr(rc));
    sqlite3_close(disk);
    return error;
}

// Writes a serialized catalog (sqlite3_serialize) into the file, taking over the
// copy: it becomes the database of a connection of the caller's own.
QString writeCopy(unsigned char *copy, sqlite3_int64 size, const QByteArray &file)
{
    sqlite3 *memory = nullptr;
    QString error;
    if (sqlite3_open(":memory:", &memory) != SQLITE_OK) {
        sqlite3_free(copy);
        error = QString::fromUtf8(sqlite3_errmsg(memory));
    } else if (sqlite3_deserialize(memory, "main", copy, size, size,
                                   SQLITE_DESERIALIZE_FREEONCLOSE | SQLITE_DESERIALIZE_READONLY) !=
               SQLITE_OK) {
        error = QString::fromUtf8(sqlite3_errmsg(memory));
    } else {
        error = writeCatalog(memory, file);
    }
    sqlite3_close(memory);
    return error;
}

} // namespace

void CatalogNotices::tellUnavailable(const QString &message)
{
    if (!isSignalConnected(QMetaMethod::fromSignal(&CatalogNotices::fileUnavailable))) {
        untold = message;
        return;
    }
    QMetaObject::invokeMethod(
        this, [this, message] { emit fileUnavailable(message); }, Qt::QueuedConnection);
}

void CatalogNotices::connectNotify(const QMetaMethod &signal)
{
    if (signal != QMetaMethod::fromSignal(&CatalogNotices::fileUnavailable) || untold.isEmpty())
        return;
    const QString message = std::exchange(untold, QString());
    QMetaObject::invokeMethod(
        this, [this, message] { emit fileUnavailable(message); }, Qt::QueuedConnection);
}

CatalogSaver::CatalogSaver(CatalogNotices &notices) : notices(notices)
{
    worker.setMaxThreadCount(1);
    countdown.setSingleShot(true);
    countdown.setInterval(Countdown);
    QObject::connect(&countdown, &QTimer::timeout, &notices, [this] { startWrite(); });
    retry.setSingleShot(true);
    retry.setInterval(RetryDelay);
    QObject::connect(&retry, &QTimer::timeout, &notices, [this] { startWrite(); });
}

CatalogSaver::~CatalogSaver()
{
    worker.waitForDone();
}

void CatalogSaver::setCountdown(int ms)
{
    countdown.setInterval(ms);
}

void CatalogSaver::setRetryDelay(int ms)
{
    retry.setInterval(ms);
}

void CatalogSaver::setTarget(sqlite3 *connection, const QString &file)
{
    worker.waitForDone();
    // A write to the former target counts for nothing here.
    {
        QMutexLocker lock(&outcomeLock);
        outcome.reset();
    }
    writing = false;
    countdown.stop();
    retry.stop();
    this->connection = connection;
    this->file = file;
    changes = savedChanges = 0;
    failureReported = false;
}

void CatalogSaver::noteChange()
{
    ++changes;
    if (!countdown.isActive())
        countdown.start();
}

void CatalogSaver::startWrite()
{
    // The write under way starts the next one when it ends.
    if (!connection || file.isEmpty() || writing || changes == savedChanges)
        return;
    // A transaction of the store's own is never open between events; should
    // one be, its changes are not the catalog yet.
    if (!sqlite3_get_autocommit(connection)) {
        countdown.start();
        return;
    }
    sqlite3_int64 size = 0;
    unsigned char *copy = sqlite3_serialize(connection, "main", &size, 0);
    if (!copy) {
        report(QString::fromUtf8(sqlite3_errstr(SQLITE_NOMEM)));
        return;
    }
    writing = true;
    worker.start([this, copy, size, target = QFile::encodeName(file), snapshot = changes] {
        const QString error = writeCopy(copy, size, target);
        {
            QMutexLocker lock(&outcomeLock);
            outcome = Outcome{snapshot, error};
        }
        QMetaObject::invokeMethod(
            &notices, [this] { collectWrite(); }, Qt::QueuedConnection);
    });
}

void CatalogSaver::collectWrite()
{
    std::optional<Outcome> done;
    {
        QMutexLocker lock(&outcomeLock);
        done.swap(outcome);
    }
    if (done)
        writeFinished(done->written, done->error);
}

void CatalogSaver::writeFinished(quint64 written, const QString &failure)
{
    writing = false;
    if (failure.isEmpty()) {
        savedChanges = qMax(savedChanges, written);
        failureReported = false;
        retry.stop();
        emit notices.saved();
    } else {
        report(failure);
    }
    // Changes made during the write are written next; after a failure, the
    // next change or the retry in a moment, whichever comes first.
    if (changes != savedChanges && (failure.isEmpty() || changes > written))
        countdown.start();
}

bool CatalogSaver::waitForWrite()
{
    worker.waitForDone();
    // The worker's result is taken now: its queued report may not have come yet.
    collectWrite();
    return changes == savedChanges && !writing;
}

bool CatalogSaver::saveNow(bool quietly)
{
    if (waitForWrite() || !connection || file.isEmpty())
        return changes == savedChanges;
    countdown.stop();
    const QString failure = writeCatalog(connection, QFile::encodeName(file));
    if (!failure.isEmpty()) {
        if (quietly)
            failureText = failure;
        else
            report(failure);
        return false;
    }
    savedChanges = changes;
    failureReported = false;
    retry.stop();
    return true;
}

void CatalogSaver::report(const QString &failure)
{
    failureText = failure;
    retry.start();
    if (failureReported)
        return;
    failureReported = true;
    emit notices.saveFailed(
        QStringLiteral("The catalog could not be saved to %1 (%2). Tolvane keeps working with it in memory "
                       "and tries again in a moment.")
            .arg(QDir::toNativeSeparators(file), failure));
}
