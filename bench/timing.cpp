// Timing of our operations and references, peak memory, and the table rows.
#include "bench.h"

#include <QFile>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <malloc.h>
#include <vector>

namespace bench {

qint64 g_size = 0;
qint64 g_oursPeakKb = 0;
const bool g_oursOnly = qEnvironmentVariableIntValue("BENCH_OURS_ONLY") != 0;

namespace {

bool g_inReference = false;

// Peak memory of our own code only: the references run in the same process, so the peak is
// reset (Linux: clear_refs 5) before each of our timings and read after it.
void resetPeak()
{
    malloc_trim(0);
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}


QString fmt(double ms)
{
    if (ms >= 100)
        return QString::number(ms, 'f', 0);
    if (ms >= 1)
        return QString::number(ms, 'f', 1);
    return QString::number(ms, 'f', 3);
}

QString cell(const std::optional<Timing> &t)
{
    if (!t)
        return QStringLiteral("–");
    return (t->extrapolated ? QStringLiteral("~") : QString()) + fmt(t->ms) +
           (t->extrapolated ? QStringLiteral(" (extrapolated)") : QString());
}

QString ratio(const Timing &ours, const std::optional<Timing> &other)
{
    if (!other)
        return QStringLiteral("–");
    const double r = other->ms / std::max(ours.ms, 1e-6);
    return (other->extrapolated ? QStringLiteral("~") : QString()) +
           (r >= 10 ? QString::number(r, 'f', 0) : QString::number(r, 'f', 1)) + u'x';
}

} // namespace

void die(const QString &why)
{
    std::fprintf(stderr, "bench: %s\n", why.toUtf8().constData());
    std::exit(2);
}

void check(bool ok, const char *what)
{
    if (!ok)
        die(QStringLiteral("answers differ: %1").arg(QString::fromUtf8(what)));
}

double msSince(const QElapsedTimer &t) { return static_cast<double>(t.nsecsElapsed()) / 1e6; }

Timing median(const std::function<void()> &f, int maxRuns, double budgetMs)
{
    if (!g_inReference)
        resetPeak();
    struct Track {
        ~Track()
        {
            if (!g_inReference) {
                g_oursPeakKb = std::max(g_oursPeakKb, peakKb());
                if (qEnvironmentVariableIntValue("BENCH_PEAKS"))
                    std::fprintf(stderr, "peak %lld kB\n", static_cast<long long>(peakKb()));
            }
        }
    } track;
    std::vector<double> times;
    QElapsedTimer total;
    total.start();
    while (static_cast<int>(times.size()) < maxRuns && (times.empty() || msSince(total) < budgetMs)) {
        QElapsedTimer t;
        t.start();
        f();
        times.push_back(msSince(t));
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], false};
}

std::optional<Timing> ref(const std::function<void()> &f, int maxRuns)
{
    if (g_oursOnly)
        return std::nullopt;
    g_inReference = true;
    const Timing t = median(f, maxRuns);
    g_inReference = false;
    return t;
}

void row(const QString &op, const Timing &ours, const std::optional<Timing> &plain,
         const std::optional<Timing> &sql, qint64 lines)
{
    const QString text = QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 | %7 | %8 |")
                             .arg(QString::number(g_size), g_rowPrefix + op, fmt(ours.ms), cell(plain), ratio(ours, plain),
                                  cell(sql), ratio(ours, sql), lines < 0 ? QString() : QString::number(lines));
    std::printf("%s\n", text.toUtf8().constData());
    std::fflush(stdout);
}

qint64 peakKb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

} // namespace bench
