#pragma once

#include <QProcess>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

// A copy of the built tolvane executable (with its config.ini and main.ico) in a
// folder of the test sandbox, started as a real process on the test's X server.
class ProgramCopy
{
public:
    // Copies the program (and the small command, tolvane-summon) into <sandbox>/<folder>/.
    explicit ProgramCopy(const QString &folder);
    ~ProgramCopy();

    QString dir() const { return m_dir; }
    QString executable() const { return m_dir + QStringLiteral("/tolvane"); }
    QString dataFile() const { return m_dir + QStringLiteral("/data.db"); }
    QString configFile() const { return m_dir + QStringLiteral("/config.ini"); }

    // Replaces one key of the copy's config.ini.
    void setConfig(const QString &key, const QString &value);

    // Sets a variable in the environment of the next start.
    void setEnvironment(const QString &name, const QString &value);
    // Removes a variable from the environment of the next start.
    void unsetEnvironment(const QString &name) { m_environment.remove(name); }

    // Starts the copy, through `command` (a file name in its folder); the process
    // object stays owned by this copy.
    QProcess *start(const QString &command = QStringLiteral("tolvane"));
    QProcess *process() const { return m_process; }

    // The rows of a query on a database file (each row's columns joined with '|').
    static QStringList rowsOf(const QString &file, const QString &sql);

    // Runs another start of the same executable, with `environment` changed from the
    // copy's own, and waits for it to end. Returns its exit code, or -1 when it did
    // not end within the time-out or crashed.
    int runSecondStart(int timeoutMs, const QProcessEnvironment &changes = QProcessEnvironment(),
                       const QString &command = QStringLiteral("tolvane"));

    // A desktop entry named `name` (file "<name in lower case>.desktop") in the
    // sandbox's applications folder whose program appends a line to the file
    // `marker` each time it runs. Returns `marker`.
    static QString writeMarkerApp(const QString &name, const QString &marker);

private:
    QString m_dir;
    QProcess *m_process = nullptr;
    QProcessEnvironment m_environment = QProcessEnvironment::systemEnvironment();
};

// Windows of the X server, through xdotool.
namespace X11Windows {

// Visible top-level windows titled exactly "Tolvane" of the process.
QStringList visibleMainWindows(qint64 pid);
// All windows titled exactly "Tolvane" of the process, mapped or not.
QStringList mainWindows(qint64 pid);
// The window that has the keyboard focus.
QString focusedWindow();
// Runs xdotool with the arguments; returns its standard output.
QString xdotool(const QStringList &arguments);
// A window's position and size on the screen.
QRect geometry(const QString &window);
// The visible window of the process with exactly this size, if any.
QString windowOfSize(qint64 pid, const QSize &size);

} // namespace X11Windows
