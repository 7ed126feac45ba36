#include "window/FirstPaintReport.h"

#include <QCoreApplication>
#include <QFile>
#include <QTimer>

#include <chrono>
#include <cstdio>

#include <time.h>
#include <unistd.h>

namespace korimado {

namespace {

// The fields of /proc/self/stat after the command name, which may hold blanks: field 3 is [0].
QList<QByteArray> statFields()
{
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly)) return {};
    const QByteArray line = stat.readAll();
    return line.mid(line.lastIndexOf(')') + 2).split(' ');
}

// Milliseconds since this process started, from the kernel's clock-tick start time.
double sinceProcessStart(const QList<QByteArray>& fields)
{
    if (fields.size() < 20) return -1;
    const double startTicks = fields[19].toDouble();
    // The start time counts clock ticks since boot; /proc/uptime may be another clock in a container.
    timespec boot{};
    clock_gettime(CLOCK_BOOTTIME, &boot);
    const double now = static_cast<double>(boot.tv_sec) + static_cast<double>(boot.tv_nsec) / 1e9;
    return (now - startTicks / static_cast<double>(sysconf(_SC_CLK_TCK))) * 1000.0;
}

// Processor time of all the process's threads so far: on a busy machine it tells the work done
// apart from the waiting for a processor.
double processorTime(const QList<QByteArray>& fields)
{
    if (fields.size() < 13) return -1;
    return (fields[11].toDouble() + fields[12].toDouble()) * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

}  // namespace

void reportFirstPaint()
{
    static bool reported = false;
    if (reported || qEnvironmentVariableIsEmpty("KORIMADO_REPORT_FIRST_PAINT")) return;
    reported = true;
    const double epoch =
        std::chrono::duration<double, std::milli>(std::chrono::system_clock::now().time_since_epoch()).count();
    const QList<QByteArray> fields = statFields();
    std::printf("first_paint_ms: %.1f\nfirst_paint_cpu_ms: %.0f\nfirst_paint_epoch_ms: %.3f\n",
                sinceProcessStart(fields), processorTime(fields), epoch);
    std::fflush(stdout);
    const int hold = qEnvironmentVariableIntValue("KORIMADO_REPORT_FIRST_PAINT_HOLD_MS");
    QTimer::singleShot(hold, QCoreApplication::instance(), [] { QCoreApplication::exit(0); });
}

}  // namespace korimado
