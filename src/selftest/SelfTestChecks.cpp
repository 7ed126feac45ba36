#include "selftest/SelfTestChecks.h"

#include "selftest/SelfTestFrame.h"

namespace korimado {

void SelfTestChecks::check(const QString& name, bool passed)
{
    records_.append(QJsonObject{{QStringLiteral("test"), name}, {QStringLiteral("passed"), passed}});
    SelfTestFrame::printLine((passed ? QStringLiteral("PASS ") : QStringLiteral("FAIL ")) + name);
}

void SelfTestChecks::append(const QJsonObject& record)
{
    records_.append(record);
}

void SelfTestChecks::append(const QJsonArray& records)
{
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
