#include "programcopy.h"

#include "catalogfixture.h"
#include "testmain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QtTest>

ProgramCopy::ProgramCopy(const QString &folder) : m_dir(TestSandbox::path(folder))
{
    QDir().mkpath(m_dir);
    const QString bin = TestSandbox::buildBinDir();
    for (const char *name : {"tolvane", "tolvane-summon", "config.ini", "main.ico"}) {
        const QString target = m_dir + QLatin1Char('/') + QLatin1String(name);
        QFile::remove(target);
        QFile::copy(bin + QLatin1Char('/') + QLatin1String(name), target);
    }
    QFile::setPermissions(m_dir + QStringLiteral("/config.ini"), QFile::ReadOwner | QFile::WriteOwner);
}

ProgramCopy::~ProgramCopy()
{
    if (m_process && m_process->state() != QProcess::NotRunning) {
        m_process->kill();
        m_process->waitForFinished(5000);
    }
    delete m_process;
}

void ProgramCopy::setConfig(const QString &key, const QString &value)
{
    QSettings settings(configFile(), QSettings::IniFormat);
    settings.setValue(key, value);
}

void ProgramCopy::setEnvironment(const QString &name, const QString &value)
{
    m_environment.insert(name, value);
}

QProcess *ProgramCopy::start(const QString &command)
{
    delete m_process;
    m_process = new QProcess;
    m_process->setProgram(m_dir + QLatin1Char('/') + command);
    m_process->setProcessEnvironment(m_environment);
    // The working directory holds main.ico, as when started from its folder.
    m_process->setWorkingDirectory(m_dir);
    m_process->setProcessChannelMode(QProcess::ForwardedChannels);
    m_process->start();
    m_process->waitForStarted(5000);
    return m_process;
}

int ProgramCopy::runSecondStart(int timeoutMs, const QProcessEnvironment &changes, const QString &command)
{
    QProcessEnvironment environment = m_environment;
    for (const QString &name : changes.keys())
        environment.insert(name, changes.value(name));
    QProcess second;
    second.setProcessEnvironment(environment);
    second.setProgram(m_dir + QLatin1Char('/') + command);
    second.setWorkingDirectory(m_dir);
    second.start();
    if (!second.waitForFinished(timeoutMs)) {
        second.kill();
        second.waitForFinished();
        return -1;
    }
    return second.exitStatus() == QProcess::NormalExit ? second.exitCode() : -1;
}

QStringList ProgramCopy::rowsOf(const QString &file, const QString &sql)
{
    const QString connection = QStringLiteral("programcopy-check");
    QStringList rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(file);
        if (db.open()) {
            QSqlQuery query(sql, db);
            while (query.next()) {
                QStringList columns;
                for (int i = 0; i < query.record().count(); ++i)
                    columns << query.value(i).toString();
                rows << columns.join(QLatin1Char('|'));
            }
        }
    }
    QSqlDatabase::removeDatabase(connection);
    return rows;
}

QString ProgramCopy::writeMarkerApp(const QString &name, const QString &marker)
{
    QDir().mkpath(QFileInfo(marker).path());
    const QString program =
        CatalogFixture::createFile(TestSandbox::path(QStringLiteral("items/%1.sh").arg(name)),
                                   "#!/bin/sh\necho ran >> \"" + QFile::encodeName(marker) + "\"\n");
    QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    CatalogFixture::writeDesktopEntry(name.toLower() + QStringLiteral(".desktop"), name, {}, QString(),
                                      program);
    return marker;
}

namespace X11Windows {

QString xdotool(const QStringList &arguments)
{
    // xdotool walks the window tree; a window destroyed meanwhile (a splash that
    // closes, a menu) makes it die of an X error with nothing on its output,
    // which would read as "no such window". Such a run is repeated.
    for (int attempt = 0;; ++attempt) {
        QProcess tool;
        tool.start(QStringLiteral("xdotool"), arguments);
        tool.waitForFinished(10000);
        const QByteArray errors = tool.readAllStandardError();
        if (!errors.contains("X Error of failed request") || attempt == 20)
            return QString::fromLocal8Bit(tool.readAllStandardOutput()).trimmed();
    }
}

static QStringList windows(qint64 pid, bool onlyVisible)
{
    QStringList args{QStringLiteral("search"), QStringLiteral("--all")};
    if (onlyVisible)
        args << QStringLiteral("--onlyvisible");
    args << QStringLiteral("--pid") << QString::number(pid) << QStringLiteral("--name")
         << QStringLiteral("^Tolvane$");
    const QString out = xdotool(args);
    return out.isEmpty() ? QStringList() : out.split(QLatin1Char('\n'));
}

QStringList visibleMainWindows(qint64 pid)
{
    return windows(pid, true);
}

QStringList mainWindows(qint64 pid)
{
    return windows(pid, false);
}

QRect geometry(const QString &window)
{
    const QString shell = xdotool({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), window});
    QMap<QString, int> values;
    for (const QString &line : shell.split(QLatin1Char('\n')))
        values.insert(line.section(QLatin1Char('='), 0, 0), line.section(QLatin1Char('='), 1).toInt());
    return QRect(values.value(QStringLiteral("X")), values.value(QStringLiteral("Y")),
                 values.value(QStringLiteral("WIDTH")), values.value(QStringLiteral("HEIGHT")));
}

QString windowOfSize(qint64 pid, const QSize &size)
{
    const QString list =
        xdotool({QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--onlyvisible"),
                 QStringLiteral("--pid"), QString::number(pid), QStringLiteral(".*")});
    for (const QString &id : list.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (geometry(id).size() == size)
            return id;
    }
    return QString();
}

QString focusedWindow()
{
    return xdotool({QStringLiteral("getwindowfocus")});
}

} // namespace X11Windows
