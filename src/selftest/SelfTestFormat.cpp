#include "selftest/SelfTestFormat.h"

#include <QDateTime>

#include <charconv>
#include <cmath>

namespace korimado::SelfTestFormat {

QString number(double value)
{
    if (std::isnan(value)) return QStringLiteral("nan");
    if (std::isinf(value)) return value < 0 ? QStringLiteral("-inf") : QStringLiteral("inf");
    char buffer[64];
    const double magnitude = std::fabs(value);
    // Plain digits where they read naturally, the exponent form for the very small and large.
    const std::chars_format format = (magnitude == 0 || (magnitude >= 1e-4 && magnitude < 1e16))
                                         ? std::chars_format::fixed
                                         : std::chars_format::scientific;
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, value, format);
    return QString::fromLatin1(buffer, written.ptr - buffer);
}

QString numbers(const QList<double>& values)
{
    QStringList parts;
    for (double value : values) parts.append(number(value));
    return QLatin1Char('[') + parts.join(QStringLiteral(", ")) + QLatin1Char(']');
}

QString rect(const QRectF& rect)
{
    return QStringLiteral("{{%1, %2}, {%3, %4}}")
        .arg(number(rect.x()), number(rect.y()), number(rect.width()), number(rect.height()));
}

QString timestamp()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
}

QString quoted(const QString& text)
{
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '"': out += QStringLiteral("\\\""); break;
        case '\\': out += QStringLiteral("\\\\"); break;
        case '\n': out += QStringLiteral("\\n"); break;
        case '\r': out += QStringLiteral("\\r"); break;
        case '\t': out += QStringLiteral("\\t"); break;
        case 0: out += QStringLiteral("\\0"); break;
        default:
            if (c.unicode() < 0x20 || c.unicode() == 0x7F)
                out += QStringLiteral("\\u{") + QString::number(c.unicode(), 16).toUpper() + QLatin1Char('}');
            else
                out += c;
        }
    }
    return out + QLatin1Char('"');
}

QString quotedList(const QStringList& texts)
{
    QStringList parts;
    for (const QString& text : texts) parts.append(quoted(text));
    return QLatin1Char('[') + parts.join(QStringLiteral(", ")) + QLatin1Char(']');
}

QString quotedPairs(const QList<QPair<QString, QString>>& pairs)
{
    QStringList parts;
    for (const auto& pair : pairs) parts.append(QLatin1Char('(') + quoted(pair.first) + QStringLiteral(", ") + quoted(pair.second) + QLatin1Char(')'));
    return QLatin1Char('[') + parts.join(QStringLiteral(", ")) + QLatin1Char(']');
}

}  // namespace korimado::SelfTestFormat
