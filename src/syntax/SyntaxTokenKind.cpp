#include "syntax/SyntaxTokenKind.h"

#include <array>

namespace korimado {

namespace {

constexpr std::array<const char*, 10> rawValues = {
    "comment", "string", "number", "keyword", "type", "attribute", "heading", "tag", "property", "variable",
};

}  // namespace

QString rawValue(SyntaxTokenKind kind)
{
    return QString::fromLatin1(rawValues[static_cast<size_t>(kind)]);
}

std::optional<SyntaxTokenKind> syntaxTokenKindFromRawValue(const QString& raw)
{
    for (size_t i = 0; i < rawValues.size(); ++i) {
        if (raw == QLatin1String(rawValues[i])) return static_cast<SyntaxTokenKind>(i);
    }
    return std::nullopt;
}

int importedRulePriority(SyntaxTokenKind kind)
{
    switch (kind) {
    case SyntaxTokenKind::comment: return 0;
    case SyntaxTokenKind::string: return 1;
    case SyntaxTokenKind::number: return 2;
    default: return 3;
    }
}

}  // namespace korimado
