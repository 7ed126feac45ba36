#include "selftest/SelfTestFrame.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <cstdio>

namespace korimado {

bool SelfTestFrame::argumentsContain(const QString& flag)
{
    return QCoreApplication::arguments().contains(flag);
}

void SelfTestFrame::printLine(const QString& line)
{
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void SelfTestFrame::terminate()
{
    if (QCoreApplication* app = QCoreApplication::instance()) {
        QMetaObject::invokeMethod(app, &QCoreApplication::quit, Qt::QueuedConnection);
    }
}

void SelfTestFrame::reportNotBuilt(const QString& suite, bool terminates)
{
    printLine(suite + QStringLiteral(": not built yet, no checks run"));
    if (terminates) {
        terminate();
    }
}

}  // namespace korimado
