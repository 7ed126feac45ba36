#pragma once

#include "platform/text/TextRange.h"

#include <QList>
#include <QString>
#include <QStringView>
#include <QVector>

#include <array>
#include <cstdint>
#include <optional>

namespace korimado {

// The six line-break conventions, in their fixed menu order.
class LineEnding {
public:
    enum Value : std::uint8_t { lf, crlf, cr, nel, ls, ps };
    static constexpr int count = 6;

    constexpr LineEnding(Value value) : value_(value) {}
    constexpr operator Value() const { return value_; }
    constexpr Value value() const { return value_; }

    // "LF", "CRLF", ...: how the ending is stored in settings and shown to the user.
    QString rawValue() const;
    // The break this ending writes.
    QString breakString() const;

    // Exact, case-sensitive raw value.
    static std::optional<LineEnding> fromRawValue(const QString& name);
    static const std::array<LineEnding, count>& allCases();

    // The distinct break kinds of a text, in order of first appearance.
    static QList<LineEnding> kinds(const QString& text);
    // The text with every break converted to this ending.
    QString replacing(const QString& text) const;
    // The breaks of a text that are not this ending, in order. Replacing each with breakString()
    // gives replacing(text) and leaves every other unit where it stands.
    QVector<TextRange> foreignBreaks(QStringView text) const;

private:
    Value value_;
};

}  // namespace korimado
