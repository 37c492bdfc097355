#include "itemdatabase.h"
#include "messagehandler.h"
#include "testmain.h"

#include <QFile>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

// The program's message handler, run in a child process so that its abort can be
// observed: messages below fatal leave no trace anywhere, a fatal one aborts at
// once, skipping destructors, so an open catalog is not written.
class TestMessageHandler : public QObject
{
    Q_OBJECT

    struct Outcome
    {
        int status = 0;
        QByteArray output;
    };

    // Runs `body` in a forked child whose stdout and stderr go into a pipe.
    template <typename F> static Outcome inChild(F body)
    {
        int fds[2];
        if (pipe(fds) != 0)
            return {};
        const pid_t pid = fork();
        if (pid == 0) {
            dup2(fds[1], STDOUT_FILENO);
            dup2(fds[1], STDERR_FILENO);
            close(fds[0]);
            // QtTest's crash report would speak for the child: restore the default.
            signal(SIGABRT, SIG_DFL);
            signal(SIGSEGV, SIG_DFL);
            body();
            _exit(0);
        }
        close(fds[1]);
        Outcome outcome;
        char buffer[256];
        ssize_t n;
        while ((n = read(fds[0], buffer, sizeof buffer)) > 0)
            outcome.output.append(buffer, n);
        close(fds[0]);
        waitpid(pid, &outcome.status, 0);
        return outcome;
    }

private slots:
    void lowerMessagesAreDropped()
    {
        const Outcome outcome = inChild([] {
            MessageHandler::install();
            qDebug("debug text");
            qInfo("info text");
            qWarning("warning text");
            qCritical("critical text");
        });
        QVERIFY(WIFEXITED(outcome.status));
        QCOMPARE(WEXITSTATUS(outcome.status), 0);
        QCOMPARE(outcome.output, QByteArray());
    }

    void fatalMessageAbortsWithoutSavingTheCatalog()
    {
        const QString file = ItemDatabase::databaseFile();
        QFile::remove(file);
        const Outcome outcome = inChild([] {
            MessageHandler::install();
            static ItemDatabase catalog;
            catalog.OpenCatalog();
            qFatal("fatal text");
        });
        QVERIFY(WIFSIGNALED(outcome.status));
        QCOMPARE(WTERMSIG(outcome.status), SIGABRT);
        QCOMPARE(outcome.output, QByteArray());
        QVERIFY(!QFile::exists(file));
    }
};

TOLVANE_TEST_MAIN(TestMessageHandler)
#include "tst_messagehandler.moc"
