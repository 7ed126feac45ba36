#pragma once

#include <QList>
#include <QPair>
#include <QRectF>
#include <QString>
#include <QStringList>

namespace korimado {

// How the suites print values in their console lines and reports.
namespace SelfTestFormat {

// The shortest decimal form that reads back as the same double ("12", "0.75", "1e-07").
QString number(double value);
// "[1, 2.5]"
QString numbers(const QList<double>& values);
// A rectangle as "{{x, y}, {w, h}}".
QString rect(const QRectF& rect);
// The current time in ISO 8601, UTC, to the second with a trailing "Z".
QString timestamp();
// A string quoted and escaped: "a\"b\n", with other control characters as \u{1B}.
QString quoted(const QString& text);
// ["a", "b"]
QString quotedList(const QStringList& texts);
// [("a", "b"), ("c", "")]
QString quotedPairs(const QList<QPair<QString, QString>>& pairs);

}  // namespace SelfTestFormat

}  // namespace korimado
