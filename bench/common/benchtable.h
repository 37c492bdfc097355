#pragma once

// Figures of the benchmarks, printed as one line each for tools/bench.sh, which
// gathers the lines of every benchmark into one table:
//   @row <TAB> figure <TAB> median <TAB> p95 <TAB> runs <TAB> target <TAB> verdict
// Times are in milliseconds, memory in MiB.

#include <QByteArray>
#include <QDeadlineTimer>
#include <QFile>
#include <QString>
#include <QtGlobal>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace BenchTable {

// Keeps the table clean: the store reports its file path as a warning on every
// load and save; only critical and fatal messages reach standard error.
inline void quietMessages()
{
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        if (type == QtFatalMsg || type == QtCriticalMsg)
            fprintf(stderr, "%s\n", qPrintable(message));
    });
}

inline double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

inline double percentile95(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[std::min(v.size() - 1, size_t(v.size() * 0.95))];
}

// The monotonic clock in nanoseconds (CLOCK_MONOTONIC on Linux), the clock the
// program's paint log is written with.
inline qint64 nowNs()
{
    return QDeadlineTimer::current(Qt::PreciseTimer).deadlineNSecs();
}

// How many timed runs a process figure takes: TOLVANE_BENCH_RUNS when set above
// 0, else `fallback`.
inline int runs(int fallback = 10)
{
    const int asked = qEnvironmentVariableIntValue("TOLVANE_BENCH_RUNS");
    return asked > 0 ? asked : fallback;
}

// Prints one figure. `limit` <= 0 means the figure has no target of its own;
// otherwise the verdict compares the median against it (`unit` is "ms" or "MiB").
inline void row(const QString &figure, const std::vector<double> &samples, const QString &unit, double limit,
                const QString &targetText = QString())
{
    const double m = median(samples);
    QString target = targetText;
    if (target.isEmpty())
        target = limit > 0 ? QStringLiteral("< %1 %2").arg(limit).arg(unit) : QStringLiteral("-");
    const QString verdict =
        limit > 0 ? (m < limit ? QStringLiteral("met") : QStringLiteral("MISSED")) : QStringLiteral("-");
    const QString line = QStringLiteral("@row\t%1\t%2 %5\t%3 %5\t%4\t%6\t%7\n")
                             .arg(figure)
                             .arg(m, 0, 'f', unit == QLatin1String("ms") ? 2 : 1)
                             .arg(percentile95(samples), 0, 'f', unit == QLatin1String("ms") ? 2 : 1)
                             .arg(samples.size())
                             .arg(unit, target, verdict);
    fputs(line.toUtf8().constData(), stdout);
    fflush(stdout);
}

// Prints a figure whose verdict was decided by the caller (a comparison).
inline void comparedRow(const QString &figure, const std::vector<double> &samples, const QString &unit,
                        const QString &target, bool met)
{
    const QString line = QStringLiteral("@row\t%1\t%2 %5\t%3 %5\t%4\t%6\t%7\n")
                             .arg(figure)
                             .arg(median(samples), 0, 'f', 2)
                             .arg(percentile95(samples), 0, 'f', 2)
                             .arg(samples.size())
                             .arg(unit, target, met ? QStringLiteral("met") : QStringLiteral("MISSED"));
    fputs(line.toUtf8().constData(), stdout);
    fflush(stdout);
}

// Resident memory of a process in MiB (VmRSS of /proc/<pid>/status), 0 when unknown.
inline double residentMiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return 0;
}

} // namespace BenchTable
