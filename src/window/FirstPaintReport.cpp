#include "window/FirstPaintReport.h"

#include <QCoreApplication>
#include <QFile>
#include <QTimer>

#include <chrono>
#include <cstdio>

#include <unistd.h>

namespace korimado {

namespace {

// Milliseconds since this process started, from the kernel's clock-tick start time.
double sinceProcessStart()
{
    QFile stat(QStringLiteral("/proc/self/stat"));
    QFile uptime(QStringLiteral("/proc/uptime"));
    if (!stat.open(QIODevice::ReadOnly) || !uptime.open(QIODevice::ReadOnly)) return -1;
    const QByteArray line = stat.readAll();
    // Fields after the command name, which may hold blanks, are counted from its closing parenthesis.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 20) return -1;
    const double startTicks = fields[19].toDouble();
    const double now = uptime.readAll().split(' ').value(0).toDouble();
    return (now - startTicks / static_cast<double>(sysconf(_SC_CLK_TCK))) * 1000.0;
}

}  // namespace

void reportFirstPaint()
{
    static bool reported = false;
    if (reported || qEnvironmentVariableIsEmpty("KORIMADO_REPORT_FIRST_PAINT")) return;
    reported = true;
    const double epoch =
        std::chrono::duration<double, std::milli>(std::chrono::system_clock::now().time_since_epoch()).count();
    std::printf("first_paint_ms: %.1f\nfirst_paint_epoch_ms: %.3f\n", sinceProcessStart(), epoch);
    std::fflush(stdout);
    const int hold = qEnvironmentVariableIntValue("KORIMADO_REPORT_FIRST_PAINT_HOLD_MS");
    QTimer::singleShot(hold, QCoreApplication::instance(), [] { QCoreApplication::exit(0); });
}

}  // namespace korimado
