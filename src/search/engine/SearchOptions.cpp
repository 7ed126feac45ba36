#include "search/engine/SearchOptions.h"

#include "platform/foundation/JsonDecodingError.h"
#include "platform/foundation/JsonKeyedContainer.h"

namespace korimado {

QString searchModeRawValue(SearchMode mode)
{
    return mode == SearchMode::text ? QStringLiteral("text") : QStringLiteral("regularExpression");
}

std::optional<SearchMode> searchModeFromRawValue(const QString& raw)
{
    for (SearchMode mode : allSearchModes) {
        if (searchModeRawValue(mode) == raw) return mode;
    }
    return std::nullopt;
}

JsonValue SearchOptions::encode() const
{
    JsonValue o(JsonValue::Object{});
    o.insert(QStringLiteral("mode"), JsonValue(searchModeRawValue(mode)));
    o.insert(QStringLiteral("caseSensitive"), JsonValue(caseSensitive));
    o.insert(QStringLiteral("wholeWord"), JsonValue(wholeWord));
    o.insert(QStringLiteral("wraps"), JsonValue(wraps));
    o.insert(QStringLiteral("dotMatchesNewline"), JsonValue(dotMatchesNewline));
    o.insert(QStringLiteral("ignoresDiacriticMarks"), JsonValue(ignoresDiacriticMarks));
    o.insert(QStringLiteral("ignoresWidth"), JsonValue(ignoresWidth));
    o.insert(QStringLiteral("isLiteralSearch"), JsonValue(isLiteralSearch));
    o.insert(QStringLiteral("isMultiline"), JsonValue(isMultiline));
    o.insert(QStringLiteral("unescapesReplacementString"), JsonValue(unescapesReplacementString));
    o.insert(QStringLiteral("usesUnicodeBoundaries"), JsonValue(usesUnicodeBoundaries));
    if (preservedTextualOptionsRawValue) {
        o.insert(QStringLiteral("preservedTextualOptionsRawValue"),
                 JsonValue::unsignedInteger(*preservedTextualOptionsRawValue));
    }
    if (preservedRegexOptionsRawValue) {
        o.insert(QStringLiteral("preservedRegexOptionsRawValue"),
                 JsonValue::unsignedInteger(*preservedRegexOptionsRawValue));
    }
    return o;
}

SearchOptions SearchOptions::decode(const JsonValue& value, const QString& codingPath)
{
    const JsonKeyedContainer c(value, codingPath);
    SearchOptions o;
    const QString raw = c.decodeString(QStringLiteral("mode"));
    const std::optional<SearchMode> mode = searchModeFromRawValue(raw);
    if (!mode) {
        throw JsonDecodingError::dataCorrupted(c.pathFor(QStringLiteral("mode")),
                                               QStringLiteral("「") + raw
                                                   + QStringLiteral("」は検索方式として使えません（text または regularExpression）。"));
    }
    o.mode = *mode;
    o.caseSensitive = c.decodeBool(QStringLiteral("caseSensitive"));
    o.wholeWord = c.decodeBool(QStringLiteral("wholeWord"));
    o.wraps = c.decodeBool(QStringLiteral("wraps"));
    o.dotMatchesNewline = c.decodeBool(QStringLiteral("dotMatchesNewline"));
    o.ignoresDiacriticMarks = c.decodeBool(QStringLiteral("ignoresDiacriticMarks"));
    o.ignoresWidth = c.decodeBool(QStringLiteral("ignoresWidth"));
    o.isLiteralSearch = c.decodeBool(QStringLiteral("isLiteralSearch"));
    o.isMultiline = c.decodeBool(QStringLiteral("isMultiline"));
    o.unescapesReplacementString = c.decodeBool(QStringLiteral("unescapesReplacementString"));
    o.usesUnicodeBoundaries = c.decodeBool(QStringLiteral("usesUnicodeBoundaries"));
    o.preservedTextualOptionsRawValue = c.decodeUnsignedIfPresent(QStringLiteral("preservedTextualOptionsRawValue"));
    o.preservedRegexOptionsRawValue = c.decodeUnsignedIfPresent(QStringLiteral("preservedRegexOptionsRawValue"));
    return o;
}

}  // namespace korimado
