#include "selftest/SelfTestChecks.h"

#include "selftest/SelfTestFrame.h"
#include "selftest/SuiteAlertWatch.h"

namespace korimado {

void SelfTestChecks::check(const QString& name, bool passed)
{
    // A suite ended by an alert records nothing more: its report is written.
    if (SuiteAlertWatch::abandoned()) return;
    records_.append(QJsonObject{{QStringLiteral("test"), name}, {QStringLiteral("passed"), passed}});
    SelfTestFrame::printLine((passed ? QStringLiteral("PASS ") : QStringLiteral("FAIL ")) + name);
}

void SelfTestChecks::append(const QJsonObject& record)
{
    if (SuiteAlertWatch::abandoned()) return;
    records_.append(record);
}

void SelfTestChecks::append(const QJsonArray& records)
{
    if (SuiteAlertWatch::abandoned()) return;
    for (const QJsonValue& record : records) records_.append(record);
}

int SelfTestChecks::passedCount() const
{
    int passed = 0;
    for (const QJsonValue& record : records_) {
        const QJsonValue value = record.toObject().value(QStringLiteral("passed"));
        if (value.isBool() && value.toBool()) ++passed;
    }
    return passed;
}

QString SelfTestChecks::summary(const QString& prefix) const
{
    return prefix + QString::number(passedCount()) + QLatin1Char('/') + QString::number(total());
}

}  // namespace korimado
