#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

namespace korimado {

// A suite's check records, in the order the checks ran. A record is {"test", "passed"} plus
// whatever the suite adds; only a boolean true "passed" counts as passed.
class SelfTestChecks {
public:
    // Appends {"test": name, "passed": passed} and prints "PASS name" or "FAIL name".
    void check(const QString& name, bool passed);
    // Appends a record as it stands, printing nothing.
    void append(const QJsonObject& record);
    void append(const QJsonArray& records);

    const QJsonArray& records() const { return records_; }
    int passedCount() const;
    int total() const { return static_cast<int>(records_.size()); }
    // "<prefix><passed>/<total>"
    QString summary(const QString& prefix) const;

private:
    QJsonArray records_;
};

}  // namespace korimado
