#pragma once

#include "platform/foundation/JsonValue.h"
#include "search/engine/SearchMode.h"

#include <QString>

#include <optional>

namespace korimado {

// Every option of one search. There are no defaults: whoever builds one sets every field.
// Also a stored format: the own rule file embeds it as a JSON object (encode / decode).
struct SearchOptions {
    SearchMode mode = SearchMode::text;
    bool caseSensitive = true;
    bool wholeWord = false;
    bool wraps = true;                        // read by the find panel's navigation, never by the engine
    bool dotMatchesNewline = false;           // expressions only
    bool ignoresDiacriticMarks = false;       // plain only
    bool ignoresWidth = false;                // plain only
    bool isLiteralSearch = false;             // plain only: exact units, no canonical equivalence
    bool isMultiline = false;                 // expressions only: ^ and $ at every line
    bool unescapesReplacementString = false;  // expressions only: \n \r \t in templates
    bool usesUnicodeBoundaries = false;       // plain whole word: Unicode word characters; expressions: \b
    // Option bits carried over from an imported outside-editor rule, kept whole for the way back.
    // Plain matching honours only the bits 1, 2, 128 and 256 of the textual word; the expression
    // builder maps bits 0 to 6 of the regex word to ICU flags. The Booleans only ever add bits.
    std::optional<quint64> preservedTextualOptionsRawValue;
    std::optional<quint64> preservedRegexOptionsRawValue;

    friend bool operator==(const SearchOptions&, const SearchOptions&) = default;

    // An object with the field names as keys, in field order; the preserved values only when set.
    JsonValue encode() const;
    // Strict: mode and the ten Booleans are required; the preserved values may be absent or null;
    // other keys are ignored. Throws JsonDecodingError naming codingPath.
    static SearchOptions decode(const JsonValue& value, const QString& codingPath = QString());
};

}  // namespace korimado
