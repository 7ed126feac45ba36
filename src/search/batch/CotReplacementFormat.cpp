// The outside editor's replacement definition (.cotrpl) and its mapping onto the rule model.
#include "search/batch/BatchReplaceEngine.h"

#include "platform/foundation/JsonDecodingError.h"
#include "platform/foundation/JsonKeyedContainer.h"
#include "platform/foundation/JsonReader.h"
#include "platform/foundation/JsonWriter.h"
#include "search/batch/BatchReplaceError.h"

namespace korimado {

namespace {

// Bits of the two option words that have a field of their own; every other bit is preserved.
constexpr quint64 literalBit = 2;
constexpr quint64 diacriticBit = 128;
constexpr quint64 widthBit = 256;
constexpr quint64 textualMask = literalBit | diacriticBit | widthBit;  // 386
constexpr quint64 dotAllBit = 8;
constexpr quint64 multilineBit = 16;
constexpr quint64 unicodeWordBit = 64;
constexpr quint64 regexMask = dotAllBit | multilineBit | unicodeWordBit;  // 88

}  // namespace

BatchReplaceEngine::CotReplacementSettings BatchReplaceEngine::cotSettings(const SearchOptions& o)
{
    CotReplacementSettings s;
    s.textualOptions = o.preservedTextualOptionsRawValue.value_or(0) & ~textualMask;
    if (o.isLiteralSearch) s.textualOptions |= literalBit;
    if (o.ignoresDiacriticMarks) s.textualOptions |= diacriticBit;
    if (o.ignoresWidth) s.textualOptions |= widthBit;
    s.regexOptions = o.preservedRegexOptionsRawValue.value_or(0) & ~regexMask;
    if (o.isMultiline) s.regexOptions |= multilineBit;
    if (o.dotMatchesNewline) s.regexOptions |= dotAllBit;
    if (o.usesUnicodeBoundaries) s.regexOptions |= unicodeWordBit;
    s.matchesFullWord = o.wholeWord;
    s.unescapesReplacementString = o.unescapesReplacementString;
    return s;
}

BatchReplaceEngine::CotReplacementSettings BatchReplaceEngine::sharedCotSettings(const BatchReplaceDocument& document)
{
    if (document.rules.isEmpty()) return cotSettings(BatchReplaceRule::standardRuleOptions());
    const CotReplacementSettings first = cotSettings(document.rules.first().options);
    QList<qsizetype> differing;
    for (qsizetype i = 0; i < document.rules.size(); ++i) {
        if (!(cotSettings(document.rules[i].options) == first)) differing.push_back(i + 1);
    }
    if (!differing.isEmpty()) throw BatchReplaceError::incompatibleCotSettings(differing);
    return first;
}

QByteArray BatchReplaceEngine::encodeCotReplacement(const BatchReplaceDocument& document)
{
    const CotReplacementSettings shared = sharedCotSettings(document);
    JsonValue::Array replacements;
    replacements.reserve(size_t(document.rules.size()));
    for (const BatchReplaceRule& rule : document.rules) {
        JsonValue r(JsonValue::Object{});
        r.insert(QStringLiteral("findString"), JsonValue(rule.find));
        r.insert(QStringLiteral("replacementString"), JsonValue(rule.replacement));
        if (rule.options.mode == SearchMode::regularExpression) r.insert(QStringLiteral("usesRegularExpression"), JsonValue(true));
        if (!rule.options.caseSensitive) r.insert(QStringLiteral("ignoresCase"), JsonValue(true));
        if (!rule.enabled) r.insert(QStringLiteral("isEnabled"), JsonValue(false));
        if (rule.description) r.insert(QStringLiteral("description"), JsonValue(*rule.description));
        replacements.push_back(std::move(r));
    }
    JsonValue settings(JsonValue::Object{});
    settings.insert(QStringLiteral("textualOptions"), JsonValue::unsignedInteger(shared.textualOptions));
    settings.insert(QStringLiteral("regexOptions"), JsonValue::unsignedInteger(shared.regexOptions));
    settings.insert(QStringLiteral("matchesFullWord"), JsonValue(shared.matchesFullWord));
    settings.insert(QStringLiteral("unescapesReplacementString"), JsonValue(shared.unescapesReplacementString));
    JsonValue root(JsonValue::Object{});
    root.insert(QStringLiteral("replacements"), JsonValue(std::move(replacements)));
    root.insert(QStringLiteral("settings"), std::move(settings));

    JsonWriter::Options options;
    options.prettyPrinted = true;
    options.sortedKeys = true;
    options.escapesSolidus = false;
    return JsonWriter::write(root, options);
}

BatchReplaceDocument BatchReplaceEngine::decodeCotReplacement(const QByteArray& data, const QString& name)
{
    BatchReplaceDocument document;
    document.version = BatchReplaceDocument::currentVersion;
    document.name = name;
    try {
        const JsonValue root = JsonReader::parse(data);
        const JsonKeyedContainer top(root, QString());
        const JsonValue::Array& items = top.decodeArray(QStringLiteral("replacements"));
        const JsonKeyedContainer settings = top.nestedContainer(QStringLiteral("settings"));
        const quint64 textual = settings.decodeUnsigned(QStringLiteral("textualOptions"));
        const quint64 regex = settings.decodeUnsigned(QStringLiteral("regexOptions"));
        const bool fullWord = settings.decodeBoolIfPresent(QStringLiteral("matchesFullWord")).value_or(false);
        const bool unescapes = settings.decodeBoolIfPresent(QStringLiteral("unescapesReplacementString")).value_or(false);

        SearchOptions shared;
        shared.wholeWord = fullWord;
        shared.unescapesReplacementString = unescapes;
        shared.wraps = true;
        shared.isLiteralSearch = textual & literalBit;
        shared.ignoresDiacriticMarks = textual & diacriticBit;
        shared.ignoresWidth = textual & widthBit;
        shared.dotMatchesNewline = regex & dotAllBit;
        shared.isMultiline = regex & multilineBit;
        shared.usesUnicodeBoundaries = regex & unicodeWordBit;
        if (const quint64 rest = textual & ~textualMask) shared.preservedTextualOptionsRawValue = rest;
        if (const quint64 rest = regex & ~regexMask) shared.preservedRegexOptionsRawValue = rest;

        for (size_t i = 0; i < items.size(); ++i) {
            const JsonKeyedContainer r(items[i], QStringLiteral("replacements[%1]").arg(i));
            BatchReplaceRule rule;
            rule.id = QUuid::createUuid();
            rule.find = r.decodeString(QStringLiteral("findString"));
            rule.replacement = r.decodeString(QStringLiteral("replacementString"));
            const bool regularExpression = r.decodeBoolIfPresent(QStringLiteral("usesRegularExpression")).value_or(false);
            const bool ignoresCase = r.decodeBoolIfPresent(QStringLiteral("ignoresCase")).value_or(false);
            rule.enabled = r.decodeBoolIfPresent(QStringLiteral("isEnabled")).value_or(true);
            rule.description = r.decodeStringIfPresent(QStringLiteral("description"));
            rule.options = shared;
            rule.options.mode = regularExpression ? SearchMode::regularExpression : SearchMode::text;
            rule.options.caseSensitive = !ignoresCase;
            document.rules.push_back(std::move(rule));
        }
    } catch (const JsonDecodingError& error) {
        throw BatchReplaceError::invalidCotDefinition(error.errorDescription());
    }
    return document;
}

}  // namespace korimado
