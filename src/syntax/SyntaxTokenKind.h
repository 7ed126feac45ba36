#pragma once

#include "platform/text/TextRange.h"

#include <QString>

#include <optional>

namespace korimado {

// What a coloured span of text is; the raw values are the case names.
enum class SyntaxTokenKind { comment, string, number, keyword, type, attribute, heading, tag, property, variable };

QString rawValue(SyntaxTokenKind kind);
// Nothing for a text outside the ten raw values.
std::optional<SyntaxTokenKind> syntaxTokenKindFromRawValue(const QString& raw);
// Rank of an imported rule of this kind when candidates start together; smaller wins.
int importedRulePriority(SyntaxTokenKind kind);

// One coloured span, in UTF-16 units.
struct SyntaxTokenSpan {
    TextRange range;
    SyntaxTokenKind kind = SyntaxTokenKind::comment;

    friend bool operator==(const SyntaxTokenSpan&, const SyntaxTokenSpan&) = default;
};

}  // namespace korimado
