#pragma once

#include "syntax/SyntaxTokenKind.h"

#include <QString>

namespace korimado {

// A highlight rule imported from a syntax package.
struct SyntaxRegexRule {
    QString pattern;
    SyntaxTokenKind kind = SyntaxTokenKind::keyword;
    bool ignoreCase = false;
    bool multiline = false;

    friend bool operator==(const SyntaxRegexRule&, const SyntaxRegexRule&) = default;
};

// An outline rule imported from a syntax package; the title is the template expanded on a match.
struct SyntaxOutlineRule {
    QString pattern;
    QString templateText;  // "template" in the package
    bool ignoreCase = false;
    QString kind = QStringLiteral("value");  // carried along, not used for extraction

    friend bool operator==(const SyntaxOutlineRule&, const SyntaxOutlineRule&) = default;
};

}  // namespace korimado
